// The drive simulator's protocol engine: request bytes in, answer bytes out,
// as tables for a drive with 3-byte and one with 4-byte addresses.
#include "tools/drivesim/SimProtocol.h"

#include "platform/Exception.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

struct Step {
    const char* request;
    const char* reply; // nullptr: the drive stays silent
};

const std::string kMaster = "rs232";

// A 0x31 drive: A = 3, D = 2, word addressed, 64-byte buffer.
SimDrive Drive3() {
    SimIdentity id;
    id.protocolVersion = 0x31;
    id.addrFieldSize = 3;
    id.dataFieldSize = 2;
    id.addrIncrement = 1;
    id.maxBufferSize = 64;
    id.processorType = 0x0101;
    id.deviceType = 0x0302;
    id.deviceVersion = 0x0504;
    id.flashType = 0x0706;
    id.flashBaseAddr = 0x008000;
    id.deviceString = "SIM-31";
    id.releaseText = "R3.1 test";
    id.serNbrLow = 0x1111;
    id.serNbrHigh = 0x2222;
    id.partNbr = 0x3333;
    SimDrive d(id);
    d.AddRegion("RAM", SimRegionKind::Ram, 0x001000, 0x100);
    d.AddRegion("FLASH", SimRegionKind::Flash, 0x008000, 0x200, 0x80);
    d.AddInfoNode(0x001080, 1, SimHex("01 02 03 04 05 06 07 08"));
    d.AddInfoNode(0x001090, 2, SimHex("AA BB"));
    d.AddInfoNode(0x0010A0, 1, SimHex("11 22 33 44"));
    d.Instances()[0] = {true, "MCTREE"};
    d.Instances()[2] = {true, "APP"};
    d.SetParameter(0x1000, 2, SimHex("10 00"));
    d.SetPassword(SimUserLevel::User, "user");
    d.SetPassword(SimUserLevel::Service, "service");
    return d;
}

// A 0x41 drive: A = 4, D = 2, word addressed, 255-byte buffer.
SimDrive Drive4() {
    SimIdentity id;
    id.protocolVersion = 0x41;
    id.addrFieldSize = 4;
    id.dataFieldSize = 2;
    id.addrIncrement = 1;
    id.maxBufferSize = 255;
    id.processorType = 0x0101;
    id.deviceType = 0x0302;
    id.deviceVersion = 0x0504;
    id.flashType = 0x0706;
    id.flashBaseAddr = 0x01000000;
    id.deviceString = "SIM-41-WITH-16-B";
    id.releaseText = "R4.1 test";
    id.serNbrLow = 0x1111;
    id.serNbrHigh = 0x2222;
    id.partNbr = 0x3333;
    SimDrive d(id);
    d.AddRegion("RAM", SimRegionKind::Ram, 0x00000000, 0x800);
    d.AddRegion("FLASH", SimRegionKind::Flash, 0x01000000, 0x400, 0x100);
    d.AddInfoNode(0x00000400, 3, SimHex("01 02 03 04"));
    d.Instances()[1] = {true, "IFTREE"};
    d.SetParameter(0x2000, 4, SimHex("78 56 34 12"));
    d.SetParameter(0x7070, 32, "SIM-41 axis");
    d.SetPassword(SimUserLevel::User, "user4");
    d.SetPassword(SimUserLevel::Service, "service4");
    return d;
}

void Expect(SimProtocol& p, const std::vector<Step>& steps, const std::string& master = kMaster) {
    int64_t now = 0;
    for (size_t i = 0; i < steps.size(); ++i) {
        auto answer = p.Answer(SimHex(steps[i].request), SimContext{master, now += 10});
        if (!steps[i].reply) {
            EXPECT_FALSE(answer) << "step " << i << ": " << steps[i].request;
            continue;
        }
        ASSERT_TRUE(answer) << "step " << i << ": " << steps[i].request;
        EXPECT_EQ(SimToHex(answer->frame), SimToHex(SimHex(steps[i].reply)))
            << "step " << i << ": " << steps[i].request;
    }
}

std::string Text(std::string_view bytes) { return std::string(bytes.substr(0, bytes.find('\0'))); }

SimBytes Padded(std::string s, size_t n) {
    s.resize(n, '\0');
    return s;
}

