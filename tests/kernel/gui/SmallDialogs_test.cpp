// The small dialogs through their real widgets (offscreen, QTest input).
#include "kernel/gui/CkLstDlg.h"
#include "kernel/gui/LoginInfo.h"
#include "kernel/gui/LoginMsg.h"
#include "kernel/gui/PassWordDialog.h"
#include "kernel/gui/SelDlg.h"
#include "kernel/gui/ShowWarn.h"

#include "tests/support/TestShell.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace vo {
namespace {

int argc = 1;
char arg0[] = "SmallDialogs_test";
char* argv[] = {arg0, nullptr};

class SmallDialogsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App = new QApplication(argc, argv); }
    static void TearDownTestSuite() {
        delete App;
        App = nullptr;
    }
    // Runs Act once the dialog is shown modally; returns exec's result.
    static int ExecWith(QDialog& D, const std::function<void()>& Act) {
        QTimer::singleShot(0, [&] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&D));
            Act();
        });
        QTimer::singleShot(5000, &D, [&] { D.done(-1); }); // never hang
        return D.exec();
    }
    static QApplication* App;
};
QApplication* SmallDialogsTest::App = nullptr;

TEST_F(SmallDialogsTest, PasswordDialogKeepsTheUserAndEmptiesThePassword) {
    TPasswordDlg d;
    EXPECT_EQ(d.windowTitle(), "Switch User");
    int r = ExecWith(d, [&] {
        QTest::keyClicks(d.UserEdt, "service");
        QTest::keyClicks(d.PasswordEdt, "secret");
        QTest::keyClick(d.PasswordEdt, Qt::Key_Return);
    });
    EXPECT_EQ(r, QDialog::Accepted);
    EXPECT_EQ(d.GetUserName(), "service");
    EXPECT_EQ(d.GetPassword(), "secret");
    EXPECT_EQ(d.PasswordEdt->echoMode(), QLineEdit::Password);
    r = ExecWith(d, [&] {
        EXPECT_EQ(d.UserEdt->text(), "service");
        EXPECT_EQ(d.PasswordEdt->text(), "");
        QTest::mouseClick(d.CancelBtn, Qt::LeftButton);
    });
    EXPECT_EQ(r, QDialog::Rejected);
}

TEST_F(SmallDialogsTest, ImportLogEscapeAsksForTheDetails) {
    TShowWarnForm d;
    EXPECT_EQ(d.windowTitle(), "Import Log");
    EXPECT_EQ(ExecWith(d, [&] { QTest::keyClick(&d, Qt::Key_Escape); }), QDialog::Accepted);
    EXPECT_EQ(ExecWith(d, [&] { QTest::keyClick(&d, Qt::Key_Return); }), QDialog::Rejected);
    EXPECT_EQ(ExecWith(d, [&] { QTest::mouseClick(d.ShowBtn, Qt::LeftButton); }), QDialog::Accepted);
    // The two buttons stay centred.
    d.resize(500, 160);
    d.show();
    QApplication::processEvents();
    const int m = d.BottomPanel->width() / 2;
    EXPECT_EQ(d.CloseBtn->x(), m - d.CloseBtn->width() - 2);
    EXPECT_EQ(d.ShowBtn->x(), m + 2);
    d.hide();
}

