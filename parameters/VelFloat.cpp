#include "parameters/VelFloat.h"

#include <cmath>

#include "platform/Exception.h"

namespace vo {

std::uint32_t DoubleToVelFloat(double Value) {
    if (Value == 0.0) return 0;
    if (!std::isfinite(Value)) throw EConvertError("Value out of VelFloat range!");
    int binaryExponent = 0;
    // |Value| = m * 2^binaryExponent with m in [0.5, 1): the leading one is 2^(binaryExponent - 1).
    const double m = std::frexp(std::fabs(Value), &binaryExponent);
    const int exponent = binaryExponent - 1;
    if (exponent < -128 || exponent > 127) throw EConvertError("Value out of VelFloat range!");
    // m * 2^16 lies in [32768, 65536); scaling by a power of two is exact, the
    // floor drops what does not fit into 16 bits.
    const auto mantissa = static_cast<std::uint32_t>(std::floor(std::ldexp(m, 16)));
    const std::uint32_t sign = Value < 0.0 ? 0x80000000u : 0u;
    return sign | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(exponent)) << 16) | mantissa;
}

} // namespace vo
