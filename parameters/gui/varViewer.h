#pragma once
// The variable list view in the project window: a tool bar with the read,
// write, new and remove actions, the list of one variable section's
// variables (eight resizable columns) and a value editor floated over the
// "Value" cell of the selected row. The rows, the service protocol, the
// worker "VarViewer" and the printout are TVarViewModel's
// (parameters/varView.h); this form shows them and passes the user's input
// on. The program registers one TVarAppViewFactory at the variable manager,
// so every section's tree node opens this view.
#include "kernel/gui/QtViews.h"
#include "parameters/varView.h"

#include <QObject>

class QAction;
class QLineEdit;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;

namespace vo {

class TVarAppViewForm : public TQtApplicationView, public QObject {
public:
    explicit TVarAppViewForm(TApplicationViewFactory& AOwner);
    ~TVarAppViewForm() override;

    void Execute(TAppViewAction Action) override;
    // The window's print command (tag 15).
    void ActionUpdate(TObject* Action, bool& Handled) override;
    void ActionExecute(TObject* Action, bool& Handled) override;

    // What the class library's action update does: enabling by selection and
    // drive, display-mode changes refresh the list. A timer runs it while the
    // view is shown.
    void UpdateActions();
    // Places the value editor over the selected row's "Value" cell (hidden
    // when there is nothing to edit).
    void PlaceValueEditor();

    TVarViewModel& ViewModel() noexcept { return FModel; }

    QToolBar* ToolBar1;
    QTreeWidget* ListView;
    QLineEdit* ValueEditor;
    QAction* ShowDetailsAct;
    QAction* EditPropertiesAct;
    QToolButton* NewIntBtn; // shows the integer type chosen last
    QMenu* NewIntMenu;
    QAction* NewBoolAct;
    QAction* NewStringAct;
    QToolButton* NewFloatBtn;
    QMenu* NewFloatMenu;
    QAction* NewUPIDAct;
    QAction* ReadVarAct;
    QAction* WriteVarAct;
    QAction* ReadAllAct;
    QAction* CyclicAct;
    QAction* RemoveAct;
    QMenu* PopupMenu1;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void RowsChanged(int Select);
    void ListViewChange();
    void ControlPropertyInspector();
    void ApplyColumnWidths();
    void ShowDetailsExecute();
    void NewVar(const char* ATypeName);
    void ReadAllExecute();
    void EditorEnter();
    void EditorEscape();
    bool ListKey(QKeyEvent& Key);
    void SetIntType(const char* ATypeName);

    TVarViewModel FModel;
    QTimer* FActionTimer;
    QToolButton* FReadAllBtn = nullptr;
    const char* FIntType = "SInt32";
    bool FFilling = false;
    bool FCtrlClick = false;
};

class TVarAppViewFactory : public TApplicationViewFactory {
protected:
    std::unique_ptr<TApplicationView> CreateApplicationView() override;
};

} // namespace vo
