// The login dialog through its widgets (offscreen): the close check, the
// address checks, the serial ports it finds, what the stored settings restore.
#include "devices/gui/CmdStart.h"

#include "comm/OvraServ.h"
#include "devices/ComProbe.h"
#include "devices/LoginDlg.h"
#include "kernel/InspRows.h"
#include "kernel/MD5Generator.h"
#include "kernel/gui/PropEdit.h"
#include "kernel/gui/TIP4Edit.h"
#include "platform/ComPorts.h"
#include "platform/SerialPort.h"
#include "storagelib/SL20Dec.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/Pty.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/ScriptedPrompt.h"
#include "tests/support/TestShell.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace vo {
namespace {

class LoginDialogTest : public test::MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        MxEnsureMessaging();
        std::filesystem::create_directories(DevDir);
        Previous = SetComProbeTable(&Ports);
        Shell.developerDigest = MD5Value("secret");
        Server = std::make_unique<TOvraServer>();
        SetOvraServer(Server.get());
        Dialog = std::make_unique<TDeviceLoginDialog>();
    }
    void TearDown() override {
        Dialog.reset();
        SetOvraServer(nullptr);
        Server.reset();
        SetComProbeTable(Previous);
        MainSchedulerFixture::TearDown();
    }
    std::vector<QString> ListedPorts() const {
        std::vector<QString> out;
        for (int i = 0; i < Dialog->CbRSPort->count(); ++i)
            out.push_back(Dialog->CbRSPort->itemText(i));
        return out;
    }
    void Type(QLineEdit* Edit, const QString& Text) {
        Edit->clear();
        QTest::keyClicks(Edit, Text);
    }
    void Initialize(const char* LoginConfig) {
        TRef<TSLObject> config = LoginConfig ? SLDecodeString(LoginConfig) : TRef<TSLObject>();
        Dialog->Initialize(nullptr, dynamic_cast<TSLDictionary*>(config.Get()));
    }

    std::string DevDir = ::testing::TempDir() + "/login-dev";
    ComPortTable Ports{DevDir};
    ComPortTable* Previous = nullptr;
    test::TestShell Shell;
    test::TScriptedPromptScope Prompt;
    std::unique_ptr<TOvraServer> Server;
    std::unique_ptr<TDeviceLoginDialog> Dialog;
};

TEST_F(LoginDialogTest, TheLoginIDDecidesWhetherTheDialogCloses) {
    Initialize(nullptr);
    struct TCase {
        const char* Id;
        const char* Password;
        const char* Message; // nullptr: accepted
    } cases[] = {
        {"service", "", nullptr},
        {"Guest", "", nullptr},
        {"DEVELOPER", "wrong", "Wrong password!"},
        {"developer", "secret", nullptr},
        {"Admin", "x", "Unknown login ID!"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Id);
        Prompt.Clear();
        Dialog->show();
        Type(Dialog->UserEdt, c.Id);
        Type(Dialog->PasswordEdt, c.Password);
        QTest::mouseClick(Dialog->OKBtn, Qt::LeftButton);
        if (c.Message) {
            EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{c.Message});
            EXPECT_TRUE(Dialog->isVisible());
            QLineEdit* selected = std::string(c.Message) == "Wrong password!" ? Dialog->PasswordEdt : Dialog->UserEdt;
            EXPECT_EQ(selected->selectedText(), selected->text());
            Dialog->hide();
        } else {
            EXPECT_TRUE(Prompt.Texts().empty());
            EXPECT_FALSE(Dialog->isVisible());
            EXPECT_EQ(Dialog->result(), QDialog::Accepted);
            EXPECT_EQ(Dialog->FUserName, c.Id);
            EXPECT_EQ(Dialog->FPassword, c.Password);
        }
    }
    // Shown again: the password is empty.
    Dialog->show();
    EXPECT_TRUE(Dialog->PasswordEdt->text().isEmpty());
}

