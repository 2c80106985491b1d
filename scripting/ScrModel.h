#pragma once
// The script debugger: what a debugged run reports (the script files taking
// part, the token that runs next, a step or the whole run done, a status
// line) and the user's breakpoints, kept in TScrModel. The model tells its
// window of every change through one change event whose kind is the model's
// state. Each debugger makes its own window through the view factory the GUI
// installs; without one the model runs headless.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/AnsiString.h"
#include "storagelib/CtxIntf.h"
#include "storagelib/RefObj.h"

namespace vo {

class TSLContextImplementation;

// The kind of the last change of a model (one byte).
enum class TScrMdlState : uint8_t {
    smsClear,
    smsAddFile,
    smsWaitForStep,
    smsStepDone,
    smsRefreshDbgViews,
    smsRun,
    smsRunDone,
    smsWaitForKey,
    smsSelectNextInstruction,
    smsDeselectNextInstruction,
    smsDisableNextInstruction,
    smsDeselectBreak,
    smsSelectBreak,
    smsSetStatusLine
};
using enum TScrMdlState;

// A range of a script text.
struct TTextSelection {
    int32_t Pos = 0;
    int32_t Len = 0;
    int32_t UserData = 0;
};

// The marks of one script file.
class TScriptSelection {
public:
    static const char* ClassName() noexcept { return "TScriptSelection"; }
    explicit TScriptSelection(uint16_t StorageID) : FStorageID(StorageID) {}

    // Appends a breakpoint mark.
    void AddBreak(int32_t Pos, int32_t Len, int32_t UserData);
    // Removes the first mark that covers Pos; "TScriptSelection.DelBreakAtPos:
    // no selection at pos: %d found" when none does.
    void DelBreakAtPos(int32_t Pos);
    const TTextSelection& GetBrkSel(int32_t Index) const { return FBrkSelList.at(static_cast<std::size_t>(Index)); }
    int32_t GetBrkCount() const noexcept { return static_cast<int32_t>(FBrkSelList.size()); }

    // Breakpoint marks in order of setting (UserData: the storage id).
    std::vector<TTextSelection> FBrkSelList;
    // The next-instruction mark; UserData 1: never shown, 0: shown, 2: greyed
    // after the end of the run.
    TTextSelection FNISel{0, 0, 1};
    uint16_t FStorageID;
};

class TScrModel {
public:
    static const char* ClassName() noexcept { return "TScrModel"; }
    using TOnChange = std::function<void(TScrModel& Sender)>;

    TScrModel() = default;
    TScrModel(const TScrModel&) = delete;
    TScrModel& operator=(const TScrModel&) = delete;

    // Empties the file list and the marks; always notifies.
    void Clear();
    // Adds a file not listed yet (with a next-instruction mark never shown)
    // and notifies; a listed file changes nothing.
    void AddScript(const MyAnsiString& FileName, uint16_t ID);
    // These notify only when the state changes.
    void WaitForStep() { SetState(smsWaitForStep); }
    void StepDone() { SetState(smsStepDone); }
    void RefreshDbgViews() { SetState(smsRefreshDbgViews); }
    void Run() { SetState(smsRun); }
    void RunDone() { SetState(smsRunDone); }
    void WaitForKey() { SetState(smsWaitForKey); }
    // Always notifies.
    void SetStatusLine(const MyAnsiString& Msg);
    void SetState(TScrMdlState Value);
    // The marks of a script; nil when none.
    TScriptSelection* GetScrSel(uint16_t StorageID) const;
    // Marks the token that runs next (adds a script not seen yet first).
    void SelectNextInstruction(uint16_t StorageID, int32_t Pos, int32_t Len);
    // Greys the next-instruction mark when it is shown.
    void DeselectNextInstruction();
    // Sets or removes the breakpoint of the identifier token that covers Pos;
    // nothing where no identifier is. "TScrModel.ToggleBreak: internal error"
    // when a set flag has no mark.
    void ToggleBreak(uint16_t StorageID, int32_t Pos);

    TScrMdlState FState = smsClear;
    TOnChange FOnChange;
    std::vector<MyAnsiString> FFileList;
    TRef<TSLContextImplementation> FContext;
    uint16_t FStorageID = 0;
    int32_t FBrkIndex = 0;
    MyAnsiString FStatusLine;
    std::vector<std::unique_ptr<TScriptSelection>> FScrSelList;
    TScriptTaskInterface* FScrTask = nullptr; // the debugged task (it owns the debugger)

private:
    void Notify();
};

// A debugger window (made by the GUI's view factory and owned by the GUI).
class TScriptDebuggerView {
public:
    virtual ~TScriptDebuggerView() = default;
    // The model shown; nil once the debugger is gone (later commands are
    // then ignored).
    virtual void SetModel(TScrModel* Model) = 0;
    // The model's change handler.
    virtual void ScrModelChange(TScrModel& Sender) = 0;
};

// Makes a new debugger window; nil for none.
using TScriptDebuggerViewFactory = std::function<TScriptDebuggerView*()>;
// The GUI installs its factory (an empty one: debuggers without windows).
void SetScriptDebuggerViewFactory(TScriptDebuggerViewFactory Factory);

// The debugger of a debug run: forwards to its model, which a window shows.
class TScriptDebugger final : public TScriptDebuggerInterface {
public:
    // A new model, and a new window when a view factory is installed.
    TScriptDebugger();
    // Detaches the model from the window (the window stays).
    ~TScriptDebugger() override;

    TSLContext* GetContext() override;
    void SetContext(TSLContext* Value) override;
    TScriptTaskInterface* GetScriptTask() override { return DebuggerModel->FScrTask; }
    void SetScriptTask(TScriptTaskInterface* Value) override { DebuggerModel->FScrTask = Value; }
    MyAnsiString GetStatusLine() override { return DebuggerModel->FStatusLine; }
    void SetStatusLine(const MyAnsiString& Value) override { DebuggerModel->SetStatusLine(Value); }
    void Clear() override { DebuggerModel->Clear(); }
    void AddScript(const MyAnsiString& FileName, uint16_t ID) override { DebuggerModel->AddScript(FileName, ID); }
    void RefreshDbgViews() override { DebuggerModel->RefreshDbgViews(); }
    void Run() override { DebuggerModel->Run(); }
    void RunDone() override { DebuggerModel->RunDone(); }
    void StepDone() override { DebuggerModel->StepDone(); }
    void SelectNextInstruction(uint16_t ID, int32_t Pos, int32_t Len) override {
        DebuggerModel->SelectNextInstruction(ID, Pos, Len);
    }
    void DeselectNextInstruction() override { DebuggerModel->DeselectNextInstruction(); }
    void WaitForKey() override { DebuggerModel->WaitForKey(); }
    void WaitForStep() override { DebuggerModel->WaitForStep(); }

    TScrModel& Model() noexcept { return *DebuggerModel; }
    TScriptDebuggerView* View() const noexcept { return DebuggerForm; }

private:
    TScriptDebuggerView* DebuggerForm = nullptr; // owned by the GUI
    std::unique_ptr<TScrModel> DebuggerModel;
};

class TScriptDebuggerFactory {
public:
    std::unique_ptr<TScriptDebuggerInterface> CreateScriptDebugger();
};

} // namespace vo
