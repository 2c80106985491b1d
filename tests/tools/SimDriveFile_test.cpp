// Drive descriptions as text: the sample drives load and answer with the
// identity, memory and parameters their files give, and malformed
// descriptions are refused with file and line.
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimProtocol.h"

#include "platform/Exception.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

SimBytes Ask(SimProtocol& p, const char* hex) {
    auto a = p.Answer(SimHex(hex), {"rs232", 0});
    return a ? a->frame : SimBytes("(silent)");
}

std::string Text(std::string_view bytes) { return std::string(bytes.substr(0, bytes.find('\0'))); }

TEST(SimDriveFile, SampleDrivesLoadAndServeTheirLoginSequence) {
    struct Sample {
        const char* file;
        uint8_t version;
        uint8_t addrSize;
        const char* release;
        const char* releaseRead;
        const char* userRead;
        const char* nameRead;
        const char* name;
    } samples[] = {
        {"vx41.drive", 0x41, 4, "VX41 R1.02 2024-05-01", "30 30 08 30 00 20", "15 00 44 70 10", "15 00 70 70 20",
         "VX41 axis 1"},
        {"vx31.drive", 0x31, 3, "VX31 R2.05", "30 48 1F 00 20", "88 00 C0 0C", "88 00 E8 03", "VX31 axis"},
        {"vx20.drive", 0x20, 3, "VX20 R1.07", "30 48 07 20 20", "88 00 C0 0C", "88 00 E8 03", "VX20 axis"},
    };
    for (const auto& s : samples) {
        SCOPED_TRACE(s.file);
        SimDriveDescription desc = SimLoadDrive(SimDataDir() + "/" + s.file);
        EXPECT_EQ(desc.name, s.file);
        SimProtocol p(std::move(desc.drive));
        SimBytes login = Ask(p, "01");
        ASSERT_GE(login.size(), 7u);
        EXPECT_EQ(uint8_t(login[1]), 0);
        EXPECT_EQ(uint8_t(login[2]), s.version);
        EXPECT_EQ(uint8_t(login[3]), s.addrSize);
        SimBytes rel = Ask(p, s.releaseRead);
        ASSERT_EQ(rel.size(), 34u);
        EXPECT_EQ(Text(rel.substr(2)), s.release);
        SimBytes user = Ask(p, s.userRead);
        ASSERT_EQ(user.size(), 18u);
        EXPECT_EQ(Text(user.substr(2)), "user");
        SimBytes name = Ask(p, s.nameRead);
        ASSERT_EQ(name.size(), 34u);
        EXPECT_EQ(Text(name.substr(2)), s.name);
        EXPECT_EQ(uint8_t(Ask(p, "02")[1]), 0);
    }
}

TEST(SimDriveFile, InfoNodesOfTheMainSample) {
    // A walk for node type 0 as the program makes it: find, read, step one
    // address behind the node, find again.
    SimProtocol p(SimLoadDrive(SimDataDir() + "/vx41.drive").drive);
    Ask(p, "01");
    uint32_t addr = 0;
    std::vector<std::pair<uint16_t, std::string>> found; // file type, complete name
    for (int guard = 0; guard < 10; ++guard) {
        SimBytes f = p.Answer(SimHex("25") + SimLE(addr, 4) + SimHex("00"), {"rs232", 0})->frame;
        if (uint8_t(f[1]) != 0) {
            EXPECT_EQ(uint8_t(f[1]), 0xC7);
            break;
        }
        uint32_t nodeAddr = SimGetLE(f, 2, 4);
        uint32_t size = SimGetLE(f, 7, 2);
        ASSERT_EQ(size % 2, 0u);
        SimBytes node;
        for (uint32_t done = 0; done < size;) {
            uint32_t n = std::min<uint32_t>(size - done, 252);
            SimBytes r = p.Answer(SimHex("30") + SimLE(nodeAddr + done / 2, 4) + char(n), {"rs232", 0})->frame;
            ASSERT_EQ(uint8_t(r[1]), 0);
            node += r.substr(2);
            done += n;
        }
        found.emplace_back(uint16_t(SimGetLE(node, 4, 2)), Text(node.substr(76, 62)));
        addr = nodeAddr + 1;
    }
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0], (std::pair<uint16_t, std::string>{2, "VX41FW_Main_0102"}));
    EXPECT_EQ(found[1], (std::pair<uint16_t, std::string>{5, "VxMotion_Std_V1S2"}));
    EXPECT_EQ(found[2], (std::pair<uint16_t, std::string>{5, "VxIntf_Std_V1S1"}));
    // The program node carries the start address.
    EXPECT_EQ(SimGetLE(p.Drive().Peek(0x8000, 32), 28, 4), 0x01000100u);
}

