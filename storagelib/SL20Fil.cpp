#include "storagelib/SL20Fil.h"

#include <atomic>
#include <climits>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileNames.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Enc.h"

namespace vo {

namespace {

constexpr std::size_t WriteBufLimit = 65536;

std::string RealPath(const MyAnsiString& Stored) { return StoredPathToRealPath(Stored).string(); }

bool IsNameSeparator(char c) { return c == '\\' || c == '/'; }

// A name for the new file of a Rewrite, beside the file it replaces.
std::string TempNameFor(const std::string& Target) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = Target.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : Target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? Target : Target.substr(slash + 1);
    return dir + "." + base + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

ssize_t PRead(int Fd, void* Buf, std::size_t Len, off_t Pos) {
    for (;;) {
        const ssize_t r = ::pread(Fd, Buf, Len, Pos);
        if (r < 0 && errno == EINTR) continue;
        return r;
    }
}

uint8_t RandomByte() {
    static std::minstd_rand engine{std::random_device{}()};
    return static_cast<uint8_t>(engine() >> 8);
}

const char SleMark[4] = {'%', 'S', 'L', 'E'};

} // namespace

// ---------------------------------------------------------------- TSLCharFile

TSLCharFile::~TSLCharFile() {
    if (!FTempPath.empty()) {
        Abandon();
        return;
    }
    try {
        Close();
    } catch (...) {
        // nothing to report to at destruction
    }
}

void TSLCharFile::ClearState() noexcept {
    FileHandle = -1;
    FileIsOpen = false;
    ActFilePos = 0;
    BufSize = 0;
    BufPos = 0;
    AtEof = false;
    CachedFileSize = 0;
    FWriteBuf.clear();
    FWriteStart = 0;
    FTempPath.clear();
    FTargetPath.clear();
}

void TSLCharFile::NotOpened() const { throw Exception("File not opened"); }

bool TSLCharFile::OpenReal(const std::string& Path, int Flags, int Lock) {
    const int fd = ::open(Path.c_str(), Flags | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    // Positions are 32-bit: files of 2 GiB and more are refused.
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || st.st_size > INT32_MAX ||
        (Lock != 0 && ::flock(fd, Lock | LOCK_NB) != 0)) {
        ::close(fd);
        return false;
    }
    FileHandle = fd;
    FileIsOpen = true;
    CachedFileSize = static_cast<int32_t>(st.st_size);
    return true;
}

void TSLCharFile::Reset(TStreamAccess Access) {
    Close();
    const auto fail = [this]() {
        return Exception(std::string(ClassName()) + " error: File '" + FFileName + "' couldn't be opened");
    };
    if (FFileName.empty()) throw fail();
    std::string path;
    try {
        path = RealPath(FFileName);
    } catch (const Exception&) {
        throw fail();
    }
    const int flags = Access == saRead ? O_RDONLY : Access == saWrite ? O_WRONLY
                                                                      : O_RDWR;
    if (!OpenReal(path, flags, Access == saRead ? LOCK_SH : LOCK_EX)) throw fail();
    FAccess = Access;
}

void TSLCharFile::Rewrite() {
    Close();
    const auto fail = []() { return Exception("File couldn't be created"); };
    if (FFileName.empty()) throw fail();
    std::string target;
    try {
        target = RealPath(FFileName);
    } catch (const Exception&) {
        throw fail();
    }
    // Through a symbolic link the file it points to is replaced, not the link.
    struct stat lst {};
    if (::lstat(target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        std::error_code ec;
        const std::filesystem::path real = std::filesystem::canonical(target, ec);
        if (!ec) target = real.string();
    }
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists) {
        // What would make deleting the old file fail: a folder, a read-only
        // file, a file somebody has open.
        if (S_ISDIR(st.st_mode) || ::access(target.c_str(), W_OK) != 0) throw fail();
        const int probe = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
        if (probe >= 0) {
            const bool busy = ::flock(probe, LOCK_EX | LOCK_NB) != 0;
            ::close(probe);
            if (busy) throw fail();
        }
    }
    const std::string temp = TempNameFor(target);
    const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) throw fail();
    if (exists) (void)::fchmod(fd, st.st_mode & 07777);
    (void)::flock(fd, LOCK_EX | LOCK_NB);
    FileHandle = fd;
    FileIsOpen = true;
    FAccess = saReadWrite;
    FTempPath = temp;
    FTargetPath = target;
}

