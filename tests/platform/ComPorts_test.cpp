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

// A fake machine: a device folder of links to a real character device (plus
// things that must not count as serial devices) and a sysfs tty folder with
// the kernel's port type of the ttyS ports.
struct FakeMachine {
    fs::path root;
    fs::path dev;
    fs::path sys;

    FakeMachine() {
        char tmpl[] = "/tmp/vo_comportsXXXXXX";
        root = ::mkdtemp(tmpl);
        dev = root / "dev";
        sys = root / "sys" / "class" / "tty";
        fs::create_directories(dev);
        fs::create_directories(sys);
        // Not serial devices, or not of a known family.
        for (const char* name : {"ttySX", "ttyS", "console", "ttyUSB1x", "tty0", "ttyAMA0"})
            Plug(name);
        std::ofstream(dev / "ttyUSB5") << "a plain file";
        fs::create_directory(dev / "ttyACM3");
    }
    ~FakeMachine() { fs::remove_all(root); }

    void Plug(const std::string& name) { fs::create_symlink("/dev/null", dev / name); }
    // A ttyS port as the kernel creates it, with its port type (0: no UART).
    void Uart(int nr, const std::string& type) {
        const std::string name = "ttyS" + std::to_string(nr);
        Plug(name);
        fs::create_directory(sys / name);
        std::ofstream(sys / name / "type") << type << "\n";
    }
    std::string Dev(const std::string& name) const { return (dev / name).string(); }
    ComPortTable Table() const { return ComPortTable(dev.string(), sys.string()); }
};

// The usual desktop: the kernel's 32 ttyS ports with two UARTs behind them,
// two USB adapters and a USB modem-class device.
struct DesktopMachine : FakeMachine {
    DesktopMachine() {
        for (int n = 0; n < 32; ++n)
            Uart(n, n == 0 ? "4" : n == 4 ? "16"
                                          : "0");
        Plug("ttyACM0");
        Plug("ttyUSB1");
        Plug("ttyUSB0");
    }
};

} // namespace

TEST(ComPortTable, AdaptersComeFirstAndAbsentUartsAreLeftOut) {
    DesktopMachine pc;
    ComPortTable table = pc.Table();
    EXPECT_EQ(table.DefaultDevices(), (std::vector<std::string>{pc.Dev("ttyUSB0"), pc.Dev("ttyUSB1"), pc.Dev("ttyACM0"), pc.Dev("ttyS0"), pc.Dev("ttyS4")}));
    EXPECT_EQ(table.DevicePath("COM1"), pc.Dev("ttyUSB0"));
    EXPECT_EQ(table.DevicePath("com2"), pc.Dev("ttyUSB1"));
    EXPECT_EQ(table.DevicePath("COM3"), pc.Dev("ttyACM0"));
    EXPECT_EQ(table.DevicePath("COM4"), pc.Dev("ttyS0"));
    EXPECT_EQ(table.DevicePath("COM5"), pc.Dev("ttyS4"));
    EXPECT_FALSE(table.DevicePath("COM6"));
    EXPECT_FALSE(table.DevicePath("COM0"));
    EXPECT_FALSE(table.DevicePath("OQP1"));
    EXPECT_EQ(table.DevicePath("/dev/pts/3"), "/dev/pts/3");

    // A mapping to a stable name wins and keeps the name as given.
    fs::create_directories(pc.dev / "serial" / "by-id");
    const std::string byId = pc.Dev("serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    fs::create_symlink("../../ttyUSB1", byId);
    table.Map("COM1", byId);
    EXPECT_EQ(table.DevicePath("COM1"), byId);
    EXPECT_EQ(table.DevicePath("COM2"), pc.Dev("ttyUSB1"));
}

TEST(ComPortTable, RescanFindsAPluggedAdapter) {
    DesktopMachine pc;
    ComPortTable table = pc.Table();
    table.Map("COM1", "/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0");
    table.Map("COM9", "/dev/pts/7");
    EXPECT_EQ(table.DevicePath("COM3"), pc.Dev("ttyACM0"));

    // Seen only after a rescan: the table does not look at the folder again
    // by itself.
    pc.Plug("ttyUSB2");
    EXPECT_EQ(table.DevicePath("COM3"), pc.Dev("ttyACM0"));
    table.Rescan();
    EXPECT_EQ(table.DevicePath("COM2"), pc.Dev("ttyUSB1"));
    EXPECT_EQ(table.DevicePath("COM3"), pc.Dev("ttyUSB2"));
    EXPECT_EQ(table.DevicePath("COM4"), pc.Dev("ttyACM0"));
    EXPECT_EQ(table.DevicePath("COM6"), pc.Dev("ttyS4"));
    EXPECT_EQ(table.DevicePath("COM1"),
              "/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0");
    EXPECT_EQ(table.DevicePath("COM9"), "/dev/pts/7");

    // Unplugged: the ports after it move back.
    fs::remove(pc.dev / "ttyUSB0");
    table.Rescan();
    EXPECT_EQ(table.DevicePath("COM2"), pc.Dev("ttyUSB2"));
    EXPECT_EQ(table.DevicePath("COM5"), pc.Dev("ttyS4"));
    EXPECT_FALSE(table.DevicePath("COM6"));
}

TEST(ComPortTable, UartPresenceFromThePortType) {
    FakeMachine pc;
    pc.Uart(0, "0"); // "unknown": no UART
    pc.Uart(1, "4"); // 16550A
    pc.Uart(2, " 0 "); // still 0
    pc.Uart(3, "not a number"); // unreadable: present
    pc.Plug("ttyS5"); // no sysfs entry: present
    pc.Plug("ttyS6");
    fs::create_directories(pc.sys / "ttyS6" / "type"); // a type that cannot be read
    pc.Uart(10, "1");
    pc.Plug("ttyUSB0");
    EXPECT_EQ(pc.Table().DefaultDevices(), (std::vector<std::string>{pc.Dev("ttyUSB0"), pc.Dev("ttyS1"), pc.Dev("ttyS3"), pc.Dev("ttyS5"), pc.Dev("ttyS6"), pc.Dev("ttyS10")}));

    // Without any sysfs folder every ttyS counts.
    ComPortTable noSys(pc.dev.string(), (pc.root / "no-sys").string());
    EXPECT_EQ(noSys.DefaultDevices().size(), 8u);
}

TEST(ComPortTable, MappingsOverrideTheDefault) {
    DesktopMachine pc;
    ComPortTable table = pc.Table();
    table.Map("COM1", "/dev/pts/9");
    table.Map("com200", "/dev/pts/10");
    EXPECT_EQ(table.DevicePath("COM1"), "/dev/pts/9");
    EXPECT_EQ(table.DevicePath("COM200"), "/dev/pts/10");
    EXPECT_EQ(table.DevicePath("COM2"), pc.Dev("ttyUSB1"));
    table.Unmap("COM1");
    EXPECT_EQ(table.DevicePath("COM1"), pc.Dev("ttyUSB0"));

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
