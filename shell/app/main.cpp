// velkor-ovra: the program. Without a display it says so and ends.
#include "platform/FileNames.h"
#include "shell/app/Composition.h"
#include "shell/gui/Main.h"
#include "shell/gui/StartWarmUp.h"
#include "storagelib/RefObj.h"

#include <QApplication>
#include <QLocale>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!platform || !*platform) && (!display || !*display) && (!wayland || !*wayland)) {
        std::fprintf(stderr, "velkor-ovra: no display (DISPLAY and WAYLAND_DISPLAY are not set); "
                             "start it in a desktop session or under xvfb-run\n");
        return 2;
    }
    // Qt's fonts and image plug-ins are readied while the program builds its
    // model; the font configuration already while the application starts.
    vo::TQtStartWarmUp warmUp;
    QApplication app(argc, argv);
    QApplication::setApplicationName("Velkor-Ovra");
    QApplication::setQuitOnLastWindowClosed(false);
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    warmUp.ApplicationReady();

    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        exe = std::filesystem::absolute(argv[0]);
    vo::TMainFormOptions options;
    options.WorkDir = vo::RealPathToStored(exe.parent_path()) + "\\";
    for (int i = 1; i < argc; ++i)
        options.Args.emplace_back(argv[i]);
    options.BeforeFirstWindow = [&warmUp] { warmUp.WaitForFontConfiguration(); };

    vo::InstallProgramParts();
    int rc = 0;
    {
        vo::TMainForm form(options);
        rc = form.FormCreate() ? QApplication::exec() : form.ExitCode();
    }
    warmUp.Finish();
    vo::PurgeAutoReleasePool();
    return rc;
}
