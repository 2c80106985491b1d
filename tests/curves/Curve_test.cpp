// The curve (header, set points, drive blocks and raw export, interpolation,
// persistence), the data objects and their registry, the object container
// manager and the curve manager with the archived curve types.
#include "curves/Curve.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>

#include "curves/CurInit.h"
#include "curves/CurWizar.h"
#include "curves/ocCCrMan.h"
#include "curves/ocCntMan.h"
#include "curves/ocObjCnt.h"
#include "kernel/ModTree.h"
#include "kernel/TreeView.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Enc.h"
#include "tests/curves/CurveTestUtil.h"
#include "tests/support/ExpectError.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/ScriptedPrompt.h"
#include "tests/support/TestShell.h"

namespace vo {
namespace {

using test::ExpectError;

// A curve manager with the archived generators, types and information,
// installed for each test.
class CurveTest : public test::MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        Models = std::make_unique<TModelManager>();
        InitCurveManager();
        ASSERT_TRUE(Prompt.Texts().empty()) << Prompt.Texts()[0];
    }
    void TearDown() override {
        PurgeAutoReleasePool();
        Models.reset();
        MainSchedulerFixture::TearDown();
    }
    std::unique_ptr<TCurve> NewCurve() {
        auto c = std::make_unique<TCurve>(Models.get());
        c->SetUnits(&Units);
        return c;
    }
    test::TScriptedPromptScope Prompt;
    test::TArchiveStorage Storage;
    test::TSampleUnits Units;
    std::unique_ptr<TModelManager> Models;
};

TEST_F(CurveTest, NewCurveAndModifiedMarks) {
    auto c = NewCurve();
    EXPECT_EQ(c->ObjectType(), "CurveObject");
    EXPECT_EQ(c->FVersion, 3);
    EXPECT_EQ(c->Model().ImageIndex(), 18);
    EXPECT_FALSE(c->FModified);
    EXPECT_FALSE(c->FChanged);
    EXPECT_EQ(c->Info().GetCount(), 18);
    EXPECT_EQ(c->Info().GetNameAtIndex(0), "DataOffset");
    EXPECT_EQ(c->Info().GetNameAtIndex(17), "Downloaded");

    c->SetName(""); // the same name marks nothing
    EXPECT_FALSE(c->FModified);
    EXPECT_FALSE(c->FChanged);
    c->SetName("Cam");
    EXPECT_EQ(c->Model().Caption(), "Cam");
    EXPECT_TRUE(c->FModified);
    EXPECT_TRUE(c->FChanged);
    EXPECT_EQ(c->Model().ImageIndex(), 27);

    auto d = NewCurve();
    d->SetModified(true);
    EXPECT_TRUE(d->FModified);
    EXPECT_TRUE(d->FChanged);
    EXPECT_EQ(d->Model().ImageIndex(), 27);
    d->SetModified(false); // changed stays: it was modified before
    EXPECT_TRUE(d->FChanged);
    EXPECT_EQ(d->Model().ImageIndex(), 18);
    d->FChanged = false;
    d->SetModified(false);
    EXPECT_FALSE(d->FChanged);

    // ID and X length mark only real changes
    auto e = NewCurve();
    e->SetXDimUUID(2);
    e->SetID(0);
    EXPECT_FALSE(e->FModified);
    e->SetXLength(2.0);
    EXPECT_EQ(e->Info().GetIntWithName("XLength"), 2000000);
    e->FModified = e->FChanged = false;
    e->SetXLength(2.0000004); // rounds to the stored raw value
    EXPECT_FALSE(e->FModified);
    EXPECT_FALSE(e->FChanged);
    e->SetID(7);
    EXPECT_TRUE(e->FModified);
}

