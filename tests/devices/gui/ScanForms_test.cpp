// The scan window and the scan-result login forms (offscreen): rows reused
// between scans, rows that cannot be checked, the help legend, the results.
#include "devices/gui/CANLogin.h"
#include "devices/gui/CANScanning.h"
#include "devices/gui/ETHLogin.h"

#include "kernel/UserPrompt.h"
#include "tests/support/QtTestApp.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace vo {
namespace {

// What the device-opening state machine does with a scan's result.
void FillCAN(TCANLoginForm& F, int Drives) {
    while (F.GetNumOfLines() < Drives)
        F.AddLine();
    for (int i = 0; i < F.GetNumOfLines(); ++i) {
        F.SetLineVisibility(i, i < Drives);
        F.GetLine(i).MACIDLbl->setText(QString::number(i + 1));
    }
}

TEST(ScanForms, ASecondScanWithFewerDrivesReusesAndHidesRows) {
    TCANLoginForm f;
    FillCAN(f, 3);
    ASSERT_EQ(f.GetNumOfLines(), 3);
    EXPECT_EQ(f.GetLine(2).LoginChk->y(), 80);
    EXPECT_EQ(f.GetLine(2).UserIDEdt->x(), 280);
    EXPECT_EQ(f.GetLine(0).UserIDEdt->text(), "USER");
    EXPECT_EQ(f.GetLine(0).PasswordEdt->echoMode(), QLineEdit::Password);
    QLineEdit* firstUser = f.GetLine(0).UserIDEdt;
    FillCAN(f, 1);
    EXPECT_EQ(f.GetNumOfLines(), 3);
    EXPECT_EQ(f.GetLine(0).UserIDEdt, firstUser);
    EXPECT_TRUE(f.GetLine(0).Visible());
    EXPECT_FALSE(f.GetLine(1).Visible());
    EXPECT_FALSE(f.GetLine(2).Visible());
    f.show();
    QTest::mouseClick(f.LoginSelectedBtn, Qt::LeftButton);
    EXPECT_EQ(f.result(), mrYes);
    f.show();
    QTest::mouseClick(f.LoginAllBtn, Qt::LeftButton);
    EXPECT_EQ(f.result(), mrYesToAll);
}

TEST(ScanForms, RedAndGreyRowsCannotBeChecked) {
    TETHLoginForm f;
    const TETHRowState states[] = {TETHRowState::rsReady, TETHRowState::rsLoggedIn, TETHRowState::rsTaken};
    for (int i = 0; i < 3; ++i) {
        TETHLoginLine& l = f.AddLine();
        l.SetState(states[i]);
        l.SetVisible(true, ETHRowBackground(i));
        l.SetFirmwareState(i == 2 ? std::nullopt : std::optional(TFirmwareState::fsRunning));
    }
    f.show();
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(f.GetLine(i).LoginChk, Qt::LeftButton);
    EXPECT_TRUE(f.GetLine(0).LoginChk->isChecked());
    EXPECT_FALSE(f.GetLine(1).LoginChk->isChecked());
    EXPECT_FALSE(f.GetLine(2).LoginChk->isChecked());
    EXPECT_EQ(f.GetLine(1).ChkPnl->palette().color(QPalette::Window), QColor(static_cast<QRgb>(ColorGrey)));
    EXPECT_EQ(f.GetLine(2).ChkPnl->palette().color(QPalette::Window), QColor(static_cast<QRgb>(ColorRed)));
    EXPECT_EQ(f.GetLine(1).Panel->y(), 25);
    EXPECT_EQ(f.GetLine(0).ImageIndex(), 119);
    EXPECT_TRUE(f.GetLine(2).Image->isHidden());
    // "Login All" takes the ready rows only.
    int taken = 0;
    for (int i = 0; i < 3; ++i)
        taken += ETHLoginAllTakes(f.GetLine(i).State());
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(FirmwareStateImage(TFirmwareState::fsRunningWithError), 121);
    EXPECT_EQ(FirmwareStateImage(TFirmwareState::fsNotRunning), 120);
}

TEST(ScanForms, ShowHelpToggles) {
    TETHLoginForm f;
    f.show();
    EXPECT_TRUE(f.HelpPanel->isHidden());
    QTest::mouseClick(f.ShowHelpBtn, Qt::LeftButton);
    EXPECT_FALSE(f.HelpPanel->isHidden());
    EXPECT_EQ(f.ShowHelpBtn->text(), "Hide Help");
    EXPECT_TRUE(f.isVisible());
    QTest::mouseClick(f.ShowHelpBtn, Qt::LeftButton);
    EXPECT_TRUE(f.HelpPanel->isHidden());
    EXPECT_EQ(f.ShowHelpBtn->text(), "Show Help");
    QTest::mouseClick(f.ScanAgainBtn, Qt::LeftButton);
    EXPECT_EQ(f.result(), mrRetry);
    f.show();
    QTest::mouseClick(f.BlinkSelectedBtn, Qt::LeftButton);
    EXPECT_EQ(f.result(), mrOk);
}

TEST(ScanForms, TheScanWindowShowsProgress) {
    TScanForm f;
    f.AddLine("Scanning for connected devices! Please wait!");
    f.AddLine("No device found!");
    EXPECT_EQ(f.Memo1->toPlainText(), "Scanning for connected devices! Please wait!\nNo device found!");
    f.show();
    QTest::mouseClick(f.Button1, Qt::LeftButton);
    EXPECT_EQ(f.result(), QDialog::Accepted);
    f.ClearLines();
    EXPECT_TRUE(f.Memo1->toPlainText().isEmpty());
}

} // namespace
} // namespace vo
