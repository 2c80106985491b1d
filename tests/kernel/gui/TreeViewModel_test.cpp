// The project model tree shown in a real tree widget (offscreen).
#include "kernel/gui/TreeViewModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPixmap>

#include <gtest/gtest.h>

#include <string>

#include "../../support/ScriptedPrompt.h"
#include "kernel/ModTree.h"
#include "platform/gui/QtMainLoop.h"

namespace vo {
namespace {

int argc = 1;
char arg0[] = "TreeViewModel_test";
char* argv[] = {arg0, nullptr};

class TreeWidgetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App = new QApplication(argc, argv); }
    static void TearDownTestSuite() {
        delete App;
        App = nullptr;
    }
    void SetUp() override {
        MxCreateMainScheduler(Loop);
        auto images = std::make_unique<TQtImageList>();
        for (const auto color : {Qt::red, Qt::green, Qt::blue}) {
            QPixmap pm(16, 16);
            pm.fill(color);
            images->Add(QIcon(pm));
        }
        model = std::make_unique<TModelManager>(std::move(images));
        model->Root().SetCaption("Project");
        entries = std::make_unique<TEntryManager>(*model, tree);
        entries->OnUpdate = [this] { ++updates; };
        widget = std::make_unique<TTreeViewWidget>(tree);
        widget->resize(300, 400);
        widget->show();
        Settle();
    }
    void TearDown() override {
        widget.reset();
        entries.reset();
        model.reset();
        MxFreeMainScheduler();
    }

    // Runs the Qt loop (and with it the main scheduler) until the model has
    // no refresh pending and the scheduler is idle.
    void Settle() {
        QElapsedTimer t;
        t.start();
        do {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        } while ((model->Modifying() || MxScheduler()->TaskCount() > 0) && t.elapsed() < 5000);
        QCoreApplication::processEvents();
    }
    TModelItem& Node(const char* caption, TModelItem* parent = nullptr) {
        TModelItem& n = TModelItem::Create(*model, nullptr);
        n.SetCaption(caption);
        (parent ? *parent : model->Root()).AddChild(n);
        return n;
    }
    QAbstractItemModel& M() { return *widget->model(); }
    QModelIndex Top() { return M().index(0, 0); }
    QString Text(const QModelIndex& i) { return M().data(i).toString(); }
    // The captions of the rows below an index, as the widget's model gives them.
    QStringList Rows(const QModelIndex& parent) {
        QStringList l;
        for (int r = 0; r < M().rowCount(parent); ++r) l << Text(M().index(r, 0, parent));
        return l;
    }
    void Click(const QModelIndex& index) {
        const QPoint pos = widget->visualRect(index).center();
        QMouseEvent press(QEvent::MouseButtonPress, pos, widget->viewport()->mapToGlobal(pos), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, pos, widget->viewport()->mapToGlobal(pos), Qt::LeftButton,
                            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget->viewport(), &press);
        QApplication::sendEvent(widget->viewport(), &release);
        QCoreApplication::processEvents();
    }

    static QApplication* App;
    TQtMainLoop Loop;
    TTreeView tree;
    std::unique_ptr<TModelManager> model;
    std::unique_ptr<TEntryManager> entries;
    std::unique_ptr<TTreeViewWidget> widget;
    int updates = 0;
};
QApplication* TreeWidgetTest::App = nullptr;

