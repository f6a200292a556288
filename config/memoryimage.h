#pragma once

#include <cstdint>
#include <vector>

// Sparse byte memory addressed by flash address: ascending segments that
// never overlap and never touch (at least one missing address between two).
class MemoryImage
{
public:
    struct Segment {
        uint32_t start = 0;
        std::vector<uint8_t> data;
        uint64_t end() const { return uint64_t(start) + data.size(); }
    };

    void clear() { segments_.clear(); }

    // Stores a copy of `length` bytes at `address`, merging every segment the
    // range overlaps or touches. A range running past 4 GiB is refused.
    bool add(uint32_t address, uint32_t length, const uint8_t *bytes);

    // The byte at `address` inside the one segment holding the whole range, or
    // null. Valid until the next add or clear.
    uint8_t *locate(uint32_t address, uint32_t length);
    const uint8_t *locate(uint32_t address, uint32_t length) const;

    const std::vector<Segment> &segments() const { return segments_; }

private:
    std::vector<Segment> segments_;
};
