#pragma once
// "Import Log": a message with "&OK" (Enter; result Cancel) and "&Show
// Details" (Escape; result OK: the caller then opens its log), both centred.
#include "platform/AnsiString.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace vo {

class TShowWarnForm : public QDialog {
    Q_OBJECT
public:
    explicit TShowWarnForm(QWidget* Parent = nullptr);

    void SetMessage(const MyAnsiString& Text);

    QLabel* MsgLabel;
    QWidget* BottomPanel;
    QPushButton* CloseBtn;
    QPushButton* ShowBtn;

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    void FormResize();
};

} // namespace vo
