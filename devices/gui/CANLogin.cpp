#include "devices/gui/CANLogin.h"

#include "devices/LoginRows.h"
#include "kernel/UserPrompt.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vo {

TCANLoginLine::TCANLoginLine(QWidget* Box) {
    LoginChk = new QCheckBox(Box);
    MACIDLbl = new QLabel(Box);
    DeviceNameLbl = new QLabel(Box);
    UserIDEdt = new QLineEdit("USER", Box);
    PasswordEdt = new QLineEdit(Box);
    PasswordEdt->setEchoMode(QLineEdit::Password);
    LoginChk->setGeometry(CANLoginLefts[0], 0, 30, 20);
    MACIDLbl->setGeometry(CANLoginLefts[1], 0, 75, 20);
    DeviceNameLbl->setGeometry(CANLoginLefts[2], 0, 135, 20);
    UserIDEdt->setGeometry(CANLoginLefts[3], 0, 100, 21);
    PasswordEdt->setGeometry(CANLoginLefts[4], 0, 100, 21);
}

TCANLoginLine::~TCANLoginLine() = default; // the controls go with the scroll box

void TCANLoginLine::SetTop(int Value) {
    for (QWidget* w : std::initializer_list<QWidget*>{LoginChk, MACIDLbl, DeviceNameLbl, UserIDEdt, PasswordEdt})
        w->move(w->x(), Value);
}

void TCANLoginLine::SetVisible(bool Value) {
    for (QWidget* w : std::initializer_list<QWidget*>{LoginChk, MACIDLbl, DeviceNameLbl, UserIDEdt, PasswordEdt})
        w->setVisible(Value);
}

bool TCANLoginLine::Visible() const {
    return !LoginChk->isHidden();
}

TCANLoginForm::TCANLoginForm(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Login");
    resize(540, 320);
    auto* layout = new QVBoxLayout(this);
    FScroll = new QScrollArea;
    Panel3 = new QWidget;
    Panel3->resize(520, 30);
    const char* heads[] = {"Login", "MACID", "Device Name", "User ID", "Password"};
    for (size_t i = 0; i < CANLoginLefts.size(); ++i)
        (new QLabel(heads[i], Panel3))->move(CANLoginLefts[i], 6);
    FScroll->setWidget(Panel3);
    layout->addWidget(FScroll, 1);
    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* Caption, int Result) {
        auto* b = new QPushButton(Caption);
        buttons->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, Result] { done(Result); });
        return b;
    };
    LoginAllBtn = button("Login All", mrYesToAll);
    LoginSelectedBtn = button("Login Selected", mrYes);
    AbortBtn = button("Abort", mrAbort);
    layout->addLayout(buttons);
}

TCANLoginForm::~TCANLoginForm() = default;

TCANLoginLine& TCANLoginForm::AddLine() {
    const int top = CANLineTop(GetNumOfLines());
    LineList.push_back(std::make_unique<TCANLoginLine>(Panel3));
    LineList.back()->SetTop(top);
    LineList.back()->SetVisible(true);
    Panel3->resize(Panel3->width(), top + 30);
    return *LineList.back();
}

} // namespace vo
