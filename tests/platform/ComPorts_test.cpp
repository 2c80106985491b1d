#include "platform/ComPorts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using vo::ComPortTable;

TEST(ComPortTable, PortNumbers) {
    const std::pair<const char*, int> cases[] = {
        {"COM1", 1},
        {"com2", 2},
        {"Com10", 10},
        {"COM256", 256},
        {"COM257", 0},
        {"COM0", 0},
        {"COM01", 0},
        {"COM", 0},
        {"COMX", 0},
        {"COM1 ", 0},
        {" COM1", 0},
        {"COM1a", 0},
        {"LPT1", 0},
        {"COM-1", 0},
        {"COM1000", 0},
        {"", 0},
        {"OQP1", 0},
        {"/dev/ttyS0", 0},
    };
    for (auto [name, nr] : cases) {
        SCOPED_TRACE(name);
        auto got = ComPortTable::PortNumber(name);
        if (nr == 0)
            EXPECT_FALSE(got.has_value());
        else
            EXPECT_EQ(got, nr);
    }
}

namespace {

// A device folder of links to a real character device, plus things that must
// not count as serial devices.
struct FakeDevDir {
    fs::path dir;
    FakeDevDir() {
        char tmpl[] = "/tmp/vo_comportsXXXXXX";
        dir = ::mkdtemp(tmpl);
        for (const char* name : {"ttyS10", "ttyUSB0", "ttyS2", "ttyACM1", "ttyS0", "ttyACM0", "ttySX", "ttyS",
                                 "console", "ttyUSB1x"})
            fs::create_symlink("/dev/null", dir / name);
        std::ofstream(dir / "ttyS3") << "a plain file";
        fs::create_directory(dir / "ttyS4");
    }
    ~FakeDevDir() { fs::remove_all(dir); }
};

} // namespace

TEST(ComPortTable, DefaultNumberingFollowsTheDevicesFound) {
    FakeDevDir dev;
    ComPortTable table(dev.dir.string());
    const std::string d = dev.dir.string() + "/";
    EXPECT_EQ(table.DefaultDevices(), (std::vector<std::string>{d + "ttyS0", d + "ttyS2", d + "ttyS10", d + "ttyUSB0", d + "ttyACM0", d + "ttyACM1"}));
    EXPECT_EQ(table.DevicePath("COM1"), d + "ttyS0");
    EXPECT_EQ(table.DevicePath("com3"), d + "ttyS10");
    EXPECT_EQ(table.DevicePath("COM6"), d + "ttyACM1");
    EXPECT_FALSE(table.DevicePath("COM7"));
    EXPECT_FALSE(table.DevicePath("COM0"));
    EXPECT_FALSE(table.DevicePath("OQP1"));
    EXPECT_EQ(table.DevicePath("/dev/pts/3"), "/dev/pts/3");

    // A device that appears later counts after rescan().
    fs::create_symlink("/dev/null", dev.dir / "ttyS1");
    EXPECT_EQ(table.DevicePath("COM2"), d + "ttyS2");
    table.Rescan();
    EXPECT_EQ(table.DevicePath("COM2"), d + "ttyS1");
    EXPECT_EQ(table.DevicePath("COM7"), d + "ttyACM1");
}

TEST(ComPortTable, MappingsOverrideTheDefault) {
    FakeDevDir dev;
    ComPortTable table(dev.dir.string());
    table.Map("COM1", "/dev/pts/9");
    table.Map("com200", "/dev/pts/10");
    EXPECT_EQ(table.DevicePath("COM1"), "/dev/pts/9");
    EXPECT_EQ(table.DevicePath("COM200"), "/dev/pts/10");
    EXPECT_EQ(table.DevicePath("COM2"), dev.dir.string() + "/ttyS2");
    table.Unmap("COM1");
    EXPECT_EQ(table.DevicePath("COM1"), dev.dir.string() + "/ttyS0");

    EXPECT_THROW(table.Map("COM257", "/dev/x"), vo::Exception);
    EXPECT_THROW(table.Map("ETH", "/dev/x"), vo::Exception);
    EXPECT_THROW(table.Map("COM3", ""), vo::Exception);
    table.ClearMappings();
    EXPECT_TRUE(table.Mappings().empty());
}

TEST(ComPortTable, MappingText) {
    ComPortTable table("/nonexistent-dev-dir");
    EXPECT_TRUE(table.DefaultDevices().empty());
    table.ApplyMapping(" COM3=/dev/pts/4 ;com4 = /dev/ttyUSB7\n\nCOM256=/tmp/link;");
    EXPECT_EQ(table.Mappings(),
              (std::map<int, std::string>{{3, "/dev/pts/4"}, {4, "/dev/ttyUSB7"}, {256, "/tmp/link"}}));
    table.ApplyMapping("COM4=");
    EXPECT_FALSE(table.DevicePath("COM4"));

    // A bad entry anywhere: nothing applied.
    for (const char* bad : {"COM5=/dev/a;COM0=/dev/b", "COM5=/dev/a;garbage", "COM5=/dev/a;=/dev/b", "COM5"}) {
        SCOPED_TRACE(bad);
        try {
            table.ApplyMapping(bad);
            FAIL() << "accepted";
        } catch (const vo::Exception& e) {
            EXPECT_NE(std::string(e.what()).find("ComPortTable.ApplyMapping: bad entry"), std::string::npos);
        }
        EXPECT_FALSE(table.DevicePath("COM5"));
    }
}

TEST(ComPortTable, TheProgramHasOneTable) {
    EXPECT_EQ(&ComPortTable::Instance(), &ComPortTable::Instance());
}
