#include "devices/gui/CmdStart.h"

#include "comm/OvraServ.h"
#include "devices/LoginDlg.h"
#include "kernel/InspRows.h"
#include "kernel/LanguageMan.h"
#include "kernel/ShellServices.h"
#include "kernel/UserPrompt.h"
#include "kernel/gui/TIP4Edit.h"
#include "kernel/gui/QtText.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace vo {

namespace {
TDeviceLoginDialog* GDialog = nullptr;


template <class W>
W* Place(W* Widget, int Left, int Top, int Width, int Height = 21) {
    Widget->setGeometry(Left, Top, Width, Height);
    return Widget;
}
} // namespace

TDeviceLoginDialog* DeviceLoginDialog() noexcept {
    return GDialog;
}

TDeviceLoginDialog::TDeviceLoginDialog(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Login");
    setFixedSize(400, 230);
    InterfaceLbl = Place(new QLabel("Interface Type:", this), 12, 12, 100);
    RS232Radio = Place(new QRadioButton("RS232", this), 120, 10, 64);
    CANRadio = Place(new QRadioButton("CAN", this), 186, 10, 54);
    ETHRadio = Place(new QRadioButton("ETHERNET", this), 240, 10, 84);
    OfflineRadio = Place(new QRadioButton("OFFLINE", this), 324, 10, 74);
    FInterfaces = new QButtonGroup(this);
    for (QRadioButton* r : {RS232Radio, CANRadio, OfflineRadio, ETHRadio}) {
        FInterfaces->addButton(r);
        connect(r, &QRadioButton::clicked, this, [this] { UpdateVisibility(); });
    }

    // The four interface rows share one place; only the chosen one shows.
    RSPortLabel = Place(new QLabel("Port:", this), 12, 46, 100);
    CbRSPort = Place(new QComboBox(this), 120, 44, 115);
    DevMACIDLabel = Place(new QLabel("Device MAC-ID:", this), 12, 46, 100);
    CBDevMACID = Place(new QComboBox(this), 120, 44, 115);
    OfflineLabel = Place(new QLabel("File Name:", this), 12, 46, 100);
    OfflineEdit = Place(new QLineEdit(this), 120, 44, 190);
    OfflineBtn = Place(new QPushButton("Browse...", this), 316, 43, 72, 23);
    IPAddrCap = Place(new QLabel("IP Address:", this), 12, 46, 100);

    Label1 = Place(new QLabel("Login ID:", this), 12, 80, 100);
    UserEdt = Place(new QLineEdit("USER", this), 120, 78, 190);
    PWDLabel = Place(new QLabel("Password:", this), 12, 114, 100);
    PasswordEdt = Place(new QLineEdit(this), 120, 112, 190);
    PasswordEdt->setEchoMode(QLineEdit::Password);
    ShowObjInspChk = Place(new QCheckBox("Show Object Inspector", this), 120, 146, 270);

    // The address input sits in the row of the port list, left of the login field.
    IP4Edit = new TIP4Edit(this);
    IP4Edit->SetPosition(2 * UserEdt->y() - PasswordEdt->y(), UserEdt->x());
    IP4Edit->SetSize(21, 115);

    CancelBtn = Place(new QPushButton("Scan", this), 12, 190, 80, 25);
    Button2 = Place(new QPushButton("Blink", this), 98, 190, 80, 25);
    OKBtn = Place(new QPushButton("OK", this), 222, 190, 80, 25);
    Button1 = Place(new QPushButton("Cancel", this), 308, 190, 80, 25);
    OKBtn->setDefault(true);
    OKBtn->setAutoDefault(true);
    for (QPushButton* b : {CancelBtn, Button2, Button1, OfflineBtn})
        b->setAutoDefault(false);
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
    connect(CancelBtn, &QPushButton::clicked, this, [this] { ScanClick(); });
    connect(Button2, &QPushButton::clicked, this, [this] { BlinkClick(); });
    connect(OfflineBtn, &QPushButton::clicked, this, [this] { BrowseClick(); });

    GDialog = this;
    ShowInspectorOption() = {[this] { return GetShowObjInsp(); }, [this](bool Value) { SetShowObjInsp(Value); }};
    UpdateVisibility();
}

