// Drive frames of 255 bytes per second over the virtual CAN bus: the
// program's CAN driver (master 255) sends to MAC-ID 3, where a second CAN
// driver (master 3, the program's MAC-ID 255 bound) puts the 32 CAN frames of
// each together and hands the drive frame to its device. One frame in flight
// at a time: the figure includes segmentation, the bus, the receive thread,
// reassembly and the slave task.
#include "comm/CANMan.h"
#include "comm/CANdrv.h"
#include "kernel/MxMLib20.h"
#include "kernel/ThrdMan.h"
#include "platform/CanAdapter.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>

namespace {

void BM_CanFrames255(benchmark::State& state) {
    using namespace vo;
    MxEnsureMessaging();
    CanMapLibrary("canusb.dll", "virtual:bench");
    {
        auto scheduler = TMxScheduler::CreateThreaded("CanBench");
        TThreadManager threads;
        TCANDriver program, drive;
        drive.SetOvraMasterMACID(3);
        program.Open(*scheduler, threads);
        drive.Open(*scheduler, threads);
        std::mutex m;
        std::condition_variable cv;
        size_t received = 0;
        bool intact = true;
        const std::string frame = [] {
            std::string f(255, '\0');
            for (size_t i = 0; i < f.size(); ++i)
                f[i] = static_cast<char>(i);
            return f;
        }();
        drive.Assign(
            255,
            [&](int32_t, const std::string& F) {
                std::lock_guard lock(m);
                intact = intact && F == frame;
                ++received;
                cv.notify_all();
            },
            nullptr);
        if (!program.GetIsConnected() || !drive.GetIsConnected())
            state.SkipWithError("the adapters did not connect");
        size_t sent = 0;
        for (auto _ : state) {
            if (program.Send(3, frame) != 0) {
                state.SkipWithError("send failed");
                break;
            }
            ++sent;
            std::unique_lock lock(m);
            if (!cv.wait_for(lock, std::chrono::seconds(5), [&] { return received == sent; })) {
                state.SkipWithError("a frame was lost");
                break;
            }
        }
        if (!intact)
            state.SkipWithError("a frame came back changed");
        state.SetItemsProcessed(state.iterations());
        state.SetBytesProcessed(state.iterations() * 255);
        drive.Assign(255, nullptr, nullptr);
        drive.Close();
        program.Close();
    }
    CanMapLibrary("canusb.dll", "");
}
BENCHMARK(BM_CanFrames255)->UseRealTime()->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
