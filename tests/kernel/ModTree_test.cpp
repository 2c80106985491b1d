#include "kernel/ModTree.h"

#include <gtest/gtest.h>

#include "../support/KernelFixtures.h"
#include "../support/ScriptedPrompt.h"
#include "platform/Exception.h"

namespace vo {
namespace {

// Writes a tree as text: "Caption" for a leaf, "Caption+" for a collapsed
// node with an expand button, "Caption(children)" for an expanded node;
// "*" marks the selected node.
std::string Dump(const TTreeNode& n) {
    std::string s = n.Text();
    if (n.Selected()) s += "*";
    if (n.Count() > 0 && n.Expanded()) {
        s += "(";
        for (int i = 0; i < n.Count(); ++i) s += (i ? "," : "") + Dump(*n.Item(i));
        s += ")";
    } else if (n.HasChildren()) {
        s += "+";
    }
    return s;
}

std::string Dump(const TTreeView& t) {
    return t.GetFirstNode() ? Dump(*t.GetFirstNode()) : "";
}

class ModelTreeTest : public test::MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        model = std::make_unique<TModelManager>(std::make_unique<TCountImageList>(130));
        model->Root().SetCaption("Project");
        entries = std::make_unique<TEntryManager>(*model, tree);
        entries->OnUpdate = [this] { ++updates; };
        Refresh();
        updates = 0;
    }
    void TearDown() override {
        entries.reset();
        model.reset();
        MainSchedulerFixture::TearDown();
    }

    // Runs the main scheduler until nothing is ready (the refresh, if one was
    // requested, has run).
    void Refresh() { Pump.RunPending(100000); }

    TModelItem& Node(const char* caption, TModelItem* parent = nullptr) {
        TModelItem& n = TModelItem::Create(*model, nullptr);
        n.SetCaption(caption);
        (parent ? *parent : model->Root()).AddChild(n);
        return n;
    }
    TTreeNode* TreeNode(const std::string& path) {
        entries->SetPathStr(path);
        return tree.Selected();
    }

    TTreeView tree;
    std::unique_ptr<TModelManager> model;
    std::unique_ptr<TEntryManager> entries;
    int updates = 0;
};

TEST_F(ModelTreeTest, ChangesInsideOneBracketGiveOneRefresh) {
    TModelItem& a = Node("a");
    TModelItem& b = Node("b");
    TModelItem& c = Node("c");
    Refresh();
    EXPECT_EQ(Dump(tree), "Project(a,b,c)");
    const auto refreshes = model->RefreshCount();
    updates = 0;

    model->BeginUpdate();
    a.SetCaption("A1");
    b.SetCaption("B1");
    c.SetCaption("C1");
    a.SetImageIndex(87);
    b.SetImageIndex(119);
    c.SetFlag(mfAllowEdit, true);
    c.Hide();
    a.SetCaption("A2");
    EXPECT_TRUE(model->Modifying());
    Refresh();
    EXPECT_EQ(model->RefreshCount(), refreshes) << "no refresh while the bracket is open";
    EXPECT_EQ(Dump(tree), "Project(a,b,c)");
    model->EndOfUpdate();
    Refresh();
    EXPECT_EQ(model->RefreshCount(), refreshes + 1);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(Dump(tree), "Project(A2,B1)");
    EXPECT_EQ(tree.GetFirstNode()->Item(0)->ImageIndex(), 87);
    EXPECT_EQ(tree.GetFirstNode()->Item(1)->SelectedIndex(), 119);
    EXPECT_FALSE(model->Modifying());
    EXPECT_TRUE(a.UpdateInfo().Empty()) << "update flags are cleared after the refresh";
}

TEST_F(ModelTreeTest, NestedBracketRefreshesOnlyWhenOutermostCloses) {
    TModelItem& a = Node("a");
    Refresh();
    const auto refreshes = model->RefreshCount();
    model->BeginUpdate();
    model->BeginUpdate();
    a.SetCaption("x");
    model->EndOfUpdate();
    Refresh();
    EXPECT_EQ(model->RefreshCount(), refreshes);
    EXPECT_EQ(model->UpdateCounter(), 1);
    model->EndOfUpdate();
    Refresh();
    EXPECT_EQ(model->RefreshCount(), refreshes + 1);
    EXPECT_EQ(Dump(tree), "Project(x)");
    EXPECT_THROW(model->EndOfUpdate(), Exception) << "an unbalanced end is refused";
}

