// The variable section view and drops on sections in the project window of
// the program started for real, with two simulated drives on
// pseudo-terminals: COM7 logged in as USER, COM8 as GUEST. Rows and their
// attributes, Add Section through the input dialog (OK, Cancel, a blank
// name), Delete's enabling, Enter opening a section, GUEST filtering, and
// parameter and variable rows dropped on sections of the tree.
// One start per process: the composition lives until the process ends.
#include "devices/DevMan.h"
#include "kernel/CsServices.h"
#include "kernel/ModTree.h"
#include "kernel/gui/QtText.h"
#include "kernel/gui/TreeViewModel.h"
#include "parameters/ParSrv.h"
#include "parameters/gui/DlgInput.h"
#include "parameters/gui/ParAppView.h"
#include "parameters/gui/VarDrag.h"
#include "parameters/gui/varDirectory.h"
#include "parameters/varService.h"
#include "shell/gui/ModApp.h"
#include "storagelib/RefObj.h"
#include "tests/support/ProgramStart.h"
#include "tests/support/QtTestApp.h"
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimPty.h"
#include "tools/drivesim/SimRunner.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace vo {
namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

Rows ListRows(const TVarDirViewForm& V) {
    Rows out;
    for (int i = 0; i < V.ListView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = V.ListView->topLevelItem(i);
        out.emplace_back(item->text(0).toStdString(), item->text(1).toStdString());
    }
    return out;
}

std::string Dump(const TModelItem& M, int Depth) {
    std::string s = std::string(static_cast<std::size_t>(Depth) * 2, ' ') + M.Caption() + (M.View() ? " [view]" : "") +
        (M.GetVisible() ? "" : " (hidden)") + "\n";
    for (int i = 0; i < M.GetChildCount(); ++i) s += Dump(M.GetChild(i), Depth + 1);
    return s;
}

bool HasRow(const TVarDirViewForm& V, const std::string& Caption) {
    for (const auto& r : ListRows(V))
        if (r.first == Caption)
            return true;
    return false;
}

void ClickRow(TVarDirViewForm& V, const std::string& Caption) {
    for (int i = 0; i < V.ListView->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = V.ListView->topLevelItem(i);
        if (item->text(0).toStdString() == Caption) {
            const QRect r = V.ListView->visualItemRect(item);
            QTest::mouseClick(V.ListView->viewport(), Qt::LeftButton, {}, r.center());
            return;
        }
    }
    ADD_FAILURE() << "no row " << Caption;
}

// Answers the next input dialog: types Text and presses the button.
void AnswerInput(const QString& Text, bool Ok, QString* Caption = nullptr) {
    QTimer::singleShot(0, [=] {
        test::WaitFor([] { return dynamic_cast<TInputDialog*>(QApplication::activeModalWidget()) != nullptr; }, 5000);
        auto* d = dynamic_cast<TInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        if (Caption)
            *Caption = d->windowTitle();
        EXPECT_TRUE(d->EdInpStr->text().isEmpty());
        QTest::keyClicks(d->EdInpStr, Text);
        QTest::mouseClick(Ok ? d->BtnOK : d->BtnCancel, Qt::LeftButton);
    });
}

// Sends a drag (enter, move) and, when it is accepted, the drop of Data
// onto the tree node that Path selects; true when the drop was taken.
struct TDropResult {
    bool Over = false;
    bool Dropped = false;
};
TDropResult DropOn(TTreeAppForm& W, const MyAnsiString& Path, QMimeData& Data) {
    // The tree follows the model once its changes are through.
    TModelManager& model = DeviceManager()->ModelManager();
    EXPECT_TRUE(test::WaitFor([&] {
        if (!model.Modifying() && !model.Updating() && W.PathStr() != Path)
            W.SetPathStr(Path);
        return W.PathStr() == Path;
    })) << W.PathStr();
    const QModelIndex at = W.MainTreeView->currentIndex();
    W.MainTreeView->scrollTo(at);
    const QPoint p = W.MainTreeView->visualRect(at).center();
    QWidget* port = W.MainTreeView->viewport();
    TDropResult r;
    QDragEnterEvent enter(p, Qt::CopyAction, &Data, Qt::LeftButton, {});
    QApplication::sendEvent(port, &enter);
    QDragMoveEvent move(p, Qt::CopyAction, &Data, Qt::LeftButton, {});
    QApplication::sendEvent(port, &move);
    r.Over = enter.isAccepted() && move.isAccepted();
    QDropEvent drop(QPointF(p), Qt::CopyAction, &Data, Qt::LeftButton, {});
    QApplication::sendEvent(port, &drop);
    r.Dropped = drop.isAccepted();
    return r;
}

