#include "tools/slarc/SlArc.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "platform/Cp1252.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "storagelib/SL20Arc.h"
#include "storagelib/SL20Fil.h"
#include "storagelib/SL20Sto.h"

namespace vo::slarc {

namespace fs = std::filesystem;

namespace {
const char* const Usage = "usage: slarc OUT.sla --root DIR [--scramble] FILE|FOLDER...";

// The entry name of Path below Root ("" when it is not below it).
std::string EntryName(const fs::path& Root, const fs::path& Path) {
    const fs::path rel = Path.lexically_relative(Root);
    if (rel.empty() || rel.is_absolute() || *rel.begin() == "..") return {};
    std::string name;
    for (const auto& part : rel) {
        if (!name.empty()) name += '\\';
        name += Utf8ToCp1252(part.string());
    }
    return name;
}
} // namespace

bool ParseArguments(const std::vector<std::string>& Args, TOptions& Options, std::string& Error) {
    Options = TOptions{};
    for (std::size_t i = 0; i < Args.size(); ++i) {
        const std::string& a = Args[i];
        if (a == "--root") {
            if (i + 1 >= Args.size()) {
                Error = "--root needs a folder";
                return false;
            }
            Options.Root = Args[++i];
        } else if (a == "--scramble") {
            Options.Scramble = true;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            Error = "unknown option " + a;
            return false;
        } else if (Options.Output.empty()) {
            Options.Output = a;
        } else {
            Options.Inputs.push_back(a);
        }
    }
    if (Options.Output.empty() || Options.Root.empty() || Options.Inputs.empty()) {
        Error = Usage;
        return false;
    }
    return true;
}

std::vector<TInput> CollectInputs(const TOptions& Options) {
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(fs::absolute(Options.Root), ec);
    if (ec || !fs::is_directory(root)) throw Exception("slarc: root folder '" + Options.Root + "' not found");
    std::vector<TInput> out;
    std::set<std::string> seen; // entry names, letter case folded
    auto add = [&](const fs::path& file) {
        const std::string entry = EntryName(root, file);
        if (entry.empty()) throw Exception("slarc: '" + file.string() + "' is not below the root folder");
        if (!seen.insert(Cp1252UpperCase(entry)).second)
            throw Exception("slarc: entry '" + entry + "' given twice");
        out.push_back({file.string(), entry});
    };
    for (const std::string& input : Options.Inputs) {
        fs::path p = fs::path(input).is_absolute() ? fs::path(input) : fs::absolute(input);
        if (!fs::exists(p) && fs::exists(root / input)) p = root / input;
        p = fs::weakly_canonical(p, ec);
        if (fs::is_directory(p)) {
            std::vector<fs::path> files;
            for (const auto& e : fs::recursive_directory_iterator(p))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end());
            for (const auto& f : files) add(f);
        } else if (fs::is_regular_file(p)) {
            add(p);
        } else {
            throw Exception("slarc: input '" + input + "' not found");
        }
    }
    return out;
}

void WriteArchive(const TOptions& Options) {
    const std::vector<TInput> inputs = CollectInputs(Options);
    // The reader names files in its errors through the manager's id table.
    TStorageManager manager(RealPathToStored(fs::absolute(Options.Root)) + "\\");
    for (const TInput& in : inputs) {
        const MyAnsiString stored = RealPathToStored(in.Path);
        const uint16_t id = manager.GetStorageIDManager().CreateStorageID(in.Entry);
        TRef<TSLObject> value = SLReadObjectFile(*manager.GetDecoder(), stored, false, id);
        if (value) SLBreakReferenceCycles(value.Get());
    }
    const fs::path out = fs::absolute(Options.Output);
    std::error_code ec;
    fs::create_directories(out.parent_path(), ec);
    fs::remove(out, ec); // a fresh archive, not the entries of an old one
    TRef<TSLArchive> archive = TSLArchive::Create(false, RealPathToStored(out), saWrite, false);
    uint32_t seed = 0x5EED;
    archive->SetRandomSource([&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<uint8_t>(seed >> 16);
    });
    for (const TInput& in : inputs) {
        TRef<TSLArchiveEntry> e = MakeRef<TSLArchiveEntry>(archive.Get(), in.Entry);
        e->SetLink(RealPathToStored(in.Path));
        e->SetFormat(Options.Scramble ? sfEASCII : sfASCII);
        archive->AddEntry(e.Get());
    }
    archive->Write();
}

int Run(const std::vector<std::string>& Args, std::string& Err) {
    TOptions options;
    if (!ParseArguments(Args, options, Err)) return 2;
    try {
        WriteArchive(options);
    } catch (const std::exception& e) {
        Err = e.what();
        return 1;
    }
    return 0;
}

} // namespace vo::slarc