void TSLCharFile::Close() {
    if (!FileIsOpen) {
        ClearState();
        return;
    }
    try {
        FlushWrites();
    } catch (...) {
        Abandon();
        throw;
    }
    if (!FTempPath.empty()) {
        const bool synced = ::fsync(FileHandle) == 0;
        ::close(FileHandle);
        const bool placed = synced && ::rename(FTempPath.c_str(), FTargetPath.c_str()) == 0;
        if (!placed) {
            ::unlink(FTempPath.c_str());
            ClearState();
            throw Exception("File couldn't be created");
        }
    } else {
        ::close(FileHandle);
    }
    ClearState();
}

void TSLCharFile::Abandon() noexcept {
    if (FileIsOpen) {
        if (FTempPath.empty()) {
            try {
                FlushWrites();
            } catch (...) {
            }
        }
        ::close(FileHandle);
    }
    if (!FTempPath.empty()) ::unlink(FTempPath.c_str());
    ClearState();
}

void TSLCharFile::FlushWrites() {
    if (FWriteBuf.empty()) return;
    std::size_t done = 0;
    while (done < FWriteBuf.size()) {
        const ssize_t w = ::pwrite(FileHandle, FWriteBuf.data() + done, FWriteBuf.size() - done,
                                   static_cast<off_t>(FWriteStart) + static_cast<off_t>(done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            FWriteBuf.clear();
            throw Exception("Disk full while writing to file");
        }
        done += static_cast<std::size_t>(w);
    }
    FWriteBuf.clear();
}

uint8_t TSLCharFile::ReadPlain() {
    if (!FileIsOpen) NotOpened();
    if (AtEof) throw Exception("Try to read past the end of the file");
    if (BufPos >= BufSize) {
        FlushWrites();
        const ssize_t n = PRead(FileHandle, FileBuf, FileBufSize, ActFilePos);
        if (n < 0) throw Exception("Internal error");
        if (n == 0) throw Exception(std::string(ClassName()) + " error: tried to read past the end of file");
        BufSize = static_cast<int32_t>(n);
        BufPos = 0;
    }
    const uint8_t c = FileBuf[BufPos++];
    ++ActFilePos;
    if (ActFilePos >= CachedFileSize) AtEof = true;
    return c;
}

uint8_t TSLCharFile::Read() { return ReadPlain(); }

void TSLCharFile::WritePlain(uint8_t Ch) {
    if (!FileIsOpen) NotOpened();
    if (FAccess == saRead)
        throw Exception(std::string(ClassName()) + " error: File '" + FFileName + "' is not open for writing");
    if (ActFilePos == INT32_MAX) throw Exception("Disk full while writing to file"); // the 2 GiB limit
    BufSize = BufPos = 0; // what was read ahead may be overwritten now
    if (!FWriteBuf.empty() && FWriteStart + static_cast<int32_t>(FWriteBuf.size()) != ActFilePos) FlushWrites();
    if (FWriteBuf.empty()) FWriteStart = ActFilePos;
    FWriteBuf.push_back(static_cast<char>(Ch));
    ++ActFilePos;
    if (ActFilePos > CachedFileSize) CachedFileSize = ActFilePos;
    if (FWriteBuf.size() >= WriteBufLimit) FlushWrites();
}

void TSLCharFile::Write(uint8_t Ch) { WritePlain(Ch); }

void TSLCharFile::WriteBlock(const uint8_t* Buf, int32_t Len) {
    for (int32_t i = 0; i < Len; ++i) WritePlain(Buf[i]);
}

int32_t TSLCharFile::ReadBlock(uint8_t* Buf, int32_t Max) {
    if (!FileIsOpen) NotOpened();
    if (Max <= 0 || AtEof) return 0;
    FlushWrites();
    int32_t n = 0;
    if (BufPos < BufSize) {
        const int32_t take = std::min(BufSize - BufPos, Max);
        std::memcpy(Buf, FileBuf + BufPos, static_cast<std::size_t>(take));
        BufPos += take;
        ActFilePos += take;
        n = take;
    }
    if (n < Max) {
        BufSize = BufPos = 0;
        while (n < Max) {
            const ssize_t r = PRead(FileHandle, Buf + n, static_cast<std::size_t>(Max - n), ActFilePos);
            if (r < 0) throw Exception("Internal error");
            if (r == 0) break;
            n += static_cast<int32_t>(r);
            ActFilePos += static_cast<int32_t>(r);
        }
    }
    if (ActFilePos > CachedFileSize) CachedFileSize = ActFilePos;
    AtEof = ActFilePos >= CachedFileSize;
    return n;
}

void TSLCharFile::Seek(int32_t N) {
    if (!FileIsOpen) NotOpened();
    const int32_t size = GetFilesize();
    if (N > size) throw Exception("Try to seek past the end of the file");
    if (N < 0) throw Exception("Try to seek to a position less than zero");
    if (N == ActFilePos) return;
    const int32_t bufStart = ActFilePos - BufPos;
    if (BufSize > 0 && N >= bufStart && N < bufStart + BufSize)
        BufPos = N - bufStart;
    else
        BufSize = BufPos = 0;
    ActFilePos = N;
    AtEof = N >= CachedFileSize;
}

int32_t TSLCharFile::GetFilesize() {
    if (!FileIsOpen) NotOpened();
    FlushWrites();
    struct stat st {};
    if (::fstat(FileHandle, &st) != 0 || st.st_size > INT32_MAX) throw Exception("Internal error");
    CachedFileSize = static_cast<int32_t>(st.st_size);
    return CachedFileSize;
}

MyAnsiString TSLCharFile::FileName(TFileNamePart Part) const {
    std::size_t sep = MyAnsiString::npos;
    for (std::size_t i = 0; i < FFileName.size(); ++i)
        if (IsNameSeparator(FFileName[i])) sep = i;
    const std::size_t nameStart = sep == MyAnsiString::npos ? 0 : sep + 1;
    switch (Part) {
    case fnpName: return FFileName.substr(nameStart);
    case fnpPath: return FFileName.substr(0, nameStart);
    case fnpExt: {
        const std::size_t dot = FFileName.find_last_of('.');
        if (dot == MyAnsiString::npos || dot < nameStart) return {};
        return FFileName.substr(dot);
    }
    default: return FFileName;
    }
}

int32_t TSLCharFile::FileOpen(const MyAnsiString& Name, uint16_t Mode) {
    Close();
    FFileName = Name;
    std::string path;
    try {
        path = RealPath(Name);
    } catch (const Exception&) {
        return -1;
    }
    const int access = Mode & 3;
    const int flags = access == 0 ? O_RDONLY : access == 1 ? O_WRONLY
                                                           : O_RDWR;
    int lock = 0;
    switch (Mode & 0xF0) {
    case 0x10:
    case 0x30: lock = LOCK_EX; break;
    case 0x20: lock = access == 0 ? LOCK_SH : LOCK_EX; break;
    default: lock = 0; break;
    }
    if (!OpenReal(path, flags, lock)) return -1;
    FAccess = access == 0 ? saRead : access == 1 ? saWrite
                                                 : saReadWrite;
    return FileHandle;
}

// ---------------------------------------------------------------- TSLCryptFile

TSLCryptFile::TSLCryptFile() : FRandom(RandomByte) {}

uint8_t TSLCryptFile::Encrypt(uint8_t P) noexcept {
    const auto c = static_cast<uint8_t>(P ^ (Key >> 8));
    Key = static_cast<uint16_t>((uint32_t{c} + Key) * FC1 + FC2);
    return c;
}

uint8_t TSLCryptFile::Decrypt(uint8_t C) noexcept {
    const auto p = static_cast<uint8_t>(C ^ (Key >> 8));
    Key = static_cast<uint16_t>((uint32_t{C} + Key) * FC1 + FC2);
    return p;
}

uint8_t TSLCryptFile::Read() {
    const uint8_t c = ReadPlain();
    return FCrypt ? Decrypt(c) : c;
}

void TSLCryptFile::Write(uint8_t Ch) { WritePlain(FCrypt ? Encrypt(Ch) : Ch); }

int32_t TSLCryptFile::ReadBlock(uint8_t* Buf, int32_t Max) {
    const int32_t n = TSLCharFile::ReadBlock(Buf, Max);
    if (FCrypt)
        for (int32_t i = 0; i < n; ++i) Buf[i] = Decrypt(Buf[i]);
    return n;
}

void TSLCryptFile::WriteBlock(const uint8_t* Buf, int32_t Len) {
    for (int32_t i = 0; i < Len; ++i) WritePlain(FCrypt ? Encrypt(Buf[i]) : Buf[i]);
}

void TSLCryptFile::InitEncrypter() {
    Key = FInitKey;
    for (char m : SleMark) WritePlain(static_cast<uint8_t>(m));
    for (int i = 0; i < 4; ++i) Write(FRandom ? FRandom() : RandomByte());
}

void TSLCryptFile::InitDecryptor() {
    Key = FInitKey;
    for (char m : SleMark) {
        // A stream too short for the mark is not a scrambled one either.
        if (Eof() || ReadPlain() != static_cast<uint8_t>(m)) throw Exception("wrong crypt header in stream");
    }
    for (int i = 0; i < 4; ++i) Read();
}

// ---------------------------------------------------------------- unit functions

TStorageFormat GetStreamFormat(TSLCharStream* Stream) {
    const int32_t pos = Stream->StreamPos();
    uint8_t head[4] = {};
    int32_t n = 0;
    while (n < 4) {
        const int32_t r = Stream->ReadBlock(head + n, 4 - n);
        if (r <= 0) break;
        n += r;
    }
    Stream->Seek(pos);
    return n == 4 && std::memcmp(head, SleMark, 4) == 0 ? sfEASCII : sfASCII;
}

bool ReplaceFile(const MyAnsiString& NewName, const MyAnsiString& OldName) {
    MyAnsiString backup = OldName;
    std::size_t sep = MyAnsiString::npos;
    for (std::size_t i = 0; i < backup.size(); ++i)
        if (IsNameSeparator(backup[i])) sep = i;
    const std::size_t dot = backup.find_last_of('.');
    if (dot != MyAnsiString::npos && (sep == MyAnsiString::npos || dot > sep)) backup.erase(dot);
    backup += ".bak";

    const std::string newPath = RealPath(NewName);
    const std::string oldPath = RealPath(OldName);
    const std::string bakPath = RealPath(backup);
    struct stat st {};
    if (::lstat(bakPath.c_str(), &st) == 0 && ::unlink(bakPath.c_str()) != 0) throw Exception("");
    if (::rename(oldPath.c_str(), bakPath.c_str()) != 0) return false;
    if (::rename(newPath.c_str(), oldPath.c_str()) == 0) return true;
    (void)::rename(bakPath.c_str(), oldPath.c_str());
    return false;
}

std::string SLScramble(std::string_view Text, const std::function<uint8_t()>& Random) {
    TSLType1Cipher cipher;
    std::string out(SleMark, 4);
    out.reserve(Text.size() + 8);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(cipher.Encrypt(Random ? Random() : RandomByte())));
    for (char c : Text) out.push_back(static_cast<char>(cipher.Encrypt(static_cast<uint8_t>(c))));
    return out;
}

