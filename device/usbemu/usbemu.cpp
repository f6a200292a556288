// The libusb door of the simulated bench: the libusb-1.0 calls libftdi1 and
// the usb backend make, answered as an FT230X/FT231X chip answers them.

#include "device/usbemu/usbemu.h"
#include "device/model/simchip.h"

#include <QtCore/QFile>
#include <QtCore/QSaveFile>

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

namespace usbemu {
namespace {

using simbench::Chip;

constexpr size_t fifoSize = 512;     // each way, as on the FT-X chips
constexpr int packetSize = 64;       // full-speed bulk
constexpr uint8_t endpointIn = 0x81;
constexpr uint8_t endpointOut = 0x02;
constexpr uint8_t requestOut = 0x40, requestIn = 0xC0;
constexpr uint8_t modemStatus = 0x01, lineStatus = 0x60;

struct Unit
{
    Unit(int unitId, const simbench::UnitConfig &config) : id(unitId), chip(config) {}

    int id;
    Chip chip;
    bool attached = true;
    QString flashFile;
    uint64_t savedChanges = 0;
    std::deque<uint8_t> tx, rx; // host to chip, chip to host
    uint8_t latencyMs = 16;
    double sampleRate = 0;
    std::vector<Fault> faults;
};

struct Clock
{
    bool on = false;
    simbench::Timing flash;
    double nowUs = 0, samplingUs = 0;
    double chipFreeUs = 0; // when the chip has clocked out what it was given
    double flashBusyBaseMs = 0;
};

struct Bench
{
    std::recursive_mutex mutex;
    std::vector<std::unique_ptr<Unit>> units;
    bool fileLoaded = false;
    Counters counters;
    Clock clock;
};

Bench &bench()
{
    static Bench instance;
    return instance;
}

constexpr double frameUs = 1000;
constexpr int packetsPerFrame = 19;

std::chrono::steady_clock::time_point virtualNow()
{
    return std::chrono::steady_clock::time_point(
        std::chrono::microseconds(static_cast<int64_t>(bench().clock.nowUs)));
}

// A transfer starts with the next frame and takes as many as its packets need.
void spendFrames(double readyUs, int packets)
{
    Clock &clock = bench().clock;
    if (!clock.on)
        return;
    const double start = std::ceil(std::max(clock.nowUs, readyUs) / frameUs) * frameUs;
    clock.nowUs = start + frameUs * std::max(1, (packets + packetsPerFrame - 1) / packetsPerFrame);
}

void setClock(Unit &unit)
{
    Clock &clock = bench().clock;
    unit.chip.flash().setTiming(clock.on ? clock.flash : simbench::Timing{});
    if (clock.on)
        unit.chip.flash().setClock(virtualNow);
    else
        unit.chip.flash().setClock(std::chrono::steady_clock::now);
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

// The chip clocks queued bytes out while its read-back has room; outside
// synchronous bit-bang they leave on the UART.
void pump(Unit &unit)
{
    const bool sync = unit.chip.mode() == simbench::modeSync;
    while (!unit.tx.empty() && unit.attached) {
        if (sync) {
            if (unit.rx.size() >= fifoSize)
                break;
            unit.rx.push_back(unit.chip.clock(unit.tx.front()));
            Clock &clock = bench().clock;
            if (clock.on && unit.sampleRate > 0) {
                clock.samplingUs += 1e6 / unit.sampleRate;
                clock.chipFreeUs = std::max(clock.chipFreeUs, clock.nowUs) + 1e6 / unit.sampleRate;
            }
            if (unit.chip.flash().powerLost())
                unit.attached = false;
        }
        unit.tx.pop_front();
    }
    saveFlash(unit);
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

bool present(Unit &unit)
{
    if (unit.attached && fires(unit, FaultKind::Gone, -1))
        unit.attached = false;
    return unit.attached;
}

const Fault *standing(const Unit &unit, FaultKind kind)
{
    for (const auto &fault : unit.faults) {
        if (fault.kind == kind)
            return &fault;
    }
    return nullptr;
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
    setClock(*unit);
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
    b.units.clear();
    b.counters = Counters{};
    b.fileLoaded = true;
}

void setFaults(int id, const std::vector<Fault> &faults)
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    if (Unit *unit = findUnit(id))
        unit->faults = faults;
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
    unit->attached = true;
    unit->tx.clear();
    unit->rx.clear();
    unit->chip.powerUp();
    return true;
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

const Counters &counters()
{
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
    Clock &clock = bench().clock;
    clock = Clock{on, flash};
    for (auto &unit : bench().units) {
        setClock(*unit);
        clock.flashBusyBaseMs += double(unit->chip.flash().busyMs());
    }
}

Elapsed elapsed()
{
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    const Clock &clock = bench().clock;
    Elapsed e;
    e.totalMs = clock.nowUs / 1000;
    e.samplingMs = clock.samplingUs / 1000;
    e.flashBusyMs = -clock.flashBusyBaseMs;
    for (const auto &unit : bench().units)
        e.flashBusyMs += double(unit->chip.flash().busyMs());
    return e;
}

} // namespace usbemu

// libusb's opaque types, as this library keeps them.
struct libusb_context
{
};

struct libusb_device
{
    int unit;
    int refs;
};

struct libusb_device_handle
{
    libusb_device *device;
};

namespace {

using usbemu::Unit;

// The unit behind a device, attached or not.
Unit *unitOf(const libusb_device *device)
{
    return device ? usbemu::findUnit(device->unit) : nullptr;
}

Unit *unitOf(const libusb_device_handle *handle)
{
    return handle ? unitOf(handle->device) : nullptr;
}

// Units are told apart by address: the first is at 2, as behind a root hub.
uint8_t addressOf(const libusb_device *device)
{
    return static_cast<uint8_t>(1 + device->unit);
}

struct ConfigDescriptor
{
    libusb_config_descriptor config{};
    libusb_interface interface{};
    libusb_interface_descriptor setting{};
    libusb_endpoint_descriptor endpoints[2]{};
};

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

ssize_t libusb_get_device_list(libusb_context *, libusb_device ***list)
{
    auto &b = usbemu::bench();
    std::lock_guard<std::recursive_mutex> lock(b.mutex);
    usbemu::loadFromEnvironment();
    std::vector<libusb_device *> devices;
    for (const auto &unit : b.units) {
        if (unit->attached)
            devices.push_back(new libusb_device{unit->id, 1});
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
    return addressOf(dev);
}

int libusb_get_device_speed(libusb_device *)
{
    return LIBUSB_SPEED_FULL;
}

int libusb_get_device_descriptor(libusb_device *dev, libusb_device_descriptor *desc)
{
    std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
    const Unit *unit = unitOf(dev);
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
    if (!unitOf(dev) || config_index != 0 || !config)
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
    *dev_handle = new libusb_device_handle{libusb_ref_device(dev)};
    return LIBUSB_SUCCESS;
}

void libusb_close(libusb_device_handle *dev_handle)
{
    if (!dev_handle)
        return;
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

int libusb_claim_interface(libusb_device_handle *dev_handle, int interface_number)
{
    std::lock_guard<std::recursive_mutex> lock(usbemu::bench().mutex);
    Unit *unit = unitOf(dev_handle);
    if (!unit || !unit->attached)
        return LIBUSB_ERROR_NO_DEVICE;
    return interface_number == 0 ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
}

int libusb_release_interface(libusb_device_handle *dev_handle, int interface_number)
{
    return libusb_claim_interface(dev_handle, interface_number);
}

int libusb_control_transfer(libusb_device_handle *dev_handle, uint8_t request_type, uint8_t bRequest,
                            uint16_t wValue, uint16_t wIndex, unsigned char *data, uint16_t wLength, unsigned int)
{
    using namespace usbemu;
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    Unit *unit = unitOf(dev_handle);
    if (!unit || !present(*unit))
        return LIBUSB_ERROR_NO_DEVICE;
    ++bench().counters.controlTransfers;
    spendFrames(0, 1);
    if (fires(*unit, FaultKind::Stall, bRequest))
        return LIBUSB_ERROR_PIPE;
    const auto answer = [&](std::initializer_list<uint8_t> bytes) {
        if (!data || wLength < bytes.size())
            return int(LIBUSB_ERROR_OVERFLOW);
        std::copy(bytes.begin(), bytes.end(), data);
        return int(bytes.size());
    };
    if (request_type == requestIn) {
        switch (bRequest) {
        case 0x05: // modem status
            return answer({modemStatus, lineStatus});
        case 0x0A: // latency timer
            return answer({unit->latencyMs});
        case 0x0C: // pins
            return answer({unit->chip.sample()});
        case 0x90: { // EEPROM word
            if (!unit->chip.config().eepromReadable)
                return LIBUSB_ERROR_PIPE;
            const auto rom = unit->chip.eeprom();
            const size_t at = 2 * (wIndex % (rom.size() / 2));
            return answer({rom[at], rom[at + 1]});
        }
        default:
            return LIBUSB_ERROR_PIPE;
        }
    }
    if (request_type != requestOut)
        return LIBUSB_ERROR_PIPE;
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
            return LIBUSB_ERROR_PIPE;
        pump(*unit);
        break;
    default: // EEPROM writes and erases are not the configurator's business
        return LIBUSB_ERROR_PIPE;
    }
    return 0;
}

int libusb_bulk_transfer(libusb_device_handle *dev_handle, unsigned char endpoint, unsigned char *data, int length,
                         int *transferred, unsigned int)
{
    using namespace usbemu;
    std::lock_guard<std::recursive_mutex> lock(bench().mutex);
    int moved = 0;
    if (transferred)
        *transferred = 0;
    Unit *unit = unitOf(dev_handle);
    if (!unit || !present(*unit))
        return LIBUSB_ERROR_NO_DEVICE;
    if (!data || length < 0)
        return LIBUSB_ERROR_INVALID_PARAM;
    Counters &counters = bench().counters;
    if (fires(*unit, FaultKind::BulkTimeout, -1))
        return LIBUSB_ERROR_TIMEOUT;

    int result = LIBUSB_SUCCESS;
    if (endpoint == endpointOut) {
        ++counters.bulkOut;
        Fault shortOut;
        const bool cut = fires(*unit, FaultKind::ShortOut, -1, &shortOut);
        const int limit = cut ? std::min(length, shortOut.count) : length;
        // A chip whose FIFOs stay full takes no more: the transfer times out.
        for (; moved < limit; ++moved) {
            if (unit->tx.size() >= fifoSize)
                pump(*unit);
            if (unit->tx.size() >= fifoSize || !unit->attached)
                break;
            unit->tx.push_back(data[moved]);
        }
        spendFrames(0, (moved + packetSize - 1) / packetSize);
        pump(*unit);
        if (moved < length)
            result = unit->attached ? LIBUSB_ERROR_TIMEOUT : LIBUSB_ERROR_IO;
    } else if (endpoint == endpointIn) {
        ++counters.bulkIn;
        const Fault *split = standing(*unit, FaultKind::SplitIn);
        const int perPacket = split ? std::clamp(split->count, 0, packetSize - 2) : packetSize - 2;
        pump(*unit);
        if (unit->rx.empty())
            ++counters.emptyIns;
        int packets = 0;
        bool shortPacket = false;
        // Packets go until the buffer is full or a short one ends the transfer.
        while (length - moved >= 2) {
            data[moved++] = modemStatus;
            data[moved++] = lineStatus;
            const int room = std::min(perPacket, length - moved);
            const int count = std::min<int>(room, static_cast<int>(unit->rx.size()));
            std::copy_n(unit->rx.begin(), count, data + moved);
            unit->rx.erase(unit->rx.begin(), unit->rx.begin() + count);
            moved += count;
            ++packets;
            pump(*unit);
            if (count < packetSize - 2) {
                shortPacket = true;
                break;
            }
        }
        // The chip holds a short packet back until its latency timer runs out.
        const Clock &clock = bench().clock;
        spendFrames(std::max(clock.chipFreeUs, clock.nowUs) + (shortPacket ? unit->latencyMs * 1000.0 : 0), packets);
    } else {
        return LIBUSB_ERROR_NOT_FOUND;
    }
    counters.bytesOut += endpoint == endpointOut ? static_cast<uint64_t>(moved) : 0;
    counters.bytesIn += endpoint == endpointIn ? static_cast<uint64_t>(moved) : 0;
    if (transferred)
        *transferred = moved;
    return result;
}

// libftdi's streaming and asynchronous calls, which the configurator never makes.
libusb_transfer *libusb_alloc_transfer(int)
{
    return nullptr;
}

void libusb_free_transfer(libusb_transfer *)
{
}

int libusb_submit_transfer(libusb_transfer *)
{
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

int libusb_cancel_transfer(libusb_transfer *)
{
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

int libusb_handle_events_timeout(libusb_context *, struct timeval *)
{
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

int libusb_handle_events_timeout_completed(libusb_context *, struct timeval *, int *)
{
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

} // extern "C"
