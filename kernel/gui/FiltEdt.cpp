#include "kernel/gui/FiltEdt.h"

#include "kernel/gui/FiltDlg.h"
#include "kernel/gui/QtText.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vo {

namespace {
TFilterEditor* GEditor = nullptr;

} // namespace

TFilterEditor* FilterEditor() noexcept {
    return GEditor;
}

TFilterEditor::TFilterEditor(TFilterRules& Rules, QWidget* Parent)
    : QWidget(Parent, Qt::Window), FRules(Rules) {
    setWindowTitle("Debug Filter");
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QToolBar;
    auto action = [&](const char* Caption, const char* Hint, void (TFilterEditor::*Slot)()) {
        QAction* a = bar->addAction(Caption);
        a->setToolTip(Hint);
        a->setStatusTip(Hint);
        connect(a, &QAction::triggered, this, [this, Slot] { (this->*Slot)(); });
        return a;
    };
    AcInsert = action("Insert", "Insert Filter", &TFilterEditor::Insert);
    AcAdd = action("Add", "Add Filter", &TFilterEditor::Add);
    AcEdit = action("Edit", "Edit Filter", &TFilterEditor::Edit);
    AcDelete = action("Delete", "Delete Filter", &TFilterEditor::Delete);
    layout->addWidget(bar);
    ListView = new QTreeWidget;
    ListView->setRootIsDecorated(false);
    ListView->setHeaderLabels({"Description", "Code", "Mask", "Action"});
    ListView->header()->resizeSection(0, 220);
    ListView->installEventFilter(this);
    connect(ListView, &QTreeWidget::itemDoubleClicked, this, [this] { Edit(); });
    connect(ListView, &QTreeWidget::currentItemChanged, this, [this] { UpdateActions(); });
    layout->addWidget(ListView);
    Dialog = new TFilterDialog(this);
    RunDialog = [](TFilterDialog& D) { return D.exec() == QDialog::Accepted; };
    resize(460, 260);
    Refresh();
    GEditor = this;
}

TFilterEditor::~TFilterEditor() {
    if (GEditor == this)
        GEditor = nullptr;
}

void TFilterEditor::Refresh() {
    const int selected = Selected();
    ListView->clear();
    for (const TDebugFilter& r : FRules.Rules())
        ListView->addTopLevelItem(new QTreeWidgetItem(
            {ToQt(r.FDescription), ToQt(FilterHex(r.FCode)), ToQt(FilterHex(r.FMask)), FilterActionText(r.FAction)}));
    if (selected >= 0)
        Select(std::min(selected, ListView->topLevelItemCount() - 1));
    UpdateActions();
}

int TFilterEditor::Selected() const {
    QTreeWidgetItem* item = ListView->currentItem();
    return item ? ListView->indexOfTopLevelItem(item) : -1;
}

void TFilterEditor::Select(int Row) {
    if (Row < 0 || Row >= ListView->topLevelItemCount())
        return;
    ListView->setCurrentItem(ListView->topLevelItem(Row));
    ListView->setFocus();
}

void TFilterEditor::UpdateActions() {
    const bool selected = Selected() >= 0;
    AcInsert->setEnabled(selected);
    AcEdit->setEnabled(selected);
    AcDelete->setEnabled(selected);
}

void TFilterEditor::DenyAllowStatusFilter() {
    FRules.DenyAllowStatusFilter();
    Refresh();
}

void TFilterEditor::Insert() {
    const int row = Selected();
    if (row < 0)
        return;
    Dialog->ClearFields();
    if (!RunDialog(*Dialog))
        return;
    FRules.Insert(static_cast<size_t>(row), Dialog->Result());
    Refresh();
    Select(row);
}

void TFilterEditor::Add() {
    Dialog->ClearFields();
    if (!RunDialog(*Dialog))
        return;
    FRules.Add(Dialog->Result());
    Refresh();
    Select(static_cast<int>(FRules.Count()) - 1);
}

void TFilterEditor::Edit() {
    const int row = Selected();
    if (row < 0)
        return;
    Dialog->Fill(FRules.Rule(static_cast<size_t>(row)));
    if (!RunDialog(*Dialog))
        return;
    FRules.Replace(static_cast<size_t>(row), Dialog->Result());
    Refresh();
    Select(row);
}

void TFilterEditor::Delete() {
    const int row = Selected();
    if (row < 0)
        return;
    const long next = FRules.Delete(static_cast<size_t>(row));
    ListView->setCurrentItem(nullptr);
    Refresh();
    Select(static_cast<int>(next));
}

bool TFilterEditor::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == ListView && Event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Edit();
            return true;
        }
    }
    return QWidget::eventFilter(Watched, Event);
}

} // namespace vo
