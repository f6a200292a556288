#include "device/model/simchip.h"

#include <algorithm>

namespace simbench {

Chip::Chip(const UnitConfig &config)
    : m_config(config), m_flash(config.chip, config.unknownId, config.fill, config.status)
{
}

void Chip::powerUp()
{
    m_mode = modeNormal;
    m_outputs = 0;
    m_cbus = 0;
    m_latch = 0;
    m_flash.powerUp();
}

bool Chip::setBitMode(uint8_t mask, uint8_t mode)
{
    switch (mode) {
    case modeNormal:
        break;
    case modeSync:
        m_outputs = mask;
        break;
    case modeCbus: {
        // Directions and levels latch until the next CBUS call, and only on
        // pins whose EEPROM function is I/O mode; the others keep theirs.
        uint8_t movable = 0;
        for (uint8_t n = 0; n < 4; ++n) {
            if (m_config.cbusFunctions[n] == cbusIoMode)
                movable = static_cast<uint8_t>(movable | 0x11u << n);
        }
        m_cbus = static_cast<uint8_t>((m_cbus & ~movable) | (mask & movable));
        break;
    }
    default:
        return false;
    }
    m_mode = mode;
    driveFlash();
    return true;
}

// The level a CBUS pin has, and whether the chip drives it. Pins in I/O mode
// follow CBUS bit-bang; the LED functions idle high and are pulled low while
// data moves; SLEEP# is high while the chip is awake.
bool Chip::cbusLevel(uint8_t n, bool *driven) const
{
    *driven = true;
    switch (m_config.cbusFunctions[n]) {
    case cbusIoMode:
        *driven = m_cbus >> (4 + n) & 1;
        return *driven ? (m_cbus >> n & 1) : true;
    case cbusTxLed:
    case cbusRxLed:
    case cbusTxRxLed:
        return !m_active;
    case cbusSleep:
    case cbusDrive1:
        return true;
    case cbusTristate:
        *driven = false;
        return true;
    default:
        return false;
    }
}

uint8_t Chip::raisedLines() const
{
    uint8_t lines = 0;
    for (uint8_t n = 0; n < 4; ++n) {
        bool driven = false;
        if (cbusLevel(n, &driven) && driven)
            lines = static_cast<uint8_t>(lines | 1u << n);
    }
    return lines;
}

bool Chip::flashOnBus() const
{
    return (raisedLines() & m_config.flashLines) == m_config.flashLines;
}

// Undriven lines are pulled high; an FT230X has no pins past D3.
bool Chip::pin(uint8_t bit) const
{
    if (bit >= m_config.dataPins)
        return false;
    if (m_mode == modeSync && (m_outputs >> bit & 1))
        return m_latch >> bit & 1;
    if (bit == m_config.misoPin && flashOnBus() && m_flash.driving())
        return m_flash.level();
    return true;
}

uint8_t Chip::sample() const
{
    uint8_t value = 0;
    for (uint8_t bit = 0; bit < 8; ++bit)
        value = static_cast<uint8_t>(value | (pin(bit) ? 1u << bit : 0u));
    return value;
}

uint8_t Chip::readPins() const
{
    if (m_mode != modeCbus)
        return sample();
    uint8_t value = 0;
    for (uint8_t n = 0; n < 4; ++n) {
        bool driven = false;
        value = static_cast<uint8_t>(value | (cbusLevel(n, &driven) ? 1u << n : 0u));
    }
    return value;
}

uint8_t Chip::clock(uint8_t value)
{
    m_active = true;
    driveFlash();
    const uint8_t before = sample();
    m_latch = value;
    driveFlash();
    m_active = false;
    return before;
}

bool Chip::transmit(uint8_t &received)
{
    constexpr uint8_t rxd = 1;
    received = 0x00;
    return !pin(rxd);
}

// Off the bus the flash's chip select is pulled high, ending any transaction.
void Chip::driveFlash()
{
    const bool cs = flashOnBus() ? pin(m_config.csPin) : true;
    m_flash.setPins(cs, pin(m_config.clockPin), pin(m_config.mosiPin));
}

std::vector<uint8_t> Chip::eeprom() const
{
    constexpr size_t size = 256;
    std::vector<uint8_t> rom(size, 0);
    const bool xSeries = m_config.type == FT_DEVICE_X_SERIES;
    const uint16_t product = xSeries ? 0x6015 : 0x6001;
    const uint16_t release = xSeries ? 0x1000 : 0x0600;
    const auto put16 = [&rom](size_t at, uint16_t v) {
        rom[at] = static_cast<uint8_t>(v);
        rom[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    put16(0x02, 0x0403);
    put16(0x04, product);
    put16(0x06, release);
    if (!xSeries)
        rom[0x01] = 0x40; // 64-byte endpoints, as R chips mark them
    rom[0x08] = 0x80; // bus powered
    rom[0x09] = 45;   // 90 mA
    rom[0x0A] = 0x08; // serial number string in use
    // Other chips have a 128-byte EEPROM, read twice over in 256 bytes.
    const size_t used = xSeries ? size : size / 2;
    if (xSeries) {
        for (size_t n = 0; n < 4; ++n)
            rom[0x1A + n] = m_config.cbusFunctions[n];
    }
    // String descriptors after the settings, each addressed by offset and length.
    size_t at = xSeries ? 0xA0 : 0x20;
    const size_t end = used - 2;
    const std::string texts[] = {m_config.manufacturer, m_config.description, m_config.serial};
    for (size_t i = 0; i < 3; ++i) {
        if (at + 2 > end)
            break;
        const size_t chars = std::min<size_t>(texts[i].size(), (end - at - 2) / 2);
        const auto length = static_cast<uint8_t>(2 + 2 * chars);
        rom[0x0E + 2 * i] = static_cast<uint8_t>(at | 0x80);
        rom[0x0F + 2 * i] = length;
        rom[at] = length;
        rom[at + 1] = 0x03;
        for (size_t c = 0; c < chars; ++c)
            rom[at + 2 + 2 * c] = static_cast<uint8_t>(texts[i][c]);
        at += length;
    }
    // FTDI's checksum; an X-series chip leaves its user area (words 0x12 to
    // 0x3F) out of it.
    uint16_t checksum = 0xAAAA;
    for (size_t word = 0; word < used / 2 - 1; ++word) {
        if (xSeries && word == 0x12)
            word = 0x40;
        checksum ^= static_cast<uint16_t>(rom[2 * word] | rom[2 * word + 1] << 8);
        checksum = static_cast<uint16_t>(checksum << 1 | checksum >> 15);
    }
    put16(used - 2, checksum);
    std::copy_n(rom.begin(), size - used, rom.begin() + used);
    return rom;
}

} // namespace simbench
