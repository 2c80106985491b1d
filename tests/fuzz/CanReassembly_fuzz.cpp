// Fuzz target of the CAN link's receive side: any sequence of CAN frames from
// any senders is put together per sender; no buffer ever holds more than 255
// bytes, every drive frame delivered is 1 to 255 bytes, and a drive frame
// cut into segments by the sending side comes back whole even after
// arbitrary frames before it.
//
// Input: records of [sender (low 2 bits) and count (bits 3..7)] [length 0..15]
// [data bytes]; a record with sender 3 is a whole drive frame (length
// 1..255 taken from the data) sent by the link's own segmentation.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "comm/CANdrv.h"

namespace {

[[noreturn]] void Fail(const char* What) {
    std::fprintf(stderr, "fuzz check failed: %s\n", What);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    vo::TCanReassembly senders[4];
    size_t i = 0;
    while (i + 2 <= Size) {
        const uint8_t head = Data[i];
        const size_t length = Data[i + 1];
        i += 2;
        const size_t take = std::min(length, Size - i);
        const std::string bytes(reinterpret_cast<const char*>(Data + i), take);
        i += take;
        const int sender = head & 3;
        vo::TCanReassembly& r = senders[sender];
        if (sender == 3) {
            // A whole drive frame through the segmentation: after a drive
            // frame that was dropped or left open, the first one may be lost
            // as well, but a second one always arrives whole.
            if (bytes.empty())
                continue;
            for (int round = 0; round < 2; ++round) {
                std::string got;
                for (const auto& [ident, seg] : vo::CanSegments(255, 3, bytes))
                    if (r.Feed(vo::CanIdentFollow(ident), seg) == vo::TCanReassembly::crComplete)
                        got = r.TakeFrame();
                if (round == 1 && got != bytes)
                    Fail("a segmented drive frame did not come back whole");
            }
            continue;
        }
        const auto follow = static_cast<uint8_t>(head >> 3);
        if (r.Feed(follow, bytes) == vo::TCanReassembly::crComplete) {
            const std::string f = r.TakeFrame();
            if (f.empty() || f.size() > vo::TCanReassembly::MaxFrame)
                Fail("a delivered drive frame has a bad length");
        }
        if (r.Collected() > vo::TCanReassembly::MaxFrame)
            Fail("more than 255 bytes held");
    }
    return 0;
}
