#pragma once
// The login dialogs as the device side sees them, without a GUI dependency:
// the login information window (a progress log of the device opening) and the
// login question (a yes/no question with a details text). The GUI installs its
// forms at start-up (kernel/gui/LoginInfo, kernel/gui/LoginMsg); headless runs
// and tests install their own. Until something is installed, the information
// window keeps nothing and the question answers No (the cautious answer).
#include "kernel/UserPrompt.h"
#include "platform/AnsiString.h"

namespace vo {

class TLoginInfoWindow {
public:
    virtual ~TLoginInfoWindow() = default;
    // Appends a line.
    virtual void AddString(const MyAnsiString& AStr) = 0;
    // Rewrites the last line (appends one when there is none): progress.
    virtual void SetLastLine(const MyAnsiString& AStr) = 0;
};

// One question of the login question dialog.
struct TLoginQuestion {
    MyAnsiString Message; // the question
    MyAnsiString Details; // shown on request ("Show Details")
    bool YesVisible = true; // false: only the second button
    MyAnsiString NoCaption = "No"; // e.g. "OK" for a plain notice
};

class TLoginQuestionPrompt {
public:
    virtual ~TLoginQuestionPrompt() = default;
    // Shows the question modally: mrYes or mrNo (mrNo also when closed).
    virtual TModalResult Ask(const TLoginQuestion& Question) = 0;
};

// The program-wide instances (never null: the fallbacks until others are set).
TLoginInfoWindow& LoginInfoWindow();
TLoginQuestionPrompt& LoginQuestionPrompt();
// Install (nullptr restores the fallback) and return the one before. The
// caller keeps ownership; uninstall before it is destroyed.
TLoginInfoWindow* SetLoginInfoWindow(TLoginInfoWindow* Window);
TLoginQuestionPrompt* SetLoginQuestionPrompt(TLoginQuestionPrompt* Prompt);

} // namespace vo
