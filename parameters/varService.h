#pragma once
// The variable service of a drive, its sections and the program-wide variable
// manager.
//
// TVariableManager (one program-wide instance, VariableManager()) maps type
// names ("UInt16", "EnumDir8" ...) to variable classes, maps type names to the
// numeric type codes of the views, and holds the views' default list settings
// read from the program settings "Variable".
//
// TVariableService ("VariableService") turns the "VariableArray" rows of the
// drive's module descriptions into sections (TDirItem) of variables, keeps the
// section "User Defined" for the engineer's own variables, and is the only road
// by which variable values reach the drive: a client opens a value request
// (PrepareValueRequest), marks variables with RequestRead/RequestWrite and
// closes it (ExecuteValueRequest); the outermost close sends every marked
// variable of the drive in one actor and one request message, each write
// before its read, and the answers come back in one update pass of the
// service's provider.
//
// GUI thread only.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "devices/DataIntf.h"
#include "devices/DevMan.h"
#include "kernel/CsServices.h"
#include "parameters/varItem.h"
#include "platform/AnsiString.h"

namespace vo {

class TApplicationViewFactory;
class TBasicOvraService;
class TModelItem;
class TModuleService;
class TOvraActor;
class TParameter;
class TParameterService;
class TPropertyList;
class TServiceClient;
class TServiceProvider;
class TUnitService;
class TVariableDataInterface;
class TVariableService;
class TVisibilityController;

// ------------------------------------------------------------------ manager

using TVarItemClass =
    std::function<std::unique_ptr<TVarItem>(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)>;

// The class of a variable type T with the constructor T(owner, parent, source).
template <class T>
TVarItemClass VarItemClass() {
    return [](TVarItemOwner& O, TVarItemParent* P, TVarSourceType S) -> std::unique_ptr<TVarItem> {
        return std::make_unique<T>(O, P, S);
    };
}

inline constexpr int VarColumnCount = 7;
inline constexpr std::int32_t VarDefaultColWidth = 50;

class TVariableManager {
public:
    // Empty registry, no details, widths 50.
    TVariableManager();
    TVariableManager(const TVariableManager&) = delete;
    TVariableManager& operator=(const TVariableManager&) = delete;

    static const char* ClassName() noexcept { return "TVariableManager"; }

    // Reads "DisplayInfo" when present: "ShowDetails" and the "Width" of the
    // first seven entries of "WidthsArray" (further entries are ignored).
    void Initialize(const TSLDictionary& Dict);
    // Raises "TVariableManager.GetColWidth: index out of bounds" outside 0..6.
    std::int32_t GetColWidth(int Index) const;
    bool ShowDetails() const noexcept { return FShowDetails; }

    // Type codes of the views: "SINT16" 1 .. "FLOATIEEE754" 17 (compared in
    // upper case), any other name 0; and their texts ("NotDef" for codes
    // outside 1..17).
    static int StrToVarType(const MyAnsiString& S);
    static MyAnsiString VarTypeToStr(int AVarType);

    // Names compare without regard to case. A registered name raises
    // "TVariableManager.RegisterVariableClass: variable class with name <n>
    // already registered"; an unknown one in GetVariableClass
    // "TVariableManager.GetVariableClass: variable class with name <n>
    // doesn't exist".
    void RegisterVariableClass(TVarItemClass AClass, const MyAnsiString& AName);
    bool VariableClassExists(const MyAnsiString& AName) const;
    const TVarItemClass& GetVariableClass(const MyAnsiString& AName) const;
    int GetClassCount() const noexcept { return static_cast<int>(VariableClassList.size()); }

