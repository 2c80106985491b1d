// The text notation writer: the exact bytes it writes, reals in their picture,
// back references, what it refuses, and that what it writes reads back equal.
#include "storagelib/SL20Enc.h"
#include "storagelib/SL20Dec.h"

#include "tests/storagelib/SLTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace vo {
namespace {

using test::V;
using test::ValueTest;

using WriterTest = ValueTest;

std::string Enc(const TRef<TSLObject>& Obj) { return SLEncodeToString(Obj.Get()); }

TEST_F(WriterTest, WritesEachKindInItsNotation) {
    TRef<TSLArray> a = MakeRef<TSLArray>();
    a->AddObject(MakeRef<TSLLongint>(1).Get());
    a->AddObject(MakeRef<TSLString>("it's").Get());
    a->AddObject(MakeRef<TSLBoolean>(true).Get());
    a->AddObject(nullptr);
    EXPECT_EQ(SLEncodeToString(a.Get()), "[A 1 'it@'s' #1 @0 ] ");

    EXPECT_EQ(Enc(V("[D /Version 3 /Name 'abc' ]")), "[D /Version 3 /Name 'abc' ] ");
    EXPECT_EQ(Enc(V("[D:Cfg /Max 10 ]")), "[D:Cfg /Max 10 ] ");
    EXPECT_EQ(Enc(V("[A [A 1 ] @2 ]")), "[A [A 1 ] @2 ] ");
    EXPECT_EQ(Enc(V("[A #0 -5 exe /lit [S 3 2 1 ] [B 1 ] [P [A ] [A ] ] ]")),
              "[A #0 -5 exe /lit [S 3 2 1 ] [B 1 ] [P [A ] [A ] ] ] ");
    EXPECT_EQ(Enc(V("[A [R [D:Point /x 0 /y 0 ] [A 1 2 ] ] [R @3 [A 3 4 ] ] ]")),
              "[A [R [D:Point /x 0 /y 0 ] [A 1 2 ] ] [R @3 [A 3 4 ] ] ] ");
    EXPECT_EQ(SLEncodeToString(nullptr), "@0 ");
    EXPECT_EQ(SLEncodeToString(MakeRef<TSLLongint>(std::numeric_limits<int64_t>::min()).Get()),
              "-9223372036854775808 ");

    // a dictionary holding itself
    TRef<TSLDictionary> self = MakeRef<TSLDictionary>();
    self->AddObject("self", self.Get());
    EXPECT_EQ(SLEncodeToString(self.Get()), "[D /self @1 ] ");
    self->Clear();
}

TEST_F(WriterTest, RealsInTheFixedPicture) {
    struct Case {
        double Value;
        const char* Text;
    };
    const Case cases[] = {
        {0.0, "0.0"},
        {-0.0, "0.0"},
        {2.5, "2.5"},
        {-2.5, "-2.5"},
        {5.0, "5.0"},
        {1.0 / 3.0, "0.333333333333333"},
        {2.0 / 3.0, "0.666666666666667"},
        {123456.789, "123456.789000000004"},
        {0.1, "0.1"},
        {1e-16, "0.0"},
        {-1e-16, "0.0"},
        {5e-16, "0.000000000000001"}, // just above one half of the last decimal
        {1.5e-15, "0.000000000000001"}, // the double lies just below 1.5E-15
        {-4.5e-16, "0.0"}, // rounds to zero: no sign
        {0.9999999999999999, "1.0"}, // the carry reaches the integer part
        {-99.99999999999999999, "-100.0"},
        {0.0000152587890625, "0.000015258789063"}, // an exact half: away from zero
        {-0.0000152587890625, "-0.000015258789063"},
        {1e17, "100000000000000000.0"},
        {123456789012345678.0, "123456789012345680.0"},
        {999999999999999872.0, "999999999999999872.0"},
        {1e18, "1E18"},
        {1e20, "1E20"},
        {-1.5e300, "-1.5E300"},
        {1.7976931348623157e308, "1.7976931348623157E308"}, // 15 digits would overflow on reading
        {-1.7976931348623155e308, "-1.7976931348623155E308"},
        {1.79769313486231e308, "1.79769313486231E308"},
    };
    for (const Case& c : cases) EXPECT_EQ(SLFormatStoredReal(c.Value), c.Text) << c.Value;

    TRef<TSLArray> a = MakeRef<TSLArray>();
    a->AddObject(MakeRef<TSLDouble>(1e20).Get());
    a->AddObject(MakeRef<TSLDouble>(5).Get());
    const std::string text = SLEncodeToString(a.Get());
    EXPECT_EQ(text, "[A 1E20 5.0 ] ");
    TRef<TSLObject> back = SLDecodeString(text);
    auto* b = dynamic_cast<TSLArray*>(back.Get());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetFloatAtIndex(0), 1e20);
    EXPECT_EQ(b->GetFloatAtIndex(1), 5.0);
}

