#pragma once
// A device side for end-to-end tests of device services: the program's
// profiles and archives, a storage manager that runs script tasks, the device
// manager with the connection, module and status services registered, the
// communication server with an RS232 driver for "COM7", and a simulated drive
// behind it on a pseudo-terminal. The login information window and the login
// question are recorded. Needs the compile definitions VO_PROGRAM_DIR (the
// build folder with the archives) and VO_DATA_DIR (data/).
#include "comm/OvraActr.h"
#include "comm/OvraServ.h"
#include "comm/QpRegister.h"
#include "comm/RsDrv.h"
#include "comm/ServActr.h"
#include "devices/ModulSrv.h"
#include "devices/QsBasic.h"
#include "devices/StatSrv.h"
#include "kernel/LanguageMan.h"
#include "kernel/LoginPrompts.h"
#include "kernel/PrgVars.h"
#include "platform/ComPorts.h"
#include "platform/FileNames.h"
#include "storagelib/SL20Arc.h"
#include "storagelib/SL20Exe.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Sto.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/ScriptTasks.h"
#include "tests/support/ScriptedPrompt.h"
#include "tests/support/SimComLink.h"
#include "tests/support/TestShell.h"
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimPty.h"
#include "tools/drivesim/SimRunner.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vo::test {

// Records the login information window's lines.
class TRecordedLoginInfo : public TLoginInfoWindow {
public:
    TRecordedLoginInfo() : Prev(SetLoginInfoWindow(this)) {}
    ~TRecordedLoginInfo() override { SetLoginInfoWindow(Prev); }
    void AddString(const MyAnsiString& S) override { Lines.push_back(S); }
    void SetLastLine(const MyAnsiString& S) override {
        if (Lines.empty())
            Lines.push_back(S);
        else
            Lines.back() = S;
    }
    std::vector<MyAnsiString> Lines;

private:
    TLoginInfoWindow* Prev;
};

// Records the login questions and answers from a script (then No).
class TRecordedLoginQuestion : public TLoginQuestionPrompt {
public:
    TRecordedLoginQuestion() : Prev(SetLoginQuestionPrompt(this)) {}
    ~TRecordedLoginQuestion() override { SetLoginQuestionPrompt(Prev); }
    TModalResult Ask(const TLoginQuestion& Q) override {
        Asked.push_back(Q);
        if (Answers.empty())
            return mrNo;
        const TModalResult r = Answers.front();
        Answers.pop_front();
        return r;
    }
    std::deque<TModalResult> Answers;
    std::vector<TLoginQuestion> Asked;

private:
    TLoginQuestionPrompt* Prev;
};

inline void LoadLanguageFileOnce() {
    static bool loaded = false;
    if (loaded)
        return;
    loaded = true;
    TScriptedPromptScope prompt;
    LanguageManager().InitWithFile(std::string(VO_DATA_DIR) + "/LanguageDef/LanguageDef.csv");
}