TEST_F(ModelTreeTest, SettersWithoutOuterBracketCoalesceUntilTheTaskRuns) {
    TModelItem& a = Node("a");
    Refresh();
    const auto refreshes = model->RefreshCount();
    a.SetCaption("1");
    a.SetCaption("2");
    a.SetImageIndex(3);
    EXPECT_EQ(Dump(tree), "Project(a)") << "the refresh runs in the manager's task, not in the setter";
    Refresh();
    EXPECT_EQ(model->RefreshCount(), refreshes + 1);
    EXPECT_EQ(Dump(tree), "Project(2)");
}

TEST_F(ModelTreeTest, ItemsAreAddedRemovedAndMovedKeepingTheirEntries) {
    TModelItem& dev1 = Node("Drive1");
    TModelItem& dev2 = Node("Drive2");
    TModelItem& par = Node("Parameters", &dev1);
    Node("Status", &dev1);
    Refresh();
    EXPECT_EQ(Dump(tree), "Project(Drive1+,Drive2)");
    tree.GetFirstNode()->Item(0)->Expand();
    EXPECT_EQ(Dump(tree), "Project(Drive1(Parameters,Status),Drive2)");
    TEntryItem* parEntry = entries->FindEntry(par);
    ASSERT_NE(parEntry, nullptr);

    // Move "Parameters" from Drive1 to the front of Drive2.
    model->BeginUpdate();
    dev1.RemoveChild(par);
    dev2.InsertChild(0, par);
    Node("Osci", &dev2);
    model->EndOfUpdate();
    Refresh();
    EXPECT_EQ(Dump(tree), "Project(Drive1(Status),Drive2+)");
    TTreeNode* d2 = tree.GetFirstNode()->Item(1);
    d2->Expand();
    EXPECT_EQ(Dump(tree), "Project(Drive1(Status),Drive2(Parameters,Osci))");
    EXPECT_EQ(d2->Item(0)->Data(), parEntry) << "the moved node keeps its entry";

    // Remove the last child: the expand button goes.
    dev1.DeleteChild(0);
    Refresh();
    EXPECT_EQ(Dump(tree), "Project(Drive1,Drive2(Parameters,Osci))");
    EXPECT_EQ(dev2.IndexOfChild(par), 0);
    EXPECT_EQ(par.Parent(), &dev2);
}

TEST_F(ModelTreeTest, ReleasedNodesAndTheirEntriesAreFreedByTheNextRefresh) {
    TModelItem& dev = Node("Drive");
    TModelItem& keep = Node("Keep", &dev);
    Node("Gone", &keep);
    model->Root();
    Refresh();
    tree.GetFirstNode()->Item(0)->Expand();
    tree.GetFirstNode()->Item(0)->Item(0)->Expand();
    ASSERT_EQ(Dump(tree), "Project(Drive(Keep(Gone)))");
    const int nodes = model->GetCount();
    const int entryCount = entries->GetCount();
    std::vector<TEntryItem*> freed;
    entries->OnEntryFree = [&](TEntryItem& e) { freed.push_back(&e); };
    TEntryItem* devEntry = entries->FindEntry(dev);

    dev.Release(); // still inside Project: taken out first
    EXPECT_EQ(model->Root().GetChildCount(), 0);
    EXPECT_TRUE(dev.Released());
    EXPECT_EQ(model->GetCount(), nodes) << "alive until the refresh";
    Refresh();
    EXPECT_EQ(Dump(tree), "Project");
    EXPECT_EQ(model->GetCount(), nodes - 1);
    EXPECT_EQ(entries->GetCount(), entryCount - 1);
    ASSERT_EQ(freed.size(), 1u);
    EXPECT_EQ(freed[0], devEntry);
    // The children of the freed node live on, detached, until released.
    EXPECT_EQ(keep.Parent(), nullptr);
    EXPECT_EQ(keep.Caption(), "Keep");
}

