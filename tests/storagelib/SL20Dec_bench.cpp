// Speed and memory of the text notation on a generated module description
// (an array of thousands of parameter records sharing one definition, and of
// message dictionaries): reading (parse and free) and writing it in memory and
// as a file, and, for comparison, the same data as JSON with RapidJSON (DOM
// parse and free, writer) and nlohmann::json. Reading is timed at about 1, 10
// and 50 MB, so that the cost per megabyte can be compared across sizes. The
// memory a read description holds is measured as the growth of the resident
// size of a fresh child process that reads it (and the same for RapidJSON's
// DOM). Prints MB/s for each, and the ratio table at the end.
//
//   bench_storagelib_SL20Dec_bench [Google Benchmark options]
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
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace vo {
namespace {

// The sizes the reading is timed at (MB); the middle one is the usual size
// of a large module description and the one every other figure is for.
constexpr int SizesMB[] = {1, 10, 50};
constexpr int MainSizeMB = 10;

std::string Word(uint32_t& Seed) {
    static const char* const words[] = {"speed", "limit", "current", "position", "error", "window", "gain",
                                        "filter", "time", "motor", "encoder", "offset", "phase", "force"};
    Seed = Seed * 1103515245u + 12345u;
    return words[(Seed >> 16) % 14];
}

// A module description: parameter records and message dictionaries until the
// text reaches TargetBytes.
TRef<TSLObject> MakeModuleDescription(std::size_t TargetBytes) {
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

std::map<int, TData>& AllData() {
    static std::map<int, TData> all;
    return all;
}

// The data of a size (MB), made on first use.
TData& Data(int MB = MainSizeMB) {
    std::map<int, TData>& all = AllData();
    auto it = all.find(MB);
    if (it != all.end()) return it->second;
    TData& t = all[MB];
    t.Value = MakeModuleDescription(static_cast<std::size_t>(MB) * 1000 * 1000);
    t.Notation = SLEncodeToString(t.Value.Get());
    ToJson(t.Json, t.Value.Get());
    t.FileName = "/tmp/vo-bench-notation-" + std::to_string(::getpid()) + "-" + std::to_string(MB) + ".IN2";
    SLWriteFileReplacing(t.FileName, t.Notation);
    return t;
}

void ReadNotation(benchmark::State& state, bool Debug) {
    TData& d = Data(static_cast<int>(state.range(0)));
    TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(stream.Get());
    for (auto _ : state) {
        // The text is lent to the stream and taken back, not copied (RapidJSON
        // parses its text in place, too).
        stream->SetBuffer(std::move(d.Notation));
        look->SetCharStream(stream.Get());
        TRef<TSLObject> v = decoder->ReadSingleObjectRef(look.Get(), Debug);
        benchmark::DoNotOptimize(v.Get());
        v.Reset();
        d.Notation = stream->TakeBuffer();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Notation.size()));
}

void BM_NotationRead(benchmark::State& state) { ReadNotation(state, false); }

void BM_NotationReadDebug(benchmark::State& state) { ReadNotation(state, true); }

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
    TData& d = Data(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        rapidjson::Document doc;
        doc.Parse(d.Json.c_str(), d.Json.size());
        if (doc.HasParseError()) state.SkipWithError("RapidJSON parse error");
        benchmark::DoNotOptimize(doc.IsObject());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Json.size()));
}

void BM_JsonWriteRapidJson(benchmark::State& state) {
    TData& d = Data();
    rapidjson::Document doc;
    doc.Parse(d.Json.c_str(), d.Json.size());
    // One buffer for all runs, emptied but kept grown, as the notation
    // writer's string stream is.
    rapidjson::StringBuffer out;
    for (auto _ : state) {
        out.Clear();
        rapidjson::Writer<rapidjson::StringBuffer> writer(out);
        doc.Accept(writer);
        benchmark::DoNotOptimize(out.GetSize());
    }
    // Per byte of the notation text, like the notation writer, so that the
    // two MB/s figures compare the time for the same data.
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Notation.size()));
}

void BM_JsonReadNlohmann(benchmark::State& state) {
    TData& d = Data();
    for (auto _ : state) {
        nlohmann::json j = nlohmann::json::parse(d.Json);
        benchmark::DoNotOptimize(j.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Json.size()));
}

// Reads are timed warm (after half a second of reading): the first read of
// a process pays for faulting in its memory, which says nothing of the
// reader (and would be all that is timed at 50 MB on a slow machine).
BENCHMARK(BM_NotationRead)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.5)->MinTime(2.0)->Arg(1)->Arg(10)->Arg(50);
BENCHMARK(BM_NotationReadDebug)->Unit(benchmark::kMillisecond)->MinTime(2.0)->Arg(MainSizeMB);
BENCHMARK(BM_NotationReadFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NotationWrite)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NotationWriteFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JsonReadRapidJson)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.5)->MinTime(2.0)->Arg(1)->Arg(10)->Arg(50);
BENCHMARK(BM_JsonWriteRapidJson)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JsonReadNlohmann)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// ---------------------------------------------------------------- memory

