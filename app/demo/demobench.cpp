// The demo units on the D2XX bench.
#include "app/demo/demounits.h"

#include "config/configstore.h"

namespace demo {

int attachUnit(const FieldMap &map, const std::string &serial)
{
    const int id = simbench::attach(unitConfig(map, serial));
    simbench::setFlashBytes(id, 0, flashImage(map));
    return id;
}

void attachDemoUnits()
{
    ConfigStore store;
    store.loadEmbeddedMaps();
    int n = 0;
    for (const auto &map : store.maps())
        attachUnit(*map, serialNumber("OR", ++n));
}

} // namespace demo
