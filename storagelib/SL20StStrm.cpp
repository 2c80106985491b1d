#include "storagelib/SL20StStrm.h"

#include <cstring>
#include <string>

namespace vo {

TSLByteSet SLByteSet(std::string_view Bytes) {
    TSLByteSet set;
    for (char c : Bytes) set.set(static_cast<uint8_t>(c));
    return set;
}

// ---------------------------------------------------------------- TSLCharStream

void TSLCharStream::Reset(TStreamAccess) { throw EAbstractError(); }
void TSLCharStream::Rewrite() { throw EAbstractError(); }
void TSLCharStream::Close() { throw EAbstractError(); }
int32_t TSLCharStream::StreamPos() { throw EAbstractError(); }
uint8_t TSLCharStream::Read() { throw EAbstractError(); }
void TSLCharStream::Write(uint8_t) { throw EAbstractError(); }
void TSLCharStream::Seek(int32_t) { throw EAbstractError(); }
bool TSLCharStream::Eof() { throw EAbstractError(); }

int32_t TSLCharStream::ReadBlock(uint8_t* Buf, int32_t Max) {
    int32_t n = 0;
    while (n < Max && !Eof()) Buf[n++] = Read();
    return n;
}

void TSLCharStream::WriteBlock(const uint8_t* Buf, int32_t Len) {
    for (int32_t i = 0; i < Len; ++i) Write(Buf[i]);
}

uint16_t TSLCharStream::ReadWord() {
    const uint16_t lo = Read();
    const uint16_t hi = Read();
    return static_cast<uint16_t>(lo | (hi << 8));
}

void TSLCharStream::WriteWord(uint16_t W) {
    const uint8_t b[2] = {static_cast<uint8_t>(W & 0xFF), static_cast<uint8_t>(W >> 8)};
    WriteBlock(b, 2);
}

int64_t TSLCharStream::ReadLongint() {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(Read()) << (8 * i);
    return static_cast<int64_t>(v);
}

void TSLCharStream::WriteLongint(int64_t L) {
    uint8_t b[8];
    const auto v = static_cast<uint64_t>(L);
    for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    WriteBlock(b, 8);
}

MyAnsiString TSLCharStream::ReadString(const TSLByteSet& Term) {
    MyAnsiString s;
    while (!Eof()) {
        const uint8_t c = Read();
        if (Term.test(c)) break;
        s.push_back(static_cast<char>(c));
    }
    return s;
}

MyAnsiString TSLCharStream::ReadStringWithLength(int32_t Length) {
    MyAnsiString s;
    if (Length <= 0) return s;
    s.resize(static_cast<std::size_t>(Length));
    const int32_t n = ReadBlock(reinterpret_cast<uint8_t*>(s.data()), Length);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

void TSLCharStream::WriteString(std::string_view S) {
    WriteBlock(reinterpret_cast<const uint8_t*>(S.data()), static_cast<int32_t>(S.size()));
}

// ---------------------------------------------------------------- TSLStringStream

void TSLStringStream::SetBuffer(MyAnsiString AString) {
    FBuffer = std::move(AString);
    Reset(saRead);
}

MyAnsiString TSLStringStream::TakeBuffer() {
    MyAnsiString s = std::move(FBuffer);
    FBuffer.clear();
    Reset(saRead);
    return s;
}

void TSLStringStream::Reset(TStreamAccess Access) {
    FBufPtr = 1;
    FAccess = Access;
}

void TSLStringStream::Rewrite() {
    FBuffer.clear();
    Reset(saWrite);
}

void TSLStringStream::Close() {
    FBuffer.clear();
    Reset(saRead);
}

uint8_t TSLStringStream::Read() {
    if (FAccess == saWrite) throw Exception(std::string(ClassName()) + ".Read: stream not in read mode");
    if (Eof()) throw Exception(std::string(ClassName()) + ".Read: end of stream reached");
    return static_cast<uint8_t>(FBuffer[static_cast<std::size_t>(FBufPtr++ - 1)]);
}

void TSLStringStream::Write(uint8_t Ch) {
    if (FAccess == saRead) throw Exception(std::string(ClassName()) + ".Write: stream not in write mode");
    const auto pos = static_cast<std::size_t>(FBufPtr - 1);
    if (pos >= FBuffer.size())
        FBuffer.push_back(static_cast<char>(Ch));
    else
        FBuffer[pos] = static_cast<char>(Ch);
    ++FBufPtr;
}

void TSLStringStream::Seek(int32_t N) {
    if (N < 0 || static_cast<std::size_t>(N) > FBuffer.size())
        throw Exception(std::string(ClassName()) + ".Seek: position not in stream range");
    FBufPtr = N + 1;
}

int32_t TSLStringStream::ReadBlock(uint8_t* Buf, int32_t Max) {
    if (Max <= 0) return 0;
    if (FAccess == saWrite) throw Exception(std::string(ClassName()) + ".Read: stream not in read mode");
    const auto pos = static_cast<std::size_t>(FBufPtr - 1);
    const std::size_t left = pos < FBuffer.size() ? FBuffer.size() - pos : 0;
    if (left == 0) return 0;
    const auto n = static_cast<int32_t>(left < static_cast<std::size_t>(Max) ? left : static_cast<std::size_t>(Max));
    std::memcpy(Buf, FBuffer.data() + pos, static_cast<std::size_t>(n));
    FBufPtr += n;
    return n;
}

void TSLStringStream::WriteBlock(const uint8_t* Buf, int32_t Len) {
    if (Len <= 0) return;
    if (FAccess == saRead) throw Exception(std::string(ClassName()) + ".Write: stream not in write mode");
    const auto pos = static_cast<std::size_t>(FBufPtr - 1);
    const auto len = static_cast<std::size_t>(Len);
    if (pos == FBuffer.size()) {
        FBuffer.append(reinterpret_cast<const char*>(Buf), len);
    } else {
        if (pos + len > FBuffer.size()) FBuffer.resize(pos + len);
        std::memcpy(FBuffer.data() + pos, Buf, len);
    }
    FBufPtr += Len;
}

// ---------------------------------------------------------------- TSLLookaheadStream

namespace {
constexpr int32_t LookaheadBlockSize = 16384;
}

TSLLookaheadStream::TSLLookaheadStream(TSLCharStream* Stream) : CharStream(Stream) {}

TSLLookaheadStream::~TSLLookaheadStream() = default;

void TSLLookaheadStream::SetCharStream(TSLCharStream* Value) {
    if (Value != CharStream.Get()) CharStream = Value;
    Forget();
    LineCount = 1;
}

void TSLLookaheadStream::Forget() noexcept {
    CharIsBuffered = false;
    FChunk = FCur = FEnd = nullptr;
    FChunkPos = 0;
}

bool TSLLookaheadStream::Fill() {
    if (!CharStream || CharStream->Eof()) return false;
    if (!FBuf) FBuf = std::make_unique<uint8_t[]>(LookaheadBlockSize);
    const int32_t pos = CharStream->StreamPos();
    const int32_t n = CharStream->ReadBlock(FBuf.get(), LookaheadBlockSize);
    if (n <= 0) return false;
    FChunkPos = pos;
    FChunk = FCur = FBuf.get();
    FEnd = FChunk + n;
    return true;
}

void TSLLookaheadStream::Refill() {
    if (Fill()) return;
    if (!CharStream) throw Exception(std::string(ClassName()) + ".ReadChar: no stream");
    // The end: the underlying stream raises its own end-of-stream error. A
    // stream that hands out a byte after all is taken at its word.
    const int32_t pos = CharStream->StreamPos();
    const uint8_t b = CharStream->Read();
    if (!FBuf) FBuf = std::make_unique<uint8_t[]>(LookaheadBlockSize);
    FBuf[0] = b;
    FChunkPos = pos;
    FChunk = FCur = FBuf.get();
    FEnd = FChunk + 1;
}

void TSLLookaheadStream::TooManyUnread() const {
    throw Exception(std::string(ClassName()) + ".UnreadChar: Only one AnsiCharacter can be unread!");
}

void TSLLookaheadStream::GiveBackReadAhead() {
    if (!CharStream) return;
    const bool ahead = FCur != FEnd || CharIsBuffered;
    if (!ahead) return;
    const int32_t next = Position() - FPositionOffset;
    CharStream->Seek(next);
    Forget();
}

int32_t TSLLookaheadStream::UnderlyingPos() const { return CharStream ? CharStream->StreamPos() : 0; }

} // namespace vo
