// The variable list view through its widgets (offscreen) against the
// simulated drive over a pseudo-terminal: rows by user and display mode, the
// value editor, new, copy and removed variables, cyclic reading, the CSV
// file of Ctrl+"Read All", printing and the drag data.
#include "kernel/ModTree.h"
#include "kernel/ShellServices.h"
#include "kernel/TreeView.h"
#include "kernel/gui/QtText.h"
#include "kernel/gui/QtViews.h"
#include "kernel/gui/prtQtPrinter.h"
#include "parameters/gui/VarDrag.h"
#include "parameters/gui/varViewer.h"
#include "tests/parameters/VarServiceFixture.h"
#include "tests/parameters/gui/ViewTestWindow.h"
#include "tests/support/PrintFakes.h"
#include "tests/support/QtTestApp.h"
#include "storagelib/SL20Rec.h"

#include <QAction>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vo {
namespace {

class VarViewerTest : public test::VarServiceTestBase, protected test::ViewTestWindow {
protected:
    void SetUp() override {
        VarServiceTestBase::SetUp();
        Shell.developerDigest = MD5Value("velkor-develop");
        Shell.SetUPIDDispMode("HEX");
        Shell.SetRawDataDispMode("HEX");
        VariableManager().RegisterViewFactories(Factory.get(), nullptr);
        ShowWindow();
    }
    void TearDown() override {
        UnbindProject();
        VariableManager().RegisterViewFactories(nullptr, nullptr);
        // The views' worker tasks go before the scheduler.
        Factory.reset();
        VarServiceTestBase::TearDown();
        Window.reset();
    }

    TDevice& Login(const char* AUser = "USER", const char* APassword = "user") {
        Attach("vx41.drive");
        TDevice& d = LoggedIn(AUser, APassword);
        d.SetCaption("BOX1");
        BindProject(Manager->ModelManager(), d);
        return d;
    }

    TVarAppViewForm& ShowSection(const MyAnsiString& ACaption) {
        TModelManager& model = Manager->ModelManager();
        EXPECT_TRUE(Wait([&] { return !model.Modifying() && !model.Updating(); }));
        Entries->SetPathStr("Project:\\\\" + Device->Model().Caption() + "\\Variables\\" + ACaption);
        EXPECT_TRUE(Wait([&] { return View() && View()->ViewModel().Section() && Idle(); })) << Entries->GetPathStr();
        return *View();
    }
    TVarAppViewForm& ShowAgain() {
        TEntryItem* entry = Host->CurrentEntry();
        Host->HideCurrent();
        Host->ShowEntry(entry);
        EXPECT_TRUE(Wait([&] { return View() && Idle(); }));
        return *View();
    }

    TVarAppViewForm* View() const { return Host ? dynamic_cast<TVarAppViewForm*>(Host->CurrentView()) : nullptr; }
    TVarViewModel& M() const { return View()->ViewModel(); }

    bool Idle() const {
        TVarAppViewForm* v = View();
        if (!v || !v->ViewModel().Service())
            return false;
        const TVarViewModel& m = v->ViewModel();
        const TVariableService& s = *m.Service();
        return m.Status() == TVarViewStatus::stReady && !m.Client().RequestPending() && !s.GetUpdateRunning() &&
            !s.UpdateRequested() && s.Provider().Status() == psIdle && !s.Provider().UpdateRequested();
    }
    bool Wait(const std::function<bool()>& Pred) {
        return RunUntil(WithQtEvents(Pred), std::chrono::seconds(10));
    }
    bool WaitIdle() {
        return Wait([&] { return Idle(); });
    }

    QTreeWidget& List() const { return *View()->ListView; }
    QStringList Column(int C) const {
        QStringList out;
        for (int i = 0; i < List().topLevelItemCount(); ++i) out << List().topLevelItem(i)->text(C);
        return out;
    }
    QTreeWidgetItem* Row(const char* ACaption) const {
        const auto found = List().findItems(ACaption, Qt::MatchExactly, 0);
        return found.isEmpty() ? nullptr : found.first();
    }
    QString Cell(const char* ACaption, int AColumn) const {
        QTreeWidgetItem* r = Row(ACaption);
        return r ? r->text(AColumn) : QString("<no row %1>").arg(ACaption);
    }
    void Select(const char* ACaption) {
        QTreeWidgetItem* r = Row(ACaption);
        ASSERT_NE(r, nullptr) << ACaption;
        List().setFocus();
        List().setCurrentItem(r);
    }
    void SelectRow(int Index) {
        List().setFocus();
        List().setCurrentItem(List().topLevelItem(Index));
    }
    void Key(int K, Qt::KeyboardModifiers Mods = Qt::NoModifier) { QTest::keyClick(&List(), Qt::Key(K), Mods); }
    QToolButton* Button(QAction* A) const { return qobject_cast<QToolButton*>(View()->ToolBar1->widgetForAction(A)); }

