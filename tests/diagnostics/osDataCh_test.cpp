// Channel data: raw samples to physical values for every type code, min/max,
// export and import back into raw samples, and the sample count rules.
#include "diagnostics/osDataCh.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "parameters/VelFloat.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "tests/support/ExpectError.h"
#include "tests/support/ScriptedPrompt.h"

namespace vo {
namespace {

std::int32_t Bits(float F) { return std::bit_cast<std::int32_t>(F); }
std::int32_t Raw(std::uint32_t U) { return static_cast<std::int32_t>(U); }

void Configure(TChanData& C, std::int32_t Type, double Scale, double Offset, std::int32_t Mask = 0) {
    C.FVarType = Type;
    C.FVarScale = Scale;
    C.FVarOffset = Offset;
    C.FBitValue = Mask;
}

TEST(ChanData, GetDataByTypeCode) {
    struct Case {
        std::int32_t Type;
        double Scale, Offset;
        std::int32_t Mask;
        std::int32_t Raw;
        double Value;
    };
    const Case cases[] = {
        {osvt::SInt16, 0.5, 1.0, 0, 0xFFFF, 0.5},
        {osvt::SInt16, 1.0, 0.0, 0, 0x7FFF, 32767.0},
        {osvt::SInt8, 1.0, 0.0, 0, 0x80, -128.0},
        {osvt::SInt8, 1.0, 0.0, 0, 0x7F, 127.0},
        {osvt::UInt16, 1.0, 0.0, 0, 0xFFFF, 65535.0},
        {osvt::UInt16, 2.0, -1.0, 0, 0xFFFF, 131069.0},
        {osvt::UInt8, 1.0, 0.0, 0, 0xFF, 255.0},
        {osvt::SInt32, 1.0, 0.0, 0, -5, -5.0},
        {osvt::UInt32, 1.0, 0.0, 0, Raw(0xFFFFFFFFu), 4294967296.0},
        {osvt::UInt48, 1.0, 0.0, 0, Raw(0x80000000u), 2147483648.0},
        {osvt::SInt48, 1.0, 0.0, 0, -1, -1.0},
        {osvt::Bool16, 5.0, 3.0, 4, 0x0004, 1.0},
        {osvt::Bool16, 5.0, 3.0, 4, 0x0003, 0.0},
        {osvt::Bool, 5.0, 3.0, 0, 7, 1.0},
        {osvt::Bool, 5.0, 3.0, 0, 0, 0.0},
        {osvt::VelFloat, 1.0, 0.0, 0, 0x00FF8000, 0.5},
        {osvt::VelFloat, 1.0, 0.0, 0, 0x0001C000, 3.0},
        {osvt::VelFloat, 1.0, 0.0, 0, Raw(0x8000C000u), -1.5},
        {osvt::VelFloat, 1.0, 0.0, 0, 0x00004000, 0.0},
        {osvt::VelFloat, 2.0, 1.0, 0, 0x00008000, 3.0},
        {osvt::FloatIEEE754, 2.0, 0.0, 0, Bits(1.0f), 2.0},
        {osvt::SInt32, 0.1, 0.0, 0, 3, 0.30000001192092896},
        // Halfway between two singles in double arithmetic, just above it in
        // extended: rounds up.
        {osvt::SInt32, 1.0, 1e-10, 0, 16777217, 16777218.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.Type << " raw " << c.Raw);
        TChanData ch;
        Configure(ch, c.Type, c.Scale, c.Offset, c.Mask);
        ch.SetData(0, c.Raw);
        EXPECT_EQ(ch.GetData(0), c.Value);
    }
    EXPECT_EQ(TChanData::IntToVelFloat(0x0001C000), 3.0);
}

TEST(ChanData, UnknownTypeIsReportedOnceAndGivesZero) {
    test::TScriptedPromptScope prompt;
    TChanData ch;
    Configure(ch, osvt::Unknown, 1.0, 0.0);
    ch.SetNumberOfValues(3);
    ch.SetData(1, 42);
    EXPECT_EQ(ch.GetData(1), 0.0);
    EXPECT_EQ(ch.GetData(2), 0.0);
    ASSERT_EQ(prompt.Count(), 1u);
    EXPECT_EQ(prompt.Texts()[0], "TChanData.GetData: unknown variable type.");
    ch.FVarType = osvt::String;
    double max = 7.0, min = -7.0;
    ch.GetMaxMin(max, min);
    EXPECT_EQ(max, 7.0);
    EXPECT_EQ(min, -7.0);
    ASSERT_EQ(prompt.Count(), 2u);
    EXPECT_EQ(prompt.Texts()[1], "TChanData.GetMaxMin: unknown variable type.");
}

TEST(ChanData, MaxAndMin) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        std::int32_t Type;
        double Scale, Offset;
        std::vector<std::int32_t> Raw;
        double Max, Min;
    };
    const Case cases[] = {
        {osvt::SInt16, 1.0, 0.0, {5, 0xFFFF, 0x8000, 100}, 100.0, -32768.0},
        {osvt::SInt16, -2.0, 1.0, {5, 0xFFFF, 100}, 3.0, -199.0},
        {osvt::UInt32, 1.0, 0.0, {0, Raw(0xFFFFFFFFu)}, 4294967295.0, 0.0},
        {osvt::SInt32, 0.1, 0.0, {3, -3}, 0.3, -0.3},
        {osvt::VelFloat, 1.0, 0.0, {0x00008000, Raw(0x8001C000u), 0x0002C000}, 6.0, -3.0},
        {osvt::FloatIEEE754, 1.0, 0.0, {Bits(nan), Bits(2.5f), Bits(inf), Bits(-inf), Bits(-1.0f)}, 2.5, -1.0},
        {osvt::FloatIEEE754, 1.0, 0.0, {Bits(nan), Bits(inf)}, 0.0, 0.0},
        {osvt::Bool16, 1.0, 0.0, {0, 0}, 1.0, 0.0},
        {osvt::Bool, 1.0, 0.0, {5}, 1.0, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.Type << " scale " << c.Scale);
        TChanData ch;
        Configure(ch, c.Type, c.Scale, c.Offset);
        ch.SetNumberOfValues(static_cast<int>(c.Raw.size()));
        for (std::size_t i = 0; i < c.Raw.size(); ++i) ch.SetData(static_cast<int>(i), c.Raw[i]);
        double max = -99.0, min = 99.0;
        ch.GetMaxMin(max, min);
        EXPECT_DOUBLE_EQ(max, c.Max);
        EXPECT_DOUBLE_EQ(min, c.Min);
    }
}

