// Variables in configuration files: which sections an export offers, what a
// .vkc written by the configuration transfer holds for them, and what an
// import does with its items, against the simulated drive vx41 over a
// pseudo-terminal.
#include "devices/ConfXfer.h"
#include "kernel/ExeCtrl.h"
#include "parameters/varDatIntf.h"
#include "platform/FileNames.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "tests/parameters/VarServiceFixture.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace vo::test {
namespace {

using namespace std::chrono_literals;

// The sample drive has no identification parameters; a configuration file's
// header needs three of them.
class TIdentifiedParameterService : public TParameterService {
public:
    using TParameterService::TParameterService;
    TConfigParameter* FindConfigParameter(std::int32_t UPID) override {
        auto it = Fixed.find(UPID);
        return it != Fixed.end() ? &it->second : TParameterService::FindConfigParameter(UPID);
    }

private:
    class TFixed : public TConfigParameter {
    public:
        explicit TFixed(MyAnsiString V) : Value(std::move(V)) {}
        MyAnsiString GetStrValue() override { return Value; }
        int64_t GetIntValue() override { return std::stoll(Value); }
        MyAnsiString Value;
    };
    std::map<std::int32_t, TFixed> Fixed{{1020, TFixed("VX-41")}, {8, TFixed("33")}, {1, TFixed("258")}};
};

class TNoWarnings : public TImportWarnings {
public:
    void Clear() override {}
    void SaveWarnings(bool) override {}
    int MsgCount() override { return 0; }
    void UpdateAll() override {}
};

class VarConfigTest : public VarServiceTestBase {
protected:
    void RegisterServices() override {
        DeviceTestBase::RegisterServices();
        Manager->RegisterServiceClass("UnitService", DeviceServiceClass<TUnitService>());
        Manager->RegisterServiceClass("ParameterService", DeviceServiceClass<TIdentifiedParameterService>());
        Manager->RegisterServiceClass("VariableService", DeviceServiceClass<TVariableService>());
        if (!ParameterManager().ParameterClassExists("UInt16"))
            RegisterParameterClasses(ParameterManager());
        if (VariableManager().GetClassCount() == 0)
            RegisterVariableClasses(VariableManager());
    }
    void SetUp() override {
        VarServiceTestBase::SetUp();
        PrevWarnings = SetImportWarnings(&Warnings);
        Attach("vx41.drive");
    }
    void TearDown() override {
        Transfer.reset();
        SetImportWarnings(PrevWarnings);
        VarServiceTestBase::TearDown();
    }

    TVariableService& Drive(const char* User = "USER", const char* Password = "user") {
        TDevice& d = LoggedIn(User, Password);
        Transfer = std::make_unique<TConfigTransfer>(d);
        Transfer->RegisterServiceInterfaces();
        return Vars(d);
    }
    TVariableDataInterface& Interface(TVariableService& S) {
        return dynamic_cast<TVariableDataInterface&>(*S.GetDataInterface());
    }
    std::vector<std::string> Offered(TVariableService& S) {
        std::vector<std::string> out;
        for (TDirItem* d : SaveableVarSections(S)) out.push_back(d->Caption());
        EXPECT_EQ(Interface(S).GetDataCount(), static_cast<int>(out.size()));
        return out;
    }
    // Reads the variables named by device UPID in one batch.
    void Read(TVariableService& S, const std::vector<const char*>& Names) {
        ASSERT_TRUE(Batch(S, [&] {
            for (const char* n : Names) S.FindVariable(n)->RequestRead();
        }));
    }
    bool Idle(TVariableService& S) {
        return Transfer->ExecuteCommand() == ecIdle && S.Provider().Status() == psIdle && !S.GetUpdateRunning();
    }

