#pragma once
// The data-item selection dialog of configuration exports and imports: a
// tree of check boxes over the selection model (devices/ModChk). A click on
// a node toggles it through the model; the tree stays expanded. "Ok" applies
// the choice, "Cancel" changes nothing.
#include <QDialog>

#include <map>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vo {

class TModCheckTree;
struct TModCheckNode;

class TModCheckForm : public QDialog {
    Q_OBJECT
public:
    explicit TModCheckForm(QWidget* Parent = nullptr);

    // Shows the tree of the model (built by InitExport / InitImport).
    void SetTree(TModCheckTree& Tree);
    // The item of a model node (for tests and views).
    QTreeWidgetItem* ItemOf(const TModCheckNode& Node) const;

    QTreeWidget* TreeView;
    QPushButton* OkButton;
    QPushButton* CancelButton;

private:
    void Build(QTreeWidgetItem* Parent, TModCheckNode& Node);
    void Refresh();
    void ItemClicked(QTreeWidgetItem* Item);

    TModCheckTree* FTree = nullptr;
    std::map<QTreeWidgetItem*, TModCheckNode*> FNodes;
    bool EnabledClick = false;
};

// Installs the dialog as the configuration transfers' item selection.
void InstallModCheckForm(QWidget* Parent = nullptr);

} // namespace vo