TEST_F(WriterTest, StringsEscapeOnlyTheFourBytesAndReadBackExactly) {
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    TRef<TSLString> s = MakeRef<TSLString>(all);
    const std::string text = SLEncodeToString(s.Get());
    // line feed, carriage return, apostrophe and "@" escaped; all else raw
    std::string expected = "'";
    for (int i = 0; i < 256; ++i) {
        if (i == 10)
            expected += "@l";
        else if (i == 13)
            expected += "@n";
        else if (i == '\'')
            expected += "@'";
        else if (i == '@')
            expected += "@@";
        else
            expected.push_back(static_cast<char>(i));
    }
    expected += "' ";
    EXPECT_EQ(text, expected);
    TRef<TSLObject> back = SLDecodeString(text);
    EXPECT_EQ(dynamic_cast<TSLString*>(back.Get())->GetStringValue(), all);

    // a long string crosses the writer's buffer many times
    std::string big;
    for (int i = 0; i < 300000; ++i) big.push_back(static_cast<char>("ab'@\r\ncd"[i % 8]));
    TRef<TSLString> bs = MakeRef<TSLString>(big);
    TRef<TSLObject> bigBack = SLDecodeString(SLEncodeToString(bs.Get()));
    EXPECT_EQ(dynamic_cast<TSLString*>(bigBack.Get())->GetStringValue(), big);
}

// A real in the fixed picture the slow and obvious way, from the exact decimal
// expansion of the double: the reference for the writer's own conversion.
std::string ReferenceFixedReal(double Value) {
    const double a = std::fabs(Value);
    int e = 0;
    std::frexp(a, &e);
    char buf[200];
    const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, e >= 53 ? 0 : 53 - e);
    const std::string exact(buf, res.ptr);
    const std::size_t dot = exact.find('.');
    const std::string intPart = exact.substr(0, dot);
    const std::string frac = dot == std::string::npos ? std::string() : exact.substr(dot + 1);
    const int intDigits = intPart == "0" ? 0 : static_cast<int>(intPart.size());
    const auto keep = static_cast<std::size_t>(intDigits == 0 ? 15 : std::min(15, 18 - intDigits));
    std::string digits = intPart + frac.substr(0, std::min(keep, frac.size()));
    digits.append(intPart.size() + keep - digits.size(), '0');
    if (keep < frac.size() && frac[keep] >= '5') { // halves away from zero
        std::size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
        if (i == 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[i - 1];
    }
    std::string intOut = digits.substr(0, digits.size() - keep);
    std::string fracOut = digits.substr(digits.size() - keep);
    while (intOut.size() > 1 && intOut[0] == '0') intOut.erase(0, 1);
    while (!fracOut.empty() && fracOut.back() == '0') fracOut.pop_back();
    if (fracOut.empty()) fracOut = "0";
    const bool zero = intOut == "0" && fracOut == "0";
    return (Value < 0 && !zero ? "-" : "") + intOut + "." + fracOut;
}

TEST_F(WriterTest, RealsMatchTheExactExpansionRoundedHalfAwayFromZero) {
    std::mt19937_64 rng(20261211);
    std::vector<double> values;
    auto add = [&](double d) {
        values.push_back(d);
        values.push_back(-d);
    };
    for (int i = 0; i < 20000; ++i) {
        // any double of the fixed range
        const double mag = std::ldexp(1.0, static_cast<int>(rng() % 111) - 51);
        add(mag * (1 + static_cast<double>(rng() >> 11) * 0x1p-53));
        // short decimals, eighths, quotients
        add(static_cast<double>(rng() % 1000000) / std::pow(10.0, static_cast<double>(rng() % 12)));
        add(static_cast<double>(rng() % 100000000) * 0.125);
        add(1.0 / static_cast<double>(1 + rng() % 1000));
        // exact halves of the last kept digit and their neighbours
        const double tie = (static_cast<double>(rng() % 100000) + 0.5) * std::ldexp(1.0, -static_cast<int>(rng() % 50));
        add(tie);
        add(std::nextafter(tie, 0.0));
        add(std::nextafter(tie, 1e300));
    }
    for (int p = -15; p <= 17; ++p) { // around the powers of ten
        const double t = std::pow(10.0, p);
        add(t);
        add(std::nextafter(t, 0.0));
        add(std::nextafter(t, 1e300));
        add(t * 0.99999999999999999);
    }
    int checked = 0;
    for (const double d : values) {
        if (!(std::fabs(d) >= 4e-16 && std::fabs(d) < 1e18)) continue;
        ++checked;
        ASSERT_EQ(SLFormatStoredReal(d), ReferenceFixedReal(d)) << std::hexfloat << d;
    }
    EXPECT_GT(checked, 200000);
}

