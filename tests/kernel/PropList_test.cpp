#include "kernel/PropList.h"

#include <clocale>
#include <cmath>

#include <gtest/gtest.h>

#include "kernel/PropItms.h"
#include "platform/Exception.h"
#include "tests/support/ExpectError.h"

namespace vo {
namespace {

// An inspectable object with one accessor pair per value type, as owners bind them.
struct Motor : TObject {
    MyAnsiString name = "X-Axis";
    MyAnsiString note;
    std::int32_t poles = 4;
    std::int32_t slots = 12;
    double kv = 0.25;

    static Motor& Of(TObject* o) { return dynamic_cast<Motor&>(*o); }
    static MyAnsiString GetStr(TObject* o, int id) { return id == 0 ? Of(o).name : Of(o).note; }
    static void SetStr(TObject* o, int id, const MyAnsiString& v) { (id == 0 ? Of(o).name : Of(o).note) = v; }
    static std::int32_t GetInt(TObject* o, int id) { return id == 0 ? Of(o).poles : Of(o).slots; }
    static void SetInt(TObject* o, int id, std::int32_t v) { (id == 0 ? Of(o).poles : Of(o).slots) = v; }
    static double GetDbl(TObject* o, int) { return Of(o).kv; }
    static void SetDbl(TObject* o, int, double v) { Of(o).kv = v; }
};

class PropertyListTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.SetObjType("Motor");
        auto& name = list.Add<TStringProperty>("Name");
        name.Setup(&Motor::GetStr, &Motor::SetStr, 0);
        name.SetMaxSize(16);
        list.Add<TStringProperty>("Note").Setup(&Motor::GetStr, nullptr, 1);
        list.Add<TLongintProperty>("Poles").Setup(&Motor::GetInt, &Motor::SetInt, 0);
        auto& slots = list.Add<TLongintProperty>("Slots");
        slots.Setup(&Motor::GetInt, &Motor::SetInt, 1);
        slots.SetCaption("Number of slots");
        list.Add<TDoubleProperty>("Kv").Setup(&Motor::GetDbl, &Motor::SetDbl, 0);
    }
    TPropertyList list;
    Motor motor;
};

