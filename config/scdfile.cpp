// .scd files: the 32-byte model name of the map, then the slot's image bytes.
#include "config/configstore.h"

#include <QtCore/QFile>
#include <QtCore/QSaveFile>

bool ConfigStore::saveFile(const QByteArray &path, uint32_t slot)
{
    if (!loadedMap_)
        return false;
    sealChecksum(slot);  // stays in the image even when the save fails
    const uint8_t *image = slotPointer(slot);
    if (!image)
        return false;

    // The old file is replaced only once the new one is complete on disk.
    QSaveFile file(QString::fromUtf8(path));
    // A folder that forbids new files still lets a writable file be
    // overwritten in place, without the temporary file.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const qint64 nameSize = qint64(loadedMap_->modelName.size());
    const qint64 imageSize = qint64(loadedMap_->imageSize);
    // commit() alone misses a short write on a full disk: flush and check first.
    if (file.write(loadedMap_->modelName.data(), nameSize) != nameSize
        || file.write(reinterpret_cast<const char *>(image), imageSize) != imageSize
        || !file.flush() || file.size() != nameSize + imageSize) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool ConfigStore::loadFile(const QByteArray &path, uint32_t slot)
{
    loadedMap_ = nullptr;
    QFile file(QString::fromUtf8(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;

    const QByteArray name = file.read(32);
    if (name.size() < 32)
        return false;
    const FieldMap *map = nullptr;
    for (const auto &candidate : maps_) {
        if (FieldMap::sameName(candidate->modelName, name.constData(), std::size_t(name.size()))) {
            map = candidate.get();
            break;
        }
    }
    if (!map)
        return false;
    loadedMap_ = map;
    if (slot > map->maxSlot)
        return false;

    const QByteArray buffer = file.read(qint64(map->imageSize));
    if (uint32_t(buffer.size()) < map->imageSize) {
        loadedMap_ = nullptr;
        return false;
    }
    file.close();

    if (!imageValid(slot, true, &buffer, map))
        return false;
    return image_.add(map->slotAddress(slot), map->imageSize,
                      reinterpret_cast<const uint8_t *>(buffer.constData()));
}
