// doctor: what stands between each FTDI device and a working unit, with one
// line of advice per problem.
#include "cli/command.h"
#include "cli/present.h"

#include "config/configstore.h"
#include "device/ftdiprobe.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTextStream>

namespace cli {

namespace {

// Chip types by the names FTDI sells them under.
QString chipName(quint32 type)
{
    static const char *const names[] = {"FT232BM", "FT232AM", "FT100AX", "unknown", "FT2232C",
                                        "FT232R",  "FT2232H", "FT4232H", "FT232H",  "FT-X"};
    return type < std::size(names) ? QString::fromLatin1(names[type]) : Cli::tr("type %1").arg(type);
}

} // namespace

int Cli::doctor(const QCommandLineParser &p)
{
    if (int code = checkDriver())
        return code;
    const std::vector<ftdiprobe::DeviceReport> reports = ftdiprobe::probeDevices();
    if (reports.empty())
        return fail(ExitDevice, tr("no FTDI device found: is the unit plugged in and powered?"));
    store_.enumerateUnits();
    enumerated_ = true;

    std::vector<DeviceCheck> checks;
    for (const ftdiprobe::DeviceReport &report : reports) {
        DeviceCheck c;
        c.report = report;
        checks.push_back(diagnose(c));
    }

    int problems = 0;
    for (const DeviceCheck &c : checks)
        problems += int(c.advice.size());

    if (p.isSet(QStringLiteral("json"))) {
        QJsonArray devices;
        for (const DeviceCheck &c : checks) {
            QJsonArray slotList;
            for (const SlotCheck &s : c.slotChecks)
                slotList.append(QJsonObject{{"slot", int(s.slot)}, {"read", s.read}, {"valid", s.read && !s.faults},
                                         {"faults", QJsonArray::fromStringList(present::faultNames(s.faults))}});
            devices.append(QJsonObject{{"index", c.report.index},
                                       {"type", int(c.report.type)},
                                       {"chip", chipName(c.report.type)},
                                       {"stringsReadable", c.report.stringsReadable},
                                       {"description", c.report.description},
                                       {"serial", c.report.serial},
                                       {"eepromReadable", c.report.eepromReadable},
                                       {"model", c.model},
                                       {"reason", c.reason},
                                       {"controlLines", c.controlLines},
                                       {"flashChip", c.flashChip},
                                       {"versionByte", c.versionByte},
                                       {"slots", slotList},
                                       {"advice", QJsonArray::fromStringList(c.advice)}});
        }
        printJson(QJsonDocument(QJsonObject{{"devices", devices}, {"problems", problems}}));
        return problems ? ExitFailed : ExitDone;
    }

    for (const DeviceCheck &c : checks) {
        out_ << tr("device %1: %2, \"%3\", serial \"%4\"")
                    .arg(QString::number(c.report.index), chipName(c.report.type), c.report.description,
                         c.report.serial)
             << '\n';
        out_ << "  " << (c.report.stringsReadable ? tr("USB strings: readable") : tr("USB strings: not readable"))
             << '\n';
        out_ << "  " << (c.model.isEmpty() ? tr("not a unit: %1").arg(c.reason) : tr("model: %1").arg(c.model))
             << '\n';
        for (const QJsonValue &line : c.controlLines) {
            const QJsonObject o = line.toObject();
            out_ << "  " << tr("%1 line: CBUS%2, %3").arg(o["line"].toString(), QString::number(o["cbus"].toInt()),
                                                          o["function"].toString())
                 << '\n';
        }
        if (!c.model.isEmpty()) {
            out_ << "  " << tr("flash: %1").arg(c.flashChip.isEmpty() ? tr("not identified") : c.flashChip) << '\n';
            if (c.versionByte >= 0)
                out_ << "  " << tr("version byte: 0x%1").arg(c.versionByte, 2, 16, QLatin1Char('0')) << '\n';
            if (!c.reason.isEmpty())
                out_ << "  " << c.reason << '\n';
        }
        for (const SlotCheck &s : c.slotChecks)
            out_ << "  "
                 << (!s.read ? tr("slot %1: could not be read").arg(s.slot)
                     : s.faults ? tr("slot %1: not valid (%2)").arg(QString::number(s.slot), present::faultNames(s.faults).join(", "))
                                : tr("slot %1: valid").arg(s.slot))
                 << '\n';
        for (const QString &a : c.advice)
            out_ << "  " << tr("advice: %1").arg(a) << '\n';
    }
    out_ << (problems ? tr("%n problem(s) found", nullptr, problems) : tr("no problem found")) << '\n';
    return problems ? ExitFailed : ExitDone;
}

DeviceCheck &Cli::diagnose(DeviceCheck &c)
{
    const ftdiprobe::DeviceReport &r = c.report;
    if (r.type != FT_DEVICE_X_SERIES) {
        c.reason = tr("an %1, not an FT-X chip (FT230X, FT231X)").arg(chipName(r.type));
        return c;
    }
    if (!r.stringsReadable)
        c.advice << tr("no access to the device: install the udev rule 70-ostrel-riz.rules and replug the unit "
                       "(see the README)");
    const FieldMap *map = nullptr;
    for (const auto &m : store_.maps())
        if (QString::fromLatin1(m->modelNameText()) == r.description)
            map = m.get();
    if (!map) {
        QStringList models;
        for (const auto &m : store_.maps())
            models << QString::fromLatin1(m->modelNameText());
        c.reason = tr("its USB description \"%1\" is no known model (%2)").arg(r.description, models.join(", "));
        if (r.stringsReadable)
            c.advice << tr("the chip's product string must be the unit's model name: restore it with ftdi_eeprom "
                           "(see the README)");
        return c;
    }
    c.model = r.description;

    const std::pair<QString, std::uint8_t> lines[] = {
        {tr("access"), map->accessLine}, {tr("flash B"), map->flashLineB}, {tr("flash A"), map->flashLineA}};
    for (const auto &[name, pin] : lines) {
        const bool known = r.eepromReadable && pin < r.cbusFunctions.size();
        const int function = known ? r.cbusFunctions[pin] : -1;
        const bool io = known && ftdiprobe::isIoMode(function);
        c.controlLines.append(QJsonObject{{"line", name}, {"cbus", pin},
                                          {"function", known ? ftdiprobe::cbusFunctionName(function) : tr("unknown")},
                                          {"ioMode", io}});
        if (known && !io)
            c.advice << tr("CBUS%1 (%2 line) is not in I/O mode: set it to I/O mode in the chip's EEPROM with "
                           "ftdi_eeprom (see the README), or the flash never comes on the bus")
                            .arg(QString::number(pin), name);
    }
    if (!r.eepromReadable)
        c.advice << tr("the chip's EEPROM could not be read, so its CBUS pin functions are unknown");

    const UnitEntry entry{map, std::uint32_t(r.index)};
    if (!store_.openUnit(entry)) {
        store_.closeUnit();
        c.advice << tr("the device does not open: close any other program using it");
        return c;
    }
    std::uint8_t version = 0;
    bool identified = false;
    if (store_.link().setControlLine(map->accessLine, 1)) {
        identified = store_.beginFlashAccess(map);
        if (identified) {
            c.flashChip = QString::fromLatin1(store_.flash().chip().name);
            if (store_.readUnitVersion(nullptr, &version))
                c.versionByte = version;
        }
        store_.endFlashAccess(map);
    }
    store_.link().setControlLine(map->accessLine, 0);
    if (!identified) {
        c.advice << tr("the flash did not answer: check the CBUS pins above, then the unit's power");
        store_.closeUnit();
        return c;
    }
    if (c.versionByte >= 0 && c.versionByte != map->swVersion) {
        c.reason = tr("version byte 0x%1, where %2 units have 0x%3")
                       .arg(c.versionByte, 2, 16, QLatin1Char('0'))
                       .arg(c.model)
                       .arg(map->swVersion, 2, 16, QLatin1Char('0'));
        c.advice << tr("the unit's firmware is not the one this configurator knows for %1").arg(c.model);
    }
    for (std::uint32_t slot : {0u, 1u}) {
        SlotCheck s;
        s.slot = slot;
        store_.readFromUnit(slot);
        s.read = store_.lastReadComplete();
        s.faults = s.read ? store_.imageFaults(slot) : 0;
        // A read that failed says nothing about the slot: retry before rewriting anything.
        if (!s.read)
            c.advice << tr("slot %1 could not be read (a USB error): run doctor again; if it persists, check the "
                           "cable and the hub")
                            .arg(slot);
        else if (s.faults)
            c.advice << (slot == 0 ? tr("slot 0 holds no valid configuration: write one (ostrel-riz-cli write "
                                        "FILE.scd --unit %1)").arg(r.serial)
                                   : tr("the factory default (slot 1) is not valid: Read default will fail"));
        c.slotChecks.push_back(s);
    }
    store_.closeUnit();
    return c;
}

} // namespace cli
