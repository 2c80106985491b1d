#pragma once
// The "Debug Window": shows the trace lines of the debug manager (the log
// lines of the program and the telegram trace), switches debugging on and
// off, flips the status-telegram rules of the trace filter and saves the trace
// as a text file. While the window exists it is the debug manager's memo:
// lines traced on any thread are handed to the GUI thread and appended there
// in their order.
#include "kernel/Debug.h"

#include <QWidget>

#include <atomic>
#include <functional>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

namespace vo {

class TDebugWindow : public QWidget {
    Q_OBJECT
public:
    // Becomes the memo of Manager (the program's debug manager when nullptr).
    explicit TDebugWindow(TDebugManager* Manager = nullptr, QWidget* Parent = nullptr);
    // Stops being the memo.
    ~TDebugWindow() override;

    // Appends the lines that are waiting (the GUI thread does it by itself).
    void DrainLines();
    // The memo's lines.
    QStringList Lines() const;
    // Caret to line Line and scrolled into view.
    void GoToLine(int Line);

    // Asks for the file "Save..." writes; "" cancels. Tests replace it.
    std::function<QString()> AskSaveFileName;

    QPlainTextEdit* DebugOutput1;
    QPushButton* Button1; // "Clear"
    QPushButton* BreakBtn;
    QPushButton* BtFilter;
    QPushButton* BtSave;
    QPushButton* Button5; // "Go to Top"
    QPushButton* Button4; // "Go to Bottom"
    QPushButton* Button7; // "Show/Hide Status Request"
    QCheckBox* CheckBox1; // "Enable Debug Mode"

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void DenyAllowStatusFilter();
    void Save();

    TDebugManager* FManager;
    TDebugLineSink FSink;
    std::atomic<bool> FDrainPosted{false};
};

} // namespace vo
