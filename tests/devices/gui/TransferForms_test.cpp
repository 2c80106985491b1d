// The loader dialog and the configuration password question through their
// real widgets (offscreen): a loader run against the simulated drive vx41
// over a pseudo-terminal shows its caption, action, progress and log in the
// form, the form's button asks the running client to abort and hides the
// dialog after the run; the password question shows the import's texts and
// gives the typed password on OK, nothing on Cancel.
#include "devices/gui/ConfXferDlgs.h"
#include "devices/gui/LoadDlg.h"

#include "devices/LoadSrv.h"
#include "kernel/gui/PassWordDialog.h"
#include "kernel/gui/QtText.h"
#include "kernel/gui/ShowWarn.h"
#include "tests/support/DeviceFixture.h"
#include "tests/support/QtTestApp.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace vo {
namespace {

class LoaderFormTest : public test::OnlineDeviceTest {
protected:
    void RegisterServices() override {
        DeviceTestBase::RegisterServices();
        Manager->RegisterServiceClass("LoaderService", DeviceServiceClass<TLoaderService>());
    }
    void SetUp() override {
        InstallLoaderDialog();
        OnlineDeviceTest::SetUp();
        Loader = Device->FindService<TLoaderService>("LoaderService");
        ASSERT_NE(Loader, nullptr);
    }
    void TearDown() override {
        OnlineDeviceTest::TearDown();
        SetLoaderDialogFactory(nullptr);
    }
    TLoaderDialogForm& Form() const {
        auto* f = dynamic_cast<TLoaderDialogForm*>(Loader->LoaderDialog());
        EXPECT_NE(f, nullptr);
        return *f;
    }
    static std::vector<std::string> Rows(const QListWidget& L) {
        std::vector<std::string> out;
        for (int i = 0; i < L.count(); ++i)
            out.push_back(L.item(i)->text().toStdString());
        return out;
    }
    TLoaderService* Loader = nullptr;
};

TEST_F(LoaderFormTest, ARunShowsItsProgressAndTheButtonClosesAfterIt) {
    MyAnsiString image = test::TestBytes(600, 5, 1);
    TLoaderClient c;
    c.FCaption = "Firmware Download";
    c.Connect(*Loader);
    int calls = 0;
    c.Execute([&](TLoaderClient& C) {
        switch (calls++) {
        case 0:
            C.SetPlugin("WriteFlash");
            C.SetActionText("Writing flash");
            C.SetProgress(40);
            C.AddLogText("first block");
            C.PluginData(0x01002000, image.data(), 600, true);
            break;
        default:
            C.SetProgress(100);
            C.AddLogText("done");
            C.Finish();
        }
    });
    ASSERT_TRUE(Until([&] { return c.ClientState() == lcsReady && Loader->WorkState() == TLoaderService::stReady; }));
    TLoaderDialogForm& f = Form();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.windowTitle(), "Firmware Download");
    EXPECT_EQ(f.EdAction->text(), "Writing flash");
    EXPECT_EQ(f.ProgressBar->value(), 100);
    EXPECT_EQ(Rows(*f.ListBox), (std::vector<std::string>{"first block", "done"}));
    EXPECT_EQ(f.Button->text(), "Close");
    EXPECT_EQ(Peek(0x01002000, 600), image);

    QTest::mouseClick(f.Button, Qt::LeftButton);
    EXPECT_FALSE(f.isVisible());
    c.Disconnect();
}

TEST_F(LoaderFormTest, TheButtonAsksTheRunningClientToAbort) {
    TLoaderClient c;
    c.FCaption = "Held";
    c.Connect(*Loader);
    std::vector<bool> seen;
    c.Execute([&](TLoaderClient& C) {
        seen.push_back(C.FAbortRequest);
        if (C.FAbortRequest)
            C.Abort();
        else
            C.Wait();
    });
    ASSERT_TRUE(Until([&] { return Loader->WorkState() == TLoaderService::stCurWait; }));
    TLoaderDialogForm& f = Form();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.Button->text(), "Abort");
    EXPECT_EQ(f.EdAction->text(), "");
    QTest::mouseClick(f.Button, Qt::LeftButton);
    // The window's close box asks the same and leaves the dialog open.
    f.close();
    EXPECT_TRUE(f.isVisible());
    c.Continue();
    ASSERT_TRUE(Until([&] { return c.ClientState() == lcsReady && Loader->WorkState() == TLoaderService::stReady; }));
    EXPECT_EQ(seen, (std::vector<bool>{false, true}));
    EXPECT_EQ(f.Button->text(), "Close");
    // After the run the close box hides it.
    f.close();
    EXPECT_FALSE(f.isVisible());
    c.Disconnect();
}

