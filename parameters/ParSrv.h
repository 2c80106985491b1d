#pragma once
// TParameterService: the device service that owns a drive's parameter tree.
//
// It keeps the tree (its root), the master-UPID and device-UPID lists of the
// nodes (decimal UPID text -> node, in load order, duplicates allowed; the
// root stands first in the master list under "_ROOT"), the names of the
// loaded module trees, the class list (the plain directories of level 1), the
// visibility flags, and the node queueing of read and write passes. The
// root's model item hangs under the device's item with the profile's
// "Caption" and "Visible".
//
// GUI thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "devices/DataIntf.h"
#include "devices/DevMan.h"
#include "parameters/Parameter.h"
#include "storagelib/RefObj.h"

namespace vo {

class TBasicOvraService;
class TCustomPattern;
class TDirectoryParameter;
class TModuleItem;
class TModuleService;
class TOvraActor;
class TRootDirParameter;
class TScriptTaskInterface;
class TServiceClient;
class TServiceProvider;
class TSLBlock;
class TStatusService;
class TUnitService;
class TVisibilityController;

enum class TParameterServiceState : std::uint8_t { stReady,
                                                   stUpdate,
                                                   stModify,
                                                   stSave,
                                                   stDefaultPars };

// The service's four telegrams by UPID: write 0x89, read 0x88 (protocol
// generations 0x2x, 0x3x, 0x4x), block read 0x15 and block write 0x16 (0x4x
// only). No pattern is made for another generation.
struct TParameterServiceCollection {
    std::unique_ptr<TCustomPattern> FSetRequest;
    std::unique_ptr<TCustomPattern> FGetRequest;
    std::unique_ptr<TCustomPattern> FReadBlockUPID;
    std::unique_ptr<TCustomPattern> FWriteBlockUPID;

    // The patterns of a protocol version (only its high nibble counts).
    void Create(TBasicOvraService& AOvraService, std::uint8_t AProtocolVersion);
    ~TParameterServiceCollection();
};

enum class TInternalClientState : std::uint8_t { icsIdle,
                                                 icsStart,
                                                 icsNodes,
                                                 icsTrees,
                                                 icsPreload };

// A write that the drive refused in a pass outside the login and an import.
struct TParameterWriteFailure {
    TParameter* Node;
    std::uint8_t Result;
};

// The default-parameter script of the drive: (device name, instance mask) ->
// result 0 on success.
inline constexpr const char* DefaultParametersScript = "archive://Archives\\ParameterService\\DefaultParameters.sct";

// The service is also what the device info view reads of the parameters
// (TParameterInfoService) and what a configuration file's header is made of
// (TParameterLookup).
class TParameterService : public TDeviceService, public TParameterInfoService, public TParameterLookup {
public:
    // The provider "Parameter Service", the lists, the root with its model
    // item under the device's item, the visibility controller.
    TParameterService(TDevice& AOwner, TSLDictionary* AProfDict);
    // Destroys the tree.
    ~TParameterService() override;

    const char* ClassName() const override { return "TParameterService"; }

    // FOnLine: the device is online.
    void Initialize() override;
    // dsStopped: finds the connection, module, unit and status services and
    // makes the telegrams (dsStarting), else dsError. dsStarting: once they
    // are all started, the service's own client builds the tree from the
    // module descriptions and reads every node (the login read); the status
    // becomes dsStarted (or dsError when the read fails or is aborted).
    void StartUp(bool& Wait) override;
    void ShutDown(bool& Wait) override;
    void Kill() override;

    // ------------------------------------------------------------ client protocol
    // Each checks the caller (the provider's current client) and the state.
    void PrepareUpdate(TServiceClient& Client);
    void ExecuteUpdate(TServiceClient& Client);
    void DiscardUpdate(TServiceClient& Client);
    void PrepareModify(TServiceClient& Client);
    void ExecuteModify(TServiceClient& Client);
    void DiscardModify(TServiceClient& Client);
    void PrepareSave(TServiceClient& Client);
    void ExecuteSave(TServiceClient& Client);

    // Telegrams, called by the nodes: one record with Bytes (at most 255)
    // through the matching pattern on the service's actor; AEvent gets the
    // answer. Raises when the drive's protocol has no such telegram.
    void GetRequest(const MyAnsiString& Bytes, std::function<void(TOvraActor&)> AEvent);
    void SetRequest(const MyAnsiString& Bytes, std::function<void(TOvraActor&)> AEvent);
    void ReadBlockUPID(const MyAnsiString& Bytes, std::function<void(TOvraActor&)> AEvent);
    void WriteBlockUPID(const MyAnsiString& Bytes, std::function<void(TOvraActor&)> AEvent);
    // The data bytes of the answer of the actor's current record (read by
    // the pattern of the last request).
    MyAnsiString GetResponse(TOvraActor& Actor) const;

    // Writes the drive refused in the last pass (outside the login and a
    // configuration import), in pass order; cleared when a pass starts.
    const std::vector<TParameterWriteFailure>& WriteFailures() const noexcept { return FWriteFailures; }