// Min/max of the floating types against a plain walk over every sample in
// extended arithmetic, bit for bit.
TEST(ChanData, MaxAndMinOfFloatingTypesMatchAWalkOverEverySample) {
    const float inf = std::numeric_limits<float>::infinity();
    std::uint64_t state = 88172645463325252u;
    const auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const double scales[] = {1.0, -0.25, 1e-3, 0.0, 3e300};
    const double offsets[] = {0.0, -0.0, 2.5, -1e10};
    for (int round = 0; round < 40; ++round) {
        const std::int32_t type = round % 2 ? osvt::VelFloat : osvt::FloatIEEE754;
        std::vector<std::int32_t> raw(1 + next() % 50);
        for (std::int32_t& r : raw) {
            r = static_cast<std::int32_t>(next());
            if (next() % 8 == 0) r = Bits(next() % 2 ? inf : -inf);
            if (next() % 8 == 0) r = Bits(next() % 2 ? 0.0f : -0.0f);
            if (next() % 8 == 0 && type == osvt::VelFloat) r &= ~0x8000;
        }
        for (const double scale : scales) {
            for (const double offset : offsets) {
                TChanData ch;
                Configure(ch, type, scale, offset);
                ch.SetNumberOfValues(static_cast<int>(raw.size()));
                for (std::size_t i = 0; i < raw.size(); ++i) ch.SetData(static_cast<int>(i), raw[i]);
                bool any = false;
                long double high = 0, low = 0;
                for (const std::int32_t r : raw) {
                    const long double v = static_cast<long double>(type == osvt::VelFloat ? TChanData::IntToVelFloat(r)
                                                                                          : std::bit_cast<float>(r)) *
                            scale +
                        offset;
                    if (!std::isfinite(v)) continue;
                    if (!any) {
                        high = low = v;
                        any = true;
                    } else if (v > high) {
                        high = v;
                    } else if (v < low) {
                        low = v;
                    }
                }
                double max = 0, min = 0;
                ch.GetMaxMin(max, min);
                SCOPED_TRACE(testing::Message() << "type " << type << " scale " << scale << " offset " << offset);
                EXPECT_EQ(std::bit_cast<std::uint64_t>(max), std::bit_cast<std::uint64_t>(static_cast<double>(high)));
                EXPECT_EQ(std::bit_cast<std::uint64_t>(min), std::bit_cast<std::uint64_t>(static_cast<double>(low)));
            }
        }
    }
}