TEST_F(WriterTest, StringsOfEveryLengthAndEscapePlace) {
    // lengths around the 8- and 16-byte steps of the writer, escapes anywhere
    std::mt19937 rng(7);
    TRef<TSLStreamEncoder> enc = MakeRef<TSLStreamEncoder>();
    TRef<TSLStringStream> out = MakeRef<TSLStringStream>();
    const char alphabet[] = "ab'@\r\n\xE9 ";
    for (int round = 0; round < 4000; ++round) {
        const std::size_t n = rng() % 70;
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += alphabet[rng() % (round % 3 == 0 ? 2 : 8)];
        std::string expected = "'";
        for (const char c : s) {
            if (c == '\n')
                expected += "@l";
            else if (c == '\r')
                expected += "@n";
            else if (c == '\'' || c == '@')
                expected += {'@', c};
            else
                expected += c;
        }
        expected += "' ";
        out->Rewrite();
        enc->WriteObject(out.Get(), MakeRef<TSLString>(s).Get());
        ASSERT_EQ(out->GetBuffer(), expected) << s;
    }
}

TEST_F(WriterTest, TokensLongerThanTheWritersBuffer) {
    const std::string name(40000, 'n');
    const std::string text(20000, 'x');
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    d->SetIdent(name);
    d->AddObject(name, MakeRef<TSLIdent>(name, true).Get());
    d->AddObject("lit", MakeRef<TSLIdent>(name, false).Get());
    d->AddObject("str", MakeRef<TSLString>(text + "'" + text).Get());
    EXPECT_EQ(SLEncodeToString(d.Get()), "[D:" + name + " /" + name + " " + name + " /lit /" + name + " /str '" + text + "@'" + text + "' ] ");
}

