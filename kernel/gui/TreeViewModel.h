#pragma once
// The Qt side of the project model tree: an item model over a TTreeView (the
// GUI-free tree control that the model tree's entry managers drive) and a
// QTreeView that keeps expansion, selection and editing in step with it.
//
// The entry manager decides what the tree holds (lazy children, permissions,
// selection kept across refreshes); this adapter only mirrors it and hands
// the user's clicks back: an expansion, collapse or selection the tree refuses
// is undone in the widget.
#include <QAbstractItemModel>
#include <QIcon>
#include <QTreeView>

#include <vector>

#include "kernel/TreeView.h"

namespace vo {

// An image list with pictures (the program's shared image list).
class TQtImageList : public TImageList {
public:
    int GetCount() const override { return static_cast<int>(FIcons.size()); }
    int Add(const QIcon& AIcon);
    QIcon Icon(int Index) const;

private:
    std::vector<QIcon> FIcons;
};

// Item model over a TTreeView: one column, the nodes' texts (code page 1252)
// and icons, an expand indicator wherever the node shows an expand button.
class TTreeViewModel : public QAbstractItemModel, private TTreeViewObserver {
    Q_OBJECT
public:
    explicit TTreeViewModel(TTreeView& ATree, QObject* AParent = nullptr);
    ~TTreeViewModel() override;

    TTreeView& Tree() const noexcept { return *FTree; }
    TTreeNode* NodeOf(const QModelIndex& AIndex) const;
    QModelIndex IndexOf(const TTreeNode* ANode) const;
    // True while the tree inserts or removes nodes (the widget then ignores
    // the current-index moves Qt makes on its own).
    bool Restructuring() const noexcept { return FRestructuring > 0; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The tree expanded or collapsed a node by itself.
    void nodeExpandedChanged(const QModelIndex& index, bool expanded);
    // The tree selected another node (invalid index: none).
    void selectedChanged(const QModelIndex& index);
    // A node's expand button came or went.
    void buttonChanged(const QModelIndex& index);

private:
    void NodesInserting(TTreeNode* AParent, int AFirst, int ALast) override;
    void NodesInserted() override;
    void NodesRemoving(TTreeNode* AParent, int AFirst, int ALast) override;
    void NodesRemoved() override;
    void NodeChanged(TTreeNode& ANode) override;
    void NodeExpandedChanged(TTreeNode& ANode) override;
    void SelectionChanged(TTreeNode* ANode) override;

    TTreeView* FTree;
    int FRestructuring = 0;
};

// A tree widget bound to a TTreeView through a TTreeViewModel.
class TTreeViewWidget : public QTreeView {
    Q_OBJECT
public:
    explicit TTreeViewWidget(TTreeView& ATree, QWidget* AParent = nullptr);
    ~TTreeViewWidget() override;

    TTreeViewModel& Model() const noexcept { return *FModel; }
    TTreeView& Tree() const noexcept { return FModel->Tree(); }

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void UserExpanded(const QModelIndex& AIndex);
    void UserCollapsed(const QModelIndex& AIndex);
    void UserCurrentChanged(const QModelIndex& ACurrent);
    void TreeExpandedChanged(const QModelIndex& AIndex, bool AExpanded);
    void TreeSelectedChanged(const QModelIndex& AIndex);
    void SyncExpansion(const QModelIndex& AParent);
    // Brings the row into view unless a collapsed ancestor hides it. While
    // the widget is hidden it waits until the widget is shown: the rows are
    // laid out for the shown widget only (with its style and size), not once
    // more for nothing before.
    void ScrollToShown(const QModelIndex& AIndex);

    TTreeViewModel* FModel;
    int FSyncing = 0; // >0 while the widget follows the tree
    bool FScrollOnShow = false; // the current row is brought into view when shown
};

} // namespace vo