// The physical value of a raw sample worked the slow way: the sample's number
// times the scale plus the offset in extended arithmetic, rounded to single
// precision. Types without a conversion give 0.
double ExtendedReference(std::int32_t Type, std::int32_t Raw, double Scale, double Offset, std::int32_t Mask) {
    const auto u = static_cast<std::uint32_t>(Raw);
    long double x;
    switch (Type) {
    case osvt::SInt16: // the high word holds no sign: above 7FFFh the word is lowered by 2^16
        x = Raw > 0x7FFF ? Raw - 65536.0L : Raw;
        break;
    case osvt::SInt8:
        x = Raw > 0x7F ? Raw - 256.0L : Raw;
        break;
    case osvt::UInt32:
    case osvt::UInt48:
        x = u;
        break;
    case osvt::UInt16:
    case osvt::SInt32:
    case osvt::SInt48:
    case osvt::UInt8:
        x = Raw;
        break;
    case osvt::VelFloat:
        x = (u & 0x8000u) == 0 ? 0.0L : std::ldexp(static_cast<long double>(u & 0xFFFFu), static_cast<std::int8_t>((u >> 16) & 0xFFu) - 15);
        if ((u & 0x80000000u) != 0 && x != 0) x = -x; // a 0 has no sign
        break;
    case osvt::FloatIEEE754:
        x = std::bit_cast<float>(Raw);
        break;
    case osvt::Bool16:
        return (Raw & Mask) != 0 ? 1.0 : 0.0;
    case osvt::Bool:
        return Raw != 0 ? 1.0 : 0.0;
    default:
        return 0.0;
    }
    return static_cast<float>(x * Scale + Offset);
}

