// The start-up warm-up readies Qt's fonts and image plug-ins on worker
// threads while the main thread goes on: a window that measures text and reads
// its style's icons at the same time must neither block for good nor race
// (the sanitizer builds watch the latter), and both stay usable afterwards.
#include "shell/gui/StartWarmUp.h"

#include "tests/support/QtTestApp.h"

#include <QFontMetrics>
#include <QImageReader>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

namespace vo {
namespace {

TEST(StartWarmUp, WindowBuiltWhileTheWorkerRuns) {
    // The first round meets a cold Qt, the later ones a warm one: the
    // worker must end at once then.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        TQtStartWarmUp warmUp;
        warmUp.ApplicationReady();
        // As the program does before its first window: the configuration
        // is read by the worker alone.
        warmUp.WaitForFontConfiguration();
        QMainWindow w;
        QMenu* file = w.menuBar()->addMenu("&File");
        file->addAction("Open")->setShortcut(QKeySequence("Ctrl+O"));
        w.addToolBar("Tools")->addAction("Print");
        w.statusBar()->showMessage("Ready");
        EXPECT_GT(QFontMetrics(w.font()).height(), 0);
        w.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&w, 10000));
    }
    EXPECT_TRUE(QImageReader::supportedImageFormats().contains("png"));
}

TEST(StartWarmUp, EndsWithoutTheApplicationReady) {
    // A start that fails before its application object is ready: the font
    // worker must not wait for it, and a late call changes nothing.
    TQtStartWarmUp warmUp;
    warmUp.Finish();
    warmUp.ApplicationReady();
    warmUp.Finish();
    warmUp.WaitForFontConfiguration(); // the worker has ended: at once
}

TEST(StartWarmUp, FontConfigurationReadBeforeTheApplicationIsReady) {
    // The worker reads the configuration while the application object is
    // being made: waiting for it must not need the application ready.
    TQtStartWarmUp warmUp;
    warmUp.WaitForFontConfiguration();
    warmUp.Finish();
}

} // namespace
} // namespace vo
