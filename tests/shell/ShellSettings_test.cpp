// The view settings: reading the template or the user's file, the defaults
// of missing keys and sections, and writing back section by section.
#include "shell/ShellSettings.h"

#include "parameters/DatTypes.h"
#include "parameters/UniMan.h"
#include "platform/FileNames.h"
#include "storagelib/PrgRegs.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Sto.h"
#include "tests/support/DataDir.h"
#include "tests/support/KernelFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace vo {
namespace {

std::string ReadText(const fs::path& P) {
    std::ifstream in(P);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ShellSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Root = fs::path(::testing::TempDir()) / ("shellsettings-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Root);
        fs::create_directories(Root / "prog");
        fs::copy_file(fs::path(test::DataDir()) / "ViewConfig.ini", Root / "prog" / "ViewConfig.ini");
        Storage = std::make_unique<TStorageManager>(RealPathToStored(Root / "prog") + "\\");
        Storage->AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
        S.WorkDir = RealPathToStored(Root / "prog") + "\\";
        S.ProductInfo = MakeRef<TSLDictionary>();
        S.ProductInfo->SetObjWithName("ProgramName", MakeRef<TSLString>("Velkor-Ovra").Get());
        S.ProductInfo->SetObjWithName("ProgramVersionCaption", MakeRef<TSLString>("4.2").Get());
        UnitManager().SetUnitSystem(usSI);
    }
    void TearDown() override {
        Storage.reset();
        PurgeAutoReleasePool();
        std::error_code ec;
        fs::permissions(UserFile(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(Root, ec);
    }

    // One run's start: folders, the five sections, their values.
    void Start() {
        CreateDataFolders(S, Root / "data", Root / "config");
        ReadViewConfig(S);
        TakeViewConfig(S);
    }
    fs::path UserFile() const { return Root / "config" / "Velkor" / "Velkor-Ovra - 4.2" / "ViewConfig.ini"; }
    TSLDictionary* Section(const char* Name) {
        TRef<TSLObject> o = SLDecodeString(ReadText(UserFile()));
        Keep = o;
        auto* d = dynamic_cast<TSLDictionary*>(o.Get());
        return d ? dynamic_cast<TSLDictionary*>(d->FindObjWithName(Name)) : nullptr;
    }

    fs::path Root;
    std::unique_ptr<TStorageManager> Storage;
    TShellSettings S;
    TRef<TSLObject> Keep;
};

TEST_F(ShellSettingsTest, FirstStartCreatesTheFoldersAndWritesNothing) {
    Start();
    const fs::path data = Root / "data" / "Velkor" / "Velkor-Ovra - 4.2";
    for (const char* sub : {"Configurations/VKC", "Configurations/VKW", "DOC/RefDoc"})
        EXPECT_TRUE(fs::is_directory(data / sub)) << sub;
    EXPECT_EQ(S.OpenSaveConfigDir, RealPathToStored(data) + "\\Configurations\\VKC\\");
    EXPECT_EQ(S.InfoSysLang, "English");
    EXPECT_EQ(S.LicenseValue, 1);
    EXPECT_EQ(UnitManager().GetUnitSystem(), usMetric); // no "UnitSystem" stored
    TCloseValues v;
    v.Login = TLoginConfigValues{};
    EXPECT_TRUE(WriteSettingsAtClose(S, v).empty());
    EXPECT_FALSE(fs::exists(UserFile()));
}

TEST_F(ShellSettingsTest, DisplayModeAndOscilloscopeChangesBothSurvive) {
    Start();
    S.UPIDDispMode = "DEC";
    TCloseValues v;
    TRef<TSLObject> osci = SLDecodeString("[D /TimeBase 5 ]");
    v.OsciDefaults = dynamic_cast<TSLDictionary*>(osci.Get());
    ASSERT_TRUE(WriteSettingsAtClose(S, v).empty());

    TShellSettings next;
    next.WorkDir = S.WorkDir;
    next.ProductInfo = S.ProductInfo;
    S = next;
    Start();
    EXPECT_EQ(S.UPIDDispMode, "DEC");
    auto* defaults = dynamic_cast<TSLDictionary*>(S.OscilloscopeSettings->FindObjWithName("DefaultSettings"));
    ASSERT_NE(defaults, nullptr);
    EXPECT_NE(defaults->FindObjWithName("TimeBase"), nullptr);
    // The sections nobody changed are there as the template had them.
    ASSERT_NE(Section("LoginConfig"), nullptr);
    EXPECT_EQ(dynamic_cast<TSLString*>(Section("LoginConfig")->FindObjWithName("PortName"))->GetStringValue(), "COM1");
}

TEST_F(ShellSettingsTest, AReadOnlyFileIsOverwritten) {
    Start();
    S.RawDataDispMode = "DEC";
    ASSERT_TRUE(WriteSettingsAtClose(S, {}).empty());
    fs::permissions(UserFile(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    S.RawDataDispMode = "HEX";
    S.ExitProgramWarning = 0;
    ASSERT_TRUE(WriteSettingsAtClose(S, {}).empty());
    TSLDictionary* v = Section("ViewConfig");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(dynamic_cast<TSLNumber*>(v->FindObjWithName("ExitWarning"))->GetLongintValue(), 0);
}

TEST_F(ShellSettingsTest, AFailingSectionIsNamedAndLaterOnesAreWritten) {
    Start();
    S.UPIDDispMode = "DEC";
    TCloseValues v;
    TLoginConfigValues login;
    login.PortName = "COM7";
    v.Login = login;
    // The ViewConfig section's temporary file cannot be created.
    fs::create_directories(UserFile().parent_path() / "ViewConfig.ini.ViewConfig.tmp" / "x");
    const std::vector<MyAnsiString> failed = WriteSettingsAtClose(S, v);
    EXPECT_EQ(failed, (std::vector<MyAnsiString>{"ViewConfig"}));
    ASSERT_NE(Section("LoginConfig"), nullptr);
    EXPECT_EQ(dynamic_cast<TSLString*>(Section("LoginConfig")->FindObjWithName("PortName"))->GetStringValue(), "COM7");
}

TEST_F(ShellSettingsTest, UnknownUnitSystemAndMissingSectionsFallBackWithWarnings) {
    {
        std::ofstream out(Root / "prog" / "ViewConfig.ini", std::ios::trunc);
        out << "[D /ViewConfig [D /UnitSystem 'Imperial-ish' /ConfigurationDir '\\no\\such\\folder\\' ] ]\n";
    }
    vo::test::CapturedTrace trace;
    Start(); // never raises
    EXPECT_EQ(UnitManager().GetUnitSystem(), usMetric);
    EXPECT_TRUE(trace.Contains("Unknown unit system 'Imperial-ish'"));
    EXPECT_TRUE(trace.Contains("no section 'LoginConfig'"));
    EXPECT_EQ(S.OpenSaveConfigDir, S.OfflineConfigDir); // the stored folder is gone
    EXPECT_EQ(S.UPIDDispMode, "HEX");
    TSLDictionary* login = dynamic_cast<TSLDictionary*>(
        LoginConfigRegistry().GetRegData()->FindObjWithName("LoginConfig"));
    ASSERT_NE(login, nullptr);
    EXPECT_NE(login->FindObjWithName("ShowObjectInspector"), nullptr);
}

} // namespace
} // namespace vo
