// Units: the base-unit catalogue (the archived Units.stx and test files),
// unit-system names, device units and their conversions in the four systems,
// and the device's unit service.
#include "parameters/UniMan.h"
#include "parameters/UniSrv.h"

#include "kernel/CsServices.h"
#include "platform/FileNames.h"
#include "storagelib/SL20Arc.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Rec.h"
#include "storagelib/SL20Sto.h"
#include "tests/parameters/ParTestUtil.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace vo {
namespace {

using test::ExpectError;

// ------------------------------------------------------------------ unit systems

TEST(UnitSystems, NamesAreExactAndCaseSensitive) {
    const struct {
        const char* Text;
        TUnitSystem US;
    } cases[] = {{"SI", usSI}, {"Metric", usMetric}, {"English", usEnglish}, {"Imperial", usImperial}};
    for (const auto& c : cases) {
        EXPECT_EQ(StrToUnitSystem(c.Text), c.US) << c.Text;
        EXPECT_STREQ(UnitSystemToStr(c.US), c.Text);
    }
    ExpectError([] { StrToUnitSystem("metric"); }, "StrToUnitSystem: unit system with ID 'metric' not found");
    ExpectError([] { StrToUnitSystem(""); }, "StrToUnitSystem: unit system with ID '' not found");
    EXPECT_STREQ(DataTypeName(dtVelFloat32), "VELFLOAT");
    EXPECT_STREQ(DataTypeName(dtFloat32), "FLOATIEEE754");
}

// ------------------------------------------------------------------ catalogue

// Stored objects come back autoreleased: the pool is purged after each test.
class UnitCatalogue : public ::testing::Test {
protected:
    void TearDown() override { PurgeAutoReleasePool(); }
};

TEST_F(UnitCatalogue, ArchivedUnitsLoad) {
    test::TScriptedPromptScope prompt;
    TUnitManager units;
    {
        TStorageManager m(RealPathToStored(VO_PROGRAM_DIR) + "\\");
        m.AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
        m.AnnounceStoragePlugin(std::make_unique<TArchiveStoragePlugin>(), true);
        units.Initialize("archive://Archives\\UnitService\\Units.stx");
    }
    EXPECT_TRUE(prompt.Texts().empty()) << prompt.Texts().front();
    EXPECT_EQ(units.GetUnitSystem(), usSI);
    for (const char* name : {"Length", "Time", "Velocity", "Acceleration", "Force", "Current", "Voltage", "Temperature"})
        EXPECT_NE(units.GetBaseUnitWithName(name), nullptr) << name;

    TBaseUnit* time = units.GetBaseUnitWithName("time");
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->Name(), "Time");
    TDisplayUnit* ns = time->GetUnitWithName("NS");
    ASSERT_NE(ns, nullptr);
    EXPECT_NEAR(ns->BaseToSelf(0.000002), 2000.0, 1e-9);
    // every display unit belongs to one of the four systems and converts back
    for (int i = 0; i < units.GetNumberOfBaseUnits(); ++i) {
        const TBaseUnit& b = units.GetBaseUnitAtIndex(i);
        ASSERT_GT(b.GetCount(), 0) << b.Name();
        for (int k = 0; k < b.GetCount(); ++k) {
            const TDisplayUnit& d = b.GetUnitAtIndex(k);
            EXPECT_NO_THROW(StrToUnitSystem(d.UnitSystem())) << b.Name() << " " << d.Name();
            EXPECT_NEAR(d.SelfToBase(d.BaseToSelf(12.5)), 12.5, 1e-9) << b.Name() << " " << d.Name();
        }
    }
    // the temperature is an offset unit: 0 degrees Celsius are 273.15 K
    TDisplayUnit* kelvin = units.GetBaseUnitWithName("Temperature")->GetUnitWithName("K");
    ASSERT_NE(kelvin, nullptr);
    EXPECT_NEAR(kelvin->BaseToSelf(0.0), 273.15, 1e-9);
}

