#pragma once
// Shared pieces of the telegram round-trip benchmarks: the median of the
// samples, the timed loop of one raw telegram through the client, the server
// and a port driver to a simulated drive, and the main that prints the ratio
// of the two medians (telegram against the bare medium).
//
// Header only: it needs the comm library and Google Benchmark.
#include "comm/OvraActr.h"
#include "comm/OvraClnt.h"
#include "platform/MainLoop.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace vo::test {

inline double MedianUs(std::vector<double>& Samples) {
    if (Samples.empty())
        return 0;
    std::nth_element(Samples.begin(), Samples.begin() + static_cast<std::ptrdiff_t>(Samples.size() / 2),
                     Samples.end());
    return Samples[Samples.size() / 2];
}

// The benchmark loop: each iteration puts Frame as one raw record of Service
// into a pooled actor and waits on the main scheduler (Pump) for its
// response. Reports round trips per second and "median_us"; returns the
// median in microseconds.
inline double TelegramRoundTrips(benchmark::State& State, THeadlessPump& Pump, TOvraService& Service,
                                 const MyAnsiString& Frame) {
    using Clock = std::chrono::steady_clock;
    TOvraClient client;
    TOvraActorLease actor(client);
    TRawFramePattern raw(&Service);
    bool done = false;
    actor->SetOnResponse([&](TOvraActor&) { done = true; });
    std::vector<double> samples;
    for (auto _ : State) {
        const auto t0 = Clock::now();
        actor->Clear();
        raw.Put(*actor, Frame, 0);
        done = false;
        actor->Execute();
        if (!Pump.RunUntil([&] { return done; }, std::chrono::seconds(10))) {
            State.SkipWithError("no response");
            break;
        }
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (actor->GetResult() != 0) {
            State.SkipWithError("the drive did not answer");
            break;
        }
    }
    const double median = MedianUs(samples);
    State.counters["median_us"] = median;
    State.SetItemsProcessed(State.iterations());
    return median;
}

// Runs the benchmarks, then prints the ratio of the medians.
inline int RoundTripMain(int argc, char** argv, const char* MediumName, const double& TelegramUs,
                         const double& EchoUs) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (EchoUs > 0 && TelegramUs > 0)
        std::printf("median round trip: telegram %.1f us, %s %.1f us, ratio %.2f\n", TelegramUs, MediumName, EchoUs,
                    TelegramUs / EchoUs);
    return 0;
}

} // namespace vo::test
