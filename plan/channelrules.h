#ifndef OSTREL_PLAN_CHANNELRULES_H
#define OSTREL_PLAN_CHANNELRULES_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The channel plan limits of the unit, as pure functions over the table's rows.
// Each returns one flag per row: the rows to mark.
namespace channelrules {

inline constexpr std::uint8_t ModeOff = 0;
inline constexpr std::uint8_t ModeScr = 2;
inline constexpr std::uint8_t ModeBskyb = 5;
inline constexpr std::uint8_t ModeTone = 6;

// Centres from edge k (included) to edge k+1 (excluded) form sub-band k.
inline constexpr std::array<std::uint32_t, 9> SubBandEdges{
    950000, 1097000, 1266000, 1435000, 1604000, 1772000, 1941000, 2110000, 2151000};

inline constexpr unsigned MaxChannelsPerSubBand = 5;
inline constexpr std::size_t MaxBandwidths = 4;
inline constexpr std::uint8_t MaxScrUserBand = 7;    // stored, 0-based
inline constexpr std::uint8_t MaxBskybUserBand = 30; // stored, 0-based

struct ChannelRow {
    std::uint8_t mode = 0;       // 255 for a text that matches no mode
    std::uint8_t output = 0xFF;  // 0-based; 255 matches no output
    std::uint32_t ifOut = 0;     // kHz, centre
    std::uint32_t bandwidth = 0; // kHz
    std::uint8_t userBand = 0xFF; // 0-based
};

using RowFlags = std::vector<bool>;

// A row takes part in the plan unless it is OFF.
inline bool active(const ChannelRow &row) { return row.mode != ModeOff; }

// A tone has no bandwidth: it occupies its centre only.
inline std::uint32_t halfWidth(const ChannelRow &row)
{
    return row.mode == ModeTone ? 0 : row.bandwidth / 2;
}

// The modes a decoder calls by user band (SCR, SCD2, SCR/SCD2, BSKYB).
inline constexpr bool carriesUserBand(std::uint8_t mode) { return mode >= ModeScr && mode <= ModeBskyb; }

// Flags the channels of output `output` beyond the first `limit` (in row
// order) whose centre lies in [lo, hi).
void countSubBand(const std::vector<ChannelRow> &rows, std::uint8_t output, std::uint32_t lo,
                  std::uint32_t hi, unsigned limit, RowFlags &flags);

// Too many channels in an output sub-band, and both members of every pair
// of overlapping channels on one output.
RowFlags outputFrequencyFaults(const std::vector<ChannelRow> &rows, std::size_t outputCount);

// Rows whose bandwidth is not among the first four different values.
RowFlags bandwidthFaults(const std::vector<ChannelRow> &rows);

// Rows whose user band their mode cannot carry.
RowFlags userBandFaults(const std::vector<ChannelRow> &rows);

} // namespace channelrules

#endif
