#pragma once
// VelFloat, the drive's packed 32-bit floating-point format, as a
// little-endian 32-bit word W:
//   bits 0-15   mantissa M; bit 15 is the leading one (clear: the value is 0)
//   bits 16-23  exponent e, signed 8-bit
//   bits 24-30  0 when encoded, ignored when decoded
//   bit 31      sign (1 negative)
// Value = (-1)^sign * M * 2^(e - 15): 16 significant bits, magnitudes from
// 2^-128 up to but excluding 2^128.
#include <bit>
#include <cstdint>

namespace vo {

// The value of a VelFloat word (exact in a double). Inline: the oscilloscope
// converts every recorded sample with it.
inline double VelFloatToDouble(std::uint32_t Word) noexcept {
    if ((Word & 0x8000u) == 0) return 0.0;
    const int exponent = static_cast<std::int8_t>(static_cast<std::uint8_t>(Word >> 16));
    // 2^(e - 15) built from its bits: e - 15 lies well inside the normal doubles.
    const double power = std::bit_cast<double>(static_cast<std::uint64_t>(exponent - 15 + 1023) << 52);
    const double magnitude = static_cast<double>(Word & 0xFFFFu) * power;
    return (Word & 0x80000000u) != 0 ? -magnitude : magnitude;
}

// The VelFloat word of Value, truncated toward zero to 16 significant bits.
// 0 gives 0. A magnitude of 2^128 or more, a non-zero magnitude below 2^-128
// and a value that is not a finite number raise EConvertError "Value out of
// VelFloat range!".
std::uint32_t DoubleToVelFloat(double Value);

} // namespace vo
