#pragma once

// Unit operations as the window runs them, for comparing the two bench doors.

#include "config/configstore.h"

#include <QtCore/QByteArray>

namespace unitops {

// READ CONFIGURATION on the first unit.
inline bool read(ConfigStore &store, uint32_t slot = 0)
{
    const bool ok = !store.units().empty() && store.openUnit(store.units()[0]) && store.readFromUnit(slot);
    return store.closeUnit() && ok;
}

// An edit, then WRITE CONFIGURATION with its read-back.
inline bool write(ConfigStore &store)
{
    if (!read(store) || !store.setUInt(1300000, "CSS[0].OutputFrequency", 0))
        return false;
    const bool ok = store.openUnit(store.units()[0]) && store.writeToUnit(0) && store.readFromUnit(0);
    return store.closeUnit() && ok;
}

inline bool run(ConfigStore &store, const QByteArray &operation)
{
    return operation == "write" ? write(store) : read(store, operation == "default" ? 1 : 0);
}

} // namespace unitops
