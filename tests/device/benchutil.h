#pragma once

#include "device/devicelink.h"
#include "device/sim/simbench.h"
#include "device/spiflash.h"

#include <QByteArray>
#include <QStringList>
#include <QVector>

inline QStringList traceLines()
{
    QStringList lines;
    for (const auto &line : simbench::traceLines())
        lines << QString::fromStdString(line);
    return lines;
}

inline QByteArray toBytes(const std::vector<uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), static_cast<int>(v.size()));
}

inline QVector<int> writeSizes()
{
    QVector<int> sizes;
    for (const auto &stream : simbench::writtenStreams())
        sizes << static_cast<int>(stream.size());
    return sizes;
}

// Opens the first listed device and puts the shipped wiring on the bus, as a
// unit read does: access line, both flash lines, then synchronous bit-bang.
inline bool openForFlash(DeviceLink &link)
{
    return link.refreshDeviceList() > 0 && link.openDevice(0) && link.setControlLine(3, 1)
        && link.setControlLine(1, 1) && link.setControlLine(0, 1) && link.beginSyncBitBang(3, 2, 0, 1)
        && link.setClockKHz(1000);
}

// One simulated unit with a link and a flash driver in front of it.
struct Rig
{
    explicit Rig(const simbench::UnitConfig &config = {}) : unit(simbench::attach(config)) {}
    bool open() { return openForFlash(link); }

    simbench::UnitId unit;
    DeviceLink link;
    SpiFlash flash{&DeviceLink::spiTransfer, &link};
};
