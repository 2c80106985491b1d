#pragma once
// The window "CANOvra Manager": the CAN driver's interface, baud rate and
// master MAC-ID (editable while the adapter is disconnected; they apply at
// the next connection), its state, the debugging switch of the report lines
// and the report lines themselves. Report lines and state changes come from
// the server's and the receive threads; they reach the widgets on the GUI
// thread, in order.
#include "kernel/Debug.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;

namespace vo {

class TCANDriver;
class TCANManager;

class TCanManagerViewForm : public QWidget {
    Q_OBJECT
public:
    // Takes the manager's driver, becomes its report sink and view.
    explicit TCanManagerViewForm(TCANManager& Manager, QWidget* Parent = nullptr);
    ~TCanManagerViewForm() override;

    // Shows the driver's settings and state (GUI thread).
    void UpdateSettingsView();

    QComboBox* InterfaceCombo = nullptr;
    QComboBox* BaudRateCombo = nullptr;
    QComboBox* MasterMACIDCombo = nullptr;
    QLabel* StatusLbl = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPlainTextEdit* ReportMemo = nullptr;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void BaudRateComboChange(int Index);
    void InterfaceComboChange(int Index);
    void MasterMACIDComboChange(int Index);
    void CheckBox1Click(bool Checked);
    void DrainReport();

    TCANManager& FManager;
    std::shared_ptr<TCANDriver> FCANDriver;
    TDebugLineSink FReport;
    bool FUpdating = false;
};

} // namespace vo
