#pragma once
// Variables in configuration files (.vkc): the data interface of the
// variable service.
//
// One data item ("Variables", version 1) per section worth saving: a
// user-defined section with variables, or a section of the module
// descriptions that the user may read and that holds a valid value. The item
// holds "Items": one configuration record per variable ("Name" is its
// caption as the section reports it), each with its master UPID under
// "MASTER_UPID" besides the device UPID under "UPID".
//
// A restore finds the section by caption (a missing one becomes a
// user-defined section of permission 3). A user-defined section gets exactly
// the item's variables. A section of the module descriptions only takes
// values: an entry is matched by its master UPID, or by its device UPID in
// files written before the master UPID was stored, so values reach the same
// variables on a drive that numbers its UPIDs differently.
//
// A restore holds the service's provider as one of its clients from the
// moment its turn comes until the item is in, so that no view or batch runs
// in between. GUI thread only.
#include "devices/DataIntf.h"
#include "storagelib/RefObj.h"

#include <map>
#include <set>
#include <vector>

namespace vo {

class TDirItem;
class TServiceClient;
class TSLDictionary;
class TSLNamedCollection;
class TSLRecord;
class TVarItem;
class TVariableService;

// The record definitions of the entries written by one export, shared by
// every entry of the same type and fields, so the file names each once.
class TVarConfigDefs {
public:
    // An entry for V: its configuration record with "Name" = AName and
    // "MASTER_UPID" added.
    TRef<TSLRecord> Entry(const TVarItem& V, const MyAnsiString& AName);
    void Clear();

private:
    std::map<MyAnsiString, TRef<TSLDictionary>> FBySignature;
    std::set<MyAnsiString> FNames;
};

// The sections an export offers, in section order.
std::vector<TDirItem*> SaveableVarSections(const TVariableService& S);
// Puts "Items" into AData for the section Dir (nullptr: the section is gone,
// the array stays empty): every variable of a user-defined section, the
// valid ones of another.
void SaveVarSection(const TDirItem* Dir, TSLDictionary& AData, TVarConfigDefs& Defs);
// Takes the item's "Items" into the section captioned AName (see above),
// inside one update bracket of the service. Raises for an entry that lacks
// "UPID" (or, in a user-defined section, "VarType" or "Name") and for an
// unknown variable type; entries before it are in.
void RestoreVarSection(TVariableService& S, const MyAnsiString& AName, const TSLNamedCollection& AData);

class TVariableDataInterface : public TDataInterface {
public:
    // Caption "Variables".
    explicit TVariableDataInterface(TVariableService& AOwner);
    // Gives a held provider back.
    ~TVariableDataInterface() override;
    TVariableDataInterface(const TVariableDataInterface&) = delete;
    TVariableDataInterface& operator=(const TVariableDataInterface&) = delete;

    const char* ClassName() const override { return "TVariableDataInterface"; }
    int GetTypeCount() override { return 1; }
    // "Variables"; any other index raises "index out of bounds".
    MyAnsiString GetTypeName(int AIndex) override;
    int GetDataCount() override;
    // Command 2 saves FData's section, command 3 restores it; the others
    // have nothing to do.
    void Execute(TExecuteControl& ExecCtrl) override;
    // Type "Variables", version 1, name the section's caption, path
    // "Variables"; "index out of bounds" beyond the offered sections.
    void GetDataInfo(int AIndex, TDataItem& ADataItem) override;

    // The provider is held for a restore.
    bool Holding() const noexcept { return TemporaryClient != nullptr; }

private:
    void ExecuteSetData(TServiceClient& Client);
    void ReleaseClient();

    TVariableService& FOwner;
    TServiceClient* TemporaryClient = nullptr;
    TExecuteControl* WaitingExecCtrl = nullptr;
    TVarConfigDefs FDefs;
};

} // namespace vo
