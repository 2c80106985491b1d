#include "devices/gui/CANScanning.h"

#include "kernel/gui/QtText.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vo {

TScanForm::TScanForm(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Scanning ...");
    resize(360, 220);
    auto* layout = new QVBoxLayout(this);
    Memo1 = new QPlainTextEdit;
    Memo1->setReadOnly(true);
    layout->addWidget(Memo1, 1);
    Button1 = new QPushButton("Close");
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TScanForm::ClearLines() {
    Memo1->clear();
}

void TScanForm::AddLine(const MyAnsiString& Line) {
    Memo1->appendPlainText(ToQt(Line));
}

} // namespace vo
