// The loader service with its plug-ins against a simulated drive (vx41:
// buffer 255, data size 2, one word per address) over a pseudo-terminal:
// flash images split into loader blocks and set-block telegrams, single
// drive commands, run errors in the dialog's log, the client protocol and
// a restarted service.
#include "devices/LoadAct.h"
#include "devices/LoadMem.h"
#include "devices/LoadSrv.h"

#include "tests/support/DeviceFixture.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

using namespace std::chrono_literals;
using test::ExpectError;

MyAnsiString Image(size_t N, int Seed = 1) { return test::TestBytes(N, 13, Seed); }

// A client that runs one step per callback; the run ends when the steps are
// used up (Finish).
class TStepClient : public TLoaderClient {
public:
    using TStep = std::function<void(TLoaderClient&)>;
    std::vector<TStep> Steps;
    size_t Calls = 0;
    void Run() {
        Execute([this](TLoaderClient& C) {
            const size_t i = Calls++;
            if (i < Steps.size())
                Steps[i](C);
            else
                C.Finish();
        });
    }
};

class LoaderTest : public test::OnlineDeviceTest {
protected:
    void RegisterServices() override {
        DeviceTestBase::RegisterServices();
        Manager->RegisterServiceClass("LoaderService", DeviceServiceClass<TLoaderService>());
    }
    void SetUp() override {
        OnlineDeviceTest::SetUp();
        Loader = Device->FindService<TLoaderService>("LoaderService");
        ASSERT_NE(Loader, nullptr);
        ASSERT_EQ(Loader->ServiceStatus(), dsStarted);
    }
    // Runs the client to the end of its run.
    void RunToEnd(TStepClient& C) {
        C.Run();
        ASSERT_TRUE(Until([&] { return C.ClientState() == lcsReady && Loader->WorkState() == TLoaderService::stReady; }));
    }
    // Address and data length of each set-block frame of a command.
    std::vector<std::pair<uint32_t, size_t>> Blocks(const std::string& Cmd) const {
        std::vector<std::pair<uint32_t, size_t>> out;
        for (const auto& f : Frames(Cmd)) {
            const size_t bytes = (f.size() + 1) / 3;
            uint32_t a = 0;
            for (int i = 3; i >= 0; --i)
                a = (a << 8) | static_cast<uint32_t>(std::stoul(f.substr(3 + 3 * static_cast<size_t>(i), 2), nullptr, 16));
            out.emplace_back(a, bytes - 5);
        }
        return out;
    }
    const std::vector<MyAnsiString>& Log() const { return Loader->LoaderDialog()->Log(); }

    TLoaderService* Loader = nullptr;
};

constexpr uint32_t A = 0x01002000;

TEST_F(LoaderTest, AFlashImageIsMovedInLoaderBlocks) {
    MyAnsiString image = Image(1000);
    TStepClient c;
    c.FCaption = "Firmware";
    c.Connect(*Loader);
    c.Steps = {[&](TLoaderClient& C) {
                   C.SetPlugin("writeflash");
                   C.SetActionText("Writing");
                   C.PluginData(A, image.data(), 1000, false);
               },
               [&](TLoaderClient& C) {
                   C.SetProgress(100);
                   C.Finish();
               }};
    RunToEnd(c);
    using B = std::pair<uint32_t, size_t>;
    EXPECT_EQ(Blocks("32"), (std::vector<B>{{A, 250}, {A + 125, 250}, {A + 250, 12}, {A + 256, 250}, {A + 381, 238}}));
    EXPECT_EQ(Peek(A, 1000), image);
    EXPECT_EQ(Peek(A + 500, 4), MyAnsiString(4, '\xFF'));
    const TLoaderDialog& dlg = *Loader->LoaderDialog();
    EXPECT_EQ(dlg.Caption(), "Firmware");
    EXPECT_EQ(dlg.GetActionText(), "Writing");
    EXPECT_EQ(dlg.GetProgress(), 100);
    EXPECT_EQ(dlg.GetButtonText(), "Close");
    EXPECT_TRUE(dlg.Log().empty());
}

