#pragma once
// Character files and the scrambled "%SLE" stream.
//
// TSLCharFile is the byte file behind every stored file and archive: a
// character stream over one disk file, read through a buffer. File names are
// stored names (code page 1252, "\" separators) and are opened through the
// platform's one stored-path mapping.
//
// Writing never destroys the old file first: Rewrite writes into a new
// temporary file beside the old one, and Close puts it in the old one's place
// with one rename. A file that is abandoned (Abandon, or destroyed without
// Close) leaves the old file as it was.
//
// While a file is open, other openers may read but not write it, as the
// program's share mode asks: readers take a shared lock, writers an exclusive
// one, and an open that conflicts fails.
//
// TSLCryptFile adds the scrambled form: the plain mark "%SLE", four random
// bytes and the text, all but the mark enciphered byte by byte with the
// Type 1 font encryption (start key 4330, c1 52845, c2 22719).
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "storagelib/SL20StStrm.h"

namespace vo {

class TSLStreamDecoder;
class TSLStreamEncoder;

class TSLCharFile : public TSLCharStream {
    VO_REFOBJ_CLASS(TSLCharFile, TSLCharStream)
public:
    static constexpr int32_t FileBufSize = 1024;

    TSLCharFile() = default;
    ~TSLCharFile() override;
    static TSLCharFile* Create(bool AutoRelease) { return NewRefObj<TSLCharFile>(AutoRelease); }

    // Sets the name; opens nothing.
    void AssignFile(const MyAnsiString& FileName) { FFileName = FileName; }

    // Opens the existing assigned file (saRead read-only, saWrite write-only,
    // saReadWrite read-write) at byte 0. A file still open is closed first.
    void Reset(TStreamAccess Access) override;
    // Opens a new, empty file for the assigned name (see above: it replaces
    // the old file only when closed).
    void Rewrite() override;
    // Writes what is pending, closes, and for a rewritten file puts it in the
    // old one's place; clears positions, sizes and flags.
    void Close() override;
    // Closes a rewritten file without putting it in place: the old file stays.
    // For any other file the same as Close.
    void Abandon() noexcept;
    int32_t StreamPos() override { return ActFilePos; }
    uint8_t Read() override;
    void Write(uint8_t Ch) override;
    void Seek(int32_t N) override;
    bool Eof() override { return AtEof; }
    int32_t ReadBlock(uint8_t* Buf, int32_t Max) override;
    void WriteBlock(const uint8_t* Buf, int32_t Len) override;

    // fnpFull the whole name, fnpName without folder, fnpPath the folder with
    // its trailing separator, fnpExt the extension with its point.
    MyAnsiString FileName(TFileNamePart Part) const;
    // Opens with a file open mode (access in the low two bits: 0 read, 1 write,
    // 2 read-write; share 0x10 exclusive, 0x20 deny write, 0x30 deny read,
    // 0x40 or 0 deny none); returns the handle, negative on failure.
    int32_t FileOpen(const MyAnsiString& FileName, uint16_t Mode);
    void FileClose() { Close(); }
    // Measures the file; caches and returns its size.
    int32_t GetFilesize();
    bool IsOpen() const noexcept { return FileIsOpen; }

    int32_t FileHandle = -1;
    MyAnsiString FFileName;
    bool FileIsOpen = false;

protected:
    // One byte from the file / to the file, without deciphering or enciphering.
    uint8_t ReadPlain();
    void WritePlain(uint8_t Ch);

private:
    void FlushWrites();
    void ClearState() noexcept;
    [[noreturn]] void NotOpened() const;
    bool OpenReal(const std::string& Path, int Flags, int Lock);

    uint8_t FileBuf[FileBufSize] = {};
    int32_t ActFilePos = 0;
    int32_t BufSize = 0;
    int32_t BufPos = 0;
    bool AtEof = false;
    int32_t CachedFileSize = 0;

