// The simulated bench and the D2XX calls it answers.

#include "device/sim/simbench.h"
#include "device/model/simchip.h"
#include "device/ftdiprobe.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace simbench {

namespace {

// A chip (or another FTDI type) with its unit, as the D2XX door sees it: rx
// stands for the vendor driver's buffer, which drains the chip continuously.
struct Device
{
    Device(UnitId unitId, const UnitConfig &cfg) : id(unitId), chip(cfg) {}

    void powerUp()
    {
        attached = true;
        openToken = 0;
        rx.clear();
        chip.powerUp();
    }

    const UnitConfig &config() const { return chip.config(); }
    FlashModel &flash() { return chip.flash(); }

    UnitId id;
    Chip chip;
    bool attached = true;
    uint64_t openToken = 0;
    std::deque<uint8_t> rx;
};

struct CallFault
{
    Call kind;
    int remaining;
    FT_STATUS status;
};

struct ShortFault
{
    Call kind;
    int remaining;
    uint32_t count;
};

struct Bench
{
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<UnitId> listed; // snapshot taken by FT_CreateDeviceInfoList
    std::map<uint64_t, UnitId> handles;
    uint64_t nextToken = 1;
    Timing timing;
    std::vector<CallFault> callFaults;
    std::vector<ShortFault> shortFaults;
    std::vector<TraceEntry> trace;
    bool tracing = true;
    Counters counters;
};

// Every call, D2XX or control, holds the bench: write --jobs drives several
// units from several threads. Recursive, as control calls use each other.
std::recursive_mutex &benchLock()
{
    static std::recursive_mutex lock;
    return lock;
}

using Guard = std::lock_guard<std::recursive_mutex>;

Bench &bench()
{
    static Bench instance;
    return instance;
}

Device *findUnit(UnitId id)
{
    for (auto &device : bench().devices) {
        if (device->id == id)
            return device.get();
    }
    return nullptr;
}

const char *callName(Call call)
{
    static const char *const names[callKinds] = {
        "FT_CreateDeviceInfoList", "FT_GetDeviceInfoList", "FT_Open", "FT_Close", "FT_SetBitMode",
        "FT_SetLatencyTimer", "FT_SetBaudRate", "FT_SetUSBParameters", "FT_Write", "FT_Read", "FT_Purge"};
    return names[static_cast<int>(call)];
}

// Counts the call and tells whether an injected fault makes it fail.
bool injectedFailure(Call kind, FT_STATUS &status)
{
    Bench &b = bench();
    ++b.counters.calls;
    ++b.counters.byKind[static_cast<int>(kind)];
    bool failed = false;
    for (auto it = b.callFaults.begin(); it != b.callFaults.end();) {
        if (it->kind == kind && --it->remaining == 0) {
            if (!failed)
                status = it->status;
            failed = true;
            it = b.callFaults.erase(it);
        } else {
            ++it;
        }
    }
    return failed;
}

uint32_t shortLimit(Call kind, uint32_t requested)
{
    Bench &b = bench();
    uint32_t limit = requested;
    for (auto it = b.shortFaults.begin(); it != b.shortFaults.end();) {
        if (it->kind == kind && --it->remaining == 0) {
            limit = std::min(limit, it->count);
            it = b.shortFaults.erase(it);
        } else {
            ++it;
        }
    }
    return limit;
}

FT_STATUS record(Call call, std::vector<uint32_t> args, FT_STATUS status, const uint8_t *data = nullptr,
                 uint32_t length = 0)
{
    Bench &b = bench();
    if (b.tracing) {
        TraceEntry entry{call, std::move(args), status, {}};
        if (data)
            entry.data.assign(data, data + length);
        b.trace.push_back(std::move(entry));
    }
    return status;
}

void unplug(Device &device)
{
    device.attached = false;
    device.openToken = 0;
    device.rx.clear();
    notifyDeviceChange();
}

// The device behind an open handle, or the status that says why there is none.
Device *deviceFor(FT_HANDLE handle, FT_STATUS &status)
{
    Bench &b = bench();
    const auto token = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
    const auto it = b.handles.find(token);
    if (it == b.handles.end()) {
        status = FT_INVALID_HANDLE;
        return nullptr;
    }
    Device *device = findUnit(it->second);
    if (!device || !device->attached || device->openToken != token) {
        status = FT_IO_ERROR;
        return nullptr;
    }
    return device;
}

void copyString(char *dest, size_t size, const std::string &text)
{
    std::memset(dest, 0, size);
    std::memcpy(dest, text.data(), std::min(size - 1, text.size()));
}

} // namespace