// Time is the second entry of the archived file, as the oscilloscope and the
// curves expect; the order is the file's, whatever the catalogue sorts.
TEST_F(UnitCatalogue, TimeIsTheSecondEntryOfTheFile) {
    TStorageManager m(RealPathToStored(VO_PROGRAM_DIR) + "\\");
    m.AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
    m.AnnounceStoragePlugin(std::make_unique<TArchiveStoragePlugin>(), true);
    TRef<TSLStorageObject> o = m.GetObject("archive://Archives\\UnitService\\Units.stx", saRead);
    o->Read();
    auto* d = dynamic_cast<TSLDictionary*>(o->GetData());
    ASSERT_NE(d, nullptr);
    auto* arr = dynamic_cast<TSLArray*>(d->GetObjWithName("BaseUnitsArr"));
    ASSERT_NE(arr, nullptr);
    EXPECT_EQ(dynamic_cast<TSLDictionary*>(arr->GetObjAtIndex(1))->GetStrWithName("Name"), "Time");
}

TRef<TSLDictionary> Dict(const char* Text) {
    TRef<TSLObject> o = SLDecodeString(Text);
    return TRef<TSLDictionary>(dynamic_cast<TSLDictionary*>(o.Get()));
}

TEST_F(UnitCatalogue, FirstOfANameWinsAndNamesIgnoreCase) {
    test::TScriptedPromptScope prompt;
    TUnitManager units;
    units.LoadFromDictionary(*Dict(R"([D /BaseUnitsArr [A
        [D /Name 'Length' /Caption 'first' /DisplayUnits [A [D /Name 'mm' /Offset 0 /Scale 0.001 /UnitSystem 'Metric' ] ] ]
        [D /Name 'Length' /Caption 'second' /DisplayUnits [A ] ]
        [D /Name 'Angle' /Caption 'Angle' /DisplayUnits [A [D /Name 'deg' /Offset 0.0 /Scale 0.0174532925199433 /UnitSystem 'SI' ] ] ] ] ])"));
    EXPECT_EQ(units.GetNumberOfBaseUnits(), 2);
    TBaseUnit* length = units.GetBaseUnitWithName("LENGTH");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length->Caption(), "first");
    EXPECT_EQ(length->GetUnitWithName("MM")->Scale(), 0.001);
    EXPECT_EQ(units.GetBaseUnitWithName("Mass"), nullptr);
    EXPECT_EQ(length->GetUnitWithName("cm"), nullptr);
    EXPECT_TRUE(prompt.Texts().empty());
}

// A display unit of scale 0 would divide by zero: it is left out with a
// message naming it; the other units of the file load.
TEST_F(UnitCatalogue, ScaleZeroIsRefusedAtLoad) {
    test::TScriptedPromptScope prompt;
    TUnitManager units;
    units.LoadFromDictionary(*Dict(R"([D /BaseUnitsArr [A
        [D /Name 'Length' /Caption 'Length' /DisplayUnits [A
            [D /Name 'bad' /Offset 0 /Scale 0 /UnitSystem 'SI' ]
            [D /Name 'm' /Offset 0 /Scale 1 /UnitSystem 'SI' ] ] ]
        [D /Name 'Time' /Caption 'Time' /DisplayUnits [A ] ] ] ])"));
    ASSERT_EQ(prompt.Texts().size(), 1u);
    EXPECT_EQ(prompt.Texts()[0], "TBaseUnit.Create: display unit 'bad' of base unit 'Length' has scale 0 and is left out");
    TBaseUnit* length = units.GetBaseUnitWithName("Length");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length->GetCount(), 1);
    EXPECT_EQ(length->GetUnitWithName("bad"), nullptr);
    EXPECT_NE(units.GetBaseUnitWithName("Time"), nullptr);
}

// A broken file is reported; what was read before the error stays.
TEST_F(UnitCatalogue, ErrorsAreShownAndEarlierUnitsStay) {
    test::TScriptedPromptScope prompt;
    TStorageManager m(RealPathToStored(VO_PROGRAM_DIR) + "\\");
    m.AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
    TUnitManager units;
    units.Initialize("file://no-such-folder\\Units.stx");
    ASSERT_EQ(prompt.Texts().size(), 1u);

    prompt.Clear();
    EXPECT_THROW(units.LoadFromDictionary(*Dict(R"([D /BaseUnitsArr [A
        [D /Name 'Length' /Caption 'Length' /DisplayUnits [A ] ]
        [D /Name 'Time' /Caption 'Time' ] ] ])")),
                 Exception);
    EXPECT_NE(units.GetBaseUnitWithName("Length"), nullptr);
    EXPECT_EQ(units.GetBaseUnitWithName("Time"), nullptr);
    // a file without "BaseUnitsArr" adds nothing
    units.LoadFromDictionary(*Dict("[D /Other 1 ]"));
    EXPECT_EQ(units.GetNumberOfBaseUnits(), 1);
}

