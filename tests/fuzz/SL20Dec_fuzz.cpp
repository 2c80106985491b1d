// Fuzz target of the text notation reader: any input is read (plain and with
// debug records); a value it gives is written, read and written again, and
// both texts must be equal. The standard reader's inline path and a reader
// that takes every token through its scanners agree on every input. No
// crash, no leak, no hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace vo;
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    // The reader's inline path gives what the scanners give, errors included.
    static TRef<TSLStreamDecoder> plain = fuzz::CreatePlainDecoder();
    fuzz::TObjectCountCheck counts;
    for (const bool debug : {false, true}) {
        const std::string fast = fuzz::ReadOutcome(fuzz::Decoder(), text, debug);
        const std::string slow = fuzz::ReadOutcome(*plain, text, debug);
        if (fast != slow) fuzz::Fail("the inline path and the scanners disagree", text + "\n" + fast + "\n" + slow);
    }
    for (const bool debug : {false, true}) {
        TRef<TSLObject> value;
        try {
            value = fuzz::ReadText(text, debug);
        } catch (const ESLSyntaxError&) {
            return 0;
        }
        fuzz::CheckFixedPoint(value.Get());
        SLBreakReferenceCycles(value.Get());
    }
    return 0;
}
