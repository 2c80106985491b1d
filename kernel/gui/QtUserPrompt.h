#pragma once
// The program's message boxes on Qt: installed as the user prompt
// (kernel/UserPrompt.h) by the GUI at start-up.
#include "kernel/UserPrompt.h"

namespace vo {

class TQtUserPrompt : public TUserPrompt {
public:
    // Shows a QMessageBox with the request's kind, caption and buttons.
    TModalResult Prompt(const TPromptRequest& Request) override;
    // The same box with OK, shown without a modal loop; it deletes itself
    // when closed.
    void Notify(const TPromptRequest& Request) override;
};

} // namespace vo
