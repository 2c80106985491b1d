#include "parameters/gui/RowList.h"

#include <QHeaderView>
#include <QMenu>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vo {

QVBoxLayout* NewPanelLayout(QWidget& Panel) {
    auto* layout = new QVBoxLayout(&Panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

void SetUpRowList(QTreeWidget& List, const QStringList& Captions, std::initializer_list<int> Widths, TRowListDrag Drag) {
    List.setObjectName("ListView");
    List.setRootIsDecorated(false);
    List.setUniformRowHeights(true);
    List.setEditTriggers(QAbstractItemView::NoEditTriggers);
    List.setSelectionMode(QAbstractItemView::SingleSelection);
    List.setSelectionBehavior(QAbstractItemView::SelectRows);
    if (Drag == TRowListDrag::DragOut) {
        List.setDragEnabled(true);
        List.setDragDropMode(QAbstractItemView::DragOnly);
    }
    List.setColumnCount(static_cast<int>(Captions.size()));
    List.setHeaderLabels(Captions);
    List.header()->setStretchLastSection(false);
    int column = 0;
    for (int width : Widths) List.header()->resizeSection(column++, width);
    List.setContextMenuPolicy(Qt::CustomContextMenu);
}

void ConnectRowListMenu(QTreeWidget& List, QMenu& Menu) {
    QObject::connect(&List, &QWidget::customContextMenuRequested, &Menu,
                     [&List, &Menu](const QPoint& At) { Menu.popup(List.viewport()->mapToGlobal(At)); });
}

} // namespace vo
