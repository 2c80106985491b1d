#pragma once
// A check list with a heading (caption "Dialog").
#include "platform/AnsiString.h"

#include <QDialog>

#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

namespace vo {

class TCheckListDialog : public QDialog {
    Q_OBJECT
public:
    explicit TCheckListDialog(QWidget* Parent = nullptr);

    void Clear();
    MyAnsiString Text() const;
    void SetText(const MyAnsiString& Value);
    int Count() const;
    std::vector<MyAnsiString> Items() const;
    // Copies the strings (unchecked).
    void SetItems(const std::vector<MyAnsiString>& Value);
    bool Checked(int Index) const;
    void SetChecked(int Index, bool Value);

    QLabel* Panel1;
    QListWidget* CheckListBox;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};

} // namespace vo
