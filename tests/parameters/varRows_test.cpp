// The rows of the variable list view: masks, cell texts, "Copy Var", the CSV
// text of a saved read and the cyclic index, against variables of a section
// made by hand and against the simulated drive over a pseudo-terminal.
#include "parameters/varRows.h"

#include "parameters/ParSrv.h"
#include "parameters/PtGen.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "tests/parameters/VarServiceFixture.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

namespace vo::test {
namespace {

// ------------------------------------------------------------------ pure arithmetic

TEST(VarRowsTest, MasksOfTheUserNames) {
    const struct {
        const char* User;
        int Read, Write;
    } cases[] = {{"DEVELOPER", 0x15, 0x2A}, {"Service", 0x05, 0x0A}, {"user", 0x01, 0x02}, {"GUEST", 0x01, 0x00}, {"", 0x01, 0x00}, {"ADMIN", 0x01, 0x00}};
    for (const auto& c : cases) {
        const TVarViewMasks m = VarViewMasks(c.User);
        EXPECT_EQ(m.Read, c.Read) << c.User;
        EXPECT_EQ(m.Write, c.Write) << c.User;
    }
}

TEST(VarRowsTest, UPIDTexts) {
    const struct {
        int Device, Master;
        bool Hex, Developer;
        const char* Text;
    } cases[] = {{0x04D2, 0x0640, true, true, "04D2h (0640h)"}, {0x04D2, 0x0640, true, false, "04D2h"}, {1234, 1600, false, true, "1234 (1600)"}, {1234, 1234, false, true, "1234"}, {0x12345, 0x12345, true, false, "12345h"}, {7, 7, true, true, "0007h"}};
    for (const auto& c : cases) EXPECT_EQ(VarUPIDText(c.Device, c.Master, c.Hex, c.Developer), c.Text) << c.Text;
}

TEST(VarRowsTest, CopyVarAddresses) {
    const struct {
        const char* Address;
        int Size;
        const char* Next;
    } cases[] = {{"2000.F", 2, "0000:2002.0"}, {"2000.3", 2, "0000:2000.4"}, {"2000", 2, "0000:2002"}, {"2000.9", 2, "0000:2000.A"}, {"2000.a", 2, "0000:2000.B"}, {"0001:FFFE", 4, "0001:10002"}, {"0012:0010", 1, "0012:0011"}, {"10", 4, "0000:0014"}, {"0003:1FFF.f", 2, "0003:2001.0"}};
    for (const auto& c : cases) EXPECT_EQ(CopyVarAddress(c.Address, c.Size), c.Next) << c.Address;
    ExpectError([] { CopyVarAddress("20G0", 2); }, "'20G0' is not a valid hexadecimal address");
    ExpectError([] { CopyVarAddress("2000.x", 2); }, "'2000.x' is not a valid bit address");
}

TEST(VarRowsTest, CopyVarCaptions) {
    const std::set<MyAnsiString> taken = {"Brake", "Brake(1)", "Speed(2)", "Gain (x)"};
    auto isTaken = [&](const MyAnsiString& C) { return taken.count(C) != 0; };
    EXPECT_EQ(CopyVarCaption("Brake", isTaken), "Brake(2)");
    EXPECT_EQ(CopyVarCaption("Brake(1)", isTaken), "Brake(2)");
    EXPECT_EQ(CopyVarCaption("Speed(2)", isTaken), "Speed(1)");
    EXPECT_EQ(CopyVarCaption("Free", isTaken), "Free");
    EXPECT_EQ(CopyVarCaption("Gain (x)", isTaken), "Gain (1)");
    EXPECT_EQ(CopyVarCaption("", [](const MyAnsiString& C) { return C.empty(); }), "(1)");
}

TEST(VarRowsTest, CsvFieldsQuotedOnlyWhenNeeded) {
    const struct {
        const char* In;
        const char* Out;
    } cases[] = {{"Speed", "Speed"},
                 {"", ""},
                 {"a;b", "\"a;b\""},
                 {"say \"hi\"", "\"say \"\"hi\"\"\""},
                 {"line\r\nbreak", "\"line\r\nbreak\""},
                 {"1.5", "1.5"},
                 {"\xE4rger", "\xE4rger"}};
    for (const auto& c : cases) EXPECT_EQ(VarCsvField(c.In), c.Out) << c.In;
}

TEST(VarRowsTest, CyclicIndexPausesAfterEachPassAndWraps) {
    TCyclicIndex c;
    std::vector<int> rows;
    std::vector<bool> pauses;
    for (int i = 0; i < 7; ++i) {
        rows.push_back(c.Next(3));
        pauses.push_back(c.TakePause());
    }
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 0, 1, 2, 0}));
    EXPECT_EQ(pauses, (std::vector<bool>{false, false, true, false, false, true, false}));

    // Rows removed in the middle of a pass: the next read starts over.
    c.Reset();
    c.Next(5);
    c.Next(5);
    c.Next(5);
    EXPECT_EQ(c.Index(), 3);
    EXPECT_EQ(c.Next(2), 0);
    EXPECT_EQ(c.Next(2), 1);
    EXPECT_TRUE(c.TakePause());
    EXPECT_EQ(c.Next(0), -1);
    EXPECT_FALSE(c.TakePause());
    EXPECT_EQ(c.Next(1), 0);
    EXPECT_TRUE(c.TakePause()) << "a single row is a whole pass";
}

