#include "kernel/AnsiFormat.h"

#include <algorithm>
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

} // namespace vo
