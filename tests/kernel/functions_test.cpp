#include "kernel/functions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/UserPrompt.h"
#include "tests/support/ExpectError.h"

using namespace vo;

namespace {

MyAnsiString Bytes(std::initializer_list<int> l) {
    MyAnsiString s;
    for (int b : l) s.push_back(static_cast<char>(b));
    return s;
}

// Answers every box with OK and remembers the texts.
class RecordingPrompt : public TUserPrompt {
public:
    std::vector<TPromptRequest> Seen;
    TModalResult Prompt(const TPromptRequest& r) override {
        Seen.push_back(r);
        return mrOk;
    }
};

} // namespace

TEST(Functions, StrToIntConversions) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case good[] = {{"0", 0}, {"26", 26}, {"-1", -1}, {"+7", 7}, {"  42", 42}, {"$1A", 26}, {"$1a", 26}, {"0x10", 16}, {"$FFFFFFFF", -1}, {"$80000000", INT32_MIN}, {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"$0000000000000001", 1}};
    for (const auto& c : good) EXPECT_EQ(StrToInt(c.text), c.value) << c.text;

    const char* bad[] = {"", " ", "-", "$", "12a", "1 ", "2147483648", "-2147483649", "$100000000", "0x", "1.5"};
    for (const char* t : bad) {
        EXPECT_THROW(StrToInt(t), EConvertError) << '"' << t << '"';
        EXPECT_EQ(StrToIntDef(t, -99), -99) << t;
    }
    test::ExpectError<EConvertError>([&] { StrToInt("abc"); }, "'abc' is not a valid integer value");
    EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
    EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
}

TEST(Functions, LittleEndianDataAndValues) {
    EXPECT_EQ(DataToValue(Bytes({0x34, 0x12}), 2), 0x1234);
    EXPECT_EQ(DataToValue(Bytes({0x34, 0x12}), 1), 0x34);
    EXPECT_EQ(DataToValue(Bytes({0x34, 0x12}), 0), 0);
    EXPECT_EQ(DataToValue("", 0), 0);
    EXPECT_EQ(DataToValue(Bytes({0xFF, 0xFF, 0xFF, 0xFF}), 4), 0xFFFFFFFFll); // unsigned, not -1
    EXPECT_EQ(DataToValue(Bytes({1, 2, 3, 4, 5, 6, 7, 0x88}), 8), static_cast<std::int64_t>(0x8807060504030201ull));
    // Beyond 8 bytes the high bytes shift out: the first eight remain.
    EXPECT_EQ(DataToValue(Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), 10), 0x0807060504030201ll);
    // Reading past the data is refused rather than reading foreign memory.
    EXPECT_THROW(DataToValue(Bytes({1, 2}), 3), EConvertError);
    EXPECT_THROW(DataToValue(Bytes({1, 2}), -1), EConvertError);

    EXPECT_EQ(ValueToData(0x1234, 3), Bytes({0x34, 0x12, 0x00}));
    EXPECT_EQ(ValueToData(0x1234, 1), Bytes({0x34}));
    EXPECT_EQ(ValueToData(0x1234, 0), "");
    EXPECT_EQ(ValueToData(-1, 2), Bytes({0xFF, 0xFF}));
    EXPECT_EQ(ValueToData(-1, 10), Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));
    EXPECT_THROW(ValueToData(1, -1), EConvertError);

    // Round trip for every width.
    for (int n = 1; n <= 8; ++n) {
        std::int64_t v = static_cast<std::int64_t>(0x8877665544332211ull);
        std::uint64_t mask = n == 8 ? ~0ull : ((1ull << (8 * n)) - 1);
        EXPECT_EQ(static_cast<std::uint64_t>(DataToValue(ValueToData(v, n), n)), static_cast<std::uint64_t>(v) & mask) << n;
    }
}

