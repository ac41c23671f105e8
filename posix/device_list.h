#pragma once
// The serial devices of this machine as sysfs and /dev/serial/by-id tell them, without opening
// any of them, and the COM ports that lead to them when the user has not said otherwise.
//   ListSerialDevices(roots, warnings)  every tty in sysfs with a `device` link whose node is
//       in /dev, in name order (ttyACM0, ttyACM1, ttyS0, ttyS2, ttyUSB0); a UART port with no
//       UART behind it (type 0) is left out. Folders that cannot be read give an empty list; a
//       by-id link that leads to nothing adds one warning to `warnings` (when given).
//   FormatDeviceList(devices, comMap, lockDir)  the listing, one line a device: its path, its
//       by-id name, the driver, USB vendor:product and product name, the COM ports that lead to
//       it, and "free" or "in use by PID (NAME)" from its UUCP lock file; "-" for what is not
//       known. "No serial devices found.\n" for an empty list.
//   AutoMap(map, devices, explicitlyMapped)  gives each of COM1..COM4 not explicitly mapped
//       (index = port number) the next of: the USB and ACM devices in the order of their by-id
//       names (the by-id name where there is one, so that the port survives a replug; devices
//       without one follow in name order), then /dev/ttyS0, /dev/ttyS1, ... A device that an
//       explicitly mapped port already leads to is not given to a second one. Cannot fail.
//   KindName(kind)  "acm", "usb", "uart" or "other"
#include <array>
#include <string>
#include <vector>

#include "posix/devices.h"

namespace pelko::posix {

enum class DeviceKind {
    UsbAcm,    // a USB CDC ACM device (ttyACM*), as most boards with their own USB are
    UsbSerial, // a USB serial adapter (ttyUSB*: FTDI, CP210x, CH340 ...)
    Uart,      // a UART on the board or a card (8250 and its kind)
    Other,
};

struct SerialDevice {
    std::string path;    // "/dev/ttyACM0"
    std::string byId;    // "/dev/serial/by-id/usb-Zemra_Board_0001-if00", "" when none
    std::string driver;  // "cdc_acm", "ftdi_sio", "serial8250", "" when unknown
    std::string usbId;   // "2e8a:000a", "" when not on USB
    std::string product; // USB product name, "" when none
    std::string serial;  // USB serial number, "" when none
    DeviceKind kind = DeviceKind::Other;
};

// Where to look; tests point these at a tree of their own.
struct ListRoots {
    std::string sysClassTty = "/sys/class/tty";
    std::string dev = "/dev";
    std::string byId = "/dev/serial/by-id";
};

std::vector<SerialDevice> ListSerialDevices(const ListRoots& roots = {},
                                            std::vector<std::string>* warnings = nullptr);
std::string FormatDeviceList(const std::vector<SerialDevice>& devices, const DeviceMap& comMap,
                             const std::string& lockDir);
void AutoMap(DeviceMap& map, const std::vector<SerialDevice>& devices,
             const std::array<bool, 5>& explicitlyMapped);
const char* KindName(DeviceKind kind);

} // namespace pelko::posix