std::string SLUnscramble(std::string_view Bytes) {
    if (Bytes.size() < 8 || Bytes.substr(0, 4) != std::string_view(SleMark, 4))
        throw Exception("wrong crypt header in stream");
    TSLType1Cipher cipher;
    std::string out;
    out.reserve(Bytes.size() - 8);
    for (std::size_t i = 4; i < Bytes.size(); ++i) {
        const uint8_t p = cipher.Decrypt(static_cast<uint8_t>(Bytes[i]));
        if (i >= 8) out.push_back(static_cast<char>(p));
    }
    return out;
}

void SLWriteFileReplacing(const MyAnsiString& FileName, std::string_view Bytes) {
    TRef<TSLCharFile> file = MakeRef<TSLCharFile>();
    file->AssignFile(FileName);
    file->Rewrite();
    try {
        file->WriteString(Bytes);
        file->Close();
    } catch (...) {
        file->Abandon();
        throw;
    }
}

void SLWriteObjectFile(TSLStreamEncoder& Encoder, const MyAnsiString& FileName, TSLObject* Obj,
                       TStorageFormat Format) {
    TRef<TSLStringStream> text = MakeRef<TSLStringStream>();
    Encoder.WriteObject(text.Get(), Obj);
    if (Format == sfEASCII)
        SLWriteFileReplacing(FileName, SLScramble(text->GetBuffer()));
    else
        SLWriteFileReplacing(FileName, text->GetBuffer());
}

TRef<TSLObject> SLReadObjectFile(TSLStreamDecoder& Decoder, const MyAnsiString& FileName, bool Debug,
                                 uint16_t StorageID, TStorageFormat* Format) {
    TRef<TSLCryptFile> file = MakeRef<TSLCryptFile>();
    file->FName = FileName;
    file->FStorageID = StorageID;
    file->AssignFile(FileName);
    file->Reset(saRead);
    try {
        const TStorageFormat format = GetStreamFormat(file.Get());
        if (Format) *Format = format;
        if (format == sfEASCII) {
            file->FCrypt = true;
            file->InitDecryptor();
        }
        TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(file.Get());
        TRef<TSLObject> value = Decoder.ReadSingleObjectRef(look.Get(), Debug);
        file->FCrypt = false;
        file->Close();
        return value;
    } catch (...) {
        file->FCrypt = false;
        file->Abandon();
        throw;
    }
}

} // namespace vo
