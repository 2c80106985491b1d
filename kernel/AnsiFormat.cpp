#include "kernel/AnsiFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/Exception.h"

namespace vo {

namespace {

struct Digits {
    bool negative = false;
    std::string digits; // significant digits, no trailing zeros (at least one)
    int exponent = 0; // value = 0.d1d2d3... * 10^(exponent+1)
};

Digits Decompose(double v, int precision) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", precision - 1, v);
    const std::string s = buf;
    const std::size_t epos = s.find('e');
    Digits d;
    d.exponent = std::atoi(s.c_str() + epos + 1);
    d.negative = s[0] == '-';
    for (std::size_t k = d.negative ? 1 : 0; k < epos; ++k)
        if (s[k] != '.') d.digits.push_back(s[k]);
    while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
    return d;
}

std::string Fixed(double v, int decimals) {
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s = buf;
    if (s == "-0" || (s.rfind("-0.", 0) == 0 && s.find_first_not_of("0.", 1) == std::string::npos)) s.erase(0, 1);
    return s;
}

std::string Thousands(const std::string& fixed) {
    std::size_t start = fixed[0] == '-' ? 1 : 0;
    std::size_t dot = fixed.find('.');
    if (dot == std::string::npos) dot = fixed.size();
    std::string intPart = fixed.substr(start, dot - start);
    std::string grouped;
    for (std::size_t i = 0; i < intPart.size(); ++i) {
        if (i > 0 && (intPart.size() - i) % 3 == 0) grouped.push_back(',');
        grouped.push_back(intPart[i]);
    }
    return fixed.substr(0, start) + grouped + fixed.substr(dot);
}

std::string Scientific(double v, int precision) {
    if (precision < 1) precision = 1;
    if (precision > 18) precision = 18;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", precision - 1, v);
    std::string s = buf;
    const std::size_t epos = s.find('E');
    const int exponent = std::atoi(s.c_str() + epos + 1);
    char ebuf[16];
    std::snprintf(ebuf, sizeof ebuf, "E%c%03d", exponent < 0 ? '-' : '+', exponent < 0 ? -exponent : exponent);
    return s.substr(0, epos) + ebuf;
}

} // namespace

MyAnsiString FloatToStrGeneral(double AValue, int Precision) {
    if (Precision < 1) Precision = 1;
    if (Precision > 18) Precision = 18;
    if (std::isnan(AValue)) return "NAN";
    if (std::isinf(AValue)) return AValue < 0 ? "-INF" : "INF";
    if (AValue == 0.0) return "0";
    const Digits d = Decompose(AValue, Precision);
    std::string out = d.negative ? "-" : "";
    if (d.exponent >= Precision || d.exponent < -5) {
        out.push_back(d.digits[0]);
        if (d.digits.size() > 1) {
            out.push_back('.');
            out.append(d.digits, 1, std::string::npos);
        }
        out += "E" + std::to_string(d.exponent);
    } else if (d.exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
        out += d.digits;
    } else {
        const auto intDigits = static_cast<std::size_t>(d.exponent) + 1;
        if (d.digits.size() <= intDigits) {
            out += d.digits;
            out.append(intDigits - d.digits.size(), '0');
        } else {
            out.append(d.digits, 0, intDigits);
            out.push_back('.');
            out.append(d.digits, intDigits, std::string::npos);
        }
    }
    return out;
}

