#include "config/configstore.h"

#include <QtCore/QDebug>
#include <QtCore/QDir>
#include <QtCore/QFile>

namespace {

const char *typeName(FieldType type)
{
    return fieldTypeName(uint32_t(type));
}

uint8_t byteSum(const uint8_t *bytes, uint32_t count)
{
    uint8_t sum = 0;
    for (uint32_t i = 0; i < count; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    return sum;
}

} // namespace

ConfigStore::ConfigStore()
    : flash_(&DeviceLink::spiTransfer, &link_)
{
}

ConfigStore::~ConfigStore() = default;

bool ConfigStore::loadMap(const QString &resourcePath)
{
    QFile file(resourcePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    maps_.push_back(FieldMap::parse(file.readAll()));
    return true;
}

void ConfigStore::loadEmbeddedMaps()
{
    const QStringList entries = QDir(QStringLiteral(":")).entryList();
    for (const QString &entry : entries) {
        if (entry.endsWith(QLatin1String(".map"), Qt::CaseSensitive))
            loadMap(QLatin1Char(':') + entry);
    }
}

uint8_t *ConfigStore::slotPointer(uint32_t slot, const FieldMap *map)
{
    if (!map)
        map = loadedMap_;
    if (!map || slot > map->maxSlot)
        return nullptr;
    return image_.locate(map->slotAddress(slot), map->imageSize);
}

uint8_t *ConfigStore::bytesFor(uint32_t slot, const QByteArray *bytes, const FieldMap *map)
{
    if (!bytes)
        return slotPointer(slot, map);
    if (uint32_t(bytes->size()) < map->imageSize)
        return nullptr;
    // Reads never write through this pointer; writes come with a non-const buffer.
    return reinterpret_cast<uint8_t *>(const_cast<char *>(bytes->constData()));
}

bool ConfigStore::readField(uint32_t &value, const QByteArray &name, FieldType type,
                            uint32_t slot, const QByteArray *bytes, const FieldMap *map)
{
    if (!map)
        map = loadedMap_;
    const FieldRecord *r = map ? map->find(name.constData(), type) : nullptr;
    const uint8_t *image = r ? bytesFor(slot, bytes, map) : nullptr;
    if (!image) {
        qDebug("READ CONFIGURATION FIELD %s \"%s\" NOT FOUND!", typeName(type), name.constData());
        return false;
    }
    const uint32_t v = r->valueIn(image);
    value = v;
    qDebug("READ CONFIGURATION FIELD %s(%d) \"%s\" @ %08X = %d", typeName(type), int(r->size),
           name.constData(), r->address, int32_t(v));
    return true;
}

bool ConfigStore::writeField(uint32_t value, const QByteArray &name, FieldType type,
                             uint32_t slot, QByteArray *bytes, const FieldMap *map)
{
    if (!map)
        map = loadedMap_;
    const FieldRecord *r = map ? map->find(name.constData(), type) : nullptr;
    if (r && bytes)
        bytes->data();  // detach before writing through the shared buffer
    uint8_t *image = r ? bytesFor(slot, bytes, map) : nullptr;
    if (!image) {
        qDebug("WRITE CONFIGURATION FIELD %s \"%s\" NOT FOUND!", typeName(type), name.constData());
        return false;
    }
    if (type == FieldType::BOOL)
        value &= 0xFF;  // the log shows what was stored
    r->storeIn(image, value);
    qDebug("WRITE CONFIGURATION FIELD %s(%d) \"%s\" @ %08X = %d", typeName(type), int(r->size),
           name.constData(), r->address, int32_t(value));
    return true;
}

bool ConfigStore::getUInt(uint32_t &value, const QByteArray &name, uint32_t slot,
                          const QByteArray *bytes, const FieldMap *map)
{
    return readField(value, name, FieldType::UINT, slot, bytes, map);
}

bool ConfigStore::getInt(int32_t &value, const QByteArray &name, uint32_t slot,
                         const QByteArray *bytes, const FieldMap *map)
{
    uint32_t v = 0;
    if (!readField(v, name, FieldType::INT, slot, bytes, map))
        return false;
    value = int32_t(v);
    return true;
}

bool ConfigStore::getBool(uint32_t &value, const QByteArray &name, uint32_t slot,
                          const QByteArray *bytes, const FieldMap *map)
{
    return readField(value, name, FieldType::BOOL, slot, bytes, map);
}

bool ConfigStore::setUInt(uint32_t value, const QByteArray &name, uint32_t slot,
                          QByteArray *bytes, const FieldMap *map)
{
    return writeField(value, name, FieldType::UINT, slot, bytes, map);
}

bool ConfigStore::setInt(int32_t value, const QByteArray &name, uint32_t slot, QByteArray *bytes,
                         const FieldMap *map)
{
    return writeField(uint32_t(value), name, FieldType::INT, slot, bytes, map);
}

bool ConfigStore::setBool(uint32_t value, const QByteArray &name, uint32_t slot,
                          QByteArray *bytes, const FieldMap *map)
{
    return writeField(value, name, FieldType::BOOL, slot, bytes, map);
}

bool ConfigStore::sealChecksum(uint32_t slot)
{
    uint8_t *image = slotPointer(slot);
    if (!image || loadedMap_->imageSize == 0)
        return false;
    sealBytes(image, loadedMap_->imageSize);
    return true;
}

void ConfigStore::sealBytes(uint8_t *bytes, uint32_t size)
{
    if (size > 0)
        bytes[size - 1] = uint8_t(0u - byteSum(bytes, size - 1));
}

unsigned ConfigStore::imageFaults(uint32_t slot, bool stopAtFirstFailure, const QByteArray *bytes,
                                  const FieldMap *map)
{
    if (!map)
        map = loadedMap_;
    if (!map)
        return FaultMagic | FaultVersion | FaultChecksum;
    unsigned faults = 0;
    uint32_t magic = 0;
    if (!getUInt(magic, "Magic", slot, bytes, map) || magic != 0xABCD)
        faults |= FaultMagic;
    if (faults && stopAtFirstFailure)
        return faults;
    uint32_t version = 0;
    if (!getUInt(version, "Version", slot, bytes, map) || version != map->version)
        faults |= FaultVersion;
    if (faults && stopAtFirstFailure)
        return faults;
    if (map->imageSize > 0) {
        const uint8_t *image = bytesFor(slot, bytes, map);
        if (!image || byteSum(image, map->imageSize) != 0)
            faults |= FaultChecksum;
    }
    return faults;
}

bool ConfigStore::imageValid(uint32_t slot, bool stopAtFirstFailure, const QByteArray *bytes,
                             const FieldMap *map)
{
    return imageFaults(slot, stopAtFirstFailure, bytes, map) == 0;
}
