#pragma once
// A pick list (caption "Dialog" until the caller sets its own). OK closes
// only while an entry is selected; a double click picks; Cancel always closes.
#include "platform/AnsiString.h"

#include <QDialog>

#include <vector>

class QListWidget;
class QPushButton;

namespace vo {

class TSelectListDlg : public QDialog {
    Q_OBJECT
public:
    explicit TSelectListDlg(QWidget* Parent = nullptr);

    // Shows the list modally: true when it closed with OK.
    bool Execute();
    std::vector<MyAnsiString> Items() const;
    void SetItems(const std::vector<MyAnsiString>& Value);
    int ItemIndex() const;
    void SetItemIndex(int Value);

    QListWidget* ListBox;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

private:
    void TryAccept();
};

} // namespace vo
