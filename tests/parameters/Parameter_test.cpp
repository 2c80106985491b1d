// Parameter nodes: construction from description records through the class
// registry, the UPID lists, the tree walks and paths, arrays, permissions,
// the string properties, the root and the directory kinds, and the queueing
// of nodes by the service's current client.
#include "parameters/Parameter.h"

#include "kernel/CsServices.h"
#include "kernel/ModTree.h"
#include "kernel/PropList.h"
#include "kernel/ShellServices.h"
#include "parameters/VisCtrl.h"
#include "tests/parameters/ParTestUtil.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/TestShell.h"

#include <gtest/gtest.h>

#include <string>

namespace vo {
namespace {

using test::BoolDef;
using test::ClassDirDef;
using test::DirDef;
using test::ExpectError;
using test::IntDef;

MyAnsiString Dir(int UPID, int Level, const MyAnsiString& Caption, int Permission = 0x55) {
    return "[R @Directory [A " + std::to_string(UPID) + " " + std::to_string(Level) + " '" + Caption + "' " +
        std::to_string(Permission) + " 0 '' ] ]";
}

MyAnsiString Int(int UPID, int DeviceUPID, int Level, const MyAnsiString& Caption, int UUID = 0, int Permission = 0x55) {
    return "[R @TestInt [A " + std::to_string(UPID) + " " + std::to_string(DeviceUPID) + " " + std::to_string(Level) + " '" +
        Caption + "' " + std::to_string(Permission) + " 5 '' " + std::to_string(UUID) + " ] ]";
}

// The first rows define the types; later rows use them by name.
MyAnsiString Array(const std::vector<MyAnsiString>& Rows) {
    MyAnsiString text = "[A [R " + MyAnsiString(DirDef) + " [A 65535 1 'Defs' 85 0 '' ] ] [R " + IntDef +
        " [A 9 9 2 'int' 85 5 '' 0 ] ]";
    for (const auto& r : Rows) text += " " + r;
    return text + " ]";
}

class ParameterNodeTest : public test::ParameterFixture {};

// A tree in text notation: record type names are found without regard to
// case, the lists hold every node in load order, paths join the captions.
TEST_F(ParameterNodeTest, TreeFromRecords) {
    const MyAnsiString longCaption(70, 'x');
    auto nodes = BuildTree(
        "[A [R [D:directory /UPID 65535 /Level 1 /Caption '' /Permission 85 /AddrUsage 0 /UseVFlag '' ] [A 100 1 'A' 85 0 '' ] ]"
        " [R @directory [A 101 2 'B' 85 0 '' ] ]"
        " [R " +
        MyAnsiString(IntDef) + " [A 300 300 3 'C' 5 5 '' 0 ] ]" +
        " [R [D:TestBool /UPID 0 /Level 1 /Caption '' /Permission 85 /AddrUsage 5 /UseVFlag '' /SetVFlag [A ] ] [A 400 2 '" +
        longCaption + "' 85 5 '' [A ] ] ]" + " " + Dir(102, 1, "D") + " ]");
    ASSERT_EQ(nodes.size(), 5u);
    TParameterService& s = Service();
    TParameter& a = *nodes[0];
    TParameter& b = *nodes[1];
    TParameter& c = *nodes[2];
    TParameter& bool400 = *nodes[3];

    EXPECT_EQ(a.Parent(), &s.TreeRoot());
    EXPECT_EQ(b.Parent(), &a);
    EXPECT_EQ(c.Parent(), &b);
    EXPECT_EQ(bool400.Parent(), &a);
    EXPECT_EQ(nodes[4]->Parent(), &s.TreeRoot());
    EXPECT_EQ(c.Level(), 3);
    EXPECT_EQ(c.GetPath(), "A\\B\\C");
    EXPECT_EQ(a.GetPath(), "A");
    EXPECT_EQ(bool400.Caption(), longCaption.substr(0, 63));
    EXPECT_TRUE(a.IsDirectory());
    EXPECT_TRUE(c.IsInteger());
    EXPECT_TRUE(bool400.IsBoolean());
    EXPECT_FALSE(c.IsDirectory() || c.IsString() || c.IsBoolean());

    // no "DEVICE_UPID": both lists hold the master UPID
    EXPECT_EQ(a.UPID(), 100);
    EXPECT_EQ(a.MasterUPID(), 100);
    EXPECT_EQ(s.FindParameter(100), &a);
    EXPECT_EQ(s.FindParameterWithDeviceUPID(100), &a);
    EXPECT_EQ(s.FindParameter(300), &c);
    EXPECT_EQ(s.FindParameter(12345), nullptr);
    ASSERT_EQ(s.GetParameterCount(), 6);
    EXPECT_EQ(s.GetParameterEntry(0).Key, "_ROOT");
    EXPECT_EQ(s.GetParameterEntry(1).Key, "100");
    EXPECT_EQ(s.GetDevParameterCount(), 5);
    EXPECT_EQ(c.Index(), 3);

    // the module tree that held the records; the root has none
    EXPECT_EQ(c.GetTree(), "Tree-1");
    EXPECT_EQ(s.TreeRoot().TreeIndex(), 255);
    EXPECT_EQ(s.TreeRoot().GetTree(), "");

    // level-1 plain directories are the classes
    ASSERT_EQ(s.GetClassCount(), 2);
    EXPECT_EQ(&s.GetClassRoot(0), &a);
    EXPECT_EQ(s.FindClassRoot("D"), nodes[4]);
    EXPECT_EQ(s.FindClassRoot("d"), nullptr);
    EXPECT_EQ(c.GetClassRoot(), nullptr);
}

TEST_F(ParameterNodeTest, DeviceUPIDAndUPIDTexts) {
    test::TestShell shell;
    auto nodes = BuildTree(Array({Int(500, 0x12AB, 1, "P")}));
    TParameter& p = *nodes.back();
    TParameterService& s = Service();
    EXPECT_EQ(s.FindParameter(500), &p);
    EXPECT_EQ(s.FindParameterWithDeviceUPID(0x12AB), &p);
    EXPECT_EQ(s.FindParameterWithDeviceUPID(500), nullptr);

    const struct {
        const char* Mode;
        const char* Text;
    } cases[] = {{"HEX", "12ABh"}, {"DEC", "4779"}, {"Hex", "4779"}};
    for (const auto& c : cases) {
        shell.SetUPIDDispMode(c.Mode);
        EXPECT_EQ(p.GetStrVarProp(2), c.Text) << c.Mode;
    }
    shell.SetUPIDDispMode("HEX");
    EXPECT_EQ(p.GetStrVarProp(1), "P");
    EXPECT_EQ(p.GetStrVarProp(3), "0000h"); // the root
    EXPECT_EQ(p.GetStrVarProp(5), "");
    EXPECT_EQ(p.GetStrVarProp(9), "");
}

TEST_F(ParameterNodeTest, PermissionsByUserMask) {
    auto nodes = BuildTree(Array({Int(1, 1, 1, "P", 0, 0x05)}));
    TParameter& p = *nodes.back();
    EXPECT_TRUE(p.CanRead(0x0C));
    EXPECT_FALSE(p.CanWrite(0x0C));
    EXPECT_TRUE(p.CanRead(0x03));
    EXPECT_FALSE(p.CanRead(0x40));
    EXPECT_EQ(Service().TreeRoot().Permission(), 0x55);
}

// Nodes of one master UPID that follow one another form an array.
TEST_F(ParameterNodeTest, Arrays) {
    auto nodes = BuildTree(Array({Int(7, 70, 1, "a0"), Int(7, 71, 1, "a1"), Int(7, 72, 1, "a2"), Int(8, 80, 1, "b"),
                                  Int(7, 73, 1, "late")}));
    TParameter& a0 = *nodes[2];
    TParameter& a2 = *nodes[4];
    TParameter& last = *nodes.back();
    EXPECT_EQ(a0.GetArrayCount(), 3);
    EXPECT_EQ(a0.GetArrayNext(), nodes[3]);
    EXPECT_EQ(a2.GetArrayNext(), nullptr);
    EXPECT_EQ(a2.GetArrayFirst(), &a0);
    // the last entry of the list has no next one
    EXPECT_EQ(last.GetArrayNext(), nullptr);
    EXPECT_EQ(last.GetArrayFirst(), &a0);
    EXPECT_EQ(Service().FindParameter(7), &a0);
}

TEST_F(ParameterNodeTest, WalksStopWhereTheCallbackSays) {
    auto nodes = BuildTree(Array({Dir(1, 1, "A"), Dir(2, 2, "A1"), Dir(3, 3, "A11"), Dir(4, 2, "A2"), Dir(5, 1, "B")}));
    TParameter& root = Service().TreeRoot();
    std::vector<MyAnsiString> seen;
    root.ForEach([&](TParameter& P, bool&) { seen.push_back(P.Caption()); }, false);
    EXPECT_EQ(seen, (std::vector<MyAnsiString>{"Defs", "int", "A", "A1", "A11", "A2", "B"}));

    seen.clear();
    nodes[2]->ForEach([&](TParameter& P, bool&) { seen.push_back(P.Caption()); }, true);
    EXPECT_EQ(seen, (std::vector<MyAnsiString>{"A", "A1", "A11", "A2"}));

    seen.clear();
    nodes[2]->ForEach(
        [&](TParameter& P, bool& Stop) {
            seen.push_back(P.Caption());
            Stop = true;
        },
        false);
    EXPECT_EQ(seen, (std::vector<MyAnsiString>{"A1"}));

    seen.clear();
    nodes[2]->ForEachChild([&](TParameter& P, bool&) { seen.push_back(P.Caption()); });
    EXPECT_EQ(seen, (std::vector<MyAnsiString>{"A1", "A2"}));

    seen.clear();
    Service().ForEachParameter([&](TParameter& P, bool& Stop) {
        seen.push_back(P.Caption());
        Stop = P.Caption() == "A11";
    });
    EXPECT_EQ(seen.back(), "A11");
}

TEST_F(ParameterNodeTest, OptionalKeysAndHelpTexts) {
    auto nodes = BuildTree(
        "[A [R [D:Directory /UPID 65535 /Level 1 /Caption '' /Permission 85 /AddrUsage 0 /UseVFlag '' /DisplayMode '' "
        "/WizardUPIDList [A ] /HelpTextDict [D ] ] [A 10 1 'W' 85 257 '' 'HEX' [A 1000 1200 ] [D /English 'See <UPID>01000' /Deutsch '' ] ] ]"
        " [R @Directory [A 11 1 'E' 85 0 '' 'DEC' [A ] [D ] ] ] ]");
    TParameter& w = *nodes[0];
    EXPECT_EQ(w.DisplayMode(), "HEX");
    EXPECT_EQ(w.AddrUsage(), 257);
    ASSERT_TRUE(w.HasWizardUPIDList());
    EXPECT_EQ(w.GetWizardUPIDCount(), 2);
    EXPECT_EQ(w.GetWizardUPID(1), 1200);
    ExpectError([&] { w.GetWizardUPID(2); }, "List index out of bounds (2)");
    ASSERT_NE(w.PropList(), nullptr);
    EXPECT_EQ(w.PropList()->ObjType(), "Parameter Directory");
    EXPECT_EQ(w.PropList()->GetNoOfInfoStr(), 1); // the empty text is left out
    EXPECT_EQ(w.PropList()->GetInfoStr("English"), "See <UPID>01000");
    EXPECT_EQ(w.PropList()->GetItemWithName("Name").GetValue(&w), "W");
    EXPECT_FALSE(nodes[1]->HasWizardUPIDList()); // an empty list stays unset
}

// A record that lacks a key, or names a flag nobody defined, builds no node
// and leaves no trace in the lists.
TEST_F(ParameterNodeTest, FailedConstructionLeavesTheListsAlone) {
    BuildTree(Array({Dir(1, 1, "A")}));
    TParameterService& s = Service();
    const int count = s.GetParameterCount();
    const int devCount = s.GetDevParameterCount();
    ExpectError([&] { BuildTree("[A [R [D:TestInt /UPID 0 /Level 1 /Caption '' /Permission 85 /AddrUsage 5 /UseVFlag '' ] [A 77 1 'x' 85 5 '' ] ] ]", ""); },
                "TSLRecord.GetObjWithName: object with name 'UUID' not found");
    ExpectError([&] { BuildTree("[A [R " + MyAnsiString(DirDef) + " [A 78 1 'y' 85 0 'NoFlag' ] ] ]", ""); },
                "visibility flag with name 'NoFlag' not found");
    EXPECT_EQ(s.GetParameterCount(), count);
    EXPECT_EQ(s.GetDevParameterCount(), devCount);
    EXPECT_EQ(s.FindParameter(77), nullptr);
    EXPECT_EQ(s.FindParameter(78), nullptr);
    ExpectError([&] { Classes.GetParameterClass("Nothing"); },
                "TParameterManager.GetParameterClass: parameter class with name Nothing doesn't exist");
}

// The root and the directories hold no value: the root answers empty, the
// directories refuse value operations, and defaulting changes nothing.
TEST_F(ParameterNodeTest, RootAndDirectoriesHoldNoValue) {
    auto nodes = BuildTree(Array({Dir(1, 1, "A"), "[R " + MyAnsiString(ClassDirDef) + " [A 2 1 'K' 85 0 '' ] ]"}));
    TParameterService& s = Service();
    TRootDirParameter& root = s.TreeRoot();
    EXPECT_EQ(root.GetIntValue(), 0);
    EXPECT_EQ(root.GetStrValue(), "");
    EXPECT_FALSE(root.GetBoolValue());
    TValueRec v{"old", "u"};
    root.GetScaledValue(v, usSI, "SCALED");
    EXPECT_EQ(v.ValueStr, "");
    EXPECT_EQ(root.Model().ImageIndex(), 20);
    EXPECT_TRUE(root.GetAttrFlag(AttrVisible));
    EXPECT_EQ(root.Model().Caption(), "Parameters");
    EXPECT_TRUE(root.Model().GetVisible());
    EXPECT_EQ(root.Model().Parent(), &Device().Model());

    TParameter& dir = *nodes[2];
    auto& cls = dynamic_cast<TClassDirParameter&>(*nodes[3]);
    EXPECT_THROW(dir.GetIntValue(), EAbstractError);
    EXPECT_THROW(cls.GetStrValue(), EAbstractError);
    EXPECT_EQ(cls.Extension(), "");
    EXPECT_EQ(cls.Model().ImageIndex(), 21);
    EXPECT_EQ(Service().GetClassCount(), 2); // "Defs" and "A"; the class directory is none

    const std::int32_t attrs[] = {root.IntAttr(), dir.IntAttr(), cls.IntAttr()};
    root.SetDefaultValue(usSI);
    dir.SetDefaultValue(usSI);
    cls.SetDefaultValue(usMetric);
    EXPECT_EQ(root.IntAttr(), attrs[0]);
    EXPECT_EQ(dir.IntAttr(), attrs[1]);
    EXPECT_EQ(cls.IntAttr(), attrs[2]);

    TClassDirParameter made(s, nullptr);
    EXPECT_EQ(made.Extension(), "cfg");
    EXPECT_EQ(made.Model().ImageIndex(), 20);
    EXPECT_TRUE(made.GetAttrFlag(AttrVisible));
}

// A directory under a directory: its model item starts hidden under the
// parent's; destroying the tree takes the items away.
TEST_F(ParameterNodeTest, DirectoryModelItems) {
    auto nodes = BuildTree(Array({Dir(1, 1, "A"), Dir(2, 2, "B"), Int(3, 3, 2, "v")}));
    auto& a = dynamic_cast<TGenericDirParameter&>(*nodes[2]);
    auto& b = dynamic_cast<TGenericDirParameter&>(*nodes[3]);
    EXPECT_EQ(b.Model().Parent(), &a.Model());
    EXPECT_FALSE(b.Model().GetVisible());
    EXPECT_EQ(a.Model().GetChildCount(), 1); // the integer has no item
    EXPECT_EQ(a.Model().Data(), &a);
    EXPECT_EQ(a.Model().Caption(), "A");
    EXPECT_EQ(a.Model().UserType(), TUserTypeSet{utService});
    const int items = Device().Model().GetChildCount();
    FService.reset();
    EXPECT_EQ(Device().Model().GetChildCount(), items - 1);
}

// Nodes are queued by the current client of the service only, once per pass.
TEST_F(ParameterNodeTest, QueueingByTheCurrentClient) {
    auto nodes = BuildTree(Array({Int(1, 1, 1, "P")}));
    auto& p = dynamic_cast<test::TTestIntParameter&>(*nodes.back());
    TParameterService& s = Service();
    TServiceClient client, stranger;
    client.Connect(s.Provider());
    stranger.Connect(s.Provider());
    client.FOnExecute = [](TServiceClient&) {};
    client.Request();
    ASSERT_TRUE(RunUntil([&] { return s.Provider().CurrentClient() == &client; }));

    ExpectError([&] { p.Update(stranger); }, "TParameterService.ParameterUpdate: caller isn't the current client");
    ExpectError([&] { p.Update(client); }, "TParameterService.ParameterUpdate: not allowed in current state");
    s.SetState(TParameterServiceState::stUpdate);
    p.Update(client);
    p.Update(client);
    EXPECT_EQ(s.WorkList().size(), 1u);
    EXPECT_TRUE(p.GetAttrFlag(AttrReadQueued));

    s.SetState(TParameterServiceState::stModify);
    p.Modify(client);
    p.Modify(client);
    EXPECT_EQ(s.WorkList().size(), 2u);
    EXPECT_TRUE(p.GetAttrFlag(AttrWriteQueued));

    // a valid node is not read again; after Invalidate it is
    p.SetValid();
    p.Invalidate(client);
    EXPECT_FALSE(p.GetValid());
    client.Release();
    stranger.Disconnect();
    client.Disconnect();
}

} // namespace
} // namespace vo