TEST(SimProtocol, LoginAnswerCarriesTheFactsInWireOrder) {
    SimProtocol p3(Drive3());
    // version, A, D, increment, buffer, processor, type, version, flash type,
    // flash base (A bytes), device string (16 bytes)
    Expect(p3, {{"01", "01 00 31 03 02 01 40 01 01 02 03 04 05 06 07 00 80 00"
                       "53 49 4D 2D 33 31 00 00 00 00 00 00 00 00 00 00"}});
    SimProtocol p4(Drive4());
    Expect(p4, {{"01 73 65 63 72 65 74", "01 00 41 04 02 01 FF 01 01 02 03 04 05 06 07 00 00 00 01"
                                         "53 49 4D 2D 34 31 2D 57 49 54 48 2D 31 36 2D 42"}});
    EXPECT_EQ(p4.Drive().LastLoginPassword(), "secret");
    EXPECT_EQ(p4.Drive().Owner(), kMaster);
    // A password longer than 16 bytes is not a login the drive understands.
    SimProtocol p(Drive4());
    Expect(p, {{"01 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10", "01 C2"}});
}

TEST(SimProtocol, TableWithThreeByteAddresses) {
    SimProtocol p(Drive3());
    p.Answer(SimHex("01"), {kMaster, 0});
    Expect(p, {
                  // memory words
                  {"10 00 10 00", "10 00 00 00"},
                  {"11 00 10 00 34 12", "11 00"},
                  {"10 00 10 00", "10 00 34 12"},
                  {"13 00 10 00 F0 00 A0 00", "13 00"}, // mask 0x00F0, data 0x00A0
                  {"10 00 10 00", "10 00 A4 12"},
                  {"10 00 20 00", "10 C3"}, // no memory there
                  {"10 00 10", "10 C2"}, // address one byte short
                  {"11 00 10 00 34", "11 C2"},
                  // memory blocks (address steps are words: 0x001001 is byte 2)
                  {"31 01 10 00 01 02 03 04 05 06", "31 00"},
                  {"30 01 10 00 06", "30 00 01 02 03 04 05 06"},
                  {"30 00 10 00 04", "30 00 A4 12 01 02"},
                  {"30 FF 10 00 04", "30 C3"}, // runs past the end of RAM
                  {"30 00 10 00 3F", "30 C2"}, // 2 + 63 bytes do not fit a 64-byte buffer
                  {"30 00 10 00 00", "30 00"},
                  // strings
                  {"35 00 10 00 41 42 43 00", "35 00"},
                  {"34 00 10 00 00 04", "34 00 41 42 43 00"},
                  {"34 00 10 00 01 04", "34 C2"},
                  {"35 00 10 00 41", "35 C2"}, // no terminating zero
                  // flash
                  {"12 00 10 00 00 00", "12 C3"}, // flash write into RAM
                  {"11 00 80 00 00 00", "11 C3"}, // plain write into flash
                  {"12 00 80 00 78 56", "12 00"},
                  {"12 00 80 00 78 56", "12 C4"}, // not erased any more
                  {"36 00 80 00 04", "36 00 78 56 FF FF"},
                  {"36 00 10 00 02", "36 C3"}, // flash read of RAM
                  {"32 10 80 00 AA BB CC DD", "32 00"},
                  {"37 20 80 00 01 02", "37 00"},
                  {"26 00 80 00 00 82 00", "26 00 21 80 00"}, // first empty behind the last used word
                  {"26 00 82 00 00 80 00", "26 C2"}, // end before start
                  {"23 10 80 00", "23 00"}, // erases the sector 0x8000..0x807F
                  {"26 00 80 00 00 82 00", "26 00 00 80 00"},
                  {"23 00 10 00", "23 C3"},
                  {"33 00 10 00 00 81 00 04 00", "33 00"}, // 4 bytes of RAM into flash
                  {"36 00 81 00 04", "36 00 41 42 43 00"},
                  {"33 00 10 00 00 81 00 04 00", "33 C4"},
                  {"27", "27 00"},
                  {"36 00 81 00 02", "36 00 FF FF"},
                  // info nodes
                  {"25 00 00 00 01", "25 00 80 10 00 01 08 00"},
                  {"25 81 10 00 01", "25 00 A0 10 00 01 04 00"},
                  {"25 00 00 00 02", "25 00 90 10 00 02 02 00"},
                  {"25 A1 10 00 01", "25 C7"},
                  {"25 00 00 00", "25 C2"},
                  // status and firmware
                  {"03 00", "03 00 28 80 11 11 22 22 33 33"},
                  {"20", "20 00"},
                  {"03 00", "03 00 2D C0 11 11 22 22 33 33"},
                  {"21", "21 00"},
                  {"03 00", "03 00 28 80 11 11 22 22 33 33"},
                  {"20 00 90 00", "20 00"}, // start at an address
                  {"22", "22 00"},
                  {"22 01", "22 00"},
                  {"22 01 02", "22 C2"},
                  {"05 FF FF 01", "05 00"},
                  // parameters by UPID
                  {"88 01 00 10", "88 00 10 00"},
                  {"89 01 00 10 34 12", "89 00"}, // RAM only
                  {"88 01 00 10", "88 00 34 12"},
                  {"88 00 00 10", "88 00 10 00"},
                  {"89 02 00 10 78 56", "89 00"}, // RAM and ROM
                  {"88 00 00 10", "88 00 78 56"},
                  {"89 01 00 10 01 02 03", "89 C2"}, // longer than the parameter
                  {"88 00 FF 7F", "88 C0"},
                  {"89 00 FF 7F 00 00", "89 C0"},
                  {"88 05 00 10", "88 C1"},
                  {"15 00 44 70 10", "15 C1"}, // block telegrams are 0x4x only
                  {"16 00 44 70 41", "16 C1"},
                  // instances, erase memory, curves, command table
                  {"88 10 00", "88 00 06 4D 43 54 52 45 45"},
                  {"88 10 01", "88 00 00"},
                  {"88 10 03", "88 C2"},
                  {"89 06 00", "89 00 00"},
                  {"89 07 01", "89 00 00"},
                  {"89 08 02", "89 00 00"},
                  {"89 09 00", "89 00 00"},
                  {"89 0A", "89 00 00"},
                  {"90 0D", "90 00 00"},
                  {"94 08", "94 00 00"},
                  {"90 01", "90 C1"},
                  // unknown command, empty frame
                  {"7E 01 02", "7E C1"},
                  {"", nullptr},
                  // logout: afterwards only a login is served
                  {"02", "02 00"},
                  {"10 00 10 00", "10 C5"},
                  {"02", "02 00"},
              });
    const SimDrive& d = p.Drive();
    EXPECT_EQ(d.EventCount("start"), 2u);
    EXPECT_EQ(d.EventCount("reboot"), 1u);
    EXPECT_EQ(d.EventCount("blink"), 1u);
    EXPECT_EQ(d.EventCount("erase memory"), 1u);
    EXPECT_EQ(d.EventCount("logout"), 1u);
    EXPECT_FALSE(d.Owner());
}

