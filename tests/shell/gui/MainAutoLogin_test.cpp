// The automatic login at start ("AUTOLOGIN" with "Auto" true): "Box1" on the
// stored port, captioned "Box1 on COM7", without the login information
// window. One start per process: the composition lives until the process ends.
#include "shell/gui/Main.h"

#include "devices/DevMan.h"
#include "devices/gui/CmdStart.h"
#include "kernel/LanguageMan.h"
#include "kernel/ModTree.h"
#include "kernel/PrgObjs.h"
#include "kernel/UserPrompt.h"
#include "kernel/gui/LoginInfo.h"
#include "kernel/gui/QtText.h"
#include "platform/FileNames.h"
#include "shell/StartHooks.h"
#include "shell/app/Composition.h"
#include "shell/gui/TreeCommander.h"
#include "storagelib/RefObj.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
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

bool WaitFor(const std::function<bool()>& Pred, int Ms = 15000) {
    QElapsedTimer t;
    t.start();
    while (!Pred()) {
        if (t.elapsed() > Ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}


TEST(MainFormAutoLogin, OpensBox1OnTheStoredPort) {
    const fs::path root = fs::temp_directory_path() / ("vo-mainauto-" + std::to_string(::getpid()));
    fs::remove_all(root);
    SimRunner runner(SimLoadDrive(SimDataDir() + "/vx41.drive"));
    SimPtyTransport line(runner);
    runner.Start();

    test::TScriptedPrompt prompt;
    InstallProgramParts();
    auto install = ShellStartHooks().InstallDialogs;
    ShellStartHooks().InstallDialogs = [install, &prompt] {
        install();
        SetUserPrompt(&prompt);
    };
    TMainFormOptions o;
    o.WorkDir = RealPathToStored(VO_PROGRAM_DIR) + "\\";
    o.Args = {"-COMPORTS:COM7=" + line.SlavePath(), "-NoAuto"};
    o.DataHome = root / "data";
    o.ConfigHome = root / "config";
    {
        TMainForm form(o);
        form.OnTerminate = [](int) {};
        ASSERT_TRUE(form.FormCreate());
        // The settings as a program configuration with an automatic login
        // would give them (read before the task's first step).
        TRef<TSLObject> autoLogin = SLDecodeString("[D /Auto #1 /Profile 'VelkorOnline' /ComPort 'COM7' /Password 'user' ]");
        form.Settings().AutoLogin = dynamic_cast<TSLDictionary*>(autoLogin.Get());
        bool infoShown = false;
        TDeviceManager& devices = *DeviceManager();
        ASSERT_TRUE(WaitFor([&] {
            infoShown |= form.LoginInfoFormVisible();
            return devices.DeviceExists("Box1") && form.MainTask().State() == stReady &&
                devices.ModelManager().Root().GetChildCount() == 1;
        })) << MainStateText(form.MainTask().State());
        EXPECT_FALSE(infoShown);
        // The drive's device-name parameter names the device.
        EXPECT_EQ(devices.GetDevice("Box1").Model().Caption(), "VX41 axis 1 on COM7 (USER)");
        EXPECT_EQ(devices.GetDevice("Box1").State(), dstStarted);
        EXPECT_TRUE(prompt.Texts().empty());
    }
    runner.Stop();
    PurgeAutoReleasePool();
    std::error_code ec;
    fs::remove_all(root, ec);
}

} // namespace
} // namespace vo
