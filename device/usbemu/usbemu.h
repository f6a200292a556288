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
    BulkTimeout, // the nth bulk transfer times out with nothing moved
    ShortOut,    // the nth bulk OUT moves `count` bytes, then times out
    SplitIn,     // every bulk IN ends after a packet of `count` data bytes
    Gone         // from the nth transfer on the device is unplugged
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
bool replug(int unit); // a unit gone through a fault comes back, powered up afresh

std::vector<uint8_t> flashBytes(int unit, uint32_t address, uint32_t length);
std::vector<std::vector<uint8_t>> spiTransactions(int unit);
void clearTransactions();
// CBUS lines (bit n = CBUSn) the chip drives high.
uint8_t raisedLines(int unit);
// Samples per second the chip runs at in bit-bang mode after the last
// baud-rate request, decoded from its divisor; 0 before any.
double sampleRate(int unit);

const Counters &counters();
void resetCounters();

// Full-speed timing model: a virtual clock that every transfer advances as a
// real chip on a real bus would (1 ms frames, at most 19 bulk packets of 64
// bytes per frame, samples clocked at the chip's rate, short IN packets held
// for the latency timer), and the flash's busy times counted on that clock.
// Nothing really waits. Off by default; turning it on or off zeroes the clock.
void setTimingModel(bool on, const simbench::Timing &flash = {});
struct Elapsed
{
    double totalMs = 0;   // virtual wall time
    double samplingMs = 0; // the samples at the chip's rate, no waiting: the floor
    double flashBusyMs = 0; // busy times the flash was given
};
Elapsed elapsed();

} // namespace usbemu
