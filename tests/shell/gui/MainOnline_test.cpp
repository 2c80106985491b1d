// The program started for real (the whole composition, the hidden main form,
// its first project tree window) with a simulated drive on a pseudo-terminal
// mapped as COM7: the skeleton, the queued start-up work, an online login
// through the login dialog and a refused one, and the settings at close.
// One start per process: the composition lives until the process ends.
#include "shell/gui/Main.h"

#include "devices/DevMan.h"
#include "devices/gui/CmdStart.h"
#include "kernel/LanguageMan.h"
#include "kernel/ModTree.h"
#include "kernel/PrgObjs.h"
#include "kernel/UserPrompt.h"
#include "kernel/gui/LoginInfo.h"
#include "kernel/gui/QtText.h"
#include "motorwizard/MotWizMan.h"
#include "platform/FileNames.h"
#include "shell/StartHooks.h"
#include "shell/app/Composition.h"
#include "shell/gui/ModApp.h"
#include "storagelib/RefObj.h"
#include "tests/support/ProgramStart.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/ScriptedPrompt.h"
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimPty.h"
#include "tools/drivesim/SimRunner.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace vo {
namespace {

bool HasLine(const std::vector<MyAnsiString>& Lines, const MyAnsiString& L) {
    return std::find(Lines.begin(), Lines.end(), L) != Lines.end();
}

// Closes the login information window once it reports an error.
class TErrorCloser {
public:
    TErrorCloser() {
        FTimer.setInterval(20);
        QObject::connect(&FTimer, &QTimer::timeout, [] {
            TMainForm* m = MainForm();
            if (!m || !m->LoginInfoFormVisible())
                return;
            TLoginInfoForm& f = m->LoginInfoForm();
            if (HasLine(f.Lines(), "An error has occurred during the login process!") && f.CloseBtn->isEnabled())
                QTest::mouseClick(f.CloseBtn, Qt::LeftButton);
        });
        FTimer.start();
    }

private:
    QTimer FTimer;
};

TEST(MainFormOnline, StartsLogsInOverCom7AndSavesAtClose) {
    const fs::path root = fs::temp_directory_path() / ("vo-mainform-" + std::to_string(::getpid()));
    fs::remove_all(root);
    SimRunner runner(SimLoadDrive(SimDataDir() + "/vx41.drive"));
    SimPtyTransport line(runner);
    runner.Start();

    test::TScriptedPrompt prompt;
    TMainFormOptions o = test::ProgramStart(prompt, root, {"-COMPORTS:COM7=" + line.SlavePath(), "-NoAuto"});
    int exitCode = -1;
    {
        TMainForm form(o);
        form.OnTerminate = [&](int Code) { exitCode = Code; };
        ASSERT_TRUE(form.FormCreate());

        // The skeleton.
        for (const char* name : {"DebugManager", "StorageManager", "MainScheduler"})
            EXPECT_TRUE(ObjectRegistryManager().ObjectExists(name)) << name;
        // The motor wizard's manager with its item classes.
        ASSERT_NE(MotWizardManager(), nullptr);
        EXPECT_TRUE(MotWizardManager()->WizParClassExists("ENUM"));
        EXPECT_TRUE(MotWizardManager()->WizValClassExists("DOUBLE"));

        // The queue builds the View menu and opens the window before the
        // device-opening task first checks the window list.
        ASSERT_TRUE(test::WaitFor([&] { return form.NumberOfCommander() == 1; }));
        EXPECT_EQ(form.WindowCaptions(), (std::vector<MyAnsiString>{"Velkor-Ovra"}));
        EXPECT_GE(form.ViewMenuList().Count(), 1);
        EXPECT_EQ(form.LanguageMenuList().Count(), 2);
        ASSERT_TRUE(test::WaitFor([&] { return form.MainTask().State() == stReady; }));
        EXPECT_EQ(exitCode, -1);
        TTreeAppForm* window = form.Commanders().front();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));

        // Online login: Ctrl+L, COM7, USER, "user".
        test::AnswerLoginDialog("COM7", "USER", "user");
        window->Action(TTreeAction::Login)->trigger();
        TDeviceManager& devices = *DeviceManager();
        ASSERT_TRUE(test::WaitFor([&] { return form.MainTask().State() == stReady && devices.GetDeviceCount() == 1; }))
            << MainStateText(form.MainTask().State());
        const std::vector<MyAnsiString> lines = form.LoginInfoForm().Lines();
        EXPECT_TRUE(HasLine(lines, "Login process successfull completed!"));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), LangText("WaitLogin"));
        EXPECT_TRUE(devices.DeviceExists("BOX1"));
        TModelItem& project = devices.ModelManager().Root();
        ASSERT_EQ(project.GetChildCount(), 1);
        EXPECT_EQ(&project.GetChild(0), &devices.GetDevice("BOX1").Model());

        // A wrong password: the error line and no further device.
        {
            TErrorCloser closer;
            test::AnswerLoginDialog("COM7", "USER", "wrong");
            window->Action(TTreeAction::Login)->trigger();
            ASSERT_TRUE(test::WaitFor([&] {
                return form.MainTask().State() == stReady && !form.LoginInfoFormVisible() &&
                    HasLine(form.LoginInfoForm().Lines(), "An error has occurred during the login process!");
            }));
            ASSERT_TRUE(test::WaitFor([&] { return devices.GetDeviceCount() == 1; }));
            EXPECT_FALSE(devices.DeviceExists("BOX2"));
        }

        // Window captions are made unique; a freed suffix is given again.
        {
            struct TNamed : TShellWindow {
                MyAnsiString C = "X";
                MyAnsiString GetCaption() const override { return C; }
                void SetCaption(const MyAnsiString& A) override { C = A; }
            } x, x1, x2, again;
            form.RegisterWindow(x);
            form.RegisterWindow(x1);
            form.RegisterWindow(x2);
            EXPECT_EQ(x1.C, "X_1");
            EXPECT_EQ(x2.C, "X_2");
            form.UnregisterWindow(x1);
            form.RegisterWindow(again);
            EXPECT_EQ(again.C, "X_1");
            for (TNamed* w : {&x, &x2, &again})
                form.UnregisterWindow(*w);
            EXPECT_EQ(form.WindowCaptions(), (std::vector<MyAnsiString>{"Velkor-Ovra"}));
            EXPECT_EQ(form.WindowMenuList().Count(), 1);
        }

        // Closing the last window with a drive open asks first: No keeps
        // it, Yes ends the program. A changed display mode is saved then.
        form.SetUPIDDispMode("DEC");
        const std::size_t asked = prompt.Texts().size();
        prompt.Answer(mrNo);
        window->close();
        ASSERT_EQ(prompt.Texts().size(), asked + 1);
        EXPECT_EQ(prompt.Texts().back(), "Are you sure you want to close this window?");
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(form.NumberOfCommander(), 1);
        prompt.Answer(mrYes);
        window->close();
        ASSERT_TRUE(test::WaitFor([&] { return exitCode != -1; }));
        EXPECT_EQ(exitCode, 0);
    }
    const fs::path saved = root / "config" / "Velkor" / "Velkor-Ovra - 4.2" / "ViewConfig.ini";
    EXPECT_TRUE(fs::exists(saved));
    runner.Stop();
    PurgeAutoReleasePool();
    std::error_code ec;
    fs::remove_all(root, ec);
}

} // namespace
} // namespace vo
