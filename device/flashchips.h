#pragma once

#include <array>
#include <cstdint>

// One row of the table of known flash chips.
struct FlashChip
{
    std::array<uint8_t, 3> jedecId;
    char name[17];
    uint32_t sizeKiB;
    uint32_t sectorSize;
    uint32_t sectorsPerBlock;
    uint32_t pageSize;
};
static_assert(sizeof(FlashChip) == 36, "chip table rows are 36 bytes");

// The chips units are built with: what the driver recognises and what the
// simulated units answer. Row 0 stands for "no chip identified" and never matches.
constexpr std::array<FlashChip, 5> kFlashChips = {{
    {{0x00, 0x00, 0x00}, "unknown", 0, 0, 0, 0},
    {{0x7F, 0x9D, 0x32}, "ISSI IS25WD020", 256, 4096, 16, 256},
    {{0x7F, 0x9D, 0x33}, "ISSI IS25WD040", 512, 4096, 16, 256},
    {{0x9D, 0x11, 0x52}, "ISSI IS25WQ020", 256, 4096, 16, 256},
    {{0x9D, 0x12, 0x53}, "ISSI IS25WQ040", 512, 4096, 16, 256},
}};
