#pragma once
// Archive files and the archive plug-in ("archive://").
//
// An archive file (".sla" or ".cln") holds named entries back to back, each
// the text notation of one value, plain or scrambled; there is no file header
// and no directory. Every entry, numbers little-endian:
//
//   offset  size  field
//        0     8  signature: 53 4C 41 04 00 00 00 00 ("SLA", 4, four zeros)
//        8     2  version needed: 10
//       10     8  size of the data that follows the header
//       18     2  length N of the entry name
//       20     2  length X of the extra field (written as 0)
//       22     N  entry name, code page 1252, "\" between folder levels
//     22+N     X  extra field (skipped)
//   22+N+X  size  data: the stored value's text, plain or "%SLE" scrambled
//
// A name such as archive://Archives\Config\VendorInfo.stx is looked up in the
// archive of the deepest folder level that has it: Archives\Config.sla with
// the entry VendorInfo.stx before Archives.sla with the entry
// Config\VendorInfo.stx, ".sla" before ".cln" at the same level; first below
// the program folder, then below the current folder (whose hit wins).
//
// Entries are read lazily: opening reads the headers only. Writing stores the
// whole archive into a ".tmp" file beside it and then swaps it in, keeping the
// previous archive as ".bak"; a write that fails leaves the archive as it was.
// Open archives are shared by file through the archive manager, so every
// storage object of one file sees the same entries.
//
// Sound behaviour where a plain reading would be harmful: an empty (0-byte)
// archive file is an archive without entries; an entry's text is read only
// within its recorded size; a damaged archive met during a lookup is logged
// and skipped instead of failing every later lookup; one file reached under
// different names (absolute, relative, other letter case) is one shared
// archive.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "storagelib/SL20Fil.h"
#include "storagelib/SL20Sto.h"

namespace vo {

class TSLArchive;

// One entry header in memory.
struct TStreamHeader {
    int64_t Signature = 0;
    uint16_t VersionNeeded = 0;
    int64_t Size = 0;
    uint16_t FilenameLength = 0;
    uint16_t ExtraFieldLength = 0;
    MyAnsiString Filename;
    MyAnsiString ExtraField;
};

inline constexpr int64_t SLArchiveSignature = 0x04414C53;
inline constexpr uint16_t SLArchiveVersion = 10;
inline constexpr int32_t SLArchiveHeaderSize = 22;

class TSLArchiveEntry : public TSLObject {
    VO_REFOBJ_CLASS(TSLArchiveEntry, TSLObject)
public:
    // An entry in memory: the name, format sfASCII, no data, not lazy, not a link.
    TSLArchiveEntry(TSLArchive* AOwner, const MyAnsiString& Name);
    ~TSLArchiveEntry() override;
    // Reads the next entry header from the archive's input stream (the data
    // stays in the file). A damaged header raises
    // "TSLArchiveEntry.ReadHeader: Invalid file header in archive"; a header
    // or data running past the end of the file the stream's error.
    static TRef<TSLArchiveEntry> ReadFrom(TSLArchive* AOwner, TSLCryptFile* CryptFile);

    const MyAnsiString& GetName() const noexcept { return StreamHeader.Filename; }
    TStorageFormat GetFormat() const noexcept { return FFormat; }
    void SetFormat(TStorageFormat Format) noexcept { FFormat = Format; }
    // Loads the data on first use (and then sets the format to the form found
    // in the file); does not retain.
    TSLObject* GetData();
    // Retains the new data, releases the old; the file's copy is then never read.
    void SetData(TSLObject* Data);

    // A link entry has no data of its own: at every write its text is the raw
    // content of a file, copied unparsed (scrambled for sfEASCII). The file is
    // LinkFile when given, else the one named like the entry's storage id
    // (the archive name without extension + "\" + entry name).
    void SetLink(const MyAnsiString& LinkFile = {});
    bool IsLink() const noexcept { return FIsLink; }
    bool IsLazy() const noexcept { return Lazy; }
    uint16_t GetStorageID() const noexcept { return FStorageID; }
    int32_t GetPosition() const noexcept { return Position; }
    const TStreamHeader& GetStreamHeader() const noexcept { return StreamHeader; }

