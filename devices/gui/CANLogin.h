#pragma once
// The login form after a CAN scan: one row per drive found (check box,
// MAC-ID, device name, login ID, password). The device-opening state machine
// fills the rows, shows the form modally and reads them back by the button
// that closed it: "Login All" (14), "Login Selected" (6), "Abort" (3). Rows
// are kept between scans: enough are added, the first n shown, the rest
// hidden.
#include <QDialog>

#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace vo {

// One row; its controls live on the form's scroll box.
class TCANLoginLine {
public:
    explicit TCANLoginLine(QWidget* Box);
    ~TCANLoginLine();
    TCANLoginLine(const TCANLoginLine&) = delete;
    TCANLoginLine& operator=(const TCANLoginLine&) = delete;

    void SetTop(int Value);
    void SetVisible(bool Value);
    bool Visible() const;

    QCheckBox* LoginChk;
    QLabel* MACIDLbl;
    QLabel* DeviceNameLbl;
    QLineEdit* UserIDEdt;
    QLineEdit* PasswordEdt;
};

class TCANLoginForm : public QDialog {
    Q_OBJECT
public:
    explicit TCANLoginForm(QWidget* Parent = nullptr);
    ~TCANLoginForm() override;

    TCANLoginLine& AddLine();
    int GetNumOfLines() const { return static_cast<int>(LineList.size()); }
    TCANLoginLine& GetLine(int Index) const { return *LineList.at(static_cast<size_t>(Index)); }
    void SetLineVisibility(int Index, bool AVisible) { GetLine(Index).SetVisible(AVisible); }

    QWidget* Panel3; // the scroll box's content
    QPushButton* LoginAllBtn;
    QPushButton* LoginSelectedBtn;
    QPushButton* AbortBtn;

private:
    QScrollArea* FScroll;
    std::vector<std::unique_ptr<TCANLoginLine>> LineList;
};

} // namespace vo
