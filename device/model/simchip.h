#pragma once

// The chip model: one FTDI X-series chip and the unit wired
// behind it. The D2XX door and the libusb door both drive this model; neither
// adds chip behaviour of its own.

#include "device/model/simflash.h"

namespace simbench {

constexpr uint8_t modeNormal = 0x00;
constexpr uint8_t modeSync = 0x04;
constexpr uint8_t modeCbus = 0x20;

class Chip
{
public:
    explicit Chip(const UnitConfig &config);

    const UnitConfig &config() const { return m_config; }
    FlashModel &flash() { return m_flash; }
    const FlashModel &flash() const { return m_flash; }

    // Power-on state: UART mode, every pin released.
    void powerUp();
    // False for a mode the chip does not have.
    bool setBitMode(uint8_t mask, uint8_t mode);
    uint8_t mode() const { return m_mode; }
    // CBUS lines (bit n = CBUSn) driven high.
    uint8_t raisedLines() const { return static_cast<uint8_t>((m_cbus >> 4) & m_cbus & 0x0F); }
    // Synchronous bit-bang: samples the pins, then applies value; returns the
    // sample (the chip's one-byte read-back lag).
    uint8_t clock(uint8_t value);
    // Data-bus levels as the read-pins request reports them.
    uint8_t sample() const;

    // The 256-byte EEPROM of an X-series chip (words little-endian), with the
    // unit's strings and CBUS functions and a valid checksum.
    std::vector<uint8_t> eeprom() const;

private:
    bool flashOnBus() const;
    bool pin(uint8_t bit) const;
    void driveFlash();

    UnitConfig m_config;
    FlashModel m_flash;
    uint8_t m_mode = modeNormal;
    uint8_t m_outputs = 0;
    uint8_t m_cbus = 0; // directions in the high nibble, levels in the low one
    uint8_t m_latch = 0;
};

} // namespace simbench
