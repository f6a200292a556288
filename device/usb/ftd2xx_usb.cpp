// The D2XX calls on libftdi1, for real FTDI chips. Behaves like the vendor
// library where the device link relies on it: the chip is read from open to
// close with IN transfers kept in flight, writes stream, reads are served from
// the buffer. Each handle is for one thread at a time; handles of different
// units may be used from different threads.

#include "device/usb/ftdilist.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace {

using namespace ftdiusb;
using Clock = std::chrono::steady_clock;

// No transfer waits longer than this for the chip: it answers an IN within
// its latency timer (1 ms as the link sets it, 16 ms before, 255 ms at
// most) and a control request within a frame or two, so half a second is
// far beyond any answer yet keeps the window's thread from freezing for long
// on a unit that stops answering. An OUT is given the time the chip needs to
// clock its bytes out on top.
constexpr int transferLimitMs = 500;
// IN transfers kept in flight: while one is handed back and resubmitted the
// others keep the chip's 512-byte receive FIFO draining.
constexpr int inFlight = 4;
constexpr int outFlight = 2;
constexpr uint8_t modeSyncBitBang = 0x04;

struct TransferDeleter
{
    void operator()(libusb_transfer *t) const { libusb_free_transfer(t); }
};
using Transfer = std::unique_ptr<libusb_transfer, TransferDeleter>;

struct Port;

struct Slot
{
    Port *port = nullptr;
    Transfer transfer;
    std::vector<uint8_t> buffer;
    bool busy = false;
};

struct Port
{
    Context context;
    uint8_t bus = 0, address = 0;
    bool syncBitBang = false;
    int syncMask = -1; // output mask the chip is known to be in synchronous bit-bang with
    uint32_t baud = 9600;
    uint8_t latencyMs = 16;
    uint32_t inSize = 4096, outSize = 4096;
    std::array<Slot, inFlight> ins;
    std::array<Slot, outFlight> outs;
    bool streaming = false; // completed INs go out again
    std::deque<uint8_t> rx; // read-back, as the vendor driver buffers it
    // The stream is in step while every byte in rx is the answer to a byte
    // written since the last purge: in synchronous bit-bang `due` bytes are
    // still to come. A failed or timed-out transfer puts it out of step until
    // a purge of both directions brings it back.
    bool accountable = false;
    uint64_t due = 0;
    bool outOfStep = false;
    bool timedOut = false; // a transfer found the chip silent
    bool dead = false;     // ... and a control request after it failed too
    int emptyIns = 0;      // INs in a row that brought no data
};

struct Listed
{
    FT_DEVICE_LIST_INFO_NODE node;
    uint8_t bus, address;
};

struct Backend
{
    std::vector<Listed> listed; // from the last FT_CreateDeviceInfoList
    std::mutex portsMutex;      // each port is used by one thread; the list is shared
    std::vector<std::unique_ptr<Port>> ports;
};

Backend &backend()
{
    static Backend instance;
    return instance;
}

Port *portFor(FT_HANDLE handle)
{
    Backend &b = backend();
    std::lock_guard<std::mutex> lock(b.portsMutex);
    for (const auto &port : b.ports) {
        if (port.get() == handle)
            return port->dead ? nullptr : port.get();
    }
    return nullptr;
}

bool known(FT_HANDLE handle)
{
    Backend &b = backend();
    std::lock_guard<std::mutex> lock(b.portsMutex);
    return std::any_of(b.ports.begin(), b.ports.end(), [handle](const auto &p) { return p.get() == handle; });
}

// The status of a call on a handle that is not usable: unknown, or given up.
FT_STATUS badHandle(FT_HANDLE handle)
{
    return known(handle) ? FT_IO_ERROR : FT_INVALID_HANDLE;
}

void failed(Port &port, libusb_transfer_status status)
{
    port.outOfStep = true;
    port.syncMask = -1;
    if (status == LIBUSB_TRANSFER_TIMED_OUT)
        port.timedOut = true;
}