// GetData and the block conversion give every sample bit for bit the
// extended arithmetic's value: random raw words and the edges of every type,
// under scales and offsets that cancel, vanish or are not finite, and sums
// that fall on or next to a halfway point between two singles (where double
// and extended arithmetic round apart).
TEST(ChanData, BlockConversionMatchesGetData) {
    test::TScriptedPromptScope prompt; // the types without a conversion report themselves
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    const auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Linear {
        double Scale, Offset;
    };
    const Linear linears[] = {
        {1.0, 0.0},
        {0.001, -2.5},
        {-0.25, -0.0},
        {0.1, 0.0},
        {1.0, 1e-10},
        {1.0, 0.5 + 0x1p-40},
        {1.0, 0.5},
        {1.0, -8388610.5},
        {3e300, 1.0},
        {1e-300, 1e-40},
        {0.0, 7.0},
        {0.0, -0.0},
        {1.0 + 0x1p-24, 0.0},
        {inf, 0.0},
        {1.0, nan},
        {1e30, -1e39},
        {0x1p-126, 0.0},
        {1.0 / 3.0, -1.0 / 3.0},
        {1e8, -1e8 + 1.0},
    };
    const std::vector<std::int32_t> edges = {0,
                                             1,
                                             -1,
                                             0x7F,
                                             0x80,
                                             0xFF,
                                             0x7FFF,
                                             0x8000,
                                             0xFFFF,
                                             16777217,
                                             8388610,
                                             8388611,
                                             INT32_MAX,
                                             INT32_MIN,
                                             Raw(0x00808000u),
                                             Raw(0x007FFFFFu),
                                             Raw(0x8080C000u),
                                             Raw(0xFF7F4000u),
                                             Bits(1.0f),
                                             Bits(-0.0f),
                                             Bits(std::numeric_limits<float>::infinity()),
                                             Bits(std::numeric_limits<float>::quiet_NaN()),
                                             Bits(std::numeric_limits<float>::denorm_min()),
                                             Bits(std::numeric_limits<float>::max())};
    for (std::int32_t type = osvt::Unknown; type <= osvt::FloatIEEE754; ++type) {
        for (const Linear lin : linears) {
            SCOPED_TRACE(testing::Message() << "type " << type << " scale " << lin.Scale << " offset " << lin.Offset);
            // Two full blocks and a part, the edges spread over all three.
            std::vector<std::int32_t> raw(700);
            for (std::int32_t& r : raw) {
                r = static_cast<std::int32_t>(next());
                if (next() % 4 == 0) r = static_cast<std::int32_t>(r % 100000); // small integers
            }
            for (std::size_t i = 0; i < edges.size(); ++i) raw[(i * 263) % raw.size()] = edges[i];
            TChanData ch;
            Configure(ch, type, lin.Scale, lin.Offset, 4);
            ch.SetNumberOfValues(static_cast<int>(raw.size()));
            for (std::size_t i = 0; i < raw.size(); ++i) ch.SetData(static_cast<int>(i), raw[i]);
            std::vector<std::uint64_t> expected(raw.size());
            for (std::size_t i = 0; i < raw.size(); ++i) {
                expected[i] = std::bit_cast<std::uint64_t>(ExtendedReference(type, raw[i], lin.Scale, lin.Offset, 4));
                ASSERT_EQ(std::bit_cast<std::uint64_t>(ch.GetData(static_cast<int>(i))), expected[i])
                    << "GetData of sample " << i << " raw " << raw[i];
            }
            for (const int first : {0, 1, 300}) {
                std::vector<double> block(raw.size() - static_cast<std::size_t>(first));
                ch.GetDataRange(first, block);
                for (std::size_t i = 0; i < block.size(); ++i) {
                    const std::size_t at = static_cast<std::size_t>(first) + i;
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(block[i]), expected[at]) << "block sample " << at << " raw " << raw[at];
                }
            }
        }
    }
    // A value just above a halfway point in extended arithmetic that double
    // arithmetic puts on it: the single above, as from the exact sum.
    if (std::numeric_limits<long double>::digits >= 64) {
        TChanData ch;
        Configure(ch, osvt::SInt32, 1.0, 0.5 + 0x1p-40);
        ch.SetData(0, 8388610);
        double v = 0;
        ch.GetDataRange(0, std::span<double>(&v, 1));
        EXPECT_EQ(v, 8388611.0);
        EXPECT_EQ(ch.GetData(0), 8388611.0);
    }
}

TEST(ChanData, BlockConversionRange) {
    TChanData ch;
    Configure(ch, osvt::SInt32, 2.0, 0.0);
    ch.SetNumberOfValues(3);
    ch.SetData(2, 5);
    double out[3] = {-1, -1, -1};
    ch.GetDataRange(1, std::span<double>(out, 2));
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[1], 10.0);
    ch.GetDataRange(3, std::span<double>(out, 0));
    out[0] = -1;
    test::ExpectError<EDataArray>([&] { ch.GetDataRange(2, std::span<double>(out, 2)); }, "col index out of bounds");
    test::ExpectError<EDataArray>([&] { ch.GetDataRange(-1, std::span<double>(out, 1)); }, "col index out of bounds");
    test::ExpectError<EDataArray>([&] { ch.GetDataRange(4, std::span<double>(out, 0)); }, "col index out of bounds");
    EXPECT_EQ(out[0], -1.0) << "untouched";
}

