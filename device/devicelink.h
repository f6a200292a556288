#pragma once

#include "device/ftd2xx.h"

#include <cstdint>
#include <vector>

// One SPI transaction (chip select held low for all n bytes). rx may be null
// or equal to tx. The context is the DeviceLink that carries the transaction.
using SpiTransferFn = bool (*)(void *context, const uint8_t *tx, uint8_t *rx, uint32_t n);

// Connection to the unit's FTDI X-series chip: the device list, at most one
// open device, four CBUS control lines and a bit-banged SPI master on the
// data bus. Every failure is reported as false; nothing is retried.
class DeviceLink
{
public:
    DeviceLink() = default;
    ~DeviceLink();
    DeviceLink(const DeviceLink &) = delete;
    DeviceLink &operator=(const DeviceLink &) = delete;

    // Number of devices, 0 when none, -1 when the library fails.
    int refreshDeviceList();
    bool openDevice(uint32_t index);
    bool closeDevice();

    // pin 0..3 (CBUS number); level 0 low, 1 high, 2 input.
    bool setControlLine(uint8_t pin, uint8_t level);
    // Data-bus bit numbers 0..7.
    bool beginSyncBitBang(uint8_t csPin, uint8_t clockPin, uint8_t mosiPin, uint8_t misoPin);
    bool setClockKHz(uint32_t kHz);
    bool transfer(const uint8_t *tx, uint8_t *rx, uint32_t n);
    bool resetBitMode();

    // The SpiTransferFn that forwards to transfer() of the DeviceLink in context.
    static bool spiTransfer(void *context, const uint8_t *tx, uint8_t *rx, uint32_t n);

    const std::vector<FT_DEVICE_LIST_INFO_NODE> &deviceList() const { return m_deviceList; }
    uint32_t deviceCount() const { return static_cast<uint32_t>(m_deviceList.size()); }
    // Null past the end of the list.
    const FT_DEVICE_LIST_INFO_NODE *deviceInfo(uint32_t index) const;

    FT_HANDLE handle() const { return m_handle; }
    bool isOpen() const { return m_handle != nullptr; }
    uint8_t cbusState() const { return m_cbusState; }
    uint8_t csMask() const { return m_csMask; }
    uint8_t clockMask() const { return m_clockMask; }
    uint8_t mosiMask() const { return m_mosiMask; }
    uint8_t misoMask() const { return m_misoMask; }

    // Samples per USB write; matches the 4096-byte transfer size set on the chip.
    static constexpr uint32_t chunkSamples = 4096;

private:
    uint8_t sampleAt(const uint8_t *tx, uint64_t k, uint64_t total) const;

    FT_HANDLE m_handle = nullptr;
    uint8_t m_cbusState = 0;
    uint8_t m_csMask = 0;
    uint8_t m_clockMask = 0;
    uint8_t m_mosiMask = 0;
    uint8_t m_misoMask = 0;
    std::vector<FT_DEVICE_LIST_INFO_NODE> m_deviceList;
};
