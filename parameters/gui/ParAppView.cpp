#include "parameters/gui/ParAppView.h"

#include "kernel/ModTree.h"
#include "kernel/gui/PropEdit.h"
#include "kernel/gui/QtText.h"
#include "parameters/ParMan.h"
#include "parameters/Parameter.h"
#include "parameters/ParSrv.h"
#include "parameters/PtGen.h"
#include "parameters/gui/RowList.h"
#include "parameters/gui/VarDrag.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <map>

namespace vo {

namespace {

constexpr int ActionUpdateInterval = 250; // ms

// The list: rows with a value of their own can be dragged onto a variable
// section of the project tree (and elsewhere as their UPID and caption).
class TParListWidget : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
    TParViewModel* Model = nullptr;

protected:
    QStringList mimeTypes() const override { return {"application/x-velkor-upid"}; }
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& Items) const override {
        if (Items.isEmpty() || !Model)
            return nullptr;
        const int row = indexOfTopLevelItem(Items.first());
        if (row < 0 || row >= static_cast<int>(Model->Rows().size()))
            return nullptr;
        TParameter* p = Model->Rows()[static_cast<std::size_t>(row)].Parameter;
        auto* data = new TVarDragData;
        data->Device = &p->Owner().Owner();
        data->Parameters.push_back(p);
        data->setData("application/x-velkor-upid", QByteArray::number(p->UPID()));
        data->setText(ToQt(p->Caption()));
        return data;
    }
};

// Pictures of the row images: Boolean clear/set, radio child clear/set,
// their live forms (a green frame) and a plain live parameter.
QIcon RowIcon(int Index) {
    static std::map<int, QIcon> icons;
    if (Index < 0)
        return {};
    auto it = icons.find(Index);
    if (it != icons.end())
        return it->second;
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter g(&pm);
    g.setRenderHint(QPainter::Antialiasing);
    const bool live = Index >= 110 || Index == piLive;
    const bool set = Index == piBoolSet || Index == piRadioSet || Index == piLiveBoolSet || Index == piLiveRadioSet;
    const bool radio = Index == piRadioClear || Index == piRadioSet || Index == piLiveRadioClear || Index == piLiveRadioSet;
    g.setPen(QPen(live ? QColor(0, 140, 0) : QColor(60, 60, 60), 1.5));
    if (Index == piLive) {
        g.setBrush(QColor(0, 170, 0));
        g.drawEllipse(QRectF(4, 4, 8, 8));
    } else if (radio) {
        g.setBrush(Qt::white);
        g.drawEllipse(QRectF(2, 2, 12, 12));
        if (set) {
            g.setBrush(Qt::black);
            g.drawEllipse(QRectF(5, 5, 6, 6));
        }
    } else if (Index <= piBoolSet || Index == piLiveBoolClear || Index == piLiveBoolSet) {
        g.setBrush(Qt::white);
        g.drawRect(QRectF(2, 2, 12, 12));
        if (set) {
            g.setPen(QPen(Qt::black, 2));
            g.drawLine(QPointF(4, 8), QPointF(7, 11));
            g.drawLine(QPointF(7, 11), QPointF(12, 4));
        }
    } else {
        // A directory: a folder.
        g.setBrush(QColor(230, 190, 80));
        g.drawRect(QRectF(1.5, 4.5, 13, 9));
        g.drawRect(QRectF(1.5, 2.5, 5, 2));
    }
    g.end();
    return icons[Index] = QIcon(pm);
}

} // namespace

