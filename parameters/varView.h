#pragma once
// The variable list view without its widgets: the rows of one variable
// section, the view's client of the variable service with the operation that
// waits for its turn, the worker task "VarViewer" that drives the cyclic
// reading, the actions (read, write, read all, remove, new, copy, new with
// UPID), the value entry, the CSV file of "Read All" with Ctrl, and the
// printout.
//
// The view never talks to the drive: it marks variables inside a value
// request of the service while its client is current, and the answers come
// back in the service's update pass, which refreshes the rows.
//
// The form (parameters/gui/varViewer.h) shows Rows(), keeps the selection in
// step with SetSelected and redraws when OnRowsChanged says so. Messages go
// to the user prompt, the file name to the shell's save dialog.
//
// GUI thread only.
#include <cstdint>
#include <functional>
#include <memory>

#include "parameters/varRows.h"
#include "platform/AnsiString.h"
#include "platform/Time.h"

namespace vo {

class TDevice;
class TDirItem;
class TMxSignal;
class TMxTask;
class TParameterService;
class TVarItem;
class TVariableClient;
class TVariableManager;
class TVariableService;
class TServiceClient;

// How long the worker sleeps between looks at the view while it does not
// read cyclically, and its pause after each pass over the rows.
inline TTimeConstant VarViewerIdleWait{"VarViewer.IdleWait", 333};
inline TTimeConstant VarViewerPassPause{"VarViewer.PassPause", 500};

// The operation that waits for the client's turn.
enum class TVarViewStatus : std::uint8_t { stReady,
                                           stReadVar,
                                           stWriteVar,
                                           stReadAll,
                                           stRemoveVar,
                                           stCycledUpdate,
                                           stReadAllAndSave };

// The worker idles (view hidden) or serves the shown view.
enum class TVarWorkState : std::uint8_t { wsReady,
                                          wsShow };

// The type names of the "New ..." actions.
inline constexpr const char* VarNewIntegerTypes[] = {"SInt8", "UInt8", "SInt16", "UInt16", "SInt32", "UInt32"};

class TVarViewModel {
public:
    TVarViewModel();
    ~TVarViewModel();
    TVarViewModel(const TVarViewModel&) = delete;
    TVarViewModel& operator=(const TVarViewModel&) = delete;

    // vaCreate: the client with the manager's detail switch and widths; the
    // worker task started (waiting until a section is shown).
    void Create(const TVariableManager& AManager);
    // vaShow: masks from AUserName, the section and its service, the client
    // connected, the rows refreshed, the worker serving.
    void Show(TDirItem& ADir, const MyAnsiString& AUserName);
    // vaHide: the worker idles, the client disconnected, section forgotten.
    void Hide();

    // ------------------------------------------------------------ actions
    bool Online() const;
    bool ReadVarEnabled() const;
    bool WriteVarEnabled() const;
    bool ReadAllEnabled() const { return Online(); }
    bool CyclicEnabled() const { return Online(); }
    bool RemoveEnabled() const;
    // The new-variable actions and "New with UPID": a user-defined section.
    bool NewEnabled() const;
    bool EditPropertiesEnabled() const;
    // Each asks for the client's turn when no other operation waits; false
    // when ignored.
    bool ReadVar();
    bool WriteVar();
    // ReadAll with Ctrl also saves the values as CSV afterwards.
    bool ReadAll(bool Ctrl);
    bool Remove();
    // A new user-defined variable of ATypeName after the selected row
    // (appended without a selection); it becomes the selected one.
    TVarItem* NewVar(const MyAnsiString& ATypeName);
    // "Copy Var": a copy of the selected user-defined variable after it, with
    // a free caption and the next address; nullptr when the selection is no
    // user-defined variable.
    TVarItem* CopyVar();
    // "New with UPID" after the UPID was chosen: variables from the
    // parameter and the section variable with that device UPID; the
    // "not found!" message is shown to the user.
    TNewWithUPID NewWithUPID(std::int32_t AUPID);
    // The cyclic toggle's state, read by the worker.
    void SetCyclic(bool Value);
    bool Cyclic() const noexcept { return FCyclic; }
    // The action update: the display modes seen last; a change refreshes
    // the rows (true).
    bool CheckDisplayModes();

    // ------------------------------------------------------------ rows
    // The rows from the section: the searched variable, else the remembered
    // one, else the selected row's is selected afterwards.
    void UpdateListView();
    const TVarListRows& Rows() const noexcept { return FRows; }
    int Selected() const noexcept { return FSelected; }
    // The form's selection changed: the row's variable is remembered.
    void SetSelected(int Row);
    TVarItem* SelectedVar() const { return FRows.Var(FSelected); }
    bool Writable(const TVarItem& V) const;

    // ------------------------------------------------------------ value entry
    // The editor over the "Value" cell: shown for a selected writable row.
    bool EditorShown() const;
    MyAnsiString EditorText() const;
    // Stores the text through SetValueStr when it differs from the value
    // (only the cache changes: "Write Variable" sends it). A text that does
    // not convert shows its message and stores nothing: false.
    bool StoreValue(const MyAnsiString& Text);
    // A double click in the editor of a "Bool16": "TRUE" <-> "FALSE" (any
    // other text stays) and stored; the text the editor shows afterwards.
    MyAnsiString ToggleBool(const MyAnsiString& Text);

    // ------------------------------------------------------------ print
    // The print job's title, and the printout on the current printer (after
    // the printer's dialog; nothing when it is cancelled).
    MyAnsiString PrintTitle() const;
    void Print();

    // ------------------------------------------------------------ state
    TVariableClient& Client() const noexcept { return *FClient; }
    TDirItem* Section() const noexcept { return FDir; }
    TVariableService* Service() const noexcept { return FService; }
    TDevice* Device() const;
    TVarViewStatus Status() const noexcept { return FStatus; }
    TVarWorkState WorkState() const noexcept { return FWorkState; }
    TMxTask* WorkTask() const noexcept { return FWorkTask.get(); }
    int CycUpdateIndex() const noexcept { return FCyclicIndex.Index(); }
    bool ReadAndSaveFlag() const noexcept { return FReadAndSave; }
    const TVarViewMasks& Masks() const noexcept { return FMasks; }
    const TVarRowContext& Context() const noexcept { return FContext; }

    // After a refresh: the form writes the changed cells and selects Row
    // (-1: none).
    std::function<void(int Row)> OnRowsChanged;

    // The client's events (the service's provider calls them).
    void ServiceClientExecute(TServiceClient& Client);
    void ServiceClientUpdate();
    // One step of the worker task.
    void Work(TMxTask& Task);

private:
    bool Start(TVarViewStatus S);
    void ExecuteCycledUpdate();
    void SaveCsv();
    void Wake();
    void WaitWork(TMxTask& Task, std::int64_t Timeout);
    void FillContext();

    std::unique_ptr<TVariableClient> FClient;
    std::unique_ptr<TMxSignal> FWorkSignal;
    std::unique_ptr<TMxTask> FWorkTask;
    TVarWorkState FWorkState = TVarWorkState::wsReady;
    TVarViewStatus FStatus = TVarViewStatus::stReady;
    TDirItem* FDir = nullptr;
    TVariableService* FService = nullptr;
    TVarItem* FSelVarItem = nullptr;
    TVarViewMasks FMasks;
    TVarRowContext FContext;
    TVarListRows FRows;
    TCyclicIndex FCyclicIndex;
    int FSelected = -1;
    bool FWaitFlag = false;
    bool FReadAndSave = false;
    bool FCyclic = false;
};

} // namespace vo
