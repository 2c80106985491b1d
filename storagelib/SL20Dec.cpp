#include "storagelib/SL20Dec.h"

#include <string>
#include <unordered_set>

#include "storagelib/SL20Arr.h"
#include "storagelib/SL20DbgHlp.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Rec.h"
#include "storagelib/SL20Stk.h"

namespace vo {

namespace {

std::string Letter(char c) { return std::string(1, c); }

// The file name (without folder) of the stored object with this storage id.
MyAnsiString StorageFileName(uint16_t StorageID) {
    if (StorageID == 0) return {};
    TRef<TSLString> probe = MakeRef<TSLString>();
    probe->SetDbgInfo(std::make_unique<TElmDbgInfo>(0, 0, 0, StorageID));
    return GetDbgFile(probe.Get());
}

bool IsComposite(const TSLObject* Obj) { return Obj && Obj->InheritsFrom(TSLComposite::ClassInfo); }

// Whether InitComposite keeps every one of the N elements it is given:
// arrays and dictionaries do, a record its first two.
bool KeepsAllElements(const TSLComposite* C, int32_t N) {
    if (N == 0 || C->InheritsFrom(TSLArray::ClassInfo) || C->InheritsFrom(TSLDictionary::ClassInfo)) return true;
    return N <= 2 && C->InheritsFrom(TSLRecord::ClassInfo);
}

// Drops what a composite holds. Records are left alone: their definition and
// data are composites of their own and are emptied as such.
void EmptyComposite(TSLComposite* C) {
    if (!C || C->InheritsFrom(TSLRecord::ClassInfo)) return;
    if (auto* col = dynamic_cast<TSLCollection*>(C)) col->Clear();
}

// Every composite reachable from Root; false when a composite of a class
// that cannot be walked is met.
bool CollectComposites(TSLObject* Root, std::vector<TSLComposite*>& Found,
                       std::unordered_set<const TSLObject*>& Seen) {
    std::vector<TSLObject*> todo{Root};
    bool complete = true;
    while (!todo.empty()) {
        TSLObject* obj = todo.back();
        todo.pop_back();
        if (!IsComposite(obj) || !Seen.insert(obj).second) continue;
        auto* c = static_cast<TSLComposite*>(obj);
        Found.push_back(c);
        if (auto* rec = dynamic_cast<TSLRecord*>(c)) {
            todo.push_back(rec->GetRecDef());
            todo.push_back(rec->GetData());
        } else if (auto* col = dynamic_cast<TSLCollection*>(c)) {
            const int n = col->GetCount();
            for (int i = 0; i < n; ++i) todo.push_back(col->GetObjAtIndex(i));
        } else {
            complete = false;
        }
    }
    return complete;
}

} // namespace

// ---------------------------------------------------------------- interface

void TStreamDecoderInterface::PushElement(TSLObject* Obj) { FStreamDecoder->PushElement(Obj, false); }
void TStreamDecoderInterface::BeginOfComposite(char CompType, std::string_view Ident,
                                               std::unique_ptr<TDbgInfo> DbgInfo) {
    FStreamDecoder->BeginOfComposite(CompType, Ident, std::move(DbgInfo));
}
void TStreamDecoderInterface::EndOfComposite() { FStreamDecoder->EndOfComposite(); }
void TStreamDecoderInterface::ResolvePointer(int64_t Index) { FStreamDecoder->ResolvePointer(Index); }
void TStreamDecoderInterface::ResolvePointer(std::string_view Ident) { FStreamDecoder->ResolvePointer(Ident); }
void TStreamDecoderInterface::ResolveConstant(std::string_view Ident) { FStreamDecoder->ResolveConstant(Ident); }
TSLLookaheadStream* TStreamDecoderInterface::GetStream() { return FStreamDecoder->GetStream(); }

TSLObject* TSLStreamDecoderCompData::GetFirstElement() { return FStreamDecoder->GetFirstCompositeElement(); }
TSLObject* TSLStreamDecoderCompData::GetNextElement() { return FStreamDecoder->GetNextCompositeElement(); }
TSLObject* TSLStreamDecoderCompData::GetElementAtIndex(int Index) {
    return FStreamDecoder->GetCompositeElementAtIndex(Index);
}

// ---------------------------------------------------------------- decoder

TSLStreamDecoder::TSLStreamDecoder()
    : IdentDict(MakeRef<TSLDictionary>()),
      DecoderInterface(this),
      CurrentCompData(MakeRef<TSLStreamDecoderCompData>(this)) {}

TSLStreamDecoder::~TSLStreamDecoder() { EndRead(); }

TRef<TSLStreamDecoder> TSLStreamDecoder::CreateStandard(TSLScanner* Whitespace) {
    TRef<TSLStreamDecoder> d = MakeRef<TSLStreamDecoder>();
    if (Whitespace)
        d->AddScanner(Whitespace);
    else
        d->AddScanner(MakeRef<TSLWhitespaceScanner>().Get());
    d->AddScanner(MakeRef<TSLNumberScanner>().Get());
    d->AddScanner(MakeRef<TSLStringScanner>().Get());
    d->AddScanner(MakeRef<TSLIdentScanner>().Get());
    d->AddScanner(MakeRef<TSLCompositeScanner>().Get());
    d->AddScanner(MakeRef<TSLBooleanScanner>().Get());
    d->AddScanner(MakeRef<TSLPointerScanner>().Get());
    d->AddScanner(MakeRef<TSLCommentScanner>().Get());
    d->AddScanner(MakeRef<TSLConstantScanner>().Get());
    d->RegisterComposite(TSLArray::CompositeClass());
    d->RegisterComposite(TSLBlock::CompositeClass());
    d->RegisterComposite(TSLProcedure::CompositeClass());
    d->RegisterComposite(TSLDictionary::CompositeClass());
    d->RegisterComposite(TSLStack::CompositeClass());
    d->RegisterComposite(TSLRecord::CompositeClass());
    return d;
}

void TSLStreamDecoder::AddScanner(TSLScanner* Scanner) {
    if (!Scanner) throw Exception(std::string(ClassName()) + ".AddScanner: no scanner");
    if (ScannerList.size() >= 0xFFFF) throw Exception(std::string(ClassName()) + ".AddScanner: too many scanners");
    ScannerList.emplace_back(Scanner);
    RebuildDispatch();
}

void TSLStreamDecoder::RebuildDispatch() {
    // What each scanner can start with, asked once per scanner and byte.
    std::vector<uint16_t> list;
    list.reserve(DispatchList.size() + 256);
    for (int b = 0; b < 256; ++b) {
        DispatchStart[static_cast<std::size_t>(b)] = static_cast<uint32_t>(list.size());
        for (std::size_t i = 0; i < ScannerList.size(); ++i)
            if (ScannerList[i]->CanStart(static_cast<uint8_t>(b))) list.push_back(static_cast<uint16_t>(i));
    }
    DispatchStart[256] = static_cast<uint32_t>(list.size());
    DispatchList = std::move(list);
    // Blanks between tokens are then taken without asking the scanner: the
    // same bytes, and taking them can never end the value.
    FBlanksInline = true;
    for (const uint8_t b : {0, 8, 9, 10, 13, 32}) {
        const std::span<const uint16_t> list = Dispatch(b);
        FBlanksInline = FBlanksInline && !list.empty() &&
            &ScannerList[list.front()]->ClassType() == &TSLWhitespaceScanner::ClassInfo;
    }
    // The standard scanners in the standard order: the common tokens can be
    // taken straight from the stream's window, with the same result.
    static const TClassInfo* const standard[] = {
        &TSLWhitespaceScanner::ClassInfo, &TSLNumberScanner::ClassInfo, &TSLStringScanner::ClassInfo,
        &TSLIdentScanner::ClassInfo, &TSLCompositeScanner::ClassInfo, &TSLBooleanScanner::ClassInfo,
        &TSLPointerScanner::ClassInfo, &TSLCommentScanner::ClassInfo, &TSLConstantScanner::ClassInfo};
    FFastScan = ScannerList.size() == std::size(standard);
    for (std::size_t i = 0; FFastScan && i < ScannerList.size(); ++i)
        FFastScan = &ScannerList[i]->ClassType() == standard[i];
}

void TSLStreamDecoder::RegisterComposite(const TSLCompositeClass& CompClass) {
    const char t = CompClass.CompositeType;
    if (t < 'A' || t > 'Z') throw Exception("Internal error: illegal composite type '" + Letter(t) + "'");
    const TSLCompositeClass*& slot = CompClasses[static_cast<std::size_t>(t - 'A')];
    if (slot) throw Exception("Internal error: composite of type '" + Letter(t) + "' is already registered");
    slot = &CompClass;
    FStandardArray = CompClasses[0] == &TSLArray::CompositeClass();
}

TSLObject* TSLStreamDecoder::ReadObject(TSLLookaheadStream* Stream, bool Debug) {
    TRef<TSLObject> r = Read(Stream, Debug, TReadMode::Object);
    TSLObject* p = r.Get();
    if (p) p->RetainAndAutoRelease();
    return p;
}

TSLObject* TSLStreamDecoder::ReadSingleObject(TSLLookaheadStream* Stream, bool Debug) {
    TRef<TSLObject> r = Read(Stream, Debug, TReadMode::Single);
    TSLObject* p = r.Get();
    if (p) p->RetainAndAutoRelease();
    return p;
}

TRef<TSLObject> TSLStreamDecoder::ReadObjectRef(TSLLookaheadStream* Stream, bool Debug) {
    return Read(Stream, Debug, TReadMode::Object);
}

TRef<TSLObject> TSLStreamDecoder::ReadSingleObjectRef(TSLLookaheadStream* Stream, bool Debug) {
    return Read(Stream, Debug, TReadMode::Single);
}

void TSLStreamDecoder::EndRead() noexcept {
    CompositeStack.clear();
    ElementStack.clear();
    CompList.clear();
    FDropped.clear();
    if (IdentDict) IdentDict->Clear();
    CurrentStream.Reset();
    FMayDropComposites = false;
}

TRef<TSLObject> TSLStreamDecoder::Read(TSLLookaheadStream* Stream, bool Debug, TReadMode Mode) {
    if (!Stream) throw Exception(std::string(ClassName()) + ".ReadObject: no stream");
    EndRead();
    CurrentStream = Stream;
    CompList.emplace_back(nullptr);
    TSLLookaheadStream& s = *Stream;
    TRef<TSLObject> result;
    // The reader's own lists grow past the pool's block sizes before values
    // are made, so that they take nothing from the read's arena.
    if (ElementStack.capacity() < 64) ElementStack.reserve(64);
    try {
        // The values read come from arena chunks of their own: they lie in
        // reading order and are freed without reuse of single blocks.
        TSLSmallPool::TArenaScope arena;
        while (!s.IsEndOfStream()) {
            if (FFastScan && ScanFast(Debug)) {
                if (CompositeStack.empty() && ElementStack.size() == 1) break;
                continue;
            }
            if (FBlanksInline && SLSkipBlanks(s) && s.IsEndOfStream()) break;
            ScanOneToken(Debug);
            if (CompositeStack.empty() && ElementStack.size() == 1) break;
        }
        if (!ElementStack.empty()) {
            result = std::move(ElementStack.back());
            ElementStack.pop_back();
        }
        // The text ended inside a composite: elements are left, or the one
        // element is a composite still open.
        if (Mode == TReadMode::Single && (!ElementStack.empty() || !CompositeStack.empty()))
            throw Exception("illegal nesting (check number of opening and closing square brackets)");
    } catch (const Exception& e) {
        if (result) FDropped.push_back(std::move(result));
        Fail(e, true);
    } catch (...) {
        if (result) FDropped.push_back(std::move(result));
        BreakCyclesOfFailedRead();
        EndRead();
        throw;
    }
    // Composites left out of the value (elements a record ignores, what an
    // unfinished text leaves open) die with the read, also when they hold
    // themselves.
    if (FMayDropComposites || !ElementStack.empty()) BreakCyclesUnreachableFrom(result.Get());
    try {
        s.GiveBackReadAhead();
    } catch (const Exception&) {
        // a stream that cannot seek back simply stays where the reader left it
    }
    EndRead();
    return result;
}

void TSLStreamDecoder::Fail(const std::exception& E, bool) {
    const TSLLookaheadStream* s = CurrentStream.Get();
    const std::string message = "[" + StorageFileName(s ? s->GetStorageID() : 0) + ", " +
        std::to_string(s ? s->Line() : 0) + "] Syntax error: " + E.what();
    BreakCyclesOfFailedRead();
    EndRead();
    throw ESLSyntaxError(message);
}

void TSLStreamDecoder::BreakCyclesOfFailedRead() {
    // Nothing of a failed read escapes, so every composite it made can be
    // emptied; that frees the ones that came to hold themselves.
    std::vector<TRef<TSLComposite>> made(CompList.begin(), CompList.end());
    for (auto& c : made) EmptyComposite(c.Get());
}

void TSLStreamDecoder::BreakCyclesUnreachableFrom(TSLObject* Root) {
    std::vector<TSLComposite*> found;
    std::unordered_set<const TSLObject*> seen;
    if (!CollectComposites(Root, found, seen)) return; // cannot tell what the value holds
    std::vector<TRef<TSLComposite>> made(CompList.begin(), CompList.end());
    for (auto& c : made)
        if (c && !seen.count(c.Get())) EmptyComposite(c.Get());
}

void TSLStreamDecoder::ScanOneToken(bool Debug) {
    TSLLookaheadStream& s = *CurrentStream;
    const int first = s.PeekChar();
    const std::span<const uint16_t> candidates = Dispatch(static_cast<uint8_t>(first));
    const int32_t pos = s.Position();
    for (const uint16_t idx : candidates) {
        if (s.IsEndOfStream()) break;
        if (ScannerList[idx]->ScanStream(DecoderInterface, Debug)) return;
        if (s.Position() != pos) {
            // The scanner took bytes and refused them: the scanners after it
            // look at the byte that follows, whatever it is.
            for (std::size_t j = idx + 1u; j < ScannerList.size(); ++j) {
                if (s.IsEndOfStream()) break;
                if (ScannerList[j]->ScanStream(DecoderInterface, Debug)) return;
            }
            break;
        }
    }
    const uint8_t c = s.ReadChar();
    throw Exception("illegal AnsiCharacter '" + std::string(1, static_cast<char>(c)) + "'");
}

// ---------------------------------------------------------------- inline tokens

namespace {
// Byte kinds of the inline path.
enum : uint8_t { bkOther,
                 bkBlank,
                 bkNumber,
                 bkString,
                 bkName,
                 bkOpen,
                 bkClose,
                 bkBoolean,
                 bkPointer };
constexpr std::array<uint8_t, 256> MakeByteKinds() {
    std::array<uint8_t, 256> k{};
    for (int c = 0; c < 256; ++c) {
        const auto b = static_cast<uint8_t>(c);
        uint8_t kind = bkOther;
        if (sl_bytes::IsBlank(b))
            kind = bkBlank;
        else if (sl_bytes::IsDigit(b) || b == '+' || b == '-')
            kind = bkNumber;
        else if (b == '\'')
            kind = bkString;
        else if (b == '/' || sl_bytes::IsNameStart(b))
            kind = bkName;
        else if (b == '[')
            kind = bkOpen;
        else if (b == ']')
            kind = bkClose;
        else if (b == '#')
            kind = bkBoolean;
        else if (b == '@')
            kind = bkPointer;
        k[static_cast<std::size_t>(c)] = kind;
    }
    return k;
}
constexpr std::array<uint8_t, 256> ByteKinds = MakeByteKinds();

int HexDigitValue(uint8_t c) noexcept {
    if (c <= '9') return c - '0';
    if (c >= 'a') return c - 'a' + 10;
    return c - 'A' + 10;
}

const uint8_t* SkipDigits(const uint8_t* P, const uint8_t* End) noexcept {
    while (P != End && sl_bytes::IsDigit(*P)) ++P;
    return P;
}
} // namespace

template <class T, class... A>
void TSLStreamDecoder::PushNew(bool Debug, int32_t Pos, int32_t Length, A&&... Args) {
    T* obj = new T(std::forward<A>(Args)...);
    try {
        if (Debug) {
            const TSLLookaheadStream& s = *CurrentStream;
            obj->SetDbgInfo(std::make_unique<TElmDbgInfo>(Pos, Length, s.Line(), s.GetStorageID()));
        }
        if (CompositeStack.empty() && !ElementStack.empty())
            throw Exception("Internal error: only one root object is allowed");
        ElementStack.emplace_back(obj);
    } catch (...) {
        if (obj->GetRefCount() == 0) obj->Destroy();
        throw;
    }
    if (!CompositeStack.empty()) ++CompositeStack.back();
}

// Takes blanks and the next token straight from the stream's window when the
// token lies wholly inside it (its end is seen) and is of a common form: the
// scanners would take the same bytes and make the same value. Anything else
// (escapes, separators, hex, named composites, comments, constants, errors,
// a token cut by the window's end) is left to the scanners. True when a
// token was taken, or blanks up to the window's end.
bool TSLStreamDecoder::ScanFast(bool Debug) {
    using namespace sl_bytes;
    TSLLookaheadStream& s = *CurrentStream;
    const std::string_view w = s.Window();
    const auto* const begin = reinterpret_cast<const uint8_t*>(w.data());
    const uint8_t* const end = begin + w.size();
    const uint8_t* p = begin;
    int32_t lines = 0;
    while (p != end && ByteKinds[*p] == bkBlank) {
        if (*p == 13) ++lines;
        ++p;
    }
    if (p != begin) {
        // The blanks are taken, then the token after them (or the scanners
        // take it when it is not a common one).
        s.Advance(static_cast<std::size_t>(p - begin));
        s.AddLines(lines);
        lines = 0;
        if (p == end) return true;
    } else if (p == end) {
        return false;
    }
    const int32_t pos = s.Position();
    const uint8_t* q = p;
    switch (ByteKinds[*p]) {
    case bkNumber: {
        if (*q == '+' || *q == '-') ++q;
        const uint8_t* digits = q;
        q = SkipDigits(q, end);
        if (q == digits || q == end) return false;
        bool real = false;
        if (*q == '.') {
            real = true;
            q = SkipDigits(q + 1, end);
            if (q == end) return false;
        }
        if (*q == 'E' || *q == 'e') {
            real = true;
            ++q;
            if (q != end && (*q == '+' || *q == '-')) ++q;
            const uint8_t* exp = q;
            q = SkipDigits(q, end);
            if (q == exp || q == end || *q == '+' || *q == '-') return false;
        }
        const std::string_view tok(reinterpret_cast<const char*>(p), static_cast<std::size_t>(q - p));
        const auto length = static_cast<int32_t>(tok.size());
        if (real) {
            const double v = SLRealToken(tok);
            s.Advance(tok.size());
            PushNew<TSLDouble>(Debug, pos, length, v);
        } else {
            const int64_t v = SLIntegerToken(tok);
            s.Advance(tok.size());
            PushNew<TSLLongint>(Debug, pos, length, v);
        }
        return true;
    }
    case bkString: {
        auto takeRun = [&] {
            const uint8_t* run = q;
            while (q != end && *q != '\'' && *q != '@') {
                if (*q == 13) ++lines;
                ++q;
            }
            return std::string_view(reinterpret_cast<const char*>(run), static_cast<std::size_t>(q - run));
        };
        ++q;
        std::string_view content = takeRun();
        if (q == end) return false;
        if (*q == '@') {
            // Escapes: the content is put together in the scratch text.
            FScratch.assign(content);
            while (*q == '@') {
                if (end - q < 2) return false;
                const uint8_t e = q[1];
                if (e == '\'') {
                    FScratch.push_back('\'');
                } else if (e == 'l') {
                    FScratch.push_back('\n');
                } else if (e == 'n') {
                    FScratch.push_back('\r');
                } else if (IsHexDigit(e)) {
                    if (end - q < 3 || !IsHexDigit(q[2])) return false;
                    FScratch.push_back(static_cast<char>(HexDigitValue(e) * 16 + HexDigitValue(q[2])));
                    ++q;
                } else {
                    if (e == 13) ++lines;
                    FScratch.push_back(static_cast<char>(e));
                }
                q += 2;
                FScratch.append(takeRun());
                if (q == end) return false;
            }
            content = FScratch;
        }
        const int32_t startLine = s.Line();
        ++q;
        s.Advance(static_cast<std::size_t>(q - p));
        s.AddLines(lines);
        PushNew<TSLString>(Debug, pos - (startLine - 1), static_cast<int32_t>(q - p), content);
        return true;
    }
    case bkName: {
        const bool literal = *q == '/';
        if (literal) ++q;
        if (q == end || !IsNameStart(*q)) return false;
        const uint8_t* name = q;
        while (q != end && IsNameByte(*q)) ++q;
        if (q == end || IsSeparator(*q)) return false;
        const std::string_view text(reinterpret_cast<const char*>(name), static_cast<std::size_t>(q - name));
        s.Advance(static_cast<std::size_t>(q - p));
        if (literal && IsDictionaryKeyPlace()) {
            // A key lives only until its dictionary is closed: its block is
            // reused for the next key instead of staying in the arena.
            TSLSmallPool::TArenaPause pause;
            PushNew<TSLIdent>(Debug, pos - (s.Line() - 1), static_cast<int32_t>(q - p), text, false);
        } else {
            PushNew<TSLIdent>(Debug, pos - (s.Line() - 1), static_cast<int32_t>(q - p), text, !literal);
        }
        return true;
    }
    case bkOpen: {
        if (end - p < 3 || p[1] < 'A' || p[1] > 'Z' || p[2] == ':') return false;
        const char type = static_cast<char>(p[1]);
        s.Advance(2);
        if (type == 'A' && FStandardArray) {
            // What BeginOfComposite does for an array, without asking its class.
            if (static_cast<int32_t>(CompositeStack.size()) >= MaxNesting)
                throw Exception("composites nested too deeply");
            PushNew<TSLArray>(Debug, pos, 2);
            CompList.push_back(static_cast<TSLComposite*>(ElementStack.back().Get()));
            CompositeStack.push_back(0);
            return true;
        }
        BeginOfComposite(type, {},
                         Debug ? std::make_unique<TElmDbgInfo>(pos, 2, s.Line(), s.GetStorageID()) : nullptr);
        return true;
    }
    case bkClose:
        s.Advance(1);
        EndOfComposite();
        return true;
    case bkBoolean:
        if (end - p < 2 || (p[1] != '0' && p[1] != '1')) return false;
        s.Advance(2);
        PushNew<TSLBoolean>(Debug, pos, 2, p[1] == '1');
        return true;
    case bkPointer: {
        q = SkipDigits(p + 1, end);
        if (q == p + 1 || q == end || q - p > 18) return false;
        int64_t index = 0;
        for (const uint8_t* d = p + 1; d != q; ++d) index = index * 10 + (*d - '0');
        s.Advance(static_cast<std::size_t>(q - p));
        ResolvePointer(index);
        return true;
    }
    default:
        return false;
    }
}

bool TSLStreamDecoder::IsDictionaryKeyPlace() const noexcept {
    if (CompositeStack.empty() || (CompositeStack.back() & 1) != 0) return false;
    const TSLObject* open = ElementStack[ElementStack.size() - static_cast<std::size_t>(CompositeStack.back()) - 1].Get();
    return &open->ClassType() == &TSLDictionary::ClassInfo;
}

// ---------------------------------------------------------------- scanner services

void TSLStreamDecoder::PushElement(TSLObject* Obj, bool ByPointer) {
    if (CompositeStack.empty() && !ElementStack.empty())
        throw Exception("Internal error: only one root object is allowed");
    ElementStack.emplace_back(Obj);
    if (!CompositeStack.empty()) ++CompositeStack.back();
    if (!ByPointer && IsComposite(Obj)) CompList.emplace_back(static_cast<TSLComposite*>(Obj));
}

void TSLStreamDecoder::BeginOfComposite(char CompType, std::string_view Ident, std::unique_ptr<TDbgInfo> DbgInfo) {
    if (CompType < 'A' || CompType > 'Z')
        throw Exception("Internal error: illegal composite type '" + Letter(CompType) + "'");
    const TSLCompositeClass* cls = CompClasses[static_cast<std::size_t>(CompType - 'A')];
    if (!cls) throw Exception("unknown composite type '" + Letter(CompType) + "'");
    if (static_cast<int32_t>(CompositeStack.size()) >= MaxNesting) throw Exception("composites nested too deeply");
    TRef<TSLComposite> c = cls->CreateEmptyComposite();
    c->SetIdent(Ident);
    c->SetDbgInfo(std::move(DbgInfo));
    if (!Ident.empty()) IdentDict->AddObject(Ident, c.Get());
    PushElement(c.Get(), false);
    CompositeStack.push_back(0);
}

void TSLStreamDecoder::EndOfComposite() {
    if (CompositeStack.empty()) throw Exception("composite not opened");
    const int32_t n = CompositeStack.back();
    CompositeStack.pop_back();
    const std::size_t base = ElementStack.size() - static_cast<std::size_t>(n);
    TSLObject* obj = ElementStack[base - 1].Get();
    if (!IsComposite(obj)) throw Exception("Internal error: no composite to close");
    auto* c = static_cast<TSLComposite*>(obj);
    const TClassInfo* cls = &c->ClassType();
    if (cls == &TSLArray::ClassInfo || cls == &TSLBlock::ClassInfo || cls == &TSLProcedure::ClassInfo) {
        // What the array's InitComposite does, without a retain and a
        // release per element: the elements move into it.
        static_cast<TSLArray*>(c)->AdoptElements(ElementStack.data() + base, static_cast<std::size_t>(n));
        ElementStack.resize(base);
        return;
    }
    CurrentCompData->FElementCount = n;
    CurrentCompBase = base;
    CurrentCompElement = 0;
    c->InitComposite(CurrentCompData.Get());
    if (!KeepsAllElements(c, n)) {
        // What the composite left out lives until the read ends, so that
        // every composite read stays alive as long as the list of them.
        FMayDropComposites = true;
        for (std::size_t i = base; i < ElementStack.size(); ++i)
            if (ElementStack[i]) FDropped.push_back(std::move(ElementStack[i]));
    }
    ElementStack.resize(base);
}

TSLObject* TSLStreamDecoder::GetFirstCompositeElement() {
    CurrentCompElement = 0;
    return GetNextCompositeElement();
}

TSLObject* TSLStreamDecoder::GetNextCompositeElement() {
    if (CurrentCompElement >= CurrentCompData->FElementCount)
        throw Exception("Internal error: no more objects on stack");
    return ElementStack[CurrentCompBase + static_cast<std::size_t>(CurrentCompElement++)].Get();
}

TSLObject* TSLStreamDecoder::GetCompositeElementAtIndex(int Index) {
    const int32_t n = CurrentCompData->FElementCount;
    if (Index < 0 || Index >= n)
        throw Exception("Internal error: index (" + std::to_string(Index) + ") is out of bounds (" +
                        std::to_string(n) + ")");
    return ElementStack[CurrentCompBase + static_cast<std::size_t>(Index)].Get();
}

void TSLStreamDecoder::ResolvePointer(int64_t Index) {
    if (Index < 0 || static_cast<uint64_t>(Index) >= CompList.size())
        throw Exception("pointer index (" + std::to_string(Index) + ") is out of bounds (" +
                        std::to_string(CompList.size()) + ")");
    PushElement(CompList[static_cast<std::size_t>(Index)], true);
}

void TSLStreamDecoder::ResolvePointer(std::string_view Ident) {
    TSLObject* obj = IdentDict->FindObjWithName(Ident);
    if (!obj) throw Exception("no composite object named '" + std::string(Ident) + "' found");
    PushElement(obj, true);
}

void TSLStreamDecoder::ResolveConstant(std::string_view Ident) {
    const int constIndex = IdentDict->GetIndexOfName("CONST");
    if (constIndex < 0) throw Exception("Constant dictionary doesn't exist");
    auto* dict = SLCast<TSLDictionary>(IdentDict->GetObjAtIndex(constIndex));
    const std::string_view key = Ident.substr(0, Ident.find('\r'));
    const int index = dict->GetIndexOfName(key);
    if (index < 0) throw Exception("Object with name " + std::string(Ident) + " doesn't exist");
    const TSLObject* value = dict->GetObjAtIndex(index);
    if (value && (value->InheritsFrom(TSLLongint::ClassInfo) || value->InheritsFrom(TSLDouble::ClassInfo) || value->InheritsFrom(TSLString::ClassInfo) || value->InheritsFrom(TSLBoolean::ClassInfo))) {
        TRef<TSLObject> copy = value->CopyRef();
        PushElement(copy.Get(), false);
    }
}

// ---------------------------------------------------------------- helpers

TRef<TSLObject> SLDecodeString(std::string_view Text, bool Debug) {
    TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
    stream->SetBuffer(MyAnsiString(Text));
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(stream.Get());
    return decoder->ReadSingleObjectRef(look.Get(), Debug);
}

void SLBreakReferenceCycles(TSLObject* Root) {
    std::vector<TSLComposite*> found;
    std::unordered_set<const TSLObject*> seen;
    CollectComposites(Root, found, seen);
    // Hold every composite while the others are emptied.
    std::vector<TRef<TSLComposite>> held(found.begin(), found.end());
    for (auto& c : held) EmptyComposite(c.Get());
}

} // namespace vo
