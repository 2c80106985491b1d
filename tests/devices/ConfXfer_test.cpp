// Configuration export and import through data interfaces: the file's
// "Info" and "Items", the commands the interfaces get, a failed save that
// keeps the previous file, and the import's checks (format version,
// passwords, item filters, unknown types, the closing messages).
#include "devices/ConfXfer.h"

#include "devices/ModulSrv.h"
#include "devices/StatSrv.h"
#include "kernel/ExeCtrl.h"
#include "kernel/LanguageMan.h"
#include "kernel/LogWnd.h"
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
    TConfigParameter* FindConfigParameter(int32_t UPID) override {
        auto it = Values.find(UPID);
        return it == Values.end() ? nullptr : &it->second;
    }
    std::map<int32_t, TFakeParameter> Values;
};

// Saving turns the name into the log file's.
class TFakeWarnings : public TImportWarnings {
public:
    void Clear() override { Count = 0; }
    void SaveWarnings(bool) override {
        ++Saved;
        AFileName = "C:\\Logs\\in.log";
    }
    int MsgCount() override { return Count; }
    void UpdateAll() override { ++Updated; }
    void ShowWindow() override { ++Shown; }
    int Count = 0;
    int Saved = 0;
    int Updated = 0;
    int Shown = 0;
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
        if (Hook)
            Hook(C);
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
    std::function<void(TExecuteControl&)> Hook;
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
        Equip(d);
        return d;
    }
    // The fake parameter service and a transfer with the interfaces.
    void Equip(TDevice& d) {
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
        for (TFakeInterface* i : Interfaces)
            Transfer->RegisterDataInterface(*i);
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
    std::vector<TFakeInterface*> Interfaces{&Vars, &Osci};
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

TEST_F(ConfXferTest, WarningsOfAnImportAreOfferedUnderTheLogsName) {
    for (const bool show : {false, true}) {
        SCOPED_TRACE(show);
        Make("VelkorOffline", "GUEST");
        Warnings.Shown = Warnings.Updated = 0;
        Vars.Hook = [&](TExecuteControl& C) {
            if (C.FCommand == 3)
                ++Warnings.Count;
        };
        std::vector<std::pair<MyAnsiString, MyAnsiString>> asked;
        SetImportWarningsPrompt([&](const MyAnsiString& Text, const MyAnsiString& Button) {
            asked.emplace_back(Text, Button);
            return show;
        });
        Transfer->FFileName = RealPathToStored(Write("in.vkc", File(3)));
        Transfer->LoadAll();
        Wait();
        SetImportWarningsPrompt(nullptr);
        Vars.Hook = nullptr;
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].first, LangTextFmt("ImportSuccessfullyWithWarnings", {"in.log"}));
        EXPECT_EQ(asked[0].second, LangText("ShowLogFile"));
        EXPECT_EQ(Warnings.Shown, show ? 1 : 0);
        EXPECT_EQ(Warnings.Updated, show ? 1 : 0);
        Transfer.reset();
    }
}