// ------------------------------------------------------------------ a section made by hand

TRef<TSLNamedCollection> Dict(const MyAnsiString& Text) {
    TRef<TSLObject> o = SLDecodeString(Text);
    return TRef<TSLNamedCollection>(dynamic_cast<TSLNamedCollection*>(o.Get()));
}

class VarRowsSectionTest : public VarServiceTestBase {
public:
    void SetUp() override {
        VarServiceTestBase::SetUp();
        Dev = &NewDevice();
        Svc = &Vars(*Dev);
        User = &Svc->CreateDir("User Defined", "User Defined", 255, true);
    }
    TVarItem& UserVar(const char* Type, const char* Caption, const char* Addr) {
        TVarItem& v = User->CreateVar("", Caption, Type, -1, vstUserDefined);
        v.SetAddrStr(Addr);
        return v;
    }
    TDevice* Dev = nullptr;
    TVariableService* Svc = nullptr;
    TDirItem* User = nullptr;
};

TEST_F(VarRowsSectionTest, CellsOfUserDefinedAndSystemVariables) {
    TVarItem& own = UserVar("UInt16", "Own", "1234");
    TVarRowContext ctx;
    ctx.UPIDDispMode = "HEX";
    ctx.RawDataDispMode = "HEX";
    ctx.WriteMask = VarViewMasks("USER").Write;

    TVarRowTexts t = VarRowTexts(own, ctx);
    EXPECT_EQ(t[vcName], "Own");
    EXPECT_EQ(t[vcValue], "---");
    EXPECT_EQ(t[vcRawData], "---");
    EXPECT_EQ(t[vcUPID], "1234h (Address)");
    EXPECT_EQ(t[vcType], "UInt16");
    EXPECT_EQ(t[vcScale], "1 ");
    EXPECT_EQ(t[vcOffset], "0 ");
    EXPECT_EQ(t[vcAttr], "RW") << "user-defined variables carry permission 3";

    own.SetValueStr("1234");
    t = VarRowTexts(own, ctx);
    EXPECT_EQ(t[vcValue], own.GetValueStr());
    EXPECT_NE(t[vcValue], "---");
    EXPECT_EQ(t[vcRawData], own.GetRawDataStr("HEX"));

    ctx.WriteMask = VarViewMasks("GUEST").Write;
    EXPECT_EQ(VarRowTexts(own, ctx)[vcAttr], "R");

    TVarItem& sys = User->CreateVar("1600", "Sys", "Bool16", -1, vstSystem);
    sys.SetConfig(*Dict("[D /UPID 1600 /DEVICE_UPID 1234 ]"));
    ctx.Developer = true;
    t = VarRowTexts(sys, ctx);
    EXPECT_EQ(t[vcUPID], "04D2h (0640h)");
    EXPECT_EQ(t[vcType], "Bool16");
    EXPECT_EQ(t[vcScale], "") << "no scale for a Boolean";
    EXPECT_EQ(t[vcOffset], "");
    ctx.Developer = false;
    ctx.UPIDDispMode = "DEC";
    EXPECT_EQ(VarRowTexts(sys, ctx)[vcUPID], "1234");
}

