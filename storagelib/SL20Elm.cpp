#include "storagelib/SL20Elm.h"

#include "kernel/AnsiFormat.h"

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace vo {

// ---------------------------------------------------------------- conversions

namespace {

[[noreturn]] void InvalidInteger(std::string_view Text) {
    throw EConvertError("'" + std::string(Text) + "' is not a valid integer value");
}

[[noreturn]] void InvalidReal(std::string_view Text) {
    throw EConvertError("'" + std::string(Text) + "' is not a valid floating point value");
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool AsciiEqualsUpper(std::string_view Text, std::string_view Upper) {
    if (Text.size() != Upper.size()) return false;
    for (std::size_t i = 0; i < Text.size(); ++i)
        if (AsciiUpper(Text[i]) != Upper[i]) return false;
    return true;
}

locale_t CLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

MyAnsiString& FloatFormatString() {
    static MyAnsiString format;
    return format;
}

} // namespace

int64_t SLStrToInt64(std::string_view Text) {
    const std::size_t n = Text.size();
    std::size_t i = 0;
    while (i < n && Text[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (Text[i] == '+' || Text[i] == '-')) {
        negative = Text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && (Text[i] == '$' || Text[i] == 'x' || Text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n) InvalidInteger(Text);
    uint64_t value = 0;
    if (hex) {
        int significant = 0;
        for (; i < n; ++i) {
            const int d = HexValue(Text[i]);
            if (d < 0) InvalidInteger(Text);
            if (significant > 0 || d != 0) ++significant;
            if (significant > 16) InvalidInteger(Text);
            value = (value << 4) | static_cast<uint64_t>(d);
        }
        if (negative) value = 0 - value;
        return static_cast<int64_t>(value);
    }
    const uint64_t limit = negative ? (uint64_t{1} << 63) : (uint64_t{1} << 63) - 1;
    for (; i < n; ++i) {
        if (!IsDigit(Text[i])) InvalidInteger(Text);
        const uint64_t d = static_cast<uint64_t>(Text[i] - '0');
        if (value > (limit - d) / 10) InvalidInteger(Text);
        value = value * 10 + d;
    }
    return negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

double SLStrToFloat(std::string_view Text) {
    const std::size_t n = Text.size();
    std::size_t i = 0;
    while (i < n && Text[i] == ' ') ++i;
    const std::size_t start = i;
    if (i < n && (Text[i] == '+' || Text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < n && IsDigit(Text[i])) ++i, ++digits;
    if (i < n && Text[i] == '.') {
        ++i;
        while (i < n && IsDigit(Text[i])) ++i, ++digits;
    }
    if (digits == 0) InvalidReal(Text);
    if (i < n && (Text[i] == 'e' || Text[i] == 'E')) {
        ++i;
        if (i < n && (Text[i] == '+' || Text[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < n && IsDigit(Text[i])) ++i, ++expDigits;
        if (expDigits == 0) InvalidReal(Text);
    }
    const std::size_t end = i;
    while (i < n && Text[i] == ' ') ++i;
    if (i != n) InvalidReal(Text);
    // The validated token holds only sign, digits, "." and an exponent, so the
    // C-locale conversion reads all of it.
    const std::string token(Text.substr(start, end - start));
    errno = 0;
    const double value = strtod_l(token.c_str(), nullptr, CLocale());
    if (errno == ERANGE && std::isinf(value)) InvalidReal(Text);
    return value;
}

MyAnsiString SLFloatToStrGeneral(double Value) {
    if (std::isnan(Value)) return "NAN";
    if (std::isinf(Value)) return Value > 0 ? "INF" : "-INF";
    if (Value == 0.0) return "0";
    // 15 significant digits, rounded: d.dddddddddddddde[+-]x
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific, 14);
    std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    std::string out;
    if (sci.front() == '-') {
        out += '-';
        sci.remove_prefix(1);
    }
    const std::size_t ePos = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, ePos))
        if (c != '.') digits += c;
    int exponent = 0;
    std::from_chars(sci.data() + ePos + 1 + (sci[ePos + 1] == '+' ? 1 : 0), sci.data() + sci.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const int nd = static_cast<int>(digits.size());
    if (exponent >= -5 && exponent < 15) {
        if (exponent >= 0) {
            if (nd <= exponent + 1) {
                out += digits;
                out.append(static_cast<std::size_t>(exponent + 1 - nd), '0');
            } else {
                out.append(digits, 0, static_cast<std::size_t>(exponent + 1));
                out += '.';
                out.append(digits, static_cast<std::size_t>(exponent + 1), std::string::npos);
            }
        } else {
            out += "0.";
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        }
        return out;
    }
    out += digits[0];
    if (nd > 1) {
        out += '.';
        out.append(digits, 1, std::string::npos);
    }
    out += 'E';
    if (exponent < 0) out += '-';
    out += std::to_string(exponent < 0 ? -exponent : exponent);
    return out;
}

MyAnsiString SLFormatFloat(std::string_view Format, double Value) {
    if (Format.empty() || std::isnan(Value) || std::isinf(Value)) return SLFloatToStrGeneral(Value);
    return FormatFloat(Format, Value);
}

MyAnsiString SLFloatToStr(double Value) {
    const MyAnsiString& format = FloatFormatString();
    return format.empty() ? SLFloatToStrGeneral(Value) : SLFormatFloat(format, Value);
}

const MyAnsiString& TSLNumber::GetFloatFormatString() { return FloatFormatString(); }
void TSLNumber::SetFloatFormatString(const MyAnsiString& Format) { FloatFormatString() = Format; }

// ---------------------------------------------------------------- TSLLongint

void TSLLongint::SetDoubleValue(double Value) {
    const double r = std::nearbyint(Value); // the default rounding mode: halves to even
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
        throw EConvertError(std::string(ClassName()) + ".SetDoubleValue: can't convert " +
                            SLFloatToStrGeneral(Value) + " to integer value");
    FLongintValue = static_cast<int64_t>(r);
}

MyAnsiString TSLLongint::GetStringValue() const { return std::to_string(FLongintValue); }

void TSLLongint::SetStringValue(std::string_view Value) { FLongintValue = SLStrToInt64(Value); }

void TSLLongint::Encode(TEncoderInterface& Encoder) { Encoder.EncodeLongint(FLongintValue); }

void TSLLongint::AssignObject(const TSLObject* Obj) { FLongintValue = SLCast<TSLLongint>(Obj)->FLongintValue; }

TRef<TSLObject> TSLLongint::CopyRef() const { return MakeRef<TSLLongint>(FLongintValue); }

TSLLongint* TSLLongint::CopyLongint() const { return static_cast<TSLLongint*>(CopyObject()); }

bool TSLLongint::IsEqual(const TSLObject* Obj) const {
    if (auto* l = dynamic_cast<const TSLLongint*>(Obj)) return l->FLongintValue == FLongintValue;
    if (auto* d = dynamic_cast<const TSLDouble*>(Obj)) {
        // A double compares by its truncated value; one that has no integer
        // value (NaN, out of range) equals no integer.
        const double t = std::trunc(d->GetDoubleValue());
        if (!(t >= -9223372036854775808.0 && t < 9223372036854775808.0)) return false;
        return static_cast<int64_t>(t) == FLongintValue;
    }
    return false;
}

// ---------------------------------------------------------------- TSLDouble

int64_t TSLDouble::GetLongintValue() const {
    const double t = std::trunc(FDoubleValue);
    if (!(t >= -9223372036854775808.0 && t < 9223372036854775808.0))
        throw EConvertError(std::string(ClassName()) + ".GetLongintValue: can't convert " +
                            SLFloatToStrGeneral(FDoubleValue) + " to integer value");
    return static_cast<int64_t>(t);
}

void TSLDouble::Encode(TEncoderInterface& Encoder) { Encoder.EncodeDouble(FDoubleValue); }

void TSLDouble::AssignObject(const TSLObject* Obj) { FDoubleValue = SLCast<TSLDouble>(Obj)->FDoubleValue; }

TRef<TSLObject> TSLDouble::CopyRef() const { return MakeRef<TSLDouble>(FDoubleValue); }

TSLDouble* TSLDouble::CopyDouble() const { return static_cast<TSLDouble*>(CopyObject()); }

bool TSLDouble::IsEqual(const TSLObject* Obj) const {
    if (auto* d = dynamic_cast<const TSLDouble*>(Obj)) return d->FDoubleValue == FDoubleValue;
    if (auto* l = dynamic_cast<const TSLLongint*>(Obj)) return l->GetDoubleValue() == FDoubleValue;
    return false;
}

// ---------------------------------------------------------------- TSLString

void TSLString::SetLongintValue(int64_t Value) { FStringValue = std::to_string(Value); }

bool TSLString::GetBooleanValue() const {
    if (AsciiEqualsUpper(FStringValue, "TRUE")) return true;
    if (AsciiEqualsUpper(FStringValue, "FALSE")) return false;
    throw Exception(std::string(ClassName()) + ".GetBooleanValue: can't convert '" + FStringValue +
                    "' to boolean value");
}

void TSLString::Encode(TEncoderInterface& Encoder) { Encoder.EncodeString(FStringValue); }

void TSLString::AssignObject(const TSLObject* Obj) {
    const TSLString* s = SLCast<TSLString>(Obj);
    if (s != this) FStringValue = s->FStringValue;
}

TRef<TSLObject> TSLString::CopyRef() const { return MakeRef<TSLString>(FStringValue); }

TSLString* TSLString::CopyString() const { return static_cast<TSLString*>(CopyObject()); }

bool TSLString::IsEqual(const TSLObject* Obj) const {
    auto* s = dynamic_cast<const TSLString*>(Obj);
    return s != nullptr && s->FStringValue == FStringValue;
}

// ---------------------------------------------------------------- TSLBoolean

void TSLBoolean::SetStringValue(std::string_view Value) {
    if (AsciiEqualsUpper(Value, "TRUE"))
        FBooleanValue = true;
    else if (AsciiEqualsUpper(Value, "FALSE"))
        FBooleanValue = false;
    else
        throw Exception(std::string(ClassName()) + ".SetStringValue: wrong value: " + std::string(Value));
}

void TSLBoolean::Encode(TEncoderInterface& Encoder) { Encoder.EncodeBoolean(FBooleanValue); }

void TSLBoolean::AssignObject(const TSLObject* Obj) { FBooleanValue = SLCast<TSLBoolean>(Obj)->FBooleanValue; }

TRef<TSLObject> TSLBoolean::CopyRef() const { return MakeRef<TSLBoolean>(FBooleanValue); }

TSLBoolean* TSLBoolean::CopyBoolean() const { return static_cast<TSLBoolean*>(CopyObject()); }

bool TSLBoolean::IsEqual(const TSLObject* Obj) const {
    auto* b = dynamic_cast<const TSLBoolean*>(Obj);
    return b != nullptr && b->FBooleanValue == FBooleanValue;
}

// ---------------------------------------------------------------- TSLIdent

void TSLIdent::Encode(TEncoderInterface& Encoder) { Encoder.EncodeIdent(FIdentValue, GetExecutable()); }

void TSLIdent::AssignObject(const TSLObject* Obj) {
    const TSLIdent* i = SLCast<TSLIdent>(Obj);
    if (i != this) FIdentValue = i->FIdentValue;
}

TRef<TSLObject> TSLIdent::CopyRef() const { return MakeRef<TSLIdent>(FIdentValue, FExecutable); }

TSLIdent* TSLIdent::CopyIdent() const { return static_cast<TSLIdent*>(CopyObject()); }

bool TSLIdent::IsEqual(const TSLObject* Obj) const {
    auto* i = dynamic_cast<const TSLIdent*>(Obj);
    return i != nullptr && i->FIdentValue == FIdentValue;
}

} // namespace vo
