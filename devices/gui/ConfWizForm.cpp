#include "devices/gui/ConfWizForm.h"

#include "devices/ConfWiz.h"
#include "kernel/UserPrompt.h"
#include "platform/Cp1252.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

namespace vo {

namespace {
QString Qt8(const MyAnsiString& S) {
    return QString::fromStdString(Cp1252ToUtf8(S));
}
} // namespace

TConfWizardForm::TConfWizardForm(TConfWizard& AWizard, QWidget* Parent) : QDialog(Parent), FWizard(AWizard) {
    setWindowTitle("Create Configuration Offline");
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* form = new QFormLayout;
    ControllersCbo = new QComboBox(this);
    InterfaceCbo = new QComboBox(this);
    ApplicationCbo = new QComboBox(this);
    for (QComboBox* c : {ControllersCbo, InterfaceCbo, ApplicationCbo})
        c->setMinimumWidth(240);
    form->addRow("Controller:", ControllersCbo);
    form->addRow("Interface:", InterfaceCbo);
    form->addRow("Application:", ApplicationCbo);
    layout->addLayout(form);
    auto* buttons = new QHBoxLayout;
    Button2 = new QPushButton("OK", this);
    Button1 = new QPushButton("Cancel", this);
    Button2->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(Button2);
    buttons->addWidget(Button1);
    layout->addLayout(buttons);
    connect(ControllersCbo, &QComboBox::currentIndexChanged, this, [this](int I) { ControllersCboChange(I); });
    connect(InterfaceCbo, &QComboBox::currentIndexChanged, this, [this](int I) {
        if (!FFilling)
            FWizard.SelectInterface(I);
    });
    connect(ApplicationCbo, &QComboBox::currentIndexChanged, this, [this](int I) {
        if (!FFilling)
            FWizard.SelectApplication(I);
    });
    connect(Button2, &QPushButton::clicked, this, [this] { Button1Click(true); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(false); });
    Refresh();
}

void TConfWizardForm::Refresh() {
    FFilling = true;
    ControllersCbo->clear();
    for (const auto& name : FWizard.Controllers())
        ControllersCbo->addItem(Qt8(name));
    ControllersCbo->setCurrentIndex(FWizard.ControllerIndex());
    FFilling = false;
    FillLists();
}

void TConfWizardForm::ControllersCboChange(int Index) {
    if (FFilling || Index < 0)
        return;
    FWizard.SelectController(Index);
    FillLists();
}

void TConfWizardForm::FillLists() {
    FFilling = true;
    auto fill = [](QComboBox* Cbo, const std::vector<MyAnsiString>& Items, bool Enabled, int Selected) {
        Cbo->clear();
        for (const auto& s : Items)
            Cbo->addItem(Qt8(s));
        Cbo->setEnabled(Enabled);
        Cbo->setCurrentIndex(Selected);
    };
    fill(InterfaceCbo, FWizard.Interfaces(), FWizard.InterfacesEnabled(), FWizard.InterfaceIndex());
    fill(ApplicationCbo, FWizard.Applications(), FWizard.ApplicationsEnabled(), FWizard.ApplicationIndex());
    FFilling = false;
}

void TConfWizardForm::Button1Click(bool Ok) {
    try {
        FWizard.BuildNames();
    } catch (const std::exception& e) {
        ShowErrorMessage(e.what());
        if (Ok)
            return; // stays open: another choice may fit
    }
    done(Ok ? QDialog::Accepted : QDialog::Rejected);
}

} // namespace vo
