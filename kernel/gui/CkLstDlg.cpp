#include "kernel/gui/CkLstDlg.h"

#include "kernel/gui/QtText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vo {

TCheckListDialog::TCheckListDialog(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Dialog");
    auto* layout = new QVBoxLayout(this);
    Panel1 = new QLabel(this);
    Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    CheckListBox = new QListWidget(this);
    layout->addWidget(Panel1);
    layout->addWidget(CheckListBox);
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
}

void TCheckListDialog::Clear() {
    CheckListBox->clear();
}

MyAnsiString TCheckListDialog::Text() const {
    return FromQt(Panel1->text());
}

void TCheckListDialog::SetText(const MyAnsiString& Value) {
    Panel1->setText(ToQt(Value));
}

int TCheckListDialog::Count() const {
    return CheckListBox->count();
}

std::vector<MyAnsiString> TCheckListDialog::Items() const {
    std::vector<MyAnsiString> out;
    for (int i = 0; i < CheckListBox->count(); ++i)
        out.push_back(FromQt(CheckListBox->item(i)->text()));
    return out;
}

void TCheckListDialog::SetItems(const std::vector<MyAnsiString>& Value) {
    CheckListBox->clear();
    for (const auto& s : Value) {
        auto* item = new QListWidgetItem(ToQt(s), CheckListBox);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

bool TCheckListDialog::Checked(int Index) const {
    const QListWidgetItem* item = CheckListBox->item(Index);
    return item && item->checkState() == Qt::Checked;
}

void TCheckListDialog::SetChecked(int Index, bool Value) {
    if (QListWidgetItem* item = CheckListBox->item(Index))
        item->setCheckState(Value ? Qt::Checked : Qt::Unchecked);
}

} // namespace vo
