#include "parameters/gui/varViewer.h"

#include "devices/DevMan.h"
#include "kernel/ModTree.h"
#include "kernel/UserPrompt.h"
#include "kernel/gui/PropEdit.h"
#include "kernel/gui/QtText.h"
#include "kernel/PropList.h"
#include "parameters/gui/RowList.h"
#include "parameters/gui/VarDrag.h"
#include "parameters/varService.h"

#include <QAction>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vo {

namespace {

constexpr int ActionUpdateInterval = 250; // ms
constexpr int PrintTag = 15;

// The list: rows drag as the section's variables (and as UPIDs and captions
// for targets outside the program).
class TVarListWidget : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
    TVarViewModel* Model = nullptr;

protected:
    QStringList mimeTypes() const override { return {"application/x-velkor-upid"}; }
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& Items) const override {
        if (Items.isEmpty() || !Model)
            return nullptr;
        auto* data = new TVarDragData;
        data->Device = Model->Device();
        QByteArray upids;
        QStringList captions;
        for (QTreeWidgetItem* item : Items) {
            TVarItem* v = Model->Rows().Var(indexOfTopLevelItem(item));
            if (!v)
                continue;
            data->Variables.push_back(v);
            if (!upids.isEmpty())
                upids += '\n';
            upids += QByteArray::number(v->SourceType() == vstUserDefined ? -1 : v->DeviceUPID());
            captions << ToQt(v->Caption());
        }
        if (data->Variables.empty()) {
            delete data;
            return nullptr;
        }
        data->setData("application/x-velkor-upid", upids);
        data->setText(captions.join('\n'));
        return data;
    }
};

bool IsEditorChar(const QString& Text) {
    if (Text.size() != 1)
        return false;
    const char16_t c = Text[0].unicode();
    return c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

} // namespace

