// The variable service: the variable classes and type codes, the telegrams of
// a variable in a batch (byte-exact through an actor without a server), the
// sections, and batches, sections and look-ups end to end against the
// simulated drive over a pseudo-terminal.
#include "kernel/ModTree.h"
#include "kernel/PropList.h"
#include "kernel/ShellServices.h"
#include "parameters/PtInt.h"
#include "parameters/PtStr.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Rec.h"
#include "tests/parameters/VarServiceFixture.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace vo::test {
namespace {

TRef<TSLNamedCollection> Dict(const MyAnsiString& Text) {
    TRef<TSLObject> o = SLDecodeString(Text);
    return TRef<TSLNamedCollection>(dynamic_cast<TSLNamedCollection*>(o.Get()));
}

// ------------------------------------------------------------------ manager

TEST(VariableManagerTest, TypeCodesAndTheirTexts) {
    const struct {
        const char* Name;
        int Code;
    } names[] = {{"uint16", 2}, {"Bool16", 7}, {"VelFloat", 9}, {"Radio", 0}, {"SINT16", 1}, {"floatieee754", 17}, {"EnumDir8", 15}, {"", 0}};
    for (const auto& c : names) EXPECT_EQ(TVariableManager::StrToVarType(c.Name), c.Code) << c.Name;
    EXPECT_EQ(TVariableManager::VarTypeToStr(13), "UInt16 Enumerator");
    EXPECT_EQ(TVariableManager::VarTypeToStr(15), "UInt8 Enumerator");
    EXPECT_EQ(TVariableManager::VarTypeToStr(17), "FloatIEEE754");
    EXPECT_EQ(TVariableManager::VarTypeToStr(0), "NotDef");
    EXPECT_EQ(TVariableManager::VarTypeToStr(99), "NotDef");
    EXPECT_EQ(TVariableManager::VarTypeToStr(-1), "NotDef");
}

TEST(VariableManagerTest, ClassesByNameWithoutRegardToCase) {
    TVariableManager m;
    RegisterVariableClasses(m);
    EXPECT_EQ(m.GetClassCount(), 15);
    ExpectError([&] { m.RegisterVariableClass(VarItemClass<TUInt8VarItem>(), "UInt8"); },
                "TVariableManager.RegisterVariableClass: variable class with name UInt8 already registered");
    ExpectError([&] { m.RegisterVariableClass(VarItemClass<TUInt8VarItem>(), "UINT8"); },
                "TVariableManager.RegisterVariableClass: variable class with name UINT8 already registered");
    ExpectError([&] { m.GetVariableClass("Radio"); },
                "TVariableManager.GetVariableClass: variable class with name Radio doesn't exist");
    EXPECT_TRUE(m.VariableClassExists("uint8"));

    struct TOwner : TVarItemOwner {
        void BeginUpdate() override {}
        void EndOfUpdate() override {}
        void AddChangeInfo(TVariableChangeInfo) override {}
        bool GetUpdateRunning() const override { return false; }
        void SetUpdateRequest() override {}
        TDeviceUnit* GetUnitWithUUID(std::int32_t) const override { return nullptr; }
    } owner;
    for (const char* name : {"uint8", "SINT48", "bool16", "string", "velfloat", "FloatIEEE754", "enumdir16"}) {
        std::unique_ptr<TVarItem> v = m.GetVariableClass(name)(owner, nullptr, vstSystem);
        std::unique_ptr<TVarItem> ref = CreateVarItem(v->VarType(), owner, nullptr, vstSystem);
        ASSERT_NE(ref, nullptr) << name;
        EXPECT_STREQ(v->ClassName(), ref->ClassName()) << name;
    }
}

TEST(VariableManagerTest, SettingsReadSevenWidthsAndIgnoreMore) {
    TVariableManager m;
    EXPECT_EQ(m.GetColWidth(0), 50);
    EXPECT_FALSE(m.ShowDetails());
    TRef<TSLObject> o = SLDecodeString("[D /DisplayInfo [D /ShowDetails #1 /WidthsArray [A [D /Width 1 ] [D /Width 2 ] "
                                       "[D /Width 3 ] [D /Width 4 ] [D /Width 5 ] [D /Width 6 ] [D /Width 7 ] "
                                       "[D /Width 8 ] [D /Width 9 ] ] ] ]");
    m.Initialize(*dynamic_cast<TSLDictionary*>(o.Get()));
    EXPECT_TRUE(m.ShowDetails());
    for (int i = 0; i < VarColumnCount; ++i) EXPECT_EQ(m.GetColWidth(i), i + 1);
    ExpectError([&] { m.GetColWidth(7); }, "TVariableManager.GetColWidth: index out of bounds");

    TVariableClient client;
    client.SetColWidth(7, 80);
    EXPECT_EQ(client.GetColWidth(7), 80);
    EXPECT_FALSE(client.FShowDetails);
    ExpectError([&] { client.SetColWidth(8, 1); }, "TVariableClient.SetColWidth: index out of bounds");
}

// ------------------------------------------------------------------ telegrams

// A device that is not logged in: its connection service carries the facts
// of a login answer by hand, so that the patterns shape frames as for a drive.
class VarTelegramTest : public VarServiceTestBase {
public:
    void SetUp() override {
        VarServiceTestBase::SetUp();
        ActorPtr = std::make_unique<TRecordActor>(*Client);
        Dev = &NewDevice();
        SetProtocol(0x41);
        Svc = &Vars(*Dev);
        User = &Svc->CreateDir("User Defined", "User Defined", 255, true);
    }
    void SetProtocol(std::uint8_t Version) {
        TBasicOvraService& o = Ovra(*Dev);
        TOvraLoginFacts f;
        f.ProtocolVersion = Version;
        f.AddrFieldSize = 4;
        f.DataFieldSize = 2;
        f.AddrIncrement = 1;
        f.MaxBufferSize = 255;
        o.SetLoginFacts(f);
        o.Init(Version);
        o.SetPortHandle(3);
        o.SetDeviceOnline(true);
    }
    TVarItem& UserVar(const char* Type, const char* Addr) {
        TVarItem& v = User->CreateVar("", "V", Type, -1, vstUserDefined);
        v.SetAddrStr(Addr);
        return v;
    }
    TVarItem& SystemVar(const char* Type, const MyAnsiString& Extra = "") {
        TVarItem& v = User->CreateVar("4660", "S", Type, -1, vstSystem);
        v.SetConfig(*Dict("[D /UPID 4660 " + Extra + " ]"));
        return v;
    }
    std::vector<std::string> Put(TVarItem& V) {
        Actor().Clear();
        V.SetActorData(Actor(), Ovra(*Dev));
        return Requests(Actor());
    }
    void Take(TVarItem& V, const std::vector<std::string>& Frames) {
        Answer(Actor(), Frames);
        V.GetActorData(Actor(), Ovra(*Dev));
        EXPECT_EQ(Actor().GetIndex(), Actor().GetCount()) << "every record consumed";
    }

