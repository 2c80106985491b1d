#include "parameters/DatTypes.h"

#include "platform/Exception.h"
#include "storagelib/SL20Col.h"
#include "storagelib/SL20Elm.h"

#include <array>

namespace vo {

namespace {

constexpr std::array<const char*, 4> UnitSystemStr{"SI", "Metric", "English", "Imperial"};
constexpr std::array<const char*, 8> DataTypeStr{"SINT8", "UINT8", "SINT16", "UINT16",
                                                 "SINT32", "UINT32", "VELFLOAT", "FLOATIEEE754"};

} // namespace

const char* UnitSystemToStr(TUnitSystem US) {
    const auto i = static_cast<std::size_t>(US);
    return i < UnitSystemStr.size() ? UnitSystemStr[i] : "";
}

TUnitSystem StrToUnitSystem(const MyAnsiString& Text) {
    for (std::size_t i = 0; i < UnitSystemStr.size(); ++i)
        if (Text == UnitSystemStr[i])
            return static_cast<TUnitSystem>(i);
    throw Exception("StrToUnitSystem: unit system with ID '" + Text + "' not found");
}

double GetNumberWithName(const TSLNamedCollection& Coll, std::string_view AName) {
    return SLCast<TSLNumber>(Coll.GetObjWithName(AName))->GetDoubleValue();
}

const char* DataTypeName(TDataType Type) {
    const auto i = static_cast<std::size_t>(Type);
    return i < DataTypeStr.size() ? DataTypeStr[i] : "";
}

} // namespace vo