TEST(SimProtocol, TableWithFourByteAddresses) {
    SimProtocol p(Drive4());
    p.Answer(SimHex("01"), {kMaster, 0});
    Expect(p, {
                  {"10 00 01 00 00", "10 00 00 00"},
                  {"11 00 01 00 00 01 00", "11 00"},
                  // masked write: address 0x100, mask 0x0003, data 0x0001
                  {"13 00 01 00 00 03 00 01 00", "13 00"},
                  {"10 00 01 00 00", "10 00 01 00"},
                  {"13 00 01 00", "13 C2"},
                  {"10 00 00 00 01", "10 00 FF FF"}, // flash reads like memory
                  {"10 00 00 00 02", "10 C3"},
                  {"31 00 02 00 00 01 02 03 04", "31 00"},
                  {"30 00 02 00 00 04", "30 00 01 02 03 04"},
                  {"30 FF 07 00 00 04", "30 C3"},
                  {"35 00 03 00 00 48 49 00", "35 00"},
                  {"34 00 03 00 00 00 03", "34 00 48 49 00"},
                  {"12 00 00 00 01 CD AB", "12 00"},
                  {"36 00 00 00 01 02", "36 00 CD AB"},
                  {"32 00 01 00 01 11 22 33 44", "32 00"},
                  {"37 00 02 00 01 55 66", "37 00"},
                  {"26 00 00 00 01 00 04 00 01", "26 00 01 02 00 01"},
                  {"23 FF 00 00 01", "23 00"}, // sector 0x01000000..0x010000FF
                  {"36 00 00 00 01 02", "36 00 FF FF"},
                  {"36 00 01 00 01 02", "36 00 11 22"}, // the next sector stays
                  {"33 00 02 00 00 00 03 00 01 04 00", "33 00"},
                  {"36 00 03 00 01 04", "36 00 01 02 03 04"},
                  {"27", "27 00"},
                  {"25 00 00 00 00 03", "25 00 00 04 00 00 03 04 00"},
                  {"25 01 04 00 00 03", "25 C7"},
                  {"03 00", "03 00 10 80 11 11 22 22 33 33"},
                  {"20", "20 00"},
                  {"03 00", "03 00 12 C0 11 11 22 22 33 33"},
                  {"20 00 00 00 01", "20 00"},
                  {"21", "21 00"},
                  {"88 01 00 20", "88 00 78 56 34 12"},
                  {"89 00 00 20 01 00 00 00", "89 00"},
                  {"88 00 00 20", "88 00 01 00 00 00"},
                  {"88 01 00 20", "88 00 78 56 34 12"},
                  // block telegrams by UPID: count byte cuts or pads the value
                  {"15 01 70 70 06", "15 00 53 49 4D 2D 34 31"},
                  {"16 02 70 70 41 42 00", "16 00"},
                  {"15 01 70 70 04", "15 00 41 42 00 00"},
                  {"15 00 FF 7F 04", "15 C0"},
                  {"88 10 01", "88 00 06 49 46 54 52 45 45"},
                  {"02", "02 00"},
              });
    // Without a count the whole value comes back.
    p.Answer(SimHex("01"), {kMaster, 0});
    auto all = p.Answer(SimHex("15 00 70 70"), {kMaster, 0});
    ASSERT_TRUE(all);
    EXPECT_EQ(all->frame, SimHex("15 00") + Padded("AB", 32));
}

