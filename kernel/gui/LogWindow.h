#pragma once
// The Qt log window (caption "LogWindow" until the caller sets its own): a
// text area with one line per message and an "&Abort" button, centred in the
// bottom panel. It does not close itself on abort; closing it in any way frees
// it. InstallQtLogWindows makes a manager create these windows.
#include "kernel/LogWnd.h"

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace vo {

class TLogWindow : public QWidget, public TLogWindowView {
    Q_OBJECT
public:
    explicit TLogWindow(TLogWindowEvents& Events);
    ~TLogWindow() override;

    MyAnsiString GetCaption() const override;
    void SetCaption(const MyAnsiString& ACaption) override;
    void AppendLine(const MyAnsiString& Line) override;
    void ShowWindow() override;
    void CloseWindow() override;

    // The view the manager knows the window by (this window unless set).
    void SetOwnerView(TLogWindowView* View) { FOwnerView = View; }

    QWidget* Panel;
    QPlainTextEdit* OutMemo;
    QPushButton* BtAbort;

protected:
    void closeEvent(QCloseEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    void CenterButton();

    TLogWindowEvents& FEvents;
    TLogWindowView* FOwnerView = this;
    bool FClosing = false; // closed by the manager: no callback
};

// The Qt window behind a view the manager created (nullptr: none).
TLogWindow* QtLogWindow(TLogWindowView* View);

// Makes the manager create Qt log windows.
void InstallQtLogWindows(TLogWindowManager& Manager);

} // namespace vo
