// The libusb door of the simulated bench: the libusb-1.0 calls libftdi1 and
// the usb backend make, answered as an FT230X/FT231X chip answers them.

#include "device/usbemu/usbemu.h"
#include "device/model/simchip.h"

#include <QtCore/QFile>
#include <QtCore/QSaveFile>

#include <libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

// libusb's opaque types, as this library keeps them.
struct libusb_context
{
    std::vector<libusb_transfer *> completed; // waiting for this context's event handling
};

struct libusb_device
{
    int unit;
    uint8_t address; // a device is one plug-in: after a replug it is gone
    int refs;
    libusb_context *context;
};

struct libusb_device_handle
{
    libusb_device *device;
    libusb_context *context;
};

namespace usbemu {
namespace {

using simbench::Chip;

constexpr size_t fifoSize = 512;     // each way, as on the FT-X chips
constexpr int packetSize = 64;       // full-speed bulk
constexpr int statusBytes = 2;
constexpr uint8_t endpointIn = 0x81;
constexpr uint8_t endpointOut = 0x02;
constexpr uint8_t requestOut = 0x40, requestIn = 0xC0;
constexpr uint8_t modemStatus = 0x01, lineStatus = 0x60;
constexpr double frameUs = 1000;
constexpr int slotsPerFrame = 19;    // 64-byte bulk packets in a full-speed frame
constexpr int controlSlots = 2;      // what a control request leaves no bulk packet
constexpr double slotUs = frameUs / slotsPerFrame;
constexpr double powerUpRate = 9600.0 * 16;

// A bulk transfer the host controller is working on.
struct Pending
{
    libusb_transfer *transfer;
    double submittedUs;
    int moved = 0;
    int dataIn = 0;      // IN: data bytes, status bytes left out
    int stopAfter = -1;  // bytes moved before the transfer hangs
    int cutAfter = -1;   // bytes moved before the device is gone
    libusb_transfer_status cutStatus = LIBUSB_TRANSFER_ERROR;
};

struct Unit
{
    Unit(int unitId, const simbench::UnitConfig &config) : id(unitId), chip(config) {}

    int id;
    Chip chip;
    bool attached = true;
    uint8_t address = 0;
    QString flashFile;
    uint64_t savedChanges = 0;
    std::deque<uint8_t> tx, rx; // host to chip, chip to host
    uint8_t latencyMs = 16;
    double sampleRate = powerUpRate;
    std::vector<Fault> faults;
    bool muted = false;
    double mutedAtUs = 0;
    int splitCount = -1; // standing SplitIn
    const libusb_device_handle *claimedBy = nullptr;

