#include "kernel/LoginPrompts.h"

namespace vo {

namespace {

class TNoLoginInfo final : public TLoginInfoWindow {
public:
    void AddString(const MyAnsiString&) override {}
    void SetLastLine(const MyAnsiString&) override {}
};

class TCautiousQuestion final : public TLoginQuestionPrompt {
public:
    TModalResult Ask(const TLoginQuestion&) override { return mrNo; }
};

TNoLoginInfo NoLoginInfo;
TCautiousQuestion CautiousQuestion;
TLoginInfoWindow* InfoWindow = nullptr;
TLoginQuestionPrompt* QuestionPrompt = nullptr;

} // namespace

TLoginInfoWindow& LoginInfoWindow() {
    return InfoWindow ? *InfoWindow : NoLoginInfo;
}

TLoginQuestionPrompt& LoginQuestionPrompt() {
    return QuestionPrompt ? *QuestionPrompt : CautiousQuestion;
}

TLoginInfoWindow* SetLoginInfoWindow(TLoginInfoWindow* Window) {
    TLoginInfoWindow* prev = InfoWindow;
    InfoWindow = Window;
    return prev;
}

TLoginQuestionPrompt* SetLoginQuestionPrompt(TLoginQuestionPrompt* Prompt) {
    TLoginQuestionPrompt* prev = QuestionPrompt;
    QuestionPrompt = Prompt;
    return prev;
}

} // namespace vo
