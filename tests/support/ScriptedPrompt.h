#pragma once
// A user prompt for headless tests: records every message box and answers
// from a script of results (then with a default answer). Install it for a
// scope with TUserPromptScope or use TScriptedPromptScope.
#include <deque>
#include <mutex>
#include <vector>

#include "kernel/UserPrompt.h"

namespace vo::test {

class TScriptedPrompt : public TUserPrompt {
public:
    // Answers given in order; when they are used up, DefaultAnswer.
    void Answer(TModalResult r);
    TModalResult DefaultAnswer = mrOk;

    TModalResult Prompt(const TPromptRequest& Request) override;

    std::vector<TPromptRequest> Requests() const;
    std::vector<MyAnsiString> Texts() const;
    std::size_t Count() const;
    void Clear();

private:
    mutable std::mutex Lock;
    std::deque<TModalResult> Script;
    std::vector<TPromptRequest> Seen;
};

// A scripted prompt installed for the lifetime of the object.
class TScriptedPromptScope : public TScriptedPrompt {
public:
    TScriptedPromptScope() : Prev(SetUserPrompt(this)) {}
    ~TScriptedPromptScope() override { SetUserPrompt(Prev); }

private:
    TUserPrompt* Prev;
};

} // namespace vo::test
