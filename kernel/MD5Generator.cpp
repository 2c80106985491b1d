#include "kernel/MD5Generator.h"

#include <cstring>

namespace vo {

namespace {

constexpr MD5Buffer MakePadding() {
    MD5Buffer b{};
    b[0] = 0x80;
    return b;
}
constexpr MD5Buffer PADDING = MakePadding();

constexpr std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (~x & z); }
constexpr std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & z) | (y & ~z); }
constexpr std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
constexpr std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }
constexpr std::uint32_t rot(std::uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

inline void FF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x, unsigned s,
               std::uint32_t ac) {
    a = rot(a + F(b, c, d) + x + ac, s) + b;
}
inline void GG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x, unsigned s,
               std::uint32_t ac) {
    a = rot(a + G(b, c, d) + x + ac, s) + b;
}
inline void HH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x, unsigned s,
               std::uint32_t ac) {
    a = rot(a + H(b, c, d) + x + ac, s) + b;
}
inline void II(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x, unsigned s,
               std::uint32_t ac) {
    a = rot(a + I(b, c, d) + x + ac, s) + b;
}

// Words to little-endian bytes.
void Encode(const std::uint32_t* in, std::uint8_t* out, std::size_t words) {
    for (std::size_t i = 0; i < words; ++i) {
        out[4 * i] = static_cast<std::uint8_t>(in[i]);
        out[4 * i + 1] = static_cast<std::uint8_t>(in[i] >> 8);
        out[4 * i + 2] = static_cast<std::uint8_t>(in[i] >> 16);
        out[4 * i + 3] = static_cast<std::uint8_t>(in[i] >> 24);
    }
}

// Little-endian bytes to words.
void Decode(const std::uint8_t* in, std::uint32_t* out, std::size_t words) {
    for (std::size_t i = 0; i < words; ++i)
        out[i] = std::uint32_t(in[4 * i]) | (std::uint32_t(in[4 * i + 1]) << 8) |
            (std::uint32_t(in[4 * i + 2]) << 16) | (std::uint32_t(in[4 * i + 3]) << 24);
}

