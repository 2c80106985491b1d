#pragma once
// The module service of a device ("ModuleService"): which firmware modules
// (parameter trees) the device carries and, for each, its module description
// (a ".IN2" file in the program's "Firmware" folder) that the other services
// read their facts from.
//
// Online it reads the drive's info nodes after login: every node of file type
// 5 names a parameter tree, the first of file type 2 is the firmware program
// (its start address answers "ProgramStartAddr"). Offline it takes the trees
// of the configuration file named by the device's "ConfigFile" (format
// version 3), or, for "CREATEOFFLINE", the trees chosen in the offline
// configuration wizard. For each tree it searches a description: exactly,
// then by two fallbacks that ignore the beta information and then also the
// power part; a tree found only by a fallback needs the user's consent, a
// tree without any description stops the device's start. The descriptions
// are then loaded in tree order.
//
// The search lists the "Firmware" folder once per start (depth first, each
// folder's files before its subfolders, names in sorted order, so that of
// several matching files the first by name wins on every file system).
#include "devices/DevMan.h"
#include "platform/AnsiString.h"
#include "storagelib/RefObj.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace vo {

class TBasicOvraService;
class TInfoNodeItem;
class TInfoNodeList;
class TServiceProvider;
class TSLDictionary;

// One firmware module: a parameter tree and its description.
class TModuleItem {
public:
    explicit TModuleItem(MyAnsiString AName) : FName(std::move(AName)) {}

    // Keeps (retains) the description and copies "BaseName", "SubName",
    // "BetaInfo", "Version", "SubVersion", "TreeID", "TreeLevel" from its
    // "ModuleInfo" when present.
    void SetData(TSLDictionary* AData);
    TSLDictionary* GetData() const { return FData.Get(); }

    MyAnsiString FName;
    MyAnsiString FBaseName;
    MyAnsiString FSubName;
    MyAnsiString FBetaInfo;
    int32_t FTreeLevel = 0;
    int32_t FTreeID = 0;
    int32_t FVersion = 0;
    int32_t FSubVersion = 0;

private:
    TRef<TSLDictionary> FData;
};

// ------------------------------------------------------------------ description search

// The names below a folder, listed once: each folder's files (sorted by name
// without regard to case) before its subfolders (sorted likewise, entries
// beginning with "." left out), depth first.
class TDescriptionFolder {
public:
    explicit TDescriptionFolder(const std::filesystem::path& Folder);

    // The stored name (folder + "\" + file name) of the first file whose
    // name matches, "" when none. Exact: the name equals Name + ".IN2";
    // otherwise it begins with Prefix + "_" and ends with ".IN2" (both
    // without regard to case).
    MyAnsiString FindExact(const MyAnsiString& Name) const;
    MyAnsiString FindFallback(const MyAnsiString& Prefix) const;
    size_t FileCount() const { return FFiles.size(); }

private:
    struct TEntry {
        MyAnsiString Stored; // folder + "\" + name
        MyAnsiString Upper; // the file name in upper case
    };
    void List(const std::filesystem::path& Folder, const MyAnsiString& Stored);
    std::vector<TEntry> FFiles;
};

enum class TMatchKind : uint8_t { mkNone,
                                  mkExact,
                                  mkFallback };

struct TDescriptionMatch {
    TMatchKind Kind = TMatchKind::mkNone;
    MyAnsiString FileName; // stored name of the description
};

// The name the search uses for a tree: the product names of older trees
// ("ApplTr7300Dorvan", "ApplTr7300MasterSlave", "IntfTr7300CmdTabIO") in
// their newer form.
MyAnsiString SecondTreeName(const MyAnsiString& TreeName);
// The name cut before its last "_" ("" without one): beta information off.
MyAnsiString ClearBetaInfo(const MyAnsiString& TreeName);
// The first three "_" parts with the second (power) part mapped: "QTR<x>" to
// "S<x>", "M7300<x>" (x not empty) to "K40<x>", "" to "R7300".
MyAnsiString ClearBetaAndSubInfo(const MyAnsiString& TreeName);
// Exact, second name (still exact), fallback 1, fallback 2.
TDescriptionMatch SearchModuleDescription(const TDescriptionFolder& Folder, const MyAnsiString& TreeName);

// ------------------------------------------------------------------ service

class TModuleService : public TDeviceService {
public:
    TModuleService(TDevice& AOwner, TSLDictionary* AProfDict);
    ~TModuleService() override;

    const char* ClassName() const override { return "TModuleService"; }

