#include "TestShell.h"

#include <algorithm>
#include <string>

namespace vo::test {

TestShell::TestShell() : previous_(SetShellServices(this)) {}

TestShell::~TestShell() { SetShellServices(previous_); }

MyAnsiString TestShell::GetProductInfoStr(const MyAnsiString& InfoName) const {
    ++const_cast<TestShell*>(this)->productInfoCalls;
    const auto it = productInfo.find(InfoName);
    return it == productInfo.end() ? MyAnsiString() : it->second;
}

MyAnsiString TestShell::GetCompanyInfoStr(const MyAnsiString& InfoName) const {
    const auto it = companyInfo.find(InfoName);
    return it == companyInfo.end() ? MyAnsiString() : it->second;
}

void TestShell::RegisterWindow(TShellWindow& AForm) {
    // Captions stay unique: "_1", "_2", ... is appended as the shell does.
    const MyAnsiString base = AForm.GetCaption();
    const auto taken = [&](const MyAnsiString& c) {
        return std::any_of(windows.begin(), windows.end(), [&](TShellWindow* w) { return w->GetCaption() == c; });
    };
    if (taken(base)) {
        for (int n = 1;; ++n) {
            const MyAnsiString candidate = base + "_" + std::to_string(n);
            if (!taken(candidate)) {
                AForm.SetCaption(candidate);
                break;
            }
        }
    }
    windows.push_back(&AForm);
}

void TestShell::UnregisterWindow(TShellWindow& AForm) {
    std::erase(windows, &AForm);
}

TConnectionLostAnswer TestShell::ShowConnectionLost(const MyAnsiString& AMessage) {
    connectionLostMessages.push_back(AMessage);
    return connectionLostAnswer;
}

} // namespace vo::test
