#pragma once

// What the unit selector tells about a recognised unit, read without widgets.

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <cstddef>
#include <cstdint>

class ConfigStore;

struct UnitFacts {
    std::size_t index = 0;  // position in the store's unit list, as in the selector
    QByteArray model;       // the USB description, which named the unit's map
    QByteArray serial;
    std::uint8_t hwVersion = 0;
    std::uint8_t swVersion = 0;
};

// Facts of the store's unit at `index` (which must be in its list).
UnitFacts unitFacts(const ConfigStore &store, std::size_t index);

// "major.minor" from the nibbles of a version byte.
QString versionText(std::uint8_t version);

// The selector's line for a unit, translated as the window shows it.
QString selectorLine(const UnitFacts &facts);
