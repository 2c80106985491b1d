#include "storagelib/SL20Arc.h"

#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "kernel/Debug.h"
#include "platform/Cp1252.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Stu.h"

namespace vo {

namespace {

// The reader and writer of archive entries: the storage manager's, or a
// standard pair of our own while there is no manager (tools, tests).
TSLStreamDecoder& EntryDecoder() {
    if (TStorageManager* m = StorageManager()) return *m->GetDecoder();
    static TSLStreamDecoder* own = TSLStreamDecoder::CreateStandard().Detach();
    return *own;
}

TSLStreamEncoder& EntryEncoder() {
    if (TStorageManager* m = StorageManager()) return *m->GetEncoder();
    static TSLStreamEncoder* own = MakeRef<TSLStreamEncoder>().Detach();
    return *own;
}

uint16_t EntryStorageID(const MyAnsiString& ArchiveFile, const MyAnsiString& EntryName) {
    TStorageManager* m = StorageManager();
    if (!m) return 0;
    return m->GetStorageIDManager().CreateStorageID(ChangeFileExt(ArchiveFile, "") + "\\" + EntryName);
}

void PutLE(std::string& Out, uint64_t Value, int Bytes) {
    for (int i = 0; i < Bytes; ++i) Out.push_back(static_cast<char>((Value >> (8 * i)) & 0xFF));
}

// The whole content of a stored file, unparsed.
std::string ReadRawFile(const MyAnsiString& FileName) {
    TRef<TSLCharFile> file = MakeRef<TSLCharFile>();
    file->FName = FileName;
    file->AssignFile(FileName);
    file->Reset(saRead);
    const int32_t size = file->GetFilesize();
    MyAnsiString bytes = file->ReadStringWithLength(size);
    file->Close();
    return bytes;
}

// The listing key of an archive file: its absolute path, letter case folded.
std::string ArchiveKey(const MyAnsiString& Name) {
    std::filesystem::path p = StoredPathToRealPath(Name);
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(p, ec);
    if (ec) abs = p;
    return Cp1252UpperCase(RealPathToStored(abs.lexically_normal()));
}

// The entry names of archive files already looked at, so that a lookup does
// not read an archive's headers again while its file is unchanged. A file is
// taken as unchanged while its device, inode, size, modification and change
// times are; a file changed within the last two seconds is never kept, since
// a rewrite within one tick of the file system's clock can leave the times as
// they were. The names are kept per storage manager, because reading an
// archive registers its entries' storage numbers there.
class TArchiveNameCache {
public:
    // -1: not known; else whether the archive file RealPath holds Entry.
    int HasEntry(const std::string& RealPath, const MyAnsiString& Entry) {
        struct stat st {};
        if (::stat(RealPath.c_str(), &st) != 0) return -1;
        std::lock_guard<std::mutex> lock(FLock);
        const auto it = FFiles.find(RealPath);
        if (it == FFiles.end()) return -1;
        if (!Same(it->second, st)) {
            FFiles.erase(it);
            return -1;
        }
        for (const std::string& n : it->second.Names)
            if (SLSameName(n, Entry)) return 1;
        return 0;
    }

    // Keeps the names of Archive, read from RealPath, when its file has settled.
    void Keep(const std::string& RealPath, const TSLArchive& Archive) {
        struct stat st {};
        if (::stat(RealPath.c_str(), &st) != 0) return;
        if (std::time(nullptr) - st.st_mtim.tv_sec < 2 || std::time(nullptr) - st.st_ctim.tv_sec < 2) return;
        TFile f;
        f.Manager = StorageManager();
        f.Stat = st;
        f.Names.reserve(static_cast<std::size_t>(Archive.GetCount()));
        for (int i = 0; i < Archive.GetCount(); ++i) f.Names.push_back(Archive.NameAtIndex(i));
        std::lock_guard<std::mutex> lock(FLock);
        FFiles[RealPath] = std::move(f);
    }

private:
    struct TFile {
        TStorageManager* Manager = nullptr;
        struct stat Stat {};
        std::vector<std::string> Names;
    };

    static bool Same(const TFile& F, const struct stat& St) noexcept {
        const struct stat& a = F.Stat;
        return F.Manager == StorageManager() && a.st_dev == St.st_dev && a.st_ino == St.st_ino &&
            a.st_size == St.st_size && a.st_mtim.tv_sec == St.st_mtim.tv_sec &&
            a.st_mtim.tv_nsec == St.st_mtim.tv_nsec && a.st_ctim.tv_sec == St.st_ctim.tv_sec &&
            a.st_ctim.tv_nsec == St.st_ctim.tv_nsec;
    }

