#include "kernel/MD5Generator.h"

#include <gtest/gtest.h>

#include <string>

using namespace vo;

namespace {

struct Vector {
    const char* input;
    const char* digest;
};

// The test suite of RFC 1321, appendix A.5.
const Vector Rfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

MyAnsiString Pattern(std::size_t n) {
    MyAnsiString s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return s;
}

} // namespace

TEST(MD5Generator, Rfc1321TestSuite) {
    for (const auto& v : Rfc1321Suite) EXPECT_EQ(MD5ToHex(MD5Value(v.input)), v.digest) << '"' << v.input << '"';
}

// Lengths around the padding boundary: one or two final blocks.
TEST(MD5Generator, PaddingBoundaries) {
    const std::pair<std::size_t, const char*> cases[] = {
        {55, "52c0e574e1198de5fe3f8f11440dcb1b"},
        {56, "46c9907fc908ee68b1e7b8e71286a518"},
        {63, "a62f6d59e837867693f042f5b8f5a236"},
        {64, "7160b8fb5e9e4023d549c3971fbaeead"},
        {65, "70bd662e7aefbda85a0f7244167b7897"},
        {119, "e84905d4214f4d1ca56c2cdcc152b143"},
        {120, "e3eb5a6c8669ea01a8c185b8abc8a5dc"},
        {128, "10b2da1a82f16d99a81a7203fe9f02cb"},
    };
    for (auto [n, hex] : cases) EXPECT_EQ(MD5ToHex(MD5Value(Pattern(n))), hex) << n << " bytes";
}

// A million bytes, fed at once and in uneven pieces, give the same known digest.
TEST(MD5Generator, LargeInputInPieces) {
    const MyAnsiString million(1000000, 'a');
    EXPECT_EQ(MD5ToHex(MD5Value(million)), "7707d6ae4e027c70eea2a935c2296f21");

    MD5Context ctx;
    MD5Init(ctx);
    std::size_t pos = 0, step = 1;
    while (pos < million.size()) {
        std::size_t n = std::min(step, million.size() - pos);
        MD5Update(ctx, million.data() + pos, n);
        pos += n;
        step = step * 3 % 157 + 1; // 1..157 bytes, crossing block edges at every offset
    }
    MD5Digest d;
    MD5Final(ctx, d);
    EXPECT_EQ(MD5ToHex(d), "7707d6ae4e027c70eea2a935c2296f21");
    // The context is cleared after the final step.
    EXPECT_EQ(ctx.State, (MD5State{0, 0, 0, 0}));
    EXPECT_EQ(ctx.Count, (MD5Count{0, 0}));
}

// Passwords are digested as their 8-bit form; bytes above 0x7F count as they are.
TEST(MD5Generator, EightBitBytesAndCompare) {
    EXPECT_EQ(MD5ToHex(MD5Value("\x80\xE4\xFC")), "812526b2bd2f43865203db12ee7b4868");
    // Embedded zero bytes are part of the message.
    EXPECT_FALSE(CompareMD5(MD5Value(std::string("a\0b", 3)), MD5Value("ab")));

    MD5Digest a = MD5Value("secret"), b = a;
    EXPECT_TRUE(CompareMD5(a, b));
    b[15] ^= 1;
    EXPECT_FALSE(CompareMD5(a, b));
    b = a;
    b[0] ^= 0x80;
    EXPECT_FALSE(CompareMD5(a, b));
}