// The login sequence of each protocol generation: login, the release text at
// the generation's address, the password read of the user level.
struct GenerationCase {
    uint8_t version;
    uint8_t addrSize;
    const char* releaseRead;
    const char* userRead;
    const char* serviceRead;
};

TEST(SimProtocol, LoginSequencePerGeneration) {
    const GenerationCase cases[] = {
        {0x20, 3, "30 48 07 20 20", "88 00 C0 0C", "88 00 C5 0C"},
        {0x21, 4, "30 48 07 20 00 20", "88 00 C0 0C", "88 00 C5 0C"},
        {0x31, 3, "30 48 1F 00 20", "88 00 C0 0C", "88 00 C5 0C"},
        {0x30, 4, "30 48 1F 00 A2 20", "88 00 C0 0C", "88 00 C5 0C"},
        {0x41, 4, "30 30 08 30 00 20", "15 00 44 70 10", "15 00 48 70 10"},
        {0x42, 3, "30 30 08 30 20", "15 00 44 70 10", "15 00 48 70 10"},
        {0x02, 3, "30 48 07 20 20", "88 00 C0 0C", "88 00 C5 0C"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "protocol 0x" << std::hex << int(c.version));
        SimIdentity id;
        id.protocolVersion = c.version;
        id.addrFieldSize = c.addrSize;
        id.releaseText = "REL1    \xFF\xFF";
        SimDrive d(id);
        d.SetPassword(SimUserLevel::User, "abc");
        d.SetPassword(SimUserLevel::Service, "0123456789ABCDEFGHIJ"); // kept to 16 bytes
        SimProtocol p(std::move(d));
        auto login = p.Answer(SimHex("01"), {kMaster, 0});
        ASSERT_TRUE(login);
        EXPECT_EQ(uint8_t(login->frame[2]), c.version);
        EXPECT_EQ(uint8_t(login->frame[3]), c.addrSize);

        auto rel = p.Answer(SimHex(c.releaseRead), {kMaster, 0});
        ASSERT_TRUE(rel);
        EXPECT_EQ(rel->frame, SimHex("30 00") + Padded("REL1    \xFF\xFF", 32));
        auto user = p.Answer(SimHex(c.userRead), {kMaster, 0});
        ASSERT_TRUE(user);
        EXPECT_EQ(user->frame.substr(0, 2), SimHex(c.userRead).substr(0, 1) + '\0');
        EXPECT_EQ(user->frame.substr(2), Padded("abc", 16));
        auto service = p.Answer(SimHex(c.serviceRead), {kMaster, 0});
        ASSERT_TRUE(service);
        EXPECT_EQ(service->frame.substr(2), "0123456789ABCDEF");
        auto out = p.Answer(SimHex("02"), {kMaster, 0});
        ASSERT_TRUE(out);
        EXPECT_EQ(out->frame, SimHex("02 00"));
    }
}

