// Fuzz target of the older serial protocol gateway: any mix of request frames
// and bytes from the line drives its state machine. Nothing but the known
// error escapes, every reply frame echoes the command code of its request and
// is the interim 2-byte frame, an FF status or a frame of the expected shape,
// and no write to the line is longer than a chunk header plus 255 bytes.
//
// Input: records; a byte with bit 7 set starts a request of (byte & 0x0F) + 1
// bytes that follow, any other byte is one byte from the line.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "comm/Qp1Drv.h"

namespace {

[[noreturn]] void Fail(const char* What) {
    std::fprintf(stderr, "fuzz check failed: %s\n", What);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    vo::TQp1Protocol p;
    char command = 0;
    p.SetOnWrite([](const std::string& Bytes) {
        if (Bytes.empty() || Bytes.size() > 257)
            Fail("a write of a bad length");
    });
    p.SetOnDeliver([&](const std::string& Frame) {
        if (Frame.empty() || Frame[0] != command)
            Fail("a reply that does not echo its command");
        if (Frame.size() == 2 && (Frame[1] == '\x01' || Frame[1] == '\xFF'))
            return;
        if (Frame.size() >= 2 && Frame[1] != '\0')
            Fail("a reply with a status other than 00, 01 or FF");
    });
    size_t i = 0;
    while (i < Size) {
        const uint8_t b = Data[i++];
        if (b & 0x80) {
            const size_t n = std::min<size_t>((b & 0x0F) + 1, Size - i);
            const std::string request(reinterpret_cast<const char*>(Data + i), n);
            i += n;
            if (request.empty())
                continue;
            command = request[0];
            try {
                p.Send(request);
            } catch (const std::exception& e) {
                if (std::string(e.what()) != "Qp1Trans: not in idle state")
                    Fail("an unexpected exception");
            }
        } else {
            p.ReceiveByte(b);
        }
    }
    return 0;
}