// The exact bytes of one value holding every kind the writer knows: files
// written today are read by drives' tools and by earlier versions of the
// program, so the text may not change by one byte.
TEST_F(WriterTest, PinsTheBytesOfEveryKindTogether) {
    TRef<TSLObject> structure = SLDecodeString(
        "[D:Root /Info [D /Type 'Module' /Version 3 ] /Empty [A [A ] [D ] [S ] [B ] [P [A ] [A ] ] ] "
        "/Def [D:Par /UPID @0 /Caption '' ] "
        "/Pars [A [R @11 [A 4096 'speed' ] ] [R @11 [A -4097 @2 ] ] @13 ] "
        "/Code [B 1 2 add /x exch def x [A ] if ] /Self @1 /Names [A a. b:c /lit.x /Sel:A ] ]");
    auto* root = dynamic_cast<TSLDictionary*>(structure.Get());
    ASSERT_NE(root, nullptr);

    TRef<TSLArray> ints = MakeRef<TSLArray>();
    for (const int64_t i : {int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{9}, int64_t{10}, int64_t{-99}, int64_t{100},
                            int64_t{65535}, int64_t{-2147483648LL}, int64_t{4294967296LL}, int64_t{1000000000000000000LL},
                            std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()})
        ints->AddObject(MakeRef<TSLLongint>(i).Get());
    root->AddObject("Ints", ints.Get());

    TRef<TSLArray> reals = MakeRef<TSLArray>();
    for (const double d : {0.0, -0.0, 1.0, -1.0, 0.5, 0.125, 1234.125, -0.1, 1.0 / 3, 2.0 / 3, 12.3, 8.2, 1e-3,
                           1.5e-15, -4.5e-16, 3e-300, 0.0000152587890625, 0.9999999999999999, 123456.789,
                           99999999999999999.0, 1e17, 1e18, -2.5e19, 6.02214076e23, 1.7976931348623157e308,
                           std::numeric_limits<double>::denorm_min(), -123.456, 1e-5, 4503599627370495.5})
        reals->AddObject(MakeRef<TSLDouble>(d).Get());
    root->AddObject("Reals", reals.Get());

    TRef<TSLArray> strings = MakeRef<TSLArray>();
    const char* const cp1252 = "\x80 5 \xB0"
                               "C, Gr\xFC\xDF"
                               "e \xC4\xD6\xDC \xFF";
    // escapes on both sides of 16- and 32-byte boundaries
    const char* const long1 = "0123456789abcde'0123456789abcdef@0123456789abcde\n";
    const char* const long2 = "@123456789abcdef0123456789abcde\r0123456789abcdefg'";
    for (const char* s : {"", "plain", "it's", "a@b", "line\r\nnext\n", "tab\there", "''@@", cp1252,
                          "\x01\x7F\x81\x9F", long1, long2})
        strings->AddObject(MakeRef<TSLString>(s).Get());
    root->AddObject("Strings", strings.Get());
    root->AddObject("Bools", SLDecodeString("[A #0 #1 ]").Get());
    root->AddObject("Nil", nullptr);

    const std::string text = SLEncodeToString(root);
    EXPECT_EQ(text,
              "[D:Root /Info [D /Type 'Module' /Version 3 ] /Empty [A [A ] [D ] [S ] [B ] [P [A ] [A ] ] ] "
              "/Def [D:Par /UPID @0 /Caption '' ] /Pars [A [R @11 [A 4096 'speed' ] ] [R @11 [A -4097 @2 ] ] @13 ] "
              "/Code [B 1 2 add /x exch def x [A ] if ] /Self @1 /Names [A a. b:c /lit.x /Sel:A ] "
              "/Ints [A 0 1 -1 9 10 -99 100 65535 -2147483648 4294967296 1000000000000000000 9223372036854775807 "
              "-9223372036854775808 ] "
              "/Reals [A 0.0 0.0 1.0 -1.0 0.5 0.125 1234.125 -0.1 0.333333333333333 0.666666666666667 "
              "12.300000000000001 8.199999999999999 0.001 0.000000000000001 0.0 0.0 0.000015258789063 1.0 "
              "123456.789000000004 100000000000000000.0 100000000000000000.0 1E18 -2.5E19 6.02214076E23 "
              "1.7976931348623157E308 0.0 -123.456000000000003 0.00001 4503599627370495.5 ] "
              "/Strings [A '' 'plain' 'it@'s' 'a@@b' 'line@n@lnext@l' 'tab\there' '@'@'@@@@' "
              "'\x80 5 \xB0"
              "C, Gr\xFC\xDF"
              "e \xC4\xD6\xDC \xFF' '\x01\x7F\x81\x9F' "
              "'0123456789abcde@'0123456789abcdef@@0123456789abcde@l' "
              "'@@123456789abcdef0123456789abcde@n0123456789abcdefg@'' ] "
              "/Bools [A #0 #1 ] /Nil @0 ] ");
    TRef<TSLObject> back = SLDecodeString(text);
    EXPECT_EQ(SLEncodeToString(back.Get()), text);
    SLBreakReferenceCycles(back.Get());
    SLBreakReferenceCycles(structure.Get());
}

