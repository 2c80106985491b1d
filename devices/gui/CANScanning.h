#pragma once
// The scan window "Scanning ...": the progress of a CAN scan or an Ethernet
// discovery as lines of text, shown without waiting; "Close" closes it.
#include "platform/AnsiString.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace vo {

class TScanForm : public QDialog {
    Q_OBJECT
public:
    explicit TScanForm(QWidget* Parent = nullptr);

    void ClearLines();
    void AddLine(const MyAnsiString& Line);

    QPlainTextEdit* Memo1;
    QPushButton* Button1; // "Close", result OK
};

} // namespace vo