TVarAppViewForm::TVarAppViewForm(TApplicationViewFactory& AOwner) : TQtApplicationView(AOwner) {
    QWidget* panel = PanelWidget();
    QVBoxLayout* layout = NewPanelLayout(*panel);

    ToolBar1 = new QToolBar(panel);
    auto action = [panel](const char* Caption, const char* Hint) {
        auto* a = new QAction(Caption, panel);
        a->setToolTip(Hint);
        return a;
    };
    ShowDetailsAct = action("Show Details", "Show Details");
    EditPropertiesAct = action("Edit &Properties", "Edit Properties");
    NewIntMenu = new QMenu(panel);
    for (const char* type : VarNewIntegerTypes) {
        const MyAnsiString caption = MyAnsiString("New ") + type + " Variable";
        QAction* a = NewIntMenu->addAction(ToQt(caption));
        a->setData(QString(type));
        QObject::connect(a, &QAction::triggered, panel, [this, type] {
            SetIntType(type);
            NewVar(type);
        });
    }
    NewIntBtn = new QToolButton(panel);
    NewIntBtn->setMenu(NewIntMenu);
    NewIntBtn->setPopupMode(QToolButton::MenuButtonPopup);
    NewIntBtn->setObjectName("NewIntBtn");
    SetIntType("SInt32");
    QObject::connect(NewIntBtn, &QToolButton::clicked, panel, [this] { NewVar(FIntType); });
    NewBoolAct = action("New &Boolean Variable", "New Bit Variable");
    NewStringAct = action("New &String Variable", "New String Variable");
    NewFloatMenu = new QMenu(panel);
    QAction* velFloat = NewFloatMenu->addAction("New VelFloat32");
    QAction* ieeeFloat = NewFloatMenu->addAction("New Float32");
    NewFloatBtn = new QToolButton(panel);
    NewFloatBtn->setText("New Float32");
    NewFloatBtn->setMenu(NewFloatMenu);
    NewFloatBtn->setPopupMode(QToolButton::MenuButtonPopup);
    NewUPIDAct = action("UPID", "New with UPID");
    ReadVarAct = action("Read Variable", "Read Variable (Ctrl+R)");
    WriteVarAct = action("Write Variable", "Write Variable (Ctrl+W)");
    ReadAllAct = action("Read All", "Read All Variables");
    CyclicAct = action("Cyclic", "Read All Variables Cyclically");
    CyclicAct->setCheckable(true);
    RemoveAct = action("&Remove", "Remove (Del)");

    ToolBar1->addAction(ShowDetailsAct);
    ToolBar1->addSeparator();
    ToolBar1->addAction(EditPropertiesAct);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(NewIntBtn);
    ToolBar1->addAction(NewBoolAct);
    ToolBar1->addAction(NewStringAct);
    ToolBar1->addWidget(NewFloatBtn);
    ToolBar1->addAction(NewUPIDAct);
    ToolBar1->addSeparator();
    ToolBar1->addAction(ReadVarAct);
    ToolBar1->addAction(WriteVarAct);
    ToolBar1->addAction(ReadAllAct);
    ToolBar1->addAction(CyclicAct);
    ToolBar1->addSeparator();
    ToolBar1->addAction(RemoveAct);
    layout->addWidget(ToolBar1);
    FReadAllBtn = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(ReadAllAct));
    if (FReadAllBtn)
        FReadAllBtn->installEventFilter(this);

    auto* list = new TVarListWidget(panel);
    list->Model = &FModel;
    ListView = list;
    SetUpRowList(*ListView, {"Name", "Value", "RawData", "UPID2", "Type", "Scale", "Offset", "Attr"},
                 {160, 100, 80, 90, 80, 80, 80, 50}, TRowListDrag::DragOut);
    ListView->header()->setSectionsMovable(false);
    layout->addWidget(ListView);

    ValueEditor = new QLineEdit(ListView->viewport());
    ValueEditor->setObjectName("ValueEditor");
    ValueEditor->hide();

    PopupMenu1 = new QMenu(ListView);
    PopupMenu1->addAction(RemoveAct);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ShowDetailsAct);

    FActionTimer = new QTimer(panel);
    FActionTimer->setInterval(ActionUpdateInterval);
    QObject::connect(FActionTimer, &QTimer::timeout, panel, [this] { UpdateActions(); });

    QObject::connect(ShowDetailsAct, &QAction::triggered, panel, [this] { ShowDetailsExecute(); });
    QObject::connect(EditPropertiesAct, &QAction::triggered, panel, [this] { ControlPropertyInspector(); });
    QObject::connect(NewBoolAct, &QAction::triggered, panel, [this] { NewVar("Bool16"); });
    QObject::connect(NewStringAct, &QAction::triggered, panel, [this] { NewVar("String"); });
    QObject::connect(NewFloatBtn, &QToolButton::clicked, panel, [this] { NewVar("FloatIEEE754"); });
    QObject::connect(velFloat, &QAction::triggered, panel, [this] { NewVar("VelFloat"); });
    QObject::connect(ieeeFloat, &QAction::triggered, panel, [this] { NewVar("FloatIEEE754"); });
    QObject::connect(ReadVarAct, &QAction::triggered, panel, [this] { FModel.ReadVar(); });
    QObject::connect(WriteVarAct, &QAction::triggered, panel, [this] { FModel.WriteVar(); });
    QObject::connect(ReadAllAct, &QAction::triggered, panel, [this] { ReadAllExecute(); });
    QObject::connect(CyclicAct, &QAction::toggled, panel, [this](bool On) { FModel.SetCyclic(On); });
    QObject::connect(RemoveAct, &QAction::triggered, panel, [this] { FModel.Remove(); });
    QObject::connect(ListView, &QTreeWidget::currentItemChanged, panel, [this] { ListViewChange(); });
    QObject::connect(ListView, &QTreeWidget::itemDoubleClicked, panel, [this] {
        ListViewChange();
        PlaceValueEditor();
    });
    QObject::connect(ListView->header(), &QHeaderView::sectionResized, panel, [this] { PlaceValueEditor(); });
    QObject::connect(ListView->verticalScrollBar(), &QAbstractSlider::valueChanged, panel, [this] { PlaceValueEditor(); });
    ConnectRowListMenu(*ListView, *PopupMenu1);
    ListView->installEventFilter(this);
    ValueEditor->installEventFilter(this);

    FModel.OnRowsChanged = [this](int Select) { RowsChanged(Select); };
}

