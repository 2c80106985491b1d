#pragma once
// Export and import of configuration files (.vkc) for one device.
//
// The services register their data interfaces here. Save writes the selected
// items of every interface into FFileName; Load / LoadAll / LoadAllWithFeedback
// read FFileName and hand its items to the interfaces. Both run as small
// steps on an execute control (one interface or one item per step), so that an
// interface may wait for the drive between steps; a log window ("Save",
// "Load") shows their progress.
//
// The file: "Info" (Type "Velkor configuration", Version 3, Trees, DeviceType,
// ControllerType, ControllerVersion, Software, L1PW, L2PW, FirmwareRelease)
// from the parameter service, then "Items": the data dictionaries of the
// exported items. A failed save logs "couldn't save file '<name>' (<reason>)"
// and leaves the previous file as it was. Passwords never reach a log.
#include "devices/DataIntf.h"
#include "kernel/Object.h"
#include "platform/AnsiString.h"
#include "storagelib/RefObj.h"

#include <functional>
#include <memory>
#include <vector>

namespace vo {

class TDevice;
class TExecuteControl;
class TSLArray;
class TSLDictionary;

enum TExecuteCommand : uint8_t { ecIdle,
                                 ecSave,
                                 ecLoad };
using TEndOfLoadResponse = std::function<void(TDevice& Device, bool Success)>;

// The configuration password question: true with the typed password, false
// for Cancel. The GUI installs the password dialog; without one the answer
// is Cancel.
struct TConfigPasswordQuestion {
    MyAnsiString Caption;
    MyAnsiString Info;
    MyAnsiString UserName;
};
using TConfigPasswordPrompt = std::function<bool(const TConfigPasswordQuestion& Q, MyAnsiString& Password)>;
TConfigPasswordPrompt SetConfigPasswordPrompt(TConfigPasswordPrompt Prompt);

// The message after an import with warnings: true when the user asks to see
// them (the button captioned ShowButton). The GUI installs the import-log
// dialog; without one the message goes through the user prompt.
using TImportWarningsPrompt = std::function<bool(const MyAnsiString& Text, const MyAnsiString& ShowButton)>;
TImportWarningsPrompt SetImportWarningsPrompt(TImportWarningsPrompt Prompt);

class TConfigTransfer;
// The data-item selection: for an export it sets the interfaces' FImpExpList
// (Items is nullptr), for an import it removes the unchecked entries from
// Items. False: Cancel. Without a selector everything is taken.
using TConfigItemSelector = std::function<bool(TConfigTransfer& Transfer, TSLArray* Items)>;
TConfigItemSelector SetConfigItemSelector(TConfigItemSelector Selector);

// The parameter trees of a file (Sources) against a device's modules: a
// source tree is compatible with the first module it fits (AreTreesCompatible
// with the user permission); Newer when one of those fits is newer than the
// module.
struct TConfigTreeCheck {
    std::vector<MyAnsiString> Compatible;
    bool Newer = false;
};
TConfigTreeCheck CheckConfigTrees(const std::vector<MyAnsiString>& Sources, const std::vector<MyAnsiString>& Modules,
                                  int Permission);

class TConfigTransfer : public TObject {
public:
    explicit TConfigTransfer(TDevice& ADevice);
    ~TConfigTransfer() override;
    TConfigTransfer(const TConfigTransfer&) = delete;
    TConfigTransfer& operator=(const TConfigTransfer&) = delete;

    static const char* ClassName() { return "TConfigTransfer"; }

    // Raises "TConfigTransfer.RegisterDataInterface: interface '<caption>'
    // already registered" for the same object twice and ".RegisterDataInterface:
    // type '<name>' already registered" for a type name taken.
    void RegisterDataInterface(TDataInterface& AInterface);
    void UnregisterDataInterface(TDataInterface& AInterface);
    // Registers the data interface of every service of the device that has
    // one (TDataInterfaceSource), in service order; one already registered is
    // left as it is.
    void RegisterServiceInterfaces();
    int GetInterfaceCount() const { return static_cast<int>(FInterfaceList.size()); }
    TDataInterface& GetInterface(int AIndex) const { return *FInterfaceList.at(static_cast<size_t>(AIndex)); }
    TDataInterface* GetInterfaceForType(const MyAnsiString& TypeName) const;

    // Each does nothing while a transfer runs.
    void Save();
    void Load();
    void LoadAll();
    void LoadAllWithFeedback(const MyAnsiString& AFileName, TEndOfLoadResponse RespProc);

    // The reading step of an import on a file's dictionary (nullptr: the
    // file could not be read): its checks and questions, then the items to
    // import in DataItems(). Called by the import; FImportAborted tells the
    // outcome.
    void ReadConfiguration(TSLDictionary* File);

    TExecuteCommand ExecuteCommand() const { return FExecuteCommand; }
    TExecuteControl& ExecuteControl() const { return *FExecuteControl; }
    TDevice& Device() const { return FDevice; }
    const std::vector<std::unique_ptr<TDataItem>>& DataItems() const { return FDataItemList; }

    MyAnsiString FFileName;
    bool FActionSuccess = false;
    // Called once when the running transfer is over.
    std::function<void()> FResponseEvent;
    // Set by an interface to end an import early.
    bool FImportAborted = false;
    bool SaveAbort = false;

private:
    void Start(TExecuteCommand Command, bool AllItems);
    void StartLoad(bool AllItems, bool Feedback);
    void ExecuteWork(TExecuteControl& Ctrl);
    void RunStep(TExecuteControl& Ctrl, TDataInterface& Interface, int32_t Command, TDataItem* Item);
    bool RunInterfaces(TExecuteControl& Ctrl, int32_t Command);
    bool RunItems(TExecuteControl& Ctrl, int32_t Command);
    void Finish();
    void GetDataItems();
    void SaveToFile();
    void LoadFromFile();
    bool LoadFromFileChecked(TSLDictionary& File);
    bool FirmwareRunning() const;
    void Log(const MyAnsiString& Msg);

    TDevice& FDevice;
    std::vector<TDataInterface*> FInterfaceList; // not owned
    std::vector<std::unique_ptr<TDataItem>> FDataItemList;
    std::unique_ptr<TExecuteControl> FExecuteControl;
    TExecuteCommand FExecuteCommand = ecIdle;
    bool LoadAllFlag = false;
    bool EndOfLoadFeedback = false;
    TEndOfLoadResponse FOnEndOfLoadFeedback;
    int ExecuteState = 0;
    int ExecuteIndex = 0;
    int LogWindowId = 0;
    bool StopRequest = false;
    bool StopSeen = false;
    uint64_t StopSeenAt = 0;
    bool FUserAbort = false;
};

} // namespace vo
