// Telegram round trips over the Ethernet link on UDP loopback, measured
// against a bare UDP echo of the same bytes in the same run.
//
// BM_TelegramRoundTripUdp: a main-scheduler actor with one raw record (get
//   word, frame 10 00 01 00 00) goes through the client, the communication
//   server, the "ETH" driver and UDP to the simulated drive at 127.0.0.5, and
//   its answer (10 00 34 12) comes back to OnResponse on the main scheduler.
// BM_BareUdpEcho: as many bytes out and back between two plain sockets,
//   the other end answering at once from its own thread.
// Both report round trips per second and the median round-trip time; at the
// end the program prints the ratio of the two medians.
#include "comm/ETHdrv.h"
#include "comm/OvraActr.h"
#include "comm/OvraClnt.h"
#include "comm/OvraServ.h"
#include "kernel/functions.h"
#include "platform/UdpSocket.h"
#include "tests/support/OvraServerFixture.h"
#include "tests/support/RoundTripBench.h"
#include "tools/drivesim/SimUdp.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <poll.h>

namespace {

using Clock = std::chrono::steady_clock;

double GEchoMedianUs = 0;
double GTelegramMedianUs = 0;

uint32_t Ip(const char* Text) {
    uint32_t a = 0;
    vo::UdpParseAddress(Text, a);
    return a;
}

void BM_BareUdpEcho(benchmark::State& state) {
    vo::TUdpSocket echo, client;
    echo.Open(Ip("127.0.0.8"), 0);
    client.Open(Ip("127.0.0.9"), 0);
    std::jthread responder([&](std::stop_token st) {
        std::string data;
        uint32_t from = 0;
        uint16_t port = 0;
        while (!st.stop_requested()) {
            pollfd p{echo.Handle(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            while (echo.ReceiveFrom(data, from, port))
                echo.SendTo(from, port, std::string("\x10\x00\x34\x12", 4));
        }
    });
    const std::string request("\x10\x00\x01\x00\x00", 5);
    std::vector<double> samples;
    std::string data;
    uint32_t from = 0;
    uint16_t port = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        client.SendTo(Ip("127.0.0.8"), echo.LocalPort(), request);
        for (;;) {
            pollfd p{client.Handle(), POLLIN, 0};
            ::poll(&p, 1, 1000);
            if (client.ReceiveFrom(data, from, port))
                break;
        }
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    GEchoMedianUs = vo::test::MedianUs(samples);
    state.counters["median_us"] = GEchoMedianUs;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareUdpEcho)->UseRealTime()->MinTime(1.0);

void BM_TelegramRoundTripUdp(benchmark::State& state) {
    using namespace vo;
    MxEnsureMessaging();
    THeadlessPump pump;
    MxCreateMainScheduler(pump);
    {
        SimRunner runner(test::ServerTestDrive());
        SimUdpTransport udp(runner, "127.0.0.5", 0);
        runner.Transcript().SetCapacity(64);
        runner.Start();
        TScopedEthDrivePort drivePort(udp.Port());

        TOvraServer server;
        server.AddPortDriver("ETH", std::make_shared<TETHDriver>());
        test::TGuiSide gui;
        TOvraService service;
        service.SetPortHandle(gui.Open("ETH", 0, IPStrToInt("127.0.0.5")));
        if (service.PortHandle() != 0) {
            state.SkipWithError("the port did not open");
        } else {
            GTelegramMedianUs = test::TelegramRoundTrips(state, pump, service, test::GetWordFrame(0x100));
            TScopedTimeOverride fast(EthDriverCloseDelay, 0);
            gui.Command({"CloseDevice", "0"});
        }
    }
    MxFreeMainScheduler();
}
BENCHMARK(BM_TelegramRoundTripUdp)->UseRealTime()->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
    return vo::test::RoundTripMain(argc, argv, "bare UDP echo", GTelegramMedianUs, GEchoMedianUs);
}