long ResidentBytes() {
    long pages = 0, resident = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

// In a fresh process (this program started again with --memory-child): reads
// the file into memory, then reads the value from that text and keeps it;
// prints the growth of the resident size the value caused, in bytes.
int MemoryChild(const char* Kind, const char* FileName) {
    std::ifstream in(FileName, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    const long before = ResidentBytes();
    long after = 0;
    if (std::strcmp(Kind, "notation") == 0) {
        TRef<TSLObject> v = SLDecodeString(text);
        after = ResidentBytes();
        std::printf("%ld\n", after - before);
        std::fflush(stdout);
        std::_Exit(v ? 0 : 1); // nothing is freed: the figure is what the value holds
    }
    auto* doc = new rapidjson::Document;
    doc->Parse(text.c_str(), text.size());
    after = ResidentBytes();
    std::printf("%ld\n", after - before);
    std::fflush(stdout);
    std::_Exit(doc->HasParseError() ? 1 : 0);
}

// Runs the memory child for Kind on FileName; -1 when that fails.
long MeasureMemory(const char* Self, const char* Kind, const std::string& FileName) {
    const std::string command = std::string(Self) + " --memory-child " + Kind + " " + FileName;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return -1;
    long bytes = -1;
    if (std::fscanf(p, "%ld", &bytes) != 1) bytes = -1;
    if (::pclose(p) != 0) return -1;
    return bytes;
}

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
    if (argc == 4 && std::strcmp(argv[1], "--memory-child") == 0) return vo::MemoryChild(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    vo::TData& d = vo::Data();
    std::printf("notation text: %.1f MB, the same data as JSON: %.1f MB\n", d.Notation.size() / 1e6, d.Json.size() / 1e6);
    vo::TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // The MB/s of a benchmark by its name and arguments (without the
    // timing settings Google Benchmark appends).
    auto get = [&](const std::string& name) {
        for (const auto& [k, v] : reporter.MBps)
            if (k.rfind(name + "/min_", 0) == 0) return v;
        return 0.0;
    };
    std::printf("\nMB/s\n");
    for (const auto& [k, v] : reporter.MBps) std::printf("  %-36s %8.1f\n", k.c_str(), v);

    // Times per module description of the main size: the notation per byte of
    // its text, RapidJSON per byte of the same data as JSON.
    const std::string main = std::to_string(vo::MainSizeMB);
    const double readMBps = get("BM_NotationRead/" + main);
    const double rjMBps = get("BM_JsonReadRapidJson/" + main);
    const double nlMBps = get("BM_JsonReadNlohmann");
    const double writeMBps = get("BM_NotationWrite");
    const double rjWriteMBps = get("BM_JsonWriteRapidJson");
    auto ms = [](double Bytes, double MBps) { return MBps > 0 ? Bytes / 1e6 / MBps * 1e3 : 0.0; };
    const double readMs = ms(d.Notation.size(), readMBps), rjMs = ms(d.Json.size(), rjMBps);
    const double nlMs = ms(d.Json.size(), nlMBps);
    const double writeMs = ms(d.Notation.size(), writeMBps), rjWriteMs = ms(d.Notation.size(), rjWriteMBps);

    // Memory of a held description (fresh processes).
    const std::string jsonFile = d.FileName + ".json";
    vo::SLWriteFileReplacing(jsonFile, d.Json);
    const long memNotation = vo::MeasureMemory(argv[0], "notation", d.FileName);
    const long memJson = vo::MeasureMemory(argv[0], "json", jsonFile);
    ::unlink(jsonFile.c_str());

    auto ratio = [](double a, double b) { return b > 0 && a > 0 ? a / b : 0.0; };
    std::printf("\nmodule description of %d MB        this project     RapidJSON      nlohmann    ours/RapidJSON  goal\n",
                vo::MainSizeMB);
    std::printf("  read (parse and free)          %10.1f ms %10.1f ms %10.1f ms %12.2fx    <= 2x\n", readMs, rjMs, nlMs,
                ratio(readMs, rjMs));
    std::printf("  write                          %10.1f ms %10.1f ms %13s %12.2fx    <= 1x\n", writeMs, rjWriteMs, "",
                ratio(writeMs, rjWriteMs));
    std::printf("  memory held after reading      %10.1f MB %10.1f MB %13s %12.2fx    <= 2x\n", memNotation / 1e6,
                memJson / 1e6, "", ratio(static_cast<double>(memNotation), static_cast<double>(memJson)));
    std::printf("\nread cost per MB by size (parse and free)\n");
    const double read1 = get("BM_NotationRead/1");
    const double perMB1 = read1 > 0 ? 1e3 / read1 : 0;
    for (const int mb : vo::SizesMB) {
        const std::string n = std::to_string(mb);
        const double ours = get("BM_NotationRead/" + n);
        const double rj = get("BM_JsonReadRapidJson/" + n);
        const double perMB = ours > 0 ? 1e3 / ours : 0;
        std::printf("  %3d MB: this project %7.2f ms/MB (x%.2f of 1 MB), RapidJSON %7.2f ms/MB\n", mb, perMB,
                    ratio(perMB, perMB1), rj > 0 ? 1e3 / rj : 0.0);
    }
    for (const auto& [mb, data] : vo::AllData()) ::unlink(data.FileName.c_str());
    benchmark::Shutdown();
    return 0;
}
