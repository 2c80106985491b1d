// The first start: the licence agreement until it was accepted once, then
// the user settings while the stored language is none of the configured
// ones; both answers are saved when the program ends. The dialogs
// themselves: OK follows the tick box, one choice per configured language,
// and the choice counts however the settings dialog is closed.
#include "shell/gui/Main.h"

#include "kernel/UserPrompt.h"
#include "platform/FileNames.h"
#include "shell/StartHooks.h"
#include "shell/app/Composition.h"
#include "shell/gui/LanguageSel.h"
#include "shell/gui/License.h"
#include "shell/gui/ModApp.h"
#include "storagelib/RefObj.h"
#include "tests/support/ProgramStart.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/ScriptedPrompt.h"

#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace fs = std::filesystem;

namespace vo {
namespace {

// A click on the button's indicator (a radio button or tick box reacts to
// its indicator and text only, not to the rest of its row).
void ClickButton(QWidget* W) {
    QTest::mouseClick(W, Qt::LeftButton, {}, QPoint(6, W->height() / 2));
}

std::string ReadText(const fs::path& File) {
    std::ifstream in(File, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(FirstStartDialogs, LicenceOkFollowsTheTickBoxAndShowsTheFile) {
    const fs::path file = fs::temp_directory_path() / ("vo-eula-" + std::to_string(::getpid()) + ".txt");
    for (bool present : {false, true}) {
        SCOPED_TRACE(present);
        if (present)
            std::ofstream(file) << "Terms\r\nof use\n";
        TLicenseForm f(file);
        f.show();
        EXPECT_EQ(f.windowTitle(), "License Agrement");
        EXPECT_FALSE(f.Button1->isEnabled());
        EXPECT_EQ(f.RichEdit1->toPlainText(), present ? "Terms\nof use\n" : "");
        ClickButton(f.CheckBox1);
        EXPECT_TRUE(f.Button1->isEnabled());
        ClickButton(f.CheckBox1);
        EXPECT_FALSE(f.Button1->isEnabled());
        f.close();
    }
    fs::remove(file);
}

TEST(FirstStartDialogs, SettingsOfferEachLanguageAndKeepTheChoiceOnClose) {
    // Names are code-page 1252 bytes, shown as Unicode.
    TLanguageSelForm f({"English", "Deutsch", "Fran\xe7"
                                              "ais"});
    f.show();
    EXPECT_TRUE(f.LanguageRadio[0]->isChecked());
    EXPECT_EQ(f.LanguageRadio[2]->text(), QString::fromUtf8("Fran\xc3\xa7"
                                                            "ais"));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(f.LanguageRadio[i]->isVisible(), i < 3) << i;
    ClickButton(f.LanguageRadio[2]);
    ClickButton(f.AutomaticSearchForUpdatesChk);
    f.close(); // the title bar's close button
    EXPECT_EQ(f.LanguageIndex(), 2);
    EXPECT_EQ(f.Language(), "Fran\xe7"
                            "ais");
    EXPECT_TRUE(f.AutoCheckForUpdates());
}

TEST(FirstStartDialogs, FirstStartAsksAndSavesTheAnswers) {
    const fs::path root = fs::temp_directory_path() / ("vo-firststart-" + std::to_string(::getpid()));
    fs::remove_all(root);
    // Settings of a user who has not accepted the licence yet and whose
    // language is none of the configured ones.
    const fs::path config = root / "config" / "Velkor" / "Velkor-Ovra - 4.2";
    fs::create_directories(config);
    std::string ini = ReadText(fs::path(VO_PROGRAM_DIR) / "ViewConfig.ini");
    for (auto [from, to] : {std::pair<std::string, std::string>{"/LICOK 1", "/LICOK 0"},
                            {"/InfoSysLanguage 'English'", "/InfoSysLanguage 'Klingon'"}}) {
        const std::size_t at = ini.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        ini.replace(at, from.size(), to);
    }
    std::ofstream(config / "ViewConfig.ini", std::ios::binary) << ini;

    test::TScriptedPrompt prompt;
    TMainFormOptions o = test::ProgramStart(prompt, root, {"-NoAuto"});

    // Answers the two dialogs as they come.
    std::vector<std::string> seen;
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* l = qobject_cast<TLicenseForm*>(modal)) {
            if (!seen.empty() && seen.back() == "licence")
                return;
            seen.push_back("licence");
            EXPECT_FALSE(l->Button1->isEnabled());
            ClickButton(l->CheckBox1);
            QTest::mouseClick(l->Button1, Qt::LeftButton);
        } else if (auto* s = qobject_cast<TLanguageSelForm*>(modal)) {
            if (!seen.empty() && seen.back() == "settings")
                return;
            seen.push_back("settings");
            EXPECT_TRUE(s->LanguageRadio[1]->isVisible());
            EXPECT_FALSE(s->LanguageRadio[2]->isVisible());
            ClickButton(s->LanguageRadio[1]);
            s->close();
        }
    });
    answer.start();
    int exitCode = -1;
    {
        TMainForm form(o);
        form.OnTerminate = [&](int Code) { exitCode = Code; };
        ASSERT_TRUE(form.FormCreate());
        ASSERT_TRUE(test::WaitFor([&] { return form.NumberOfCommander() == 1; }));
        EXPECT_EQ(seen, (std::vector<std::string>{"licence", "settings"}));
        EXPECT_EQ(form.Settings().LicenseValue, 1);
        EXPECT_EQ(form.InfoSysLang(), "Deutsch");
        EXPECT_EQ(form.Commanders().front()->FileMenu->title().toStdString(), "&Datei");
        form.Commanders().front()->close(); // no drive: no question
        ASSERT_TRUE(test::WaitFor([&] { return exitCode != -1; }));
        EXPECT_TRUE(prompt.Texts().empty());
    }
    answer.stop();
    const std::string saved = ReadText(config / "ViewConfig.ini");
    EXPECT_NE(saved.find("/LICOK 1"), std::string::npos) << saved;
    EXPECT_NE(saved.find("/InfoSysLanguage 'Deutsch'"), std::string::npos) << saved;
    PurgeAutoReleasePool();
    std::error_code ec;
    fs::remove_all(root, ec);
}

} // namespace
} // namespace vo
