#pragma once
// Starting the program's main form in a GUI test: the whole composition with
// a scripted user prompt, the program folder of the build (or a fixture
// folder) and the user's data and settings folders below a test folder; and
// pumping Qt's events until something observable happens.
#include "kernel/UserPrompt.h"
#include "platform/FileNames.h"
#include "shell/StartHooks.h"
#include "shell/app/Composition.h"
#include "shell/gui/Main.h"
#include "tests/support/ScriptedPrompt.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vo::test {

// Processes events until Pred holds; false after Ms milliseconds.
inline bool WaitFor(const std::function<bool()>& Pred, int Ms = 15000) {
    QElapsedTimer t;
    t.start();
    while (!Pred()) {
        if (t.elapsed() > Ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Installs the program's parts with Prompt answering every message, and the
// options of a start with Args: user folders "data" and "config" below Root.
inline TMainFormOptions ProgramStart(TScriptedPrompt& Prompt, const std::filesystem::path& Root,
                                     std::vector<std::string> Args,
                                     const std::filesystem::path& ProgramDir = VO_PROGRAM_DIR) {
    InstallProgramParts();
    auto install = ShellStartHooks().InstallDialogs;
    ShellStartHooks().InstallDialogs = [install, &Prompt] {
        install();
        SetUserPrompt(&Prompt);
    };
    TMainFormOptions o;
    o.WorkDir = RealPathToStored(ProgramDir) + "\\";
    o.Args = std::move(Args);
    o.DataHome = Root / "data";
    o.ConfigHome = Root / "config";
    return o;
}

} // namespace vo::test
