// Stored file names (backslashes, any case) to real paths.
#include "platform/Exception.h"
#include "platform/FileNames.h"

#include <gtest/gtest.h>

#include <cstdlib>
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