TEST_F(ConfXferTest, AnInterfaceGoneDuringTheImportSkipsItsItemsWithAWarning) {
    Make("VelkorOffline", "GUEST");
    // The oscilloscope's service goes away after preparing its item.
    Osci.Hook = [&](TExecuteControl& C) {
        if (C.FCommand == 5)
            Transfer->UnregisterDataInterface(Osci);
    };
    Transfer->FFileName = RealPathToStored(Write("in.vkc", File(3)));
    Transfer->LoadAll();
    Wait();
    Osci.Hook = nullptr;
    EXPECT_EQ(Commands, (std::vector<std::string>{"Variables 4", "Oscilloscope 4", "Variables 5 V0", "Oscilloscope 5 O0", "Variables 3 V0", "Variables 7"}));
    EXPECT_TRUE(Trace.Contains("no data interface found for type with name 'Oscilloscope'"));
    EXPECT_FALSE(Trace.Contains("'Gizmo'"));
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

// Imports into a device logged in to the simulated drive vx41 (firmware trees
// VxMotion_Std_V1S2 and VxIntf_Std_V1S1) over a pseudo-terminal: the stop of
// a running firmware before the parameters, the checks of the file's
// parameter trees against the drive's, and the wait for the stop that ends
// on "Abort" or a lost drive. Parameter values and interfaces are fakes.
class ConfImportTest : public ConfXferTest {
protected:
    void SetUp() override {
        ConfXferTest::SetUp();
        Interfaces.insert(Interfaces.begin(), &Pars);
        LogWindowManager().SetWindowFactory([this](TLogWindowEvents& E) {
            Events = &E;
            auto w = std::make_unique<TMemoryLogWindow>();
            Window = w.get();
            return w;
        });
        Attach("vx41.drive");
        Device = &NewDevice();
        Equip(*Device);
        ASSERT_TRUE(Start(*Device));
        ASSERT_EQ(Device->State(), dstStarted);
        Mark = FramesIn().size();
    }
    void TearDown() override {
        ConfXferTest::TearDown();
        LogWindowManager().SetWindowFactory(nullptr);
    }
    void RunFirmware() {
        if (Status(*Device).GetRunning())
            return;
        Status(*Device).StartDevice();
        ASSERT_TRUE(RunUntil([&] { return Status(*Device).GetRunning(); }, 10s));
    }
    size_t FramesSinceMark(const std::string& Hex) const {
        const auto all = FramesIn();
        return static_cast<size_t>(std::count(all.begin() + static_cast<std::ptrdiff_t>(Mark), all.end(), Hex));
    }
    void Import(const std::vector<std::string>& Items) {
        std::string text = "[D /Info [D /Type 'Velkor configuration' /Version 3 /FirmwareRelease 'VX41 R1.05' "
                           "/L1PW 'secret' ] /Items [A\n";
        for (const auto& i : Items)
            text += "  " + i + "\n";
        Transfer->FFileName = RealPathToStored(Write("drive.vkc", text + "] ]\n"));
        Transfer->LoadAll();
    }
    static std::string Item(const std::string& Type, const std::string& Name, const std::string& Tree = "") {
        std::string s = "[D /Info [D /Type '" + Type + "' /Version 1 /Name '" + Name + "' /Path '' ]";
        if (!Tree.empty())
            s += " /Data [D /ParameterTreeData [D /TreeName '" + Tree + "' ] ]";
        return s + " ]";
    }

    TFakeInterface Pars{"Parameters", Commands};
    TLogWindowEvents* Events = nullptr;
    TMemoryLogWindow* Window = nullptr;
    TDevice* Device = nullptr;
    size_t Mark = 0;
    TScopedTimeOverride Poll{StatusServicePollInterval, 100};
};

std::vector<std::string> Run(const std::string& Command, const std::vector<std::string>& Items) {
    std::vector<std::string> out;
    for (const auto& i : Items)
        out.push_back(i.substr(0, i.find(' ')) + " " + Command + " " + i.substr(i.find(' ') + 1));
    return out;
}

// The commands of an import of the given items ("<type> <name>").
std::vector<std::string> ImportCommands(const std::vector<std::string>& Items) {
    std::vector<std::string> out = {"Parameters 4", "Variables 4", "Oscilloscope 4"};
    for (const auto& c : {"5", "3"})
        for (const auto& r : Run(c, Items))
            out.push_back(r);
    for (const auto& i : {"Parameters 7", "Variables 7", "Oscilloscope 7"})
        out.push_back(i);
    return out;
}

TEST_F(ConfImportTest, ARunningDriveIsStoppedOnceBeforeTheParameters) {
    const std::vector<std::string> items = {Item("Parameters", "P0", "VxMotion_Std_V1S2"), Item("Variables", "V0"),
                                            Item("Gizmo", "G0"), Item("Parameters", "P1", "VxIntf_Std_V1S1")};
    for (const TModalResult answer : {mrYes, mrCancel}) {
        SCOPED_TRACE(answer == mrYes ? "Yes" : "Cancel");
        Commands.clear();
        Prompt.Clear();
        RunFirmware();
        Mark = FramesIn().size();
        std::vector<bool> runningAtPrepare;
        Pars.Hook = [&](TExecuteControl& C) {
            if (C.FCommand == 5)
                runningAtPrepare.push_back(Status(*Device).GetRunning());
        };
        Prompt.Answer(answer);
        Import(items);
        Wait();
        ASSERT_GE(Prompt.Texts().size(), 2u);
        EXPECT_EQ(Prompt.Texts()[0], LangText("StopBeforeDownload"));
        if (answer == mrYes) {
            EXPECT_EQ(Prompt.Texts(), (std::vector<MyAnsiString>{LangText("StopBeforeDownload"), LangText("ImportSuccessfully")}));
            EXPECT_EQ(FramesSinceMark("21"), 1u);
            EXPECT_FALSE(Status(*Device).GetRunning());
            EXPECT_EQ(runningAtPrepare, (std::vector<bool>{false, false}));
            EXPECT_EQ(Commands, ImportCommands({"Parameters P0", "Variables V0", "Parameters P1"}));
        } else {
            EXPECT_EQ(Prompt.Texts().back(), "Error by configuration download!");
            EXPECT_EQ(FramesSinceMark("21"), 0u);
            EXPECT_TRUE(Status(*Device).GetRunning());
            EXPECT_EQ(Commands, ImportCommands({}));
        }
        // The item of a type without interface is dropped when the file is read.
        EXPECT_FALSE(Trace.Contains("G0"));
    }
}

TEST_F(ConfImportTest, TheFilesTreesAreCheckedAgainstTheDrives) {
    const MyAnsiString head = "This configuration was set up with the software version: VX41 R1.05!\r\r";
    auto lists = [](const std::vector<MyAnsiString>& Source, const std::vector<MyAnsiString>& Compatible) {
        MyAnsiString t = "Source system parameter trees: \r";
        for (const auto& s : Source)
            t += "   " + s + "\r";
        t += "\rDestination system parameter trees: \r   VxMotion_Std_V1S2\r   VxIntf_Std_V1S1\r";
        t += "\rCompatible parameter trees: \r";
        for (const auto& s : Compatible)
            t += "   " + s + "\r";
        return t;
    };
    const MyAnsiString newer = LangTextFmt("ImportWarningNewerFirmwareOnline", {"VX41 R1.05", "VX41 R1.02"});
    ASSERT_NE(newer.find("VX41 R1.05"), MyAnsiString::npos);
    ASSERT_NE(newer.find("VX41 R1.02"), MyAnsiString::npos);
    const MyAnsiString done = LangText("ImportSuccessfully");
    const MyAnsiString failed = "Error by configuration download!";
    const MyAnsiString notAll = "The parameter trees in the source system are not all compatible with those in the "
                                "destination system!\rOnly the compatible parameter trees can be imported! Continue?\r\r";
    const MyAnsiString none = "The parameter trees in the source system are not compatible with those in the destination "
                              "system!\rThis configuration cannot be imported!\r" +
        TModuleService::GetUpdateRequestString() + "\r\r";
    struct TCase {
        const char* Name;
        std::string Tree0, Tree1;
        std::vector<TModalResult> Answers;
        std::vector<MyAnsiString> Texts;
        std::vector<std::string> Imported;
    };
    const std::vector<TCase> cases = {
        {"same trees: no question", "VxMotion_Std_V1S2", "VxIntf_Std_V1S1", {}, {done}, {"Parameters P0", "Variables V0", "Parameters P1"}},
        {"newer trees, Yes and OK", "VxMotion_Std_V1S5", "VxIntf_Std_V1S3", {mrYes, mrOk}, {newer, head + lists({"VxMotion_Std_V1S5", "VxIntf_Std_V1S3"}, {"VxMotion_Std_V1S5", "VxIntf_Std_V1S3"}), done}, {"Parameters P0", "Variables V0", "Parameters P1"}},
        {"newer trees, No", "VxMotion_Std_V1S5", "VxIntf_Std_V1S3", {mrNo}, {newer, failed}, {}},
        {"newer trees, Cancel at the lists", "VxMotion_Std_V1S5", "VxIntf_Std_V1S1", {mrYes, mrCancel}, {newer, head + lists({"VxMotion_Std_V1S5", "VxIntf_Std_V1S1"}, {"VxMotion_Std_V1S5", "VxIntf_Std_V1S1"}), failed}, {}},
        {"another major number", "VxMotion_Std_V2S0", "VxIntf_Std_V1S1", {mrOk}, {head + notAll + lists({"VxMotion_Std_V2S0", "VxIntf_Std_V1S1"}, {"VxIntf_Std_V1S1"}), done}, {"Variables V0", "Parameters P1"}},
        {"no compatible tree", "VxOther_Std_V1S2", "VxOther_Std_V1S2", {mrOk}, {head + none + lists({"VxOther_Std_V1S2"}, {}), done}, {"Variables V0"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Commands.clear();
        Prompt.Clear();
        for (TModalResult a : c.Answers)
            Prompt.Answer(a);
        Import({Item("Parameters", "P0", c.Tree0), Item("Variables", "V0"), Item("Parameters", "P1", c.Tree1)});
        Wait();
        EXPECT_EQ(Prompt.Texts(), c.Texts);
        EXPECT_EQ(Commands, ImportCommands(c.Imported));
        EXPECT_EQ(FramesSinceMark("21"), 0u);
    }
}

TEST_F(ConfImportTest, TheSampleConfigurationImportsIntoTheSampleDrive) {
    Transfer->FFileName = RealPathToStored(DataPath("Configs/VX41-Drive.vkc"));
    Transfer->LoadAll();
    Wait();
    EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{LangText("ImportSuccessfully")});
    // "Gizmo" has no interface, "Curves" none in this program.
    EXPECT_EQ(Commands, ImportCommands({"Parameters Motor", "Parameters Inputs and Outputs", "Variables Variables", "Oscilloscope Oscilloscope"}));
    ASSERT_EQ(Transfer->DataItems().size(), 4u);
    auto* trees = dynamic_cast<TSLDictionary*>(Transfer->DataItems()[1]->DataDict()->FindObjWithName("ParameterTreeData"));
    ASSERT_NE(trees, nullptr);
    EXPECT_EQ(trees->GetStrWithName("TreeName"), "VxIntf_Std_V1S1");
}

TEST_F(ConfImportTest, TheWaitForTheStopEndsOnAbortOrALostDrive) {
    for (const bool lost : {false, true}) {
        SCOPED_TRACE(lost ? "lost drive" : "Abort");
        Commands.clear();
        Prompt.Clear();
        RunFirmware();
        Mark = FramesIn().size();
        // The drive answers the stop but goes on running.
        Runner->Faults().Add("cmd=21 times=0 noexec status=00");
        Prompt.Answer(mrYes);
        Import({Item("Parameters", "P0", "VxMotion_Std_V1S2"), Item("Variables", "V0")});
        // The answer to the stop, then a status answer that says running.
        ASSERT_TRUE(RunUntil([&] { return FramesSinceMark("21") == 1 && FramesIn().back() == "03 00"; }, 10s));
        const uint64_t answers = Status(*Device).StatusAnswerCount();
        ASSERT_TRUE(RunUntil([&] { return Status(*Device).StatusAnswerCount() > answers; }, 10s));
        ASSERT_EQ(Transfer->ExecuteCommand(), ecLoad);
        ASSERT_NE(Events, nullptr);
        ASSERT_NE(Window, nullptr);
        if (lost)
            Runner->Faults().Add("cmd=03 times=0 drop");
        else
            Events->AbortPressed(*Window);
        Wait();
        EXPECT_EQ(Commands, ImportCommands({}));
        EXPECT_EQ(Prompt.Texts().back(), "Error by configuration download!");
        EXPECT_TRUE(Trace.Contains("Import aborted while waiting for the firmware to stop"));
        if (lost) {
            EXPECT_FALSE(Status(*Device).GetOnline());
            break;
        }
        Runner->Faults().Clear();
    }
}

} // namespace
} // namespace vo