TParAppViewForm::TParAppViewForm(TApplicationViewFactory& AOwner) : TQtApplicationView(AOwner) {
    QWidget* panel = PanelWidget();
    QVBoxLayout* layout = NewPanelLayout(*panel);

    ToolBar1 = new QToolBar(panel);
    ActShowParDet = new QAction("Show Details", panel);
    ActShowParDet->setToolTip("Show Details");
    EdValue = new QLineEdit(panel);
    EdValue->setObjectName("EdValue");
    EdValue->setFixedWidth(337);
    UPIDBrowserAct = new QAction("UPID Browser...", panel);
    UPIDBrowserAct->setToolTip("Show UPID Browser");
    UPIDBrowserAct->setVisible(false);
    ActEnter = new QAction("Ok", panel);
    ActEnter->setToolTip("Ok");
    ActCancel = new QAction("Cancel", panel);
    ActCancel->setToolTip("Cancel");
    ActUpdate = new QAction("Update", panel);
    ActUpdate->setToolTip("Read the values again");
    StartWizard = new QAction("Wizard", panel);
    StartWizard->setVisible(false);
    DefParsAct = new QAction("Default Parameters", panel);
    DefParsAct->setVisible(false);
    ToolBar1->addAction(ActShowParDet);
    ToolBar1->addWidget(EdValue);
    ToolBar1->addAction(UPIDBrowserAct);
    ToolBar1->addAction(ActEnter);
    ToolBar1->addAction(ActCancel);
    ToolBar1->addAction(ActUpdate);
    ToolBar1->addSeparator();
    ToolBar1->addAction(StartWizard);
    ToolBar1->addSeparator();
    ToolBar1->addAction(DefParsAct);
    layout->addWidget(ToolBar1);

    auto* list = new TParListWidget(panel);
    list->Model = &FModel;
    ListView = list;
    QStringList heads;
    for (const char* c : ParViewColumnCaptions()) heads << c;
    SetUpRowList(*ListView, heads, {160, 100}, TRowListDrag::DragOut);
    layout->addWidget(ListView);

    PopupMenu1 = new QMenu(ListView);
    PopupMenu1->addAction(ActShowParDet);
    PopupMenu1->addAction(UPIDBrowserAct);

    StatusPanel0 = new QLabel("Parameters");
    StatusPanel0->setFixedWidth(100);
    StatusPanel1 = new QLabel;
    StatusBarWidget()->addWidget(StatusPanel0);
    StatusBarWidget()->addWidget(StatusPanel1, 1);

    FActionTimer = new QTimer(panel);
    FActionTimer->setInterval(ActionUpdateInterval);
    QObject::connect(FActionTimer, &QTimer::timeout, panel, [this] { UpdateActions(); });

    QObject::connect(ActShowParDet, &QAction::triggered, panel, [this] { ActShowParDetExecute(); });
    QObject::connect(ActEnter, &QAction::triggered, panel, [this] { ActEnterExecute(); });
    QObject::connect(ActCancel, &QAction::triggered, panel, [this] { ActCancelExecute(); });
    QObject::connect(ActUpdate, &QAction::triggered, panel, [this] {
        if (FModel.ActUpdateEnabled())
            FModel.AnnounceRequest(pvrUpdate);
    });
    QObject::connect(UPIDBrowserAct, &QAction::triggered, panel, [this] { FModel.UPIDBrowserExecute(); });
    QObject::connect(ListView, &QTreeWidget::currentItemChanged, panel, [this] { ListViewChange(); });
    QObject::connect(ListView, &QTreeWidget::itemDoubleClicked, panel, [this] { EditSelected(); });
    ConnectRowListMenu(*ListView, *PopupMenu1);
    EdValue->installEventFilter(this);
    ListView->installEventFilter(this);
    StatusPanel1->installEventFilter(this);

    FModel.OnRowsChanged = [this](bool Rebuilt) { RowsChanged(Rebuilt); };
    FModel.OnValueEdit = [this] { UpdateValueEdit(); };
    FModel.OnNavigate = [this](const MyAnsiString& Path) {
        if (Entry())
            Entry()->Owner().SetPathStr(Path);
    };
}

TParAppViewForm::~TParAppViewForm() {
    FModel.OnRowsChanged = nullptr;
    FModel.OnValueEdit = nullptr;
    FModel.OnNavigate = nullptr;
}

void TParAppViewForm::Execute(TAppViewAction Action) {
    TApplicationView::Execute(Action);
    switch (Action) {
    case vaCreate: FModel.Create(ParameterManager()); break;
    case vaShow: {
        auto* dir = Model() ? dynamic_cast<TGenericDirParameter*>(Model()->Data()) : nullptr;
        if (!dir)
            break;
        const MyAnsiString user = Model()->GetStrVar("UserName");
        StartWizard->setVisible(false);
        FModel.Show(*dir, user);
        if (TPropertyInspector* inspector = PropertyInspector()) {
            if (dir->PropList())
                inspector->EditObjectProperties(dir, dir->PropList());
            else
                inspector->Clear();
        }
        ListView->hide();
        ListView->show();
        ApplyColumnWidths();
        UpdateValueEdit();
        FActionTimer->start();
        break;
    }
    case vaHide:
        FActionTimer->stop();
        if (FModel.Client().FShowDetails)
            for (int i = 0; i < ParViewColumnCount; ++i) FModel.Client().SetColWidth(i, ListView->header()->sectionSize(i));
        FModel.Hide();
        if (TPropertyInspector* inspector = PropertyInspector())
            inspector->Clear();
        UpdateValueEdit();
        break;
    default: break;
    }
}

void TParAppViewForm::ApplyColumnWidths() {
    const TParameterClient& c = FModel.Client();
    ActShowParDet->setText(c.FShowDetails ? "Hide Details" : "Show Details");
    ActShowParDet->setToolTip(ActShowParDet->text());
    for (int i = 0; i < ParViewColumnCount; ++i) {
        const bool shown = c.FShowDetails || i < 2;
        ListView->setColumnHidden(i, !shown);
        if (shown)
            ListView->header()->resizeSection(i, c.GetColWidth(i));
    }
}

void TParAppViewForm::ActShowParDetExecute() {
    TParameterClient& c = FModel.Client();
    if (c.FShowDetails) {
        for (int i = 2; i < ParViewColumnCount; ++i) c.SetColWidth(i, ListView->header()->sectionSize(i));
        c.FShowDetails = false;
    } else {
        c.FShowDetails = true;
    }
    ApplyColumnWidths();
}

void TParAppViewForm::UpdateActions() {
    FModel.CheckDisplayModes();
    ActUpdate->setEnabled(FModel.ActUpdateEnabled());
}

