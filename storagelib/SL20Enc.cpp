#include "storagelib/SL20Enc.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_set>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Rec.h"
#include "storagelib/SL20Scn.h"

namespace vo {

using namespace sl_bytes;

// ---------------------------------------------------------------- reals

namespace {

// The general notation of a large real. Within a hair of the largest double,
// 15 digits round up past it and would read back as an overflow; those few
// values are written with the 17 digits that read back exactly.
MyAnsiString LargeReal(double Value) {
    MyAnsiString text = SLFloatToStrGeneral(Value);
    double back = 0;
    const char* b = text.data() + (text[0] == '-' ? 1 : 0);
    const auto res = std::from_chars(b, text.data() + text.size(), back);
    if (res.ec == std::errc() && std::isfinite(back)) return text;
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific, 16);
    std::string sci(buf, static_cast<std::size_t>(r.ptr - buf)); // d.dddddddddddddddde+308
    const std::size_t e = sci.find('e');
    std::string mantissa = sci.substr(0, e);
    while (mantissa.back() == '0') mantissa.pop_back();
    if (mantissa.back() == '.') mantissa.pop_back();
    std::string exponent = sci.substr(e + 1);
    if (exponent[0] == '+') exponent.erase(0, 1);
    return mantissa + "E" + exponent;
}

} // namespace

namespace {

constexpr uint64_t Pow10[20] = {1ull,
                                10ull,
                                100ull,
                                1000ull,
                                10000ull,
                                100000ull,
                                1000000ull,
                                10000000ull,
                                100000000ull,
                                1000000000ull,
                                10000000000ull,
                                100000000000ull,
                                1000000000000ull,
                                10000000000000ull,
                                100000000000000ull,
                                1000000000000000ull,
                                10000000000000000ull,
                                100000000000000000ull,
                                1000000000000000000ull,
                                10000000000000000000ull};

constexpr char DigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                              "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                              "8081828384858687888990919293949596979899";

// The number of decimal digits of X (1 for 0).
inline int DigitCount(uint64_t X) noexcept {
    X |= 1; // the same count, and 0 counts as 1
    const int bits = 64 - __builtin_clzll(X);
    const int t = (bits * 1233) >> 12; // about log10(2^bits), one too high at most
    return t - (X < Pow10[t]) + 1;
}

// Writes the 8 decimal digits of X (below 10^8, leading zeros included): four
// independent pairs.
inline void Write8Digits(char* Out, uint32_t X) noexcept {
    const uint32_t hi = X / 10000, lo = X % 10000;
    std::memcpy(Out, DigitPairs + 2 * (hi / 100), 2);
    std::memcpy(Out + 2, DigitPairs + 2 * (hi % 100), 2);
    std::memcpy(Out + 4, DigitPairs + 2 * (lo / 100), 2);
    std::memcpy(Out + 6, DigitPairs + 2 * (lo % 100), 2);
}

// Writes the N decimal digits of X (N >= its digit count, leading zeros
// filled in) at Out; returns the end.
inline char* WriteDigits(char* Out, uint64_t X, int N) noexcept {
    char* p = Out + N;
    while (p - Out > 8) {
        const uint64_t q = X / 100000000;
        p -= 8;
        Write8Digits(p, static_cast<uint32_t>(X - q * 100000000));
        X = q;
    }
    auto x = static_cast<uint32_t>(X);
    while (p - Out >= 2) {
        p -= 2;
        std::memcpy(p, DigitPairs + 2 * (x % 100), 2);
        x /= 100;
    }
    if (p > Out) *--p = static_cast<char>('0' + x);
    return Out + N;
}

inline char* WriteInt64(char* Out, int64_t Value) noexcept {
    uint64_t u = static_cast<uint64_t>(Value);
    if (Value < 0) {
        *Out++ = '-';
        u = 0 - u;
    }
    return WriteDigits(Out, u, DigitCount(u));
}

// A real of magnitude 4E-16 up to below 1E18 in the fixed picture, from the
// exact value: with a = M * 2^k (M the 53-bit significand), the kept digits
// are a * 10^keep rounded half away from zero, which is one 128-bit product
// and a shift. Returns the end, or nil for a value outside that range.
char* WriteFixedReal(char* Out, double Value) noexcept {
    uint64_t bits = std::bit_cast<uint64_t>(Value);
    const bool negative = (bits >> 63) != 0;
    bits &= ~(uint64_t{1} << 63);
    const double a = std::bit_cast<double>(bits);
    if (!(a >= 4e-16 && a < 1e18)) return nullptr;
    // At most 18 significant digits and at most 15 decimals; a value below 1
    // reaches 15 decimals before 18 significant digits.
    const int intDigits = a < 1 ? 0 : DigitCount(static_cast<uint64_t>(a));
    const int keep = intDigits <= 3 ? 15 : 18 - intDigits;
    const uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
    const int k = static_cast<int>(bits >> 52) - 1075;
    const unsigned __int128 p = static_cast<unsigned __int128>(m) * Pow10[keep];
    uint64_t q = 0;
    if (k >= 0) {
        q = static_cast<uint64_t>(p << k);
    } else {
        const int s = -k; // 1 to 104 in this range
        q = static_cast<uint64_t>(p >> s) + static_cast<uint64_t>((p >> (s - 1)) & 1);
    }
    if (q == 0) { // rounds to zero: written without its sign
        std::memcpy(Out, "0.0", 3);
        return Out + 3;
    }
    if (negative) *Out++ = '-';
    const uint64_t scale = Pow10[keep];
    const uint64_t ip = q / scale;
    uint64_t fp = q - ip * scale;
    Out = WriteDigits(Out, ip, DigitCount(ip));
    *Out++ = '.';
    if (fp == 0) {
        *Out++ = '0';
        return Out;
    }
    // Without the trailing zeros (at most 14 of them).
    int fracLen = keep;
    if (fp % 100000000 == 0) {
        fp /= 100000000;
        fracLen -= 8;
    }
    if (fp % 10000 == 0) {
        fp /= 10000;
        fracLen -= 4;
    }
    if (fp % 100 == 0) {
        fp /= 100;
        fracLen -= 2;
    }
    if (fp % 10 == 0) {
        fp /= 10;
        fracLen -= 1;
    }
    return WriteDigits(Out, fp, fracLen);
}

} // namespace