TEST(SimDriveFile, InfoNodeLayoutFollowsTheGeneration) {
    SimNodeFields f;
    f.fileType = 5;
    f.name = "BASE";
    f.completeName = "BASE_X_0100";
    SimBytes n1 = SimBuildInfoNode(f, 0x41, 2);
    SimBytes n0 = SimBuildInfoNode(f, 0x21, 2);
    EXPECT_EQ(n1.size(), 138u);
    EXPECT_EQ(n0.size(), 136u);
    EXPECT_EQ(Text(n1.substr(76)), "BASE_X_0100");
    EXPECT_EQ(Text(n0.substr(74)), "BASE_X_0100");
    EXPECT_EQ(Text(n1.substr(12, 16)), "BASE");
    SimNodeFields small;
    small.fileType = 2;
    EXPECT_EQ(SimBuildInfoNode(small, 0x41, 4).size(), 36u); // at least 34, whole words
    small.fileInfo = "abc";
    EXPECT_EQ(SimBuildInfoNode(small, 0x41, 2).size(), 84u);
}

TEST(SimDriveFile, EverythingADescriptionCanSay) {
    const char* text = R"(
        [identity]
        protocol_version = 0x42   # comment
        address_size = 3
        data_size = 4
        address_increment = 2
        device_string = "A\"B\\C\x41\0#"
        require_login = no
        running = yes
        [region R]
        kind = ram
        base = 0x100
        size = 0x80
        [memory 0x100]
        data = "ab"
        data = hex: 01 02
        [parameter 0x10]
        size = 4
        value = hex: 01
        rom = hex: 02 03
        writable = no
        [codes]
        unknown_command = 0x9A
        [delays]
        27 = 3000
        default = 7
        [faults]
        rule = cmd=10 drop
        rule = status=EC
        [instance 2]
        present = yes
        tree_name = "T"
    )";
    SimDriveDescription d = SimParseDrive(text, "inline.drive");
    const SimDrive& drive = d.drive;
    EXPECT_EQ(drive.Identity().protocolVersion, 0x42);
    EXPECT_EQ(drive.Identity().deviceString, SimBytes("A\"B\\CA\0#", 8));
    EXPECT_EQ(drive.BytesPerAddress(), 2u);
    EXPECT_FALSE(drive.RequireLogin());
    EXPECT_TRUE(drive.Running());
    EXPECT_EQ(drive.Peek(0x100, 4), SimHex("61 62 01 02"));
    const SimParameter* par = drive.FindParameter(0x10);
    ASSERT_TRUE(par);
    EXPECT_EQ(par->ram, SimHex("01 00 00 00"));
    EXPECT_EQ(par->rom, SimHex("02 03 00 00"));
    EXPECT_FALSE(par->writable);
    EXPECT_EQ(drive.Codes().unknownCommand, 0x9A);
    EXPECT_EQ(d.delays.at(0x27), 3000);
    EXPECT_EQ(d.defaultDelay, 7);
    ASSERT_EQ(d.faults.size(), 2u);
    EXPECT_EQ(d.faults[1].action, SimFault::Status);
    EXPECT_TRUE(drive.Instances()[2].present);
    EXPECT_EQ(drive.Instances()[2].treeName, "T");
}