void Transform(MD5State& state, const std::uint8_t* block) {
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], x[16];
    Decode(block, x, 16);

    FF(a, b, c, d, x[0], 7, 0xd76aa478);
    FF(d, a, b, c, x[1], 12, 0xe8c7b756);
    FF(c, d, a, b, x[2], 17, 0x242070db);
    FF(b, c, d, a, x[3], 22, 0xc1bdceee);
    FF(a, b, c, d, x[4], 7, 0xf57c0faf);
    FF(d, a, b, c, x[5], 12, 0x4787c62a);
    FF(c, d, a, b, x[6], 17, 0xa8304613);
    FF(b, c, d, a, x[7], 22, 0xfd469501);
    FF(a, b, c, d, x[8], 7, 0x698098d8);
    FF(d, a, b, c, x[9], 12, 0x8b44f7af);
    FF(c, d, a, b, x[10], 17, 0xffff5bb1);
    FF(b, c, d, a, x[11], 22, 0x895cd7be);
    FF(a, b, c, d, x[12], 7, 0x6b901122);
    FF(d, a, b, c, x[13], 12, 0xfd987193);
    FF(c, d, a, b, x[14], 17, 0xa679438e);
    FF(b, c, d, a, x[15], 22, 0x49b40821);

    GG(a, b, c, d, x[1], 5, 0xf61e2562);
    GG(d, a, b, c, x[6], 9, 0xc040b340);
    GG(c, d, a, b, x[11], 14, 0x265e5a51);
    GG(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    GG(a, b, c, d, x[5], 5, 0xd62f105d);
    GG(d, a, b, c, x[10], 9, 0x02441453);
    GG(c, d, a, b, x[15], 14, 0xd8a1e681);
    GG(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    GG(a, b, c, d, x[9], 5, 0x21e1cde6);
    GG(d, a, b, c, x[14], 9, 0xc33707d6);
    GG(c, d, a, b, x[3], 14, 0xf4d50d87);
    GG(b, c, d, a, x[8], 20, 0x455a14ed);
    GG(a, b, c, d, x[13], 5, 0xa9e3e905);
    GG(d, a, b, c, x[2], 9, 0xfcefa3f8);
    GG(c, d, a, b, x[7], 14, 0x676f02d9);
    GG(b, c, d, a, x[12], 20, 0x8d2a4c8a);

    HH(a, b, c, d, x[5], 4, 0xfffa3942);
    HH(d, a, b, c, x[8], 11, 0x8771f681);
    HH(c, d, a, b, x[11], 16, 0x6d9d6122);
    HH(b, c, d, a, x[14], 23, 0xfde5380c);
    HH(a, b, c, d, x[1], 4, 0xa4beea44);
    HH(d, a, b, c, x[4], 11, 0x4bdecfa9);
    HH(c, d, a, b, x[7], 16, 0xf6bb4b60);
    HH(b, c, d, a, x[10], 23, 0xbebfbc70);
    HH(a, b, c, d, x[13], 4, 0x289b7ec6);
    HH(d, a, b, c, x[0], 11, 0xeaa127fa);
    HH(c, d, a, b, x[3], 16, 0xd4ef3085);
    HH(b, c, d, a, x[6], 23, 0x04881d05);
    HH(a, b, c, d, x[9], 4, 0xd9d4d039);
    HH(d, a, b, c, x[12], 11, 0xe6db99e5);
    HH(c, d, a, b, x[15], 16, 0x1fa27cf8);
    HH(b, c, d, a, x[2], 23, 0xc4ac5665);

    II(a, b, c, d, x[0], 6, 0xf4292244);
    II(d, a, b, c, x[7], 10, 0x432aff97);
    II(c, d, a, b, x[14], 15, 0xab9423a7);
    II(b, c, d, a, x[5], 21, 0xfc93a039);
    II(a, b, c, d, x[12], 6, 0x655b59c3);
    II(d, a, b, c, x[3], 10, 0x8f0ccc92);
    II(c, d, a, b, x[10], 15, 0xffeff47d);
    II(b, c, d, a, x[1], 21, 0x85845dd1);
    II(a, b, c, d, x[8], 6, 0x6fa87e4f);
    II(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    II(c, d, a, b, x[6], 15, 0xa3014314);
    II(b, c, d, a, x[13], 21, 0x4e0811a1);
    II(a, b, c, d, x[4], 6, 0xf7537e82);
    II(d, a, b, c, x[11], 10, 0xbd3af235);
    II(c, d, a, b, x[2], 15, 0x2ad7d2bb);
    II(b, c, d, a, x[9], 21, 0xeb86d391);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    std::memset(x, 0, sizeof x);
}

} // namespace

void MD5Init(MD5Context& Context) {
    Context.State = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    Context.Count = {0, 0};
    Context.Buffer.fill(0);
}

void MD5Update(MD5Context& Context, const void* Data, std::size_t Length) {
    const auto* input = static_cast<const std::uint8_t*>(Data);
    std::size_t index = (Context.Count[0] >> 3) & 0x3F;

    // Bit count as a 64-bit number over the two words (wraps like the standard's).
    std::uint64_t bits = (std::uint64_t(Context.Count[1]) << 32) | Context.Count[0];
    bits += std::uint64_t(Length) << 3;
    Context.Count[0] = static_cast<std::uint32_t>(bits);
    Context.Count[1] = static_cast<std::uint32_t>(bits >> 32);

    const std::size_t partLen = 64 - index;
    std::size_t i = 0;
    if (Length >= partLen) {
        std::memcpy(&Context.Buffer[index], input, partLen);
        Transform(Context.State, Context.Buffer.data());
        for (i = partLen; i + 63 < Length; i += 64) Transform(Context.State, input + i);
        index = 0;
    }
    if (Length > i) std::memcpy(&Context.Buffer[index], input + i, Length - i);
}

void MD5Final(MD5Context& Context, MD5Digest& Digest) {
    std::uint8_t bits[8];
    Encode(Context.Count.data(), bits, 2);
    const std::size_t index = (Context.Count[0] >> 3) & 0x3F;
    const std::size_t padLen = index < 56 ? 56 - index : 120 - index;
    MD5Update(Context, PADDING.data(), padLen);
    MD5Update(Context, bits, 8);
    Encode(Context.State.data(), Digest.data(), 4);
    Context = MD5Context{};
}

MD5Digest MD5Value(const MyAnsiString& S) {
    MD5Context ctx;
    MD5Init(ctx);
    MD5Update(ctx, S.data(), S.size());
    MD5Digest d;
    MD5Final(ctx, d);
    return d;
}

bool CompareMD5(const MD5Digest& D1, const MD5Digest& D2) {
    for (std::size_t i = 0; i < D1.size(); ++i)
        if (D1[i] != D2[i]) return false;
    return true;
}

MyAnsiString MD5ToHex(const MD5Digest& D) {
    static const char hex[] = "0123456789abcdef";
    MyAnsiString r;
    r.reserve(32);
    for (auto b : D) {
        r.push_back(hex[b >> 4]);
        r.push_back(hex[b & 15]);
    }
    return r;
}

} // namespace vo
