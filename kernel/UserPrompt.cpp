#include "kernel/UserPrompt.h"

#include <atomic>
#include <cstdio>

namespace vo {

TModalResult ModalResultOf(TMsgDlgBtn b) {
    switch (b) {
    case TMsgDlgBtn::mbYes: return mrYes;
    case TMsgDlgBtn::mbNo: return mrNo;
    case TMsgDlgBtn::mbOK: return mrOk;
    case TMsgDlgBtn::mbCancel: return mrCancel;
    case TMsgDlgBtn::mbAbort: return mrAbort;
    case TMsgDlgBtn::mbRetry: return mrRetry;
    case TMsgDlgBtn::mbIgnore: return mrIgnore;
    case TMsgDlgBtn::mbAll: return mrAll;
    case TMsgDlgBtn::mbNoToAll: return mrNoToAll;
    case TMsgDlgBtn::mbYesToAll: return mrYesToAll;
    case TMsgDlgBtn::mbHelp: return mrHelp;
    case TMsgDlgBtn::mbClose: return mrClose;
    }
    return mrNone;
}

namespace {

const char* KindText(TMsgDlgType k) {
    switch (k) {
    case TMsgDlgType::mtWarning: return "Warning";
    case TMsgDlgType::mtError: return "Error";
    case TMsgDlgType::mtInformation: return "Information";
    case TMsgDlgType::mtConfirmation: return "Confirm";
    case TMsgDlgType::mtCustom: break;
    }
    return "Message";
}

// Headless fallback: nobody can answer, so take the most cautious button.
class TFallbackPrompt final : public TUserPrompt {
public:
    TModalResult Prompt(const TPromptRequest& r) override {
        std::fprintf(stderr, "[%s] %s\n", KindText(r.Kind), r.Text.c_str());
        static constexpr TMsgDlgBtn Order[] = {
            TMsgDlgBtn::mbCancel, TMsgDlgBtn::mbNo, TMsgDlgBtn::mbNoToAll, TMsgDlgBtn::mbAbort,
            TMsgDlgBtn::mbClose, TMsgDlgBtn::mbOK, TMsgDlgBtn::mbIgnore, TMsgDlgBtn::mbRetry,
            TMsgDlgBtn::mbYes, TMsgDlgBtn::mbYesToAll, TMsgDlgBtn::mbAll, TMsgDlgBtn::mbHelp};
        for (auto b : Order)
            if (r.Buttons.Contains(b)) return ModalResultOf(b);
        return mrNone;
    }
};

TFallbackPrompt Fallback;
std::atomic<TUserPrompt*> Installed{nullptr};

} // namespace

TUserPrompt& UserPrompt() {
    TUserPrompt* p = Installed.load(std::memory_order_acquire);
    return p ? *p : Fallback;
}

TUserPrompt* SetUserPrompt(TUserPrompt* Prompt) {
    return Installed.exchange(Prompt, std::memory_order_acq_rel);
}

TModalResult MessageDlg(const MyAnsiString& Text, TMsgDlgType Kind, TMsgDlgButtons Buttons) {
    TPromptRequest r;
    r.Text = Text;
    r.Kind = Kind;
    r.Buttons = Buttons;
    return UserPrompt().Prompt(r);
}

void ShowMessage(const MyAnsiString& Text) {
    MessageDlg(Text, TMsgDlgType::mtInformation, {TMsgDlgBtn::mbOK});
}

void ShowErrorMessage(const MyAnsiString& Text) {
    MessageDlg(Text, TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
}

void ShowErrorNotice(const MyAnsiString& Text) {
    TPromptRequest r;
    r.Text = Text;
    r.Kind = TMsgDlgType::mtError;
    UserPrompt().Notify(r);
}

} // namespace vo
