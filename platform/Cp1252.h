#pragma once
// Code page 1252 <-> UTF-8 at the GUI and file-name boundary. The model keeps
// MyAnsiString (CP1252 bytes); Qt and the file system speak UTF-8.
//
// The five bytes that code page 1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the control characters of the same number, as Windows
// maps them, so every byte string survives a round trip.
#include "platform/AnsiString.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vo {

// The Unicode code point of a CP1252 byte.
char32_t Cp1252ToUnicode(unsigned char Byte) noexcept;
// The CP1252 byte of a code point; false when code page 1252 has none.
bool UnicodeToCp1252(char32_t CodePoint, unsigned char& Byte) noexcept;

std::string Cp1252ToUtf8(std::string_view Text);
// Characters without a CP1252 byte, and malformed UTF-8, become Replacement.
MyAnsiString Utf8ToCp1252(std::string_view Text, char Replacement = '?');
// True when Text converts without replacements.
bool IsCp1252Representable(std::string_view Utf8Text);

// Upper case of a CP1252 byte (letters of code page 1252, as file names on
// Windows compare): a-z, the accented letters 0xE0-0xFE (not 0xF7), and
// 0x9A/0x9C/0x9E/0xFF to 0x8A/0x8C/0x8E/0x9F.
unsigned char Cp1252UpperCase(unsigned char Byte) noexcept;
MyAnsiString Cp1252UpperCase(std::string_view Text);
// Case-insensitive equality of two CP1252 strings.
bool Cp1252SameText(std::string_view A, std::string_view B) noexcept;

} // namespace vo
