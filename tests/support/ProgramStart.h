#pragma once
// Starting the program's main form in a GUI test: the whole composition with
// a scripted user prompt, the program folder of the build (or a fixture
// folder) and the user's data and settings folders below a test folder; and
// pumping Qt's events until something observable happens.
#include "devices/gui/CmdStart.h"
#include "kernel/UserPrompt.h"
#include "platform/FileNames.h"
#include "shell/StartHooks.h"
#include "shell/app/Composition.h"
#include "shell/gui/Main.h"
#include "tests/support/ScriptedPrompt.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vo::test {

// Processes events until Pred holds; false after Ms milliseconds.
inline bool WaitFor(const std::function<bool()>& Pred, int Ms = 15000) {
    QElapsedTimer t;
    t.start();
    while (!Pred()) {
        if (t.elapsed() > Ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Fills the login dialog for a serial login once it shows and presses OK
// (the dialog is made when the first login asks for it).
inline void AnswerLoginDialog(const char* Port, const char* User, const char* Password) {
    QTimer::singleShot(0, [=] {
        WaitFor([] { return DeviceLoginDialog() && DeviceLoginDialog()->isVisible(); }, 5000);
        TDeviceLoginDialog* d = DeviceLoginDialog();
        ASSERT_NE(d, nullptr);
        d->RS232Radio->click();
        d->CbRSPort->setCurrentIndex(d->CbRSPort->findText(Port));
        d->UserEdt->setText(User);
        d->PasswordEdt->setText(Password);
        QTest::mouseClick(d->OKBtn, Qt::LeftButton);
    });
}

// Installs the program's parts with Prompt answering every message, and the
// options of a start with Args: user folders "data" and "config" below Root.
inline TMainFormOptions ProgramStart(TScriptedPrompt& Prompt, const std::filesystem::path& Root,
                                     std::vector<std::string> Args,
                                     const std::filesystem::path& ProgramDir = VO_PROGRAM_DIR) {
    InstallProgramParts();
    auto install = ShellStartHooks().InstallDialogs;
    ShellStartHooks().InstallDialogs = [install, &Prompt] {
        install();
        SetUserPrompt(&Prompt);
    };
    TMainFormOptions o;
    o.WorkDir = RealPathToStored(ProgramDir) + "\\";
    o.Args = std::move(Args);
    o.DataHome = Root / "data";
    o.ConfigHome = Root / "config";
    return o;
}

} // namespace vo::test