// A control request through libftdi; after a transfer found the chip silent,
// a failed request means nothing answers any more.
bool control(Port &port, int result)
{
    if (result < 0 && port.timedOut)
        port.dead = true;
    return result >= 0;
}

void submitIn(Slot &slot);

void inDone(libusb_transfer *t)
{
    Slot &slot = *static_cast<Slot *>(t->user_data);
    Port &port = *slot.port;
    slot.busy = false;
    // Every packet starts with the chip's two status bytes.
    const int packet = std::max(3, int(port.context->max_packet_size));
    size_t data = 0;
    for (int at = 0; at + 2 < t->actual_length; at += packet) {
        const int end = std::min(t->actual_length, at + packet);
        port.rx.insert(port.rx.end(), t->buffer + at + 2, t->buffer + end);
        data += size_t(end - at - 2);
    }
    if (port.accountable)
        port.due -= std::min<uint64_t>(port.due, data);
    port.emptyIns = data ? 0 : port.emptyIns + 1;
    if (t->status == LIBUSB_TRANSFER_COMPLETED) {
        if (port.streaming)
            submitIn(slot);
    } else if (t->status != LIBUSB_TRANSFER_CANCELLED || port.streaming) {
        failed(port, t->status);
    }
}

void submitIn(Slot &slot)
{
    Port &port = *slot.port;
    slot.buffer.resize(port.inSize);
    libusb_fill_bulk_transfer(slot.transfer.get(), port.context->usb_dev, static_cast<unsigned char>(port.context->out_ep),
                              slot.buffer.data(), int(slot.buffer.size()), inDone, &slot, transferLimitMs);
    if (libusb_submit_transfer(slot.transfer.get()) == 0)
        slot.busy = true;
    else
        failed(port, LIBUSB_TRANSFER_ERROR);
}

void outDone(libusb_transfer *t)
{
    Slot &slot = *static_cast<Slot *>(t->user_data);
    slot.busy = false;
    if (t->status != LIBUSB_TRANSFER_COMPLETED && !(t->status == LIBUSB_TRANSFER_CANCELLED && !slot.port->streaming))
        failed(*slot.port, t->status);
}

template <size_t N>
bool anyBusy(const std::array<Slot, N> &slots)
{
    return std::any_of(slots.begin(), slots.end(), [](const Slot &s) { return s.busy; });
}

bool busy(const Port &port)
{
    return anyBusy(port.ins) || anyBusy(port.outs);
}

// Lets libusb run the port's transfers for a while. Every transfer carries
// its own time limit, so waits built on this end; `deadline` is a last
// resort should a completion never be reported.
void pump(Port &port)
{
    timeval tv{0, 100000};
    libusb_handle_events_timeout_completed(port.context->usb_ctx, &tv, nullptr);
}

Clock::time_point deadline(int ms)
{
    return Clock::now() + std::chrono::milliseconds(ms);
}

bool startStream(Port &port)
{
    port.streaming = true;
    for (Slot &slot : port.ins) {
        if (!slot.busy)
            submitIn(slot);
    }
    return !port.outOfStep;
}

// Cancels every transfer and waits until libusb has handed each back, so no
// buffer is written after this. Data the INs brought is kept unless dropped.
void stopStream(Port &port)
{
    port.streaming = false;
    for (Slot &slot : port.ins) {
        if (slot.busy)
            libusb_cancel_transfer(slot.transfer.get());
    }
    for (Slot &slot : port.outs) {
        if (slot.busy)
            libusb_cancel_transfer(slot.transfer.get());
    }
    // A cancelled transfer comes back within a frame or two.
    const auto end = deadline(4 * transferLimitMs);
    while (busy(port) && Clock::now() < end)
        pump(port);
}

