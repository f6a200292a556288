#include "config/memoryimage.h"

#include <algorithm>
#include <cstring>

bool MemoryImage::add(uint32_t address, uint32_t length, const uint8_t *bytes)
{
    const uint64_t end = uint64_t(address) + length;
    if (end > 0x100000000ull || (length > 0 && !bytes))
        return false;
    if (length == 0)
        return true;

    // First segment that ends at or after `address` (touching counts).
    auto first = std::find_if(segments_.begin(), segments_.end(),
                              [&](const Segment &s) { return s.end() >= address; });
    auto last = first;
    while (last != segments_.end() && last->start <= end)
        ++last;

    if (first == last) {
        Segment fresh{address, std::vector<uint8_t>(bytes, bytes + length)};
        segments_.insert(first, std::move(fresh));
        return true;
    }
    if (std::next(first) == last && first->start <= address && end <= first->end()) {
        std::memcpy(first->data.data() + (address - first->start), bytes, length);
        return true;
    }

    const uint32_t start = std::min(address, first->start);
    const uint64_t stop = std::max(end, std::prev(last)->end());
    Segment merged{start, std::vector<uint8_t>(static_cast<std::size_t>(stop - start))};
    for (auto it = first; it != last; ++it)
        std::copy(it->data.begin(), it->data.end(), merged.data.begin() + (it->start - start));
    std::memcpy(merged.data.data() + (address - start), bytes, length);
    const auto pos = segments_.erase(first, last);
    segments_.insert(pos, std::move(merged));
    return true;
}

const uint8_t *MemoryImage::locate(uint32_t address, uint32_t length) const
{
    const uint64_t end = uint64_t(address) + length;
    for (const Segment &s : segments_) {
        if (s.start <= address && end <= s.end())
            return s.data.data() + (address - s.start);
    }
    return nullptr;
}

uint8_t *MemoryImage::locate(uint32_t address, uint32_t length)
{
    return const_cast<uint8_t *>(static_cast<const MemoryImage &>(*this).locate(address, length));
}