TEST_F(VarRowsSectionTest, ListedByMaskVisibilityAndDeletion) {
    const struct {
        std::uint8_t Permission;
        const char* Caption;
    } vars[] = {{0x01, "bit0"}, {0x04, "bit2"}, {0x10, "bit4"}, {0x02, "write only"}, {0x0B, "bits013"}};
    for (const auto& v : vars) {
        TVarItem& item = User->CreateVar("", v.Caption, "UInt8", -1, vstUserDefined);
        item.SetConfig(*Dict("[D /Permission " + std::to_string(v.Permission) + " /Address '2000' /Caption '" + v.Caption + "' ]"));
    }
    TVarItem& hidden = User->CreateVar("", "hidden", "UInt8", -1, vstUserDefined);
    hidden.ClearFlag(vfVisible);
    TVarItem& gone = User->CreateVar("", "gone", "UInt8", -1, vstUserDefined);
    gone.Delete();

    auto captions = [&](const char* UserName) {
        std::vector<MyAnsiString> out;
        for (TVarItem* v : ListedVars(*User, VarViewMasks(UserName).Read)) out.push_back(v->Caption());
        return out;
    };
    EXPECT_EQ(captions("GUEST"), (std::vector<MyAnsiString>{"bit0", "bits013"}));
    EXPECT_EQ(captions("SERVICE"), (std::vector<MyAnsiString>{"bit0", "bit2", "bits013"}));
    EXPECT_EQ(captions("DEVELOPER"), (std::vector<MyAnsiString>{"bit0", "bit2", "bit4", "bits013"}));

    const std::uint8_t service = VarViewMasks("SERVICE").Write;
    EXPECT_FALSE(VarWritable(User->GetVarItem(0), service));
    EXPECT_TRUE(VarWritable(User->GetVarItem(3), service));
    EXPECT_TRUE(VarWritable(User->GetVarItem(4), service));
    EXPECT_FALSE(VarWritable(User->GetVarItem(4), VarViewMasks("GUEST").Write));
}

TEST_F(VarRowsSectionTest, RefreshWritesOnlyChangedCells) {
    TVarItem& a = UserVar("UInt16", "A", "2000");
    TVarItem& b = UserVar("UInt16", "B", "2002");
    TVarItem& c = UserVar("UInt16", "C", "2004");
    TVarRowContext ctx;
    TVarListRows rows;
    rows.Refresh({&a, &b, &c}, ctx);
    EXPECT_EQ(rows.Count(), 3);
    EXPECT_EQ(rows.Added(), 3);
    EXPECT_EQ(rows.Changed().size(), 24u) << "every cell of a new row";
    EXPECT_TRUE(rows.Bracket());

    rows.Refresh({&a, &b, &c}, ctx);
    EXPECT_TRUE(rows.Changed().empty());
    EXPECT_FALSE(rows.Bracket());

    b.SetValueStr("5");
    rows.Refresh({&a, &b, &c}, ctx);
    ASSERT_EQ(rows.Changed().size(), 2u) << "value and raw data";
    EXPECT_EQ(rows.Changed()[0].Row, 1);
    EXPECT_EQ(rows.Changed()[0].Column, vcValue);
    EXPECT_EQ(rows.Changed()[1].Column, vcRawData);
    EXPECT_FALSE(rows.Bracket()) << "values repaint without the bracket";
    EXPECT_EQ(rows.Texts(1)[vcValue], b.GetValueStr());

    rows.Refresh({&b, &c}, ctx);
    EXPECT_EQ(rows.Removed(), 1);
    EXPECT_EQ(rows.Var(0), &b);
    EXPECT_EQ(rows.Texts(0)[vcName], "B");
    EXPECT_EQ(rows.RowOf(&a), -1);
    EXPECT_EQ(rows.RowOf(&c), 1);
    EXPECT_TRUE(rows.Bracket());

    const struct {
        int Row, Count, Select;
    } removes[] = {{0, 3, 1}, {2, 3, 1}, {1, 3, 0}, {0, 1, -1}, {-1, 3, -1}, {3, 3, -1}};
    for (const auto& r : removes) EXPECT_EQ(RowToSelectAfterRemove(r.Row, r.Count), r.Select) << r.Row << "/" << r.Count;
}

