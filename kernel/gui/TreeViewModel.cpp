#include "kernel/gui/TreeViewModel.h"

#include <QItemSelectionModel>

#include "platform/Cp1252.h"

namespace vo {

namespace {

QString ToQString(const MyAnsiString& AText) {
    return QString::fromStdString(Cp1252ToUtf8(AText));
}

MyAnsiString FromQString(const QString& AText) {
    return Utf8ToCp1252(AText.toStdString());
}

// Counts nesting so that a re-entrant change keeps the outer one's state.
class TGuard {
public:
    explicit TGuard(int& ACounter) : FCounter(ACounter) { ++FCounter; }
    ~TGuard() { --FCounter; }
    TGuard(const TGuard&) = delete;
    TGuard& operator=(const TGuard&) = delete;

private:
    int& FCounter;
};

} // namespace

// --- TQtImageList -------------------------------------------------------------

int TQtImageList::Add(const QIcon& AIcon) {
    FIcons.push_back(AIcon);
    return GetCount() - 1;
}

QIcon TQtImageList::Icon(int Index) const {
    if (Index < 0 || Index >= GetCount()) return {};
    return FIcons[static_cast<std::size_t>(Index)];
}

// --- TTreeViewModel -----------------------------------------------------------

TTreeViewModel::TTreeViewModel(TTreeView& ATree, QObject* AParent) : QAbstractItemModel(AParent), FTree(&ATree) {
    FTree->SetObserver(this);
}

TTreeViewModel::~TTreeViewModel() {
    if (FTree->Observer() == this) FTree->SetObserver(nullptr);
}

TTreeNode* TTreeViewModel::NodeOf(const QModelIndex& AIndex) const {
    if (!AIndex.isValid() || AIndex.model() != this) return nullptr;
    return static_cast<TTreeNode*>(AIndex.internalPointer());
}

QModelIndex TTreeViewModel::IndexOf(const TTreeNode* ANode) const {
    if (!ANode) return {};
    const int row = ANode->Index();
    if (row < 0) return {};
    return createIndex(row, 0, const_cast<TTreeNode*>(ANode));
}

QModelIndex TTreeViewModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    if (parent.isValid()) {
        TTreeNode* p = NodeOf(parent);
        if (!p || row >= p->Count()) return {};
        return createIndex(row, 0, p->Item(row));
    }
    if (row >= FTree->Count()) return {};
    return createIndex(row, 0, FTree->Item(row));
}

QModelIndex TTreeViewModel::parent(const QModelIndex& child) const {
    TTreeNode* node = NodeOf(child);
    return node ? IndexOf(node->Parent()) : QModelIndex();
}

int TTreeViewModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    if (!parent.isValid()) return FTree->Count();
    TTreeNode* node = NodeOf(parent);
    return node ? node->Count() : 0;
}

int TTreeViewModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool TTreeViewModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return FTree->Count() > 0;
    TTreeNode* node = NodeOf(parent);
    return node && (node->Count() > 0 || node->HasChildren());
}

QVariant TTreeViewModel::data(const QModelIndex& index, int role) const {
    TTreeNode* node = NodeOf(index);
    if (!node) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
        return ToQString(node->Text());
    case Qt::DecorationRole: {
        const auto* images = dynamic_cast<const TQtImageList*>(FTree->Images());
        if (!images) return {};
        const int image = node->Selected() && node->SelectedIndex() >= 0 ? node->SelectedIndex() : node->ImageIndex();
        const QIcon icon = images->Icon(image);
        return icon.isNull() ? QVariant() : QVariant(icon);
    }
    default:
        return {};
    }
}

bool TTreeViewModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    TTreeNode* node = NodeOf(index);
    if (!node || role != Qt::EditRole) return false;
    FTree->UserEdited(*node, FromQString(value.toString()));
    return true;
}

Qt::ItemFlags TTreeViewModel::flags(const QModelIndex& index) const {
    TTreeNode* node = NodeOf(index);
    if (!node) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (FTree->CanEdit(*node)) f |= Qt::ItemIsEditable;
    return f;
}

void TTreeViewModel::NodesInserting(TTreeNode* AParent, int AFirst, int ALast) {
    ++FRestructuring;
    beginInsertRows(IndexOf(AParent), AFirst, ALast);
}

void TTreeViewModel::NodesInserted() {
    endInsertRows();
    --FRestructuring;
}

void TTreeViewModel::NodesRemoving(TTreeNode* AParent, int AFirst, int ALast) {
    ++FRestructuring;
    beginRemoveRows(IndexOf(AParent), AFirst, ALast);
}

void TTreeViewModel::NodesRemoved() {
    endRemoveRows();
    --FRestructuring;
}

void TTreeViewModel::NodeChanged(TTreeNode& ANode) {
    const QModelIndex index = IndexOf(&ANode);
    emit dataChanged(index, index);
    emit buttonChanged(index);
}