// Raw samples typical of each type code; Exact: export and import give them
// back unchanged at scale 1.
struct TypeSamples {
    std::int32_t Type;
    std::vector<std::int32_t> Raw;
    bool Exact;
};

std::vector<TypeSamples> AllTypes() {
    std::vector<TypeSamples> t = {
        {osvt::SInt16, {0, 1, 0x7FFF, 0x8000, 0xFFFF}, true},
        {osvt::UInt16, {0, 1, 0xFFFF}, true},
        {osvt::SInt32, {0, -1, 123456, 16777216, -16777216}, true},
        {osvt::UInt32, {0, 16777216, Raw(0xFFFFFFFFu)}, true},
        {osvt::SInt48, {0, -1, 99}, true},
        {osvt::UInt48, {0, 7, Raw(0xFFFFFFFFu)}, true},
        {osvt::Bool16, {0, 4}, true},
        {osvt::VelFloat, {0, 0x00008000, Raw(0x8001C000u), 0x00FFABCD, 0x007FFFFF, 0x0080FFFF}, true},
        {osvt::Bool, {0, 1}, true},
        {osvt::SInt8, {0, 0x7F, 0x80, 0xFF}, true},
        {osvt::UInt8, {0, 255}, true},
        {osvt::FloatIEEE754, {Bits(1.5f), Bits(-2.25f), Bits(1e-3f), Bits(0.0f)}, true},
    };
    for (const std::int32_t unknown : {osvt::Unknown, osvt::String, osvt::EnumDir16, osvt::EnumChild16,
                                       osvt::EnumDir8, osvt::EnumChild8})
        t.push_back({unknown, {0, 5}, false});
    return t;
}

TEST(ChanData, ExportThenImportKeepsTheValues) {
    test::TScriptedPromptScope prompt; // the types without a conversion report themselves
    struct Linear {
        double Scale, Offset;
    };
    for (const Linear lin : {Linear{1.0, 0.0}, Linear{0.1, 5.0}, Linear{-0.5, 2.0}}) {
        for (const TypeSamples& s : AllTypes()) {
            SCOPED_TRACE(testing::Message() << "type " << s.Type << " scale " << lin.Scale);
            TChanData from, to;
            Configure(from, s.Type, lin.Scale, lin.Offset, 4);
            Configure(to, s.Type, lin.Scale, lin.Offset, 4);
            from.SetNumberOfValues(static_cast<int>(s.Raw.size()));
            for (std::size_t i = 0; i < s.Raw.size(); ++i) from.SetData(static_cast<int>(i), s.Raw[i]);
            TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
            from.ExportData(d.Get());
            auto* arr = SLCast<TSLArray>(d->GetObjWithName("DataArray"));
            ASSERT_EQ(arr->GetCount(), static_cast<int>(s.Raw.size()));
            to.ImportData(d.Get());
            ASSERT_EQ(to.GetNumberOfValues(), from.GetNumberOfValues());
            for (int i = 0; i < from.GetNumberOfValues(); ++i) {
                EXPECT_EQ(to.GetData(i), from.GetData(i)) << "sample " << i;
                if (s.Exact && lin.Scale == 1.0) {
                    EXPECT_EQ(to.DataArray.GetValue(i, 0), s.Raw[static_cast<std::size_t>(i)]) << "sample " << i;
                }
            }
        }
    }
}

