#include "shell/gui/License.h"

#include "kernel/UserPrompt.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <fstream>

namespace vo {

TLicenseForm::TLicenseForm(std::filesystem::path AgreementFile, QWidget* Parent)
    : QDialog(Parent), FAgreementFile(std::move(AgreementFile)) {
    setObjectName("LicenseForm");
    setWindowTitle("License Agrement");
    resize(560, 420);
    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setReadOnly(true);
    CheckBox1 = new QCheckBox("I accept the terms in the license agreement", this);
    Button1 = new QPushButton("OK", this);
    Button2 = new QPushButton("Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RichEdit1);
    layout->addWidget(CheckBox1);
    layout->addLayout(buttons);
    connect(CheckBox1, &QCheckBox::toggled, Button1, &QPushButton::setEnabled);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TLicenseForm::showEvent(QShowEvent* Event) {
    Button1->setEnabled(false);
    CheckBox1->setChecked(false);
    RichEdit1->clear();
    std::error_code ec;
    if (std::filesystem::is_regular_file(FAgreementFile, ec)) {
        std::ifstream in(FAgreementFile, std::ios::binary);
        std::string line;
        QString text;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            text += QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())) + '\n';
        }
        if (in.bad())
            ShowErrorMessage("the agreement could not be read: " + FAgreementFile.string());
        RichEdit1->setPlainText(text);
    }
    QDialog::showEvent(Event);
}

} // namespace vo
