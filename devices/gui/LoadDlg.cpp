#include "devices/gui/LoadDlg.h"

#include "kernel/gui/QtText.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace vo {

TLoaderDialogForm::TLoaderDialogForm() : QDialog(nullptr) {
    ActionLabel = new QLabel("Action:", this);
    EdAction = new QLineEdit(ToQt(GetActionText()), this);
    EdAction->setReadOnly(true);
    ProgressLabel = new QLabel("Progress:", this);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    LogLabel = new QLabel("Log Window:", this);
    ListBox = new QListWidget(this);
    Button = new QPushButton(ToQt(GetButtonText()), this);
    Button->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ActionLabel);
    layout->addWidget(EdAction);
    layout->addWidget(ProgressLabel);
    layout->addWidget(ProgressBar);
    layout->addWidget(LogLabel);
    layout->addWidget(ListBox, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button);
    buttons->addStretch();
    layout->addLayout(buttons);
    resize(420, 320);

    connect(Button, &QPushButton::clicked, this, [this] { ButtonClick(); });
}

void TLoaderDialogForm::SetCaption(const MyAnsiString& Value) {
    TLoaderDialog::SetCaption(Value);
    setWindowTitle(ToQt(Value));
}

void TLoaderDialogForm::SetActionText(const MyAnsiString& Value) {
    TLoaderDialog::SetActionText(Value);
    EdAction->setText(ToQt(Value));
}

void TLoaderDialogForm::SetButtonText(const MyAnsiString& Value) {
    TLoaderDialog::SetButtonText(Value);
    Button->setText(ToQt(Value));
}

void TLoaderDialogForm::SetProgress(int32_t Value) {
    TLoaderDialog::SetProgress(Value);
    ProgressBar->setValue(std::clamp(Value, 0, 100));
}

void TLoaderDialogForm::ClearLogText() {
    TLoaderDialog::ClearLogText();
    ListBox->clear();
}

void TLoaderDialogForm::AddLogText(const MyAnsiString& Text) {
    TLoaderDialog::AddLogText(Text);
    ListBox->addItem(ToQt(Text));
    ListBox->scrollToBottom();
}

void TLoaderDialogForm::Show() {
    TLoaderDialog::Show();
    show();
    raise();
}

void TLoaderDialogForm::Hide() {
    TLoaderDialog::Hide();
    hide();
}

void TLoaderDialogForm::SetEnableTextDisplay(bool Value) {
    LogLabel->setVisible(Value);
    ListBox->setVisible(Value);
}

void TLoaderDialogForm::SetEnableProgressBar(bool Value) {
    ProgressLabel->setVisible(Value);
    ProgressBar->setVisible(Value);
}

void TLoaderDialogForm::closeEvent(QCloseEvent* Event) {
    // The service decides: an abort request while a run is on, else hide.
    Event->ignore();
    ButtonClick();
}

void TLoaderDialogForm::reject() { ButtonClick(); }

void InstallLoaderDialog() {
    SetLoaderDialogFactory([]() -> std::unique_ptr<TLoaderDialog> { return std::make_unique<TLoaderDialogForm>(); });
}

} // namespace vo
