#include "kernel/ShellServices.h"

#include <gtest/gtest.h>

#include "../support/TestShell.h"

namespace vo {
namespace {

TEST(ShellServicesTest, NeutralInstanceAnswersUntilOneIsInstalledAndAfterItIsGone) {
    EXPECT_EQ(ShellServices().InfoSysLang(), "English");
    EXPECT_EQ(ShellServices().GetProductInfoStr("ProgramName"), "");
    EXPECT_EQ(ShellServices().ImageList(), nullptr);
    EXPECT_EQ(ShellServices().OvraProgramType(), 0);
    EXPECT_EQ(ShellServices().UPIDDispMode(), "HEX");
    EXPECT_EQ(ShellServices().RawDataDispMode(), "HEX");
    EXPECT_EQ(ShellServices().RelParFilterMode(), "Disabled");
    {
        test::TestShell outer;
        outer.lang = "Deutsch";
        EXPECT_EQ(&ShellServices(), &outer);
        {
            test::TestShell inner;
            inner.lang = "Francais";
            EXPECT_EQ(ShellServices().InfoSysLang(), "Francais");
            EXPECT_EQ(ShellServices().GetProductInfoStr("ProgramName"), "Velkor-Ovra");
        }
        EXPECT_EQ(ShellServices().InfoSysLang(), "Deutsch") << "the inner one restored the outer one";
        ShellServices().StartScanning();
        ShellServices().BlinkETH(0x0A000001);
        EXPECT_EQ(outer.scans, 1);
        ASSERT_EQ(outer.blinks.size(), 1u);
        EXPECT_EQ(outer.blinks[0], 0x0A000001);
    }
    EXPECT_EQ(ShellServices().InfoSysLang(), "English");
    EXPECT_EQ(ShellServices().ShowConnectionLost("gone"), TConnectionLostAnswer::GoOffline);
}

struct Window : TShellWindow {
    explicit Window(MyAnsiString c) : caption(std::move(c)) {}
    MyAnsiString caption;
    MyAnsiString GetCaption() const override { return caption; }
    void SetCaption(const MyAnsiString& c) override { caption = c; }
};

TEST(ShellServicesTest, TestShellKeepsWindowCaptionsUnique) {
    test::TestShell shell;
    Window a("Project"), b("Project"), c("Project");
    ShellServices().RegisterWindow(a);
    ShellServices().RegisterWindow(b);
    ShellServices().RegisterWindow(c);
    EXPECT_EQ(a.caption, "Project");
    EXPECT_EQ(b.caption, "Project_1");
    EXPECT_EQ(c.caption, "Project_2");
    ShellServices().UnregisterWindow(b);
    Window d("Project");
    ShellServices().RegisterWindow(d);
    EXPECT_EQ(d.caption, "Project_1");
    EXPECT_EQ(shell.windows.size(), 3u);
}

} // namespace
} // namespace vo
