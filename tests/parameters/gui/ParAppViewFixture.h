#pragma once
// The parameter list view docked into a small project window (offscreen),
// showing a directory of the simulated drive vx41 over a pseudo-terminal.
#include "kernel/ModTree.h"
#include "kernel/ShellServices.h"
#include "kernel/TreeView.h"
#include "kernel/gui/QtText.h"
#include "kernel/gui/QtViews.h"
#include "parameters/UniMan.h"
#include "parameters/gui/ParAppView.h"
#include "tests/parameters/ParLoginFixture.h"
#include "tests/parameters/gui/ViewTestWindow.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>

namespace vo::test {

class ParAppViewTestBase : public ParLoginTestBase, protected ViewTestWindow {
protected:
    void SetUp() override {
        ParLoginTestBase::SetUp();
        Shell.developerDigest = MD5Value("velkor-develop");
        Shell.SetUPIDDispMode("HEX");
        Shell.SetRawDataDispMode("HEX");
        ParameterManager().RegisterViewFactory(&Factory);
        ShowWindow();
    }
    void TearDown() override {
        UnbindProject();
        ParameterManager().RegisterViewFactory(nullptr);
        UnitManager().SetUnitSystem(usSI);
        UPIDBrowser() = nullptr;
        ParLoginTestBase::TearDown();
        Window.reset();
    }

    // Logs in as AUser and binds a tree view and the view host to the
    // device's model.
    // AAttach: the drive vx41 (else the one attached already).
    TDevice& Login(const char* AUser = "USER", const char* APassword = "user", bool AAttach = true) {
        if (AAttach)
            Attach("vx41.drive");
        TDevice& d = NewDevice("VelkorOnline", AUser, APassword);
        EXPECT_TRUE(Start(d));
        EXPECT_EQ(d.State(), dstStarted);
        d.SetCaption("BOX1");
        BindProject(Manager->ModelManager(), d);
        return d;
    }

    // Selects a directory in the tree ("Commissioning" below the device's
    // parameters) and waits until its view listed the rows.
    TParAppViewForm& ShowDirectory(const MyAnsiString& APath = "Commissioning") {
        TModelManager& model = Manager->ModelManager();
        EXPECT_TRUE(Wait([&] { return !model.Modifying() && !model.Updating(); }));
        Entries->SetPathStr("Project:\\\\" + Device->GetModelCaption() + "\\Parameters\\" + APath);
        EXPECT_TRUE(Wait([&] { return View() && View()->ListView->topLevelItemCount() > 0 && Idle(); }))
            << Entries->GetPathStr() << " " << DumpModel(Manager->ModelManager().Root(), 0);
        return *View();
    }
    static std::string DumpModel(const TModelItem& M, int Depth) {
        std::string s = std::string(Depth * 2, ' ') + M.Caption() + (M.View() ? " [view]" : "") + (M.GetVisible() ? "" : " (hidden)") + "\n";
        for (int i = 0; i < M.GetChildCount(); ++i) s += DumpModel(M.GetChild(i), Depth + 1);
        return s;
    }
    // Shows the selected entry again (a view reads the user at vaShow).
    TParAppViewForm& ShowAgain() {
        TEntryItem* entry = Host->CurrentEntry();
        Host->HideCurrent();
        Host->ShowEntry(entry);
        EXPECT_TRUE(Wait([&] { return View() && Idle(); }));
        return *View();
    }

    TParAppViewForm* View() const { return Host ? dynamic_cast<TParAppViewForm*>(Host->CurrentView()) : nullptr; }

    // The view has no work left and the service is ready.
    bool Idle() const {
        TParAppViewForm* v = View();
        if (!v)
            return false;
        const TParViewModel& m = v->ViewModel();
        return m.State() == TParViewState::stIdle && m.Requests().Empty() && !m.Client().RequestPending() &&
            m.Service() && m.Service()->State() == TParameterServiceState::stReady && m.Service()->Provider().Status() == psIdle &&
            !m.Service()->Provider().UpdateRequested();
    }

    // Runs the scheduler and the Qt events until Pred holds (10 s at most).
    bool Wait(const std::function<bool()>& Pred) {
        return RunUntil(WithQtEvents(Pred), std::chrono::seconds(10));
    }
    bool WaitIdle() {
        return Wait([&] { return Idle(); });
    }

    QTreeWidgetItem* Row(const char* ACaption) const {
        const auto found = View()->ListView->findItems(ACaption, Qt::MatchExactly, 0);
        return found.isEmpty() ? nullptr : found.first();
    }
    QString Cell(const char* ACaption, int AColumn) const {
        QTreeWidgetItem* r = Row(ACaption);
        return r ? r->text(AColumn) : QString("<no row %1>").arg(ACaption);
    }
    void Select(const char* ACaption) {
        QTreeWidgetItem* r = Row(ACaption);
        ASSERT_NE(r, nullptr) << ACaption;
        View()->ListView->setFocus();
        View()->ListView->setCurrentItem(r);
    }

    TParAppViewFactory Factory;
};

} // namespace vo::test
