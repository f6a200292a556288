#pragma once

// Control of the simulated bench behind the ftd2xx_sim backend: virtual FTDI
// chips wired to simulated units with an SPI flash each. For tests, the demo
// program and benchmarks. Single-threaded, like the D2XX calls it serves.

#include "device/ftd2xx.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace simbench {

enum class ChipKind { IS25WD020, IS25WD040, IS25WQ020, IS25WQ040, Unknown };
// Bytes of flash; an unknown chip is taken as 4 Mbit.
constexpr uint32_t flashSize(ChipKind kind)
{
    return kind == ChipKind::IS25WD020 || kind == ChipKind::IS25WQ020 ? 256 * 1024 : 512 * 1024;
}

// CBUS pin functions as an X-series EEPROM codes them (libftdi's CBUSX_*).
constexpr uint8_t cbusTxLed = 1;
constexpr uint8_t cbusSleep = 5;
constexpr uint8_t cbusIoMode = 8;

struct UnitConfig
{
    std::string description = "SIM UNIT"; // at most 63 characters are listed
    std::string serial = "SIM0001";       // at most 15
    uint32_t type = FT_DEVICE_X_SERIES;
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

using UnitId = int;

// Busy time after each write-type command: the number of status reads that
// still report busy, and at least this many milliseconds of real time.
struct Timing
{
    int statusReads = 1, programReads = 1, eraseReads = 3;
    int statusMs = 0, programMs = 0, eraseMs = 0;
};

enum class Call {
    CreateDeviceInfoList, GetDeviceInfoList, Open, Close, SetBitMode, SetLatencyTimer,
    SetBaudRate, SetUSBParameters, Write, Read, Purge
};
constexpr int callKinds = 11;

enum class Op { Erase, Program };

struct TraceEntry
{
    Call call;
    std::vector<uint32_t> args;
    FT_STATUS status;
    std::vector<uint8_t> data; // bytes accepted by FT_Write or returned by FT_Read
};

struct Counters
{
    uint64_t calls = 0;
    std::array<uint64_t, callKinds> byKind{};
    uint64_t bytesWritten = 0;
    uint64_t bytesRead = 0;
};

// Units. Devices are listed in attach order.
UnitId attach(const UnitConfig &config = {});
bool detach(UnitId id);  // unplug; the unit and its flash are kept for replug()
bool replug(UnitId id);  // plug a detached unit back in, powered up afresh
void reset();            // no units, no faults, empty trace, zero counters, default timing

// Flash contents and status register of a unit, attached or not.
std::vector<uint8_t> flashBytes(UnitId id, uint32_t address, uint32_t length);
bool setFlashBytes(UnitId id, uint32_t address, const std::vector<uint8_t> &bytes);
uint8_t statusRegister(UnitId id);
bool setStatusRegister(UnitId id, uint8_t value);
// Every SPI transaction the flash saw (bytes received while chip select was low).
std::vector<std::vector<uint8_t>> spiTransactions(UnitId id);

void setTiming(const Timing &timing);

// Faults. nth counts calls of that kind from now on, 1 being the next one.
void failCall(Call kind, int nth, FT_STATUS status = FT_IO_ERROR);
void shortWrite(int nth, uint32_t count);
void shortRead(int nth, uint32_t count);
void setStuckBusy(UnitId id, bool stuck);
// The nth erase or program the flash executes from now on takes effect on its
// first bytesDone bytes only, and the unit loses power (it is unplugged).
void powerLoss(UnitId id, Op op, int nth, uint32_t bytesDone);
void clearFaults();

// Trace of every D2XX call.
const std::vector<TraceEntry> &trace();
void clearTrace(); // also forgets the units' SPI transactions
void setTraceEnabled(bool enabled);
std::string describe(const TraceEntry &entry); // e.g. "FT_SetBitMode(0x88,0x20)=0"
std::vector<std::string> traceLines();
std::vector<std::vector<uint8_t>> writtenStreams(); // data of each FT_Write, in order

const Counters &counters();
void resetCounters();

} // namespace simbench
