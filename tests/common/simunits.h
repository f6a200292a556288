#pragma once

#include "device/sim/simbench.h"

#include <QtCore/QByteArray>

// What a simulated unit holds and how its control lines stand, for tests.

// Bytes of a unit's flash.
inline QByteArray flashAt(int unit, uint32_t address, uint32_t length = 892)
{
    const std::vector<uint8_t> bytes = simbench::flashBytes(unit, address, length);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

// CBUS lines a CBUS bit-mode mask drives high: direction and level both set.
inline uint8_t raisedBy(uint8_t mask) { return uint8_t(mask & 0x0F & (mask >> 4)); }

// CBUS lines the chip drives high after the last accepted CBUS bit-mode call.
inline uint8_t linesHigh()
{
    const auto &trace = simbench::trace();
    for (auto it = trace.rbegin(); it != trace.rend(); ++it) {
        if (it->call == simbench::Call::SetBitMode && it->status == FT_OK && it->args.size() == 2 && it->args[1] == 0x20)
            return raisedBy(it->args[0]);
    }
    return 0;
}