TEST_F(ModelTreeTest, NodeReleasedDuringARefreshWaitsUntilEveryTreeViewLetGo) {
    TModelItem& x = Node("x");
    Refresh();
    TTreeView second;
    TEntryManager other(*model, second); // refreshed after the fixture's tree view
    Refresh();
    ASSERT_NE(entries->FindEntry(x), nullptr);
    ASSERT_NE(other.FindEntry(x), nullptr);
    model->Root().RemoveChild(x); // out of the tree, entries kept for a return
    Refresh();
    ASSERT_NE(entries->FindEntry(x), nullptr);
    const int nodes = model->GetCount();

    other.OnUpdate = [&] {
        if (!x.Released()) x.Release(); // without parent: no bracket needed
    };
    Node("y");
    Refresh();
    EXPECT_EQ(model->GetCount(), nodes + 1) << "x waits: the first tree view still holds its entry";
    EXPECT_NE(entries->FindEntry(x), nullptr);
    other.OnUpdate = nullptr;
    Node("z");
    Refresh();
    EXPECT_EQ(model->GetCount(), nodes + 1) << "x is gone, z came";
    EXPECT_EQ(Dump(tree), "Project(y,z)");
    EXPECT_EQ(Dump(second), "Project(y,z)");
}

TEST_F(ModelTreeTest, StructuralMisuseRaisesItsErrors) {
    TModelItem& a = Node("a");
    TModelItem& b = Node("b", &a);
    TModelItem& loose = TModelItem::Create(*model, nullptr);
    struct Case {
        std::function<void()> call;
        const char* message;
    };
    const Case cases[] = {
        {[&] { model->Root().AddChild(b); }, "TModelItem.InsertChild: Child has a parent"},
        {[&] { b.GetChild(0); }, "TModelItem.GetChild: node has no children"},
        {[&] { loose.Release(); a.AddChild(loose); }, "TModelItem.InsertChild: Child is released"},
    };
    for (const Case& c : cases) {
        test::ExpectError([&] { c.call(); }, c.message);
    }
    // A node can't become its own descendant.
    TModelItem& c = TModelItem::Create(*model, nullptr);
    EXPECT_NO_THROW(b.AddChild(c));
    a.RemoveChild(b);
    EXPECT_THROW(c.AddChild(b), Exception);
    EXPECT_EQ(b.Parent(), nullptr);
    EXPECT_EQ(model->UpdateCounter(), 0) << "failed changes leave no bracket open";
}

TEST_F(ModelTreeTest, BracketOpenedFromInsideARefreshIsReportedAndTheModelRecovers) {
    test::CapturedTrace trace;
    TModelItem& a = Node("a");
    Refresh();
    entries->OnUpdate = [&] { a.SetCaption("from the update handler"); };
    a.SetCaption("b");
    Refresh();
    EXPECT_TRUE(trace.Contains("TModelManager.BeginUpdate: internal error - ModelManager"));
    EXPECT_FALSE(model->Updating());
    entries->OnUpdate = nullptr;
    a.SetCaption("c");
    Refresh();
    EXPECT_EQ(Dump(tree), "Project(c)");
}

TEST_F(ModelTreeTest, HiddenNodeDisappearsAtTheNextRefreshWithoutItsOwnBracket) {
    TModelItem& a = Node("a");
    Node("b");
    Refresh();
    const auto refreshes = model->RefreshCount();
    a.Hide();
    EXPECT_FALSE(a.GetVisible());
    Refresh();
    EXPECT_EQ(model->RefreshCount(), refreshes) << "hiding asks for no refresh";
    EXPECT_EQ(Dump(tree), "Project(a,b)");
    Node("c"); // any later bracket
    Refresh();
    EXPECT_EQ(Dump(tree), "Project(b,c)");
    a.Show();
    model->BeginUpdate();
    model->EndOfUpdate();
    Refresh();
    EXPECT_EQ(Dump(tree), "Project(a,b,c)");
}