MyAnsiString SLFormatStoredReal(double Value) {
    char buf[64];
    if (const char* end = WriteFixedReal(buf, Value)) return MyAnsiString(buf, static_cast<std::size_t>(end - buf));
    if (!std::isfinite(Value)) return SLFloatToStrGeneral(Value);
    // Below 4E-16 every value rounds to 0 at 15 decimals.
    if (std::fabs(Value) < 4e-16) return "0.0";
    return LargeReal(Value);
}

// ---------------------------------------------------------------- interface

void TStreamEncoderInterface::EncodeLongint(int64_t Value) { FStreamEncoder->EncodeLongint(Value); }
void TStreamEncoderInterface::EncodeDouble(double Value) { FStreamEncoder->EncodeDouble(Value); }
void TStreamEncoderInterface::EncodeString(const MyAnsiString& Value) { FStreamEncoder->EncodeString(Value); }
void TStreamEncoderInterface::EncodeBoolean(bool Value) { FStreamEncoder->EncodeBoolean(Value); }
void TStreamEncoderInterface::EncodeIdent(const MyAnsiString& Name, bool Executable) {
    FStreamEncoder->EncodeIdent(Name, Executable);
}
void TStreamEncoderInterface::EncodeObject(TSLObject* Obj) { FStreamEncoder->EncodeObject(Obj); }

// ---------------------------------------------------------------- encoder

