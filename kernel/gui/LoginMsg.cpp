#include "kernel/gui/LoginMsg.h"

#include "kernel/gui/QtText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vo {

namespace {
constexpr int ResultYes = 6;
constexpr int ResultNo = 7;
} // namespace

TLoginMsgForm::TLoginMsgForm(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Login");
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    TopPanel = new QWidget(this);
    auto* top = new QVBoxLayout(TopPanel);
    Label1 = new QLabel(TopPanel);
    Label1->setWordWrap(true);
    Label1->setMinimumWidth(380);
    top->addWidget(Label1);
    MiddlePanel = new QWidget(this);
    auto* middle = new QVBoxLayout(MiddlePanel);
    Label2 = new QLabel(MiddlePanel);
    Label2->setWordWrap(true);
    middle->addWidget(Label2);
    MiddlePanel->hide();
    Panel3 = new QWidget(this);
    auto* buttons = new QHBoxLayout(Panel3);
    Button3 = new QPushButton("Yes", Panel3);
    Button2 = new QPushButton("No", Panel3);
    Button4 = new QPushButton("Show details", Panel3);
    Button3->setDefault(true);
    buttons->addWidget(Button3);
    buttons->addWidget(Button2);
    buttons->addStretch();
    buttons->addWidget(Button4);
    layout->addWidget(TopPanel);
    layout->addWidget(MiddlePanel);
    layout->addWidget(Panel3);
    connect(Button3, &QPushButton::clicked, this, [this] { done(ResultYes); });
    connect(Button2, &QPushButton::clicked, this, [this] { done(ResultNo); });
    connect(Button4, &QPushButton::clicked, this, [this] { SetDetailsVisible(!DetailsVisible()); });
}

bool TLoginMsgForm::DetailsVisible() const {
    return !MiddlePanel->isHidden();
}

void TLoginMsgForm::SetDetailsVisible(bool Visible) {
    MiddlePanel->setVisible(Visible);
    Button4->setText(Visible ? "Hide Details" : "Show Details");
    adjustSize();
}

TModalResult TLoginMsgForm::Ask(const TLoginQuestion& Question) {
    Label1->setText(ToQt(Question.Message).replace('\r', '\n'));
    Label2->setText(ToQt(Question.Details).replace('\r', '\n'));
    Button3->setVisible(Question.YesVisible);
    Button2->setText(ToQt(Question.NoCaption));
    (Question.YesVisible ? Button3 : Button2)->setDefault(true);
    SetDetailsVisible(false);
    return exec() == ResultYes ? mrYes : mrNo;
}

} // namespace vo