    // The factories of the variable list view and of the section list view
    // (not owned; null until the views register them).
    void RegisterViewFactories(TApplicationViewFactory* AVarModelView, TApplicationViewFactory* ADirModelView) noexcept {
        FVarModelView = AVarModelView;
        FDirModelView = ADirModelView;
    }
    TApplicationViewFactory* VarModelView() const noexcept { return FVarModelView; }
    TApplicationViewFactory* DirModelView() const noexcept { return FDirModelView; }

private:
    struct TNoCase {
        bool operator()(const MyAnsiString& A, const MyAnsiString& B) const;
    };
    std::array<std::int32_t, VarColumnCount> ColsWidth{};
    bool FShowDetails = false;
    TApplicationViewFactory* FVarModelView = nullptr;
    TApplicationViewFactory* FDirModelView = nullptr;
    std::map<MyAnsiString, TVarItemClass, TNoCase> VariableClassList;
};

// The program-wide manager (made on first use, lives until the process ends).
TVariableManager& VariableManager();

// Registers the fifteen variable classes under their type names.
void RegisterVariableClasses(TVariableManager& AManager);

// Registers "VariableService" at the device manager (unless registered
// already); then, as one guarded block, reads the program settings "Variable"
// into the manager (when present) and registers the variable classes. An
// error in the block is logged and ends it.
void InitVariables(TDeviceManager& ADeviceManager, const TSLDictionary* AProgramSettings, TVariableManager& AManager);

// The service client of the variable list view: its own list settings.
class TVariableClient : public TServiceClient {
public:
    const char* ClassName() const override { return "TVariableClient"; }
    // Raise "TVariableClient.GetColWidth: index out of bounds" outside 0..7.
    std::int32_t GetColWidth(int Index) const;
    void SetColWidth(int Index, std::int32_t Value);

    bool FShowDetails = false;

private:
    std::array<std::int32_t, VarColumnCount + 1> FColsWidth{};
};

// ------------------------------------------------------------------ sections

enum TDirFlag : std::uint8_t { dfParTree,
                               dfCreated,
                               dfDeleted,
                               dfModified };

enum TVariableServiceState : std::uint8_t { stVarReady,
                                            stUpdValResp };

// A named group of variables of one device, shown as a node of the project
// tree. It owns its variables.
class TDirItem : public TObject, public TVarItemParent {
public:
    // Sets dfCreated; makes the model item (caption, image 35, the variable
    // list view) and the property list; the service hangs the item in.
    TDirItem(TVariableService& AOwner, const MyAnsiString& AName, const MyAnsiString& ACaption,
             std::uint8_t APermission, bool AUserDef);
    // Frees the variables and releases the model item.
    ~TDirItem() override;
    TDirItem(const TDirItem&) = delete;
    TDirItem& operator=(const TDirItem&) = delete;

    virtual const char* ClassName() const { return "TDirItem"; }

    // A variable of the class registered for AVarType, appended (Index -1)
    // or placed after the variable at Index.
    TVarItem& CreateVar(const MyAnsiString& AVarName, const MyAnsiString& AVarCaption, const MyAnsiString& AVarType,
                        int Index, TVarSourceType ASourceType);
    // A variable that mirrors the parameter P; nullptr for a parameter class
    // without a variable counterpart.
    TVarItem* CreateVarFromPar(const TParameter& P, TVarSourceType ASourceType);
    // A copy of another variable (configuration, cache, texts, UPID scale).
    TVarItem& CreateVarCopy(const TVarItem& SourceVar);

    // The first variable whose GetVarName equals AVarName exactly (deleted
    // ones too); nullptr when none.
    TVarItem* FindVar(const MyAnsiString& AVarName) const;
    TVarItem* FindVarWithDeviceUpid(std::int32_t AUPID) const;
    // "TDirItem.GetVarItem: index out of bounds" / "TDirItem.GetVarName:
    // VarIndex out of bounds".
    TVarItem& GetVarItem(int AVarIndex) const;
    MyAnsiString GetVarName(int AVarIndex) const;
    int GetCount() const noexcept { return static_cast<int>(FVarList.size()); }

