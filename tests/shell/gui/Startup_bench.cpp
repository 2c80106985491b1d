// Start-up time of the program, offscreen: from the start of a fresh process
// to its first main window exposed. Three programs are started the same way
// (fork and exec, the same environment, the same working folder, the same
// settings folders, the file cache warmed by an untimed run first):
// - a bare Qt program that shows one empty window;
// - a Qt program whose window is built like the project tree window (menu
//   bar, tool bar, tree, status bar) with nothing of the program behind it;
// - the program itself: the real main(), the real executable's libraries.
// Each child reports the moment its window was exposed through a pipe (see
// start/StartProbe.cpp) and ends. The repetitions of the three run
// interleaved, so a change of the machine's load hits all of them; at the end
// the medians and the ratio to the bare window are printed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::filesystem::path GRoot; // working folder and settings folders of every child

std::map<std::string, std::vector<double>>& Samples() {
    static std::map<std::string, std::vector<double>> s;
    return s;
}

// Starts Exe with Args; the time in seconds from just before the fork to its
// first main window exposed, or a negative value when it failed.
double StartOnce(const char* Exe, const std::vector<std::string>& Args) {
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    std::vector<char*> argv{const_cast<char*>(Exe)};
    for (const std::string& a : Args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string fd = std::to_string(fds[1]);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::setenv("VO_START_REPORT_FD", fd.c_str(), 1);
        if (::chdir(GRoot.c_str()) != 0)
            ::_exit(126);
        ::execv(Exe, argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    int64_t exposed = 0;
    pollfd p{fds[0], POLLIN, 0};
    bool got = false;
    if (pid > 0 && ::poll(&p, 1, 60000) == 1)
        got = ::read(fds[0], &exposed, sizeof exposed) == static_cast<ssize_t>(sizeof exposed);
    ::close(fds[0]);
    if (pid <= 0)
        return -1;
    if (!got)
        ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    const auto t1 = std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(exposed));
    return std::chrono::duration<double>(t1 - t0).count();
}

void RunStart(benchmark::State& State, const char* Name, const char* Exe, std::vector<std::string> Args) {
    if (StartOnce(Exe, Args) < 0) { // warms the file cache; not timed
        State.SkipWithError("the program did not show its window");
        return;
    }
    for (auto _ : State) {
        const double s = StartOnce(Exe, Args);
        if (s < 0) {
            State.SkipWithError("the program did not show its window");
            break;
        }
        State.SetIterationTime(s);
        Samples()[Name].push_back(s);
    }
}

void BM_BareQtWindow(benchmark::State& State) {
    RunStart(State, "bare Qt window", VO_START_QT_EXE, {"bare"});
}

void BM_QtWindowLikeTheProgram(benchmark::State& State) {
    RunStart(State, "Qt window like the program's", VO_START_QT_EXE, {"layout"});
}

void BM_ProgramFirstWindow(benchmark::State& State) {
    RunStart(State, "program's first window", VO_START_PROGRAM_EXE, {});
}

// VO_START_OTHER_PROGRAM names another build of the program's start (a copy
// of vo_start_program of an older commit, put next to this build's so that
// it reads the same files): it runs interleaved with the rest, to tell what a
// change gained under the same load.
void BM_OtherProgramFirstWindow(benchmark::State& State) {
    RunStart(State, "other program's first window", std::getenv("VO_START_OTHER_PROGRAM"), {});
}

constexpr int KRepetitions = 9;
BENCHMARK(BM_BareQtWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(KRepetitions);
BENCHMARK(BM_QtWindowLikeTheProgram)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(KRepetitions);
BENCHMARK(BM_ProgramFirstWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(KRepetitions);

double Median(std::vector<double> V) {
    std::sort(V.begin(), V.end());
    const std::size_t n = V.size();
    return n == 0 ? 0 : (n % 2 ? V[n / 2] : (V[n / 2 - 1] + V[n / 2]) / 2);
}

} // namespace

int main(int argc, char** argv) {
    // Repetitions of different benchmarks interleaved unless asked otherwise.
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data()))
        return 1;

    GRoot = std::filesystem::temp_directory_path() / ("vo-startbench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(GRoot);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("XDG_DATA_HOME", (GRoot / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (GRoot / "config").c_str(), 1);

    if (const char* other = std::getenv("VO_START_OTHER_PROGRAM"); other && *other)
        benchmark::RegisterBenchmark("BM_OtherProgramFirstWindow", BM_OtherProgramFirstWindow)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3)
            ->Repetitions(KRepetitions);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const auto bare = Samples().find("bare Qt window");
    if (bare != Samples().end() && !bare->second.empty()) {
        const double base = Median(bare->second);
        std::printf("\nMedians of %zu starts each (ratio to the bare Qt window):\n", bare->second.size());
        for (const auto& [name, v] : Samples())
            std::printf("  %-30s %7.1f ms  %.2fx\n", name.c_str(), Median(v) * 1000, Median(v) / base);
    }
    std::error_code ec;
    std::filesystem::remove_all(GRoot, ec);
    return 0;
}
