#include "kernel/UserPrompt.h"

#include <gtest/gtest.h>

#include "tests/support/ScriptedPrompt.h"

using namespace vo;

// Without an installed prompt nobody can answer: the most cautious button wins.
TEST(UserPrompt, FallbackChoosesCautiousButton) {
    using B = TMsgDlgBtn;
    struct Case {
        TMsgDlgButtons buttons;
        TModalResult result;
    };
    const Case cases[] = {
        {{B::mbOK}, mrOk},
        {{B::mbYes, B::mbNo}, mrNo},
        {{B::mbOK, B::mbCancel}, mrCancel},
        {{B::mbYes, B::mbAbort}, mrAbort},
        {{B::mbRetry, B::mbIgnore}, mrIgnore},
        {{B::mbYes}, mrYes},
        {{}, mrNone},
    };
    for (const auto& c : cases) EXPECT_EQ(MessageDlg("question", TMsgDlgType::mtConfirmation, c.buttons), c.result);
}

TEST(UserPrompt, ScopedPromptAnswersAndRestores) {
    {
        test::TScriptedPromptScope prompt;
        prompt.Answer(mrYes);
        prompt.Answer(mrNo);
        EXPECT_EQ(MessageDlg("one", TMsgDlgType::mtWarning, {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}), mrYes);
        EXPECT_EQ(MessageDlg("two", TMsgDlgType::mtWarning, {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}), mrNo);
        ShowErrorMessage("three");
        ASSERT_EQ(prompt.Count(), 3u);
        auto r = prompt.Requests();
        EXPECT_EQ(r[2].Text, "three");
        EXPECT_EQ(r[2].Kind, TMsgDlgType::mtError);
        EXPECT_EQ(r[2].Buttons, TMsgDlgButtons{TMsgDlgBtn::mbOK});
        {
            test::TScriptedPromptScope inner;
            ShowMessage("inner");
            EXPECT_EQ(inner.Count(), 1u);
        }
        ShowMessage("outer again");
        EXPECT_EQ(prompt.Count(), 4u);
    }
    // Fallback again.
    EXPECT_EQ(MessageDlg("q", TMsgDlgType::mtConfirmation, {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}), mrNo);
}