UnitId attach(const UnitConfig &config)
{
    const Guard guard(benchLock());
    Bench &b = bench();
    UnitId id = 1;
    for (const auto &device : b.devices)
        id = std::max(id, device->id + 1);
    auto device = std::make_unique<Device>(id, config);
    device->flash().setTiming(b.timing);
    b.devices.push_back(std::move(device));
    notifyDeviceChange();
    return id;
}

bool detach(UnitId id)
{
    const Guard guard(benchLock());
    Device *device = findUnit(id);
    if (!device || !device->attached)
        return false;
    unplug(*device);
    return true;
}

bool replug(UnitId id)
{
    const Guard guard(benchLock());
    Device *device = findUnit(id);
    if (!device || device->attached)
        return false;
    device->powerUp();
    notifyDeviceChange();
    return true;
}

void reset()
{
    const Guard guard(benchLock());
    Bench &b = bench();
    const bool hadUnits = std::any_of(b.devices.begin(), b.devices.end(),
                                      [](const auto &d) { return d->attached; });
    b = Bench{};
    if (hadUnits)
        notifyDeviceChange();
}

std::vector<uint8_t> flashBytes(UnitId id, uint32_t address, uint32_t length)
{
    const Guard guard(benchLock());
    Device *device = findUnit(id);
    if (!device || address >= device->flash().size())
        return {};
    const auto &memory = device->flash().memory();
    const uint32_t count = std::min(length, device->flash().size() - address);
    return {memory.begin() + address, memory.begin() + address + count};
}

bool setFlashBytes(UnitId id, uint32_t address, const std::vector<uint8_t> &bytes)
{
    const Guard guard(benchLock());
    Device *device = findUnit(id);
    if (!device || address > device->flash().size() || bytes.size() > device->flash().size() - address)
        return false;
    std::copy(bytes.begin(), bytes.end(), device->flash().memory().begin() + address);
    return true;
}

uint8_t statusRegister(UnitId id)
{
    const Guard guard(benchLock());
    Device *device = findUnit(id);
    return device ? device->flash().status() : 0;
}

bool setStatusRegister(UnitId id, uint8_t value)
{
    const Guard guard(benchLock());
    Device *device = findUnit(id);
    if (!device)
        return false;
    device->flash().setStatus(value);
    return true;
}

std::vector<std::vector<uint8_t>> spiTransactions(UnitId id)
{
    const Guard guard(benchLock());
    Device *device = findUnit(id);
    return device ? device->flash().transactions() : std::vector<std::vector<uint8_t>>{};
}

void setTiming(const Timing &timing)
{
    const Guard guard(benchLock());
    bench().timing = timing;
    for (auto &device : bench().devices)
        device->flash().setTiming(timing);
}

void failCall(Call kind, int nth, FT_STATUS status)
{
    const Guard guard(benchLock());
    if (nth > 0)
        bench().callFaults.push_back({kind, nth, status});
}

void shortWrite(int nth, uint32_t count)
{
    const Guard guard(benchLock());
    if (nth > 0)
        bench().shortFaults.push_back({Call::Write, nth, count});
}

void shortRead(int nth, uint32_t count)
{
    const Guard guard(benchLock());
    if (nth > 0)
        bench().shortFaults.push_back({Call::Read, nth, count});
}

void setStuckBusy(UnitId id, bool stuck)
{
    const Guard guard(benchLock());
    if (Device *device = findUnit(id))
        device->flash().setStuckBusy(stuck);
}

