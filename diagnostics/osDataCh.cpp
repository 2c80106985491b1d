#include "diagnostics/osDataCh.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "diagnostics/osSample.h"
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

// The VelFloat word of X rounded to 16 significant bits, halves to even,
// taken from the bits of the double. What is out of range (or not finite)
// goes the long way, which raises.
std::uint32_t RoundedVelFloat(double X) {
    const auto bits = std::bit_cast<std::uint64_t>(X);
    const int biased = static_cast<int>((bits >> 52) & 0x7FFu);
    if (X == 0.0) return 0;
    std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | std::uint64_t{1} << 52; // 53 bits
    mantissa = (mantissa + ((std::uint64_t{1} << 36) - 1) + ((mantissa >> 37) & 1u)) >> 37; // 16 bits or 2^16
    int exponent = biased - 1023;
    if (mantissa >> 16 != 0) {
        mantissa >>= 1;
        ++exponent;
    }
    if (biased == 0 || biased == 0x7FF || exponent < -128 || exponent > 127)
        return DoubleToVelFloat(RoundToVelFloatPrecision(X));
    return static_cast<std::uint32_t>(bits >> 63) << 31 |
        static_cast<std::uint32_t>(static_cast<std::uint8_t>(exponent)) << 16 | static_cast<std::uint32_t>(mantissa);
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

// Element I of Values as a number; raises for anything else. The two number
// classes are told by their traits, without a dynamic cast.
double NumberAt(const TSLArray& Values, int I) {
    const TSLObject* x = Values.UncheckedAt(I);
    if (x && x->HasTrait(TSLObject::slDouble)) return static_cast<const TSLDouble*>(x)->GetDoubleValue();
    if (x && x->HasTrait(TSLObject::slLongint)) return static_cast<const TSLLongint*>(x)->GetDoubleValue();
    if (const auto* number = dynamic_cast<const TSLNumber*>(x)) return number->GetDoubleValue();
    throw Exception("TChanData.ImportData: element " + std::to_string(I) + " is not a number");
}

// Samples converted in one go before the few undecided ones are redone, so
// that the redo finds them in the cache.
constexpr int BlockSamples = 256;

using namespace ossample;

// X * Scale + Offset rounded to single precision for a block of samples. A
// fixed count and separate arrays let the compiler convert several samples
// at once. Gives whether some sample needs the extended form.
template <TRawKind Kind>
[[gnu::always_inline]] inline bool ConvertBlockOf(const std::int32_t* __restrict Raw, double* __restrict Out,
                                                  double Scale, double Offset, TDoubleDecides Decides) noexcept {
    std::int64_t undecided = 0;
    for (int i = 0; i < BlockSamples; ++i) {
        double value;
        undecided |= static_cast<std::int64_t>(!FastSample<Kind>(Raw[i], Scale, Offset, Decides, value));
        Out[i] = value;
    }
    return undecided != 0;
}

// On x86-64 the block conversion is also built for AVX2 (four samples at a
// time instead of two), chosen when the program starts on such a processor.
#if defined(__x86_64__) && defined(__GNUC__)
#define VO_WIDE_VECTORS [[gnu::target_clones("avx2", "default")]]
#else
#define VO_WIDE_VECTORS
#endif

VO_WIDE_VECTORS bool ConvertBlock(TRawKind Kind, const std::int32_t* __restrict Raw, double* __restrict Out,
                                  double Scale, double Offset) noexcept {
    const TDoubleDecides decides(Scale, Offset); // here, so that its fields live in registers
    switch (Kind) {
    case TRawKind::rkSInt16:
        return ConvertBlockOf<TRawKind::rkSInt16>(Raw, Out, Scale, Offset, decides);
    case TRawKind::rkSInt8:
        return ConvertBlockOf<TRawKind::rkSInt8>(Raw, Out, Scale, Offset, decides);
    case TRawKind::rkUInt32:
        return ConvertBlockOf<TRawKind::rkUInt32>(Raw, Out, Scale, Offset, decides);
    case TRawKind::rkSInt32:
        return ConvertBlockOf<TRawKind::rkSInt32>(Raw, Out, Scale, Offset, decides);
    case TRawKind::rkVelFloat:
        return ConvertBlockOf<TRawKind::rkVelFloat>(Raw, Out, Scale, Offset, decides);
    case TRawKind::rkIeee:
        return ConvertBlockOf<TRawKind::rkIeee>(Raw, Out, Scale, Offset, decides);
    }
    return true;
}

// X * Scale + Offset rounded to single precision for every sample: in double
// arithmetic, block by block; a block holding an undecided sample is
// converted again sample by sample, the undecided ones in extended
// arithmetic.
template <TRawKind Kind>
void ConvertLinear(const std::int32_t* Raw, std::size_t Count, double* Out, double Scale, double Offset) noexcept {
    const TDoubleDecides decides(Scale, Offset);
    alignas(64) std::int32_t rawTail[BlockSamples];
    alignas(64) double outTail[BlockSamples];
    for (std::size_t first = 0; first < Count; first += BlockSamples) {
        const std::size_t n = std::min<std::size_t>(BlockSamples, Count - first);
        bool undecided;
        if (n == BlockSamples) {
            undecided = ConvertBlock(Kind, Raw + first, Out + first, Scale, Offset);
        } else {
            std::fill(std::copy(Raw + first, Raw + Count, rawTail), rawTail + BlockSamples, 0);
            undecided = ConvertBlock(Kind, rawTail, outTail, Scale, Offset);
            std::copy(outTail, outTail + n, Out + first);
        }
        if (undecided) [[unlikely]] {
            for (std::size_t i = first; i < first + n; ++i) Out[i] = Sample<Kind>(Raw[i], Scale, Offset, decides);
        }
    }
}

} // namespace

