// The data-item selection dialog through its real widgets (offscreen): an
// import tree whose types are not adjacent and whose curves alternate between
// help and download curves, clicked with the mouse.
#include "devices/gui/mdChkFrm.h"

#include "devices/ModChk.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "tests/support/QtTestApp.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace vo {
namespace {

TRef<TSLDictionary> Item(const char* Type, const char* Name, int Downloaded = -1) {
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    TRef<TSLDictionary> info = MakeRef<TSLDictionary>();
    info->SetStrWithName("Type", Type);
    info->SetStrWithName("Name", Name);
    d->SetObjWithName("Info", info.Get());
    if (Downloaded >= 0) {
        TRef<TSLDictionary> data = MakeRef<TSLDictionary>();
        TRef<TSLDictionary> dataInfo = MakeRef<TSLDictionary>();
        dataInfo->SetBoolWithName("Downloaded", Downloaded != 0);
        data->SetObjWithName("Info", dataInfo.Get());
        d->SetObjWithName("Data", data.Get());
    }
    return d;
}

std::vector<std::string> Names(TSLArray& A) {
    std::vector<std::string> out;
    for (int i = 0; i < A.GetCount(); ++i) {
        auto* d = dynamic_cast<TSLDictionary*>(A.GetObjAtIndex(i));
        out.push_back(dynamic_cast<TSLDictionary*>(d->FindObjWithName("Info"))->GetStrWithName("Name"));
    }
    return out;
}

class ModCheckFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        Items = MakeRef<TSLArray>();
        for (auto& d : {Item("Variables", "V0"), Item("Curves", "Help1", 0), Item("Curves", "Down1", 1),
                        Item("Curves", "Help2", 0), Item("Variables", "V1")})
            Items->AddObject(d.Get());
        Tree.InitImport(Items.Get());
        Form.SetTree(Tree);
        Form.show();
    }
    // The node at a path of child indices from the root.
    TModCheckNode& Node(std::initializer_list<int> Path) {
        TModCheckNode* n = Tree.Root();
        for (int i : Path)
            n = n->Children.at(static_cast<size_t>(i)).get();
        return *n;
    }
    void Click(TModCheckNode& N) {
        QTreeWidgetItem* item = Form.ItemOf(N);
        ASSERT_NE(item, nullptr);
        const QRect r = Form.TreeView->visualItemRect(item);
        QTest::mouseClick(Form.TreeView->viewport(), Qt::LeftButton, {}, r.center());
    }
    bool Checked(TModCheckNode& N) { return Form.ItemOf(N)->checkState(0) == Qt::Checked; }

    TRef<TSLArray> Items;
    TModCheckTree Tree;
    TModCheckForm Form;
};

TEST_F(ModCheckFormTest, TheTreeGroupsRunsOfTypesAndCurves) {
    EXPECT_EQ(Form.windowTitle(), "Select the data to be imported.");
    ASSERT_EQ(Tree.Root()->Children.size(), 3u);
    EXPECT_EQ(Node({1}).Caption, "Curves");
    EXPECT_EQ(Node({1, 0}).Caption, "Help Curve");
    EXPECT_EQ(Node({1, 1}).Caption, "Download Curve");
    EXPECT_EQ(Node({1, 0, 1}).Caption, "Help2");
    EXPECT_TRUE(Checked(*Tree.Root()));
}

TEST_F(ModCheckFormTest, ClicksPropagateAndOkRemovesTheRightItems) {
    // The only item of the last "Variables" node: its type node goes, the
    // root stays checked while others are.
    Click(Node({2, 0}));
    EXPECT_FALSE(Checked(Node({2, 0})));
    EXPECT_FALSE(Checked(Node({2})));
    EXPECT_TRUE(Checked(*Tree.Root()));
    // Unchecking every top node unchecks the root.
    Click(Node({0}));
    Click(Node({1}));
    EXPECT_FALSE(Checked(Node({1, 0, 1})));
    EXPECT_FALSE(Checked(*Tree.Root()));
    // Checking an item under an unchecked group checks up to the root.
    Click(Node({1, 0, 1}));
    EXPECT_TRUE(Checked(Node({1, 0})));
    EXPECT_TRUE(Checked(Node({1})));
    EXPECT_TRUE(Checked(*Tree.Root()));
    EXPECT_FALSE(Checked(Node({1, 0, 0})));
    QTest::mouseClick(Form.OkButton, Qt::LeftButton);
    EXPECT_EQ(Form.result(), QDialog::Accepted);
    Tree.Apply();
    // Only Help2 stays: the leaves carry their own item indices.
    EXPECT_EQ(Names(*Items), std::vector<std::string>{"Help2"});
}

TEST_F(ModCheckFormTest, CancelChangesNothing) {
    Click(*Tree.Root());
    EXPECT_FALSE(Checked(Node({1, 1, 0})));
    QTest::mouseClick(Form.CancelButton, Qt::LeftButton);
    EXPECT_EQ(Form.result(), QDialog::Rejected);
    EXPECT_EQ(Names(*Items), (std::vector<std::string>{"V0", "Help1", "Down1", "Help2", "V1"}));
}

} // namespace
} // namespace vo