TEST_F(ModelTreeTest, ReadPermissionsPerUserTypeHideAndShowNodes) {
    TModelItem& dir = Node("Parameters");
    TModelItem& dev = Node("Developer", &dir);
    TModelItem& user = Node("UserOnly", &dir);
    Node("Everyone", &dir);
    dev.SetPermission(ptRead, {utDevelop});
    user.SetPermission(ptRead, {utUser}); // utUser is not one of AllUsers
    Refresh();
    tree.GetFirstNode()->Item(0)->Expand();
    EXPECT_EQ(Dump(tree), "Project(Parameters(Everyone))");

    // A developer login gives the node the developer user type.
    dev.SetUserType({utUser, utDevelop});
    dir.Hide(); // the parent's children are rebuilt at the next refresh
    dir.Show();
    model->Root().SetCaption("Project");
    Refresh();
    EXPECT_EQ(Dump(tree), "Project(Parameters(Developer,Everyone))");

    EXPECT_TRUE(dev.HavePermission(ptRead, {{utDevelop}, {}, {}, {}}));
    EXPECT_FALSE(dev.HavePermission(ptWrite, {{utDevelop}, {utDevelop}, {}, {}}));
    dev.SetPermission(ptWrite, {utService, utDevelop});
    EXPECT_TRUE(dev.HavePermission(ptWrite, {{}, {utDevelop}, {}, {}}));
    EXPECT_EQ(AllUsers.Bits(), 0x7B);
    TModelItem& fresh = TModelItem::Create(*model, nullptr);
    EXPECT_EQ(fresh.Permission().Read, AllUsers);
    EXPECT_TRUE(fresh.Permission().Write.Empty());
    EXPECT_EQ(fresh.UserType(), TUserTypeSet{utUser});
    EXPECT_EQ(fresh.Flags(), TModelFlagSet{mfVisible});
    EXPECT_EQ(fresh.ImageIndex(), -1);
}

TEST_F(ModelTreeTest, CollapsedNodeShowsButtonAndBuildsChildrenOnExpand) {
    TModelItem& dev = Node("Drive");
    Node("Status", &dev);
    Refresh();
    TTreeNode* d = tree.GetFirstNode()->Item(0);
    EXPECT_TRUE(d->HasChildren());
    EXPECT_EQ(d->Count(), 0) << "children are built lazily";
    const int before = entries->GetCount();

    // While the model is being changed, expanding an unbuilt node is refused.
    model->BeginUpdate();
    EXPECT_FALSE(tree.UserExpand(*d));
    model->EndOfUpdate();
    EXPECT_FALSE(tree.UserExpand(*d)) << "still modifying until the refresh has run";
    Refresh();
    EXPECT_TRUE(tree.UserExpand(*d));
    EXPECT_EQ(d->Count(), 1);
    EXPECT_EQ(entries->GetCount(), before + 1);
    EXPECT_TRUE(entries->FindEntry(dev)->Flags().Contains(efExpanded));

    // Collapsing keeps the children; the root does not collapse.
    EXPECT_TRUE(tree.UserCollapse(*d));
    EXPECT_FALSE(entries->FindEntry(dev)->Flags().Contains(efExpanded));
    EXPECT_EQ(d->Count(), 1);
    EXPECT_FALSE(tree.UserCollapse(*tree.GetFirstNode()));
    EXPECT_TRUE(tree.GetFirstNode()->Expanded());

    // A collapsed node whose children change drops them and builds them
    // again only when expanded.
    Node("Osci", &dev);
    Refresh();
    EXPECT_EQ(d->Count(), 0);
    EXPECT_TRUE(d->HasChildren());
    d->Expand();
    EXPECT_EQ(Dump(tree), "Project(Drive(Status,Osci))");
}

TEST_F(ModelTreeTest, SelectionReturnsToTheSameEntryAfterAncestorIsRebuilt) {
    TModelItem& dev = Node("Drive");
    TModelItem& par = Node("Parameters", &dev);
    Node("Motor", &par);
    Refresh();
    TTreeNode* motor = TreeNode("Project:\\\\Drive\\Parameters\\Motor");
    ASSERT_NE(motor, nullptr);
    EXPECT_EQ(entries->CurrentPath(), "Project:\\\\Drive\\Parameters\\Motor");
    TEntryItem* motorEntry = motor->Data();
    updates = 0;

    Node("Status", &dev); // Drive's children are rebuilt
    Refresh();
    EXPECT_EQ(Dump(tree), "Project(Drive(Parameters(Motor*),Status))");
    EXPECT_EQ(tree.Selected()->Data(), motorEntry);
    EXPECT_GE(updates, 1);
    EXPECT_EQ(entries->CurrentPath(), "Project:\\\\Drive\\Parameters\\Motor");

    // When the selected node itself goes, its parent stays selected.
    par.RemoveChild(par.GetChild(0));
    Refresh();
    EXPECT_EQ(Dump(tree), "Project(Drive(Parameters*,Status))");
    EXPECT_EQ(entries->PreviousPath(), "Project:\\\\Drive\\Parameters\\Motor");
}

