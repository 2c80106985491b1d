#pragma once
// Small helpers of the oscilloscope: little-endian numbers out of a drive's
// reply, and unique names for new oscilloscope items.
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/AnsiString.h"

namespace vo {

// The Len bytes of Data from the 1-based position Pos on, little-endian (the
// byte at Pos least significant), as a 32-bit integer; Pos advances by Len.
// Four bytes with bit 31 set come out negative, fewer bytes never; of longer
// values the low four bytes are kept. Bytes missing from Data raise an
// Exception and leave Pos alone.
std::int32_t StrToVal(std::string_view Data, int& Pos, int Len);

// S without trailing blanks and without a numbering suffix "(<digits>)":
// "Trace (12)" and "Trace(12)" give "Trace", "Trace (x)" stays.
void SearchBaseName(std::string_view S, MyAnsiString& BaseName);

// Makes Name unique against a list: its base name (SearchBaseName; "Untitled"
// for an empty one) when the list lacks it, else the base followed by " (2)",
// " (3)" ... whichever comes first that the list lacks. InList answers
// whether the list holds a name, compared as that list compares.
void ReadjustSettingsName(MyAnsiString& Name, const std::function<bool(const MyAnsiString&)>& InList);
// The same against a list of names compared without regard to case.
void ReadjustSettingsName(MyAnsiString& Name, const std::vector<MyAnsiString>& List);

} // namespace vo
