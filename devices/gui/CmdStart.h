#pragma once
// The "Login" dialog: how to reach one drive (RS232 port, CAN MAC-ID,
// Ethernet address, or offline from a configuration file) and as whom. The
// shell initialises it from the settings, shows it modally, reads its answers
// and stores them again at exit. The rules are devices/LoginDlg.h.
#include "devices/DevMan.h"
#include "platform/AnsiString.h"

#include <QDialog>

#include <cstdint>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vo {

class TIP4Edit;

class TDeviceLoginDialog : public QDialog {
    Q_OBJECT
public:
    explicit TDeviceLoginDialog(QWidget* Parent = nullptr);
    ~TDeviceLoginDialog() override;

    // Once, with the "Login" settings (not read) and the "LoginConfig"
    // section (may be nullptr): the ports, the MAC-IDs "0".."255", then what
    // the section restores.
    void Initialize(TSLDictionary* Dictionary, TSLDictionary* LoginConfigDict);

    // The checked interface (none counts as RS232).
    TInterfaceType GetInterfaceType() const;
    // RS232: the chosen port; CAN: "CAN"; Ethernet: "ETH"; offline: "".
    MyAnsiString GetPortName() const;
    int GetDeviceMACID() const;
    // Raises EConvertError for an empty address field.
    int32_t GetIPAddress() const;
    bool GetShowObjInsp() const;
    void SetShowObjInsp(bool Value);
    MyAnsiString GetOfflineFileName() const;

    // The shell's offline open: OFFLINE checked with the file, read-only,
    // the other interfaces and "Browse..." disabled; EnableInterfaces undoes it.
    void PresetOffline(const MyAnsiString& FileName);
    void EnableInterfaces();

    MyAnsiString FUserName;
    MyAnsiString FPassword;
    MyAnsiString FSelectedRSPort;
    MyAnsiString FDeviceCaption;

    QLabel* InterfaceLbl;
    QRadioButton* RS232Radio;
    QRadioButton* CANRadio;
    QRadioButton* ETHRadio;
    QRadioButton* OfflineRadio;
    QLabel* RSPortLabel;
    QComboBox* CbRSPort;
    QLabel* DevMACIDLabel;
    QComboBox* CBDevMACID;
    QLabel* IPAddrCap;
    TIP4Edit* IP4Edit;
    QLabel* OfflineLabel;
    QLineEdit* OfflineEdit;
    QPushButton* OfflineBtn;
    QLabel* Label1;
    QLineEdit* UserEdt;
    QLabel* PWDLabel;
    QLineEdit* PasswordEdt;
    QPushButton* CancelBtn; // "Scan"
    QPushButton* Button2; // "Blink"
    QPushButton* OKBtn;
    QPushButton* Button1; // "Cancel"
    QCheckBox* ShowObjInspChk;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    std::optional<TInterfaceType> Checked() const;
    void FillPorts();
    void UpdateVisibility();
    void OKBtnClick();
    void ScanClick();
    void BlinkClick();
    void BrowseClick();

    QButtonGroup* FInterfaces;
};

// The program's dialog (nullptr while none exists).
TDeviceLoginDialog* DeviceLoginDialog() noexcept;

} // namespace vo