namespace {

// Bytes a string writes as "@" and a letter: line feed, carriage return,
// apostrophe and "@".
constexpr std::array<bool, 256> EscapedByte = [] {
    std::array<bool, 256> t{};
    t['\n'] = t['\r'] = t['\''] = t['@'] = true;
    return t;
}();

inline char* WriteEscape(char* Out, char C) noexcept {
    Out[0] = '@';
    Out[1] = C == '\n' ? 'l' : C == '\r' ? 'n'
                                         : C;
    return Out + 2;
}

// The words CopySmall moved: every byte of its N at least once, zeros
// besides.
struct TSmallCopy {
    uint64_t Lo, Hi;
};

// Copies up to 16 bytes without a call: overlapping word moves.
inline TSmallCopy CopySmall(char* Dst, const char* Src, std::size_t N) noexcept {
    if (N >= 8) {
        uint64_t a, b;
        std::memcpy(&a, Src, 8);
        std::memcpy(&b, Src + N - 8, 8);
        std::memcpy(Dst, &a, 8);
        std::memcpy(Dst + N - 8, &b, 8);
        return {a, b};
    }
    if (N >= 4) {
        uint32_t a, b;
        std::memcpy(&a, Src, 4);
        std::memcpy(&b, Src + N - 4, 4);
        std::memcpy(Dst, &a, 4);
        std::memcpy(Dst + N - 4, &b, 4);
        return {a, b};
    }
    if (N == 0) return {0, 0};
    const auto b0 = static_cast<uint8_t>(Src[0]), b1 = static_cast<uint8_t>(Src[N / 2]),
               b2 = static_cast<uint8_t>(Src[N - 1]);
    Dst[0] = static_cast<char>(b0);
    Dst[N / 2] = static_cast<char>(b1);
    Dst[N - 1] = static_cast<char>(b2);
    return {b0 | uint64_t{b1} << 8 | uint64_t{b2} << 16, 0};
}

// Writes the N bytes at Src with escapes; Out has room for 2 * N + 16 bytes.
// Returns the end.
char* WriteEscaped(char* Out, const char* Src, std::size_t N) noexcept {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    const __m128i apostrophe = _mm_set1_epi8('\''), at = _mm_set1_epi8('@');
    auto escapes = [&](__m128i v) {
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                                         _mm_or_si128(_mm_cmpeq_epi8(v, apostrophe), _mm_cmpeq_epi8(v, at)));
        return static_cast<uint32_t>(_mm_movemask_epi8(hit));
    };
    while (i + 16 <= N) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out), v);
        const uint32_t mask = escapes(v);
        if (mask == 0) {
            Out += 16;
            i += 16;
            continue;
        }
        const int at0 = __builtin_ctz(mask);
        Out = WriteEscape(Out + at0, Src[i + static_cast<std::size_t>(at0)]);
        i += static_cast<std::size_t>(at0) + 1;
    }
    if (i == N) return Out;
    // The rest (under 16 bytes) is copied first and its words looked at;
    // only a rest with an escape is written again byte by byte.
    const std::size_t rest = N - i;
    const TSmallCopy moved = CopySmall(Out, Src + i, rest);
    if (escapes(_mm_set_epi64x(static_cast<int64_t>(moved.Hi), static_cast<int64_t>(moved.Lo))) == 0)
        return Out + rest;
#endif
    for (; i < N; ++i) {
        const char c = Src[i];
        if (EscapedByte[static_cast<uint8_t>(c)])
            Out = WriteEscape(Out, c);
        else
            *Out++ = c;
    }
    return Out;
}

// Name bytes: 1 a name may start with, 2 a name may hold anywhere but first
// (letters, digits and "_"), 4 a separator.
constexpr std::array<uint8_t, 256> NameClass = [] {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        const auto b = static_cast<uint8_t>(c);
        t[b] = static_cast<uint8_t>((IsNameStart(b) ? 1 : 0) | (IsNameByte(b) ? 2 : 0) | (IsSeparator(b) ? 4 : 0));
    }
    return t;
}();

std::string FoldedName(std::string_view Name) {
    std::string s(Name);
    for (char& c : s) c = static_cast<char>(SLFoldNameChar(static_cast<uint8_t>(c)));
    return s;
}

} // namespace