// ------------------------------------------------------------------ device units

// One "Units" record.
MyAnsiString UnitRecord(int UUID, const char* Name, double SIScale, double SIOffset = 0, double MetricScale = 1,
                        double ImperialScale = 1) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "[R @Unit [A %d '%s' 'in' 0.0 %.17g 'mm' 0.0 %.17g '%s-si' %.17g %.17g ] ]", UUID, Name,
                  ImperialScale, MetricScale, Name, SIOffset, SIScale);
    return buf;
}

constexpr const char* UnitDef =
    "[R [D:Unit /UUID 0 /UnitName '' /ImperialCaption '' /ImperialOffset 0.0 /ImperialScale 1.0 "
    "/MetricCaption '' /MetricOffset 0.0 /MetricScale 1.0 /SICaption '' /SIOffset 0.0 /SIScale 1.0 ] "
    "[A 0 'def' '' 0.0 1.0 '' 0.0 1.0 '' 0.0 1.0 ] ]";

// A module description dictionary whose "Units" holds the records.
TRef<TSLDictionary> Module(const std::vector<MyAnsiString>& Records) {
    MyAnsiString text = "[D /Units [A ";
    text += UnitDef;
    for (const auto& r : Records) text += " " + r;
    text += " ] ]";
    return Dict(text.c_str());
}

TEST(DeviceUnits, ConversionsByUnitSystem) {
    TRef<TSLDictionary> m = Module({UnitRecord(1, "pos", 0.001, 0, 0.01, 0.0254)});
    auto* units = dynamic_cast<TSLArray*>(m->GetObjWithName("Units"));
    TDeviceUnit u(*dynamic_cast<TSLRecord*>(units->GetObjAtIndex(1)));
    EXPECT_EQ(u.UUID(), 1);
    EXPECT_EQ(u.Name(), "pos");

    EXPECT_EQ(u.IntToValStr(usSI, 1000), "1");
    EXPECT_EQ(u.ValToInt(usSI, 1.0), 1000);
    EXPECT_EQ(u.ValStrToInt("1", usSI), 1000);
    EXPECT_EQ(u.GetUnitCaption(usSI), "pos-si");
    EXPECT_EQ(u.GetUnitCaption(usMetric), "mm");
    EXPECT_EQ(u.IntToValStr(usMetric, 3), "0.03");
    EXPECT_EQ(u.IntToValStr(usImperial, 1000), "25.4");
    // English is the identity without a caption, whatever the columns hold
    EXPECT_EQ(u.IntToValStr(usEnglish, -1234), "-1234");
    EXPECT_EQ(u.ValToInt(usEnglish, 17.0), 17);
    const TUnitInfo en = u.GetUnitInfo(usEnglish);
    EXPECT_EQ(en.Caption, "");
    EXPECT_EQ(en.Scale, 1.0);
    EXPECT_EQ(en.Offset, 0.0);
    EXPECT_THROW(u.ValStrToInt("1,5", usSI), EConvertError);
}

TEST(DeviceUnits, RoundingAndOffsets) {
    TRef<TSLDictionary> m = Module({UnitRecord(1, "one", 1.0), UnitRecord(2, "tenth", 0.1), UnitRecord(3, "temp", 0.5, -273)});
    auto* units = dynamic_cast<TSLArray*>(m->GetObjWithName("Units"));
    TDeviceUnit one(*dynamic_cast<TSLRecord*>(units->GetObjAtIndex(1)));
    TDeviceUnit tenth(*dynamic_cast<TSLRecord*>(units->GetObjAtIndex(2)));
    TDeviceUnit temp(*dynamic_cast<TSLRecord*>(units->GetObjAtIndex(3)));

    const struct {
        double Val;
        std::int64_t Raw;
    } halves[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.4999, 0}, {2.51, 3}};
    for (const auto& h : halves) EXPECT_EQ(one.ValToInt(usSI, h.Val), h.Raw) << h.Val;
    EXPECT_EQ(tenth.IntToValStr(usSI, 3), "0.3");
    EXPECT_EQ(tenth.ValStrToInt("0.3", usSI), 3);
    EXPECT_EQ(temp.IntToValStr(usSI, 545), "-0.5");
    EXPECT_EQ(temp.ValToInt(usSI, 20.0), 586);
    EXPECT_THROW(one.ValToInt(usSI, 1e300), EConvertError);
}

