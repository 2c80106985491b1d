#pragma once
// Application views: a node of the model tree that has something to show names
// a view factory (TModelItem::View). When the user selects such a node, the
// project window takes a view from that factory, docks the view's panel and
// status bar into its own client area and shows it; when the selection moves
// on, the view is hidden, its per-node context goes back to the tree entry and
// the view returns to the factory's pool for the next node of the same kind.
//
// A view receives over its life: vaCreate once, then for every node it shows
// vaInit, vaShow, vaHide, vaDone, and vaDestroy when its factory is freed.
// The controls a view docks are GUI objects behind TViewControl; the Qt side
// is in kernel/gui/QtViews.h.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "kernel/ModTree.h"
#include "kernel/Object.h"

namespace vo {

enum TAppViewAction : std::uint8_t { vaInit,
                                     vaShow,
                                     vaHide,
                                     vaDone,
                                     vaCreate,
                                     vaDestroy };

const char* AppViewActionText(TAppViewAction Action) noexcept; // "vaInit", ...

// A GUI control that can be docked (a view's panel or status bar) or a place
// where such a control is docked (the project window's panels).
class TViewControl {
public:
    virtual ~TViewControl() = default;
    virtual TViewControl* GetParent() const = 0;
    // Moves the control into AParent (null: out of every parent).
    virtual void SetParent(TViewControl* AParent) = 0;
    virtual void SetVisible(bool Value) = 0;
    virtual bool GetVisible() const = 0;
    // Makes the control fill its parent.
    virtual void AlignClient() = 0;
};

class TApplicationView;

using TAppViewExec = std::function<void(TAppViewAction Action)>;
// Handlers of the window's actions (menu and toolbar commands) a view takes.
using TAppViewActionEvent = std::function<void(TObject* Action, bool& Handled)>;

// A window command offered to the docked view (ActionUpdate, ActionExecute):
// views recognise it by its tag (FilePrint 15 ...) and enable it in their
// update.
class TAppViewActionInfo : public TObject {
public:
    int Tag = 0;
    bool Enabled = false;
};

class TApplicationViewFactory : public TObject {
public:
    TApplicationViewFactory();
    // Every view the factory made is freed: pooled ones get vaDestroy; a view
    // still out is hidden first.
    ~TApplicationViewFactory() override;
    TApplicationViewFactory(const TApplicationViewFactory&) = delete;
    TApplicationViewFactory& operator=(const TApplicationViewFactory&) = delete;

    // The most recently released view from the pool; when the pool is empty,
    // a new view from CreateApplicationView, which then receives vaCreate.
    // The factory keeps ownership of every view it made.
    TApplicationView& CreateView();
    // Puts the view back into the pool (a view of another factory or one
    // already pooled is refused).
    void ReleaseView(TApplicationView& AppView);

    int PoolCount() const noexcept { return static_cast<int>(FViewPool.size()); }
    int ViewCount() const noexcept { return static_cast<int>(FViews.size()); }

protected:
    // Each concrete factory creates its own view class.
    virtual std::unique_ptr<TApplicationView> CreateApplicationView() = 0;

private:
    std::vector<std::unique_ptr<TApplicationView>> FViews; // every view made
    std::vector<TApplicationView*> FViewPool; // released, ready for reuse
};

class TApplicationView : public TObject {
public:
    explicit TApplicationView(TApplicationViewFactory& AOwner);
    ~TApplicationView() override;
    TApplicationView(const TApplicationView&) = delete;
    TApplicationView& operator=(const TApplicationView&) = delete;

    // Takes the per-node context (may be null), then vaInit.
    void Initialize(std::unique_ptr<TObject> AContext);
    // Nothing when already visible; else docks the panel into APanelParent
    // and the status bar into AStatusBarParent, shows them, then vaShow. The
    // toolbar parent is for views that have a toolbar.
    void ShowView(TEntryItem* AEntry, TViewControl* APanelParent, TViewControl* AToolbarParent,
                  TViewControl* AStatusBarParent, TGetStrVarEvent AOnGetStrVar);
    // Nothing when not visible; else vaHide, panel and status bar hidden and
    // given back to their previous parents, entry and model forgotten.
    void HideView();
    // vaDone (a visible view is hidden first), hands back the context and
    // returns the view to its factory's pool.
    std::unique_ptr<TObject> Release();

