#pragma once
// Formatting of texts whose format string comes from data (language texts and
// the like): "%" [index ":"] ["-"] [width] ["." precision] type, with the types
// d (decimal), u (unsigned), x (hexadecimal, upper case), s (text), f (fixed),
// e (scientific), g (general), n (fixed with "," thousands separators) and
// "%%". Width and precision may be "*" (taken from the next argument).
// Numbers always use "." as the decimal separator. A format that does not fit
// its arguments raises EConvertError "Format '%s' invalid or incompatible with
// argument" (or "No argument for format '%s'").
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/AnsiString.h"

namespace vo {

// One argument of FormatText: an integer, a floating-point number or a text.
class TFmtArg {
public:
    TFmtArg(int v) : FValue(static_cast<std::int64_t>(v)) {}
    TFmtArg(long v) : FValue(static_cast<std::int64_t>(v)) {}
    TFmtArg(long long v) : FValue(static_cast<std::int64_t>(v)) {}
    TFmtArg(unsigned v) : FValue(static_cast<std::int64_t>(v)) {}
    TFmtArg(unsigned long v) : FValue(static_cast<std::int64_t>(v)) {}
    TFmtArg(unsigned long long v) : FValue(static_cast<std::int64_t>(v)) {}
    TFmtArg(double v) : FValue(v) {}
    TFmtArg(const char* v) : FValue(MyAnsiString(v ? v : "")) {}
    TFmtArg(MyAnsiString v) : FValue(std::move(v)) {}

    const std::int64_t* Int() const noexcept { return std::get_if<std::int64_t>(&FValue); }
    const double* Float() const noexcept { return std::get_if<double>(&FValue); }
    const MyAnsiString* Str() const noexcept { return std::get_if<MyAnsiString>(&FValue); }

private:
    std::variant<std::int64_t, double, MyAnsiString> FValue;
};

using TFmtArgs = std::vector<TFmtArg>;

MyAnsiString FormatText(const MyAnsiString& AFormat, const TFmtArgs& Args);

// Floating-point value in general format with `Precision` significant digits:
// fixed notation unless the exponent is at least `Precision` or below -5, then
// "d.dddE[-]x" ("1.5", "0.1", "1E20", "-2.5E-7"); "NAN", "INF", "-INF".
MyAnsiString FloatToStrGeneral(double AValue, int Precision = 15);

// Floating-point value by a picture format: "0" a digit always shown, "#" a
// digit shown when significant, "." the decimal point (always "."), ","
// thousands separators, "E+00" / "E-00" scientific notation, quoted literal
// text, and up to three sections separated by ";" (positive; negative; zero).
// "0.###" gives "1.235" for 1.23456 and "2" for 2. An empty format, NaN and
// the infinities give FloatToStrGeneral.
MyAnsiString FormatFloat(std::string_view Format, double Value);

} // namespace vo