TVarAppViewForm::~TVarAppViewForm() {
    FModel.OnRowsChanged = nullptr;
    if (FReadAllBtn)
        FReadAllBtn->removeEventFilter(this);
    ListView->removeEventFilter(this);
    ValueEditor->removeEventFilter(this);
}

void TVarAppViewForm::SetIntType(const char* ATypeName) {
    FIntType = ATypeName;
    NewIntBtn->setText(ToQt(MyAnsiString("New ") + ATypeName));
    NewIntBtn->setToolTip(ToQt(MyAnsiString("New ") + ATypeName + " Variable"));
}

void TVarAppViewForm::Execute(TAppViewAction Action) {
    TApplicationView::Execute(Action);
    switch (Action) {
    case vaCreate: FModel.Create(VariableManager()); break;
    case vaShow: {
        auto* dir = Model() ? dynamic_cast<TDirItem*>(Model()->Data()) : nullptr;
        if (!dir)
            break;
        ListView->headerItem()->setText(vcUPID, "UPID");
        if (TPropertyInspector* inspector = PropertyInspector())
            inspector->EditObjectProperties(dir, &dir->PropList());
        FModel.Show(*dir, Model()->GetStrVar("UserName"));
        ApplyColumnWidths();
        CyclicAct->setChecked(FModel.Cyclic());
        UpdateActions();
        FActionTimer->start();
        break;
    }
    case vaHide:
        FActionTimer->stop();
        if (FModel.Client().FShowDetails)
            for (int i = 0; i < VarViewColumnCount; ++i) FModel.Client().SetColWidth(i, ListView->header()->sectionSize(i));
        FModel.Hide();
        {
            const QSignalBlocker block(ListView);
            ListView->clear();
        }
        ValueEditor->hide();
        if (TPropertyInspector* inspector = PropertyInspector())
            inspector->Clear();
        break;
    default: break;
    }
}

void TVarAppViewForm::ApplyColumnWidths() {
    const TVariableClient& c = FModel.Client();
    const char* text = c.FShowDetails ? "Hide Details" : "Show Details";
    ShowDetailsAct->setText(text);
    ShowDetailsAct->setToolTip(text);
    for (int i = 0; i < VarViewColumnCount; ++i) {
        const bool shown = c.FShowDetails || i < 2;
        ListView->setColumnHidden(i, !shown);
        // A width the settings do not give keeps the design width.
        if (shown && c.GetColWidth(i) > 0)
            ListView->header()->resizeSection(i, c.GetColWidth(i));
    }
    PlaceValueEditor();
}

void TVarAppViewForm::ShowDetailsExecute() {
    TVariableClient& c = FModel.Client();
    if (c.FShowDetails)
        for (int i = 2; i < VarViewColumnCount; ++i) c.SetColWidth(i, ListView->header()->sectionSize(i));
    c.FShowDetails = !c.FShowDetails;
    ApplyColumnWidths();
}

void TVarAppViewForm::UpdateActions() {
    if (!FModel.Section())
        return;
    FModel.CheckDisplayModes();
    ReadVarAct->setEnabled(FModel.ReadVarEnabled());
    WriteVarAct->setEnabled(FModel.WriteVarEnabled());
    ReadAllAct->setEnabled(FModel.ReadAllEnabled());
    CyclicAct->setEnabled(FModel.CyclicEnabled());
    RemoveAct->setEnabled(FModel.RemoveEnabled());
    const bool newOk = FModel.NewEnabled();
    NewIntBtn->setEnabled(newOk);
    NewBoolAct->setEnabled(newOk);
    NewStringAct->setEnabled(newOk);
    NewFloatBtn->setEnabled(newOk);
    // Choosing a UPID needs the UPID browser, which this program does not
    // have yet.
    NewUPIDAct->setEnabled(false);
    EditPropertiesAct->setEnabled(FModel.EditPropertiesEnabled());
}

