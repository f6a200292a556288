// Commands that talk to units: list, read, write.
#include "cli/command.h"

#include "cli/present.h"
#include "config/configstore.h"
#include "device/ftdiprobe.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QLockFile>
#include <QtCore/QRegularExpression>
#include <QtCore/QStandardPaths>
#include <QtCore/QTextStream>

#include <atomic>
#include <csignal>
#include <thread>

namespace cli {

namespace {

QString backupFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/ostrel-riz/backups");
}

// A serial as a file name part: visible (no leading dot), no separators.
QString fileSafe(const QByteArray &serial)
{
    QString name = QString::fromLatin1(serial);
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    if (name.startsWith(QLatin1Char('.')))
        name[0] = QLatin1Char('_');
    return name.isEmpty() ? QStringLiteral("unit") : name;
}

// <serial>-<UTC time>.scd; milliseconds keep two writes in one second apart.
QString backupPath(const QByteArray &serial)
{
    const QString time = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss.zzz'Z'"));
    return backupFolder() + QLatin1Char('/') + fileSafe(serial) + QLatin1Char('-') + time + QStringLiteral(".scd");
}

// Where the per-unit write locks lie: the user's runtime folder, else the
// temporary folder. Two users cannot share a unit anyway: the first holds it open.
QString lockPath(const QByteArray &serial)
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/ostrel-riz-") + fileSafe(serial) + QStringLiteral(".lock");
}

QString quoted(const QString &path)
{
    QString q = path;
    return QLatin1Char('\'') + q.replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

// SIGINT and SIGTERM during write: the unit being written is finished, no
// other is started.
std::atomic<int> stopSignal{0};

extern "C" void onStopSignal(int signal)
{
    stopSignal = signal;
}

class StopSignals
{
public:
    // std::signal, not sigaction: the C runtime on Windows raises SIGINT on Ctrl-C too.
    StopSignals()
    {
        stopSignal = 0;
        previousInt_ = std::signal(SIGINT, &onStopSignal);
        previousTerm_ = std::signal(SIGTERM, &onStopSignal);
    }
    ~StopSignals()
    {
        std::signal(SIGINT, previousInt_);
        std::signal(SIGTERM, previousTerm_);
    }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

private:
    using Handler = void (*)(int);
    Handler previousInt_ = SIG_DFL;
    Handler previousTerm_ = SIG_DFL;
};

// Makes `bytes` slot 0 of the store's image, described by `map`.
void holdIn(ConfigStore &store, const FieldMap &map, const QByteArray &bytes)
{
    store.image().clear();
    store.image().add(map.slotAddress(0), uint32_t(bytes.size()), reinterpret_cast<const uint8_t *>(bytes.constData()));
    store.setLoadedMap(&map);
}

} // namespace

int Cli::list(const QCommandLineParser &p)
{
    const bool json = p.isSet(QStringLiteral("json"));
    if (int code = checkDriver())
        return code;
    const bool none = findUnitsQuietly() != ExitDone;
    const std::size_t count = store_.units().size();
    const std::vector<std::uint32_t> &unreadable = store_.unreadableDevices();
    // What doctor would say about the FTDI chips that are there but no units.
    QStringList advice;
    if (none || !unreadable.empty())
        for (const ftdiprobe::DeviceReport &report : ftdiprobe::probeDevices()) {
            if (!none && std::find(unreadable.begin(), unreadable.end(), std::uint32_t(report.index)) == unreadable.end())
                continue;
            DeviceCheck c;
            c.report = report;
            for (const QString &a : diagnose(c).advice)
                advice << tr("device %1: %2").arg(report.index).arg(a);
        }
    QString error;
    if (none)
        error = tr("no unit found");
    else if (!unreadable.empty())
        error = tr("devices present but not read: %1").arg(unreadable.size());

    if (json) {
        QJsonArray units, unread;
        for (std::size_t i = 0; i < count; ++i)
            units.append(present::unitJson(unitFacts(store_, i)));
        for (std::uint32_t d : unreadable) {
            const FT_DEVICE_LIST_INFO_NODE *node = store_.link().deviceInfo(d);
            unread.append(QJsonObject{{"device", int(d)},
                                      {"model", QString::fromLatin1(node->Description)},
                                      {"serial", QString::fromLatin1(node->SerialNumber)}});
        }
        QJsonObject o{{"units", units}, {"unreadable", unread}};
        if (!error.isEmpty())
            o.insert("error", error);
        printJson(QJsonDocument(o));
    } else {
        for (std::size_t i = 0; i < count; ++i)
            out_ << selectorLine(unitFacts(store_, i)) << '\n';
        for (std::uint32_t d : unreadable)
            out_ << tr("-: %1: present, but could not be read (a USB error, or another program holds it); not a "
                       "unit index")
                        .arg(unreadableName(d))
                 << '\n';
    }
    if (error.isEmpty())
        return ExitDone;
    if (none && advice.isEmpty())
        return findUnits();
    return fail(ExitDevice, error, advice);
}

