#include "comm/gui/CanManagerView.h"

#include "comm/CANMan.h"
#include "comm/CANdrv.h"
#include "platform/Cp1252.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>
#include <QVBoxLayout>

namespace vo {

namespace {
QString Text(const MyAnsiString& S) {
    return QString::fromStdString(Cp1252ToUtf8(S));
}
} // namespace

TCanManagerViewForm::TCanManagerViewForm(TCANManager& Manager, QWidget* Parent)
    : QWidget(Parent, Qt::Window), FManager(Manager), FCANDriver(Manager.CANDriver()) {
    setWindowTitle("CANOvra Manager");
    setObjectName("CanManagerViewForm");

    InterfaceCombo = new QComboBox(this);
    BaudRateCombo = new QComboBox(this);
    MasterMACIDCombo = new QComboBox(this);
    StatusLbl = new QLabel("Disconnected", this);
    CheckBox1 = new QCheckBox("Enable Debug Mode", this);
    ReportMemo = new QPlainTextEdit(this);
    ReportMemo->setReadOnly(true);
    InterfaceCombo->setObjectName("InterfaceCombo");
    BaudRateCombo->setObjectName("BaudRateCombo");
    MasterMACIDCombo->setObjectName("MasterMACIDCombo");
    StatusLbl->setObjectName("StatusLbl");
    CheckBox1->setObjectName("CheckBox1");
    ReportMemo->setObjectName("ReportMemo");

    auto* top = new QFormLayout;
    top->addRow("Interface:", InterfaceCombo);
    top->addRow("Ovra-Master MAC-ID", MasterMACIDCombo);
    top->addRow("Baud Rate:", BaudRateCombo);
    top->addRow("Status:", StatusLbl);
    top->addRow(CheckBox1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ReportMemo, 1);

    ReportMemo->setPlainText(""); // one empty line; report lines follow it
    for (int32_t i = 0; i < TCANManager::GetNoOfBaudRates(); ++i)
        BaudRateCombo->addItem(Text(TCANManager::GetBaudRateString(i)));
    const int32_t macIds = FCANDriver ? FCANDriver->PortCount() : 256;
    for (int32_t i = 0; i < macIds; ++i)
        MasterMACIDCombo->addItem(QString::number(i));
    for (int32_t i = 0; i < Manager.GetNoOfInterfaces(); ++i)
        InterfaceCombo->addItem(Text(Manager.GetInterfaceName(i)));
    BaudRateCombo->setCurrentIndex(0);
    InterfaceCombo->setCurrentIndex(0);

    connect(BaudRateCombo, &QComboBox::currentIndexChanged, this, [this](int i) { BaudRateComboChange(i); });
    connect(InterfaceCombo, &QComboBox::currentIndexChanged, this, [this](int i) { InterfaceComboChange(i); });
    connect(MasterMACIDCombo, &QComboBox::currentIndexChanged, this, [this](int i) { MasterMACIDComboChange(i); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool c) { CheckBox1Click(c); });

    // Lines and state changes arrive on other threads: queued to this one.
    QPointer<TCanManagerViewForm> self(this);
    FReport.SetOnLinesPending([self] {
        if (self)
            QMetaObject::invokeMethod(
                self.data(), [self] { if (self) self->DrainReport(); }, Qt::QueuedConnection);
    });
    if (FCANDriver) {
        FCANDriver->SetReportMemo(&FReport);
        FCANDriver->SetUpdateSettingsView([self] {
            if (self)
                QMetaObject::invokeMethod(
                    self.data(), [self] { if (self) self->UpdateSettingsView(); }, Qt::QueuedConnection);
        });
    }
    UpdateSettingsView();
}

TCanManagerViewForm::~TCanManagerViewForm() {
    if (FCANDriver) {
        // After these return, the driver's threads no longer reach us.
        FCANDriver->SetReportMemo(nullptr);
        FCANDriver->SetUpdateSettingsView(nullptr);
    }
}

void TCanManagerViewForm::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    UpdateSettingsView();
    const QSignalBlocker block(CheckBox1);
    CheckBox1->setChecked(FManager.DebugingEnabled());
}

void TCanManagerViewForm::UpdateSettingsView() {
    FUpdating = true;
    if (!FCANDriver) {
        InterfaceCombo->setEnabled(false);
        BaudRateCombo->setEnabled(false);
        MasterMACIDCombo->setEnabled(false);
        StatusLbl->setText("No CAN Driver assigned!");
    } else {
        BaudRateCombo->setCurrentIndex(FCANDriver->BaudRateSel());
        InterfaceCombo->setCurrentIndex(FCANDriver->InterfaceSel());
        MasterMACIDCombo->setCurrentIndex(FCANDriver->OvraMasterMACID());
        StatusLbl->setText(Text(FCANDriver->GetStatusString()));
        const bool editable = FCANDriver->GetIsDisconnected();
        InterfaceCombo->setEnabled(editable);
        BaudRateCombo->setEnabled(editable);
        MasterMACIDCombo->setEnabled(editable);
    }
    FUpdating = false;
}

void TCanManagerViewForm::BaudRateComboChange(int Index) {
    if (FCANDriver && !FUpdating && Index >= 0)
        FCANDriver->SetBaudRateSel(Index);
}

void TCanManagerViewForm::InterfaceComboChange(int Index) {
    if (FCANDriver && !FUpdating && Index >= 0)
        FCANDriver->SetInterfaceSel(Index);
}

void TCanManagerViewForm::MasterMACIDComboChange(int Index) {
    if (FCANDriver && !FUpdating && Index >= 0)
        FCANDriver->SetOvraMasterMACID(Index);
}

void TCanManagerViewForm::CheckBox1Click(bool Checked) {
    FManager.SetDebugingEnabled(Checked);
}

void TCanManagerViewForm::DrainReport() {
    QTextCursor end(ReportMemo->document());
    end.movePosition(QTextCursor::End);
    for (const MyAnsiString& line : FReport.Drain()) {
        end.insertBlock();
        end.insertText(Text(line));
    }
    ReportMemo->ensureCursorVisible();
}

} // namespace vo
