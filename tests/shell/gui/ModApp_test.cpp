// The project tree window of the program started for real with simulated
// drives on pseudo-terminals mapped as COM7 and COM8: menus and their
// language, login by Ctrl+L, the drive selector, the enabling rules as the
// window applies them, docked views, a second window and closing.
// One start per process: the composition lives until the process ends.
#include "shell/gui/Main.h"

#include "devices/DevMan.h"
#include "devices/gui/CmdStart.h"
#include "kernel/LanguageMan.h"
#include "kernel/ModTree.h"
#include "kernel/ModView.h"
#include "kernel/UserPrompt.h"
#include "kernel/gui/LoginInfo.h"
#include "kernel/gui/QtText.h"
#include "kernel/gui/QtViews.h"
#include "kernel/gui/TreeViewModel.h"
#include "platform/FileNames.h"
#include "shell/StartHooks.h"
#include "shell/app/Composition.h"
#include "shell/gui/ModApp.h"
#include "storagelib/RefObj.h"
#include "tests/support/ProgramStart.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/ScriptedPrompt.h"
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimPty.h"
#include "tools/drivesim/SimRunner.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace vo {
namespace {

using A = TTreeAction;

std::vector<std::string> Texts(const QList<QAction*>& Actions) {
    std::vector<std::string> out;
    for (QAction* a : Actions)
        if (!a->isSeparator() && !a->text().isEmpty())
            out.push_back(a->text().toStdString());
    return out;
}

std::vector<std::string> MenuTitles(QMainWindow& W) {
    return Texts(W.menuBar()->actions());
}

bool Has(const std::vector<std::string>& List, const std::string& S) {
    return std::find(List.begin(), List.end(), S) != List.end();
}

// A view that claims Print and keeps a counter as its context.
class TCountContext : public TObject {
public:
    int Shown = 0;
};

class TPrintingView : public TQtApplicationView {
public:
    using TQtApplicationView::TQtApplicationView;
    void Execute(TAppViewAction Action) override {
        if (Action == vaInit && !ViewCtx())
            SetViewCtx(std::make_unique<TCountContext>());
        if (Action == vaShow)
            ++static_cast<TCountContext*>(ViewCtx())->Shown;
        TQtApplicationView::Execute(Action);
    }
    void ActionUpdate(TObject* Action, bool& Handled) override {
        auto* a = dynamic_cast<TWindowAction*>(Action);
        if (a && a->Tag == 15) {
            a->Enabled = true;
            Handled = true;
        }
    }
    void ActionExecute(TObject* Action, bool& Handled) override {
        auto* a = dynamic_cast<TWindowAction*>(Action);
        if (a && a->Tag == 15) {
            ++Printed;
            Handled = true;
        }
    }
    static inline int Printed = 0;
};

class TPrintingViewFactory : public TApplicationViewFactory {
protected:
    std::unique_ptr<TApplicationView> CreateApplicationView() override { return std::make_unique<TPrintingView>(*this); }
};

TEST(ProjectTreeWindow, MenusLoginSelectorRulesViewsAndWindows) {
    const fs::path root = fs::temp_directory_path() / ("vo-modapp-" + std::to_string(::getpid()));
    fs::remove_all(root);
    SimRunner runner1(SimLoadDrive(SimDataDir() + "/vx41.drive"));
    SimPtyTransport line1(runner1);
    runner1.Start();
    SimRunner runner2(SimLoadDrive(SimDataDir() + "/vx41.drive"));
    SimPtyTransport line2(runner2);
    runner2.Start();

    test::TScriptedPrompt prompt;
    TMainFormOptions o = test::ProgramStart(prompt, root, {"-COMPORTS:COM7=" + line1.SlavePath() + ";COM8=" + line2.SlavePath(), "-NoAuto"});
    int exitCode = -1;
    {
        TMainForm form(o);
        form.OnTerminate = [&](int Code) { exitCode = Code; };
        ASSERT_TRUE(form.FormCreate());
        ASSERT_TRUE(test::WaitFor([&] { return form.NumberOfCommander() == 1 && form.MainTask().State() == stReady; }));
        TTreeAppForm& w = *form.Commanders().front();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QApplication::setActiveWindow(&w);
        ASSERT_TRUE(test::WaitFor([&] { return w.isActiveWindow(); }));
        TDeviceManager& devices = *DeviceManager();

        // At start.
        EXPECT_EQ(w.GetCaption(), "Velkor-Ovra");
        EXPECT_EQ(w.PathStr(), "Project:\\\\");
        // The root's view docks once the window has been painted.
        ASSERT_TRUE(test::WaitFor([&] { return w.CurrentView() != nullptr; }));
        auto* rootView = dynamic_cast<TQtApplicationView*>(w.CurrentView());
        ASSERT_NE(rootView, nullptr);
        EXPECT_TRUE(rootView->PanelWidget()->isVisibleTo(&w));
        EXPECT_EQ(rootView->PanelWidget()->parentWidget(), w.Panel);
        EXPECT_EQ(MenuTitles(w), (std::vector<std::string>{"&File", "Search", "&Drive", "&Services", "&Options", "&Window", "&Tools", "&Manuals", "&Help"}));
        EXPECT_EQ(w.Action(A::About)->text().toStdString(), LanguageManager().Get("MenuCap_About", "English") + " Velkor-Ovra");
        EXPECT_TRUE(w.Action(A::Exit)->shortcut().isEmpty());
        EXPECT_EQ(w.Action(A::EditCut)->shortcut(), QKeySequence("Ctrl+X"));

        // Options, Language, Deutsch: the menus take the German texts.
        ASSERT_EQ(Texts(w.LanguageMenu->actions()), (std::vector<std::string>{"English", "Deutsch"}));
        auto language = [&w](const char* Name) {
            for (QAction* a : w.LanguageMenu->actions())
                if (a->text() == Name)
                    return a;
            return static_cast<QAction*>(nullptr);
        };
        EXPECT_TRUE(language("English")->isChecked());
        language("Deutsch")->trigger();
        EXPECT_EQ(form.InfoSysLang(), "Deutsch");
        EXPECT_EQ(w.FileMenu->title().toStdString(), "&Datei");
        EXPECT_TRUE(language("Deutsch")->isChecked());
        EXPECT_FALSE(language("English")->isChecked());
        language("English")->trigger();
        EXPECT_EQ(w.FileMenu->title().toStdString(), "&File");

        // The root: no drive command.
        w.UpdateActions();
        for (A a : {A::Logout, A::Reboot, A::Import, A::Export, A::ShowParameters, A::ShowControlPanel, A::FindUPID,
                    A::MotorWizard, A::ObjectInspector, A::Up})
            EXPECT_FALSE(w.Action(a)->isEnabled()) << TreeActionDef(a).Name;
        for (A a : {A::Login, A::NewCommander, A::Exit})
            EXPECT_TRUE(w.Action(a)->isEnabled()) << TreeActionDef(a).Name;
        // Commands of later work stay disabled whatever their rule says.
        for (A a : {A::CreateOffline, A::InstallFirmware})
            EXPECT_FALSE(w.Action(a)->isEnabled()) << TreeActionDef(a).Name;

        // Ctrl+L on the tree: login on COM7.
        test::AnswerLoginDialog("COM7", "USER", "user");
        w.MainTreeView->setFocus();
        QTest::keyClick(w.MainTreeView, Qt::Key_L, Qt::ControlModifier);
        ASSERT_TRUE(test::WaitFor([&] { return form.MainTask().State() == stReady && devices.GetDeviceCount() == 1; }));
        // The caption comes from the drive's name parameter, its port and the user level.
        const MyAnsiString box1 = devices.GetDevice("BOX1").Model().Caption();
        EXPECT_EQ(box1, "VX41 axis 1 on COM7 (USER)");
        ASSERT_TRUE(test::WaitFor([&] { return w.DeviceCbo->count() == 1 && w.PathStr() == "Project:\\\\" + box1 + "\\Parameters"; }))
            << w.PathStr() << " / " << w.DeviceCbo->count();
        EXPECT_EQ(w.DeviceCbo->currentText().toStdString(), box1);
        w.UpdateActions();
        EXPECT_TRUE(w.Action(A::ShowParameters)->isEnabled());
        EXPECT_TRUE(w.Action(A::Up)->isEnabled());
        EXPECT_FALSE(w.Action(A::Blink)->isEnabled()); // COM7, not ETH
        EXPECT_FALSE(w.Action(A::SaveImage)->isVisible()); // USER, not DEVELOPER

        // Back at the root every drive command is off again.
        w.SetPathStr("Project:\\\\");
        w.UpdateActions();
        EXPECT_EQ(w.DeviceCbo->currentIndex(), -1);
        for (A a : {A::Logout, A::ShowParameters, A::Export, A::GoOffline})
            EXPECT_FALSE(w.Action(a)->isEnabled()) << TreeActionDef(a).Name;

        // A second drive on COM8 is selected at its own page.
        test::AnswerLoginDialog("COM8", "USER", "user");
        w.Action(A::Login)->trigger();
        ASSERT_TRUE(test::WaitFor([&] { return form.MainTask().State() == stReady && devices.GetDeviceCount() == 2; }));
        const MyAnsiString box2 = devices.GetDevice("BOX2").Model().Caption();
        ASSERT_TRUE(test::WaitFor([&] { return w.DeviceCbo->count() == 2 && w.PathStr() == "Project:\\\\" + box2 + "\\Parameters"; }))
            << w.PathStr();
        // Picking BOX1 at a page below BOX2's parameters goes to the same page
        // of BOX1.
        TModelItem& parameters2 = *[&] {
            TModelItem& d = devices.GetDevice("BOX2").Model();
            for (int i = 0; i < d.GetChildCount(); ++i)
                if (d.GetChild(i).Caption() == "Parameters")
                    return &d.GetChild(i);
            return &d;
        }();
        if (parameters2.GetChildCount() > 0) {
            const MyAnsiString page = parameters2.GetChild(0).Caption();
            w.SetPathStr("Project:\\\\" + box2 + "\\Parameters\\" + page);
            ASSERT_EQ(w.PathStr(), "Project:\\\\" + box2 + "\\Parameters\\" + page);
            w.DeviceCbo->setCurrentIndex(0);
            emit w.DeviceCbo->activated(0);
            EXPECT_EQ(w.PathStr(), "Project:\\\\" + box1 + "\\Parameters\\" + page);
        } else
            ADD_FAILURE() << "the parameters of BOX2 have no page";

        // A view docks; it gets its context back on return; Print follows
        // the view's claim.
        TPrintingViewFactory factory;
        TModelManager& model = devices.ModelManager();
        TModelItem& extra = TModelItem::Create(model, nullptr);
        extra.SetCaption("Printing");
        extra.SetView(&factory);
        model.Root().AddChild(extra);
        ASSERT_TRUE(test::WaitFor([&] {
            w.SetPathStr("Project:\\\\Printing");
            return w.PathStr() == "Project:\\\\Printing";
        })) << w.PathStr();
        ASSERT_NE(w.CurrentView(), nullptr);
        auto* shownView = static_cast<TPrintingView*>(w.CurrentView());
        EXPECT_TRUE(shownView->PanelWidget()->isVisibleTo(&w));
        EXPECT_EQ(shownView->PanelWidget()->parentWidget(), w.Panel);
        w.UpdateActions();
        EXPECT_TRUE(w.Action(A::Print)->isEnabled());
        QApplication::setActiveWindow(&w); // the login windows took it
        ASSERT_TRUE(test::WaitFor([&] { return w.isActiveWindow(); }));
        QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
        EXPECT_EQ(TPrintingView::Printed, 1);
        w.SetPathStr("Project:\\\\" + box1);
        EXPECT_EQ(dynamic_cast<TPrintingView*>(w.CurrentView()), nullptr); // the drive's own view
        w.UpdateActions();
        EXPECT_FALSE(w.Action(A::Print)->isEnabled());
        w.SetPathStr("Project:\\\\Printing");
        ASSERT_NE(w.CurrentView(), nullptr);
        EXPECT_EQ(static_cast<TCountContext*>(w.CurrentView()->ViewCtx())->Shown, 2);
        w.SetPathStr("Project:\\\\");
        extra.Release();
        model.Root().RemoveChild(extra);

        // A second window (Ctrl+N) at the current path.
        QTest::keyClick(&w, Qt::Key_N, Qt::ControlModifier);
        ASSERT_TRUE(test::WaitFor([&] { return form.Commanders().size() == 2; }));
        TTreeAppForm& w2 = *form.Commanders().back();
        EXPECT_EQ(w2.GetCaption(), "Velkor-Ovra_1");
        ASSERT_TRUE(test::WaitFor([&] { return w2.CurrentView() != nullptr; }));
        QApplication::setActiveWindow(&w2);
        ASSERT_TRUE(test::WaitFor([&] { return w2.isActiveWindow() && !w.isActiveWindow(); }));
        const std::vector<std::string> list2 = Texts(w2.WindowMenu->actions());
        EXPECT_TRUE(Has(list2, "&1 Velkor-Ovra") && Has(list2, "&2 Velkor-Ovra_1")) << list2.size();
        const std::vector<std::string> list1 = Texts(w.WindowMenu->actions());
        EXPECT_FALSE(Has(list1, "&1 Velkor-Ovra") || Has(list1, "&2 Velkor-Ovra_1"));
        // Closing one window (not the last) asks nothing and frees it.
        const std::size_t asked = prompt.Texts().size();
        QPointer<TTreeAppForm> second(&w2);
        w2.close();
        ASSERT_TRUE(test::WaitFor([&] { return second.isNull(); }));
        EXPECT_EQ(prompt.Texts().size(), asked);
        EXPECT_EQ(form.NumberOfCommander(), 1);
        EXPECT_EQ(form.WindowCaptions(), (std::vector<MyAnsiString>{"Velkor-Ovra"}));

        // The last window with drives: No keeps it; with the warning off
        // it closes without a question and the program ends.
        prompt.Answer(mrNo);
        w.close();
        ASSERT_EQ(prompt.Texts().size(), asked + 1);
        EXPECT_EQ(prompt.Texts().back(), "Are you sure you want to close this window?");
        EXPECT_TRUE(w.isVisible());
        w.ExitWarningMenu->actions()[1]->trigger(); // Hide
        EXPECT_EQ(form.Settings().ExitProgramWarning, 0);
        w.close();
        ASSERT_TRUE(test::WaitFor([&] { return exitCode != -1; }));
        EXPECT_EQ(prompt.Texts().size(), asked + 1);
        EXPECT_EQ(exitCode, 0);
    }
    runner1.Stop();
    runner2.Stop();
    PurgeAutoReleasePool();
    std::error_code ec;
    fs::remove_all(root, ec);
}

} // namespace
} // namespace vo