    // The entry as stored: header and data. Loads the data when lazy.
    std::string Serialize();

private:
    friend class TSLArchive;
    MyAnsiString LinkFileName() const;
    std::string StoredText();

    TSLArchive* Owner; // not retained: the archive holds its entries
    TRef<TSLCryptFile> InStream;
    uint16_t FStorageID = 0;
    TStreamHeader StreamHeader;
    TRef<TSLObject> FData;
    TStorageFormat FFormat = sfASCII;
    bool FIsLink = false;
    MyAnsiString FLinkFile;
    bool Lazy = false;
    int32_t Position = 0;
};

class TSLArchive : public TSLObject {
    VO_REFOBJ_CLASS(TSLArchive, TSLObject)
public:
    using TDestroyEvent = std::function<void(TSLArchive* Sender)>;

    // Opens (reads the headers of) the archive file Name; a missing file is
    // an empty archive. An empty name raises "Tried to open archive with
    // empty filename". With AutoRelease the archive starts at count 1 with one
    // pool entry, otherwise at count 0.
    static TSLArchive* Create(bool AutoRelease, const MyAnsiString& Name, TStreamAccess Access, bool Debug);
    ~TSLArchive() override;

    int GetCount() const { return Entries->GetCount(); }
    TSLArchiveEntry* EntryAtIndex(int Index) const;
    // A missing name raises the dictionary's "no object named" error.
    TSLArchiveEntry* EntryWithName(const MyAnsiString& Name) const;
    bool NameExists(const MyAnsiString& Name) const { return Entries->NameExists(Name); }
    int IndexOfEntry(const MyAnsiString& Name) const { return Entries->IndexOfName(Name); }
    MyAnsiString NameAtIndex(int Index) const { return Entries->GetNameAtIndex(Index); }
    // A name present already raises the dictionary's duplicate error.
    void AddEntry(TSLArchiveEntry* Entry);
    // A new entry in memory with that name, format and data.
    TSLArchiveEntry* AddEntry(const MyAnsiString& Name, TStorageFormat Format, TSLObject* Data);
    void RemoveEntryAtIndex(int Index);
    void RemoveEntryWithName(const MyAnsiString& Name);
    void Clear();

    // Stores every entry in dictionary order (the file's order, then the
    // entries added). An existing archive is written to its ".tmp" name and
    // swapped in with the old file kept as ".bak"; a failure leaves the
    // archive file as it was.
    void Write();

    const MyAnsiString& GetFileName() const noexcept { return FInStreamName; }
    bool GetArchiveFileExists() const noexcept { return ArchiveFileExists; }
    bool GetDebug() const noexcept { return FDebug; }
    TStreamAccess GetAccess() const noexcept { return FAccess; }
    void SetOnDestroy(TDestroyEvent Event) { FOnDestroy = std::move(Event); }
    // The source of the four random bytes of scrambled entries (a random
    // source when empty); a fixed one makes written archives reproducible.
    void SetRandomSource(std::function<uint8_t()> Source) { FRandom = std::move(Source); }

private:
    friend class TSLArchiveEntry;
    TSLArchive(const MyAnsiString& Name, TStreamAccess Access, bool Debug);
    void Open();
    void CloseInput() noexcept;

    TRef<TSLCryptFile> FInStream;
    MyAnsiString FInStreamName;
    MyAnsiString FOutStreamName;
    bool ArchiveFileExists = false;
    TRef<TSLDictionary> Entries;
    TStreamAccess FAccess = saReadWrite;
    bool FDebug = false;
    TDestroyEvent FOnDestroy;
    std::function<uint8_t()> FRandom;
};

// A stored object on one archive entry.
class TSLArchiveStorageObject : public TSLStorageObject {
    VO_REFOBJ_CLASS(TSLArchiveStorageObject, TSLStorageObject)
public:
    TSLArchiveStorageObject() = default;
    ~TSLArchiveStorageObject() override;

