#pragma once
// Byte streams of the storage library: the abstract character stream with its
// little-endian helpers, the in-memory string stream, and the look-ahead
// stream that the text notation reader reads through (one byte of give-back,
// the line counter and a position offset in front of any character stream).
//
// The look-ahead stream pulls its bytes from the underlying stream in blocks
// (ReadBlock), so the reader's per-byte work is an inline buffer access and
// never a virtual call; positions, lines and the one-byte give-back behave as
// if it read byte by byte.
#include <bitset>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/AnsiString.h"
#include "storagelib/SL20Bas.h"

namespace vo {

// The access a stream is opened with (and a caller asks for when it opens a
// stored object).
enum TStreamAccess : uint8_t { saRead = 0,
                               saWrite = 1,
                               saReadWrite = 2 };

// The form of a stored text: sfASCII plain text notation, sfEASCII the same
// text scrambled ("%SLE" form); sfUnknown nobody has read or set one yet (it
// is written like sfASCII).
enum TStorageFormat : uint8_t { sfUnknown = 0,
                                sfASCII = 1,
                                sfEASCII = 2 };

// Parts of a file name (TSLCharFile::FileName).
enum TFileNamePart : uint8_t { fnpFull = 0,
                               fnpName = 1,
                               fnpPath = 2,
                               fnpExt = 3 };

// A set of bytes (ReadString's terminators).
using TSLByteSet = std::bitset<256>;
TSLByteSet SLByteSet(std::string_view Bytes);

// The abstract byte stream. Concrete streams implement the eight stream
// operations; calling one of them here raises the abstract-call error.
class TSLCharStream : public TSLObject {
    VO_REFOBJ_CLASS(TSLCharStream, TSLObject)
public:
    // The storage id of the stored object the stream belongs to (0: none).
    uint16_t FStorageID = 0;
    // The name the stream was opened under (set by the file streams).
    MyAnsiString FName;

    virtual void Reset(TStreamAccess Access);
    virtual void Rewrite();
    virtual void Close();
    // 0-based position of the next byte.
    virtual int32_t StreamPos();
    virtual uint8_t Read();
    virtual void Write(uint8_t Ch);
    virtual void Seek(int32_t N);
    virtual bool Eof();

    // Up to Max bytes into Buf, fewer only at the end of the stream; the same
    // bytes, errors and position as that many Read calls. Streams override it
    // to move blocks at once.
    virtual int32_t ReadBlock(uint8_t* Buf, int32_t Max);
    // The same as one Write per byte.
    virtual void WriteBlock(const uint8_t* Buf, int32_t Len);

    uint8_t ReadByte() { return Read(); }
    void WriteByte(uint8_t B) { Write(B); }
    // 16-bit unsigned, low byte first.
    uint16_t ReadWord();
    void WriteWord(uint16_t W);
    // 64-bit signed, 8 bytes little-endian, two's complement.
    int64_t ReadLongint();
    void WriteLongint(int64_t L);
    // Bytes up to one in Term (consumed, not returned) or to the end.
    MyAnsiString ReadString(const TSLByteSet& Term);
    // Up to Length bytes, fewer when the stream ends first.
    MyAnsiString ReadStringWithLength(int32_t Length);
    void WriteString(std::string_view S);

protected:
    TSLCharStream() = default;
};

// A stream over an 8-bit string in memory.
class TSLStringStream : public TSLCharStream {
    VO_REFOBJ_CLASS(TSLStringStream, TSLCharStream)
public:
    // Empty and open for writing.
    TSLStringStream() { Rewrite(); }
    static TSLStringStream* Create(bool AutoRelease) { return NewRefObj<TSLStringStream>(AutoRelease); }

    // The bytes become AString; Reset(saRead).
    void SetBuffer(MyAnsiString AString);
    const MyAnsiString& GetBuffer() const noexcept { return FBuffer; }
    // Hands the bytes out, leaving the stream empty and open for reading.
    MyAnsiString TakeBuffer();

    void Reset(TStreamAccess Access) override;
    void Rewrite() override;
    void Close() override;
    int32_t StreamPos() override { return FBufPtr - 1; }
    uint8_t Read() override;
    void Write(uint8_t Ch) override;
    void Seek(int32_t N) override;
    bool Eof() override { return static_cast<std::size_t>(FBufPtr - 1) >= FBuffer.size(); }
    int32_t ReadBlock(uint8_t* Buf, int32_t Max) override;
    void WriteBlock(const uint8_t* Buf, int32_t Len) override;