int Cli::read(const QCommandLineParser &p)
{
    const QString output = p.value(QStringLiteral("output"));
    if (output.isEmpty())
        return fail(ExitUsage, tr("read: the file to write is missing (-o FILE.scd)"));
    const QString slotText = p.value(QStringLiteral("slot"));
    if (slotText != QLatin1String("0") && slotText != QLatin1String("1"))
        return fail(ExitUsage, tr("read: --slot is 0 (working configuration) or 1 (factory default), not '%1'").arg(slotText));
    const std::uint32_t slot = slotText.toUInt();

    std::size_t index = 0;
    if (int code = p.isSet(QStringLiteral("unit")) ? selectUnit(p.value(QStringLiteral("unit")), index) : findUnits())
        return code;
    if (int code = readUnit(index, slot))
        return code;
    if (int code = writeOutput(output, scdBytes(slot)))
        return code;
    progress(tr("%1: slot %2 saved to %3").arg(unitName(unitFacts(store_, index))).arg(slot).arg(output));
    return ExitDone;
}

Cli::UnitResult Cli::writeUnit(ConfigStore &store, const UnitEntry &unit, const UnitFacts &facts, const QString &step,
                               const WriteJob &job)
{
    const auto failed = [](const QString &text, const QStringList &details = {}) {
        return UnitResult{Outcome::Failed, tr("FAILED: %1").arg(text), details};
    };
    QLockFile lock(lockPath(facts.serial));
    lock.setStaleLockTime(0); // a long write is not a stale lock; a dead process is
    if (!lock.tryLock(0)) {
        qint64 pid = 0;
        QString host, application;
        lock.getLockInfo(&pid, &host, &application);
        if (lock.error() != QLockFile::LockFailedError)
            return failed(tr("cannot make the lock file %1; not written").arg(lockPath(facts.serial)));
        if (pid != QCoreApplication::applicationPid())
            return failed(tr("another %1 (process %2) is writing this unit; not written").arg(ProgramName).arg(pid));
        // Two units of this run share the serial number: one after the other.
        lock.lock();
    }

    QString backupFile;
    if (job.backup) {
        progress(step + tr("saving its configuration"));
        const bool opened = store.openUnit(unit);
        const bool valid = opened && store.readFromUnit(0);
        const bool complete = opened && store.lastReadComplete();
        store.closeUnit();
        if (!complete)
            return failed(tr("cannot read its configuration to back it up (a USB error); not written"));
        if (valid) {
            backupFile = backupPath(facts.serial);
            // Qt's mkpath on Windows fails when another job makes the folder at the same moment.
            const bool folder = QDir().mkpath(backupFolder()) || QFileInfo(backupFolder()).isDir();
            if (!folder || !store.saveFile(backupFile.toUtf8(), 0))
                return failed(tr("cannot save the backup %1; not written").arg(backupFile));
            progress(step + tr("backup %1").arg(backupFile));
        } else {
            progress(step + tr("it holds no valid configuration: nothing to back up"));
        }
    }

    progress(step + tr("writing"));
    holdIn(store, *unit.map, job.image);
    using Step = ConfigStore::WriteStep;
    const Step outcome = store.writeConfiguration(&unit);
    const bool verified = store.lastReadComplete();
    const std::uint8_t *held = store.slotPointer(0);
    const bool same = outcome == Step::Done && held
                      && QByteArray(reinterpret_cast<const char *>(held), job.image.size()) == job.image;
    store.closeUnit();

    // Once its flash was touched, the unit's configuration is what the user must know about.
    QStringList touched{tr("its configuration may now be invalid or unknown")};
    if (!backupFile.isEmpty())
        touched << tr("restore the saved one: %1 write %2 --unit %3")
                       .arg(ProgramName, quoted(backupFile), quoted(QString::fromLatin1(facts.serial)));
    else if (job.backup)
        touched << tr("it held no valid configuration before, so there is no backup");
    else
        touched << tr("no backup was saved (--no-backup)");
    switch (outcome) {
    case Step::Enable:
    case Step::Connect:
        return failed(tr("cannot connect (is another program using it?); not written"));
    case Step::Write:
        return failed(tr("writing its flash"), touched);
    case Step::ReadBack:
        if (!verified)
            return failed(tr("written, but could not verify: reading it back failed (a USB error)"), touched);
        return failed(tr("the configuration read back is not valid"), touched);
    case Step::Done:
        break;
    }
    if (!same)
        return failed(tr("the configuration read back differs from the file"), touched);
    return {Outcome::Written, tr("written and verified"), {}};
}

