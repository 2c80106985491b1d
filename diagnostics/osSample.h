#pragma once
// Converting one raw oscilloscope sample into its physical value, X * Scale +
// Offset rounded to single precision, bit for bit as extended arithmetic
// gives it: the sum is formed in double arithmetic, and a cheap check sends
// the rare sample whose single rounding the double result cannot decide to
// the extended form. TChanData converts single samples and blocks with it.
#include <bit>
#include <cmath>
#include <cstdint>

namespace vo::ossample {

// How a raw sample gives the number X that scale and offset apply to.
enum class TRawKind { rkSInt16,
                      rkSInt8,
                      rkUInt32,
                      rkSInt32,
                      rkVelFloat,
                      rkIeee };

// X of a raw sample, exact in a double, without branches so that blocks
// vectorize.
template <TRawKind Kind>
[[gnu::always_inline]] inline double ValueOf(std::int32_t Raw) noexcept {
    if constexpr (Kind == TRawKind::rkSInt16) {
        return static_cast<double>(Raw - (static_cast<std::int32_t>(Raw > 32767) << 16));
    } else if constexpr (Kind == TRawKind::rkSInt8) {
        return static_cast<double>(Raw - (static_cast<std::int32_t>(Raw > 127) << 8));
    } else if constexpr (Kind == TRawKind::rkUInt32) { // also the low four bytes of a 48-bit sample
        return static_cast<double>(Raw) + static_cast<double>(static_cast<std::uint32_t>(Raw) >> 31) * 0x1p32;
    } else if constexpr (Kind == TRawKind::rkSInt32) {
        return static_cast<double>(Raw);
    } else if constexpr (Kind == TRawKind::rkVelFloat) {
        // The mantissa with its sign times 2^(e - 15), as VelFloatToDouble.
        const std::int32_t lead = (Raw >> 15) & 1; // clear: the value is 0
        const std::int32_t mantissa = Raw & 0xFFFF & -lead;
        const std::int32_t negative = (Raw >> 31) & lead; // no sign on a 0
        const std::int32_t exponent = static_cast<std::int32_t>(static_cast<std::uint32_t>(Raw) << 8) >> 24; // signed 8 bits
        const double power = std::bit_cast<double>(static_cast<std::int64_t>(exponent - 15 + 1023) << 52);
        return static_cast<double>((mantissa ^ -negative) + negative) * power;
    } else {
        return static_cast<double>(std::bit_cast<float>(Raw));
    }
}

// Which double results D = X * Scale + Offset round to the same single as
// the extended form. D's binade [B, 2B) must lie in the normal singles' range
// and at or above |Offset| 2^-12; then the two forms lie less than 2^12 ulps
// of D apart (the double's roundings: 2^-53 of the product, which is at most
// |D| + |Offset|, and of D; the extended form's are 2^11 times smaller), and
// they round alike where D is farther than 2^13 ulps from the nearest halfway
// point between two singles: the low 29 bits of D's mantissa not within 2^13
// of 2^28 (one sample in 2^15 is redone). A zero X is exact in both forms.
// With Scale or Offset not finite nothing is decided (NaN operands differ in
// which payload survives).
struct TDoubleDecides {
    TDoubleDecides(double Scale, double Offset) noexcept {
        const bool finite = (Scale - Scale == 0.0) & (Offset - Offset == 0.0); // false for infinity and NaN
        const double lowest = std::fabs(Offset) * 0x1p-12;
        LowestBinade = std::bit_cast<std::uint64_t>(lowest > 0x1p-125 ? lowest : 0x1p-125);
        BinadeSpan = finite ? std::bit_cast<std::uint64_t>(0x1p127) - LowestBinade : 0;
        Zero = finite ? 0.0 : __builtin_nan("");
    }

    [[gnu::always_inline]] bool operator()(double X, double D) const noexcept {
        constexpr std::uint64_t margin = std::uint64_t{1} << 13, half = std::uint64_t{1} << 28;
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(D);
        // Plain & and | keep the test free of branches, so that blocks vectorize.
        const bool inRange = (bits & 0x7FF0000000000000u) - LowestBinade < BinadeSpan; // false for NaN and infinity
        const bool clear = (bits & ((half << 1) - 1)) - (half - margin) > 2 * margin;
        return (X == Zero) | (inRange & clear);
    }

    std::uint64_t LowestBinade; // bits of the smallest binade decided
    std::uint64_t BinadeSpan; // from there up to 2^127 (excluded); 0: nothing is decided
    double Zero; // 0, or NaN when nothing is decided
};

// X * Scale + Offset formed in extended arithmetic, rounded to single
// precision. Reads no memory, so that a loop calling it keeps its loads
// hoisted.
[[gnu::cold, gnu::const]] double ExtendedSample(double X, double Scale, double Offset) noexcept;

// The double arithmetic's result for a raw sample, and whether it is the
// extended one.
struct TFastSample {
    double Value;
    bool Decided;
};

template <TRawKind Kind>
[[gnu::always_inline]] inline TFastSample FastSample(std::int32_t Raw, double Scale, double Offset,
                                                     TDoubleDecides Decides) noexcept {
    const double x = ValueOf<Kind>(Raw);
    const double d = x * Scale + Offset;
    return {static_cast<float>(d), Decides(x, d)};
}

// The physical value of one raw sample.
template <TRawKind Kind>
[[gnu::always_inline]] inline double Sample(std::int32_t Raw, double Scale, double Offset, TDoubleDecides Decides) noexcept {
    const TFastSample s = FastSample<Kind>(Raw, Scale, Offset, Decides);
    if (s.Decided) [[likely]]
        return s.Value;
    return ExtendedSample(ValueOf<Kind>(Raw), Scale, Offset);
}

} // namespace vo::ossample
