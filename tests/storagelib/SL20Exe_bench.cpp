// The interpreter against Lua 5.4 and Ghostscript's PostScript on the same
// work: an arithmetic "for" loop of 10,000,000 passes, recursive Fibonacci of
// 27 through procedures, and 100,000 dictionary puts and gets with short
// keys. Lua and Ghostscript run as child processes ("lua5.4",
// "gs -q -dNODISPLAY -dBATCH") and time themselves; the table shows each
// time and the ratios.
//
//   bench_storagelib_SL20Exe_bench [--quick] [--ours] [--only for|fib|dict] [--repeat N]
//
// --quick runs a tenth of the loop and dictionary work and Fibonacci of 22
// (the ratios stay comparable); --ours runs this language only (profiling);
// --only for|fib|dict runs that one piece of work of this language only.
// --repeat N runs everything N times and shows each work's shortest time
// (steadier figures on a busy machine).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "storagelib/RefObj.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Exe.h"
#include "storagelib/SL20Sto.h"

using namespace vo;

namespace {

struct TWork {
    long Loop = 10000000;
    int Fib = 27;
    long Keys = 100000;
    std::string Only; // empty: all
};

using TTimes = std::map<std::string, double>; // work name -> milliseconds

// ---------------------------------------------------------------- this language

double RunScript(TStorageManager& Manager, TSLInterpreter& Interp, const std::string& Text,
                 TRef<TSLObject> Keys, std::string& Top) {
    TRef<TSLObject> block = SLDecodeString("[B " + Text + " ]");
    TRef<TSLContext> ctx(Manager.CreateContext(false));
    TSLContextImplementation& c = SLContextImpl(ctx.Get());
    if (Keys) static_cast<TSLDictionary*>(c.DictStack().GetObjAtIndex(0))->AddObject("keys", Keys.Get());
    c.PushBlock(SLCast<TSLBlock>(block.Get()));
    const auto t0 = std::chrono::steady_clock::now();
    while (!Interp.Run(ctx.Get())) {
    }
    const auto t1 = std::chrono::steady_clock::now();
    TSLStack& ops = c.OperandStack();
    Top = ops.GetCount() ? ops.GetObjAtIndex(0)->ClassName() : "";
    if (auto* n = ops.GetCount() ? dynamic_cast<TSLLongint*>(ops.GetObjAtIndex(0)) : nullptr)
        Top = std::to_string(n->GetLongintValue());
    PurgeAutoReleasePool();
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

TTimes RunOurs(const TWork& W) {
    TStorageManager manager("C:\\bench\\");
    TSLInterpreter& interp = *SLInstallScriptEngine(manager);
    TTimes times;
    std::string top;

    if (W.Only.empty() || W.Only == "for")
        times["for"] = RunScript(manager, interp, "0 1 1 " + std::to_string(W.Loop) + " [B add] for", nullptr, top);
    std::printf("  this language: for loop sum %s\n", top.c_str());

    if (W.Only.empty() || W.Only == "fib")
        times["fib"] = RunScript(manager, interp,
                                 "/fib [P [A /n] n 2 lt [B /r n def] [B /r n 1 sub fib n 2 sub fib add def] ifelse [A /r] ] def " +
                                     std::to_string(W.Fib) + " fib",
                                 nullptr, top);
    std::printf("  this language: fib %d = %s\n", W.Fib, top.c_str());

    if (!W.Only.empty() && W.Only != "dict") return times;
    TRef<TSLArray> keys = MakeRef<TSLArray>();
    keys->SetCapacity(static_cast<int>(W.Keys));
    for (long i = 0; i < W.Keys; ++i) keys->AddObject(MakeRef<TSLIdent>("k" + std::to_string(i), false).Get());
    times["dict"] = RunScript(manager, interp,
                              "/d " + std::to_string(W.Keys) +
                                  " dict def keys [B d exch 1 put] forall keys [B d exch get pop] forall d count",
                              keys, top);
    std::printf("  this language: dictionary entries %s\n", top.c_str());
    return times;
}

// ---------------------------------------------------------------- child processes

std::string TempFile(const char* Suffix, const std::string& Content) {
    std::string name = "/tmp/vo_bench_XXXXXX";
    name += Suffix;
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    const int fd = mkstemps(buf.data(), static_cast<int>(std::strlen(Suffix)));
    if (fd < 0) return {};
    close(fd);
    std::ofstream(buf.data()) << Content;
    return buf.data();
}

// Runs Command and reads lines "<work> <ms>" from its output; nothing when the
// program is missing or fails.
TTimes RunChild(const std::string& Command, const char* Who) {
    TTimes times;
    FILE* p = popen((Command + " 2>&1").c_str(), "r");
    if (!p) return times;
    char line[512];
    while (std::fgets(line, sizeof line, p)) {
        char work[64];
        double ms = 0;
        if (std::sscanf(line, "%63s %lf", work, &ms) == 2 && (!std::strcmp(work, "for") || !std::strcmp(work, "fib") || !std::strcmp(work, "dict")))
            times[work] = ms;
        else
            std::printf("  %s: %s", Who, line);
    }
    if (pclose(p) != 0) std::printf("  %s: exited with an error\n", Who);
    return times;
}

TTimes RunLua(const TWork& W) {
    const std::string script = "local N, F, K = " + std::to_string(W.Loop) + ", " + std::to_string(W.Fib) + ", " +
        std::to_string(W.Keys) + R"(
local t = os.clock()
local s = 0
for i = 1, N do s = s + i end
print(string.format("for %.3f", (os.clock() - t) * 1000))
io.stderr:write("")
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
t = os.clock()
local f = fib(F)
print(string.format("fib %.3f", (os.clock() - t) * 1000))
local keys = {}
for i = 1, K do keys[i] = "k" .. (i - 1) end
t = os.clock()
local d = {}
for i = 1, K do d[keys[i]] = 1 end
local v
for i = 1, K do v = d[keys[i]] end
print(string.format("dict %.3f", (os.clock() - t) * 1000))
print("  lua: sum " .. s .. " fib " .. f)
)";
    const std::string file = TempFile(".lua", script);
    TTimes t = RunChild("lua5.4 " + file, "Lua");
    std::remove(file.c_str());
    return t;
}

TTimes RunPostScript(const TWork& W) {
    const std::string script = "/N " + std::to_string(W.Loop) + " def /F " + std::to_string(W.Fib) + " def /K " +
        std::to_string(W.Keys) + R"( def
/t0 realtime def
0 1 1 N { add } for /sum exch def
(for ) print realtime t0 sub =
/fib { dup 2 lt { } { dup 1 sub fib exch 2 sub fib add } ifelse } def
/t0 realtime def
F fib /f exch def
(fib ) print realtime t0 sub =
/keys K array def
0 1 K 1 sub { /i exch def /str i 12 string cvs def /nm str length 1 add string def
  nm 0 (k) putinterval nm 1 str putinterval keys i nm cvn put } for
/t0 realtime def
/d K dict def
keys { d exch 1 put } forall
keys { d exch get pop } forall
(dict ) print realtime t0 sub =
(  gs: sum ) print sum =only ( fib ) print f =
)";
    const std::string file = TempFile(".ps", script);
    TTimes t = RunChild("gs -q -dNODISPLAY -dBATCH -dNOSAFER " + file, "Ghostscript");
    std::remove(file.c_str());
    return t;
}

