// Commands that talk to units: list, read, write.
#include "cli/command.h"

#include "cli/present.h"
#include "config/configstore.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QRegularExpression>
#include <QtCore/QStandardPaths>
#include <QtCore/QTextStream>

namespace cli {

namespace {

QString backupFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/ostrel-riz/backups");
}

// <serial>-<UTC time>.scd; milliseconds keep two writes in one second apart.
QString backupPath(const QByteArray &serial)
{
    QString name = QString::fromLatin1(serial);
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    if (name.isEmpty())
        name = QStringLiteral("unit");
    const QString time = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss.zzz'Z'"));
    return backupFolder() + QLatin1Char('/') + name + QLatin1Char('-') + time + QStringLiteral(".scd");
}

} // namespace

int Cli::list(const QCommandLineParser &p)
{
    if (int code = findUnits())
        return code;
    const std::size_t count = store_.units().size();
    if (p.isSet(QStringLiteral("json"))) {
        QJsonArray units;
        for (std::size_t i = 0; i < count; ++i)
            units.append(present::unitJson(unitFacts(store_, i)));
        printJson(QJsonDocument(QJsonObject{{"units", units}}));
        return ExitDone;
    }
    for (std::size_t i = 0; i < count; ++i)
        out_ << selectorLine(unitFacts(store_, i)) << '\n';
    return ExitDone;
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
    if (!store_.saveFile(output.toUtf8(), slot))
        return fail(ExitUsage, tr("%1: cannot write the file").arg(output));
    progress(tr("%1: slot %2 saved to %3").arg(unitName(unitFacts(store_, index))).arg(slot).arg(output));
    return ExitDone;
}

int Cli::write(const QCommandLineParser &p)
{
    const bool all = p.isSet(QStringLiteral("all"));
    if (all == p.isSet(QStringLiteral("unit")))
        return fail(ExitUsage, tr("write: give either --unit U or --all"));
    const QString path = p.positionalArguments().at(0);
    if (int code = loadScd(path))
        return code;

    // The plan is checked before any unit is touched, as the window's Write does.
    const std::vector<RuleFailure> failures = planFailures(true);
    if (!failures.empty())
        return fail(ExitFailed, path + QStringLiteral(": ") + planrules::message(failures.front().rule),
                    failureLines(failures.front()) << tr("Nothing was written."));

    // Every unit gets these bytes: "Enable" set and the checksum sealed, as
    // writing does; the read-back must give them again.
    const FieldMap &map = *store_.loadedMap();
    if (!store_.setBool(1, "Enable", 0) || !store_.sealChecksum(0))
        return fail(ExitUsage, tr("%1: the field \"Enable\" cannot be set").arg(path));
    const QByteArray image = heldSlot();
    const QString model = QString::fromLatin1(map.modelNameText());

    std::vector<std::size_t> targets;
    if (all) {
        if (int code = findUnits())
            return code;
        for (std::size_t i = 0; i < store_.units().size(); ++i)
            targets.push_back(i);
    } else {
        std::size_t index = 0;
        if (int code = selectUnit(p.value(QStringLiteral("unit")), index))
            return code;
        targets.push_back(index);
    }

    const bool backup = !p.isSet(QStringLiteral("no-backup"));
    int written = 0, failed = 0, skipped = 0;
    for (std::size_t n = 0; n < targets.size(); ++n) {
        const std::size_t i = targets[n];
        const UnitEntry &unit = store_.units()[i];
        const UnitFacts facts = unitFacts(store_, i);
        const QString name = unitName(facts);
        const auto result = [&](int &counter, const QString &text) {
            ++counter;
            out_ << name << ": " << text << '\n';
            out_.flush();
        };
        if (unit.map != &map) {
            const QString why = tr("it is an %1, the file is for %2").arg(QString::fromLatin1(facts.model), model);
            if (all)
                result(skipped, tr("skipped: %1").arg(why));
            else
                result(failed, tr("FAILED: %1").arg(why));
            continue;
        }
        const QString step = QStringLiteral("[%1/%2] %3: ").arg(n + 1).arg(targets.size()).arg(name);

        if (backup) {
            progress(step + tr("saving its configuration"));
            const bool opened = store_.openUnit(unit);
            const bool valid = opened && store_.readFromUnit(0);
            store_.closeUnit();
            if (!opened || !store_.loadedMap()) {
                result(failed, tr("FAILED: cannot read its configuration to back it up; not written"));
                continue;
            }
            if (valid) {
                const QString file = backupPath(facts.serial);
                if (!QDir().mkpath(backupFolder()) || !store_.saveFile(file.toUtf8(), 0)) {
                    result(failed, tr("FAILED: cannot save the backup %1; not written").arg(file));
                    continue;
                }
                progress(step + tr("backup %1").arg(file));
            } else {
                progress(step + tr("it holds no valid configuration: nothing to back up"));
            }
        }

        progress(step + tr("writing"));
        hold(map, image);
        using Step = ConfigStore::WriteStep;
        const Step outcome = store_.writeConfiguration(&unit);
        const bool same = outcome == Step::Done && heldSlot() == image;
        store_.closeUnit();
        switch (outcome) {
        case Step::Enable:
        case Step::Connect:
            result(failed, tr("FAILED: cannot connect (is another program using it?)"));
            break;
        case Step::Write:
            result(failed, tr("FAILED: writing its flash"));
            break;
        case Step::ReadBack:
            result(failed, tr("FAILED: the configuration read back is not valid"));
            break;
        case Step::Done:
            if (same)
                result(written, tr("written and verified"));
            else
                result(failed, tr("FAILED: the configuration read back differs from the file"));
            break;
        }
    }

    if (written + failed == 0)
        return fail(ExitDevice, tr("no %1 unit found; nothing was written").arg(model));
    out_ << tr("summary: %1 written, %2 failed, %3 skipped").arg(written).arg(failed).arg(skipped) << '\n';
    return failed == 0 ? ExitDone : ExitFailed;
}

} // namespace cli
