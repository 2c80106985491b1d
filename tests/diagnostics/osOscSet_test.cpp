// Oscilloscope settings: reading dictionaries (with their faults), the
// stored form and its key order, copying, display axes and the timing
// derived from a set-up.
#include "diagnostics/osOscSet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Enc.h"
#include "tests/support/ScriptedPrompt.h"

namespace vo {
namespace {

TRef<TSLDictionary> Dict(const std::string& Text) {
    TRef<TSLObject> obj = SLDecodeString(Text);
    return TRef<TSLDictionary>(SLCast<TSLDictionary>(obj.Get()));
}

TEST(GeneralSettings, ReadingDictionaries) {
    const std::string unit40(40, 'u');
    struct Case {
        const char* Name;
        std::string Text;
        std::size_t Messages;
        std::function<void(const TGeneralSettings&)> Check;
    };
    const Case cases[] = {
        {"condition in any case", "[D /TrigCond 'trigaorb' ]", 0,
         [](const TGeneralSettings& g) { EXPECT_EQ(g.FTrigCond, tcTrigAOrB); }},
        {"unknown condition", "[D /TrigCond 'TrigC' ]", 0,
         [](const TGeneralSettings& g) { EXPECT_EQ(g.FTrigCond, tcNone); }},
        {"mode in its exact case", "[D /AcqMode 'Continuous' ]", 0,
         [](const TGeneralSettings& g) { EXPECT_EQ(g.FAcqMode, amContinuous); }},
        {"mode in another case", "[D /AcqMode 'continuous' ]", 0,
         [](const TGeneralSettings& g) { EXPECT_EQ(g.FAcqMode, amSingleShot); }},
        {"no lists", "[D /RecTime 2.5 ]", 0,
         [](const TGeneralSettings& g) {
             EXPECT_EQ(g.GetChanSetCount(), 0);
             EXPECT_EQ(g.GetTrigSetCount(), 0);
             EXPECT_EQ(g.FRecordingTime, 2.5);
             EXPECT_EQ(g.FNrOfSamples, 100);
             EXPECT_EQ(g.FRecTimeDispUnit, "ms");
         }},
        {"integer where a real belongs", "[D /RecTime 5 /DelValue 2 ]", 0,
         [](const TGeneralSettings& g) {
             EXPECT_EQ(g.FRecordingTime, 5.0);
             EXPECT_EQ(g.FDelValue, 2.0);
         }},
        {"text where a number belongs", "[D /RecTime 2.0 /Delay #1 /NrOfSamples 'x' /Channels [A [D ] ] ]", 1,
         [](const TGeneralSettings& g) {
             EXPECT_EQ(g.FRecordingTime, 1.0);
             EXPECT_FALSE(g.FDelay);
             EXPECT_EQ(g.FNrOfSamples, 100);
             EXPECT_EQ(g.GetChanSetCount(), 0);
         }},
        {"bad second channel", "[D /RecTime 3.0 /Channels [A [D /VarType 9 ] [D /VarType 'x' ] ] ]", 1,
         [](const TGeneralSettings& g) {
             EXPECT_EQ(g.FRecordingTime, 1.0);
             ASSERT_EQ(g.GetChanSetCount(), 1);
             EXPECT_EQ(g.GetChannelSettings(0).FVarType, osvt::VelFloat);
         }},
        {"channel that is no dictionary", "[D /Channels [A 5 ] ]", 1,
         [](const TGeneralSettings& g) { EXPECT_EQ(g.GetChanSetCount(), 0); }},
        {"long unit", "[D /Channels [A [D /VarUnit '" + unit40 + "' ] ] /Triggers [A [D /VarUnit '" + unit40 + "' ] ] ]",
         0,
         [&](const TGeneralSettings& g) {
             EXPECT_EQ(g.GetChannelSettings(0).FVarUnit.Str(), unit40.substr(0, 31));
             EXPECT_EQ(g.GetTriggerSettings(0).FVarUnit.Str(), unit40.substr(0, 31));
         }},
        {"one sample", "[D /NrOfSamples 1 ]", 0, [](const TGeneralSettings& g) { EXPECT_EQ(g.FNrOfSamples, 2); }},
        {"negative samples", "[D /NrOfSamples -7 ]", 0,
         [](const TGeneralSettings& g) { EXPECT_EQ(g.FNrOfSamples, 2); }},
        {"samples beyond 32 bits", "[D /NrOfSamples 4294967396 ]", 1,
         [](const TGeneralSettings& g) { EXPECT_EQ(g.FNrOfSamples, 100); }},
        {"zero increment time", "[D /IncrTime 0.0 ]", 0, [](const TGeneralSettings& g) { EXPECT_EQ(g.FIncrTime, 1.0); }},
        {"negative increment time", "[D /IncrTime -0.001 ]", 0,
         [](const TGeneralSettings& g) { EXPECT_EQ(g.FIncrTime, 1.0); }},
        {"RAM address above 31 bits", "[D /Channels [A [D /VarRamAddr 4294967295 /VarUPID -1 ] ] ]", 0,
         [](const TGeneralSettings& g) { EXPECT_EQ(g.GetChannelSettings(0).FVarRamAddr, 0xFFFFFFFFu); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        test::TScriptedPromptScope prompt;
        TRef<TSLDictionary> d = Dict(c.Text);
        const TGeneralSettings g(d.Get());
        EXPECT_EQ(prompt.Count(), c.Messages);
        c.Check(g);
    }
}

TEST(GeneralSettings, WithoutDictionaryEightChannelsAndTwoTriggers) {
    const TGeneralSettings g;
    EXPECT_EQ(g.GetChanSetCount(), 8);
    EXPECT_EQ(g.GetTrigSetCount(), 2);
    EXPECT_EQ(g.GetChannelSettings(7).FVarUPID, -1);
    EXPECT_EQ(g.GetChannelSettings(7).FVarType, osvt::SInt16);
    EXPECT_EQ(g.GetTriggerSettings(1).FVarScale, 0.0);
    EXPECT_THROW(g.GetChannelSettings(8), Exception);
    EXPECT_THROW(g.GetTriggerSettings(-1), Exception);
}

// A set with every stored field away from its default.
void FillNonDefault(TGeneralSettings& g) {
    g.FRecordingTime = 0.25;
    g.FRecTimeDispUnit = "us";
    g.FAcqMode = amContinuous;
    g.FShowResult = true;
    g.FNrOfSamples = 512;
    g.FIncrTime = 0.0003124;
    g.FPretrigger = true;
    g.FPretValue = 25;
    g.FDelay = true;
    g.FDelValue = 0.5;
    g.FDelTimeDispUnit = "ms";
    g.FTrigCond = tcTrigAAndB;
    TChannelSettings c;
    c.FChannelOn = true;
    c.FEnabled = true;
    c.FDirName = "Motion";
    c.FVarName = "Position";
    c.FVarUPID = 0x1234;
    c.FVarRamAddr = 0xFFFF8000u;
    c.FVarScale = 0.001;
    c.FVarOffset = -2.5;
    c.FVarUnit = "mm";
    c.FVarType = osvt::SInt32;
    c.FBitValue = 3;
    c.FVarSize = 4;
    g.AddChannelSettings(c);
    TTriggerSettings t;
    t.FTriggerOn = true;
    t.FDirName = "Status";
    t.FVarName = "Ready";
    t.FVarUPID = 77;
    t.FVarAddress = 0x10000;
    t.FVarScale = 1.0;
    t.FVarOffset = 0.5;
    t.FVarUnit = "V";
    t.FVarType = osvt::Bool16;
    t.FVarValue = 1.5;
    t.FBitValue = 9;
    t.FVarSize = 2;
    t.FTrigEvent = 17;
    g.AddTriggerSettings(t);
}

TEST(GeneralSettings, WrittenAndReadBackKeepsEveryStoredField) {
    TRef<TSLDictionary> empty = Dict("[D ]");
    TGeneralSettings g(empty.Get());
    FillNonDefault(g);
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    g.SaveDataToDict(*d);
    EXPECT_EQ(SLEncodeToString(d.Get()),
              "[D /RecTimeDispUnit 'us' /RecTime 0.25 /AcqMode 'Continuous' /ShowResult #1 /NrOfSamples 512 "
              "/Pretrigger #1 /PretValue 25 /Delay #1 /DelValue 0.5 /IncrTime 0.0003124 /DelTimeDispUnit 'ms' "
              "/TrigCond 'TrigAAndB' /Channels [A [D /Enabled #1 /ChannelOn #1 /DirName 'Motion' /VarName 'Position' "
              "/VarRamAddr 4294934528 /VarUPID 4660 /VarScale 0.001 /VarOffset -2.5 /VarUnit 'mm' /VarType 3 "
              "/BitValue 3 /VarSize 4 ] ] /Triggers [A [D /TriggerOn #1 /DirName 'Status' /VarName 'Ready' "
              "/VarRamAddr 65536 /VarUPID 77 /VarScale 1.0 /VarOffset 0.5 /VarUnit 'V' /VarType 7 /BitValue 9 "
              "/TrigEvent 17 /VarSize 2 /Level 1.5 ] ] ] ");

    test::TScriptedPromptScope prompt;
    const TGeneralSettings back(d.Get());
    EXPECT_EQ(prompt.Count(), 0u);
    TRef<TSLDictionary> again = MakeRef<TSLDictionary>();
    back.SaveDataToDict(*again);
    EXPECT_EQ(SLEncodeToString(again.Get()), SLEncodeToString(d.Get()));
    EXPECT_EQ(back.FDelTimeDispUnit, "ms");
    EXPECT_EQ(back.GetChannelSettings(0).FVarRamAddr, 0xFFFF8000u);
    EXPECT_EQ(back.GetTriggerSettings(0).FVarValue, 1.5);

    // Writing into a dictionary that holds the keys replaces their values.
    TRef<TSLDictionary> reused = Dict("[D /RecTime 'text' /NrOfSamples 3 /Channels 5 /Foreign 1 ]");
    back.SaveDataToDict(*reused);
    const TGeneralSettings fromReused(reused.Get());
    EXPECT_EQ(fromReused.FRecordingTime, 0.25);
    EXPECT_EQ(fromReused.FNrOfSamples, 512);
    EXPECT_EQ(fromReused.GetChanSetCount(), 1);
    EXPECT_TRUE(reused->GetNameExists("Foreign"));
}

TEST(GeneralSettings, OutOfTableModesAreNotWritten) {
    TRef<TSLDictionary> empty = Dict("[D ]");
    TGeneralSettings g(empty.Get());
    g.FAcqMode = 7;
    g.FTrigCond = -1;
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    g.SaveDataToDict(*d);
    EXPECT_FALSE(d->GetNameExists("AcqMode"));
    EXPECT_FALSE(d->GetNameExists("TrigCond"));
}

TEST(GeneralSettings, CopyingKeepsListLengthsAndIdentity) {
    TGeneralSettings source;
    source.FRecordingTime = 0.125;
    source.FNrOfIncr = 7;
    source.FAdvRecTimeUnit = "us";
    source.FName = "Source";
    source.FVersion = 5;
    source.FMaxBuffSize = 4096;
    for (int i = 0; i < 8; ++i) source.GetChannelSettings(i).FVarName = "V" + std::to_string(i);
    source.GetChannelSettings(1).FVarCaption = "Caption";
    source.GetTriggerSettings(1).FVarName = "T1";

    TRef<TSLDictionary> four = Dict("[D /Channels [A [D ] [D ] [D ] [D ] ] /Triggers [A [D ] ] ]");
    TGeneralSettings target(four.Get());
    target.FName = "Target";
    target.SetProperties(source);
    EXPECT_EQ(target.GetChanSetCount(), 4);
    EXPECT_EQ(target.GetTrigSetCount(), 1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(target.GetChannelSettings(i).FVarName, "V" + std::to_string(i));
    EXPECT_EQ(target.GetChannelSettings(1).FVarCaption, "Caption");
    EXPECT_EQ(target.FRecordingTime, 0.125);
    EXPECT_EQ(target.FNrOfIncr, 7);
    EXPECT_EQ(target.FAdvRecTimeUnit, "us");
    EXPECT_EQ(target.FName, "Target");
    EXPECT_EQ(target.FVersion, 1);
    EXPECT_EQ(target.FMaxBuffSize, 0);

    // The other way round: the four channels land in the first four of eight.
    source.SetProperties(target);
    EXPECT_EQ(source.GetChanSetCount(), 8);
    EXPECT_EQ(source.GetTrigSetCount(), 2);
    EXPECT_EQ(source.GetTriggerSettings(1).FVarName, "T1");
}

TEST(GeneralSettings, ActivationAndTiming) {
    TGeneralSettings edited, active;
    edited.FNrOfSamples = 100;
    edited.FRecordingTime = 0.05;
    ASSERT_TRUE(ActivateSettings(edited, active, 0.0001));
    EXPECT_EQ(edited.FIncrTime, 0.0001);
    EXPECT_EQ(edited.FRecordingTime, 0.05);
    EXPECT_EQ(active.FNrOfIncr, 5);
    EXPECT_DOUBLE_EQ(active.FRecordingTime, 0.0495);
    EXPECT_EQ(active.GetSamplePeriods(), 5);
    EXPECT_DOUBLE_EQ(active.GetSampleTime(), 0.0005);
    EXPECT_EQ(active.GetDelayPeriods(), 0);

    struct Case {
        bool Pretrigger;
        bool Delay;
        std::int32_t Periods;
    };
    for (const Case& c : {Case{true, false, -10}, Case{false, true, 20}, Case{true, true, 10}}) {
        edited.FPretrigger = c.Pretrigger;
        edited.FPretValue = 10;
        edited.FDelay = c.Delay;
        edited.FDelValue = 0.01;
        ASSERT_TRUE(ActivateSettings(edited, active, 0.0001));
        EXPECT_EQ(active.GetDelayPeriods(), c.Periods);
        EXPECT_DOUBLE_EQ(active.GetStartTime(), c.Periods * 0.0005);
    }
}

TEST(GeneralSettings, TimingNeverDividesByZero) {
    TGeneralSettings edited, active;
    // Shorter than one increment per sample: one increment per sample.
    edited.FRecordingTime = 0.00001;
    ASSERT_TRUE(ActivateSettings(edited, active, 0.0001));
    EXPECT_EQ(active.FNrOfIncr, 1);
    EXPECT_DOUBLE_EQ(active.FRecordingTime, 99 * 0.0001);
    edited.FRecordingTime = -1.0;
    ASSERT_TRUE(ActivateSettings(edited, active, 0.0001));
    EXPECT_EQ(active.FNrOfIncr, 1);

    // No increment time: nothing happens.
    edited.FRecordingTime = 0.5;
    edited.FIncrTime = 0.25;
    active.FRecordingTime = 9.0;
    for (const double bad : {0.0, -1.0, std::nan("")}) {
        EXPECT_FALSE(ActivateSettings(edited, active, bad));
        EXPECT_EQ(edited.FIncrTime, 0.25);
        EXPECT_EQ(active.FRecordingTime, 9.0);
    }

    // One sample is taken as two.
    edited.FNrOfSamples = 1;
    edited.FRecordingTime = 0.001;
    ASSERT_TRUE(ActivateSettings(edited, active, 0.0001));
    EXPECT_EQ(active.FNrOfSamples, 2);
    EXPECT_EQ(active.FNrOfIncr, 10);
    active.FNrOfSamples = 0;
    EXPECT_EQ(active.GetSamplePeriods(), 10);

    // A sample time of 0 gives no delay periods.
    active.FIncrTime = 0.0;
    active.FPretrigger = true;
    EXPECT_EQ(active.GetSamplePeriods(), 0);
    EXPECT_EQ(active.GetSampleTime(), 0.0);
    EXPECT_EQ(active.GetDelayPeriods(), 0);
}

TEST(TriggerSettings, EventTexts) {
    struct Case {
        std::int32_t Type;
        std::int32_t Event;
        const char* Text;
    };
    const Case cases[] = {
        {osvt::Bool16, 17, "Any edge"},
        {osvt::Bool, 64, "True"},
        {osvt::Bool16, 12, ""},
        {osvt::SInt32, 12, "Greater or equal"},
        {osvt::FloatIEEE754, 6, "Less or equal"},
        {osvt::UInt8, 4, "Equal"},
        {osvt::SInt16, 3, ""},
        {osvt::String, 16, ""},
        {osvt::VelFloat, 16, ""},
        {osvt::Unknown, 16, ""},
    };
    for (const Case& c : cases) {
        TTriggerSettings t;
        t.FVarType = c.Type;
        t.FTrigEvent = c.Event;
        EXPECT_EQ(t.GetTrigEventStr(), c.Text) << c.Type << " " << c.Event;
    }
}

TEST(DisplaySettings, ReadingFillsEightAxes) {
    TRef<TSLDictionary> d = Dict(
        "[D /DisplayInfoArr [A [D /Visible #1 /Color 255 /DivWidth 0.5 /Offset 2.0 /DispUnit 'mm' ] [D ] [D ] [D ] [D ] "
        "[D ] [D ] [D /Color 7 ] [D /Color 9 ] ] ]");
    const TDisplaySettings s(d.Get());
    EXPECT_EQ(s.FAxisXDisInfo.FDivWidth, 1.0);
    EXPECT_FALSE(s.FAxisXDisInfo.FVisible);
    ASSERT_EQ(s.YAxisCount(), 8);
    EXPECT_TRUE(s.GetAxisDisInfoAt(0).FVisible);
    EXPECT_EQ(s.GetAxisDisInfoAt(0).FColor, 255);
    EXPECT_EQ(s.GetAxisDisInfoAt(0).FDivWidth, 0.5);
    EXPECT_EQ(s.GetAxisDisInfoAt(0).FOffset, 2.0);
    EXPECT_EQ(s.GetAxisDisInfoAt(0).FDispUnit, "mm");
    EXPECT_EQ(s.GetAxisDisInfoAt(7).FColor, 7);
    EXPECT_THROW(s.GetAxisDisInfoAt(8), Exception);

    TRef<TSLDictionary> few = Dict("[D /AxisXInfo [D /DispUnit 'ms' ] /DisplayInfoArr [A [D /Color 1 ] ] ]");
    const TDisplaySettings f(few.Get());
    EXPECT_EQ(f.FAxisXDisInfo.FDispUnit, "ms");
    EXPECT_EQ(f.YAxisCount(), 8);
    EXPECT_EQ(f.GetAxisDisInfoAt(1).FColor, 0);
    EXPECT_EQ(TDisplaySettings(nullptr).YAxisCount(), 8);
}

TEST(DisplaySettings, WritingUpdatesTheDictionaryInPlace) {
    TRef<TSLDictionary> d =
        Dict("[D /Foreign 1 /AxisXInfo [D /Mine 'x' /Color 'red' ] /DisplayInfoArr [A [D /Mine 2 ] 5 ] ]");
    TSLObject* xAxis = d->GetObjWithName("AxisXInfo");
    auto* arr = SLCast<TSLArray>(d->GetObjWithName("DisplayInfoArr"));
    TSLObject* first = arr->GetObjAtIndex(0);

    TDisplaySettings s;
    s.FAxisXDisInfo.FColor = 0x00FF00;
    s.GetAxisDisInfoAt(0).FDispUnit = "V";
    s.GetAxisDisInfoAt(1).FVisible = true;
    s.SaveDataToDict(*d);

    EXPECT_TRUE(d->GetNameExists("Foreign"));
    EXPECT_EQ(d->GetObjWithName("AxisXInfo"), xAxis);
    EXPECT_EQ(SLEncodeToString(xAxis),
              "[D /Mine 'x' /Color 65280 /DivWidth 1.0 /Offset 0.0 /DispUnit '' /Visible #0 ] ");
    EXPECT_EQ(d->GetObjWithName("DisplayInfoArr"), arr);
    ASSERT_EQ(arr->GetCount(), 8);
    EXPECT_EQ(arr->GetObjAtIndex(0), first);
    EXPECT_EQ(SLCast<TSLDictionary>(first)->GetIntWithName("Mine"), 2);
    EXPECT_EQ(SLCast<TSLDictionary>(first)->GetStrWithName("DispUnit"), "V");
    EXPECT_TRUE(SLCast<TSLDictionary>(arr->GetObjAtIndex(1))->GetBoolWithName("Visible"));

    const TDisplaySettings back(d.Get());
    EXPECT_EQ(back.FAxisXDisInfo.FColor, 0x00FF00);
    EXPECT_EQ(back.GetAxisDisInfoAt(0).FDispUnit, "V");
    EXPECT_TRUE(back.GetAxisDisInfoAt(1).FVisible);
}

TEST(DisplaySettings, CopyingAndAxisDefaults) {
    TDisplaySettings a, b;
    a.FBackGroundColor = 0x123456;
    a.FAxisXDisInfo.FOffset = -1.0;
    a.GetAxisDisInfoAt(7).FColor = 99;
    b.SetProperties(a);
    EXPECT_EQ(b.FBackGroundColor, 0x123456);
    EXPECT_EQ(b.FAxisXDisInfo.FOffset, -1.0);
    EXPECT_EQ(b.GetAxisDisInfoAt(7).FColor, 99);

    TAxisDisplayInfo axis;
    axis.FColor = 5;
    axis.SetProperties(nullptr);
    EXPECT_EQ(axis.FColor, 5);
    TRef<TSLDictionary> partial = Dict("[D /DivWidth 0.2 ]");
    axis.SetPropertiesWithDict(partial.Get());
    EXPECT_EQ(axis.FColor, 5);
    EXPECT_EQ(axis.FDivWidth, 0.2);
    TRef<TSLDictionary> wrong = Dict("[D /DivWidth 0.3 /Visible 'yes' ]");
    EXPECT_THROW(axis.SetPropertiesWithDict(wrong.Get()), Exception);
    EXPECT_EQ(axis.FDivWidth, 0.2) << "a refused dictionary changes nothing";
    axis.SetDefault();
    EXPECT_EQ(axis.FColor, 0);
    EXPECT_EQ(axis.FDivWidth, 1.0);
}

} // namespace
} // namespace vo