void TVarAppViewForm::ActionUpdate(TObject* Action, bool& Handled) {
    auto* a = dynamic_cast<TAppViewActionInfo*>(Action);
    if (a && a->Tag == PrintTag) {
        a->Enabled = true;
        Handled = true;
    }
}

void TVarAppViewForm::ActionExecute(TObject* Action, bool& Handled) {
    auto* a = dynamic_cast<TAppViewActionInfo*>(Action);
    if (!a || a->Tag != PrintTag)
        return;
    Handled = true;
    try {
        FModel.Print();
    } catch (const std::exception& e) {
        ShowMessage(e.what());
    }
}

void TVarAppViewForm::RowsChanged(int Select) {
    const TVarListRows& rows = FModel.Rows();
    FFilling = true;
    const bool bracket = rows.Bracket();
    if (bracket)
        ListView->setUpdatesEnabled(false);
    {
        const QSignalBlocker block(ListView);
        while (ListView->topLevelItemCount() > rows.Count()) delete ListView->takeTopLevelItem(ListView->topLevelItemCount() - 1);
        QList<QTreeWidgetItem*> added;
        for (int r = ListView->topLevelItemCount(); r < rows.Count(); ++r) added.append(new QTreeWidgetItem);
        ListView->addTopLevelItems(added);
        for (int r = 0; r < rows.Count(); ++r) {
            QTreeWidgetItem* item = ListView->topLevelItem(r);
            const TVarRowTexts& t = rows.Texts(r);
            for (int c = 0; c < VarViewColumnCount; ++c) {
                const QString text = ToQt(t[static_cast<std::size_t>(c)]);
                if (item->text(c) != text)
                    item->setText(c, text);
            }
        }
        QTreeWidgetItem* sel = Select >= 0 ? ListView->topLevelItem(Select) : nullptr;
        if (sel) {
            ListView->setCurrentItem(sel);
            ListView->scrollToItem(sel);
        } else {
            ListView->setCurrentItem(nullptr);
            ListView->clearSelection();
        }
    }
    if (bracket)
        ListView->setUpdatesEnabled(true);
    FFilling = false;
    PlaceValueEditor();
    UpdateActions();
}

void TVarAppViewForm::ListViewChange() {
    if (FFilling || !Visible())
        return;
    FModel.SetSelected(ListView->indexOfTopLevelItem(ListView->currentItem()));
    PlaceValueEditor();
    ControlPropertyInspector();
    UpdateActions();
}

void TVarAppViewForm::ControlPropertyInspector() {
    TPropertyInspector* inspector = PropertyInspector();
    if (!inspector)
        return;
    if (TVarItem* v = FModel.SelectedVar())
        inspector->EditObjectProperties(v, &v->PropList());
    else
        inspector->Clear();
}

void TVarAppViewForm::PlaceValueEditor() {
    QTreeWidgetItem* item = FModel.Selected() >= 0 ? ListView->topLevelItem(FModel.Selected()) : nullptr;
    if (!item || !FModel.EditorShown()) {
        ValueEditor->hide();
        return;
    }
    const QRect row = ListView->visualItemRect(item);
    if (row.bottom() < 0 || row.top() >= ListView->viewport()->height()) {
        ValueEditor->hide();
        return;
    }
    ValueEditor->setGeometry(ListView->header()->sectionViewportPosition(vcValue), row.top(),
                             ListView->header()->sectionSize(vcValue), row.height());
    // Text being typed stays; a refresh shows the value otherwise.
    if (!ValueEditor->hasFocus())
        ValueEditor->setText(ToQt(FModel.EditorText()));
    ValueEditor->show();
}

void TVarAppViewForm::NewVar(const char* ATypeName) {
    try {
        FModel.NewVar(ATypeName);
    } catch (const std::exception& e) {
        ShowMessage(e.what());
    }
}

void TVarAppViewForm::ReadAllExecute() {
    const bool ctrl = FCtrlClick || (QGuiApplication::keyboardModifiers() & Qt::ControlModifier);
    FCtrlClick = false;
    FModel.ReadAll(ctrl);
}

