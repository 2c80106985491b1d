#include "kernel/gui/FiltDlg.h"

#include "kernel/UserPrompt.h"
#include "kernel/gui/QtText.h"
#include "platform/Exception.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vo {

TFilterDialog::TFilterDialog(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Debug Filter");
    auto* layout = new QVBoxLayout(this);
    auto row = [&](const char* Caption, QLineEdit*& Edit) {
        auto* h = new QHBoxLayout;
        auto* l = new QLabel(Caption);
        l->setMinimumWidth(100);
        h->addWidget(l);
        Edit = new QLineEdit;
        h->addWidget(Edit);
        layout->addLayout(h);
    };
    row("Filter Code", CodeEdit);
    row("Filter Mask", MaskEdit);
    row("Filter Description", DescriptionEdit);
    auto* group = new QGroupBox("Filter Action");
    auto* g = new QHBoxLayout(group);
    NoneRadio = new QRadioButton("None");
    AllowRadio = new QRadioButton("Allow");
    DenyRadio = new QRadioButton("Deny");
    auto* buttons = new QButtonGroup(this);
    for (QRadioButton* r : {NoneRadio, AllowRadio, DenyRadio}) {
        g->addWidget(r);
        buttons->addButton(r);
    }
    layout->addWidget(group);
    auto* b = new QHBoxLayout;
    b->addStretch();
    OKButton = new QPushButton("OK");
    CancelButton = new QPushButton("Cancel");
    OKButton->setDefault(true);
    b->addWidget(OKButton);
    b->addWidget(CancelButton);
    layout->addLayout(b);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKClick(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    ClearFields();
}

void TFilterDialog::ClearFields() {
    DescriptionEdit->setText("New Filter");
    CodeEdit->setText("0");
    MaskEdit->setText("0");
    NoneRadio->setChecked(true);
}

void TFilterDialog::Fill(const TDebugFilter& Rule) {
    DescriptionEdit->setText(ToQt(Rule.FDescription));
    CodeEdit->setText(ToQt(FilterHex(Rule.FCode)));
    MaskEdit->setText(ToQt(FilterHex(Rule.FMask)));
    (Rule.FAction == faAllow      ? AllowRadio
         : Rule.FAction == faDeny ? DenyRadio
                                  : NoneRadio)
        ->setChecked(true);
}

TDebugFilter TFilterDialog::Read() const {
    TDebugFilter r;
    r.FCode = FilterParseHex(FromQt(CodeEdit->text()));
    r.FMask = FilterParseHex(FromQt(MaskEdit->text()));
    r.FAction = AllowRadio->isChecked() ? faAllow : DenyRadio->isChecked() ? faDeny
                                                                           : faNone;
    r.FDescription = FromQt(DescriptionEdit->text());
    return r;
}

void TFilterDialog::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    DescriptionEdit->setFocus();
    DescriptionEdit->selectAll();
}

void TFilterDialog::OKClick() {
    try {
        FResult = Read();
    } catch (const Exception& e) {
        ShowErrorMessage(e.what());
        return;
    }
    accept();
}

} // namespace vo
