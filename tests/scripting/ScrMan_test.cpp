// The program's script classes and "loadclass": classes of a shared library
// built for the tests, their objects, methods, errors and a wait that the
// library answers from a thread of its own.
#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/FileNames.h"
#include "scripting/ScrDllAbi.h"
#include "scripting/ScrMan.h"
#include "scripting/ScrTaImp.h"
#include "storagelib/SL20Cla.h"
#include "tests/storagelib/ScriptTestUtil.h"
#include "tests/support/KernelFixtures.h"

namespace vo::test {
namespace {

using namespace std::chrono_literals;

// The test library's counters (through a load of our own).
class TLibraryProbe {
public:
    explicit TLibraryProbe(const std::string& Path) : FHandle(dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        Call("ScrTestReset");
    }
    ~TLibraryProbe() {
        if (FHandle) dlclose(FHandle);
    }
    int32_t Call(const char* Name) const {
        auto fn = reinterpret_cast<int32_t (*)()>(dlsym(FHandle, Name));
        return fn ? fn() : -99;
    }
    int32_t Live() const { return Call("ScrTestLiveObjects"); }

private:
    void* FHandle;
};

// A class that takes a name before the library's.
class TPlaceholderClass : public TScriptClass {
public:
    int32_t CreateObject(TContextInterface&) override { return 1; }
    void DestroyObject(int32_t) override {}
    void ExecuteMethod(int32_t, int32_t, TContextInterface&) override {}
    MyAnsiString GetMethodName(int32_t) override { return {}; }
};

class ScriptClassTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        MxCreateMainScheduler(Pump);
        Manager->AnnounceScriptTaskFactory(std::make_unique<TScriptTaskFactory>(nullptr, &Tasks));
        RegisterScriptClasses(*Manager);
        LibDir = RealPathToStored(std::filesystem::path(SCRDLL_DIR)) + "\\";
        Manager->AnnounceClasspath(LibDir);
    }
    void TearDown() override {
        PurgeAutoReleasePool();
        MxFreeMainScheduler();
        ScriptTest::TearDown();
    }

    // Runs Text as a script task to its end (the scheduler pumped).
    std::unique_ptr<TScriptTask> RunTask(std::string_view Text) {
        auto task = std::make_unique<TScriptTask>(nullptr, &Tasks);
        TRef<TSLObject> block = SLDecodeString("[B " + std::string(Text) + " ]");
        task->SetScript(SLCast<TSLBlock>(block.Get()));
        task->SetContext(TRef<TSLContext>(Manager->CreateContext(false)).Get());
        task->Start();
        EXPECT_TRUE(Pump.RunUntil([&] { return !task->GetRunning(); }, 10s));
        return task;
    }
    static std::string Results(TScriptTaskInterface& Task) {
        std::string out;
        TStackInterface& ops = *Task.GetContext()->FOperandStackInterface;
        for (int i = ops.GetCount() - 1; i >= 0; --i) out += (out.empty() ? "" : " ") + W(ops.GetObjAtIndex(i));
        return out;
    }
    static TSLObject* GlobalOf(TScriptTaskInterface& Task, const char* Name) {
        auto* top = static_cast<TSLDictionary*>(SLContextImpl(Task.GetContext()).DictStack().GetObjAtIndex(0));
        return top->FindObjWithName(Name);
    }
    static std::string LibPath(const char* Kind) { return std::string(SCRDLL_DIR) + "/ScrTest_" + Kind + ".so"; }

    THeadlessPump Pump;
    TScriptTaskManager Tasks;
    MyAnsiString LibDir;
};

TEST_F(ScriptClassTest, RegistrationAnnouncesLoadclassAndTheClassesInTheirOrder) {
    EXPECT_TRUE(Manager->GetSystemDict()->GetNameExists("loadclass"));
    TSLDictionary& create = *Manager->GetScriptClassDict();
    const int archive = create.GetIndexOfName("ArchiveManager");
    const int storage = create.GetIndexOfName("StorageObjectManager");
    ASSERT_GE(archive, 0);
    EXPECT_GT(storage, archive);
    EXPECT_EQ(SLCast<TSLScriptClassFactory>(create.GetObjWithName("StorageObjectManager"))->FClassVersion, 1);
}

TEST_F(ScriptClassTest, LibraryObjectsRunMethodsAndWaitForTheLibrarysThread) {
    TLibraryProbe probe(LibPath("full"));
    const int32_t liveBefore = probe.Live();
    auto task = RunTask(
        "'ScrTest_full.so' loadclass DllCounter /c exch def "
        "5 c.Add 7 c.Add c.Get 'Alice' c.Greet 'Al' c.Greet 20 c.WaitAsync "
        "DllEcho /e exch def 21 e.Twice");
    EXPECT_EQ(task->Result, 0) << task->GetErrorMsg();
    EXPECT_EQ(Results(*task), "12 'Hello, Alice' 'Hello, Al' 'continued' 42");
    EXPECT_EQ(probe.Call("ScrTestContinueResult"), VO_SCR_OK);
    EXPECT_EQ(probe.Live(), liveBefore + 2);
    // Loaded twice: every name is known, nothing is announced again.
    auto again = RunTask("'ScrTest_full.so' loadclass DllEcho /e exch def 4 e.Twice");
    EXPECT_EQ(Results(*again), "8");
    task.reset();
    again.reset();
    PurgeAutoReleasePool();
    EXPECT_EQ(probe.Live(), liveBefore);
}