TEST_F(VarRowsSectionTest, CopyVarMakesTheNextUserVariable) {
    TVarItem& brake = UserVar("Bool16", "Brake", "2000.F");
    brake.SetValueStr("TRUE");
    TVarItem& speed = UserVar("UInt16", "Speed", "2000");
    TVarItem& bit3 = UserVar("Bool16", "Bit(3)", "2000.3");

    TVarItem& c1 = CopyUserVar(*User, brake, 0);
    EXPECT_EQ(&User->GetVarItem(1), &c1) << "after the selected row";
    EXPECT_EQ(c1.GetAddrStr(), "2002.0");
    EXPECT_EQ(c1.Caption(), "Brake(1)");
    EXPECT_EQ(c1.VarType(), "Bool16");
    EXPECT_EQ(c1.SourceType(), vstUserDefined);
    EXPECT_FALSE(c1.CheckFlag(vfValid));

    TVarItem& c2 = CopyUserVar(*User, brake, -1);
    EXPECT_EQ(c2.Caption(), "Brake(2)");
    EXPECT_EQ(&User->GetVarItem(User->GetCount() - 1), &c2);

    TVarItem& c3 = CopyUserVar(*User, speed, -1);
    EXPECT_EQ(c3.GetAddrStr(), "2002");
    EXPECT_EQ(c3.Caption(), "Speed(1)");

    TVarItem& c4 = CopyUserVar(*User, bit3, -1);
    EXPECT_EQ(c4.GetAddrStr(), "2000.4");
    EXPECT_EQ(c4.Caption(), "Bit(1)");

    TVarItem& sys = User->CreateVar("1600", "Sys", "UInt16", -1, vstSystem);
    sys.SetConfig(*Dict("[D /UPID 1600 ]"));
    ExpectError([&] { CopyUserVar(*User, sys, -1); }, "CopyUserVar: only user-defined variables are copied");
}

TEST_F(VarRowsSectionTest, CsvOfTheRowsWithQuotedCaptions) {
    TVarItem& a = UserVar("UInt16", "Gain;A", "2000");
    a.SetValueStr("7");
    TVarItem& b = User->CreateVar("1600", "Say \"x\"", "UInt16", -1, vstSystem);
    b.SetConfig(*Dict("[D /UPID 1600 /DEVICE_UPID 1234 /Caption 'Say \"x\"' ]"));
    TVarItem& c = UserVar("UInt8", "Plain\xE4", "2010");

    const std::vector<const TVarItem*> rows = {&a, &b, &c};
    const MyAnsiString expected = "Caption;UPID;Value;RAWData\r\n"
                                  "\"Gain;A\";-1;" +
        a.GetValueStr() + ";" + a.GetRawDataStr("HEX") +
        "\r\n"
        "\"Say \"\"x\"\"\";1234;" +
        b.GetValueStr() + ";" + b.GetRawDataStr("HEX") +
        "\r\n"
        "Plain\xE4;-1;" +
        c.GetValueStr() + ";" + c.GetRawDataStr("HEX") + "\r\n";
    EXPECT_EQ(VarCsvText(rows, "HEX"), expected);

    const std::string file = ::testing::TempDir() + "varRows_test.csv";
    SaveVarCsv(file, rows, "HEX");
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), expected);
    std::remove(file.c_str());
    ExpectError([&] { SaveVarCsv(::testing::TempDir() + "no/such/dir/x.csv", rows, "HEX"); },
                "Cannot write file " + ::testing::TempDir() + "no/such/dir/x.csv");
}

// ------------------------------------------------------------------ against the drive

class VarRowsEndToEndTest : public VarServiceTestBase {};

TEST_F(VarRowsEndToEndTest, RowsOfAReadSection) {
    Attach("vx41.drive");
    TDevice& d = LoggedIn();
    TVariableService& s = Vars(d);
    TDirItem& motion = s.GetDirItem(1);
    const std::vector<TVarItem*> listed = ListedVars(motion, VarViewMasks("USER").Read);
    ASSERT_FALSE(listed.empty());

    TVarRowContext ctx;
    ctx.UPIDDispMode = "HEX";
    ctx.WriteMask = VarViewMasks("USER").Write;
    ctx.Parameters = &Params(d);
    ctx.Variables = &s;
    for (TVarItem* v : listed) EXPECT_EQ(VarRowTexts(*v, ctx)[vcValue], "---") << v->Caption();

    ASSERT_TRUE(Batch(s, [&] {
        for (TVarItem* v : listed) v->RequestRead();
    }));
    TVarItem& pos = *s.FindVariable("8205");
    ctx.Developer = true;
    TVarRowTexts t = VarRowTexts(pos, ctx);
    EXPECT_EQ(t[vcUPID], "2071h (200Dh)");
    EXPECT_EQ(t[vcValue], pos.GetValueStr());
    EXPECT_NE(t[vcValue], "---");
    EXPECT_EQ(VarRowTexts(*s.FindVariable("8209"), ctx)[vcValue], "1000");

    // The scaling parameter of the hours is no UPID parameter: nothing added.
    TVarItem& hours = *s.FindVariable("8206");
    ASSERT_TRUE(hours.CheckFlag(vfValid));
    EXPECT_EQ(VarUPIDScaledSuffix(hours, ctx), "");

    std::vector<const TVarItem*> rows(listed.begin(), listed.end());
    const MyAnsiString csv = VarCsvText(rows, "HEX");
    EXPECT_EQ(csv.rfind("Caption;UPID;Value;RAWData\r\n", 0), 0u);
    std::size_t lines = 0;
    for (std::size_t p = csv.find("\r\n"); p != MyAnsiString::npos; p = csv.find("\r\n", p + 2)) ++lines;
    EXPECT_EQ(lines, listed.size() + 1);
    EXPECT_NE(csv.find("\r\n" + VarCsvField(pos.Caption()) + ";8305;" + VarCsvField(pos.GetValueStr()) + ";"),
              MyAnsiString::npos);
}

