#pragma once
// The login form after an Ethernet discovery: one row per drive found (state
// colour and check box, firmware picture, address, MAC id, group, device
// name, device type, release, login ID, password). The device-opening state
// machine fills the rows, shows the form modally and reads them back by the
// button that closed it: "Scan Again" (4), "Blink Selected" (1), "Login All"
// (14), "Login Selected" (6), "Abort" (3). "Show Help" shows the legend of
// colours and pictures and leaves the form open.
#include "devices/LoginRows.h"
#include "platform/AnsiString.h"

#include <QDialog>

#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace vo {

class TETHLoginLine {
public:
    explicit TETHLoginLine(QWidget* Box);
    ~TETHLoginLine();
    TETHLoginLine(const TETHLoginLine&) = delete;
    TETHLoginLine& operator=(const TETHLoginLine&) = delete;

    void SetTopAndWidth(int Top, int Width);
    // Shows or hides the row; the row panel, the address label and both
    // edits take the colour (0xRRGGBB).
    void SetVisible(bool Visible, uint32_t Color);
    bool Visible() const;
    // The state panel's colour and whether the check box can be checked (a
    // row that cannot is unchecked).
    void SetState(TETHRowState State);
    TETHRowState State() const { return FState; }
    // The firmware picture (image number of the main image list, -1: none).
    void SetFirmwareState(std::optional<TFirmwareState> FirmwareState);
    int ImageIndex() const { return FImageIndex; }

    QFrame* Panel;
    QFrame* ChkPnl;
    QCheckBox* LoginChk;
    QLabel* Image;
    QLabel* IPLbl;
    QLabel* MACIDLbl;
    QLabel* GroupLbl;
    QLabel* DeviceNameLbl;
    QLabel* DeviceTypeLbl;
    QLabel* ReleaseInfoLbl;
    QLineEdit* UserIDEdt;
    QLineEdit* PasswordEdt;

private:
    TETHRowState FState = TETHRowState::rsReady;
    int FImageIndex = -1;
};

class TETHLoginForm : public QDialog {
    Q_OBJECT
public:
    explicit TETHLoginForm(QWidget* Parent = nullptr);
    ~TETHLoginForm() override;

    TETHLoginLine& AddLine();
    int GetNumOfLines() const { return static_cast<int>(LineList.size()); }
    TETHLoginLine& GetLine(int Index) const { return *LineList.at(static_cast<size_t>(Index)); }
    void SetLineVisibility(int Index, bool AVisible, uint32_t AColor) { GetLine(Index).SetVisible(AVisible, AColor); }

    QFrame* TopPnl;
    QWidget* MainPnl; // the scroll box's content
    QFrame* HelpPanel;
    QPushButton* ScanAgainBtn;
    QPushButton* BlinkSelectedBtn;
    QPushButton* ShowHelpBtn;
    QPushButton* LoginAllBtn;
    QPushButton* LoginSelectedBtn;
    QPushButton* AbortBtn;

private:
    QScrollArea* FScroll;
    std::vector<std::unique_ptr<TETHLoginLine>> LineList;
};

} // namespace vo
