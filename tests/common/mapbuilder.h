#pragma once

#include "config/configstore.h"

#include <QtCore/QFile>
#include <QtCore/QtEndian>

#include <numeric>
#include <vector>

// Map, image and file bytes for tests.

inline QByteArray le32(uint32_t v)
{
    v = qToLittleEndian(v);
    return QByteArray(reinterpret_cast<const char *>(&v), 4);
}

// n bytes from p; empty for a null p.
inline QByteArray toBytes(const uint8_t *p, int n)
{
    return p ? QByteArray(reinterpret_cast<const char *>(p), n) : QByteArray();
}
inline QByteArray toBytes(const std::vector<uint8_t> &v) { return toBytes(v.data(), int(v.size())); }

inline QByteArray pad32(QByteArray name) { return name.left(32).append(32 - qMin(32, name.size()), '\0'); }

inline QByteArray mapRecord(const QByteArray &name, uint32_t address, uint32_t size, FieldType type)
{
    return pad32(name) + le32(address) + le32(size) + le32(uint32_t(type));
}

// The path, or an empty one when the bytes could not all be written.
inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? path : QString();
}

// A header with the shipped pin values, maxSlot 2 and version 1.
inline QByteArray mapHeader(uint32_t imageSize = 892, uint32_t imageBase = 0x70000, const QByteArray &model = "TEST")
{
    return pad32(model) + QByteArray::fromHex("10100302000100030201") + le32(imageBase) + le32(0x1000)
           + le32(imageSize) + QByteArray::fromHex("020100");
}

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A store with the shipped maps registered.
struct ShippedStore : ConfigStore {
    ShippedStore() { loadEmbeddedMaps(); }
    const FieldMap *map(int i) const { return maps().at(std::size_t(i)).get(); }
    bool hold(uint32_t at, const QByteArray &b) { return image().add(at, uint32_t(b.size()), reinterpret_cast<const uint8_t *>(b.constData())); }
    // The bytes held at address; empty when not held as one piece.
    QByteArray heldAt(uint32_t address, uint32_t n = 892) const
    {
        return toBytes(image().locate(address, n), int(n));
    }
};

// Sets the last byte so that all bytes sum to zero.
inline void reseal(QByteArray &bytes) { bytes[bytes.size() - 1] = char(-std::accumulate(bytes.cbegin(), bytes.cend() - 1, 0)); }

// The bytes cut or zero-padded to the map's image, with Magic, Version and
// the byte sum made right, so that every other byte gets past the loader.
inline QByteArray forged(ConfigStore &store, const FieldMap &map, QByteArray image)
{
    image = image.left(int(map.imageSize));
    image.append(int(map.imageSize) - image.size(), '\0');
    store.setUInt(0xABCD, "Magic", 0, &image, &map);
    store.setUInt(map.version, "Version", 0, &image, &map);
    if (!image.isEmpty())
        reseal(image);
    return image;
}

// A valid image whose other bytes are a pattern, so misplaced reads and writes show.
inline QByteArray makeValidImage(ConfigStore &store, const FieldMap &map, uint8_t seed = 0x11)
{
    QByteArray bytes(int(map.imageSize), '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(uint8_t(seed + i * 7));
    return forged(store, map, bytes);
}

// Renames the record called `name` in map file bytes, so the map lacks that field.
inline bool hideRecord(QByteArray &mapBytes, const QByteArray &name)
{
    for (int at = FieldMap::kHeaderSize; at + FieldMap::kRecordSize <= mapBytes.size(); at += FieldMap::kRecordSize) {
        if (mapBytes.mid(at, 32) == pad32(name)) {
            mapBytes[at] = '~';
            return true;
        }
    }
    return false;
}
