#pragma once

#include "config/fieldmap.h"

#include <QtCore/QByteArray>

#include <string>

// Realistic unit contents for the simulated bench: the demo program starts
// with them, and the end-to-end tests use them.
namespace demo {

// A valid image with the unit's factory plan (8 SCR user bands on output 1).
QByteArray factoryImage(const FieldMap &map);
// A valid customised image: all ports present, a dozen channels of several modes.
QByteArray customImage(const FieldMap &map);

// Attaches a simulated unit for this map with the two images in slots 1 and 0
// and the software version byte at 0x6FFFF; returns the bench's unit id.
int attachUnit(const FieldMap &map, const std::string &serial);

// The demo bench: one unit per embedded map, each with its own serial number.
void attachDemoUnits();

} // namespace demo