TEST_F(ModelTreeTest, PathStringsSelectAndDescribeTheSelection) {
    TModelItem& a = Node("a");
    Node("b", &a);
    Node("B", &a);
    Node("c");
    Refresh();
    EXPECT_EQ(entries->GetPathStr(), "") << "nothing selected";

    struct Case {
        const char* path;
        const char* selected; // path of the selection afterwards
    };
    const Case cases[] = {
        {"Project:\\\\", "Project:\\\\"},
        {"Project:\\\\a", "Project:\\\\a"},
        {"Project:\\\\a\\..", "Project:\\\\"},
        {"Project:\\\\a\\B", "Project:\\\\a\\B"},
        {"Project:\\\\a\\x\\b", "Project:\\\\a"}, // stops at the part that names no child
        {"Project:\\\\A", "Project:\\\\"}, // captions compare with their case
        {"Project:\\\\..", "Project:\\\\"}, // the top has no parent
        {"c", "Project:\\\\c"}, // relative to the top node
        {"a\\b\\..\\..\\c", "Project:\\\\c"},
    };
    for (const Case& c : cases) {
        tree.Select(nullptr);
        entries->SetPathStr(c.path);
        EXPECT_EQ(entries->GetPathStr(), c.selected) << c.path;
    }
    // Without the top name nothing is selected unless a part is followed.
    tree.Select(nullptr);
    entries->SetPathStr("zzz");
    EXPECT_EQ(tree.Selected(), nullptr);
    test::ExpectError([&] { entries->SetPathStr("Other:\\\\a"); }, "internal error: tree name error");
    // The path builds collapsed children on its way and shows them.
    EXPECT_EQ(Dump(tree).find("a(b,B)") != std::string::npos, true) << Dump(tree);

    entries->SetPathStr("Project:\\\\a\\b");
    entries->GoBackSelect();
    EXPECT_EQ(entries->GetPathStr(), "Project:\\\\a");
    entries->GoBackSelect();
    EXPECT_EQ(entries->GetPathStr(), "Project:\\\\");
    entries->GoBackSelect();
    EXPECT_EQ(entries->GetPathStr(), "Project:\\\\");
}

TEST_F(ModelTreeTest, SelectionChangesWhileModifyingKeepThePaths) {
    Node("a");
    Node("b");
    Refresh();
    entries->SetPathStr("Project:\\\\a");
    EXPECT_EQ(entries->CurrentPath(), "Project:\\\\a");
    updates = 0;
    model->BeginUpdate();
    entries->SetPathStr("Project:\\\\b");
    model->EndOfUpdate();
    EXPECT_EQ(entries->CurrentPath(), "Project:\\\\a") << "paths are not taken while the model changes";
    EXPECT_EQ(updates, 0);
    Refresh();
    entries->SetPathStr("Project:\\\\a");
    EXPECT_EQ(entries->CurrentPath(), "Project:\\\\a");
    EXPECT_EQ(entries->PreviousPath(), "Project:\\\\a") << "the selection made while modifying was never taken";
}

TEST_F(ModelTreeTest, EditingOnlyWhereAllowedAndCaptionsStay) {
    test::TScriptedPromptScope prompt;
    TModelItem& a = Node("a");
    TModelItem& b = Node("b");
    b.SetFlag(mfAllowEdit, true);
    Refresh();
    TTreeNode* na = tree.GetFirstNode()->Item(0);
    TTreeNode* nb = tree.GetFirstNode()->Item(1);
    EXPECT_FALSE(tree.CanEdit(*na));
    EXPECT_TRUE(tree.CanEdit(*nb));
    tree.UserEdited(*nb, "renamed");
    ASSERT_EQ(prompt.Texts().size(), 1u);
    EXPECT_EQ(prompt.Texts()[0], "end of editing");
    EXPECT_EQ(b.Caption(), "b");
    EXPECT_EQ(nb->Text(), "b");
    (void)a;
}

TEST_F(ModelTreeTest, StringVariablesAreAskedUpTheTree) {
    TModelItem& dev = Node("Drive");
    TModelItem& srv = Node("Service", &dev);
    model->Root().SetOnGetStrVar([](const MyAnsiString& n, MyAnsiString& v) {
        if (n == "ProjectName") v = "P1";
    });
    dev.SetOnGetStrVar([](const MyAnsiString& n, MyAnsiString& v) {
        if (n == "DeviceName") v = "X-Axis";
    });
    srv.SetOnGetStrVar([](const MyAnsiString& n, MyAnsiString& v) {
        if (n == "ServiceName") v = "StatusService";
    });
    EXPECT_EQ(srv.GetStrVar("ServiceName"), "StatusService");
    EXPECT_EQ(srv.GetStrVar("DeviceName"), "X-Axis");
    EXPECT_EQ(srv.GetStrVar("ProjectName"), "P1");
    EXPECT_EQ(srv.GetStrVar("Unknown"), "");
    EXPECT_EQ(dev.GetStrVar("ServiceName"), "");
}