    TStreamAccess GetAccess() const noexcept { return FAccess; }

private:
    MyAnsiString FBuffer;
    int32_t FBufPtr = 1; // 1-based position of the next byte
    TStreamAccess FAccess = saWrite;
};

// One byte of look-ahead, the line counter and a position offset in front of
// a character stream.
class TSLLookaheadStream : public TSLObject {
    VO_REFOBJ_CLASS(TSLLookaheadStream, TSLObject)
public:
    // Retains Stream (may be nil until SetCharStream); nothing buffered, line 1,
    // offset 0.
    explicit TSLLookaheadStream(TSLCharStream* Stream = nullptr);
    ~TSLLookaheadStream() override;
    static TSLLookaheadStream* Create(bool AutoRelease, TSLCharStream* Stream) {
        return NewRefObj<TSLLookaheadStream>(AutoRelease, Stream);
    }

    TSLCharStream* GetCharStream() const noexcept { return CharStream.Get(); }
    // Takes Value (retaining it when it is another stream); in every case
    // forgets the given-back byte and what was read ahead, and sets the line
    // to 1. The offset stays.
    void SetCharStream(TSLCharStream* Value);

    // The given-back byte when there is one, else the next byte of the
    // stream. A carriage return adds 1 to the line. At the end of the stream
    // the underlying stream's end-of-stream error is raised.
    uint8_t ReadChar() {
        uint8_t c;
        if (CharIsBuffered) {
            CharIsBuffered = false;
            c = CharBuffer;
        } else {
            if (FCur == FEnd) Refill();
            c = *FCur++;
            CharBuffer = c;
        }
        if (c == 13) ++LineCount;
        return c;
    }
    // Gives the last byte read back (only one); giving back a carriage return
    // subtracts 1 from the line.
    void UnreadChar() {
        if (CharIsBuffered) TooManyUnread();
        CharIsBuffered = true;
        if (CharBuffer == 13) --LineCount;
    }
    bool IsEndOfStream() {
        if (CharIsBuffered || FCur != FEnd) return false;
        return !Fill();
    }
    // The next byte without taking it; -1 at the end of the stream.
    int PeekChar() {
        if (CharIsBuffered) return CharBuffer;
        if (FCur == FEnd && !Fill()) return -1;
        return *FCur;
    }
    // The position of the next byte to be read, plus the offset.
    int32_t Position() const {
        if (FChunk == nullptr && !CharIsBuffered) return UnderlyingPos() + FPositionOffset;
        return FChunkPos + static_cast<int32_t>(FCur - FChunk) + FPositionOffset - (CharIsBuffered ? 1 : 0);
    }
    int32_t Line() const noexcept { return LineCount; }
    uint16_t GetStorageID() const noexcept { return CharStream ? CharStream->FStorageID : 0; }

    int32_t GetPositionOffset() const noexcept { return FPositionOffset; }
    void SetPositionOffset(int32_t Value) noexcept { FPositionOffset = Value; }

    // Bytes read ahead from the underlying stream but not yet taken: seeks the
    // underlying stream back to the next byte to be read and forgets them, so
    // that the underlying stream stands right after what was read.
    void GiveBackReadAhead();

    // Fast access for the scanners: the bytes read ahead and not yet taken
    // (nothing while a byte is given back). Advance(n) takes n of them; the
    // caller counts the carriage returns among them with AddLines.
    std::string_view Window() const noexcept {
        if (CharIsBuffered) return {};
        return {reinterpret_cast<const char*>(FCur), static_cast<std::size_t>(FEnd - FCur)};
    }
    void Advance(std::size_t N) noexcept {
        FCur += N;
        if (N > 0) CharBuffer = FCur[-1];
    }
    void AddLines(int32_t N) noexcept { LineCount += N; }
    // Makes the window non-empty when the stream has bytes left; false at the end.
    bool FillWindow() {
        if (CharIsBuffered) return true;
        return FCur != FEnd || Fill();
    }

    bool CharIsBuffered = false;
    uint8_t CharBuffer = 0;
    int32_t LineCount = 1;
    int32_t FPositionOffset = 0;

private:
    bool Fill();
    void Refill();
    [[noreturn]] void TooManyUnread() const;
    void Forget() noexcept;
    int32_t UnderlyingPos() const;

    TRef<TSLCharStream> CharStream;
    std::unique_ptr<uint8_t[]> FBuf;
    const uint8_t* FChunk = nullptr; // start of the bytes read ahead
    const uint8_t* FCur = nullptr;
    const uint8_t* FEnd = nullptr;
    int32_t FChunkPos = 0; // underlying stream position of FChunk[0]
};

} // namespace vo
