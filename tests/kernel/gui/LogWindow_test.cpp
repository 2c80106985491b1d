// Log windows through their real widgets (offscreen): messages by handle,
// hidden handles ignored, the abort button, closing by the user, the
// centred button.
#include "kernel/gui/LogWindow.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace vo {
namespace {

int argc = 1;
char arg0[] = "LogWindow_test";
char* argv[] = {arg0, nullptr};

class LogWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App = new QApplication(argc, argv); }
    static void TearDownTestSuite() {
        delete App;
        App = nullptr;
    }
    void SetUp() override {
        InstallQtLogWindows(Manager);
        Manager.FOnRegWnd = [this](TShellWindow& W) { Registered.push_back(W.GetCaption()); };
        Manager.FOnUnregWnd = [this](TShellWindow& W) { Unregistered.push_back(W.GetCaption()); };
    }
    TLogWindow& Qt(int Handle) {
        TLogWindow* w = QtLogWindow(Manager.Window(Handle));
        EXPECT_NE(w, nullptr);
        return *w;
    }

    static QApplication* App;
    std::vector<MyAnsiString> Registered, Unregistered; // before the manager, which reports at its end
    TLogWindowManager Manager;
};
QApplication* LogWindowTest::App = nullptr;

TEST_F(LogWindowTest, TwoWindowsGetTheirOwnMessages) {
    std::vector<int> aborts;
    const int a = Manager.ShowLogWindow("Save Configuration", [&](int H) { aborts.push_back(H); });
    const int b = Manager.ShowLogWindow("Load Configuration", nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(Registered, (std::vector<MyAnsiString>{"Save Configuration", "Load Configuration"}));
    Manager.PrintMessage(a, "one");
    Manager.PrintMessage(b, "two");
    Manager.PrintMessage(a, "three");
    EXPECT_EQ(Qt(a).OutMemo->toPlainText(), "one\nthree");
    EXPECT_EQ(Qt(b).OutMemo->toPlainText(), "two");
    EXPECT_TRUE(Qt(a).isVisible());
    EXPECT_EQ(Qt(a).windowTitle(), "Save Configuration");

    // Abort twice: twice called, the window stays.
    QTest::mouseClick(Qt(a).BtAbort, Qt::LeftButton);
    QTest::mouseClick(Qt(a).BtAbort, Qt::LeftButton);
    EXPECT_EQ(aborts, (std::vector<int>{a, a}));
    EXPECT_EQ(Manager.WindowCount(), 2);

    // A hidden handle is ignored.
    Manager.HideLogWindow(a);
    EXPECT_EQ(Unregistered, std::vector<MyAnsiString>{"Save Configuration"});
    EXPECT_EQ(Manager.Window(a), nullptr);
    Manager.PrintMessage(a, "lost");
    Manager.HideLogWindow(a);
    EXPECT_EQ(Unregistered.size(), 1u);
    Manager.PrintMessage(b, "four");
    EXPECT_EQ(Qt(b).OutMemo->toPlainText(), "two\nfour");
}

TEST_F(LogWindowTest, ClosingByTheUserUnlistsTheWindow) {
    const int h = Manager.ShowLogWindow("Import", nullptr);
    Qt(h).close();
    QApplication::processEvents();
    EXPECT_EQ(Manager.Window(h), nullptr);
    EXPECT_EQ(Unregistered, std::vector<MyAnsiString>{"Import"});
}

TEST_F(LogWindowTest, TheAbortButtonStaysCentred) {
    const int h = Manager.ShowLogWindow("X", nullptr);
    TLogWindow& w = Qt(h);
    for (int width : {300, 517, 800}) {
        w.resize(width, 200);
        QApplication::processEvents();
        EXPECT_EQ(w.BtAbort->x(), w.Panel->width() / 2 - w.BtAbort->width() / 2);
    }
}

TEST(MemoryLogWindowTest, WithoutAGuiWindowsKeepTheirLines) {
    TLogWindowManager m;
    const int h = m.ShowLogWindow("Headless", nullptr);
    m.PrintMessage(h, "a");
    auto* w = dynamic_cast<TMemoryLogWindow*>(m.Window(h));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Lines(), std::vector<MyAnsiString>{"a"});
    EXPECT_EQ(w->GetCaption(), "Headless");
}

} // namespace
} // namespace vo