TEST_F(TreeWidgetTest, OneBracketOfChangesIsOneRefreshOfTheWidget) {
    TModelItem& a = Node("Drive1");
    TModelItem& b = Node("Drive2");
    Settle();
    ASSERT_EQ(Rows(Top()), (QStringList{"Drive1", "Drive2"}));
    EXPECT_TRUE(widget->isExpanded(Top()));
    const auto refreshes = model->RefreshCount();
    updates = 0;
    int changed = 0, resets = 0;
    QObject::connect(&M(), &QAbstractItemModel::dataChanged, [&] { ++changed; });
    QObject::connect(&M(), &QAbstractItemModel::modelReset, [&] { ++resets; });

    model->BeginUpdate();
    a.SetCaption("X-Axis");
    b.SetCaption("Y-Axis");
    a.SetImageIndex(1);
    b.SetImageIndex(2);
    b.SetFlag(mfAllowEdit, true);
    a.SetCaption("X-Axis (online)");
    model->EndOfUpdate();
    Settle();
    EXPECT_EQ(model->RefreshCount(), refreshes + 1);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(Rows(Top()), (QStringList{"X-Axis (online)", "Y-Axis"}));
    // Each node is redrawn for what changed, not rebuilt.
    EXPECT_GE(changed, 2);
    EXPECT_EQ(resets, 0);
    const QIcon icon = M().data(M().index(1, 0, Top()), Qt::DecorationRole).value<QIcon>();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::blue));
    EXPECT_TRUE(M().flags(M().index(1, 0, Top())) & Qt::ItemIsEditable);
    EXPECT_FALSE(M().flags(M().index(0, 0, Top())) & Qt::ItemIsEditable);
}

TEST_F(TreeWidgetTest, ItemsAddedRemovedAndMovedShowInTheWidget) {
    TModelItem& d1 = Node("Drive1");
    TModelItem& d2 = Node("Drive2");
    TModelItem& par = Node("Parameters", &d1);
    Settle();
    const QModelIndex i1 = M().index(0, 0, Top());
    EXPECT_TRUE(M().hasChildren(i1)) << "expand button before the children are built";
    EXPECT_EQ(M().rowCount(i1), 0);

    widget->expand(i1); // as the user does
    Settle();
    EXPECT_EQ(Rows(i1), QStringList{"Parameters"});
    EXPECT_TRUE(entries->FindEntry(d1)->Flags().Contains(efExpanded));

    model->BeginUpdate();
    d1.RemoveChild(par);
    d2.AddChild(par);
    Node("Osci", &d2);
    Node("Drive3");
    model->EndOfUpdate();
    Settle();
    EXPECT_EQ(Rows(Top()), (QStringList{"Drive1", "Drive2", "Drive3"}));
    EXPECT_EQ(M().rowCount(M().index(0, 0, Top())), 0);
    EXPECT_FALSE(M().hasChildren(M().index(0, 0, Top())));
    const QModelIndex i2 = M().index(1, 0, Top());
    widget->expand(i2);
    Settle();
    EXPECT_EQ(Rows(i2), (QStringList{"Parameters", "Osci"}));

    model->Root().RemoveChild(d1);
    d1.Release();
    Settle();
    EXPECT_EQ(Rows(Top()), (QStringList{"Drive2", "Drive3"}));
    EXPECT_EQ(Rows(M().index(0, 0, Top())), (QStringList{"Parameters", "Osci"}));
    EXPECT_TRUE(widget->isExpanded(M().index(0, 0, Top())));
}

TEST_F(TreeWidgetTest, PermissionsHideAndShowRows) {
    TModelItem& dir = Node("Parameters");
    TModelItem& dev = Node("Factory settings", &dir);
    Node("Motor", &dir);
    dev.SetPermission(ptRead, {utDevelop});
    Settle();
    const QModelIndex d = M().index(0, 0, Top());
    widget->expand(d);
    Settle();
    EXPECT_EQ(Rows(d), QStringList{"Motor"});

    dev.SetUserType({utUser, utDevelop});
    dir.Hide();
    dir.Show(); // the parent's children are looked at again
    model->BeginUpdate();
    model->EndOfUpdate();
    Settle();
    EXPECT_EQ(Rows(M().index(0, 0, Top())), (QStringList{"Factory settings", "Motor"}));

    dev.Hide();
    Node("Encoder", &dir);
    Settle();
    EXPECT_EQ(Rows(M().index(0, 0, Top())), (QStringList{"Motor", "Encoder"}));
}

