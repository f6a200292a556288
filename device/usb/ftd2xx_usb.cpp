// The D2XX calls on libftdi1, for real FTDI chips. Behaves like the vendor
// library where the device link relies on it. Single-threaded.

#include "device/usb/ftdilist.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

namespace {

using namespace ftdiusb;
using Clock = std::chrono::steady_clock;

// In synchronous bit-bang the chip clocks a byte out only while its 512-byte
// receive FIFO has room for the sample it takes. Writing in pieces this size
// and draining each piece's read-back before the next keeps it from stalling.
constexpr int pieceSize = 256;
// A chip that returns nothing for this long is not going to.
constexpr auto readTimeLimit = std::chrono::milliseconds(1000);
constexpr uint8_t modeSyncBitBang = 0x04;

struct Port
{
    Context context;
    uint8_t bus = 0, address = 0;
    bool syncBitBang = false;
    std::deque<uint8_t> rx; // read-back collected while writing
};

struct Listed
{
    FT_DEVICE_LIST_INFO_NODE node;
    uint8_t bus, address;
};

struct Backend
{
    std::vector<Listed> listed; // from the last FT_CreateDeviceInfoList
    std::vector<std::unique_ptr<Port>> ports;
};

Backend &backend()
{
    static Backend instance;
    return instance;
}

Port *portFor(FT_HANDLE handle)
{
    for (const auto &port : backend().ports) {
        if (port.get() == handle)
            return port.get();
    }
    return nullptr;
}

// Appends up to `count` bytes from the chip to the port's buffer. libftdi may
// return 0 bytes while the chip has nothing yet, so this polls until the time
// limit. Returns how many bytes came, or -1 on a USB error.
int collect(Port &port, size_t count)
{
    std::vector<uint8_t> buffer(count);
    size_t got = 0;
    const auto deadline = Clock::now() + readTimeLimit;
    while (got < count) {
        const int n = ftdi_read_data(port.context.get(), buffer.data() + got, static_cast<int>(count - got));
        if (n < 0)
            return -1;
        if (n == 0 && Clock::now() >= deadline)
            break;
        got += static_cast<size_t>(n);
    }
    port.rx.insert(port.rx.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
    return static_cast<int>(got);
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
    // By bus and address, so a device replugged since the list was made is not
    // mistaken for another.
    if (ftdi_usb_open_bus_addr(port->context.get(), entry.bus, entry.address) < 0)
        return FT_DEVICE_NOT_OPENED;
    port->bus = entry.bus;
    port->address = entry.address;
    *handle = port.get();
    b.ports.push_back(std::move(port));
    return FT_OK;
}

FT_STATUS FT_Close(FT_HANDLE handle)
{
    auto &ports = backend().ports;
    const auto it = std::find_if(ports.begin(), ports.end(), [handle](const auto &p) { return p.get() == handle; });
    if (it == ports.end())
        return FT_INVALID_HANDLE;
    // After an unplug libusb cannot release the interface, yet libftdi has
    // closed the device all the same: the handle is gone, which is success,
    // or the caller would keep a handle nothing answers to.
    ftdi_usb_close((*it)->context.get());
    ports.erase(it);
    return FT_OK;
}

FT_STATUS FT_SetBitMode(FT_HANDLE handle, uint8_t mask, uint8_t mode)
{
    Port *port = portFor(handle);
    if (!port)
        return FT_INVALID_HANDLE;
    if (ftdi_set_bitmode(port->context.get(), mask, mode) < 0)
        return FT_IO_ERROR;
    port->syncBitBang = mode == modeSyncBitBang;
    return FT_OK;
}

FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, uint8_t latencyMs)
{
    Port *port = portFor(handle);
    if (!port)
        return FT_INVALID_HANDLE;
    // The vendor library takes 0 on X-series chips; libftdi's floor is 1 ms.
    const auto latency = static_cast<unsigned char>(std::max<uint8_t>(latencyMs, 1));
    return ftdi_set_latency_timer(port->context.get(), latency) < 0 ? FT_IO_ERROR : FT_OK;
}

FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baudRate)
{
    Port *port = portFor(handle);
    if (!port)
        return FT_INVALID_HANDLE;
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
    return result < 0 ? FT_IO_ERROR : FT_OK;
}

FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize, uint32_t outTransferSize)
{
    Port *port = portFor(handle);
    if (!port)
        return FT_INVALID_HANDLE;
    if (inTransferSize < 64 || inTransferSize > 65536 || outTransferSize < 64 || outTransferSize > 65536)
        return FT_INVALID_PARAMETER;
    if (ftdi_read_data_set_chunksize(port->context.get(), inTransferSize) < 0
        || ftdi_write_data_set_chunksize(port->context.get(), outTransferSize) < 0)
        return FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS FT_Write(FT_HANDLE handle, void *buffer, uint32_t bytesToWrite, uint32_t *bytesWritten)
{
    Port *port = portFor(handle);
    if (!port)
        return FT_INVALID_HANDLE;
    if (!bytesWritten || (bytesToWrite && !buffer))
        return FT_INVALID_PARAMETER;
    *bytesWritten = 0;
    const auto *bytes = static_cast<const uint8_t *>(buffer);
    const uint32_t piece = port->syncBitBang ? pieceSize : std::max<uint32_t>(bytesToWrite, 1);
    for (uint32_t done = 0; done < bytesToWrite;) {
        const uint32_t length = std::min(piece, bytesToWrite - done);
        const int n = ftdi_write_data(port->context.get(), bytes + done, static_cast<int>(length));
        if (n < 0)
            return FT_IO_ERROR;
        done += static_cast<uint32_t>(n);
        *bytesWritten = done;
        if (static_cast<uint32_t>(n) != length)
            return FT_IO_ERROR;
        if (port->syncBitBang && collect(*port, length) != static_cast<int>(length))
            return FT_IO_ERROR;
    }
    return FT_OK;
}

FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, uint32_t bytesToRead, uint32_t *bytesReturned)
{
    Port *port = portFor(handle);
    if (!port)
        return FT_INVALID_HANDLE;
    if (!bytesReturned || (bytesToRead && !buffer))
        return FT_INVALID_PARAMETER;
    *bytesReturned = 0;
    // In synchronous bit-bang every sample was collected while writing; in
    // other modes wait a while for data, as a read with a timeout would.
    if (!port->syncBitBang && port->rx.size() < bytesToRead && collect(*port, bytesToRead - port->rx.size()) < 0)
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
        return FT_INVALID_HANDLE;
    const bool rx = mask & FT_PURGE_RX, tx = mask & FT_PURGE_TX;
    if (rx)
        port->rx.clear();
    int result = 0;
    if (rx && tx)
        result = ftdi_tcioflush(port->context.get());
    else if (rx)
        result = ftdi_tciflush(port->context.get());
    else if (tx)
        result = ftdi_tcoflush(port->context.get());
    return result < 0 ? FT_IO_ERROR : FT_OK;
}

} // extern "C"