MyAnsiString FormatText(const MyAnsiString& AFormat, const TFmtArgs& Args) {
    const auto invalid = [&]() {
        return EConvertError("Format '" + AFormat + "' invalid or incompatible with argument");
    };
    const auto missing = [&]() { return EConvertError("No argument for format '" + AFormat + "'"); };

    MyAnsiString out;
    std::size_t argIndex = 0;
    const std::size_t n = AFormat.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = AFormat[i];
        if (c != '%') {
            out.push_back(c);
            ++i;
            continue;
        }
        ++i;
        if (i >= n) throw invalid();
        if (AFormat[i] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        // index ":"
        const auto readNumber = [&](int& value) -> bool {
            if (i < n && AFormat[i] == '*') {
                ++i;
                if (argIndex >= Args.size()) throw missing();
                const std::int64_t* v = Args[argIndex++].Int();
                if (!v) throw invalid();
                value = static_cast<int>(*v);
                return true;
            }
            bool any = false;
            value = 0;
            while (i < n && AFormat[i] >= '0' && AFormat[i] <= '9') {
                value = value * 10 + (AFormat[i++] - '0');
                if (value > 100000) throw invalid();
                any = true;
            }
            return any;
        };
        {
            std::size_t k = i;
            std::size_t index = 0;
            while (k < n && AFormat[k] >= '0' && AFormat[k] <= '9' && index < 100000)
                index = index * 10 + static_cast<std::size_t>(AFormat[k++] - '0');
            if (k > i && k < n && AFormat[k] == ':') {
                argIndex = index;
                i = k + 1;
            }
        }
        bool left = false;
        if (i < n && AFormat[i] == '-') {
            left = true;
            ++i;
        }
        int width = 0;
        readNumber(width);
        if (width < 0) {
            left = true;
            width = -width;
        }
        int precision = -1;
        if (i < n && AFormat[i] == '.') {
            ++i;
            int p = 0;
            readNumber(p);
            precision = p < 0 ? -1 : p;
        }
        if (i >= n) throw invalid();
        const char type = static_cast<char>(AFormat[i] | 0x20); // lower case
        ++i;
        if (argIndex >= Args.size()) throw missing();
        const TFmtArg& arg = Args[argIndex++];

        std::string text;
        switch (type) {
        case 'd':
        case 'u':
        case 'x': {
            const std::int64_t* v = arg.Int();
            if (!v) throw invalid();
            std::int64_t value = *v;
            bool negative = false;
            std::uint64_t magnitude;
            if (type == 'd') {
                negative = value < 0;
                magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
            } else if (value < 0 && value >= INT32_MIN) {
                magnitude = static_cast<std::uint32_t>(static_cast<std::int32_t>(value)); // 32-bit pattern
            } else {
                magnitude = static_cast<std::uint64_t>(value);
            }
            char buf[32];
            std::snprintf(buf, sizeof buf, type == 'x' ? "%llX" : "%llu", static_cast<unsigned long long>(magnitude));
            text = buf;
            if (precision > static_cast<int>(text.size())) text.insert(0, precision - text.size(), '0');
            if (negative) text.insert(0, 1, '-');
            break;
        }
        case 's': {
            const MyAnsiString* v = arg.Str();
            if (!v) throw invalid();
            text = precision >= 0 && static_cast<std::size_t>(precision) < v->size() ? v->substr(0, precision) : *v;
            break;
        }
        case 'f':
        case 'n':
        case 'e':
        case 'g': {
            const double* v = arg.Float();
            if (!v) throw invalid();
            if (!std::isfinite(*v)) {
                text = FloatToStrGeneral(*v);
            } else if (type == 'f') {
                text = Fixed(*v, precision < 0 ? 2 : std::min(precision, 18));
            } else if (type == 'n') {
                text = Thousands(Fixed(*v, precision < 0 ? 2 : std::min(precision, 18)));
            } else if (type == 'e') {
                text = Scientific(*v, precision < 0 ? 15 : precision);
            } else {
                text = FloatToStrGeneral(*v, precision < 0 ? 15 : precision);
            }
            break;
        }
        default:
            throw invalid();
        }
        if (static_cast<int>(text.size()) < width) {
            if (left)
                text.append(width - text.size(), ' ');
            else
                text.insert(0, width - text.size(), ' ');
        }
        out += text;
    }
    return out;
}

