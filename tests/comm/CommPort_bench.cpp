// Round trips of a 10-byte telegram through a pseudo-terminal whose other end
// echoes everything: once through TCommPort (write queue, thread-manager
// reception, receive event) and once with bare write/poll/read on the slave,
// the floor the port layer is measured against.
#include "comm/CommPort.h"

#include "kernel/ThrdMan.h"
#include "platform/ComPorts.h"
#include "tests/support/Pty.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Echoes every byte the slave side sends back to it.
class Echo {
public:
    explicit Echo(vo::test::Pty& Pty) : FPty(Pty), FThread([this](std::stop_token st) { Run(st); }) {}

private:
    void Run(std::stop_token st) {
        char buf[4096];
        while (!st.stop_requested()) {
            pollfd p{FPty.masterFd(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            ssize_t r = ::read(FPty.masterFd(), buf, sizeof buf);
            if (r > 0)
                FPty.write(std::string_view(buf, static_cast<std::size_t>(r)));
        }
    }
    vo::test::Pty& FPty;
    std::jthread FThread;
};

const std::string Telegram("\xA5\x07\x00\x10\x34\x12\x00\x00\x00\x00", 10);

void BM_BarePtyEcho(benchmark::State& state) {
    vo::test::Pty pty;
    int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        state.SkipWithError("cannot open the slave");
        return;
    }
    Echo echo(pty);
    char buf[64];
    for (auto _ : state) {
        if (::write(fd, Telegram.data(), Telegram.size()) != static_cast<ssize_t>(Telegram.size())) {
            state.SkipWithError("write failed");
            break;
        }
        std::size_t got = 0;
        while (got < Telegram.size()) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 1000);
            ssize_t r = ::read(fd, buf, sizeof buf);
            if (r > 0)
                got += static_cast<std::size_t>(r);
        }
    }
    ::close(fd);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BarePtyEcho)->UseRealTime();

void BM_CommPortEcho(benchmark::State& state) {
    vo::test::Pty pty;
    vo::ComPortTable::Instance().Map("COM255", pty.slavePath());
    vo::TThreadManager manager;
    vo::TCommPort port;
    port.SetPortName("COM255");
    std::mutex m;
    std::condition_variable cv;
    std::size_t received = 0;
    // A framing receiver asks for the rest of the telegram after its first byte.
    port.SetOnReceive([&](const vo::MyAnsiString& data, uint8_t& next, bool&) {
        std::lock_guard<std::mutex> l(m);
        received += data.size();
        std::size_t inTelegram = received % Telegram.size();
        if (inTelegram != 0)
            next = static_cast<uint8_t>(Telegram.size() - inTelegram);
        cv.notify_one();
    });
    port.OpenPort(manager);
    Echo echo(pty);
    std::size_t expected = 0;
    for (auto _ : state) {
        expected += Telegram.size();
        port.Send(Telegram);
        std::unique_lock<std::mutex> l(m);
        cv.wait(l, [&] { return received >= expected; });
    }
    port.ClosePort();
    vo::ComPortTable::Instance().Unmap("COM255");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CommPortEcho)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