TEST(VarRowsTest, SectionNamesAndPaths) {
    const struct {
        const char* Name;
        const char* Error;
    } cases[] = {{"Test", ""}, {"", "Please enter a section name!"}, {"   ", "Please enter a section name!"}, {" \t", "Please enter a section name!"}, {" x ", ""}};
    for (const auto& c : cases) EXPECT_EQ(SectionNameError(c.Name), c.Error) << "'" << c.Name << "'";
    EXPECT_EQ(VarUPIDUserMask("guest"), 0x40);
    EXPECT_EQ(VarUPIDUserMask("USER"), 0x03);
    EXPECT_EQ(VarUPIDUserMask("SERVICE"), 0x0C);
    EXPECT_EQ(VarUPIDUserMask("DEVELOPER"), 0x30);
    EXPECT_EQ(VarUPIDUserMask("NOBODY"), 0x00);
    EXPECT_FALSE(CanDeleteSection(nullptr));
}

TEST_F(VarRowsEndToEndTest, SectionRowsAndNewVariablesByUPID) {
    Attach("vx41.drive");
    TDevice& d = LoggedIn();
    TVariableService& s = Vars(d);
    TDirItem& own = s.CreateDir("Test", "Test", 3, true);
    s.GetDirItem(2).Delete();

    std::vector<std::string> rows;
    for (const TVarDirRow& r : VarDirRows(s)) rows.push_back(r.Caption + "|" + r.Attributes);
    EXPECT_EQ(rows, (std::vector<std::string>{"User Defined|User Defined", "Motion|System", "Test|User Defined"}))
        << "USER reads 0x41: no diagnostics, the deleted section left out";
    EXPECT_TRUE(CanDeleteSection(&own));
    EXPECT_FALSE(CanDeleteSection(&s.GetDirItem(1)));
    EXPECT_EQ(SectionPath("Project\\Drive\\Variables", own), "Project\\Drive\\Variables\\Test");

    // A parameter readable for the user becomes an unread variable.
    TParameter* par = nullptr;
    Params(d).ForEachParameter([&](TParameter& P, bool& Stop) {
        if (P.CanRead(0x03) && P.UPID() > 0 && dynamic_cast<TGenericIntParameter*>(&P)) {
            par = &P;
            Stop = true;
        }
    });
    ASSERT_NE(par, nullptr);
    TNewWithUPID n = NewVarsWithUPID(own, &Params(d), s, par->UPID(), VarUPIDUserMask("USER"), true);
    EXPECT_TRUE(n.Found);
    ASSERT_EQ(n.Created.size(), 1u);
    EXPECT_EQ(n.Created[0]->DeviceUPID(), par->UPID());
    EXPECT_FALSE(n.Created[0]->CheckFlag(vfValid));
    EXPECT_EQ(n.Message, "");

    // A variable of a system section is copied when user and section may read it.
    n = NewVarsWithUPID(own, &Params(d), s, 8305, VarUPIDUserMask("USER"), true);
    ASSERT_EQ(n.Created.size(), 1u);
    EXPECT_EQ(n.Created[0]->DeviceUPID(), 8305);
    EXPECT_EQ(own.GetCount(), 2);
    n = NewVarsWithUPID(own, &Params(d), s, 8305, VarUPIDUserMask("SERVICE"), true);
    EXPECT_TRUE(n.Found) << "found though the mask may not read it";
    EXPECT_TRUE(n.Created.empty());
    EXPECT_EQ(n.Message, "");

    n = NewVarsWithUPID(own, &Params(d), s, 0x7E57, VarUPIDUserMask("USER"), true);
    EXPECT_FALSE(n.Found);
    EXPECT_EQ(n.Message, "UPID: 7E57h not found!");
    EXPECT_EQ(NewVarsWithUPID(own, nullptr, s, 32343, 0x03, false).Message, "UPID: 32343 not found!");
    EXPECT_EQ(own.GetCount(), 2);
}

} // namespace
} // namespace vo::test
