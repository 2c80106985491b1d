#pragma once
// The section view of a drive's variables in the project window: the
// sections the user may read, with "User Defined" or "System" in
// "Attributes". "Add Section" asks for a name and announces the new
// section at the variable service, "Delete Section" removes a user-defined
// one, and "Select" (Enter, double click) opens the section's variable list
// in the tree. The program registers one TVarDirViewFactory at the variable
// manager, so every variable service's tree node opens this view.
#include "kernel/gui/QtViews.h"

#include <QObject>

#include <memory>

class QAction;
class QMenu;
class QToolBar;
class QTreeWidget;

namespace vo {

class TDirItem;
class TServiceClient;
class TVariableService;

class TVarDirViewForm : public TQtApplicationView, public QObject {
public:
    explicit TVarDirViewForm(TApplicationViewFactory& AOwner);
    ~TVarDirViewForm() override;

    void Execute(TAppViewAction Action) override;

    // The list from the service's sections.
    void RebuildListView();
    // The section of the selected row, nullptr without one.
    TDirItem* SelectedDir() const;
    TVariableService* Service() const noexcept { return FVariableService; }

    QToolBar* ToolBar1;
    QTreeWidget* ListView;
    QAction* AddSectionAct;
    QAction* DeleteSectionAct;
    QAction* SelectAct;
    QMenu* PopupMenu1;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void AddSectionExecute();
    void DeleteSectionExecute();
    void SelectExecute();
    void SelectionChanged();
    void ServiceClientUpdate();
    void AnnounceJob(std::int32_t Tag, const MyAnsiString& Name);

    TVariableService* FVariableService = nullptr;
    std::unique_ptr<TServiceClient> FServiceClient;
};

class TVarDirViewFactory : public TApplicationViewFactory {
protected:
    std::unique_ptr<TApplicationView> CreateApplicationView() override;
};

} // namespace vo
