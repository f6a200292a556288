#include "device/ftdiprobe.h"

#include <QtCore/QCoreApplication>

#include <array>

namespace ftdiprobe {

namespace {
// Indexed by the X-series EEPROM code (libftdi's enum cbusx_func).
constexpr std::array<const char *, 22> names = {
    "tristate", "TXLED", "RXLED", "TX&RXLED", "PWREN", "SLEEP", "drive 0", "drive 1",
    "I/O mode", "TXDEN", "CLK24", "CLK12", "CLK6", "BAT_DETECT", "BAT_DETECT#", "I2C_TXE#",
    "I2C_RXF#", "VBUS_SENSE", "BB_WR#", "BB_RD#", "TIME_STAMP", "AWAKE#"};
constexpr int ioMode = 8;
} // namespace

bool isIoMode(int cbusFunction)
{
    return cbusFunction == ioMode;
}

QString cbusFunctionName(int cbusFunction)
{
    if (cbusFunction >= 0 && cbusFunction < int(names.size()))
        return QCoreApplication::translate("ftdiprobe", names[size_t(cbusFunction)]);
    return QCoreApplication::translate("ftdiprobe", "unknown function %1").arg(cbusFunction);
}

} // namespace ftdiprobe