TEST_F(LoginDialogTest, EthernetNeedsAnAddress) {
    Initialize(nullptr);
    Dialog->show();
    QTest::mouseClick(Dialog->ETHRadio, Qt::LeftButton);
    EXPECT_TRUE(Dialog->IP4Edit->Panel()->isVisible());
    EXPECT_FALSE(Dialog->CbRSPort->isVisible());
    EXPECT_TRUE(Dialog->Button2->isEnabled());
    QTest::mouseClick(Dialog->OKBtn, Qt::LeftButton);
    EXPECT_TRUE(Dialog->isVisible());
    QTest::mouseClick(Dialog->Button2, Qt::LeftButton);
    EXPECT_EQ(Prompt.Texts(), (std::vector<MyAnsiString>{"Invalid IP address: 0.0.0.0", "Invalid IP address: 0.0.0.0"}));
    EXPECT_TRUE(Shell.blinks.empty());
    Dialog->IP4Edit->SetIPValue(0x0A000001);
    QTest::mouseClick(Dialog->Button2, Qt::LeftButton);
    EXPECT_EQ(Shell.blinks, std::vector<int32_t>{0x0A000001});
    EXPECT_TRUE(Dialog->isVisible());
    QTest::mouseClick(Dialog->OKBtn, Qt::LeftButton);
    EXPECT_EQ(Dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Dialog->GetPortName(), "ETH");
    EXPECT_EQ(Dialog->GetIPAddress(), 0x0A000001);
}

TEST_F(LoginDialogTest, ScanClosesAndAsksTheShell) {
    Initialize("[D /PortName 'CAN' /DevMACID 17 ]");
    Dialog->show();
    EXPECT_TRUE(Dialog->CANRadio->isChecked());
    EXPECT_TRUE(Dialog->CBDevMACID->isVisible());
    EXPECT_EQ(Dialog->GetDeviceMACID(), 17);
    EXPECT_EQ(Dialog->CBDevMACID->count(), 256);
    EXPECT_FALSE(Dialog->Button2->isEnabled());
    QTest::mouseClick(Dialog->CancelBtn, Qt::LeftButton);
    EXPECT_FALSE(Dialog->isVisible());
    EXPECT_EQ(Dialog->result(), QDialog::Rejected);
    EXPECT_EQ(Shell.scans, 1);
    EXPECT_EQ(Shell.ethScans, 0);
}

TEST_F(LoginDialogTest, SerialPortsAreFoundAtEveryShow) {
    test::Pty com3, com5;
    Ports.Map("COM3", com3.slavePath());
    Initialize(nullptr);
    EXPECT_EQ(ListedPorts(), std::vector<QString>{"COM3"});
    EXPECT_EQ(Server->GetPortType("COM3"), "RS");

    // An adapter plugged in later; COM3 held by another program.
    Ports.Map("COM5", com5.slavePath());
    SerialPort other;
    other.Open(com3.slavePath());
    Dialog->show();
    EXPECT_EQ(ListedPorts(), std::vector<QString>{"COM5"});
    EXPECT_EQ(Server->GetPortType("COM5"), "RS");
    EXPECT_EQ(Server->GetPortCount(), 2);
    Dialog->hide();
    other.Close();
    Dialog->show();
    EXPECT_EQ(ListedPorts(), (std::vector<QString>{"COM3", "COM5"}));
    EXPECT_EQ(Dialog->CbRSPort->currentText(), "COM5"); // the port chosen before stays chosen
    EXPECT_TRUE(Dialog->RS232Radio->isChecked() || !Dialog->CANRadio->isChecked());
    QTest::mouseClick(Dialog->OKBtn, Qt::LeftButton);
    EXPECT_EQ(Dialog->GetPortName(), "COM5");
}

