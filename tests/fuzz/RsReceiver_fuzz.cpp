// Fuzz target of the RS232 receiver (TRsReceiver): the wire bytes of an input
// are fed in pieces whose sizes and pauses the input also chooses. The frames,
// sum errors and broken-off frames must be the same
//  - as the simulator's receiver reports for the same pieces at the same times
//    (two implementations of one line protocol), and
//  - without a resync gap, as when the bytes come one at a time or all at once.
// The size asked for next is never 0.
//
// Input: byte 0: bit 7 sets a resync gap of 500 ms, bits 0..2 the number of
// piece bytes that follow (1 to 8); each piece byte: bits 0..4 the size of a
// piece (0: an empty read), bits 5..7 the pause before it (times 300 ms). The
// rest are the wire bytes; the pieces repeat until they are used up (a piece
// of one byte is added when all are empty).
#include "comm/RsDrv.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tools/drivesim/SimRs232.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace vo;

struct TPiece {
    size_t Size;
    int64_t Pause;
};

// One line of the event log both receivers write.
std::string FrameLine(const std::string& Payload) { return "frame " + Payload; }
std::string SumLine(uint8_t Received, uint8_t Computed) {
    return "sum " + std::to_string(Received) + " " + std::to_string(Computed);
}
std::string BrokenLine(size_t Bytes) { return "broken " + std::to_string(Bytes); }

// Hands the wire out in the pieces, each at its time; stops when only empty
// pieces are left to come.
template <class TFeed>
void ForEachPiece(std::string_view Wire, const std::vector<TPiece>& Pieces, TFeed Feed) {
    size_t at = 0;
    int64_t now = 1000;
    for (size_t k = 0; at < Wire.size() && k <= (Wire.size() + 8) * Pieces.size(); ++k) {
        const TPiece& p = Pieces[k % Pieces.size()];
        now += p.Pause;
        const size_t n = std::min(p.Size, Wire.size() - at);
        Feed(Wire.substr(at, n), now);
        at += n;
    }
}

std::vector<std::string> RunProgram(std::string_view Wire, const std::vector<TPiece>& Pieces, int64_t Gap) {
    std::vector<std::string> log;
    TRsReceiver rx;
    rx.SetGap(Gap);
    rx.SetOnFrame([&](const MyAnsiString& P) { log.push_back(FrameLine(P)); });
    rx.SetOnChecksumError([&](uint8_t R, uint8_t C) { log.push_back(SumLine(R, C)); });
    rx.SetOnBroken([&](size_t N) { log.push_back(BrokenLine(N)); });
    ForEachPiece(Wire, Pieces, [&](std::string_view Piece, int64_t Now) {
        const uint8_t next = rx.Receive(MyAnsiString(Piece), Now);
        if (next == 0)
            fuzz::Fail("the receiver asks for 0 bytes", std::string(Piece));
        if (rx.State() == TRsReceiver::stWaitForOvraFrame ? next > rx.DataSize() : next != 1)
            fuzz::Fail("the receiver asks for a wrong size", std::to_string(next));
    });
    return log;
}

std::vector<std::string> RunSimulator(std::string_view Wire, const std::vector<TPiece>& Pieces, int64_t Gap) {
    std::vector<std::string> log;
    SimRs232Receiver rx;
    rx.SetGapMs(Gap);
    ForEachPiece(Wire, Pieces, [&](std::string_view Piece, int64_t Now) {
        for (const SimRs232Event& e : rx.Feed(Piece, Now)) {
            switch (e.kind) {
            case SimRs232Event::Frame: log.push_back(FrameLine(e.payload)); break;
            case SimRs232Event::ChecksumError: log.push_back(SumLine(e.receivedSum, e.computedSum)); break;
            case SimRs232Event::Resync: log.push_back(BrokenLine(e.wire.size())); break;
            case SimRs232Event::Garbage: break;
            }
        }
    });
    return log;
}

std::string Joined(const std::vector<std::string>& Log) {
    std::string s;
    for (const std::string& l : Log)
        s += l + "\n";
    return s;
}

void ExpectSame(const char* What, const std::vector<std::string>& A, const std::vector<std::string>& B) {
    if (A != B)
        fuzz::Fail(What, Joined(A) + "---\n" + Joined(B));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 2)
        return 0;
    const bool withGap = (Data[0] & 0x80) != 0;
    const size_t count = (Data[0] & 0x07) + 1u;
    if (Size < 1 + count)
        return 0;
    std::vector<TPiece> pieces;
    for (size_t k = 0; k < count; ++k)
        pieces.push_back({Data[1 + k] & 0x1Fu, static_cast<int64_t>(Data[1 + k] >> 5) * 300});
    if (std::all_of(pieces.begin(), pieces.end(), [](const TPiece& p) { return p.Size == 0; }))
        pieces.push_back({1, 0}); // the bytes must come in the end
    const std::string_view wire(reinterpret_cast<const char*>(Data) + 1 + count, Size - 1 - count);
    const int64_t gap = withGap ? 500 : 0;

    const std::vector<std::string> program = RunProgram(wire, pieces, gap);
    ExpectSame("the program's and the simulator's receiver differ", program, RunSimulator(wire, pieces, gap));
    if (!withGap) {
        ExpectSame("one byte at a time differs", program, RunProgram(wire, {{1, 0}}, 0));
        ExpectSame("all bytes at once differ", program, RunProgram(wire, {{wire.size(), 0}}, 0));
    }
    return 0;
}