// The full purge: nothing in flight, the chip's FIFOs emptied, the buffer
// cleared, reading started afresh. Afterwards every byte read answers a byte
// written later.
bool resynchronise(Port &port, bool rx, bool tx)
{
    stopStream(port);
    if (busy(port))
        return false; // transfers libusb never handed back: their buffers stay ours
    int result = 0;
    if (rx && tx)
        result = ftdi_tcioflush(port.context.get());
    else if (rx)
        result = ftdi_tciflush(port.context.get());
    else if (tx)
        result = ftdi_tcoflush(port.context.get());
    if (rx)
        port.rx.clear();
    const bool ok = control(port, result);
    if (ok && rx && tx) {
        port.outOfStep = false;
        port.accountable = port.syncBitBang;
        port.due = 0;
    }
    port.emptyIns = 0;
    return startStream(port) && ok;
}

// INs that bring nothing for as long as the transfer limit: the chip is not
// going to send what is due.
bool silent(const Port &port)
{
    return port.emptyIns * std::max<int>(port.latencyMs, 1) >= transferLimitMs;
}

// Waits until the buffer holds `count` bytes, nothing more is due, or the
// stream fails.
void waitFor(Port &port, size_t count)
{
    const auto end = deadline(4 * transferLimitMs);
    port.emptyIns = 0;
    while (port.rx.size() < count && !port.outOfStep && Clock::now() < end) {
        if (port.syncBitBang && port.accountable && port.due == 0)
            break;
        if (silent(port)) {
            if (port.syncBitBang)
                failed(port, LIBUSB_TRANSFER_TIMED_OUT);
            break;
        }
        if (!anyBusy(port.ins) && !startStream(port))
            break;
        pump(port);
    }
}

double bytesPerSecond(const Port &port)
{
    // Bit-bang moves a byte per sample at 16 samples a baud; the UART sends
    // ten bits a byte.
    return port.syncBitBang ? 16.0 * port.baud : port.baud / 10.0;
}

// Sends `count` bytes in transfers of the OUT transfer size, two in flight,
// while the INs keep draining the read-back. Returns the bytes the chip took.
uint32_t send(Port &port, const uint8_t *bytes, uint32_t count)
{
    uint32_t queued = 0, done = 0;
    const auto end = deadline(4 * transferLimitMs + int(1000.0 * count / bytesPerSecond(port)));
    std::array<uint32_t, outFlight> lengths{};
    while ((done < count || anyBusy(port.outs)) && Clock::now() < end) {
        for (size_t i = 0; i < port.outs.size(); ++i) {
            Slot &slot = port.outs[i];
            if (slot.busy || lengths[i] == 0)
                continue;
            done += uint32_t(slot.transfer->actual_length);
            lengths[i] = 0;
        }
        if (port.outOfStep)
            break;
        for (size_t i = 0; i < port.outs.size() && queued < count; ++i) {
            Slot &slot = port.outs[i];
            if (slot.busy)
                continue;
            const uint32_t length = std::min(port.outSize, count - queued);
            slot.buffer.assign(bytes + queued, bytes + queued + length);
            const int limit = transferLimitMs + int(1000.0 * length / bytesPerSecond(port));
            libusb_fill_bulk_transfer(slot.transfer.get(), port.context->usb_dev,
                                      static_cast<unsigned char>(port.context->in_ep), slot.buffer.data(),
                                      int(length), outDone, &slot, unsigned(limit));
            if (libusb_submit_transfer(slot.transfer.get()) != 0) {
                failed(port, LIBUSB_TRANSFER_ERROR);
                break;
            }
            slot.busy = true;
            lengths[i] = length;
            queued += length;
            if (port.accountable)
                port.due += length;
        }
        if (done == count && !anyBusy(port.outs))
            break;
        if (!port.outOfStep && !anyBusy(port.ins))
            startStream(port);
        pump(port);
    }
    if (port.outOfStep || done < count) {
        // What went out of a failed transfer is unknown to the caller's count.
        stopStream(port);
        for (size_t i = 0; i < port.outs.size(); ++i) {
            if (lengths[i])
                done += uint32_t(port.outs[i].transfer->actual_length);
        }
        port.outOfStep = true;
    }
    return std::min(done, count);
}

} // namespace

