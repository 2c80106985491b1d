// Stored file names (backslashes, any case) to real paths.
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/FolderListings.h"
#include "platform/Time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <chrono>
#include <sys/stat.h>
#include <thread>
#include <filesystem>
#include <fstream>

using namespace vo;
namespace fs = std::filesystem;

namespace {

class StoredPath : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vo_names_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        Root = tmpl;
        fs::create_directories(Root / "Archives" / "Config");
        std::ofstream(Root / "Archives" / "Config" / "VendorInfo.stx") << "x";
        fs::create_directories(Root / "LanguageDef");
        std::ofstream(Root / "LanguageDef" / "LanguageDef.csv") << "x";
        std::ofstream(Root / "Gr\xC3\xBC\xC3\x9F"
                             ".txt")
            << "x"; // "Grüß.txt" in UTF-8
    }
    void TearDown() override { fs::remove_all(Root); }
    fs::path Root;
};

TEST_F(StoredPath, ExistingComponentsMatchWithoutRegardToCase) {
    EXPECT_EQ(StoredPathToRealPath("archives\\CONFIG\\vendorinfo.STX", Root),
              Root / "Archives" / "Config" / "VendorInfo.stx");
    EXPECT_EQ(StoredPathToRealPath("LanguageDef/LanguageDef.csv", Root), Root / "LanguageDef" / "LanguageDef.csv");
    // CP1252 name matched against a UTF-8 file name, case folded: "GRÜß.TXT"
    EXPECT_EQ(StoredPathToRealPath("GR\xDC\xDF.TXT", Root), Root / "Gr\xC3\xBC\xC3\x9F.txt");
}

TEST_F(StoredPath, MissingComponentsAreKeptAsGivenForCreation) {
    EXPECT_EQ(StoredPathToRealPath("ARCHIVES\\New\\File.sct", Root), Root / "Archives" / "New" / "File.sct");
    EXPECT_EQ(StoredPathToRealPath("LOG\\ImpLog_1.log", Root), Root / "LOG" / "ImpLog_1.log");
}

TEST_F(StoredPath, DotsDoubleSeparatorsAndAbsoluteNames) {
    EXPECT_EQ(StoredPathToRealPath(".\\archives\\\\config\\..\\CONFIG\\", Root), Root / "Archives" / "Config");
    const std::string abs = "\\" + (Root / "ARCHIVES").relative_path().string();
    EXPECT_EQ(StoredPathToRealPath(abs), Root / "Archives");
}

TEST_F(StoredPath, ExactCaseWinsOverOtherVariants) {
    std::ofstream(Root / "data.TXT") << "a";
    std::ofstream(Root / "DATA.txt") << "b";
    EXPECT_EQ(StoredPathToRealPath("DATA.txt", Root), Root / "DATA.txt");
    EXPECT_EQ(StoredPathToRealPath("data.TXT", Root), Root / "data.TXT");
    EXPECT_EQ(StoredPathToRealPath("Data.Txt", Root), Root / "DATA.txt"); // first in name order
}

// Folder listings are kept between look-ups: a folder that changes after a
// look-up (files added, renamed, removed, the folder replaced) must be
// listed again.
TEST_F(StoredPath, LookupsFollowChangesOfTheFolder) {
    TScopedTimeOverride settle(FolderListingSettleTime(), 50);
    const fs::path dir = Root / "Archives" / "Config";
    // Waits until the folder's last change is old enough for its listing to
    // be kept (the clock decides, nothing else).
    auto settled = [&] {
        struct stat st {};
        ASSERT_EQ(::stat(dir.c_str(), &st), 0);
        auto at = [](const timespec& T) { return std::chrono::seconds(T.tv_sec) + std::chrono::nanoseconds(T.tv_nsec); };
        const auto changed = std::max(at(st.st_mtim), at(st.st_ctim));
        const auto until = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(changed + std::chrono::milliseconds(60)));
        std::this_thread::sleep_until(until);
    };
    settled();
    EXPECT_EQ(StoredPathToRealPath("archives\\config\\NEW.ini", Root), dir / "NEW.ini"); // not there yet
    std::ofstream(dir / "New.Ini") << "x";
    EXPECT_EQ(StoredPathToRealPath("archives\\config\\NEW.ini", Root), dir / "New.Ini");
    settled();
    EXPECT_EQ(StoredPathToRealPath("archives\\config\\NEW.ini", Root), dir / "New.Ini");
    fs::rename(dir / "New.Ini", dir / "neW.iNi");
    EXPECT_EQ(StoredPathToRealPath("archives\\config\\NEW.ini", Root), dir / "neW.iNi");
    settled();
    EXPECT_EQ(StoredPathToRealPath("archives\\config\\NEW.ini", Root), dir / "neW.iNi");
    fs::remove(dir / "neW.iNi");
    EXPECT_EQ(StoredPathToRealPath("archives\\config\\NEW.ini", Root), dir / "NEW.ini");
    settled();
    EXPECT_EQ(StoredPathToRealPath("archives\\config\\NEW.ini", Root), dir / "NEW.ini");
    // Another folder in the same place is listed anew.
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "Other.INI") << "x";
    EXPECT_EQ(StoredPathToRealPath("archives\\config\\other.ini", Root), dir / "Other.INI");
}

TEST(StoredPathErrors, DriveLettersNetworkNamesAndEmptyNamesAreRefused) {
    const char* bad[] = {"C:\\Program Files\\x.ini", "d:data.stx", "\\\\server\\share\\a", ""};
    for (const char* name : bad) {
        try {
            StoredPathToRealPath(name, "/tmp");
            ADD_FAILURE() << "accepted: " << name;
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find("StoredPathToRealPath: "), std::string::npos) << e.what();
        }
    }
}

TEST(StoredPathReverse, RealPathToStored) {
    EXPECT_EQ(RealPathToStored(fs::path("Archives/Config/Gr\xC3\xBC\xC3\x9F.stx")), "Archives\\Config\\Gr\xFC\xDF.stx");
}

} // namespace
