#include "kernel/gui/LoginInfo.h"

#include "kernel/ShellServices.h"
#include "kernel/gui/QtText.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace vo {

TLoginInfoForm::TLoginInfoForm(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle("Login Info ");
    resize(460, 300);
    auto* layout = new QVBoxLayout(this);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(Memo1);
    auto* buttons = new QHBoxLayout;
    AbortBtn = new QPushButton("Abort", this);
    CloseBtn = new QPushButton("Close", this);
    AbortBtn->setAutoDefault(false);
    CloseBtn->setAutoDefault(false);
    buttons->addStretch();
    buttons->addWidget(AbortBtn);
    buttons->addWidget(CloseBtn);
    layout->addLayout(buttons);
    connect(AbortBtn, &QPushButton::clicked, this, [] { ShellServices().SetLoginAbortRequest(true); });
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TLoginInfoForm::AddString(const MyAnsiString& AStr) {
    Memo1->appendPlainText(ToQt(AStr));
}

void TLoginInfoForm::SetLastLine(const MyAnsiString& AStr) {
    if (Memo1->document()->isEmpty()) {
        AddString(AStr);
        return;
    }
    QTextCursor c(Memo1->document()->lastBlock());
    c.select(QTextCursor::BlockUnderCursor);
    c.movePosition(QTextCursor::StartOfBlock);
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.insertText(ToQt(AStr));
}

std::vector<MyAnsiString> TLoginInfoForm::Lines() const {
    std::vector<MyAnsiString> out;
    for (QTextBlock b = Memo1->document()->begin(); b.isValid(); b = b.next())
        out.push_back(FromQt(b.text()));
    if (out.size() == 1 && out[0].empty() && Memo1->document()->isEmpty())
        out.clear();
    return out;
}

} // namespace vo