TEST(Functions, BinaryTexts) {
    struct Case {
        std::int64_t value;
        int count;
        std::string text;
    };
    const Case cases[] = {
        {0x1FF, 1, "11111111"},
        {5, 2, "0000000000000101"},
        {0, 0, ""},
        {5, -3, ""},
        {-1, 1, "11111111"},
        {-1, 2, std::string(16, '1')},
        {0x1FFFFFFFFll, 4, std::string(32, '1')},
        {0x100000000ll, 4, std::string(32, '0')},
        // count 3: not masked, 24 digits of the low bits
        {0x1ABCDEF, 3, "101010111100110111101111"},
        {INT64_MIN, 8, "1" + std::string(63, '0')},
        // more than 8 bytes: digits above bit 63 are zeros
        {-1, 9, std::string(8, '0') + std::string(64, '1')},
    };
    for (const auto& c : cases) EXPECT_EQ(IntToBinary(c.value, c.count), c.text) << c.value << "/" << c.count;

    EXPECT_EQ(BinaryToInt("0101"), 5);
    EXPECT_EQ(BinaryToInt(""), 0);
    EXPECT_EQ(BinaryToInt("1x1"), 5); // other characters count as 0
    EXPECT_EQ(BinaryToInt("1 0 1"), 0b10001);
    EXPECT_EQ(BinaryToInt(std::string(63, '1')), INT64_MAX);
    EXPECT_EQ(BinaryToInt(std::string(100, '0') + "11"), 3);
    // A "1" at place 63 or above no longer fits.
    EXPECT_THROW(BinaryToInt("1" + std::string(63, '0')), EConvertError);
    EXPECT_THROW(BinaryToInt("1" + std::string(80, '0')), EConvertError);
    for (std::int64_t v : {0ll, 1ll, 0x7Fll, 0x1234ll, 0x7FFFFFFFll, 0x123456789ABCll})
        EXPECT_EQ(BinaryToInt(IntToBinary(v, 8)), v);
}

TEST(Functions, TreeCompatibility) {
    struct Case {
        const char* tree1;
        const char* tree2;
        int permission;
        bool compatible;
        bool newer;
    };
    const Case cases[] = {
        {"ApplTrX_Part_V3S5", "ApplTrX_Part_V3S5", 1, true, false},
        {"NoUnderscore", "NoUnderscore", 1, true, false}, // equal names need no parsing
        {"ApplTrX_Part_V3S5", "ApplTrX_Other_V3S3", 7, true, true},
        {"ApplTrX_Part_V3S3", "ApplTrX_Part_V3S5", 7, true, false},
        {"ApplTrX_Part_V3S5_extra", "ApplTrX_Part_V3S5_other", 7, true, false},
        {"ApplTr7300Dorvan_P_V2S5", "ApplTrDorvan_P_V2S3", 7, true, true},
        {"ApplTrDorvan_P_V2S3", "ApplTr7300Dorvan_P_V2S5", 7, false, false}, // only tree 1 is mapped
        {"ApplTr7300MasterSlave_P_V1S1", "ApTrMasterSlave_P_V1S0", 7, true, true},
        {"ApplTr7300MasterSlave_P_V1S1", "ApplTrMasterSlave_P_V1S1", 7, false, false},
        {"ApplTrX_P_V3S0", "ApplTrX_P_V2S9", 7, false, false},
        {"ApplTrX_P_V3S0", "ApplTrX_P_V2S9", 15, true, true},
        {"ApplTrX_P_V2S9", "ApplTrX_P_V3S0", 15, true, false},
        {"ApplTrX_P_V12S10", "ApplTrX_P_V12S9", 1, true, true}, // numbers, not characters
        {"ApplTrX_P_V3S5", "ApplTrY_P_V3S5", 15, false, false},
        {"ApplTrX_V3S5", "ApplTrX_P_V3S5", 15, false, false}, // a rest without "_"
        {"ApplTrX", "ApplTrX_P_V3S5", 15, false, false},
        {"case_P_V1S1", "CASE_P_V1S1", 15, false, false},
    };
    for (const auto& c : cases) {
        bool newer = !c.newer;
        EXPECT_EQ(AreTreesCompatible(c.tree1, c.tree2, c.permission, newer), c.compatible)
            << c.tree1 << " / " << c.tree2;
        EXPECT_EQ(newer, c.newer) << c.tree1 << " / " << c.tree2;
    }
    // Versions without numbers raise the conversion error.
    bool newer;
    for (const char* bad : {"ApplTrX_P_V3", "ApplTrX_P_VxS1", "ApplTrX_P_V3S", "ApplTrX_P_", "ApplTrX_P_S"})
        EXPECT_THROW(AreTreesCompatible(bad, "ApplTrX_P_V3S1", 7, newer), EConvertError) << bad;
}