extern "C" {

FT_STATUS FT_CreateDeviceInfoList(uint32_t *numDevs)
{
    if (!numDevs)
        return FT_INVALID_PARAMETER;
    Backend &b = backend();
    b.listed.clear();
    Context context(ftdi_new());
    if (!context)
        return FT_INSUFFICIENT_RESOURCES;
    DeviceList list;
    if (findAll(context.get(), list) < 0)
        return FT_IO_ERROR;

    for (ftdi_device_list *item = list.get(); item; item = item->next) {
        libusb_device *dev = item->dev;
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(dev, &descriptor) != 0)
            continue;
        Listed entry{};
        entry.bus = libusb_get_bus_number(dev);
        entry.address = libusb_get_device_address(dev);
        FT_DEVICE_LIST_INFO_NODE &node = entry.node;
        node.Type = typeFor(descriptor.bcdDevice);
        node.ID = (uint32_t(descriptor.idVendor) << 16) | descriptor.idProduct;
        node.LocId = (uint32_t(entry.bus) << 8) | entry.address;
        if (libusb_get_device_speed(dev) >= LIBUSB_SPEED_HIGH)
            node.Flags |= FT_FLAGS_HISPEED;
        std::lock_guard<std::mutex> portsLock(b.portsMutex);
        for (const auto &port : b.ports) {
            if (port->bus == entry.bus && port->address == entry.address) {
                node.Flags |= FT_FLAGS_OPENED;
                node.ftHandle = port.get();
            }
        }
        // Reading the strings opens the device; one we may not open is still
        // listed, with whatever strings could be read. A failed string
        // request (a stall, a timeout) may be transient: it is asked once
        // more; a device that does not open (-4: no access) is not.
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int read = ftdi_usb_get_strings2(context.get(), dev, nullptr, 0, node.Description,
                                                   sizeof node.Description, node.SerialNumber,
                                                   sizeof node.SerialNumber);
            if (read == 0 || read == -4)
                break;
        }
        node.Description[sizeof node.Description - 1] = '\0';
        node.SerialNumber[sizeof node.SerialNumber - 1] = '\0';
        b.listed.push_back(entry);
    }
    *numDevs = static_cast<uint32_t>(b.listed.size());
    return FT_OK;
}

FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *dest, uint32_t *numDevs)
{
    if (!dest || !numDevs)
        return FT_INVALID_PARAMETER;
    // *numDevs says how many nodes dest has room for.
    const Backend &b = backend();
    const size_t count = std::min<size_t>(*numDevs, b.listed.size());
    for (size_t i = 0; i < count; ++i)
        dest[i] = b.listed[i].node;
    *numDevs = static_cast<uint32_t>(count);
    return FT_OK;
}

FT_STATUS FT_Open(int deviceNumber, FT_HANDLE *handle)
{
    Backend &b = backend();
    if (!handle)
        return FT_INVALID_PARAMETER;
    if (deviceNumber < 0 || static_cast<size_t>(deviceNumber) >= b.listed.size())
        return FT_DEVICE_NOT_FOUND;
    const Listed &entry = b.listed[static_cast<size_t>(deviceNumber)];
    auto port = std::make_unique<Port>();
    port->context.reset(ftdi_new());
    if (!port->context)
        return FT_INSUFFICIENT_RESOURCES;
    // libftdi's control requests wait 5 s by default.
    port->context->usb_read_timeout = port->context->usb_write_timeout = transferLimitMs;
    for (Slot &slot : port->ins) {
        slot.port = port.get();
        slot.transfer.reset(libusb_alloc_transfer(0));
        if (!slot.transfer)
            return FT_INSUFFICIENT_RESOURCES;
    }
    for (Slot &slot : port->outs) {
        slot.port = port.get();
        slot.transfer.reset(libusb_alloc_transfer(0));
        if (!slot.transfer)
            return FT_INSUFFICIENT_RESOURCES;
    }
    // By bus and address, so a device replugged since the list was made is not
    // mistaken for another.
    if (ftdi_usb_open_bus_addr(port->context.get(), entry.bus, entry.address) < 0)
        return FT_DEVICE_NOT_OPENED;
    port->bus = entry.bus;
    port->address = entry.address;
    // The vendor driver reads the chip from open to close.
    if (!startStream(*port)) {
        stopStream(*port);
        ftdi_usb_close(port->context.get());
        return FT_DEVICE_NOT_OPENED;
    }
    *handle = port.get();
    std::lock_guard<std::mutex> lock(b.portsMutex);
    b.ports.push_back(std::move(port));
    return FT_OK;
}

