// The window "CANOvra Manager" offscreen, through its real widgets: the
// driver's state and settings before, during and after a connection over the
// virtual bus, a baud rate chosen in the view that applies at the next
// connection, and report lines that reach the memo (in order) only while
// "Enable Debug Mode" is checked.
#include "comm/gui/CanManagerView.h"

#include "comm/CANMan.h"
#include "comm/CANdrv.h"
#include "kernel/MxMLib20.h"
#include "kernel/ThrdMan.h"
#include "platform/CanAdapter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace vo {
namespace {

int argc = 1;
char arg0[] = "CanManagerView_test";
char* argv[] = {arg0, nullptr};

bool Until(const std::function<bool()>& Pred, int Ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!Pred()) {
        if (t.elapsed() > Ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class CanManagerViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App = new QApplication(argc, argv); }
    static void TearDownTestSuite() {
        delete App;
        App = nullptr;
    }
    static QApplication* App;
    void SetUp() override {
        MxEnsureMessaging();
        CanMapLibrary("canusb.dll", "virtual:view-test");
        Bus = TVirtualCanBus::Get("view-test");
        Manager = std::make_unique<TCANManager>();
        SetCANManager(Manager.get());
        Driver = std::make_shared<TCANDriver>();
        Manager->AssignCANDriver(Driver);
        Scheduler = TMxScheduler::CreateThreaded("ViewTest");
        Threads = std::make_unique<TThreadManager>();
        Form = std::make_unique<TCanManagerViewForm>(*Manager);
        Form->show();
    }
    void TearDown() override {
        Form.reset();
        Driver->Close();
        Manager->AssignCANDriver(nullptr);
        Driver.reset();
        Threads.reset();
        Scheduler.reset();
        SetCANManager(nullptr);
        Manager.reset();
        CanMapLibrary("canusb.dll", "");
        TVirtualCanBus::Remove("view-test");
    }

    // The driver opens from another thread, as the server does.
    void OpenDriver() {
        std::thread([this] { Driver->Open(*Scheduler, *Threads); }).join();
    }
    void CloseDriver() {
        std::thread([this] { Driver->Close(); }).join();
    }
    bool CombosEnabled() const {
        return Form->InterfaceCombo->isEnabled() && Form->BaudRateCombo->isEnabled() &&
            Form->MasterMACIDCombo->isEnabled();
    }
    bool CombosDisabled() const {
        return !Form->InterfaceCombo->isEnabled() && !Form->BaudRateCombo->isEnabled() &&
            !Form->MasterMACIDCombo->isEnabled();
    }
    int32_t ChipPrescaler() const {
        auto nodes = Bus->Nodes();
        return nodes.empty() ? -1 : nodes[0].Timing[0];
    }

    std::shared_ptr<TVirtualCanBus> Bus;
    std::unique_ptr<TCANManager> Manager;
    std::shared_ptr<TCANDriver> Driver;
    std::unique_ptr<TMxScheduler> Scheduler;
    std::unique_ptr<TThreadManager> Threads;
    std::unique_ptr<TCanManagerViewForm> Form;
};

QApplication* CanManagerViewTest::App = nullptr;

TEST_F(CanManagerViewTest, ShowsTheDriversSettingsAndState) {
    EXPECT_EQ(Form->windowTitle(), "CANOvra Manager");
    EXPECT_EQ(Form->BaudRateCombo->count(), 7);
    EXPECT_EQ(Form->BaudRateCombo->currentText(), "500 kbaud");
    EXPECT_EQ(Form->MasterMACIDCombo->count(), 256);
    EXPECT_EQ(Form->MasterMACIDCombo->currentText(), "255");
    EXPECT_EQ(Form->InterfaceCombo->currentText(), "USB-CAN converter");
    EXPECT_EQ(Form->StatusLbl->text(), "Offline");
    EXPECT_TRUE(CombosEnabled());
    EXPECT_FALSE(Form->CheckBox1->isChecked());

    OpenDriver();
    ASSERT_TRUE(Until([&] { return Form->StatusLbl->text() == "Online"; }));
    EXPECT_TRUE(CombosDisabled());

    CloseDriver();
    ASSERT_TRUE(Until([&] { return Form->StatusLbl->text() == "Offline"; }));
    EXPECT_TRUE(CombosEnabled());
    // Without debug mode the memo holds only its first empty line.
    QApplication::processEvents();
    EXPECT_EQ(Form->ReportMemo->toPlainText(), "");
}

TEST_F(CanManagerViewTest, ANewBaudRateAppliesAtTheNextConnection) {
    Form->BaudRateCombo->setFocus();
    Form->BaudRateCombo->setCurrentIndex(4); // "125 kbaud", as the user picks it
    EXPECT_EQ(Driver->BaudRateSel(), 4);
    QTest::keyClick(Form->MasterMACIDCombo, Qt::Key_Up);
    EXPECT_EQ(Driver->OvraMasterMACID(), 254);
    OpenDriver();
    ASSERT_TRUE(Until([&] { return Form->StatusLbl->text() == "Online"; }));
    EXPECT_EQ(ChipPrescaler(), 4);
    EXPECT_EQ(Bus->Nodes()[0].CodeXtd, 0x10001FC0u);

    // A change while connected is kept for the next connection only.
    Driver->SetBaudRateSel(3);
    EXPECT_EQ(ChipPrescaler(), 4);
    CloseDriver();
    ASSERT_TRUE(Until([&] { return Form->StatusLbl->text() == "Offline"; }));
    EXPECT_EQ(Form->BaudRateCombo->currentText(), "250 kbaud");
    OpenDriver();
    ASSERT_TRUE(Until([&] { return Form->StatusLbl->text() == "Online"; }));
    EXPECT_EQ(ChipPrescaler(), 2);
}

TEST_F(CanManagerViewTest, ReportLinesReachTheMemoInOrderOnlyInDebugMode) {
    QTest::mouseClick(Form->CheckBox1, Qt::LeftButton, {}, QPoint(5, Form->CheckBox1->height() / 2));
    ASSERT_TRUE(Form->CheckBox1->isChecked());
    EXPECT_TRUE(Manager->DebugingEnabled());
    OpenDriver();
    ASSERT_TRUE(Until([&] { return Form->ReportMemo->toPlainText().contains("CAN: Start chip ok"); }));
    const QStringList lines = Form->ReportMemo->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 9);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "CAN: Board initialization ok");
    EXPECT_EQ(lines[6], "CAN: Set acceptance ok (CodeXtd: 10001FE0h, MaskXtd: 1E001FE0h)");
    EXPECT_EQ(lines[8], "CAN: Start chip ok");

    // Lines of a send on another thread follow in order.
    std::thread([this] { Driver->Send(3, std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9)); }).join();
    ASSERT_TRUE(Until([&] { return Form->ReportMemo->toPlainText().split('\n').size() == 11; }));
    const QStringList more = Form->ReportMemo->toPlainText().split('\n');
    EXPECT_EQ(more[9], "CAN: Send Ident 101FE061h , Data: 01 02 03 04 05 06 07 08: ok");
    EXPECT_EQ(more[10], "CAN: Send Ident 101FE060h , Data: 09: ok");

    QTest::mouseClick(Form->CheckBox1, Qt::LeftButton, {}, QPoint(5, Form->CheckBox1->height() / 2));
    EXPECT_FALSE(Manager->DebugingEnabled());
    std::thread([this] { Driver->Send(3, std::string("\x01", 1)); }).join();
    QApplication::processEvents();
    EXPECT_EQ(Form->ReportMemo->toPlainText().split('\n').size(), 11);
}

TEST_F(CanManagerViewTest, WithoutADriverTheCombosAreDisabled) {
    Manager->AssignCANDriver(nullptr);
    TCanManagerViewForm lonely(*Manager);
    lonely.show();
    EXPECT_EQ(lonely.StatusLbl->text(), "No CAN Driver assigned!");
    EXPECT_FALSE(lonely.BaudRateCombo->isEnabled());
    Manager->AssignCANDriver(Driver);
}

} // namespace
} // namespace vo