TDeviceLoginDialog::~TDeviceLoginDialog() {
    if (GDialog == this) {
        GDialog = nullptr;
        ShowInspectorOption() = {};
    }
}

void TDeviceLoginDialog::FillPorts() {
    const QString previous = CbRSPort->currentText();
    CbRSPort->clear();
    if (TOvraServer* server = OvraServer())
        for (const MyAnsiString& p : RefreshLoginPorts(*server))
            CbRSPort->addItem(ToQt(p));
    const int index = CbRSPort->findText(previous);
    CbRSPort->setCurrentIndex(index >= 0 ? index : (CbRSPort->count() > 0 ? 0 : -1));
}

void TDeviceLoginDialog::Initialize(TSLDictionary* Dictionary, TSLDictionary* LoginConfigDict) {
    (void)Dictionary;
    FillPorts();
    CBDevMACID->clear();
    for (int i = 0; i < 256; ++i)
        CBDevMACID->addItem(QString::number(i));
    CBDevMACID->setCurrentIndex(0);
    std::vector<MyAnsiString> ports;
    for (int i = 0; i < CbRSPort->count(); ++i)
        ports.push_back(FromQt(CbRSPort->itemText(i)));
    const TLoginRestore r = ReadLoginConfig(LoginConfigDict, ports);
    if (r.DevMACID)
        CBDevMACID->setCurrentIndex(*r.DevMACID);
    if (r.IPAddress)
        IP4Edit->SetIPValue(*r.IPAddress);
    if (r.Interface) {
        switch (*r.Interface) {
        case ifCAN: CANRadio->setChecked(true); break;
        case ifEthernet: ETHRadio->setChecked(true); break;
        default:
            RS232Radio->setChecked(true);
            CbRSPort->setCurrentIndex(r.PortIndex);
            FSelectedRSPort = r.PortIndex >= 0 ? ports[static_cast<size_t>(r.PortIndex)] : MyAnsiString();
            break;
        }
    }
    if (r.UserName) {
        FUserName = *r.UserName;
        UserEdt->setText(ToQt(*r.UserName));
    }
    if (r.ShowObjectInspector)
        ShowObjInspChk->setChecked(*r.ShowObjectInspector);
    UpdateVisibility();
}

std::optional<TInterfaceType> TDeviceLoginDialog::Checked() const {
    if (RS232Radio->isChecked())
        return ifRS232;
    if (CANRadio->isChecked())
        return ifCAN;
    if (ETHRadio->isChecked())
        return ifEthernet;
    if (OfflineRadio->isChecked())
        return ifOffline;
    return std::nullopt;
}

TInterfaceType TDeviceLoginDialog::GetInterfaceType() const {
    return Checked().value_or(ifRS232);
}

MyAnsiString TDeviceLoginDialog::GetPortName() const {
    switch (GetInterfaceType()) {
    case ifRS232: return FSelectedRSPort;
    case ifCAN: return "CAN";
    case ifEthernet: return "ETH";
    default: return {};
    }
}

int TDeviceLoginDialog::GetDeviceMACID() const {
    return std::max(0, CBDevMACID->currentIndex());
}

int32_t TDeviceLoginDialog::GetIPAddress() const {
    return IP4Edit->GetIPValue();
}

bool TDeviceLoginDialog::GetShowObjInsp() const {
    return ShowObjInspChk->isChecked();
}

void TDeviceLoginDialog::SetShowObjInsp(bool Value) {
    ShowObjInspChk->setChecked(Value);
}

MyAnsiString TDeviceLoginDialog::GetOfflineFileName() const {
    return FromQt(OfflineEdit->text());
}

void TDeviceLoginDialog::PresetOffline(const MyAnsiString& FileName) {
    OfflineRadio->setChecked(true);
    OfflineEdit->setText(ToQt(FileName));
    OfflineEdit->setReadOnly(true);
    for (QWidget* w : {static_cast<QWidget*>(RS232Radio), static_cast<QWidget*>(CANRadio),
                       static_cast<QWidget*>(ETHRadio), static_cast<QWidget*>(OfflineBtn)})
        w->setEnabled(false);
    UpdateVisibility();
}

