#pragma once

#include "device/devicelink.h"
#include "device/flashchips.h"

#include <array>
#include <cstdint>

// Driver for the unit's SPI flash, reached only through an SpiTransferFn.
class SpiFlash
{
public:
    // A wait gives up after this long by default. The slowest 4 KiB sector
    // erase of the chips in the table is rated in the hundreds of
    // milliseconds; 5 s is many times that even with a USB round trip per
    // status poll, and still short enough that a dead chip does not hang
    // the window for long.
    static constexpr int defaultReadyTimeoutMs = 5000;

    SpiFlash(SpiTransferFn fn = nullptr, void *context = nullptr);

    void setTransfer(SpiTransferFn fn, void *context);
    void setReadyTimeoutMs(int ms) { m_readyTimeoutMs = ms; }
    int readyTimeoutMs() const { return m_readyTimeoutMs; }

    // Single commands, one transaction each.
    bool cmdReadId(std::array<uint8_t, 3> &id);
    bool cmdWriteEnable();
    bool cmdReadStatus(uint8_t &value);
    bool cmdWriteStatus(uint8_t value);
    bool cmdRead(uint32_t address, uint32_t length, uint8_t *out);
    bool cmdPageProgram(const uint8_t *data, uint32_t length, uint32_t address);
    bool cmdSectorErase(uint32_t address);

    bool pollBusy();
    bool waitReady();
    bool identify(std::array<uint8_t, 3> *idOut = nullptr);
    bool updateStatus(uint8_t value);
    bool read(uint32_t address, uint32_t length, uint8_t *out);
    bool program(const uint8_t *data, uint32_t length, uint32_t address);
    bool eraseSector(uint32_t address);
    bool eraseRange(uint32_t address, uint32_t length);

    const FlashChip &chip() const { return m_chip; }
    bool isIdentified() const;
    bool busy() const { return m_busy; }
    uint8_t status() const { return m_status; }

private:
    bool send(uint8_t *tx, uint8_t *rx, uint32_t n);

    void *m_transferContext = nullptr;
    SpiTransferFn m_transferFn = nullptr;
    bool m_busy = false;
    FlashChip m_chip;
    uint8_t m_status = 0;
    int m_readyTimeoutMs = defaultReadyTimeoutMs;
};