    std::mutex FLock;
    std::map<std::string, TFile> FFiles;
};

TArchiveNameCache& ArchiveNameCache() {
    static TArchiveNameCache* cache = new TArchiveNameCache; // used until the process ends
    return *cache;
}

} // namespace

// ---------------------------------------------------------------- TSLArchiveEntry

TSLArchiveEntry::TSLArchiveEntry(TSLArchive* AOwner, const MyAnsiString& Name) : Owner(AOwner) {
    StreamHeader.Signature = SLArchiveSignature;
    StreamHeader.VersionNeeded = SLArchiveVersion;
    StreamHeader.Filename = Name;
    StreamHeader.FilenameLength = static_cast<uint16_t>(Name.size());
}

TSLArchiveEntry::~TSLArchiveEntry() = default;

TRef<TSLArchiveEntry> TSLArchiveEntry::ReadFrom(TSLArchive* AOwner, TSLCryptFile* CryptFile) {
    TRef<TSLArchiveEntry> e = MakeRef<TSLArchiveEntry>(AOwner, MyAnsiString());
    TStreamHeader& h = e->StreamHeader;
    h.Signature = CryptFile->ReadLongint();
    h.VersionNeeded = CryptFile->ReadWord();
    h.Size = CryptFile->ReadLongint();
    h.FilenameLength = CryptFile->ReadWord();
    h.ExtraFieldLength = CryptFile->ReadWord();
    if (h.Signature != SLArchiveSignature || h.VersionNeeded != SLArchiveVersion)
        throw Exception(std::string(ClassInfo.Name) + ".ReadHeader: Invalid file header in archive");
    const int32_t fileSize = CryptFile->GetFilesize();
    if (h.FilenameLength + h.ExtraFieldLength > fileSize - CryptFile->StreamPos())
        throw Exception("Try to read past the end of the file");
    h.Filename = CryptFile->ReadStringWithLength(h.FilenameLength);
    h.ExtraField = CryptFile->ReadStringWithLength(h.ExtraFieldLength);
    const int32_t pos = CryptFile->StreamPos();
    // Size is unsigned in the file: a "negative" one is far past the end.
    if (h.Size < 0 || h.Size > fileSize - pos) throw Exception("Try to seek past the end of the file");
    e->Position = pos;
    e->InStream = CryptFile;
    e->Lazy = true;
    const MyAnsiString head = CryptFile->ReadStringWithLength(static_cast<int32_t>(h.Size < 4 ? h.Size : 4));
    e->FFormat = head == "%SLE" ? sfEASCII : sfASCII;
    e->FStorageID = EntryStorageID(AOwner->FInStreamName, h.Filename);
    return e;
}

TSLObject* TSLArchiveEntry::GetData() {
    if (!Lazy) return FData.Get();
    if (!InStream || !InStream->IsOpen())
        throw Exception(std::string(ClassName()) + ".GetData: archive '" + (Owner ? Owner->FInStreamName : "") +
                        "' is closed");
    InStream->FCrypt = false;
    InStream->Seek(Position);
    MyAnsiString bytes = InStream->ReadStringWithLength(static_cast<int32_t>(StreamHeader.Size));
    TStorageFormat format = bytes.compare(0, 4, "%SLE") == 0 && bytes.size() >= 4 ? sfEASCII : sfASCII;
    if (format == sfEASCII) bytes = SLUnscramble(bytes);
    // The text is read within the entry's own bytes only, so that a damaged
    // entry can never reach into the next one. Positions count from the
    // first byte of the text.
    TRef<TSLStringStream> text = MakeRef<TSLStringStream>();
    text->SetBuffer(std::move(bytes));
    text->FStorageID = FStorageID;
    text->FName = Owner ? ChangeFileExt(Owner->FInStreamName, "") + "\\" + GetName() : GetName();
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(text.Get());
    TRef<TSLObject> data = EntryDecoder().ReadSingleObjectRef(look.Get(), Owner && Owner->FDebug);
    FFormat = format;
    SetData(data.Get());
    return FData.Get();
}

void TSLArchiveEntry::SetData(TSLObject* Data) {
    FData = Data;
    Lazy = false;
    InStream.Reset();
}

void TSLArchiveEntry::SetLink(const MyAnsiString& LinkFile) {
    FIsLink = true;
    FLinkFile = LinkFile;
    Lazy = false;
    InStream.Reset();
    FData.Reset();
}

MyAnsiString TSLArchiveEntry::LinkFileName() const {
    if (!FLinkFile.empty()) return FLinkFile;
    return ChangeFileExt(Owner ? Owner->FInStreamName : MyAnsiString(), "") + "\\" + GetName();
}

std::string TSLArchiveEntry::StoredText() {
    std::string text;
    if (FIsLink) {
        text = ReadRawFile(LinkFileName());
    } else {
        TSLObject* data = GetData();
        TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
        EntryEncoder().WriteObject(s.Get(), data);
        text = s->TakeBuffer();
    }
    if (FFormat == sfEASCII) text = SLScramble(text, Owner ? Owner->FRandom : std::function<uint8_t()>());
    return text;
}

std::string TSLArchiveEntry::Serialize() {
    const MyAnsiString& name = GetName();
    if (name.size() > 0xFFFF)
        throw Exception(std::string(ClassName()) + ".Write: entry name too long in archive");
    const std::string data = StoredText();
    std::string out;
    out.reserve(SLArchiveHeaderSize + name.size() + data.size());
    PutLE(out, static_cast<uint64_t>(SLArchiveSignature), 8);
    PutLE(out, SLArchiveVersion, 2);
    PutLE(out, data.size(), 8);
    PutLE(out, name.size(), 2);
    PutLE(out, 0, 2);
    out += name;
    out += data;
    return out;
}

// ---------------------------------------------------------------- TSLArchive

TSLArchive::TSLArchive(const MyAnsiString& Name, TStreamAccess Access, bool Debug)
    : FInStreamName(Name), Entries(MakeRef<TSLDictionary>()), FAccess(Access), FDebug(Debug) {}

TSLArchive* TSLArchive::Create(bool AutoRelease, const MyAnsiString& Name, TStreamAccess Access, bool Debug) {
    if (Name.empty()) throw Exception("Tried to open archive with empty filename");
    auto* a = new TSLArchive(Name, Access, Debug);
    try {
        a->Open();
    } catch (...) {
        a->Destroy();
        throw;
    }
    if (AutoRelease) a->RetainAndAutoRelease();
    return a;
}

TSLArchive::~TSLArchive() {
    CloseInput();
    Entries.Reset();
    if (FOnDestroy) {
        try {
            FOnDestroy(this);
        } catch (...) {
            // nothing to report to at destruction
        }
    }
}

void TSLArchive::CloseInput() noexcept {
    if (FInStream) {
        FInStream->Abandon();
        FInStream.Reset();
    }
}

void TSLArchive::Open() {
    if (!StoredFileExists(FInStreamName)) {
        ArchiveFileExists = false;
        return;
    }
    ArchiveFileExists = true;
    FInStream = MakeRef<TSLCryptFile>();
    FInStream->FName = FInStreamName;
    FInStream->AssignFile(FInStreamName);
    try {
        FInStream->Reset(saRead);
        // An empty file is an archive without entries.
        const int32_t size = FInStream->GetFilesize();
        while (FInStream->StreamPos() < size) {
            TRef<TSLArchiveEntry> e = TSLArchiveEntry::ReadFrom(this, FInStream.Get());
            Entries->AddObject(e->GetName(), e.Get());
            FInStream->Seek(e->Position + static_cast<int32_t>(e->StreamHeader.Size));
        }
    } catch (...) {
        Entries->Clear();
        CloseInput();
        throw;
    }
}

TSLArchiveEntry* TSLArchive::EntryAtIndex(int Index) const {
    return SLCast<TSLArchiveEntry>(Entries->GetObjAtIndex(Index));
}

TSLArchiveEntry* TSLArchive::EntryWithName(const MyAnsiString& Name) const {
    return SLCast<TSLArchiveEntry>(Entries->GetObjWithName(Name));
}

void TSLArchive::AddEntry(TSLArchiveEntry* Entry) { Entries->AddObject(Entry->GetName(), Entry); }

TSLArchiveEntry* TSLArchive::AddEntry(const MyAnsiString& Name, TStorageFormat Format, TSLObject* Data) {
    TRef<TSLArchiveEntry> e = MakeRef<TSLArchiveEntry>(this, Name);
    e->SetFormat(Format);
    e->SetData(Data);
    AddEntry(e.Get());
    return e.Get();
}

void TSLArchive::RemoveEntryAtIndex(int Index) { Entries->RemoveObject(Entries->GetNameAtIndex(Index)); }

void TSLArchive::RemoveEntryWithName(const MyAnsiString& Name) { Entries->RemoveObject(Name); }

void TSLArchive::Clear() { Entries->Clear(); }

void TSLArchive::Write() {
    if (FInStreamName.empty()) throw Exception("Tried to open archive with empty filename");
    const bool replacing = ArchiveFileExists;
    FOutStreamName = replacing ? ChangeFileExt(FInStreamName, ".tmp") : FInStreamName;

    // Every entry's bytes are made before anything touches the disk: a value
    // the writer refuses, a missing link file or an unreadable entry leaves
    // the archive file as it was.
    std::string content;
    for (int i = 0; i < GetCount(); ++i) EntryAtIndex(i)->GetData();
    for (int i = 0; i < GetCount(); ++i) content += EntryAtIndex(i)->Serialize();

    TRef<TSLCryptFile> out = MakeRef<TSLCryptFile>();
    out->FName = FOutStreamName;
    out->AssignFile(FOutStreamName);
    out->Rewrite();
    try {
        out->WriteString(content);
        out->Close();
    } catch (...) {
        out->Abandon();
        throw;
    }
    // All data is in memory by now.
    CloseInput();
    if (replacing && !ReplaceFile(FOutStreamName, FInStreamName))
        throw Exception(std::string(ClassName()) + ".Write: error while writing into archive;could not replace file '" +
                        FInStreamName + "' with '" + FOutStreamName + "'");
    ArchiveFileExists = true;
}

// ---------------------------------------------------------------- TSLArchiveStorageObject

TSLArchiveStorageObject::~TSLArchiveStorageObject() = default;

void TSLArchiveStorageObject::Init(const MyAnsiString& Name, const MyAnsiString& ArchiveFile, bool Debug,
                                   TStreamAccess AAccess, const MyAnsiString& EntryName) {
    (void)AAccess;
    Archive = ArchiveManager().GetArchive(ArchiveFile, AAccess, Debug);
    if (!Archive->NameExists(EntryName)) {
        TRef<TSLArchiveEntry> e = MakeRef<TSLArchiveEntry>(Archive.Get(), EntryName);
        Archive->AddEntry(e.Get());
    }
    ArchiveName = ArchiveFile;
    FileName = EntryName;
    FName = Name;
    Access = saReadWrite;
    Initialized = true;
}

TSLArchiveEntry* TSLArchiveStorageObject::Entry(const char* Method) const {
    if (!Initialized) throw Exception(std::string(ClassName()) + "." + Method + ": object not initialized");
    return Archive->EntryWithName(FileName);
}

TStorageFormat TSLArchiveStorageObject::GetFormat() const { return Entry("GetFormat")->GetFormat(); }

void TSLArchiveStorageObject::SetFormat(TStorageFormat Format) { Entry("SetFormat")->SetFormat(Format); }

TSLObject* TSLArchiveStorageObject::GetData() { return Entry("GetData")->GetData(); }

void TSLArchiveStorageObject::SetData(TSLObject* Data) { Entry("SetData")->SetData(Data); }

void TSLArchiveStorageObject::Read() { (void)Entry("Read"); }

void TSLArchiveStorageObject::Write() {
    if (!Initialized) throw Exception(std::string(ClassName()) + ".Write: object not initialized");
    Archive->Write();
}

// ---------------------------------------------------------------- TArchiveStoragePlugin

MyAnsiString TArchiveStoragePlugin::ProgramDir() const {
    TStorageManager* m = GetStorageManager() ? GetStorageManager() : StorageManager();
    return m ? m->GetProgramDir() : ExecutableFolder();
}

bool TArchiveStoragePlugin::ArchiveHasEntry(const MyAnsiString& ArchiveFile, const MyAnsiString& EntryName) {
    if (!StoredFileExists(ArchiveFile)) return false;
    try {
        const std::string real = StoredPathToRealPath(ArchiveFile).string();
        if (const int known = ArchiveNameCache().HasEntry(real, EntryName); known >= 0) return known == 1;
        // A temporary archive of its own, never the shared one: the lookup
        // answers what the file holds.
        TRef<TSLArchive> temp = TSLArchive::Create(false, ArchiveFile, saRead, false);
        ArchiveNameCache().Keep(real, *temp);
        return temp->NameExists(EntryName);
    } catch (const Exception& e) {
        LogWarning("archive '" + ArchiveFile + "' skipped: " + e.what());
        return false;
    }
}

bool TArchiveStoragePlugin::Walk(const MyAnsiString& P, MyAnsiString& ArchiveFile, MyAnsiString& EntryName) {
    for (int k = CountDirectories(P); k >= 1; --k) {
        MyAnsiString dir;
        MyAnsiString entry;
        SplitName(P, k, dir, entry);
        for (const char* ext : {".sla", ".cln"}) {
            const MyAnsiString file = dir + ext;
            if (ArchiveHasEntry(file, entry)) {
                ArchiveFile = file;
                EntryName = entry;
                return true;
            }
        }
    }
    return false;
}

bool TArchiveStoragePlugin::Find(const MyAnsiString& Name, MyAnsiString& ArchiveFile, MyAnsiString& EntryName) {
    if (Name.empty()) return false;
    bool hit = false;
    // Below the program folder (a rooted name has no place there) ...
    if (!HasRootSlash(Name)) hit = Walk(ProgramDir() + Name, ArchiveFile, EntryName);
    // ... then below the current folder, whose hit wins.
    MyAnsiString file;
    MyAnsiString entry;
    if (Walk(Name, file, entry)) {
        ArchiveFile = file;
        EntryName = entry;
        hit = true;
    }
    return hit;
}

bool TArchiveStoragePlugin::FindDir(const MyAnsiString& Name, MyAnsiString& ArchiveFile, MyAnsiString& EntryName) {
    if (Find(Name, ArchiveFile, EntryName)) return true;
    for (int a = CountDirectories(Name) - 1; a >= 0; --a) {
        MyAnsiString dir;
        MyAnsiString rest;
        SplitName(Name, a, dir, rest);
        if (dir == "." || StoredDirExists(dir)) {
            SplitName(Name, a + 1, dir, rest);
            ArchiveFile = dir + ".sla";
            EntryName = rest;
            return true;
        }
    }
    return false;
}

bool TArchiveStoragePlugin::ObjectExists(const MyAnsiString& Name) {
    MyAnsiString file;
    MyAnsiString entry;
    return Find(Name, file, entry);
}

TSLStorageObject* TArchiveStoragePlugin::GetObject(const MyAnsiString& Name, TStreamAccess Access, bool Debug) {
    MyAnsiString file;
    MyAnsiString entry;
    if (!Find(Name, file, entry)) throw Exception("object '" + Name + "' not found");
    TRef<TSLArchiveStorageObject> obj = MakeRef<TSLArchiveStorageObject>();
    obj->Init(Name, file, Debug, Access, entry);
    obj->RetainAndAutoRelease();
    return obj.Get();
}

bool TArchiveStoragePlugin::CanCreate(const MyAnsiString& Name) {
    MyAnsiString file;
    MyAnsiString entry;
    return FindDir(Name, file, entry);
}

TSLStorageObject* TArchiveStoragePlugin::CreateObject(const MyAnsiString& Name) {
    MyAnsiString file;
    MyAnsiString entry;
    if (!FindDir(Name, file, entry)) throw Exception("object '" + Name + "' can not be created");
    TRef<TSLArchiveStorageObject> obj = MakeRef<TSLArchiveStorageObject>();
    obj->Init(Name, file, false, saWrite, entry);
    obj->RetainAndAutoRelease();
    return obj.Get();
}

// ---------------------------------------------------------------- TArchiveManager

TSLArchive* TArchiveManager::GetArchive(const MyAnsiString& Name, TStreamAccess Access, bool Debug) {
    if (Name.empty()) throw Exception("Tried to open archive with empty filename");
    const std::string key = ArchiveKey(Name);
    if (auto it = Archives.find(key); it != Archives.end()) return it->second;
    TSLArchive* a = TSLArchive::Create(true, Name, Access, Debug);
    a->SetOnDestroy([this](TSLArchive* Sender) { ArchiveDestroy(Sender); });
    Archives.emplace(key, a);
    return a;
}

void TArchiveManager::ArchiveDestroy(TSLArchive* Archive) {
    for (auto it = Archives.begin(); it != Archives.end(); ++it) {
        if (it->second == Archive) {
            Archives.erase(it);
            return;
        }
    }
    throw Exception(std::string(ClassName()) + ".ArchiveDestroy: archive not found");
}

TArchiveManager& ArchiveManager() {
    static TArchiveManager* manager = new TArchiveManager();
    return *manager;
}

} // namespace vo
