#include "plan/channelrules.h"

#include <algorithm>

namespace channelrules {

void countSubBand(const std::vector<ChannelRow> &rows, std::uint8_t output, std::uint32_t lo,
                  std::uint32_t hi, unsigned limit, RowFlags &flags)
{
    unsigned count = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const ChannelRow &row = rows[r];
        if (active(row) && row.output == output && lo <= row.ifOut && row.ifOut < hi) {
            if (++count > limit)
                flags[r] = true;
        }
    }
}

RowFlags outputFrequencyFaults(const std::vector<ChannelRow> &rows, std::size_t outputCount)
{
    RowFlags flags(rows.size(), false);
    // Port numbers are bytes; 255 stands for "no port" and is never a real one.
    const std::size_t outputs = std::min<std::size_t>(outputCount, 0xFF);

    for (std::size_t o = 0; o < outputs; ++o)
        for (std::size_t k = 0; k + 1 < SubBandEdges.size(); ++k)
            countSubBand(rows, static_cast<std::uint8_t>(o), SubBandEdges[k], SubBandEdges[k + 1],
                         MaxChannelsPerSubBand, flags);

    // Unsigned arithmetic and strict comparisons: touching channels, and two
    // tones on one centre, do not overlap.
    for (std::size_t o = 0; o < outputs; ++o) {
        for (std::size_t r1 = 0; r1 < rows.size(); ++r1) {
            const ChannelRow &a = rows[r1];
            if (!active(a) || a.output != o)
                continue;
            const std::uint32_t lo1 = a.ifOut - halfWidth(a);
            const std::uint32_t hi1 = a.ifOut + halfWidth(a);
            for (std::size_t r2 = r1 + 1; r2 < rows.size(); ++r2) {
                const ChannelRow &b = rows[r2];
                if (!active(b) || b.output != o)
                    continue;
                if (b.ifOut + halfWidth(b) > lo1 && b.ifOut - halfWidth(b) < hi1) {
                    flags[r1] = true;
                    flags[r2] = true;
                }
            }
        }
    }
    return flags;
}

RowFlags bandwidthFaults(const std::vector<ChannelRow> &rows)
{
    RowFlags flags(rows.size(), false);
    std::vector<std::uint32_t> seen;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const ChannelRow &row = rows[r];
        if (row.mode == ModeOff || row.mode == ModeTone || row.bandwidth == 0)
            continue;
        if (std::find(seen.begin(), seen.end(), row.bandwidth) != seen.end())
            continue;
        if (seen.size() < MaxBandwidths)
            seen.push_back(row.bandwidth);
        else
            flags[r] = true;
    }
    return flags;
}

RowFlags userBandFaults(const std::vector<ChannelRow> &rows)
{
    RowFlags flags(rows.size(), false);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const ChannelRow &row = rows[r];
        flags[r] = (row.mode == ModeScr && row.userBand > MaxScrUserBand)
                || (row.mode == ModeBskyb && row.userBand > MaxBskybUserBand);
    }
    return flags;
}

} // namespace channelrules
