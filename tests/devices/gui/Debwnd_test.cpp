// The debug window through its widgets (offscreen): trace lines from any
// thread in order, the status rules, saving, moving the caret.
#include "devices/gui/Debwnd.h"

#include "tests/support/QtTestApp.h"
#include "tests/support/ScriptedPrompt.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace vo {
namespace {

class DebugWindowTest : public ::testing::Test {
protected:
    void SetUp() override { SetDebugManager(&Manager); }
    void TearDown() override { SetDebugManager(nullptr); }
    // Processes GUI events until Pred holds (at most 10 s).
    static bool Until(const std::function<bool()>& Pred) {
        QElapsedTimer t;
        t.start();
        while (!Pred()) {
            if (t.elapsed() > 10000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    TDebugManager Manager;
    test::TScriptedPromptScope Prompt;
};

TEST_F(DebugWindowTest, TraceLinesArriveInOrderFromAnyThread) {
    Manager.SetDebugingEnabled(true);
    LogInfo("before the window"); // kept nowhere
    EXPECT_EQ(Manager.DebugMemo(), nullptr);
    TDebugWindow w;
    EXPECT_NE(Manager.DebugMemo(), nullptr);
    EXPECT_EQ(w.Lines(), QStringList{"Debug Window"});
    std::thread server([] {
        for (int i = 0; i < 500; ++i)
            LogWarning("line " + std::to_string(i));
    });
    server.join();
    LogError("last");
    ASSERT_TRUE(Until([&] { return w.Lines().size() == 502; }));
    const QStringList lines = w.Lines();
    EXPECT_EQ(lines[1], "[0001] ***WARNING: line 0");
    EXPECT_EQ(lines[500], "[0001] ***WARNING: line 499");
    EXPECT_EQ(lines[501], "[0002] ***ERROR: last");
    QTest::mouseClick(w.Button1, Qt::LeftButton);
    EXPECT_TRUE(w.DebugOutput1->toPlainText().isEmpty());
}

TEST_F(DebugWindowTest, TheCheckBoxSwitchesDebugging) {
    TDebugWindow w;
    w.show();
    EXPECT_FALSE(w.CheckBox1->isChecked());
    LogInfo("not shown");
    QTest::mouseClick(w.CheckBox1, Qt::LeftButton);
    EXPECT_TRUE(Manager.DebugingEnabled());
    LogInfo("shown");
    ASSERT_TRUE(Until([&] { return w.Lines().size() == 2; }));
    EXPECT_EQ(w.Lines()[1], "[0000] ***INFO: shown");
    int breaks = 0;
    Manager.FDoBreak = [&] { ++breaks; };
    QTest::mouseClick(w.BreakBtn, Qt::LeftButton);
    EXPECT_EQ(breaks, 1);
}

TEST_F(DebugWindowTest, FilterTwiceReturnsTheStatusRulesToDeny) {
    TDebugWindow w;
    EXPECT_EQ(Manager.Filter().Filter(0x0103), faDeny);
    QTest::mouseClick(w.BtFilter, Qt::LeftButton);
    EXPECT_EQ(Manager.Filter().Filter(0x0103), faAllow);
    EXPECT_EQ(Manager.Filter().Filter(0x0203), faAllow);
    QTest::mouseClick(w.BtFilter, Qt::LeftButton);
    EXPECT_EQ(Manager.Filter().Filter(0x0103), faDeny);
    QTest::mouseClick(w.Button7, Qt::LeftButton);
    EXPECT_EQ(Manager.Filter().Filter(0x0203), faAllow);
}

TEST_F(DebugWindowTest, SaveWritesTheLines) {
    Manager.SetDebugingEnabled(true);
    TDebugWindow w;
    LogInfo("Drehzahl \xFC"); // an 8-bit character stays one byte
    ASSERT_TRUE(Until([&] { return w.Lines().size() == 2; }));
    const QString file = QString::fromStdString(::testing::TempDir()) + "/trace";
    w.AskSaveFileName = [&] { return file; };
    QTest::mouseClick(w.BtSave, Qt::LeftButton);
    QFile in(file + ".txt");
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_EQ(in.readAll().toStdString(), "Debug Window\n[0000] ***INFO: Drehzahl \xFC\n");
    w.AskSaveFileName = [] { return QString(); }; // cancelled: nothing happens
    QTest::mouseClick(w.BtSave, Qt::LeftButton);
    EXPECT_TRUE(Prompt.Texts().empty());
}

TEST_F(DebugWindowTest, TopAndBottom) {
    TDebugWindow w;
    QTest::mouseClick(w.Button4, Qt::LeftButton);
    EXPECT_EQ(w.DebugOutput1->textCursor().blockNumber(), 0);
    w.DebugOutput1->appendPlainText("a\nb\nc");
    QTest::mouseClick(w.Button4, Qt::LeftButton);
    EXPECT_EQ(w.DebugOutput1->textCursor().blockNumber(), 3);
    EXPECT_EQ(w.DebugOutput1->textCursor().positionInBlock(), 0);
    QTest::mouseClick(w.Button5, Qt::LeftButton);
    EXPECT_EQ(w.DebugOutput1->textCursor().blockNumber(), 0);
}

} // namespace
} // namespace vo
