// The main scheduler on the Qt event loop (offscreen).
#include "kernel/MxTLib20.h"
#include "platform/gui/QtMainLoop.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace vo;

namespace {

int argc = 1;
char arg0[] = "QtMainLoop_test";
char* argv[] = {arg0, nullptr};

class QtMainLoopTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App = new QApplication(argc, argv); }
    static void TearDownTestSuite() {
        delete App;
        App = nullptr;
    }
    void SetUp() override { Scheduler = &MxCreateMainScheduler(Loop); }
    void TearDown() override { MxFreeMainScheduler(); }

    static QApplication* App;
    TQtMainLoop Loop;
    TMxScheduler* Scheduler = nullptr;
};
QApplication* QtMainLoopTest::App = nullptr;

// Safety net: a broken wake-up must fail the test, not hang it. The timer
// belongs to one test, so a net left over from an earlier test never ends a
// later one.
class TSafetyNet {
public:
    TSafetyNet() {
        FTimer.setSingleShot(true);
        QObject::connect(&FTimer, &QTimer::timeout, [] { QApplication::exit(2); });
        FTimer.start(30000);
    }

private:
    QTimer FTimer;
};

TEST_F(QtMainLoopTest, TaskSleepsFiftyMillisecondsThenQuitsTheLoop) {
    int steps = 0;
    TMxTask task("Sleeper");
    task.SetOnExecute([&](TMxTask& t) {
        if (++steps == 1) {
            t.Sleep(50);
        } else {
            EXPECT_EQ(t.ExecuteInfo(), eiSuccess);
            t.Terminate();
            QApplication::quit();
        }
    });
    TSafetyNet net;
    const auto start = std::chrono::steady_clock::now();
    task.Start();
    const int rc = QApplication::exec();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(steps, 2);
    EXPECT_GE(elapsed, std::chrono::milliseconds(45));
    EXPECT_EQ(task.State(), tsTerminated);
}

TEST_F(QtMainLoopTest, SignalSetOnAnotherThreadWakesTheSleepingLoop) {
    TMxSignal signal;
    std::atomic<int> steps{0};
    TMxTask task("Waiter");
    task.SetOnExecute([&](TMxTask& t) {
        if (++steps == 1) {
            t.WaitFor(signal, MxInfinite);
        } else {
            EXPECT_EQ(t.ExecuteInfo(), eiSuccess);
            t.Terminate();
            QApplication::quit();
        }
    });
    TSafetyNet net;
    task.Start();
    std::thread setter([&] {
        while (signal.WaitingCount() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the loop is asleep by now
        signal.SetReady(true);
    });
    const int rc = QApplication::exec();
    setter.join();
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(steps.load(), 2);
}

} // namespace

namespace {

TEST_F(QtMainLoopTest, AModalDialogOpenedFromAStepRunsNoOtherStep) {
    int openerSteps = 0, inside = 0, ticks = 0, ticksWhileOpen = 0;
    bool dialogOpen = false;
    TMxTask ticker("Ticker");
    ticker.SetOnExecute([&](TMxTask& t) {
        ++ticks;
        if (dialogOpen)
            ++ticksWhileOpen;
        t.Sleep(1); // wakes the loop from the timer thread
    });
    TMxTask opener("Opener");
    opener.SetOnExecute([&](TMxTask& t) {
        ++inside;
        EXPECT_EQ(inside, 1) << "the step was entered again";
        if (++openerSteps == 1) {
            QDialog dialog;
            int loops = 0;
            QTimer poll;
            poll.setInterval(5);
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (++loops == 20)
                    dialog.accept();
            });
            poll.start();
            dialogOpen = true;
            const int ticksBefore = ticks;
            const uint64_t idleBefore = Loop.IdleCalls();
            dialog.exec();
            dialogOpen = false;
            EXPECT_EQ(ticks, ticksBefore);
            // The dialog's own event loop neither entered the scheduler nor
            // spun the idle timer.
            EXPECT_EQ(Loop.IdleCalls(), idleBefore);
            t.Sleep(30);
        } else {
            t.Terminate();
            ticker.Kill();
            QApplication::quit();
        }
        --inside;
    });
    QApplication::setQuitOnLastWindowClosed(false); // the dialog is the only window
    TSafetyNet net;
    ticker.Start();
    opener.Start();
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(openerSteps, 2);
    EXPECT_EQ(ticksWhileOpen, 0);
    EXPECT_GT(ticks, 2); // the other task ran again after the dialog
}

} // namespace