TEST_F(TreeWidgetTest, ClicksSelectAndPathsFollowBothWays) {
    TModelItem& a = Node("a");
    Node("b", &a);
    Node("c");
    Settle();
    Click(M().index(1, 0, Top()));
    EXPECT_EQ(entries->GetPathStr(), "Project:\\\\c");
    EXPECT_EQ(entries->CurrentPath(), "Project:\\\\c");

    entries->SetPathStr("Project:\\\\a\\b");
    Settle();
    const QModelIndex ia = M().index(0, 0, Top());
    EXPECT_TRUE(widget->isExpanded(ia)) << "the path opened its way";
    EXPECT_EQ(widget->currentIndex(), M().index(0, 0, ia));
    EXPECT_EQ(entries->PreviousPath(), "Project:\\\\c");

    entries->SetPathStr("Project:\\\\a\\..");
    EXPECT_EQ(widget->currentIndex(), Top());
    EXPECT_EQ(entries->GetPathStr(), "Project:\\\\");

    // The selected row goes away: its parent becomes the selection in both.
    entries->SetPathStr("Project:\\\\a\\b");
    a.DeleteChild(0);
    Settle();
    EXPECT_EQ(entries->GetPathStr(), "Project:\\\\a");
    EXPECT_EQ(widget->currentIndex(), M().index(0, 0, Top()));
}

TEST_F(TreeWidgetTest, TheSelectionComesIntoViewAlsoWhenMadeWhileHidden) {
    // More rows than the widget shows; the last one selected.
    for (int i = 0; i < 60; ++i) Node(("n" + std::to_string(i)).c_str());
    Settle();
    const QModelIndex last = M().index(59, 0, Top());
    auto inView = [this](const QModelIndex& I) { return widget->viewport()->rect().intersects(widget->visualRect(I)); };
    ASSERT_FALSE(inView(last));

    // Shown: at once.
    entries->SetPathStr("Project:\\\\n59");
    Settle();
    EXPECT_TRUE(inView(last));

    // Hidden: when shown again, also after the selection moved once more.
    entries->SetPathStr("Project:\\\\n0");
    Settle();
    widget->hide();
    entries->SetPathStr("Project:\\\\n30");
    entries->SetPathStr("Project:\\\\n58");
    Settle();
    widget->show();
    Settle();
    EXPECT_EQ(widget->currentIndex(), M().index(58, 0, Top()));
    EXPECT_TRUE(inView(M().index(58, 0, Top())));
}

TEST_F(TreeWidgetTest, RefusedCollapseAndExpandAreUndoneInTheWidget) {
    TModelItem& a = Node("a");
    Node("b", &a);
    Settle();
    widget->collapse(Top());
    QCoreApplication::processEvents();
    EXPECT_TRUE(widget->isExpanded(Top())) << "the top node stays open";
    EXPECT_TRUE(tree.GetFirstNode()->Expanded());

    const QModelIndex ia = M().index(0, 0, Top());
    model->BeginUpdate(); // while the model changes, unbuilt children stay closed
    widget->expand(ia);
    QCoreApplication::processEvents();
    EXPECT_FALSE(widget->isExpanded(ia));
    model->EndOfUpdate();
    Settle();
    widget->expand(ia);
    Settle();
    EXPECT_TRUE(widget->isExpanded(ia));
    EXPECT_EQ(Rows(ia), QStringList{"b"});
}

TEST_F(TreeWidgetTest, EditingKeepsTheModelCaption) {
    test::TScriptedPromptScope prompt;
    TModelItem& a = Node("Drive1");
    a.SetFlag(mfAllowEdit, true);
    Settle();
    const QModelIndex ia = M().index(0, 0, Top());
    EXPECT_TRUE(M().setData(ia, QString::fromUtf8("Antrieb Ä")));
    ASSERT_EQ(prompt.Texts().size(), 1u);
    EXPECT_EQ(prompt.Texts()[0], "end of editing");
    EXPECT_EQ(Text(ia), "Drive1");
    EXPECT_EQ(a.Caption(), "Drive1");
}

TEST_F(TreeWidgetTest, CaptionsAreCodePage1252) {
    Node("Geb\xE4ude \x80"); // "Gebäude €" in code page 1252
    Settle();
    EXPECT_EQ(Text(M().index(0, 0, Top())), QString::fromUtf8("Gebäude €"));
}

} // namespace
} // namespace vo