// Acts on the modal dialog of type D that Open shows, once it is up; a
// dialog left open for 5 s is closed. True when Act ran.
template <class D>
bool WithModal(const std::function<void(D&)>& Act, const std::function<void()>& Open) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!d)
            return;
        QTimer::singleShot(5000, d, [d] { d->close(); }); // never hang
        EXPECT_TRUE(QTest::qWaitForWindowExposed(d));
        Act(*d);
        ran = true;
    });
    Open();
    return ran;
}

TEST(ConfigPasswordForm, ShowsTheQuestionAndGivesThePassword) {
    InstallConfigTransferDialogs();
    SetImportWarningsPrompt(nullptr);
    const TConfigPasswordPrompt ask = SetConfigPasswordPrompt(nullptr);
    ASSERT_TRUE(ask);
    TConfigPasswordQuestion q;
    q.Caption = "Configuration Password";
    q.Info = "The configuration is protected by password!\rPlease give the password or log in as \"Guest\" to import it!";
    q.UserName = "SERVICE";
    struct TCase {
        bool Ok;
        const char* Typed;
    };
    for (const TCase& c : {TCase{true, "s3cret"}, TCase{false, "ignored"}}) {
        SCOPED_TRACE(c.Typed);
        MyAnsiString password = "before";
        EXPECT_TRUE(WithModal<TPasswordDlg>(
            [&](TPasswordDlg& d) {
                EXPECT_EQ(d.windowTitle(), "Configuration Password");
                EXPECT_EQ(FromQt(d.InfoMsg->text()), q.Info);
                EXPECT_EQ(d.UserEdt->text(), "SERVICE");
                EXPECT_TRUE(d.UserEdt->isReadOnly());
                EXPECT_EQ(d.PasswordEdt->text(), "");
                QTest::keyClicks(d.PasswordEdt, c.Typed);
                QTest::mouseClick(c.Ok ? d.OKBtn : d.CancelBtn, Qt::LeftButton);
            },
            [&] { EXPECT_EQ(ask(q, password), c.Ok); }));
        EXPECT_EQ(password, c.Ok ? MyAnsiString(c.Typed) : MyAnsiString("before"));
    }
}

TEST(ImportLogForm, OffersTheWarningsUnderTheCallersButton) {
    InstallConfigTransferDialogs();
    SetConfigPasswordPrompt(nullptr);
    const TImportWarningsPrompt ask = SetImportWarningsPrompt(nullptr);
    ASSERT_TRUE(ask);
    // Escape and the details button ask for the warnings, OK does not.
    struct TCase {
        const char* Name;
        std::function<void(TShowWarnForm&)> Act;
        bool Show;
    };
    const std::vector<TCase> cases = {
        {"details button", [](TShowWarnForm& d) { QTest::mouseClick(d.ShowBtn, Qt::LeftButton); }, true},
        {"Escape", [](TShowWarnForm& d) { QTest::keyClick(&d, Qt::Key_Escape); }, true},
        {"OK", [](TShowWarnForm& d) { QTest::mouseClick(d.CloseBtn, Qt::LeftButton); }, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const MyAnsiString text = "The configuration 'drive.log' was imported with warnings.";
        EXPECT_TRUE(WithModal<TShowWarnForm>(
            [&](TShowWarnForm& d) {
                EXPECT_EQ(FromQt(d.MsgLabel->text()), text);
                EXPECT_EQ(d.ShowBtn->text(), "Show Log File");
                c.Act(d);
            },
            [&] { EXPECT_EQ(ask(text, "Show Log File"), c.Show); }));
    }
}

} // namespace
} // namespace vo
