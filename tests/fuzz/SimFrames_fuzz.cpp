// Fuzz target of the drive simulator's frame parsers: the input's wire bytes
// go through the simulator's RS232 receiver, and every frame it hands out
// (and the bytes after the first input byte as one frame of their own) is
// answered by the protocol engine of a small drive. An answer echoes the
// command byte, has a status byte, and never exceeds the drive's buffer (the
// discovery answer aside); the receiver accounts for every byte.
//
// Input: byte 0: bits 0..1 the drive (0x20, 0x31, 0x41 generation),
// bit 2: log in first; the rest are the wire bytes.
#include "tests/fuzz/FuzzSupport.h"
#include "tools/drivesim/SimProtocol.h"
#include "tools/drivesim/SimRs232.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace vo;

// Small drives of the three generations (the sample drives' memories are too
// large to copy for every input): A = 3 or 4, D = 2, RAM, flash with sectors,
// info nodes, instances, parameters and passwords.
SimDrive SmallDrive(uint8_t Version, uint8_t AddrSize, uint8_t BufferSize) {
    SimIdentity id;
    id.protocolVersion = Version;
    id.addrFieldSize = AddrSize;
    id.dataFieldSize = 2;
    id.addrIncrement = 1;
    id.maxBufferSize = BufferSize;
    id.processorType = 0x0011;
    id.deviceType = 0x0310;
    id.deviceVersion = 0x0205;
    id.flashType = 0x0002;
    id.flashBaseAddr = 0x8000;
    id.deviceString = "SIM";
    id.releaseText = "R1 fuzz";
    SimDrive d(id);
    d.AddRegion("RAM", SimRegionKind::Ram, 0x0000, 0x400);
    d.AddRegion("FLASH", SimRegionKind::Flash, 0x8000, 0x200, 0x80);
    d.AddInfoNode(0x0080, 1, SimHex("01 02 03 04 05 06 07 08"));
    d.AddInfoNode(0x0090, 0, SimHex("AA BB"));
    d.Instances()[0] = {true, "MCTREE"};
    d.SetParameter(0x03E8, 32, "fuzz drive");
    d.SetParameter(0x1000, 2, SimHex("10 00"));
    d.SetPassword(SimUserLevel::User, "user");
    d.SetPassword(SimUserLevel::Service, "service");
    return d;
}

const std::vector<SimDrive>& Drives() {
    static const std::vector<SimDrive> drives = {SmallDrive(0x20, 3, 64), SmallDrive(0x31, 3, 128), SmallDrive(0x41, 4, 255)};
    return drives;
}

void CheckAnswer(SimProtocol& Protocol, std::string_view Frame, const SimContext& Ctx) {
    const std::optional<SimAnswer> a = Protocol.Answer(Frame, Ctx);
    if (!a)
        return;
    const SimBytes& r = a->frame;
    if (r.size() < 2 || r[0] != Frame[0])
        fuzz::Fail("an answer without echo and status", std::string(Frame));
    const bool discovery = static_cast<uint8_t>(Frame[0]) == 0x05;
    if (!discovery && r.size() > Protocol.Drive().Identity().maxBufferSize)
        fuzz::Fail("an answer longer than the drive's buffer", std::string(Frame));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1)
        return 0;
    const std::vector<SimDrive>& drives = Drives();
    SimProtocol protocol(drives[(Data[0] & 3) % drives.size()]);
    SimContext ctx{"rs232", 0};
    if (Data[0] & 4)
        protocol.Answer(std::string_view("\x01", 1), ctx);
    const std::string_view wire(reinterpret_cast<const char*>(Data) + 1, Size - 1);

    SimRs232Receiver rx;
    size_t accounted = 0;
    for (const SimRs232Event& e : rx.Feed(wire, 0)) {
        accounted += e.wire.size();
        if (e.kind == SimRs232Event::Frame && !e.payload.empty())
            CheckAnswer(protocol, e.payload, ctx);
    }
    if (rx.Idle() && accounted != wire.size())
        fuzz::Fail("the receiver lost bytes", std::string(wire));
    if (accounted > wire.size())
        fuzz::Fail("the receiver made up bytes", std::string(wire));

    if (!wire.empty())
        CheckAnswer(protocol, wire, ctx);
    return 0;
}