    // Exports into a file and returns its "Items" by item name.
    std::map<std::string, TRef<TSLDictionary>> Export(TVariableService& S) {
        const std::string path = (Temp.Path() / "out.vkc").string();
        Transfer->FFileName = RealPathToStored(path);
        Transfer->Save();
        EXPECT_TRUE(RunUntil([&] { return Idle(S); }, 10s));
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::map<std::string, TRef<TSLDictionary>> items;
        TRef<TSLObject> file = SLDecodeString(text.str());
        auto* dict = dynamic_cast<TSLDictionary*>(file.Get());
        if (!dict) {
            ADD_FAILURE() << "not written: " << text.str();
            return items;
        }
        auto* list = SLCast<TSLArray>(dict->GetObjWithName("Items"));
        for (int i = 0; i < list->GetCount(); ++i) {
            auto* item = SLCast<TSLDictionary>(list->GetObjAtIndex(i));
            auto* info = SLCast<TSLDictionary>(item->GetObjWithName("Info"));
            EXPECT_EQ(info->GetStrWithName("Type"), "Variables");
            EXPECT_EQ(info->GetIntWithName("Version"), 1);
            EXPECT_EQ(info->GetStrWithName("Path"), "Variables");
            items[info->GetStrWithName("Name")] = TRef<TSLDictionary>(item);
        }
        return items;
    }
    // Imports a file of Variables items ("Name" and the text of "Items").
    bool Import(TVariableService& S, const std::vector<std::pair<std::string, std::string>>& Items) {
        std::string text = "[D /Info [D /Type 'Velkor configuration' /Version 3 /FirmwareRelease 'VX41 R1.02' ] /Items [A\n";
        for (const auto& [name, entries] : Items)
            text += "  [D /Info [D /Type 'Variables' /Version 1 /Name '" + name + "' /Path 'Variables' ] /Items [A " +
                entries + " ] ]\n";
        Temp.Write("in.vkc", text + "] ]\n");
        return Import(S, (Temp.Path() / "in.vkc").string());
    }
    bool Import(TVariableService& S, const std::string& Path) {
        bool done = false, success = false;
        Transfer->LoadAllWithFeedback(RealPathToStored(Path), [&](TDevice&, bool Ok) {
            done = true;
            success = Ok;
        });
        EXPECT_TRUE(RunUntil([&] { return done && Idle(S); }, 10s));
        return success;
    }
    static int64_t Int(TSLNamedCollection& C, const char* Name) { return C.GetIntWithName(Name); }
    static std::vector<std::string> Captions(const TDirItem& D) {
        std::vector<std::string> out;
        for (int i = 0; i < D.GetCount(); ++i)
            if (!D.GetVarItem(i).CheckFlag(vfDeleted))
                out.push_back(D.GetVarItem(i).Caption());
        return out;
    }

