// Speed of the text notation on a generated module description of about
// 10 MB (an array of thousands of parameter records sharing one definition,
// and of message dictionaries): reading and writing it in memory and as a
// file, and, for comparison, parsing the same data as JSON with RapidJSON and
// nlohmann::json. Prints MB/s for each and the ratios at the end.
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Enc.h"
#include "storagelib/SL20Fil.h"
#include "storagelib/SL20Rec.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>

namespace vo {
namespace {

constexpr std::size_t TargetBytes = 10 * 1000 * 1000;

std::string Word(uint32_t& Seed) {
    static const char* const words[] = {"speed", "limit", "current", "position", "error", "window", "gain",
                                        "filter", "time", "motor", "encoder", "offset", "phase", "force"};
    Seed = Seed * 1103515245u + 12345u;
    return words[(Seed >> 16) % 14];
}

// A module description: parameter records and message dictionaries until the
// text reaches TargetBytes.
TRef<TSLObject> MakeModuleDescription() {
    uint32_t seed = 1;
    TRef<TSLDictionary> def = MakeRef<TSLDictionary>();
    def->SetIdent("Par");
    for (const char* f : {"UPID", "Caption", "Unit", "Min", "Max", "Default", "Scale", "Flags", "Type"})
        def->AddObject(f, nullptr);
    TRef<TSLArray> pars = MakeRef<TSLArray>();
    TRef<TSLArray> texts = MakeRef<TSLArray>();
    std::size_t approx = 0;
    for (int i = 0; approx < TargetBytes; ++i) {
        TRef<TSLRecord> r = MakeRef<TSLRecord>(def.Get());
        r->SetIntWithName("UPID", 0x1000 + i);
        r->SetStrWithName("Caption", Word(seed) + " " + Word(seed) + " " + std::to_string(i));
        r->SetStrWithName("Unit", i % 3 ? "mm/s" : "A");
        r->SetIntWithName("Min", -(i % 5000));
        r->SetIntWithName("Max", 100000 + i);
        r->SetFloatWithName("Default", i * 0.125);
        r->SetFloatWithName("Scale", 1.0 / (1 + i % 7));
        TRef<TSLArray> flags = MakeRef<TSLArray>();
        flags->AddObject(MakeRef<TSLBoolean>(i % 2 == 0).Get());
        flags->AddObject(MakeRef<TSLBoolean>(i % 3 == 0).Get());
        r->SetObjWithName("Flags", flags.Get());
        r->SetObjWithName("Type", MakeRef<TSLIdent>(i % 2 ? "UInt16" : "SInt32", false).Get());
        pars->AddObject(r.Get());
        approx += 120;
        if (i % 3 == 0) {
            TRef<TSLDictionary> t = MakeRef<TSLDictionary>();
            t->AddObject("Id", MakeRef<TSLLongint>(i).Get());
            t->AddObject("Level", MakeRef<TSLLongint>(i % 4).Get());
            t->AddObject("Text", MakeRef<TSLString>("The " + Word(seed) + " of the " + Word(seed) + " is out of range ('" + Word(seed) + "')").Get());
            texts->AddObject(t.Get());
            approx += 90;
        }
    }
    TRef<TSLDictionary> info = MakeRef<TSLDictionary>();
    info->AddObject("Type", MakeRef<TSLString>("ModuleDescription").Get());
    info->AddObject("Version", MakeRef<TSLLongint>(3).Get());
    TRef<TSLDictionary> root = MakeRef<TSLDictionary>();
    root->AddObject("Info", info.Get());
    root->AddObject("Parameters", pars.Get());
    root->AddObject("Messages", texts.Get());
    return TRef<TSLObject>(root.Get());
}

void JsonString(std::string& Out, std::string_view S) {
    Out += '"';
    for (char c : S) {
        if (c == '"' || c == '\\') Out += '\\';
        Out += c;
    }
    Out += '"';
}

// The same data as JSON: dictionaries and records as objects.
void ToJson(std::string& Out, TSLObject* Obj) {
    if (!Obj) {
        Out += "null";
    } else if (auto* r = dynamic_cast<TSLRecord*>(Obj)) {
        Out += '{';
        for (int i = 0; i < r->GetCount(); ++i) {
            if (i) Out += ',';
            JsonString(Out, r->GetNameAtIndex(i));
            Out += ':';
            ToJson(Out, r->GetObjAtIndex(i));
        }
        Out += '}';
    } else if (auto* d = dynamic_cast<TSLDictionary*>(Obj)) {
        Out += '{';
        for (int i = 0; i < d->GetCount(); ++i) {
            if (i) Out += ',';
            JsonString(Out, d->NameRefAtIndex(i));
            Out += ':';
            ToJson(Out, d->GetObjAtIndex(i));
        }
        Out += '}';
    } else if (auto* a = dynamic_cast<TSLArray*>(Obj)) {
        Out += '[';
        for (int i = 0; i < a->GetCount(); ++i) {
            if (i) Out += ',';
            ToJson(Out, a->GetObjAtIndex(i));
        }
        Out += ']';
    } else if (auto* l = dynamic_cast<TSLLongint*>(Obj)) {
        Out += std::to_string(l->GetLongintValue());
    } else if (auto* f = dynamic_cast<TSLDouble*>(Obj)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", f->GetDoubleValue());
        Out += buf;
    } else if (auto* s = dynamic_cast<TSLString*>(Obj)) {
        JsonString(Out, s->GetStringValue());
    } else if (auto* b = dynamic_cast<TSLBoolean*>(Obj)) {
        Out += b->GetBooleanValue() ? "true" : "false";
    } else if (auto* id = dynamic_cast<TSLIdent*>(Obj)) {
        JsonString(Out, id->GetIdentValue());
    }
}

struct TData {
    TRef<TSLObject> Value;
    std::string Notation;
    std::string Json;
    std::string FileName;
};

TData& Data() {
    static TData d = [] {
        TData t;
        t.Value = MakeModuleDescription();
        t.Notation = SLEncodeToString(t.Value.Get());
        ToJson(t.Json, t.Value.Get());
        t.FileName = "/tmp/vo-bench-notation-" + std::to_string(::getpid()) + ".IN2";
        SLWriteFileReplacing(t.FileName, t.Notation);
        return t;
    }();
    return d;
}

void BM_NotationRead(benchmark::State& state) {
    TData& d = Data();
    TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(stream.Get());
    for (auto _ : state) {
        stream->SetBuffer(d.Notation);
        look->SetCharStream(stream.Get());
        TRef<TSLObject> v = decoder->ReadSingleObjectRef(look.Get(), false);
        benchmark::DoNotOptimize(v.Get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Notation.size()));
}

void BM_NotationReadDebug(benchmark::State& state) {
    TData& d = Data();
    TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(stream.Get());
    for (auto _ : state) {
        stream->SetBuffer(d.Notation);
        look->SetCharStream(stream.Get());
        TRef<TSLObject> v = decoder->ReadSingleObjectRef(look.Get(), true);
        benchmark::DoNotOptimize(v.Get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Notation.size()));
}

void BM_NotationReadFile(benchmark::State& state) {
    TData& d = Data();
    TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    for (auto _ : state) {
        TRef<TSLObject> v = SLReadObjectFile(*decoder, d.FileName, false);
        benchmark::DoNotOptimize(v.Get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Notation.size()));
}

void BM_NotationWrite(benchmark::State& state) {
    TData& d = Data();
    TRef<TSLStreamEncoder> encoder = MakeRef<TSLStreamEncoder>();
    TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
    for (auto _ : state) {
        stream->Rewrite();
        encoder->WriteObject(stream.Get(), d.Value.Get());
        benchmark::DoNotOptimize(stream->GetBuffer().size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Notation.size()));
}

void BM_NotationWriteFile(benchmark::State& state) {
    TData& d = Data();
    TRef<TSLStreamEncoder> encoder = MakeRef<TSLStreamEncoder>();
    const std::string name = d.FileName + ".out";
    for (auto _ : state) SLWriteObjectFile(*encoder, name, d.Value.Get(), sfASCII);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Notation.size()));
    ::unlink(name.c_str());
}