    // ------------------------------------------------------------ tree building
    // Builds the tree from every module of the module service, initialises the
    // nodes and runs the script queue; ANotification when done.
    void RebuildParameterTree(std::function<void()> ANotification);
    // One module: tree name, units, visibility flags, parameters. An error is
    // shown to the user and ends only this module.
    void LoadTree(TModuleItem& AModule);
    // Hangs the records of "ParameterArray" into the tree by their levels.
    void LoadParameters(const TSLDictionary& AData);
    // The login read: every node queued, the pass started.
    void LoadPreloadParameters();

    // Queues an executable block; ExecuteScripts runs the queue in order and
    // then calls ANotification (at once when it is empty). A block that fails
    // is logged as a warning and the queue goes on.
    void QueueScript(TSLBlock* ABlock);
    void ExecuteScripts(std::function<void()> ANotification);
    int GetScriptQueueCount() const noexcept { return static_cast<int>(FScriptQueue.size()); }

    // ------------------------------------------------------------ look-ups
    // The next (previous) node of the device-UPID list after (before) P whose
    // caption contains AText, in ASCII upper case; from the start (end) when
    // P is nullptr.
    TParameter* FindNextWithCaption(const TParameter* P, const MyAnsiString& AText) const;
    TParameter* FindPreviousWithCaption(const TParameter* P, const MyAnsiString& AText) const;
    // Every class-directory node in master-list order: (caption, node).
    std::vector<std::pair<MyAnsiString, TParameter*>> GetClassList() const;
    // Runs the drive's default-parameter script (online, stReady only).
    void DefaultParameters(std::int32_t ASelInstances, bool ADebug);
    // Replaces "<UPID>" + five decimal digits in every node's help texts by
    // the device UPID text and caption of the parameter of that master UPID.
    void ReplaceMasterUPID();

    // ------------------------------------------------------------ node lists
    // One entry of a UPID list.
    struct TListEntry {
        MyAnsiString Key;
        TParameter* Node;
    };
    // Entered by the nodes' constructors.
    void AddToParameterList(const MyAnsiString& Key, TParameter& P);
    void AddToDevParameterList(const MyAnsiString& Key, TParameter& P);
    // Takes every entry of P out of both lists (a node that goes away).
    void ForgetParameter(const TParameter& P);

    int GetParameterCount() const noexcept { return static_cast<int>(FParameterList.size()); }
    const TListEntry& GetParameterEntry(int Index) const;
    int GetDevParameterCount() const noexcept { return static_cast<int>(FDevParameterList.size()); }
    const TListEntry& GetDevParameterEntry(int Index) const;

    // The first node listed in the master-UPID list under Key; nullptr when none.
    TParameter* FindParameterWithKey(const MyAnsiString& Key) const;
    // The first node of that master (device) UPID; nullptr when none.
    TParameter* FindParameter(std::int32_t AMasterUPID) const;
    TParameter* FindParameterWithDeviceUPID(std::int32_t AUPID) const;
    TParameterInfo* FindInfoParameter(std::int32_t UPID) override { return FindParameter(UPID); }
    TServiceProvider& InfoProvider() override { return *FServiceProvider; }
    // The parameter of that master UPID as a configuration file reads it;
    // nullptr when the device has none.
    TConfigParameter* FindConfigParameter(std::int32_t UPID) override;
    // Pre-order walk of all nodes, root excluded.
    void ForEachParameter(const TParameterCallBack& CallBack);

    // Gives every node its position in the master-UPID list and collects the
    // plain directories of level 1 into the class list (after a tree load).
    void IndexParameters();
    int GetClassCount() const noexcept { return static_cast<int>(FClassList.size()); }
    TDirectoryParameter& GetClassRoot(int AIndex) const;
    // The first class directory whose caption equals AName exactly.
    TDirectoryParameter* FindClassRoot(const MyAnsiString& AName) const;

    // Names of the loaded module trees, in load order; a node's record came
    // from the last one added when it was built.
    void AddTree(const MyAnsiString& ATreeName) { FTreeList.push_back(ATreeName); }
    int GetTreeCount() const noexcept { return static_cast<int>(FTreeList.size()); }
    // "" outside the list.
    MyAnsiString GetTreeName(int Index) const;

    // ------------------------------------------------------------ visibility
    // Recomputes the flags until they are stable (at most 20 rounds, else
    // "Visibility update needs to many recursions!"), marks every node's
    // visible attribute and sets the directories' model items for the user
    // level of the device.
    void UpdateVisibility();
    void SetParameterVisibility(TParameter& P);
    void SetVisibilityFlags(TParameter& P);
    // The user mask of the device's user permission: USER 0x03, SERVICE 0x0C,
    // DEVELOPER 0x30, anything else 0x40 (GUEST).
    std::uint8_t UserMask() const;

    // ------------------------------------------------------------ queueing
    // Each first checks that Client is the provider's current client
    // ("TParameterService.<op>: caller isn't the current client"), then the
    // state ("TParameterService.<op>: not allowed in current state").
    // Read pass: queues P unless it is valid or queued already.
    void ParameterUpdate(TParameter& P, TServiceClient& Client);
    // Write pass: queues P unless it is queued already.
    void ParameterModify(TParameter& P, TServiceClient& Client);
    // Any state: P becomes invalid.
    void ParameterInvalidate(TParameter& P, TServiceClient& Client);