    // Its own bus and clock.
    double nowUs = 0, baseUs = 0, samplingUs = 0, credit = 0, lastInUs = -1e12;
    uint64_t busyBase = 0;
    int turn = 0;
    std::deque<Pending> outs, ins;
};

struct Bench
{
    std::recursive_mutex mutex;
    std::vector<std::unique_ptr<Unit>> units;
    bool fileLoaded = false;
    Counters counters;
    bool timing = false;
    simbench::Timing flash;
    uint8_t lastAddress = 1;
};

Bench &bench()
{
    static Bench instance;
    return instance;
}

// Addresses as a hub hands them out: the next free one, 2 to 127.
uint8_t newAddress()
{
    Bench &b = bench();
    for (int tries = 0; tries < 126; ++tries) {
        b.lastAddress = static_cast<uint8_t>(b.lastAddress >= 127 ? 2 : b.lastAddress + 1);
        const bool used = std::any_of(b.units.begin(), b.units.end(), [&](const auto &u) {
            return u->attached && u->address == b.lastAddress;
        });
        if (!used)
            return b.lastAddress;
    }
    return 0;
}

void setFlashClock(Unit &unit)
{
    Bench &b = bench();
    unit.chip.flash().setTiming(b.timing ? b.flash : simbench::Timing{});
    Unit *u = &unit;
    unit.chip.flash().setClock([u] {
        return std::chrono::steady_clock::time_point(std::chrono::microseconds(static_cast<int64_t>(u->nowUs)));
    });
}

Unit *findUnit(int id)
{
    for (auto &unit : bench().units) {
        if (unit->id == id)
            return unit.get();
    }
    return nullptr;
}

void saveFlash(Unit &unit)
{
    simbench::FlashModel &flash = unit.chip.flash();
    if (unit.flashFile.isEmpty() || flash.changes() == unit.savedChanges)
        return;
    QSaveFile file(unit.flashFile);
    if (file.open(QIODevice::WriteOnly)
        && file.write(reinterpret_cast<const char *>(flash.memory().data()), qint64(flash.size())) == qint64(flash.size())
        && file.commit())
        unit.savedChanges = flash.changes();
}

void finish(std::deque<Pending> &queue, std::deque<Pending>::iterator it, libusb_transfer_status status)
{
    libusb_transfer *t = it->transfer;
    t->status = status;
    t->actual_length = it->moved;
    if (t->endpoint == endpointIn && status == LIBUSB_TRANSFER_COMPLETED && it->dataIn == 0)
        ++bench().counters.emptyIns;
    t->dev_handle->context->completed.push_back(t);
    queue.erase(it);
}

void unplug(Unit &unit);

// The head transfer ends; one the device is to vanish in never ends well.
void complete(Unit &unit, std::deque<Pending> &queue, libusb_transfer_status status)
{
    const Pending &p = queue.front();
    if (p.cutAfter < 0) {
        finish(queue, queue.begin(), status);
        return;
    }
    finish(queue, queue.begin(), p.cutStatus);
    unplug(unit);
}

void unplug(Unit &unit)
{
    unit.attached = false;
    unit.claimedBy = nullptr;
    unit.tx.clear();
    unit.rx.clear();
    for (auto *queue : {&unit.outs, &unit.ins}) {
        while (!queue->empty())
            finish(*queue, queue->begin(), LIBUSB_TRANSFER_NO_DEVICE);
    }
}

// The chip runs until `untilUs`: in synchronous bit-bang it clocks a sample
// per period while its receive FIFO has room; otherwise written bytes leave
// on the UART at a tenth of the baud rate.
void runChip(Unit &unit, double fromUs, double untilUs)
{
    if (!unit.attached || unit.sampleRate <= 0)
        return;
    const bool sync = unit.chip.mode() == simbench::modeSync;
    const double rate = sync ? unit.sampleRate : unit.sampleRate / 16 / 10;
    unit.credit += (untilUs - fromUs) * rate / 1e6;
    while (unit.credit >= 1 && !unit.tx.empty()) {
        if (sync) {
            if (unit.rx.size() >= fifoSize)
                break;
            unit.rx.push_back(unit.chip.clock(unit.tx.front()));
            unit.samplingUs += 1e6 / rate;
        } else {
            uint8_t received = 0;
            if (unit.chip.transmit(received) && unit.rx.size() < fifoSize)
                unit.rx.push_back(received);
        }
        unit.tx.pop_front();
        unit.credit -= 1;
        if (unit.chip.flash().powerLost()) {
            unplug(unit);
            return;
        }
    }
    if (unit.tx.empty() || (sync && unit.rx.size() >= fifoSize))
        unit.credit = std::min(unit.credit, 1.0);
    saveFlash(unit);
}

// The head transfer of a queue, if a packet may move for it now. A transfer
// cut short by a fault ends here, the unit gone: *cut tells, and the bus has
// moved (no packet to move).
Pending *headTransfer(Unit &unit, std::deque<Pending> &queue, bool &cut)
{
    cut = false;
    if (queue.empty() || unit.muted)
        return nullptr;
    Pending &p = queue.front();
    if (p.stopAfter >= 0 && p.moved >= p.stopAfter)
        return nullptr;
    if (p.cutAfter >= 0 && p.moved >= p.cutAfter) {
        const auto status = p.cutStatus;
        finish(queue, queue.begin(), status);
        unplug(unit);
        cut = true;
        return nullptr;
    }
    return &p;
}

// One packet of the head OUT transfer, if the chip takes it.
bool outPacket(Unit &unit)
{
    bool cut = false;
    Pending *head = headTransfer(unit, unit.outs, cut);
    if (!head)
        return cut;
    Pending &p = *head;
    int bytes = std::min(packetSize, p.transfer->length - p.moved);
    if (p.stopAfter >= 0)
        bytes = std::min(bytes, p.stopAfter - p.moved);
    if (p.cutAfter >= 0)
        bytes = std::min(bytes, p.cutAfter - p.moved);
    if (fifoSize - unit.tx.size() < size_t(bytes))
        return false; // NAK: the chip's transmit FIFO is full
    unit.tx.insert(unit.tx.end(), p.transfer->buffer + p.moved, p.transfer->buffer + p.moved + bytes);
    p.moved += bytes;
    bench().counters.bytesOut += uint64_t(bytes);
    if (p.moved == p.transfer->length)
        complete(unit, unit.outs, LIBUSB_TRANSFER_COMPLETED);
    return true;
}

// One packet for the head IN transfer, if the chip has one to give: a full
// one, or what it holds (maybe only its status) once the latency timer is out.
bool inPacket(Unit &unit, double atUs)
{
    bool cut = false;
    Pending *head = headTransfer(unit, unit.ins, cut);
    if (!head)
        return cut;
    Pending &p = *head;
    const int full = unit.splitCount >= 0 ? std::min(unit.splitCount, packetSize - statusBytes)
                                          : packetSize - statusBytes;
    int data = 0;
    if (unit.rx.size() >= size_t(full))
        data = full;
    else if (atUs - unit.lastInUs >= unit.latencyMs * 1000.0)
        data = static_cast<int>(unit.rx.size());
    else
        return false; // NAK
    unit.lastInUs = atUs;
    std::array<uint8_t, packetSize> packet{modemStatus, lineStatus};
    std::copy_n(unit.rx.begin(), data, packet.begin() + statusBytes);
    unit.rx.erase(unit.rx.begin(), unit.rx.begin() + data);
    const int length = statusBytes + data;
    // The chip sends whole packets: what does not fit the buffer is lost.
    const int room = p.transfer->length - p.moved;
    std::copy_n(packet.begin(), std::min(room, length), p.transfer->buffer + p.moved);
    p.moved += std::min(room, length);
    p.dataIn += data;
    bench().counters.bytesIn += uint64_t(std::min(room, length));
    if (room < length)
        complete(unit, unit.ins, LIBUSB_TRANSFER_OVERFLOW);
    else if (length < packetSize || p.moved == p.transfer->length)
        complete(unit, unit.ins, LIBUSB_TRANSFER_COMPLETED);
    return true;
}

void expire(Unit &unit)
{
    for (auto *queue : {&unit.outs, &unit.ins}) {
        for (auto it = queue->begin(); it != queue->end();) {
            const unsigned limit = it->transfer->timeout;
            if (limit > 0 && unit.nowUs >= it->submittedUs + limit * 1000.0) {
                finish(*queue, it, LIBUSB_TRANSFER_TIMED_OUT);
                it = queue->begin();
            } else {
                ++it;
            }
        }
    }
}

// One frame of the unit's bus: the chip runs, each slot carries at most one
// bulk packet, the directions taking turns to go first.
void runFrame(Unit &unit, int bulkSlots = slotsPerFrame)
{
    const double start = unit.nowUs;
    double at = start;
    for (int slot = 0; slot < bulkSlots && unit.attached; ++slot) {
        const double next = start + slot * slotUs;
        runChip(unit, at, next);
        at = next;
        if (!unit.attached)
            break;
        const bool outFirst = ++unit.turn % 2;
        const bool sent = outFirst ? outPacket(unit) : inPacket(unit, at);
        if (!sent && unit.attached)
            outFirst ? inPacket(unit, at) : outPacket(unit);
    }
    runChip(unit, at, start + frameUs);
    unit.nowUs = start + frameUs;
    expire(unit);
}

bool hasPending(const Unit &unit, const libusb_context *context)
{
    for (const auto *queue : {&unit.outs, &unit.ins}) {
        for (const auto &p : *queue) {
            if (p.transfer->dev_handle->context == context)
                return true;
        }
    }
    return false;
}

// Hands a context's finished transfers to their callbacks, outside the lock
// as libusb does: a callback may submit again.
void deliver(libusb_context *context, std::unique_lock<std::recursive_mutex> &lock)
{
    std::vector<libusb_transfer *> done;
    done.swap(context->completed);
    lock.unlock();
    for (libusb_transfer *t : done) {
        const bool freeIt = t->flags & LIBUSB_TRANSFER_FREE_TRANSFER;
        if (t->callback)
            t->callback(t);
        if (freeIt)
            libusb_free_transfer(t);
    }
    lock.lock();
}

// Counts a transfer against the unit's faults; true when one fires.
bool fires(Unit &unit, FaultKind kind, int request, Fault *fired = nullptr)
{
    for (auto it = unit.faults.begin(); it != unit.faults.end(); ++it) {
        if (it->kind != kind || (kind == FaultKind::Stall && it->request >= 0 && it->request != request))
            continue;
        if (--it->nth > 0)
            continue;
        if (fired)
            *fired = *it;
        unit.faults.erase(it);
        return true;
    }
    return false;
}

// Counts a transfer against the faults that hit any transfer.
bool present(Unit &unit)
{
    if (unit.attached && fires(unit, FaultKind::Gone, -1))
        unplug(unit);
    if (unit.attached && fires(unit, FaultKind::Mute, -1)) {
        unit.muted = true;
        unit.mutedAtUs = unit.nowUs;
    }
    return unit.attached;
}

// Baud-rate divisor of the AM/BM/R/X chips: 14 integer bits, and an eighth
// fraction coded in value bits 14-15 and index bit 0. 0 and 1 are special.
double decodeRate(uint16_t value, uint16_t index)
{
    static const int eighths[8] = {0, 4, 2, 1, 3, 5, 6, 7};
    const int integer = value & 0x3FFF;
    const int code = (value >> 14) | ((index & 1) << 2);
    double baud = 0;
    if (integer == 0 && code == 0)
        baud = 3000000;
    else if (integer == 1 && code == 0)
        baud = 2000000;
    else
        baud = 3000000.0 / (integer + eighths[code] / 8.0);
    // In bit-bang modes the pins move at 16 times the baud rate.
    return baud * 16;
}

void loadFromEnvironment()
{
    Bench &b = bench();
    if (b.fileLoaded)
        return;
    b.fileLoaded = true;
    const QString path = QString::fromLocal8Bit(qgetenv("OSTREL_USB_BENCH"));
    QString error;
    if (!path.isEmpty() && !loadBench(path, &error))
        qWarning("usbemu: %s", qPrintable(error));
}

Elapsed elapsedOf(const Unit &unit)
{
    Elapsed e;
    e.totalMs = (unit.nowUs - unit.baseUs) / 1000;
    e.samplingMs = unit.samplingUs / 1000;
    e.flashBusyMs = double(unit.chip.flash().busyMs() - unit.busyBase);
    e.silentMs = unit.muted ? (unit.nowUs - std::max(unit.mutedAtUs, unit.baseUs)) / 1000 : 0;
    return e;
}

} // namespace

int addUnit(const simbench::UnitConfig &config, const std::vector<uint8_t> &flash, const QString &flashFile)
{
    Bench &b = bench();
    std::lock_guard<std::recursive_mutex> lock(b.mutex);
    b.fileLoaded = true; // units set up here replace any bench file
    int id = 1;
    for (const auto &unit : b.units)
        id = std::max(id, unit->id + 1);
    auto unit = std::make_unique<Unit>(id, config);
    auto &memory = unit->chip.flash().memory();
    std::copy_n(flash.begin(), std::min(flash.size(), memory.size()), memory.begin());
    unit->flashFile = flashFile;
    unit->address = newAddress();
    setFlashClock(*unit);
    if (!flashFile.isEmpty()) {
        QFile file(flashFile);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.read(qint64(memory.size()));
            std::copy(bytes.begin(), bytes.end(), memory.begin());
        }
    }
    b.units.push_back(std::move(unit));
    return id;
}

