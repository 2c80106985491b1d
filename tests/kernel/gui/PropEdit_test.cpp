// The object inspector through its widgets (offscreen): rows of a list,
// choices, writing values back, the description and the login option.
#include "kernel/gui/PropEdit.h"

#include "kernel/InspRows.h"
#include "kernel/PropItms.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/ScriptedPrompt.h"
#include "tests/support/TestShell.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

namespace vo {
namespace {

struct Axis : TObject {
    MyAnsiString name = "X";
    std::int32_t poles = 4;
    MyAnsiString mode = "Speed";
    static Axis& Of(TObject* o) { return dynamic_cast<Axis&>(*o); }
};

// An axis list: name, poles, mode (COMBO), and NExtra read-only numbers.
void Fill(TPropertyList& List, int NExtra) {
    List.SetObjType("Axis");
    List.AddInfoStringListItem("English", "An axis.<BR>Second line.");
    List.AddInfoStringListItem("Deutsch", "Eine Achse.");
    List.Add<TStringProperty>("Name").Setup([](TObject* o, int) { return Axis::Of(o).name; },
                                            [](TObject* o, int, const MyAnsiString& v) { Axis::Of(o).name = v; }, 0);
    List.Add<TLongintProperty>("Poles").Setup([](TObject* o, int) { return Axis::Of(o).poles; },
                                              [](TObject* o, int, std::int32_t v) { Axis::Of(o).poles = v; }, 0);
    auto& mode = List.Add<TStringProperty>("Mode");
    mode.Setup([](TObject* o, int) { return Axis::Of(o).mode; },
               [](TObject* o, int, const MyAnsiString& v) { Axis::Of(o).mode = v; }, 0);
    mode.SetViewer("COMBO");
    mode.SetComboListStr("Position,Speed,Force");
    for (int i = 0; i < NExtra; ++i)
        List.Add<TLongintProperty>("Extra" + std::to_string(i)).Setup([](TObject*, int) { return 7; }, {}, i);
}

// A parameter-like object with its own description.
struct OwnDescribed : Axis, TInspectableItem {
    TPropertyList own;
    TPropertyList* ItemPropList() override { return &own; }
};

class InspectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        Fill(Short, 0);
        Fill(Long, 5);
        Inspector.resize(420, 480);
    }
    bool RowShown(int K) const { return !Inspector.EditBoxList[static_cast<size_t>(K)].InfoLabel->isHidden(); }

    test::TestShell Shell;
    test::TScriptedPromptScope Prompt;
    Axis A;
    TPropertyList Short, Long;
    TPropertyInspector Inspector;
};

TEST_F(InspectorTest, RowsFollowTheList) {
    Inspector.EditObjectProperties(&A, &Long);
    for (int k = 0; k < 8; ++k)
        EXPECT_TRUE(RowShown(k)) << k;
    EXPECT_FALSE(Inspector.EditBoxList[3].Edit->isEnabled()); // read-only
    Inspector.EditObjectProperties(&A, &Short);
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(RowShown(k), k < 3) << k;
    EXPECT_EQ(Inspector.ObjTypeEditBox.Edit->text(), "Axis");
    EXPECT_EQ(Inspector.EditBoxList[0].Edit->text(), "X");
    EXPECT_EQ(Inspector.EditBoxList[1].InfoLabel->text(), "Poles");
    EXPECT_TRUE(Inspector.EditBoxList[2].Edit->isHidden());
    EXPECT_EQ(Inspector.EditBoxList[2].Combo->currentText(), "Speed");
    EXPECT_EQ(Inspector.InfoBox->toPlainText(), "An axis.\nSecond line.");
    EXPECT_TRUE(Inspector.IsAssignedTo(&Short));
    EXPECT_FALSE(Inspector.IsAssignedTo(&Long));
    EXPECT_FALSE(Inspector.IsAssignedTo(nullptr));

    A.mode = "Torque"; // not among the choices
    Inspector.EditObjectProperties(&A, &Short);
    EXPECT_EQ(Inspector.EditBoxList[2].Combo->currentIndex(), -1);
    EXPECT_TRUE(Prompt.Texts().empty());

    Inspector.Clear();
    EXPECT_FALSE(RowShown(0));
    EXPECT_TRUE(Inspector.InfoBox->isHidden());
    EXPECT_TRUE(Inspector.InfoBox->toPlainText().isEmpty());
    EXPECT_FALSE(Inspector.IsAssignedTo(&Short));
}

TEST_F(InspectorTest, EditedValuesAreWrittenBack) {
    Inspector.show();
    Inspector.EditObjectProperties(&A, &Short);
    QLineEdit* poles = Inspector.EditBoxList[1].Edit;
    poles->setFocus();
    poles->selectAll();
    QTest::keyClicks(poles, "12");
    QTest::keyClick(poles, Qt::Key_Return);
    EXPECT_EQ(A.poles, 12);
    poles->selectAll();
    QTest::keyClicks(poles, "many");
    QTest::keyClick(poles, Qt::Key_Return);
    EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{"'many' is not a valid integer value"});
    EXPECT_EQ(poles->text(), "12"); // restored
    EXPECT_EQ(A.poles, 12);

    Inspector.EditBoxList[2].Combo->setCurrentIndex(2);
    EXPECT_EQ(A.mode, "Force");
    EXPECT_EQ(Prompt.Texts().size(), 1u);
}

TEST_F(InspectorTest, DescriptionOfAnItemWithItsOwnList) {
    OwnDescribed p;
    p.own.AddInfoStringListItem("English", "The item's own text.");
    Inspector.EditObjectProperties(&p, &Short);
    EXPECT_EQ(Inspector.InfoBox->toPlainText(), "The item's own text.");
    Inspector.EditObjectProperties(&A, &Short);
    EXPECT_EQ(Inspector.InfoBox->toPlainText(), "An axis.\nSecond line.");
    Shell.lang = "Deutsch"; // the main form then calls UpdateInfoText
    Inspector.UpdateInfoText();
    EXPECT_EQ(Inspector.InfoBox->toPlainText(), "Eine Achse.");
}

TEST_F(InspectorTest, TheCheckBoxEditsTheLoginOption) {
    bool option = false;
    ShowInspectorOption() = {[&] { return option; }, [&](bool v) { option = v; }};
    Inspector.show();
    EXPECT_FALSE(Inspector.ShowCheckBox->isChecked());
    QTest::mouseClick(Inspector.ShowCheckBox, Qt::LeftButton);
    EXPECT_TRUE(option);
    option = false; // changed in the login dialog
    Inspector.hide();
    Inspector.show();
    EXPECT_FALSE(Inspector.ShowCheckBox->isChecked());
    EXPECT_EQ(Inspector.PageControl1->currentWidget(), Inspector.HelpTab);
    ShowInspectorOption() = {};
}

} // namespace
} // namespace vo
