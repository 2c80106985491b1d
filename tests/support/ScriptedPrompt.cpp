#include "tests/support/ScriptedPrompt.h"

namespace vo::test {

void TScriptedPrompt::Answer(TModalResult r) {
    std::lock_guard l(Lock);
    Script.push_back(r);
}

TModalResult TScriptedPrompt::Prompt(const TPromptRequest& Request) {
    std::lock_guard l(Lock);
    Seen.push_back(Request);
    if (Script.empty()) return DefaultAnswer;
    TModalResult r = Script.front();
    Script.pop_front();
    return r;
}

std::vector<TPromptRequest> TScriptedPrompt::Requests() const {
    std::lock_guard l(Lock);
    return Seen;
}

std::vector<MyAnsiString> TScriptedPrompt::Texts() const {
    std::lock_guard l(Lock);
    std::vector<MyAnsiString> r;
    for (const auto& s : Seen) r.push_back(s.Text);
    return r;
}

std::size_t TScriptedPrompt::Count() const {
    std::lock_guard l(Lock);
    return Seen.size();
}

void TScriptedPrompt::Clear() {
    std::lock_guard l(Lock);
    Seen.clear();
    Script.clear();
}

} // namespace vo::test
