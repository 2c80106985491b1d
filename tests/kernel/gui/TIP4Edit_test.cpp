// The IPv4 input through its fields (offscreen): typed octets, clamping,
// moving on, refused characters.
#include "kernel/gui/TIP4Edit.h"

#include "tests/support/QtTestApp.h"
#include "tests/support/ScriptedPrompt.h"

#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace vo {
namespace {

class IP4EditTest : public ::testing::Test {
protected:
    void SetUp() override {
        Form.resize(200, 60);
        Edit = new TIP4Edit(&Form);
        Edit->SetPosition(10, 10);
        Edit->SetSize(21, 115);
        Form.show();
        Field(0)->setFocus();
        Field(0)->selectAll();
    }
    QLineEdit* Field(int K) { return Edit->Editor(K); }
    QWidget* Focused() { return Form.focusWidget(); }

    QWidget Form;
    TIP4Edit* Edit = nullptr;
    test::TScriptedPromptScope Prompt;
};

TEST_F(IP4EditTest, TypingAnAddress) {
    QTest::keyClicks(Field(0), "192");
    EXPECT_EQ(Field(0)->text(), "192");
    EXPECT_EQ(Focused(), Field(1)); // three digits move on
    QTest::keyClicks(Field(1), "168.");
    EXPECT_EQ(Focused(), Field(2)); // "." moves on
    QTest::keyClicks(Field(2), "1 ");
    QTest::keyClicks(Field(3), "10");
    EXPECT_EQ(Edit->GetIPValue(), static_cast<int32_t>(0xC0A8010A));
    EXPECT_TRUE(Prompt.Texts().empty());
}

TEST_F(IP4EditTest, AnOctetAbove254IsRefused) {
    QTest::keyClicks(Field(0), "300");
    EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{"300 is not a valid entry. Please specify a value between 0 and 254 for this field."});
    EXPECT_EQ(Field(0)->text(), "254");
    EXPECT_EQ(Field(0)->selectedText(), "254");
}

TEST_F(IP4EditTest, LettersAreNotTypedAndValuesRoundTrip) {
    QTest::keyClicks(Field(0), "1a");
    EXPECT_EQ(Field(0)->text(), "1");
    Edit->SetIPValue(static_cast<int32_t>(0x0A0000FE));
    EXPECT_EQ(Field(3)->text(), "254");
    EXPECT_EQ(Edit->GetIPValue(), 0x0A0000FE);
    Field(2)->clear();
    EXPECT_THROW(Edit->GetIPValue(), EConvertError);
    Edit->SetVisibility(false);
    EXPECT_FALSE(Edit->Panel()->isVisible());
    EXPECT_FALSE(Edit->Panel()->isEnabled());
}

} // namespace
} // namespace vo
