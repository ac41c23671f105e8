// Serial devices from a fake sysfs tree, the per-user port mapping file, and the default mapping.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "posix/device_list.h"
#include "posix/port_map.h"
#include "posix/uucp_lock.h"
#include "tests/support/private_dir.h"

namespace pelko::posix {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;

std::string Slurp(const std::string& path) {
    return {std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}};
}

// sys/, dev/ and dev/serial/by-id/ as the kernel and udev lay them out; device nodes are FIFOs,
// which an open would wait on for ever.
class FakeTree : public testing::Test {
protected:
    void SetUp() override {
        const std::string usb = "sys/devices/pci0000:00/usb1/";
        Usb(usb + "1-2", {"2e8a", "000a", "Zemra Board\x1b[2J", "0001"});
        Tty("ttyACM0", usb + "1-2/1-2:1.0", "cdc_acm");
        Usb(usb + "1-1", {"0403", "6001", "FT232R USB UART", "A10"});
        Tty("ttyUSB0", usb + "1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
        Tty("ttyS0", "sys/devices/platform/serial8250", "serial8250", "4");
        Tty("ttyS1", "sys/devices/platform/serial8250.1", "serial8250", "0"); // nothing there
        Tty("tty0", "", "");                                                  // virtual
        Link("dev/serial/by-id/usb-Zemra_Zemra_Board_0001-if00", "../../ttyACM0");
        Link("dev/serial/by-id/usb-Gone_Adapter-if00-port0", "../../ttyUSB7");
        roots = {At("sys/class/tty"), At("dev"), At("dev/serial/by-id")};
    }
    std::string At(const std::string& rel) const { return dir.Path() + "/" + rel; }
    void Mkdir(const std::string& rel) const { std::filesystem::create_directories(At(rel)); }
    void Link(const std::string& rel, const std::string& target) const {
        Mkdir(rel.substr(0, rel.rfind('/')));
        ASSERT_EQ(::symlink(target.c_str(), At(rel).c_str()), 0) << rel;
    }
    void Usb(const std::string& rel, const std::array<const char*, 4>& values) const {
        Mkdir(rel);
        for (int i = 0; i < 4; ++i) {
            std::ofstream(
                At(rel + "/" + std::array{"idVendor", "idProduct", "product", "serial"}[i]))
                << values[i] << "\n";
        }
    }
    void Tty(const std::string& name, const std::string& device, const std::string& driver,
             const std::string& type = "") const {
        const std::string tty = (device.empty() ? "sys/devices/virtual" : device) + "/tty/" + name;
        Mkdir(tty);
        if (!device.empty()) {
            Link(tty + "/device", At(device));
            Link(device + "/driver", "../../bus/drivers/" + driver);
        }
        if (!type.empty()) {
            std::ofstream(At(tty + "/type")) << type << "\n";
        }
        Link("sys/class/tty/" + name, At(tty));
        Mkdir("dev");
        ASSERT_EQ(::mkfifo(At("dev/" + name).c_str(), 0600), 0);
    }
    test::PrivateDir dir;
    ListRoots roots;
};

TEST_F(FakeTree, ListsWhatSysfsAndByIdTell) {
    std::vector<std::string> warnings;
    const std::vector<SerialDevice> found = ListSerialDevices(roots, &warnings);
    std::vector<std::string> rows;
    for (const SerialDevice& d : found) {
        rows.push_back(d.path.substr(At("dev/").size()) + "|" +
                       d.byId.substr(d.byId.rfind('/') + 1) + "|" + d.driver + "|" + d.usbId + "|" +
                       d.product + "|" + d.serial + "|" + KindName(d.kind));
    }
    ASSERT_THAT(rows, ElementsAre("ttyACM0|usb-Zemra_Zemra_Board_0001-if00|cdc_acm|2e8a:000a|"
                                  "Zemra Board?[2J|0001|acm",
                                  "ttyS0||serial8250||||uart",
                                  "ttyUSB0||ftdi_sio|0403:6001|FT232R USB UART|A10|usb"));
    EXPECT_THAT(warnings, ElementsAre(HasSubstr("usb-Gone_Adapter-if00-port0: leads to no")));

    // The listing: COM1 leads to the board by its by-id name, and this process holds its lock.
    DeviceMap map;
    map.com[1] = found[0].byId;
    map.com[3] = found[2].path;
    const std::string lockPath = UucpLockPath(dir.Path(), "/dev/ttyACM0");
    ASSERT_EQ(AcquireUucpLock(lockPath), LockResult::Locked);
    const std::string text = FormatDeviceList(found, map, dir.Path());
    ReleaseUucpLock(lockPath);
    const std::string comm = Slurp("/proc/self/comm");
    const std::string me = "in use by " + std::to_string(::getpid()) + " \\(" +
                           comm.substr(0, comm.find('\n')) + "\\)\n";
    EXPECT_THAT(text,
                testing::MatchesRegex(
                    "[^\n]*/dev/ttyACM0 +[^ ]*/usb-Zemra_Zemra_Board_0001-if00 +cdc_acm +"
                    "2e8a:000a Zemra Board\\?\\[2J +COM1 +" +
                    me +
                    "[^\n]*/dev/ttyS0 +- +serial8250 +- +- +free\n"
                    "[^\n]*/dev/ttyUSB0 +- +ftdi_sio +0403:6001 FT232R USB UART +COM3 +free\n"));
}

TEST_F(FakeTree, ListingOpensNoDevice) {
    if (std::getenv("PELKO_LIST_CHILD") != nullptr) { // the traced run
        FormatDeviceList(ListSerialDevices(roots), DeviceMap(), dir.Path());
        return;
    }
    const int status = std::system(("PELKO_LIST_CHILD=1 ASAN_OPTIONS=detect_leaks=0 timeout 60 "
                                    "strace -f -qq -e trace=open,openat -o " +
                                    At("trace") + " /proc/" + std::to_string(::getpid()) +
                                    "/exe --gtest_filter=FakeTree.ListingOpensNoDevice >/dev/null")
                                       .c_str());
    const std::string trace = Slurp(At("trace"));
    if (trace.empty()) {
        GTEST_SKIP() << "no strace, or it cannot trace here";
    }
    EXPECT_EQ(status, 0);
    EXPECT_THAT(trace, HasSubstr("/product\"")); // the listing ran under the trace
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(line.find("/dev/tty") == line.npos && line.find("/by-id/") == line.npos)
            << line;
    }
}

