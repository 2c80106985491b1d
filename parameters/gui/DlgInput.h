#pragma once
// A one-line input dialog: the caller sets the caption and the text shown on
// opening (FInputString); after OK FInputString holds the text entered
// (code page 1252).
#include "platform/AnsiString.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace vo {

class TInputDialog : public QDialog {
public:
    explicit TInputDialog(QWidget* Parent = nullptr);

    // Modal; true when the dialog closed with OK.
    bool Execute();

    MyAnsiString FInputString;
    QLineEdit* EdInpStr;
    QPushButton* BtnOK;
    QPushButton* BtnCancel;

protected:
    void showEvent(QShowEvent* Event) override;
};

} // namespace vo
