#include "storagelib/SL20Enc.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_set>

#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
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

// The common case of SLFormatStoredReal without temporaries: Buf gets the
// text, the result is its length; 0 when the value needs the full way (out
// of the fixed range, or a tie at the last kept digit, which the
// correctly rounded conversion would round to even instead of away from
// zero).
std::size_t FormatStoredRealFast(double Value, char (&Buf)[48]) {
    const double a = std::fabs(Value);
    if (!(a >= 4e-16 && a < 1e18)) return 0;
    int intDigits = 0;
    if (a >= 1) {
        uint64_t i = static_cast<uint64_t>(a);
        for (; i != 0; i /= 10) ++intDigits;
    }
    const int keep = intDigits == 0 ? 15 : std::min(15, 18 - intDigits);
    // Fraction digits of the exact value: a = M * 2^k with M odd.
    int e = 0;
    const double f = std::frexp(a, &e);
    const auto m = static_cast<uint64_t>(std::ldexp(f, 53));
    const int k = e - 53 + __builtin_ctzll(m);
    const int exactFrac = k < 0 ? -k : 0;
    if (exactFrac == keep + 1) return 0;
    char* out = Buf;
    if (Value < 0) *out++ = '-';
    const auto res = std::to_chars(out, Buf + sizeof Buf - 2, a, std::chars_format::fixed, keep);
    if (res.ec != std::errc()) return 0;
    char* end = res.ptr;
    if (keep == 0) {
        *end++ = '.';
        *end++ = '0';
    } else {
        while (end[-1] == '0' && end[-2] != '.') --end;
    }
    // A value that rounds to zero is written without its sign.
    if (Value < 0 && end - Buf == 4 && Buf[1] == '0' && Buf[3] == '0') {
        std::memmove(Buf, Buf + 1, 3);
        return 3;
    }
    return static_cast<std::size_t>(end - Buf);
}

} // namespace

MyAnsiString SLFormatStoredReal(double Value) {
    char fast[48];
    if (const std::size_t n = FormatStoredRealFast(Value, fast)) return MyAnsiString(fast, n);
    if (!std::isfinite(Value)) return SLFloatToStrGeneral(Value);
    const double a = std::fabs(Value);
    if (a >= 1e18) return LargeReal(Value);
    // Below 4E-16 every value rounds to 0 at 15 decimals.
    if (a < 4e-16) return "0.0";

    // The exact decimal expansion of the double: a = M * 2^(e - 53) with a
    // 53-bit integer M, so 53 - e fraction digits render it without rounding.
    int e = 0;
    std::frexp(a, &e);
    const int fracDigits = e >= 53 ? 0 : 53 - e;
    char buf[200];
    const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, fracDigits);
    const std::string_view exact(buf, static_cast<std::size_t>(res.ptr - buf));
    const std::size_t dot = exact.find('.');
    std::string intPart(exact.substr(0, dot));
    const std::string_view frac = dot == std::string_view::npos ? std::string_view() : exact.substr(dot + 1);

    // At most 18 significant digits and at most 15 decimals; a value below 1
    // reaches 15 decimals before 18 significant digits.
    const int intDigits = intPart == "0" ? 0 : static_cast<int>(intPart.size());
    const int keep = intDigits == 0 ? 15 : std::min(15, 18 - intDigits);
    std::string digits = intPart + std::string(frac.substr(0, static_cast<std::size_t>(keep)));
    if (static_cast<int>(digits.size()) < static_cast<int>(intPart.size()) + keep)
        digits.append(static_cast<std::size_t>(static_cast<int>(intPart.size()) + keep) - digits.size(), '0');
    std::size_t intLen = intPart.size();
    // Halves away from zero: the expansion is exact, so a first dropped digit
    // of 5 or more means at least one half.
    if (static_cast<std::size_t>(keep) < frac.size() && frac[static_cast<std::size_t>(keep)] >= '5') {
        std::size_t i = digits.size();
        while (i > 0) {
            --i;
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                ++digits[i];
                break;
            }
            if (i == 0) {
                digits.insert(digits.begin(), '1');
                ++intLen;
                break;
            }
        }
    }
    std::string fracOut = digits.substr(intLen);
    std::string intOut = digits.substr(0, intLen);
    while (!fracOut.empty() && fracOut.back() == '0') fracOut.pop_back();
    if (fracOut.empty()) fracOut = "0";
    // "0.0" for intPart "0" stays "0"; drop the leading zeros the carry could not make
    std::size_t nz = 0;
    while (nz + 1 < intOut.size() && intOut[nz] == '0') ++nz;
    intOut.erase(0, nz);
    if (intOut.empty()) intOut = "0";
    const bool zero = intOut == "0" && fracOut == "0";
    std::string out;
    if (Value < 0 && !zero) out += '-';
    out += intOut;
    out += '.';
    out += fracOut;
    return out;
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
constexpr std::array<bool, '@' + 1> EscapedByte = [] {
    std::array<bool, '@' + 1> t{};
    t['\n'] = t['\r'] = t['\''] = t['@'] = true;
    return t;
}();

std::string FoldedName(std::string_view Name) {
    std::string s(Name);
    for (char& c : s) c = static_cast<char>(SLFoldNameChar(static_cast<uint8_t>(c)));
    return s;
}
} // namespace

TSLStreamEncoder::TSLStreamEncoder() : EncoderInterface(this), FOut(std::make_unique<char[]>(OutCapacity)) {}

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

