// Measures what a Read, a Write (with its read-back) and an enumeration of two
// units cost on the simulated bench: USB calls, bytes moved, and the
// configurator's own CPU time with zero simulated latency.
#include "app/demo/demounits.h"
#include "config/configstore.h"
#include "device/sim/simbench.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QtGlobal>

#include <cstdio>
#include <ctime>
#include <functional>

namespace {

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void report(const char *what, int runs, const std::function<bool()> &operation)
{
    simbench::resetCounters();
    if (!operation()) {
        std::printf("%-28s FAILED\n", what);
        return;
    }
    const simbench::Counters once = simbench::counters();
    const double start = cpuSeconds();
    for (int i = 0; i < runs; ++i)
        operation();
    const double perRun = (cpuSeconds() - start) / runs;
    std::printf("%-28s %6llu calls (%llu writes, %llu reads)  %8llu bytes out  %8llu bytes in  %8.3f ms CPU\n", what,
                static_cast<unsigned long long>(once.calls),
                static_cast<unsigned long long>(once.byKind[int(simbench::Call::Write)]),
                static_cast<unsigned long long>(once.byKind[int(simbench::Call::Read)]),
                static_cast<unsigned long long>(once.bytesWritten), static_cast<unsigned long long>(once.bytesRead),
                perRun * 1e3);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});  // field access lines

    const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
    simbench::setTiming(simbench::Timing{0, 0, 0, 0, 0, 0});
    simbench::setTraceEnabled(false);

    ConfigStore store;
    store.loadEmbeddedMaps();
    demo::attachUnit(*store.maps()[0], "BENCH1");
    demo::attachUnit(*store.maps()[1], "BENCH2");

    std::printf("per operation, %d timed runs each, zero simulated latency\n", runs);
    report("enumerate two units", runs, [&] { return store.enumerateUnits() == 2; });
    const UnitEntry unit = store.units()[0];
    report("Read (open, slot 0, close)", runs, [&] {
        const bool ok = store.openUnit(unit) && store.readFromUnit(0);
        return store.closeUnit() && ok;
    });
    report("Write with read-back", runs, [&] {
        const bool ok = store.openUnit(unit) && store.writeToUnit(0) && store.readFromUnit(0);
        return store.closeUnit() && ok;
    });
    return 0;
}