// Import encodes a value as the packed float nearest to it (16 significant
// bits, halves to even), as frexp and ldexp work it out.
TEST(ChanData, ImportRoundsToTheNearestPackedFloat) {
    std::uint64_t state = 0x2545F4914F6CDD1Du;
    const auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::vector<double> values = {1.0, -1.5, 0.5, 65535.5, 1.0 + 0x1p-16, 1.0 + 3 * 0x1p-16, 1.0 + 0x1p-16 + 0x1p-40,
                                  -(2.0 - 0x1p-16), 0x1p-128, -0x1p-128 * (2.0 - 0x1p-17), 0x1p127 * (2.0 - 0x1p-15),
                                  0.0, -0.0, 0.1, 1e30, -1e-30};
    for (int i = 0; i < 2000; ++i) {
        const int exponent = static_cast<int>(next() % 250) - 125;
        values.push_back(std::ldexp(static_cast<double>(next() >> 11) * 0x1p-53 + 1.0, exponent) * (next() % 2 ? 1 : -1));
    }
    TRef<TSLArray> arr = MakeRef<TSLArray>();
    for (const double v : values) arr->AddObject(MakeRef<TSLDouble>(v).Get());
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    d->SetObjWithName("DataArray", arr.Get());
    TChanData ch;
    Configure(ch, osvt::VelFloat, 1.0, 0.0);
    ch.ImportData(d.Get());
    for (std::size_t i = 0; i < values.size(); ++i) {
        double expected = values[i];
        if (expected != 0.0) {
            int e = 0;
            const double m = std::frexp(expected, &e);
            expected = std::ldexp(std::nearbyint(std::ldexp(m, 16)), e - 16);
        }
        EXPECT_EQ(ch.GetData(static_cast<int>(i)), static_cast<float>(expected)) << "value " << values[i];
        EXPECT_EQ(static_cast<std::uint32_t>(ch.DataArray.GetValue(static_cast<int>(i), 0)), DoubleToVelFloat(expected))
            << "value " << values[i];
    }
    // Rounding up past the largest packed float is out of range.
    TRef<TSLObject> over = SLDecodeString("[D /DataArray [A 3.4028236692093846E38 ] ]");
    EXPECT_THROW(ch.ImportData(SLCast<TSLDictionary>(over.Get())), EConvertError);
}

TEST(ChanData, ExportAndImportEdges) {
    TChanData ch;
    Configure(ch, osvt::SInt32, 1.0, 0.0);
    ch.SetNumberOfValues(2);
    ch.SetData(0, 11);
    ch.SetData(1, 12);
    ch.ExportData(nullptr);
    TRef<TSLObject> obj = SLDecodeString("[D /DataArray [A 1.0 ] /Other 1 ]");
    auto* d = SLCast<TSLDictionary>(obj.Get());
    ch.ExportData(d);
    EXPECT_EQ(SLCast<TSLArray>(d->GetObjWithName("DataArray"))->GetCount(), 2) << "replaced";
    EXPECT_TRUE(d->GetNameExists("Other"));

    const auto unchanged = [&] {
        EXPECT_EQ(ch.GetNumberOfValues(), 2);
        EXPECT_EQ(ch.DataArray.GetValue(1, 0), 12);
    };
    for (const char* text : {"[D ]", "[D /DataArray [A ] ]"}) {
        TRef<TSLObject> empty = SLDecodeString(text);
        ch.ImportData(SLCast<TSLDictionary>(empty.Get()));
        unchanged();
    }
    ch.ImportData(nullptr);
    unchanged();
    TRef<TSLObject> bad = SLDecodeString("[D /DataArray [A 1.0 'x' ] ]");
    test::ExpectError([&] { ch.ImportData(SLCast<TSLDictionary>(bad.Get())); },
                      "TChanData.ImportData: element 1 is not a number");
    unchanged();
    TRef<TSLObject> notArray = SLDecodeString("[D /DataArray 5 ]");
    EXPECT_THROW(ch.ImportData(SLCast<TSLDictionary>(notArray.Get())), Exception);
    unchanged();
    ch.FVarType = osvt::VelFloat;
    TRef<TSLObject> huge = SLDecodeString("[D /DataArray [A 1.0 1E300 ] ]");
    test::ExpectError<EConvertError>([&] { ch.ImportData(SLCast<TSLDictionary>(huge.Get())); },
                                     "Value out of VelFloat range!");
    unchanged();

    // Integers beyond the type are held at its limits; scale 0 stores 0.
    ch.FVarType = osvt::UInt32;
    TRef<TSLObject> wide = SLDecodeString("[D /DataArray [A -5.0 1E12 ] ]");
    ch.ImportData(SLCast<TSLDictionary>(wide.Get()));
    EXPECT_EQ(ch.DataArray.GetValue(0, 0), 0);
    EXPECT_EQ(ch.DataArray.GetValue(1, 0), -1);
    ch.FVarType = osvt::SInt32;
    ch.FVarScale = 0.0;
    ch.ImportData(SLCast<TSLDictionary>(wide.Get()));
    EXPECT_EQ(ch.DataArray.GetValue(1, 0), 0);
}

