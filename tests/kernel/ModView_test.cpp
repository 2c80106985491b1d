#include "kernel/ModView.h"

#include <gtest/gtest.h>

#include "../support/KernelFixtures.h"
#include "platform/Exception.h"

namespace vo {
namespace {

// A control that only remembers where it is.
struct FakeControl : TViewControl {
    explicit FakeControl(std::string n, TViewControl* p = nullptr) : name(std::move(n)), parent(p) {}
    std::string name;
    TViewControl* parent;
    bool visible = true;
    bool aligned = false;
    TViewControl* GetParent() const override { return parent; }
    void SetParent(TViewControl* p) override {
        parent = p;
        aligned = false;
    }
    void SetVisible(bool v) override { visible = v; }
    bool GetVisible() const override { return visible; }
    void AlignClient() override { aligned = true; }
};

// The per-node state a view keeps.
struct Ctx : TObject {
    explicit Ctx(std::string n) : node(std::move(n)) {}
    std::string node;
    int shows = 0;
};

// A view that writes its notifications into a log and keeps a context per node.
class LogView : public TApplicationView {
public:
    LogView(TApplicationViewFactory& f, std::vector<std::string>& log, int id)
        : TApplicationView(f), form("form" + std::to_string(id)), panel("panel", &form), status("status", &form),
          FLog(log), FId(id) {
        SetPanel(&panel);
        SetStatusBar(&status);
    }
    void Execute(TAppViewAction a) override {
        FLog.push_back(std::to_string(FId) + ":" + AppViewActionText(a));
        if (a == vaInit && !ViewCtx()) SetViewCtx(std::make_unique<Ctx>("new"));
        if (a == vaShow) {
            auto* ctx = dynamic_cast<Ctx*>(ViewCtx());
            ++ctx->shows;
            if (Model()) ctx->node = Model()->Caption();
        }
        TApplicationView::Execute(a);
    }
    FakeControl form, panel, status;

private:
    std::vector<std::string>& FLog;
    int FId;
};

class LogFactory : public TApplicationViewFactory {
public:
    explicit LogFactory(std::vector<std::string>& log) : FLog(log) {}
    ~LogFactory() override = default;

protected:
    std::unique_ptr<TApplicationView> CreateApplicationView() override {
        return std::make_unique<LogView>(*this, FLog, ++FMade);
    }

private:
    std::vector<std::string>& FLog;
    int FMade = 0;
};

TEST(ApplicationViewTest, FactoryCreatesOnceAndReusesThePooledView) {
    std::vector<std::string> log;
    {
        LogFactory factory(log);
        TApplicationView& v1 = factory.CreateView();
        EXPECT_EQ(log, (std::vector<std::string>{"1:vaCreate"}));
        v1.Initialize(nullptr);
        EXPECT_NE(v1.ViewCtx(), nullptr) << "the view made its own context";
        auto ctx = v1.Release();
        EXPECT_NE(ctx, nullptr);
        EXPECT_EQ(v1.ViewCtx(), nullptr);
        EXPECT_EQ(factory.PoolCount(), 1);

        log.clear();
        TApplicationView& again = factory.CreateView();
        EXPECT_EQ(&again, &v1) << "the released view is reused";
        EXPECT_TRUE(log.empty()) << "no second vaCreate";
        TApplicationView& v2 = factory.CreateView();
        EXPECT_NE(&v2, &v1);
        EXPECT_EQ(log, (std::vector<std::string>{"2:vaCreate"}));
        (void)v2.Release();
        (void)again.Release();
        // The most recently released view comes first.
        EXPECT_EQ(&factory.CreateView(), &v1);
        (void)v1.Release();
        log.clear();
    }
    EXPECT_EQ(log, (std::vector<std::string>{"1:vaDestroy", "2:vaDestroy"}))
        << "the factory's end destroys every view";
}

TEST(ApplicationViewTest, ShowAndHideDockPanelAndStatusBar) {
    std::vector<std::string> log;
    LogFactory factory(log);
    auto& view = static_cast<LogView&>(factory.CreateView());
    EXPECT_FALSE(view.panel.visible) << "a panel is hidden until shown";
    EXPECT_EQ(view.panel.parent, &view.form);
    FakeControl hostPanel("host"), hostBar("bar"), toolbar("tools");

    view.Initialize(std::make_unique<Ctx>("x"));
    log.clear();
    MyAnsiString seen;
    view.ShowView(nullptr, &hostPanel, &toolbar, &hostBar, [](const MyAnsiString& n, MyAnsiString& v) {
        if (n == "DeviceName") v = "X-Axis";
    });
    EXPECT_TRUE(view.Visible());
    EXPECT_EQ(view.panel.parent, &hostPanel);
    EXPECT_TRUE(view.panel.visible);
    EXPECT_TRUE(view.panel.aligned);
    EXPECT_EQ(view.status.parent, &hostBar);
    EXPECT_TRUE(view.status.visible);
    EXPECT_EQ(view.ToolbarParent(), &toolbar);
    EXPECT_EQ(view.GetStrVar("DeviceName"), "X-Axis");
    view.ShowView(nullptr, &hostPanel, &toolbar, &hostBar, {});
    EXPECT_EQ(log, (std::vector<std::string>{"1:vaShow"})) << "showing a visible view does nothing";
    EXPECT_EQ(view.GetStrVar("DeviceName"), "X-Axis");

    view.HideView();
    view.HideView();
    EXPECT_EQ(log, (std::vector<std::string>{"1:vaShow", "1:vaHide"})) << "hiding a hidden view does nothing";
    EXPECT_FALSE(view.panel.visible);
    EXPECT_EQ(view.panel.parent, &view.form) << "back where it came from";
    EXPECT_EQ(view.status.parent, &view.form);
    EXPECT_EQ(view.GetStrVar("DeviceName"), "");

    // A release of a visible view hides it first.
    view.ShowView(nullptr, &hostPanel, &toolbar, &hostBar, {});
    log.clear();
    auto ctx = view.Release();
    EXPECT_EQ(log, (std::vector<std::string>{"1:vaHide", "1:vaDone"}));
    EXPECT_EQ(view.panel.parent, &view.form);
    EXPECT_EQ(dynamic_cast<Ctx*>(ctx.get())->shows, 2);
}

TEST(ApplicationViewTest, PanelAndStatusBarAreSetOnce) {
    std::vector<std::string> log;
    LogFactory factory(log);
    TApplicationView& view = factory.CreateView();
    FakeControl other("other");
    test::ExpectError([&] { view.SetPanel(&other); }, "panel redefinition not allowed");
    test::ExpectError([&] { view.SetStatusBar(&other); }, "Status bar redefinition not allowed");
    EXPECT_EQ(other.parent, nullptr);
    EXPECT_TRUE(other.visible) << "a refused control is left alone";
}

TEST(ApplicationViewTest, PanelSetWhileVisibleIsDockedAtOnce) {
    std::vector<std::string> log;
    struct LateView : TApplicationView {
        using TApplicationView::TApplicationView;
    };
    struct LateFactory : TApplicationViewFactory {
        std::unique_ptr<TApplicationView> CreateApplicationView() override { return std::make_unique<LateView>(*this); }
    } factory;
    TApplicationView& view = factory.CreateView();
    FakeControl host("host"), form("form"), panel("panel", &form);
    view.Initialize(nullptr);
    view.ShowView(nullptr, &host, nullptr, nullptr, {});
    view.SetPanel(&panel);
    EXPECT_EQ(panel.parent, &host);
    EXPECT_TRUE(panel.visible);
    view.HideView();
    EXPECT_EQ(panel.parent, &form);
    EXPECT_FALSE(panel.visible);
}

// The project window's part: views follow the selection of a tree view.
class ViewHostTest : public test::MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        factory = std::make_unique<LogFactory>(log);
        model = std::make_unique<TModelManager>(nullptr);
        model->Root().SetCaption("Project");
        entries = std::make_unique<TEntryManager>(*model, tree);
        host = std::make_unique<TApplicationViewHost>(&panel, &toolbar, &bar);
        entries->OnUpdate = [this] { host->ShowSelected(*entries); };
        entries->OnEntryFree = [this](TEntryItem& e) { host->EntryFreed(e); };
        for (const char* c : {"Osci1", "Osci2", "Info"}) {
            TModelItem& n = TModelItem::Create(*model, nullptr);
            n.SetCaption(c);
            if (c[0] == 'O') n.SetView(factory.get());
            model->Root().AddChild(n);
        }
        Pump.RunPending(100000);
        log.clear();
    }
    void TearDown() override {
        host.reset();
        entries.reset();
        model.reset();
        factory.reset();
        MainSchedulerFixture::TearDown();
    }
    void Select(const char* caption) { entries->SetPathStr(std::string("Project:\\\\") + caption); }
    Ctx* ContextOf(const char* caption) {
        TModelItem& n = model->Root().GetChild(caption[4] == '1' ? 0 : 1);
        return dynamic_cast<Ctx*>(entries->FindEntry(n)->GetContext());
    }

