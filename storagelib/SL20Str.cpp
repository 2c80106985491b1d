#include "storagelib/SL20Str.h"

#include <limits>
#include <string>

#include "platform/Exception.h"

namespace vo {

namespace {

int64_t Wrap(uint64_t V) noexcept { return static_cast<int64_t>(V); }

// Digits of a non-negative value, most significant first, by repeated
// remainder and division from the least significant end.
template <class DigitOf>
MyAnsiString Digits(uint64_t Magnitude, uint64_t Base, bool Negative, DigitOf Digit) {
    MyAnsiString out;
    do {
        out.push_back(Digit(static_cast<int32_t>(Magnitude % Base)));
        Magnitude /= Base;
    } while (Magnitude != 0);
    if (Negative) out.push_back('-');
    return MyAnsiString(out.rbegin(), out.rend());
}

} // namespace

char IntToChar36(int32_t Digit) {
    if (Digit >= 0 && Digit <= 9) return static_cast<char>('0' + Digit);
    if (Digit >= 10 && Digit <= 35) return static_cast<char>('A' + Digit - 10);
    throw Exception("IntToChar36: Value has to be between 0 and 35");
}

int32_t Char36ToInt(char C) {
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'A' && C <= 'Z') return C - 'A' + 10;
    throw Exception("Char36ToInt: Value has to be '0'..'9', 'A'..'Z' or 'a'..'z'");
}

bool IsCharValidForBase(char C, int32_t Base) { return Char36ToInt(C) < Base; }

bool IsCharInArray(char C, std::string_view Symbols) noexcept { return Symbols.find(C) != std::string_view::npos; }

int32_t CharrToInt(char C, std::string_view Symbols) {
    const std::size_t p = Symbols.find(C);
    if (p == std::string_view::npos) throw Exception("ChArrToInt: Value not in array");
    return static_cast<int32_t>(p);
}

int64_t IntIntPower(int32_t Base, int32_t Exponent) noexcept {
    // Squaring gives the same wrapped product as repeated multiplication.
    uint64_t result = 1;
    uint64_t base = static_cast<uint64_t>(static_cast<int64_t>(Base));
    for (uint32_t e = Exponent > 0 ? static_cast<uint32_t>(Exponent) : 0u; e != 0; e >>= 1) {
        if (e & 1u) result *= base;
        base *= base;
    }
    return Wrap(result);
}

MyAnsiString IntToStrBaseX(int32_t Base, int64_t Value) {
    if (Base < 2 || Base > 36) throw Exception("IntToStrBaseX: Base must between 2 and 36");
    if (Value == std::numeric_limits<int64_t>::min()) throw Exception("IntToStrBaseX: Value out of range");
    const bool negative = Value < 0;
    const uint64_t magnitude = static_cast<uint64_t>(negative ? -Value : Value);
    return Digits(magnitude, static_cast<uint64_t>(Base), negative, [](int32_t d) { return IntToChar36(d); });
}

MyAnsiString IntToStrChArr(std::string_view Symbols, int64_t Value) {
    if (Symbols.size() < 2) throw Exception("IntToStrChArr: at least two symbols needed");
    if (Value == std::numeric_limits<int64_t>::min()) throw Exception("IntToStrChArr: Value out of range");
    const bool negative = Value < 0;
    const uint64_t magnitude = static_cast<uint64_t>(negative ? -Value : Value);
    return Digits(magnitude, Symbols.size(), negative,
                  [Symbols](int32_t d) { return Symbols[static_cast<std::size_t>(d)]; });
}

int64_t StrBaseXToInt(std::string_view Text, int32_t Base) {
    if (Text.empty()) throw Exception("StrBaseXToInt: Empty MyAnsiString");
    const bool negative = Text.front() == '-';
    if (negative) Text.remove_prefix(1);
    // Horner's rule gives the same wrapped sum as digit times base power.
    const uint64_t base = static_cast<uint64_t>(static_cast<int64_t>(Base));
    uint64_t value = 0;
    for (char c : Text) {
        if (!IsCharValidForBase(c, Base))
            throw Exception("StrBaseXToInt: Invalid AnsiChar '" + std::string(1, c) + "' in MyAnsiString");
        value = value * base + static_cast<uint64_t>(Char36ToInt(c));
    }
    return Wrap(negative ? 0u - value : value);
}

int64_t StrChArrToInt(std::string_view Text, std::string_view Symbols) {
    if (Text.empty()) throw Exception("StrChArrToInt: Empty MyAnsiString");
    const bool negative = Text.front() == '-';
    if (negative) Text.remove_prefix(1);
    const uint64_t base = Symbols.size();
    uint64_t value = 0;
    for (char c : Text) {
        if (!IsCharInArray(c, Symbols))
            throw Exception("StrChArrToInt: Invalid AnsiChar '" + std::string(1, c) + "' in MyAnsiString");
        value = value * base + static_cast<uint64_t>(CharrToInt(c, Symbols));
    }
    return Wrap(negative ? 0u - value : value);
}

MyAnsiString AddLeadingChars(std::string_view Text, int32_t Width, char Fill) {
    MyAnsiString out;
    if (Width > 0 && Text.size() < static_cast<std::size_t>(Width))
        out.assign(static_cast<std::size_t>(Width) - Text.size(), Fill);
    out.append(Text);
    return out;
}

MyAnsiString AddTrailingChars(std::string_view Text, int32_t Width, char Fill) {
    MyAnsiString out(Text);
    if (Width > 0 && Text.size() < static_cast<std::size_t>(Width))
        out.append(static_cast<std::size_t>(Width) - Text.size(), Fill);
    return out;
}

} // namespace vo
