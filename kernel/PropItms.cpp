#include "kernel/PropItms.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "kernel/AnsiFormat.h"
#include "platform/Exception.h"

namespace vo {

using ansi::Fmt;

template <class TGet, class TSet>
void TBoundProperty<TGet, TSet>::CheckWriteAccess() const {
    if (!FOnSetProp)
        throw Exception(Fmt("Property Access Error for '%s': no write access function defined", Name().c_str()));
}

template <class TGet, class TSet>
void TBoundProperty<TGet, TSet>::CheckReadAccess() const {
    if (!FOnGetProp)
        throw Exception(Fmt("Property Access Error for '%s': no read access function defined", Name().c_str()));
}

template class TBoundProperty<TGetString, TSetString>;
template class TBoundProperty<TGetLongint, TSetLongint>;
template class TBoundProperty<TGetDouble, TSetDouble>;

// --- conversions ----------------------------------------------------------

std::int32_t PropStrToInt(const MyAnsiString& AStr) {
    const auto fail = [&]() -> EConvertError {
        return EConvertError(Fmt("'%s' is not a valid integer value", AStr.c_str()));
    };
    std::size_t i = 0;
    while (i < AStr.size() && AStr[i] == ' ') ++i;
    bool negative = false;
    if (i < AStr.size() && (AStr[i] == '+' || AStr[i] == '-')) negative = AStr[i++] == '-';
    int base = 10;
    if (i < AStr.size() && AStr[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < AStr.size() && AStr[i] == '0' && (AStr[i + 1] == 'x' || AStr[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= AStr.size()) throw fail();
    std::uint64_t value = 0;
    const char* first = AStr.data() + i;
    const char* last = AStr.data() + AStr.size();
    const auto res = std::from_chars(first, last, value, base);
    if (res.ec != std::errc() || res.ptr != last) throw fail();
    if (base == 16) {
        // Hexadecimal texts cover the whole 32-bit pattern ("$FFFFFFFF" = -1).
        if (value > 0xFFFFFFFFull) throw fail();
        auto bits = static_cast<std::uint32_t>(value);
        if (negative) bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }
    const std::uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
    if (value > limit) throw fail();
    return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(value)) : static_cast<std::int32_t>(value);
}

double PropStrToFloat(const MyAnsiString& AStr) {
    const auto fail = [&]() -> EConvertError {
        return EConvertError(Fmt("'%s' is not a valid floating point value", AStr.c_str()));
    };
    // Accepted: blanks, sign, digits with at most one ".", optional exponent
    // "E"/"e" with sign and digits, blanks. Nothing else (no "INF", "NAN", no
    // thousands separators, no ","), whatever the locale says.
    std::size_t i = 0;
    const std::size_t n = AStr.size();
    while (i < n && AStr[i] == ' ') ++i;
    std::string clean;
    if (i < n && (AStr[i] == '+' || AStr[i] == '-')) {
        if (AStr[i] == '-') clean.push_back('-');
        ++i;
    }
    bool digits = false;
    while (i < n && AStr[i] >= '0' && AStr[i] <= '9') {
        clean.push_back(AStr[i++]);
        digits = true;
    }
    if (i < n && AStr[i] == '.') {
        clean.push_back(AStr[i++]);
        while (i < n && AStr[i] >= '0' && AStr[i] <= '9') {
            clean.push_back(AStr[i++]);
            digits = true;
        }
    }
    if (!digits) throw fail();
    if (i < n && (AStr[i] == 'E' || AStr[i] == 'e')) {
        clean.push_back('e');
        ++i;
        if (i < n && (AStr[i] == '+' || AStr[i] == '-')) clean.push_back(AStr[i++]);
        bool expDigits = false;
        while (i < n && AStr[i] >= '0' && AStr[i] <= '9') {
            clean.push_back(AStr[i++]);
            expDigits = true;
        }
        if (!expDigits) throw fail();
    }
    while (i < n && AStr[i] == ' ') ++i;
    if (i != n) throw fail();
    double value = 0.0;
    const auto res = std::from_chars(clean.data(), clean.data() + clean.size(), value);
    if (res.ec != std::errc() || res.ptr != clean.data() + clean.size() || !std::isfinite(value)) throw fail();
    return value;
}

MyAnsiString PropFloatToStr(double AValue) {
    return FloatToStrGeneral(AValue, 15);
}

// --- items ----------------------------------------------------------------

void TStringProperty::SetValue(TObject* AObj, const MyAnsiString& AStr) {
    CheckWriteAccess();
    if (FMaxSize > 0 && AStr.size() > static_cast<std::size_t>(FMaxSize))
        throw Exception(Fmt("Property Value Error for '%s': MyAnsiString max size is %d AnsiCharacters",
                            Name().c_str(), FMaxSize));
    FOnSetProp(AObj, FId, AStr);
}

MyAnsiString TStringProperty::GetValue(TObject* AObj) const {
    CheckReadAccess();
    return FOnGetProp(AObj, FId);
}

void TLongintProperty::SetValue(TObject* AObj, const MyAnsiString& AStr) {
    CheckWriteAccess();
    FOnSetProp(AObj, FId, PropStrToInt(AStr));
}

MyAnsiString TLongintProperty::GetValue(TObject* AObj) const {
    CheckReadAccess();
    return std::to_string(FOnGetProp(AObj, FId));
}

void TDoubleProperty::SetValue(TObject* AObj, const MyAnsiString& AStr) {
    CheckWriteAccess();
    FOnSetProp(AObj, FId, PropStrToFloat(AStr));
}

MyAnsiString TDoubleProperty::GetValue(TObject* AObj) const {
    CheckReadAccess();
    return PropFloatToStr(FOnGetProp(AObj, FId));
}

} // namespace vo
