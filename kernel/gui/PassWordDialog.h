#pragma once
// "Switch User": user id and password. Every showing empties the password;
// the user id stays as it was.
#include "platform/AnsiString.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vo {

class TPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPasswordDlg(QWidget* Parent = nullptr);

    MyAnsiString GetUserName() const;
    MyAnsiString GetPassword() const;
    void SetInfoMsg(const MyAnsiString& Text);

    QLabel* InfoMsg;
    QLineEdit* UserEdt;
    QLineEdit* PasswordEdt;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

protected:
    void showEvent(QShowEvent* Event) override;
};

} // namespace vo