TEST_F(WriterTest, RefusesWhatTheReaderWouldRefuseOrReadDifferently) {
    struct Case {
        const char* Fixture;
        const char* Message;
    };
    const Case cases[] = {
        {"[A /a. ]", "TSLStreamEncoder.CheckIdent: illegal ident 'a.'"},
        {"[A /a:b: ]", "TSLStreamEncoder.CheckIdent: illegal ident 'a:b:'"},
        {"[D:a.b ]", "TSLStreamEncoder.CheckIdent: illegal ident 'a.b'"},
        {"[D:x:y ]", "TSLStreamEncoder.CheckIdent: illegal ident 'x:y'"},
        {"[A [A:n ] [D:N ] ]", "TSLStreamEncoder.EncodeComposite: another composite is already named 'N'"},
    };
    for (const Case& c : cases) {
        TRef<TSLObject> v = V(c.Fixture);
        SCOPED_TRACE(c.Fixture);
        EXPECT_THROW_MSG(SLEncodeToString(v.Get()), Exception, c.Message);
    }
    // an executable name may end with a separator, and reads back so
    EXPECT_EQ(Enc(V("[A a. b:c ]")), "[A a. b:c ] ");

    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    d->AddObject("two words", MakeRef<TSLLongint>(1).Get());
    EXPECT_THROW_MSG(SLEncodeToString(d.Get()), Exception, "TSLStreamEncoder.CheckIdent: illegal ident 'two words'");
    TRef<TSLDictionary> e = MakeRef<TSLDictionary>();
    e->AddObject("", MakeRef<TSLLongint>(1).Get());
    EXPECT_THROW_MSG(SLEncodeToString(e.Get()), Exception, "TSLStreamEncoder.CheckIdent: illegal ident ''");
    TRef<TSLDictionary> f = MakeRef<TSLDictionary>();
    f->AddObject("1st", MakeRef<TSLLongint>(1).Get());
    EXPECT_THROW_MSG(SLEncodeToString(f.Get()), Exception, "TSLStreamEncoder.CheckIdent: illegal ident '1st'");

    const double specials[] = {std::nan(""), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity()};
    const char* texts[] = {"NAN", "INF", "-INF"};
    for (int i = 0; i < 3; ++i)
        EXPECT_THROW_MSG(SLEncodeToString(MakeRef<TSLDouble>(specials[i]).Get()), Exception,
                         std::string("TSLStreamEncoder.EncodeDouble: illegal real value '") + texts[i] + "'");

    // a value without a text form
    TRef<TSLArray> a = MakeRef<TSLArray>();
    a->AddObject(MakeRef<TSLLongint>(7).Get());
    a->AddObject(TSLStreamDecoder::CreateStandard().Get());
    TRef<TSLStringStream> out = MakeRef<TSLStringStream>();
    TRef<TSLStreamEncoder> enc = MakeRef<TSLStreamEncoder>();
    EXPECT_THROW_MSG(enc->WriteObject(out.Get(), a.Get()), Exception, "TSLStreamDecoder.Encode: method not implemented");
    EXPECT_EQ(out->GetBuffer(), "[A 7 "); // what was written stays
    // the encoder is usable again afterwards
    TRef<TSLStringStream> out2 = MakeRef<TSLStringStream>();
    enc->WriteObject(out2.Get(), V("[A 1 ]").Get());
    EXPECT_EQ(out2->GetBuffer(), "[A 1 ] ");
}

TEST_F(WriterTest, BackReferencesAreNumberedPerWrite) {
    TRef<TSLObject> inner = V("[A 1 ]");
    TRef<TSLArray> outer = MakeRef<TSLArray>();
    outer->AddObject(inner.Get());
    outer->AddObject(inner.Get());
    TRef<TSLStreamEncoder> enc = MakeRef<TSLStreamEncoder>();
    for (int i = 0; i < 2; ++i) {
        TRef<TSLStringStream> out = MakeRef<TSLStringStream>();
        enc->WriteObject(out.Get(), outer.Get());
        EXPECT_EQ(out->GetBuffer(), "[A [A 1 ] @2 ] ");
    }
    // the inner one alone: written in full, its number from the earlier write is stale
    TRef<TSLStringStream> out = MakeRef<TSLStringStream>();
    enc->WriteObject(out.Get(), inner.Get());
    EXPECT_EQ(out->GetBuffer(), "[A 1 ] ");

    TRef<TSLObject> back = SLDecodeString("[A [A 1 ] @2 ]");
    auto* b = dynamic_cast<TSLArray*>(back.Get());
    EXPECT_EQ(b->GetObjAtIndex(0), b->GetObjAtIndex(1));
}

TEST_F(WriterTest, ReadWriteRoundTrips) {
    const char* texts[] = {
        "[A 1 -2 255 1.5 2.0 1000.0 'x' #1 /lit exe ] ",
        "[D /a [A 1 2 ] /b [D:Inner /c 'text@n@l' /d @3 /e @2 ] /f @1 ] ",
        "[A [R [D:Point /x 0 /y 0.5 ] [A 1 2 ] ] [R @3 [A @0 4 ] ] [S 1 2 ] [B add [P [A /x ] x [A ] ] ] ] ",
        "'' ",
        "#0 ",
        "/a.b:c ",
        "name. ",
        "[A 123456.789000000004 -0.000000000000001 1E18 -1.23456789012346E200 ] ",
    };
    for (const char* t : texts) {
        TRef<TSLObject> v = SLDecodeString(t);
        const std::string once = SLEncodeToString(v.Get());
        EXPECT_EQ(once, t);
        TRef<TSLObject> w = SLDecodeString(once);
        EXPECT_TRUE(SLElementsEqual(v.Get(), w.Get())) << t;
        SLBreakReferenceCycles(v.Get());
        SLBreakReferenceCycles(w.Get());
    }
}

} // namespace
} // namespace vo