// A column of scale 0 refuses conversions in its own unit system only.
TEST(DeviceUnits, ScaleZeroRefusesItsSystemOnly) {
    TRef<TSLDictionary> m = Module({UnitRecord(5, "broken", 0.001, 0, 0.0, 1.0)});
    auto* units = dynamic_cast<TSLArray*>(m->GetObjWithName("Units"));
    TDeviceUnit u(*dynamic_cast<TSLRecord*>(units->GetObjAtIndex(1)));
    ExpectError([&] { u.ValToInt(usMetric, 1.0); }, "TDeviceUnit.ValToInt: unit 'broken' has scale 0 in unit system 'Metric'");
    ExpectError([&] { u.IntToValStr(usMetric, 1); }, "TDeviceUnit.IntToVal: unit 'broken' has scale 0 in unit system 'Metric'");
    EXPECT_EQ(u.IntToValStr(usSI, 2000), "2");
    EXPECT_EQ(u.ValToInt(usSI, 2.0), 2000);
    EXPECT_EQ(u.ValToInt(usImperial, 7.0), 7);
    EXPECT_EQ(u.GetUnitInfo(usMetric).Scale, 0.0);
}

TEST(DeviceUnits, IdentityUnit) {
    const TDeviceUnit& id = IdentityDeviceUnit();
    for (TUnitSystem us : {usSI, usMetric, usEnglish, usImperial}) {
        EXPECT_EQ(id.IntToValStr(us, -42), "-42");
        EXPECT_EQ(id.ValToInt(us, 41.5), 42);
        EXPECT_EQ(id.GetUnitCaption(us), "");
    }
}

// ------------------------------------------------------------------ unit service

class UnitServiceTest : public test::ParameterFixture {};

TEST_F(UnitServiceTest, FirstUnitOfAUUIDWinsAcrossModules) {
    TUnitService& s = Units();
    s.Init(*Module({UnitRecord(7, "first", 0.5), UnitRecord(8, "other", 2.0)}));
    s.Init(*Module({UnitRecord(7, "second", 4.0), UnitRecord(9, "third", 1.0)}));
    s.Init(*Dict("[D /NoUnits 1 ]"));
    EXPECT_EQ(s.GetNumberOfUnits(), 4); // with the definition rows (UUID 0)
    ASSERT_NE(s.GetUnitWithUUID(7), nullptr);
    EXPECT_EQ(s.GetUnitWithUUID(7)->Name(), "first");
    EXPECT_EQ(s.GetUnitWithUUID(7)->IntToValStr(usSI, 4), "2");
    EXPECT_EQ(s.GetUnitWithUUID(9)->Name(), "third");
    EXPECT_EQ(s.GetUnitWithUUID(1234), nullptr);
}

TEST_F(UnitServiceTest, MissingKeyStopsTheModule) {
    TUnitService& s = Units();
    ExpectError([&] { s.Init(*Dict("[D /Units [A [D /UUID 3 /UnitName 'x' ] ] ]")); },
                "TSLDictionary error: no object named ImperialCaption");
    EXPECT_EQ(s.GetUnitWithUUID(3), nullptr);
}

TEST_F(UnitServiceTest, StartAndStopShowTheUnitsNode) {
    TUnitService& s = Units();
    ASSERT_NE(s.FModel, nullptr);
    EXPECT_EQ(s.FModel->Caption(), "Units");
    EXPECT_FALSE(s.FModel->GetVisible());
    bool wait = true;
    s.StartUp(wait);
    EXPECT_FALSE(wait);
    EXPECT_EQ(s.ServiceStatus(), dsStarted);
    EXPECT_EQ(s.FModel->Parent(), &Device().Model());
    s.ShutDown(wait);
    EXPECT_EQ(s.ServiceStatus(), dsStopped);
    EXPECT_EQ(s.FModel->Parent(), nullptr);
    EXPECT_EQ(s.Provider().Name(), "UnitService");
}

} // namespace
} // namespace vo
