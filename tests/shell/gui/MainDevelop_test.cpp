// The program started from a fixture folder whose settings name no window
// ("ViewInfo" without "Name") and ask for an automatic login, with the
// command-line word "develop": it logs that it started for development,
// skips the automatic login, opens no window and ends with exit code 0.
// One start per process: the composition lives until the process ends.
#include "shell/gui/Main.h"

#include "devices/DevMan.h"
#include "kernel/Debug.h"
#include "platform/FileNames.h"
#include "shell/StartHooks.h"
#include "shell/app/Composition.h"
#include "storagelib/RefObj.h"
#include "tests/support/DataDir.h"
#include "tests/support/ProgramStart.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/ScriptedPrompt.h"
#include "tools/slarc/SlArc.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace fs = std::filesystem;

namespace vo {
namespace {

std::string ReadText(const fs::path& File) {
    std::ifstream in(File, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Replace(std::string& Text, const std::string& From, const std::string& To) {
    const std::size_t at = Text.find(From);
    ASSERT_NE(at, std::string::npos) << From;
    Text.replace(at, From.size(), To);
}

// A program folder like the build's, with the program configuration edited.
fs::path MakeProgramFolder(const fs::path& Root) {
    const fs::path program = Root / "program";
    const fs::path sources = Root / "archive";
    fs::create_directories(program);
    fs::copy(fs::path(test::DataDir()) / "Archives", sources, fs::copy_options::recursive);
    std::string ini = ReadText(sources / "Config" / "VelCmdr.ini");
    Replace(ini, "/Name 'Velkor-Ovra'", "");
    Replace(ini, "/Auto #0", "/Auto #1");
    std::ofstream(sources / "Config" / "VelCmdr.ini", std::ios::binary | std::ios::trunc) << ini;
    slarc::TOptions a;
    a.Output = (program / "Archives.sla").string();
    a.Root = sources.string();
    a.Inputs = {sources.string()};
    slarc::WriteArchive(a);
    for (const char* entry : {"LanguageDef", "Firmware", "ViewConfig.ini", "PackInst.sla"})
        fs::create_symlink(fs::path(VO_PROGRAM_DIR) / entry, program / entry);
    return program;
}

TEST(MainFormStart, DevelopWithoutWindowNameSkipsAutoLoginAndEnds) {
    const fs::path root = fs::temp_directory_path() / ("vo-maindevelop-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path program = MakeProgramFolder(root);
    // Archives below the current folder win over the program's: work from
    // one that has none.
    const fs::path before = fs::current_path();
    fs::current_path(root);

    test::TScriptedPrompt prompt;
    TMainFormOptions o = test::ProgramStart(prompt, root, {"develop", "-NoAuto"}, program);
    TDebugLineSink log;
    std::vector<MyAnsiString> lines;
    int exitCode = -1;
    {
        TMainForm form(o);
        form.OnTerminate = [&](int Code) { exitCode = Code; };
        ASSERT_TRUE(form.FormCreate());
        // The log is watched from before the first step of the main task.
        DebugManager()->SetDebugMemo(&log);
        DebugManager()->SetDebugingEnabled(true);
        ASSERT_TRUE(test::WaitFor([&] {
            for (MyAnsiString& l : log.Drain())
                lines.push_back(std::move(l));
            return exitCode != -1;
        })) << MainStateText(form.MainTask().State())
            << ", windows: " << form.WindowCaptions().size() << (form.WindowCaptions().empty() ? "" : form.WindowCaptions().front())
            << ", devices: " << DeviceManager()->GetDeviceCount() << ", " << lines.size() << " lines logged";
        DebugManager()->SetDebugMemo(nullptr);
        EXPECT_EQ(exitCode, 0);
        EXPECT_EQ(form.NumberOfCommander(), 0);
        EXPECT_TRUE(form.WindowCaptions().empty());
        // The automatic login of the settings was not made.
        EXPECT_EQ(DeviceManager()->GetDeviceCount(), 0);
        EXPECT_EQ(form.MainTask().State(), stReady);
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                [](const MyAnsiString& L) { return L.find("Started as DEVELOP") != MyAnsiString::npos; }))
            << lines.size() << " lines logged";
        EXPECT_TRUE(prompt.Texts().empty()) << prompt.Texts().front();
    }
    PurgeAutoReleasePool();
    fs::current_path(before);
    std::error_code ec;
    fs::remove_all(root, ec);
}

} // namespace
} // namespace vo
