#include "devices/gui/ETHLogin.h"

#include "kernel/UserPrompt.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vo {

namespace {
void Paint(QWidget* W, uint32_t Color) {
    QPalette p = W->palette();
    const QColor c{static_cast<QRgb>(Color)};
    p.setColor(QPalette::Window, c);
    p.setColor(QPalette::Base, c);
    W->setPalette(p);
    W->setAutoFillBackground(true);
}
} // namespace

TETHLoginLine::TETHLoginLine(QWidget* Box) {
    Panel = new QFrame(Box);
    Panel->resize(Panel->width(), 26);
    ChkPnl = new QFrame(Panel);
    ChkPnl->setGeometry(3, 3, 20, 20);
    LoginChk = new QCheckBox(ChkPnl);
    LoginChk->move(3, 2);
    Image = new QLabel(Panel);
    Image->setGeometry(30, 5, 20, 20);
    const std::array<QLabel**, 6> labels = {&IPLbl, &MACIDLbl, &GroupLbl, &DeviceNameLbl, &DeviceTypeLbl,
                                            &ReleaseInfoLbl};
    for (size_t i = 0; i < labels.size(); ++i) {
        *labels[i] = new QLabel(Panel);
        (*labels[i])->setGeometry(ETHLoginLefts[i + 1], 5, ETHLoginLefts[i + 2] - ETHLoginLefts[i + 1] - 5, 16);
        (*labels[i])->setAutoFillBackground(true);
    }
    UserIDEdt = new QLineEdit("USER", Panel);
    UserIDEdt->setGeometry(ETHLoginLefts[7], 3, 100, 21);
    PasswordEdt = new QLineEdit(Panel);
    PasswordEdt->setGeometry(ETHLoginLefts[8], 3, 100, 21);
    PasswordEdt->setEchoMode(QLineEdit::Password);
    SetState(TETHRowState::rsReady);
}

TETHLoginLine::~TETHLoginLine() = default; // the controls go with the scroll box

void TETHLoginLine::SetTopAndWidth(int Top, int Width) {
    Panel->setGeometry(0, Top, Width, 26);
    for (QLabel* l : {IPLbl, MACIDLbl, GroupLbl, DeviceNameLbl, DeviceTypeLbl, ReleaseInfoLbl})
        l->move(l->x(), 5);
    UserIDEdt->move(UserIDEdt->x(), 3);
    PasswordEdt->move(PasswordEdt->x(), 3);
}

void TETHLoginLine::SetVisible(bool Visible, uint32_t Color) {
    Panel->setVisible(Visible);
    for (QWidget* w : std::initializer_list<QWidget*>{Panel, IPLbl, UserIDEdt, PasswordEdt})
        Paint(w, Color);
}

bool TETHLoginLine::Visible() const {
    return !Panel->isHidden();
}

void TETHLoginLine::SetState(TETHRowState State) {
    FState = State;
    const TETHRowLook look = ETHRowLook(State);
    Paint(ChkPnl, look.StateColor);
    LoginChk->setEnabled(look.Checkable);
    if (!look.Checkable)
        LoginChk->setChecked(false);
}

void TETHLoginLine::SetFirmwareState(std::optional<TFirmwareState> FirmwareState) {
    FImageIndex = FirmwareStateImage(FirmwareState);
    Image->setVisible(FImageIndex >= 0);
}

TETHLoginForm::TETHLoginForm(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Login");
    resize(1040, 360);
    auto* layout = new QVBoxLayout(this);
    TopPnl = new QFrame;
    TopPnl->setFixedHeight(24);
    const char* heads[] = {"State", "IP Address", "MACID", "Group", "Device Name",
                           "Device Type", "Release Info", "User ID", "Password"};
    for (size_t i = 0; i < ETHLoginLefts.size(); ++i)
        (new QLabel(heads[i], TopPnl))->move(ETHLoginLefts[i], 4);
    auto* loginHead = new QCheckBox("Login", TopPnl);
    loginHead->hide();
    layout->addWidget(TopPnl);
    FScroll = new QScrollArea;
    MainPnl = new QWidget;
    MainPnl->resize(width() - 20, 10);
    FScroll->setWidget(MainPnl);
    layout->addWidget(FScroll, 1);

    HelpPanel = new QFrame;
    auto* help = new QVBoxLayout(HelpPanel);
    auto legend = [&](uint32_t Color, const char* Text) {
        auto* row = new QHBoxLayout;
        auto* swatch = new QFrame;
        swatch->setFixedSize(16, 16);
        Paint(swatch, Color);
        row->addWidget(swatch);
        row->addWidget(new QLabel(Text), 1);
        help->addLayout(row);
    };
    legend(ColorGreen, "Controller is ready for Login.");
    legend(ColorGrey, "You are already logged into this controller! ");
    legend(ColorRed, "Another instance is logged into this controller (other user or other interface)! ");
    for (const char* text : {"Firmware Status: running.", "Firmware Status: running; Operation State: Error.",
                             "Firmware Status: not running!"})
        help->addWidget(new QLabel(text));
    HelpPanel->hide();
    layout->addWidget(HelpPanel);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* Caption, int Result) {
        auto* b = new QPushButton(Caption);
        buttons->addWidget(b);
        if (Result >= 0)
            connect(b, &QPushButton::clicked, this, [this, Result] { done(Result); });
        return b;
    };
    ScanAgainBtn = button("Scan Again", mrRetry);
    BlinkSelectedBtn = button("Blink Selected", mrOk);
    ShowHelpBtn = button("Show Help", -1);
    LoginAllBtn = button("Login All", mrYesToAll);
    LoginSelectedBtn = button("Login Selected", mrYes);
    AbortBtn = button("Abort", mrAbort);
    connect(ShowHelpBtn, &QPushButton::clicked, this, [this] {
        const bool show = HelpPanel->isHidden();
        HelpPanel->setVisible(show);
        ShowHelpBtn->setText(show ? "Hide Help" : "Show Help");
    });
    layout->addLayout(buttons);
}

TETHLoginForm::~TETHLoginForm() {
    LineList.clear();
}

TETHLoginLine& TETHLoginForm::AddLine() {
    const int top = ETHLineTop(GetNumOfLines());
    LineList.push_back(std::make_unique<TETHLoginLine>(MainPnl));
    LineList.back()->SetTopAndWidth(top, width() - 20);
    MainPnl->resize(width() - 20, top + 26);
    return *LineList.back();
}

} // namespace vo
