#pragma once
// The storage script classes: "StorageObjectManager" opens, creates, reads and
// writes stored objects of any scheme through the storage manager;
// "ArchiveManager" edits archive files entry by entry. A script instance keeps
// what it opened in a list, retained until the instance goes, and addresses
// it by its index in that list (from 0).
//
// Methods that take an object (SetData, AddEntry) let the interpreter turn it
// into an integer handle with "objtoint" and store the object of the handle
// in their next step; methods that return an object (GetData, GetDataAtIndex)
// push a handle and let "inttoobj" replace it by the object. Native code
// never keeps a script object without a counted reference of its own, and
// gives every handle reference it took back.
#include <cstdint>
#include <vector>

#include "storagelib/SL20Arc.h"
#include "storagelib/SL20Cla.h"
#include "storagelib/SL20Sto.h"

namespace vo {

// The native object of one "StorageObjectManager" instance.
class TStorageObjectManagerScriptObject {
public:
    TStorageObjectManagerScriptObject();
    ~TStorageObjectManagerScriptObject();
    // The storage objects opened or created, in that order.
    TRef<TSLArray> StoObjArr;
    // Handles pushed for "inttoobj" whose reference is given back next step.
    std::vector<int32_t> PendingHandles;
};

// The native object of one "ArchiveManager" instance.
class TArchiveManagerScriptObject {
public:
    TArchiveManagerScriptObject();
    ~TArchiveManagerScriptObject();
    // The archives opened, in that order.
    TRef<TSLArray> ArcObjArr;
    std::vector<int32_t> PendingHandles;
};

// Methods: 0 "GetObject" (name access -> index), 1 "CreateObject" (name ->
// index), 2 "ObjectExists" (name -> boolean), 3 "SetData" (index data ->),
// 4 "GetData" (index -> data), 5 "SetFormat" (index format ->), 6 "GetFormat"
// (index -> text), 7 "GetName" (index -> name), 8 "Read" (index ->),
// 9 "Write" (index ->).
class TStorageObjectManagerScriptClass : public TNativeScriptClass<TStorageObjectManagerScriptObject> {
public:
    TStorageObjectManagerScriptClass() : TNativeScriptClass("StorageObjectManager") {}
    MyAnsiString GetMethodName(int32_t Id) override;

protected:
    std::unique_ptr<TStorageObjectManagerScriptObject> NewObject(TContextInterface& Ctx) override;
    void Execute(TStorageObjectManagerScriptObject& Obj, int32_t Id, TContextInterface& Ctx) override;
};

// Methods: 0 "GetArchive" (name access -> archive), 1 "GetIndexOfName"
// (archive entryname -> index, -1 when missing), 2 "GetNameAtIndex" (archive
// index -> entryname), 3 "GetFormatAtIndex" (archive index -> text),
// 4 "GetDataAtIndex" (archive index -> data), 5 "GetCount" (archive ->
// count), 6 "AddEntry" (archive entryname format data -> index),
// 7 "RemoveEntryWithName" (archive entryname ->), 8 "RemoveEntryAtIndex"
// (archive index ->), 9 "Clear" (archive ->), 10 "Write" (archive ->),
// 11 "AddLink" (archive entryname format -> index).
class TArchiveManagerScriptClass : public TNativeScriptClass<TArchiveManagerScriptObject> {
public:
    TArchiveManagerScriptClass() : TNativeScriptClass("ArchiveManager") {}
    MyAnsiString GetMethodName(int32_t Id) override;

protected:
    std::unique_ptr<TArchiveManagerScriptObject> NewObject(TContextInterface& Ctx) override;
    void Execute(TArchiveManagerScriptObject& Obj, int32_t Id, TContextInterface& Ctx) override;
};

// The program's two class objects (they live until the process ends).
TStorageObjectManagerScriptClass& StorageObjectManagerScriptClass();
TArchiveManagerScriptClass& ArchiveManagerScriptClass();

// Announces "StorageObjectManager" and "ArchiveManager", version 1, to Manager
// (the shell does it at start-up, once the script engine is installed).
void RegisterStorageScriptClasses(TStorageManager& Manager);

} // namespace vo
