#pragma once
// Data interfaces and data items of configuration files (.vkc).
//
// A service contributes to and takes from a configuration through a
// TDataInterface it registers with the configuration transfer: one or more
// item types, the items it can export now (selected through FImpExpList),
// and one Execute step per command of the execute control (FCommand):
//   4 begin, 2 export one item (FData the item), 5 prepare an import of the
//   item, 3 import one item, 7 end.
// An interface that must wait for the drive calls Wait on the control, sets
// FStatus non-zero and calls Continue when the drive has answered.
//
// The services of later layers reach the device layer only through the
// abstract seams below, implemented by those services and found by their
// service names: the parameter service ("ParameterService"), the import
// warnings log, the command table's save check ("CommandTableService") and
// the curve service's download state ("CurveService").
#include "kernel/Object.h"
#include "platform/AnsiString.h"
#include "storagelib/RefObj.h"

#include <cstdint>
#include <vector>

namespace vo {

class TExecuteControl;
class TSLDictionary;

enum TDataInterfacePermissionItem : uint8_t { ipOnline = 1,
                                              ipOffline = 2 };
using TDataInterfacePermission = uint8_t; // a set of the items above

class TDataItem : public TObject {
public:
    TDataItem() = default;
    ~TDataItem() override;
    // A new dictionary with an empty "Info".
    void CreateDataDict();
    // Releases the old dictionary and retains the new one.
    void AssignDataDict(TSLDictionary* ADict);
    TSLDictionary* DataDict() const { return FDataDict.Get(); }
    // Raises "TDataItem.GetInfoDict: no data dictionary".
    TSLDictionary* GetInfoDict() const;
    MyAnsiString GetTypeName() const;
    void SetTypeName(const MyAnsiString& Value);
    int32_t GetVersion() const;
    void SetVersion(int32_t Value); // stored as an unsigned 16-bit value
    MyAnsiString GetDataName() const;
    void SetDataName(const MyAnsiString& Value);
    MyAnsiString GetDataPath() const;
    void SetDataPath(const MyAnsiString& Value);

private:
    TRef<TSLDictionary> FDataDict;
};

class TDataInterface : public TObject {
public:
    ~TDataInterface() override = default;
    virtual const char* ClassName() const { return "TDataInterface"; }
    virtual int GetTypeCount() = 0;
    virtual MyAnsiString GetTypeName(int AIndex) = 0;
    virtual int GetDataCount() = 0;
    virtual void Execute(TExecuteControl& ExecCtrl) = 0;
    virtual void GetDataInfo(int AIndex, TDataItem& ADataItem) = 0;

    bool GetImpExpDataAt(int Index) const;
    void SetImpExpDataAt(int Index, bool Value);
    void ClearImpExpList() { FImpExpList.clear(); }
    void AddToImpExpList(const MyAnsiString& AStr) { FImpExpList.push_back(AStr); }
    int ImpExpCount() const { return static_cast<int>(FImpExpList.size()); }

    bool FBackup = false;
    std::vector<MyAnsiString> FImpExpList; // "TRUE" / "FALSE" per exportable item
    MyAnsiString FCaption;
    TExecuteControl* FCurrentExecCtrl = nullptr;
    int32_t FImageIndex = 0;
    TDataInterfacePermission FImportPermission = ipOnline | ipOffline;
    TDataInterfacePermission FExportPermission = ipOnline | ipOffline;
    int32_t FMinUserPermissionImport = 1;
    int32_t FMinUserPermissionExport = 1;
};

// ------------------------------------------------------------------ seams

// A device service that contributes to configuration files: its data
// interface (nullptr while it has none). A transfer registers the interfaces
// of a device's services through this (TConfigTransfer::RegisterServiceInterfaces).
class TDataInterfaceSource {
public:
    virtual ~TDataInterfaceSource() = default;
    virtual TDataInterface* GetDataInterface() = 0;
};

// One parameter of the device as the configuration needs it.
class TConfigParameter {
public:
    virtual ~TConfigParameter() = default;
    virtual MyAnsiString GetStrValue() = 0;
    virtual int64_t GetIntValue() = 0;
};

// The parameter service ("ParameterService"): the parameter with a master
// UPID, or nullptr; never raises.
class TParameterLookup {
public:
    virtual ~TParameterLookup() = default;
    virtual TConfigParameter* FindConfigParameter(int32_t UPID) = 0;
};

// The import warnings log (one per program).
class TImportWarnings {
public:
    virtual ~TImportWarnings() = default;
    virtual void Clear() = 0;
    // The name recorded in the log; after SaveWarnings the log file's path.
    MyAnsiString AFileName;
    virtual void SaveWarnings(bool ShowMessage) = 0;
    virtual int MsgCount() = 0;
    virtual void UpdateAll() = 0;
    // Shows the warnings window (the import's "ShowLogFile" button).
    virtual void ShowWindow() {}
};
TImportWarnings* ImportWarnings();
TImportWarnings* SetImportWarnings(TImportWarnings* Log);

// The command-table service ("CommandTableService"): true when an export may
// go on (asks the user itself).
class TCommandTableSaveCheck {
public:
    virtual ~TCommandTableSaveCheck() = default;
    virtual bool SaveAbortCheck() = 0;
};

// The curve service ("CurveService").
class TCurveDownloadState {
public:
    virtual ~TCurveDownloadState() = default;
    virtual int GetNumberOfHelpCurves() = 0;
    virtual int GetNumberOfDownloadCurves() = 0;
    virtual bool GetDownloadDone() = 0;
    virtual bool AreIDUnique() = 0;
};

} // namespace vo