TEST(Functions, IPv4Texts) {
    struct Case {
        std::uint32_t ip;
        const char* plain;
        const char* adjusted;
    };
    const Case cases[] = {
        {0xC0A8010Au, "192.168.1.10", "192.168.001.010"},
        {0x0A000001u, "10.0.0.1", "010.000.000.001"},
        {0u, "0.0.0.0", "000.000.000.000"},
        {0xFFFFFFFFu, "255.255.255.255", "255.255.255.255"},
        {0x80000000u, "128.0.0.0", "128.000.000.000"},
    };
    for (const auto& c : cases) {
        auto ip = static_cast<std::int32_t>(c.ip);
        EXPECT_EQ(IntToIPStr(ip), c.plain);
        EXPECT_EQ(AdjustIntToIPStr(ip), c.adjusted);
        EXPECT_EQ(IPStrToInt(c.plain), ip);
        EXPECT_EQ(IPStrToInt(c.adjusted), ip); // leading zeros are decimal, not octal
    }
    EXPECT_EQ(IPStrToInt("1.2"), 0x01000002);
    EXPECT_EQ(IPStrToInt("7"), 7);
    EXPECT_EQ(IPStrToInt("1.1.256.0"), 0x01020000); // added, not masked
    for (const char* bad : {"", "1..2", "a.b.c.d", "1.2.3.", "1.2.3.4.5", " 1.2.3.4", "-1.0.0.0", "$C0.0.0.1",
                            "1.2.3.99999999999"})
        EXPECT_THROW(IPStrToInt(bad), EConvertError) << '"' << bad << '"';

    EXPECT_EQ(AdjustString("7", 3, '0'), "007");
    EXPECT_EQ(AdjustString("", 2, ' '), "  ");
    EXPECT_EQ(AdjustString("1234", 3, '0'), "1234");
    EXPECT_EQ(AdjustString("12", 0, '0'), "12");
}

TEST(Functions, MacIdTexts) {
    EXPECT_EQ(IntToMACIDStr(0), "");
    EXPECT_EQ(IntToMACIDStr(0x0012AB34CD56ll), "00:12:AB:34:CD:56");
    EXPECT_EQ(IntToMACIDStr(1), "00:00:00:00:00:01");
    EXPECT_EQ(IntToMACIDStr(0xFFFFFFFFFFFFll), "FF:FF:FF:FF:FF:FF");
    EXPECT_EQ(IntToMACIDStr(static_cast<std::int64_t>(0xABCD0102030405A6ull)), "01:02:03:04:05:A6");
    EXPECT_EQ(IntToMACIDStr(-1), "FF:FF:FF:FF:FF:FF");
    EXPECT_EQ(IntToMACIDStr(0x0012AB34CD56ll).size(), 17u);
}

TEST(Functions, HexTextToBytes) {
    EXPECT_EQ(BufToStr("01 2 a3f"), Bytes({0x01, 0x02, 0x3F}));
    EXPECT_EQ(BufToStr(""), "");
    EXPECT_EQ(BufToStr("  ,; "), "");
    EXPECT_EQ(BufToStr("ff,00;G7"), Bytes({0xFF, 0x00, 0x07})); // G is a separator
    EXPECT_EQ(BufToStr("123456789"), Bytes({0x89}));
    EXPECT_EQ(BufToStr("A5"), Bytes({0xA5}));
    // At most 255 bytes however long the text is.
    std::string many;
    for (int i = 0; i < 400; ++i) many += "7F ";
    EXPECT_EQ(BufToStr(many), MyAnsiString(255, '\x7F'));
    std::string exact;
    for (int i = 0; i < 255; ++i) exact += "01 ";
    EXPECT_EQ(BufToStr(exact).size(), 255u);
}

TEST(Functions, ResultCodeTexts) {
    EXPECT_EQ(GetOvraErrorMessage(178), "Time out: No response from drive");
    EXPECT_EQ(GetOvraErrorMessage(0xB3), "Another instance is already logged into the drive!");
    EXPECT_EQ(GetOvraErrorMessage(160), "Ovra error: 160");
    EXPECT_EQ(GetOvraErrorMessage(0), "Ovra error: 0");
    EXPECT_EQ(GetOvraErrorMessage(177), "Ovra error: 177");
}

TEST(IP4Edit, ValueInAndOut) {
    TIP4EditLogic e;
    for (auto& f : e.Editor) EXPECT_EQ(f.Text, "0");
    e.SetIPValue(static_cast<std::int32_t>(0xC0A8010Au));
    EXPECT_EQ(e.Editor[0].Text, "192");
    EXPECT_EQ(e.Editor[3].Text, "10");
    EXPECT_EQ(static_cast<std::uint32_t>(e.GetIPValue()), 0xC0A8010Au);
    e.Editor[2].Text = "";
    EXPECT_THROW(e.GetIPValue(), EConvertError);
    e.Editor[2].Text = "x";
    EXPECT_THROW(e.GetIPValue(), EConvertError);

    e.SetVisibility(false);
    EXPECT_FALSE(e.Visible);
    EXPECT_FALSE(e.Enabled);
}