void clear()
{
    Bench &b = bench();
    std::lock_guard<std::recursive_mutex> lock(b.mutex);
    for (auto &unit : b.units)
        unplug(*unit);
    b.units.clear();
    b.counters = Counters{};
    b.fileLoaded = true;
    b.lastAddress = 1;
}

void setFaults(int id, const std::vector<Fault> &faults)
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    if (Unit *unit = findUnit(id)) {
        unit->faults = faults;
        unit->muted = false;
        unit->splitCount = -1;
    }
}

void clearFaults(int id)
{
    setFaults(id, {});
}

bool replug(int id)
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    Unit *unit = findUnit(id);
    if (!unit || unit->attached)
        return false;
    unit->address = newAddress();
    unit->attached = true;
    unit->muted = false;
    unit->tx.clear();
    unit->rx.clear();
    unit->latencyMs = 16;
    unit->sampleRate = powerUpRate;
    unit->chip.powerUp();
    return true;
}

uint8_t busAddress(int id)
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    Unit *unit = findUnit(id);
    return unit ? unit->address : 0;
}

InFlight inFlight(int id)
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    const Unit *unit = findUnit(id);
    return unit ? InFlight{int(unit->outs.size()), int(unit->ins.size())} : InFlight{};
}

std::vector<uint8_t> flashBytes(int id, uint32_t address, uint32_t length)
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    Unit *unit = findUnit(id);
    if (!unit || address >= unit->chip.flash().size())
        return {};
    const auto &memory = unit->chip.flash().memory();
    const uint32_t count = std::min(length, unit->chip.flash().size() - address);
    return {memory.begin() + address, memory.begin() + address + count};
}