TEST_F(ScriptClassTest, TwoObjectsAreIndependentAndDroppingOneDestroysOnlyIt) {
    TLibraryProbe probe(LibPath("full"));
    const int32_t liveBefore = probe.Live();
    auto task = RunTask(
        "'ScrTest_full.so' loadclass DllCounter /a exch def DllCounter /b exch def "
        "1 a.Add 2 b.Add a.Get b.Get /a 0 def b.Get");
    EXPECT_EQ(Results(*task), "1 2 2");
    EXPECT_EQ(probe.Live(), liveBefore + 1);
    const int32_t b = SLCast<TSLClass>(GlobalOf(*task, "b"))->FScrObjHandle;
    EXPECT_NE(probe.Call("ScrTestLastDestroyed"), b);
    EXPECT_GT(probe.Call("ScrTestLastDestroyed"), 0);
}

TEST_F(ScriptClassTest, ANameAlreadyAnnouncedIsSkippedAndTheNextClassStillComes) {
    TPlaceholderClass placeholder;
    Manager->AnnounceScriptClass("DllCounter", &placeholder, 1);
    LoadScriptClasses(*Manager, "ScrTest_full.so");
    EXPECT_EQ(SLCast<TSLScriptClassFactory>(Manager->GetScriptClassDict()->GetObjWithName("DllCounter"))->FScriptClass,
              &placeholder);
    auto task = RunTask("DllEcho /e exch def 5 e.Twice");
    EXPECT_EQ(Results(*task), "10");
}

TEST_F(ScriptClassTest, MethodErrorsBecomeScriptExceptions) {
    auto task = RunTask(
        "'ScrTest_full.so' loadclass DllCounter /c exch def "
        "[B c.Fail] [B /Msg get] tryexcept "
        "[B 5 c.PopWrong] [B /Msg get] tryexcept "
        "[B 'x' c.Add] [B /Msg get] tryexcept "
        "'still here'");
    EXPECT_EQ(task->Result, 0) << task->GetErrorMsg();
    EXPECT_EQ(Results(*task), "'counter failed' 'Invalid class typecast' 'Invalid class typecast' 'still here'");
    auto failing = RunTask("'ScrTest_full.so' loadclass DllCounter /c exch def c.Fail");
    EXPECT_EQ(failing->Result, 1);
    EXPECT_EQ(failing->GetErrorMsg(), "Runtime error: counter failed");
}

TEST_F(ScriptClassTest, LoadErrorsNameTheLibraryAndReachTheScript) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("vo_scrman_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "NotALibrary.so") << "plain text\n";
    Manager->AnnounceClasspath(RealPathToStored(dir) + "\\");
    const MyAnsiString textFile = RealPathToStored(dir) + "\\NotALibrary.so";
    struct TCase {
        const char* Name;
        std::string Error;
    } cases[] = {
        {"x.so", "LoadScriptClass: DLL with name 'x.so' not found"},
        {"NotALibrary.so", "LoadScriptClass: Unable to load DLL with name '" + textFile + "'"},
        {"ScrTest_noexports.so", "LoadScriptClass: Unable to find function 'GetClassName' in DLL with name '" + LibDir + "ScrTest_noexports.so'"},
        {"ScrTest_noexecute.so", "TDLLScriptClass.Create: function with name 'ExecuteMethod' in DLL '" + LibDir + "ScrTest_noexecute.so' not found"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto task = RunTask("[B '" + std::string(c.Name) + "' loadclass] [B /Msg get] tryexcept");
        EXPECT_EQ(SLCast<TSLString>(task->PopResult().Get())->GetStringValue(), c.Error);
    }
    EXPECT_FALSE(Manager->ScriptClassExists("DllCounter"));
    std::filesystem::remove_all(dir);
}

TEST_F(ScriptClassTest, ALateAnswerAfterAnAbortReachesNoFreedContext) {
    TLibraryProbe probe(LibPath("full"));
    const int32_t liveBefore = probe.Live();
    auto task = std::make_unique<TScriptTask>(nullptr, &Tasks);
    TRef<TSLObject> block = SLDecodeString("[B 'ScrTest_full.so' loadclass DllCounter /c exch def 50 c.WaitAsync ]");
    task->SetScript(SLCast<TSLBlock>(block.Get()));
    task->SetContext(TRef<TSLContext>(Manager->CreateContext(false)).Get());
    task->Start();
    ASSERT_TRUE(Pump.RunUntil(
        [&] { return task->GetContext() && SLContextImpl(task->GetContext()).GetState() == isWaiting; }, 5s));
    task->Abort();
    ASSERT_TRUE(Pump.RunUntil([&] { return !task->GetRunning(); }, 5s));
    EXPECT_EQ(task->GetErrorMsg(), "script task aborted");
    task.reset(); // the task and its hold on the context go
    block.Reset();
    ASSERT_TRUE(Pump.RunUntil([&] { return probe.Call("ScrTestContinueResult") == VO_SCR_OK; }, 5s));
    // The answer is handed over and dropped; then the object goes with its context.
    Pump.RunUntil([] { return false; }, 20ms);
    PurgeAutoReleasePool();
    EXPECT_EQ(probe.Live(), liveBefore);
}

} // namespace
} // namespace vo::test
