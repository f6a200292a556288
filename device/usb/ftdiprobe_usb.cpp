// The diagnostics query on libftdi1: strings as the device list reads them,
// CBUS functions from the chip's EEPROM.

#include "device/ftdiprobe.h"
#include "device/usb/ftdilist.h"

#include <array>

namespace ftdiprobe {

namespace {

void readEeprom(libusb_device *dev, DeviceReport &report)
{
    ftdiusb::Context context(ftdi_new());
    if (!context || ftdi_usb_open_dev(context.get(), dev) < 0)
        return;
    if (ftdi_read_eeprom(context.get()) == 0 && ftdi_eeprom_decode(context.get(), 0) == 0) {
        static constexpr std::array<ftdi_eeprom_value, 4> pins = {CBUS_FUNCTION_0, CBUS_FUNCTION_1,
                                                                  CBUS_FUNCTION_2, CBUS_FUNCTION_3};
        for (const ftdi_eeprom_value pin : pins) {
            int function = -1;
            if (ftdi_get_eeprom_value(context.get(), pin, &function) < 0)
                break;
            report.cbusFunctions.push_back(function);
        }
        report.eepromReadable = report.cbusFunctions.size() == pins.size();
    }
    ftdi_usb_close(context.get());
}

} // namespace

std::vector<DeviceReport> probeDevices()
{
    std::vector<DeviceReport> reports;
    ftdiusb::Context context(ftdi_new());
    ftdiusb::DeviceList list;
    if (!context || ftdiusb::findAll(context.get(), list) < 0)
        return reports;
    for (ftdi_device_list *item = list.get(); item; item = item->next) {
        DeviceReport report;
        report.index = static_cast<int>(reports.size());
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(item->dev, &descriptor) == 0)
            report.type = ftdiusb::typeFor(descriptor.bcdDevice);
        std::array<char, 64> description{};
        std::array<char, 16> serial{};
        report.stringsReadable = ftdi_usb_get_strings2(context.get(), item->dev, nullptr, 0, description.data(),
                                                       int(description.size()), serial.data(), int(serial.size()))
                                 == 0;
        description.back() = serial.back() = '\0';
        report.description = QString::fromLatin1(description.data());
        report.serial = QString::fromLatin1(serial.data());
        if (report.stringsReadable)
            readEeprom(item->dev, report);
        reports.push_back(std::move(report));
    }
    return reports;
}

// libftdi1 and libusb are linked in, not looked up.
BackendProblem backendProblem()
{
    return {};
}

} // namespace ftdiprobe
