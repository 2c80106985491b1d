#pragma once
// Converting one raw oscilloscope sample into its physical value, X * Scale +
// Offset rounded to single precision, bit for bit as extended arithmetic
// gives it: the sum is formed in double arithmetic, and a cheap check sends
// the rare sample whose single rounding the double result cannot decide to
// the extended form. TChanData converts blocks of samples with it.
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

// The factor that turns a packed float's 16-bit mantissa into its value, by
// VelFloatPowerIndex of the word: 2^(e - 15) with the word's sign, or 0 when
// the mantissa lacks its leading one. Mantissa times factor is exact.
struct TVelFloatPowers {
    double Factor[1024];
};

// Bit 0: the sign; bit 1: the mantissa's leading one (bit 15); bits 2-9: the
// exponent byte. One multiplication gathers them: the word's bits 15-23 land
// in bits 55-63 and its bit 31 in bit 54; the third copy (shifted by 6) stays
// below bit 38, and no two copies overlap, so nothing carries. (With two
// copies the compiler would shift and add instead.)
[[gnu::always_inline]] inline std::uint32_t VelFloatPowerIndex(std::uint32_t Word) noexcept {
    constexpr std::uint64_t gather = (std::uint64_t{1} << 40) + (std::uint64_t{1} << 23) + (std::uint64_t{1} << 6);
    const std::uint64_t used = Word & 0x80FF8000u;
    return static_cast<std::uint32_t>((used * gather) >> 54);
}

inline constexpr TVelFloatPowers VelFloatPowers = [] {
    TVelFloatPowers t{};
    for (std::uint32_t i = 0; i < 1024; ++i) {
        if ((i & 2u) == 0) continue;
        const int exponent = static_cast<std::int8_t>(static_cast<std::uint8_t>(i >> 2)) - 15;
        const double power = std::bit_cast<double>(static_cast<std::uint64_t>(exponent + 1023) << 52);
        t.Factor[i] = (i & 1u) != 0 ? -power : power;
    }
    return t;
}();

// Which double results D = X * Scale + Offset round to the same single F as
// the extended form. With Scale and Offset finite the two forms lie less than
// 2^-52 |D| + 2^-53 |Offset| apart (the product is at most |D| + |Offset|),
// so they round alike where D is in the normal singles' range and farther
// than that from the nearest halfway point between two singles. In D's
// binade [B, 2B) those lie B 2^-24 from every single; the one below B lies at
// least B 2^-25 from D. A zero X is exact in both forms. With Scale or Offset
// not finite nothing is decided (NaN operands differ in which payload
// survives).
struct TDoubleDecides {
    // Free of branches, so that a loop over single samples computes it once.
    TDoubleDecides(double Scale, double Offset) noexcept {
        const double notFinite = (Scale - Scale) + (Offset - Offset); // 0, or NaN for infinity and NaN
        Reach = std::fabs(Offset) * 0x1p-51 + notFinite;
        const double lowest = std::fabs(Offset) * 0x1p-24;
        Lowest = lowest > 0x1p-125 ? lowest : 0x1p-125;
        Zero = notFinite;
    }

    [[gnu::always_inline]] bool operator()(double X, double D, double F) const noexcept {
        // Plain & and | keep the test free of branches, so that blocks vectorize.
        const double binade = std::bit_cast<double>(std::bit_cast<std::uint64_t>(D) & 0x7FF0000000000000u);
        const bool inRange = (binade >= Lowest) & (binade < 0x1p127); // false for NaN and infinity
        const bool clear = binade * (0x1p-24 - 0x1p-48) - std::fabs(D - F) > Reach; // false for a NaN Reach
        return (X == Zero) | (inRange & clear);
    }

    double Reach; // beyond what the two forms' errors can reach, with room to spare; NaN: nothing is decided
    double Lowest; // smallest binade decided: normal singles, no deep cancellation
    double Zero; // 0, or NaN when nothing is decided
};

// The double arithmetic's value of a raw sample into Value; gives whether it
// is the extended one. (A flag returned beside the value in a struct would
// keep blocks from vectorizing.)
template <TRawKind Kind>
[[gnu::always_inline]] inline bool FastSample(std::int32_t Raw, double Scale, double Offset, TDoubleDecides Decides,
                                              double& Value) noexcept {
    const double x = ValueOf<Kind>(Raw);
    const double d = x * Scale + Offset;
    Value = static_cast<float>(d);
    return Decides(x, d, Value);
}

// The physical value of one raw sample.
template <TRawKind Kind>
[[gnu::always_inline]] inline double Sample(std::int32_t Raw, double Scale, double Offset, TDoubleDecides Decides) noexcept {
    double value;
    if (FastSample<Kind>(Raw, Scale, Offset, Decides, value)) [[likely]]
        return value;
    return static_cast<float>(static_cast<long double>(ValueOf<Kind>(Raw)) * Scale + Offset);
}

} // namespace vo::ossample
