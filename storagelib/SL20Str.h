#pragma once
// Integer texts in any base from 2 to 36 and in a given symbol alphabet, and
// filling of texts to a width (the radix texts of "cvri", "cvrs", "cvrli",
// "cvrls", "pad" and "padr").
//
// Digits are "0" to "9" then "A" to "Z"; letters are read in either case.
// Conversions wrap around modulo 2^64 like all integer arithmetic of the
// script language. Every failure raises vo::Exception with the texts below.
#include <cstdint>
#include <string_view>

#include "platform/AnsiString.h"

namespace vo {

// The 35-symbol alphabet of "cvrli" and "cvrls": digits and capitals without O.
inline constexpr std::string_view SLCharArray35 = "0123456789ABCDEFGHIJKLMNPQRSTUVWXYZ";

// Value in Base (2 to 36, else "IntToStrBaseX: Base must between 2 and 36"),
// a leading "-" for negative values, "0" for zero. The smallest 64-bit value
// has no positive counterpart and raises "IntToStrBaseX: Value out of range".
MyAnsiString IntToStrBaseX(int32_t Base, int64_t Value);
// The inverse: an optional leading "-", then digits valid for Base ("StrBaseXToInt:
// Invalid AnsiChar '%s' in MyAnsiString" otherwise; characters that are no
// digit at all fail in Char36ToInt). The base is not range-checked. A lone
// "-" gives 0; the empty text raises "StrBaseXToInt: Empty MyAnsiString".
int64_t StrBaseXToInt(std::string_view Text, int32_t Base);
// Value in base = the number of Symbols (at least 2), digit d written as
// Symbols[d], a leading "-" for negative values; the smallest 64-bit value
// raises "IntToStrChArr: Value out of range".
MyAnsiString IntToStrChArr(std::string_view Symbols, int64_t Value);
// The inverse; symbols compare case-sensitively ("StrChArrToInt: Invalid
// AnsiChar '%s' in MyAnsiString"); the empty text raises "StrChArrToInt:
// Empty MyAnsiString".
int64_t StrChArrToInt(std::string_view Text, std::string_view Symbols);
// Text preceded (Leading) or followed (Trailing) by Fill up to Width
// characters; a text of Width characters or more comes back unchanged.
MyAnsiString AddLeadingChars(std::string_view Text, int32_t Width, char Fill);
MyAnsiString AddTrailingChars(std::string_view Text, int32_t Width, char Fill);
// 0 to 9 give "0" to "9", 10 to 35 "A" to "Z".
char IntToChar36(int32_t Digit);
// "0"-"9" give 0-9, "A"-"Z" and "a"-"z" 10-35; anything else raises
// "Char36ToInt: Value has to be '0'..'9', 'A'..'Z' or 'a'..'z'".
int32_t Char36ToInt(char C);
// Char36ToInt(C) < Base (raising like Char36ToInt for other characters).
bool IsCharValidForBase(char C, int32_t Base);
bool IsCharInArray(char C, std::string_view Symbols) noexcept;
// The position of C among Symbols; "ChArrToInt: Value not in array" otherwise.
int32_t CharrToInt(char C, std::string_view Symbols);
// 1 multiplied Exponent times by Base, wrapping; 1 for an exponent <= 0.
int64_t IntIntPower(int32_t Base, int32_t Exponent) noexcept;

} // namespace vo
