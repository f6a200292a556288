#pragma once

// Names of the byte codes the panels offer, with the translation context of
// the panel that shows them. The window shows them translated, the
// command-line tool as they stand here.

#include <QtCore/QtGlobal>

#include <array>
#include <cstdint>

namespace codenames {

struct CodeName {
    const char *text;
    std::uint8_t code;
};

inline constexpr std::array<CodeName, 3> SupplyModes{{
    {QT_TRANSLATE_NOOP("gbLNBSupply", "OFF"), 0},
    {QT_TRANSLATE_NOOP("gbLNBSupply", "14V"), 1},
    {QT_TRANSLATE_NOOP("gbLNBSupply", "14V/18V/22kHz"), 2},
}};

inline constexpr std::array<CodeName, 4> InputModes{{
    {QT_TRANSLATE_NOOP("gbInput", "OFF"), 0},
    {QT_TRANSLATE_NOOP("gbInput", "NORMAL"), 1},
    {QT_TRANSLATE_NOOP("gbInput", "MIN_GAIN"), 5},
    {QT_TRANSLATE_NOOP("gbInput", "MAX_GAIN"), 3},
}};

// An input's DISEqC_Bank byte holds band, polarization and satellite.
inline constexpr std::array<CodeName, 3> Bands{{
    {QT_TRANSLATE_NOOP("gbInput", "LOW"), 0x00},
    {QT_TRANSLATE_NOOP("gbInput", "HIGH"), 0x01},
    {QT_TRANSLATE_NOOP("gbInput", "WIDE"), 0x10},
}};

inline constexpr std::array<CodeName, 2> Polarizations{{
    {QT_TRANSLATE_NOOP("gbInput", "VERTICAL"), 0x00},
    {QT_TRANSLATE_NOOP("gbInput", "HORIZONTAL"), 0x02},
}};

inline constexpr std::array<CodeName, 4> Satellites{{
    {QT_TRANSLATE_NOOP("gbInput", "A"), 0x00},
    {QT_TRANSLATE_NOOP("gbInput", "B"), 0x04},
    {QT_TRANSLATE_NOOP("gbInput", "C"), 0x08},
    {QT_TRANSLATE_NOOP("gbInput", "D"), 0x0C},
}};

inline constexpr std::uint8_t BandBits = 0x11;
inline constexpr std::uint8_t PolarizationBits = 0x02;
inline constexpr std::uint8_t SatelliteBits = 0x0C;

inline constexpr std::array<CodeName, 2> OutputModes{{
    {QT_TRANSLATE_NOOP("gbOutput", "OFF"), 0},
    {QT_TRANSLATE_NOOP("gbOutput", "CSS MODE"), 1},
}};

inline constexpr std::array<CodeName, 7> ChannelModes{{
    {QT_TRANSLATE_NOOP("gbTableCSS", "OFF"), 0},
    {QT_TRANSLATE_NOOP("gbTableCSS", "STATIC"), 1},
    {QT_TRANSLATE_NOOP("gbTableCSS", "SCR"), 2},
    {QT_TRANSLATE_NOOP("gbTableCSS", "SCD2"), 3},
    {QT_TRANSLATE_NOOP("gbTableCSS", "SCR/SCD2"), 4},
    {QT_TRANSLATE_NOOP("gbTableCSS", "BSKYB"), 5},
    {QT_TRANSLATE_NOOP("gbTableCSS", "TONE"), 6},
}};

// The name of a code in a table, or null when the table has none (a panel
// then shows an empty choice).
template <typename Table>
constexpr const char *nameOf(const Table &table, std::uint8_t code)
{
    for (const auto &item : table)
        if (item.code == code)
            return item.text;
    return nullptr;
}

} // namespace codenames