void TTreeViewModel::NodeExpandedChanged(TTreeNode& ANode) {
    emit nodeExpandedChanged(IndexOf(&ANode), ANode.Expanded());
}

void TTreeViewModel::SelectionChanged(TTreeNode* ANode) {
    emit selectedChanged(IndexOf(ANode));
}

// --- TTreeViewWidget ----------------------------------------------------------

TTreeViewWidget::TTreeViewWidget(TTreeView& ATree, QWidget* AParent)
    : QTreeView(AParent), FModel(new TTreeViewModel(ATree, this)) {
    setHeaderHidden(true);
    setModel(FModel);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    connect(this, &QTreeView::expanded, this, &TTreeViewWidget::UserExpanded);
    connect(this, &QTreeView::collapsed, this, &TTreeViewWidget::UserCollapsed);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) { UserCurrentChanged(current); });
    connect(FModel, &TTreeViewModel::nodeExpandedChanged, this, &TTreeViewWidget::TreeExpandedChanged);
    connect(FModel, &TTreeViewModel::selectedChanged, this, &TTreeViewWidget::TreeSelectedChanged);
    connect(FModel, &TTreeViewModel::buttonChanged, this, [this](const QModelIndex&) { scheduleDelayedItemsLayout(); });
    // Rows the tree inserts under an expanded node take its expanded children along.
    connect(FModel, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) {
                for (int r = first; r <= last; ++r) SyncExpansion(FModel->index(r, 0, parent));
            });
    SyncExpansion({});
    TreeSelectedChanged(FModel->IndexOf(ATree.Selected()));
}

TTreeViewWidget::~TTreeViewWidget() {
    // The model goes with the widget; it lets go of the tree itself.
    disconnect(FModel, nullptr, this, nullptr);
}

void TTreeViewWidget::SyncExpansion(const QModelIndex& AParent) {
    TGuard guard(FSyncing);
    const auto apply = [&](const QModelIndex& index, auto& self) -> void {
        TTreeNode* node = FModel->NodeOf(index);
        if (!node) return;
        setExpanded(index, node->Expanded());
        for (int r = 0; r < node->Count(); ++r) self(FModel->index(r, 0, index), self);
    };
    if (AParent.isValid()) {
        apply(AParent, apply);
    } else {
        for (int r = 0; r < FModel->rowCount(); ++r) apply(FModel->index(r, 0), apply);
    }
}

void TTreeViewWidget::UserExpanded(const QModelIndex& AIndex) {
    if (FSyncing) return;
    TTreeNode* node = FModel->NodeOf(AIndex);
    if (!node || node->Expanded()) return;
    if (!Tree().UserExpand(*node)) {
        TGuard guard(FSyncing);
        collapse(FModel->IndexOf(node));
    }
}

void TTreeViewWidget::UserCollapsed(const QModelIndex& AIndex) {
    if (FSyncing) return;
    TTreeNode* node = FModel->NodeOf(AIndex);
    if (!node || !node->Expanded()) return;
    if (!Tree().UserCollapse(*node)) {
        TGuard guard(FSyncing);
        expand(FModel->IndexOf(node));
    }
}

void TTreeViewWidget::UserCurrentChanged(const QModelIndex& ACurrent) {
    if (FSyncing || FModel->Restructuring()) return;
    TTreeNode* node = FModel->NodeOf(ACurrent);
    if (node == Tree().Selected()) return;
    if (!Tree().UserSelect(node)) TreeSelectedChanged(FModel->IndexOf(Tree().Selected()));
}

void TTreeViewWidget::TreeExpandedChanged(const QModelIndex& AIndex, bool AExpanded) {
    TGuard guard(FSyncing);
    if (AIndex.isValid()) setExpanded(AIndex, AExpanded);
}

void TTreeViewWidget::TreeSelectedChanged(const QModelIndex& AIndex) {
    TGuard guard(FSyncing);
    if (AIndex.isValid()) {
        selectionModel()->setCurrentIndex(AIndex, QItemSelectionModel::ClearAndSelect);
        ScrollToShown(AIndex);
    } else {
        FScrollOnShow = false;
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex({}, QItemSelectionModel::Clear);
    }
}

void TTreeViewWidget::ScrollToShown(const QModelIndex& AIndex) {
    if (!isVisible()) {
        FScrollOnShow = true;
        return;
    }
    FScrollOnShow = false;
    const TTreeNode* node = FModel->NodeOf(AIndex);
    if (!node) return;
    // Scrolling would expand collapsed ancestors behind the tree's back.
    bool shown = true;
    for (const TTreeNode* p = node->Parent(); p && shown; p = p->Parent())
        shown = p->Expanded();
    if (shown) scrollTo(AIndex);
}

void TTreeViewWidget::showEvent(QShowEvent* Event) {
    QTreeView::showEvent(Event);
    if (FScrollOnShow) ScrollToShown(currentIndex());
}

} // namespace vo
