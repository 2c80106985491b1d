#pragma once
// "Login": a yes/no question with a details text that "Show details" shows
// and hides; the form sizes itself to its visible panels. As the program's
// login question (TLoginQuestionPrompt) it is filled from a TLoginQuestion.
#include "kernel/LoginPrompts.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace vo {

class TLoginMsgForm : public QDialog, public TLoginQuestionPrompt {
    Q_OBJECT
public:
    explicit TLoginMsgForm(QWidget* Parent = nullptr);

    // Sets the texts and buttons, hides the details, shows the form modally:
    // mrYes or mrNo.
    TModalResult Ask(const TLoginQuestion& Question) override;
    void SetDetailsVisible(bool Visible);
    bool DetailsVisible() const;

    QWidget* TopPanel;
    QLabel* Label1;
    QWidget* MiddlePanel;
    QLabel* Label2;
    QWidget* Panel3;
    QPushButton* Button3; // "Yes"
    QPushButton* Button2; // "No"
    QPushButton* Button4; // "Show details"
};

} // namespace vo
