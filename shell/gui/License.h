#pragma once
// The licence agreement shown before the first window until the user has
// accepted it once: the agreement text (a file of the installation, shown as
// it is; none gives an empty box), a tick box and OK, which stays disabled
// until the box is ticked.
#include <QDialog>

#include <filesystem>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

namespace vo {

class TLicenseForm : public QDialog {
    Q_OBJECT
public:
    explicit TLicenseForm(std::filesystem::path AgreementFile, QWidget* Parent = nullptr);

    QPlainTextEdit* RichEdit1;
    QCheckBox* CheckBox1;
    QPushButton* Button1; // OK
    QPushButton* Button2; // Cancel

protected:
    void showEvent(QShowEvent* Event) override;

private:
    std::filesystem::path FAgreementFile;
};

} // namespace vo
