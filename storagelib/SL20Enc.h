#pragma once
// The text notation writer: writes one value to a character stream on one
// line, every token followed by one space, composites met a second time as
// back references ("@n", numbered as the reader numbers opened composites).
//
// It refuses, with a clear error and before writing the offending token, what
// the reader would refuse or read differently: names that are no identifiers,
// literal names ending in a separator, composite names with separators, two
// different composites under one name, NaN and the infinities.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "storagelib/SL20Cmp.h"
#include "storagelib/SL20StStrm.h"

namespace vo {

class TSLStreamEncoder;

class TStreamEncoderInterface final : public TEncoderInterface {
public:
    explicit TStreamEncoderInterface(TSLStreamEncoder* Encoder) : FStreamEncoder(Encoder) {}
    void EncodeLongint(int64_t Value) override;
    void EncodeDouble(double Value) override;
    void EncodeString(const MyAnsiString& Value) override;
    void EncodeBoolean(bool Value) override;
    void EncodeIdent(const MyAnsiString& Name, bool Executable) override;
    void EncodeObject(TSLObject* Obj) override;

    TSLStreamEncoder* FStreamEncoder;
};

class TSLStreamEncoder : public TSLObject {
    VO_REFOBJ_CLASS(TSLStreamEncoder, TSLObject)
public:
    TSLStreamEncoder();
    ~TSLStreamEncoder() override;
    static TSLStreamEncoder* Create(bool AutoRelease) { return NewRefObj<TSLStreamEncoder>(AutoRelease); }

    // Writes Obj to Stream; nothing else (no header, no line end). On an error
    // what was written before the failing token stays in the stream.
    void WriteObject(TSLCharStream* Stream, TSLObject* Obj);

    void EncodeObject(TSLObject* Obj);
    void EncodeLongint(int64_t Value);
    void EncodeDouble(double Value);
    void EncodeString(std::string_view Value);
    void EncodeBoolean(bool Value);
    void EncodeIdent(std::string_view Name, bool Executable);
    void EncodeComposite(TSLComposite* C);
    void EncodeBeginOfComposite(char Letter, std::string_view Name);
    void EncodeEndOfComposite();
    void EncodePointer(int32_t Number);
    // Refuses a name the reader would not take as an identifier:
    // "<class>.CheckIdent: illegal ident '<name>'".
    void CheckIdent(std::string_view Name) const;

    TEncoderInterface& GetEncoderInterface() noexcept { return EncoderInterface; }
    TSLCharStream* GetCurrentStream() const noexcept { return CurrentStream.Get(); }

private:
    enum class TIdentKind { Executable,
                            Literal,
                            CompositeName };
    void Check(std::string_view Name, TIdentKind Kind) const;
    void CheckSlow(std::string_view Name, TIdentKind Kind) const;
    void EncodeCompositeOf(TSLComposite* C, const TClassInfo* Cls);
    void EncodeContent(TSLComposite* C, const TClassInfo* Cls);
    void EncodeName(std::string_view Name, bool Executable);
    void EncodeLongString(std::string_view Value);
    void Flush();
    // At least N bytes of room at the returned place (N <= RoomLimit); what is
    // written there counts once Commit is given its end.
    char* Room(std::size_t N) {
        if (N > OutCapacity - FOutLen) Flush();
        return FOut.get() + FOutLen;
    }
    void Commit(const char* End) noexcept { FOutLen = static_cast<std::size_t>(End - FOut.get()); }

    // The buffer's size: what is handed to the stream at once. A token asks
    // for room for its longest text plus the unchecked stores (of up to 16
    // bytes) that run past its end; longer strings go in pieces.
    static constexpr std::size_t OutCapacity = 65536;
    static constexpr std::size_t RoomLimit = 16384;

    std::vector<TSLComposite*> CompList; // written so far; entry 0 is nil
    std::unordered_set<std::string> CompNames; // case-folded names of the named composites written so far
    TStreamEncoderInterface EncoderInterface;
    TRef<TSLCharStream> CurrentStream;
    std::unique_ptr<char[]> FOut; // bytes not yet handed to the stream (OutCapacity)
    std::size_t FOutLen = 0;
};

// A real as the writer writes it (without the trailing space): fixed notation
// "0.0##############" (at most 18 significant digits and 15 decimals, halves
// away from zero), or the general notation with 15 significant digits for
// magnitudes of 1E18 and more.
MyAnsiString SLFormatStoredReal(double Value);

// The text of Obj written with a fresh writer (for tests and tools).
MyAnsiString SLEncodeToString(TSLObject* Obj);

} // namespace vo
