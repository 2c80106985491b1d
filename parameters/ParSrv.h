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
#include <memory>
#include <unordered_map>
#include <vector>

#include "devices/DevMan.h"
#include "parameters/Parameter.h"

namespace vo {

class TDirectoryParameter;
class TRootDirParameter;
class TServiceProvider;
class TUnitService;
class TVisibilityController;

enum class TParameterServiceState : std::uint8_t { stReady,
                                                   stUpdate,
                                                   stModify,
                                                   stSave,
                                                   stDefaultPars };

class TParameterService : public TDeviceService {
public:
    // The provider "Parameter Service", the lists, the root with its model
    // item under the device's item, the visibility controller.
    TParameterService(TDevice& AOwner, TSLDictionary* AProfDict);
    // Destroys the tree.
    ~TParameterService() override;

    const char* ClassName() const override { return "TParameterService"; }

    // FOnLine: the device is online.
    void Initialize() override;
    void StartUp(bool& Wait) override;
    void ShutDown(bool& Wait) override;
    void Kill() override;

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

    std::vector<TListEntry> FParameterList;
    std::vector<TListEntry> FDevParameterList;
    std::unordered_map<MyAnsiString, std::size_t> FParameterIndex; // key -> first entry
    std::unordered_map<MyAnsiString, std::size_t> FDevParameterIndex;
    std::vector<MyAnsiString> FTreeList;
    std::vector<TDirectoryParameter*> FClassList;
    bool FOnLine = false;
    std::unique_ptr<TServiceProvider> FServiceProvider;
    TParameterServiceState FState = TParameterServiceState::stReady;
    std::unique_ptr<TVisibilityController> FVisibilityController;
    mutable TUnitService* FUnitService = nullptr;
    std::vector<TParameter*> ParameterWorkList;
    std::int32_t ParameterWorkIndex = 0;
    bool FDestroying = false;
    // Last: made after the lists, destroyed before them.
    std::unique_ptr<TRootDirParameter> FTreeRoot;
};

} // namespace vo
