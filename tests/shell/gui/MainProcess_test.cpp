// The executable velkor-ovra run as its own process: batch runs without a
// window (-NoForm) end after their scripts with an exit code that tells
// whether the script could run, a start without display says so, the
// run-with-sim.sh wrapper leaves no simulator behind, and under xvfb-run the
// program starts on a real X server and ends cleanly.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vo {
namespace {

struct TRun {
    int ExitCode = -1; // -1: did not end in time (and was killed)
    std::string Err;
    bool GroupGone = false; // no process of its group is left
};

// Runs Args in a process group of its own with Env added to (or, with an
// empty value, removed from) the environment, in the folder Dir; stderr is
// collected. Waits at most 60 s.
TRun RunProgram(const std::vector<std::string>& Args, const std::vector<std::pair<std::string, std::string>>& Env,
                const fs::path& Dir) {
    const fs::path errFile = Dir / "stderr.txt";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        if (::chdir(Dir.c_str()) != 0)
            ::_exit(126);
        for (const auto& [name, value] : Env)
            value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(err, 2);
        std::vector<char*> argv;
        for (const std::string& a : Args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    TRun r;
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        const pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) {
            r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() > end) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // A server may take a moment to go after its client ended.
    for (int i = 0; i < 250 && ::kill(-pid, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    r.GroupGone = ::kill(-pid, 0) != 0;
    if (!r.GroupGone) {
        std::system(("ps -o pid,args -g " + std::to_string(pid) + " >&2").c_str());
        ::kill(-pid, SIGKILL);
    }
    std::ifstream in(errFile);
    r.Err.assign(std::istreambuf_iterator<char>(in), {});
    return r;
}

class ProgramProcess : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() / ("vo-mainprocess-" + std::to_string(::getpid()));
        fs::remove_all(Dir);
        fs::create_directories(Dir / "work");
        // The user's folders of the run stay in the test's folder.
        Env = {{"XDG_DATA_HOME", (Dir / "data").string()},
               {"XDG_CONFIG_HOME", (Dir / "config").string()},
               {"QT_QPA_PLATFORM", "offscreen"}};
        // The script creates a folder beside itself: it ran.
        std::ofstream(Dir / "work" / "mark.sct") << "[B\n  'marker' createdir\n]\n";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(Dir, ec);
    }
    fs::path Dir;
    std::vector<std::pair<std::string, std::string>> Env;
    const std::string Program = std::string(VO_PROGRAM_DIR) + "/velkor-ovra";
    const std::string Wrapper = std::string(VO_SOURCE_DIR) + "/tools/run-with-sim.sh";
};

TEST_F(ProgramProcess, WithoutWindowEndsAfterItsScripts) {
    {
        SCOPED_TRACE("a command-line script runs, then the program ends");
        const TRun r = RunProgram({Program, "-NoForm", "-NoAuto", "-script:" + (Dir / "work" / "mark.sct").string()}, Env, Dir);
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        EXPECT_TRUE(fs::is_directory(Dir / "work" / "marker"));
    }
    {
        SCOPED_TRACE("a missing script is named and the exit code tells");
        const TRun r = RunProgram({Program, "-NoForm", "-NoAuto", "-script:" + (Dir / "work" / "nothere.sct").string()}, Env, Dir);
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_NE(r.Err.find("nothere.sct' does not exist"), std::string::npos) << r.Err;
    }
    {
        SCOPED_TRACE("a script that cannot be read");
        std::ofstream(Dir / "work" / "broken.sct") << "[B ( ]\n";
        const TRun r = RunProgram({Program, "-NoForm", "-NoAuto", "-script:" + (Dir / "work" / "broken.sct").string()}, Env, Dir);
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_NE(r.Err.find("broken.sct"), std::string::npos) << r.Err;
    }
    {
        SCOPED_TRACE("no auto-start script beside the program: nothing to wait for");
        const TRun r = RunProgram({Program, "-NoForm"}, Env, Dir);
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
    }
}

TEST_F(ProgramProcess, WithoutDisplaySaysSo) {
    for (const std::string& exe : {Program, Wrapper}) {
        SCOPED_TRACE(exe);
        std::vector<std::string> args{exe};
        if (exe == Wrapper)
            args.push_back(VO_PROGRAM_DIR);
        const TRun r = RunProgram(args, {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, Dir);
        EXPECT_EQ(r.ExitCode, 2);
        EXPECT_NE(r.Err.find("no display"), std::string::npos) << r.Err;
        EXPECT_TRUE(r.GroupGone);
    }
}

TEST_F(ProgramProcess, WrapperEndsTheSimulatorWithTheProgram) {
    const TRun r = RunProgram({Wrapper, VO_PROGRAM_DIR, "-NoForm", "-NoAuto", "-script:" + (Dir / "work" / "mark.sct").string()}, Env, Dir);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Err.find("simulated drive (VX-41) on COM1 = /dev/pts/"), std::string::npos) << r.Err;
    EXPECT_TRUE(fs::is_directory(Dir / "work" / "marker"));
    EXPECT_TRUE(r.GroupGone) << "the simulator outlived the program";
}

TEST_F(ProgramProcess, StartsOnAnXServerUnderXvfb) {
    const std::string xvfb = "/usr/bin/xvfb-run";
    if (!fs::exists(xvfb))
        GTEST_SKIP() << "xvfb-run is not installed";
    // The real platform plug-in (xcb) instead of offscreen.
    auto env = Env;
    env[2] = {"QT_QPA_PLATFORM", ""};
    env.push_back({"DISPLAY", ""});
    // No session bus: nothing may start a bus daemon that outlives the run.
    env.push_back({"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (Dir / "no-bus").string()});
    const char* lsan = std::getenv("LSAN_OPTIONS");
    env.push_back({"LSAN_OPTIONS", std::string(lsan ? lsan : "") + (lsan && *lsan ? ":" : "") + "suppressions=" + VO_SOURCE_DIR + "/tests/support/lsan-system.supp"});
    const TRun r = RunProgram({xvfb, "-a", Wrapper, VO_PROGRAM_DIR, "-NoForm", "-NoAuto", "-script:" + (Dir / "work" / "mark.sct").string()},
                              env, Dir);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_TRUE(fs::is_directory(Dir / "work" / "marker"));
    EXPECT_TRUE(r.GroupGone);
}

} // namespace
} // namespace vo