TEST(IP4Edit, ChangeClampsAndMovesOn) {
    RecordingPrompt prompt;
    TUserPromptScope scope(prompt);
    TIP4EditLogic e;

    e.Change(0, "300");
    EXPECT_EQ(e.Editor[0].Text, "254");
    EXPECT_EQ(e.Editor[0].SelLength, 3);
    EXPECT_EQ(e.Focused, 0); // nothing else happens
    ASSERT_EQ(prompt.Seen.size(), 1u);
    EXPECT_EQ(prompt.Seen[0].Text,
              "300 is not a valid entry. Please specify a value between 0 and 254 for this field.");
    EXPECT_EQ(prompt.Seen[0].Kind, TMsgDlgType::mtError);
    EXPECT_EQ(prompt.Seen[0].Buttons, (TMsgDlgButtons{TMsgDlgBtn::mbOK}));

    // Three digits with the caret after the third move on to the next field.
    e.Change(0, "192");
    EXPECT_EQ(e.Focused, 1);
    EXPECT_EQ(e.Editor[1].SelLength, 1);
    e.Focused = 0;
    e.Change(0, "192", 1); // caret inside: stays
    EXPECT_EQ(e.Focused, 0);
    e.Change(3, "254"); // the last field has no next one
    EXPECT_EQ(e.Focused, 0);
    e.Change(2, "254");
    EXPECT_EQ(e.Focused, 3);

    e.Change(1, "1a");
    EXPECT_EQ(e.Editor[1].Text, "0");
    EXPECT_EQ(e.Editor[1].SelLength, 1);
    e.Change(1, ""); // an empty field stays empty
    EXPECT_EQ(e.Editor[1].Text, "");
    e.Change(1, "254");
    EXPECT_EQ(e.Editor[1].Text, "254");
    EXPECT_EQ(prompt.Seen.size(), 1u);
    EXPECT_THROW(e.Change(4, "1"), Exception);
}

TEST(IP4Edit, KeyHandling) {
    using K = TIP4EditLogic;
    TIP4EditLogic e;
    e.SetIPValue(static_cast<std::int32_t>(0x0A141E28u)); // 10.20.30.40

    // Right arrow at the end of field 0 goes to field 1 with all selected.
    e.Editor[0].SelStart = 2;
    EXPECT_EQ(e.KeyDown(0, K::VK_RIGHT, 0), 1);
    EXPECT_EQ(e.Editor[1].SelLength, 2);
    EXPECT_TRUE(e.Editor[0].ReadOnly); // an arrow is no character to type
    // Right arrow in the last field stays.
    e.Focused = 3;
    e.Editor[3].SelStart = 2;
    EXPECT_EQ(e.KeyDown(3, K::VK_RIGHT, 0), 3);
    // Left arrow at position 0 goes back.
    e.Editor[2].SelStart = 0;
    EXPECT_EQ(e.KeyDown(2, K::VK_LEFT, 0), 1);
    // Backspace at position 0 with nothing selected deletes the last character of the previous field.
    e.Editor[2].SelStart = 0;
    e.Editor[2].SelLength = 0;
    EXPECT_EQ(e.KeyDown(2, K::VK_BACK, 0), 1);
    EXPECT_EQ(e.Editor[1].Text, "2");
    EXPECT_EQ(e.Editor[1].SelStart, 1);
    EXPECT_FALSE(e.Editor[2].ReadOnly);
    // Backspace with a selection stays in its field.
    e.Focused = 2;
    e.Editor[2].SelLength = 2;
    EXPECT_EQ(e.KeyDown(2, K::VK_BACK, 0), 2);
    // "." in a non-empty field moves on; in an empty one it does not.
    EXPECT_EQ(e.KeyDown(2, K::VK_OEM_PERIOD, 0), 3);
    e.Focused = 1;
    e.Editor[1].Text = "";
    EXPECT_EQ(e.KeyDown(1, K::VK_DECIMAL, 0), 1);
    EXPECT_TRUE(e.Editor[1].ReadOnly);

    // Digits (also from the keypad), backspace and delete can be typed; others not.
    struct KeyCase {
        int key;
        unsigned shift;
        bool readOnly;
    };
    const KeyCase keys[] = {{'5', 0, false}, {K::VK_NUMPAD0 + 7, 0, false}, {K::VK_DELETE, 0, false}, {K::VK_BACK, 0, false}, {'A', 0, true}, {'5', K::ssShift, true}, {'5', K::ssCtrl, true}, {'5', K::ssAlt, true}, {'5', K::ssLeft, true}, {K::VK_SPACE, 0, true}, {K::VK_SHIFT, 0, false}, {K::VK_LSHIFT + 2, 0, false}};
    for (const auto& k : keys) {
        TIP4EditLogic f;
        f.Editor[0].ReadOnly = true; // every key makes the field editable first
        f.Editor[0].SelStart = 1;
        f.KeyDown(0, k.key, k.shift);
        EXPECT_EQ(f.Editor[0].ReadOnly, k.readOnly) << k.key << "/" << k.shift;
    }
}
