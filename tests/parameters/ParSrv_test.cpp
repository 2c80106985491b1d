// The parameter service without a drive: the tree from "ParameterArray"
// records, the client protocol's checks, discarding, the pass of a device
// without a connection, and the look-ups on the finished tree.
#include "parameters/ParSrv.h"

#include "kernel/CsServices.h"
#include "kernel/PropList.h"
#include "kernel/ShellServices.h"
#include "parameters/ParInit.h"
#include "parameters/PtInt.h"
#include "storagelib/SL20Dic.h"
#include "tests/parameters/ParTestUtil.h"
#include "tests/support/ExpectError.h"
#include "tests/support/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <set>

namespace vo {
namespace {

class ParameterServiceTest : public test::ParameterFixture {
protected:
    void SetUp() override {
        ParameterFixture::SetUp();
        // The service builds its nodes through the program's registry.
        if (!ParameterManager().ParameterClassExists("UInt16"))
            RegisterParameterClasses(ParameterManager());
    }

    // A module description holding the records.
    static TRef<TSLObject> Module(const MyAnsiString& Records) { return SLDecodeString("[D /ParameterArray " + Records + " ]"); }
    // The first record of a type in a description carries its definition,
    // later ones refer to it.
    MyAnsiString Def(const MyAnsiString& Type, const MyAnsiString& Definition) {
        return Defined.insert(Type).second ? Definition : "@" + Type;
    }
    MyAnsiString Dir(int Upid, int Level, const char* Caption) {
        return "[R " + Def("Directory", "[D:Directory /UPID 65535 /Level 1 /Caption '' /Permission 85 /AddrUsage 0 /UseVFlag '' ]") + " [A " +
            std::to_string(Upid) + " " + std::to_string(Level) + " '" + Caption + "' 85 0 '' ] ]";
    }
    MyAnsiString Int(int Upid, int Level, const char* Caption, int Default = 7, int AddrUsage = 15) {
        return "[R " +
            Def("UInt16", "[D:UInt16 /UPID 0 /DEVICE_UPID 0 /Level 1 /Caption '' /Permission 255 /AddrUsage 15 /UseVFlag ''"
                          " /UUID 0 /MinValue 0 /MaxValue 65535 /DefValue 0 ]") +
            " [A " +
            std::to_string(Upid) + " " + std::to_string(Upid) + " " + std::to_string(Level) + " '" + Caption + "' 255 " +
            std::to_string(AddrUsage) + " '' 0 0 65535 " + std::to_string(Default) + " ] ]";
    }
    // The records as an array (braces keep their order of evaluation).
    static MyAnsiString Arr(std::initializer_list<MyAnsiString> Records) {
        MyAnsiString out = "[A";
        for (const MyAnsiString& r : Records) out += " " + r;
        return out + " ]";
    }
    void Load(const MyAnsiString& Records) {
        Defined.clear();
        TRef<TSLObject> m = Module(Records);
        Service().AddTree("T");
        Service().LoadParameters(*dynamic_cast<TSLDictionary*>(m.Get()));
        Service().IndexParameters();
    }

    // Runs Body as the provider's current client.
    void AsClient(const std::function<void(TServiceClient&)>& Body) {
        TServiceClient client;
        bool done = false;
        client.FOnExecute = [&](TServiceClient& C) {
            Body(C);
            done = true;
            if (Service().Provider().CurrentClient() == &C && Service().Provider().Status() == psExecClient)
                C.Release();
        };
        client.FOnNotify = [&](TObject*) { ++Notified; };
        client.Connect(Service().Provider());
        client.Request();
        ASSERT_TRUE(RunUntil([&] { return done; }));
        client.Disconnect();
    }

