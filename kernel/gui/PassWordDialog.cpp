#include "kernel/gui/PassWordDialog.h"

#include "kernel/gui/QtText.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vo {

TPasswordDlg::TPasswordDlg(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Switch User");
    auto* layout = new QVBoxLayout(this);
    InfoMsg = new QLabel(this);
    InfoMsg->setWordWrap(true);
    layout->addWidget(InfoMsg);
    auto* form = new QFormLayout;
    UserEdt = new QLineEdit(this);
    PasswordEdt = new QLineEdit(this);
    PasswordEdt->setEchoMode(QLineEdit::Password);
    form->addRow("User ID:", UserEdt);
    form->addRow("Password:", PasswordEdt);
    layout->addLayout(form);
    auto* buttons = new QHBoxLayout;
    OKBtn = new QPushButton("OK", this);
    CancelBtn = new QPushButton("Cancel", this);
    OKBtn->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    setFixedSize(sizeHint());
}

MyAnsiString TPasswordDlg::GetUserName() const {
    return FromQt(UserEdt->text());
}

MyAnsiString TPasswordDlg::GetPassword() const {
    return FromQt(PasswordEdt->text());
}

void TPasswordDlg::SetInfoMsg(const MyAnsiString& Text) {
    InfoMsg->setText(ToQt(Text));
}

void TPasswordDlg::showEvent(QShowEvent* Event) {
    PasswordEdt->clear();
    QDialog::showEvent(Event);
}

} // namespace vo
