#include "platform/Cp1252.h"

namespace vo {

namespace {
// 0x80..0x9F; the undefined bytes stand for the C1 control of their number.
constexpr char16_t High[32] = {
    0x20AC,
    0x0081,
    0x201A,
    0x0192,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x02C6,
    0x2030,
    0x0160,
    0x2039,
    0x0152,
    0x008D,
    0x017D,
    0x008F,
    0x0090,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x02DC,
    0x2122,
    0x0161,
    0x203A,
    0x0153,
    0x009D,
    0x017E,
    0x0178,
};

void AppendUtf8(std::string& Out, char32_t C) {
    if (C < 0x80) {
        Out.push_back(static_cast<char>(C));
    } else if (C < 0x800) {
        Out.push_back(static_cast<char>(0xC0 | (C >> 6)));
        Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
    } else if (C < 0x10000) {
        Out.push_back(static_cast<char>(0xE0 | (C >> 12)));
        Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
    } else {
        Out.push_back(static_cast<char>(0xF0 | (C >> 18)));
        Out.push_back(static_cast<char>(0x80 | ((C >> 12) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
    }
}

// Decodes one UTF-8 sequence at Text[I]; advances I. False when malformed
// (I then moves past one byte).
bool DecodeUtf8(std::string_view Text, size_t& I, char32_t& C) {
    const auto b0 = static_cast<unsigned char>(Text[I]);
    if (b0 < 0x80) {
        C = b0;
        ++I;
        return true;
    }
    int len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        C = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        C = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        C = b0 & 0x07;
        min = 0x10000;
    } else {
        ++I;
        return false;
    }
    if (I + static_cast<size_t>(len) > Text.size()) {
        ++I;
        return false;
    }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(Text[I + static_cast<size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++I;
            return false;
        }
        C = (C << 6) | (b & 0x3F);
    }
    if (C < min || C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF)) {
        ++I;
        return false;
    }
    I += static_cast<size_t>(len);
    return true;
}
} // namespace

char32_t Cp1252ToUnicode(unsigned char Byte) noexcept {
    if (Byte >= 0x80 && Byte <= 0x9F)
        return High[Byte - 0x80];
    return Byte;
}

bool UnicodeToCp1252(char32_t CodePoint, unsigned char& Byte) noexcept {
    if (CodePoint < 0x80 || (CodePoint >= 0xA0 && CodePoint <= 0xFF)) {
        Byte = static_cast<unsigned char>(CodePoint);
        return true;
    }
    for (unsigned i = 0; i < 32; ++i) {
        if (High[i] == CodePoint) {
            Byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

std::string Cp1252ToUtf8(std::string_view Text) {
    std::string out;
    out.reserve(Text.size() + Text.size() / 4);
    for (unsigned char c : Text)
        AppendUtf8(out, Cp1252ToUnicode(c));
    return out;
}

MyAnsiString Utf8ToCp1252(std::string_view Text, char Replacement) {
    MyAnsiString out;
    out.reserve(Text.size());
    size_t i = 0;
    while (i < Text.size()) {
        char32_t c;
        unsigned char b;
        if (DecodeUtf8(Text, i, c) && UnicodeToCp1252(c, b))
            out.push_back(static_cast<char>(b));
        else
            out.push_back(Replacement);
    }
    return out;
}

bool IsCp1252Representable(std::string_view Utf8Text) {
    size_t i = 0;
    while (i < Utf8Text.size()) {
        char32_t c;
        unsigned char b;
        if (!DecodeUtf8(Utf8Text, i, c) || !UnicodeToCp1252(c, b))
            return false;
    }
    return true;
}

unsigned char Cp1252UpperCase(unsigned char B) noexcept {
    if (B >= 'a' && B <= 'z')
        return static_cast<unsigned char>(B - 0x20);
    if (B >= 0xE0 && B <= 0xFE && B != 0xF7)
        return static_cast<unsigned char>(B - 0x20);
    switch (B) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return B;
    }
}

MyAnsiString Cp1252UpperCase(std::string_view Text) {
    MyAnsiString out(Text);
    for (auto& c : out)
        c = static_cast<char>(Cp1252UpperCase(static_cast<unsigned char>(c)));
    return out;
}

bool Cp1252SameText(std::string_view A, std::string_view B) noexcept {
    if (A.size() != B.size())
        return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (Cp1252UpperCase(static_cast<unsigned char>(A[i])) != Cp1252UpperCase(static_cast<unsigned char>(B[i])))
            return false;
    return true;
}

} // namespace vo