    bool CheckFlag(int AFlag) const noexcept;
    // Marks every variable and the section deleted; the service frees them.
    void Delete();
    // Marks every variable deleted; UpdateDone frees them.
    void Clear();
    // End of an update pass: frees the deleted variables, clears the marks.
    void UpdateDone();
    void SetInfoStrings(const TSLNamedCollection& Conf);
    // Ident 2: the caption; others "".
    MyAnsiString GetStrVarProp(int Ident) const;
    // A free name for a new variable ("UserVar", "UserVar2", ...), or the
    // given one; raises "TDirItem.CreateVar: variable with name '<n>' already
    // exists" when a live variable has it.
    MyAnsiString ReadjustVarName(const MyAnsiString& AVarName) const;

    void SetUpdateRequest() override { FUpdateRequest = true; }
    bool UpdateRequest() const noexcept { return FUpdateRequest; }
    void ClearUpdateRequest() noexcept { FUpdateRequest = false; }

    bool UserDefined() const noexcept { return FUserDefined; }
    const MyAnsiString& Caption() const noexcept { return FCaption; }
    std::uint8_t Permission() const noexcept { return FPermission; }
    const MyAnsiString& Name() const noexcept { return FName; }
    std::int32_t Level() const noexcept { return FLevel; }
    void SetLevel(std::int32_t Value) noexcept { FLevel = Value; }
    TModelItem& Model() const noexcept { return *FModel; }
    TPropertyList& PropList() const noexcept { return *FPropList; }
    TVariableService& Owner() const noexcept { return *FOwner; }

private:
    TVarItem& Insert(std::unique_ptr<TVarItem> V, int Index);

    bool FUserDefined;
    MyAnsiString FCaption;
    std::uint8_t FPermission;
    TVariableService* FOwner;
    std::vector<std::unique_ptr<TVarItem>> FVarList;
    MyAnsiString FName;
    std::int32_t FLevel = 0;
    TModelItem* FModel = nullptr;
    bool FUpdateRequest = false;
    std::uint8_t FFlagSet = 0;
    std::unique_ptr<TPropertyList> FPropList;
};

// ------------------------------------------------------------------ service

class TVariableService : public TDeviceService, public TVarItemOwner, public TDataInterfaceSource {
public:
    // The provider "Variable Service", the internal client, the model node
    // under the device's node (profile "Caption" and "Visible").
    TVariableService(TDevice& AOwner, TSLDictionary* AProfDict);
    // Deletes every section and takes the model node out.
    ~TVariableService() override;

    const char* ClassName() const override { return "TVariableService"; }

    void StartUp(bool& Wait) override;
    // Waits (Wait true) while a batch is answered; the internal client then
    // finishes the shutdown.
    void ShutDown(bool& Wait) override;
    void Kill() override;

    // ------------------------------------------------------------ batches
    // "TVariableService.BeginUpdate: previous update not completed" while a
    // batch is in flight; nests.
    void PrepareValueRequest();
    // "TVariableService.EndOfUpdate: missing previous BeginUpdate" without an
    // open request; the outermost close asks for a batch.
    void ExecuteValueRequest();
    // Reads every variable of every section readable for the user.
    void GlobalReadRequest();

    // ------------------------------------------------------------ permissions
    // GUEST 0x40, USER 0x41, SERVICE 0x45, DEVELOPER 0x55, else 0.
    std::uint8_t GetPermissionRead() const;
    // USER 0x02, SERVICE 0x0A, DEVELOPER 0x2A, else 0.
    std::uint8_t GetPermissionWrite() const;

    // ------------------------------------------------------------ sections
    // "TVariableService.CreateDir: variable section with name '<n>' allready
    // exists" for a name in use.
    TDirItem& CreateDir(const MyAnsiString& ADirName, const MyAnsiString& ADirCaption, std::uint8_t APermission,
                        bool AUserDef);
    void DeleteDir(const MyAnsiString& ADirName);
    bool DirExists(const MyAnsiString& ADirName) const { return FindDir(ADirName) != nullptr; }
    TDirItem* FindDir(const MyAnsiString& ADirName) const;
    TDirItem* FindDirWithCaption(const MyAnsiString& ADirCaption) const;
    int DirCount() const noexcept { return static_cast<int>(FDirList.size()); }
    // "TVariableService.GetDirItem: index (<i>) out of bounds (<n>)".
    TDirItem& GetDirItem(int ADirIndex) const;

