#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/posix/PosixPortInventory.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// A sysfs of the test's own: ttyUSB0 behind a USB device with its numbers and names, ttyS3
// behind no USB device; the devices themselves are plain files of the test.
TEST(PosixPortInventoryTest, EachEntryShowsItsDeviceAndWhatSysfsKnowsOfIt) {
    TTempDir root;
    const fs::path usb = root.Path() / "sys/devices/pci0/usb1/1-2";
    fs::create_directories(usb / "1-2:1.0/ttyUSB0");
    fs::create_directories(root.Path() / "sys/devices/platform/serial8250/tty/ttyS3");
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, std::string>>{{"idVendor", "0403"},
                                                          {"idProduct", "6001"},
                                                          {"manufacturer", "FTDI"},
                                                          {"product", "FT232R USB UART"},
                                                          {"serial", "A12345"}})
        std::ofstream(usb / name) << value << "\n";
    const fs::path tty = root.Path() / "sys/class/tty";
    fs::create_directories(tty / "ttyUSB0");
    fs::create_directories(tty / "ttyS3");
    fs::create_directory_symlink(usb / "1-2:1.0/ttyUSB0", tty / "ttyUSB0/device");
    fs::create_directory_symlink(root.Path() / "sys/devices/platform/serial8250", tty / "ttyS3/device");
    const fs::path dev = root.Path() / "dev";
    fs::create_directories(dev / "serial/by-id");
    std::ofstream(dev / "ttyUSB0");
    std::ofstream(dev / "ttyS3");
    fs::create_symlink("../../ttyUSB0", dev / "serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0");
    const fs::path ports = root.Path() / "ports";
    fs::create_directories(ports);
    fs::create_symlink(dev / "ttyUSB0", ports / "COM12");
    fs::create_symlink(dev / "ttyS3", ports / "COM4");
    fs::create_symlink(dev / "ttyUSB7", ports / "COM3");  // unplugged
    std::ofstream(ports / "notes.txt");

    const std::string d = dev.string();
    EXPECT_EQ(TPosixPortInventory::List(ports.string(), (dev / "serial/by-id").string(), tty.string()),
              "Ports directory " + ports.string() + ":\n" +       //
                  "  COM3   -> " + d + "/ttyUSB7  (missing)\n" +  //
                  "  COM4   -> " + d + "/ttyS3\n" +               //
                  "  COM12  -> " + d + "/ttyUSB0  (USB 0403:6001 FTDI FT232R USB UART, serial A12345)\n" +
                  "Serial devices by id (" + d + "/serial/by-id):\n" +  //
                  "  usb-FTDI_FT232R_USB_UART_A12345-if00-port0 -> " + d +
                  "/ttyUSB0  (USB 0403:6001 FTDI FT232R USB UART, serial A12345)\n" +
                  "A port without an entry is /dev/ttyS<n-1>; ln -s DEVICE " + ports.string() +
                  "/COMn gives it one.\n");
}

}  // namespace
