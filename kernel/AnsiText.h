#pragma once
// Small text helpers of the kernel's name lists and messages: case-insensitive
// comparison of code-page-1252 strings (letters compare without regard to case,
// including the accented letters of the code page: À..Þ / à..þ, Š/š, Œ/œ, Ž/ž,
// Ÿ/ÿ) and printf-style formatting into an 8-bit string.
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace vo::ansi {

constexpr unsigned char UpCase(unsigned char c) noexcept {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
    switch (c) {
    case 0x9A: return 0x8A; // š
    case 0x9C: return 0x8C; // œ
    case 0x9E: return 0x8E; // ž
    case 0xFF: return 0x9F; // ÿ
    default: return c;
    }
}

// <0, 0, >0 like strcmp, letter case ignored.
inline int CompareText(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = UpCase(static_cast<unsigned char>(a[i]));
        const unsigned char cb = UpCase(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

inline bool SameText(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

// Position of the first occurrence of `what` in `s` at or after `from`, letter
// case ignored; npos when there is none.
inline std::size_t FindText(std::string_view s, std::string_view what, std::size_t from = 0) noexcept {
    if (what.empty()) return from <= s.size() ? from : std::string_view::npos;
    if (s.size() < what.size()) return std::string_view::npos;
    for (std::size_t i = from; i + what.size() <= s.size(); ++i)
        if (SameText(s.substr(i, what.size()), what)) return i;
    return std::string_view::npos;
}

struct TextLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return CompareText(a, b) < 0; }
};

// printf-style formatting of a message text (numbers never depend on the
// locale's decimal separator: the program keeps the "C" locale).
template <class... A>
std::string Fmt(const char* fmt, A... args) {
    const int n = std::snprintf(nullptr, 0, fmt, args...);
    std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) std::snprintf(s.data(), s.size() + 1, fmt, args...);
    return s;
}

} // namespace vo::ansi