    std::vector<std::string> log;
    FakeControl panel{"panel"}, toolbar{"toolbar"}, bar{"bar"};
    std::unique_ptr<LogFactory> factory;
    TTreeView tree;
    std::unique_ptr<TModelManager> model;
    std::unique_ptr<TEntryManager> entries;
    std::unique_ptr<TApplicationViewHost> host;
};

TEST_F(ViewHostTest, SelectedNodeViewIsCreatedShownPooledAndReused) {
    Select("Osci1");
    ASSERT_NE(host->CurrentView(), nullptr);
    auto* view = static_cast<LogView*>(host->CurrentView());
    EXPECT_EQ(log, (std::vector<std::string>{"1:vaCreate", "1:vaInit", "1:vaShow"}));
    EXPECT_EQ(view->panel.parent, &panel);
    EXPECT_EQ(view->Model(), &model->Root().GetChild(0));
    EXPECT_EQ(dynamic_cast<Ctx*>(view->ViewCtx())->node, "Osci1");

    log.clear();
    Select("Osci2");
    EXPECT_EQ(host->CurrentView(), view) << "a node of the same kind reuses the pooled view";
    EXPECT_EQ(log, (std::vector<std::string>{"1:vaHide", "1:vaDone", "1:vaInit", "1:vaShow"}));
    ASSERT_NE(ContextOf("Osci1"), nullptr) << "the first node's context went back to its entry";
    EXPECT_EQ(ContextOf("Osci1")->node, "Osci1");
    EXPECT_EQ(dynamic_cast<Ctx*>(view->ViewCtx())->node, "Osci2");

    log.clear();
    Select("Osci1");
    EXPECT_EQ(dynamic_cast<Ctx*>(view->ViewCtx())->node, "Osci1");
    EXPECT_EQ(dynamic_cast<Ctx*>(view->ViewCtx())->shows, 2) << "the same context object came back";
    EXPECT_EQ(ContextOf("Osci1"), nullptr) << "while shown, the view holds it";
    EXPECT_EQ(factory->ViewCount(), 1);

    // A node without a view: the view goes back to the pool, nothing shown.
    log.clear();
    Select("Info");
    EXPECT_EQ(host->CurrentView(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"1:vaHide", "1:vaDone"}));
    EXPECT_EQ(view->panel.parent, &view->form);
    EXPECT_EQ(factory->PoolCount(), 1);
    EXPECT_EQ(ContextOf("Osci1")->shows, 2);
}

