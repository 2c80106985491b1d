#pragma once
// The loader dialog: the caption of the run, "Action:" with the action text,
// "Progress:" with a bar (0 to 100), "Log Window:" with the run's log and one
// button ("Abort" while a client runs, then "Close"). The form mirrors the
// model of the loader service (TLoaderDialog); the button and the window's
// close box both go to the service's button handler (abort request, or hide
// when the run is over).
#include "devices/LoadSrv.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace vo {

class TLoaderDialogForm : public QDialog, public TLoaderDialog {
    Q_OBJECT
public:
    // Owned by its loader service, so without a Qt parent.
    TLoaderDialogForm();

    void SetCaption(const MyAnsiString& Value) override;
    void SetActionText(const MyAnsiString& Value) override;
    void SetButtonText(const MyAnsiString& Value) override;
    void SetProgress(int32_t Value) override;
    void ClearLogText() override;
    void AddLogText(const MyAnsiString& Text) override;
    void Show() override;
    void Hide() override;
    // Show or hide the log with its label, the progress bar with its label.
    void SetEnableTextDisplay(bool Value);
    void SetEnableProgressBar(bool Value);

    QLabel* ActionLabel;
    QLineEdit* EdAction;
    QLabel* ProgressLabel;
    QProgressBar* ProgressBar;
    QLabel* LogLabel;
    QListWidget* ListBox;
    QPushButton* Button;

protected:
    void closeEvent(QCloseEvent* Event) override;
    void reject() override;
};

// Makes the loader services' dialogs forms of this kind.
void InstallLoaderDialog();

} // namespace vo