void Cli::printResult(const UnitFacts &facts, const UnitResult &r)
{
    const std::lock_guard<std::recursive_mutex> hold(io_);
    out_ << unitName(facts) << ": " << r.text << '\n';
    for (const QString &line : r.details)
        out_ << "  " << line << '\n';
    out_.flush();
}

void Cli::writeUnits(const std::vector<std::size_t> &targets, const WriteJob &job, bool all, int jobs,
                     std::vector<std::optional<UnitResult>> &results)
{
    const auto finish = [&](std::size_t n, UnitResult result) {
        const std::lock_guard<std::recursive_mutex> hold(io_);
        results[n] = std::move(result);
        while (printed_ < results.size() && results[printed_]) {
            printResult(unitFacts(store_, targets[printed_]), *results[printed_]);
            ++printed_;
        }
    };
    const auto step = [&](std::size_t n) {
        return QStringLiteral("[%1/%2] %3: ").arg(n + 1).arg(targets.size()).arg(unitName(unitFacts(store_, targets[n])));
    };
    std::vector<std::size_t> todo;
    for (std::size_t n = 0; n < targets.size(); ++n) {
        const UnitEntry &unit = store_.units()[targets[n]];
        const UnitFacts facts = unitFacts(store_, targets[n]);
        if (unit.map == job.map) {
            todo.push_back(n);
            continue;
        }
        const QString why = tr("it is an %1, the file is for %2")
                                .arg(QString::fromLatin1(facts.model), QString::fromLatin1(job.map->modelNameText()));
        finish(n, all ? UnitResult{Outcome::Skipped, tr("skipped: %1").arg(why), {}}
                           : UnitResult{Outcome::Failed, tr("FAILED: %1").arg(why), {}});
    }

    if (jobs <= 1) {
        for (std::size_t n : todo) {
            if (stopSignal)
                return;
            finish(n, writeUnit(store_, store_.units()[targets[n]], unitFacts(store_, targets[n]), step(n), job));
        }
        return;
    }

    // One store, and so one device link, per thread. Their device lists are
    // all taken here, before any unit is touched: a list taken later, after a
    // unit vanished, would renumber the devices under the other threads.
    const int threadCount = std::min<int>(jobs, int(todo.size()));
    std::vector<std::unique_ptr<ConfigStore>> stores;
    for (int t = 0; t < threadCount; ++t) {
        stores.push_back(std::make_unique<ConfigStore>());
        stores.back()->loadEmbeddedMaps();
        stores.back()->link().refreshDeviceList();
    }
    std::atomic<std::size_t> next{0};
    const auto worker = [&](ConfigStore &own) {
        const FieldMap *map = nullptr;
        for (const auto &m : own.maps())
            if (m->modelNameText() == job.map->modelNameText())
                map = m.get();
        for (std::size_t k = next++; k < todo.size() && !stopSignal; k = next++) {
            const std::size_t n = todo[k];
            const UnitFacts facts = unitFacts(store_, targets[n]);
            const UnitEntry entry{map, store_.units()[targets[n]].deviceIndex};
            const FT_DEVICE_LIST_INFO_NODE *node = own.link().deviceInfo(entry.deviceIndex);
            if (!map || !node || QByteArray(node->SerialNumber) != facts.serial) {
                finish(n, {Outcome::Failed, tr("FAILED: the USB device list changed; not written"), {}});
                continue;
            }
            finish(n, writeUnit(own, entry, facts, step(n), job));
        }
    };
    std::vector<std::thread> threads;
    for (auto &own : stores)
        threads.emplace_back(worker, std::ref(*own));
    for (std::thread &t : threads)
        t.join();
}

