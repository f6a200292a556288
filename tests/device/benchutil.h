#pragma once

#include "device/devicelink.h"
#include "device/sim/simbench.h"
#include "device/spiflash.h"
#include "../common/mapbuilder.h"

#include <QByteArray>
#include <QStringList>

inline QStringList traceLines()
{
    QStringList lines;
    for (const auto &line : simbench::traceLines())
        lines << QString::fromStdString(line);
    return lines;
}

// One simulated unit with a link and a flash driver in front of it.
struct Rig
{
    explicit Rig(const simbench::UnitConfig &config = {}) : unit(simbench::attach(config)) {}
    // The shipped wiring, as a unit read sets it up: access line, both flash
    // lines, then synchronous bit-bang.
    bool open()
    {
        return link.refreshDeviceList() > 0 && link.openDevice(0) && link.setControlLine(3, 1)
            && link.setControlLine(1, 1) && link.setControlLine(0, 1) && link.beginSyncBitBang(3, 2, 0, 1)
            && link.setClockKHz(1000);
    }

    simbench::UnitId unit;
    DeviceLink link;
    SpiFlash flash{&DeviceLink::spiTransfer, &link};
};