TEST(SimProtocol, ChangingTheGenerationMovesPasswordsAndReleaseText) {
    SimIdentity id;
    id.protocolVersion = 0x31;
    id.addrFieldSize = 4;
    id.releaseText = "OLD";
    SimDrive d(id);
    d.SetPassword(SimUserLevel::User, "pw");
    EXPECT_TRUE(d.FindParameter(0x0CC0));
    id.protocolVersion = 0x41;
    id.releaseText = "NEW";
    d.SetIdentity(id);
    EXPECT_FALSE(d.FindParameter(0x0CC0));
    ASSERT_TRUE(d.FindParameter(0x7044));
    EXPECT_EQ(d.FindParameter(0x7044)->ram, Padded("pw", 16));
    EXPECT_EQ(d.Peek(0x300830, 3), "NEW");
    EXPECT_EQ(d.Password(SimUserLevel::User), "pw");
    EXPECT_EQ(d.Password(SimUserLevel::Developer), "");
}

TEST(SimProtocol, ReleaseTextGoesIntoDescribedMemory) {
    SimIdentity id;
    id.protocolVersion = 0x41;
    id.releaseText = "IN RAM";
    SimDrive d(id);
    // A region over the release address takes the text; the drive's own
    // stand-in region gives way.
    d.AddRegion("RAM", SimRegionKind::Ram, 0x300000, 0x1000);
    EXPECT_EQ(d.Peek(0x300830, 6), "IN RAM");
    EXPECT_EQ(d.Regions().size(), 1u);
}

TEST(SimProtocol, AnotherMasterGetsB3UntilTheOwnerLogsOut) {
    SimProtocol p(Drive4());
    Expect(p, {{"01 00", "01 00 41 04 02 01 FF 01 01 02 03 04 05 06 07 00 00 00 01"
                         "53 49 4D 2D 34 31 2D 57 49 54 48 2D 31 36 2D 42"}},
           "A");
    Expect(p, {{"01", "01 B3"}, {"03 00", "03 B3"}, {"02", "02 B3"}, {"10 00 01 00 00", "10 B3"}}, "B");
    EXPECT_EQ(p.Drive().Owner(), "A");
    // The owner logging in again is fine; after its logout B gets the drive.
    Expect(p, {{"03 00", "03 00 10 80 11 11 22 22 33 33"}, {"02", "02 00"}}, "A");
    Expect(p, {{"10 00 01 00 00", "10 C5"}}, "B");
    auto b = p.Answer(SimHex("01"), {"B", 0});
    ASSERT_TRUE(b);
    EXPECT_EQ(uint8_t(b->frame[1]), 0);
    EXPECT_EQ(p.Drive().Owner(), "B");
}

TEST(SimProtocol, BlinkAndDiscoveryNeedNoLogin) {
    SimDrive d = Drive3(); // 64-byte buffer: the discovery answer is longer and still goes out
    SimIdentity id = d.Identity();
    id.group = 0x0102;
    id.macId = 0x0A0B0C0D0E0Full;
    id.deviceType = 0x0410;
    d.SetIdentity(id);
    d.SetParameter(0x03E8, 32, "axis 7");
    SimProtocol p(std::move(d));
    Expect(p, {{"05 FF FF 01", "05 00"}}, "udp:10.0.0.9:5000");
    auto all = p.Answer(SimHex("05 FF FF 00"), {"udp:10.0.0.9:5000", 0});
    ASSERT_TRUE(all);
    const SimBytes& r = all->frame;
    ASSERT_EQ(r.size(), 95u);
    EXPECT_EQ(SimToHex(r.substr(0, 5)), "05 00 31 02 01");
    EXPECT_EQ(Text(r.substr(5, 32)), "axis 7");
    EXPECT_EQ(SimToHex(r.substr(37, 6)), "0F 0E 0D 0C 0B 0A");
    EXPECT_EQ(Text(r.substr(43, 32)), "R3.1 test");
    EXPECT_EQ(SimGetLE(r, 75, 2), 0x8028u);
    EXPECT_EQ(SimGetLE(r, 77, 2), 0x0410u);
    EXPECT_EQ(Text(r.substr(79, 16)), "SIM-31");
    // Only the drive's own group, or all groups, get an answer.
    Expect(p, {{"05 01 02 00", nullptr}}, "udp:10.0.0.9:5000");
    EXPECT_TRUE(p.Answer(SimHex("05 02 01 00"), {"udp:10.0.0.9:5000", 0}));
    // Held by another master: the discovery says so, the blink still blinks.
    p.Answer(SimHex("01"), {"udp:10.0.0.1:6000", 0});
    auto taken = p.Answer(SimHex("05 FF FF 00"), {"udp:10.0.0.9:5000", 0});
    ASSERT_TRUE(taken);
    EXPECT_EQ(uint8_t(taken->frame[1]), 0xB3);
    Expect(p, {{"05 FF FF 01", "05 00"}}, "udp:10.0.0.9:5000");
    EXPECT_EQ(p.Drive().EventCount("blink"), 2u);
}

