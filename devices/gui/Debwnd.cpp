#include "devices/gui/Debwnd.h"

#include "kernel/UserPrompt.h"
#include "kernel/gui/FiltEdt.h"
#include "kernel/gui/QtText.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QVBoxLayout>

namespace vo {

TDebugWindow::TDebugWindow(TDebugManager* Manager, QWidget* Parent)
    : QWidget(Parent, Qt::Window), FManager(Manager ? Manager : DebugManager()) {
    setWindowTitle("Debug Window");
    resize(640, 420);
    auto* layout = new QVBoxLayout(this);
    DebugOutput1 = new QPlainTextEdit("Debug Window");
    DebugOutput1->setReadOnly(true);
    DebugOutput1->setLineWrapMode(QPlainTextEdit::NoWrap);
    DebugOutput1->setFont(QFont("Monospace"));
    layout->addWidget(DebugOutput1, 1);
    auto* panel = new QHBoxLayout;
    auto button = [&](const char* Caption) {
        auto* b = new QPushButton(Caption);
        panel->addWidget(b);
        return b;
    };
    Button1 = button("Clear");
    BreakBtn = button("Break");
    BtFilter = button("Filter...");
    BtSave = button("Save...");
    Button5 = button("Go to Top");
    Button4 = button("Go to Bottom");
    Button7 = button("Show/Hide Status Request");
    CheckBox1 = new QCheckBox("Enable Debug Mode");
    panel->addWidget(CheckBox1);
    layout->addLayout(panel);

    connect(Button1, &QPushButton::clicked, DebugOutput1, &QPlainTextEdit::clear);
    connect(BreakBtn, &QPushButton::clicked, this, [this] {
        if (FManager && FManager->FDoBreak)
            FManager->FDoBreak();
    });
    connect(BtFilter, &QPushButton::clicked, this, [this] { DenyAllowStatusFilter(); });
    connect(Button7, &QPushButton::clicked, this, [this] { DenyAllowStatusFilter(); });
    connect(BtSave, &QPushButton::clicked, this, [this] { Save(); });
    connect(Button5, &QPushButton::clicked, this, [this] { GoToLine(0); });
    connect(Button4, &QPushButton::clicked, this, [this] { GoToLine(DebugOutput1->blockCount() - 1); });
    connect(CheckBox1, &QCheckBox::clicked, this, [this](bool Checked) {
        if (FManager)
            FManager->SetDebugingEnabled(Checked);
    });
    AskSaveFileName = [this] {
        return QFileDialog::getSaveFileName(this, "Save...", QString(), "Debug Text (*.txt)", nullptr);
    };

    // Lines come on any thread; one queued call at a time brings them over.
    FSink.SetOnLinesPending([this] {
        if (!FDrainPosted.exchange(true))
            QMetaObject::invokeMethod(
                this, [this] { DrainLines(); }, Qt::QueuedConnection);
    });
    if (FManager)
        FManager->SetDebugMemo(&FSink);
}

TDebugWindow::~TDebugWindow() {
    if (FManager && FManager->DebugMemo() == &FSink)
        FManager->SetDebugMemo(nullptr);
}

void TDebugWindow::DrainLines() {
    FDrainPosted.store(false);
    const std::vector<MyAnsiString> lines = FSink.Drain();
    if (lines.empty())
        return;
    QString text;
    for (const MyAnsiString& l : lines) {
        if (!text.isEmpty())
            text += '\n';
        text += ToQt(l);
    }
    DebugOutput1->appendPlainText(text);
}

QStringList TDebugWindow::Lines() const {
    return DebugOutput1->toPlainText().split('\n');
}

void TDebugWindow::GoToLine(int Line) {
    QTextBlock block = DebugOutput1->document()->findBlockByNumber(std::max(0, Line));
    QTextCursor cursor(block);
    DebugOutput1->setTextCursor(cursor);
    DebugOutput1->ensureCursorVisible();
}

void TDebugWindow::showEvent(QShowEvent* Event) {
    CheckBox1->setChecked(FManager && FManager->DebugingEnabled());
    QWidget::showEvent(Event);
}

void TDebugWindow::DenyAllowStatusFilter() {
    if (FManager)
        FManager->Filter().DenyAllowStatusFilter();
    if (TFilterEditor* editor = FilterEditor())
        editor->Refresh();
}

void TDebugWindow::Save() {
    const QString name = AskSaveFileName ? AskSaveFileName() : QString();
    if (name.isEmpty())
        return;
    QString file = name;
    if (QFileInfo(file).suffix().isEmpty())
        file += ".txt";
    // The trace is the program's 8-bit text: written as it came, one line per line.
    std::string bytes;
    for (const QString& line : Lines())
        bytes += FromQt(line) + "\n";
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        ShowErrorMessage("Cannot write " + FromQt(file) + ": " +
                         FromQt(out.errorString()));
    }
}

} // namespace vo
