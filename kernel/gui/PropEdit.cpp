#include "kernel/gui/PropEdit.h"

#include "kernel/InspRows.h"
#include "kernel/LanguageMan.h"
#include "kernel/PropList.h"
#include "kernel/ShellServices.h"
#include "kernel/gui/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>

namespace vo {

namespace {
TPropertyInspector* GInspector = nullptr;

// The language text of Key (the key itself when the language file has none).
QString Text(const char* Key, const char* Fallback) {
    const MyAnsiString t = LangText(Key);
    return ToQt(t.empty() ? MyAnsiString(Fallback) : t);
}
// Descriptions keep their line breaks as single carriage returns.
QString Description(const MyAnsiString& S) {
    QString q = ToQt(S);
    q.replace('\r', '\n');
    return q;
}
} // namespace

TPropertyInspector* PropertyInspector() noexcept {
    return GInspector;
}

TPropertyInspector::TPropertyInspector(QWidget* Parent) : QWidget(Parent, Qt::Tool) {
    setWindowTitle("Object Inspector");
    resize(420, 480);
    auto* layout = new QVBoxLayout(this);
    PageControl1 = new QTabWidget;
    HelpTab = new QWidget;
    InfoTab = new QWidget;
    PageControl1->addTab(HelpTab, "&Object description");
    PageControl1->addTab(InfoTab, "&What is the Object Inspector?");
    layout->addWidget(PageControl1, 1);
    InfoRichEdit = new QTextEdit;
    InfoRichEdit->setReadOnly(true);
    (new QVBoxLayout(InfoTab))->addWidget(InfoRichEdit);

    Panel2 = new QWidget;
    Panel2->setFixedHeight(34);
    ShowCheckBox = new QCheckBox("Show Object Inspector after Login", Panel2);
    ShowCheckBox->move(5, 8);
    Button1 = new QPushButton("Close", Panel2);
    layout->addWidget(Panel2);
    connect(Button1, &QPushButton::clicked, this, &QWidget::close);
    connect(ShowCheckBox, &QCheckBox::clicked, this, [this](bool Checked) {
        if (ShowInspectorOption().Set)
            ShowInspectorOption().Set(Checked);
    });
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (PageControl1->currentWidget() == InfoTab)
            InfoRichEdit->setPlainText(Text("ObjectInspectorHelpText", ""));
    });

    auto makeRow = [this](TEditBox& Row, const QString& Caption, int Top) {
        Row.InfoLabel = new QLabel(Caption, HelpTab);
        Row.InfoLabel->setGeometry(5, Top + 5, 180, 16);
        Row.Edit = new QLineEdit(HelpTab);
        Row.Edit->setGeometry(100, Top, 280, 21);
        Row.Combo = new QComboBox(HelpTab);
        Row.Combo->setGeometry(100, Top, 280, 21);
        Row.InfoLabel->hide();
        Row.Edit->hide();
        Row.Combo->hide();
    };
    makeRow(ObjTypeEditBox, "Object Type", 10);
    ObjTypeEditBox.Edit->setEnabled(false);
    for (int k = 1; k <= 10; ++k) {
        TEditBox& row = EditBoxList[static_cast<size_t>(k - 1)];
        makeRow(row, "Caption" + QString::number(k), 25 * k + 10);
        row.Edit->installEventFilter(this);
        row.Combo->installEventFilter(this);
        connect(row.Edit, &QLineEdit::returnPressed, this, [this, k] { Write(k - 1); });
        connect(row.Combo, &QComboBox::currentIndexChanged, this, [this, k] {
            if (!FFilling)
                Write(k - 1);
        });
    }
    InfoInfoLabel = new QLabel("Description", HelpTab);
    InfoInfoLabel->setGeometry(5, 0, 180, 16);
    InfoInfoLabel->hide();
    InfoBox = new QTextEdit(HelpTab);
    InfoBox->setReadOnly(true);
    InfoBox->setGeometry(100, 0, 280, 100);
    InfoBox->hide();
    GInspector = this;
}

TPropertyInspector::~TPropertyInspector() {
    if (GInspector == this)
        GInspector = nullptr;
}

