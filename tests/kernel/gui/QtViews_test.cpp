// Views of selected tree nodes docked into a window (offscreen).
#include "kernel/gui/QtViews.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include "kernel/gui/TreeViewModel.h"
#include "platform/gui/QtMainLoop.h"

namespace vo {
namespace {

int argc = 1;
char arg0[] = "QtViews_test";
char* argv[] = {arg0, nullptr};

// What an oscilloscope view keeps per node.
struct OsciCtx : TObject {
    QString title;
    int shown = 0;
};

// A concrete Qt view: a label on its panel and a status-bar text.
class OsciView : public TQtApplicationView {
public:
    OsciView(TApplicationViewFactory& f, std::vector<std::string>& log) : TQtApplicationView(f), FLog(log) {
        label = new QLabel(PanelWidget());
        auto* layout = new QVBoxLayout(PanelWidget());
        layout->addWidget(label);
    }
    void Execute(TAppViewAction a) override {
        FLog.push_back(AppViewActionText(a));
        if (a == vaInit && !ViewCtx()) SetViewCtx(std::make_unique<OsciCtx>());
        if (a == vaShow) {
            auto& ctx = dynamic_cast<OsciCtx&>(*ViewCtx());
            ++ctx.shown;
            if (ctx.title.isEmpty()) ctx.title = QString::fromStdString(Model()->Caption());
            label->setText(ctx.title);
            StatusBarWidget()->showMessage(QString::fromStdString(GetStrVar("DeviceName")));
        }
    }
    QLabel* label;

private:
    std::vector<std::string>& FLog;
};

class OsciFactory : public TApplicationViewFactory {
public:
    explicit OsciFactory(std::vector<std::string>& log) : FLog(log) {}
    int made = 0;

protected:
    std::unique_ptr<TApplicationView> CreateApplicationView() override {
        ++made;
        return std::make_unique<OsciView>(*this, FLog);
    }

private:
    std::vector<std::string>& FLog;
};

// The project window in small: the tree on the left, the view's panel on the
// right, the view's status bar at the bottom.
class ProjectWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App = new QApplication(argc, argv); }
    static void TearDownTestSuite() {
        delete App;
        App = nullptr;
    }
    void SetUp() override {
        MxCreateMainScheduler(Loop);
        factory = std::make_unique<OsciFactory>(log);
        model = std::make_unique<TModelManager>(nullptr);
        model->Root().SetCaption("Project");
        for (const char* c : {"Osci X", "Osci Y", "Info"}) {
            TModelItem& n = TModelItem::Create(*model, nullptr);
            n.SetCaption(c);
            if (c[0] == 'O') n.SetView(factory.get());
            model->Root().AddChild(n);
        }
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        entries = std::make_unique<TEntryManager>(*model, tree);
        treeWidget = new TTreeViewWidget(tree, window.get());
        panel = new QWidget(window.get());
        bottom = new QWidget(window.get());
        layout->addWidget(treeWidget);
        layout->addWidget(panel);
        layout->addWidget(bottom);
        panelCtl = std::make_unique<TQtViewControl>(panel);
        bottomCtl = std::make_unique<TQtViewControl>(bottom);
        host = std::make_unique<TApplicationViewHost>(panelCtl.get(), nullptr, bottomCtl.get(),
                                                      [](const MyAnsiString& n, MyAnsiString& v) {
                                                          if (n == "DeviceName") v = "X-Axis";
                                                      });
        entries->OnUpdate = [this] { host->ShowSelected(*entries); };
        entries->OnEntryFree = [this](TEntryItem& e) { host->EntryFreed(e); };
        window->resize(400, 600);
        window->show();
        Settle();
        log.clear();
    }
    void TearDown() override {
        host.reset();
        entries.reset();
        window.reset();
        model.reset();
        factory.reset();
        MxFreeMainScheduler();
    }
    void Settle() {
        QElapsedTimer t;
        t.start();
        do {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        } while ((model->Modifying() || MxScheduler()->TaskCount() > 0) && t.elapsed() < 5000);
        QCoreApplication::processEvents();
    }
    void SelectRow(int row) {
        const QModelIndex top = treeWidget->model()->index(0, 0);
        treeWidget->setCurrentIndex(treeWidget->model()->index(row, 0, top)); // what a click does
        QCoreApplication::processEvents();
    }
    OsciView* Shown() { return dynamic_cast<OsciView*>(host->CurrentView()); }

    static QApplication* App;
    TQtMainLoop Loop;
    std::vector<std::string> log;
    std::unique_ptr<OsciFactory> factory;
    std::unique_ptr<TModelManager> model;
    TTreeView tree;
    std::unique_ptr<QWidget> window;
    TTreeViewWidget* treeWidget = nullptr;
    QWidget* panel = nullptr;
    QWidget* bottom = nullptr;
    std::unique_ptr<TQtViewControl> panelCtl, bottomCtl;
    std::unique_ptr<TEntryManager> entries;
    std::unique_ptr<TApplicationViewHost> host;
};
QApplication* ProjectWindowTest::App = nullptr;

TEST_F(ProjectWindowTest, SelectedNodesViewIsCreatedDockedPooledAndReused) {
    SelectRow(0);
    OsciView* view = Shown();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(factory->made, 1);
    EXPECT_EQ(log, (std::vector<std::string>{"vaCreate", "vaInit", "vaShow"}));
    EXPECT_EQ(view->PanelWidget()->parentWidget(), panel);
    EXPECT_TRUE(view->PanelWidget()->isVisible());
    EXPECT_EQ(view->StatusBarWidget()->parentWidget(), bottom);
    EXPECT_EQ(view->label->text(), "Osci X");
    EXPECT_EQ(view->StatusBarWidget()->currentMessage(), "X-Axis");
    EXPECT_EQ(panel->layout()->indexOf(view->PanelWidget()), 0) << "docked to fill the panel";

    SelectRow(1);
    EXPECT_EQ(Shown(), view) << "the second oscilloscope reuses the pooled view";
    EXPECT_EQ(factory->made, 1);
    EXPECT_EQ(view->label->text(), "Osci Y");
    EXPECT_TRUE(view->PanelWidget()->isVisible());

    SelectRow(2); // a node without a view
    EXPECT_EQ(host->CurrentView(), nullptr);
    EXPECT_EQ(view->PanelWidget()->parentWidget(), view->Form()) << "back on its own form";
    EXPECT_FALSE(view->PanelWidget()->isVisible());
    EXPECT_EQ(panel->layout()->indexOf(view->PanelWidget()), -1);
    EXPECT_EQ(factory->PoolCount(), 1);

    SelectRow(0);
    EXPECT_EQ(Shown(), view);
    auto& ctx = dynamic_cast<OsciCtx&>(*view->ViewCtx());
    EXPECT_EQ(ctx.title, "Osci X") << "the first node's context came back";
    EXPECT_EQ(ctx.shown, 2);
    EXPECT_EQ(factory->made, 1);
}

TEST_F(ProjectWindowTest, FactoryFreedWhileAViewIsDockedLeavesTheWindowIntact) {
    SelectRow(0);
    ASSERT_NE(Shown(), nullptr);
    QPointer<QWidget> viewPanel = Shown()->PanelWidget();
    host.reset(); // the window lets go of the view first, as it does when it closes
    factory.reset();
    EXPECT_TRUE(viewPanel.isNull()) << "the view's widgets went with it";
    EXPECT_EQ(panel->layout()->count(), 0);
}

} // namespace
} // namespace vo
