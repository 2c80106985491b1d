#include "devices/gui/mdChkFrm.h"

#include "devices/ConfXfer.h"
#include "devices/ModChk.h"
#include "kernel/gui/QtText.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vo {

TModCheckForm::TModCheckForm(QWidget* Parent) : QDialog(Parent) {
    TreeView = new QTreeWidget(this);
    TreeView->setHeaderHidden(true);
    TreeView->setItemsExpandable(false);
    TreeView->setRootIsDecorated(false);
    OkButton = new QPushButton("Ok", this);
    CancelButton = new QPushButton("Cancel", this);
    OkButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TreeView);
    layout->addLayout(buttons);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(TreeView, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* I, int) { ItemClicked(I); });
    resize(360, 420);
}

void TModCheckForm::SetTree(TModCheckTree& Tree) {
    FTree = &Tree;
    EnabledClick = false;
    TreeView->clear();
    FNodes.clear();
    setWindowTitle(ToQt(Tree.Caption()));
    if (Tree.Root())
        Build(nullptr, *Tree.Root());
    TreeView->expandAll();
    if (TreeView->topLevelItemCount() > 0)
        TreeView->scrollToItem(TreeView->topLevelItem(0));
    Refresh();
    EnabledClick = true;
}

void TModCheckForm::Build(QTreeWidgetItem* Parent, TModCheckNode& Node) {
    auto* item = Parent ? new QTreeWidgetItem(Parent) : new QTreeWidgetItem(TreeView);
    item->setText(0, ToQt(Node.Caption));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    FNodes[item] = &Node;
    for (auto& c : Node.Children)
        Build(item, *c);
}

QTreeWidgetItem* TModCheckForm::ItemOf(const TModCheckNode& Node) const {
    for (const auto& [item, node] : FNodes)
        if (node == &Node)
            return item;
    return nullptr;
}

void TModCheckForm::Refresh() {
    for (const auto& [item, node] : FNodes)
        item->setCheckState(0, node->Checked ? Qt::Checked : Qt::Unchecked);
}

void TModCheckForm::ItemClicked(QTreeWidgetItem* Item) {
    auto it = FNodes.find(Item);
    if (!EnabledClick || !FTree || it == FNodes.end())
        return;
    EnabledClick = false;
    FTree->Click(*it->second);
    Refresh();
    EnabledClick = true;
}

void InstallModCheckForm(QWidget* Parent) {
    SetConfigItemSelector(MakeModCheckSelector([Parent](TModCheckTree& Tree) {
        TModCheckForm form(Parent);
        form.SetTree(Tree);
        return form.exec() == QDialog::Accepted;
    }));
}

} // namespace vo
