#pragma once
// The dialog "Create Configuration Offline": three drop-down lists over the
// wizard's model (devices/ConfWiz). Both buttons build the tree names; a
// failure ("Wrong file type!") is shown and keeps the dialog open on OK.
#include <QDialog>

class QComboBox;
class QPushButton;

namespace vo {

class TConfWizard;

class TConfWizardForm : public QDialog {
    Q_OBJECT
public:
    explicit TConfWizardForm(TConfWizard& AWizard, QWidget* Parent = nullptr);

    // Fills the lists from the model (after its Initialize).
    void Refresh();

    QComboBox* ControllersCbo;
    QComboBox* InterfaceCbo;
    QComboBox* ApplicationCbo;
    QPushButton* Button2; // "OK"
    QPushButton* Button1; // "Cancel"

private:
    void ControllersCboChange(int Index);
    void FillLists();
    void Button1Click(bool Ok);

    TConfWizard& FWizard;
    bool FFilling = false;
};

} // namespace vo