void TVarAppViewForm::EditorEnter() {
    if (FModel.StoreValue(FromQt(ValueEditor->text()))) {
        ValueEditor->deselect();
        ListView->setFocus();
        PlaceValueEditor();
        return;
    }
    ValueEditor->setFocus();
    ValueEditor->selectAll();
}

void TVarAppViewForm::EditorEscape() {
    ValueEditor->setText(ToQt(FModel.EditorText()));
    ListView->setFocus();
}

bool TVarAppViewForm::ListKey(QKeyEvent& Key) {
    const bool ctrl = Key.modifiers() & Qt::ControlModifier;
    if (ctrl) {
        switch (Key.key()) {
        case Qt::Key_Left:
        case Qt::Key_R: FModel.ReadVar(); return true;
        case Qt::Key_Right:
        case Qt::Key_W: FModel.WriteVar(); return true;
        case Qt::Key_Down:
        case Qt::Key_C:
            try {
                FModel.CopyVar();
            } catch (const std::exception& e) {
                ShowMessage(e.what());
            }
            return true;
        default: return false;
        }
    }
    if (Key.key() == Qt::Key_Delete) {
        FModel.Remove();
        return true;
    }
    if (Key.key() == Qt::Key_Return || Key.key() == Qt::Key_Enter) {
        ControlPropertyInspector();
        return true;
    }
    if (!ValueEditor->isVisible())
        return false;
    if (Key.key() == Qt::Key_F2) {
        ValueEditor->setFocus();
        return true;
    }
    if (IsEditorChar(Key.text())) {
        ValueEditor->setText(Key.text());
        ValueEditor->setFocus();
        ValueEditor->setCursorPosition(1);
        return true;
    }
    return false;
}

bool TVarAppViewForm::eventFilter(QObject* Watched, QEvent* Event) {
    const QEvent::Type type = Event->type();
    if (Watched == FReadAllBtn && (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease)) {
        FCtrlClick = static_cast<QMouseEvent*>(Event)->modifiers() & Qt::ControlModifier;
        return false;
    }
    if (Watched == ListView && type == QEvent::ShortcutOverride) {
        // The list's own keys win over the window's shortcuts (Ctrl+R is the
        // window's raw data export, Ctrl+W its motor wizard, Del its delete).
        auto* key = static_cast<QKeyEvent*>(Event);
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        const int k = key->key();
        if ((ctrl && (k == Qt::Key_R || k == Qt::Key_W || k == Qt::Key_C || k == Qt::Key_Left || k == Qt::Key_Right || k == Qt::Key_Down)) ||
            (!ctrl && k == Qt::Key_Delete)) {
            Event->accept();
            return true;
        }
        return false;
    }
    if (Watched == ListView && type == QEvent::KeyPress)
        return ListKey(*static_cast<QKeyEvent*>(Event));
    if (Watched == ListView && (type == QEvent::FocusIn || type == QEvent::FocusOut)) {
        if (type == QEvent::FocusIn)
            ControlPropertyInspector();
        PlaceValueEditor();
        return false;
    }
    if (Watched == ValueEditor) {
        if (type == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(Event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
                EditorEnter();
                return true;
            }
            if (key->key() == Qt::Key_Escape) {
                EditorEscape();
                return true;
            }
        } else if (type == QEvent::MouseButtonDblClick) {
            ValueEditor->setText(ToQt(FModel.ToggleBool(FromQt(ValueEditor->text()))));
            return true;
        } else if (type == QEvent::ShortcutOverride) {
            auto* key = static_cast<QKeyEvent*>(Event);
            if (key->key() == Qt::Key_Escape || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                Event->accept();
                return true;
            }
        }
    }
    return QObject::eventFilter(Watched, Event);
}

std::unique_ptr<TApplicationView> TVarAppViewFactory::CreateApplicationView() {
    return std::make_unique<TVarAppViewForm>(*this);
}

} // namespace vo
