#pragma once
// The parameter list view without its widgets: the rows of one parameter
// directory (name, value, raw data, UPID, type, scale, offset, limits,
// default, access), the view's client of the parameter service with its
// request flags and states, and the value entry (conversion by display mode
// and unit system, range checks, one pending change at a time).
//
// The form (parameters/gui/ParAppView.h) shows Rows() in a list and the
// value field; it hands the user's input to the model and redraws when the
// model says so (OnRowsChanged, OnValueEdit). Messages go to the user prompt.
//
// GUI thread only.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "kernel/ModTree.h"
#include "parameters/DatTypes.h"
#include "platform/AnsiString.h"

namespace vo {

class TDevice;
class TGenericDirParameter;
class TGenericIntParameter;
class TParameter;
class TParameterClient;
class TParameterManager;
class TParameterService;
class TServiceClient;

enum TRequestFlag : std::uint8_t { pvrRebuild,
                                   pvrUpdate,
                                   pvrModify,
                                   pvrSave };
using TRequestFlagSet = TEnumSet<TRequestFlag>;

enum class TParViewState : std::uint8_t { stIdle,
                                          stUpdate,
                                          stModify,
                                          stSave };

// Columns of the list: "Name" and the sub-items 0 to 9.
inline constexpr int ParViewColumnCount = 11;
// The captions of the 11 columns in order.
const std::array<const char*, ParViewColumnCount>& ParViewColumnCaptions();

// Image numbers of the rows (the shared image list of the model).
enum TParViewImage : int {
    piNone = -1,
    piBoolClear = 0,
    piBoolSet = 1,
    piRadioClear = 2,
    piRadioSet = 3,
    piLive = 59,
    piLiveBoolClear = 110,
    piLiveBoolSet = 111,
    piLiveRadioClear = 112,
    piLiveRadioSet = 113
};

// The user mask of a user name (case ignored): "DEVELOPER" 0x30, "SERVICE"
// 0x0C, "USER" 0x03, anything else 0x40 (guest: read only).
std::uint8_t ParViewPermission(const MyAnsiString& UserName);

// The access text of a parameter for a user mask: "RW" or "R", and for a
// developer " (" + first read class + first write class + ")".
MyAnsiString ParViewAttrText(const TParameter& P, std::uint8_t Permission, bool Developer);

// One row of the list.
struct TParViewRow {
    TParameter* Parameter = nullptr;
    // Cell 0 is the caption, cells 1 to 10 the sub-items.
    std::array<MyAnsiString, ParViewColumnCount> Cells;
    int Image = piNone;
    bool Dimmed = false; // not writable with the view's user mask
    bool Directory = false; // a plain directory row (no value)
};

// What the value field shows for the selected row.
struct TParValueEdit {
    MyAnsiString Text;
    bool Enabled = false;
    MyAnsiString StatusPath; // status panel 1
    bool BrowserVisible = false; // the UPID browser action
};

// The result of an entry for the value field.
struct TParFieldReply {
    MyAnsiString Text; // what the field shows afterwards
    bool SelectAll = false; // the field keeps the focus with all selected
};

// The value of a field text for a parameter, converted by the parameter's
// display mode in a unit system. Accepted: Text is what the type will parse
// (SetScaledValue). Refused: Message is what the user is told and FieldText
// what the field shows instead (the current value, the maximum or the
// minimum).
struct TParEntry {
    bool Accepted = false;
    MyAnsiString Text;
    MyAnsiString Message;
    MyAnsiString FieldText;
};
TParEntry ConvertParameterEntry(const TParameter& P, const MyAnsiString& FieldText, TUnitSystem US);

// The value text of a parameter as the value field shows it: the value and,
// when there is a unit, a blank and the unit.
MyAnsiString ParViewFieldText(const TParameter& P, TUnitSystem US);

// Chooses a UPID for a parameter whose value is a UPID (the UPID browser):
// the UPID held now, the device; the chosen one, or 0 when cancelled.
using TUPIDBrowseEvent = std::function<std::int32_t(std::int32_t AUPID, TDevice& ADevice)>;
// The program's browser (none until the program installs one).
TUPIDBrowseEvent& UPIDBrowser();

// What a double click or Enter on the selected row did.
enum class TParEditAction : std::uint8_t { eaNone,
                                           eaGoToDirectory,
                                           eaToggle,
                                           eaFocusField };

class TParViewModel {
public:
    TParViewModel();
    ~TParViewModel();
    TParViewModel(const TParViewModel&) = delete;
    TParViewModel& operator=(const TParViewModel&) = delete;

