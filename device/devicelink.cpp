#include "device/devicelink.h"

#include <QThread>

#include <algorithm>
#include <array>
#include <limits>

namespace {

constexpr uint8_t modeReset = 0x00;
constexpr uint8_t modeSyncBitBang = 0x04;
constexpr uint8_t modeCbusBitBang = 0x20;
constexpr uint32_t purgeBoth = FT_PURGE_RX | FT_PURGE_TX;

// Lets other threads run between USB chunks; the link itself never waits.
void yieldThread()
{
    QThread::msleep(0);
}

} // namespace

DeviceLink::~DeviceLink()
{
    closeDevice();
}

int DeviceLink::refreshDeviceList()
{
    closeDevice();
    m_deviceList.clear();
    m_deviceList.shrink_to_fit();

    uint32_t count = 0;
    if (FT_CreateDeviceInfoList(&count) != FT_OK)
        return -1;
    if (count == 0)
        return 0;
    // Keeps the signed result meaningful.
    if (count > static_cast<uint32_t>(std::numeric_limits<int>::max()))
        return -1;

    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count, FT_DEVICE_LIST_INFO_NODE{});
    uint32_t listed = count;
    if (FT_GetDeviceInfoList(nodes.data(), &listed) != FT_OK)
        return -1;
    // The strings come from the device; callers treat them as C strings.
    for (auto &node : nodes) {
        node.SerialNumber[sizeof node.SerialNumber - 1] = '\0';
        node.Description[sizeof node.Description - 1] = '\0';
    }
    m_deviceList = std::move(nodes);
    return static_cast<int>(count);
}

bool DeviceLink::openDevice(uint32_t index)
{
    closeDevice();
    if (index >= deviceCount())
        return false;
    FT_HANDLE opened = nullptr;
    if (FT_Open(static_cast<int>(index), &opened) != FT_OK || !opened)
        return false;
    m_handle = opened;
    return true;
}

bool DeviceLink::closeDevice()
{
    if (!m_handle)
        return true;
    if (FT_Close(m_handle) != FT_OK)
        return false;
    m_handle = nullptr;
    return true;
}

const FT_DEVICE_LIST_INFO_NODE *DeviceLink::deviceInfo(uint32_t index) const
{
    return index < m_deviceList.size() ? &m_deviceList[index] : nullptr;
}

bool DeviceLink::setControlLine(uint8_t pin, uint8_t level)
{
    if (pin > 3)
        return false;
    const uint8_t direction = static_cast<uint8_t>(0x10u << pin);
    const uint8_t value = static_cast<uint8_t>(0x01u << pin);
    uint8_t state = m_cbusState;
    switch (level) {
    case 0:
        state = static_cast<uint8_t>((state | direction) & ~value);
        break;
    case 1:
        state = static_cast<uint8_t>(state | direction | value);
        break;
    case 2:
        state = static_cast<uint8_t>(state & ~(direction | value));
        break;
    default:
        return false;
    }
    m_cbusState = state;
    return FT_SetBitMode(m_handle, m_cbusState, modeCbusBitBang) == FT_OK;
}

bool DeviceLink::beginSyncBitBang(uint8_t csPin, uint8_t clockPin, uint8_t mosiPin, uint8_t misoPin)
{
    if (csPin > 7 || clockPin > 7 || mosiPin > 7 || misoPin > 7)
        return false;
    m_csMask = static_cast<uint8_t>(1u << csPin);
    m_clockMask = static_cast<uint8_t>(1u << clockPin);
    m_mosiMask = static_cast<uint8_t>(1u << mosiPin);
    m_misoMask = static_cast<uint8_t>(1u << misoPin);

    if (FT_SetLatencyTimer(m_handle, 0) != FT_OK)
        return false;
    if (FT_SetBitMode(m_handle, m_csMask | m_clockMask | m_mosiMask, modeSyncBitBang) != FT_OK)
        return false;
    if (FT_SetBaudRate(m_handle, 1000000) != FT_OK)
        return false;
    if (FT_SetUSBParameters(m_handle, chunkSamples, chunkSamples) != FT_OK)
        return false;
    // Park the bus idle: chip select high, clock and data low.
    uint8_t idle = m_csMask;
    uint32_t written = 0;
    if (FT_Write(m_handle, &idle, 1, &written) != FT_OK)
        return false;
    return FT_Purge(m_handle, purgeBoth) == FT_OK;
}

bool DeviceLink::setClockKHz(uint32_t kHz)
{
    // The unit is run at 1000 kHz, i.e. a baud setting of 125000; nothing
    // depends on the exact SPI clock that results.
    return FT_SetBaudRate(m_handle, kHz * 1000u / 8u) == FT_OK;
}

uint8_t DeviceLink::sampleAt(const uint8_t *tx, uint64_t k, uint64_t total) const
{
    if (k + 1 == total)
        return m_csMask;
    const uint8_t bit = static_cast<uint8_t>(0x80u >> ((k / 2) % 8));
    const bool one = (tx[k / 16] & bit) != 0;
    uint8_t sample = one ? m_mosiMask : 0;
    if (k % 2)
        sample |= m_clockMask;
    return sample;
}

bool DeviceLink::transfer(const uint8_t *tx, uint8_t *rx, uint32_t n)
{
    if (n && !tx)
        return false;
    if (FT_SetBitMode(m_handle, m_csMask | m_clockMask | m_mosiMask, modeSyncBitBang) != FT_OK)
        return false;
    yieldThread();

    const uint64_t total = 16ull * n + 1;
    std::array<uint8_t, chunkSamples> samples{};
    uint64_t chunkStart = 0;
    while (chunkStart < total) {
        const auto length = static_cast<uint32_t>(std::min<uint64_t>(chunkSamples, total - chunkStart));
        // Built before any byte of rx is written, so rx may alias tx.
        for (uint32_t j = 0; j < length; ++j)
            samples[j] = sampleAt(tx, chunkStart + j, total);

        uint32_t written = 0;
        if (FT_Write(m_handle, samples.data(), length, &written) != FT_OK || written != length)
            return false;

        if (rx) {
            uint32_t got = 0;
            if (FT_Read(m_handle, samples.data(), length, &got) != FT_OK || got != length)
                return false;
            // Only the clock-high samples carry data from the flash.
            for (uint32_t j = 1; j < length; j += 2) {
                const uint64_t g = chunkStart + j;
                if (g >= 16ull * n)
                    break;
                const auto b = static_cast<unsigned>((g / 2) % 8);
                uint8_t &byte = rx[g / 16];
                if (b == 0)
                    byte = 0;
                if (samples[j] & m_misoMask)
                    byte = static_cast<uint8_t>(byte | (0x80u >> b));
            }
        }
        yieldThread();
        chunkStart += length;
    }
    return FT_Purge(m_handle, purgeBoth) == FT_OK;
}

bool DeviceLink::resetBitMode()
{
    if (FT_SetBitMode(m_handle, 0x00, modeReset) != FT_OK)
        return false;
    return FT_Purge(m_handle, purgeBoth) == FT_OK;
}

bool DeviceLink::spiTransfer(void *context, const uint8_t *tx, uint8_t *rx, uint32_t n)
{
    auto *link = static_cast<DeviceLink *>(context);
    return link && link->transfer(tx, rx, n);
}
