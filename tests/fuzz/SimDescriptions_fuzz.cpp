// Fuzz target of the drive simulator's reader of module descriptions: any
// input is read as a description; text it cannot read is refused with an
// exception, and every parameter it takes has a UPID below 0xFFFF and a width
// of 1, 2 or 4 bytes. No crash, no leak, no hang (deep nesting included).
#include "tests/fuzz/FuzzSupport.h"
#include "tools/drivesim/SimDescriptions.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    try {
        for (const vo::SimDescribedParameter& p : vo::SimReadDescribedParameters(text)) {
            if (p.upid >= 0xFFFF)
                vo::fuzz::Fail("a parameter at or above 0xFFFF was taken", text);
            if (p.size == 0 || (!p.text && p.size != 1 && p.size != 2 && p.size != 4))
                vo::fuzz::Fail("a parameter without a width was taken", text);
            if (vo::SimDescribedValue(p).size() != p.size)
                vo::fuzz::Fail("a start value does not fill its width", text);
        }
    } catch (const vo::Exception&) {
    }
    return 0;
}
