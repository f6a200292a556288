#pragma once

#include "config/fieldmap.h"
#include "config/memoryimage.h"
#include "device/devicelink.h"
#include "device/spiflash.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// One recognised unit: the map that fits it and its index in the device list.
struct UnitEntry {
    const FieldMap *map = nullptr;
    uint32_t deviceIndex = 0;
};

// The central model object: field map registry, configuration image with typed
// access by field name, the image rules, .scd files and the unit operations.
// Everything reports success as a bool; nothing throws.
class ConfigStore
{
public:
    ConfigStore();
    ~ConfigStore();
    ConfigStore(const ConfigStore &) = delete;
    ConfigStore &operator=(const ConfigStore &) = delete;

    // --- field maps
    bool loadMap(const QString &resourcePath);
    // Registers every ".map" entry of the resource root, in the root's name order.
    void loadEmbeddedMaps();
    const std::vector<std::unique_ptr<FieldMap>> &maps() const { return maps_; }

    const FieldMap *loadedMap() const { return loadedMap_; }
    void setLoadedMap(const FieldMap *map) { loadedMap_ = map; }
    MemoryImage &image() { return image_; }
    const MemoryImage &image() const { return image_; }

    // --- slots and typed access (map defaults to loadedMap, bytes to the slot's)
    uint8_t *slotPointer(uint32_t slot, const FieldMap *map = nullptr);

    bool getUInt(uint32_t &value, const QByteArray &name, uint32_t slot = 0,
                 const QByteArray *bytes = nullptr, const FieldMap *map = nullptr);
    bool getInt(int32_t &value, const QByteArray &name, uint32_t slot = 0,
                const QByteArray *bytes = nullptr, const FieldMap *map = nullptr);
    bool getBool(uint32_t &value, const QByteArray &name, uint32_t slot = 0,
                 const QByteArray *bytes = nullptr, const FieldMap *map = nullptr);
    bool setUInt(uint32_t value, const QByteArray &name, uint32_t slot = 0,
                 QByteArray *bytes = nullptr, const FieldMap *map = nullptr);
    bool setInt(int32_t value, const QByteArray &name, uint32_t slot = 0,
                QByteArray *bytes = nullptr, const FieldMap *map = nullptr);
    bool setBool(uint32_t value, const QByteArray &name, uint32_t slot = 0,
                 QByteArray *bytes = nullptr, const FieldMap *map = nullptr);

    // --- image rules
    // Sets the last byte so that all `size` bytes sum to zero (mod 256).
    static void sealBytes(uint8_t *bytes, uint32_t size);
    bool sealChecksum(uint32_t slot);
    // Magic, Version, byte sum. The file loader stops at the first failure; a
    // unit read evaluates (and logs) all three.
    enum ImageFault : unsigned { FaultMagic = 1, FaultVersion = 2, FaultChecksum = 4 };
    // The rules a slot breaks, as ImageFault bits (0: valid).
    unsigned imageFaults(uint32_t slot, bool stopAtFirstFailure = false, const QByteArray *bytes = nullptr,
                         const FieldMap *map = nullptr);
    bool imageValid(uint32_t slot, bool stopAtFirstFailure = false,
                    const QByteArray *bytes = nullptr, const FieldMap *map = nullptr);

    // --- .scd files (path as UTF-8 bytes)
    bool saveFile(const QByteArray &path, uint32_t slot);
    bool loadFile(const QByteArray &path, uint32_t slot);

    // --- units (device side)
    uint32_t enumerateUnits();
    const std::vector<UnitEntry> &units() const { return units_; }
    // Device indices of the FT-X chips the last enumeration could not read:
    // no USB strings, or a known model's name whose version byte could not
    // be read. Not listed as units; present all the same.
    const std::vector<uint32_t> &unreadableDevices() const { return unreadable_; }
    const FT_DEVICE_LIST_INFO_NODE *unitDeviceInfo(const UnitEntry &entry) const;
    bool openUnit(const UnitEntry &entry);
    bool closeUnit();
    const UnitEntry *currentUnit() const { return currentUnit_ ? &*currentUnit_ : nullptr; }
    // map null: the open unit's map.
    bool beginFlashAccess(const FieldMap *map);
    bool endFlashAccess(const FieldMap *map);
    bool readUnitVersion(uint8_t *first, uint8_t *second);
    bool readSlotFromFlash(uint32_t slot);
    bool writeSlotToFlash(uint32_t slot);
    bool readFromUnit(uint32_t slot);
    // Whether the last readFromUnit got all of the slot's bytes and released
    // the unit's lines again; false when the read itself failed, whatever the
    // bytes held say. Tells a device error from a slot that is not valid.
    bool lastReadComplete() const { return lastReadComplete_; }
    bool writeToUnit(uint32_t slot);
    bool copySlot(uint32_t from, uint32_t to);

    // The Write command's unit sequence for the image's slot 0: "Enable" set,
    // the unit opened (null: none chosen), written, read back and checked.
    // Stops at the first step that fails and returns it. The unit is left for
    // the caller to close (after an Enable failure none was opened), so a
    // failure can be reported before the close.
    enum class WriteStep { Enable, Connect, Write, ReadBack, Done };
    WriteStep writeConfiguration(const UnitEntry *unit);

    DeviceLink &link() { return link_; }
    SpiFlash &flash() { return flash_; }

private:
    bool probeUnit(const FieldMap &map, uint8_t &swVersion);

    // The imageSize bytes an access works on: the caller's buffer when given
    // (it must be long enough), else the slot's bytes in the image.
    uint8_t *bytesFor(uint32_t slot, const QByteArray *bytes, const FieldMap *map);
    bool readField(uint32_t &value, const QByteArray &name, FieldType type, uint32_t slot,
                   const QByteArray *bytes, const FieldMap *map);
    bool writeField(uint32_t value, const QByteArray &name, FieldType type, uint32_t slot,
                    QByteArray *bytes, const FieldMap *map);

    std::vector<std::unique_ptr<FieldMap>> maps_;
    DeviceLink link_;
    SpiFlash flash_;
    MemoryImage image_;
    std::vector<UnitEntry> units_;
    std::vector<uint32_t> unreadable_;
    std::optional<UnitEntry> currentUnit_;
    const FieldMap *loadedMap_ = nullptr;
    bool lastReadComplete_ = false;
};
