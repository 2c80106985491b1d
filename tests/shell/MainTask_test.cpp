// The device-opening task's rules without windows: device names and the
// offline login to configuration files.
#include "shell/MainTask.h"

#include "kernel/MD5Generator.h"
#include "platform/FileNames.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Sto.h"
#include "tests/support/ExpectError.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/TestShell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace vo {
namespace {

class MainTaskNames : public test::MainSchedulerFixture {};

TEST_F(MainTaskNames, TheSmallestFreeBoxNumber) {
    TRef<TSLObject> o = SLDecodeString("[D /Profiles [D /P [D /DeviceType 'Online' /Services [A ] ] ] ]");
    TDeviceManager m(dynamic_cast<TSLDictionary*>(o.Get()));
    EXPECT_EQ(TMainTask::NewDeviceName(m), "BOX1");
    m.CreateDevice("BOX1", "P");
    m.CreateDevice("BOX3", "P");
    EXPECT_EQ(TMainTask::NewDeviceName(m), "BOX2");
}

class OfflineLoginTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::path(::testing::TempDir()) / ("offline-login-" + std::to_string(::getpid()));
        fs::create_directories(Dir);
        Storage = std::make_unique<TStorageManager>(RealPathToStored(Dir) + "\\");
        Storage->AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
        Shell.developerDigest = MD5Value("dev-secret");
        Shell.companyInfo["HomePage"] = "www.velkor.example";
    }
    void TearDown() override {
        Storage.reset();
        PurgeAutoReleasePool();
        std::error_code ec;
        fs::remove_all(Dir, ec);
    }
    MyAnsiString File(const std::string& Info) {
        const fs::path p = Dir / ("cfg" + std::to_string(++N) + ".vkc");
        std::ofstream(p) << "[D /Info [D " << Info << " ] ]\n";
        return RealPathToStored(p);
    }

    fs::path Dir;
    std::unique_ptr<TStorageManager> Storage;
    test::TestShell Shell;
    int N = 0;
};

TEST_F(OfflineLoginTest, UserLevels) {
    struct TCase {
        const char* Info;
        const char* User;
        const char* Password;
        const char* Refusal; // nullptr: passes
    } cases[] = {
        {"/Version 3 /L1PW 'abc'", "USER", "abc", nullptr},
        {"/Version 3 /L1PW 'abc'", "user", "abc", nullptr},
        {"/Version 3 /L1PW 'abc'", "USER", "x", "Wrong password!"},
        {"/Version 3", "USER", "", nullptr}, // no L1PW: only the empty password
        {"/Version 3", "USER", "abc", "Wrong password!"},
        {"/Version 3 /L2PW 'def'", "SERVICE", "def", nullptr},
        {"/Version 3 /L2PW 'def'", "SERVICE", "abc", "Wrong password!"},
        {"/Version 3 /L1PW 'abc'", "gUeSt", "anything", nullptr},
        {"/Version 3", "DEVELOPER", "dev-secret", nullptr},
        {"/Version 3", "DEVELOPER", "guess", "Wrong password!"},
        {"/Version 3", "ADMIN", "", "Unknown login ID!"},
        {"/Version 2", "GUEST", "",
         "Login aborted!\r Old configuration format version! This configuration cannot be opened!"},
        {"/Version 4", "GUEST", "",
         "Login aborted!\r Unknown configuration format version! This configuration cannot be opened!"},
        {"/Version 4 /FirmwareRelease 'VX41 R9.0'", "GUEST", "",
         "Login aborted!\rThis configuration was set up with the software version: VX41 R9.0 and cannot be "
         "opened.\rPlease update Velkor-Ovra available from www.velkor.example."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Info) + " " + c.User + "/" + c.Password);
        const MyAnsiString f = File(c.Info);
        if (c.Refusal)
            test::ExpectError([&] { TMainTask::CheckOfflineLogin(f, c.User, c.Password); }, c.Refusal);
        else
            EXPECT_NO_THROW(TMainTask::CheckOfflineLogin(f, c.User, c.Password));
    }
}

} // namespace
} // namespace vo
