#include "kernel/gui/QtUserPrompt.h"

#include "kernel/gui/QtText.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <map>

namespace vo {

namespace {

// Icon, caption and text of a request.
void SetUpBox(QMessageBox& Box, const TPromptRequest& Request) {
    switch (Request.Kind) {
    case TMsgDlgType::mtWarning: Box.setIcon(QMessageBox::Warning); break;
    case TMsgDlgType::mtError: Box.setIcon(QMessageBox::Critical); break;
    case TMsgDlgType::mtInformation: Box.setIcon(QMessageBox::Information); break;
    case TMsgDlgType::mtConfirmation: Box.setIcon(QMessageBox::Question); break;
    case TMsgDlgType::mtCustom: break;
    }
    Box.setWindowTitle(Request.Caption.empty() ? QString("Velkor-Ovra") : ToQt(Request.Caption));
    Box.setText(ToQt(Request.Text).replace('\r', '\n'));
}

} // namespace

TModalResult TQtUserPrompt::Prompt(const TPromptRequest& Request) {
    QMessageBox box(QApplication::activeWindow());
    SetUpBox(box, Request);
    static const std::pair<TMsgDlgBtn, const char*> names[] = {
        {TMsgDlgBtn::mbYes, "&Yes"}, {TMsgDlgBtn::mbNo, "&No"}, {TMsgDlgBtn::mbOK, "OK"}, {TMsgDlgBtn::mbCancel, "Cancel"}, {TMsgDlgBtn::mbAbort, "&Abort"}, {TMsgDlgBtn::mbRetry, "&Retry"}, {TMsgDlgBtn::mbIgnore, "&Ignore"}, {TMsgDlgBtn::mbAll, "&All"}, {TMsgDlgBtn::mbNoToAll, "N&o to All"}, {TMsgDlgBtn::mbYesToAll, "Yes to &All"}, {TMsgDlgBtn::mbHelp, "&Help"}, {TMsgDlgBtn::mbClose, "&Close"}};
    std::map<QAbstractButton*, TModalResult> results;
    const TMsgDlgButtons buttons = Request.Buttons.Empty() ? TMsgDlgButtons{TMsgDlgBtn::mbOK} : Request.Buttons;
    for (const auto& [b, text] : names)
        if (buttons.Contains(b)) {
            QPushButton* button = box.addButton(text, QMessageBox::ActionRole);
            results[button] = ModalResultOf(b);
            if (b == TMsgDlgBtn::mbCancel || b == TMsgDlgBtn::mbNo)
                box.setEscapeButton(button);
        }
    box.exec();
    auto it = results.find(box.clickedButton());
    return it == results.end() ? mrCancel : it->second;
}

void TQtUserPrompt::Notify(const TPromptRequest& Request) {
    auto* box = new QMessageBox(QApplication::activeWindow()); // deletes itself when closed
    box->setAttribute(Qt::WA_DeleteOnClose);
    SetUpBox(*box, Request);
    box->addButton("OK", QMessageBox::AcceptRole);
    box->setModal(false);
    box->show();
}

} // namespace vo