void powerLoss(UnitId id, Op op, int nth, uint32_t bytesDone)
{
    const Guard guard(benchLock());
    if (Device *device = findUnit(id))
        device->flash().armPowerLoss(op, nth, bytesDone);
}

void clearFaults()
{
    const Guard guard(benchLock());
    Bench &b = bench();
    b.callFaults.clear();
    b.shortFaults.clear();
    for (auto &device : b.devices) {
        device->flash().disarm();
        device->flash().setStuckBusy(false);
    }
}

const std::vector<TraceEntry> &trace()
{
    const Guard guard(benchLock());
    return bench().trace;
}

void clearTrace()
{
    const Guard guard(benchLock());
    bench().trace.clear();
    for (auto &device : bench().devices)
        device->flash().clearTransactions();
}

void setTraceEnabled(bool enabled)
{
    const Guard guard(benchLock());
    bench().tracing = enabled;
}

std::string describe(const TraceEntry &entry)
{
    const Guard guard(benchLock());
    std::string text = callName(entry.call);
    if (!entry.args.empty()) {
        text += '(';
        for (size_t i = 0; i < entry.args.size(); ++i) {
            char arg[16];
            const bool hex = entry.call == Call::SetBitMode;
            std::snprintf(arg, sizeof arg, hex ? "0x%02X" : "%u", static_cast<unsigned>(entry.args[i]));
            text += (i ? "," : "");
            text += arg;
        }
        text += ')';
    }
    return text + "=" + std::to_string(entry.status);
}

std::vector<std::string> traceLines()
{
    const Guard guard(benchLock());
    std::vector<std::string> lines;
    for (const auto &entry : bench().trace)
        lines.push_back(describe(entry));
    return lines;
}

std::vector<std::vector<uint8_t>> writtenStreams()
{
    const Guard guard(benchLock());
    std::vector<std::vector<uint8_t>> streams;
    for (const auto &entry : bench().trace) {
        if (entry.call == Call::Write)
            streams.push_back(entry.data);
    }
    return streams;
}

const Counters &counters()
{
    const Guard guard(benchLock());
    return bench().counters;
}

void resetCounters()
{
    const Guard guard(benchLock());
    bench().counters = Counters{};
}

} // namespace simbench

using namespace simbench;

std::vector<ftdiprobe::DeviceReport> ftdiprobe::probeDevices()
{
    const Guard guard(benchLock());
    std::vector<DeviceReport> reports;
    for (const auto &device : bench().devices) {
        if (!device->attached)
            continue;
        DeviceReport report;
        report.index = static_cast<int>(reports.size());
        report.type = device->config().type;
        report.stringsReadable = device->config().stringsReadable;
        if (report.stringsReadable) {
            report.description = QString::fromStdString(device->config().description);
            report.serial = QString::fromStdString(device->config().serial);
            report.eepromReadable = device->config().eepromReadable;
        }
        if (report.eepromReadable) {
            const auto rom = device->chip.eeprom();
            report.cbusFunctions.assign(rom.begin() + 0x1A, rom.begin() + 0x1E);
        }
        reports.push_back(std::move(report));
    }
    return reports;
}

ftdiprobe::BackendProblem ftdiprobe::backendProblem()
{
    return {};
}

