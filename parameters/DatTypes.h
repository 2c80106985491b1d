#pragma once
// Shared small types of the parameter and variable model: the unit systems,
// the drive data types, the value of a parameter as shown, the unit facts of
// one unit system and the memory address pair of a parameter.
#include <cstdint>
#include <string_view>

#include "platform/AnsiString.h"

namespace vo {

class TSLNamedCollection;

// A number of a description or settings entry, written as an integer or a
// real; the entry's "not found" error for a missing name, the invalid-cast
// error for another kind of value.
double GetNumberWithName(const TSLNamedCollection& Coll, std::string_view AName);

// The four unit systems. Device units carry columns for SI, Metric and
// Imperial; English shows raw values without conversion and without a unit.
enum class TUnitSystem : std::uint8_t { usSI,
                                        usMetric,
                                        usEnglish,
                                        usImperial };
using enum TUnitSystem;

// "SI", "Metric", "English", "Imperial".
const char* UnitSystemToStr(TUnitSystem US);
// The exact (case-sensitive) name; any other text raises
// "StrToUnitSystem: unit system with ID '<text>' not found".
TUnitSystem StrToUnitSystem(const MyAnsiString& Text);

// Drive data types and their names "SINT8" .. "FLOATIEEE754".
enum class TDataType : std::uint8_t { dtSInt8,
                                      dtUInt8,
                                      dtSInt16,
                                      dtUInt16,
                                      dtSInt32,
                                      dtUInt32,
                                      dtVelFloat32,
                                      dtFloat32 };
using enum TDataType;

const char* DataTypeName(TDataType Type);

// A value as shown: the formatted value (at most 64 characters) and the unit
// caption (at most 31 characters, empty for types without a unit).
struct TValueRec {
    MyAnsiString ValueStr;
    MyAnsiString UnitStr;
};

inline constexpr std::size_t ValueStrMax = 64;
inline constexpr std::size_t UnitStrMax = 31;

// The caption, offset and scale of one unit system's column.
struct TUnitInfo {
    MyAnsiString Caption;
    double Offset = 0.0;
    double Scale = 1.0;
};

// RAM and ROM address of a parameter's value.
struct TParAddr {
    std::int32_t Ram = 0;
    std::int32_t Rom = 0;
};

} // namespace vo