struct Device : TObject {};

TEST_F(ModelTreeTest, AttributesAndChildrenCopyToAnotherModel) {
    Device drive;
    TModelItem& src = TModelItem::Create(*model, &drive);
    src.SetCaption("Drive");
    src.SetImageIndex(119);
    src.SetFlag(mfAllowEdit, true);
    src.SetUserType({utDevelop});
    src.SetPermission(ptRead, {utService});
    src.SetPermission(ptWrite, {utService});
    TModelItem& child = TModelItem::Create(*model, nullptr);
    child.SetCaption("Status");
    child.Hide();
    src.AddChild(child);
    src.Release(); // even a released source copies without passing that on

    TModelManager other(nullptr);
    TModelItem& copy = TModelItem::Create(other, nullptr);
    other.Root().AddChild(copy);
    copy.CopyAttributesAndChildrenFrom(src, other);
    EXPECT_EQ(copy.Data(), &drive);
    EXPECT_EQ(copy.Caption(), "Drive");
    EXPECT_EQ(copy.ImageIndex(), 119);
    EXPECT_TRUE(copy.Flags().Contains(mfAllowEdit));
    EXPECT_FALSE(copy.Released());
    EXPECT_EQ(copy.UserType(), TUserTypeSet{utDevelop});
    EXPECT_EQ(copy.Permission().Read, TUserTypeSet{utService});
    EXPECT_TRUE(copy.Permission().Write.Empty()) << "only the read permission is copied";
    ASSERT_EQ(copy.GetChildCount(), 1);
    EXPECT_EQ(copy.GetChild(0).Caption(), "Status");
    EXPECT_FALSE(copy.GetChild(0).GetVisible());
    EXPECT_EQ(&copy.GetChild(0).Owner(), &other);
    EXPECT_EQ(other.GetCount(), 3);
}

TEST_F(ModelTreeTest, EntryContextsAreOwnedPerSlot) {
    struct Ctx : TObject {
        explicit Ctx(int* d) : dead(d) {}
        ~Ctx() override { ++*dead; }
        int* dead;
    };
    int dead = 0;
    TModelItem& plain = Node("plain");
    Refresh();
    TEntryItem* e = entries->FindEntry(plain);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetContextCount(), 0) << "no view factory, no slot";
    EXPECT_EQ(e->GetContext(), nullptr);
    auto first = std::make_unique<Ctx>(&dead);
    Ctx* raw = first.get();
    e->SetContext(std::move(first));
    EXPECT_EQ(e->GetContext(), raw);
    e->SetContext(std::make_unique<Ctx>(&dead));
    EXPECT_EQ(dead, 1) << "the context it replaces is freed";
    auto taken = e->TakeContext();
    EXPECT_EQ(e->GetContext(), nullptr);
    taken.reset();
    EXPECT_EQ(dead, 2);
}

TEST_F(ModelTreeTest, SecondTreeViewShowsTheExistingModelAtOnce) {
    TModelItem& a = Node("a");
    Node("b", &a);
    Refresh();
    TTreeView second;
    TEntryManager other(*model, second);
    EXPECT_EQ(Dump(second), "Project(a+)") << "the top level is there before any refresh";
    a.SetCaption("A");
    Refresh();
    EXPECT_EQ(Dump(second), "Project(A+)");
    EXPECT_EQ(Dump(tree), "Project(A+)") << "every bound tree view is refreshed";
    other.SetPathStr("Project:\\\\A\\b");
    EXPECT_EQ(Dump(second), "Project(A(b*))");
    EXPECT_EQ(Dump(tree), "Project(A+)") << "tree views keep their own state";
}

TEST(ModelManagerWithoutScheduler, NeedsTheMainScheduler) {
    test::ExpectError([&] { TModelManager m; }, "Main Scheduler not created!");
}

} // namespace
} // namespace vo
