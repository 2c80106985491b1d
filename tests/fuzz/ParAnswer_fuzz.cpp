// Fuzz target of the read answers the parameter types take from a drive:
// the first byte picks the value width (1, 2 or 4 bytes), the rest is the
// answer. A value is taken only from an answer of at least its width and
// writes back to the same bytes; a text keeps at most 64 characters, ends
// before the first NUL and is the start of the answer; a Boolean word is the
// first two bytes. No crash, no leak.
#include <cstddef>
#include <cstdint>
#include <string>

#include "parameters/PtBool.h"
#include "parameters/PtGen.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size == 0)
        return 0;
    static const std::size_t widths[] = {1, 2, 4};
    const std::size_t width = widths[Data[0] % 3];
    const vo::MyAnsiString answer(reinterpret_cast<const char*>(Data + 1), Size - 1);

    std::uint64_t value = 0;
    const bool taken = vo::ParValueFromAnswer(answer, width, value);
    if (taken != (answer.size() >= width))
        vo::fuzz::Fail("a value taken from a short answer, or a full answer refused", answer);
    if (taken) {
        if (width < 8 && value >> (8 * width) != 0)
            vo::fuzz::Fail("a value wider than its width", answer);
        vo::MyAnsiString back;
        vo::ParAppendLE(back, value, width);
        if (back != answer.substr(0, width))
            vo::fuzz::Fail("a value does not write back to its bytes", answer);
    }

    const vo::MyAnsiString text = vo::ParTextFromAnswer(answer);
    if (text.size() > 64 || text.find('\0') != vo::MyAnsiString::npos || answer.compare(0, text.size(), text) != 0)
        vo::fuzz::Fail("a text longer than 64, with a NUL, or not the answer's start", answer);

    if (vo::TBoolParameter::DataToValue(answer) != vo::ParReadLE(answer, 2))
        vo::fuzz::Fail("a Boolean word other than the first two bytes", answer);
    return 0;
}
