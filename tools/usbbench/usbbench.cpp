// What the unit operations cost on the real USB path: the usb backend and the
// distribution's libftdi1 against two emulated units (the emulator is linked
// ahead of libusb-1.0). Counts USB transfers and bytes, then estimates the
// wall time on a real unit with the emulator's full-speed timing model.
#include "app/demo/demounits.h"
#include "config/configstore.h"
#include "device/usbemu/usbemu.h"

#include <QtCore/QCoreApplication>

#include <cmath>
#include <cstdio>
#include <ctime>
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

double cpuMs()
{
    return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC;
}

// Full-speed bus time of the bulk bytes that must cross, both directions in
// one 12 Mbit/s bus: 64-byte packets, 19 to a 1 ms frame.
double busFloorMs(const usbemu::Counters &c)
{
    const double packets = std::ceil(double(c.bytesOut) / 64) + std::ceil(double(c.bytesIn) / 64);
    return packets / 19;
}

void report(const char *what, const std::function<bool()> &prepare, const std::function<bool()> &operation,
            bool expectFailure = false)
{
    if (!prepare()) {
        std::printf("%-24s setup FAILED\n", what);
        return;
    }
    usbemu::setTimingModel(true, flashTiming());
    usbemu::resetCounters();
    const double cpu = cpuMs();
    const bool ok = operation();
    const double cpuUsed = cpuMs() - cpu;
    const usbemu::Counters c = usbemu::counters();
    const usbemu::Elapsed e = usbemu::elapsed();
    usbemu::setTimingModel(false);
    if (ok == expectFailure) {
        std::printf("%-24s %s\n", what, ok ? "did not fail" : "FAILED");
        return;
    }
    if (expectFailure) {
        std::printf("%-24s fails %7.1f ms after the unit stops answering (%llu ctrl, %llu OUT, %llu IN)\n", what,
                    e.silentMs,
                    static_cast<unsigned long long>(c.controlTransfers), static_cast<unsigned long long>(c.bulkOut),
                    static_cast<unsigned long long>(c.bulkIn));
        return;
    }
    const double bus = busFloorMs(c);
    const double floor = bus + e.flashBusyMs;
    std::printf("%-24s %4llu ctrl %4llu OUT %4llu IN (%llu empty) %6llu B out %6llu B in | est. %6.1f ms; floors: "
                "sampling %5.1f, bus %5.1f + flash busy %5.1f = %6.1f (x%.2f); with a frame per control "
                "request %6.1f (x%.2f) | CPU %.1f ms\n",
                what, static_cast<unsigned long long>(c.controlTransfers),
                static_cast<unsigned long long>(c.bulkOut), static_cast<unsigned long long>(c.bulkIn),
                static_cast<unsigned long long>(c.emptyIns), static_cast<unsigned long long>(c.bytesOut),
                static_cast<unsigned long long>(c.bytesIn), e.totalMs, e.samplingMs, bus, e.flashBusyMs, floor,
                e.totalMs / floor, floor + double(c.controlTransfers), e.totalMs / (floor + double(c.controlTransfers)),
                cpuUsed);
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
    report("open and close", [&] { return store.enumerateUnits() == 2; }, [&] {
        const bool ok = store.openUnit(store.units()[0]);
        return store.closeUnit() && ok;
    });
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

    // A unit that stops answering half-way: every transfer from then on times out.
    const auto mute = [&](int nth, bool read) {
        return [&, nth, read] {
            usbemu::clearFaults(1);
            if (!open() || (read && !store.readFromUnit(0)))
                return false;
            usbemu::Fault fault;
            fault.kind = usbemu::FaultKind::Mute;
            fault.nth = nth;
            usbemu::setFaults(1, {fault});
            return true;
        };
    };
    const auto failRead = [&] {
        const bool ok = store.readFromUnit(0);
        return store.closeUnit() && ok;
    };
    const auto failWrite = [&] {
        const bool ok = store.writeToUnit(0) && store.readFromUnit(0);
        return store.closeUnit() && ok;
    };
    report("Read, unit stops", mute(20, false), failRead, true);
    report("Write, unit stops", mute(150, true), failWrite, true);
    usbemu::clearFaults(1);
    return 0;
}
