#include "kernel/gui/QtUserPrompt.h"

#include "kernel/gui/QtText.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <map>

namespace vo {

TModalResult TQtUserPrompt::Prompt(const TPromptRequest& Request) {
    QMessageBox box(QApplication::activeWindow());
    switch (Request.Kind) {
    case TMsgDlgType::mtWarning: box.setIcon(QMessageBox::Warning); break;
    case TMsgDlgType::mtError: box.setIcon(QMessageBox::Critical); break;
    case TMsgDlgType::mtInformation: box.setIcon(QMessageBox::Information); break;
    case TMsgDlgType::mtConfirmation: box.setIcon(QMessageBox::Question); break;
    case TMsgDlgType::mtCustom: break;
    }
    box.setWindowTitle(Request.Caption.empty() ? QString("Velkor-Ovra") : ToQt(Request.Caption));
    box.setText(ToQt(Request.Text).replace('\r', '\n'));
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

} // namespace vo