TSLStreamEncoder::TSLStreamEncoder() : EncoderInterface(this), FOut(std::make_unique_for_overwrite<char[]>(OutCapacity)) {}

TSLStreamEncoder::~TSLStreamEncoder() = default;

void TSLStreamEncoder::WriteObject(TSLCharStream* Stream, TSLObject* Obj) {
    if (!Stream) throw Exception(std::string(ClassName()) + ".WriteObject: no stream");
    CurrentStream = Stream;
    CompList.assign(1, nullptr);
    CompNames.clear();
    FOutLen = 0;
    try {
        EncodeObject(Obj);
        Flush();
    } catch (...) {
        try {
            Flush(); // what was written before the failing token stays in the stream
        } catch (...) {
        }
        CompList.clear();
        CompNames.clear();
        FOutLen = 0;
        CurrentStream.Reset();
        throw;
    }
    CompList.clear();
    CompNames.clear();
    CurrentStream.Reset();
}

void TSLStreamEncoder::Flush() {
    const std::size_t n = FOutLen;
    FOutLen = 0; // outside a write the bytes have nowhere to go
    if (n == 0 || !CurrentStream) return;
    CurrentStream->WriteBlock(reinterpret_cast<const uint8_t*>(FOut.get()), static_cast<int32_t>(n));
}

void TSLStreamEncoder::EncodeObject(TSLObject* Obj) {
    if (!Obj) {
        char* out = Room(4);
        std::memcpy(out, "@0 ", 4);
        Commit(out + 3);
        return;
    }
    // The scalar classes write themselves through these operations; for
    // them (not for classes derived from them) they are called directly.
    // The number classes have no subclasses: their trait tells.
    if (Obj->HasTrait(slLongint)) {
        EncodeLongint(static_cast<TSLLongint*>(Obj)->GetLongintValue());
        return;
    }
    if (Obj->HasTrait(slDouble)) {
        EncodeDouble(static_cast<TSLDouble*>(Obj)->GetDoubleValue());
        return;
    }
    const TClassInfo* cls = &Obj->ClassType();
    if (cls == &TSLString::ClassInfo) {
        EncodeString(static_cast<TSLString*>(Obj)->GetStringValue());
    } else if (cls == &TSLIdent::ClassInfo) {
        const auto* ident = static_cast<TSLIdent*>(Obj);
        EncodeIdent(ident->GetIdentValue(), ident->TSLIdent::GetExecutable());
    } else if (cls == &TSLBoolean::ClassInfo) {
        EncodeBoolean(static_cast<TSLBoolean*>(Obj)->GetBooleanValue());
    } else if (cls == &TSLArray::ClassInfo || cls == &TSLRecord::ClassInfo || cls == &TSLDictionary::ClassInfo ||
               cls->InheritsFrom(TSLComposite::ClassInfo)) {
        EncodeCompositeOf(static_cast<TSLComposite*>(Obj), cls);
    } else {
        Obj->Encode(EncoderInterface);
    }
}

void TSLStreamEncoder::EncodeLongint(int64_t Value) {
    char* out = WriteInt64(Room(24), Value);
    *out++ = ' ';
    Commit(out);
}

void TSLStreamEncoder::EncodeDouble(double Value) {
    if (!std::isfinite(Value))
        throw Exception(std::string(ClassName()) + ".EncodeDouble: illegal real value '" +
                        SLFloatToStrGeneral(Value) + "'");
    char* out = Room(64);
    if (char* end = WriteFixedReal(out, Value)) {
        *end++ = ' ';
        Commit(end);
        return;
    }
    const MyAnsiString text = SLFormatStoredReal(Value); // tiny or of 1E18 and more: at most 24 bytes
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = ' ';
    Commit(out + text.size() + 1);
}

void TSLStreamEncoder::EncodeString(std::string_view Value) {
    const std::size_t n = Value.size();
    if (n > RoomLimit / 2 - 32) {
        EncodeLongString(Value);
        return;
    }
    char* out = Room(2 * n + 32);
    *out++ = '\'';
    out = WriteEscaped(out, Value.data(), n);
    out[0] = '\'';
    out[1] = ' ';
    Commit(out + 2);
}

