// The offline configuration dialog through its real widgets (offscreen):
// the firmware script of data/Firmware, choices made in the drop-down lists.
#include "devices/gui/ConfWizForm.h"

#include "devices/ConfWiz.h"
#include "platform/FileNames.h"
#include "storagelib/RefObj.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Sto.h"
#include "tests/support/ScriptedPrompt.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace vo {
namespace {

int argc = 1;
char arg0[] = "ConfWizForm_test";
char* argv[] = {arg0, nullptr};

class ConfWizFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App = new QApplication(argc, argv); }
    static void TearDownTestSuite() {
        delete App;
        App = nullptr;
    }
    void SetUp() override {
        Storage.AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
        TSLStorageObject* o = Storage.GetObject(RealPathToStored(std::string(VO_DATA_DIR) + "/Firmware/VxFirmware.stx"));
        auto* script = dynamic_cast<TSLDictionary*>(o->GetData());
        ASSERT_NE(script, nullptr);
        Wizard.Initialize(dynamic_cast<TSLBlock*>(script->FindObjWithName("Init")), 3);
    }
    void TearDown() override { PurgeAutoReleasePool(); }
    int ExecWith(QDialog& D, const std::function<void()>& Act) {
        QTimer::singleShot(0, [&] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&D));
            Act();
        });
        QTimer::singleShot(5000, &D, [&] { D.done(-1); });
        return D.exec();
    }
    static QApplication* App;
    TStorageManager Storage;
    TConfWizard Wizard;
    test::TScriptedPromptScope Prompt;
};
QApplication* ConfWizFormTest::App = nullptr;

std::vector<MyAnsiString> Names(const TConfWizard& W) {
    std::vector<MyAnsiString> out;
    for (int i = 0; i < W.GetNumberOfIniFile(); ++i)
        out.push_back(W.GetNameAtIndex(i));
    return out;
}

TEST_F(ConfWizFormTest, TheChoiceInTheListsBecomesTreeNames) {
    TConfWizardForm form(Wizard);
    EXPECT_EQ(form.windowTitle(), "Create Configuration Offline");
    ASSERT_EQ(form.ControllersCbo->count(), 1); // the hidden controller is not offered
    EXPECT_EQ(form.ControllersCbo->currentText(), "VX-41");
    EXPECT_EQ(form.InterfaceCbo->currentText(), "Standard IO");
    EXPECT_EQ(form.ApplicationCbo->currentText(), "None");
    int r = ExecWith(form, [&] { QTest::mouseClick(form.Button2, Qt::LeftButton); });
    EXPECT_EQ(r, QDialog::Accepted);
    EXPECT_EQ(Names(Wizard), (std::vector<MyAnsiString>{"VxOS_Std_V1S0_", "VxIntf_Std_V1S1"}));
    EXPECT_EQ(Wizard.FFirmwareRelease, "VX41 R1.02");

    // "None" as interface: no interface tree.
    r = ExecWith(form, [&] {
        form.InterfaceCbo->setFocus();
        QTest::keyClick(form.InterfaceCbo, Qt::Key_Down);
        EXPECT_EQ(form.InterfaceCbo->currentText(), "None");
        QTest::mouseClick(form.Button2, Qt::LeftButton);
    });
    EXPECT_EQ(r, QDialog::Accepted);
    EXPECT_EQ(Names(Wizard), std::vector<MyAnsiString>{"VxOS_Std_V1S0_"});
    EXPECT_EQ(ExecWith(form, [&] { QTest::keyClick(&form, Qt::Key_Escape); }), QDialog::Rejected);
    EXPECT_TRUE(Prompt.Texts().empty());
}

} // namespace
} // namespace vo
