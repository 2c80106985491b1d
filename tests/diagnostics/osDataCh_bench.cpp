// Cost per sample of a recorded channel: filling, converting, min/max,
// export and import, beside the same loops over a plain std::vector<int32_t>
// with a linear conversion (the floor). Goals: fill, convert and min/max
// within twice the floor, and a cost per sample that stays flat from 10 k to
// 1 M samples. Each benchmark reports "per_sample" (seconds per sample).
// Converting is measured per sample (GetData) and by blocks (GetDataRange, a
// block into a buffer, then summed), the latter beside both the fused floor
// loop and the same block loop over the plain vector.
#include "diagnostics/osDataCh.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

namespace vo {
namespace {

constexpr double Scale = 0.001, Offset = -2.5;

void PerSample(benchmark::State& State, std::int64_t N) {
    State.counters["per_sample"] =
        benchmark::Counter(static_cast<double>(N), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

std::int32_t Sample(std::int32_t Type, int I) {
    switch (Type) {
    case osvt::SInt16:
        return (I * 37) & 0xFFFF;
    case osvt::VelFloat:
        return 0x8000 | (I & 0x7FFF) | ((I % 7) << 16);
    default:
        return I * 37 - 1000000;
    }
}

void Channel(TChanData& C, std::int32_t Type, int N) {
    C.FVarType = Type;
    C.FVarScale = Scale;
    C.FVarOffset = Offset;
    C.SetNumberOfValues(N);
    for (int i = 0; i < N; ++i) C.SetData(i, Sample(Type, i));
}

const std::vector<std::int64_t> Sizes = {10000, 100000, 1000000};
const std::vector<std::int64_t> Types = {osvt::SInt32, osvt::SInt16, osvt::VelFloat};

// --- TChanData --------------------------------------------------------------

void BM_ChanFill(benchmark::State& State) {
    const int n = static_cast<int>(State.range(0));
    for (auto _ : State) {
        TChanData c;
        c.SetNumberOfValues(n);
        for (int i = 0; i < n; ++i) c.SetData(i, Sample(osvt::SInt32, i));
        benchmark::DoNotOptimize(c.DataArray.Data());
    }
    PerSample(State, n);
}
BENCHMARK(BM_ChanFill)->ArgsProduct({Sizes});

void BM_ChanGetData(benchmark::State& State) {
    const int n = static_cast<int>(State.range(0));
    TChanData c;
    Channel(c, static_cast<std::int32_t>(State.range(1)), n);
    for (auto _ : State) {
        double sum = 0;
        for (int i = 0; i < n; ++i) sum += c.GetData(i);
        benchmark::DoNotOptimize(sum);
    }
    PerSample(State, n);
}
BENCHMARK(BM_ChanGetData)->ArgsProduct({Sizes, Types});

// The same sums over the block conversion, as a plot or an export takes them.
void BM_ChanGetDataRange(benchmark::State& State) {
    const int n = static_cast<int>(State.range(0));
    TChanData c;
    Channel(c, static_cast<std::int32_t>(State.range(1)), n);
    constexpr int block = 1024;
    double values[block];
    for (auto _ : State) {
        double sum = 0;
        for (int first = 0; first < n; first += block) {
            const int count = std::min(block, n - first);
            c.GetDataRange(first, std::span<double>(values, static_cast<std::size_t>(count)));
            // The call clobbers every floating-point register: a sum per block
            // keeps the loop's sum in one.
            double part = 0;
            for (int i = 0; i < count; ++i) part += values[i];
            sum += part;
        }
        benchmark::DoNotOptimize(sum);
    }
    PerSample(State, n);
}
BENCHMARK(BM_ChanGetDataRange)->ArgsProduct({Sizes, Types});

void BM_ChanMaxMin(benchmark::State& State) {
    const int n = static_cast<int>(State.range(0));
    TChanData c;
    Channel(c, static_cast<std::int32_t>(State.range(1)), n);
    for (auto _ : State) {
        double max = 0, min = 0;
        c.GetMaxMin(max, min);
        benchmark::DoNotOptimize(max);
        benchmark::DoNotOptimize(min);
    }
    PerSample(State, n);
}
BENCHMARK(BM_ChanMaxMin)->ArgsProduct({Sizes, Types});

void BM_ChanExport(benchmark::State& State) {
    const int n = static_cast<int>(State.range(0));
    TChanData c;
    Channel(c, osvt::SInt32, n);
    for (auto _ : State) {
        TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
        c.ExportData(d.Get());
        benchmark::DoNotOptimize(d.Get());
    }
    PerSample(State, n);
}
BENCHMARK(BM_ChanExport)->ArgsProduct({Sizes, {osvt::SInt32}})->Unit(benchmark::kMillisecond);

void BM_ChanImport(benchmark::State& State) {
    const int n = static_cast<int>(State.range(0));
    const auto type = static_cast<std::int32_t>(State.range(1));
    TChanData from, to;
    Channel(from, type, n);
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    from.ExportData(d.Get());
    to.FVarType = type;
    to.FVarScale = Scale;
    to.FVarOffset = Offset;
    for (auto _ : State) {
        to.ImportData(d.Get());
        benchmark::DoNotOptimize(to.DataArray.Data());
    }
    PerSample(State, n);
}
BENCHMARK(BM_ChanImport)->ArgsProduct({Sizes, Types})->Unit(benchmark::kMillisecond);

// --- The floor: a plain vector and a linear conversion ----------------------

double Linear(std::int32_t Raw) { return static_cast<float>(Raw * Scale + Offset); }

void BM_FloorFill(benchmark::State& State) {
    const int n = static_cast<int>(State.range(0));
    for (auto _ : State) {
        std::vector<std::int32_t> v(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = Sample(osvt::SInt32, i);
        benchmark::DoNotOptimize(v.data());
    }
    PerSample(State, n);
}
BENCHMARK(BM_FloorFill)->ArgsProduct({Sizes});

std::vector<std::int32_t> FloorData(int N) {
    std::vector<std::int32_t> v(static_cast<std::size_t>(N));
    for (int i = 0; i < N; ++i) v[static_cast<std::size_t>(i)] = Sample(osvt::SInt32, i);
    return v;
}

void BM_FloorGetData(benchmark::State& State) {
    const std::vector<std::int32_t> v = FloorData(static_cast<int>(State.range(0)));
    for (auto _ : State) {
        double sum = 0;
        for (const std::int32_t raw : v) sum += Linear(raw);
        benchmark::DoNotOptimize(sum);
    }
    PerSample(State, State.range(0));
}
BENCHMARK(BM_FloorGetData)->ArgsProduct({Sizes});

// The block loop of BM_ChanGetDataRange over the plain vector.
void BM_FloorGetDataRange(benchmark::State& State) {
    const std::vector<std::int32_t> v = FloorData(static_cast<int>(State.range(0)));
    const int n = static_cast<int>(v.size());
    constexpr int block = 1024;
    double values[block];
    for (auto _ : State) {
        double sum = 0;
        for (int first = 0; first < n; first += block) {
            const int count = std::min(block, n - first);
            for (int i = 0; i < count; ++i) values[i] = Linear(v[static_cast<std::size_t>(first + i)]);
            benchmark::ClobberMemory();
            double part = 0;
            for (int i = 0; i < count; ++i) part += values[i];
            sum += part;
        }
        benchmark::DoNotOptimize(sum);
    }
    PerSample(State, n);
}
BENCHMARK(BM_FloorGetDataRange)->ArgsProduct({Sizes});

void BM_FloorMaxMin(benchmark::State& State) {
    const std::vector<std::int32_t> v = FloorData(static_cast<int>(State.range(0)));
    for (auto _ : State) {
        double max = Linear(v[0]), min = max;
        for (const std::int32_t raw : v) {
            const double x = Linear(raw);
            max = std::max(max, x);
            min = std::min(min, x);
        }
        benchmark::DoNotOptimize(max);
        benchmark::DoNotOptimize(min);
    }
    PerSample(State, State.range(0));
}
BENCHMARK(BM_FloorMaxMin)->ArgsProduct({Sizes});

void BM_FloorExport(benchmark::State& State) {
    const std::vector<std::int32_t> v = FloorData(static_cast<int>(State.range(0)));
    for (auto _ : State) {
        std::vector<double> out;
        out.reserve(v.size());
        for (const std::int32_t raw : v) out.push_back(Linear(raw));
        benchmark::DoNotOptimize(out.data());
    }
    PerSample(State, State.range(0));
}
BENCHMARK(BM_FloorExport)->ArgsProduct({Sizes})->Unit(benchmark::kMillisecond);

void BM_FloorImport(benchmark::State& State) {
    const std::vector<std::int32_t> raw = FloorData(static_cast<int>(State.range(0)));
    std::vector<double> values;
    for (const std::int32_t r : raw) values.push_back(Linear(r));
    std::vector<std::int32_t> back(values.size());
    for (auto _ : State) {
        for (std::size_t i = 0; i < values.size(); ++i)
            back[i] = static_cast<std::int32_t>(std::nearbyint((values[i] - Offset) / Scale));
        benchmark::DoNotOptimize(back.data());
    }
    PerSample(State, State.range(0));
}
BENCHMARK(BM_FloorImport)->ArgsProduct({Sizes})->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vo

BENCHMARK_MAIN();
