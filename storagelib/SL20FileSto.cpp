#include "storagelib/SL20FileSto.h"

#include <string>

#include "platform/Exception.h"
#include "storagelib/SL20Fil.h"
#include "storagelib/SL20Stu.h"

namespace vo {

// ---------------------------------------------------------------- TSLFileStorageObject

TSLFileStorageObject::TSLFileStorageObject(TSLStreamEncoder* AEncoder, TSLStreamDecoder* ADecoder,
                                           TStorageIDManager* IDManager)
    : Encoder(AEncoder), Decoder(ADecoder), FIDManager(IDManager) {}

TSLFileStorageObject::~TSLFileStorageObject() = default;

void TSLFileStorageObject::Init(const MyAnsiString& N, TStreamAccess AAccess, bool ADebug) {
    FName = N;
    Access = AAccess;
    FDebug = ADebug;
    FStorageID = FIDManager ? FIDManager->CreateStorageID(N) : 0;
    Read();
}

void TSLFileStorageObject::InitNew(const MyAnsiString& N) {
    FName = N;
    Access = saWrite;
    FDebug = false;
    FStorageID = FIDManager ? FIDManager->CreateStorageID(N) : 0;
}

void TSLFileStorageObject::Read() {
    if (Access == saWrite)
        throw Exception(std::string(ClassName()) + ".Read: storage object '" + GetName() + "' was opened as write only");
    TStorageFormat found = sfUnknown;
    TRef<TSLObject> data = SLReadObjectFile(*Decoder, FName, FDebug, FStorageID, &found);
    SetData(data.Get());
    // The form found only governs the reading: what is written back is plain
    // unless the scrambled form is asked for again.
    FFormat = sfASCII;
}

void TSLFileStorageObject::Write() {
    if (Access == saRead)
        throw Exception(std::string(ClassName()) + ".Write: storage object '" + GetName() + "' was opened as read only");
    SLWriteObjectFile(*Encoder, FName, FData.Get(), FFormat);
}

// ---------------------------------------------------------------- TFileStoragePlugin

TStorageManager& TFileStoragePlugin::Manager() const {
    TStorageManager* m = GetStorageManager() ? GetStorageManager() : StorageManager();
    if (!m) throw Exception(std::string(ClassName()) + ": no storage manager");
    return *m;
}

bool TFileStoragePlugin::ObjectExists(const MyAnsiString& Name) {
    MyAnsiString complete;
    return Manager().FindFile(Name, complete);
}

TSLStorageObject* TFileStoragePlugin::GetObject(const MyAnsiString& Name, TStreamAccess Access, bool Debug) {
    TStorageManager& m = Manager();
    MyAnsiString complete;
    if (!m.FindFile(Name, complete))
        throw Exception(std::string(ClassName()) + " error: no object named " + Name + " found");
    TRef<TSLFileStorageObject> obj =
        MakeRef<TSLFileStorageObject>(m.GetEncoder(), m.GetDecoder(), &m.GetStorageIDManager());
    obj->Init(complete, Access, Debug);
    obj->RetainAndAutoRelease();
    return obj.Get();
}

bool TFileStoragePlugin::CanCreate(const MyAnsiString& Name) {
    if (Name.empty()) return false;
    MyAnsiString dir;
    MyAnsiString rest;
    SplitName(Name, CountDirectories(Name), dir, rest);
    if (rest.empty()) return false; // a folder name is no file name
    return dir == "." || StoredDirExists(dir);
}

TSLStorageObject* TFileStoragePlugin::CreateObject(const MyAnsiString& Name) {
    TStorageManager& m = Manager();
    if (!StoredFileExists(Name) && !CanCreate(Name))
        throw Exception(std::string(ClassName()) + ".CreateObject: Could not create object with name " + Name);
    TRef<TSLFileStorageObject> obj =
        MakeRef<TSLFileStorageObject>(m.GetEncoder(), m.GetDecoder(), &m.GetStorageIDManager());
    obj->InitNew(Name);
    obj->RetainAndAutoRelease();
    return obj.Get();
}

} // namespace vo
