#pragma once

#include "config/fieldmap.h"
#include "device/sim/simbench.h"

#include <QtCore/QByteArray>

#include <string>
#include <vector>

// Realistic unit contents for the simulated bench: the demo program starts
// with them, and the end-to-end tests use them.
namespace demo {

// A valid image with the unit's factory plan (8 SCR user bands on output 1).
QByteArray factoryImage(const FieldMap &map);
// A valid customised image: all ports present, a dozen channels of several modes.
QByteArray customImage(const FieldMap &map);

// The chip, flash and wiring of a unit for this map, and its whole flash:
// both images in slots 1 and 0, the software version byte at 0x6FFFF. The
// D2XX bench and the USB emulator's bench files are built from these.
simbench::UnitConfig unitConfig(const FieldMap &map, const std::string &serial);
std::vector<uint8_t> flashImage(const FieldMap &map);

// Serial number n (1-based) of a simulated series, e.g. "OR2401017".
std::string serialNumber(const std::string &prefix, int n);

// Attaches a simulated unit for this map with the two images in slots 1 and 0
// and the software version byte at 0x6FFFF; returns the bench's unit id.
int attachUnit(const FieldMap &map, const std::string &serial);

// The demo bench: one unit per embedded map, each with its own serial number.
void attachDemoUnits();

} // namespace demo