void TPropertyInspector::EditObjectProperties(TObject* AObj, TPropertyList* APropertyList) {
    PageControl1->setCurrentWidget(HelpTab);
    FPropertyList = APropertyList;
    FEditObject = AObj;
    FFilling = true;
    ObjTypeEditBox.Edit->setText(APropertyList ? ToQt(APropertyList->ObjType()) : QString());
    ObjTypeEditBox.InfoLabel->setText(Text("Object_Type", "Object Type"));
    ObjTypeEditBox.InfoLabel->show();
    ObjTypeEditBox.Edit->show();
    const std::vector<TInspectorRow> rows =
        APropertyList ? InspectorRows(*APropertyList, AObj) : std::vector<TInspectorRow>{};
    FRows = static_cast<int>(rows.size());
    QWidget* last = ObjTypeEditBox.InfoLabel;
    for (size_t i = 0; i < EditBoxList.size(); ++i) {
        TEditBox& box = EditBoxList[i];
        if (i >= rows.size()) {
            box.InfoLabel->hide();
            box.Edit->hide();
            box.Combo->hide();
            continue;
        }
        const TInspectorRow& r = rows[i];
        box.InfoLabel->setText(ToQt(r.Caption));
        box.InfoLabel->show();
        last = box.InfoLabel;
        if (r.Viewer == TInspectorViewer::ivEdit) {
            box.Edit->setEnabled(r.Enabled);
            box.Edit->setText(ToQt(r.Value));
            box.Edit->show();
            box.Combo->hide();
        } else if (r.Viewer == TInspectorViewer::ivCombo) {
            box.Combo->clear();
            for (const MyAnsiString& c : r.Choices)
                box.Combo->addItem(ToQt(c));
            box.Combo->setEnabled(r.Enabled);
            box.Combo->setCurrentIndex(r.Selected);
            box.Combo->show();
            box.Edit->hide();
        }
    }
    FFilling = false;
    ShowDescription();
    InfoInfoLabel->setText(Text("Description", "Description"));
    InfoInfoLabel->move(5, last->y() + 25);
    InfoBox->move(100, last->y() + 25);
    InfoInfoLabel->show();
    InfoBox->show();
    Layout();
}

void TPropertyInspector::ShowDescription() {
    InfoBox->clear();
    if (FPropertyList)
        InfoBox->setPlainText(
            Description(InspectorDescription(*FPropertyList, FEditObject, ShellServices().InfoSysLang())));
}

void TPropertyInspector::Clear() {
    FPropertyList = nullptr;
    ObjTypeEditBox.InfoLabel->hide();
    ObjTypeEditBox.Edit->hide();
    for (TEditBox& box : EditBoxList) {
        box.InfoLabel->hide();
        box.Edit->hide();
        box.Combo->hide();
    }
    InfoInfoLabel->hide();
    InfoBox->clear();
    InfoBox->hide();
    FRows = 0;
}

void TPropertyInspector::UpdateInfoText() {
    setWindowTitle(Text("Object_Inspector", "Object Inspector"));
    if (FPropertyList) {
        ObjTypeEditBox.InfoLabel->setText(Text("Object_Type", "Object Type"));
        InfoInfoLabel->setText(Text("Description", "Description"));
        ShowDescription();
    }
    InfoRichEdit->setPlainText(Text("ObjectInspectorHelpText", ""));
    PageControl1->setTabText(0, Text("ObjectDescription", "&Object description"));
    PageControl1->setTabText(1, Text("WhatIsObjectInspector", "&What is the Object Inspector?"));
    ShowCheckBox->setText(Text("ShowObjectInspector", "Show Object Inspector after Login"));
    ShowCheckBox->adjustSize();
    Button1->setText(Text("CloseObjectInspector", "Close"));
    ShowCheckBox->setChecked(ShowInspectorOption().Get && ShowInspectorOption().Get());
}

void TPropertyInspector::showEvent(QShowEvent* Event) {
    PageControl1->setCurrentWidget(HelpTab);
    UpdateInfoText();
    QWidget::showEvent(Event);
    Layout();
}

void TPropertyInspector::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    Layout();
}

void TPropertyInspector::Layout() {
    const int w = std::max(50, width() - 130);
    if (FPropertyList) {
        for (TEditBox& box : EditBoxList) {
            box.InfoLabel->resize(w, box.InfoLabel->height());
            box.Edit->resize(w, box.Edit->height());
            box.Combo->resize(w, box.Combo->height());
        }
        ObjTypeEditBox.Edit->resize(w, ObjTypeEditBox.Edit->height());
        InfoBox->resize(w, std::max(40, height() - InfoBox->y() - Panel2->height() - 75));
    }
    Button1->adjustSize();
    Button1->move(Panel2->width() - Button1->width() - 3, 4);
}

int TPropertyInspector::RowOf(QObject* Control) const {
    for (size_t i = 0; i < EditBoxList.size(); ++i)
        if (EditBoxList[i].Edit == Control || EditBoxList[i].Combo == Control)
            return static_cast<int>(i);
    return -1;
}

void TPropertyInspector::Write(int Row) {
    if (!FPropertyList || Row < 0 || Row >= FRows)
        return;
    TEditBox& box = EditBoxList[static_cast<size_t>(Row)];
    const bool combo = !box.Combo->isHidden();
    const QString text = combo ? box.Combo->currentText() : box.Edit->text();
    const MyAnsiString shown = InspectorWrite(*FPropertyList, Row, FEditObject, FromQt(text));
    FFilling = true;
    if (combo)
        box.Combo->setCurrentIndex(box.Combo->findText(ToQt(shown), Qt::MatchFixedString));
    else
        box.Edit->setText(ToQt(shown));
    FFilling = false;
}

bool TPropertyInspector::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::FocusOut) {
        const int row = RowOf(Watched);
        if (row >= 0 && !FFilling)
            Write(row);
    }
    return QWidget::eventFilter(Watched, Event);
}

} // namespace vo
