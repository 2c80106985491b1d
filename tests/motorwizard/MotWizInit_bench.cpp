// Starting the motor wizard: Init with a generated definition file of 400
// items with rules (300 parameters: numbers, enumerations whose entries
// assign numbers and choose by a selector, texts, switches; 100 values)
// on a small drive tree, against reading the same file as a dictionary
// only. Both run in the same benchmark; the counter "ratio" is Init over
// reading (goal: at most 3).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "kernel/UserPrompt.h"
#include "motorwizard/MotWizMan.h"
#include "storagelib/SL20Dic.h"
#include "tests/motorwizard/MiniTree.h"

using namespace vo;

namespace {

class TSilentPrompt : public TUserPrompt {
public:
    TModalResult Prompt(const TPromptRequest&) override { return mrOk; }
};

std::string GeneratedFile() {
    std::string f = "[D /Type 'Actuator Definition File' /Version 21 /MinMCSubVersionR4 1\n/WizardValues [A\n";
    for (int i = 0; i < 100; ++i)
        f += "[D /Type 'DOUBLE' /Name 'V" + std::to_string(i) + "' /Value " + std::to_string(i % 7) +
            ".5 /UUID 1 /Caption 'Value " + std::to_string(i) + "' /OnChange [A [D /Name 'CalculateFFValues' ] ] ]\n";
    f += "]\n/MCParameters [A\n";
    for (int i = 0; i < 300; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 4) {
        case 0:
            f += "[D /Type 'DOUBLE' /Name 'D" + n + "' /TreeUPID 1 /DefValue 0.25 /MinValue 0.0 /MaxValue 5.0"
                                                    " /OnChange [A [D /Name 'CalculateStrokeRange' ] ] ]\n";
            break;
        case 1:
            f += "[D /Type 'ENUM' /Name 'E" + n + "' /TreeUPID 2 /DefValue 0 /ENumDef [A"
                                                  " [D /Value -1 /Caption 'Minus' /OnSelect [A ] ]"
                                                  " [D /Value 0 /OnSelect [A [D /Name 'D" +
                std::to_string(i - 1) + "' /Value 1.5 ] ]"
                                        "   /OnSelectCaseInt [A [D /CaseVar 'V" +
                std::to_string(i % 100) + "' /CaseArr [A"
                                          "     [D /CaseValue 2 /Name 'V" +
                std::to_string((i + 1) % 100) + "' /Value 3.0 ]"
                                                "     [D /CaseValue 4 /Name 'D" +
                std::to_string(i - 1) + "' /Value 2.0 ] ] ] ] ]"
                                        " [D /Value 1 /Caption 'Plus' /OnSelect [A ] ] ] ]\n";
            break;
        case 2:
            f += "[D /Type 'STRING' /Name 'S" + n + "' /TreeUPID 5 /DefValue 'text " + n + "' ]\n";
            break;
        default:
            f += "[D /Type 'BOOLEAN' /Name 'B" + n + "' /TreeUPID 6 /DefValue #1 /StartWithTreeValue #1 ]\n";
        }
    }
    f += "]\n/WizardPages [A [D /PageID 0 /PageInfo [A [D /Name 'D0' /Visible 'Allways' ] ] ] ] ]\n";
    return f;
}

void BM_InitVersusRead(benchmark::State& state) {
    TSilentPrompt prompt;
    TUserPromptScope scope(prompt);
    const auto folder = std::filesystem::temp_directory_path() / ("motwiz-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "LM.adf", std::ios::binary) << GeneratedFile();
    test::TMiniTree tree;
    TMotWizManager man;
    RegisterWizardClasses(man);
    man.SetMotorsFolder(folder);
    double initSeconds = 0, readSeconds = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        TRef<TSLDictionary> dict = man.ReadADFFile(folder / "LM.adf");
        auto t1 = std::chrono::steady_clock::now();
        man.FInitializing = true;
        if (!man.Init(tree, false))
            state.SkipWithError("Init refused the file");
        auto t2 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(dict.Get());
        readSeconds += std::chrono::duration<double>(t1 - t0).count();
        initSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    man.ReleaseTree();
    std::filesystem::remove_all(folder);
    state.counters["items"] = man.GetWizParCount() + man.GetWizValCount();
    state.counters["ratio"] = readSeconds > 0 ? initSeconds / readSeconds : 0;
    std::printf("Init / read of the file: %.2f (goal <= 3)\n", readSeconds > 0 ? initSeconds / readSeconds : 0);
}
BENCHMARK(BM_InitVersusRead)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