std::vector<std::vector<uint8_t>> spiTransactions(int id)
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    Unit *unit = findUnit(id);
    return unit ? unit->chip.flash().transactions() : std::vector<std::vector<uint8_t>>{};
}

void clearTransactions()
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    for (auto &unit : bench().units)
        unit->chip.flash().clearTransactions();
}

uint8_t raisedLines(int id)
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    Unit *unit = findUnit(id);
    return unit ? unit->chip.raisedLines() : 0;
}

double sampleRate(int id)
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    Unit *unit = findUnit(id);
    return unit ? unit->sampleRate : 0;
}

Counters counters()
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    return bench().counters;
}

void resetCounters()
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    bench().counters = Counters{};
}

void setTimingModel(bool on, const simbench::Timing &flash)
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    Bench &b = bench();
    b.timing = on;
    b.flash = flash;
    for (auto &unit : b.units) {
        setFlashClock(*unit);
        unit->baseUs = unit->nowUs;
        unit->samplingUs = 0;
        unit->busyBase = unit->chip.flash().busyMs();
    }
}

Elapsed elapsed()
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    Elapsed sum;
    for (const auto &unit : bench().units) {
        const Elapsed e = elapsedOf(*unit);
        sum.totalMs += e.totalMs;
        sum.samplingMs += e.samplingMs;
        sum.flashBusyMs += e.flashBusyMs;
        sum.silentMs += e.silentMs;
    }
    return sum;
}

Elapsed elapsed(int id)
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    const Unit *unit = findUnit(id);
    return unit ? elapsedOf(*unit) : Elapsed{};
}

} // namespace usbemu