TEST(SimProtocol, HandlersOpenToAnyone) {
    SimProtocol p(Drive4());
    p.SetHandler(
        0x7A, [](SimDrive&, const SimContext&, std::string_view) { return SimHex("7A 00"); },
        SimProtocol::Access::Anyone);
    Expect(p, {{"7A", "7A 00"}});
    p.Answer(SimHex("01"), {"other", 0});
    Expect(p, {{"7A", "7A 00"}, {"03 00", "03 B3"}});
}

TEST(SimProtocol, LoginRequirementAndStatusCodesAreConfigurable) {
    SimDrive d = Drive4();
    d.Codes().unknownCommand = 0x99;
    d.Codes().notLoggedIn = 0x98;
    SimProtocol p(std::move(d));
    Expect(p, {{"03 00", "03 98"}, {"7E", "7E 98"}});
    p.Drive().SetRequireLogin(false);
    Expect(p, {{"03 00", "03 00 10 80 11 11 22 22 33 33"}, {"7E", "7E 99"}});
}

TEST(SimProtocol, HandlersExtendTheCommandSetBehindTheLoginCheck) {
    SimProtocol p(Drive4());
    int calls = 0;
    p.SetHandler(0x84, [&](SimDrive& d, const SimContext& ctx, std::string_view req) {
        ++calls;
        return SimProtocol::Reply(0x84, 0, req.substr(1));
    });
    p.SetHandler(0x04, [](SimDrive&, const SimContext&, std::string_view) { return SimBytes(); });
    Expect(p, {{"84 01 02", "84 C5"}});
    EXPECT_EQ(calls, 0);
    p.Answer(SimHex("01"), {kMaster, 0});
    Expect(p, {{"84 01 02", "84 00 01 02"}, {"04 00", nullptr}});
    // A handler may also replace a built-in command.
    p.SetHandler(0x03, [](SimDrive&, const SimContext&, std::string_view) { return SimHex("03 EC"); });
    Expect(p, {{"03 00", "03 EC"}});
    p.RemoveHandler(0x03);
    Expect(p, {{"03 00", "03 00 10 80 11 11 22 22 33 33"}});
}

TEST(SimProtocol, ProcessingTimesPerCommand) {
    SimProtocol p(Drive4());
    p.SetDefaultDelay(5);
    p.SetDelay(0x27, 3000);
    auto login = p.Answer(SimHex("01"), {kMaster, 0});
    ASSERT_TRUE(login);
    EXPECT_EQ(login->delayMs, 5);
    auto erase = p.Answer(SimHex("27"), {kMaster, 0});
    ASSERT_TRUE(erase);
    EXPECT_EQ(erase->delayMs, 3000);
}