void TSLStreamEncoder::EncodeLongString(std::string_view Value) {
    constexpr std::size_t piece = RoomLimit / 2 - 32;
    char* out = Room(1);
    *out = '\'';
    Commit(out + 1);
    for (std::size_t i = 0; i < Value.size(); i += piece) {
        const std::size_t n = std::min(piece, Value.size() - i);
        Commit(WriteEscaped(Room(2 * n + 16), Value.data() + i, n));
    }
    out = Room(2);
    out[0] = '\'';
    out[1] = ' ';
    Commit(out + 2);
}

void TSLStreamEncoder::EncodeBoolean(bool Value) {
    char* out = Room(4);
    std::memcpy(out, Value ? "#1 " : "#0 ", 4);
    Commit(out + 3);
}

void TSLStreamEncoder::EncodeIdent(std::string_view Name, bool Executable) {
    Check(Name, Executable ? TIdentKind::Executable : TIdentKind::Literal);
    EncodeName(Name, Executable);
}

// A checked name, "/" in front of a literal one.
void TSLStreamEncoder::EncodeName(std::string_view Name, bool Executable) {
    const std::size_t n = Name.size();
    if (n > RoomLimit - 32) {
        if (!Executable) Commit(std::fill_n(Room(1), 1, '/'));
        for (std::size_t i = 0; i < n; i += RoomLimit) {
            const std::size_t m = std::min(RoomLimit, n - i);
            char* out = Room(m);
            std::memcpy(out, Name.data() + i, m);
            Commit(out + m);
        }
        Commit(std::fill_n(Room(1), 1, ' '));
        return;
    }
    char* out = Room(n + 24);
    *out = '/';
    out += Executable ? 0 : 1;
    if (n <= 16)
        CopySmall(out, Name.data(), n);
    else
        std::memcpy(out, Name.data(), n);
    out[n] = ' ';
    Commit(out + n + 1);
}

void TSLStreamEncoder::EncodeComposite(TSLComposite* C) { EncodeCompositeOf(C, &C->ClassType()); }

// The letter and content of the usual composites are known from their class
// (Cls, the class of C) without asking them.
void TSLStreamEncoder::EncodeCompositeOf(TSLComposite* C, const TClassInfo* Cls) {
    const int32_t n = C->CompositeHandle;
    if (n > 0 && static_cast<std::size_t>(n) < CompList.size() && CompList[static_cast<std::size_t>(n)] == C) {
        EncodePointer(n);
        return;
    }
    const MyAnsiString& name = C->GetIdent();
    if (!name.empty()) {
        Check(name, TIdentKind::CompositeName);
        if (!CompNames.insert(FoldedName(name)).second)
            throw Exception(std::string(ClassName()) + ".EncodeComposite: another composite is already named '" +
                            name + "'");
    }
    CompList.push_back(C);
    C->CompositeHandle = static_cast<int32_t>(CompList.size() - 1);
    const char letter = Cls == &TSLArray::ClassInfo ? TSLArray::GetCompositeType()
        : Cls == &TSLRecord::ClassInfo              ? TSLRecord::GetCompositeType()
        : Cls == &TSLDictionary::ClassInfo          ? TSLDictionary::GetCompositeType()
                                                    : C->AGetCompositeType();
    if (name.empty() || name.size() > RoomLimit - 32) {
        EncodeBeginOfComposite(letter, name);
    } else {
        char* out = Room(name.size() + 8);
        out[0] = '[';
        out[1] = letter;
        out[2] = ':';
        std::memcpy(out + 3, name.data(), name.size());
        out[3 + name.size()] = ' ';
        Commit(out + 4 + name.size());
    }
    EncodeContent(C, Cls);
    EncodeEndOfComposite();
}