namespace {

using usbemu::Unit;

libusb_context &defaultContext()
{
    static libusb_context context;
    return context;
}

// The unit a device stands for: none once it has been unplugged, even if
// the unit is back (then at another address).
Unit *unitOf(const libusb_device *device)
{
    Unit *unit = device ? usbemu::findUnit(device->unit) : nullptr;
    return unit && unit->attached && unit->address == device->address ? unit : nullptr;
}

Unit *unitOf(const libusb_device_handle *handle)
{
    return handle ? unitOf(handle->device) : nullptr;
}

// Descriptors stay readable for a device that has gone.
Unit *configOf(const libusb_device *device)
{
    return device ? usbemu::findUnit(device->unit) : nullptr;
}

struct ConfigDescriptor
{
    libusb_config_descriptor config{};
    libusb_interface interface{};
    libusb_interface_descriptor setting{};
    libusb_endpoint_descriptor endpoints[2]{};
};

bool queued(const Unit &unit, const libusb_transfer *t)
{
    for (const auto *queue : {&unit.outs, &unit.ins}) {
        for (const auto &p : *queue) {
            if (p.transfer == t)
                return true;
        }
    }
    return false;
}

int statusCode(libusb_transfer_status status)
{
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return LIBUSB_SUCCESS;
    case LIBUSB_TRANSFER_TIMED_OUT: return LIBUSB_ERROR_TIMEOUT;
    case LIBUSB_TRANSFER_STALL: return LIBUSB_ERROR_PIPE;
    case LIBUSB_TRANSFER_NO_DEVICE: return LIBUSB_ERROR_NO_DEVICE;
    case LIBUSB_TRANSFER_OVERFLOW: return LIBUSB_ERROR_OVERFLOW;
    case LIBUSB_TRANSFER_CANCELLED: return LIBUSB_ERROR_INTERRUPTED;
    default: return LIBUSB_ERROR_IO;
    }
}

// Waits that nothing can end (no timeout, a unit that never answers) end here.
constexpr double neverUs = 3600e6;

} // namespace

