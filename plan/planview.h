#pragma once

// The configuration of slot 0 as the panels present it, read without widgets,
// and the conversions between stored and shown values. The window, the
// command-line tool and the plan picture all go through here.

#include "plan/channelrules.h"

#include <QtCore/QByteArray>

#include <array>
#include <cstdint>
#include <vector>

class ConfigStore;

namespace planview {

inline constexpr int MaxInputs = 7;
inline constexpr int MaxOutputs = 3;
// The satellite band an F IN may lie in, in kHz; not a property of the image.
inline constexpr std::uint32_t FInMinimum = 10700000;
inline constexpr std::uint32_t FInMaximum = 12750000;
inline constexpr std::uint32_t KHzPerMHz = 1000;

// "Group[index].name"
QByteArray field(const char *group, int index, const char *name);

// Shown values are what the panels display: MHz, 1-based ports and user
// bands, levels with the image's offset added (modulo 2^32, as stored).
inline std::uint32_t shownMHz(std::uint32_t kHz) { return kHz / KHzPerMHz; }
inline std::uint32_t storedKHz(std::uint32_t mHz) { return mHz * KHzPerMHz; }
inline std::uint32_t shownIndex(std::uint32_t stored) { return stored + 1; }
inline std::uint32_t storedIndex(std::uint32_t shown) { return shown - 1; }
inline std::uint32_t shownLevel(std::uint32_t stored, std::int32_t offset)
{
    return stored + static_cast<std::uint32_t>(offset);
}
inline std::uint32_t storedLevel(std::uint32_t shown, std::int32_t offset)
{
    return shown - static_cast<std::uint32_t>(offset);
}

// One port: its presence byte (ADC or DAC) and its three settings.
struct Port {
    std::uint8_t presence = 0;
    std::uint8_t mode = 0;
    std::uint8_t a = 0; // input: DISEqC_Bank; output: STB_LO_Low
    std::uint8_t b = 0; // input: DISEqC_LNB_LO; output: STB_LO_High
};
inline constexpr std::array<const char *, 4> InputFields{"ADC", "Mode", "DISEqC_Bank", "DISEqC_LNB_LO"};
inline constexpr std::array<const char *, 4> OutputFields{"DAC", "Mode", "STB_LO_Low", "STB_LO_High"};

// The ports present: a presence of 255, or any unreadable field, ends the
// list, so later ports are hidden too.
std::vector<Port> readInputs(ConfigStore &store);
std::vector<Port> readOutputs(ConfigStore &store);

// The fields of one CSS row, in the order the table fills them.
enum RowField { Mode, InputPort, InputFrequency, OutputPort, OutputFrequency, Bandwidth, OutputLevel,
                UserBand, Pin, RowFieldCount };
inline constexpr std::array<const char *, RowFieldCount> RowFieldNames{
    "Mode", "InputPort", "InputFrequency", "OutputPort", "OutputFrequency", "Bandwidth",
    "OutputLevel", "UserBand", "Pin"};

// A row's stored values; a missing field ends the row, so only the first
// `present` values were read (the rest are 0).
struct Row {
    std::array<std::uint32_t, RowFieldCount> value{};
    int present = 0;
};

// "CSS_Channels" rows (missing count: none).
std::vector<Row> readRows(ConfigStore &store);

// What the plan rules look at, as the table would hand it to them.
std::vector<channelrules::ChannelRow> ruleRows(const std::vector<Row> &rows);

// The image's level offset ("OutputLevelOffset", 0 when missing).
std::int32_t levelOffset(ConfigStore &store);

} // namespace planview
