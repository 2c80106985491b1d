// Fuzz target of the scrambled stream and the character file: any input
// scrambles and unscrambles to itself; as the content of a stored file it is
// recognised as plain or scrambled and read, and a value read from it,
// written back scrambled through a crypt file, reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "storagelib/SL20Fil.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// A folder of its own for the files of one run, removed at exit.
struct TWorkDir {
    TWorkDir() {
        // in memory where the machine has it: every input writes two files
        std::error_code ec;
        const bool shm = std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0;
        std::string tmpl = std::string(shm ? "/dev/shm" : "/tmp") + "/vo-fuzz-sl20fil-XXXXXX";
        if (!::mkdtemp(tmpl.data())) std::abort();
        Path = tmpl;
    }
    ~TWorkDir() {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
    std::string Path;
};

const std::string& WorkDir() {
    static const TWorkDir dir;
    return dir.Path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace vo;
    const std::string bytes(reinterpret_cast<const char*>(Data), Size);
    fuzz::TObjectCountCheck counts;

    // the cipher in memory: any bytes, any random prefix
    uint8_t seed = Size > 0 ? Data[0] : 0;
    const std::string scrambled = SLScramble(bytes, [&seed] { return seed = static_cast<uint8_t>(seed * 5 + 1); });
    if (SLUnscramble(scrambled) != bytes) fuzz::Fail("unscramble(scramble(x)) != x", bytes);

    // the input as a stored file
    const std::string in = WorkDir() + "/in.stx";
    {
        std::ofstream out(in, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    TRef<TSLObject> value;
    try {
        value = SLReadObjectFile(fuzz::Decoder(), in, false);
    } catch (const Exception&) {
        return 0; // syntax errors, a wrong crypt header
    }
    std::string plain;
    try {
        plain = fuzz::WriteText(value.Get());
    } catch (const Exception&) {
        SLBreakReferenceCycles(value.Get());
        return 0;
    }
    // written scrambled through a crypt file and read back
    const std::string out = WorkDir() + "/out.stx";
    {
        TRef<TSLCryptFile> f = MakeRef<TSLCryptFile>();
        f->AssignFile(out);
        f->Rewrite();
        f->FCrypt = true;
        f->InitEncrypter();
        fuzz::Encoder().WriteObject(f.Get(), value.Get());
        f->FCrypt = false;
        f->Close();
    }
    TStorageFormat format = sfUnknown;
    TRef<TSLObject> back;
    try {
        back = SLReadObjectFile(fuzz::Decoder(), out, false, 0, &format);
    } catch (const Exception& e) {
        fuzz::Fail("a scrambled file does not read back", plain + "\n" + e.what());
    }
    if (format != sfEASCII) fuzz::Fail("a scrambled file is not recognised", plain);
    if (fuzz::WriteText(back.Get()) != plain) fuzz::Fail("a scrambled file reads back differently", plain);
    SLBreakReferenceCycles(back.Get());
    SLBreakReferenceCycles(value.Get());
    return 0;
}