extern "C" {

int libusb_init(libusb_context **ctx)
{
    std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
    usbemu::loadFromEnvironment();
    if (ctx)
        *ctx = new libusb_context;
    return LIBUSB_SUCCESS;
}

void libusb_exit(libusb_context *ctx)
{
    delete ctx;
}

ssize_t libusb_get_device_list(libusb_context *ctx, libusb_device ***list)
{
    auto &b = usbemu::bench();
    std::lock_guard<std::recursive_mutex> lock(b.mutex);
    usbemu::loadFromEnvironment();
    std::vector<libusb_device *> devices;
    for (const auto &unit : b.units) {
        if (unit->attached)
            devices.push_back(new libusb_device{unit->id, unit->address, 1, ctx ? ctx : &defaultContext()});
    }
    auto **array = new libusb_device *[devices.size() + 1];
    std::copy(devices.begin(), devices.end(), array);
    array[devices.size()] = nullptr;
    *list = array;
    return static_cast<ssize_t>(devices.size());
}

libusb_device *libusb_ref_device(libusb_device *dev)
{
    std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
    ++dev->refs;
    return dev;
}

void libusb_unref_device(libusb_device *dev)
{
    std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
    if (dev && --dev->refs == 0)
        delete dev;
}

void libusb_free_device_list(libusb_device **list, int unref_devices)
{
    if (!list)
        return;
    if (unref_devices) {
        for (libusb_device **dev = list; *dev; ++dev)
            libusb_unref_device(*dev);
    }
    delete[] list;
}

uint8_t libusb_get_bus_number(libusb_device *)
{
    return 1;
}

uint8_t libusb_get_device_address(libusb_device *dev)
{
    return dev->address;
}

int libusb_get_device_speed(libusb_device *)
{
    return LIBUSB_SPEED_FULL;
}

int libusb_get_device_descriptor(libusb_device *dev, libusb_device_descriptor *desc)
{
    std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
    const Unit *unit = configOf(dev);
    if (!unit || !desc)
        return LIBUSB_ERROR_NO_DEVICE;
    const bool xSeries = unit->chip.config().type == FT_DEVICE_X_SERIES;
    *desc = libusb_device_descriptor{};
    desc->bLength = LIBUSB_DT_DEVICE_SIZE;
    desc->bDescriptorType = LIBUSB_DT_DEVICE;
    desc->bcdUSB = 0x0200;
    desc->bMaxPacketSize0 = 8;
    desc->idVendor = 0x0403;
    desc->idProduct = xSeries ? 0x6015 : 0x6001;
    desc->bcdDevice = xSeries ? 0x1000 : 0x0600;
    desc->iManufacturer = 1;
    desc->iProduct = 2;
    desc->iSerialNumber = 3;
    desc->bNumConfigurations = 1;
    return LIBUSB_SUCCESS;
}

int libusb_get_config_descriptor(libusb_device *dev, uint8_t config_index, libusb_config_descriptor **config)
{
    if (!configOf(dev) || config_index != 0 || !config)
        return LIBUSB_ERROR_NOT_FOUND;
    auto *d = new ConfigDescriptor;
    for (int i = 0; i < 2; ++i) {
        libusb_endpoint_descriptor &ep = d->endpoints[i];
        ep.bLength = LIBUSB_DT_ENDPOINT_SIZE;
        ep.bDescriptorType = LIBUSB_DT_ENDPOINT;
        ep.bEndpointAddress = i == 0 ? usbemu::endpointIn : usbemu::endpointOut;
        ep.bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
        ep.wMaxPacketSize = usbemu::packetSize;
    }
    d->setting.bLength = LIBUSB_DT_INTERFACE_SIZE;
    d->setting.bDescriptorType = LIBUSB_DT_INTERFACE;
    d->setting.bNumEndpoints = 2;
    d->setting.bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
    d->setting.bInterfaceSubClass = 0xFF;
    d->setting.bInterfaceProtocol = 0xFF;
    d->setting.iInterface = 2;
    d->setting.endpoint = d->endpoints;
    d->interface.altsetting = &d->setting;
    d->interface.num_altsetting = 1;
    d->config.bLength = LIBUSB_DT_CONFIG_SIZE;
    d->config.bDescriptorType = LIBUSB_DT_CONFIG;
    d->config.wTotalLength = LIBUSB_DT_CONFIG_SIZE + LIBUSB_DT_INTERFACE_SIZE + 2 * LIBUSB_DT_ENDPOINT_SIZE;
    d->config.bNumInterfaces = 1;
    d->config.bConfigurationValue = 1;
    d->config.bmAttributes = 0x80;
    d->config.MaxPower = 45;
    d->config.interface = &d->interface;
    *config = &d->config;
    return LIBUSB_SUCCESS;
}

void libusb_free_config_descriptor(libusb_config_descriptor *config)
{
    // The config descriptor is the first member of the block it came in.
    delete reinterpret_cast<ConfigDescriptor *>(config);
}

int libusb_open(libusb_device *dev, libusb_device_handle **dev_handle)
{
    std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
    Unit *unit = unitOf(dev);
    if (!unit || !dev_handle || !usbemu::present(*unit))
        return LIBUSB_ERROR_NO_DEVICE;
    if (!unit->chip.config().stringsReadable)
        return LIBUSB_ERROR_ACCESS;
    *dev_handle = new libusb_device_handle{libusb_ref_device(dev), dev->context};
    return LIBUSB_SUCCESS;
}

void libusb_close(libusb_device_handle *dev_handle)
{
    if (!dev_handle)
        return;
    {
        std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
        if (Unit *unit = usbemu::findUnit(dev_handle->device->unit)) {
            if (unit->claimedBy == dev_handle)
                unit->claimedBy = nullptr;
            // Transfers left in flight (a caller's bug) die with the handle.
            for (auto *queue : {&unit->outs, &unit->ins}) {
                const auto left = std::remove_if(queue->begin(), queue->end(), [dev_handle](const auto &p) {
                    return p.transfer->dev_handle == dev_handle;
                });
                usbemu::bench().counters.leftAtClose += uint64_t(queue->end() - left);
                queue->erase(left, queue->end());
            }
        }
    }
    libusb_unref_device(dev_handle->device);
    delete dev_handle;
}

int libusb_get_string_descriptor_ascii(libusb_device_handle *dev_handle, uint8_t desc_index, unsigned char *data,
                                       int length)
{
    std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
    Unit *unit = unitOf(dev_handle);
    if (!unit || !usbemu::present(*unit))
        return LIBUSB_ERROR_NO_DEVICE;
    const simbench::UnitConfig &config = unit->chip.config();
    const std::string *text = desc_index == 1   ? &config.manufacturer
                              : desc_index == 2 ? &config.description
                              : desc_index == 3 ? &config.serial
                                                : nullptr;
    if (!text)
        return LIBUSB_ERROR_PIPE;
    if (!data || length <= 0)
        return LIBUSB_ERROR_INVALID_PARAM;
    const size_t count = std::min(text->size(), static_cast<size_t>(length - 1));
    std::memcpy(data, text->data(), count);
    data[count] = '\0';
    return static_cast<int>(count);
}

int libusb_get_configuration(libusb_device_handle *dev_handle, int *config)
{
    std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
    Unit *unit = unitOf(dev_handle);
    if (!unit || !unit->attached)
        return LIBUSB_ERROR_NO_DEVICE;
    *config = 1;
    return LIBUSB_SUCCESS;
}

int libusb_set_configuration(libusb_device_handle *dev_handle, int)
{
    std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
    Unit *unit = unitOf(dev_handle);
    return unit && unit->attached ? LIBUSB_SUCCESS : LIBUSB_ERROR_NO_DEVICE;
}

int libusb_detach_kernel_driver(libusb_device_handle *, int)
{
    return LIBUSB_ERROR_NOT_FOUND; // no driver bound to an emulated chip
}

int libusb_set_auto_detach_kernel_driver(libusb_device_handle *, int)
{
    return LIBUSB_SUCCESS;
}

// Another program holding the interface makes a claim fail, as usbfs does.
int libusb_claim_interface(libusb_device_handle *dev_handle, int interface_number)
{
    std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
    Unit *unit = unitOf(dev_handle);
    if (!unit)
        return LIBUSB_ERROR_NO_DEVICE;
    if (interface_number != 0)
        return LIBUSB_ERROR_NOT_FOUND;
    if (unit->claimedBy && unit->claimedBy != dev_handle)
        return LIBUSB_ERROR_BUSY;
    unit->claimedBy = dev_handle;
    return LIBUSB_SUCCESS;
}

int libusb_release_interface(libusb_device_handle *dev_handle, int interface_number)
{
    std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
    Unit *unit = unitOf(dev_handle);
    if (!unit)
        return LIBUSB_ERROR_NO_DEVICE;
    if (interface_number != 0 || unit->claimedBy != dev_handle)
        return LIBUSB_ERROR_NOT_FOUND;
    unit->claimedBy = nullptr;
    return LIBUSB_SUCCESS;
}

// A control request takes a frame of the unit's bus, in which the bulk
// transfers in flight go on; their callbacks run here, as libusb's own
// synchronous calls handle events while they wait.
int libusb_control_transfer(libusb_device_handle *dev_handle, uint8_t request_type, uint8_t bRequest,
                            uint16_t wValue, uint16_t wIndex, unsigned char *data, uint16_t wLength,
                            unsigned int timeout)
{
    using namespace usbemu;
    std::unique_lock<std::recursive_mutex> lock(bench().mutex);
    Unit *unit = unitOf(dev_handle);
    if (!unit || !present(*unit))
        return LIBUSB_ERROR_NO_DEVICE;
    ++bench().counters.controlTransfers;
    if (unit->muted) {
        const double until = unit->nowUs + (timeout ? timeout * 1000.0 : neverUs);
        while (unit->nowUs < until && unit->attached)
            runFrame(*unit, 0);
        deliver(dev_handle->context, lock);
        return LIBUSB_ERROR_TIMEOUT;
    }
    runFrame(*unit, slotsPerFrame - controlSlots);
    int result = 0;
    const auto answer = [&](std::initializer_list<uint8_t> bytes) {
        if (!data || wLength < bytes.size())
            return int(LIBUSB_ERROR_OVERFLOW);
        std::copy(bytes.begin(), bytes.end(), data);
        return int(bytes.size());
    };
    if (!unit->attached) {
        result = LIBUSB_ERROR_NO_DEVICE;
    } else if (fires(*unit, FaultKind::Stall, bRequest)) {
        result = LIBUSB_ERROR_PIPE;
    } else if (request_type == requestIn) {
        switch (bRequest) {
        case 0x05: // modem status
            result = answer({modemStatus, lineStatus});
            break;
        case 0x0A: // latency timer
            result = answer({unit->latencyMs});
            break;
        case 0x0C: // pins
            result = answer({unit->chip.readPins()});
            break;
        case 0x90: { // EEPROM word
            if (!unit->chip.config().eepromReadable) {
                result = LIBUSB_ERROR_PIPE;
                break;
            }
            const auto rom = unit->chip.eeprom();
            const size_t at = 2 * (wIndex % (rom.size() / 2));
            result = answer({rom[at], rom[at + 1]});
            break;
        }
        default:
            result = LIBUSB_ERROR_PIPE;
        }
    } else if (request_type != requestOut) {
        result = LIBUSB_ERROR_PIPE;
    } else {
        switch (bRequest) {
        case 0x00: // reset (0), purge host-to-chip (1), purge chip-to-host (2)
            if (wValue == 0 || wValue == 1)
                unit->tx.clear();
            if (wValue == 0 || wValue == 2)
                unit->rx.clear();
            break;
        case 0x01: case 0x02: case 0x04: case 0x06: case 0x07: // modem, flow, line, event/error chars
            break;
        case 0x03:
            unit->sampleRate = decodeRate(wValue, wIndex);
            break;
        case 0x09:
            unit->latencyMs = static_cast<uint8_t>(std::max(1, wValue & 0xFF));
            break;
        case 0x0B:
            if (!unit->chip.setBitMode(static_cast<uint8_t>(wValue), static_cast<uint8_t>(wValue >> 8)))
                result = LIBUSB_ERROR_PIPE;
            break;
        default: // EEPROM writes and erases are not the configurator's business
            result = LIBUSB_ERROR_PIPE;
        }
    }
    deliver(dev_handle->context, lock);
    return result;
}

libusb_transfer *libusb_alloc_transfer(int iso_packets)
{
    if (iso_packets < 0)
        return nullptr;
    const size_t size = sizeof(libusb_transfer) + size_t(iso_packets) * sizeof(libusb_iso_packet_descriptor);
    auto *t = static_cast<libusb_transfer *>(std::calloc(1, size));
    if (t)
        t->num_iso_packets = iso_packets;
    return t;
}

void libusb_free_transfer(libusb_transfer *transfer)
{
    if (!transfer)
        return;
    if (transfer->flags & LIBUSB_TRANSFER_FREE_BUFFER)
        std::free(transfer->buffer);
    std::free(transfer);
}

int libusb_submit_transfer(libusb_transfer *transfer)
{
    using namespace usbemu;
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    if (!transfer || !transfer->dev_handle)
        return LIBUSB_ERROR_INVALID_PARAM;
    Unit *unit = unitOf(transfer->dev_handle);
    if (transfer->type != LIBUSB_TRANSFER_TYPE_BULK)
        return LIBUSB_ERROR_NOT_SUPPORTED;
    if (transfer->endpoint != endpointIn && transfer->endpoint != endpointOut)
        return LIBUSB_ERROR_NOT_FOUND;
    if (transfer->length < 0 || (transfer->length > 0 && !transfer->buffer))
        return LIBUSB_ERROR_INVALID_PARAM;
    if (unit && queued(*unit, transfer))
        return LIBUSB_ERROR_BUSY;
    if (!unit || !present(*unit))
        return LIBUSB_ERROR_NO_DEVICE;
    const bool out = transfer->endpoint == endpointOut;
    ++(out ? bench().counters.bulkOut : bench().counters.bulkIn);
    Pending p{transfer, unit->nowUs};
    Fault fault;
    if (fires(*unit, FaultKind::BulkTimeout, -1))
        p.stopAfter = 0;
    if (out && fires(*unit, FaultKind::ShortOut, -1, &fault))
        p.stopAfter = fault.count;
    if (!out && fires(*unit, FaultKind::SplitIn, -1, &fault))
        unit->splitCount = fault.count;
    if (fires(*unit, FaultKind::Cut, -1, &fault)) {
        p.cutAfter = std::max(0, fault.count);
        p.cutStatus = LIBUSB_TRANSFER_ERROR;
    } else if (fires(*unit, FaultKind::CutPipe, -1, &fault)) {
        p.cutAfter = std::max(0, fault.count);
        p.cutStatus = LIBUSB_TRANSFER_STALL;
    }
    transfer->actual_length = 0;
    (out ? unit->outs : unit->ins).push_back(p);
    return LIBUSB_SUCCESS;
}

int libusb_cancel_transfer(libusb_transfer *transfer)
{
    using namespace usbemu;
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    for (auto &unit : bench().units) {
        for (auto *queue : {&unit->outs, &unit->ins}) {
            for (auto it = queue->begin(); it != queue->end(); ++it) {
                if (it->transfer == transfer) {
                    finish(*queue, it, LIBUSB_TRANSFER_CANCELLED);
                    return LIBUSB_SUCCESS;
                }
            }
        }
    }
    return LIBUSB_ERROR_NOT_FOUND;
}

// Runs the context's units frame by frame until a transfer finishes or the
// time given has passed on their clocks.
int libusb_handle_events_timeout_completed(libusb_context *ctx, struct timeval *tv, int *completed)
{
    using namespace usbemu;
    std::unique_lock<std::recursive_mutex> lock(bench().mutex);
    libusb_context *context = ctx ? ctx : &defaultContext();
    if (context->completed.empty() && !(completed && *completed)) {
        const double budget = tv ? tv->tv_sec * 1e6 + tv->tv_usec : neverUs;
        for (auto &unit : bench().units) {
            const double start = unit->nowUs;
            while (context->completed.empty() && unit->nowUs - start < budget && hasPending(*unit, context))
                runFrame(*unit);
        }
    }
    deliver(context, lock);
    return LIBUSB_SUCCESS;
}

int libusb_handle_events_timeout(libusb_context *ctx, struct timeval *tv)
{
    return libusb_handle_events_timeout_completed(ctx, tv, nullptr);
}

int libusb_handle_events_completed(libusb_context *ctx, int *completed)
{
    return libusb_handle_events_timeout_completed(ctx, nullptr, completed);
}

int libusb_handle_events(libusb_context *ctx)
{
    return libusb_handle_events_timeout_completed(ctx, nullptr, nullptr);
}

namespace {

void syncDone(libusb_transfer *transfer)
{
    *static_cast<int *>(transfer->user_data) = 1;
}

} // namespace

// As libusb does it: an asynchronous transfer, events handled until it ends.
int libusb_bulk_transfer(libusb_device_handle *dev_handle, unsigned char endpoint, unsigned char *data, int length,
                         int *transferred, unsigned int timeout)
{
    if (transferred)
        *transferred = 0;
    if (!data || length < 0)
        return LIBUSB_ERROR_INVALID_PARAM;
    std::unique_ptr<libusb_transfer, void (*)(libusb_transfer *)> transfer(libusb_alloc_transfer(0),
                                                                          libusb_free_transfer);
    if (!transfer)
        return LIBUSB_ERROR_NO_MEM;
    int done = 0;
    libusb_fill_bulk_transfer(transfer.get(), dev_handle, endpoint, data, length, syncDone, &done, timeout);
    const int submitted = libusb_submit_transfer(transfer.get());
    if (submitted != LIBUSB_SUCCESS)
        return submitted;
    libusb_handle_events_timeout_completed(dev_handle->context, nullptr, &done);
    if (!done) { // a wait without a timeout on a unit that never answers
        libusb_cancel_transfer(transfer.get());
        libusb_handle_events_timeout_completed(dev_handle->context, nullptr, &done);
    }
    if (transferred)
        *transferred = transfer->actual_length;
    return statusCode(transfer->status);
}

} // extern "C"
