#include "kernel/gui/ShowWarn.h"

#include "kernel/gui/QtText.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vo {

TShowWarnForm::TShowWarnForm(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Import Log");
    auto* layout = new QVBoxLayout(this);
    MsgLabel = new QLabel(this);
    MsgLabel->setWordWrap(true);
    layout->addWidget(MsgLabel);
    BottomPanel = new QWidget(this);
    BottomPanel->setFixedHeight(40);
    layout->addWidget(BottomPanel);
    CloseBtn = new QPushButton("&OK", BottomPanel);
    ShowBtn = new QPushButton("&Show Details", BottomPanel);
    CloseBtn->resize(100, 26);
    ShowBtn->resize(100, 26);
    CloseBtn->setDefault(true);
    connect(CloseBtn, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
    connect(ShowBtn, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
    resize(360, 140);
}

void TShowWarnForm::SetMessage(const MyAnsiString& Text) {
    MsgLabel->setText(ToQt(Text));
}

void TShowWarnForm::keyPressEvent(QKeyEvent* Event) {
    // Escape asks for the details; Enter is the default button's.
    if (Event->key() == Qt::Key_Escape) {
        ShowBtn->click();
        return;
    }
    QDialog::keyPressEvent(Event);
}

void TShowWarnForm::resizeEvent(QResizeEvent* Event) {
    QDialog::resizeEvent(Event);
    FormResize();
}

void TShowWarnForm::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    FormResize();
}

void TShowWarnForm::FormResize() {
    const int m = BottomPanel->width() / 2;
    CloseBtn->move(m - CloseBtn->width() - 2, 7);
    ShowBtn->move(m + 2, 7);
}

} // namespace vo
