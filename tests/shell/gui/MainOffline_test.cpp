// Offline logins to configuration files through the login dialog: wrong
// passwords, refused format versions and a missing file leave no device
// behind; a passing login starts the offline device with the file.
#include "shell/gui/Main.h"

#include "devices/DevMan.h"
#include "devices/gui/CmdStart.h"
#include "kernel/LanguageMan.h"
#include "kernel/MD5Generator.h"
#include "kernel/UserPrompt.h"
#include "kernel/gui/LoginInfo.h"
#include "kernel/gui/LoginMsg.h"
#include "platform/FileNames.h"
#include "shell/StartHooks.h"
#include "shell/app/Composition.h"
#include "shell/gui/ModApp.h"
#include "storagelib/RefObj.h"
#include "tests/support/ProgramStart.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/ScriptedPrompt.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace vo {
namespace {

struct TCase {
    const char* Name;
    const char* Info; // the "Info" dictionary of the file; nullptr: no file
    const char* User;
    const char* Password;
    const char* Refusal; // the error text; nullptr: the login passes
};

// Answers every question window the login raises with its default button and
// keeps its text, so that an unexpected question fails the test instead of
// blocking the event loop for good.
class TQuestionCloser {
public:
    TQuestionCloser() {
        FTimer.setInterval(20);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            auto* q = qobject_cast<TLoginMsgForm*>(QApplication::activeModalWidget());
            if (!q)
                return;
            Texts.push_back(q->Label1->text().toStdString());
            q->done(QDialog::Rejected);
        });
        FTimer.start();
    }
    std::vector<std::string> Texts;

private:
    QTimer FTimer;
};

TEST(MainFormOffline, UserLevelsVersionsAndMissingFiles) {
    const fs::path root = fs::temp_directory_path() / ("vo-mainoffline-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    test::TScriptedPrompt prompt;
    TMainFormOptions o = test::ProgramStart(prompt, root, {"-NoAuto"});
    TMainForm form(o);
    form.OnTerminate = [](int) {};
    ASSERT_TRUE(form.FormCreate());
    form.SetDeveloperDigest(MD5Value("dev-secret"));
    ASSERT_TRUE(test::WaitFor([&] { return form.NumberOfCommander() == 1 && form.MainTask().State() == stReady; }));
    TTreeAppForm* window = form.Commanders().front();
    TDeviceManager& devices = *DeviceManager();

    // Closes the login information window whatever it reports.
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (form.LoginInfoFormVisible())
            form.LoginInfoForm().reject();
    });
    closer.start();
    TQuestionCloser questions;

    // The refusals first: a passing login ends with the offline device
    // being started, which is the last step here.
    const TCase cases[] = {
        {"wrong user password", "/Version 3 /L1PW 'abc'", "USER", "x", "Wrong password!"},
        {"service without L2PW", "/Version 3", "SERVICE", "x", "Wrong password!"},
        {"old format", "/Version 2 /L1PW 'abc'", "USER", "abc",
         "Login aborted!\r Old configuration format version! This configuration cannot be opened!"},
        {"newer release", "/Version 4 /FirmwareRelease 'VX41 R9.0'", "USER", "",
         "Login aborted!\rThis configuration was set up with the software version: VX41 R9.0 and cannot be "
         "opened.\rPlease update Velkor-Ovra available from www.velkor.example."},
        {"missing file", nullptr, "USER", "abc", ""},
        {"user password",
         "/Version 3 /L1PW 'abc' /FirmwareRelease 'VX41 R1.02 2024-05-01' /Trees [A [D /TreeName 'VxMotion_Std_V1S2' ] ]",
         "USER", "abc", nullptr},
    };
    int n = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path file = root / ("cfg" + std::to_string(++n) + ".vkc");
        if (c.Info) {
            std::ofstream out(file);
            out << "[D /Info [D " << c.Info << " ] ]\n";
        }
        const int before = devices.GetDeviceCount();
        const std::size_t messages = prompt.Texts().size();
        QTimer::singleShot(0, [&] {
            // The dialog is made when the first login asks for it.
            test::WaitFor([] { return DeviceLoginDialog() && DeviceLoginDialog()->isVisible(); }, 5000);
            TDeviceLoginDialog* d = DeviceLoginDialog();
            ASSERT_NE(d, nullptr);
            d->OfflineRadio->click();
            d->OfflineEdit->setText(QString::fromStdString(file.string()));
            d->UserEdt->setText(c.User);
            d->PasswordEdt->setText(c.Password);
            QTest::mouseClick(d->OKBtn, Qt::LeftButton);
        });
        window->Action(TTreeAction::Login)->trigger();
        ASSERT_TRUE(test::WaitFor([&] {
            const bool settled = c.Refusal ? form.MainTask().State() == stReady
                                           : devices.GetDeviceCount() == before + 1 && devices.DeviceExists("BOX1") &&
                    devices.GetDevice("BOX1").State() == dstStarted;
            return settled && !form.LoginInfoFormVisible() && !DeviceLoginDialog()->isVisible();
        })) << MainStateText(form.MainTask().State());
        EXPECT_EQ(questions.Texts, std::vector<std::string>{});
        const std::vector<MyAnsiString> texts = prompt.Texts();
        if (c.Refusal) {
            ASSERT_EQ(texts.size(), messages + 1);
            const MyAnsiString expected = *c.Refusal ? MyAnsiString(c.Refusal)
                                                     : LangTextFmt("Login_File_Not_Found", {TFmtArg(RealPathToStored(file))});
            EXPECT_EQ(texts.back(), expected);
            EXPECT_EQ(devices.GetDeviceCount(), before); // the refused device is gone
        } else {
            EXPECT_EQ(texts.size(), messages) << (texts.empty() ? "" : texts.back());
            // The offline device was created with the file and started: the
            // login information window showed.
            EXPECT_EQ(form.LoginInfoForm().Lines().front(), LangText("WaitLogin"));
            ASSERT_TRUE(devices.DeviceExists("BOX1"));
            EXPECT_EQ(devices.GetDevice("BOX1").GetStrVar("ConfigFile"), RealPathToStored(file));
            EXPECT_EQ(devices.GetDevice("BOX1").GetStrVar("UserName"), "USER");
        }
    }
    closer.stop();
    PurgeAutoReleasePool();
    std::error_code ec;
    fs::remove_all(root, ec);
}

} // namespace
} // namespace vo