    TDevice* Dev = nullptr;
    TVariableService* Svc = nullptr;
    TDirItem* User = nullptr;
    std::unique_ptr<TRecordActor> ActorPtr;
    TRecordActor& Actor() { return *ActorPtr; }
};

TEST_F(VarTelegramTest, RequestBytesOfEveryCase) {
    const struct {
        const char* Name;
        std::uint8_t Protocol;
        std::function<TVarItem&(VarTelegramTest&)> Make;
        bool Write;
        const char* Request;
    } cases[] = {
        {"user Bool16 write: masked word", 0x41,
         [](VarTelegramTest& T) -> TVarItem& {
             TVarItem& v = T.UserVar("Bool16", "2000.5");
             v.SetDataCache(SimHex("20 00"));
             return v;
         },
         true, "13 00 20 00 00 20 00 20 00"},
        {"user UInt32 read: 4 bytes from its address", 0x41,
         [](VarTelegramTest& T) -> TVarItem& { return T.UserVar("UInt32", "0100"); }, false, "30 00 01 00 00 04"},
        {"user UInt16 write: the cache as a block", 0x41,
         [](VarTelegramTest& T) -> TVarItem& {
             TVarItem& v = T.UserVar("UInt16", "0002:0010");
             v.SetDataCache(SimHex("34 12"));
             return v;
         },
         true, "31 10 00 02 00 34 12"},
        {"user String read: MaxSize bytes", 0x41,
         [](VarTelegramTest& T) -> TVarItem& {
             TVarItem& v = T.User->CreateVar("", "T", "String", -1, vstUserDefined);
             v.SetConfig(*Dict("[D /Address '0200' /MaxSize 12 ]"));
             return v;
         },
         false, "30 00 02 00 00 0C"},
        {"String read on 0x41: block by UPID with its length", 0x41,
         [](VarTelegramTest& T) -> TVarItem& { return T.SystemVar("String", "/MaxSize 8"); }, false,
         "15 01 34 12 08"},
        {"String read on 0x31: by UPID without length", 0x31,
         [](VarTelegramTest& T) -> TVarItem& { return T.SystemVar("String", "/MaxSize 8"); }, false, "88 01 34 12"},
        {"String write on 0x41: 5 bytes and a zero", 0x41,
         [](VarTelegramTest& T) -> TVarItem& {
             TVarItem& v = T.SystemVar("String", "/MaxSize 8");
             v.SetDataCache("hello");
             return v;
         },
         true, "16 01 34 12 68 65 6C 6C 6F 00"},
        {"String write on 0x41 filling MaxSize: no zero", 0x41,
         [](VarTelegramTest& T) -> TVarItem& {
             TVarItem& v = T.SystemVar("String", "/MaxSize 3");
             v.SetDataCache("abc");
             return v;
         },
         true, "16 01 34 12 61 62 63"},
        {"String write on 0x31: by UPID", 0x31,
         [](VarTelegramTest& T) -> TVarItem& {
             TVarItem& v = T.SystemVar("String", "/MaxSize 8");
             v.SetDataCache("hi");
             return v;
         },
         true, "89 01 34 12 68 69"},
        {"SInt32 write by device UPID", 0x41,
         [](VarTelegramTest& T) -> TVarItem& {
             TVarItem& v = T.SystemVar("SInt32", "/DEVICE_UPID 74565");
             v.SetDataCache(SimHex("FF FF FF FF"));
             return v;
         },
         true, "89 01 45 23 FF FF FF FF"},
        {"VelFloat read", 0x31, [](VarTelegramTest& T) -> TVarItem& { return T.SystemVar("VelFloat"); }, false,
         "88 01 34 12"},
    };
    for (const auto& c : cases) {
        SetProtocol(c.Protocol);
        TVarItem& v = c.Make(*this);
        c.Write ? v.RequestWrite() : v.RequestRead();
        EXPECT_EQ(Put(v), std::vector<std::string>{c.Request}) << c.Name;
        EXPECT_FALSE(v.CheckFlag(vfValid)) << c.Name;
        EXPECT_TRUE(v.CheckFlag(c.Write ? vfWriteExe : vfReadExe)) << c.Name;
        EXPECT_FALSE(v.CheckFlag(c.Write ? vfWriteReq : vfReadReq)) << c.Name;
    }
}

TEST_F(VarTelegramTest, WriteGoesBeforeReadAndAFailedWriteWithAGoodReadEndsValid) {
    TVarItem& v = SystemVar("UInt16");
    v.SetDataCache(SimHex("07 00"));
    v.RequestRead();
    v.RequestWrite();
    EXPECT_EQ(Put(v), (std::vector<std::string>{"89 01 34 12 07 00", "88 01 34 12"}));
    Take(v, {"89 C8", "88 00 05 00"});
    EXPECT_TRUE(v.CheckFlag(vfValid));
    EXPECT_EQ(SimToHex(v.GetDataCache()), "05 00");
    EXPECT_FALSE(v.CheckFlag(vfReadExe));
    EXPECT_FALSE(v.CheckFlag(vfWriteExe));
}

TEST_F(VarTelegramTest, AFailedReadKeepsTheCacheAndLeavesTheVariableInvalid) {
    TVarItem& v = SystemVar("UInt16");
    v.SetDataCache(SimHex("07 00"));
    v.RequestRead();
    Put(v);
    Take(v, {"88 C0"});
    EXPECT_FALSE(v.CheckFlag(vfValid));
    EXPECT_EQ(SimToHex(v.GetDataCache()), "07 00");
    EXPECT_EQ(v.GetValueStr(), "");
}

TEST_F(VarTelegramTest, EveryGoodReadIsAChangeButNotAnEqualReadAfterAGoodWrite) {
    TVarItem& v = SystemVar("UInt16");
    v.SetDataCache(SimHex("07 00"));
    v.ClearFlag(vfChanged);
    v.RequestRead();
    Put(v);
    Take(v, {"88 00 07 00"});
    EXPECT_TRUE(v.CheckFlag(vfChanged)) << "the same value read again";

    v.ClearFlag(vfChanged);
    v.RequestWrite();
    v.RequestRead();
    Put(v);
    Take(v, {"89 00", "88 00 07 00"});
    EXPECT_TRUE(v.CheckFlag(vfValid));
    EXPECT_FALSE(v.CheckFlag(vfChanged));

    v.RequestWrite();
    v.RequestRead();
    Put(v);
    Take(v, {"89 00", "88 00 09 00"});
    EXPECT_TRUE(v.CheckFlag(vfChanged)) << "the drive kept another value";
    EXPECT_EQ(SimToHex(v.GetDataCache()), "09 00");
}

TEST_F(VarTelegramTest, AnswersOfAnotherLengthAreCutOrRefused) {
    // Numbers: longer answers are cut to the width, shorter ones are failed reads.
    TVarItem& n = SystemVar("UInt16");
    n.RequestRead();
    Put(n);
    Take(n, {"88 00 01 02 03 04"});
    EXPECT_TRUE(n.CheckFlag(vfValid));
    EXPECT_EQ(SimToHex(n.GetDataCache()), "01 02");
    n.RequestRead();
    Put(n);
    Take(n, {"88 00 09"});
    EXPECT_FALSE(n.CheckFlag(vfValid));
    EXPECT_EQ(SimToHex(n.GetDataCache()), "01 02");

    // Strings take what comes, at most MaxSize bytes (0x3x drives send 64).
    SetProtocol(0x31);
    TVarItem& s = SystemVar("String", "/MaxSize 4");
    s.RequestRead();
    Put(s);
    Take(s, {"88 00 41 42 43 44 45 46 00 00"});
    EXPECT_TRUE(s.CheckFlag(vfValid));
    EXPECT_EQ(s.GetValueStr(), "ABCD");
    s.RequestRead();
    Put(s);
    Take(s, {"88 00 5A"});
    EXPECT_TRUE(s.CheckFlag(vfValid));
    EXPECT_EQ(s.GetValueStr(), "Z");

    // A user-defined block read that brings fewer bytes is a failed record.
    TVarItem& u = UserVar("UInt32", "0100");
    u.RequestRead();
    EXPECT_EQ(Put(u), std::vector<std::string>{"30 00 01 00 00 04"});
    Take(u, {"30 00 01 02"});
    EXPECT_FALSE(u.CheckFlag(vfValid));
    u.RequestRead();
    Put(u);
    Take(u, {"30 00 78 56 34 12"});
    EXPECT_EQ(u.GetValueStr(), "12345678h");
}

// ------------------------------------------------------------------ sections

using VarSectionTest = VarTelegramTest;

TEST_F(VarSectionTest, CreateVarPlacesAfterTheIndexAndDeletedVariablesCountUntilUpdateDone) {
    TVarItem& a = User->CreateVar("a", "A", "UInt8", -1, vstSystem);
    TVarItem& b = User->CreateVar("b", "B", "UInt8", -1, vstSystem);
    TVarItem& c = User->CreateVar("c", "C", "UInt8", 0, vstSystem);
    EXPECT_EQ(&User->GetVarItem(0), &a);
    EXPECT_EQ(&User->GetVarItem(1), &c);
    EXPECT_EQ(&User->GetVarItem(2), &b);
    EXPECT_TRUE(Svc->HasChangeInfo(vciCreated));
    ExpectError([&] { User->CreateVar("d", "D", "UInt8", 3, vstSystem); }, "List index out of bounds (3)");
    ExpectError([&] { User->CreateVar("d", "D", "Radio", -1, vstSystem); },
                "TVariableManager.GetVariableClass: variable class with name Radio doesn't exist");
    EXPECT_EQ(User->GetCount(), 3);
    ExpectError([&] { User->GetVarItem(3); }, "TDirItem.GetVarItem: index out of bounds");
    ExpectError([&] { User->GetVarName(-1); }, "TDirItem.GetVarName: VarIndex out of bounds");
    EXPECT_EQ(User->GetVarName(1), "C");

    c.Delete();
    EXPECT_EQ(User->GetCount(), 3);
    EXPECT_EQ(User->FindVar("c"), &c);
    User->UpdateDone();
    EXPECT_EQ(User->GetCount(), 2);
    EXPECT_EQ(User->FindVar("c"), nullptr);
    EXPECT_FALSE(a.CheckFlag(vfCreated));
    EXPECT_FALSE(User->CheckFlag(dfCreated));

    // Clear marks every variable; UpdateDone frees them.
    User->Clear();
    EXPECT_EQ(User->GetCount(), 2);
    EXPECT_TRUE(a.CheckFlag(vfDeleted));
    User->UpdateDone();
    EXPECT_EQ(User->GetCount(), 0);
}

TEST_F(VarSectionTest, NamesOfNewVariables) {
    EXPECT_EQ(User->ReadjustVarName(""), "UserVar");
    User->CreateVar("UserVar", "x", "UInt8", -1, vstSystem);
    User->CreateVar("UserVar2", "x", "UInt8", -1, vstSystem);
    EXPECT_EQ(User->ReadjustVarName(""), "UserVar3");
    EXPECT_EQ(User->ReadjustVarName("UserVar"), "UserVar") << "new variables are modified until the update";
    User->UpdateDone();
    ExpectError([&] { User->ReadjustVarName("UserVar"); }, "TDirItem.CreateVar: variable with name 'UserVar' already exists");
    EXPECT_EQ(User->ReadjustVarName("Other"), "Other");

    // A user-defined variable is found by its composite name.
    TVarItem& u = User->CreateVar("", "Brake", "Bool16", -1, vstUserDefined);
    u.SetAddrStr("2000.5");
    EXPECT_EQ(User->FindVar("Brake_8192_5"), &u);
    EXPECT_EQ(User->FindVar(""), nullptr);
}

TEST_F(VarSectionTest, SectionsByNameAndTheirErrors) {
    ExpectError([&] { Svc->CreateDir("User Defined", "X", 1, true); },
                "TVariableService.CreateDir: variable section with name 'User Defined' allready exists");
    TDirItem& d = Svc->CreateDir("X", "Caption X", 0x41, false);
    EXPECT_EQ(Svc->FindDir("X"), &d);
    EXPECT_EQ(Svc->FindDir("x"), nullptr);
    EXPECT_EQ(Svc->FindDirWithCaption("Caption X"), &d);
    EXPECT_EQ(Svc->DirCount(), 2);
    ExpectError([&] { Svc->GetDirItem(2); }, "TVariableService.GetDirItem: index (2) out of bounds (2)");
    EXPECT_EQ(d.Model().Parent(), &Svc->Model());
    EXPECT_EQ(d.Model().Caption(), "Caption X");
    EXPECT_EQ(d.PropList().GetItemWithName("Name").GetValue(&d), "Caption X");
    EXPECT_TRUE(d.Model().GetVisible()) << "USER reads 0x41";
    EXPECT_FALSE(Svc->CreateDir("Y", "Y", 0x04, false).Model().GetVisible());
    EXPECT_FALSE(d.CheckFlag(dfDeleted));
    Svc->DeleteDir("X");
    EXPECT_TRUE(d.CheckFlag(dfDeleted));
    EXPECT_EQ(Svc->DirCount(), 3) << "freed after the next update pass";
}

TEST_F(VarSectionTest, BatchCallsRefuseWrongOrder) {
    ExpectError([&] { Svc->ExecuteValueRequest(); }, "TVariableService.EndOfUpdate: missing previous BeginUpdate");
    EXPECT_EQ(Svc->UpdateCounter(), 0);
}

TEST_F(VarSectionTest, PermissionMasksOfTheUserLevels) {
    const struct {
        const char* User;
        std::uint8_t Read, Write;
    } users[] = {{"GUEST", 0x40, 0}, {"USER", 0x41, 0x02}, {"SERVICE", 0x45, 0x0A}, {"DEVELOPER", 0x55, 0x2A}, {"NOBODY", 0, 0}};
    for (const auto& u : users) {
        TDevice& d = NewDevice("VelkorOnline", u.User, "");
        EXPECT_EQ(Vars(d).GetPermissionRead(), u.Read) << u.User;
        EXPECT_EQ(Vars(d).GetPermissionWrite(), u.Write) << u.User;
    }
    // SERVICE reads a section of 0x40, not one of 0x02; GUEST not one of 3.
    EXPECT_NE(0x45 & 0x40, 0);
    TDevice& service = NewDevice("VelkorOnline", "SERVICE", "");
    EXPECT_TRUE(Vars(service).CreateDir("a", "a", 0x40, false).Model().GetVisible());
    EXPECT_FALSE(Vars(service).CreateDir("b", "b", 0x02, false).Model().GetVisible());
    TDevice& guest = NewDevice("VelkorOnline", "GUEST", "");
    EXPECT_FALSE(Vars(guest).CreateDir("c", "c", 3, false).Model().GetVisible());
}

// A parameter node of a class that exists only by its name here.
class TNamedParameter : public TParameter {
public:
    TNamedParameter(TParameterService& AOwner, TSLRecord* ARecord, const char* AClassName)
        : TParameter(AOwner, ARecord), FClassName(AClassName) {}
    const char* ClassName() const override { return FClassName; }

private:
    const char* FClassName;
};

TRef<TSLRecord> Record(const MyAnsiString& Text) {
    TRef<TSLObject> o = SLDecodeString(Text);
    return TRef<TSLRecord>(dynamic_cast<TSLRecord*>(o.Get()));
}

TEST_F(VarSectionTest, VariablesMadeFromParameters) {
    TParameterService& params = Params(*Dev);
    const MyAnsiString def = "[D:UInt16 /UPID 0 /DEVICE_UPID 0 /Level 2 /Caption '' /Permission 0 /AddrUsage 0 "
                             "/UseVFlag '' /DisplayMode '' /AdditionalFunction '' /UUID 0 /MinValue 0 /MaxValue 0 "
                             "/DefValue 0 /HelpTextDict [D /English '' ] ]";
    TRef<TSLRecord> rec =
        Record("[R " + def + " [A 9000 291 2 'Speed' 63 15 '' 'SCALED' '' 0 0 1000 5 [D /English 'How fast.' ] ] ]");
    ASSERT_TRUE(rec);
    TUInt16Parameter speed(params, rec.Get());
    speed.SetInfoStrings(rec.Get());
    speed.SetDefaultValue(usSI);
    const std::uint8_t before = User->Permission();
    TVarItem* v = User->CreateVarFromPar(speed, vstSystem);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->GetVarName(), "291");
    EXPECT_EQ(v->Caption(), "Speed_(0123h)");
    EXPECT_EQ(v->Permission(), 0x15) << "0x3F without the live bit loses its write bits";
    EXPECT_EQ(v->DeviceUPID(), 291);
    EXPECT_EQ(v->VarType(), "UInt16");
    EXPECT_EQ(v->DisplayMode(), "SCALED");
    EXPECT_EQ(v->MaxValue(), 1000);
    EXPECT_EQ(v->DefaultValue(), 5);
    EXPECT_EQ(v->PropList().GetInfoStr("English"), "How fast.");
    EXPECT_EQ(User->Permission(), before) << "the section keeps its own permission";

