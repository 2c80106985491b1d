// Configuration export and import through data interfaces: the file's
// "Info" and "Items", the commands the interfaces get, a failed save that
// keeps the previous file, and the import's checks (format version,
// passwords, item filters, unknown types, the closing messages).
#include "devices/ConfXfer.h"

#include "kernel/ExeCtrl.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "tests/support/DeviceFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace vo {
namespace {

using namespace std::chrono_literals;

class TFakeParameter : public TConfigParameter {
public:
    explicit TFakeParameter(MyAnsiString V) : Value(std::move(V)) {}
    MyAnsiString GetStrValue() override { return Value; }
    int64_t GetIntValue() override { return std::stoll(Value); }
    MyAnsiString Value;
};

// Registered as "ParameterService": answers FindParameter from a table.
class TFakeParameterService : public TDeviceService, public TParameterLookup {
public:
    using TDeviceService::TDeviceService;
    void StartUp(bool&) override { SetServiceStatus(dsStarted); }
    void ShutDown(bool&) override { SetServiceStatus(dsStopped); }
    void Kill() override {}
    TConfigParameter* FindParameter(int32_t UPID) override {
        auto it = Values.find(UPID);
        return it == Values.end() ? nullptr : &it->second;
    }
    std::map<int32_t, TFakeParameter> Values;
};

class TFakeWarnings : public TImportWarnings {
public:
    void Clear() override { Count = 0; }
    void SaveWarnings(bool) override { ++Saved; }
    int MsgCount() override { return Count; }
    void UpdateAll() override {}
    int Count = 0;
    int Saved = 0;
};

// One item type; records every command (and the item's name).
class TFakeInterface : public TDataInterface {
public:
    TFakeInterface(MyAnsiString AType, std::vector<std::string>& ALog, int ACount = 2)
        : Type(std::move(AType)), Log(ALog), Count(ACount) {
        FCaption = Type;
    }
    int GetTypeCount() override { return 1; }
    MyAnsiString GetTypeName(int) override { return Type; }
    int GetDataCount() override { return Count; }
    void Execute(TExecuteControl& C) override {
        std::string line = Type + " " + std::to_string(C.FCommand);
        if (auto* item = dynamic_cast<TDataItem*>(C.FData)) {
            line += " " + item->GetDataName();
            if (C.FCommand == 2)
                item->DataDict()->SetStrWithName("Data", "payload of " + item->GetDataName());
        }
        Log.push_back(line);
        C.FStatus = 0;
    }
    void GetDataInfo(int AIndex, TDataItem& Item) override {
        Item.SetTypeName(Type);
        Item.SetVersion(1);
        Item.SetDataName(Type + std::to_string(AIndex));
        Item.SetDataPath("");
    }
    MyAnsiString Type;
    std::vector<std::string>& Log;
    int Count;
};

class ConfXferTest : public test::DeviceTestBase {
protected:
    void RegisterServices() override {
        DeviceTestBase::RegisterServices();
        Manager->RegisterServiceClass("FakeParameters", DeviceServiceClass<TFakeParameterService>());
    }
    void SetUp() override {
        DeviceTestBase::SetUp();
        PrevWarnings = SetImportWarnings(&Warnings);
    }
    void TearDown() override {
        SetImportWarnings(PrevWarnings);
        SetConfigPasswordPrompt(nullptr);
        Transfer.reset();
        DeviceTestBase::TearDown();
    }
    TDevice& Make(const char* Profile, const char* User) {
        TDevice& d = Manager->CreateDevice("D" + std::to_string(++DeviceCount), Profile);
        d.SetStrVar("UserName", User);
        TRef<TSLDictionary> profile = MakeRef<TSLDictionary>();
        profile->AddObject("Name", MakeRef<TSLString>("FakeParameters").Get());
        Params = &dynamic_cast<TFakeParameterService&>(d.CreateService("ParameterService", profile.Get()));
        for (auto [upid, v] : std::vector<std::pair<int32_t, const char*>>{{1020, "VX-41"},
                                                                           {8, "33"},
                                                                           {1, "258"},
                                                                           {1070, "VxOS"},
                                                                           {1300, "VxOS_Std_V1S0"},
                                                                           {3264, "secret"},
                                                                           {1060, "VX41 R1.02   "}})
            Params->Values.emplace(upid, TFakeParameter(v));
        Transfer = std::make_unique<TConfigTransfer>(d);
        Transfer->RegisterDataInterface(Vars);
        Transfer->RegisterDataInterface(Osci);
        return d;
    }
    void Wait() {
        ASSERT_TRUE(RunUntil([&] { return Transfer->ExecuteCommand() == ecIdle; }, 10s));
    }
    std::string Read(const std::string& Path) {
        std::ifstream in(Path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string Write(const std::string& Name, const std::string& Text) {
        Temp.Write(Name, Text);
        return (Temp.Path() / Name).string();
    }

    std::vector<std::string> Commands;
    TFakeInterface Vars{"Variables", Commands};
    TFakeInterface Osci{"Oscilloscope", Commands, 1};
    TFakeWarnings Warnings;
    TImportWarnings* PrevWarnings = nullptr;
    TFakeParameterService* Params = nullptr;
    std::unique_ptr<TConfigTransfer> Transfer;
    test::TTempFolder Temp;
};

TEST_F(ConfXferTest, ExportWritesInfoAndItems) {
    Make("VelkorOffline", "USER");
    const std::string path = (Temp.Path() / "out.vkc").string();
    Transfer->FFileName = RealPathToStored(path);
    Transfer->Save();
    Wait();
    EXPECT_EQ(Commands, (std::vector<std::string>{"Variables 4", "Oscilloscope 4", "Variables 2 Variables0", "Variables 2 Variables1", "Oscilloscope 2 Oscilloscope0", "Variables 7", "Oscilloscope 7"}));
    const std::string text = Read(path);
    const std::vector<std::string> keys = {"/Type", "/Version", "/Trees", "/DeviceType", "/ControllerType",
                                           "/ControllerVersion", "/Software", "/L1PW", "/L2PW", "/FirmwareRelease",
                                           "/Items"};
    size_t at = 0;
    for (const auto& k : keys) {
        const size_t p = text.find(k, at);
        ASSERT_NE(p, std::string::npos) << k << "\n"
                                        << text;
        at = p;
    }
    EXPECT_NE(text.find("'Velkor configuration'"), std::string::npos);
    EXPECT_NE(text.find("'VX41 R1.02'"), std::string::npos) << text;
    EXPECT_NE(text.find("'payload of Oscilloscope0'"), std::string::npos);
    EXPECT_NE(text.find("/SoftwareName 'VxOS'"), std::string::npos);
    // Passwords are stored in the file but never logged.
    EXPECT_FALSE(Trace.Contains("secret"));
}

TEST_F(ConfXferTest, AFailedSaveKeepsThePreviousFile) {
    Make("VelkorOffline", "USER");
    Params->Values.erase(1020);
    const std::string path = Write("old.vkc", "[D /Info [D /Version 3 ] ]\n");
    Transfer->FFileName = RealPathToStored(path);
    Transfer->Save();
    Wait();
    EXPECT_TRUE(Trace.Contains("couldn't save file '" + Transfer->FFileName + "' (parameter 1020 does not exist)"));
    EXPECT_EQ(Read(path), "[D /Info [D /Version 3 ] ]\n");
    EXPECT_EQ(Commands.back(), "Oscilloscope 7");
}

const char* const Items = R"(
  /Items [A
    [D /Info [D /Type 'Variables' /Version 1 /Name 'V0' /Path '' ] /Data 'x' ]
    [D /Info [D /Type 'Gizmo' /Version 1 /Name 'G0' /Path '' ] ]
    [D /Info [D /Type 'Oscilloscope' /Version 1 /Name 'O0' /Path '' ] ]
  ]
]
)";

std::string File(int Version, const std::string& Extra = "") {
    return "[D /Info [D /Type 'Velkor configuration' /Version " + std::to_string(Version) +
        " /FirmwareRelease 'VX41 R1.02' " + Extra + " ]" + Items;
}

TEST_F(ConfXferTest, ImportChecksAndCommands) {
    struct TCase {
        const char* Name;
        const char* Profile;
        const char* User;
        int Version;
        std::string Extra;
        std::vector<MyAnsiString> Passwords; // answers of the password question
        bool OsciOnlineOnly;
        std::vector<std::string> Commands;
        MyAnsiString LastMessage;
        int PasswordQuestions;
    };
    const std::vector<std::string> all = {"Variables 4", "Oscilloscope 4", "Variables 5 V0", "Oscilloscope 5 O0",
                                          "Variables 3 V0", "Oscilloscope 3 O0", "Variables 7", "Oscilloscope 7"};
    const std::vector<std::string> none = {"Variables 4", "Oscilloscope 4", "Variables 7", "Oscilloscope 7"};
    const std::vector<TCase> cases = {
        {"guest takes all", "VelkorOnline", "GUEST", 3, "/L1PW 'other'", {}, false, all, "The configuration was imported successfully.", 0},
        {"user with the drive's password", "VelkorOnline", "USER", 3, "/L1PW 'secret'", {}, false, all, "The configuration was imported successfully.", 0},
        {"user with a typed password", "VelkorOnline", "USER", 3, "/L1PW 'other'", {"other"}, false, all, "The configuration was imported successfully.", 1},
        {"wrong password", "VelkorOnline", "USER", 3, "/L1PW 'other'", {"guess"}, false, none, "Error by configuration download!", 1},
        {"old format", "VelkorOnline", "GUEST", 2, "", {}, false, none, "Error by configuration download!", 0},
        {"offline refuses online-only items", "VelkorOffline", "USER", 3, "/L1PW 'other'", {}, true, {"Variables 4", "Oscilloscope 4", "Variables 5 V0", "Variables 3 V0", "Variables 7", "Oscilloscope 7"}, "The configuration was imported successfully.", 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Commands.clear();
        Prompt.Clear();
        Osci.FImportPermission = c.OsciOnlineOnly ? ipOnline : (ipOnline | ipOffline);
        Make(c.Profile, c.User);
        int asked = 0;
        std::vector<MyAnsiString> answers = c.Passwords;
        SetConfigPasswordPrompt([&](const TConfigPasswordQuestion& Q, MyAnsiString& P) {
            ++asked;
            EXPECT_EQ(Q.Caption, "Configuration Password");
            EXPECT_EQ(Q.UserName, "USER");
            if (answers.empty())
                return false;
            P = answers.front();
            answers.erase(answers.begin());
            return true;
        });
        Transfer->FFileName = RealPathToStored(Write("in.vkc", File(c.Version, c.Extra)));
        Transfer->LoadAll();
        Wait();
        EXPECT_EQ(Commands, c.Commands);
        ASSERT_FALSE(Prompt.Texts().empty());
        EXPECT_EQ(Prompt.Texts().back(), c.LastMessage);
        EXPECT_EQ(asked, c.PasswordQuestions);
        if (c.Version == 2) {
            EXPECT_EQ(Prompt.Texts().front(), "Import aborted!\rOld configuration format version!");
        }
        if (c.Passwords == std::vector<MyAnsiString>{"guess"}) {
            EXPECT_EQ(Prompt.Texts().front(), "Import aborted!\rWrong password!");
        }
        Transfer.reset();
    }
}

TEST_F(ConfXferTest, FeedbackInsteadOfMessages) {
    TDevice& d = Make("VelkorOffline", "GUEST");
    std::vector<bool> results;
    Transfer->LoadAllWithFeedback(RealPathToStored(Write("in.vkc", File(3))),
                                  [&](TDevice& D, bool Ok) {
                                      EXPECT_EQ(&D, &d);
                                      results.push_back(Ok);
                                  });
    Wait();
    EXPECT_EQ(results, std::vector<bool>{true});
    EXPECT_EQ(Prompt.Count(), 0u);
    EXPECT_EQ(Warnings.Saved, 1);
}

TEST_F(ConfXferTest, DataItemsAndInterfaces) {
    TDataItem item;
    EXPECT_THROW(item.GetInfoDict(), Exception);
    item.CreateDataDict();
    item.SetVersion(-1);
    EXPECT_EQ(item.GetVersion(), 65535);
    item.SetTypeName("Curves");
    EXPECT_EQ(item.GetTypeName(), "Curves");
    Vars.SetImpExpDataAt(2, true);
    EXPECT_EQ(Vars.FImpExpList, (std::vector<MyAnsiString>{"FALSE", "FALSE", "TRUE"}));
    Vars.FImpExpList[0] = "true";
    EXPECT_TRUE(Vars.GetImpExpDataAt(0));
    Make("VelkorOffline", "USER");
    EXPECT_EQ(Transfer->GetInterfaceForType("variables"), &Vars);
    EXPECT_THROW(Transfer->RegisterDataInterface(Vars), Exception);
}

} // namespace
} // namespace vo