    // Each once: a second one raises "panel redefinition not allowed" /
    // "Status bar redefinition not allowed".
    void SetPanel(TViewControl* Value);
    void SetStatusBar(TViewControl* Value);

    // The answer of the string-variable handler given to ShowView.
    MyAnsiString GetStrVar(const MyAnsiString& AName) const;

    virtual void Execute(TAppViewAction Action);
    virtual void ActionExecute(TObject* Action, bool& Handled);
    virtual void ActionUpdate(TObject* Action, bool& Handled);

    TApplicationViewFactory& Owner() const noexcept { return *FOwner; }
    TEntryItem* Entry() const noexcept { return FEntry; }
    TModelItem* Model() const noexcept { return FModel; }
    bool Visible() const noexcept { return FVisible; }
    TObject* ViewCtx() const noexcept { return FViewCtx.get(); }
    // A view that makes its own context when it was given none (in vaInit).
    void SetViewCtx(std::unique_ptr<TObject> Value) { FViewCtx = std::move(Value); }
    TViewControl* Panel() const noexcept { return FPanel; }
    TViewControl* StatusBar() const noexcept { return FStatusBar; }
    TViewControl* PanelParent() const noexcept { return FPanelParent; }
    TViewControl* StatusBarParent() const noexcept { return FStatusBarParent; }
    TViewControl* ToolbarParent() const noexcept { return FToolbarParent; }

    TAppViewActionEvent OnActionExecute;
    TAppViewActionEvent OnActionUpdate;
    TAppViewExec OnExecute;

private:
    void Dock(TViewControl* AControl, TViewControl* AParent);

    TEntryItem* FEntry = nullptr;
    TModelItem* FModel = nullptr;
    TViewControl* FOldPanelParent = nullptr;
    TViewControl* FOldStatusBarParent = nullptr;
    TGetStrVarEvent FOnGetStrVar;
    TApplicationViewFactory* FOwner;
    TViewControl* FPanel = nullptr;
    TViewControl* FStatusBar = nullptr;
    TViewControl* FPanelParent = nullptr;
    TViewControl* FToolbarParent = nullptr;
    TViewControl* FStatusBarParent = nullptr;
    bool FVisible = false;
    std::unique_ptr<TObject> FViewCtx;
};

// What the project window does with views: shows the view of the selected
// tree entry in its panels and puts the previous one back.
class TApplicationViewHost {
public:
    TApplicationViewHost(TViewControl* APanel, TViewControl* AToolbar, TViewControl* AStatusBar,
                         TGetStrVarEvent AOnGetStrVar = {});
    // Hides the shown view and hands its context back to its entry.
    ~TApplicationViewHost();
    TApplicationViewHost(const TApplicationViewHost&) = delete;
    TApplicationViewHost& operator=(const TApplicationViewHost&) = delete;

    // Shows the view of AEntry's node (null or a node without view factory:
    // none). The current view is hidden and released first, its context
    // stored back into its entry. The same entry again changes nothing.
    void ShowEntry(TEntryItem* AEntry);
    void HideCurrent();
    // The entry is about to be freed: a view showing it is hidden and its
    // context dropped (wire to TEntryManager::OnEntryFree).
    void EntryFreed(TEntryItem& AEntry);
    // Shows the view of the entry manager's selected node.
    void ShowSelected(const TEntryManager& AEntries);

    TApplicationView* CurrentView() const noexcept { return FView; }
    TEntryItem* CurrentEntry() const noexcept { return FEntry; }

private:
    void HideAndRelease(bool AKeepContext);

    TViewControl* FPanel;
    TViewControl* FToolbar;
    TViewControl* FStatusBar;
    TGetStrVarEvent FOnGetStrVar;
    TApplicationView* FView = nullptr;
    TEntryItem* FEntry = nullptr;
};

} // namespace vo
