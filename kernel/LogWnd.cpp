#include "kernel/LogWnd.h"

#include <algorithm>

namespace vo {

TLogWindowManager::TLogWindowManager() = default;

TLogWindowManager::~TLogWindowManager() {
    while (!WindowList.empty())
        HideLogWindow(WindowList.back().Handle);
}

std::vector<TLogWindowManager::TEntry>::iterator TLogWindowManager::Find(int AHandle) {
    return std::find_if(WindowList.begin(), WindowList.end(), [AHandle](const TEntry& e) { return e.Handle == AHandle; });
}

TLogWindowView* TLogWindowManager::Window(int AHandle) const {
    for (const auto& e : WindowList)
        if (e.Handle == AHandle)
            return e.View.get();
    return nullptr;
}

int TLogWindowManager::ShowLogWindow(const MyAnsiString& ACaption, TLogAbortEvent AOnAbort) {
    std::unique_ptr<TLogWindowView> view = FFactory ? FFactory(*this) : std::make_unique<TMemoryLogWindow>();
    view->SetCaption(ACaption);
    view->ShowWindow();
    const int handle = FNextHandle++;
    WindowList.push_back(TEntry{handle, std::move(view), std::move(AOnAbort)});
    if (FOnRegWnd)
        FOnRegWnd(*WindowList.back().View);
    return handle;
}

void TLogWindowManager::PrintMessage(int AHandle, const MyAnsiString& Msg) {
    if (TLogWindowView* v = Window(AHandle))
        v->AppendLine(Msg);
}

void TLogWindowManager::HideLogWindow(int AHandle) {
    auto it = Find(AHandle);
    if (it == WindowList.end())
        return;
    std::unique_ptr<TLogWindowView> view = std::move(it->View);
    WindowList.erase(it);
    if (FOnUnregWnd)
        FOnUnregWnd(*view);
    view->CloseWindow();
}

void TLogWindowManager::AbortPressed(TLogWindowView& Window) {
    for (const auto& e : WindowList)
        if (e.View.get() == &Window) {
            // A copy: the handler may hide the window.
            TLogAbortEvent handler = e.OnAbort;
            const int handle = e.Handle;
            if (handler)
                handler(handle);
            return;
        }
}

void TLogWindowManager::ClosedByUser(TLogWindowView& Window) {
    for (const auto& e : WindowList)
        if (e.View.get() == &Window) {
            HideLogWindow(e.Handle);
            return;
        }
}

TLogWindowManager& LogWindowManager() {
    static TLogWindowManager manager;
    return manager;
}

} // namespace vo
