#pragma once

#include "config/configstore.h"

#include <QtCore/QByteArray>

// Map and image bytes for tests.

inline QByteArray le32(uint32_t v)
{
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
    return out;
}

inline QByteArray mapRecord(const QByteArray &name, uint32_t address, uint32_t size, FieldType type)
{
    QByteArray r = name.left(32);
    r.append(32 - r.size(), '\0');
    return r + le32(address) + le32(size) + le32(uint32_t(type));
}

// A header with the shipped pin values, maxSlot 2 and version 1.
inline QByteArray mapHeader(uint32_t imageSize = 892, uint32_t imageBase = 0x70000, const QByteArray &model = "TEST")
{
    QByteArray h = model;
    h.append(32 - h.size(), '\0');
    return h + QByteArray::fromHex("10100302000100030201") + le32(imageBase) + le32(0x1000) + le32(imageSize)
           + QByteArray::fromHex("020100");
}

inline uint8_t byteSum(const QByteArray &bytes, int count)
{
    uint8_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum = uint8_t(sum + uint8_t(bytes[i]));
    return sum;
}

// A valid image for a registered map: Magic, Version and a sealed sum, every
// other byte a pattern so misplaced reads and writes show.
inline QByteArray makeValidImage(ConfigStore &store, const FieldMap &map, uint8_t seed = 0x11)
{
    QByteArray bytes(int(map.imageSize), '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(uint8_t(seed + i * 7));
    store.setUInt(0xABCD, "Magic", 0, &bytes, &map);
    store.setUInt(map.version, "Version", 0, &bytes, &map);
    bytes[bytes.size() - 1] = char(uint8_t(0u - byteSum(bytes, bytes.size() - 1)));
    return bytes;
}
