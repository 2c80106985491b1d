#pragma once
// The rule dialog of the filter editor ("Debug Filter"): code and mask as
// hexadecimal text, the description and the action. OK reads the fields;
// a code or mask that is no hexadecimal number is shown in an error box and
// the dialog stays open (the rule is not changed).
#include "kernel/FiltEdt.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vo {

class TFilterDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFilterDialog(QWidget* Parent = nullptr);

    // Description "New Filter", code "0", mask "0", action None.
    void ClearFields();
    // Code and mask as four upper-case hexadecimal digits.
    void Fill(const TDebugFilter& Rule);
    // The rule of the fields; raises for a code or mask that is no number.
    TDebugFilter Read() const;
    // The rule read when the dialog closed with OK.
    const TDebugFilter& Result() const { return FResult; }

    QLineEdit* CodeEdit;
    QLineEdit* MaskEdit;
    QLineEdit* DescriptionEdit;
    QRadioButton* NoneRadio;
    QRadioButton* AllowRadio;
    QRadioButton* DenyRadio;
    QPushButton* OKButton;
    QPushButton* CancelButton;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void OKClick();
    TDebugFilter FResult;
};

} // namespace vo