TEST(VariableSections, SectionViewDialogAndDrops) {
    const fs::path root = fs::temp_directory_path() / ("vo-varsections-" + std::to_string(::getpid()));
    fs::remove_all(root);
    SimRunner runner1(SimLoadDrive(SimDataDir() + "/vx41.drive"));
    SimPtyTransport line1(runner1);
    runner1.Start();
    SimRunner runner2(SimLoadDrive(SimDataDir() + "/vx41.drive"));
    SimPtyTransport line2(runner2);
    runner2.Start();

    test::TScriptedPrompt prompt;
    TMainFormOptions o = test::ProgramStart(
        prompt, root, {"-COMPORTS:COM7=" + line1.SlavePath() + ";COM8=" + line2.SlavePath(), "-NoAuto"});
    {
        TMainForm form(o);
        int exitCode = -1;
        form.OnTerminate = [&](int Code) { exitCode = Code; };
        ASSERT_TRUE(form.FormCreate());
        ASSERT_TRUE(test::WaitFor([&] { return form.NumberOfCommander() == 1 && form.MainTask().State() == stReady; }));
        TTreeAppForm& w = *form.Commanders().front();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        TDeviceManager& devices = *DeviceManager();

        test::AnswerLoginDialog("COM7", "USER", "user");
        w.Action(TTreeAction::Login)->trigger();
        ASSERT_TRUE(test::WaitFor([&] { return form.MainTask().State() == stReady && devices.GetDeviceCount() == 1; }));
        test::AnswerLoginDialog("COM8", "GUEST", "");
        w.Action(TTreeAction::Login)->trigger();
        ASSERT_TRUE(test::WaitFor([&] { return form.MainTask().State() == stReady && devices.GetDeviceCount() == 2; }));
        TDevice& box1 = devices.GetDevice("BOX1");
        TDevice& box2 = devices.GetDevice("BOX2");
        TVariableService& vars1 = *box1.FindService<TVariableService>("VariableService");
        TVariableService& vars2 = *box2.FindService<TVariableService>("VariableService");
        // Both drives up and the device manager's last update pass through
        // (each pass takes the window to the selected drive's page).
        ASSERT_TRUE(test::WaitFor([&] {
            return vars1.ServiceStatus() == dsStarted && vars2.ServiceStatus() == dsStarted &&
                box1.State() == dstStarted && box2.State() == dstStarted &&
                devices.Provider().Status() == psIdle && !devices.Provider().UpdateRequested() &&
                devices.Provider().UpdateLockCounter() == 0;
        }));
        const MyAnsiString page1 = "Project:\\\\" + box1.Model().Caption() + "\\Variables";
        const MyAnsiString page2 = "Project:\\\\" + box2.Model().Caption() + "\\Variables";
        auto view = [&w] { return dynamic_cast<TVarDirViewForm*>(w.CurrentView()); };
        auto settled = [](TVariableService& S) {
            return S.Provider().Status() == psIdle && S.Provider().RequestCount() == 0 &&
                !S.Provider().UpdateRequested() && S.Provider().UpdateLockCounter() == 0;
        };

        // The section view of USER's drive: the descriptions' sections read
        // "System"; "Diagnostics" (4) is not for USER.
        // (The window may still go to a drive's page after its login.)
        ASSERT_TRUE(test::WaitFor([&] {
            if (w.PathStr() != page1)
                w.SetPathStr(page1);
            return view() && view()->ListView->topLevelItemCount() > 0;
        }))
            << w.PathStr() << "\n"
            << Dump(box1.Model(), 0);
        TVarDirViewForm& v = *view();
        EXPECT_EQ(ListRows(v), (Rows{{"User Defined", "User Defined"}, {"Motion", "System"}, {"Motion:Speeds", "System"}}));
        EXPECT_EQ(v.ListView->headerItem()->text(0).toStdString(), "Section");
        EXPECT_EQ(v.ListView->headerItem()->text(1).toStdString(), "Attributes");

        // Delete is for user-defined sections only, and needs a selection.
        EXPECT_FALSE(v.DeleteSectionAct->isEnabled());
        ClickRow(v, "Motion");
        EXPECT_EQ(v.SelectedDir(), vars1.FindDirWithCaption("Motion"));
        EXPECT_FALSE(v.DeleteSectionAct->isEnabled());
        ClickRow(v, "User Defined");
        EXPECT_TRUE(v.DeleteSectionAct->isEnabled());

        // Add Section "Test": a row after the update pass.
        QString caption;
        AnswerInput("Test", true, &caption);
        v.AddSectionAct->trigger();
        EXPECT_EQ(caption.toStdString(), "Create New Variable Section");
        ASSERT_TRUE(test::WaitFor([&] { return HasRow(v, "Test"); }));
        EXPECT_EQ(ListRows(v).back(), (std::pair<std::string, std::string>{"Test", "User Defined"}));
        EXPECT_EQ(vars1.FindDirWithCaption("Test")->Permission(), 3);

        // Cancel announces nothing; a blank name is refused with a message.
        for (const char* text : {"Other", "   "}) {
            const bool ok = std::string(text) != "Other";
            prompt.Clear();
            AnswerInput(text, ok);
            v.AddSectionAct->trigger();
            EXPECT_EQ(vars1.Provider().RequestCount(), 0u) << text;
            ASSERT_TRUE(test::WaitFor([&] { return settled(vars1); }));
            EXPECT_EQ(vars1.DirCount(), 5) << text;
            if (ok)
                EXPECT_EQ(prompt.Texts(), (std::vector<MyAnsiString>{"Please enter a section name!"}));
            else
                EXPECT_TRUE(prompt.Texts().empty());
        }

        // Deleting "Test" takes its row away.
        ClickRow(v, "Test");
        ASSERT_TRUE(v.DeleteSectionAct->isEnabled());
        v.DeleteSectionAct->trigger();
        ASSERT_TRUE(test::WaitFor([&] { return !HasRow(v, "Test") && settled(vars1); }));
        EXPECT_EQ(vars1.FindDirWithCaption("Test"), nullptr);

        // Enter on a row opens the section: the service's path and its caption.
        // (The tree follows the model once its changes are through.)
        TModelManager& model = devices.ModelManager();
        auto treeSettled = [&model] { return !model.Modifying() && !model.Updating(); };
        ASSERT_TRUE(test::WaitFor(treeSettled));
        ClickRow(v, "Motion");
        v.ListView->setFocus();
        QTest::keyClick(v.ListView, Qt::Key_Return);
        EXPECT_EQ(w.PathStr(), page1 + "\\Motion");

        // GUEST: "User Defined" (255) shows, a section of permission 3 does not.
        ASSERT_TRUE(test::WaitFor([&] {
            if (treeSettled() && w.PathStr() != page2)
                w.SetPathStr(page2);
            return view() && view()->Service() == &vars2 && view()->ListView->topLevelItemCount() > 0;
        }));
        TVarDirViewForm& g = *view();
        AnswerInput("Test", true);
        g.AddSectionAct->trigger();
        ASSERT_TRUE(test::WaitFor([&] { return vars2.DirExists("Test") && settled(vars2); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(ListRows(g), (Rows{{"User Defined", "User Defined"}, {"Motion", "System"}, {"Motion:Speeds", "System"}}));

        // Drops. A row dragged out of the parameter list carries the drive
        // and the parameter (and still its UPID for other programs).
        const MyAnsiString commissioning = "Project:\\\\" + box1.Model().Caption() + "\\Parameters\\Commissioning";
        ASSERT_TRUE(test::WaitFor([&] {
            if (treeSettled() && w.PathStr() != commissioning)
                w.SetPathStr(commissioning);
            auto* p = dynamic_cast<TParAppViewForm*>(w.CurrentView());
            return p && p->ListView->topLevelItemCount() > 0;
        }));
        auto* pars = dynamic_cast<TParAppViewForm*>(w.CurrentView());
        TParameter* travel =
            box1.FindService<TParameterService>("ParameterService")->FindParameterWithDeviceUPID(6657);
        ASSERT_NE(travel, nullptr);
        int travelRow = -1;
        for (int i = 0; i < pars->ListView->topLevelItemCount(); ++i)
            if (pars->ListView->topLevelItem(i)->text(0) == "Travel")
                travelRow = i;
        ASSERT_GE(travelRow, 0);
        std::unique_ptr<QMimeData> dragged(pars->ListView->model()->mimeData({pars->ListView->model()->index(travelRow, 0)}));
        auto* data = dynamic_cast<TVarDragData*>(dragged.get());
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->Device, &box1);
        EXPECT_EQ(data->Parameters, (std::vector<TParameter*>{travel}));
        EXPECT_EQ(data->data("application/x-velkor-upid").toStdString(), "6657");
        EXPECT_EQ(data->text().toStdString(), "Travel");

        // Onto "User Defined": a new variable, read on the next pass.
        TDirItem& user1 = *vars1.FindDirWithCaption("User Defined");
        ASSERT_EQ(user1.GetCount(), 0);
        TDropResult r = DropOn(w, page1 + "\\User Defined", *data);
        EXPECT_TRUE(r.Over);
        EXPECT_TRUE(r.Dropped);
        ASSERT_EQ(user1.GetCount(), 1);
        TVarItem& made = user1.GetVarItem(0);
        EXPECT_EQ(made.DeviceUPID(), 6657);
        EXPECT_FALSE(made.CheckFlag(vfValid));
        vars1.GlobalReadRequest();
        ASSERT_TRUE(test::WaitFor([&] { return made.CheckFlag(vfValid); }));

        // A variable row is copied.
        TVarItem& axis = *vars1.FindVariable("8200");
        TVarDragData copy;
        copy.Device = &box1;
        copy.Variables = {&axis};
        r = DropOn(w, page1 + "\\User Defined", copy);
        EXPECT_TRUE(r.Dropped);
        ASSERT_EQ(user1.GetCount(), 2);
        EXPECT_EQ(user1.GetVarItem(1).DeviceUPID(), 8200);
        EXPECT_EQ(user1.GetVarItem(1).Caption(), axis.Caption());
        EXPECT_FALSE(user1.GetVarItem(1).CheckFlag(vfValid));

        // Refused: a system section, and another drive's section (by the
        // drag's drive and by the rows' own drive).
        const int inMotion = vars1.FindDirWithCaption("Motion")->GetCount();
        r = DropOn(w, page1 + "\\Motion", copy);
        EXPECT_FALSE(r.Over);
        EXPECT_FALSE(r.Dropped);
        EXPECT_EQ(vars1.FindDirWithCaption("Motion")->GetCount(), inMotion);
        TDirItem& user2 = *vars2.FindDirWithCaption("User Defined");
        r = DropOn(w, page2 + "\\User Defined", *data);
        EXPECT_FALSE(r.Over);
        EXPECT_FALSE(r.Dropped);
        TVarDragData forged;
        forged.Device = &box2;
        forged.Variables = {&axis};
        r = DropOn(w, page2 + "\\User Defined", forged);
        EXPECT_FALSE(r.Dropped);
        EXPECT_EQ(user2.GetCount(), 0);
        EXPECT_EQ(user1.GetCount(), 2);

        w.ExitWarningMenu->actions()[1]->trigger(); // no exit question
        w.close();
        ASSERT_TRUE(test::WaitFor([&] { return exitCode != -1; }));
    }
    runner1.Stop();
    runner2.Stop();
    PurgeAutoReleasePool();
    std::error_code ec;
    fs::remove_all(root, ec);
}

} // namespace
} // namespace vo