    int Notified = 0;
    std::set<MyAnsiString> Defined;
};

TEST_F(ParameterServiceTest, LevelsPlaceTheRecords) {
    Load(Arr({Dir(65536, 1, "A"), Dir(65537, 2, "B"), Int(300, 3, "C"), Int(301, 2, "A2"), Dir(65538, 1, "R2")}));
    TParameterService& s = Service();
    TParameter* a = s.FindParameter(65536);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Parent(), &s.TreeRoot());
    EXPECT_EQ(s.FindParameter(65537)->Parent(), a);
    EXPECT_EQ(s.FindParameter(300)->Parent(), s.FindParameter(65537));
    EXPECT_EQ(s.FindParameter(301)->Parent(), a);
    EXPECT_EQ(s.FindParameter(65537)->Next(), s.FindParameter(301));
    EXPECT_EQ(s.FindParameter(65538)->Parent(), &s.TreeRoot());
    EXPECT_EQ(a->Next(), s.FindParameter(65538));
    EXPECT_EQ(s.GetClassCount(), 2);
}

TEST_F(ParameterServiceTest, ARecordAtABadLevelIsRefusedBeforeItIsListed) {
    for (int level : {2, 0, 300}) {
        SCOPED_TRACE(level);
        FService.reset();
        Defined.clear();
        const MyAnsiString records = "[A " + Int(500, level, "X") + " ]";
        TRef<TSLObject> m = Module(records);
        test::ExpectError([&] { Service().LoadParameters(*dynamic_cast<TSLDictionary*>(m.Get())); },
                          "TParameterService.LoadTree: can't insert parameter 'X' at level " + std::to_string(level));
        EXPECT_EQ(Service().FindParameter(500), nullptr);
        EXPECT_EQ(Service().FindParameterWithDeviceUPID(500), nullptr);
        EXPECT_EQ(Service().GetParameterCount(), 1) << "only the root";
    }
}

TEST_F(ParameterServiceTest, ProtocolChecksCallerAndState) {
    Load("[A " + Int(300, 1, "C") + " ]");
    TParameterService& s = Service();
    TServiceClient stranger;
    test::ExpectError([&] { s.PrepareUpdate(stranger); }, "TParameterService.PrepareUpdate: caller isn't the current client");
    AsClient([&](TServiceClient& C) {
        s.PrepareModify(C);
        test::ExpectError([&] { s.PrepareUpdate(C); }, "TParameterService.PrepareUpdate: not allowed in current state");
        test::ExpectError([&] { s.ExecuteSave(C); }, "TParameterService.ExecuteSave: not allowed in current state");
        TParameter& p = *s.FindParameter(300);
        p.Modify(C);
        p.Modify(C);
        EXPECT_EQ(s.WorkList().size(), 1u) << "queued once";
        s.DiscardModify(C);
        EXPECT_FALSE(p.GetAttrFlag(AttrWriteQueued)) << "discarded entries are not marked any more";
        EXPECT_EQ(s.State(), TParameterServiceState::stReady);
        s.PrepareModify(C);
        p.Modify(C);
        EXPECT_EQ(s.WorkList().size(), 1u) << "a discarded node queues again";
        s.DiscardModify(C);

        s.PrepareUpdate(C);
        p.Update(C);
        EXPECT_EQ(s.WorkList().size(), 1u);
        s.DiscardUpdate(C);
        EXPECT_FALSE(p.GetAttrFlag(AttrReadQueued));
    });
}

TEST_F(ParameterServiceTest, WithoutConnectionAReadPassTakesTheDefaults) {
    Device().SetDeviceType(dtOffline);
    Load(Arr({Dir(65536, 1, "A"), Int(300, 2, "C", 42), Int(301, 2, "D", 9)}));
    TParameterService& s = Service();
    AsClient([&](TServiceClient& C) {
        s.PrepareUpdate(C);
        s.FindParameter(300)->Update(C);
        s.FindParameter(301)->Update(C);
        s.ExecuteUpdate(C);
    });
    EXPECT_EQ(s.FindParameter(300)->GetIntValue(), 42);
    EXPECT_EQ(s.FindParameter(301)->GetIntValue(), 9);
    EXPECT_FALSE(s.FindParameter(300)->GetAttrFlag(AttrReadQueued));
    EXPECT_EQ(Notified, 1);
    EXPECT_EQ(s.State(), TParameterServiceState::stReady);

    // An empty write pass ends at once.
    AsClient([&](TServiceClient& C) {
        s.PrepareModify(C);
        s.ExecuteModify(C);
        EXPECT_EQ(s.State(), TParameterServiceState::stReady);
    });
}

TEST_F(ParameterServiceTest, OnAnArchiveDeviceAPassEndsAndNotifies) {
    Device().SetDeviceType(dtArchive);
    Load("[A " + Int(300, 1, "C") + " ]");
    TParameterService& s = Service();
    AsClient([&](TServiceClient& C) {
        s.PrepareUpdate(C);
        s.FindParameter(300)->Update(C);
        s.ExecuteUpdate(C);
    });
    EXPECT_EQ(Notified, 1);
    EXPECT_EQ(s.State(), TParameterServiceState::stReady);
    EXPECT_FALSE(s.FindParameter(300)->GetAttrFlag(AttrReadQueued));
}

TEST_F(ParameterServiceTest, CaptionSearchAndClassList) {
    Load(Arr({Dir(65536, 1, "Limits"), Int(300, 2, "Max Current"), Int(301, 2, "Speed"), Int(302, 2, "max speed")}));
    TParameterService& s = Service();
    TParameter* first = s.FindNextWithCaption(nullptr, "max");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Caption(), "Max Current");
    TParameter* second = s.FindNextWithCaption(first, "MAX");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Caption(), "max speed");
    EXPECT_EQ(s.FindNextWithCaption(second, "max"), nullptr);
    EXPECT_EQ(s.FindPreviousWithCaption(nullptr, "max"), second);
    EXPECT_EQ(s.FindPreviousWithCaption(second, "max"), first);
    EXPECT_TRUE(s.GetClassList().empty()) << "plain directories are no class directories";
}

TEST_F(ParameterServiceTest, HelpTextsNameTheParametersTheyRefer) {
    Load("[A [R [D:UInt16 /UPID 0 /DEVICE_UPID 0 /Level 1 /Caption '' /Permission 255 /AddrUsage 15 /UseVFlag ''"
         " /UUID 0 /MinValue 0 /MaxValue 9 /DefValue 0 /HelpTextDict [D ] ]"
         " [A 7 7 1 'H' 255 15 '' 0 0 9 0 [D /English 'See <UPID>01234 and <UPID>x1234 and <UPID>04321.' ] ] ]"
         " [R @UInt16 [A 1234 1234 1 'Gain' 255 15 '' 0 0 9 0 [D ] ] ] ]");
    TParameterService& s = Service();
    s.ReplaceMasterUPID();
    const MyAnsiString expected = "See " + TParameter::UPIDText(1234) + " (Gain) and x1234 and 04321.";
    EXPECT_EQ(s.FindParameter(7)->PropList()->GetInfoStr("English"), expected);
}

} // namespace
} // namespace vo
