#pragma once
// Message boxes and confirmations for the user, without a GUI dependency.
//
// Model code asks the user through the program-wide TUserPrompt. The GUI
// installs its Qt implementation at start-up; headless runs and tests install
// their own (a scripted one answers from a list). Until something is
// installed, a fallback writes the text to the error stream and answers with
// the most cautious of the offered buttons (Cancel, No, Abort, ... before OK,
// Yes).
#include <cstdint>
#include <initializer_list>

#include "platform/AnsiString.h"

namespace vo {

// Kind of message box (its icon and default caption).
enum class TMsgDlgType : std::uint8_t { mtWarning,
                                        mtError,
                                        mtInformation,
                                        mtConfirmation,
                                        mtCustom };

// Buttons of a message box.
enum class TMsgDlgBtn : std::uint8_t {
    mbYes,
    mbNo,
    mbOK,
    mbCancel,
    mbAbort,
    mbRetry,
    mbIgnore,
    mbAll,
    mbNoToAll,
    mbYesToAll,
    mbHelp,
    mbClose
};

// A set of buttons.
class TMsgDlgButtons {
public:
    constexpr TMsgDlgButtons() = default;
    constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> l) {
        for (auto b : l) Bits |= Bit(b);
    }
    constexpr bool Contains(TMsgDlgBtn b) const { return (Bits & Bit(b)) != 0; }
    constexpr bool Empty() const { return Bits == 0; }
    constexpr TMsgDlgButtons& operator+=(TMsgDlgBtn b) {
        Bits |= Bit(b);
        return *this;
    }
    constexpr bool operator==(const TMsgDlgButtons&) const = default;

private:
    static constexpr std::uint32_t Bit(TMsgDlgBtn b) { return 1u << static_cast<unsigned>(b); }
    std::uint32_t Bits = 0;
};

// The button the user chose; mrNone when the box was closed otherwise.
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrClose = 8,
    mrHelp = 9,
    mrAll = 12,
    mrNoToAll = 13,
    mrYesToAll = 14
};

// The modal result that stands for a button.
TModalResult ModalResultOf(TMsgDlgBtn b);

struct TPromptRequest {
    MyAnsiString Text;
    MyAnsiString Caption; // empty: the program's title
    TMsgDlgType Kind = TMsgDlgType::mtInformation;
    TMsgDlgButtons Buttons{TMsgDlgBtn::mbOK};
};

class TUserPrompt {
public:
    virtual ~TUserPrompt() = default;
    // Shows the message box modally and returns the chosen button.
    virtual TModalResult Prompt(const TPromptRequest& Request) = 0;
    // Shows a message box with an OK button and returns at once: no other
    // part of the program runs before the caller goes on (the GUI shows the
    // box without a modal loop). Prompts that never run the event loop
    // answer it like Prompt.
    virtual void Notify(const TPromptRequest& Request) { (void)Prompt(Request); }
};

// The program-wide prompt; never nil (the fallback when none is installed).
TUserPrompt& UserPrompt();
// Installs Prompt (nil restores the fallback) and returns the one before.
// The caller keeps ownership; uninstall it before it is destroyed.
TUserPrompt* SetUserPrompt(TUserPrompt* Prompt);

// Convenience calls.
TModalResult MessageDlg(const MyAnsiString& Text, TMsgDlgType Kind, TMsgDlgButtons Buttons);
void ShowMessage(const MyAnsiString& Text); // information, OK
void ShowErrorMessage(const MyAnsiString& Text); // error, OK
// An error box that does not wait for the user (TUserPrompt::Notify).
void ShowErrorNotice(const MyAnsiString& Text);

// Installs a prompt for the lifetime of a scope (tests).
class TUserPromptScope {
public:
    explicit TUserPromptScope(TUserPrompt& p) : Prev(SetUserPrompt(&p)) {}
    ~TUserPromptScope() { SetUserPrompt(Prev); }
    TUserPromptScope(const TUserPromptScope&) = delete;
    TUserPromptScope& operator=(const TUserPromptScope&) = delete;

private:
    TUserPrompt* Prev;
};

} // namespace vo
