#ifndef OSTREL_CONFIG_LOTABLE_H
#define OSTREL_CONFIG_LOTABLE_H

#include "config/codenames.h"

#include <array>
#include <cstdint>

// LNB local oscillator codes as the unit knows them. Input and output panels
// offer them in this order; the channel table takes the frequencies from here.
struct LoEntry : codenames::CodeName {
    std::uint32_t kHz;
};

inline constexpr std::array<LoEntry, 17> LoCodes{{
    {{"switcher", 0}, 0},
    {{"1585 MHz", 11}, 1585000},
    {{"5150 MHz", 10}, 5150000},
    {{"9750 MHz", 2}, 9750000},
    {{"10000 MHz", 3}, 10000000},
    {{"10600 MHz", 4}, 10600000},
    {{"10750 MHz", 5}, 10750000},
    {{"11000 MHz", 6}, 11000000},
    {{"11250 MHz", 7}, 11250000},
    {{"11475 MHz", 8}, 11475000},
    {{"13850 MHz", 12}, 13850000},
    {{"20250 MHz", 9}, 20250000},
    {{"WB switcher", 16}, 0},
    {{"WB 10000 MHz", 17}, 10000000},
    {{"WB 10200 MHz", 18}, 10200000},
    {{"WB 13250 MHz", 19}, 13250000},
    {{"WB 13450 MHz", 20}, 13450000},
}};

inline constexpr std::uint8_t LoFirstCode = 2;
inline constexpr std::uint8_t LoLastCode = 20;

namespace lotable_detail {
constexpr std::array<std::uint32_t, LoLastCode - LoFirstCode + 1> makeFrequencyTable()
{
    std::array<std::uint32_t, LoLastCode - LoFirstCode + 1> table{}; // codes with no entry: 0
    for (const auto &entry : LoCodes)
        if (entry.code >= LoFirstCode && entry.code <= LoLastCode)
            table[entry.code - LoFirstCode] = entry.kHz;
    return table;
}
} // namespace lotable_detail

// LO frequency in kHz by (code - 2).
inline constexpr auto LoFrequencyTable = lotable_detail::makeFrequencyTable();

// LO frequency in kHz for any code; codes outside the table stand for no LO.
constexpr std::uint32_t loFrequency(std::uint8_t code)
{
    return (code >= LoFirstCode && code <= LoLastCode) ? LoFrequencyTable[code - LoFirstCode] : 0;
}

// True for the codes of LoCodes; any other code gives no frequency to derive from.
constexpr bool knownLo(std::uint8_t code)
{
    for (const auto &entry : LoCodes)
        if (entry.code == code)
            return true;
    return false;
}

#endif
