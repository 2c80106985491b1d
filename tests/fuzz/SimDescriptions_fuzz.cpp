// Fuzz target of the drive simulator's reader of module descriptions: any
// input is read as a description; text it cannot read is refused with an
// exception, and every parameter it takes has a UPID below 0xFFFF and a width
// of 1, 2 or 4 bytes; every variable a UPID below 0xFFFF, a width of 1 to 250
// bytes and a "Data" value no longer than it. No crash, no leak, no hang (deep
// nesting included).
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
    try {
        for (const vo::SimDescribedParameter& v : vo::SimReadDescribedVariables(text)) {
            if (v.upid >= 0xFFFF)
                vo::fuzz::Fail("a variable at or above 0xFFFF was taken", text);
            if (v.size < 1 || v.size > 250)
                vo::fuzz::Fail("a variable without a width was taken", text);
            if (v.data.size() > v.size)
                vo::fuzz::Fail("a variable's data outgrew its width", text);
        }
    } catch (const vo::Exception&) {
    }
    return 0;
}
