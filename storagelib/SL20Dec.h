#pragma once
// The text notation reader: reads one value from a look-ahead stream with its
// token scanners, builds the values, resolves back references (by number and
// by composite name) and the named constants of a CONST dictionary, and
// reports syntax errors as "[file, line] Syntax error: <message>".
//
// One decoder is reused for every read; a read is not re-entrant.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storagelib/SL20Cmp.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Scn.h"
#include "storagelib/SL20StStrm.h"

namespace vo {

// An error while reading the text notation; the message carries the
// "[file, line] Syntax error: " prefix.
class ESLSyntaxError : public Exception {
public:
    using Exception::Exception;
};

class TSLStreamDecoder;

// The scanners' view of a decoder.
class TStreamDecoderInterface final : public TDecoderInterface {
public:
    explicit TStreamDecoderInterface(TSLStreamDecoder* Decoder) : FStreamDecoder(Decoder) {}
    void PushElement(TSLObject* Obj) override;
    void BeginOfComposite(char CompType, std::string_view Ident, std::unique_ptr<TDbgInfo> DbgInfo) override;
    void EndOfComposite() override;
    void ResolvePointer(int64_t Index) override;
    void ResolvePointer(std::string_view Ident) override;
    void ResolveConstant(std::string_view Ident) override;
    TSLLookaheadStream* GetStream() override;

    TSLStreamDecoder* FStreamDecoder;
};

// The elements of the composite being closed, as InitComposite sees them.
class TSLStreamDecoderCompData : public TSLCompData {
    VO_REFOBJ_CLASS(TSLStreamDecoderCompData, TSLCompData)
public:
    explicit TSLStreamDecoderCompData(TSLStreamDecoder* Decoder) : FStreamDecoder(Decoder) {}
    int GetElementCount() override { return FElementCount; }
    TSLObject* GetFirstElement() override;
    TSLObject* GetNextElement() override;
    TSLObject* GetElementAtIndex(int Index) override;

    TSLStreamDecoder* FStreamDecoder;
    int32_t FElementCount = 0;
};

class TSLStreamDecoder : public TSLObject {
    VO_REFOBJ_CLASS(TSLStreamDecoder, TSLObject)
public:
    TSLStreamDecoder();
    ~TSLStreamDecoder() override;
    static TSLStreamDecoder* Create(bool AutoRelease) { return NewRefObj<TSLStreamDecoder>(AutoRelease); }
    // A decoder with the nine scanners and the six composite classes of the
    // storage library, in the storage manager's order. Whitespace, when
    // given, stands in for the whitespace scanner.
    static TRef<TSLStreamDecoder> CreateStandard(TSLScanner* Whitespace = nullptr);

    // Appends to the trying order (retained).
    void AddScanner(TSLScanner* Scanner);
    // Enters the class under its letter. Refuses a letter outside A to Z
    // ("Internal error: illegal composite type '%s'") and a second class for a
    // letter ("Internal error: composite of type '%s' is already registered").
    void RegisterComposite(const TSLCompositeClass& CompClass);

    // Reads one value; stops right after it. The value is autoreleased; nil
    // when the text holds none.
    TSLObject* ReadObject(TSLLookaheadStream* Stream, bool Debug);
    // ReadObject, refusing a text whose brackets do not balance, also one that
    // ends while a composite is still open ("[A" alone).
    TSLObject* ReadSingleObject(TSLLookaheadStream* Stream, bool Debug);
    // The same, with the value held by a handle instead of the pool.
    TRef<TSLObject> ReadObjectRef(TSLLookaheadStream* Stream, bool Debug);
    TRef<TSLObject> ReadSingleObjectRef(TSLLookaheadStream* Stream, bool Debug);

    TSLLookaheadStream* GetStream() const noexcept { return CurrentStream.Get(); }

    // Scanner services.
    void PushElement(TSLObject* Obj, bool ByPointer = false);
    void BeginOfComposite(char CompType, std::string_view Ident, std::unique_ptr<TDbgInfo> DbgInfo);
    void EndOfComposite();
    void ResolvePointer(int64_t Index);
    void ResolvePointer(std::string_view Ident);
    void ResolveConstant(std::string_view Ident);

    // The element source of the composite being closed.
    TSLObject* GetFirstCompositeElement();
    TSLObject* GetNextCompositeElement();
    TSLObject* GetCompositeElementAtIndex(int Index);

    // Composites nested deeper than this are refused ("composites nested too
    // deeply"), so that no text can make the reader build a value whose
    // destruction or writing would overflow the stack.
    static constexpr int32_t MaxNestingDefault = 2000;
    int32_t MaxNesting = MaxNestingDefault;

private:
    enum class TReadMode { Object,
                           Single };
    TRef<TSLObject> Read(TSLLookaheadStream* Stream, bool Debug, TReadMode Mode);
    void ScanOneToken(bool Debug);
    bool ScanFast(bool Debug);
    // The next element would be a key of the dictionary being read.
    bool IsDictionaryKeyPlace() const noexcept;
    template <class T, class... A>
    void PushNew(bool Debug, int32_t Pos, int32_t Length, A&&... Args);
    void RebuildDispatch();
    [[noreturn]] void Fail(const std::exception& E, bool Syntax);
    void BreakCyclesOfFailedRead();
    void BreakCyclesUnreachableFrom(TSLObject* Root);
    void EndRead() noexcept;

    std::vector<int32_t> CompositeStack; // element count per open composite
    TSLObjectList ElementStack; // newest at the back
    std::vector<TRef<TSLScanner>> ScannerList; // trying order
    TRef<TSLDictionary> IdentDict; // named composites of the value being read
    std::array<const TSLCompositeClass*, 26> CompClasses{};
    // Every composite read, in opening order; entry 0 is nil. Not counted
    // references: each one lives until the read ends, held by the element
    // stack, by its parent, by the result or by FDropped.
    std::vector<TSLComposite*> CompList;
    std::vector<TRef<TSLObject>> FDropped; // elements composites left out, and the result of a failed read
    TRef<TSLLookaheadStream> CurrentStream;
    TStreamDecoderInterface DecoderInterface;
    TRef<TSLStreamDecoderCompData> CurrentCompData;
    std::size_t CurrentCompBase = 0; // ElementStack index of the closing composite's first element
    int32_t CurrentCompElement = 0; // next element GetNextCompositeElement gives
    bool FMayDropComposites = false; // a composite may have left elements out
    bool FBlanksInline = false; // the whitespace scanner is the first one tried for every blank byte
    bool FFastScan = false; // the scanners are the standard nine: common tokens are taken inline
    bool FStandardArray = false; // "[A" makes the storage library's array
    std::string FScratch; // the content of a string with escapes, taken inline

    // The scanners that may start a token with each byte, as indices into
    // ScannerList in trying order: those of byte b are DispatchList from
    // DispatchStart[b] to DispatchStart[b + 1] (one block for all bytes).
    std::span<const uint16_t> Dispatch(uint8_t B) const noexcept {
        return {DispatchList.data() + DispatchStart[B], DispatchList.data() + DispatchStart[B + 1u]};
    }
    std::array<uint32_t, 257> DispatchStart{};
    std::vector<uint16_t> DispatchList;
};

// Reads one value from Text with a standard decoder (for tests and tools).
TRef<TSLObject> SLDecodeString(std::string_view Text, bool Debug = false);

// Empties every composite reachable from Root (the definition and data of a
// record included), so that values holding themselves, as back references can
// make them, are freed when their last outside reference goes.
void SLBreakReferenceCycles(TSLObject* Root);

} // namespace vo