void TDeviceLoginDialog::EnableInterfaces() {
    OfflineEdit->setReadOnly(false);
    for (QWidget* w : {static_cast<QWidget*>(RS232Radio), static_cast<QWidget*>(CANRadio),
                       static_cast<QWidget*>(ETHRadio), static_cast<QWidget*>(OfflineBtn)})
        w->setEnabled(true);
}

void TDeviceLoginDialog::showEvent(QShowEvent* Event) {
    PasswordEdt->clear();
    FillPorts();
    const auto text = [](const char* Key, const char* Fallback) {
        const MyAnsiString t = LangText(Key);
        return ToQt(t.empty() ? MyAnsiString(Fallback) : t);
    };
    InterfaceLbl->setText(text("Login_Interface", "Interface Type") + ":");
    DevMACIDLabel->setText(text("Login_Device_MACID", "Device MAC-ID") + ":");
    OfflineLabel->setText(text("Login_File_Name", "File Name") + ":");
    PWDLabel->setText(text("Login_Password", "Password") + ":");
    ShowObjInspChk->setText(text("ShowObjectInspector", "Show Object Inspector"));
    UpdateVisibility();
    QDialog::showEvent(Event);
}

void TDeviceLoginDialog::UpdateVisibility() {
    const TLoginVisibility v = LoginVisibility(Checked());
    for (QWidget* w : {static_cast<QWidget*>(CbRSPort), static_cast<QWidget*>(RSPortLabel)}) {
        w->setVisible(v.Port);
        w->setEnabled(v.Port);
    }
    for (QWidget* w : {static_cast<QWidget*>(CBDevMACID), static_cast<QWidget*>(DevMACIDLabel)}) {
        w->setVisible(v.MACID);
        w->setEnabled(v.MACID);
    }
    IP4Edit->SetVisibility(v.IPAddress);
    IPAddrCap->setVisible(v.IPAddress);
    for (QWidget* w : {static_cast<QWidget*>(OfflineLabel), static_cast<QWidget*>(OfflineEdit),
                       static_cast<QWidget*>(OfflineBtn)})
        w->setVisible(v.Offline);
    CbRSPort->setPalette(QPalette());
    CancelBtn->setEnabled(v.ScanEnabled);
    Button2->setEnabled(v.BlinkEnabled);
    PasswordEdt->setEchoMode(QLineEdit::Password);
}

void TDeviceLoginDialog::OKBtnClick() {
    const std::optional<TInterfaceType> iface = Checked();
    if (iface.value_or(ifRS232) == ifRS232)
        FSelectedRSPort = FromQt(CbRSPort->currentText());
    int32_t ip = 0;
    if (iface == ifEthernet) {
        try {
            ip = GetIPAddress();
        } catch (const Exception&) {
            ip = 0; // an empty field is no address either
        }
    }
    const MyAnsiString password = FromQt(PasswordEdt->text());
    const TLoginCheck check = LoginCloseCheck(FromQt(UserEdt->text()), password, iface, ip);
    if (!check.Accept) {
        ShowErrorMessage(check.Message);
        QLineEdit* field = check.Focus == TLoginField::lfPassword ? PasswordEdt
            : check.Focus == TLoginField::lfUserName              ? UserEdt
                                                                  : nullptr;
        if (field) {
            field->setFocus();
            field->selectAll();
        }
        return;
    }
    FUserName = FromQt(UserEdt->text());
    FPassword = password;
    accept();
}

void TDeviceLoginDialog::ScanClick() {
    const TInterfaceType iface = GetInterfaceType();
    reject();
    if (iface == ifCAN)
        ShellServices().StartScanning();
    else
        ShellServices().StartETHScanning();
}

void TDeviceLoginDialog::BlinkClick() {
    int32_t ip = 0;
    try {
        ip = GetIPAddress();
    } catch (const Exception&) {
    }
    if (ip == 0)
        ShowErrorMessage(InvalidIPText(ip));
    else
        ShellServices().BlinkETH(ip);
}

void TDeviceLoginDialog::BrowseClick() {
    TOpenDialogRequest request;
    request.Filter = "Configuration file (*.vkc)|*.vkc";
    request.DefaultExt = "vkc";
    if (ShellServices().OpenDialog(request))
        OfflineEdit->setText(ToQt(request.FileName));
}

} // namespace vo