TEST_F(PropertyListTest, ItemsKeepOrderAndAreFoundByNameWithoutCase) {
    ASSERT_EQ(list.GetCount(), 5);
    const char* order[] = {"Name", "Note", "Poles", "Slots", "Kv"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(list.GetNameAtIndex(i), order[i]);
    EXPECT_EQ(&list.GetItemWithName("pOLES"), &list.GetItemAtIndex(2));
    EXPECT_EQ(list.GetItemWithName("Poles").GetCaption(), "Poles");
    EXPECT_EQ(list.GetItemWithName("Slots").GetCaption(), "Number of slots");
    EXPECT_EQ(list.GetItemAtIndex(0).Owner(), &list);
    EXPECT_EQ(list.GetItemAtIndex(0).Viewer(), "EDIT");
    test::ExpectError([&] { list.GetItemWithName("Torque"); }, "Property with Name 'Torque' not found");
    EXPECT_THROW(list.GetItemAtIndex(5), Exception);
}

TEST_F(PropertyListTest, NameDifferingOnlyInCaseIsADuplicateAndNotAdded) {
    EXPECT_THROW(list.Add<TLongintProperty>("POLES"), Exception);
    EXPECT_EQ(list.GetCount(), 5);
    EXPECT_EQ(list.GetItemWithName("poles").GetValue(&motor), "4");
}

TEST_F(PropertyListTest, ValuesRoundTripThroughTheAccessors) {
    auto& name = list.GetItemWithName("Name");
    name.SetValue(&motor, "Y-Axis");
    EXPECT_EQ(motor.name, "Y-Axis");
    EXPECT_EQ(name.GetValue(&motor), "Y-Axis");

    auto& slots = list.GetItemWithName("Slots");
    slots.SetValue(&motor, "-2147483648");
    EXPECT_EQ(motor.slots, INT32_MIN);
    EXPECT_EQ(motor.poles, 4) << "the id selects the field";
    EXPECT_EQ(slots.GetValue(&motor), "-2147483648");

    auto& kv = list.GetItemWithName("Kv");
    kv.SetValue(&motor, "1.5");
    EXPECT_EQ(motor.kv, 1.5);
    motor.kv = 0.1;
    EXPECT_EQ(kv.GetValue(&motor), "0.1");
}

TEST_F(PropertyListTest, StringMaxSizeIsEnforcedAtTheLimit) {
    auto& name = list.GetItemWithName("Name");
    EXPECT_NO_THROW(name.SetValue(&motor, MyAnsiString(16, 'a')));
    EXPECT_EQ(motor.name.size(), 16u);
    test::ExpectError([&] { name.SetValue(&motor, MyAnsiString(17, 'b')); }, "Property Value Error for 'Name': MyAnsiString max size is 16 AnsiCharacters");
    EXPECT_EQ(motor.name, MyAnsiString(16, 'a')) << "a refused text leaves the value alone";
}

TEST_F(PropertyListTest, MissingAccessorsRaiseAccessErrorsAndMakeItemsReadOnly) {
    auto& note = list.GetItemWithName("Note");
    EXPECT_TRUE(note.GetReadOnly()) << "string property without setter";
    EXPECT_FALSE(list.GetItemWithName("Name").GetReadOnly());
    EXPECT_FALSE(list.GetItemWithName("Poles").GetReadOnly());
    test::ExpectError([&] { note.SetValue(&motor, "x"); }, "Property Access Error for 'Note': no write access function defined");

    auto& bare = list.Add<TDoubleProperty>("Bare");
    EXPECT_TRUE(bare.GetReadOnly());
    test::ExpectError([&] { bare.GetValue(&motor); }, "Property Access Error for 'Bare': no read access function defined");
    auto& ro = list.Add<TLongintProperty>("Ro");
    ro.Setup(&Motor::GetInt, nullptr, 0);
    EXPECT_TRUE(ro.GetReadOnly());
    EXPECT_EQ(ro.GetValue(&motor), "4");
    EXPECT_THROW(ro.SetValue(&motor, "5"), Exception);
}

TEST_F(PropertyListTest, BadNumbersRaiseConversionErrorsAndLeaveValues) {
    test::ExpectError([&] { list.GetItemWithName("Poles").SetValue(&motor, "12a"); }, "'12a' is not a valid integer value");
    test::ExpectError([&] { list.GetItemWithName("Kv").SetValue(&motor, "1,5"); }, "'1,5' is not a valid floating point value");
    EXPECT_EQ(motor.poles, 4);
    EXPECT_EQ(motor.kv, 0.25);
}

TEST(PropertyConversion, IntegerTexts) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    for (const Case c : {Case{"0", 0}, Case{"42", 42}, Case{"-17", -17}, Case{"+8", 8}, Case{"  12", 12},
                         Case{"2147483647", INT32_MAX}, Case{"$FF", 255}, Case{"0x10", 16},
                         Case{"$FFFFFFFF", -1}})
        EXPECT_EQ(PropStrToInt(c.text), c.value) << c.text;
    for (const char* bad : {"", " ", "-", "12 ", "1.0", "2147483648", "-2147483649", "$", "$1FFFFFFFF", "abc",
                            "1e3", "--1"})
        EXPECT_THROW(PropStrToInt(bad), EConvertError) << bad;
}

TEST(PropertyConversion, FloatTextsIgnoreTheLocale) {
    // A locale with a decimal comma must not change how numbers read or print.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;

    struct Case {
        const char* text;
        double value;
    };
    for (const Case c : {Case{"1.5", 1.5}, Case{"-0.25", -0.25}, Case{".5", 0.5}, Case{"5.", 5.0},
                         Case{" 3 ", 3.0}, Case{"1E3", 1000.0}, Case{"2.5e-2", 0.025}, Case{"+7", 7.0}})
        EXPECT_DOUBLE_EQ(PropStrToFloat(c.text), c.value) << c.text;
    for (const char* bad : {"", ".", "1,5", "1.2.3", "e5", "1e", "INF", "NAN", "0x10", "1e999", "- 1"})
        EXPECT_THROW(PropStrToFloat(bad), EConvertError) << bad;

    struct Out {
        double value;
        const char* text;
    };
    for (const Out o : {Out{0.0, "0"}, Out{1.5, "1.5"}, Out{-2.0, "-2"}, Out{0.1, "0.1"}, Out{100.0, "100"},
                        Out{1.0 / 3.0, "0.333333333333333"}, Out{123456789012345.0, "123456789012345"},
                        Out{1e15, "1E15"}, Out{1e20, "1E20"}, Out{0.00001, "0.00001"}, Out{1.5e-6, "1.5E-6"},
                        Out{-2.5e-7, "-2.5E-7"}, Out{2.0 / 3.0 * 1e-3, "0.000666666666666667"}})
        EXPECT_EQ(PropFloatToStr(o.value), o.text) << o.value;
    // Every printed value reads back to itself within the 15 digits kept.
    for (double v : {3.14159265358979, -1234.5678, 6.02214076e23, 1.6e-19}) {
        const double back = PropStrToFloat(PropFloatToStr(v));
        EXPECT_NEAR(back, v, std::fabs(v) * 1e-14) << v;
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!comma) GTEST_LOG_(INFO) << "no decimal-comma locale installed; checked under the C locale only";
}

