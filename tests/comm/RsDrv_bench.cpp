// Telegram round trips over the RS232 link on a pseudo-terminal, measured
// against the physical floor of the same kind of line in the same run.
//
// BM_TelegramRoundTrip: a main-scheduler actor with one raw record (get word,
//   frame 10 34 12 00) goes through the client, the communication server, the
//   RS232 driver and a pseudo-terminal to the simulated drive, and its answer
//   (10 00 78 56) comes back to OnResponse on the main scheduler.
// BM_BarePtyEcho: the same bytes on the wire (a 7-byte frame out, a 7-byte
//   frame back) written and read with bare write/poll/read on a pseudo-
//   terminal whose other end answers at once.
// Both report round trips per second and the median round-trip time; at the
// end the program prints the ratio of the two medians.
#include "comm/OvraActr.h"
#include "comm/OvraClnt.h"
#include "comm/OvraServ.h"
#include "comm/RsDrv.h"
#include "platform/ComPorts.h"
#include "tests/support/OvraServerFixture.h"
#include "tests/support/RoundTripBench.h"
#include "tests/support/Pty.h"
#include "tools/drivesim/SimPty.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

const std::string Request("\xA5\x04\x56\x10\x34\x12\x00", 7);
const std::string Answer("\xA5\x04\xDE\x10\x00\x78\x56", 7);

double GEchoMedianUs = 0;
double GTelegramMedianUs = 0;

// Answers every complete request frame on the master side with the answer.
class Responder {
public:
    explicit Responder(vo::test::Pty& Pty) : FPty(Pty), FThread([this](std::stop_token st) { Run(st); }) {}

private:
    void Run(std::stop_token st) {
        char buf[4096];
        size_t pending = 0;
        while (!st.stop_requested()) {
            pollfd p{FPty.masterFd(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t r = ::read(FPty.masterFd(), buf, sizeof buf);
            if (r <= 0)
                continue;
            pending += static_cast<size_t>(r);
            for (; pending >= Request.size(); pending -= Request.size())
                FPty.write(Answer);
        }
    }
    vo::test::Pty& FPty;
    std::jthread FThread;
};

void BM_BarePtyEcho(benchmark::State& state) {
    vo::test::Pty pty;
    const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        state.SkipWithError("cannot open the slave");
        return;
    }
    Responder responder(pty);
    std::vector<double> samples;
    char buf[64];
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (::write(fd, Request.data(), Request.size()) != static_cast<ssize_t>(Request.size())) {
            state.SkipWithError("write failed");
            break;
        }
        size_t got = 0;
        while (got < Answer.size()) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 1000);
            const ssize_t r = ::read(fd, buf, sizeof buf);
            if (r > 0)
                got += static_cast<size_t>(r);
        }
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    ::close(fd);
    GEchoMedianUs = vo::test::MedianUs(samples);
    state.counters["median_us"] = GEchoMedianUs;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BarePtyEcho)->UseRealTime()->MinTime(1.0);

void BM_TelegramRoundTrip(benchmark::State& state) {
    using namespace vo;
    MxEnsureMessaging();
    THeadlessPump pump;
    MxCreateMainScheduler(pump);
    {
        SimIdentity id;
        id.protocolVersion = 0x31;
        id.addrFieldSize = 3;
        id.dataFieldSize = 2;
        SimDrive drive(id);
        drive.AddRegion("RAM", SimRegionKind::Ram, 0, 0x2000);
        drive.Poke(0x1234, SimHex("78 56"));
        drive.SetRequireLogin(false);
        SimRunner runner(std::move(drive));
        SimPtyTransport line(runner);
        runner.Transcript().SetCapacity(64);
        runner.Start();
        ComPortTable::Instance().Map("COM7", line.SlavePath());

        TOvraServer server;
        server.AddPortDriver("COM7", std::make_shared<TRsDriver>(1, 38400, "COM7"));
        test::TGuiSide gui;
        TOvraService service;
        service.SetPortHandle(gui.Open("COM7"));
        if (service.PortHandle() != 0) {
            state.SkipWithError("the port did not open");
        } else {
            GTelegramMedianUs = test::TelegramRoundTrips(state, pump, service, SimHex("10 34 12 00"));
            gui.Command({"CloseDevice", "0"});
        }
        ComPortTable::Instance().Unmap("COM7");
    }
    MxFreeMainScheduler();
}
BENCHMARK(BM_TelegramRoundTrip)->UseRealTime()->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
    return vo::test::RoundTripMain(argc, argv, "bare pty echo", GTelegramMedianUs, GEchoMedianUs);
}
