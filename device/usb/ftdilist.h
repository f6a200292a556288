#pragma once

// Internal to ftd2xx_usb: owning libftdi handles and the device type rule,
// shared by the D2XX calls and the diagnostics query.

#include "device/ftd2xx.h"

#include <ftdi.h>
#include <libusb.h>

#include <memory>

namespace ftdiusb {

struct ContextDeleter
{
    void operator()(ftdi_context *context) const { ftdi_free(context); }
};
using Context = std::unique_ptr<ftdi_context, ContextDeleter>;

struct ListDeleter
{
    void operator()(ftdi_device_list *list) const { ftdi_list_free2(list); }
};
using DeviceList = std::unique_ptr<ftdi_device_list, ListDeleter>;

// FT_DEVICE_* from the descriptor's bcdDevice, as the vendor library types chips.
inline uint32_t typeFor(uint16_t bcdDevice)
{
    switch (bcdDevice) {
    case 0x0200: return FT_DEVICE_AM;
    case 0x0400: return FT_DEVICE_BM;
    case 0x0500: return FT_DEVICE_2232C;
    case 0x0600: return FT_DEVICE_232R;
    case 0x0700: return FT_DEVICE_2232H;
    case 0x0800: return FT_DEVICE_4232H;
    case 0x0900: return FT_DEVICE_232H;
    case 0x1000: return FT_DEVICE_X_SERIES;
    default: return FT_DEVICE_UNKNOWN;
    }
}

// Every FTDI device with one of FTDI's default product ids (VID/PID 0 makes
// libftdi search its own list of them), in the order the D2XX list uses.
inline int findAll(ftdi_context *context, DeviceList &list)
{
    ftdi_device_list *raw = nullptr;
    const int found = ftdi_usb_find_all(context, &raw, 0, 0);
    list.reset(raw);
    return found;
}

} // namespace ftdiusb
