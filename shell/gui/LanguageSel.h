#pragma once
// The user settings asked at the first start: the language of the texts (one
// choice per configured language, at most four) and whether to look for
// updates at start. Whatever way it closes, the selected choice counts.
#include "platform/AnsiString.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QPushButton;
class QRadioButton;

namespace vo {

class TLanguageSelForm : public QDialog {
    Q_OBJECT
public:
    explicit TLanguageSelForm(std::vector<MyAnsiString> Languages, QWidget* Parent = nullptr);

    int LanguageIndex() const { return FLanguageIndex; }
    // The chosen language's name.
    MyAnsiString Language() const;
    bool AutoCheckForUpdates() const;

    QRadioButton* LanguageRadio[4];
    QCheckBox* AutomaticSearchForUpdatesChk;
    QPushButton* OKBtn;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    std::vector<MyAnsiString> FLanguages;
    int FLanguageIndex = 0;
};

} // namespace vo