TChanData::TChanData() {
    DataArray.SetRowCount(1);
    DataArray.SetColCount(1);
}

TChanData::~TChanData() = default;

void TChanData::IndexOutOfBound() { throw Exception("TChanData.SetData + index out of bound."); }

void TChanData::IndexError(int Index) const {
    (void)DataArray.GetValue(Index, 0);
    throw EDataArray("col index out of bounds"); // not reached: the index lies outside
}

void TChanData::SetNumberOfValues(int Value) {
    if (Value < 1) throw Exception("TChanData.SetNumberOfValues: NumOfValues must be positiv.");
    if (DataArray.GetRowCount() != 1) DataArray.SetRowCount(1);
    DataArray.SetColCount(Value);
    DataArray.Trim();
}

double TChanData::IntToVelFloat(std::int32_t Raw) noexcept {
    return VelFloatToDouble(static_cast<std::uint32_t>(Raw));
}

void TChanData::GetDataRange(int First, std::span<double> Out) const {
    const std::int64_t count = DataArray.GetRowCount() > 0 ? DataArray.GetColCount() : 0;
    if (First < 0 || First + static_cast<std::int64_t>(Out.size()) > count) {
        DataArray.GetValue(First < 0 || First >= count ? First : static_cast<int>(count), 0);
    }
    if (Out.empty()) return;
    const std::int32_t* raw = DataArray.Data() + First;
    const std::size_t n = Out.size();
    double* out = Out.data();
    switch (FVarType) {
    case osvt::SInt16:
        ConvertLinear<TRawKind::rkSInt16>(raw, n, out, FVarScale, FVarOffset);
        break;
    case osvt::SInt8:
        ConvertLinear<TRawKind::rkSInt8>(raw, n, out, FVarScale, FVarOffset);
        break;
    case osvt::UInt32:
    case osvt::UInt48:
        ConvertLinear<TRawKind::rkUInt32>(raw, n, out, FVarScale, FVarOffset);
        break;
    case osvt::UInt16:
    case osvt::SInt32:
    case osvt::SInt48:
    case osvt::UInt8:
        ConvertLinear<TRawKind::rkSInt32>(raw, n, out, FVarScale, FVarOffset);
        break;
    case osvt::VelFloat:
        ConvertLinear<TRawKind::rkVelFloat>(raw, n, out, FVarScale, FVarOffset);
        break;
    case osvt::FloatIEEE754:
        ConvertLinear<TRawKind::rkIeee>(raw, n, out, FVarScale, FVarOffset);
        break;
    case osvt::Bool16: {
        const std::int32_t mask = FBitValue;
        for (std::size_t i = 0; i < n; ++i) out[i] = (raw[i] & mask) != 0 ? 1.0 : 0.0;
        break;
    }
    case osvt::Bool:
        for (std::size_t i = 0; i < n; ++i) out[i] = raw[i] != 0 ? 1.0 : 0.0;
        break;
    default:
        std::fill(Out.begin(), Out.end(), UnknownType());
        break;
    }
}

void TChanData::ReportUnknownType(const char* Operation) const {
    if (FReportedType == FVarType) return;
    FReportedType = FVarType;
    ShowErrorMessage(std::string("TChanData.") + Operation + ": unknown variable type.");
}

double TChanData::UnknownType() const noexcept {
    try {
        if (FReportedType != FVarType) {
            FReportedType = FVarType;
            ShowErrorNotice("TChanData.GetData: unknown variable type.");
        }
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
    TRef<TSLArray> values = MakeRef<TSLArray>();
    values->SetCapacity(n);
    double block[BlockSamples];
    for (int first = 0; first < n; first += BlockSamples) {
        const int count = std::min(BlockSamples, n - first);
        GetDataRange(first, std::span<double>(block, static_cast<std::size_t>(count)));
        TRef<TSLObject> made[BlockSamples];
        for (int i = 0; i < count; ++i) made[i] = MakeRef<TSLDouble>(block[i]);
        values->AdoptElements(made, static_cast<std::size_t>(count));
    }
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
        return static_cast<std::int32_t>(RoundedVelFloat(y));
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
    for (int i = 0; i < n; ++i) raw[static_cast<std::size_t>(i)] = Encode(NumberAt(*values, i));
    SetNumberOfValues(n);
    std::copy(raw.begin(), raw.end(), DataArray.Data());
}

} // namespace vo