    // Takes the shared archive of ArchiveFile (retained) and the entry
    // EntryName in it, adding a new entry when the archive lacks it.
    void Init(const MyAnsiString& Name, const MyAnsiString& ArchiveFile, bool Debug, TStreamAccess AAccess,
              const MyAnsiString& EntryName);

    MyAnsiString GetName() const override { return FName; }
    TStorageFormat GetFormat() const override;
    void SetFormat(TStorageFormat Format) override;
    TSLObject* GetData() override;
    void SetData(TSLObject* Data) override;
    // Checks that the entry is there (the data loads in GetData).
    void Read() override;
    // Writes the whole archive, with every entry.
    void Write() override;

    TSLArchive* GetArchive() const noexcept { return Archive.Get(); }
    const MyAnsiString& GetArchiveName() const noexcept { return ArchiveName; }
    const MyAnsiString& GetEntryName() const noexcept { return FileName; }

private:
    TSLArchiveEntry* Entry(const char* Method) const;

    TRef<TSLArchive> Archive;
    MyAnsiString ArchiveName;
    MyAnsiString FileName;
    TStreamAccess Access = saReadWrite;
    MyAnsiString FName;
    bool Initialized = false;
};

class TArchiveStoragePlugin : public TStoragePluginInterface {
public:
    const char* ClassName() const noexcept override { return "TArchiveStoragePlugin"; }

    bool ObjectExists(const MyAnsiString& Name) override;
    using TStoragePluginInterface::GetObject;
    // "object '%s' not found" when no archive has the entry.
    TSLStorageObject* GetObject(const MyAnsiString& Name, TStreamAccess Access, bool Debug) override;
    bool CanCreate(const MyAnsiString& Name) override;
    // On the existing entry, else on a new entry in the archive of the
    // deepest existing folder; "object '%s' can not be created" otherwise.
    TSLStorageObject* CreateObject(const MyAnsiString& Name) override;
    MyAnsiString GetScheme() const override { return "archive://"; }

    // The archive file and entry that hold Name.
    bool Find(const MyAnsiString& Name, MyAnsiString& ArchiveFile, MyAnsiString& EntryName);
    // As Find, else the place where a new entry for Name would go.
    bool FindDir(const MyAnsiString& Name, MyAnsiString& ArchiveFile, MyAnsiString& EntryName);

private:
    MyAnsiString ProgramDir() const;
    // One walk of Find over the folder levels of P.
    bool Walk(const MyAnsiString& P, MyAnsiString& ArchiveFile, MyAnsiString& EntryName);
    bool ArchiveHasEntry(const MyAnsiString& ArchiveFile, const MyAnsiString& EntryName);
};

// The open archives by file. The listing does not retain them: an archive
// leaves it when it is freed.
class TArchiveManager {
public:
    static const char* ClassName() noexcept { return "TArchiveManager"; }
    TArchiveManager() = default;
    TArchiveManager(const TArchiveManager&) = delete;
    TArchiveManager& operator=(const TArchiveManager&) = delete;

    // The archive listed for the file Name, else a new one (autoreleased).
    TSLArchive* GetArchive(const MyAnsiString& Name, TStreamAccess Access = saReadWrite, bool Debug = false);
    // Removes Archive from the listing; one not listed raises
    // "TArchiveManager.ArchiveDestroy: archive not found".
    void ArchiveDestroy(TSLArchive* Archive);
    int GetCount() const noexcept { return static_cast<int>(Archives.size()); }

private:
    std::map<std::string, TSLArchive*> Archives; // by the file's absolute path
};

// The program-wide archive manager; lives until the process ends.
TArchiveManager& ArchiveManager();

} // namespace vo
