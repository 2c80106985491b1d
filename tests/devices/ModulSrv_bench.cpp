// The description search of a module-service start on a Firmware folder of
// 3,000 descriptions in nested folders, against one bare recursive listing of
// the same folder: the search lists the folder once and matches every tree
// (exact, second name, both fallbacks) against that list, so its cost stays
// close to the listing's. Prints the ratio.
#include "devices/ModulSrv.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

struct TFirmwareFolder {
    TFirmwareFolder() {
        Root = fs::temp_directory_path() / ("vo-bench-firmware-" + std::to_string(::getpid()));
        for (int a = 0; a < 10; ++a)
            for (int b = 0; b < 10; ++b) {
                const fs::path dir = Root / ("Family" + std::to_string(a)) / ("Release" + std::to_string(b));
                fs::create_directories(dir);
                for (int c = 0; c < 30; ++c)
                    std::ofstream(dir / ("Tree" + std::to_string(a) + "_Std_V" + std::to_string(b) + "S" + std::to_string(c) + "_B1.IN2"))
                        << "[D ]";
            }
        // The trees of the start are found last (in the deepest, last folder).
        std::ofstream(Root / "Family9" / "Release9" / "VxMotion_Std_V1S2.IN2") << "[D ]";
        std::ofstream(Root / "Family9" / "Release9" / "VxIntf_Std_V1S1_B3.IN2") << "[D ]";
    }
    ~TFirmwareFolder() {
        std::error_code ec;
        fs::remove_all(Root, ec);
    }
    fs::path Root;
};

TFirmwareFolder& Folder() {
    static TFirmwareFolder folder;
    return folder;
}

size_t BareListing() {
    size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(Folder().Root))
        n += e.is_regular_file();
    return n;
}

size_t SearchOfAStart() {
    const vo::TDescriptionFolder folder(Folder().Root);
    size_t found = 0;
    for (const char* tree : {"VxMotion_Std_V1S2", "VxIntf_Std_V1S1_B9", "ApplTr7300Dorvan_Std_V1S0", "Tree3_QTR2_V4S7_B2"})
        found += vo::SearchModuleDescription(folder, tree).Kind != vo::TMatchKind::mkNone;
    return found;
}

void BM_BareRecursiveListing(benchmark::State& State) {
    for (auto _ : State)
        benchmark::DoNotOptimize(BareListing());
}
BENCHMARK(BM_BareRecursiveListing)->Unit(benchmark::kMillisecond);

void BM_ModuleServiceSearch(benchmark::State& State) {
    for (auto _ : State)
        benchmark::DoNotOptimize(SearchOfAStart());
}
BENCHMARK(BM_ModuleServiceSearch)->Unit(benchmark::kMillisecond);

double MeanMs(size_t (*F)(), int Rounds) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < Rounds; ++i)
        benchmark::DoNotOptimize(F());
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / Rounds;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    const double bare = MeanMs(BareListing, 20);
    const double search = MeanMs(SearchOfAStart, 20);
    std::printf("descriptions: %zu; bare listing %.2f ms, module-service search %.2f ms, ratio %.2f\n", BareListing(),
                bare, search, search / bare);
    benchmark::Shutdown();
    return 0;
}