TEST_F(SmallDialogsTest, PickListNeedsASelectionAndTakesADoubleClick) {
    TSelectListDlg d;
    d.SetItems({"Motor", "Encoder", "Limits"});
    EXPECT_EQ(d.ItemIndex(), -1);
    bool stillOpen = false;
    const int r = ExecWith(d, [&] {
        QTest::mouseClick(d.OKBtn, Qt::LeftButton);
        stillOpen = d.isVisible();
        QListWidgetItem* item = d.ListBox->item(1);
        const QPoint p = d.ListBox->visualItemRect(item).center();
        QTest::mouseClick(d.ListBox->viewport(), Qt::LeftButton, {}, p);
        QTest::mouseDClick(d.ListBox->viewport(), Qt::LeftButton, {}, p);
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(r, QDialog::Accepted);
    EXPECT_EQ(d.ItemIndex(), 1);
    EXPECT_EQ(d.Items()[static_cast<size_t>(d.ItemIndex())], "Encoder");
    d.SetItemIndex(-1);
    EXPECT_EQ(ExecWith(d, [&] { QTest::mouseClick(d.CancelBtn, Qt::LeftButton); }), QDialog::Rejected);
}

TEST_F(SmallDialogsTest, LoginInfoAbortRaisesTheFlagPerClick) {
    test::TestShell shell;
    TLoginInfoForm f;
    f.show();
    f.AddString("Search for parameter trees in the drive.");
    f.AddString("Reading 10%");
    f.SetLastLine("Reading 20%");
    EXPECT_EQ(f.Lines(), (std::vector<MyAnsiString>{"Search for parameter trees in the drive.", "Reading 20%"}));
    int raised = 0;
    for (int i = 0; i < 2; ++i) {
        QTest::mouseClick(f.AbortBtn, Qt::LeftButton);
        raised += shell.loginAbort;
        shell.loginAbort = false;
    }
    EXPECT_EQ(raised, 2);
    EXPECT_TRUE(f.isVisible());
    QTest::mouseClick(f.CloseBtn, Qt::LeftButton);
    EXPECT_FALSE(f.isVisible());
}

TEST_F(SmallDialogsTest, LoginQuestionTogglesDetailsAndAnswers) {
    TLoginMsgForm f;
    TLoginQuestion q;
    q.Message = "Continue?";
    q.Details = "Trees:\r A\r";
    bool detailsShown = false;
    QString toggled;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
        QTest::mouseClick(f.Button4, Qt::LeftButton);
        detailsShown = f.DetailsVisible();
        toggled = f.Button4->text();
        QTest::mouseClick(f.Button4, Qt::LeftButton);
        QTest::mouseClick(f.Button3, Qt::LeftButton);
    });
    EXPECT_EQ(f.Ask(q), mrYes);
    EXPECT_TRUE(detailsShown);
    EXPECT_EQ(toggled, "Hide Details");
    EXPECT_EQ(f.Button4->text(), "Show Details");
    EXPECT_EQ(f.Label2->text(), "Trees:\n A\n");

    q.YesVisible = false;
    q.NoCaption = "OK";
    bool yesHidden = false;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
        yesHidden = f.Button3->isHidden();
        QTest::mouseClick(f.Button2, Qt::LeftButton);
    });
    EXPECT_EQ(f.Ask(q), mrNo);
    EXPECT_TRUE(yesHidden);
    EXPECT_EQ(f.Button2->text(), "OK");
}

TEST_F(SmallDialogsTest, CheckListKeepsItemsAndMarks) {
    TCheckListDialog d;
    d.SetText("Choose");
    d.SetItems({"a", "b"});
    d.SetChecked(1, true);
    EXPECT_EQ(d.Text(), "Choose");
    EXPECT_EQ(d.Count(), 2);
    EXPECT_FALSE(d.Checked(0));
    EXPECT_TRUE(d.Checked(1));
    EXPECT_FALSE(d.Checked(5));
    d.Clear();
    EXPECT_EQ(d.Count(), 0);
}

} // namespace
} // namespace vo

#include "kernel/gui/QtUserPrompt.h"

#include <QMessageBox>
#include <QPointer>

namespace vo {
namespace {

// Clicks the button with the text in the message box that is open.
void ClickInMessageBox(const QString& Text) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            for (QAbstractButton* b : box->buttons())
                if (b->text() == Text) {
                    QTest::mouseClick(b, Qt::LeftButton);
                    return;
                }
    ADD_FAILURE() << "no button " << Text.toStdString();
}

TEST_F(SmallDialogsTest, TheQtPromptAnswersWithTheButtonPressed) {
    TQtUserPrompt prompt;
    TPromptRequest r;
    r.Text = "Save the configuration?";
    r.Kind = TMsgDlgType::mtConfirmation;
    r.Buttons = {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo, TMsgDlgBtn::mbCancel};
    QTimer::singleShot(50, [] { ClickInMessageBox("&No"); });
    EXPECT_EQ(prompt.Prompt(r), mrNo);
    QTimer::singleShot(50, [] { ClickInMessageBox("Cancel"); });
    EXPECT_EQ(prompt.Prompt(r), mrCancel);
    r.Buttons = {};
    QTimer::singleShot(50, [] { ClickInMessageBox("OK"); });
    EXPECT_EQ(prompt.Prompt(r), mrOk);
}

// A notice returns before the user answers (no timer can run meanwhile), and
// its box goes away by itself once closed.
TEST_F(SmallDialogsTest, TheQtNoticeDoesNotWaitForTheUser) {
    TQtUserPrompt prompt;
    TPromptRequest r;
    r.Text = "TChanData.GetData: unknown variable type.";
    r.Kind = TMsgDlgType::mtError;
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    prompt.Notify(r);
    EXPECT_FALSE(timerRan);
    QMessageBox* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) shown = box;
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(shown->isModal());
    EXPECT_EQ(shown->text(), QString("TChanData.GetData: unknown variable type."));
    EXPECT_EQ(shown->icon(), QMessageBox::Critical);
    QPointer<QMessageBox> watch(shown);
    ClickInMessageBox("OK");
    EXPECT_TRUE(QTest::qWaitFor([&] { return watch.isNull(); }, 5000));
}

} // namespace
} // namespace vo
