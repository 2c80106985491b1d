#pragma once
// MD5 message digest (RFC 1321). Used to compare typed passwords with stored
// digests; nothing else in the program hashes data.
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/AnsiString.h"

namespace vo {

using MD5State = std::array<std::uint32_t, 4>;
using MD5Count = std::array<std::uint32_t, 2>; // bits processed, low word first
using MD5Buffer = std::array<std::uint8_t, 64>;
using MD5Digest = std::array<std::uint8_t, 16>;

struct MD5Context {
    MD5State State{};
    MD5Count Count{};
    MD5Buffer Buffer{};
};

void MD5Init(MD5Context& Context);
void MD5Update(MD5Context& Context, const void* Data, std::size_t Length);
// Pads, appends the bit count, writes the digest and clears the context.
void MD5Final(MD5Context& Context, MD5Digest& Digest);

// Digest of the bytes of S (exactly its length, no terminating zero).
MD5Digest MD5Value(const MyAnsiString& S);
bool CompareMD5(const MD5Digest& D1, const MD5Digest& D2);
// The digest as 32 lower-case hex digits.
MyAnsiString MD5ToHex(const MD5Digest& D);

} // namespace vo
