// CPU cost of `ostrel-riz-cli write --all` against 1, 10 and 50 simulated
// units (zero simulated latency), per unit and in total, with and without the
// backups, one unit at a time (--jobs 1) and all at once (the default). Not a
// test: it prints what it measured. The simulated bench serves every call
// under one lock, so its wall time says nothing about real units; the CPU
// time says what the tool itself costs.
#include "app/demo/demounits.h"
#include "cli/cli.h"
#include "config/configstore.h"
#include "device/sim/simbench.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTextStream>

#include <cstdio>
#include <ctime>
#include <string>

namespace {

double seconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir scratch;
    // Backups land here, not in the user's data folder.
    qputenv("XDG_DATA_HOME", scratch.filePath(QStringLiteral("data")).toUtf8());
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    simbench::setTiming(simbench::Timing{0, 0, 0, 0, 0, 0});

    ConfigStore store;
    store.loadEmbeddedMaps();
    const FieldMap &map = *store.maps().front();
    const QString file = scratch.filePath(QStringLiteral("site.scd"));
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(map.modelNameText().leftJustified(32, '\0') + demo::customImage(map));
    }

    std::printf("write --all, best of %d runs, zero simulated latency\n", runs);
    std::printf("%6s  %-8s  %-6s  %12s  %15s  %12s  %10s\n", "units", "backups", "jobs", "CPU total ms",
                "CPU per unit ms", "wall ms", "USB calls");
    for (const bool backup : {false, true}) {
        for (const bool parallel : {false, true}) {
        for (const int units : {1, 10, 50}) {
            double best = 1e9, wall = 0;
            unsigned long long calls = 0;
            for (int run = 0; run < runs; ++run) {
                simbench::reset();
                simbench::setTraceEnabled(false);
                for (int i = 0; i < units; ++i)
                    demo::attachUnit(map, "B" + std::to_string(1000 + i));
                QString out, err;
                QTextStream o(&out), e(&err);
                QStringList args{QStringLiteral("ostrel-riz-cli"), QStringLiteral("write"), file, QStringLiteral("--all")};
                if (!backup)
                    args << QStringLiteral("--no-backup");
                if (!parallel)
                    args << QStringLiteral("--jobs") << QStringLiteral("1");
                const double start = seconds(CLOCK_PROCESS_CPUTIME_ID);
                const double wallStart = seconds(CLOCK_MONOTONIC);
                const int code = cli::runCli(store, args, o, e);
                const double spent = seconds(CLOCK_PROCESS_CPUTIME_ID) - start;
                const double wallSpent = seconds(CLOCK_MONOTONIC) - wallStart;
                if (code != cli::ExitDone) {
                    std::printf("write --all to %d units failed (%d):\n%s", units, code, qPrintable(out + err));
                    return 1;
                }
                if (spent < best)
                    wall = wallSpent;
                best = std::min(best, spent);
                calls = simbench::counters().calls;
            }
            std::printf("%6d  %-8s  %-6s  %12.1f  %15.2f  %12.1f  %10llu\n", units, backup ? "yes" : "no",
                        parallel ? "all" : "1", best * 1e3, best * 1e3 / units, wall * 1e3, calls);
        }
        }
    }
    return 0;
}
