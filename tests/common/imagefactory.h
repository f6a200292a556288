#pragma once

#include "config/configstore.h"

#include <QtCore/QByteArray>

// A valid 892-byte image for a registered map: Magic, Version and a sealed sum,
// every other byte a pattern so misplaced reads and writes show.
inline QByteArray makeValidImage(ConfigStore &store, const FieldMap &map, uint8_t seed = 0x11)
{
    QByteArray bytes(int(map.imageSize), '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(uint8_t(seed + i * 7));
    store.setUInt(0xABCD, "Magic", 0, &bytes, &map);
    store.setUInt(map.version, "Version", 0, &bytes, &map);
    uint8_t sum = 0;
    for (int i = 0; i + 1 < bytes.size(); ++i)
        sum = uint8_t(sum + uint8_t(bytes[i]));
    bytes[bytes.size() - 1] = char(uint8_t(0u - sum));
    return bytes;
}