    TRef<TSLRecord> live = Record("[R " + def +
                                  " [A 9001 292 2 'A very long caption of a parameter that goes on and on "
                                  "beyond sixty-five' 63 271 '' 'HEX' '' 0 0 10 1 [D /English '' ] ] ]");
    ASSERT_TRUE(live);
    TUInt16Parameter longOne(params, live.Get());
    TVarItem* l = User->CreateVarFromPar(longOne, vstSystem);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->Permission(), 0x3F) << "a live parameter keeps its write bits";
    EXPECT_EQ(l->Caption(),
              (longOne.Caption() + "_(").substr(0, 65) +
                  "0124h)");

    TRef<TSLRecord> dir = Record("[R [D:Directory /UPID 0 /Level 1 /Caption '' /Permission 0 /AddrUsage 0 "
                                 "/UseVFlag '' ] [A 65600 1 'Radio' 255 0 '' ] ]");
    ASSERT_TRUE(dir);
    TNamedParameter radioBit(params, dir.Get(), "TRadioDirBitParameter");
    TVarItem* r = User->CreateVarFromPar(radioBit, vstSystem);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->VarType(), "UInt16");
    EXPECT_EQ(r->DisplayMode(), "DEC");
    EXPECT_STREQ(r->ClassName(), "TUInt16VarItem");
    TNamedParameter radio32(params, dir.Get(), "TRadioDir32Parameter");
    EXPECT_STREQ(User->CreateVarFromPar(radio32, vstSystem)->ClassName(), "TUInt32VarItem");
    // A text keeps the length the drive gives it.
    for (int size : {80, 16}) {
        TRef<TSLRecord> textRec = Record("[R [D:String /UPID 0 /DEVICE_UPID 0 /Level 2 /Caption '' /Permission 255 "
                                         "/AddrUsage 15 /UseVFlag '' /DisplayMode '' /DefValue '' /MaxSize 32 ] "
                                         "[A 9002 293 2 'Label' 255 15 '' '' 'x' " +
                                         std::to_string(size) + " ] ]");
        ASSERT_TRUE(textRec);
        TStringParameter text(params, textRec.Get());
        TVarItem* t = User->CreateVarFromPar(text, vstSystem);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->MaxSize(), size);
    }
    TNamedParameter other(params, dir.Get(), "TEnumDir16Parameter");
    const int count = User->GetCount();
    EXPECT_EQ(User->CreateVarFromPar(other, vstSystem), nullptr);
    EXPECT_EQ(User->GetCount(), count);

    // A copy takes configuration, cache, texts and the UPID scale.
    v->SetUPIDScale(true, 4096);
    v->SetDataCache(SimHex("2A 00"));
    TVarItem& copy = User->CreateVarCopy(*v);
    EXPECT_EQ(copy.GetVarName(), "291");
    EXPECT_EQ(copy.Caption(), "Speed_(0123h)");
    EXPECT_EQ(SimToHex(copy.GetDataCache()), "2A 00");
    EXPECT_TRUE(copy.IsUPIDScaled());
    EXPECT_EQ(copy.UPIDScaleUPID(), 4096);
    EXPECT_EQ(copy.PropList().GetInfoStr("English"), "How fast.");
}

