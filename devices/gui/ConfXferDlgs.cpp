#include "devices/gui/ConfXferDlgs.h"

#include "kernel/gui/PassWordDialog.h"
#include "kernel/gui/QtText.h"
#include "kernel/gui/ShowWarn.h"

#include <QLineEdit>
#include <QPushButton>

namespace vo {

bool AskConfigPassword(const TConfigPasswordQuestion& Q, MyAnsiString& Password, QWidget* Parent) {
    TPasswordDlg d(Parent);
    d.setWindowTitle(ToQt(Q.Caption));
    d.SetInfoMsg(Q.Info);
    d.UserEdt->setText(ToQt(Q.UserName));
    d.UserEdt->setReadOnly(true);
    if (d.exec() != QDialog::Accepted)
        return false;
    Password = d.GetPassword();
    return true;
}

bool AskShowImportWarnings(const MyAnsiString& Text, const MyAnsiString& ShowButton, QWidget* Parent) {
    TShowWarnForm d(Parent);
    d.SetMessage(Text);
    if (!ShowButton.empty())
        d.ShowBtn->setText(ToQt(ShowButton));
    // The details button gives OK.
    return d.exec() == QDialog::Accepted;
}

void InstallConfigTransferDialogs(QWidget* Parent) {
    SetConfigPasswordPrompt([Parent](const TConfigPasswordQuestion& Q, MyAnsiString& Password) {
        return AskConfigPassword(Q, Password, Parent);
    });
    SetImportWarningsPrompt([Parent](const MyAnsiString& Text, const MyAnsiString& ShowButton) {
        return AskShowImportWarnings(Text, ShowButton, Parent);
    });
}

} // namespace vo
