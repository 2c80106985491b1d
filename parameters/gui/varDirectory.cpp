#include "parameters/gui/varDirectory.h"

#include "kernel/CsServices.h"
#include "kernel/ModTree.h"
#include "kernel/UserPrompt.h"
#include "kernel/gui/PropEdit.h"
#include "kernel/gui/QtText.h"
#include "parameters/gui/DlgInput.h"
#include "parameters/gui/RowList.h"
#include "parameters/varRows.h"
#include "parameters/varService.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vo {

namespace {

// Info tags of the service's section jobs.
constexpr std::int32_t JobDeleteDir = 1;
constexpr std::int32_t JobCreateDir = 2;

} // namespace

TVarDirViewForm::TVarDirViewForm(TApplicationViewFactory& AOwner) : TQtApplicationView(AOwner) {
    QWidget* panel = PanelWidget();
    QVBoxLayout* layout = NewPanelLayout(*panel);

    ToolBar1 = new QToolBar(panel);
    AddSectionAct = new QAction("Add Section", panel);
    AddSectionAct->setToolTip("Add Variable Section");
    AddSectionAct->setShortcut(QKeySequence(Qt::Key_Insert));
    AddSectionAct->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    DeleteSectionAct = new QAction("Delete Section", panel);
    DeleteSectionAct->setToolTip("Delete Variable Section");
    DeleteSectionAct->setShortcut(QKeySequence(Qt::Key_Delete));
    DeleteSectionAct->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    DeleteSectionAct->setEnabled(false);
    SelectAct = new QAction("Select", panel);
    ToolBar1->addAction(AddSectionAct);
    ToolBar1->addAction(DeleteSectionAct);
    layout->addWidget(ToolBar1);
    panel->addAction(AddSectionAct);
    panel->addAction(DeleteSectionAct);

    ListView = new QTreeWidget(panel);
    SetUpRowList(*ListView, {"Section", "Attributes"}, {200, 80}, TRowListDrag::None);
    layout->addWidget(ListView);

    PopupMenu1 = new QMenu(ListView);
    PopupMenu1->addAction(AddSectionAct);
    PopupMenu1->addAction(DeleteSectionAct);
    PopupMenu1->addAction(SelectAct);

    QObject::connect(AddSectionAct, &QAction::triggered, panel, [this] { AddSectionExecute(); });
    QObject::connect(DeleteSectionAct, &QAction::triggered, panel, [this] { DeleteSectionExecute(); });
    QObject::connect(SelectAct, &QAction::triggered, panel, [this] { SelectExecute(); });
    QObject::connect(ListView, &QTreeWidget::itemSelectionChanged, panel, [this] { SelectionChanged(); });
    QObject::connect(ListView, &QTreeWidget::itemDoubleClicked, panel, [this] { SelectExecute(); });
    ConnectRowListMenu(*ListView, *PopupMenu1);
    ListView->installEventFilter(this);
}

TVarDirViewForm::~TVarDirViewForm() {
    if (FServiceClient)
        FServiceClient->Disconnect();
}

void TVarDirViewForm::Execute(TAppViewAction Action) {
    TApplicationView::Execute(Action);
    switch (Action) {
    case vaCreate:
        FServiceClient = std::make_unique<TServiceClient>();
        FServiceClient->FOnUpdate = [this](TServiceClient&) { ServiceClientUpdate(); };
        break;
    case vaShow:
        FVariableService = Model() ? dynamic_cast<TVariableService*>(Model()->Data()) : nullptr;
        if (!FVariableService)
            break;
        if (TPropertyInspector* inspector = PropertyInspector())
            inspector->EditObjectProperties(FVariableService, &FVariableService->PropList());
        if (FServiceClient && !FServiceClient->GetConnected())
            FServiceClient->Connect(FVariableService->Provider());
        RebuildListView();
        break;
    case vaHide:
        if (FServiceClient)
            FServiceClient->Disconnect();
        FVariableService = nullptr;
        RebuildListView();
        if (TPropertyInspector* inspector = PropertyInspector())
            inspector->Clear();
        break;
    case vaDestroy:
        if (FServiceClient)
            FServiceClient->Disconnect();
        FServiceClient.reset();
        break;
    default: break;
    }
}

void TVarDirViewForm::RebuildListView() {
    const QSignalBlocker block(ListView);
    TDirItem* selected = SelectedDir();
    ListView->setUpdatesEnabled(false);
    ListView->clear();
    if (FVariableService)
        for (const TVarDirRow& r : VarDirRows(*FVariableService)) {
            auto* item = new QTreeWidgetItem(ListView, {ToQt(r.Caption), ToQt(r.Attributes)});
            item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(r.Dir)));
            if (r.Dir == selected)
                ListView->setCurrentItem(item);
        }
    ListView->setUpdatesEnabled(true);
    SelectionChanged();
}

TDirItem* TVarDirViewForm::SelectedDir() const {
    const QTreeWidgetItem* item = ListView->currentItem();
    if (!item || !item->isSelected())
        return nullptr;
    return static_cast<TDirItem*>(item->data(0, Qt::UserRole).value<void*>());
}

void TVarDirViewForm::SelectionChanged() {
    TDirItem* dir = SelectedDir();
    DeleteSectionAct->setEnabled(CanDeleteSection(dir));
    SelectAct->setEnabled(dir != nullptr);
    if (!Visible())
        return;
    if (TPropertyInspector* inspector = PropertyInspector()) {
        if (dir)
            inspector->EditObjectProperties(dir, &dir->PropList());
        else
            inspector->Clear();
    }
}

void TVarDirViewForm::ServiceClientUpdate() {
    if (FVariableService && FVariableService->HasChangeInfo(vciDirChange))
        RebuildListView();
}

void TVarDirViewForm::AnnounceJob(std::int32_t Tag, const MyAnsiString& Name) {
    if (!FVariableService)
        return;
    auto job = std::make_unique<TServiceJob>();
    job->FInfoTag = Tag;
    job->FInfoStr = Name;
    TServiceJob::Announce(std::move(job), FVariableService->Provider());
}

void TVarDirViewForm::AddSectionExecute() {
    if (!FVariableService)
        return;
    TInputDialog dialog(ListView->window());
    dialog.setWindowTitle("Create New Variable Section");
    dialog.FInputString.clear();
    if (!dialog.Execute())
        return;
    const MyAnsiString error = SectionNameError(dialog.FInputString);
    if (!error.empty()) {
        ShowMessage(error);
        return;
    }
    AnnounceJob(JobCreateDir, dialog.FInputString);
}

void TVarDirViewForm::DeleteSectionExecute() {
    TDirItem* dir = SelectedDir();
    if (CanDeleteSection(dir))
        AnnounceJob(JobDeleteDir, dir->Name());
}

void TVarDirViewForm::SelectExecute() {
    TDirItem* dir = SelectedDir();
    if (!dir || !Entry())
        return;
    TEntryManager& tree = Entry()->Owner();
    tree.SetPathStr(SectionPath(tree.GetPathStr(), *dir));
}

bool TVarDirViewForm::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == ListView) {
        if (Event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(Event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                SelectExecute();
                return true;
            }
        } else if (Event->type() == QEvent::FocusIn) {
            SelectionChanged();
        } else if (Event->type() == QEvent::FocusOut) {
            if (TPropertyInspector* inspector = PropertyInspector(); inspector && Visible())
                inspector->Clear();
        }
    }
    return QObject::eventFilter(Watched, Event);
}

std::unique_ptr<TApplicationView> TVarDirViewFactory::CreateApplicationView() {
    return std::make_unique<TVarDirViewForm>(*this);
}

} // namespace vo