extern "C" {

FT_STATUS FT_CreateDeviceInfoList(uint32_t *numDevs)
{
    const Guard guard(benchLock());
    FT_STATUS status = FT_OK;
    if (!injectedFailure(Call::CreateDeviceInfoList, status)) {
        if (!numDevs)
            return record(Call::CreateDeviceInfoList, {}, FT_INVALID_PARAMETER);
        Bench &b = bench();
        b.listed.clear();
        for (const auto &device : b.devices) {
            if (device->attached)
                b.listed.push_back(device->id);
        }
        *numDevs = static_cast<uint32_t>(b.listed.size());
    }
    return record(Call::CreateDeviceInfoList, {}, status);
}

FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *dest, uint32_t *numDevs)
{
    const Guard guard(benchLock());
    FT_STATUS status = FT_OK;
    if (injectedFailure(Call::GetDeviceInfoList, status))
        return record(Call::GetDeviceInfoList, {}, status);
    if (!dest || !numDevs)
        return record(Call::GetDeviceInfoList, {}, FT_INVALID_PARAMETER);
    // *numDevs says how many nodes dest has room for.
    Bench &b = bench();
    const size_t count = std::min<size_t>(*numDevs, b.listed.size());
    for (size_t i = 0; i < count; ++i) {
        FT_DEVICE_LIST_INFO_NODE node{};
        if (const Device *device = findUnit(b.listed[i])) {
            const bool open = device->openToken != 0;
            node.Flags = open ? FT_FLAGS_OPENED : 0;
            node.Type = device->config().type;
            node.ID = device->config().type == FT_DEVICE_X_SERIES ? 0x04036015 : 0x04036001;
            node.LocId = 0x1000u + static_cast<uint32_t>(device->id);
            if (device->config().stringsReadable) {
                copyString(node.SerialNumber, sizeof node.SerialNumber, device->config().serial);
                copyString(node.Description, sizeof node.Description, device->config().description);
            }
            node.ftHandle = open ? reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(device->openToken)) : nullptr;
        }
        dest[i] = node;
    }
    *numDevs = static_cast<uint32_t>(count);
    return record(Call::GetDeviceInfoList, {}, FT_OK);
}

FT_STATUS FT_Open(int deviceNumber, FT_HANDLE *handle)
{
    const Guard guard(benchLock());
    const auto arg = static_cast<uint32_t>(deviceNumber);
    FT_STATUS status = FT_OK;
    if (injectedFailure(Call::Open, status))
        return record(Call::Open, {arg}, status);
    Bench &b = bench();
    if (!handle)
        return record(Call::Open, {arg}, FT_INVALID_PARAMETER);
    if (deviceNumber < 0 || static_cast<size_t>(deviceNumber) >= b.listed.size())
        return record(Call::Open, {arg}, FT_DEVICE_NOT_FOUND);
    Device *device = findUnit(b.listed[static_cast<size_t>(deviceNumber)]);
    if (!device || !device->attached)
        return record(Call::Open, {arg}, FT_DEVICE_NOT_FOUND);
    if (device->openToken)
        return record(Call::Open, {arg}, FT_DEVICE_NOT_OPENED);
    const uint64_t token = b.nextToken++;
    device->openToken = token;
    b.handles[token] = device->id;
    *handle = reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(token));
    return record(Call::Open, {arg}, FT_OK);
}

FT_STATUS FT_Close(FT_HANDLE handle)
{
    const Guard guard(benchLock());
    FT_STATUS status = FT_OK;
    if (injectedFailure(Call::Close, status))
        return record(Call::Close, {}, status);
    Bench &b = bench();
    const auto token = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
    const auto it = b.handles.find(token);
    if (it == b.handles.end())
        return record(Call::Close, {}, FT_INVALID_HANDLE);
    // Closing a handle whose device is gone still releases it.
    if (Device *device = findUnit(it->second); device && device->openToken == token) {
        device->openToken = 0;
        device->rx.clear();
    }
    b.handles.erase(it);
    return record(Call::Close, {}, FT_OK);
}

FT_STATUS FT_SetBitMode(FT_HANDLE handle, uint8_t mask, uint8_t mode)
{
    const Guard guard(benchLock());
    const std::vector<uint32_t> args{mask, mode};
    FT_STATUS status = FT_OK;
    if (injectedFailure(Call::SetBitMode, status))
        return record(Call::SetBitMode, args, status);
    Device *device = deviceFor(handle, status);
    if (!device)
        return record(Call::SetBitMode, args, status);
    if (!device->chip.setBitMode(mask, mode))
        return record(Call::SetBitMode, args, FT_INVALID_PARAMETER);
    return record(Call::SetBitMode, args, FT_OK);
}

FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, uint8_t latencyMs)
{
    const Guard guard(benchLock());
    FT_STATUS status = FT_OK;
    if (!injectedFailure(Call::SetLatencyTimer, status))
        deviceFor(handle, status);
    return record(Call::SetLatencyTimer, {latencyMs}, status);
}

FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baudRate)
{
    const Guard guard(benchLock());
    FT_STATUS status = FT_OK;
    if (!injectedFailure(Call::SetBaudRate, status) && deviceFor(handle, status)) {
        // The X-series range.
        if (baudRate < 183 || baudRate > 3000000)
            status = FT_INVALID_BAUD_RATE;
    }
    return record(Call::SetBaudRate, {baudRate}, status);
}

FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize, uint32_t outTransferSize)
{
    const Guard guard(benchLock());
    FT_STATUS status = FT_OK;
    if (!injectedFailure(Call::SetUSBParameters, status) && deviceFor(handle, status)) {
        if (inTransferSize < 64 || inTransferSize > 65536 || inTransferSize % 64)
            status = FT_INVALID_PARAMETER;
    }
    return record(Call::SetUSBParameters, {inTransferSize, outTransferSize}, status);
}

FT_STATUS FT_Write(FT_HANDLE handle, void *buffer, uint32_t bytesToWrite, uint32_t *bytesWritten)
{
    const Guard guard(benchLock());
    FT_STATUS status = FT_OK;
    if (injectedFailure(Call::Write, status))
        return record(Call::Write, {bytesToWrite}, status);
    Device *device = deviceFor(handle, status);
    if (!device)
        return record(Call::Write, {bytesToWrite}, status);
    if (!bytesWritten || (bytesToWrite && !buffer))
        return record(Call::Write, {bytesToWrite}, FT_INVALID_PARAMETER);

    const auto *bytes = static_cast<const uint8_t *>(buffer);
    const uint32_t accepted = shortLimit(Call::Write, bytesToWrite);
    uint32_t done = 0;
    while (done < accepted) {
        const uint8_t value = bytes[done++];
        if (uint8_t received = 0; device->chip.mode() != modeSync) {
            if (device->chip.transmit(received)) // a break on RXD
                device->rx.push_back(received);
            continue;
        }
        device->rx.push_back(device->chip.clock(value));
        if (device->flash().powerLost()) {
            unplug(*device);
            status = FT_IO_ERROR;
            break;
        }
    }
    *bytesWritten = done;
    bench().counters.bytesWritten += done;
    return record(Call::Write, {bytesToWrite}, status, bytes, done);
}

FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, uint32_t bytesToRead, uint32_t *bytesReturned)
{
    const Guard guard(benchLock());
    FT_STATUS status = FT_OK;
    if (injectedFailure(Call::Read, status))
        return record(Call::Read, {bytesToRead}, status);
    Device *device = deviceFor(handle, status);
    if (!device)
        return record(Call::Read, {bytesToRead}, status);
    if (!bytesReturned || (bytesToRead && !buffer))
        return record(Call::Read, {bytesToRead}, FT_INVALID_PARAMETER);

    // What the FIFO holds is all there is: a real read would time out here.
    const uint32_t wanted = shortLimit(Call::Read, bytesToRead);
    const auto count = static_cast<uint32_t>(std::min<size_t>(wanted, device->rx.size()));
    auto *out = static_cast<uint8_t *>(buffer);
    std::copy_n(device->rx.begin(), count, out);
    device->rx.erase(device->rx.begin(), device->rx.begin() + count);
    *bytesReturned = count;
    bench().counters.bytesRead += count;
    return record(Call::Read, {bytesToRead}, FT_OK, out, count);
}

FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask)
{
    const Guard guard(benchLock());
    FT_STATUS status = FT_OK;
    if (!injectedFailure(Call::Purge, status)) {
        if (Device *device = deviceFor(handle, status); device && (mask & FT_PURGE_RX))
            device->rx.clear();
    }
    return record(Call::Purge, {mask}, status);
}

} // extern "C"
