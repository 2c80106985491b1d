// The script debugger model: what a debug run tells its window, step by
// step, and the breakpoints the user toggles.
#include <string>
#include <vector>

#include "scripting/ScrModel.h"
#include "scripting/ScrTaImp.h"
#include "tests/storagelib/ScriptTestUtil.h"
#include "tests/support/KernelFixtures.h"

namespace vo::test {
namespace {

using namespace std::chrono_literals;

const char* StateName(TScrMdlState S) {
    static const char* names[] = {"Clear", "AddFile", "WaitForStep", "StepDone", "RefreshDbgViews",
                                  "Run", "RunDone", "WaitForKey", "Select", "Deselect",
                                  "Disable", "DeselectBreak", "SelectBreak", "Status"};
    return names[static_cast<int>(S)];
}

// A debugger window that writes down every change it is told of.
class TRecordingView : public TScriptDebuggerView {
public:
    void SetModel(TScrModel* Model) override { FModel = Model; }
    void ScrModelChange(TScrModel& Sender) override {
        std::string e = StateName(Sender.FState);
        switch (Sender.FState) {
        case smsAddFile: e += " " + Sender.FFileList.back(); break;
        case smsSelectNextInstruction: {
            const TTextSelection& s = Sender.GetScrSel(Sender.FStorageID)->FNISel;
            e += " " + std::to_string(s.Pos) + "," + std::to_string(s.Len);
            break;
        }
        case smsSelectBreak:
        case smsDeselectBreak: {
            const TTextSelection& s = Sender.GetScrSel(Sender.FStorageID)->GetBrkSel(Sender.FBrkIndex);
            e += " " + std::to_string(s.Pos) + "," + std::to_string(s.Len);
            break;
        }
        case smsSetStatusLine: e += " " + Sender.FStatusLine; break;
        default: break;
        }
        Events.push_back(e);
    }
    std::vector<std::string> Take() { return std::exchange(Events, {}); }