    TStreamAccess FAccess = saRead;
    std::string FWriteBuf; // bytes written and not yet on disk
    int32_t FWriteStart = 0; // their file position
    std::string FTempPath; // the new file of a Rewrite, until Close
    std::string FTargetPath; // the file it replaces
};

// The Type 1 font encryption with a running key.
struct TSLType1Cipher {
    static constexpr uint16_t InitKey = 4330;
    static constexpr uint16_t C1 = 52845;
    static constexpr uint16_t C2 = 22719;
    uint16_t Key = InitKey;

    uint8_t Encrypt(uint8_t P) noexcept {
        const auto c = static_cast<uint8_t>(P ^ (Key >> 8));
        Key = static_cast<uint16_t>((uint32_t{c} + Key) * C1 + C2);
        return c;
    }
    uint8_t Decrypt(uint8_t C) noexcept {
        const auto p = static_cast<uint8_t>(C ^ (Key >> 8));
        Key = static_cast<uint16_t>((uint32_t{C} + Key) * C1 + C2);
        return p;
    }
};

class TSLCryptFile : public TSLCharFile {
    VO_REFOBJ_CLASS(TSLCryptFile, TSLCharFile)
public:
    TSLCryptFile();
    static TSLCryptFile* Create(bool AutoRelease) { return NewRefObj<TSLCryptFile>(AutoRelease); }

    uint16_t Key = 0;
    // While true, Read deciphers and Write enciphers.
    bool FCrypt = false;
    uint16_t FInitKey = TSLType1Cipher::InitKey;
    uint16_t FC1 = TSLType1Cipher::C1;
    uint16_t FC2 = TSLType1Cipher::C2;

    // Key = start key; the plain "%SLE", then four random bytes enciphered.
    void InitEncrypter();
    // Key = start key; checks the plain "%SLE" ("wrong crypt header in
    // stream") and reads past the four random bytes.
    void InitDecryptor();
    uint8_t Encrypt(uint8_t P) noexcept;
    uint8_t Decrypt(uint8_t C) noexcept;

    uint8_t Read() override;
    void Write(uint8_t Ch) override;
    int32_t ReadBlock(uint8_t* Buf, int32_t Max) override;
    void WriteBlock(const uint8_t* Buf, int32_t Len) override;

    // The source of the four random bytes (tests make it predictable).
    void SetRandomSource(std::function<uint8_t()> Source) { FRandom = std::move(Source); }

private:
    std::function<uint8_t()> FRandom;
};

// sfEASCII when the next four bytes of Stream are "%SLE", else sfASCII; the
// position is unchanged afterwards. Call it with deciphering off.
TStorageFormat GetStreamFormat(TSLCharStream* Stream);

// Puts the file NewName in the place of OldName, keeping the old one as a
// ".bak" backup. False (and nothing changed) when the old file cannot be
// moved to the backup or the new one not into place.
bool ReplaceFile(const MyAnsiString& NewName, const MyAnsiString& OldName);

// The scrambled form of a text: "%SLE", then four random bytes and Text
// enciphered. Random gives the four bytes (a random source when empty).
std::string SLScramble(std::string_view Text, const std::function<uint8_t()>& Random = {});
// The text of a scrambled form; refuses one without the mark ("wrong crypt
// header in stream").
std::string SLUnscramble(std::string_view Bytes);

// Writes Bytes as the whole content of the file: into a new temporary file
// beside it, then renamed over the old one, which therefore stays intact
// until the new content is complete on disk.
void SLWriteFileReplacing(const MyAnsiString& FileName, std::string_view Bytes);

// Writes Obj in the text notation (scrambled for sfEASCII) as the whole
// content of the file: encoded in memory first, so that an encoding error
// leaves the old file untouched, then written as SLWriteFileReplacing does.
void SLWriteObjectFile(TSLStreamEncoder& Encoder, const MyAnsiString& FileName, TSLObject* Obj,
                       TStorageFormat Format);
// Reads the one value of a stored file, plain or scrambled. Format receives
// the form found when given.
TRef<TSLObject> SLReadObjectFile(TSLStreamDecoder& Decoder, const MyAnsiString& FileName, bool Debug,
                                 uint16_t StorageID = 0, TStorageFormat* Format = nullptr);

} // namespace vo
