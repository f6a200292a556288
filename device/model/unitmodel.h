#pragma once

// What a simulated unit is made of: its flash chip, its FTDI chip's strings and
// EEPROM, its wiring and the flash's busy times. Shared by the chip model and
// both of its doors (D2XX and libusb).

#include "device/flashchips.h"
#include "device/ftd2xx.h"

#include <array>
#include <cstdint>
#include <string>

namespace simbench {

// The known chips in the order of the driver's table (its rows 1 to 4).
enum class ChipKind { IS25WD020, IS25WD040, IS25WQ020, IS25WQ040, Unknown };
static_assert(kFlashChips.size() == std::size_t(ChipKind::Unknown) + 1, "one kind per known chip");
constexpr const FlashChip &flashChip(ChipKind kind) { return kFlashChips[std::size_t(kind) + 1]; }
// Bytes of flash; an unknown chip is taken as 4 Mbit.
constexpr uint32_t flashSize(ChipKind kind)
{
    return kind == ChipKind::Unknown ? 512 * 1024 : flashChip(kind).sizeKiB * 1024;
}

// CBUS pin functions as an X-series EEPROM codes them (libftdi's CBUSX_*).
constexpr uint8_t cbusTristate = 0;
constexpr uint8_t cbusTxLed = 1;
constexpr uint8_t cbusRxLed = 2;
constexpr uint8_t cbusTxRxLed = 3;
constexpr uint8_t cbusSleep = 5;
constexpr uint8_t cbusDrive0 = 6;
constexpr uint8_t cbusDrive1 = 7;
constexpr uint8_t cbusIoMode = 8;

struct UnitConfig
{
    std::string description = "SIM UNIT"; // at most 63 characters are listed
    std::string serial = "SIM0001";       // at most 15
    uint32_t type = FT_DEVICE_X_SERIES;
    // Data-bus pins the chip has: 8 on an FT231X, 4 (D0-D3) on an FT230X.
    uint8_t dataPins = 8;
    ChipKind chip = ChipKind::IS25WD040;
    std::array<uint8_t, 3> unknownId{0x7F, 0x9D, 0x34}; // answered by ChipKind::Unknown
    // CBUS lines (bit n = CBUSn) that must be driven high for the flash to be
    // on the bus; otherwise its data output floats high.
    uint8_t flashLines = 0x0B;
    uint8_t csPin = 3, clockPin = 2, mosiPin = 0, misoPin = 1;
    uint8_t fill = 0xFF;
    uint8_t status = 0x00; // status register at power-up
    std::string manufacturer = "FTDI";
    std::array<uint8_t, 4> cbusFunctions{cbusIoMode, cbusIoMode, cbusIoMode, cbusIoMode};
    bool stringsReadable = true; // false: the user may not open the device
    bool eepromReadable = true;
};

// Busy time after each write-type command: the number of status reads that
// still report busy, and at least this many milliseconds of real time.
struct Timing
{
    int statusReads = 1, programReads = 1, eraseReads = 3;
    int statusMs = 0, programMs = 0, eraseMs = 0;
};

enum class Op { Erase, Program };

} // namespace simbench
