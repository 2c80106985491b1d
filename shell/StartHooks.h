#pragma once
// What the program adds to the shell's start-up from the folders above it
// (script runtime, configuration files, ...). The program fills the hooks in
// one place (shell/app/Composition.cpp) before the main form is created; an
// empty hook is skipped.
#include "platform/AnsiString.h"

#include <functional>

namespace vo {

class TDevice;
class TStorageManager;

struct TShellStartHooks {
    // After the main form's own kernel objects exist and before anything is
    // read: installs the program's message boxes, login prompts, log windows
    // and printer.
    std::function<void()> InstallDialogs;
    // The script runtime on the storage manager: the script-task factory,
    // "loadclass" and the script classes.
    std::function<void(TStorageManager& Manager)> InstallScripting;
    // Calls Listener whenever the script task manager's tasks change.
    std::function<void(std::function<void()> Listener)> ListenToScriptTasks;
    // True while a script task runs.
    std::function<bool()> ScriptTasksRunning;
    // Loads the configuration of an offline device once it has started.
    std::function<void(TDevice& Device)> LoadOfflineConfiguration;
    // Start-up work left for after the first window's first frame (what the
    // program made on first use, made now, before the user asks for it).
    std::function<void()> AfterFirstFrame;
};

TShellStartHooks& ShellStartHooks();

} // namespace vo