TEST_F(FakeTree, PortMapFileWithGarbageLines) {
    const std::string path = At("ports");
    std::ofstream(path) << "# Pelko's ports\n"
                           "COM1=/dev/serial/by-id/usb-Zemra_Zemra_Board_0001-if00\n"
                           "garbage without an equals sign\n"
                           "COM7=/dev/ttyUSB3\n"
                           " com2 = /dev/ttyUSB0 \r\n"
                           "COM3=ttyUSB1\n"
                           "TELNET=[::1]:2217\n"
                           "TELNET=host:99999\n"
                           "\x01\x1b[2J=x\n"
                           "\n"
                           "COM4=/dev/ttyS9";
    DeviceMap map;
    std::vector<std::string> warnings;
    const std::array<bool, 5> mapped = LoadPortMap(path, map, warnings);
    // A bad value leaves its port leading nowhere (COM3 and TELNET), not to another device.
    EXPECT_THAT(mapped, ElementsAre(false, true, true, true, true));
    EXPECT_THAT(map.com, ElementsAre("", "/dev/serial/by-id/usb-Zemra_Zemra_Board_0001-if00",
                                     "/dev/ttyUSB0", "", "/dev/ttyS9"));
    EXPECT_THAT(map.unusable[3], testing::StartsWith(path + ":6: COM3 wants a device path"));
    EXPECT_THAT(map.unusable[5], testing::StartsWith(path + ":8: TELNET wants HOST:PORT"));
    EXPECT_EQ(map.Describe("\\\\.\\TELNET"), "");
    ASSERT_EQ(warnings.size(), 5u);
    for (std::size_t i = 0; i < warnings.size(); ++i) {
        EXPECT_THAT(warnings[i], testing::StartsWith(path + ":" + "34689"[i] + ": "));
        EXPECT_EQ(warnings[i].find('\x1b'), std::string::npos);
    }

    // An editor's byte order mark does not spoil the first line. A port's reset lines and time.
    std::ofstream(path) << "\xEF\xBB\xBF"
                           "COM2=/dev/ttyACM0\nCOM2.reset=RTS\ncom2.reset-ms=250\n"
                           "COM1.reset=both\nCOM1.reset-ms=0\nCOM3.reset=none\n";
    warnings.clear();
    EXPECT_TRUE(LoadPortMap(path, map, warnings)[2]);
    EXPECT_THAT(warnings, ElementsAre(testing::StartsWith(path + ":4: COM1.reset wants"),
                                      testing::StartsWith(path + ":5: COM1.reset-ms wants")));
    auto plan = [&](int n) {
        const platform::ResetPlan& p = map.reset[static_cast<std::size_t>(n)];
        return std::to_string(p.dtr) + std::to_string(p.rts) + " " + std::to_string(p.ms);
    };
    EXPECT_THAT((std::vector{plan(1), plan(2), plan(3)}),
                ElementsAre("10 100", "01 250", "00 100"));

    // Nothing there is no warning; what cannot be read is one, and never waited on.
    ASSERT_EQ(::mkfifo(At("fifo").c_str(), 0600), 0);
    for (const auto& [file, count] :
         {std::pair{"none", 0u}, std::pair{"dev", 1u}, std::pair{"fifo", 1u}}) {
        warnings.clear();
        EXPECT_THAT(LoadPortMap(At(file), map, warnings), testing::Each(false));
        EXPECT_EQ(warnings.size(), count) << file;
    }

    // Saving: folders made 0700, other lines kept, the key's first line replaced, later ones gone.
    const std::string fresh = At("cfg/pelko/ports");
    ASSERT_TRUE(SavePortEntry(fresh, "com2", "/dev/ttyACM0"));
    EXPECT_EQ(Slurp(fresh), "COM2=/dev/ttyACM0\n");
    EXPECT_EQ(std::filesystem::status(At("cfg/pelko")).permissions(),
              std::filesystem::perms::owner_all);
    std::ofstream(fresh) << "# mine\nCOM1=/dev/a\njunk\nCOM1=relative\nTELNET=h:1";
    ASSERT_TRUE(SavePortEntry(fresh, "COM1", "/dev/ttyUSB0"));
    ASSERT_TRUE(SavePortEntry(fresh, "TELNET", ""));
    EXPECT_EQ(Slurp(fresh), "# mine\nCOM1=/dev/ttyUSB0\njunk\n");
    std::string error;
    EXPECT_FALSE(SavePortEntry(fresh, "COM1", "/dev/ttyS0\nCOM2=/x", &error));
    EXPECT_FALSE(SavePortEntry(At("dev/ttyS0/ports"), "COM1", "/dev/ttyS0", &error));
    EXPECT_THAT(error, HasSubstr("dev/ttyS0/ports"));
    EXPECT_EQ(Slurp(fresh), "# mine\nCOM1=/dev/ttyUSB0\njunk\n");

    // A port's reset keys are entries of their own, beside its device, and read back.
    std::ofstream(fresh) << "COM1=/dev/a\ncom1.RESET=rts\n";
    ASSERT_TRUE(SavePortEntry(fresh, "COM1.reset", "dtr+rts"));
    ASSERT_TRUE(SavePortEntry(fresh, "com1.reset-ms", "250"));
    EXPECT_EQ(Slurp(fresh), "COM1=/dev/a\nCOM1.reset=dtr+rts\nCOM1.reset-ms=250\n");
    EXPECT_FALSE(SavePortEntry(fresh, "COM1.reset-ms", "0", &error));
    EXPECT_FALSE(SavePortEntry(fresh, "COM1.baud", "9600", &error));
    ASSERT_TRUE(SavePortEntry(fresh, "COM1.reset-ms", ""));
    EXPECT_EQ(Slurp(fresh), "COM1=/dev/a\nCOM1.reset=dtr+rts\n");
    map = DeviceMap{};
    warnings.clear();
    LoadPortMap(fresh, map, warnings);
    EXPECT_TRUE(map.reset[1].dtr && map.reset[1].rts && warnings.empty());
}