    TScrModel* FModel = nullptr;
    std::vector<std::string> Events;
};

// Stored texts end their lines with CR LF.
std::string Lines(std::string_view Text) {
    std::string out;
    for (char c : Text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

class ScriptDebuggerTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        MxCreateMainScheduler(Pump);
        SetScriptDebuggerViewFactory([this] { return &View; });
    }
    void TearDown() override {
        SetScriptDebuggerViewFactory({});
        Task.reset();
        PurgeAutoReleasePool();
        MxFreeMainScheduler();
        ScriptTest::TearDown();
    }

    // A debug task of the stored text Name, started; returns once it waits
    // for the first key (the first token marked).
    void StartDebug(const char* Name, const std::string& Text) {
        Mem->Texts[Name] = Lines(Text);
        Source = Text; // positions count a line break as one character
        Task = std::make_unique<TScriptTask>(nullptr, &Tasks);
        Task->SetDebug(true);
        Task->LoadScript(Name);
        Task->Start();
        Settle();
    }
    // Runs the main scheduler until nothing is ready.
    void Settle() {
        Pump.RunPending(10000);
        Pump.RunUntil([] { return false; }, 5ms);
        Pump.RunPending(10000);
    }
    // The selection text of the first occurrence of Token at or after From.
    std::string At(const std::string& Token, std::size_t From = 0) const {
        const std::size_t pos = Source.find(Token, From);
        return std::to_string(pos) + "," + std::to_string(Token.size());
    }
    TScrModel& Model() { return static_cast<TScriptDebugger*>(Task->GetScriptDebugger())->Model(); }

    THeadlessPump Pump;
    TScriptTaskManager Tasks;
    TRecordingView View;
    std::unique_ptr<TScriptTask> Task;
    std::string Source;
};

TEST_F(ScriptDebuggerTest, ADebugRunTellsItsWindowEveryStep) {
    StartDebug("dbg.sct", "[B 1 2\n add ]");
    uint16_t id = 0;
    ASSERT_TRUE(Manager->GetStorageIDManager().NameExist("mem\\dbg.sct", id));
    EXPECT_EQ(View.FModel, &Model());
    EXPECT_EQ(View.Take(), (std::vector<std::string>{"Clear", "AddFile mem\\dbg.sct", "WaitForKey", "Select " + At("1"), "StepDone"}));
    EXPECT_EQ(Model().FStorageID, id);
    EXPECT_EQ(Task->GetScriptState(), scStepInto);

    Task->StepInto();
    Settle();
    EXPECT_EQ(View.Take(), (std::vector<std::string>{"WaitForStep", "Deselect", "Select " + At("2"), "StepDone"}));
    Task->StepInto();
    Settle();
    EXPECT_EQ(View.Take(), (std::vector<std::string>{"WaitForStep", "Deselect", "Select " + At("add"), "StepDone"}));
    Task->StepInto();
    Settle();
    EXPECT_EQ(View.Take(),
              (std::vector<std::string>{"WaitForStep", "RunDone", "Status Script Finished!", "Disable"}));
    EXPECT_FALSE(Task->GetRunning());
    EXPECT_EQ(Task->Result, 0);
    EXPECT_EQ(Model().GetScrSel(id)->FNISel.UserData, 2); // greyed
    EXPECT_EQ(W(Task->PopResult().Get()), "3");
    // A command after the end changes nothing.
    Task->StepInto();
    Settle();
    EXPECT_TRUE(View.Take().empty());
    EXPECT_FALSE(Task->GetRunning());

    // Freed, the task leaves no display handler behind: a run of another task
    // that meets a flagged token goes through.
    Task.reset();
    EXPECT_EQ(View.FModel, nullptr);
    EXPECT_FALSE(static_cast<bool>(Interp->FDbgDisplayEvent));
}

TEST_F(ScriptDebuggerTest, StepOverRunsThroughACallAndStepIntoEntersIt) {
    const std::string text = "[B /p [P [A] /r 1 2 add def [A /r] ] def\n p 5 ]";
    const std::size_t bodyFrom = text.find("[A]") + 3, bodyTo = text.find(" [A /r]");
    for (const bool over : {true, false}) {
        SCOPED_TRACE(over ? "StepOver" : "StepInto");
        StartDebug("step.sct", text);
        bool entered = false;
        for (int steps = 0; Task->GetRunning() && steps < 50; ++steps) {
            for (const std::string& e : View.Take()) {
                if (e.rfind("Select ", 0) != 0) continue;
                const std::size_t pos = std::stoul(e.substr(7));
                if (pos > bodyFrom && pos < bodyTo) entered = true;
            }
            if (over)
                Task->StepOver();
            else
                Task->StepInto();
            Settle();
        }
        EXPECT_FALSE(Task->GetRunning());
        EXPECT_EQ(entered, !over);
        EXPECT_EQ(Task->Result, 0) << Task->GetErrorMsg();
        EXPECT_EQ(W(Task->PopResult().Get()), "5");
        EXPECT_EQ(W(Task->PopResult().Get()), "3");
    }
}

TEST_F(ScriptDebuggerTest, AFailureMarksItsTokenAndShowsTheErrorAsStatus) {
    StartDebug("bad.sct", "[B 1\n nosuch ]");
    View.Take();
    Task->Run();
    Settle();
    EXPECT_EQ(View.Take(),
              (std::vector<std::string>{"Run", "Deselect", "Select " + At("nosuch"), "RefreshDbgViews",
                                        "Status [bad.sct, 2] Runtime error: object with name 'nosuch' not found"}));
    EXPECT_EQ(Task->Result, 1);
}

TEST_F(ScriptDebuggerTest, TheModelNotifiesChangesOnlyAndAddsUnseenScripts) {
    TScrModel model;
    std::vector<std::string> seen;
    model.FOnChange = [&](TScrModel& M) { seen.push_back(StateName(M.FState)); };
    model.WaitForKey();
    model.WaitForKey();
    model.SetStatusLine("a");
    model.SetStatusLine("a");
    EXPECT_EQ(seen, (std::vector<std::string>{"WaitForKey", "Status", "Status"}));

    const uint16_t id = Manager->GetStorageIDManager().CreateStorageID("dir\\other.sct");
    seen.clear();
    model.SelectNextInstruction(id, 4, 3);
    EXPECT_EQ(seen, (std::vector<std::string>{"AddFile", "Select"}));
    EXPECT_EQ(model.FFileList, (std::vector<MyAnsiString>{"dir\\other.sct"}));
    model.AddScript("dir\\other.sct", id); // listed already
    EXPECT_EQ(model.FScrSelList.size(), 1u);
    // An id nobody knows marks nothing.
    model.SelectNextInstruction(999, 1, 1);
    EXPECT_EQ(model.FFileList.size(), 1u);

    TScriptSelection sel(id);
    sel.AddBreak(10, 3, id);
    EXPECT_THROW_MSG(sel.DelBreakAtPos(13), Exception, "TScriptSelection.DelBreakAtPos: no selection at pos: 13 found");
    sel.DelBreakAtPos(12);
    EXPECT_EQ(sel.GetBrkCount(), 0);
}

TEST_F(ScriptDebuggerTest, ToggleBreakSetsAndRemovesAndABreakpointStopsTheRun) {
    const std::string text = "[B 1 2 add\n 'mul in a string' pop\n 3 4 mul ]";
    StartDebug("brk.sct", text);
    uint16_t id = 0;
    ASSERT_TRUE(Manager->GetStorageIDManager().NameExist("mem\\brk.sct", id));
    View.Take();
    const std::size_t mulPos = Source.find("mul", Source.find("4"));

    // Inside a string literal: nothing.
    Model().ToggleBreak(id, static_cast<int32_t>(Source.find("in a")));
    EXPECT_TRUE(View.Take().empty());
    // Twice at the same place: set, then removed.
    Model().ToggleBreak(id, static_cast<int32_t>(mulPos + 1));
    Model().ToggleBreak(id, static_cast<int32_t>(mulPos));
    EXPECT_EQ(View.Take(), (std::vector<std::string>{"SelectBreak " + At("mul", mulPos), "DeselectBreak " + At("mul", mulPos)}));
    EXPECT_EQ(Model().GetScrSel(id)->GetBrkCount(), 0);

    // Set: the run stops before the token, Run goes on to the end.
    Model().ToggleBreak(id, static_cast<int32_t>(mulPos));
    View.Take();
    Task->Run();
    Settle();
    EXPECT_EQ(View.Take(), (std::vector<std::string>{"Run", "Deselect", "Select " + At("mul", mulPos), "StepDone"}));
    EXPECT_TRUE(Task->GetRunning());
    EXPECT_EQ(SLContextImpl(Task->GetContext()).GetState(), isBreakpoint);
    Task->Run();
    Settle();
    EXPECT_FALSE(Task->GetRunning());
    EXPECT_EQ(W(Task->PopResult().Get()), "12");

    // The next run of the script stops there again.
    Task->Start();
    Settle();
    Task->Run();
    Settle();
    EXPECT_TRUE(Task->GetRunning());
    EXPECT_EQ(SLContextImpl(Task->GetContext()).GetState(), isBreakpoint);
    Task->Abort();
    Settle();
    EXPECT_EQ(Task->GetErrorMsg(), "script task aborted");

    // A run without the debugger ignores the flag.
    auto plain = std::make_unique<TScriptTask>(nullptr, &Tasks);
    plain->SetScript(Task->GetScript());
    plain->SetContext(TRef<TSLContext>(Manager->CreateContext(false)).Get());
    plain->Start();
    ASSERT_TRUE(Pump.RunUntil([&] { return !plain->GetRunning(); }, 5s));
    EXPECT_EQ(plain->Result, 0) << plain->GetErrorMsg();
}

} // namespace
} // namespace vo::test
