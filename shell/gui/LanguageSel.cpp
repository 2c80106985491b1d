#include "shell/gui/LanguageSel.h"

#include "kernel/gui/QtText.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vo {

TLanguageSelForm::TLanguageSelForm(std::vector<MyAnsiString> Languages, QWidget* Parent)
    : QDialog(Parent), FLanguages(std::move(Languages)) {
    setObjectName("LanguageSelForm");
    setWindowTitle("User Settings");
    auto* languages = new QGroupBox("Please select your preferred language:  ", this);
    auto* languageLayout = new QVBoxLayout(languages);
    for (int i = 0; i < 4; ++i) {
        LanguageRadio[i] = new QRadioButton(QString("Language %1").arg(i + 1), languages);
        LanguageRadio[i]->hide();
        languageLayout->addWidget(LanguageRadio[i]);
        connect(LanguageRadio[i], &QRadioButton::toggled, this, [this, i](bool On) {
            if (On)
                FLanguageIndex = i;
        });
    }
    auto* updates = new QGroupBox("Search for Updates   ", this);
    auto* updatesLayout = new QVBoxLayout(updates);
    AutomaticSearchForUpdatesChk = new QCheckBox("Search for Updates at Program Startup", updates);
    updatesLayout->addWidget(AutomaticSearchForUpdatesChk);
    OKBtn = new QPushButton("OK", this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(languages);
    layout->addWidget(updates);
    layout->addWidget(OKBtn, 0, Qt::AlignRight);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TLanguageSelForm::showEvent(QShowEvent* Event) {
    for (int i = 0; i < 4; ++i) {
        const bool shown = i < static_cast<int>(FLanguages.size());
        if (shown)
            LanguageRadio[i]->setText(ToQt(FLanguages[static_cast<std::size_t>(i)]));
        LanguageRadio[i]->setVisible(shown);
    }
    LanguageRadio[0]->setChecked(true);
    FLanguageIndex = 0;
    layout()->activate();
    adjustSize();
    QDialog::showEvent(Event);
}

MyAnsiString TLanguageSelForm::Language() const {
    return FLanguageIndex < static_cast<int>(FLanguages.size()) ? FLanguages[static_cast<std::size_t>(FLanguageIndex)]
                                                                : MyAnsiString();
}

bool TLanguageSelForm::AutoCheckForUpdates() const {
    return AutomaticSearchForUpdatesChk->isChecked();
}

} // namespace vo