TEST(PropertyDescriptions, BrTagsBecomeCarriageReturnsAndHtmlParagraphs) {
    TPropertyList list;
    list.AddInfoStringListItem("English", "first<br>second<BR>third");
    EXPECT_EQ(list.GetInfoStr("English"), "first\rsecond\rthird");
    EXPECT_EQ(list.GetHtmlInfoStr("english"), "first<p>second<p>third");
    EXPECT_EQ(ReplaceBrTags("<Br><bR>"), "\r\r");
    EXPECT_EQ(ReplaceBrTags("<B R>"), "<B R>");
}

TEST(PropertyDescriptions, LanguageLookupFallsBackToEnglishOnlyWhenLanguageMissing) {
    TPropertyList list;
    EXPECT_EQ(list.GetInfoStr("English"), "");
    list.AddInfoStringListItem("Deutsch", "Motor");
    EXPECT_EQ(list.GetInfoStr("French"), "") << "no English entry";
    list.AddInfoStringListItem("English", "Motor (en)");
    list.AddInfoStringListItem("Empty", "");
    list.AddInfoStringListItem("deutsch", "second German entry");
    EXPECT_EQ(list.GetInfoStr("DEUTSCH"), "Motor") << "first match wins";
    EXPECT_EQ(list.GetInfoStr("French"), "Motor (en)");
    EXPECT_EQ(list.GetInfoStr("Empty"), "") << "an empty text of a present language is no reason to fall back";
    EXPECT_EQ(list.GetNoOfInfoStr(), 4);
    EXPECT_EQ(list.GetLanguageWithIndex(3), "deutsch");
    EXPECT_THROW(list.GetLanguageWithIndex(4), Exception);
}

TEST(PropertyDescriptions, ReplaceKeepsPositionAndStoresTextAsGiven) {
    TPropertyList list;
    list.AddInfoStringListItem("English", "a");
    list.AddInfoStringListItem("Deutsch", "b");
    list.AddInfoStringListItem("Francais", "c");
    list.ReplaceInfoStr("deutsch", "x<BR>y");
    ASSERT_EQ(list.GetNoOfInfoStr(), 3);
    EXPECT_EQ(list.GetLanguageWithIndex(1), "deutsch");
    EXPECT_EQ(list.GetInfoStr("Deutsch"), "x<BR>y");
    EXPECT_EQ(list.GetLanguageWithIndex(2), "Francais");
    // A language the list does not hold is kept rather than dropped.
    list.ReplaceInfoStr("Italiano", "d");
    EXPECT_EQ(list.GetNoOfInfoStr(), 4);
    EXPECT_EQ(list.GetInfoStr("Italiano"), "d");
}

TEST(PropertyDescriptions, SetInfoStrCopiesInOrderAndReplacesOldTexts) {
    TPropertyList src, dst;
    src.AddInfoStringListItem("English", "one");
    src.AddInfoStringListItem("Deutsch", "eins");
    dst.AddInfoStringListItem("Old", "gone");
    dst.SetInfoStr(src);
    ASSERT_EQ(dst.GetNoOfInfoStr(), 2);
    EXPECT_EQ(dst.GetLanguageWithIndex(0), "English");
    EXPECT_EQ(dst.GetInfoStr("Deutsch"), "eins");
    EXPECT_EQ(dst.GetInfoStr("Old"), "one") << "old language gone, English answers";
    dst.SetInfoStr(dst);
    EXPECT_EQ(dst.GetNoOfInfoStr(), 2) << "copying a list onto itself keeps it";
    dst.ClearInfoStringList();
    EXPECT_EQ(dst.GetNoOfInfoStr(), 0);
}

} // namespace
} // namespace vo
