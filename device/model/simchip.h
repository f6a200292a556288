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
    // CBUS lines (bit n = CBUSn) driven high: pins in I/O mode as CBUS
    // bit-bang set them, the others at their EEPROM function's level.
    uint8_t raisedLines() const;
    // Synchronous bit-bang: samples the pins, then applies value; returns the
    // sample (the chip's one-byte read-back lag). The activity LEDs are lit
    // (low) while it clocks.
    uint8_t clock(uint8_t value);
    // Outside the bit-bang modes a written byte leaves on TXD; true when the
    // UART takes one in at the same time, which happens while RXD is held low
    // (a break, received as 0x00).
    bool transmit(uint8_t &received);
    // Data-bus levels.
    uint8_t sample() const;
    // What the read-pins request answers: the CBUS levels (low nibble) in CBUS
    // bit-bang, the data bus otherwise.
    uint8_t readPins() const;

    // The 256-byte EEPROM of an X-series chip (words little-endian), with the
    // unit's strings and CBUS functions and a valid checksum.
    std::vector<uint8_t> eeprom() const;

private:
    bool flashOnBus() const;
    bool pin(uint8_t bit) const;
    bool cbusLevel(uint8_t n, bool *driven) const;
    void driveFlash();

    UnitConfig m_config;
    FlashModel m_flash;
    uint8_t m_mode = modeNormal;
    uint8_t m_outputs = 0;
    uint8_t m_cbus = 0; // directions in the high nibble, levels in the low one
    uint8_t m_latch = 0;
    bool m_active = false; // clocking data: activity LEDs lit
};

} // namespace simbench
