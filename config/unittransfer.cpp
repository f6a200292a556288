// The unit operations of the configuration store: finding units, and moving
// configuration slots between a unit's flash and the image.
#include "config/configstore.h"

#include <QtCore/QByteArray>

#include <algorithm>

namespace {

constexpr uint32_t kVersionAddress = 0x6FFFE;  // two bytes; the second is the software version
constexpr uint8_t kProtectionOff = 0x00;
constexpr uint8_t kProtectionOn = 0x9C;
constexpr uint32_t kX_Series = 9;

bool descriptionNames(const FT_DEVICE_LIST_INFO_NODE &node, const FieldMap &map)
{
    const QByteArray description(node.Description, int(qstrnlen(node.Description, sizeof node.Description)));
    return description == map.modelNameText();
}

} // namespace

uint32_t ConfigStore::enumerateUnits()
{
    currentUnit_.reset();
    units_.clear();
    unreadable_.clear();
    const int count = link_.refreshDeviceList();
    if (count <= 0)
        return 0;

    for (uint32_t i = 0; i < uint32_t(count); ++i) {
        const FT_DEVICE_LIST_INFO_NODE *node = link_.deviceInfo(i);
        if (!node || node->Type != kX_Series)
            continue;  // other FTDI devices are never opened
        bool unreadable = node->Description[0] == '\0';
        if (!link_.openDevice(i)) {
            if (unreadable || std::any_of(maps_.begin(), maps_.end(), [node](const auto &m) { return descriptionNames(*node, *m); }))
                unreadable_.push_back(i);
            continue;
        }
        for (const auto &map : maps_) {
            uint8_t swVersion = 0;
            if (!descriptionNames(*node, *map))
                continue;
            if (!probeUnit(*map, swVersion)) {
                unreadable = true;
                continue;
            }
            if (swVersion == map->swVersion) {
                units_.push_back(UnitEntry{map.get(), i});
                unreadable = false;
                break;
            }
        }
        if (unreadable)
            unreadable_.push_back(i);
        link_.closeDevice();
    }
    return uint32_t(units_.size());
}

// Reads the version byte with the map's wiring. Every line raised here is
// lowered again, also when a step fails.
bool ConfigStore::probeUnit(const FieldMap &map, uint8_t &swVersion)
{
    bool ok = link_.setControlLine(map.accessLine, 1) && beginFlashAccess(&map)
              && readUnitVersion(nullptr, &swVersion);
    ok = endFlashAccess(&map) && ok;
    ok = link_.setControlLine(map.accessLine, 0) && ok;
    return ok;
}

const FT_DEVICE_LIST_INFO_NODE *ConfigStore::unitDeviceInfo(const UnitEntry &entry) const
{
    return link_.deviceInfo(entry.deviceIndex);
}

bool ConfigStore::openUnit(const UnitEntry &entry)
{
    if (link_.openDevice(entry.deviceIndex))
        currentUnit_ = entry;
    else
        currentUnit_.reset();
    return currentUnit_.has_value();
}

bool ConfigStore::closeUnit()
{
    currentUnit_.reset();
    return link_.closeDevice();
}

bool ConfigStore::beginFlashAccess(const FieldMap *map)
{
    if (!map)
        map = currentUnit_ ? currentUnit_->map : nullptr;
    return map && link_.setControlLine(map->flashLineB, 1) && link_.setControlLine(map->flashLineA, 1)
           && link_.beginSyncBitBang(map->csPin, map->clockPin, map->mosiPin, map->misoPin)
           && link_.setClockKHz(1000) && flash_.identify();
}

bool ConfigStore::endFlashAccess(const FieldMap *map)
{
    if (!map)
        map = currentUnit_ ? currentUnit_->map : nullptr;
    if (!map)
        return false;
    // Each step runs even after a failure: the unit must not be left with its
    // flash lines raised.
    bool ok = flash_.waitReady();
    ok = link_.setControlLine(map->flashLineA, 0) && ok;
    ok = link_.resetBitMode() && ok;
    ok = link_.setControlLine(map->flashLineB, 0) && ok;
    return ok;
}

bool ConfigStore::readUnitVersion(uint8_t *first, uint8_t *second)
{
    std::array<uint8_t, 2> bytes{};
    if (!flash_.read(kVersionAddress, uint32_t(bytes.size()), bytes.data()))
        return false;
    if (first)
        *first = bytes[0];
    if (second)
        *second = bytes[1];
    return true;
}

bool ConfigStore::readSlotFromFlash(uint32_t slot)
{
    if (!currentUnit_)
        return false;
    const FieldMap &map = *currentUnit_->map;
    std::vector<uint8_t> bytes(map.imageSize);
    return flash_.read(map.slotAddress(slot), map.imageSize, bytes.data())
           && image_.add(map.slotAddress(slot), map.imageSize, bytes.data());
}

bool ConfigStore::writeSlotToFlash(uint32_t slot)
{
    if (!currentUnit_)
        return false;
    const FieldMap &map = *currentUnit_->map;
    const uint32_t address = map.slotAddress(slot);
    const uint8_t *bytes = image_.locate(address, map.imageSize);
    return bytes && flash_.eraseRange(address, map.imageSize) && flash_.program(bytes, map.imageSize, address);
}

bool ConfigStore::readFromUnit(uint32_t slot)
{
    loadedMap_ = nullptr;
    lastReadComplete_ = false;
    if (!currentUnit_ || slot > currentUnit_->map->maxSlot)
        return false;
    const FieldMap *map = currentUnit_->map;

    if (link_.setControlLine(map->accessLine, 1) && beginFlashAccess(nullptr)) {
        image_.clear();
        if (readSlotFromFlash(slot))
            loadedMap_ = map;
    }
    bool ok = endFlashAccess(nullptr);
    ok = link_.setControlLine(map->accessLine, 0) && ok;
    if (!loadedMap_)
        return false;
    lastReadComplete_ = ok;
    return imageValid(slot) && ok;
}

bool ConfigStore::writeToUnit(uint32_t slot)
{
    if (!currentUnit_ || loadedMap_ != currentUnit_->map || slot > loadedMap_->maxSlot || !slotPointer(slot))
        return false;
    const FieldMap *map = currentUnit_->map;
    sealChecksum(slot);

    const bool written = link_.setControlLine(map->accessLine, 1) && beginFlashAccess(nullptr)
                         && flash_.updateStatus(kProtectionOff) && writeSlotToFlash(slot)
                         && flash_.updateStatus(kProtectionOn);
    bool ok = endFlashAccess(nullptr);
    ok = link_.setControlLine(map->accessLine, 0) && ok;
    return written && ok;
}

bool ConfigStore::copySlot(uint32_t from, uint32_t to)
{
    if (!loadedMap_ || from > loadedMap_->maxSlot || to > loadedMap_->maxSlot)
        return false;
    const uint8_t *source = slotPointer(from);
    if (!source)
        return false;
    // Copied out first: adding may move the segment the source lies in.
    const std::vector<uint8_t> bytes(source, source + loadedMap_->imageSize);
    return image_.add(loadedMap_->slotAddress(to), loadedMap_->imageSize, bytes.data());
}

ConfigStore::WriteStep ConfigStore::writeConfiguration(const UnitEntry *unit)
{
    if (!setBool(1, "Enable", 0))
        return WriteStep::Enable;
    if (!unit || !openUnit(*unit))
        return WriteStep::Connect;
    if (!writeToUnit(0))
        return WriteStep::Write;
    if (!readFromUnit(0))
        return WriteStep::ReadBack;
    return WriteStep::Done;
}