// ------------------------------------------------------------------ end to end

class VarEndToEndTest : public VarServiceTestBase {
protected:
    std::string RamOf(std::uint16_t Upid) {
        return Runner->WithDrive([&](SimDrive& D) { return SimToHex(D.FindParameter(Upid)->ram); });
    }
};

TEST_F(VarEndToEndTest, SectionsFromTheModuleDescriptions) {
    Attach("vx41.drive");
    TDevice& d = LoggedIn();
    TVariableService& s = Vars(d);
    ASSERT_EQ(s.DirCount(), 4);
    const struct {
        const char* Name;
        const char* Caption;
        std::uint8_t Permission;
        int Level;
        bool Visible;
    } dirs[] = {{"User Defined", "User Defined", 255, 5, true},
                {"8192", "Motion", 0x41, 1, true},
                {"8193", "Motion:Speeds", 0x40, 2, true},
                {"8194", "Diagnostics", 0x04, 1, false}};
    for (int i = 0; i < 4; ++i) {
        const TDirItem& dir = s.GetDirItem(i);
        EXPECT_EQ(dir.Name(), dirs[i].Name);
        EXPECT_EQ(dir.Caption(), dirs[i].Caption);
        EXPECT_EQ(dir.Permission(), dirs[i].Permission) << dirs[i].Name;
        EXPECT_EQ(dir.Level(), dirs[i].Level) << dirs[i].Name;
        EXPECT_EQ(dir.Model().GetVisible(), dirs[i].Visible) << dirs[i].Name;
        EXPECT_EQ(dir.UserDefined(), i == 0);
        EXPECT_EQ(&s.Model().GetChild(i), &dir.Model());
    }
    EXPECT_EQ(s.GetDirItem(0).GetCount(), 0) << "the stray enumerator value is no variable";
    EXPECT_EQ(s.GetDirItem(1).GetCount(), 14) << "Bool16 rows are skipped";
    EXPECT_EQ(s.FindVariable("8214"), nullptr);

    // Names are master UPIDs; the device UPID may differ.
    TVarItem* pos = s.FindVariable("8205");
    ASSERT_NE(pos, nullptr);
    EXPECT_EQ(pos->DeviceUPID(), 8305);
    EXPECT_EQ(s.FindVarWithDeviceUPID(8305), pos);
    EXPECT_EQ(s.FindVarWithDeviceUPID(8205), nullptr);

    auto* mode = dynamic_cast<TEnumDirVarItem*>(s.FindVariable("8211"));
    ASSERT_NE(mode, nullptr);
    ASSERT_EQ(mode->GetChildCount(), 3);
    EXPECT_EQ(mode->GetChild(2).ChildName(), "Velocity");
    auto* errors = dynamic_cast<TEnumDirVarItem*>(s.FindVariable("8212"));
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(errors->GetChildCount(), 2);
    EXPECT_EQ(errors->GetChild(1).ChildValue(), 256);

    TVarItem* hours = s.FindVariable("8206");
    ASSERT_NE(hours, nullptr);
    EXPECT_TRUE(hours->IsUPIDScaled());
    EXPECT_EQ(hours->UPIDScaleUPID(), 4096);
    EXPECT_EQ(hours->PropList().GetInfoStr("English"), "Hours of operation; compare with 1000h (Max Current).");

    // A user-defined section and its help texts resolved on request.
    TVarItem& own = s.GetDirItem(0).CreateVar("x", "Own", "UInt8", -1, vstSystem);
    own.SetInfoStrings(*Dict("[D /HelpTextDict [D /English 'See <UPID>abcde, <UPID>08202 and <UPID>09999.' ] ]"));
    s.ReplaceMasterUPID();
    EXPECT_EQ(own.PropList().GetInfoStr("English"), "See abcde, 200Ah (Target Index) and 09999.");
    ShellServices().SetUPIDDispMode("DEC");
    own.PropList().ReplaceInfoStr("English", "<UPID>04096");
    s.ReplaceMasterUPID();
    ShellServices().SetUPIDDispMode("HEX");
    EXPECT_EQ(own.PropList().GetInfoStr("English"), "4096 (Max Current)");
}

