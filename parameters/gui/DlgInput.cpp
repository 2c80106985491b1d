#include "parameters/gui/DlgInput.h"

#include "kernel/gui/QtText.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vo {

TInputDialog::TInputDialog(QWidget* Parent) : QDialog(Parent) {
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* layout = new QVBoxLayout(this);
    EdInpStr = new QLineEdit(this);
    EdInpStr->setObjectName("EdInpStr");
    EdInpStr->setMinimumWidth(260);
    layout->addWidget(EdInpStr);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    BtnOK = new QPushButton("OK", this);
    BtnOK->setObjectName("BtnOK");
    BtnOK->setDefault(true);
    BtnCancel = new QPushButton("Cancel", this);
    BtnCancel->setObjectName("BtnCancel");
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);
    layout->addLayout(buttons);
    connect(BtnOK, &QPushButton::clicked, this, [this] {
        FInputString = FromQt(EdInpStr->text());
        accept();
    });
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TInputDialog::Execute() { return exec() == QDialog::Accepted; }

void TInputDialog::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    EdInpStr->setText(ToQt(FInputString));
    EdInpStr->selectAll();
    EdInpStr->setFocus();
}

} // namespace vo