    // The User Defined section with copies of the drive's variables Upids.
    TDirItem& UserRows(std::initializer_list<std::int32_t> Upids) {
        ShowSection("User Defined");
        for (std::int32_t u : Upids) EXPECT_FALSE(M().NewWithUPID(u).Created.empty()) << u;
        EXPECT_TRUE(Wait([&] { return List().topLevelItemCount() == static_cast<int>(Upids.size()) && Idle(); }));
        return *M().Section();
    }
    std::vector<std::string> ReadsSince(std::size_t From) const {
        std::vector<std::string> out;
        const auto all = FramesIn();
        for (std::size_t i = From; i < all.size(); ++i)
            if (all[i].rfind("88 ", 0) == 0)
                out.push_back(all[i]);
        return out;
    }

    std::unique_ptr<TVarAppViewFactory> Factory = std::make_unique<TVarAppViewFactory>();
    TScopedTimeOverride IdleWait{VarViewerIdleWait, 20};
};

TEST_F(VarViewerTest, RowsInvalidUntilReadThenTheDrivesValue) {
    Login();
    TVarAppViewForm& v = ShowSection("Motion");
    QStringList heads;
    for (int i = 0; i < List().columnCount(); ++i) heads << List().headerItem()->text(i);
    EXPECT_EQ(heads, QStringList({"Name", "Value", "RawData", "UPID", "Type", "Scale", "Offset", "Attr"}));
    EXPECT_EQ(List().topLevelItemCount(), 14);
    EXPECT_EQ(Cell("Target Index", 1), "---");
    EXPECT_EQ(Cell("Target Index", 2), "---");
    EXPECT_EQ(Cell("Target Index", 4), "UInt16");
    EXPECT_EQ(Cell("Target Index", 7), "RW");
    EXPECT_EQ(Cell("Axis State", 7), "R");

    Runner->Transcript().Clear();
    Select("Target Index");
    Key(Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(Wait([&] { return Cell("Target Index", 1) == "16" && Idle(); }));
    EXPECT_EQ(Cell("Target Index", 2), "0010h");
    EXPECT_EQ(ValueFrames(), std::vector<std::string>{"88 01 0A 20"});
    EXPECT_EQ(Cell("Axis State", 1), "---") << "one row read";
    EXPECT_EQ(List().currentItem(), Row("Target Index")) << "the selection stays";

    // Columns 2 to 7 come and go with the details.
    EXPECT_TRUE(List().isColumnHidden(3));
    v.ShowDetailsAct->trigger();
    EXPECT_FALSE(List().isColumnHidden(3));
    EXPECT_EQ(v.ShowDetailsAct->text(), "Hide Details");
}

TEST_F(VarViewerTest, RowsAndAccessByUser) {
    struct Case {
        const char* User;
        const char* Section;
        QStringList Names; // of the first rows, or all when the section is short
        const char* TargetAttr;
    };
    Login("SERVICE", "service");
    for (const Case& c : {Case{"SERVICE", "Diagnostics", {"Service Counter", "Phase Current"}, nullptr},
                          Case{"SERVICE", "Motion", {"Axis State", "Temperature Offset", "Target Index"}, "RW"},
                          Case{"GUEST", "Motion", {"Axis State", "Temperature Offset", "Target Index"}, "R"},
                          Case{"GUEST", "Diagnostics", {}, nullptr}}) {
        SCOPED_TRACE(std::string(c.User) + " " + c.Section);
        Device->SetStrVar("UserName", c.User);
        ShowSection(c.Section);
        ShowAgain();
        const QStringList names = Column(0);
        EXPECT_EQ(names.mid(0, static_cast<int>(c.Names.size())), c.Names);
        if (c.Names.isEmpty()) {
            EXPECT_TRUE(names.isEmpty());
        }
        if (c.TargetAttr) {
            EXPECT_EQ(Cell("Target Index", 7), c.TargetAttr);
        }
        if (QString(c.User) == "GUEST") {
            for (const QString& a : Column(7)) EXPECT_EQ(a, "R");
        }
    }
}

TEST_F(VarViewerTest, UPIDColumnByUserAndMode) {
    Login("DEVELOPER", "velkor-develop");
    TVarAppViewForm& v = ShowSection("Motion");
    EXPECT_EQ(Cell("Actual Position", 3), "2071h (200Dh)");
    EXPECT_EQ(Cell("Axis State", 3), "2008h");
    Shell.SetUPIDDispMode("DEC");
    v.UpdateActions();
    EXPECT_EQ(Cell("Actual Position", 3), "8305 (8205)");

    // USER: the device UPID alone.
    Shell.SetUPIDDispMode("HEX");
    Device->SetStrVar("UserName", "USER");
    ShowAgain();
    EXPECT_EQ(Cell("Actual Position", 3), "2071h");
}

TEST_F(VarViewerTest, UPIDColumnForAUser) {
    Login();
    ShowSection("Motion");
    EXPECT_EQ(Cell("Actual Position", 3), "2071h");

    // A user-defined variable shows its address.
    ShowSection("User Defined");
    TVarItem* n = M().NewVar("UInt16");
    ASSERT_NE(n, nullptr);
    n->SetAddrStr("1234");
    n->SetCaption("Mine");
    ASSERT_TRUE(Wait([&] { return Row("Mine") && Idle(); }));
    M().UpdateListView();
    EXPECT_EQ(Cell("Mine", 3), "1234h (Address)");
}

TEST_F(VarViewerTest, UPIDScaledValueShowsTheReferencedUnit) {
    Login("SERVICE", "service");
    ShowSection("Diagnostics");
    Select("Phase Current");
    Key(Qt::Key_R, Qt::ControlModifier);
    // "Trace Source" names "Max Current" (mA on the drive, A in SI).
    ASSERT_TRUE(Wait([&] { return Cell("Phase Current", 1) == "200 (= 0.2 A)" && Idle(); })) << Cell("Phase Current", 1).toStdString();
    Select("Service Counter");
    Key(Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(Wait([&] { return Cell("Service Counter", 1) == "7" && Idle(); }));
}

TEST_F(VarViewerTest, ValueEditorStoresWritesAndRestores) {
    Login();
    TVarAppViewForm& v = ShowSection("Motion");
    Select("Axis State");
    EXPECT_FALSE(v.ValueEditor->isVisible()) << "not writable for USER";
    Select("Target Index");
    ASSERT_TRUE(v.ValueEditor->isVisible());
    const QRect cell = List().visualItemRect(Row("Target Index"));
    EXPECT_EQ(v.ValueEditor->geometry().top(), cell.top());
    EXPECT_EQ(v.ValueEditor->geometry().left(), List().header()->sectionViewportPosition(1));

    // Typing opens the editor with the character.
    Key(Qt::Key_7);
    EXPECT_EQ(v.ValueEditor->text(), "7");
    EXPECT_TRUE(v.ValueEditor->hasFocus());
    // Escape gives the value back.
    QTest::keyClick(v.ValueEditor, Qt::Key_Escape);
    EXPECT_EQ(v.ValueEditor->text(), "");
    EXPECT_TRUE(List().hasFocus());

    // A text that does not convert: its message, the editor keeps it.
    Runner->Transcript().Clear();
    Key(Qt::Key_A);
    QTest::keyClicks(v.ValueEditor, "x");
    QTest::keyClick(v.ValueEditor, Qt::Key_Return);
    ASSERT_FALSE(Prompt.Texts().empty());
    EXPECT_EQ(Prompt.Texts().back(), "'ax' is not a valid integer value");
    EXPECT_TRUE(v.ValueEditor->hasFocus());
    EXPECT_EQ(v.ValueEditor->selectedText(), "ax");

    // Enter stores the value; nothing is sent until Write Variable.
    v.ValueEditor->setText("7");
    QTest::keyClick(v.ValueEditor, Qt::Key_Return);
    EXPECT_TRUE(List().hasFocus());
    EXPECT_EQ(Device->FindService<TVariableService>("VariableService")->FindVariable("8202")->GetValueStr(), "7");
    EXPECT_EQ(Cell("Target Index", 1), "7");
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(ValueFrames().empty());

    Key(Qt::Key_W, Qt::ControlModifier);
    ASSERT_TRUE(Wait([&] { return !ValueFrames().empty() && Idle(); }));
    EXPECT_EQ(ValueFrames(), std::vector<std::string>{"89 01 0A 20 07 00"});
    EXPECT_EQ(Runner->WithDrive([](SimDrive& D) { return SimToHex(D.FindParameter(0x200A)->ram); }), "07 00");
}

TEST_F(VarViewerTest, DoubleClickTogglesABool16) {
    Login();
    TVarAppViewForm& v = ShowSection("User Defined");
    v.NewBoolAct->trigger();
    ASSERT_TRUE(Wait([&] { return List().topLevelItemCount() == 1 && Idle(); }));
    SelectRow(0);
    ASSERT_TRUE(v.ValueEditor->isVisible());
    v.ValueEditor->setFocus();
    v.ValueEditor->setText("true");
    QTest::keyClick(v.ValueEditor, Qt::Key_Return);
    TVarItem* b = M().SelectedVar();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetValueStr(), "TRUE");
    QTest::mouseDClick(v.ValueEditor, Qt::LeftButton);
    EXPECT_EQ(v.ValueEditor->text(), "FALSE");
    EXPECT_EQ(b->GetValueStr(), "FALSE");
    QTest::mouseDClick(v.ValueEditor, Qt::LeftButton);
    EXPECT_EQ(b->GetValueStr(), "TRUE");
}

TEST_F(VarViewerTest, NewCopyAndRemove) {
    Login();
    TVarAppViewForm& v = ShowSection("User Defined");
    TDirItem& dir = *M().Section();
    EXPECT_EQ(v.NewIntBtn->text(), "New SInt32");
    EXPECT_FALSE(v.NewUPIDAct->isEnabled()) << "no UPID browser yet";

    // New variables go in after the selection.
    QTest::mouseClick(v.NewIntBtn, Qt::LeftButton);
    ASSERT_TRUE(Wait([&] { return List().topLevelItemCount() == 1 && Idle(); }));
    v.NewBoolAct->trigger();
    ASSERT_TRUE(Wait([&] { return List().topLevelItemCount() == 2 && Idle(); }));
    SelectRow(0);
    v.NewIntMenu->actions().at(3)->trigger(); // "New UInt16 Variable"
    ASSERT_TRUE(Wait([&] { return List().topLevelItemCount() == 3 && Idle(); }));
    EXPECT_EQ(v.NewIntBtn->text(), "New UInt16");
    ASSERT_EQ(dir.GetCount(), 3);
    EXPECT_EQ(dir.GetVarItem(0).VarType(), "SInt32");
    EXPECT_EQ(dir.GetVarItem(1).VarType(), "UInt16");
    EXPECT_EQ(dir.GetVarItem(2).VarType(), "Bool16");
    EXPECT_EQ(List().currentItem(), List().topLevelItem(1)) << "the new one is selected";

    // Copy Var (Ctrl+Down): the next bit, the next word, the next address.
    struct Case {
        int Row;
        const char* Address;
        const char* Copied;
    };
    for (const Case& c : {Case{2, "2000.F", "2002.0"}, Case{2, "2000.3", "2000.4"}, Case{1, "2000", "2002"}}) {
        SCOPED_TRACE(c.Address);
        TVarItem& src = *M().Rows().Var(c.Row);
        src.SetAddrStr(c.Address);
        SelectRow(c.Row);
        const int before = dir.GetCount();
        Key(Qt::Key_Down, Qt::ControlModifier);
        ASSERT_TRUE(Wait([&] { return dir.GetCount() == before + 1 && Idle(); }));
        TVarItem* copy = M().SelectedVar();
        ASSERT_NE(copy, nullptr);
        ASSERT_NE(copy, &src);
        EXPECT_EQ(copy->GetAddrStr(), c.Copied);
        EXPECT_EQ(List().currentItem()->text(3), QString(c.Copied) + "h (Address)");
        EXPECT_FALSE(copy->CheckFlag(vfValid));
        // Back to three rows.
        Key(Qt::Key_Delete);
        ASSERT_TRUE(Wait([&] { return List().topLevelItemCount() == before && Idle(); }));
    }

    // Removing the first of three rows selects the new first.
    TVarItem* second = M().Rows().Var(1);
    SelectRow(0);
    v.RemoveAct->trigger();
    ASSERT_TRUE(Wait([&] { return List().topLevelItemCount() == 2 && Idle(); }));
    EXPECT_EQ(M().SelectedVar(), second);
    EXPECT_EQ(List().currentItem(), List().topLevelItem(0));
    // Removing the last row selects the one before it.
    SelectRow(1);
    Key(Qt::Key_Delete);
    ASSERT_TRUE(Wait([&] { return List().topLevelItemCount() == 1 && Idle(); }));
    EXPECT_EQ(M().SelectedVar(), second);
}

TEST_F(VarViewerTest, NewWithUPIDFromParametersAndSections) {
    Login();
    ShowSection("User Defined");
    TNewWithUPID p = M().NewWithUPID(4096); // "Max Current"
    ASSERT_EQ(p.Created.size(), 1u);
    TNewWithUPID w = M().NewWithUPID(8305); // "Actual Position" by device UPID
    ASSERT_EQ(w.Created.size(), 1u);
    ASSERT_TRUE(Wait([&] { return List().topLevelItemCount() == 2 && Idle(); }));
    EXPECT_EQ(Column(0), QStringList({"Max Current_(1000h)", "Actual Position"}));
    EXPECT_TRUE(Prompt.Texts().empty());
    TNewWithUPID none = M().NewWithUPID(0x7777);
    EXPECT_TRUE(none.Created.empty());
    ASSERT_FALSE(Prompt.Texts().empty());
    EXPECT_EQ(Prompt.Texts().back(), "UPID: 7777h not found!");
    Shell.SetUPIDDispMode("DEC");
    M().NewWithUPID(30583);
    EXPECT_EQ(Prompt.Texts().back(), "UPID: 30583 not found!");
}

TEST_F(VarViewerTest, CyclicReadingOneRowPerBatchWithAPauseAfterEachPass) {
    Login();
    TScopedTimeOverride pause(VarViewerPassPause, 300);
    UserRows({8200, 8202, 8203});
    TVariableService& s = *M().Service();
    const std::size_t mark = FramesIn().size();
    const int batches = s.BatchCount();
    View()->CyclicAct->setChecked(true);
    ASSERT_TRUE(Wait([&] { return ReadsSince(mark).size() >= 6; }));
    const std::vector<std::string> reads = ReadsSince(mark);
    EXPECT_EQ(std::vector<std::string>(reads.begin(), reads.begin() + 6),
              (std::vector<std::string>{"88 01 08 20", "88 01 0A 20", "88 01 0B 20", "88 01 08 20", "88 01 0A 20", "88 01 0B 20"}));
    EXPECT_GE(s.BatchCount() - batches, 6) << "one row per batch";

    // Off: the running batch ends, then nothing more is read.
    View()->CyclicAct->setChecked(false);
    ASSERT_TRUE(WaitIdle());
    const std::size_t stopped = ReadsSince(mark).size();
    Settle(std::chrono::milliseconds(400));
    QCoreApplication::processEvents();
    EXPECT_EQ(ReadsSince(mark).size(), stopped);
}

TEST_F(VarViewerTest, CyclicPassPausesBeforeStartingAgain) {
    Login();
    // The pause runs from when the third answer is handled, which this loop
    // sees only a little later: a long pause and a generous margin keep
    // that delay out of the result.
    TScopedTimeOverride pause(VarViewerPassPause, 1500);
    UserRows({8200, 8202, 8203});
    const std::size_t mark = FramesIn().size();
    std::vector<std::int64_t> times;
    std::size_t seen = 0;
    View()->CyclicAct->setChecked(true);
    ASSERT_TRUE(Wait([&] {
        const std::size_t n = ReadsSince(mark).size();
        for (; seen < n; ++seen) times.push_back(SteadyMilliseconds());
        return n >= 4;
    }));
    View()->CyclicAct->setChecked(false);
    ASSERT_TRUE(WaitIdle());
    ASSERT_GE(times.size(), 4u);
    EXPECT_GE(times[3] - times[2], 1000) << "the pause after the third row";
}

TEST_F(VarViewerTest, RowsRemovedMidPassWrapTheCyclicIndex) {
    Login();
    UserRows({8200, 8202, 8203});
    TVarAppViewForm& v = *View();
    v.CyclicAct->setChecked(true);
    ASSERT_TRUE(Wait([&] { return M().CycUpdateIndex() == 2; }));
    v.CyclicAct->setChecked(false);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(M().CycUpdateIndex(), 2);
    for (int i = 0; i < 2; ++i) {
        SelectRow(1);
        v.RemoveAct->trigger();
        ASSERT_TRUE(Wait([&] { return List().topLevelItemCount() == 2 - i && Idle(); }));
    }
    const std::size_t mark = FramesIn().size();
    v.CyclicAct->setChecked(true);
    ASSERT_TRUE(Wait([&] { return ReadsSince(mark).size() >= 2; })) << "the reading goes on";
    v.CyclicAct->setChecked(false);
    EXPECT_EQ(ReadsSince(mark)[0], "88 01 08 20");
    EXPECT_EQ(ReadsSince(mark)[1], "88 01 08 20");
    ASSERT_TRUE(WaitIdle());
}

TEST_F(VarViewerTest, CtrlReadAllSavesTheValuesAsCsv) {
    Login();
    test::TTempFolder folder;
    const std::filesystem::path file = folder.Path() / "values.csv";
    TDirItem& dir = UserRows({8200, 8202});
    dir.GetVarItem(1).SetCaption("Target;Index");
    M().UpdateListView();

    // Without Ctrl: read only.
    QTest::mouseClick(Button(View()->ReadAllAct), Qt::LeftButton);
    ASSERT_TRUE(Wait([&] { return Cell("Axis State", 1) == "3" && Idle(); }));
    EXPECT_TRUE(Shell.saveDialogs.empty());

    // Cancelled: no file.
    QTest::mouseClick(Button(View()->ReadAllAct), Qt::LeftButton, Qt::ControlModifier);
    ASSERT_TRUE(Wait([&] { return Shell.saveDialogs.size() == 1 && Idle(); }));
    EXPECT_EQ(Shell.saveDialogs[0].Filter, "Variable values(*.csv)|*.csv");
    EXPECT_FALSE(std::filesystem::exists(file));

    Shell.saveDialogAnswer = RealPathToStored(file.string());
    QTest::mouseClick(Button(View()->ReadAllAct), Qt::LeftButton, Qt::ControlModifier);
    ASSERT_TRUE(Wait([&] { return Shell.saveDialogs.size() == 2 && Idle(); }));
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "Caption;UPID;Value;RAWData\r\n"
                          "Axis State;8200;3;03h\r\n"
                          "\"Target;Index\";8202;16;0010h\r\n");
}

TEST_F(VarViewerTest, PrintsTheListAndDragsItsRows) {
    Login();
    UserRows({8200, 8202});
    TVarAppViewForm& view = *View();
    test::TFakePrinter printer;
    test::ScopedPrinter use(printer);
    TAppViewActionInfo print;
    print.Tag = 15;
    bool handled = false;
    view.ActionUpdate(&print, handled);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(print.Enabled);
    handled = false;
    view.ActionExecute(&print, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(printer.JobTitle(), "BOX1/Variables");
    EXPECT_EQ(printer.PrintedPages(), 1);
    std::vector<std::string> words;
    for (const auto& t : printer.Paper.Texts) words.push_back(t.Str);
    auto has = [&](const std::string& W) { return std::find(words.begin(), words.end(), W) != words.end(); };
    for (const char* w : {"Variables", "Device", "Name:", "BOX1", "Directory", "Axis", "State", "2008h", "Target", "200Ah"})
        EXPECT_TRUE(has(w)) << w;

    // The same printout into a PDF file.
    test::TTempFolder folder;
    const QString pdf = QString::fromStdString((folder.Path() / "vars.pdf").string());
    TPLPdfPrinter pdfPrinter(pdf);
    test::ScopedPrinter usePdf(pdfPrinter);
    handled = false;
    view.ActionExecute(&print, handled);
    std::ifstream in((folder.Path() / "vars.pdf"), std::ios::binary);
    std::string head(4, '\0');
    in.read(head.data(), 4);
    EXPECT_EQ(head, "%PDF");

    // A dragged row carries the drive and the variable.
    SelectRow(1);
    const QModelIndexList rows{List().model()->index(1, 0)};
    std::unique_ptr<QMimeData> data(List().model()->mimeData(rows));
    auto* drag = dynamic_cast<TVarDragData*>(data.get());
    ASSERT_NE(drag, nullptr);
    EXPECT_EQ(drag->Device, Device);
    ASSERT_EQ(drag->Variables.size(), 1u);
    EXPECT_EQ(drag->Variables[0], M().Rows().Var(1));
    EXPECT_EQ(data->data("application/x-velkor-upid"), QByteArray("8202"));
    EXPECT_EQ(data->text(), "Target Index");
}

} // namespace
} // namespace vo
