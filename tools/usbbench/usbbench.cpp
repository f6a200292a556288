// What the unit operations cost on the real USB path: the usb backend and the
// distribution's libftdi1 against two emulated units (the emulator is linked
// ahead of libusb-1.0). Counts USB transfers and bytes, then estimates the
// wall time on a real unit with the emulator's full-speed timing model.
#include "app/demo/demounits.h"
#include "config/configstore.h"
#include "device/usbemu/usbemu.h"

#include <QtCore/QCoreApplication>

#include <cstdio>
#include <functional>

namespace {

// Assumed busy times of the unit's 4 Mbit SPI flash class (page program 0.7 ms
// max, rounded up to the model's 1 ms step; 4 KiB sector erase 150 ms typical;
// status register write 10 ms).
simbench::Timing flashTiming()
{
    simbench::Timing t;
    t.statusReads = t.programReads = t.eraseReads = 0;
    t.programMs = 1;
    t.eraseMs = 150;
    t.statusMs = 10;
    return t;
}

void report(const char *what, const std::function<bool()> &prepare, const std::function<bool()> &operation)
{
    if (!prepare()) {
        std::printf("%-24s setup FAILED\n", what);
        return;
    }
    usbemu::setTimingModel(true, flashTiming());
    usbemu::resetCounters();
    const bool ok = operation();
    const usbemu::Counters c = usbemu::counters();
    const usbemu::Elapsed e = usbemu::elapsed();
    usbemu::setTimingModel(false);
    if (!ok) {
        std::printf("%-24s FAILED\n", what);
        return;
    }
    const double usb = e.totalMs - e.flashBusyMs - e.samplingMs;
    std::printf("%-24s %5llu ctrl %5llu OUT %5llu IN (%llu empty) %8llu B out %8llu B in | %8.1f ms est. "
                "= %6.1f sampling floor + %6.1f flash busy + %7.1f USB round trips\n",
                what, static_cast<unsigned long long>(c.controlTransfers),
                static_cast<unsigned long long>(c.bulkOut), static_cast<unsigned long long>(c.bulkIn),
                static_cast<unsigned long long>(c.emptyIns), static_cast<unsigned long long>(c.bytesOut),
                static_cast<unsigned long long>(c.bytesIn), e.totalMs, e.samplingMs, e.flashBusyMs, usb);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {}); // field access lines

    ConfigStore store;
    store.loadEmbeddedMaps();
    for (int n = 0; n < 2; ++n) {
        const FieldMap &map = *store.maps()[size_t(n)];
        usbemu::addUnit(demo::unitConfig(map, demo::serialNumber("BENCH", n + 1)), demo::flashImage(map));
    }

    std::printf("per operation, usb backend -> libftdi1 -> emulated FT230X, full-speed model "
                "(1 ms frames, 64-byte packets, latency timer as set)\n");
    const auto nothing = [] { return true; };
    report("enumerate two units", nothing, [&] { return store.enumerateUnits() == 2; });
    const auto open = [&] { return store.enumerateUnits() == 2 && store.openUnit(store.units()[0]); };
    report("Read (open, slot 0)", open, [&] {
        const bool ok = store.readFromUnit(0);
        return store.closeUnit() && ok;
    });
    report("Write with read-back", [&] { return open() && store.readFromUnit(0); }, [&] {
        const bool ok = store.writeToUnit(0) && store.readFromUnit(0);
        return store.closeUnit() && ok;
    });
    report("Read default (slot 1)", open, [&] {
        const bool ok = store.readFromUnit(1);
        return store.closeUnit() && ok;
    });
    return 0;
}
