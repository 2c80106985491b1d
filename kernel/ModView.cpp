#include "kernel/ModView.h"

#include <algorithm>

#include "platform/Exception.h"

namespace vo {

const char* AppViewActionText(TAppViewAction Action) noexcept {
    switch (Action) {
    case vaInit: return "vaInit";
    case vaShow: return "vaShow";
    case vaHide: return "vaHide";
    case vaDone: return "vaDone";
    case vaCreate: return "vaCreate";
    case vaDestroy: return "vaDestroy";
    }
    return "?";
}

// --- TApplicationViewFactory ------------------------------------------------

TApplicationViewFactory::TApplicationViewFactory() = default;

TApplicationViewFactory::~TApplicationViewFactory() {
    for (auto& view : FViews) {
        if (view->Visible()) view->HideView();
        view->Execute(vaDestroy);
    }
    FViewPool.clear();
    FViews.clear();
}

TApplicationView& TApplicationViewFactory::CreateView() {
    if (!FViewPool.empty()) {
        TApplicationView* view = FViewPool.back();
        FViewPool.pop_back();
        return *view;
    }
    std::unique_ptr<TApplicationView> view = CreateApplicationView();
    if (!view || &view->Owner() != this) throw Exception("TApplicationViewFactory.CreateView: no view of this factory");
    FViews.push_back(std::move(view));
    TApplicationView& ref = *FViews.back();
    ref.Execute(vaCreate);
    return ref;
}

void TApplicationViewFactory::ReleaseView(TApplicationView& AppView) {
    const bool ours = std::any_of(FViews.begin(), FViews.end(), [&](const auto& v) { return v.get() == &AppView; });
    if (!ours) throw Exception("TApplicationViewFactory.ReleaseView: view of another factory");
    if (std::find(FViewPool.begin(), FViewPool.end(), &AppView) != FViewPool.end()) return;
    FViewPool.push_back(&AppView);
}

// --- TApplicationView -------------------------------------------------------

TApplicationView::TApplicationView(TApplicationViewFactory& AOwner) : FOwner(&AOwner) {}

TApplicationView::~TApplicationView() = default;

void TApplicationView::Initialize(std::unique_ptr<TObject> AContext) {
    FViewCtx = std::move(AContext);
    Execute(vaInit);
}

void TApplicationView::Dock(TViewControl* AControl, TViewControl* AParent) {
    if (!AControl) return;
    AControl->SetParent(AParent);
    AControl->AlignClient();
    AControl->SetVisible(true);
}

void TApplicationView::ShowView(TEntryItem* AEntry, TViewControl* APanelParent, TViewControl* AToolbarParent,
                                TViewControl* AStatusBarParent, TGetStrVarEvent AOnGetStrVar) {
    if (FVisible) return;
    FOnGetStrVar = std::move(AOnGetStrVar);
    FEntry = AEntry;
    FModel = AEntry ? &AEntry->Model() : nullptr;
    FPanelParent = APanelParent;
    FToolbarParent = AToolbarParent;
    FStatusBarParent = AStatusBarParent;
    Dock(FPanel, FPanelParent);
    Dock(FStatusBar, FStatusBarParent);
    FVisible = true;
    Execute(vaShow);
}

void TApplicationView::HideView() {
    if (!FVisible) return;
    Execute(vaHide);
    if (FPanel) {
        FPanel->SetVisible(false);
        FPanel->SetParent(FOldPanelParent);
    }
    if (FStatusBar) {
        FStatusBar->SetVisible(false);
        FStatusBar->SetParent(FOldStatusBarParent);
    }
    FEntry = nullptr;
    FModel = nullptr;
    FOnGetStrVar = nullptr;
    FPanelParent = nullptr;
    FToolbarParent = nullptr;
    FStatusBarParent = nullptr;
    FVisible = false;
}

std::unique_ptr<TObject> TApplicationView::Release() {
    HideView();
    Execute(vaDone);
    std::unique_ptr<TObject> ctx = std::move(FViewCtx);
    FOwner->ReleaseView(*this);
    return ctx;
}

void TApplicationView::SetPanel(TViewControl* Value) {
    if (FPanel) throw Exception("panel redefinition not allowed");
    if (!Value) return;
    FPanel = Value;
    FPanel->SetVisible(false);
    FOldPanelParent = FPanel->GetParent();
    if (FVisible) Dock(FPanel, FPanelParent);
}

void TApplicationView::SetStatusBar(TViewControl* Value) {
    if (FStatusBar) throw Exception("Status bar redefinition not allowed");
    if (!Value) return;
    FStatusBar = Value;
    FStatusBar->SetVisible(false);
    FOldStatusBarParent = FStatusBar->GetParent();
    if (FVisible) Dock(FStatusBar, FStatusBarParent);
}

MyAnsiString TApplicationView::GetStrVar(const MyAnsiString& AName) const {
    MyAnsiString value;
    if (FOnGetStrVar) FOnGetStrVar(AName, value);
    return value;
}

void TApplicationView::Execute(TAppViewAction Action) {
    if (OnExecute) OnExecute(Action);
}

void TApplicationView::ActionExecute(TObject* Action, bool& Handled) {
    if (OnActionExecute) OnActionExecute(Action, Handled);
}

void TApplicationView::ActionUpdate(TObject* Action, bool& Handled) {
    if (OnActionUpdate) OnActionUpdate(Action, Handled);
}

// --- TApplicationViewHost ---------------------------------------------------

TApplicationViewHost::TApplicationViewHost(TViewControl* APanel, TViewControl* AToolbar, TViewControl* AStatusBar,
                                           TGetStrVarEvent AOnGetStrVar)
    : FPanel(APanel), FToolbar(AToolbar), FStatusBar(AStatusBar), FOnGetStrVar(std::move(AOnGetStrVar)) {
}

TApplicationViewHost::~TApplicationViewHost() {
    try {
        HideAndRelease(true);
    } catch (...) {
        // a view's hide handler failed: nothing left to do at this point
    }
}

void TApplicationViewHost::HideAndRelease(bool AKeepContext) {
    if (!FView) return;
    TApplicationView* view = FView;
    TEntryItem* entry = FEntry;
    FView = nullptr;
    FEntry = nullptr;
    view->HideView();
    std::unique_ptr<TObject> ctx = view->Release();
    if (AKeepContext && entry) entry->SetContext(std::move(ctx));
}

void TApplicationViewHost::HideCurrent() {
    HideAndRelease(true);
}

void TApplicationViewHost::ShowEntry(TEntryItem* AEntry) {
    if (AEntry && AEntry == FEntry && FView) return;
    HideAndRelease(true);
    if (!AEntry) return;
    TApplicationViewFactory* factory = AEntry->Model().View();
    if (!factory) return;
    AEntry->EnsureContextSlot();
    if (AEntry->Selected() < 0 || AEntry->Selected() >= AEntry->GetContextCount()) return;
    TApplicationView& view = factory->CreateView();
    try {
        view.Initialize(AEntry->TakeContext());
        view.ShowView(AEntry, FPanel, FToolbar, FStatusBar, FOnGetStrVar);
    } catch (...) {
        // Give everything back so that nothing is lost or left half shown.
        std::unique_ptr<TObject> ctx = view.Release();
        AEntry->SetContext(std::move(ctx));
        throw;
    }
    FView = &view;
    FEntry = AEntry;
}

void TApplicationViewHost::EntryFreed(TEntryItem& AEntry) {
    if (&AEntry == FEntry) HideAndRelease(false);
}

void TApplicationViewHost::ShowSelected(const TEntryManager& AEntries) {
    TTreeNode* node = AEntries.TreeView().Selected();
    ShowEntry(node ? node->Data() : nullptr);
}

} // namespace vo
