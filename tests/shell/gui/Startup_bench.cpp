// Start-up time of the program, offscreen: from process start to the first
// project tree window exposed, against a bare Qt program that shows one
// empty window, and against a Qt program that shows a window built like the
// project tree window (menu bar, toolbar, tree, status bar) without any of
// the program behind it: the floor of a window with text, whose fonts alone
// take a good part of the time. Each run is a fresh process (the composition exists once per
// process), started by fork so both sides pay the same process costs.
#include "platform/FileNames.h"
#include "shell/app/Composition.h"
#include "shell/gui/Main.h"
#include "shell/gui/ModApp.h"
#include "storagelib/RefObj.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool PumpUntil(const std::function<bool()>& Pred, int Ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!Pred()) {
        if (t.elapsed() > Ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

int GReportFd = -1; // the child's end of the pipe to the parent

// True once W is exposed; the first time, tells the parent the moment.
bool Exposed(QWidget* W) {
    if (!W || !W->windowHandle() || !W->windowHandle()->isExposed())
        return false;
    if (GReportFd >= 0) {
        const int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
        (void)!::write(GReportFd, &now, sizeof now);
        ::close(GReportFd);
        GReportFd = -1;
    }
    return true;
}

int BareChild() {
    int argc = 1;
    char arg0[] = "bare";
    char* argv[] = {arg0, nullptr};
    QApplication app(argc, argv);
    QMainWindow w;
    w.resize(800, 560);
    w.setWindowTitle("Velkor-Ovra");
    w.show();
    return PumpUntil([&] { return Exposed(&w); }) ? 0 : 1;
}

int QtLayoutChild() {
    int argc = 1;
    char arg0[] = "layout";
    char* argv[] = {arg0, nullptr};
    QApplication app(argc, argv);
    QMainWindow w;
    w.setWindowTitle("Velkor-Ovra");
    w.setWindowState(Qt::WindowMaximized);
    for (const char* name : {"&File", "Search", "&Drive", "&Services", "&Options", "&Window", "&Tools", "&Manuals", "&Help"}) {
        QMenu* m = w.menuBar()->addMenu(name);
        for (int i = 0; i < 6; ++i)
            m->addAction(QString("%1 item %2").arg(name).arg(i))->setShortcut(QKeySequence(QString("Ctrl+Alt+%1").arg(i)));
    }
    QToolBar* bar = w.addToolBar("ToolBar1");
    for (int i = 0; i < 30; ++i)
        bar->addAction(QString("Button %1").arg(i));
    auto* split = new QSplitter(&w);
    auto* tree = new QTreeWidget(split);
    new QTreeWidgetItem(tree, QStringList{"Project"});
    new QWidget(split);
    w.setCentralWidget(split);
    w.statusBar()->showMessage("Ready");
    w.show();
    return PumpUntil([&] { return Exposed(&w); }) ? 0 : 1;
}

int ProgramChild() {
    int argc = 1;
    char arg0[] = "velkor-ovra";
    char* argv[] = {arg0, nullptr};
    QApplication app(argc, argv);
    const std::filesystem::path root = std::filesystem::temp_directory_path() / ("vo-startbench-" + std::to_string(::getpid()));
    vo::InstallProgramParts();
    vo::TMainFormOptions o;
    o.WorkDir = vo::RealPathToStored(VO_PROGRAM_DIR) + "\\";
    o.Args = {"-NoAuto"};
    o.DataHome = root / "data";
    o.ConfigHome = root / "config";
    vo::TMainForm form(o);
    form.OnTerminate = [](int) {};
    if (!form.FormCreate())
        return 2;
    const bool ok = PumpUntil([&] { return !form.Commanders().empty() && Exposed(form.Commanders().front()); });
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return ok ? 0 : 1;
}

// Runs Child in a new process; the time from fork to its window exposed
// (the steady clock is the same in both processes).
void RunChild(benchmark::State& State, int (*Child)()) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    for (auto _ : State) {
        int fds[2];
        if (::pipe(fds) != 0) {
            State.SkipWithError("no pipe");
            break;
        }
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            GReportFd = fds[1];
            ::_exit(Child());
        }
        ::close(fds[1]);
        int64_t exposed = 0;
        const bool got = ::read(fds[0], &exposed, sizeof exposed) == static_cast<ssize_t>(sizeof exposed);
        ::close(fds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            State.SkipWithError("the child did not show its window");
            break;
        }
        const auto t1 = std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(exposed));
        State.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
}

void BM_BareQtWindow(benchmark::State& State) {
    RunChild(State, BareChild);
}
BENCHMARK(BM_BareQtWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);

void BM_QtWindowLikeTheProgram(benchmark::State& State) {
    RunChild(State, QtLayoutChild);
}
BENCHMARK(BM_QtWindowLikeTheProgram)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);

void BM_ProgramFirstWindow(benchmark::State& State) {
    RunChild(State, ProgramChild);
}
BENCHMARK(BM_ProgramFirstWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);

} // namespace

BENCHMARK_MAIN();