TEST(AutoMap, BoardsFirstInByIdOrderThenTheUarts) {
    const SerialDevice b{"/x/ttyACM0", "/id/B", "", "", "", "", DeviceKind::UsbAcm};
    const SerialDevice a{"/x/ttyACM1", "/id/A", "", "", "", "", DeviceKind::UsbAcm};
    const SerialDevice u{"/x/ttyUSB0", "", "", "", "", "", DeviceKind::UsbSerial};
    const SerialDevice s{"/x/ttyS0", "", "", "", "", "", DeviceKind::Uart};
    struct Case {
        std::vector<SerialDevice> devices;
        std::array<bool, 5> given; // explicitly mapped to what `want` says
        std::array<std::string, 5> want;
    };
    for (const Case& c : std::vector<Case>{
             {{s}, {}, {"", "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"}},
             {{s, b}, {}, {"", "/id/B", "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"}},
             {{u, b, a}, {}, {"", "/id/A", "/id/B", "/x/ttyUSB0", "/dev/ttyS0"}},
             {{u, b, a}, {0, 0, 1}, {"", "/id/A", "/id/B", "/x/ttyUSB0", "/dev/ttyS0"}},
             {{}, {0, 0, 1}, {"", "/dev/ttyS1", "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS3"}},
         }) {
        DeviceMap map;
        for (std::size_t n = 1; n < 5; ++n) {
            map.com[n] = c.given[n] ? c.want[n] : map.com[n];
        }
        AutoMap(map, c.devices, c.given);
        EXPECT_EQ(map.com, c.want) << c.devices.size() << " devices";
    }
}

} // namespace
} // namespace pelko::posix