int Cli::write(const QCommandLineParser &p)
{
    const bool all = p.isSet(QStringLiteral("all"));
    if (all == p.isSet(QStringLiteral("unit")))
        return fail(ExitUsage, tr("write: give either --unit U or --all"));
    int jobs = MaxJobs;
    if (p.isSet(QStringLiteral("jobs"))) {
        bool number = false;
        jobs = p.value(QStringLiteral("jobs")).toInt(&number);
        if (!all || !number || jobs < 1)
            return fail(ExitUsage, all ? tr("write: --jobs takes a number of at least 1")
                                       : tr("write: --jobs goes with --all"));
    }
    const QString path = p.positionalArguments().at(0);
    Source source;
    if (int code = loadSource(path, source))
        return code;

    // The plan is checked before any unit is touched, as the window's Write does.
    const std::vector<RuleFailure> failures = planFailures(true);
    if (!failures.empty())
        return fail(ExitFailed, path + QStringLiteral(": ") + planrules::message(failures.front().rule),
                    failureLines(failures.front()) << tr("Nothing was written."));
    const QStringList outOfLimits = limitLines();
    if (!outOfLimits.isEmpty())
        return fail(ExitFailed, tr("%1: values the window's editors would not take").arg(path),
                    outOfLimits + QStringList{tr("Nothing was written.")});

    // Every unit gets these bytes: "Enable" set and the checksum sealed, as
    // writing does; the read-back must give them again.
    WriteJob job;
    job.source = path;
    job.map = store_.loadedMap();
    if (!store_.setBool(1, "Enable", 0) || !store_.sealChecksum(0))
        return fail(ExitUsage, tr("%1: the field \"Enable\" cannot be set").arg(path));
    job.image = heldSlot();
    job.backup = !p.isSet(QStringLiteral("no-backup"));
    const QString model = QString::fromLatin1(job.map->modelNameText());

    std::vector<std::size_t> targets;
    if (all) {
        if (int code = findUnitsQuietly(); code && store_.unreadableDevices().empty())
            return findUnits();
        for (std::size_t i = 0; i < store_.units().size(); ++i)
            targets.push_back(i);
    } else {
        std::size_t index = 0;
        if (int code = selectUnit(p.value(QStringLiteral("unit")), index))
            return code;
        targets.push_back(index);
    }

    std::vector<std::optional<UnitResult>> results(targets.size());
    printed_ = 0;
    {
        const StopSignals stop;
        writeUnits(targets, job, all, std::min<int>(jobs, int(targets.size())), results);
    }
    int written = 0, failed = 0, skipped = 0, notStarted = 0;
    // Every unit is accounted for: one that may be of this model but could not be read is not written.
    for (std::uint32_t d : all ? store_.unreadableDevices() : std::vector<std::uint32_t>{}) {
        const FT_DEVICE_LIST_INFO_NODE *node = store_.link().deviceInfo(d);
        if (node->Description[0] && QByteArray(node->Description) != job.map->modelNameText())
            continue;
        ++failed;
        out_ << unreadableName(d) << ": " << tr("FAILED: present, but could not be read when listing; not written")
             << '\n';
    }
    for (const auto &r : results) {
        if (!r)
            ++notStarted;
        else
            ++(r->outcome == Outcome::Written ? written : r->outcome == Outcome::Skipped ? skipped : failed);
    }
    if (written + failed + notStarted == 0)
        out_ << tr("summary: %1 written, %2 failed, %3 skipped").arg(written).arg(failed).arg(skipped) << '\n';
    if (written + failed + notStarted == 0)
        return fail(ExitDevice, tr("no %1 unit found; nothing was written").arg(model));
    if (stopSignal) {
        out_ << tr("summary: %1 written, %2 failed, %3 skipped, %4 not started (stopped by a signal)")
                    .arg(written).arg(failed).arg(skipped).arg(notStarted)
             << '\n';
        return 128 + stopSignal;
    }
    out_ << tr("summary: %1 written, %2 failed, %3 skipped").arg(written).arg(failed).arg(skipped) << '\n';
    return failed == 0 ? ExitDone : ExitFailed;
}

} // namespace cli