    // vaCreate: the client takes the detail switch and the widths of the
    // manager.
    void Create(const TParameterManager& AManager);
    // vaShow: the user mask from AUserName, the directory's service and
    // device, the client connected, a rebuild requested.
    void Show(TGenericDirParameter& ADirectory, const MyAnsiString& AUserName);
    // vaHide: requests and the pending change dropped, the client
    // disconnected, the rows cleared.
    void Hide();

    void AnnounceRequest(TRequestFlag Flag);

    // The client's events (the service's provider calls them).
    void ServiceClientExecute(TServiceClient& Client);
    void ServiceClientNotify();
    void ServiceClientUpdate();

    // The rows again from the directory's children; the selection follows
    // the searched parameter, else the selected row's parameter.
    void BuildListView();
    // The value cells of every row; more reads while rows stay invalid (at
    // most three rounds after the rows changed).
    void RefreshListView();

    // The row cells.
    void SetupListItem(TParViewRow& Row) const;
    void UpdateListItem(TParViewRow& Row) const;
    MyAnsiString GetUPIDInfo(bool RamWrite, std::int64_t Value) const;
    MyAnsiString GetUPIDScaledValueInfo(const TGenericIntParameter& P) const;

    // Selection (-1: none).
    int Selected() const noexcept { return FSelected; }
    void SetSelected(int Index);
    TParameter* SelectedParameter() const;
    TParValueEdit ValueEdit() const;

    // The value field's Enter: checks and converts the text, queues the
    // change; the reply is what the field shows.
    TParFieldReply ActEnterExecute(const MyAnsiString& FieldText);
    // Queues one value change (an empty text toggles a Boolean). Dropped
    // while a change is pending, on a lost connection, or when P cannot be
    // written. True when queued.
    bool ModifyParameterValue(TParameter& P, const MyAnsiString& Value);
    // The same with an integer (a UPID chosen in the browser).
    bool ModifyParameterInt(TParameter& P, std::int64_t Value);
    // Double click or Enter on the selected row.
    TParEditAction EditSelectedParameterValue();
    // The browser for the selected UPID parameter; true when a change was queued.
    bool UPIDBrowserExecute();
    // The read action: enabled on an online drive while no request is pending.
    bool ActUpdateEnabled() const;

    // The display modes seen last; a change requests a rebuild (true).
    bool CheckDisplayModes();

    // The tree path of a parameter: "Project:\\" + device caption +
    // "\Parameters\" + its path.
    MyAnsiString NavigationPath(const TParameter& P) const;
    // Shows and selects P: the service's searched parameter, then an update
    // pass (the rebuild selects it).
    void SetParameterFocus(TParameter& P);

    const std::vector<TParViewRow>& Rows() const noexcept { return FRows; }
    TParameterClient& Client() const noexcept { return *FServiceClient; }
    TParameterService* Service() const noexcept { return FParameterService; }
    TGenericDirParameter* Directory() const noexcept { return FDirectoryParameter; }
    TDevice* Device() const noexcept { return FDevice; }
    std::uint8_t Permission() const noexcept { return FPermission; }
    const MyAnsiString& UserName() const noexcept { return FUserName; }
    bool Developer() const;
    TParViewState State() const noexcept { return FState; }
    TRequestFlagSet Requests() const noexcept { return FRequests; }
    int UpdateRetries() const noexcept { return FUpdateRetries; }
    TParameter* ModifyParameter() const noexcept { return FModifyParameter; }

    // After the rows were rebuilt (true) or their values refreshed (false).
    std::function<void(bool Rebuilt)> OnRowsChanged;
    // The selected row's value changed: the field should show it again.
    std::function<void()> OnValueEdit;
    // The project tree should go to a path.
    std::function<void(const MyAnsiString& Path)> OnNavigate;

private:
    void UpdateParameters(TServiceClient& Client);
    void DoModifyParameter(TServiceClient& Client);
    void SaveParameter(TServiceClient& Client);
    void ReportWriteFailures();
    TUnitSystem UnitSystem() const;

    std::unique_ptr<TParameterClient> FServiceClient;
    TParameterService* FParameterService = nullptr;
    TDevice* FDevice = nullptr;
    TGenericDirParameter* FDirectoryParameter = nullptr;
    MyAnsiString FUserName;
    std::uint8_t FPermission = 0x40;
    int FUpdateRetries = 0;
    TParViewState FState = TParViewState::stIdle;
    TRequestFlagSet FRequests;
    MyAnsiString FUPIDDispMode;
    MyAnsiString FRawDataDispMode;
    TParameter* FModifyParameter = nullptr;
    MyAnsiString FModifyValue;
    std::optional<std::int64_t> FModifyInt;
    std::vector<TParViewRow> FRows;
    std::vector<TParameter*> FRetryRows; // the rows the read rounds were counted for
    int FSelected = -1;
};

} // namespace vo