TEST(SimDriveFile, MalformedDescriptionsNameFileAndLine) {
    const std::string id = "[identity]\nprotocol_version = 0x41\n";
    struct Case {
        std::string text;
        const char* message;
    } cases[] = {
        {"", "bad.drive: no [identity] section"},
        {id + "colour = red\n", "bad.drive:3: unknown key 'colour' in [identity]"},
        {id + "address_size = x\n", "bad.drive:3: 'address_size' needs a number"},
        {id + "address_size = 256\n", "bad.drive:3: 'address_size' out of range"},
        {id + "address_size = 5\n", "address field size must be 3 or 4"},
        {id + "device_string = \"12345678901234567\"\n", "bad.drive:3: device_string is longer than 16 bytes"},
        {id + "device_string = abc\n", "bad.drive:3: 'device_string' needs \"text\" or hex: bytes"},
        {id + "device_string = \"a\\q\"\n", "bad.drive:3: bad escape"},
        {id + "device_string = \"a\\\"\n", "bad.drive:3: '\\' at the end of a text"},
        {id + "[region R]\nkind = ram\n", "bad.drive:3: [region R] needs kind, base and size"},
        {id + "[region R]\nkind = rom\n", "bad.drive:4: kind is ram or flash"},
        {id + "[region A]\nkind = ram\nbase = 0\nsize = 16\n[region B]\nkind = ram\nbase = 8\nsize = 16\n",
         "bad.drive:7: SimDrive.AddRegion: region B overlaps region A"},
        {id + "[memory 0x10]\ndata = \"x\"\n", "bad.drive:3: SimDrive.Poke:"},
        {id + "[node 0x10]\ntype = 0\n", "bad.drive:3: SimDrive.Poke:"},
        {id + "[node 0x10]\nfile_type = 2\n", "bad.drive:3: [node] needs a type"},
        {id + "[parameter 0x10]\nvalue = \"x\"\n", "bad.drive:3: [parameter] needs a size"},
        {id + "[parameter 0x10]\nsize = 1\nvalue = \"xy\"\n", "longer than its size"},
        {id + "[passwords]\nGUEST = \"x\"\n", "bad.drive:4: passwords are for USER and SERVICE"},
        {id + "[faults]\nrule = wobble\n", "bad.drive:4: SimFaultRule.Parse: unknown word 'wobble'"},
        {id + "[sky]\n", "bad.drive:3: unknown section [sky]"},
        {"x = 1\n", "bad.drive:1: value outside a section"},
        {id + "[identity\n", "bad.drive:3: section header without ']'"},
        {id + "[identity]\n", "bad.drive:3: a second [identity]"},
        {id + "just words\n", "bad.drive:3: expected 'key = value'"},
        {id + "[instance 3]\n", "bad.drive:3: 'instance' out of range"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            SimParseDrive(c.text, "bad.drive");
            ADD_FAILURE() << "accepted";
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(SimLoadDrive("/nonexistent/none.drive"), Exception);
}

TEST(SimDriveFile, ANodeMayAnnounceAnotherSize) {
    const SimDriveDescription d = SimParseDrive(R"(
[identity]
protocol_version = 0x41
address_size = 4
data_size = 2
address_increment = 1
max_buffer_size = 255
[region RAM]
kind = ram
base = 0
size = 0x1000
[node 0x100]
type = 0
size = 21
data = hex: 01 02 03 04
)");
    ASSERT_EQ(d.drive.InfoNodes().size(), 1u);
    EXPECT_EQ(d.drive.InfoNodes()[0].size, 21);
    EXPECT_EQ(d.drive.Peek(0x100, 4), SimHex("01 02 03 04"));
}

} // namespace
} // namespace vo