TEST(ChanData, NumberOfValues) {
    TChanData ch;
    EXPECT_EQ(ch.GetNumberOfValues(), 1);
    EXPECT_EQ(ch.DataArray.GetRowCount(), 1);
    test::ExpectError([&] { ch.SetNumberOfValues(0); }, "TChanData.SetNumberOfValues: NumOfValues must be positiv.");
    ch.SetData(0, 9);
    ch.SetNumberOfValues(3);
    EXPECT_EQ(ch.GetNumberOfValues(), 3);
    EXPECT_EQ(ch.DataArray.GetValue(0, 0), 9);
    EXPECT_EQ(ch.DataArray.GetValue(1, 0), 0);
    EXPECT_EQ(ch.DataArray.GetValue(2, 0), 0);
    test::ExpectError([&] { ch.SetData(3, 1); }, "TChanData.SetData + index out of bound.");
    test::ExpectError<EDataArray>([&] { ch.SetData(-1, 1); }, "col index out of bounds");
    test::ExpectError<EDataArray>([&] { ch.GetData(3); }, "col index out of bounds");

    // A recording's store: the samples and less than a kilobyte more.
    ch.SetNumberOfValues(1000000);
    EXPECT_LT(ch.DataArray.Capacity(), 4000000 + 1024);
    EXPECT_EQ(ch.DataArray.MemSize(), ch.DataArray.Capacity());
}

// Integers and reals alike are numbers to import.
TEST(ChanData, ImportTakesIntegersAndReals) {
    TChanData ch;
    Configure(ch, osvt::SInt32, 1.0, 0.0);
    TRef<TSLObject> obj = SLDecodeString("[D /DataArray [A 3 -2.5 7 1E3 ] ]");
    ch.ImportData(SLCast<TSLDictionary>(obj.Get()));
    ASSERT_EQ(ch.GetNumberOfValues(), 4);
    EXPECT_EQ(ch.DataArray.GetValue(0, 0), 3);
    EXPECT_EQ(ch.DataArray.GetValue(1, 0), -2) << "halves to even";
    EXPECT_EQ(ch.DataArray.GetValue(2, 0), 7);
    EXPECT_EQ(ch.DataArray.GetValue(3, 0), 1000);
}

// Samples live in the array's first row: without rows there are none, and
// they come back (as zeros) with the row.
TEST(ChanData, SamplesNeedTheFirstRow) {
    TChanData ch;
    Configure(ch, osvt::SInt32, 1.0, 0.0);
    ch.SetNumberOfValues(3);
    ch.SetData(2, 7);
    ch.DataArray.InsertRow(0);
    EXPECT_EQ(ch.GetData(2), 0.0) << "the new first row";
    ch.DataArray.DeleteRow(0);
    EXPECT_EQ(ch.GetData(2), 7.0);
    ch.DataArray.SetRowCount(0);
    double out = -1;
    test::ExpectError<EDataArray>([&] { ch.GetData(0); }, "row index out of bounds");
    test::ExpectError<EDataArray>([&] { ch.SetData(0, 1); }, "row index out of bounds");
    test::ExpectError<EDataArray>([&] { ch.GetDataRange(0, std::span<double>(&out, 1)); }, "row index out of bounds");
    ch.DataArray.SetRowCount(1);
    EXPECT_EQ(ch.GetData(2), 0.0);
    ch.DataArray.DeleteCol(2);
    test::ExpectError<EDataArray>([&] { ch.GetData(2); }, "col index out of bounds");
}

} // namespace
} // namespace vo
