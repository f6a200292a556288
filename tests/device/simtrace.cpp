// Runs a unit operation on the D2XX bench and prints every SPI transaction the
// flash saw, one hex line each: the reference the USB emulator is held to.
#include "app/demo/demounits.h"
#include "unitops.h"

#include <QtCore/QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ConfigStore store;
    store.loadEmbeddedMaps();
    if (argc != 2 || store.maps().empty())
        return 2;
    const int unit = demo::attachUnit(*store.maps()[0], "TRACE1");
    store.enumerateUnits(); // none found fails the run
    simbench::clearTrace();
    const bool ok = unitops::run(store, argv[1]);
    for (const auto &transaction : simbench::spiTransactions(unit))
        std::printf("%s\n", QByteArray::fromRawData(reinterpret_cast<const char *>(transaction.data()),
                                                    int(transaction.size())).toHex().constData());
    return ok ? 0 : 1;
}
