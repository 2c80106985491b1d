#pragma once
// "Login Info ": the progress log of a device opening. "Abort" raises the
// shell's login-abort flag once per click and leaves the form open; "Close"
// closes it. As the program's login information window it receives the
// lines of the module service's start-up.
#include "kernel/LoginPrompts.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace vo {

class TLoginInfoForm : public QDialog, public TLoginInfoWindow {
    Q_OBJECT
public:
    explicit TLoginInfoForm(QWidget* Parent = nullptr);

    void AddString(const MyAnsiString& AStr) override;
    void SetLastLine(const MyAnsiString& AStr) override;
    // The lines shown.
    std::vector<MyAnsiString> Lines() const;

    QPlainTextEdit* Memo1;
    QPushButton* AbortBtn;
    QPushButton* CloseBtn;
};

} // namespace vo
