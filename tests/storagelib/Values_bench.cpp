// Speed of the values everything else is built on: a dictionary of 100,000
// names (insert and look up), and making and freeing 1,000,000 small values.
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Rec.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace vo {
namespace {

std::vector<std::string> Names(int n) {
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) names.push_back("Parameter_" + std::to_string(i * 7919 % 1000003));
    return names;
}

void BM_DictionaryInsert(benchmark::State& state) {
    const std::vector<std::string> names = Names(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
        for (const std::string& n : names) d->AddObject(n, nullptr);
        benchmark::DoNotOptimize(d->GetCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DictionaryInsert)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_DictionaryLookup(benchmark::State& state) {
    const std::vector<std::string> names = Names(static_cast<int>(state.range(0)));
    std::vector<std::string> upper = names;
    for (std::string& n : upper) // looked up in another case than added
        for (char& c : n)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    for (const std::string& n : names) d->SetIntWithName(n, 1);
    for (auto _ : state) {
        int64_t sum = 0;
        for (const std::string& n : upper) sum += d->IndexOfName(n);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DictionaryLookup)->Arg(100000)->Unit(benchmark::kMillisecond);

// A small dictionary (a settings section, a module-description row) looked up
// by name: no index, a scan.
void BM_SmallDictionaryLookup(benchmark::State& state) {
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    const char* names[] = {"Type", "Version", "Name", "Path", "Caption", "UPID"};
    for (const char* n : names) d->SetIntWithName(n, 1);
    for (auto _ : state) {
        int64_t sum = 0;
        for (const char* n : names) sum += d->IndexOfName(n);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 6);
}
BENCHMARK(BM_SmallDictionaryLookup);

void BM_SmallValuesCreateAndFree(benchmark::State& state) {
    for (auto _ : state) {
        for (int i = 0; i < 1000000; ++i) {
            TRef<TSLLongint> v = MakeRef<TSLLongint>(i);
            benchmark::DoNotOptimize(v.Get());
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_SmallValuesCreateAndFree)->Unit(benchmark::kMillisecond);

// The same values kept in an array and freed together, and autoreleased and
// freed by a purge.
void BM_SmallValuesInArrayAndPool(benchmark::State& state) {
    for (auto _ : state) {
        TRef<TSLArray> a = MakeRef<TSLArray>();
        a->SetCapacity(500000);
        for (int i = 0; i < 500000; ++i) a->AddObject(MakeRef<TSLLongint>(i).Get());
        for (int i = 0; i < 500000; ++i) NewRefObj<TSLString>(true, "s");
        PurgeAutoReleasePool();
        benchmark::DoNotOptimize(a->GetCount());
    }
    state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_SmallValuesInArrayAndPool)->Unit(benchmark::kMillisecond);

void BM_RecordsOverOneDefinition(benchmark::State& state) {
    TRef<TSLDictionary> def = MakeRef<TSLDictionary>();
    def->SetIdent("Row");
    for (int i = 0; i < 12; ++i) def->SetIntWithName("Field" + std::to_string(i), 0);
    for (auto _ : state) {
        TRef<TSLArray> rows = MakeRef<TSLArray>();
        for (int i = 0; i < 10000; ++i) {
            TRef<TSLRecord> r = MakeRef<TSLRecord>(def.Get());
            r->SetIntWithName("Field7", i);
            rows->AddObject(r.Get());
        }
        benchmark::DoNotOptimize(rows->GetCount());
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_RecordsOverOneDefinition)->Unit(benchmark::kMillisecond);

void BM_DeepCopy(benchmark::State& state) {
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    for (int i = 0; i < 10000; ++i) {
        TRef<TSLDictionary> row = MakeRef<TSLDictionary>();
        row->SetIntWithName("UPID", i);
        row->SetStrWithName("Caption", "Parameter");
        row->SetFloatWithName("Scale", 0.5);
        d->AddObject("P" + std::to_string(i), row.Get());
    }
    for (auto _ : state) {
        TRef<TSLObject> c = d->CopyRef();
        benchmark::DoNotOptimize(c.Get());
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_DeepCopy)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vo

BENCHMARK_MAIN();
