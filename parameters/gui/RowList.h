#pragma once

#include <QtCore/qcontainerfwd.h>

#include <initializer_list>

class QMenu;
class QTreeWidget;
class QVBoxLayout;
class QWidget;

namespace vo {

// What the parameter and variable views share in setting up their panel: a
// margin-less column layout and a flat list of whole-row, single selection
// with fixed design widths and a context menu.
QVBoxLayout* NewPanelLayout(QWidget& Panel);

enum class TRowListDrag { None,
                          DragOut };

void SetUpRowList(QTreeWidget& List, const QStringList& Captions, std::initializer_list<int> Widths, TRowListDrag Drag);

// Pops Menu up where the list's context menu is asked for.
void ConnectRowListMenu(QTreeWidget& List, QMenu& Menu);

} // namespace vo
