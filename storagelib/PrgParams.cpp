#include "storagelib/PrgParams.h"

#include <fstream>
#include <iterator>

#include "kernel/UserPrompt.h"
#include "platform/Cp1252.h"
#include "platform/Exception.h"
#include "storagelib/SL20Elm.h"

namespace vo {

namespace {
// Kept until the process ends.
TRef<TSLDictionary>& DictSlot() {
    static auto* slot = new TRef<TSLDictionary>(MakeRef<TSLDictionary>());
    return *slot;
}
TRef<TSLArray>& ArraySlot() {
    static auto* slot = new TRef<TSLArray>(MakeRef<TSLArray>());
    return *slot;
}
} // namespace

TSLDictionary* ProgParamDict() { return DictSlot().Get(); }
TSLArray* ProgParamArray() { return ArraySlot().Get(); }

void ReadProgramParameters(const std::vector<std::string>& Args) {
    TRef<TSLDictionary> dict = MakeRef<TSLDictionary>();
    TRef<TSLArray> array = MakeRef<TSLArray>();
    DictSlot() = dict;
    ArraySlot() = array;
    for (const std::string& raw : Args) {
        if (raw.empty()) break; // an empty argument ends the list
        try {
            const MyAnsiString arg = Utf8ToCp1252(raw);
            if (arg[0] == '-') {
                const std::size_t colon = arg.find(':');
                const MyAnsiString name = colon == MyAnsiString::npos ? arg.substr(1) : arg.substr(1, colon - 1);
                const MyAnsiString value = colon == MyAnsiString::npos ? MyAnsiString() : arg.substr(colon + 1);
                if (dict->NameExists(name))
                    throw Exception("Error: Command Line Parameter Duplication of '-" + name + "'");
                dict->AddObject(name, MakeRef<TSLString>(value).Get());
            } else {
                array->AddObject(MakeRef<TSLString>(arg).Get());
            }
        } catch (const std::exception& e) {
            ShowMessage(e.what());
        }
    }
}

void ReadProgramParameters(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    ReadProgramParameters(args);
}

void ReadProgramParameters() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    std::size_t start = 0;
    bool first = true;
    while (start < all.size()) {
        std::size_t end = all.find('\0', start);
        if (end == std::string::npos) end = all.size();
        if (!first) args.emplace_back(all.substr(start, end - start));
        first = false;
        start = end + 1;
    }
    ReadProgramParameters(args);
}

} // namespace vo