    TNoWarnings Warnings;
    TImportWarnings* PrevWarnings = nullptr;
    std::unique_ptr<TConfigTransfer> Transfer;
    TTempFolder Temp;
};

TEST_F(VarConfigTest, SectionsOfferedAndWhatTheFileHolds) {
    TVariableService& s = Drive();
    ASSERT_EQ(Transfer->GetInterfaceForType("variables"), s.GetDataInterface());
    ExpectError([&] { Interface(s).GetTypeName(1); }, "index out of bounds");
    EXPECT_EQ(Interface(s).GetTypeName(0), "Variables");

    // Nothing read, nothing made: nothing to save.
    EXPECT_TRUE(Offered(s).empty());
    // A user section with one variable never read is offered; a system
    // section without a valid value is not.
    TDirItem& user = *s.FindDirWithCaption("User Defined");
    TVarItem& mine = user.CreateVar("", "Mine", "UInt16", -1, vstUserDefined);
    mine.SetAddrStr("1234");
    EXPECT_EQ(Offered(s), (std::vector<std::string>{"User Defined"}));
    ExpectError(
        [&] {
            TDataItem item;
            item.CreateDataDict();
            Interface(s).GetDataInfo(1, item);
        },
        "index out of bounds");

    // One valid variable of "Motion" is all it saves of that section. A
    // section the user may not read is not offered, whatever its values.
    Read(s, {"8205"});
    ASSERT_TRUE(s.FindVariable("8205")->CheckFlag(vfValid));
    s.FindVariable("8230")->SetDataCache(SimHex("07 00"));
    EXPECT_EQ(Offered(s), (std::vector<std::string>{"User Defined", "Motion"}));

    auto items = Export(s);
    ASSERT_EQ(items.size(), 2u);
    auto* motion = SLCast<TSLArray>(items["Motion"]->GetObjWithName("Items"));
    ASSERT_EQ(motion->GetCount(), 1);
    auto& position = *SLCast<TSLNamedCollection>(motion->GetObjAtIndex(0));
    EXPECT_EQ(position.GetStrWithName("Name"), "Actual Position");
    EXPECT_EQ(Int(position, "UPID"), 8305) << "the device UPID";
    EXPECT_EQ(Int(position, "MASTER_UPID"), 8205);
    EXPECT_EQ(position.GetStrWithName("Data"), s.FindVariable("8205")->GetDataCache());
    EXPECT_EQ(position.GetStrWithName("VarType"), "SInt32");

    auto* users = SLCast<TSLArray>(items["User Defined"]->GetObjWithName("Items"));
    ASSERT_EQ(users->GetCount(), 1);
    auto& own = *SLCast<TSLNamedCollection>(users->GetObjAtIndex(0));
    EXPECT_EQ(own.GetStrWithName("Name"), "Mine");
    EXPECT_EQ(Int(own, "UPID"), -1);
    EXPECT_EQ(own.GetStrWithName("Address"), "1234");

    // "Speeds" (64) is readable by USER (0x41) too, once it holds a value.
    s.FindVariable("8220")->SetDataCache(SimHex("01 00 00 00"));
    EXPECT_EQ(Offered(s), (std::vector<std::string>{"User Defined", "Motion", "Motion:Speeds"}));
}

TEST_F(VarConfigTest, AnItemWhoseSectionIsGoneSavesNoVariables) {
    TVariableService& s = Drive();
    TDataItem item;
    item.CreateDataDict();
    item.SetDataName("Gone");
    TExecuteControl control(&s);
    control.FCommand = 2;
    control.FData = &item;
    Interface(s).Execute(control);
    EXPECT_EQ(control.FStatus, 1);
    Interface(s).Execute(control);
    EXPECT_EQ(control.FStatus, 0);
    auto* entries = SLCast<TSLArray>(item.DataDict()->GetObjWithName("Items"));
    EXPECT_EQ(entries->GetCount(), 0);
}

// A record of a user section's variable as a file holds it.
std::string UserEntry(const std::string& Caption, const std::string& Address) {
    return "[D /Name '" + Caption + "_" + Address + "' /Address '" + Address + "' /Caption '" + Caption +
        "' /Data '' /VarType 'UInt16' /DisplayMode 'HEX' /Permission 255 /AddrUsage 257 /UPID -1 ]";
}

TEST_F(VarConfigTest, RestoresMakeReplaceOrFillSections) {
    TVariableService& s = Drive();
    TDirItem& user = *s.FindDirWithCaption("User Defined");
    user.CreateVar("", "Old", "UInt16", -1, vstUserDefined);
    TVarItem& axis = *s.FindVariable("8200");
    const TVarItem& target = *s.FindVariable("8202");

    // Drive B numbers "Actual Position" 9305 (master 8205): its value still
    // reaches this drive's 8305. An entry of an older file (no master UPID)
    // goes by the device UPID; variables without an entry keep their values;
    // an entry without "Data" changes nothing.
    const std::string motion =
        "[D /Name '9305' /Caption 'Actual Position' /VarType 'SInt32' /UPID 9305 /MASTER_UPID 8205 /Data '@0D@0C@00@00' ]"
        "[D /Name '8200' /Caption 'Axis State' /VarType 'UInt8' /UPID 8200 /Data '@05' ]"
        "[D /Name '8202' /Caption 'Target Index' /VarType 'UInt16' /UPID 8202 ]"
        "[D /Name '8203' /Caption 'Nobody' /VarType 'SInt16' /UPID 7777 /MASTER_UPID 7777 /Data '@01@00' ]";
    ASSERT_TRUE(Import(s, {{"Motion", motion}, {"User Defined", UserEntry("New A", "2000") + UserEntry("New B", "2002")}, {"Bench", UserEntry("Probe", "3000")}}));

    EXPECT_EQ(SimToHex(s.FindVariable("8205")->GetDataCache()), "0D 0C 00 00");
    EXPECT_TRUE(s.FindVariable("8205")->CheckFlag(vfValid));
    EXPECT_EQ(axis.GetValueStr(), "5");
    EXPECT_FALSE(target.CheckFlag(vfValid));
    EXPECT_FALSE(s.FindVariable("8203")->CheckFlag(vfValid));

    // The user section holds exactly the item's variables.
    EXPECT_EQ(Captions(*s.FindDirWithCaption("User Defined")), (std::vector<std::string>{"New A", "New B"}));
    EXPECT_EQ(s.FindDirWithCaption("User Defined")->GetVarItem(0).GetAddrStr(), "2000");

    // An unknown caption: a user section of that name, permission 3.
    TDirItem* bench = s.FindDirWithCaption("Bench");
    ASSERT_NE(bench, nullptr);
    EXPECT_TRUE(bench->UserDefined());
    EXPECT_EQ(bench->Name(), "Bench");
    EXPECT_EQ(bench->Permission(), 3);
    EXPECT_EQ(Captions(*bench), (std::vector<std::string>{"Probe"}));
    EXPECT_FALSE(Interface(s).Holding());
}

TEST_F(VarConfigTest, ARoundTripBringsBackUserVariablesAndValues) {
    TVariableService& s = Drive();
    TDirItem& user = *s.FindDirWithCaption("User Defined");
    TVarItem& flag = user.CreateVar("", "Flags", "Bool16", -1, vstUserDefined);
    flag.SetAddrStr("2000.3");
    TParameterService& params = Params(s.Owner());
    TVarItem* fromPar = user.CreateVarFromPar(*params.FindParameterWithDeviceUPID(4102), vstSystem);
    ASSERT_NE(fromPar, nullptr);
    const MyAnsiString flagName = flag.GetVarName();
    const std::int32_t master = fromPar->MasterUPID();
    Read(s, {"8205", "8200"});
    const MyAnsiString position = s.FindVariable("8205")->GetValueStr();
    const MyAnsiString axis = s.FindVariable("8200")->GetValueStr();
    const auto exported = Export(s);
    ASSERT_EQ(exported.size(), 2u);

    // Everything changes, then the file comes back in.
    s.FindVariable("8205")->SetValueStr("1");
    s.FindVariable("8200")->SetValueStr("9");
    user.Clear();
    ASSERT_TRUE(Import(s, (Temp.Path() / "out.vkc").string()));
    EXPECT_EQ(s.FindVariable("8205")->GetValueStr(), position);
    EXPECT_EQ(s.FindVariable("8200")->GetValueStr(), axis);
    ASSERT_EQ(Captions(user).size(), 2u);
    TVarItem* f = nullptr;
    TVarItem* p = nullptr;
    for (int i = 0; i < user.GetCount(); ++i) {
        TVarItem& v = user.GetVarItem(i);
        if (!v.CheckFlag(vfDeleted))
            (v.SourceType() == vstUserDefined ? f : p) = &v;
    }
    ASSERT_TRUE(f && p);
    EXPECT_EQ(f->GetVarName(), flagName);
    EXPECT_EQ(f->VarType(), "Bool16");
    EXPECT_EQ(f->GetAddrStr(), "2000.3");
    EXPECT_EQ(p->DeviceUPID(), 4102);
    EXPECT_EQ(p->MasterUPID(), master);

    // And the restored variable is read from the drive like any other.
    ASSERT_TRUE(Batch(s, [&] { p->RequestRead(); }));
    EXPECT_TRUE(p->CheckFlag(vfValid));
}

TEST_F(VarConfigTest, ARefusedEntryEndsTheItemAndFreesTheService) {
    TVariableService& s = Drive();
    ASSERT_TRUE(Import(s, {{"Bench", UserEntry("Probe", "3000") + "[D /Name 'X' /Caption 'X' /VarType 'Gizmo' /UPID -1 ]" + UserEntry("Later", "3002")}, {"User Defined", UserEntry("Still", "2000")}}));
    EXPECT_TRUE(Trace.Contains("variable class with name Gizmo doesn't exist"));
    EXPECT_EQ(Captions(*s.FindDirWithCaption("Bench")), (std::vector<std::string>{"Probe"}));
    EXPECT_EQ(Captions(*s.FindDirWithCaption("User Defined")), (std::vector<std::string>{"Still"}))
        << "the next item still comes in";
    EXPECT_FALSE(Interface(s).Holding());
    // The service serves its clients again.
    Read(s, {"8200"});
    EXPECT_TRUE(s.FindVariable("8200")->CheckFlag(vfValid));
}

} // namespace
} // namespace vo::test
