#pragma once
// The parameter list view in the project window: a tool bar with the value
// field, the list of one parameter directory's children and a status bar
// with the selected row's path. The rows, the entry checks and the service
// protocol are TParViewModel's (parameters/ParView2.h); this form shows them
// and passes the user's input on. The program registers one
// TParAppViewFactory at the parameter manager, so every parameter
// directory's tree node opens this view.
#include "kernel/gui/QtViews.h"
#include "parameters/ParView2.h"

#include <QObject>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace vo {

class TParAppViewForm : public TQtApplicationView, public QObject {
public:
    explicit TParAppViewForm(TApplicationViewFactory& AOwner);
    ~TParAppViewForm() override;

    void Execute(TAppViewAction Action) override;

    // What the class library's action update does: display-mode changes
    // rebuild the list, the read action follows the drive and the client.
    // A timer runs it while the view is shown.
    void UpdateActions();
    // The value field and the status bar for the selected row.
    void UpdateValueEdit();

    TParViewModel& ViewModel() noexcept { return FModel; }

    QToolBar* ToolBar1;
    QLineEdit* EdValue;
    QTreeWidget* ListView;
    QLabel* StatusPanel0; // "Parameters"
    QLabel* StatusPanel1; // the selected row's path
    QAction* ActShowParDet;
    QAction* ActEnter;
    QAction* ActCancel;
    QAction* ActUpdate;
    QAction* UPIDBrowserAct;
    QAction* StartWizard;
    QAction* DefParsAct;
    QMenu* PopupMenu1;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void RowsChanged(bool Rebuilt);
    void FillItem(QTreeWidgetItem& Item, const TParViewRow& Row, bool All);
    void ListViewChange();
    void ControlPropertyInspector();
    void EditSelected();
    void ActEnterExecute();
    void ActCancelExecute();
    void ActShowParDetExecute();
    void ApplyColumnWidths();

    TParViewModel FModel;
    QTimer* FActionTimer;
    bool FFilling = false;
};

class TParAppViewFactory : public TApplicationViewFactory {
protected:
    std::unique_ptr<TApplicationView> CreateApplicationView() override;
};

} // namespace vo
