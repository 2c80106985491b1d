// Fuzz target of the text notation reader: any input is read (plain and with
// debug records); a value it gives is written, read and written again, and
// both texts must be equal. No crash, no leak, no hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace vo;
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    fuzz::TObjectCountCheck counts;
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