    void StartUp(bool& Wait) override;
    // Forgets the gathered facts; dsStopped at once.
    void ShutDown(bool& Wait) override;
    void Kill() override {}
    // "ProgramStartAddr": the firmware program's start address in decimal.
    void DoGetStrVar(const MyAnsiString& VarName, MyAnsiString& Value, bool& Found) override;

    int GetModuleCount() const { return static_cast<int>(FModuleList.size()); }
    // Raises "TModuleService.GetModule: index out of bounds".
    TModuleItem& GetModule(int AIndex) const;
    // The description file chosen for the module at the same index.
    const MyAnsiString& GetModuleFileName(int AIndex) const;
    // The first module whose "InstanceInfoDict" names the service gives its
    // Boolean; none gives Default.
    bool IsServiceActive(const MyAnsiString& ServiceName, bool Default) const;
    int GetNumberOfDocuments() const { return static_cast<int>(FRelevantDocList.size()); }
    const MyAnsiString& GetDocAtIndex(int Index) const;
    int GetNumberOfMotioncmdListFiles() const { return static_cast<int>(FMotionCmdListFiles.size()); }
    const MyAnsiString& GetMotionCmdListFileName(int Index) const;
    // "Please update <product> from <home page>."
    static MyAnsiString GetUpdateRequestString();

    // The facts gathered from the descriptions (nullptr while stopped).
    TSLDictionary* OsciInfo() const { return FOsciInfo.Get(); }
    TSLDictionary* CurveInfo() const { return FCurveInfo.Get(); }
    // The "ModuleInfo" of the description of tree level 1..4 (nullptr: none).
    TSLDictionary* OSModuleInfo() const { return FOSModuleInfo; }
    TSLDictionary* MCModuleInfo() const { return FMCModuleInfo; }
    TSLDictionary* IntfModuleInfo() const { return FIntfModuleInfo; }
    TSLDictionary* ApplModuleInfo() const { return FApplModuleInfo; }
    TInfoNodeList& InfoNodeList() const { return *FInfoNodeList; }
    TInfoNodeItem* InfoNodeProgram() const { return FInfoNodeProgram; }
    TServiceProvider& ServiceProvider() const { return *FServiceProvider; }
    // The configuration file of an offline start ("CREATEOFFLINE" for the
    // wizard's configuration).
    const MyAnsiString& FileName() const { return FFileName; }
    // The firmware release of an offline configuration.
    const MyAnsiString& FirmwareRelease() const { return FFirmwareRelease; }

    int32_t FStartAddrOfCmdTabEntries = -1;
    int32_t FNumOfCmdTabEntries = -1;
    int32_t FCmdTabEraseFlash = 3;
    MyAnsiString FADFFileExt = "adf";
    // Set by a data interface to end an import early.
    bool FImportAborted = false;

private:
    void StartOnline(bool& Wait);
    void StartOffline();
    void ReadInfoNodesResponse();
    // Lists the trees in FModuleList, searches their descriptions and decides:
    // all exact: load; some by fallback: ask; some missing: tell. Returns the
    // new status.
    TDeviceServiceStatus SearchAndDecide(bool Online);
    void AddModule(const MyAnsiString& Name);
    // Loads every module's description; false (and dsError) on a failure.
    bool LoadModuleData();
    void ClearModules();

    TRef<TSLDictionary> FCurveInfo;
    TRef<TSLDictionary> FOsciInfo;
    TSLDictionary* FOSModuleInfo = nullptr; // not owned
    TSLDictionary* FMCModuleInfo = nullptr;
    TSLDictionary* FIntfModuleInfo = nullptr;
    TSLDictionary* FApplModuleInfo = nullptr;
    MyAnsiString FFileName;
    MyAnsiString FFirmwareRelease;
    std::vector<MyAnsiString> FMotionCmdListFiles;
    std::vector<std::pair<MyAnsiString, std::unique_ptr<TModuleItem>>> FModuleList;
    std::vector<MyAnsiString> FAvaiableModule;
    std::vector<TMatchKind> FMatchKinds;
    TBasicOvraService* FOvraService = nullptr;
    TDeviceService* FStatusService = nullptr;
    TInfoNodeItem* FInfoNodeProgram = nullptr;
    std::vector<MyAnsiString> FRelevantDocList;
    std::unique_ptr<TServiceProvider> FServiceProvider;
    std::unique_ptr<TInfoNodeList> FInfoNodeList; // last: its task ends first
};

} // namespace vo
