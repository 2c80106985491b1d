#include "devices/gui/ConfPwdDlg.h"

#include "kernel/gui/PassWordDialog.h"
#include "kernel/gui/QtText.h"

#include <QLineEdit>

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

void InstallConfigPasswordDialog(QWidget* Parent) {
    SetConfigPasswordPrompt([Parent](const TConfigPasswordQuestion& Q, MyAnsiString& Password) {
        return AskConfigPassword(Q, Password, Parent);
    });
}

} // namespace vo