    // ------------------------------------------------------------ access
    TRootDirParameter& TreeRoot() const noexcept { return *FTreeRoot; }
    TVisibilityController& VisibilityController() const noexcept { return *FVisibilityController; }
    // The device's "UnitService" (nullptr when it has none).
    TUnitService* UnitService() const;
    TServiceProvider& Provider() const noexcept { return *FServiceProvider; }
    TModelManager& ModelManager() const;
    bool OnLine() const noexcept { return FOnLine; }
    TParameterServiceState State() const noexcept { return FState; }
    void SetState(TParameterServiceState Value) noexcept { FState = Value; }
    const std::vector<TParameter*>& WorkList() const noexcept { return ParameterWorkList; }
    TInternalClientState InternalClientState() const noexcept { return FInternalClientState; }
    TOvraActor* GetActor() const noexcept { return Actor; }
    bool NeedToStop() const noexcept { return FNeedToStop; }
    // True while the service destroys its tree.
    bool Destroying() const noexcept { return FDestroying; }

    TParameter* FSearchedParameter = nullptr;
    bool FLoadingConfiguration = false;
    bool FTreeChanged = false;
    bool FFlagChanged = false;
    bool FDataChanged = false;

protected:
    void CheckClient(TServiceClient& Client, const char* Operation) const;
    void CheckState(TParameterServiceState Required, const char* Operation) const;

    void InternalClientExecute(TServiceClient& Client);
    void InternalClientNotify();
    void SendRequest(TCustomPattern* Pattern, const char* Operation, const MyAnsiString& Bytes,
                     std::function<void(TOvraActor&)> AEvent);
    // The work step and the answer of one telegram.
    void ParameterWorkExecute();
    void ParameterWorkOffline();
    void ParameterWorkResponse(TOvraActor& AActor);
    void ParameterWorkNotify();
    void StatusClientUpdate();
    // The visibility pass, then the script queue; ANotification when done.
    void UpdateTree(std::function<void()> ANotification);
    // The login progress of the node about to be read; false: the login was
    // aborted.
    void LoginProgress(TParameter& P);
    void ExecuteNextScript();
    void ScriptTaskFinished();
    void ClearMarks(std::int32_t Mask);
    void ContinueCurrentClient();

    std::unique_ptr<TParameterServiceCollection> FParServiceCollection;
    std::unique_ptr<TServiceClient> FInternalClient;
    TInternalClientState FInternalClientState = TInternalClientState::icsIdle;
    bool SetServiceStatusRequest = false;
    bool FNeedToStop = false;
    std::unique_ptr<TServiceClient> FStatusClient;
    TStatusService* FStatusService = nullptr;
    TModuleService* FModuleService = nullptr;
    TBasicOvraService* FOvraService = nullptr;
    TOvraActor* Actor = nullptr;
    std::unique_ptr<TScriptTaskInterface> FScriptTask;
    std::vector<TRef<TSLBlock>> FScriptQueue;
    std::function<void()> FScriptExecutedNotification;
    std::size_t FScriptExecutionIndex = 0;
    MyAnsiString PreviousTree;
    MyAnsiString ActualTree;
    MyAnsiString FMemoLine; // the login window's last line
    std::int32_t AParameterIndex = 0;
    std::int32_t ANumberOfErrors = 0;
    bool FLoginFailed = false; // the answer in hand is a failed login read
    std::vector<TParameterWriteFailure> FWriteFailures;
    std::unique_ptr<TScriptTaskInterface> ScriptTask; // the default-parameter script
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);

    std::vector<TListEntry> FParameterList;
    std::vector<TListEntry> FDevParameterList;
    std::unordered_map<MyAnsiString, std::size_t> FParameterIndex; // key -> first entry
    std::unordered_map<MyAnsiString, std::size_t> FDevParameterIndex;
    std::vector<MyAnsiString> FTreeList;
    std::vector<TDirectoryParameter*> FClassList;
    bool FOnLine = false;
    std::unique_ptr<TServiceProvider> FServiceProvider;
    // The views FindConfigParameter hands out, one per UPID asked for.
    std::unordered_map<std::int32_t, std::unique_ptr<TConfigParameter>> FConfigParameters;
    TParameterServiceState FState = TParameterServiceState::stReady;
    std::unique_ptr<TVisibilityController> FVisibilityController;
    mutable TUnitService* FUnitService = nullptr;
    std::vector<TParameter*> ParameterWorkList;
    std::int32_t ParameterWorkIndex = 0;
    bool FRequestSent = false; // the node in hand sent a telegram
    TCustomPattern* FRequestPattern = nullptr; // the pattern of the last request
    bool FDestroying = false;
    // Last: made after the lists, destroyed before them.
    std::unique_ptr<TRootDirParameter> FTreeRoot;
};

} // namespace vo
