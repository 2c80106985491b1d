#pragma once
// The project tree window: the device manager's model as a tree on the left,
// the view of the selected entry docked on the right, the menus, toolbar and
// drive selector on top. Its commands come from one table (shell/TreeAppRules)
// whose rules run on idle and before a menu opens; the docked view is offered
// each command first.
#include "kernel/ModView.h"
#include "kernel/Object.h"
#include "kernel/ShellServices.h"
#include "shell/MenuList.h"
#include "shell/TreeAppRules.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QDropEvent;
class QMenu;
class QStatusBar;
class QTimer;
class QToolBar;

namespace vo {

class TApplicationView;
class TDevice;
class TEntryItem;
class TEntryManager;
class TModelManager;
class TQtViewControl;
class TServiceClient;
class TShellSettings;
class TTreeView;
class TTreeViewWidget;

// A command as the docked view sees it: its tag (10-25 for the generic
// commands) and whether the view enables it.
class TWindowAction : public TAppViewActionInfo {
public:
    TTreeAction Action = TTreeAction::Count;
};

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

class TTreeAppForm : public QMainWindow, public TShellWindow {
    Q_OBJECT
public:
    TTreeAppForm(TMenuList& Windows, TMenuList& Views, TMenuList& Languages, TShellSettings& Settings,
                 QWidget* Parent = nullptr);
    ~TTreeAppForm() override;

    MyAnsiString GetCaption() const override;
    void SetCaption(const MyAnsiString& ACaption) override;

    // Binds the tree to the model and selects its first node (once).
    void AddModel(TModelManager& AModelManager);
    // The first view asked for waits for the window's first paint, so the
    // first frame does not wait for it; a later view asked for before that
    // replaces it and shows at once. Called before AddModel.
    void DeferFirstViewToPaint() { FDeferView = true; }
    QAction* Action(TTreeAction A) const { return FActions[static_cast<std::size_t>(A)]; }

    // The selection as a path ("Project:\\BOX1 ...\Parameters"); going to one.
    MyAnsiString PathStr() const;
    void SetPathStr(const MyAnsiString& Path);
    TEntryManager* EntryManager() const { return FEntryManager.get(); }
    TEntryItem* CurrentEntry() const { return FCurrentEntry; }
    TApplicationView* CurrentView() const { return FCurrentView; }
    TDevice* GlobalDevice() const;
    // The string variable of the current entry's model item ("" without one).
    MyAnsiString GetStrVar(const MyAnsiString& AName) const;

    // What the enabling rules see now.
    TTreeAppState State() const;
    // The update pass: the docked view first, then the rule of each command.
    void UpdateActions();
    void UpdateMenuLanguage();
    void DevManUpdate();

    // The main form's side.
    std::function<void(TTreeAppForm&)> OnAppFormClose;
    std::function<void()> OnLogin;
    std::function<void()> OnNewCommander;
    std::function<int()> CommanderCount; // open project tree windows
    std::function<bool()> CanScan;
    // Called once, just after the window's first frame.
    std::function<void()> OnFirstFrame;
    // Hooks for dropping parameters or variables of a list view on an entry
    // of the tree: OnDragOverEntry is asked on drag-enter and drag-move (true:
    // the entry would take it), OnDropOnEntry on the drop (true: it took it;
    // the tree repaints). Without a hook nothing is accepted.
    std::function<bool(QDropEvent& Event, TEntryItem* Target)> OnDragOverEntry;
    std::function<bool(QDropEvent& Event, TEntryItem* Target)> OnDropOnEntry;

    QMenu* FileMenu;
    QMenu* SearchMenu;
    QMenu* DriveMenu;
    QMenu* ServicesMenu;
    QMenu* OptionsMenu;
    QMenu* LanguageMenu;
    QMenu* UPIDDispModeMenu;
    QMenu* RawDataDispModeMenu;
    QMenu* ExitWarningMenu;
    QMenu* WindowMenu;
    QMenu* ToolsMenu;
    QMenu* ManualsMenu;
    QMenu* HelpMenu;
    QAction* RelevantDocs;
    QAction* AllDocuments;
    QMenu* NewMenu;
    QToolBar* ToolBar1;
    QComboBox* DeviceCbo;
    QWidget* LeftPanel;
    TTreeViewWidget* MainTreeView;
    QWidget* Panel; // parent of the docked views
    QWidget* BottomPanel;
    QStatusBar* StatusBar1;

protected:
    void changeEvent(QEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    // The captions and the commands' states brought up to date before the
    // window's layout is made for showing it (so that it is made once), and
    // when the window system shows it again.
    void setVisible(bool Visible) override;
    void showEvent(QShowEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void Execute(TTreeAction A);
    void Activate(bool Active);
    void EntryManagerUpdate();
    void ShowEntry(TEntryItem* Entry);
    void HideCurrentEntry();
    void ShowView(int Index);
    void HideCurrentView();
    void ShowDeferredView();
    void DeviceCboChange(int Index);
    void GoToPage(const char* Suffix);

    TMenuList& FWindows;
    TMenuList& FViews;
    TMenuList& FLanguages;
    TShellSettings& FSettings;
    std::array<QAction*, static_cast<std::size_t>(TTreeAction::Count)> FActions{};
    std::array<TWindowAction, static_cast<std::size_t>(TTreeAction::Count)> FViewActions{};
    std::unique_ptr<TQtMenuAnchor> FWindowAnchor;
    std::unique_ptr<TQtMenuAnchor> FViewAnchor;
    std::unique_ptr<TQtMenuAnchor> FLanguageAnchor;
    std::unique_ptr<TTreeView> FTree;
    std::unique_ptr<TEntryManager> FEntryManager;
    std::unique_ptr<TServiceClient> FDevManClient;
    std::unique_ptr<TQtViewControl> FPanelControl;
    std::unique_ptr<TQtViewControl> FTopControl;
    std::unique_ptr<TQtViewControl> FBottomControl;
    QTimer* FIdle;
    QObject* FTreeViewport = nullptr; // watched for drops
    TEntryItem* FCurrentEntry = nullptr;
    TApplicationView* FCurrentView = nullptr;
    MyAnsiString FDeviceName; // the drive of the current entry
    bool FStatusConnected = false;
    bool FActive = false;
    bool FClosing = false;
    bool FSelecting = false; // the selector is being filled
    bool FDeferView = false; // the next view waits for the first paint
    bool FViewDeferred = false; // the current entry's view is waiting
    bool FPainted = false;
};

} // namespace vo
