#pragma once

// Emulated FTDI chips at the USB level: a shared library that exports the
// libusb-1.0 calls libftdi1 makes, so the real backend and the distribution's
// libftdi1 run unchanged against the bench's chip and unit model. Loaded in
// front of the system libusb (LD_PRELOAD), or linked into a test executable
// ahead of it. Units come from the bench file named by OSTREL_USB_BENCH at the
// first libusb_init, or from this API.

#include "device/model/unitmodel.h"

#include <QtCore/QString>

#include <cstdint>
#include <vector>

namespace usbemu {

enum class FaultKind {
    Stall,       // the nth control request `request` (-1: any) stalls
    BulkTimeout, // the nth bulk transfer moves nothing and times out when its caller said
    ShortOut,    // the nth bulk OUT moves `count` bytes, then times out
    SplitIn,     // from the nth bulk IN on, every IN ends after a packet of `count` data bytes
    Gone,        // from the nth transfer on the device is unplugged
    Cut,         // the nth bulk transfer moves up to `count` bytes, then the device is gone: LIBUSB_ERROR_IO
    CutPipe,     // the same, ending in LIBUSB_ERROR_PIPE
    Mute         // from the nth transfer on the device answers nothing: every transfer times out
};

struct Fault
{
    FaultKind kind = FaultKind::Stall;
    int nth = 1; // counts the unit's matching transfers from when it is set
    int request = -1;
    int count = 0;
};

struct Counters
{
    uint64_t controlTransfers = 0, bulkOut = 0, bulkIn = 0;
    uint64_t bytesOut = 0, bytesIn = 0; // bulk payload, status bytes included
    uint64_t emptyIns = 0;              // bulk INs that carried only status bytes
    uint64_t leftAtClose = 0;           // transfers still in flight when their handle was closed
};

// A unit; its flash holds `flash` from address 0 (the rest is erased). With a
// flash file the contents are read from it and written back after every
// change. Units are listed in the order they were added.
int addUnit(const simbench::UnitConfig &config, const std::vector<uint8_t> &flash = {},
            const QString &flashFile = {});
void clear(); // no units, counters zeroed

// Bench files: an INI file with one [unitN] group per unit (description,
// serial, flash, cbus, type, strings, eeprom, faults). Relative flash paths
// are taken from the bench file's folder.
struct BenchUnit
{
    simbench::UnitConfig config;
    QString flashFile;
    std::vector<Fault> faults;
};
bool readBench(const QString &path, std::vector<BenchUnit> &units, QString *error = nullptr);
bool writeBench(const QString &path, const std::vector<BenchUnit> &units);
bool loadBench(const QString &path, QString *error = nullptr); // clear(), then add its units

void setFaults(int unit, const std::vector<Fault> &faults);
void clearFaults(int unit);
// A unit gone through a fault comes back, powered up afresh, at a new bus
// address as a real re-enumeration gives it.
bool replug(int unit);
uint8_t busAddress(int unit);
// Bulk transfers submitted on the unit and not yet handed back, each way.
struct InFlight
{
    int out = 0, in = 0;
};
InFlight inFlight(int unit);

std::vector<uint8_t> flashBytes(int unit, uint32_t address, uint32_t length);
std::vector<std::vector<uint8_t>> spiTransactions(int unit);
void clearTransactions();
// CBUS lines (bit n = CBUSn) the chip drives high.
uint8_t raisedLines(int unit);
// Samples per second the chip runs at in bit-bang mode after the last
// baud-rate request, decoded from its divisor (9600 Bd's at power-up).
double sampleRate(int unit);

Counters counters();
void resetCounters();

// Full-speed timing: every unit has its own virtual clock (its own 12 Mbit/s
// bus, as behind a multi-TT hub) that the transfers advance as a real chip on a
// real bus would: 1 ms frames of 19 bulk packet slots of 64 bytes shared by
// both directions, a control request taking a frame, samples clocked at the
// chip's rate while its receive FIFO has room, IN answered with data only
// when 62 bytes are waiting or the latency timer has run out, timeouts after
// the time the caller gave. Nothing really waits, and the clock always runs.
// The timing model adds the flash's busy times (without it the flash is
// busy for status reads only); switching it zeroes the clocks.
void setTimingModel(bool on, const simbench::Timing &flash = {});
struct Elapsed
{
    double totalMs = 0;     // virtual wall time
    double samplingMs = 0;  // the samples at the chip's rate, no waiting: the floor
    double flashBusyMs = 0; // busy times the flash was given
    double silentMs = 0;    // since a Mute fault silenced the unit
};
Elapsed elapsed();          // summed over the units: their operations one after another
Elapsed elapsed(int unit);

} // namespace usbemu
