// Runs a unit operation on the D2XX bench and prints every SPI transaction the
// flash saw, one hex line each: the reference the USB emulator is held to.
#include "app/demo/demounits.h"
#include "unitops.h"

#include <QtCore/QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    if (argc != 3)
        return 2;
    ConfigStore store;
    store.loadEmbeddedMaps();
    const int map = std::atoi(argv[1]);
    if (map < 0 || size_t(map) >= store.maps().size())
        return 2;
    const int unit = demo::attachUnit(*store.maps()[size_t(map)], "TRACE1");
    if (store.enumerateUnits() != 1)
        return 1;
    simbench::clearTrace();
    const bool ok = unitops::run(store, argv[2]);
    for (const auto &transaction : simbench::spiTransactions(unit)) {
        const QByteArray bytes(reinterpret_cast<const char *>(transaction.data()), int(transaction.size()));
        std::printf("%s\n", bytes.toHex().constData());
    }
    return ok ? 0 : 1;
}