TEST_F(LoaderTest, SmallBlocksCollectAndAJumpMovesWhatIsHeld) {
    MyAnsiString image = Image(612, 3);
    TStepClient c;
    c.Connect(*Loader);
    c.Steps.push_back([&](TLoaderClient& C) {
        C.SetPlugin("WriteFlash");
        C.PluginData(A, image.data(), 128, false);
    });
    for (int i = 1; i < 4; ++i)
        c.Steps.push_back([&, i](TLoaderClient& C) { C.PluginData(A + 64 * i, image.data() + 128 * i, 128, false); });
    // 100 bytes, then a call at a new address moves them first.
    c.Steps.push_back([&](TLoaderClient& C) { C.PluginData(A + 256, image.data() + 512, 100, false); });
    c.Steps.push_back([&](TLoaderClient& C) { C.PluginData(A + 0x1000, image.data(), 2, true); });
    RunToEnd(c);
    using B = std::pair<uint32_t, size_t>;
    EXPECT_EQ(Blocks("32"),
              (std::vector<B>{{A, 250}, {A + 125, 250}, {A + 250, 12}, {A + 256, 100}, {A + 0x1000, 2}}));
    EXPECT_EQ(Peek(A, 612), image);
    EXPECT_TRUE(Log().empty());
}

TEST_F(LoaderTest, SingleCommandsAndTheirErrors) {
    Runner->WithDrive([](SimDrive& d) {
        d.Poke(0x100, MyAnsiString("\x34\x12", 2));
        return 0;
    });
    TOvraCommandRecord read;
    read.Command = 3;
    read.Address = 0x100;
    TOvraCommandRecord bad;
    bad.Command = 9;
    TStepClient c;
    c.Connect(*Loader);
    c.Steps = {[&](TLoaderClient& C) {
                   C.SetPlugin("OvraCommand");
                   C.PluginData(0, &read, sizeof read, false);
               },
               [&](TLoaderClient& C) { C.PluginData(0, &bad, sizeof bad, false); }};
    RunToEnd(c);
    EXPECT_EQ(read.OvraRes, 0);
    EXPECT_EQ(read.Data, 0x1234);
    EXPECT_EQ(Frames("10").size(), 1u);
    EXPECT_EQ(c.Calls, 2u);
    EXPECT_EQ(Log(), (std::vector<MyAnsiString>{"*** ERROR: plugin error ***"}));
    EXPECT_EQ(Loader->FindPlugin("OvraCommand")->ErrorMsg(), "unknown command");
}

TEST_F(LoaderTest, AFailingFlashWriteEndsTheRun) {
    Runner->Faults().Add("cmd=32 from=2 status=C4");
    MyAnsiString image = Image(600);
    TStepClient c;
    c.Connect(*Loader);
    c.Steps = {[&](TLoaderClient& C) {
        C.SetPlugin("WriteFlash");
        C.PluginData(A, image.data(), 600, false);
    }};
    RunToEnd(c);
    EXPECT_EQ(c.Calls, 1u);
    EXPECT_EQ(Log(), (std::vector<MyAnsiString>{"*** ERROR: plugin error ***"}));
    // The next run starts clean.
    TStepClient d;
    d.Connect(*Loader);
    d.Steps = {[&](TLoaderClient& C) {
        C.SetPlugin("WriteMemory");
        C.PluginData(0x4000, image.data(), 8, true);
    }};
    RunToEnd(d);
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(Peek(0x4000, 8), image.substr(0, 8));
}

TEST_F(LoaderTest, ALineThatHangsUpMidTransferEndsTheRun) {
    Runner->Faults().Add("cmd=32 from=3 hangup");
    MyAnsiString image = Image(2048);
    TStepClient c;
    c.Connect(*Loader);
    size_t offset = 0;
    c.Steps.assign(8, [&](TLoaderClient& C) {
        if (offset == 0)
            C.SetPlugin("WriteFlash");
        C.PluginData(A + static_cast<int32_t>(offset / 2), image.data() + offset, 256, false);
        offset += 256;
    });
    RunToEnd(c);
    EXPECT_LT(offset, 2048u);
    EXPECT_EQ(Log(), (std::vector<MyAnsiString>{"*** ERROR: plugin error ***"}));
    EXPECT_EQ(Frames("32").size(), 3u);
}