void BM_JsonReadRapidJson(benchmark::State& state) {
    TData& d = Data();
    for (auto _ : state) {
        rapidjson::Document doc;
        doc.Parse(d.Json.c_str(), d.Json.size());
        if (doc.HasParseError()) state.SkipWithError("RapidJSON parse error");
        benchmark::DoNotOptimize(doc.IsObject());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Json.size()));
}

void BM_JsonReadNlohmann(benchmark::State& state) {
    TData& d = Data();
    for (auto _ : state) {
        nlohmann::json j = nlohmann::json::parse(d.Json);
        benchmark::DoNotOptimize(j.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Json.size()));
}

BENCHMARK(BM_NotationRead)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NotationReadDebug)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NotationReadFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NotationWrite)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NotationWriteFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JsonReadRapidJson)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JsonReadNlohmann)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps the MB/s of every run for the ratios.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& Runs) override {
        ConsoleReporter::ReportRuns(Runs);
        for (const Run& r : Runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end()) MBps[r.benchmark_name()] = it->second.value / 1e6;
        }
    }
    std::map<std::string, double> MBps;
};

} // namespace
} // namespace vo

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    vo::TData& d = vo::Data();
    std::printf("notation text: %.1f MB, the same data as JSON: %.1f MB\n", d.Notation.size() / 1e6, d.Json.size() / 1e6);
    vo::TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto get = [&](const char* name) {
        for (const auto& [k, v] : reporter.MBps)
            if (k.rfind(name, 0) == 0) return v;
        return 0.0;
    };
    std::printf("\nMB/s\n");
    for (const auto& [k, v] : reporter.MBps) std::printf("  %-32s %8.1f\n", k.c_str(), v);
    const double read = get("BM_NotationRead/"), rj = get("BM_JsonReadRapidJson"), nl = get("BM_JsonReadNlohmann");
    const double write = get("BM_NotationWrite/");
    if (read > 0 && rj > 0) std::printf("notation read / RapidJSON parse:      %.2f\n", read / rj);
    if (read > 0 && nl > 0) std::printf("notation read / nlohmann::json parse: %.2f\n", read / nl);
    if (read > 0 && write > 0) std::printf("notation write / notation read:       %.2f\n", write / read);
    ::unlink(d.FileName.c_str());
    benchmark::Shutdown();
    return 0;
}