TEST_F(CurveTest, InfoBlockAndRawExport) {
    auto c = NewCurve();
    c->SetDataOffset(70);
    c->SetObjType(0x0103);
    c->SetDataTypeSize(2);
    c->SetCurveName("Cam1");
    c->SetID(5);
    c->Info().SetIntWithName("XLength", 0x12345678);
    c->SetXDimUUID(30);
    c->SetYDimUUID(40);
    c->SetWizardType(4865);
    c->SetWizardParIntValue(0, -1);
    c->SetWizardParIntValue(1, 0x01020304);
    c->AddNewIntData(1);
    c->AddNewIntData(2);
    EXPECT_EQ(c->GetNoOfSetPoints(), 2);
    const std::array<std::uint8_t, 70> golden = {
        0x46, 0x00, 0x03, 0x01, 0x02, 0x00, 0x02, 0x00, 'C', 'a', 'm', '1', 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x00, 0x78, 0x56, 0x34, 0x12,
        0x1E, 0x00, 0x28, 0x00, 0x01, 0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(c->InfoBlock(), golden);

    const std::vector<MyAnsiString> lines = c->RawDataLines();
    const std::vector<MyAnsiString> head = {"", "@StartObject,Curve", "@CurveName,Cam1", "@CurveID,5",
                                            "@InfoBlockByteSize,70", "@DataBlockByteSize,4", "@StartInfo", "@Value"};
    ASSERT_EQ(lines.size(), head.size() + 18 + 6);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), lines.begin()));
    EXPECT_EQ(lines[8], "01030046h");
    EXPECT_EQ(lines[9], "00020002h");
    EXPECT_EQ(lines[10], "316D6143h");
    EXPECT_EQ(lines[16], "12345678h");
    EXPECT_EQ(lines[17], "0028001Eh"); // the two UUIDs, 30 and 40
    EXPECT_EQ(lines[18], "FFFF1301h");
    EXPECT_EQ(lines[25], "00000000h");
    EXPECT_EQ(lines[25].substr(0, 4), "0000");
    const std::vector<MyAnsiString> tail = {"@EndInfo", "@StartData", "@Value", "00020001h", "@EndData", "@EndObject"};
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), lines.begin() + 26));

    // no points: no data line; a long name is cut in the block only
    auto d = NewCurve();
    d->SetCurveName("ABCDEFGHIJKLMNOPQRSTUVWXY");
    const auto block = d->InfoBlock();
    EXPECT_EQ(std::string(block.begin() + 8, block.begin() + 30), "ABCDEFGHIJKLMNOPQRSTUV");
    const auto dl = d->RawDataLines();
    EXPECT_EQ(dl[2], "@CurveName,ABCDEFGHIJKLMNOPQRSTUVWXY");
    EXPECT_EQ(dl[5], "@DataBlockByteSize,0");
    EXPECT_EQ(dl[dl.size() - 4], "@StartData");
    EXPECT_EQ(dl[dl.size() - 3], "@Value");
    EXPECT_EQ(dl[dl.size() - 2], "@EndData");

    // the export appends to an existing file and refuses a missing one
    const auto dir = std::filesystem::temp_directory_path() / ("curve-export-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "raw.txt";
    std::ofstream(file) << "header\r\n";
    c->WriteRawDataToFile(RealPathToStored(file));
    std::ifstream in(file, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    EXPECT_EQ(all.str().substr(0, 38), "header\r\n\r\n@StartObject,Curve\r\n@CurveNa");
    EXPECT_NE(all.str().find("01030046h\r\n"), std::string::npos);
    EXPECT_EQ(all.str().substr(all.str().size() - 12), "@EndObject\r\n");
    EXPECT_THROW(c->WriteRawDataToFile(RealPathToStored(dir / "missing.txt")), Exception);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.txt"));
    std::filesystem::remove_all(dir);
}

TEST_F(CurveTest, SetPointsAndInterpolation) {
    auto c = NewCurve();
    c->SetXDimUUID(2);
    c->SetYDimUUID(5);
    c->SetXLength(2.0);
    for (int v : {0, 10, 30}) c->AddNewIntData(v);
    EXPECT_DOUBLE_EQ(c->GetInterpolatedValue(2.0), c->GetDataSI(2));
    EXPECT_NEAR(c->GetInterpolatedValue(1.5), 20e-7, 1e-18);
    EXPECT_NEAR(c->GetInterpolatedValue(1.999999), 30e-7 - 20e-7 * 0.000001, 1e-18);
    EXPECT_DOUBLE_EQ(c->GetCurveResolution(), 1.0);
    EXPECT_EQ(c->GetDataString(2, usSI), "3E-6");

    // halves to even on raw values
    auto h = NewCurve();
    h->SetXDimUUID(2);
    h->SetXLength(2.0);
    for (int v : {0, 1, 2}) h->AddNewIntData(v);
    EXPECT_EQ(h->GetInterpolatedIntValue(0.5), 0); // 0.5
    EXPECT_EQ(h->GetInterpolatedIntValue(1.5), 2); // 1.5
    EXPECT_EQ(h->GetInterpolatedIntValue(2.0), 2);

    // one point: returned whatever X is; no resolution
    auto one = NewCurve();
    one->SetXDimUUID(2);
    one->SetXLength(1.0);
    one->AddNewIntData(42);
    EXPECT_EQ(one->GetInterpolatedValue(0.7), 42.0);
    EXPECT_EQ(one->GetInterpolatedIntValue(0.0), 42);
    ExpectError([&] { one->GetCurveResolution(); }, "Invalid curve");

    // extremes of a constant curve; index errors
    auto k = NewCurve();
    for (int i = 0; i < 4; ++i) k->AddNewIntData(7);
    double mx = 0, mn = 0;
    k->GetMaxMin(mx, mn);
    EXPECT_EQ(mx, 7.0);
    EXPECT_EQ(mn, 7.0);
    ExpectError([&] { k->GetDataInt(4); }, "TCurve.GetData: index out of bounds.");
    ExpectError([&] { k->GetDataSI(-1); }, "TCurve.GetData: index out of bounds.");
    ExpectError([&] { k->SetDataInt(4, 1); }, "TCurve.SetData: index out of bounds.");
    ExpectError([&] { k->SetDataSI(9, 1); }, "TCurve.SetData: index out of bounds.");
    ExpectError([&] { k->GetDataString(4, usSI); }, "TCurve.GetDataString: index out of bounds.");
    k->InsertNewIntData(0, -3);
    k->RemoveDataAtIndex(4);
    EXPECT_EQ(k->GetNoOfSetPoints(), 4);
    EXPECT_EQ(k->GetStartPointInt(), -3);
    EXPECT_EQ(k->GetEndPointInt(), 7);
    k->GetMaxMin(mx, mn);
    EXPECT_EQ(mn, -3.0);
    k->FModified = false;
    k->ClearDataArray();
    EXPECT_EQ(k->GetNoOfSetPoints(), 0);
    EXPECT_FALSE(k->FModified);
    EXPECT_EQ(k->GetWizardParIntValue(7), 0);
    EXPECT_EQ(k->GetWizardParIntValue(-1), 0);
}

// Replacing the points converts every value as a single point would be
// converted (runs of equal values included), and a value beyond the 32-bit
// range leaves the curve as it was.
TEST_F(CurveTest, ReplacedPointsMatchSinglePointConversion) {
    const double step = 1e-7; // position unit 5: one raw step in metres
    const std::vector<double> values = {0.0, 0.0, 1.5 * step, 2.5 * step, 2.5 * step, -2.5 * step,
                                        0.01, 0.01, 0.01, -0.0, -0.5 * step, 0.5 * step,
                                        0.1234567, 0.1234567, -0.2, 3.5 * step, 3.5 * step, 214.7483647};
    auto bulk = NewCurve();
    bulk->SetYDimUUID(5);
    bulk->ReplaceSIData(values);
    auto single = NewCurve();
    single->SetYDimUUID(5);
    for (const double v : values) single->AddNewSIData(v);
    ASSERT_EQ(bulk->GetNoOfSetPoints(), static_cast<std::int32_t>(values.size()));
    for (int i = 0; i < static_cast<int>(values.size()); ++i)
        EXPECT_EQ(bulk->GetDataInt(i), single->GetDataInt(i)) << "point " << i;
    EXPECT_EQ(bulk->GetDataInt(2), 2); // halves to even
    EXPECT_EQ(bulk->GetDataInt(3), 2);
    EXPECT_EQ(bulk->GetDataInt(5), -2);

    // all points at one value, as the standstill generator makes them
    bulk->ReplaceSIData(5, 0.0123);
    ASSERT_EQ(bulk->GetNoOfSetPoints(), 5);
    ASSERT_EQ(bulk->Data().GetCount(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(bulk->GetDataInt(i), 123000);
    bulk->ReplaceSIData(0, 0.0123);
    EXPECT_EQ(bulk->GetNoOfSetPoints(), 0);

    for (const double bad : {214.7483648, -214.7483649, std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(bad);
        bulk->ReplaceSIData({0.001, 0.002});
        bulk->FModified = false;
        EXPECT_THROW(bulk->ReplaceSIData({0.005, 0.005, bad, 0.006}), EConvertError);
        EXPECT_EQ(bulk->GetNoOfSetPoints(), 2);
        EXPECT_EQ(bulk->GetDataInt(0), 10000);
        EXPECT_EQ(bulk->GetDataInt(1), 20000);
        EXPECT_FALSE(bulk->FModified);
    }
}

TEST_F(CurveTest, BuiltByAGeneratorAndMadeManual) {
    TCurveWizard* w = CurveManager()->GetWizardWithName("sinpostime");
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->DataCheck({"0.5", "0.001", "0.021"}, &Units, 1000));
    auto c = NewCurve();
    c->SetName("Lift");
    c->InitCurve(*w, 3, 101, 1, 2, 5, true);
    EXPECT_EQ(c->GetDataOffset(), 70);
    EXPECT_EQ(c->GetObjType(), 259);
    EXPECT_EQ(c->GetCurveType(), 1);
    EXPECT_EQ(c->GetCurveName(), "Lift");
    EXPECT_EQ(c->GetID(), 3);
    EXPECT_EQ(c->Info().GetIntWithName("XLength"), 500000);
    EXPECT_EQ(c->GetWizardType(), 769);
    EXPECT_EQ(c->GetWizardParIntValue(0), 500000);
    EXPECT_EQ(c->GetWizardParIntValue(1), 10000);
    EXPECT_EQ(c->GetWizardParIntValue(2), 210000);
    EXPECT_EQ(c->GetWizardParIntValue(3), 0);
    EXPECT_DOUBLE_EQ(c->GetWizardParSIValue(0), 0.5);
    EXPECT_EQ(c->GetNoOfSetPoints(), 101);
    EXPECT_EQ(c->GetStartPointInt(), 10000);
    EXPECT_EQ(c->GetEndPointInt(), 210000);
    EXPECT_EQ(c->GetDataInt(50), 110000);
    EXPECT_EQ(c->GetWizardCaption(), "Sine");
    EXPECT_FALSE(c->GetIsManualType());

    c->ChangeToManual();
    EXPECT_EQ(c->GetWizardType(), 257);
    EXPECT_TRUE(c->GetIsManualType());
    EXPECT_EQ(c->GetWizardCaption(), "Manual");
    EXPECT_EQ(c->GetWizardParIntValue(0), 500000);
    EXPECT_EQ(c->GetWizardParIntValue(1), 0);

    // recalculating replaces the points; a point object held elsewhere keeps its value
    TRef<TSLObject> held = c->Data().GetObjAtIndex(100);
    c->FModified = false;
    w->CalcSetpoints(51, *c);
    EXPECT_EQ(c->GetNoOfSetPoints(), 51);
    EXPECT_EQ(c->Data().GetCount(), 51);
    EXPECT_EQ(c->GetDataInt(25), 110000);
    EXPECT_TRUE(c->FModified);
    EXPECT_EQ(SLCast<TSLNumber>(held.Get())->GetLongintValue(), 210000);
    TRef<TSLObject> first = c->Data().GetObjAtIndex(0);
    w->CalcSetpoints(101, *c);
    EXPECT_EQ(c->Data().GetCount(), 101);
    EXPECT_NE(c->Data().GetObjAtIndex(0), first.Get());
    EXPECT_EQ(SLCast<TSLNumber>(first.Get())->GetLongintValue(), 10000);
    EXPECT_EQ(c->GetDataInt(50), 110000);
    EXPECT_EQ(c->GetEndPointInt(), 210000);

    // a curve from a "FromFile..." generator keeps its points
    TCurveWizard* file = CurveManager()->GetWizardWithName("FromFileTime");
    ASSERT_TRUE(file->DataCheck({"0.2"}, &Units, 1000));
    c->InitCurve(*file, 4, 101, 1, 2, 5, true);
    EXPECT_EQ(c->GetDataInt(50), 110000);
    EXPECT_EQ(c->GetNoOfSetPoints(), 101);

    // joined curves are manual curves of the source's type
    auto j = NewCurve();
    j->InitJoinCurve(*c, 11, 1.0);
    EXPECT_EQ(j->GetName(), "Joined Curve");
    EXPECT_EQ(j->GetCurveName(), "Joined Curve");
    EXPECT_EQ(j->GetID(), 1);
    EXPECT_EQ(j->GetNoOfSetPoints(), 11);
    EXPECT_EQ(j->GetWizardType(), 257);
    EXPECT_EQ(j->GetWizardParIntValue(0), 1000000);

    // a type no generator has passes parameters unchanged
    c->SetWizardType(999 * 256 + 1);
    c->SetWizardParSIValue(0, 12.0);
    EXPECT_EQ(c->GetWizardParIntValue(0), 12);
    EXPECT_EQ(c->GetWizardParSIValue(0), 12.0);
    EXPECT_EQ(c->GetWizardCaption(), "Unknown");
}

TEST_F(CurveTest, SavedAndOpenedAgain) {
    auto c = NewCurve();
    c->SetName("Saved");
    c->SetCurveName("Saved");
    c->SetDownloaded(true);
    for (int v : {5, 6}) c->AddNewIntData(v);
    TRef<TSLDictionary> info = MakeRef<TSLDictionary>();
    TRef<TSLDictionary> data = MakeRef<TSLDictionary>();
    c->SaveInfoToDict(*info);
    c->SaveDataToDict(*data);
    EXPECT_EQ(info->GetIntWithName("Type"), 0);
    EXPECT_EQ(info->GetIntWithName("Version"), 3);
    EXPECT_EQ(info->GetStrWithName("Name"), "Saved");
    c->SetDataInt(0, 99); // the saved data are copies
    auto* saved = dynamic_cast<TSLArray*>(data->GetObjWithName("Data"));
    EXPECT_EQ(SLCast<TSLNumber>(saved->GetObjAtIndex(0))->GetLongintValue(), 5);

    auto o = TCurve::CreateOpen(*info, *data, Models.get());
    EXPECT_EQ(o->GetName(), "Saved");
    EXPECT_TRUE(o->FModified);
    EXPECT_TRUE(o->FChanged);
    EXPECT_TRUE(o->GetDownloaded());
    EXPECT_EQ(o->GetNoOfSetPoints(), 2);
    o->SetDataInt(1, 77); // opened by reference
    EXPECT_EQ(SLCast<TSLNumber>(saved->GetObjAtIndex(1))->GetLongintValue(), 77);

    // a header without "Downloaded" gets it; an empty name marks nothing
    TRef<TSLDictionary> old = test::DecodeDict(
        "[D /Info [D /DataOffset 70 /ObjType 259 /NoOfSetPoints 0 /DataTypeSize 4 /CurveName '' ] /Data [A ] ]");
    TRef<TSLDictionary> v3 = test::DecodeDict("[D /Type 0 /Version 3 /Name '' ]");
    auto p = TCurve::CreateOpen(*v3, *old, Models.get());
    EXPECT_FALSE(p->GetDownloaded());
    EXPECT_FALSE(p->FModified);

    TRef<TSLDictionary> v2 = test::DecodeDict("[D /Type 0 /Version 2 /Name '' ]");
    ExpectError([&] { TCurve::CreateOpen(*v2, *old, Models.get()); }, "TCurve.CreateOpen: unknown type or version!");
    TRef<TSLDictionary> wrong = test::DecodeDict("[D /Info [A ] /Data [A ] ]");
    EXPECT_THROW(TCurve::CreateOpen(*v3, *wrong, Models.get()), Exception);
}

// The points of an array, as the storage language holds them.
std::vector<std::int64_t> ArrayValues(const TSLArray& A) {
    std::vector<std::int64_t> v;
    for (int i = 0; i < A.GetCount(); ++i) v.push_back(SLCast<TSLNumber>(A.GetObjAtIndex(i))->GetLongintValue());
    return v;
}

std::vector<std::int64_t> CurveValues(const TCurve& C) {
    std::vector<std::int64_t> v;
    for (int i = 0; i < C.GetNoOfSetPoints(); ++i) v.push_back(C.GetDataInt(i));
    return v;
}

// A curve stored as text, read back and stored again gives the same bytes,
// the same drive blocks and the same export, whichever way its points came.
TEST_F(CurveTest, StoredReadBackAndStoredAgainKeepsItsBytes) {
    const auto store = [](const TCurve& C) {
        TRef<TSLDictionary> file = MakeRef<TSLDictionary>();
        TRef<TSLDictionary> info = MakeRef<TSLDictionary>();
        TRef<TSLDictionary> data = MakeRef<TSLDictionary>();
        C.SaveInfoToDict(*info);
        C.SaveDataToDict(*data);
        file->SetObjWithName("ObjInfo", info.Get());
        file->SetObjWithName("ObjData", data.Get());
        return SLEncodeToString(file.Get());
    };
    const auto open = [&](const MyAnsiString& Bytes) {
        TRef<TSLDictionary> file = test::DecodeDict(Bytes.c_str());
        auto c = TCurve::CreateOpen(*dynamic_cast<TSLDictionary*>(file->GetObjWithName("ObjInfo")),
                                    *dynamic_cast<TSLDictionary*>(file->GetObjWithName("ObjData")), Models.get());
        c->SetUnits(&Units);
        return c;
    };
    TCurveWizard* sine = CurveManager()->GetWizardWithName("SinPosTime");
    ASSERT_TRUE(sine->DataCheck({"0.5", "-0.01", "0.021"}, &Units, 1000));
    struct TCase {
        const char* Name;
        std::function<void(TCurve&)> Fill;
    };
    const TCase cases[] = {
        {"generated", [&](TCurve& c) { c.InitCurve(*sine, 3, 501, 1, 2, 5, true); }},
        {"extremes", [](TCurve& c) {
             for (std::int32_t v : {INT32_MIN, -1, 0, 1, INT32_MAX}) c.AddNewIntData(v);
         }},
        {"no points", [](TCurve&) {}},
        {"edited after generating", [&](TCurve& c) {
             c.InitCurve(*sine, 4, 101, 1, 2, 5, true);
             c.Data(); // the array is built, then follows the edits
             c.SetDataInt(3, 77);
             c.InsertNewIntData(0, -5);
             c.RemoveDataAtIndex(50);
             c.AddNewSIData(std::vector<double>{0.001, 0.002});
         }},
    };
    for (const TCase& k : cases) {
        SCOPED_TRACE(k.Name);
        auto c = NewCurve();
        c->SetName("Round trip");
        c->SetCurveName("Round trip");
        c->SetDataTypeSize(4);
        k.Fill(*c);
        const MyAnsiString first = store(*c);
        auto o = open(first);
        EXPECT_EQ(store(*o), first);
        EXPECT_EQ(o->InfoBlock(), c->InfoBlock());
        EXPECT_EQ(o->DataBlock(), c->DataBlock());
        EXPECT_EQ(o->RawDataLines(), c->RawDataLines());
        EXPECT_EQ(CurveValues(*o), CurveValues(*c));
        // a point changed and changed back, through the array opened by reference
        if (o->GetNoOfSetPoints() > 0) {
            const std::int32_t v = o->GetDataInt(0);
            o->SetDataInt(0, v + 1);
            o->SetDataInt(0, v);
            EXPECT_EQ(store(*o), first);
        }
    }

    // stored points that are no 32-bit integers only the array holds stay as
    // they were stored, and still read as before
    const MyAnsiString odd =
        "[D /ObjInfo [D /Type 0 /Version 3 /Name 'Odd' ] /ObjData [D /Info [D /DataOffset 70 /ObjType 259 "
        "/NoOfSetPoints 4 /DataTypeSize 4 /CurveName 'Odd' /ID 1 /XLength 1000 /XDimUUID 2 /YDimUUID 5 "
        "/Downloaded false ] /Data [A 1 2.75 1099511627777 -3 ] ] ] ";
    auto o = open(odd);
    EXPECT_EQ(store(*o), odd);
    EXPECT_EQ(o->GetDataInt(3), -3);
    EXPECT_EQ(o->GetDataInt(2), 1); // the low 32 bits
    EXPECT_EQ(o->GetEndPointInt(), -3);
    o->SetDataInt(0, 5);
    EXPECT_EQ(ArrayValues(o->Data())[0], 5);
    EXPECT_EQ(ArrayValues(o->Data())[2], 1099511627777);
    o->ReplaceSIData(2, 1e-6); // replaced as a whole: plain points again
    EXPECT_EQ(ArrayValues(o->Data()), (std::vector<std::int64_t>{10, 10}));
    o->AddNewIntData(4);
    EXPECT_EQ(CurveValues(*o), (std::vector<std::int64_t>{10, 10, 4}));

    // a point that is no number fails when it is read or written, not before
    const MyAnsiString text =
        "[D /ObjInfo [D /Type 0 /Version 3 /Name 'Text' ] /ObjData [D /Info [D /NoOfSetPoints 3 /CurveName 'Text' /Downloaded false ] "
        "/Data [A 1 [A ] 3 ] ] ] ";
    auto t = open(text);
    EXPECT_EQ(t->GetDataInt(2), 3);
    EXPECT_THROW(t->GetDataInt(1), Exception);
    EXPECT_THROW(t->SetDataInt(1, 5), Exception);
    EXPECT_EQ(store(*t), text);

    // one point object at two places changes at both
    TRef<TSLDictionary> info = test::DecodeDict("[D /Type 0 /Version 3 /Name '' ]");
    TRef<TSLDictionary> data = test::DecodeDict("[D /Info [D /NoOfSetPoints 3 /CurveName '' ] /Data [A 0 0 ] ]");
    auto* shared = dynamic_cast<TSLArray*>(data->GetObjWithName("Data"));
    shared->AddObject(shared->GetObjAtIndex(0));
    auto twice = TCurve::CreateOpen(*info, *data, Models.get());
    twice->SetDataInt(0, 6);
    EXPECT_EQ(CurveValues(*twice), (std::vector<std::int64_t>{6, 0, 6}));
}

// Whatever changes the points, the storage-language array read afterwards
// shows the change; while the caller of CreateOpen still holds the array it
// shows every change at once.
TEST_F(CurveTest, ChangedPointsReachTheArrayReadAfterwards) {
    using V = std::vector<std::int64_t>;
    struct TStep {
        const char* Name;
        std::function<void(TCurve&)> Change;
        V Expected;
    };
    const double step = 1e-7; // one raw position step
    const TStep steps[] = {
        {"add", [](TCurve& c) { c.AddNewIntData(5); }, {1, 2, 3, 5}},
        {"replace", [&](TCurve& c) { c.ReplaceSIData(std::vector<double>{10 * step, 20 * step, 30 * step}); }, {10, 20, 30}},
        {"set", [](TCurve& c) { c.SetDataInt(1, 42); }, {10, 42, 30}},
        {"set SI", [&](TCurve& c) { c.SetDataSI(2, 31 * step); }, {10, 42, 31}},
        {"insert", [](TCurve& c) { c.InsertNewIntData(0, -7); }, {-7, 10, 42, 31}},
        {"remove", [](TCurve& c) { c.RemoveDataAtIndex(2); }, {-7, 10, 31}},
        {"append many", [&](TCurve& c) { c.AddNewSIData(std::vector<double>{8 * step, 9 * step}); }, {-7, 10, 31, 8, 9}},
        {"fill", [&](TCurve& c) { c.ReplaceSIData(3, 4 * step); }, {4, 4, 4}},
        {"generate", [](TCurve& c) { CurveManager()->GetWizardWithName("ManualTime")->CalcSetpoints(2, c); }, {0, 0}},
        {"clear", [](TCurve& c) { c.ClearDataArray(); }, {}},
        {"add to empty", [](TCurve& c) { c.AddNewIntData(9); }, {9}},
    };
    ASSERT_TRUE(CurveManager()->GetWizardWithName("ManualTime")->DataCheck({"0.2"}, &Units, 100));

    auto fresh = NewCurve();
    fresh->SetYDimUUID(5);
    for (int v : {1, 2, 3}) fresh->AddNewIntData(v);

    TRef<TSLDictionary> info = test::DecodeDict("[D /Type 0 /Version 3 /Name 'Held' ]");
    TRef<TSLDictionary> data = test::DecodeDict(
        "[D /Info [D /NoOfSetPoints 3 /YDimUUID 5 /CurveName 'Held' ] /Data [A 1 2 3 ] ]");
    auto* held = dynamic_cast<TSLArray*>(data->GetObjWithName("Data"));
    auto opened = TCurve::CreateOpen(*info, *data, Models.get());
    opened->SetUnits(&Units);

    for (TCurve* c : {fresh.get(), opened.get()}) {
        SCOPED_TRACE(c->GetName());
        for (const TStep& s : steps) {
            SCOPED_TRACE(s.Name);
            ASSERT_EQ(ArrayValues(c->Data()).size(), CurveValues(*c).size()); // read before the change
            if (c == opened.get()) {
                s.Change(*c);
                EXPECT_EQ(ArrayValues(*held), s.Expected) << "the caller's array at once";
            } else {
                s.Change(*c);
            }
            EXPECT_EQ(CurveValues(*c), s.Expected);
            EXPECT_EQ(ArrayValues(c->Data()), s.Expected);
            EXPECT_EQ(c->GetNoOfSetPoints(), static_cast<std::int32_t>(s.Expected.size()));
            TRef<TSLDictionary> saved = MakeRef<TSLDictionary>();
            c->SaveDataToDict(*saved);
            EXPECT_EQ(ArrayValues(*dynamic_cast<TSLArray*>(saved->GetObjWithName("Data"))), s.Expected);
        }
        // index errors name the array and leave the points as they were
        ExpectError([&] { c->InsertNewIntData(3, 1); }, "TSLArray.InsObjAtIndex: index (3) out of bounds (1)");
        ExpectError([&] { c->RemoveDataAtIndex(-1); }, "TSLArray.DelObjAtIndex: index (-1) out of bounds (1)");
        ExpectError([&] { c->RemoveDataAtIndex(1); }, "TSLArray.DelObjAtIndex: index (1) out of bounds (1)");
        EXPECT_EQ(ArrayValues(c->Data()), V{9});
    }
}

// Converting many SI values at once gives exactly the raw values a single
// conversion gives, halves to even included, in units of every scale.
TEST_F(CurveTest, BulkConversionMatchesSinglePointConversion) {
    std::mt19937_64 random(34);
    std::uniform_int_distribution<std::int64_t> raw(INT32_MIN, INT32_MAX);
    std::uniform_real_distribution<double> frac(-1.0, 1.0);
    const double fractions[] = {0.0, 0.5, -0.5, 0.49999999, 0.50000001, 1.5, -1.5, 0.25};
    for (const int uuid : {2, 5, 6, 7, 29, 30, 31}) {
        SCOPED_TRACE(uuid);
        const TDeviceUnit& unit = *Units.GetUnitWithUUID(uuid);
        const double scale = unit.GetUnitInfo(usSI).Scale;
        std::vector<double> values;
        for (int i = 0; i < 20000; ++i) {
            const double k = static_cast<double>(raw(random)) / (i % 3 == 0 ? 1 << 20 : 1);
            values.push_back((std::trunc(k) + (i % 2 ? fractions[i % 8] : frac(random))) * scale);
        }
        std::vector<std::int32_t> expected;
        std::vector<double> fitting;
        for (const double v : values) {
            const std::int64_t r = unit.ValToInt(usSI, v);
            if (r < INT32_MIN || r > INT32_MAX) continue;
            fitting.push_back(v);
            expected.push_back(static_cast<std::int32_t>(r));
        }
        auto c = NewCurve();
        c->SetYDimUUID(uuid);
        c->ReplaceSIData(fitting);
        ASSERT_EQ(c->GetNoOfSetPoints(), static_cast<std::int32_t>(expected.size()));
        int wrong = 0;
        for (int i = 0; i < c->GetNoOfSetPoints(); ++i)
            if (c->GetDataInt(i) != expected[static_cast<std::size_t>(i)] && ++wrong < 5)
                ADD_FAILURE() << "value " << fitting[static_cast<std::size_t>(i)] << ": " << c->GetDataInt(i)
                              << " instead of " << expected[static_cast<std::size_t>(i)];
        EXPECT_EQ(wrong, 0);
    }
}

// ------------------------------------------------------------------ managers and registry

TEST_F(CurveTest, ArchivedManager) {
    TCurveManager& m = *CurveManager();
    const char* names[] = {"SinPosTime", "VAPosTime", "MinJerkPosTime", "LimitJerkPosTime", "StandstillPosTime",
                           "FromFileTime", "ManualTime", "SinPosInc", "MinJerkPosInc", "StandstillPosInc",
                           "VALengthPosInc", "ConvSyncPosInc", "FromFileInc", "ManualInc"};
    ASSERT_EQ(m.GetWizardCount(), 14);
    for (int i = 0; i < 14; ++i) EXPECT_EQ(m.GetWizard(i).FWizardName, names[i]);
    ExpectError([&] { m.GetWizard(14); }, "TCurveManager.GetWizard: Index out of bound.");
    ExpectError([&] { m.GetWizard(-1); }, "TCurveManager.GetWizard: Index out of bound.");
    EXPECT_EQ(m.GetWizardCaption(257), "Manual"); // "FromFile..." is registered first
    EXPECT_EQ(m.GetWizardCaption(999), "Unknown");
    EXPECT_EQ(m.GetWizardOfType(257)->FWizardName, "FromFileTime");
    EXPECT_EQ(m.GetWizardOfType(5633)->FWizardName, "ConvSyncPosInc");
    EXPECT_EQ(m.GetWizardOfType(12345), nullptr);
    EXPECT_EQ(m.GetWizardWithName("nothing"), nullptr);

    ASSERT_EQ(m.GetCurveTypeCount(), 2);
    EXPECT_EQ(m.GetCurveXYDimCodeAtIndex(0), 1);
    EXPECT_EQ(m.GetCurveXYDimCodeAtIndex(1), 2);
    EXPECT_EQ(m.GetManualWizardTypeOfCurve(1), 257);
    EXPECT_EQ(m.GetManualWizardTypeOfCurve(2), 4353);
    EXPECT_EQ(m.GetManualWizardTypeOfCurveAtIndex(1), 4353);
    EXPECT_EQ(m.GetDataTypeSizeOfCurve(1), 4);
    EXPECT_EQ(m.GetCurveXDimUUIDAtIndex(0), 2);
    EXPECT_EQ(m.GetCurveYDimUUIDAtIndex(1), 5);
    EXPECT_TRUE(m.WizardValidForCurve("SinPosTime", 0));
    EXPECT_FALSE(m.WizardValidForCurve("SinPosInc", 0));
    EXPECT_FALSE(m.WizardValidForCurve("sinpostime", 0));
    EXPECT_TRUE(m.WizardValidForCurve("ConvSyncPosInc", 1));
    EXPECT_EQ(m.ActualVersion(), 3);
    // every generator offered by a type is registered
    for (int t = 0; t < m.GetCurveTypeCount(); ++t)
        for (int i = 0; i < m.GetWizardCount(); ++i)
            if (m.WizardValidForCurve(m.GetWizard(i).FWizardName, t)) {
                EXPECT_NE(m.GetWizard(i).FWizardType, 0);
            }

    ExpectError([&] { m.RegisterCurveWizard(std::make_unique<TSineWizard>(nullptr, "SINPOSTIME")); },
                "TCurveManager.RegisterCurveWizard: curve wizard already registered");
    EXPECT_EQ(m.GetWizardCount(), 14);
}

TEST_F(CurveTest, TypesByCode) {
    TCurveManager m;
    TRef<TSLDictionary> d = test::DecodeDict(
        "[D /T [A [D /ID 1 /Caption 'first' /XDimCaption 'x1' /YDimCaption 'y1' /DataTypeSize 2 /ManualWizard 'M' ]"
        " [D /ID 1 /Caption 'second' /XDimCaption 'x2' /YDimCaption 'y2' /DataTypeSize 4 /ManualWizard 'M' ] ] ]");
    m.SetCurveTypes(dynamic_cast<TSLArray*>(d->GetObjWithName("T")));
    EXPECT_EQ(m.GetCurveTypeCaption(1), "second");
    EXPECT_EQ(m.GetCurveXDimCaption(1), "x2");
    EXPECT_EQ(m.GetCurveYDimCaption(1), "y2");
    EXPECT_EQ(m.GetDataTypeSizeOfCurve(1), 4);
    EXPECT_EQ(m.GetIndexOfCurveType(1), 0);
    EXPECT_EQ(m.GetIndexOfCurveType(5), -1);
    EXPECT_EQ(m.GetCurveTypeCaption(5), "Unknown");
    EXPECT_EQ(m.GetCurveXDimCaption(5), "");
    EXPECT_EQ(m.GetDataTypeSizeOfCurve(5), 0);
    EXPECT_EQ(m.GetManualWizardTypeOfCurve(5), 0);
    EXPECT_EQ(m.GetManualWizardTypeOfCurve(1), 0); // "M" is not registered
}

TEST_F(CurveTest, MissingTypesFileIsReportedOnce) {
    Prompt.Clear();
    LoadCurveManager("archive://Archives\\CurveCreator\\Missing.stx", test::InfoFile);
    EXPECT_EQ(Prompt.Count(), 1u);
    ASSERT_NE(CurveManager(), nullptr);
    EXPECT_EQ(CurveManager()->GetCurveTypeCount(), 0);
    EXPECT_EQ(CurveManager()->GetWizardCount(), 14);
    EXPECT_EQ(CurveManager()->GetWizard(0).GetNoOfWizardPars(), 0);
    EXPECT_EQ(CurveManager()->ActualVersion(), 3);
    EXPECT_EQ(CurveManager()->GetIndexOfCurveType(1), -1);
    Prompt.Clear();
    LoadCurveManager(test::TypesFile, "archive://Archives\\CurveCreator\\NoInfo.stx");
    EXPECT_EQ(Prompt.Count(), 1u);
    EXPECT_EQ(CurveManager()->ActualVersion(), -1);
}

TEST_F(CurveTest, DeferredManagerIsMadeOnFirstUse) {
    // The program reads the curve files when the manager is first asked
    // for: once, and a manager set before that keeps the loader from running.
    SetCurveManager(nullptr);
    DeferCurveManager();
    TCurveManager* made = CurveManager();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetWizardCount(), 14);
    EXPECT_GT(made->GetCurveTypeCount(), 0);
    EXPECT_EQ(CurveManager(), made);

    int loads = 0;
    SetCurveManagerLoader([&loads] { ++loads; });
    EXPECT_EQ(CurveManager(), made); // a manager is there: the loader waits
    SetCurveManager(nullptr);
    SetCurveManager(made); // set by hand: the loader is dropped
    SetCurveManager(nullptr);
    EXPECT_EQ(CurveManager(), nullptr);
    EXPECT_EQ(loads, 0);
    SetCurveManager(made);
}

struct TFakeDataView : TCurveDataView {
    explicit TFakeDataView(TCurve* C) : C(C) {}
    TCurve* Curve() const override { return C; }
    TCurve* C;
};

TEST_F(CurveTest, OneValueWindowPerCurve) {
    TCurveManager m;
    std::vector<std::unique_ptr<TFakeDataView>> made;
    m.SetCurveDataViewFactory([&](TCurve* c) {
        made.push_back(std::make_unique<TFakeDataView>(c));
        return made.back().get();
    });
    auto a = NewCurve(), b = NewCurve();
    TCurveDataView* va = m.GetCurveDataView(a.get());
    EXPECT_EQ(m.GetCurveDataView(a.get()), va);
    EXPECT_NE(m.GetCurveDataView(b.get()), va);
    m.RemoveCurveDataView(va);
    EXPECT_NE(m.GetCurveDataView(a.get()), va);
    EXPECT_EQ(made.size(), 3u);
}

TEST(DataObjects, RegistryAndContainerManager) {
    TZezDataTypeList list;
    list.RegisterZezDataTypeClass(TCurve::DataTypeClass());
    ExpectError([&] { list.RegisterZezDataTypeClass(TCurve::DataTypeClass()); }, "ZezDataType already registered");
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetZezDataTypeClass("CurveObject"), &TCurve::DataTypeClass());
    EXPECT_EQ(list.GetZezDataTypeClass("curveobject"), nullptr);
    EXPECT_EQ(list.GetZezDataTypeClass("Profile"), nullptr);

    test::TestShell shell;
    TCountImageList images(12);
    shell.imageList = &images;
    TObjCntManager m;
    images.SetCount(20);
    EXPECT_EQ(m.GetIndexOfImage(0), 12);
    EXPECT_EQ(m.GetIndexOfImage(3), 15);

    InitDataObjectManagers();
    ASSERT_NE(ZezDataTypeList(), nullptr);
    ASSERT_NE(ObjCntManager(), nullptr);
    EXPECT_EQ(ObjCntManager()->GetIndexOfImage(0), 20);
    EXPECT_NE(ZezDataTypeList()->GetZezDataTypeClass("CurveObject"), nullptr);
}

} // namespace
} // namespace vo
