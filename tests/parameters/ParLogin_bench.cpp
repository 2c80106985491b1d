// The login read of a generated tree of 2,000 parameters over a pseudo-
// terminal, against two floors measured in the same run on the same medium:
//  - raw: the same 2,000 read telegrams (88 00 <UPID>) sent one by one as raw
//    records through the client and the communication server to the same
//    simulated drive;
//  - echo: 2,000 frames of the same size written and answered on a bare
//    pseudo-terminal (write, poll, read; the other end answers at once).
// The read pass is the service's own: a client invalidates every node and
// reads the tree again, one telegram per node from the previous answer's
// handler. Prints the three times and the ratios; the goal is at most 2x the
// echo floor.
#include "comm/OvraActr.h"
#include "parameters/PtInt.h"
#include "tests/parameters/ParLoginFixture.h"
#include "tests/support/Pty.h"
#include "tools/drivesim/SimDescriptions.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace vo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int ParameterCount = 2000;
constexpr int PerDirectory = 100;
const char* const TreeName = "BenchTree_Std_V1S0";

double Ms(Clock::time_point Since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - Since).count();
}

// The description of the generated tree: directories of 100 UInt16 values.
std::string GeneratedDescription() {
    std::string s = "[D /ModuleInfo [D /TreeLevel 2 /FileName '" + std::string(TreeName) + "' ] /ParameterArray [A\n";
    int upid = 0x2000;
    for (int d = 0; d < ParameterCount / PerDirectory; ++d) {
        s += d == 0 ? "[R [D:Directory /UPID 65536 /Level 1 /Caption '' /Permission 85 /AddrUsage 0 /UseVFlag '' ]"
                    : "[R @Directory";
        s += " [A " + std::to_string(65536 + d) + " 1 'Group " + std::to_string(d) + "' 85 0 '' ] ]\n";
        for (int i = 0; i < PerDirectory; ++i, ++upid) {
            s += d == 0 && i == 0 ? "[R [D:UInt16 /UPID 0 /Level 2 /Caption '' /Permission 255 /AddrUsage 15 /UseVFlag ''"
                                    " /UUID 0 /MinValue 0 /MaxValue 65535 /DefValue 0 ]"
                                  : "[R @UInt16";
            s += " [A " + std::to_string(upid) + " 2 'Value " + std::to_string(upid) + "' 255 15 '' 0 0 65535 " +
                std::to_string(upid & 0xFF) + " ] ]\n";
        }
    }
    return s + "] ]\n";
}

class Bench : public test::ParLoginTestBase {
public:
    void TestBody() override {}
    void Begin() {
        SetUp();
        SetWorkDir(RealPathToStored(Dir.Path()));
        Dir.Write(std::string("Firmware/") + TreeName + ".IN2", GeneratedDescription());
        Dir.Write("Firmware/VxIntf_Std_V1S1.IN2", "[D /ModuleInfo [D /TreeLevel 3 ] ]");
        SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
        SimNodeFields f;
        f.fileType = 5;
        f.fileSubType = 2;
        f.completeName = TreeName;
        drive.drive.Poke(0x8080, SimBuildInfoNode(f, 0x41, 2));
        drive.drive.Instances()[0].treeName = TreeName;
        SimApplyDescription(drive.drive, (Dir.Path() / "Firmware" / (std::string(TreeName) + ".IN2")).string());
        Attach(std::move(drive));
        Runner->Transcript().SetCapacity(64);
    }
    void End() { TearDown(); }

    // The whole login (module walk, tree, read), in ms; the device in Device.
    double Login() {
        const auto t0 = Clock::now();
        Device = &NewDevice();
        if (!Start(*Device) || Device->State() != dstStarted)
            return -1;
        return Ms(t0);
    }

    // Every node invalidated and read again in one pass of the service.
    double ReadPass() {
        TParameterService& s = Params(*Device);
        const auto t0 = Clock::now();
        const bool ok = RunPass(
            s,
            [&](TServiceClient& C) {
                s.PrepareUpdate(C);
                s.ForEachParameter([&](TParameter& P, bool&) {
                    P.Invalidate(C);
                    P.Update(C);
                });
            },
            [&](TServiceClient& C) { s.ExecuteUpdate(C); });
        return ok ? Ms(t0) : -1;
    }

    // The same read telegrams as raw records, one by one.
    double RawRoundTrips() {
        TOvraActorLease actor(*Client);
        TRawFramePattern raw(&Ovra(*Device));
        bool done = false;
        actor->SetOnResponse([&](TOvraActor&) { done = true; });
        const auto t0 = Clock::now();
        for (int i = 0; i < ParameterCount; ++i) {
            const int upid = 0x2000 + i;
            actor->Clear();
            raw.Put(*actor, MyAnsiString{'\x88', '\x00', char(upid & 0xFF), char(upid >> 8)}, 0);
            done = false;
            actor->Execute();
            if (!RunUntil([&] { return done; }, std::chrono::seconds(10)))
                return -1;
        }
        return Ms(t0);
    }

    TDevice* Device = nullptr;
    test::TTempFolder Dir;
};

// The bare floor: 2,000 frames of the read's size out and its answer's size
// back on a pseudo-terminal.
double BareEcho() {
    const std::string request("\xA5\x04\x00\x88\x00\x00\x20", 7);
    const std::string answer("\xA5\x04\x00\x88\x00\x00\x20", 7);
    test::Pty pty;
    const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    std::jthread responder([&](std::stop_token st) {
        char buf[4096];
        size_t pending = 0;
        while (!st.stop_requested()) {
            pollfd p{pty.masterFd(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t r = ::read(pty.masterFd(), buf, sizeof buf);
            if (r <= 0)
                continue;
            pending += static_cast<size_t>(r);
            for (; pending >= request.size(); pending -= request.size()) pty.write(answer);
        }
    });
    char buf[64];
    const auto t0 = Clock::now();
    for (int i = 0; i < ParameterCount; ++i) {
        if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
            return -1;
        size_t got = 0;
        while (got < answer.size()) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 1000);
            const ssize_t r = ::read(fd, buf, sizeof buf);
            if (r > 0)
                got += static_cast<size_t>(r);
        }
    }
    const double ms = Ms(t0);
    responder.request_stop();
    ::close(fd);
    return ms;
}

double GLogin = 0, GRead = 0, GRaw = 0, GEcho = 0;

void BM_ParameterLoginRead(benchmark::State& State) {
    for (auto _ : State) {
        Bench b;
        b.Begin();
        GLogin = b.Login();
        GRead = b.ReadPass();
        GRaw = b.RawRoundTrips();
        b.End();
        GEcho = BareEcho();
        if (GLogin < 0 || GRead < 0 || GRaw < 0 || GEcho < 0) {
            State.SkipWithError("a run failed");
            break;
        }
    }
    State.counters["read_ms"] = GRead;
    State.counters["raw_ms"] = GRaw;
    State.counters["echo_ms"] = GEcho;
}
BENCHMARK(BM_ParameterLoginRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
} // namespace vo

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    using namespace vo;
    std::printf("%d parameters over a pseudo-terminal: login %.1f ms, read pass %.1f ms; raw 88 round trips %.1f ms; "
                "bare echo %.1f ms; read/echo %.2f, raw/echo %.2f\n",
                ParameterCount, GLogin, GRead, GRaw, GEcho, GRead / GEcho, GRaw / GEcho);
    return 0;
}
