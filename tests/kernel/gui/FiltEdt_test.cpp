// The filter editor and its rule dialog through their widgets (offscreen).
#include "kernel/gui/FiltEdt.h"

#include "kernel/gui/FiltDlg.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/ScriptedPrompt.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

namespace vo {
namespace {

class FilterEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The dialog answers as the test scripts it: fill the fields, then OK
        // or Cancel through the buttons.
        Editor.RunDialog = [this](TFilterDialog& D) {
            D.show();
            EXPECT_EQ(D.DescriptionEdit->selectedText(), D.DescriptionEdit->text());
            bool accepted = false;
            if (!Script.empty()) {
                accepted = Script.front()(D);
                Script.pop_front();
            }
            D.hide();
            return accepted;
        };
    }
    // A dialog answer: the fields to type and the button.
    static std::function<bool(TFilterDialog&)> Answer(const char* Description, const char* Code, const char* Mask,
                                                      QRadioButton* TFilterDialog::*Action, bool Ok = true) {
        return [=](TFilterDialog& D) {
            for (auto [edit, text] : {std::pair{D.DescriptionEdit, Description}, std::pair{D.CodeEdit, Code},
                                      std::pair{D.MaskEdit, Mask}}) {
                edit->clear();
                QTest::keyClicks(edit, text);
            }
            QTest::mouseClick(D.*Action, Qt::LeftButton);
            QTest::mouseClick(Ok ? D.OKButton : D.CancelButton, Qt::LeftButton);
            return D.result() == QDialog::Accepted && !D.isVisible();
        };
    }
    std::vector<QString> Row(int I) const {
        QTreeWidgetItem* item = Editor.ListView->topLevelItem(I);
        return {item->text(0), item->text(1), item->text(2), item->text(3)};
    }
    int Selected() const { return Editor.ListView->indexOfTopLevelItem(Editor.ListView->currentItem()); }

    TFilterRules Rules;
    TFilterEditor Editor{Rules};
    std::deque<std::function<bool(TFilterDialog&)>> Script;
    test::TScriptedPromptScope Prompt;
};

TEST_F(FilterEditorTest, TheDefaultRulesAreListed) {
    ASSERT_EQ(Editor.ListView->topLevelItemCount(), 3);
    EXPECT_EQ(Row(0), (std::vector<QString>{"allow all debug messages", "0000", "0000", "Allow"}));
    EXPECT_EQ(Row(1), (std::vector<QString>{"allow status request", "0103", "FFFF", "Deny"}));
    EXPECT_FALSE(Editor.AcEdit->isEnabled());
    EXPECT_TRUE(Editor.AcAdd->isEnabled());
    Editor.DenyAllowStatusFilter();
    EXPECT_EQ(Row(2)[3], "Allow");
    EXPECT_EQ(Editor.Filter(0x0203), faAllow);
}

TEST_F(FilterEditorTest, AddInsertEditDelete) {
    Script.push_back(Answer("show errors", "2", "ffff", &TFilterDialog::AllowRadio));
    Editor.AcAdd->trigger();
    ASSERT_EQ(Rules.Count(), 4u);
    EXPECT_EQ(Row(3), (std::vector<QString>{"show errors", "0002", "FFFF", "Allow"}));
    EXPECT_EQ(Selected(), 3);

    Script.push_back(Answer("hide sends", "100", "FF00", &TFilterDialog::DenyRadio));
    Editor.AcInsert->trigger(); // before the selected row
    EXPECT_EQ(Row(3), (std::vector<QString>{"hide sends", "0100", "FF00", "Deny"}));
    EXPECT_EQ(Row(4)[0], "show errors");
    EXPECT_EQ(Selected(), 3);

    // Enter in the list edits the selected rule; the dialog shows it filled.
    Script.push_back([](TFilterDialog& D) {
        EXPECT_EQ(D.CodeEdit->text(), "0100");
        EXPECT_TRUE(D.DenyRadio->isChecked());
        return Answer("hide sends", "0101", "FFFF", &TFilterDialog::DenyRadio)(D);
    });
    QTest::keyClick(Editor.ListView, Qt::Key_Return);
    EXPECT_EQ(Rules.Rule(3).FCode, 0x0101);

    // A code that is no hexadecimal number: an error, the rule stays.
    Script.push_back([](TFilterDialog& D) {
        Answer("broken", "12G", "FFFF", &TFilterDialog::AllowRadio)(D);
        EXPECT_TRUE(D.isVisible()); // still open
        QTest::mouseClick(D.CancelButton, Qt::LeftButton);
        return false;
    });
    Editor.AcEdit->trigger();
    EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{"'12G' is not a valid integer value"});
    EXPECT_EQ(Rules.Rule(3).FDescription, "hide sends");
    EXPECT_EQ(Rules.Rule(3).FCode, 0x0101);

    // Cancel adds nothing.
    Script.push_back(Answer("x", "1", "1", &TFilterDialog::NoneRadio, false));
    Editor.AcAdd->trigger();
    EXPECT_EQ(Rules.Count(), 5u);

    // Deleting the last row selects the row before.
    Editor.ListView->setCurrentItem(Editor.ListView->topLevelItem(4));
    Editor.AcDelete->trigger();
    EXPECT_EQ(Rules.Count(), 4u);
    EXPECT_EQ(Selected(), 3);
    Editor.AcDelete->trigger();
    EXPECT_EQ(Selected(), 2);
    EXPECT_EQ(Editor.ListView->topLevelItemCount(), 3);
}

} // namespace
} // namespace vo