// The shortest time of each work over Runs runs of Run.
template <class F>
TTimes Fastest(int Runs, F&& Run) {
    TTimes best;
    for (int i = 0; i < Runs; ++i)
        for (const auto& [work, ms] : Run()) {
            const auto it = best.find(work);
            if (it == best.end() || ms < it->second) best[work] = ms;
        }
    return best;
}

std::string Ms(const TTimes& T, const std::string& Work) {
    const auto it = T.find(Work);
    if (it == T.end()) return "n/a";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f ms", it->second);
    return buf;
}

std::string Ratio(const TTimes& Ours, const TTimes& Other, const std::string& Work) {
    const auto a = Ours.find(Work), b = Other.find(Work);
    if (a == Ours.end() || b == Other.end() || b->second <= 0) return "n/a";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2fx", a->second / b->second);
    return buf;
}

} // namespace

int main(int argc, char** argv) {
    TWork work;
    bool oursOnly = false;
    int runs = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        if (std::strcmp(argv[i], "--quick") == 0) {
            work.Loop = 1000000;
            work.Fib = 22;
            work.Keys = 10000;
        }
        if (std::strcmp(argv[i], "--ours") == 0) oursOnly = true; // for profiling
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            work.Only = argv[++i];
            oursOnly = true;
        }
    }
    std::printf("Script interpreter against Lua 5.4 and Ghostscript (same work in each language)\n");
    const TTimes ours = Fastest(runs, [&] { return RunOurs(work); });
    const TTimes lua = oursOnly ? TTimes{} : Fastest(runs, [&] { return RunLua(work); });
    const TTimes gs = oursOnly ? TTimes{} : Fastest(runs, [&] { return RunPostScript(work); });

    const std::string names[3][2] = {
        {"for", "for loop, " + std::to_string(work.Loop) + " passes"},
        {"fib", "Fibonacci of " + std::to_string(work.Fib) + " (procedures)"},
        {"dict", std::to_string(work.Keys) + " dictionary puts and gets"},
    };
    std::printf("\n%-38s %14s %14s %14s %12s %12s\n", "work", "this language", "Lua 5.4", "Ghostscript",
                "ours/Lua", "ours/gs");
    for (const auto& n : names)
        std::printf("%-38s %14s %14s %14s %12s %12s\n", n[1].c_str(), Ms(ours, n[0]).c_str(), Ms(lua, n[0]).c_str(),
                    Ms(gs, n[0]).c_str(), Ratio(ours, lua, n[0]).c_str(), Ratio(ours, gs, n[0]).c_str());
    return 0;
}