    // ------------------------------------------------------------ look-ups
    TVarItem* FindVariable(const MyAnsiString& AVarName) const;
    // Only sections of the module descriptions are searched.
    TVarItem* FindVarWithDeviceUPID(std::int32_t AUPID) const;
    // The next (previous) variable after (before) VarItem whose caption
    // contains ACaption (ASCII letters compared in upper case); nullptr
    // when none. No wrap-around.
    TVarItem* FindNextWithCaption(const TVarItem* VarItem, const MyAnsiString& ACaption) const;
    TVarItem* FindPreviousWithCaption(const TVarItem* VarItem, const MyAnsiString& ACaption) const;
    // "<UPID>" + five decimal digits in the variables' help texts become the
    // device UPID text and caption of that parameter or variable.
    void ReplaceMasterUPID();

    // The sections from the module descriptions of the module service.
    void LoadVariableFromTrees();

    // The sections in configuration files ("Variables").
    TDataInterface* GetDataInterface() override;

    // ------------------------------------------------------------ owner of variables
    void BeginUpdate() override;
    void EndOfUpdate() override;
    void AddChangeInfo(TVariableChangeInfo Info) override { FChangeInfo |= 1u << Info; }
    bool GetUpdateRunning() const override { return FUpdateRunning; }
    void SetUpdateRequest() override { FUpdateRequest = true; }
    TDeviceUnit* GetUnitWithUUID(std::int32_t AUUID) const override;

    // ------------------------------------------------------------ access
    bool HasChangeInfo(TVariableChangeInfo Info) const noexcept { return (FChangeInfo & (1u << Info)) != 0; }
    bool UpdateRequested() const noexcept { return FUpdateRequest; }
    int UpdateCounter() const noexcept { return FUpdateCounter; }
    TVariableServiceState State() const noexcept { return FStatus; }
    TServiceProvider& Provider() const noexcept { return *FServiceProvider; }
    TModelItem& Model() const noexcept { return *FModel; }
    TVisibilityController& VisibilityController() const noexcept { return *FVisibilityController; }
    TBasicOvraService* OvraService() const noexcept { return FOvraService; }
    // Batches sent since the service was made (for tests and benchmarks).
    int BatchCount() const noexcept { return FBatchCount; }
    // The walk over the marked variables of a batch, as the service does it
    // (requesting sections in index order, variables in list order).
    void ForEachRequested(const std::function<void(TVarItem&)>& Visit) const;

    TVarItem* FSearchedVariable = nullptr;

protected:
    void InternalClientExecute(TServiceClient& Client);
    // Sends the batch; false when it cannot go now (drive not online, the
    // service not started).
    bool UpdateValues(TServiceClient& Client);
    void UpdateValuesResponse(TOvraActor& AActor);
    void ProviderUpdateDone();
    void ProviderExecuteJob(TServiceJob& Job, bool& FreeJob);
    void RunGlobalRead();
    void RemoveModel();
    MyAnsiString ReplaceUPIDTags(const MyAnsiString& Text) const;

    std::uint32_t FChangeInfo = 0;
    TModuleService* FModuleService = nullptr;
    TParameterService* FParameterService = nullptr;
    bool FGlobalReadRequest = false;
    TUnitService* FUnitService = nullptr;
    std::unique_ptr<TVisibilityController> FVisibilityController;
    TBasicOvraService* FOvraService = nullptr;
    bool FUpdateRunning = false;
    bool FUpdateRequest = false;
    std::int32_t FUpdateCounter = 0;
    std::unique_ptr<TServiceProvider> FServiceProvider;
    std::unique_ptr<TServiceClient> FInternalClient;
    TVariableServiceState FStatus = stVarReady;
    bool FShutDownRequest = false;
    TOvraActor* FActor = nullptr; // the batch in flight
    int FBatchCount = 0;
    std::vector<std::unique_ptr<TDirItem>> FDirList; // in model-node order
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
    std::unique_ptr<TVariableDataInterface> FDataInterface;
};

} // namespace vo