FT_STATUS FT_Close(FT_HANDLE handle)
{
    Backend &b = backend();
    std::unique_ptr<Port> port;
    {
        std::lock_guard<std::mutex> lock(b.portsMutex);
        auto &ports = b.ports;
        const auto it = std::find_if(ports.begin(), ports.end(), [handle](const auto &p) { return p.get() == handle; });
        if (it == ports.end())
            return FT_INVALID_HANDLE;
        port = std::move(*it);
        ports.erase(it);
    }
    stopStream(*port);
    if (busy(*port)) {
        // libusb still owns transfers: their buffers must outlive them.
        static std::vector<std::unique_ptr<Port>> abandoned;
        ftdi_usb_close(port->context.get());
        std::lock_guard<std::mutex> lock(b.portsMutex);
        abandoned.push_back(std::move(port));
        return FT_OK;
    }
    // After an unplug libusb cannot release the interface, yet libftdi has
    // closed the device all the same: the handle is gone, which is success,
    // or the caller would keep a handle nothing answers to.
    ftdi_usb_close(port->context.get());
    return FT_OK;
}

FT_STATUS FT_SetBitMode(FT_HANDLE handle, uint8_t mask, uint8_t mode)
{
    Port *port = portFor(handle);
    if (!port)
        return badHandle(handle);
    const bool sync = mode == modeSyncBitBang;
    // The link asks for synchronous bit-bang before every transaction; the
    // chip leaves a mode only when told, so asking again changes nothing.
    if (sync && port->syncMask == mask && !port->outOfStep)
        return FT_OK;
    port->syncMask = -1;
    if (!control(*port, ftdi_set_bitmode(port->context.get(), mask, mode)))
        return FT_IO_ERROR;
    if (sync)
        port->syncMask = mask;
    // Read-back is counted from the first purge in synchronous bit-bang: what
    // the buffer holds before may be anything the UART took in.
    if (sync != port->syncBitBang)
        port->accountable = false;
    port->syncBitBang = sync;
    return FT_OK;
}

FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, uint8_t latencyMs)
{
    Port *port = portFor(handle);
    if (!port)
        return badHandle(handle);
    // The vendor library takes 0 on X-series chips; libftdi's floor is 1 ms.
    const auto latency = static_cast<unsigned char>(std::max<uint8_t>(latencyMs, 1));
    if (!control(*port, ftdi_set_latency_timer(port->context.get(), latency)))
        return FT_IO_ERROR;
    port->latencyMs = latency;
    return FT_OK;
}

FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baudRate)
{
    Port *port = portFor(handle);
    if (!port)
        return badHandle(handle);
    // The vendor library programs the same divisor for a rate whatever the
    // mode. libftdi multiplies the rate by 4 while a bit-bang mode is on, and
    // a quarter of the rate, rounded, lands on another divisor for most
    // rates; so libftdi is asked with bit-bang marked off for the call: the
    // chip gets the vendor library's divisor and the same sample rate results.
    // No FTDI chip goes past 12 MBd; the bound also keeps libftdi's int maths safe.
    if (baudRate == 0 || baudRate > 12000000)
        return FT_INVALID_BAUD_RATE;
    ftdi_context *context = port->context.get();
    const int bitbang = context->bitbang_enabled;
    context->bitbang_enabled = 0;
    const int result = ftdi_set_baudrate(context, static_cast<int>(baudRate));
    context->bitbang_enabled = bitbang;
    if (result == -1)
        return FT_INVALID_BAUD_RATE;
    if (!control(*port, result))
        return FT_IO_ERROR;
    port->baud = baudRate;
    return FT_OK;
}

FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize, uint32_t outTransferSize)
{
    Port *port = portFor(handle);
    if (!port)
        return badHandle(handle);
    if (inTransferSize < 64 || inTransferSize > 65536 || outTransferSize < 64 || outTransferSize > 65536)
        return FT_INVALID_PARAMETER;
    // The chip sends whole packets: an IN buffer of any other size could
    // overflow.
    const uint32_t packet = std::max(64u, port->context->max_packet_size);
    const uint32_t in = inTransferSize / packet * packet;
    port->outSize = outTransferSize;
    if (in != port->inSize) {
        // The INs in flight come back with what they carry, and go out again at the new size.
        stopStream(*port);
        port->inSize = in;
        if (!startStream(*port))
            return FT_IO_ERROR;
    }
    return FT_OK;
}

FT_STATUS FT_Write(FT_HANDLE handle, void *buffer, uint32_t bytesToWrite, uint32_t *bytesWritten)
{
    Port *port = portFor(handle);
    if (!port)
        return badHandle(handle);
    if (!bytesWritten || (bytesToWrite && !buffer))
        return FT_INVALID_PARAMETER;
    *bytesWritten = 0;
    // Nothing goes out on a stream out of step: the samples would be built
    // from answers that belong to other commands.
    if (port->outOfStep)
        return FT_IO_ERROR;
    *bytesWritten = send(*port, static_cast<const uint8_t *>(buffer), bytesToWrite);
    return *bytesWritten == bytesToWrite && !port->outOfStep ? FT_OK : FT_IO_ERROR;
}

FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, uint32_t bytesToRead, uint32_t *bytesReturned)
{
    Port *port = portFor(handle);
    if (!port)
        return badHandle(handle);
    if (!bytesReturned || (bytesToRead && !buffer))
        return FT_INVALID_PARAMETER;
    *bytesReturned = 0;
    // In synchronous bit-bang the read waits for the samples still due; in
    // other modes for as long as the chip answers with nothing for the
    // transfer limit.
    waitFor(*port, bytesToRead);
    if (port->outOfStep)
        return FT_IO_ERROR;
    const auto count = static_cast<uint32_t>(std::min<size_t>(bytesToRead, port->rx.size()));
    std::copy_n(port->rx.begin(), count, static_cast<uint8_t *>(buffer));
    port->rx.erase(port->rx.begin(), port->rx.begin() + count);
    *bytesReturned = count;
    return FT_OK;
}

FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask)
{
    Port *port = portFor(handle);
    if (!port)
        return badHandle(handle);
    const bool rx = mask & FT_PURGE_RX, tx = mask & FT_PURGE_TX;
    // In synchronous bit-bang every byte written comes back as one sample. On
    // a stream in step, once the samples due are in, the chip's FIFOs are
    // empty and nothing stale is in flight: dropping the buffer is the whole
    // purge. Otherwise the transfers in flight are reaped and the chip purged.
    if (rx && tx && port->syncBitBang && port->accountable && !port->outOfStep) {
        waitFor(*port, SIZE_MAX);
        if (!port->outOfStep && port->due == 0) {
            port->rx.clear();
            return FT_OK;
        }
    }
    return resynchronise(*port, rx, tx) ? FT_OK : FT_IO_ERROR;
}

} // extern "C"
