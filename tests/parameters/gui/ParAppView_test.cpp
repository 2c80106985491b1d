// The parameter list view through its widgets (offscreen) against the
// simulated drive over a pseudo-terminal: the rows and their columns by user
// and display mode, value entry by display mode and unit, keys and double
// clicks, refused writes, the stop prompt, rows that never become valid,
// UPID values and the details columns.
#include "tests/parameters/gui/ParAppViewFixture.h"

#include "kernel/LanguageMan.h"
#include "tests/support/QtTestApp.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace vo {
namespace {

class ParAppViewTest : public test::ParAppViewTestBase {
protected:
    // Types Text into the value field of the selected row and presses Enter.
    void Enter(const char* ACaption, const QString& Text) {
        Select(ACaption);
        QLineEdit* field = View()->EdValue;
        field->setFocus();
        field->clear();
        QTest::keyClicks(field, Text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    // Enter, then waits until the frame was sent Count times and the pass ended.
    bool EnterAndWrite(const char* ACaption, const QString& Text, const std::string& Frame, std::size_t Count) {
        Enter(ACaption, Text);
        return Wait([&] { return CountFrames(Frame) == Count && Idle(); });
    }
    std::size_t Writes() const {
        std::size_t n = 0;
        for (const std::string& f : FramesIn()) n += f.rfind("89 ", 0) == 0;
        return n;
    }
    // What the mouse sends for a double click: a click, then the second press.
    static void DoubleClick(TParAppViewForm& V, QPoint At) {
        QTest::mouseClick(V.ListView->viewport(), Qt::LeftButton, {}, At);
        QTest::mouseDClick(V.ListView->viewport(), Qt::LeftButton, {}, At);
    }
    MyAnsiString LastMessage() const { return Prompt.Texts().empty() ? MyAnsiString() : Prompt.Texts().back(); }
};

TEST_F(ParAppViewTest, RowsShowTheColumnsByUserAndUPIDMode) {
    Login("DEVELOPER", "velkor-develop");
    TParAppViewForm& v = ShowDirectory();

    QStringList heads;
    for (int i = 0; i < v.ListView->columnCount(); ++i) heads << v.ListView->headerItem()->text(i);
    EXPECT_EQ(heads, QStringList({"Name", "Value", "Raw Data", "UPID", "Type", "Scale", "Offset", "Min", "Max", "Default", "Attr."}));
    QStringList names;
    for (int i = 0; i < v.ListView->topLevelItemCount(); ++i) names << v.ListView->topLevelItem(i)->text(0);
    EXPECT_EQ(names, QStringList({"Encoder Offset", "Travel", "Gain", "Gain Source", "Phase Window", "Brake Delay", "Axis Tag", "Limits"}));

    EXPECT_EQ(Cell("Encoder Offset", 3), "1A2Bh (1A00h)");
    EXPECT_EQ(Cell("Encoder Offset", 4), "UInt16");
    EXPECT_EQ(Cell("Encoder Offset", 10), "RW (URUW)");
    EXPECT_EQ(Cell("Travel", 10), "RW (GRUW)");
    EXPECT_EQ(Cell("Brake Delay", 1), "0064h ");
    EXPECT_EQ(Cell("Brake Delay", 2), "0064h");
    EXPECT_EQ(Cell("Gain", 7), "-1000 ");
    EXPECT_EQ(Cell("Gain", 8), "1000 ");
    EXPECT_EQ(Cell("Gain", 9), "120 ");
    EXPECT_EQ(Cell("Limits", 1), "");

    // DEC: the UPIDs in decimal after the next action update.
    Shell.SetUPIDDispMode("DEC");
    v.UpdateActions();
    ASSERT_TRUE(Wait([&] { return Cell("Encoder Offset", 3) == "6699 (6656)" && Idle(); }));

    // SERVICE: the device UPID alone; no access classes.
    Shell.SetUPIDDispMode("HEX");
    Device->SetStrVar("UserName", "SERVICE");
    ShowAgain();
    EXPECT_EQ(Cell("Encoder Offset", 3), "1A2Bh");
    EXPECT_EQ(Cell("Encoder Offset", 10), "RW");

    // A guest: rows readable with 0x40 only, each "R" and dimmed; the field stays disabled.
    Device->SetStrVar("UserName", "GUEST");
    ShowAgain();
    EXPECT_EQ(Row("Encoder Offset"), nullptr);
    ASSERT_NE(Row("Travel"), nullptr);
    for (int i = 0; i < View()->ListView->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = View()->ListView->topLevelItem(i);
        if (item->text(0) == "Limits")
            continue;
        EXPECT_EQ(item->text(10), "R") << item->text(0).toStdString();
        EXPECT_EQ(item->foreground(0).color(), QApplication::palette().color(QPalette::Disabled, QPalette::Text));
    }
    Select("Travel");
    EXPECT_FALSE(View()->EdValue->isEnabled());
    EXPECT_EQ(View()->StatusPanel1->text(), "Path:\\\\Commissioning\\Travel");
}

TEST_F(ParAppViewTest, ScaledEntryChecksTheUnitAndTheLimits) {
    UnitManager().SetUnitSystem(usMetric);
    Login();
    TParAppViewForm& v = ShowDirectory();
    EXPECT_EQ(Cell("Travel", 1), "1 mm");
    EXPECT_EQ(Cell("Travel", 5), "0.001 mm");
    EXPECT_EQ(Cell("Travel", 8), "50 mm");

    ASSERT_TRUE(EnterAndWrite("Travel", "12.5 mm", "89 02 01 1A D4 30", 1));
    EXPECT_TRUE(Wait([&] { return Cell("Travel", 1) == "12.5 mm"; }));
    EXPECT_TRUE(Prompt.Texts().empty());
    ASSERT_TRUE(EnterAndWrite("Travel", "12.5", "89 02 01 1A D4 30", 2));

    struct Case {
        const char* entry;
        const char* message;
        const char* field;
    };
    for (const Case& c : {Case{"12.5 MM", "Wrong Unit! Unit 'mm' expected, but 'MM' found!", "12.5 mm"},
                          Case{"70", "Value is too big. The maximum is 50 mm", "50 mm"},
                          Case{"1e3", "Wrong Unit! Unit 'mm' expected, but 'e3' found!", "12.5 mm"}}) {
        SCOPED_TRACE(c.entry);
        const std::size_t writes = Writes();
        Prompt.Clear();
        Enter("Travel", c.entry);
        EXPECT_EQ(LastMessage(), c.message);
        EXPECT_EQ(v.EdValue->text(), c.field);
        EXPECT_EQ(v.EdValue->selectedText(), c.field);
        EXPECT_TRUE(v.EdValue->hasFocus());
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(Writes(), writes);
    }
}

TEST_F(ParAppViewTest, HexEntryByWidthAndSign) {
    Login();
    TParAppViewForm& v = ShowDirectory();
    std::size_t n = 0;
    for (const char* text : {"1fh", "1FH", "$1F", "001F"}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(EnterAndWrite("Brake Delay", text, "89 02 05 1A 1F 00", ++n));
    }
    EXPECT_EQ(Cell("Brake Delay", 1), "001Fh ");
    EXPECT_TRUE(Prompt.Texts().empty());

    ASSERT_TRUE(EnterAndWrite("Phase Window", "FF", "89 02 04 1A FF", 1));
    EXPECT_EQ(Cell("Phase Window", 1), "FFh ");

    struct Case {
        const char* row;
        const char* entry;
        const char* message;
        const char* field;
    };
    for (const Case& c : {Case{"Brake Delay", "", "Invalid Hexadecimal Value!", "001Fh"},
                          Case{"Brake Delay", "10000", "Value out of 16 bit integer range!", "001Fh"},
                          Case{"Brake Delay", "xyz", "'$xyz' is not a valid integer value", "001Fh"},
                          Case{"Phase Window", "7F", "Value is too big. The maximum is 0Ah", "0Ah"},
                          Case{"Phase Window", "F5", "Value is too small. The minimum is F6h", "F6h"}}) {
        SCOPED_TRACE(std::string(c.row) + " " + c.entry);
        const std::size_t writes = Writes();
        Prompt.Clear();
        Enter(c.row, c.entry);
        EXPECT_EQ(LastMessage(), c.message);
        EXPECT_EQ(v.EdValue->text(), c.field);
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(Writes(), writes);
    }

    // "ASCII" on the 32-bit unsigned type: the characters packed, most significant first.
    ASSERT_TRUE(EnterAndWrite("Axis Tag", "AB", "89 02 07 1A 00 00 42 41", 1));
}

TEST_F(ParAppViewTest, KeysAndDoubleClicks) {
    Login();
    TParAppViewForm& v = ShowDirectory();

    // A character typed in the list starts the entry with it; Escape shows the value again.
    Select("Gain");
    EXPECT_EQ(v.EdValue->text(), "120");
    QTest::keyClick(v.ListView, Qt::Key_5);
    EXPECT_EQ(v.EdValue->text(), "5");
    EXPECT_TRUE(v.EdValue->hasFocus());
    QTest::keyClick(v.EdValue, Qt::Key_Escape);
    EXPECT_EQ(v.EdValue->text(), "120");
    EXPECT_TRUE(v.ListView->hasFocus());

    // A second Enter while the first change is pending is dropped.
    Enter("Gain", "7");
    Enter("Gain", "8");
    ASSERT_TRUE(Wait([&] { return CountFrames("89 02 02 1A 07 00") == 1 && Idle(); }));
    EXPECT_EQ(CountFrames("89 02 02 1A 08 00"), 0u);
    EXPECT_EQ(Cell("Gain", 1), "7 ");

    // Enter on a directory row moves the tree to it.
    Select("Limits");
    QTest::keyClick(v.ListView, Qt::Key_Return);
    EXPECT_EQ(Entries->GetPathStr(), "Project:\\\\" + Device->GetModelCaption() + "\\Parameters\\Commissioning\\Limits");
    ASSERT_TRUE(Wait([&] { return View() && Row("Soft Limit") && Idle(); }));
    EXPECT_EQ(Cell("Soft Limit", 1), "5000 ");
}

TEST_F(ParAppViewTest, RefusedWritesAreReportedAndRunningDrivesStopped) {
    Login();
    ShowDirectory();
    Runner->Faults().Add("cmd=89 upid=1A05 status=C8");
    ASSERT_TRUE(EnterAndWrite("Brake Delay", "20", "89 02 05 1A 20 00", 1));
    ASSERT_TRUE(Wait([&] { return Prompt.Count() > 0; }));
    EXPECT_NE(LastMessage().find("Brake Delay (UPID 1A05h): C8h"), std::string::npos) << LastMessage();
    EXPECT_EQ(Cell("Brake Delay", 1), "0064h ");

    // A non-live row while the firmware runs: Yes stops the drive before the write.
    Runner->WithDrive([](SimDrive& D) {
        D.SetRunning(true);
        return 0;
    });
    ASSERT_TRUE(Wait([&] { return Status(*Device).GetRunning(); }));
    Prompt.Clear();
    Prompt.Answer(mrYes);
    ASSERT_TRUE(EnterAndWrite("Gain", "9", "89 02 02 1A 09 00", 1));
    ASSERT_EQ(Prompt.Count(), 1u);
    EXPECT_EQ(Prompt.Texts()[0], LangText("StopBeforeDownload"));
    const std::vector<std::string> frames = FramesIn();
    const auto stop = std::find(frames.begin(), frames.end(), "21");
    const auto write = std::find(frames.begin(), frames.end(), "89 02 02 1A 09 00");
    EXPECT_LT(stop, write);
    EXPECT_EQ(Cell("Gain", 1), "9 ");
}

TEST_F(ParAppViewTest, RowsThatNeverBecomeValidAreReadThreeMoreRounds) {
    Login();
    TParAppViewForm& v = ShowDirectory();
    EXPECT_EQ(CountFrames("88 00 05 1A"), 1u); // the login read
    Runner->Faults().Add("cmd=88 upid=1A05 times=0 status=C2");
    v.ActUpdate->trigger();
    ASSERT_TRUE(Wait([&] { return CountFrames("88 00 05 1A") == 5 && v.ViewModel().UpdateRetries() == 3 && Idle(); }))
        << CountFrames("88 00 05 1A") << " reads, " << v.ViewModel().UpdateRetries() << " retries";
    EXPECT_EQ(Cell("Brake Delay", 1), "***");
    EXPECT_EQ(Cell("Brake Delay", 2), "***");
    EXPECT_EQ(Cell("Gain", 1), "120 ");
    // No further rounds, also after more update passes.
    Device->FindService<TParameterService>("ParameterService")->Provider().BeginUpdate();
    Device->FindService<TParameterService>("ParameterService")->Provider().EndOfUpdate();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(CountFrames("88 00 05 1A"), 5u);
}

TEST_F(ParAppViewTest, UPIDValuesNameTheirParameter) {
    Login();
    TParAppViewForm& v = ShowDirectory();
    EXPECT_EQ(Cell("Gain Source", 1), "1A02h (Gain)");
    ASSERT_TRUE(EnterAndWrite("Gain Source", "0", "89 02 03 1A 00 00", 1));
    EXPECT_EQ(Cell("Gain Source", 1), "0000h ");
    ASSERT_TRUE(EnterAndWrite("Gain Source", "7777", "89 02 03 1A 77 77", 1));
    EXPECT_EQ(Cell("Gain Source", 1), "7777h => unknown!");

    // The browser's choice is written as that UPID, whatever the display mode.
    Select("Gain Source");
    EXPECT_TRUE(v.UPIDBrowserAct->isVisible());
    std::int32_t offered = -1;
    UPIDBrowser() = [&](std::int32_t AUPID, TDevice&) {
        offered = AUPID;
        return 0x1000;
    };
    v.UPIDBrowserAct->trigger();
    ASSERT_TRUE(Wait([&] { return CountFrames("89 02 03 1A 00 10") == 1 && Idle(); }));
    EXPECT_EQ(offered, 0x7777);
    EXPECT_EQ(Cell("Gain Source", 1), "1000h (Max Current)");
    Select("Gain");
    EXPECT_FALSE(v.UPIDBrowserAct->isVisible());

    // Raw data mode HEX -> DEC rebuilds at the next action update.
    EXPECT_EQ(Cell("Brake Delay", 2), "0064h");
    Shell.SetRawDataDispMode("DEC");
    v.UpdateActions();
    ASSERT_TRUE(Wait([&] { return Cell("Brake Delay", 2) == "100" && Idle(); }));
}

TEST_F(ParAppViewTest, BooleanTextAndChoiceRows) {
    Login();
    TParAppViewForm& v = ShowDirectory("Drive");
    EXPECT_EQ(Cell("Inverted", 1), "False ");
    EXPECT_EQ(Cell("Inverted", 9), "FALSE");
    EXPECT_EQ(Cell("Brake Release", 9), "TRUE");
    EXPECT_EQ(Row("Inverted")->data(0, Qt::UserRole).toInt(), piBoolClear);
    EXPECT_EQ(Row("Brake Release")->data(0, Qt::UserRole).toInt(), piLiveBoolSet);
    EXPECT_EQ(Cell("Axis Label", 8), "64 AnsiCharacters");
    EXPECT_EQ(Cell("Axis Label", 9), "Axis");
    EXPECT_EQ(Cell("Operating Mode", 1), "Position ");
    EXPECT_EQ(Cell("Operating Mode", 9), "Position");
    EXPECT_EQ(Cell("Homing Method", 1), "Index Pulse ");
    EXPECT_EQ(Cell("Homing Method", 9), "Index Pulse");
    EXPECT_EQ(Cell("Homing Method", 3), "2030h");

    // A double click on a writable Boolean toggles it; the value field keeps out of it.
    Select("Inverted");
    const QRect at = v.ListView->visualItemRect(Row("Inverted"));
    DoubleClick(v, at.center());
    ASSERT_TRUE(Wait([&] { return CountFrames("89 02 3C 20 01 00") == 1 && Idle(); }));
    EXPECT_EQ(Cell("Inverted", 1), "True ");
    EXPECT_EQ(Row("Inverted")->data(0, Qt::UserRole).toInt(), piBoolSet);
    EXPECT_FALSE(v.EdValue->hasFocus());
    EXPECT_TRUE(Prompt.Texts().empty());

    // A text longer than the drive keeps is refused.
    Prompt.Clear();
    Enter("Short Tag", QString(33, 'x'));
    EXPECT_EQ(LastMessage(), "Maximal MyAnsiString length exceeded!");
    EXPECT_EQ(v.EdValue->text(), "TAG");

    // A double click on a directory row moves the tree to it.
    const QRect dir = v.ListView->visualItemRect(Row("Homing Method"));
    DoubleClick(v, dir.center());
    EXPECT_EQ(Entries->GetPathStr(), "Project:\\\\" + Device->GetModelCaption() + "\\Parameters\\Drive\\Homing Method");
    ASSERT_TRUE(Wait([&] { return View() && Row("Limit Switch") && Idle(); }));
    // Children with UPIDs of their own show those.
    EXPECT_EQ(Cell("Index Pulse", 3), "2033h");
    EXPECT_EQ(Cell("Limit Switch", 3), "2034h");
    EXPECT_EQ(Cell("Index Pulse", 9), "X");
    EXPECT_EQ(Cell("Limit Switch", 9), "");
    EXPECT_EQ(Row("Index Pulse")->data(0, Qt::UserRole).toInt(), piRadioSet);
    EXPECT_EQ(Row("Limit Switch")->data(0, Qt::UserRole).toInt(), piRadioClear);

    // A radio child with a pseudo-UPID shows its directory's UPID; an
    // enumerator child has no UPID of its own to show.
    TParameterService& s = Params(*Device);
    TParameter* reverse = s.FindParameterWithDeviceUPID(0x2031)->Child();
    ASSERT_NE(reverse, nullptr);
    TParViewRow radio;
    radio.Parameter = reverse;
    View()->ViewModel().SetupListItem(radio);
    EXPECT_EQ(radio.Cells[0], "Reverse");
    EXPECT_EQ(radio.Cells[3], "2031h");
    TParameter* child = s.FindParameterWithDeviceUPID(0x2020)->Child();
    ASSERT_NE(child, nullptr);
    TParViewRow row;
    row.Parameter = child;
    View()->ViewModel().SetupListItem(row);
    EXPECT_EQ(row.Cells[3], "");
    EXPECT_EQ(row.Cells[0], "Off");
}

TEST_F(ParAppViewTest, FocusOnAParameterOfAnotherDirectory) {
    Login();
    TParAppViewForm& v = ShowDirectory();
    TParameter* limit = Params(*Device).FindParameterWithDeviceUPID(0x1A06);
    ASSERT_NE(limit, nullptr);
    v.ViewModel().SetParameterFocus(*limit);
    EXPECT_EQ(Entries->GetPathStr(), "Project:\\\\" + Device->GetModelCaption() + "\\Parameters\\Commissioning\\Limits");
    ASSERT_TRUE(Wait([&] { return View() && Row("Soft Limit") && Idle(); }));
    EXPECT_EQ(View()->ListView->currentItem(), Row("Soft Limit"));
    EXPECT_EQ(View()->EdValue->text(), "5000");
    EXPECT_EQ(View()->StatusPanel1->text(), "Path:\\\\Commissioning\\Limits\\Soft Limit");
    EXPECT_EQ(Params(*Device).FSearchedParameter, nullptr);
}

TEST_F(ParAppViewTest, HidingDetailsKeepsTheUsersWidths) {
    Login();
    TParAppViewForm& v = ShowDirectory();
    QHeaderView* head = v.ListView->header();
    if (!v.ViewModel().Client().FShowDetails)
        v.ActShowParDet->trigger();
    EXPECT_EQ(v.ActShowParDet->text(), "Hide Details");
    for (int i = 2; i < 11; ++i) EXPECT_FALSE(v.ListView->isColumnHidden(i));
    head->resizeSection(3, 77);
    head->resizeSection(10, 91);
    v.ActShowParDet->trigger();
    EXPECT_EQ(v.ActShowParDet->text(), "Show Details");
    for (int i = 2; i < 11; ++i) EXPECT_TRUE(v.ListView->isColumnHidden(i));
    EXPECT_FALSE(v.ListView->isColumnHidden(1));
    v.ActShowParDet->trigger();
    EXPECT_EQ(head->sectionSize(3), 77);
    EXPECT_EQ(head->sectionSize(10), 91);
}

} // namespace
} // namespace vo
