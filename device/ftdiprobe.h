#pragma once

// What a unit's FTDI chip says about itself beyond the device list: whether its
// USB strings could be read and how its EEPROM sets the CBUS pins. Both
// backends answer it, beside the D2XX calls; the window never asks.

#include <QtCore/QString>
#include <QtCore/QtGlobal>

#include <vector>

namespace ftdiprobe {

struct DeviceReport
{
    int index = -1;               // position in the FT_CreateDeviceInfoList / FT_GetDeviceInfoList order
    quint32 type = 0;             // FT_DEVICE_* as the device list gives it
    bool stringsReadable = false; // false: no access to the device (udev rule missing)
    QString description, serial;  // what could be read
    bool eepromReadable = false;
    std::vector<int> cbusFunctions; // CBUS0, CBUS1, ... as the EEPROM holds them (libftdi's cbusx_func codes for X chips)
};

bool isIoMode(int cbusFunction);           // X-series: CBUSX_IOMODE
QString cbusFunctionName(int cbusFunction); // e.g. "I/O mode", "TXLED", ... for messages
std::vector<DeviceReport> probeDevices();  // every FTDI device, same order as the D2XX list

// Why the backend can reach no device at all, whatever is plugged in: the
// vendor's driver library missing, or lacking a call. Kind None when it can.
struct BackendProblem
{
    enum Kind { None, LibraryMissing, FunctionMissing } kind = None;
    QString library;  // the library file looked for
    QString function; // FunctionMissing: the first call it lacks
};
BackendProblem backendProblem();

} // namespace ftdiprobe