class DeviceTestBase : public MainSchedulerFixture, protected SimComLink {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        MxEnsureMessaging();
        LoadLanguageFileOnce();
        Shell.productInfo["ProgramVersionCaption"] = "4.2";
        Shell.companyInfo["HomePage"] = "www.velkor.example";
        Storage = std::make_unique<TStorageManager>(RealPathToStored(VO_PROGRAM_DIR) + "\\");
        SLInstallScriptEngine(*Storage);
        Storage->AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
        Storage->AnnounceStoragePlugin(std::make_unique<TArchiveStoragePlugin>(), true);
        InstallScriptTasks(*Storage);
        {
            TSLStorageObject* o = Storage->GetObject("archive://Archives\\Config\\VelCmdr.ini");
            Config = TRef<TSLDictionary>(dynamic_cast<TSLDictionary*>(o->GetData()));
        }
        ASSERT_TRUE(Config);
        SetWorkDir(DataDir());
        TSLDictionary* root = Config.Get();
        Manager = std::make_unique<TDeviceManager>(DictionaryAtPath(root, "Devices"),
                                                   [root](const MyAnsiString& Path) { return DictionaryAtPath(root, Path); });
        RegisterServices();
        ASSERT_NO_FATAL_FAILURE(OpenLink());
    }
    void TearDown() override {
        Manager.reset();
        CloseLink();
        SetWorkDir("");
        Config.Reset();
        Storage.reset();
        PurgeAutoReleasePool();
        MainSchedulerFixture::TearDown();
    }

    // The service classes of the devices (a test may leave some out: the
    // profiles' other services are then not created).
    virtual void RegisterServices() {
        Manager->RegisterServiceClass("OvraService", DeviceServiceClass<TBasicOvraService>());
        Manager->RegisterServiceClass("ModuleService", DeviceServiceClass<TModuleService>());
        Manager->RegisterServiceClass("StatusService", DeviceServiceClass<TStatusService>());
    }

    static MyAnsiString DataDir() { return RealPathToStored(VO_DATA_DIR); }
    static std::string DataPath(const std::string& Rel) { return std::string(VO_DATA_DIR) + "/" + Rel; }


    TDevice& NewDevice(const char* Profile = "VelkorOnline", const char* User = "USER", const char* Password = "user") {
        TDevice& d = Manager->CreateDevice("BOX" + std::to_string(++DeviceCount), Profile);
        d.SetStrVar("PortName", "COM7");
        d.SetStrVar("UserName", User);
        d.SetStrVar("Password", Password);
        d.CreateServices();
        return d;
    }
    static TBasicOvraService& Ovra(TDevice& D) { return *D.FindService<TBasicOvraService>("OvraService"); }
    static TModuleService& Modules(TDevice& D) { return *D.FindService<TModuleService>("ModuleService"); }
    static TStatusService& Status(TDevice& D) { return *D.FindService<TStatusService>("StatusService"); }

    bool Start(TDevice& D) {
        int responses = 0;
        D.StartUpServices([&](TDevice&) { ++responses; });
        return RunUntil([&] { return responses > 0; }, std::chrono::seconds(10));
    }
    bool Stop(TDevice& D) {
        int responses = 0;
        D.ShutDownServices([&](TDevice&) { ++responses; });
        return RunUntil([&] { return responses > 0; }, std::chrono::seconds(10));
    }
    void Settle(std::chrono::milliseconds For) {
        RunUntil([] { return false; }, For);
    }

    // The frames the drive received, as hexadecimal texts.
    std::vector<std::string> FramesIn() const {
        std::vector<std::string> out;
        for (const auto& f : Runner->Transcript().Frames(SimDirection::In))
            out.push_back(SimToHex(f));
        return out;
    }
    size_t CountFrames(const std::string& Hex) const {
        size_t n = 0;
        for (const auto& f : FramesIn())
            n += f == Hex;
        return n;
    }

    TScopedTimeOverride OpenDelay{RsDriverOpenDelay, 0};
    TScopedTimeOverride AnswerTimeout{ServerActorAnswerTimeout, 1000};
    TestShell Shell;
    TScriptedPromptScope Prompt;
    CapturedTrace Trace;
    TRecordedLoginInfo LoginInfo;
    TRecordedLoginQuestion Question;
    std::unique_ptr<TStorageManager> Storage;
    TRef<TSLDictionary> Config;
    std::unique_ptr<TDeviceManager> Manager;
    int DeviceCount = 0;
};

// Test bytes: byte i is (i * Step + Seed) & 0xFF.
inline MyAnsiString TestBytes(size_t N, size_t Step, int Seed) {
    MyAnsiString s(N, '\0');
    for (size_t i = 0; i < N; ++i)
        s[i] = static_cast<char>((i * Step + static_cast<size_t>(Seed)) & 0xFF);
    return s;
}

// One started device on the sample drive vx41 (buffer 255, data size 2, one
// word per address); Mark is the number of frames the drive had received when
// the device was up, so that a test sees only its own telegrams.
class OnlineDeviceTest : public DeviceTestBase {
protected:
    void SetUp() override {
        DeviceTestBase::SetUp();
        Attach("vx41.drive");
        Device = &NewDevice();
        ASSERT_TRUE(Start(*Device));
        ASSERT_EQ(Device->State(), dstStarted);
        Mark = FramesIn().size();
    }
    bool Until(const std::function<bool()>& Pred) { return RunUntil(Pred, std::chrono::seconds(10)); }
    // The frames of one command the drive received since Mark.
    std::vector<std::string> Frames(const std::string& Cmd) const {
        std::vector<std::string> out;
        const auto all = FramesIn();
        for (size_t i = Mark; i < all.size(); ++i)
            if (all[i].rfind(Cmd + " ", 0) == 0 || all[i] == Cmd)
                out.push_back(all[i]);
        return out;
    }
    void Poke(uint32_t Address, const MyAnsiString& Bytes) {
        Runner->WithDrive([&](SimDrive& d) {
            d.Poke(Address, Bytes);
            return 0;
        });
    }
    MyAnsiString Peek(uint32_t Address, size_t Count) {
        return Runner->WithDrive([&](SimDrive& d) { return d.Peek(Address, Count); });
    }

    TDevice* Device = nullptr;
    size_t Mark = 0;
};

// A temporary folder, removed at the end.
class TTempFolder {
public:
    TTempFolder() {
        static int n = 0;
        FPath = std::filesystem::temp_directory_path() /
            ("vo-test-" + std::to_string(::getpid()) + "-" + std::to_string(++n));
        std::filesystem::create_directories(FPath);
    }
    ~TTempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(FPath, ec);
    }
    const std::filesystem::path& Path() const { return FPath; }
    // Writes a file (folders made as needed).
    void Write(const std::string& Rel, const std::string& Text) const {
        const auto p = FPath / Rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << Text;
    }

private:
    std::filesystem::path FPath;
};

} // namespace vo::test