TEST_F(ViewHostTest, ReleasedNodeTakesItsViewAndContextAlong) {
    Select("Osci2");
    auto* view = host->CurrentView();
    ASSERT_NE(view, nullptr);
    model->Root().GetChild(1).Release();
    Pump.RunPending(100000);
    EXPECT_EQ(host->CurrentEntry(), nullptr);
    EXPECT_EQ(entries->GetPathStr(), "Project:\\\\");
    EXPECT_EQ(factory->PoolCount(), 1);
    EXPECT_FALSE(view->Visible());
}

TEST_F(ViewHostTest, ModelGoingAwayFirstTakesTheShownViewAlong) {
    Select("Osci1");
    TApplicationView* view = host->CurrentView();
    ASSERT_NE(view, nullptr);
    model.reset();
    EXPECT_EQ(host->CurrentView(), nullptr);
    EXPECT_FALSE(view->Visible());
    EXPECT_EQ(factory->PoolCount(), 1);
    EXPECT_EQ(tree.Count(), 0) << "no tree node is left pointing at a freed entry";
    EXPECT_EQ(entries->GetCount(), 0);
    EXPECT_EQ(entries->ModelManager(), nullptr);
    entries->SetPathStr("Project:\\\\Osci1"); // harmless now
    EXPECT_EQ(entries->GetPathStr(), "");
}

} // namespace
} // namespace vo
