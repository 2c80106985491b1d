#pragma once
// Log windows: small top-level windows that show the progress of long
// background work (saving and loading configuration files) one line per
// message, with an "&Abort" button that asks the work to stop. The manager
// creates them on request, names each by an integer handle, routes messages to
// them and closes them; it tells the shell about each window (its window list)
// through FOnRegWnd and FOnUnregWnd.
//
// The manager is free of any GUI: the windows come from a factory that the GUI
// installs (kernel/gui/LogWindow); without one, windows live in memory only
// (headless runs and tests read their lines).
#include "kernel/ShellServices.h"
#include "platform/AnsiString.h"

#include <functional>
#include <memory>
#include <vector>

namespace vo {

class TLogWindowManager;

// One log window as the manager sees it.
class TLogWindowView : public TShellWindow {
public:
    // Appends a line to the text area.
    virtual void AppendLine(const MyAnsiString& Line) = 0;
    // Shows the window.
    virtual void ShowWindow() = 0;
    // Closes (and frees the window's GUI side); no callback follows.
    virtual void CloseWindow() = 0;
};

// Called by a window when its "&Abort" button is pressed, and when the user
// closed it.
class TLogWindowEvents {
public:
    virtual ~TLogWindowEvents() = default;
    virtual void AbortPressed(TLogWindowView& Window) = 0;
    virtual void ClosedByUser(TLogWindowView& Window) = 0;
};

using TLogWindowFactory = std::function<std::unique_ptr<TLogWindowView>(TLogWindowEvents& Events)>;
using TWindowEvent = std::function<void(TShellWindow& Window)>;
// The abort handler gets the window's handle.
using TLogAbortEvent = std::function<void(int Handle)>;

// A window without a GUI: keeps its caption and lines.
class TMemoryLogWindow : public TLogWindowView {
public:
    MyAnsiString GetCaption() const override { return FCaption; }
    void SetCaption(const MyAnsiString& ACaption) override { FCaption = ACaption; }
    void AppendLine(const MyAnsiString& Line) override { FLines.push_back(Line); }
    void ShowWindow() override { FShown = true; }
    void CloseWindow() override { FShown = false; }
    const std::vector<MyAnsiString>& Lines() const { return FLines; }
    bool Shown() const { return FShown; }

private:
    MyAnsiString FCaption = "LogWindow";
    std::vector<MyAnsiString> FLines;
    bool FShown = false;
};

class TLogWindowManager : private TLogWindowEvents {
public:
    TLogWindowManager();
    // Closes every open window.
    ~TLogWindowManager() override;
    TLogWindowManager(const TLogWindowManager&) = delete;
    TLogWindowManager& operator=(const TLogWindowManager&) = delete;

    // The factory of new windows (nullptr: windows in memory).
    void SetWindowFactory(TLogWindowFactory Factory) { FFactory = std::move(Factory); }

    // Creates, captions and shows a window, lists it, tells FOnRegWnd and
    // returns its handle (never 0, never reused).
    int ShowLogWindow(const MyAnsiString& ACaption, TLogAbortEvent AOnAbort);
    // Appends a line; a handle of no open window is ignored.
    void PrintMessage(int AHandle, const MyAnsiString& Msg);
    // Unlists the window, tells FOnUnregWnd and closes it; a handle of no
    // open window is ignored.
    void HideLogWindow(int AHandle);

    // The open window of a handle (nullptr: none).
    TLogWindowView* Window(int AHandle) const;
    int WindowCount() const { return static_cast<int>(WindowList.size()); }

    TWindowEvent FOnRegWnd;
    TWindowEvent FOnUnregWnd;

private:
    struct TEntry {
        int Handle;
        std::unique_ptr<TLogWindowView> View;
        TLogAbortEvent OnAbort;
    };
    void AbortPressed(TLogWindowView& Window) override;
    void ClosedByUser(TLogWindowView& Window) override;
    std::vector<TEntry>::iterator Find(int AHandle);

    TLogWindowFactory FFactory;
    std::vector<TEntry> WindowList;
    int FNextHandle = 1;
};

// The program-wide manager.
TLogWindowManager& LogWindowManager();

} // namespace vo