TEST_F(LoginDialogTest, TheStoredSettingsAreRestored) {
    test::Pty com2, com4;
    Ports.Map("COM2", com2.slavePath());
    Ports.Map("COM4", com4.slavePath());
    Initialize("[D /PortName 'COM9' /UserName 'service' /ShowObjectInspector 'true' /IPAddress 167772162 ]");
    EXPECT_TRUE(Dialog->RS232Radio->isChecked());
    EXPECT_EQ(Dialog->CbRSPort->currentText(), "COM2");
    EXPECT_EQ(Dialog->FSelectedRSPort, "COM2");
    EXPECT_EQ(Dialog->UserEdt->text(), "service");
    EXPECT_FALSE(Dialog->ShowObjInspChk->isChecked());
    EXPECT_EQ(Dialog->GetIPAddress(), 167772162);

    Initialize("[D /PortName 'COM4' /ShowObjectInspector 'TRUE' /DevMACID 300 ]");
    EXPECT_EQ(Dialog->CbRSPort->currentText(), "COM4");
    EXPECT_TRUE(Dialog->ShowObjInspChk->isChecked());
    EXPECT_TRUE(ShowInspectorOption().Get());
    EXPECT_EQ(Dialog->GetDeviceMACID(), 0);

    Initialize("[D /PortName 'ETH' ]");
    EXPECT_TRUE(Dialog->ETHRadio->isChecked());
    EXPECT_EQ(Dialog->GetPortName(), "ETH");
}

TEST_F(LoginDialogTest, OfflineFromAChosenFile) {
    Initialize(nullptr);
    Dialog->show();
    QTest::mouseClick(Dialog->OfflineRadio, Qt::LeftButton);
    EXPECT_TRUE(Dialog->OfflineBtn->isVisible());
    Shell.openDialogAnswer = "C:\\Configs\\Axis1.vkc";
    QTest::mouseClick(Dialog->OfflineBtn, Qt::LeftButton);
    ASSERT_EQ(Shell.openDialogs.size(), 1u);
    EXPECT_EQ(Shell.openDialogs[0].Filter, "Configuration file (*.vkc)|*.vkc");
    EXPECT_EQ(Dialog->GetOfflineFileName(), "C:\\Configs\\Axis1.vkc");
    EXPECT_EQ(Dialog->GetPortName(), "");
    Dialog->PresetOffline("D:\\x.vkc");
    EXPECT_FALSE(Dialog->RS232Radio->isEnabled());
    EXPECT_TRUE(Dialog->OfflineEdit->isReadOnly());
    Dialog->EnableInterfaces();
    EXPECT_TRUE(Dialog->OfflineBtn->isEnabled());
}

TEST_F(LoginDialogTest, TheInspectorEditsTheOptionOfTheDialog) {
    Initialize("[D /ShowObjectInspector 'TRUE' ]");
    TPropertyInspector inspector;
    inspector.show();
    EXPECT_TRUE(inspector.ShowCheckBox->isChecked());
    QTest::mouseClick(inspector.ShowCheckBox, Qt::LeftButton);
    EXPECT_FALSE(Dialog->GetShowObjInsp());
    Dialog->show();
    QTest::mouseClick(Dialog->ShowObjInspChk, Qt::LeftButton); // changed in the dialog
    EXPECT_FALSE(inspector.ShowCheckBox->isChecked());
    inspector.hide();
    inspector.show(); // shows the dialog's option again
    EXPECT_TRUE(inspector.ShowCheckBox->isChecked());
}

TEST(LoginRules, VisibilityByInterface) {
    EXPECT_EQ(LoginVisibility(std::nullopt), LoginVisibility(ifRS232));
    EXPECT_TRUE(LoginVisibility(ifRS232).Port);
    EXPECT_FALSE(LoginVisibility(ifRS232).ScanEnabled);
    const TLoginVisibility eth = LoginVisibility(ifEthernet);
    EXPECT_TRUE(eth.IPAddress && eth.ScanEnabled && eth.BlinkEnabled && !eth.Port && !eth.MACID);
    EXPECT_TRUE(LoginVisibility(ifOffline).Offline);
}

} // namespace
} // namespace vo
