#pragma once

// Control of the D2XX door of the chip model (the ftd2xx_sim backend): virtual
// FTDI chips wired to simulated units with an SPI flash each. For tests, the
// demo program and benchmarks. Every call may come from any thread (one lock
// for the bench); trace() and counters() are for one thread at a time.

#include "device/ftd2xx.h"
#include "device/model/unitmodel.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace simbench {

using UnitId = int;

enum class Call {
    CreateDeviceInfoList, GetDeviceInfoList, Open, Close, SetBitMode, SetLatencyTimer,
    SetBaudRate, SetUSBParameters, Write, Read, Purge
};
constexpr int callKinds = 11;

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
