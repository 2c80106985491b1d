#include "kernel/gui/SelDlg.h"

#include "kernel/gui/QtText.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vo {

TSelectListDlg::TSelectListDlg(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Dialog");
    auto* layout = new QVBoxLayout(this);
    ListBox = new QListWidget(this);
    layout->addWidget(ListBox);
    auto* buttons = new QHBoxLayout;
    OKBtn = new QPushButton("OK", this);
    CancelBtn = new QPushButton("Cancel", this);
    OKBtn->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(OKBtn, &QPushButton::clicked, this, [this] { TryAccept(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListBox, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* Item) {
        ListBox->setCurrentItem(Item);
        TryAccept();
    });
}

void TSelectListDlg::TryAccept() {
    if (ItemIndex() >= 0)
        accept(); // without a selection the list stays open
}

bool TSelectListDlg::Execute() {
    return exec() == QDialog::Accepted;
}

std::vector<MyAnsiString> TSelectListDlg::Items() const {
    std::vector<MyAnsiString> out;
    for (int i = 0; i < ListBox->count(); ++i)
        out.push_back(FromQt(ListBox->item(i)->text()));
    return out;
}

void TSelectListDlg::SetItems(const std::vector<MyAnsiString>& Value) {
    ListBox->clear();
    ListBox->addItems(ToQt(Value));
    ListBox->setCurrentRow(-1);
}

int TSelectListDlg::ItemIndex() const {
    return ListBox->currentItem() && ListBox->currentItem()->isSelected() ? ListBox->currentRow() : -1;
}

void TSelectListDlg::SetItemIndex(int Value) {
    ListBox->setCurrentRow(Value);
}

} // namespace vo
