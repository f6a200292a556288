#include "config/fieldmap.h"

#include <QtCore/QBuffer>

#include <cstring>

namespace {

// Reads a little-endian integer of `width` bytes; a short read leaves the rest zero.
template <typename T>
T readLE(QIODevice &in, int width)
{
    std::array<uint8_t, 4> raw{};
    in.read(reinterpret_cast<char *>(raw.data()), width);
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | raw[static_cast<std::size_t>(i)];
    return static_cast<T>(v);
}

} // namespace

const char *fieldTypeName(uint32_t type)
{
    switch (FieldType(type)) {
    case FieldType::BOOL: return "BOOL";
    case FieldType::UINT: return "UINT";
    case FieldType::INT: return "INT";
    case FieldType::BYTES: break;
    }
    return "BYTES";
}

std::unique_ptr<FieldMap> FieldMap::parse(const QByteArray &bytes)
{
    auto map = std::make_unique<FieldMap>();
    QByteArray data = bytes;
    QBuffer in(&data);
    in.open(QIODevice::ReadOnly);

    // Each header field by its own read, in file order.
    in.read(map->modelName.data(), static_cast<qint64>(map->modelName.size()));
    for (uint8_t *b : {&map->hwVersion, &map->swVersion, &map->csPin, &map->clockPin, &map->mosiPin,
                       &map->misoPin, &map->flashLineA, &map->accessLine, &map->spareLine,
                       &map->flashLineB})
        *b = readLE<uint8_t>(in, 1);
    map->imageBase = readLE<uint32_t>(in, 4);
    map->slotStride = readLE<uint32_t>(in, 4);
    map->imageSize = readLE<uint32_t>(in, 4);
    map->maxSlot = readLE<uint32_t>(in, 1);
    map->version = readLE<uint16_t>(in, 2);

    const qint64 count = bytes.size() >= kHeaderSize ? (bytes.size() - kHeaderSize) / kRecordSize : 0;
    map->records.assign(static_cast<std::size_t>(count) + 1, FieldRecord{});
    if (count > 0)
        in.seek(kHeaderSize);
    for (qint64 i = 0; i < count; ++i) {
        FieldRecord &r = map->records[static_cast<std::size_t>(i)];
        in.read(r.name.data(), static_cast<qint64>(r.name.size()));
        r.address = readLE<uint32_t>(in, 4);
        r.size = readLE<uint32_t>(in, 4);
        r.type = readLE<uint32_t>(in, 4);
    }
    return map;
}

bool FieldMap::sameName(const std::array<char, 32> &a, const char *b, std::size_t bLen)
{
    // At most 32 characters, stopping at the first NUL on either side.
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char cb = i < bLen ? b[i] : '\0';
        if (a[i] != cb)
            return false;
        if (cb == '\0')
            return true;
    }
    return true;
}

const FieldRecord *FieldMap::find(const char *key, FieldType type) const
{
    const std::size_t keyLen = std::strlen(key);
    for (const FieldRecord &r : records) {
        if (r.name[0] == '\0')
            return nullptr;
        if (r.type != static_cast<uint32_t>(type) || !sameName(r.name, key, keyLen))
            continue;
        if (!r.fitsIn(imageSize))
            continue;
        return &r;
    }
    return nullptr;
}

QByteArray FieldMap::modelNameText() const
{
    return QByteArray(modelName.data(), static_cast<int>(qstrnlen(modelName.data(), modelName.size())));
}

uint32_t FieldRecord::valueIn(const uint8_t *image) const
{
    uint32_t v = 0;
    for (uint32_t i = 0; i < size; ++i) {
        const uint8_t b = image[address + i];
        if (type == uint32_t(FieldType::BOOL))
            v = (v || b) ? 1 : 0;
        else
            v = (v << 8) | b;
    }
    return v;
}

void FieldRecord::storeIn(uint8_t *image, uint32_t value) const
{
    if (type == uint32_t(FieldType::BOOL))
        value &= 0xFF;
    for (uint32_t i = 0; i < size; ++i) {
        const uint32_t shift = 8 * (size - 1 - i);
        image[address + i] = shift < 32 ? uint8_t(value >> shift) : 0;
    }
}

QByteArray FieldRecord::nameText() const
{
    return QByteArray(name.data(), static_cast<int>(qstrnlen(name.data(), name.size())));
}
