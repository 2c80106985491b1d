#include "diagnostics/osDataCh.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "kernel/UserPrompt.h"
#include "parameters/VelFloat.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

namespace vo {

namespace {

// A raw value as the integer its type stands for.
std::int64_t IntegerOf(std::int32_t Type, std::int32_t Raw) {
    switch (Type) {
    case osvt::SInt16:
        return Raw > 32767 ? std::int64_t{Raw} - 65536 : Raw;
    case osvt::SInt8:
        return Raw > 127 ? std::int64_t{Raw} - 256 : Raw;
    case osvt::UInt32:
    case osvt::UInt48: // the low four bytes of the sample
        return static_cast<std::uint32_t>(Raw);
    default:
        return Raw;
    }
}

bool IsKnownType(std::int32_t Type) {
    return osvt::IsInteger(Type) || Type == osvt::Bool16 || Type == osvt::Bool || Type == osvt::VelFloat ||
        Type == osvt::FloatIEEE754;
}

// X rounded to the 16 significant bits of the packed float, halves to even.
double RoundToVelFloatPrecision(double X) {
    if (X == 0.0 || !std::isfinite(X)) return X;
    int e = 0;
    const double m = std::frexp(X, &e);
    return std::ldexp(std::nearbyint(std::ldexp(m, 16)), e - 16);
}

// Nearest integer (halves to even) within [Min, Max]; NaN gives 0.
std::int64_t RoundClamped(double X, std::int64_t Min, std::int64_t Max) {
    if (std::isnan(X)) return 0;
    const double r = std::nearbyint(X);
    if (r <= static_cast<double>(Min)) return Min;
    if (r >= static_cast<double>(Max)) return Max;
    return static_cast<std::int64_t>(r);
}

// A key that orders packed floats as their values: 0 for zero, else the
// exponent and the mantissa (whose leading bit is set) above it, signed.
std::int32_t VelFloatOrder(std::int32_t Word) {
    const auto w = static_cast<std::uint32_t>(Word);
    const std::int32_t magnitude = (w & 0x8000u) == 0
        ? 0
        : static_cast<std::int32_t>((((w >> 16) & 0xFFu) ^ 0x80u) << 16 | (w & 0xFFFFu));
    return (w & 0x80000000u) != 0 ? -magnitude : magnitude;
}

} // namespace

TChanData::TChanData() {
    DataArray.SetRowCount(1);
    DataArray.SetColCount(1);
}

TChanData::~TChanData() = default;

void TChanData::IndexOutOfBound() { throw Exception("TChanData.SetData + index out of bound."); }

void TChanData::SetNumberOfValues(int Value) {
    if (Value < 1) throw Exception("TChanData.SetNumberOfValues: NumOfValues must be positiv.");
    if (DataArray.GetRowCount() != 1) DataArray.SetRowCount(1);
    DataArray.SetColCount(Value);
    DataArray.Trim();
}

double TChanData::IntToVelFloat(std::int32_t Raw) noexcept {
    return VelFloatToDouble(static_cast<std::uint32_t>(Raw));
}

void TChanData::ReportUnknownType(const char* Operation) const {
    if (FReportedType == FVarType) return;
    FReportedType = FVarType;
    ShowErrorMessage(std::string("TChanData.") + Operation + ": unknown variable type.");
}

double TChanData::UnknownType() const noexcept {
    try {
        ReportUnknownType("GetData");
    } catch (...) {
        // A message box that cannot be shown does not stop the conversion.
    }
    return 0.0;
}

bool TChanData::MonotonicConversion() const noexcept {
    // A scale of 0 and an offset of -0 leave the sign of a zero result to the
    // sample, which the extremes alone do not tell.
    return std::isfinite(FVarScale) && std::isfinite(FVarOffset) && FVarScale != 0.0 &&
        !(FVarOffset == 0.0 && std::signbit(FVarOffset));
}

void TChanData::GetMaxMin(double& Max, double& Min) const {
    if (FVarType == osvt::Bool16 || FVarType == osvt::Bool) {
        Max = 1.0;
        Min = 0.0;
        return;
    }
    if (!IsKnownType(FVarType)) {
        ReportUnknownType("GetMaxMin");
        return;
    }
    const std::int32_t* d = DataArray.Data();
    const int n = DataArray.GetColCount() * std::min(DataArray.GetRowCount(), 1);
    const TExtended scale = FVarScale, offset = FVarOffset;
    bool any = false;
    TExtended high = 0, low = 0;
    const auto take = [&](TExtended v) {
        if (!std::isfinite(v)) return;
        if (!any) {
            high = low = v;
            any = true;
        } else if (v > high) {
            high = v;
        } else if (v < low) {
            low = v;
        }
    };
    if (osvt::IsInteger(FVarType) && std::isfinite(FVarScale) && std::isfinite(FVarOffset)) {
        // The conversion is linear: the extremes of the integers give those of the values.
        std::int64_t hi = 0, lo = 0;
        const auto extremes = [&](auto Map) {
            auto h = Map(d[0]), l = h;
            for (int i = 1; i < n; ++i) {
                const auto v = Map(d[i]);
                h = std::max(h, v);
                l = std::min(l, v);
            }
            hi = h;
            lo = l;
        };
        if (n > 0) {
            switch (FVarType) {
            case osvt::SInt16:
                extremes([](std::int32_t r) { return r > 32767 ? r - 65536 : r; });
                break;
            case osvt::SInt8:
                extremes([](std::int32_t r) { return r > 127 ? r - 256 : r; });
                break;
            case osvt::UInt32:
            case osvt::UInt48:
                extremes([](std::int32_t r) { return static_cast<std::uint32_t>(r); });
                break;
            default:
                extremes([](std::int32_t r) { return r; });
                break;
            }
            take(static_cast<TExtended>(hi) * scale + offset);
            take(static_cast<TExtended>(lo) * scale + offset);
        }
    } else if (FVarType == osvt::VelFloat && MonotonicConversion()) {
        // The extremes of the packed floats give those of the values.
        if (n > 0) {
            std::int32_t hi = VelFloatOrder(d[0]), lo = hi;
            std::int32_t hiWord = d[0], loWord = d[0];
            for (int i = 1; i < n; ++i) {
                const std::int32_t k = VelFloatOrder(d[i]);
                if (k > hi) {
                    hi = k;
                    hiWord = d[i];
                } else if (k < lo) {
                    lo = k;
                    loWord = d[i];
                }
            }
            take(static_cast<TExtended>(IntToVelFloat(hiWord)) * scale + offset);
            take(static_cast<TExtended>(IntToVelFloat(loWord)) * scale + offset);
        }
    } else if (FVarType == osvt::FloatIEEE754 && MonotonicConversion()) {
        // Likewise for the finite singles; the others give no finite value.
        constexpr float largest = std::numeric_limits<float>::max();
        float hi = -std::numeric_limits<float>::infinity(), lo = std::numeric_limits<float>::infinity();
        for (int i = 0; i < n; ++i) {
            const float x = std::bit_cast<float>(d[i]);
            const bool finite = std::fabs(x) <= largest; // false for NaN
            hi = finite && x > hi ? x : hi;
            lo = finite && x < lo ? x : lo;
        }
        if (hi >= lo) {
            take(static_cast<TExtended>(hi) * scale + offset);
            take(static_cast<TExtended>(lo) * scale + offset);
        }
    } else if (FVarType == osvt::VelFloat) {
        for (int i = 0; i < n; ++i) take(static_cast<TExtended>(IntToVelFloat(d[i])) * scale + offset);
    } else if (FVarType == osvt::FloatIEEE754) {
        for (int i = 0; i < n; ++i) take(static_cast<TExtended>(std::bit_cast<float>(d[i])) * scale + offset);
    } else {
        for (int i = 0; i < n; ++i) take(static_cast<TExtended>(IntegerOf(FVarType, d[i])) * scale + offset);
    }
    Max = any ? static_cast<double>(high) : 0.0;
    Min = any ? static_cast<double>(low) : 0.0;
}

void TChanData::ExportData(TSLDictionary* Dict) const {
    const int n = GetNumberOfValues();
    if (!Dict || n < 1) return;
    const bool known = IsKnownType(FVarType);
    if (!known) ReportUnknownType("GetData");
    TRef<TSLArray> values = MakeRef<TSLArray>();
    values->SetCapacity(n);
    for (int i = 0; i < n; ++i) values->AddObject(MakeRef<TSLDouble>(known ? GetData(i) : 0.0).Get());
    if (Dict->GetNameExists("DataArray")) Dict->DelObjWithName("DataArray");
    Dict->SetObjWithName("DataArray", values.Get());
}

std::int32_t TChanData::Encode(double X) const {
    switch (FVarType) {
    case osvt::Bool16:
        return X != 0.0 ? FBitValue : 0;
    case osvt::Bool:
        return X != 0.0 ? 1 : 0;
    default:
        break;
    }
    if (FVarScale == 0.0) return 0; // every raw value gives the offset
    const double y = (X - FVarOffset) / FVarScale;
    switch (FVarType) {
    case osvt::VelFloat:
        return static_cast<std::int32_t>(DoubleToVelFloat(RoundToVelFloatPrecision(y)));
    case osvt::FloatIEEE754:
        return std::bit_cast<std::int32_t>(static_cast<float>(y));
    case osvt::UInt32:
    case osvt::UInt48:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(RoundClamped(y, 0, UINT32_MAX)));
    case osvt::SInt16:
    case osvt::SInt8: {
        // The raw form the drive sends: a value the conversion lowers by 2^16
        // (2^8) is stored raised by it.
        const std::int64_t wrap = FVarType == osvt::SInt16 ? 65536 : 256;
        const std::int64_t r = RoundClamped(y, INT32_MIN, INT32_MAX - wrap);
        return static_cast<std::int32_t>((r < 0 && r >= -wrap / 2) || r >= wrap / 2 ? r + wrap : r);
    }
    default:
        return static_cast<std::int32_t>(RoundClamped(y, INT32_MIN, INT32_MAX));
    }
}

void TChanData::ImportData(const TSLDictionary* Dict) {
    if (!Dict) return;
    const int at = Dict->GetIndexOfName("DataArray");
    if (at < 0) return;
    auto* values = dynamic_cast<TSLArray*>(Dict->GetObjAtIndex(at));
    if (!values) throw Exception("TChanData.ImportData: 'DataArray' must be an array");
    const int n = values->GetCount();
    if (n == 0) return;
    std::vector<std::int32_t> raw(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        auto* x = dynamic_cast<TSLNumber*>(values->GetObjAtIndex(i));
        if (!x) throw Exception("TChanData.ImportData: element " + std::to_string(i) + " is not a number");
        raw[static_cast<std::size_t>(i)] = Encode(x->GetDoubleValue());
    }
    SetNumberOfValues(n);
    for (int i = 0; i < n; ++i) DataArray.SetValue(i, 0, raw[static_cast<std::size_t>(i)]);
}

} // namespace vo
