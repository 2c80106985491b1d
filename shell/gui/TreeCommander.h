#pragma once
// The project tree window as far as the shell needs it now: the window the
// user works in, with the File menu (login, offline configuration, new
// window, exit) and the shared Window, View and Language menus. The project
// tree itself joins later.
#include "kernel/ShellServices.h"
#include "shell/MenuList.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;

namespace vo {

// The entries of a menu list behind an anchor action of one menu.
class TQtMenuAnchor : public TMenuAnchor {
public:
    TQtMenuAnchor(QMenu& Menu, QAction& Anchor) : FMenu(Menu), FAnchor(Anchor) {}
    ~TQtMenuAnchor() override;
    void MenuListChanged(const TMenuList& List, bool Shown) override;
    const std::vector<QAction*>& Actions() const { return FActions; }

private:
    QMenu& FMenu;
    QAction& FAnchor;
    std::vector<QAction*> FActions;
};

class TTreeCommander : public QMainWindow, public TShellWindow {
    Q_OBJECT
public:
    TTreeCommander(TMenuList& Windows, TMenuList& Views, TMenuList& Languages, QWidget* Parent = nullptr);
    ~TTreeCommander() override;

    MyAnsiString GetCaption() const override;
    void SetCaption(const MyAnsiString& ACaption) override;

    // The main form's handlers.
    std::function<void(TTreeCommander&)> OnAppFormClose;
    std::function<void()> OnLogin; // File, Login (Ctrl+L)
    std::function<void()> OnOpenOffline; // File, Open Configuration
    std::function<void()> OnNewCommander; // File, New Window

    QMenu* FileMenu;
    QMenu* WindowMenu;
    QMenu* ViewMenu;
    QMenu* LanguageMenu;
    QAction* LoginAct;
    QAction* OfflineAct;
    QAction* NewCommanderAct;
    QAction* ExitAct;
    QLabel* StatusText;

protected:
    void changeEvent(QEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    void Activate(bool Active);

    TMenuList& FWindows;
    TMenuList& FViews;
    TMenuList& FLanguages;
    std::unique_ptr<TQtMenuAnchor> FWindowAnchor;
    std::unique_ptr<TQtMenuAnchor> FViewAnchor;
    std::unique_ptr<TQtMenuAnchor> FLanguageAnchor;
    bool FActive = false;
    bool FClosing = false;
};

} // namespace vo