void TParAppViewForm::RowsChanged(bool Rebuilt) {
    const auto& rows = FModel.Rows();
    FFilling = true;
    if (Rebuilt || ListView->topLevelItemCount() != static_cast<int>(rows.size())) {
        ListView->setUpdatesEnabled(false);
        {
            const QSignalBlocker block(ListView);
            ListView->clear();
            QList<QTreeWidgetItem*> items;
            items.reserve(static_cast<int>(rows.size()));
            for (const TParViewRow& r : rows) {
                auto* item = new QTreeWidgetItem;
                FillItem(*item, r, true);
                items.append(item);
            }
            ListView->addTopLevelItems(items);
            if (FModel.Selected() >= 0)
                ListView->setCurrentItem(ListView->topLevelItem(FModel.Selected()));
        }
        ListView->setUpdatesEnabled(true);
        FFilling = false;
        UpdateValueEdit();
        return;
    }
    for (int i = 0; i < static_cast<int>(rows.size()); ++i)
        FillItem(*ListView->topLevelItem(i), rows[static_cast<std::size_t>(i)], false);
    FFilling = false;
}

void TParAppViewForm::FillItem(QTreeWidgetItem& Item, const TParViewRow& Row, bool All) {
    if (All) {
        for (int c = 0; c < ParViewColumnCount; ++c) Item.setText(c, ToQt(Row.Cells[static_cast<std::size_t>(c)]));
        if (Row.Dimmed)
            Item.setForeground(0, QApplication::palette().brush(QPalette::Disabled, QPalette::Text));
        Item.setIcon(0, RowIcon(Row.Image));
        const bool drag = !Row.Directory && Row.Parameter->UPID() >= 1 && Row.Parameter->UPID() <= 0xFFFE;
        Item.setFlags(drag ? Item.flags() | Qt::ItemIsDragEnabled : Item.flags() & ~Qt::ItemIsDragEnabled);
        Item.setData(0, Qt::UserRole, Row.Image);
        return;
    }
    const QString value = ToQt(Row.Cells[1]);
    if (Item.text(1) != value)
        Item.setText(1, value);
    const QString raw = ToQt(Row.Cells[2]);
    if (Item.text(2) != raw)
        Item.setText(2, raw);
    if (Item.data(0, Qt::UserRole).toInt() != Row.Image) {
        Item.setData(0, Qt::UserRole, Row.Image);
        Item.setIcon(0, RowIcon(Row.Image));
    }
}

void TParAppViewForm::ListViewChange() {
    if (FFilling || !Visible())
        return;
    FModel.SetSelected(ListView->indexOfTopLevelItem(ListView->currentItem()));
    UpdateValueEdit();
    ControlPropertyInspector();
}

void TParAppViewForm::ControlPropertyInspector() {
    TPropertyInspector* inspector = PropertyInspector();
    if (!inspector)
        return;
    TParameter* p = FModel.SelectedParameter();
    if (p && p->PropList())
        inspector->EditObjectProperties(p, p->PropList());
    else
        inspector->Clear();
}

void TParAppViewForm::UpdateValueEdit() {
    const TParValueEdit e = FModel.ValueEdit();
    EdValue->setText(ToQt(e.Text));
    EdValue->setEnabled(e.Enabled);
    StatusPanel1->setText(ToQt(e.StatusPath));
    UPIDBrowserAct->setVisible(e.BrowserVisible);
}

void TParAppViewForm::EditSelected() {
    if (FModel.EditSelectedParameterValue() == TParEditAction::eaFocusField) {
        EdValue->setFocus();
        EdValue->selectAll();
    }
}

void TParAppViewForm::ActEnterExecute() {
    const TParFieldReply reply = FModel.ActEnterExecute(FromQt(EdValue->text()));
    if (reply.SelectAll) {
        EdValue->setText(ToQt(reply.Text));
        EdValue->setFocus();
        EdValue->selectAll();
        return;
    }
    UpdateValueEdit();
    ListView->setFocus();
}

void TParAppViewForm::ActCancelExecute() {
    UpdateValueEdit();
    ListView->setFocus();
}

bool TParAppViewForm::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(Event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (Watched == EdValue) {
            if (enter) {
                ActEnter->trigger();
                return true;
            }
            if (key->key() == Qt::Key_Escape) {
                ActCancel->trigger();
                return true;
            }
        } else if (Watched == ListView) {
            if (enter) {
                EditSelected();
                return true;
            }
            const QString text = key->text();
            if (EdValue->isEnabled() && text.size() == 1 && text[0].unicode() >= 32 && !(key->modifiers() & Qt::ControlModifier)) {
                EdValue->setText(text);
                EdValue->setFocus();
                EdValue->setCursorPosition(1);
                return true;
            }
        }
    } else if (Event->type() == QEvent::MouseButtonDblClick && Watched == StatusPanel1) {
        QApplication::clipboard()->setText(StatusPanel1->text());
        return true;
    }
    return QObject::eventFilter(Watched, Event);
}

std::unique_ptr<TApplicationView> TParAppViewFactory::CreateApplicationView() {
    return std::make_unique<TParAppViewForm>(*this);
}

} // namespace vo