TEST_F(VarEndToEndTest, FirstModuleWithoutVariablesStillLeavesTheLaterSections) {
    // A firmware folder where the first tree has no variables and the second has.
    auto read = [](const std::string& Rel) {
        std::ifstream in(DataPath(Rel), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::string motion = read("Firmware/VxMotion_Std_V1S2.IN2");
    const std::size_t from = motion.find("  /VariableArray");
    const std::size_t to = motion.find("  /InstanceInfoDict");
    ASSERT_TRUE(from != std::string::npos && to != std::string::npos);
    motion.erase(from, to - from);
    std::string intf = read("Firmware/Interface/VxIntf_Std_V1S1.IN2");
    const std::size_t at = intf.find("  /InstanceInfoDict");
    ASSERT_NE(at, std::string::npos);
    intf.insert(at, "  /VariableArray [A [R @Directory [A 8400 1 'Interface' 65 0 '' ] ]\n"
                    "    [R @UInt16 [A 8401 8401 2 'Input Word' 65 1 '' 'HEX' '' 0 0 65535 0 ] ] ]\n");
    TTempFolder folder;
    folder.Write("Firmware/VxMotion_Std_V1S2.IN2", motion);
    folder.Write("Firmware/Interface/VxIntf_Std_V1S1.IN2", intf);
    SetWorkDir(RealPathToStored(folder.Path().string()) + "\\");
    Attach("vx41.drive");
    TDevice& d = LoggedIn();
    TVariableService& s = Vars(d);
    ASSERT_EQ(s.DirCount(), 2);
    EXPECT_EQ(s.GetDirItem(1).Caption(), "Interface");
    EXPECT_EQ(s.GetDirItem(1).GetCount(), 1);
    EXPECT_EQ(s.FindVariable("8200"), nullptr);
    SetWorkDir(DataDir());
}

TEST_F(VarEndToEndTest, GlobalReadShowsEveryReadableValue) {
    Attach("vx41.drive");
    TDevice& d = LoggedIn();
    TVariableService& s = Vars(d);
    Runner->Transcript().Clear();
    const int before = s.BatchCount();
    s.GlobalReadRequest();
    ASSERT_TRUE(RunUntil([&] { return s.BatchCount() > before && !s.GetUpdateRunning(); }, std::chrono::seconds(10)));
    EXPECT_EQ(s.BatchCount(), before + 1) << "one batch";

    EXPECT_EQ(s.FindVariable("8209")->GetValueStr(), "1000");
    EXPECT_EQ(s.FindVariable("8210")->GetValueStr(), "1.5");
    EXPECT_EQ(s.FindVariable("8213")->GetValueStr(), "VX41 axis 1");
    EXPECT_EQ(s.FindVariable("8211")->GetValueStr(), "Velocity");
    EXPECT_EQ(s.FindVariable("8212")->GetValueStr(), "Warning");
    EXPECT_EQ(s.FindVariable("8201")->GetValueStr(), "-5");
    EXPECT_EQ(s.FindVariable("8207")->GetValueStr(), "-1");
    EXPECT_EQ(s.FindVariable("8220")->GetValueStr(), "0");
    EXPECT_FALSE(s.FindVariable("8230")->CheckFlag(vfValid)) << "Diagnostics is not readable for USER";

    // Each readable variable once, in section and list order.
    const std::vector<std::string> frames = ValueFrames();
    ASSERT_EQ(frames.size(), 16u);
    EXPECT_EQ(frames.front(), "88 01 08 20");
    EXPECT_EQ(frames[5], "88 01 71 20") << "by device UPID";
    EXPECT_EQ(frames[13], "15 01 15 20 10") << "the string by block on 0x41";
    EXPECT_EQ(frames.back(), "88 01 1D 20");
    EXPECT_EQ(CountFrames("88 01 26 20"), 0u);

    // Counters and ramps move on with every read.
    s.GlobalReadRequest();
    ASSERT_TRUE(RunUntil([&] { return s.BatchCount() > before + 1 && !s.GetUpdateRunning(); }, std::chrono::seconds(10)));
    EXPECT_EQ(s.FindVariable("8204")->GetValueStr(), "1");
    EXPECT_EQ(s.FindVariable("8220")->GetValueStr(), "100");
}

TEST_F(VarEndToEndTest, WrittenAndReadBackInOneBatch) {
    Attach("vx41.drive");
    TDevice& d = LoggedIn();
    TVariableService& s = Vars(d);
    TVarItem& target = *s.FindVariable("8202");
    TVarItem& load = *s.FindVariable("8210");
    Runner->Transcript().Clear();
    ASSERT_TRUE(Batch(s, [&] {
        target.SetValueStr("77");
        target.RequestWrite();
        target.RequestRead();
        load.SetValueStr("2.5");
        load.RequestWrite();
    }));
    EXPECT_EQ(ValueFrames(), (std::vector<std::string>{"89 01 0A 20 4D 00", "88 01 0A 20", "89 01 12 20 00 00 20 40"}));
    EXPECT_TRUE(target.CheckFlag(vfValid));
    EXPECT_EQ(target.GetValueStr(), "77");
    EXPECT_EQ(RamOf(0x200A), "4D 00");
    EXPECT_FALSE(load.CheckFlag(vfValid)) << "the drive refuses writes to a read-only UPID";
    EXPECT_EQ(RamOf(0x2012), "00 00 C0 3F");
}

TEST_F(VarEndToEndTest, NestedRequestsSendOneBatchOfTheRequestingSections) {
    Attach("vx41.drive");
    TDevice& d = LoggedIn();
    TVariableService& s = Vars(d);
    Runner->Transcript().Clear();
    const int before = s.BatchCount();
    int afterInner = -1;
    bool requestBeforeAnswer = false;
    ASSERT_TRUE(Batch(s, [&] {
        s.FindVariable("8200")->RequestRead();
        s.PrepareValueRequest();
        s.FindVariable("8221")->RequestRead();
        s.ExecuteValueRequest();
        afterInner = s.BatchCount();
        requestBeforeAnswer = s.GetDirItem(1).UpdateRequest() && s.GetDirItem(2).UpdateRequest() &&
            !s.GetDirItem(3).UpdateRequest();
    }));
    EXPECT_EQ(afterInner, before);
    EXPECT_EQ(s.BatchCount(), before + 1);
    EXPECT_TRUE(requestBeforeAnswer);
    EXPECT_FALSE(s.GetDirItem(1).UpdateRequest()) << "cleared by the answer";
    EXPECT_EQ(ValueFrames(), (std::vector<std::string>{"88 01 08 20", "88 01 1D 20"}));
    EXPECT_EQ(s.FindVariable("8221")->GetValueStr(), "500");

    // While the batch is in flight no request opens and no mark is taken.
    s.PrepareValueRequest();
    s.FindVariable("8200")->RequestRead();
    s.ExecuteValueRequest();
    ASSERT_TRUE(RunUntil([&] { return s.GetUpdateRunning(); }, std::chrono::seconds(10)));
    ExpectError([&] { s.PrepareValueRequest(); }, "TVariableService.BeginUpdate: previous update not completed");
    ExpectError([&] { s.FindVariable("8200")->RequestRead(); }, "internal error");
    ASSERT_TRUE(RunUntil([&] { return !s.GetUpdateRunning(); }, std::chrono::seconds(10)));
}

TEST_F(VarEndToEndTest, ABatchMadeOfflineGoesOnceTheDriveIsOnline) {
    Attach("vx41.drive");
    TDevice& d = LoggedIn();
    TVariableService& s = Vars(d);
    const int before = s.BatchCount();
    Ovra(d).SetDeviceOnline(false);
    Runner->Transcript().Clear();
    s.PrepareValueRequest();
    s.FindVariable("8203")->RequestRead();
    s.ExecuteValueRequest();
    Settle(std::chrono::milliseconds(200));
    EXPECT_EQ(s.BatchCount(), before);
    EXPECT_TRUE(ValueFrames().empty());
    Ovra(d).SetDeviceOnline(true);
    ASSERT_TRUE(RunUntil([&] { return s.BatchCount() > before && !s.GetUpdateRunning(); }, std::chrono::seconds(10)));
    EXPECT_EQ(ValueFrames(), std::vector<std::string>{"88 01 0B 20"});
    EXPECT_EQ(s.FindVariable("8203")->GetValueStr(), "-120");
}

TEST_F(VarEndToEndTest, LookUpsByCaptionDoNotWrap) {
    Attach("vx41.drive");
    TDevice& d = LoggedIn();
    TVariableService& s = Vars(d);
    TVarItem* demand = s.FindVariable("8209");
    TVarItem* step = s.FindVariable("8221");
    EXPECT_EQ(s.FindNextWithCaption(nullptr, "speed"), demand);
    EXPECT_EQ(s.FindNextWithCaption(demand, "SPEED"), step);
    EXPECT_EQ(s.FindNextWithCaption(step, "speed"), nullptr);
    EXPECT_EQ(s.FindPreviousWithCaption(nullptr, "speed"), step);
    EXPECT_EQ(s.FindPreviousWithCaption(step, "speed"), demand);
    EXPECT_EQ(s.FindPreviousWithCaption(demand, "speed"), nullptr);
    EXPECT_EQ(s.FindNextWithCaption(nullptr, "pos"), s.FindVariable("8205"));
    EXPECT_EQ(s.FindNextWithCaption(s.FindVariable("8205"), "pos"), nullptr);
}

TEST_F(VarEndToEndTest, JobsCreateAndDeleteSections) {
    Attach("vx41.drive");
    TDevice& d = LoggedIn();
    TVariableService& s = Vars(d);
    auto announce = [&](int Tag, const char* Info) {
        auto job = std::make_unique<TServiceJob>();
        job->FInfoTag = Tag;
        job->FInfoStr = Info;
        TServiceJob::Announce(std::move(job), s.Provider());
    };
    announce(2, "Mine");
    ASSERT_TRUE(RunUntil([&] { return s.DirExists("Mine"); }, std::chrono::seconds(10)));
    EXPECT_EQ(s.FindDir("Mine")->Permission(), 3);
    EXPECT_TRUE(s.FindDir("Mine")->UserDefined());
    announce(7, "");
    ASSERT_TRUE(RunUntil([&] { return Trace.Contains("undefined job info tag in TVariableService.ProviderExecuteJob"); },
                         std::chrono::seconds(10)));
    announce(1, "Mine");
    // Marked deleted, then freed by the update pass that follows.
    ASSERT_TRUE(RunUntil([&] { return !s.DirExists("Mine"); }, std::chrono::seconds(10)));
    EXPECT_EQ(s.DirCount(), 4);
}

TEST_F(VarEndToEndTest, ShutDownDuringABatchWaitsForTheAnswer) {
    SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
    drive.delays[0x15] = 150; // the string's read (and one password read of the login)
    Attach(std::move(drive));
    TDevice& d = LoggedIn();
    TVariableService& s = Vars(d);
    TVarItem& v = *s.FindVariable("8213");
    s.PrepareValueRequest();
    v.RequestRead();
    s.ExecuteValueRequest();
    ASSERT_TRUE(RunUntil([&] { return s.GetUpdateRunning(); }, std::chrono::seconds(10)));
    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(s.ServiceStatus(), dsStopped);
    EXPECT_TRUE(v.CheckFlag(vfValid)) << "the answer was taken before the service stopped";
    EXPECT_FALSE(s.GetUpdateRunning());
    EXPECT_EQ(s.Model().Parent(), nullptr);
}

TEST_F(VarEndToEndTest, ServiceReadsItsSectionOnAn0x31Drive) {
    SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
    SimIdentity id = drive.drive.Identity();
    id.protocolVersion = 0x31;
    drive.drive.SetIdentity(id);
    Attach(std::move(drive));
    TDevice& d = LoggedIn("SERVICE", "service");
    TVariableService& s = Vars(d);
    Runner->Transcript().Clear();
    const int before = s.BatchCount();
    s.GlobalReadRequest();
    ASSERT_TRUE(RunUntil([&] { return s.BatchCount() > before && !s.GetUpdateRunning(); }, std::chrono::seconds(10)));
    EXPECT_EQ(CountFrames("88 01 15 20"), 1u) << "strings by UPID on 0x3x drives";
    EXPECT_EQ(s.FindVariable("8213")->GetValueStr(), "VX41 axis 1");
    EXPECT_EQ(s.FindVariable("8213")->GetDataCache().size(), 16u) << "64 bytes cut to MaxSize";
    EXPECT_EQ(s.FindVariable("8230")->GetValueStr(), "7") << "SERVICE reads Diagnostics";
    EXPECT_EQ(s.FindVariable("8209")->GetValueStr(), "1000");

    TVarItem& target = *s.FindVariable("8202");
    ASSERT_TRUE(Batch(s, [&] {
        target.SetValueStr("1234");
        target.RequestWrite();
        target.RequestRead();
    }));
    EXPECT_EQ(target.GetValueStr(), "1234");
}

} // namespace
} // namespace vo::test