TEST_F(LoaderTest, ClientProtocolErrors) {
    struct TCase {
        TStepClient::TStep Step;
        const char* Log;
    };
    std::string inCallback;
    const TCase cases[] = {
        {[](TLoaderClient&) {}, "*** ERROR: missing client action ***"},
        {[](TLoaderClient& C) { C.PluginData(0, nullptr, 0, false); }, "*** ERROR: no plugin selected ***"},
        {[&](TLoaderClient& C) {
             C.Skip();
             inCallback = test::ExceptionText([&] { C.Finish(); });
             C.AddLogText("still here");
         },
         nullptr},
    };
    for (const TCase& t : cases) {
        TStepClient c;
        c.Connect(*Loader);
        c.Steps = {t.Step};
        RunToEnd(c);
        if (t.Log)
            EXPECT_EQ(Log(), (std::vector<MyAnsiString>{t.Log}));
        else
            EXPECT_EQ(Log(), (std::vector<MyAnsiString>{"still here"}));
        c.Disconnect();
    }
    EXPECT_EQ(inCallback, "TLoaderClient.Finish: only one command allowed in callback method");

    TStepClient c;
    ExpectError([&] { c.Execute(nullptr); }, "TLoaderClient.Execute: not connected to loader service");
    ExpectError([&] { c.Wait(); }, "TLoaderClient.Wait: not connected to loader service");
    c.Connect(*Loader);
    ExpectError([&] { c.Connect(*Loader); }, "TLoaderClient.Connect: already connected");
    ExpectError([&] { c.Finish(); }, "TLoaderClient.Finish: command is only allowed in callback method");
    ExpectError([&] { c.SetPlugin("WriteFlash"); }, "TLoaderClient.SetPlugin: not current client");
    ExpectError([&] { c.Continue(); }, "TLoaderService: client state error");
}

TEST_F(LoaderTest, WaitHoldsTheClientUntilContinueAndClientsGoInOrder) {
    std::vector<std::string> order;
    TStepClient a, b;
    a.Connect(*Loader);
    b.Connect(*Loader);
    a.Steps = {[&](TLoaderClient& C) {
        order.push_back("a1");
        C.Wait();
    }};
    b.Steps = {[&](TLoaderClient&) { order.push_back("b1"); }};
    a.Run();
    b.Run();
    ASSERT_TRUE(Until([&] { return Loader->WorkState() == TLoaderService::stCurWait; }));
    Settle(50ms);
    EXPECT_EQ(a.Calls, 1u);
    // The dialog's button asks the current client to abort.
    Loader->LoaderDialog()->ButtonClick();
    EXPECT_TRUE(a.FAbortRequest);
    a.Continue();
    ASSERT_TRUE(Until([&] { return b.ClientState() == lcsReady && a.ClientState() == lcsReady; }));
    EXPECT_EQ(order, (std::vector<std::string>{"a1", "b1"}));
    EXPECT_EQ(a.Calls, 2u);
}

TEST_F(LoaderTest, ARestartedServiceMakesItsPlugInsAgain) {
    ASSERT_TRUE(Stop(*Device));
    EXPECT_EQ(Loader->PluginCount(), 0u);
    ASSERT_TRUE(Start(*Device));
    EXPECT_EQ(Loader->ServiceStatus(), dsStarted);
    EXPECT_EQ(Loader->PluginCount(), 5u);
    EXPECT_FALSE(Trace.Contains("already exists"));
}

TEST_F(LoaderTest, WithoutConnectionServiceTheStartNamesIt) {
    TDevice& d = Manager->CreateDevice("LONE", "VelkorOnline");
    TLoaderService s(d, nullptr);
    bool wait = false;
    s.StartUp(wait);
    EXPECT_EQ(s.ServiceStatus(), dsError);
    EXPECT_TRUE(Trace.Contains("couldn't start loader service: OvraService is missing"));
}

} // namespace
} // namespace vo
