// CPU cost of `ostrel-riz-cli write --all` against 1, 10 and 50 simulated
// units (zero simulated latency), per unit and in total, with and without the
// backups. Not a test: it prints what it measured.
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

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
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
    std::printf("%6s  %-10s  %12s  %14s  %10s\n", "units", "backups", "CPU total ms", "CPU per unit ms", "USB calls");
    for (const bool backup : {false, true}) {
        for (const int units : {1, 10, 50}) {
            double best = 1e9;
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
                const double start = cpuSeconds();
                const int code = cli::runCli(store, args, o, e);
                const double spent = cpuSeconds() - start;
                if (code != cli::ExitDone) {
                    std::printf("write --all to %d units failed (%d):\n%s", units, code, qPrintable(out + err));
                    return 1;
                }
                best = std::min(best, spent);
                calls = simbench::counters().calls;
            }
            std::printf("%6d  %-10s  %12.1f  %14.2f  %10llu\n", units, backup ? "yes" : "no", best * 1e3,
                        best * 1e3 / units, calls);
        }
    }
    return 0;
}