void TSLStreamEncoder::PutLong(std::string_view s) {
    Flush();
    if (s.size() <= OutCapacity) {
        std::memcpy(FOut.get(), s.data(), s.size());
        FOutLen = s.size();
        return;
    }
    if (CurrentStream)
        CurrentStream->WriteBlock(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size()));
}

void TSLStreamEncoder::EncodeObject(TSLObject* Obj) {
    if (!Obj) {
        EncodePointer(0);
        return;
    }
    // The scalar classes write themselves through these operations; for
    // them (not for classes derived from them) they are called directly.
    const TClassInfo* cls = &Obj->ClassType();
    if (cls == &TSLLongint::ClassInfo) {
        EncodeLongint(static_cast<TSLLongint*>(Obj)->TSLLongint::GetLongintValue());
    } else if (cls == &TSLString::ClassInfo) {
        EncodeString(static_cast<TSLString*>(Obj)->GetStringValue());
    } else if (cls == &TSLDouble::ClassInfo) {
        EncodeDouble(static_cast<TSLDouble*>(Obj)->TSLDouble::GetDoubleValue());
    } else if (cls == &TSLBoolean::ClassInfo) {
        EncodeBoolean(static_cast<TSLBoolean*>(Obj)->GetBooleanValue());
    } else if (cls == &TSLIdent::ClassInfo) {
        const auto* ident = static_cast<TSLIdent*>(Obj);
        EncodeIdent(ident->GetIdentValue(), ident->TSLIdent::GetExecutable());
    } else if (Obj->InheritsFrom(TSLComposite::ClassInfo)) {
        EncodeComposite(static_cast<TSLComposite*>(Obj));
    } else {
        Obj->Encode(EncoderInterface);
    }
}

void TSLStreamEncoder::EncodeLongint(int64_t Value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, Value);
    Put(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
    Put(' ');
    MaybeFlush();
}

void TSLStreamEncoder::EncodeDouble(double Value) {
    if (!std::isfinite(Value))
        throw Exception(std::string(ClassName()) + ".EncodeDouble: illegal real value '" +
                        SLFloatToStrGeneral(Value) + "'");
    char fast[48];
    if (const std::size_t n = FormatStoredRealFast(Value, fast))
        Put(std::string_view(fast, n));
    else
        Put(SLFormatStoredReal(Value));
    Put(' ');
    MaybeFlush();
}

void TSLStreamEncoder::EncodeString(std::string_view Value) {
    Put('\'');
    std::size_t run = 0;
    for (std::size_t i = 0; i < Value.size(); ++i) {
        const char c = Value[i];
        // One test passes over every byte that needs no escape.
        if (static_cast<uint8_t>(c) > '@' || !EscapedByte[static_cast<uint8_t>(c)]) continue;
        const char* esc = nullptr;
        switch (c) {
        case '\n': esc = "@l"; break;
        case '\r': esc = "@n"; break;
        case '\'': esc = "@'"; break;
        default: esc = "@@"; break;
        }
        Put(Value.substr(run, i - run));
        Put(std::string_view(esc, 2));
        run = i + 1;
        MaybeFlush();
    }
    Put(Value.substr(run));
    Put("' ");
    MaybeFlush();
}

void TSLStreamEncoder::EncodeBoolean(bool Value) {
    Put(Value ? "#1 " : "#0 ");
    MaybeFlush();
}

void TSLStreamEncoder::EncodeIdent(std::string_view Name, bool Executable) {
    Check(Name, Executable ? TIdentKind::Executable : TIdentKind::Literal);
    if (!Executable) Put('/');
    Put(Name);
    Put(' ');
    MaybeFlush();
}

void TSLStreamEncoder::EncodeComposite(TSLComposite* C) {
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
    EncodeBeginOfComposite(C->AGetCompositeType(), name);
    const TClassInfo* cls = &C->ClassType();
    if (cls == &TSLArray::ClassInfo || cls == &TSLBlock::ClassInfo || cls == &TSLProcedure::ClassInfo) {
        // What the array's EncodeCompositeContent does, without two virtual
        // calls and a bounds check per element.
        const auto* a = static_cast<TSLArray*>(C);
        for (int i = 0; i < a->TSLArray::GetCount(); ++i) EncodeObject(a->UncheckedAt(i));
    } else {
        C->EncodeCompositeContent(EncoderInterface);
    }
    EncodeEndOfComposite();
}

void TSLStreamEncoder::EncodeBeginOfComposite(char Letter, std::string_view Name) {
    if (!Name.empty()) Check(Name, TIdentKind::CompositeName);
    Put('[');
    Put(Letter);
    if (!Name.empty()) {
        Put(':');
        Put(Name);
    }
    Put(' ');
    MaybeFlush();
}

void TSLStreamEncoder::EncodeEndOfComposite() {
    Put("] ");
    MaybeFlush();
}

void TSLStreamEncoder::EncodePointer(int32_t Number) {
    char buf[16];
    const auto res = std::to_chars(buf, buf + sizeof buf, Number);
    Put('@');
    Put(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
    Put(' ');
    MaybeFlush();
}

void TSLStreamEncoder::CheckIdent(std::string_view Name) const { Check(Name, TIdentKind::Executable); }

void TSLStreamEncoder::Check(std::string_view Name, TIdentKind Kind) const {
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