TEST(SimProtocol, FirmwareStartsAfterItsStartTime) {
    SimDrive d = Drive4();
    d.SetStartDelayMs(500);
    SimProtocol p(std::move(d));
    p.Answer(SimHex("01"), {kMaster, 0});
    p.Answer(SimHex("20"), {kMaster, 100});
    auto starting = p.Answer(SimHex("03 00"), {kMaster, 300});
    ASSERT_TRUE(starting);
    EXPECT_EQ(SimGetLE(starting->frame, 2, 2), 0x8410u); // online, starting, instance 1 present
    auto running = p.Answer(SimHex("03 00"), {kMaster, 600});
    ASSERT_TRUE(running);
    EXPECT_EQ(SimGetLE(running->frame, 2, 2), 0xC012u);
    p.Drive().SetControllerError(true);
    auto error = p.Answer(SimHex("03 00"), {kMaster, 700});
    EXPECT_EQ(SimGetLE(error->frame, 2, 2), 0xE012u);
}

TEST(SimProtocol, StartWithoutFirmwareIsRefusedUnlessGivenAnAddress) {
    SimDrive d = Drive4();
    d.Instances()[1].present = false;
    SimProtocol p(std::move(d));
    p.Answer(SimHex("01"), {kMaster, 0});
    Expect(p, {{"20", "20 C6"}, {"20 00 00 00 01", "20 00"}});
    EXPECT_TRUE(p.Drive().Running());
}

TEST(SimProtocol, BlockLimitsFollowTheBuffer) {
    // 64-byte buffer, A = 3, D = 2: reads of 62 bytes and writes of 60 bytes
    // are the largest that fit.
    SimProtocol p(Drive3());
    p.Answer(SimHex("01"), {kMaster, 0});
    auto read = p.Answer(SimHex("30 00 10 00 3E"), {kMaster, 0});
    ASSERT_TRUE(read);
    EXPECT_EQ(read->frame.size(), 64u);
    EXPECT_EQ(uint8_t(read->frame[1]), 0);
    SimBytes write = SimHex("31 00 10 00") + SimBytes(60, 'x');
    EXPECT_EQ(p.Answer(write, {kMaster, 0})->frame, SimHex("31 00"));
    EXPECT_EQ(p.Answer(write + 'x', {kMaster, 0})->frame, SimHex("31 C2"));
}

TEST(SimProtocol, ByteAddressedDrive) {
    SimIdentity id;
    id.protocolVersion = 0x41;
    id.addrFieldSize = 4;
    id.dataFieldSize = 2;
    id.addrIncrement = 2; // one byte per address
    SimDrive d(id);
    d.AddRegion("RAM", SimRegionKind::Ram, 0x1000, 0x100);
    SimProtocol p(std::move(d));
    p.Answer(SimHex("01"), {kMaster, 0});
    Expect(p, {{"11 01 10 00 00 34 12", "11 00"}, {"30 00 10 00 00 04", "30 00 00 34 12 00"}, {"10 FF 10 00 00", "10 C3"}}); // a word at the last byte runs past the end
}

TEST(SimDrive, RefusesDescriptionsThatCannotBeADrive) {
    auto validate = [](auto change) {
        SimIdentity id;
        change(id);
        SimDrive(id).Validate();
    };
    EXPECT_NO_THROW(validate([](SimIdentity&) {}));
    EXPECT_THROW(validate([](SimIdentity& i) { i.addrFieldSize = 2; }), Exception);
    EXPECT_THROW(validate([](SimIdentity& i) { i.addrFieldSize = 5; }), Exception);
    EXPECT_THROW(validate([](SimIdentity& i) { i.dataFieldSize = 0; }), Exception);
    EXPECT_THROW(validate([](SimIdentity& i) { i.addrIncrement = 3; }), Exception);
    EXPECT_THROW(validate([](SimIdentity& i) { i.maxBufferSize = 20; }), Exception);

    SimDrive d;
    d.AddRegion("RAM", SimRegionKind::Ram, 0x1000, 0x100);
    EXPECT_THROW(d.AddRegion("B", SimRegionKind::Ram, 0x10FF, 0x10), Exception);
    EXPECT_THROW(d.AddRegion("C", SimRegionKind::Ram, 0x2000, 0), Exception);
    EXPECT_THROW(d.Peek(0x10FF, 3), Exception);
    EXPECT_THROW(d.Poke(0x0FFF, "ab"), Exception);
    EXPECT_THROW(d.SetParameter(1, 2, "abc"), Exception);

    SimIdentity id;
    id.addrFieldSize = 3;
    SimDrive d3(id);
    EXPECT_THROW(d3.AddRegion("HIGH", SimRegionKind::Ram, 0xFFFFF0, 0x20), Exception);
}

} // namespace
} // namespace vo