namespace {

// One section of a picture format, analysed.
struct TPicture {
    std::string Prefix, Suffix; // literal text before the first and after the last placeholder
    int MinInt = 0; // "0" before the point
    int MaxDec = 0; // placeholders after the point
    int MinDec = 0; // up to the last "0" after the point
    bool Thousands = false;
    bool Scientific = false;
    bool ExpAlwaysSign = false;
    char ExpChar = 'E';
    int ExpDigits = 0;
    int IntPlaceholders = 0;
};

TPicture AnalysePicture(std::string_view Section) {
    TPicture p;
    bool seenPlaceholder = false, afterPoint = false, done = false;
    std::string* lit = &p.Prefix;
    for (std::size_t i = 0; i < Section.size(); ++i) {
        const char c = Section[i];
        if (c == '"' || c == '\'') {
            const std::size_t close = Section.find(c, i + 1);
            const std::size_t stop = close == std::string_view::npos ? Section.size() : close;
            lit->append(Section.substr(i + 1, stop - i - 1));
            i = stop;
            continue;
        }
        if (!done && (c == '0' || c == '#')) {
            seenPlaceholder = true;
            lit = &p.Suffix;
            if (afterPoint) {
                ++p.MaxDec;
                if (c == '0') p.MinDec = p.MaxDec;
            } else {
                ++p.IntPlaceholders;
                if (c == '0') ++p.MinInt;
            }
            continue;
        }
        if (!done && c == '.' && !afterPoint) {
            afterPoint = true;
            lit = &p.Suffix;
            continue;
        }
        if (!done && c == ',') {
            p.Thousands = true;
            continue;
        }
        if (!done && seenPlaceholder && (c == 'E' || c == 'e') && i + 1 < Section.size() &&
            (Section[i + 1] == '+' || Section[i + 1] == '-')) {
            p.Scientific = true;
            p.ExpChar = c;
            p.ExpAlwaysSign = Section[i + 1] == '+';
            i += 2;
            while (i < Section.size() && Section[i] == '0' && p.ExpDigits < 4) ++p.ExpDigits, ++i;
            --i;
            done = true;
            continue;
        }
        lit->push_back(c);
    }
    return p;
}

std::string GroupThousands(const std::string& Int) {
    std::string out;
    const std::size_t n = Int.size();
    for (std::size_t i = 0; i < n; ++i) {
        out += Int[i];
        const std::size_t left = n - 1 - i;
        if (left > 0 && left % 3 == 0) out += ',';
    }
    return out;
}

std::string FormatSection(const TPicture& p, double Abs) {
    std::string intPart, frac, exp;
    char buf[400];
    if (p.Scientific) {
        const int intDigits = p.IntPlaceholders > 0 ? p.IntPlaceholders : 1;
        const auto res = std::to_chars(buf, buf + sizeof buf, Abs, std::chars_format::scientific,
                                       intDigits - 1 + p.MaxDec);
        std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
        const std::size_t ePos = sci.find('e');
        std::string digits;
        for (char c : sci.substr(0, ePos))
            if (c != '.') digits += c;
        int e = 0;
        std::from_chars(sci.data() + ePos + 1 + (sci[ePos + 1] == '+' ? 1 : 0), sci.data() + sci.size(), e);
        if (Abs != 0.0) e -= intDigits - 1;
        intPart = digits.substr(0, static_cast<std::size_t>(intDigits));
        frac = digits.substr(static_cast<std::size_t>(intDigits));
        exp += p.ExpChar;
        if (e < 0)
            exp += '-';
        else if (p.ExpAlwaysSign)
            exp += '+';
        std::string ed = std::to_string(e < 0 ? -e : e);
        if (static_cast<int>(ed.size()) < p.ExpDigits) ed.insert(0, static_cast<std::size_t>(p.ExpDigits) - ed.size(), '0');
        exp += ed;
    } else {
        const auto res = std::to_chars(buf, buf + sizeof buf, Abs, std::chars_format::fixed, p.MaxDec);
        std::string_view fix(buf, static_cast<std::size_t>(res.ptr - buf));
        const std::size_t dot = fix.find('.');
        intPart = std::string(fix.substr(0, dot));
        if (dot != std::string_view::npos) frac = std::string(fix.substr(dot + 1));
        if (intPart == "0") intPart.clear();
        if (static_cast<int>(intPart.size()) < p.MinInt)
            intPart.insert(0, static_cast<std::size_t>(p.MinInt) - intPart.size(), '0');
        if (p.Thousands) intPart = GroupThousands(intPart);
    }
    while (static_cast<int>(frac.size()) > p.MinDec && frac.back() == '0') frac.pop_back();
    std::string out = p.Prefix + intPart;
    if (!frac.empty()) out += '.' + frac;
    out += exp;
    out += p.Suffix;
    return out;
}

} // namespace

MyAnsiString FormatFloat(std::string_view Format, double Value) {
    if (Format.empty() || std::isnan(Value) || std::isinf(Value)) return FloatToStrGeneral(Value);
    std::string_view sections[3];
    int count = 0;
    std::size_t start = 0;
    char quote = 0;
    for (std::size_t i = 0; i <= Format.size() && count < 3; ++i) {
        if (i < Format.size() && quote) {
            if (Format[i] == quote) quote = 0;
            continue;
        }
        if (i < Format.size() && (Format[i] == '"' || Format[i] == '\'')) {
            quote = Format[i];
            continue;
        }
        if (i == Format.size() || Format[i] == ';') {
            sections[count++] = Format.substr(start, i - start);
            start = i + 1;
        }
    }
    if (Value == 0.0 && count >= 3 && !sections[2].empty()) return FormatSection(AnalysePicture(sections[2]), 0.0);
    if (Value < 0.0) {
        if (count >= 2 && !sections[1].empty()) return FormatSection(AnalysePicture(sections[1]), -Value);
        return "-" + FormatSection(AnalysePicture(sections[0]), -Value);
    }
    return FormatSection(AnalysePicture(sections[0]), Value);
}

} // namespace vo