// What the usual composites' EncodeCompositeContent does, without the
// virtual calls through the writer interface.
void TSLStreamEncoder::EncodeContent(TSLComposite* C, const TClassInfo* Cls) {
    if (Cls == &TSLArray::ClassInfo || Cls == &TSLBlock::ClassInfo || Cls == &TSLProcedure::ClassInfo) {
        const auto* a = static_cast<TSLArray*>(C);
        const int count = a->TSLArray::GetCount();
        // The elements lie apart in memory: the next one is fetched while
        // this one is written.
        for (int i = 0; i < count; ++i) {
            if (i + 1 < count) __builtin_prefetch(a->UncheckedAt(i + 1));
            EncodeObject(a->UncheckedAt(i));
        }
    } else if (Cls == &TSLRecord::ClassInfo) {
        const auto* r = static_cast<TSLRecord*>(C);
        EncodeObject(r->GetRecDef());
        EncodeObject(r->GetData());
    } else if (Cls == &TSLDictionary::ClassInfo) {
        const auto* d = static_cast<TSLDictionary*>(C);
        const int count = d->TSLDictionary::GetCount();
        for (int i = 0; i < count; ++i) {
            const std::string_view name = d->NameRefAtIndex(i);
            Check(name, TIdentKind::Literal);
            EncodeName(name, false);
            EncodeObject(d->ValueAt(i));
        }
    } else {
        C->EncodeCompositeContent(EncoderInterface);
    }
}

void TSLStreamEncoder::EncodeBeginOfComposite(char Letter, std::string_view Name) {
    if (!Name.empty()) Check(Name, TIdentKind::CompositeName);
    char* out = Room(4);
    out[0] = '[';
    out[1] = Letter;
    if (Name.empty()) {
        out[2] = ' ';
        Commit(out + 3);
        return;
    }
    out[2] = ':';
    Commit(out + 3);
    EncodeName(Name, true);
}

void TSLStreamEncoder::EncodeEndOfComposite() {
    char* out = Room(2);
    out[0] = ']';
    out[1] = ' ';
    Commit(out + 2);
}

void TSLStreamEncoder::EncodePointer(int32_t Number) {
    char* out = Room(24);
    *out++ = '@';
    out = WriteInt64(out, Number);
    *out++ = ' ';
    Commit(out);
}

void TSLStreamEncoder::CheckIdent(std::string_view Name) const { Check(Name, TIdentKind::Executable); }

void TSLStreamEncoder::Check(std::string_view Name, TIdentKind Kind) const {
    // The usual name: a name start followed by letters, digits and "_".
    if (!Name.empty() && (NameClass[static_cast<uint8_t>(Name[0])] & 1) != 0) {
        uint8_t all = 2;
        for (std::size_t i = 1; i < Name.size(); ++i) all &= NameClass[static_cast<uint8_t>(Name[i])];
        if (all != 0) return;
    }
    CheckSlow(Name, Kind);
}

void TSLStreamEncoder::CheckSlow(std::string_view Name, TIdentKind Kind) const {
    bool ok = !Name.empty() && IsNameStart(static_cast<uint8_t>(Name[0]));
    bool afterSeparator = false;
    for (std::size_t i = 1; ok && i < Name.size(); ++i) {
        const auto c = static_cast<uint8_t>(Name[i]);
        if (afterSeparator) {
            ok = IsNameStart(c);
            afterSeparator = false;
        } else if (IsSeparator(c)) {
            // composite names take no separators
            ok = Kind != TIdentKind::CompositeName;
            afterSeparator = true;
        } else {
            ok = IsNameByte(c);
        }
    }
    // The reader ends a literal name at a separator with an error, except at
    // the very end of the text: a literal name may not end with one.
    if (ok && afterSeparator && Kind == TIdentKind::Literal) ok = false;
    if (!ok) throw Exception(std::string(ClassName()) + ".CheckIdent: illegal ident '" + std::string(Name) + "'");
}

MyAnsiString SLEncodeToString(TSLObject* Obj) {
    TRef<TSLStreamEncoder> encoder = MakeRef<TSLStreamEncoder>();
    TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
    encoder->WriteObject(stream.Get(), Obj);
    return stream->TakeBuffer();
}

} // namespace vo
