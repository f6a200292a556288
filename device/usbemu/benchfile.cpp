// Bench files of the libusb door: which units are plugged in, what they hold.

#include "device/usbemu/usbemu.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QRegularExpression>
#include <QtCore/QSettings>

#include <algorithm>
#include <map>

namespace usbemu {
namespace {

const std::map<QString, simbench::ChipKind> &chipNames()
{
    static const std::map<QString, simbench::ChipKind> names = {
        {"IS25WD020", simbench::ChipKind::IS25WD020}, {"IS25WD040", simbench::ChipKind::IS25WD040},
        {"IS25WQ020", simbench::ChipKind::IS25WQ020}, {"IS25WQ040", simbench::ChipKind::IS25WQ040}};
    return names;
}

const std::map<QString, FaultKind> &faultNames()
{
    static const std::map<QString, FaultKind> names = {
        {"stall", FaultKind::Stall}, {"timeout", FaultKind::BulkTimeout}, {"short", FaultKind::ShortOut},
        {"split", FaultKind::SplitIn}, {"gone", FaultKind::Gone}, {"cut", FaultKind::Cut},
        {"cutpipe", FaultKind::CutPipe}, {"mute", FaultKind::Mute}};
    return names;
}

// "kind[:arg][@nth]", e.g. "gone@40", "stall:11", "short:100@2", "split:13".
bool parseFault(const QString &text, Fault &fault)
{
    static const QRegularExpression pattern("^(\\w+)(?::(\\d+))?(?:@(\\d+))?$");
    const auto match = pattern.match(text);
    const auto kind = match.hasMatch() ? faultNames().find(match.captured(1)) : faultNames().end();
    if (kind == faultNames().end())
        return false;
    fault = Fault{};
    fault.kind = kind->second;
    if (!match.captured(2).isEmpty()) {
        const int arg = match.captured(2).toInt();
        (fault.kind == FaultKind::Stall ? fault.request : fault.count) = arg;
    }
    if (!match.captured(3).isEmpty())
        fault.nth = std::max(1, match.captured(3).toInt());
    return true;
}

QString faultText(const Fault &fault)
{
    QString text;
    for (const auto &[name, kind] : faultNames()) {
        if (kind == fault.kind)
            text = name;
    }
    const int arg = fault.kind == FaultKind::Stall ? fault.request : fault.count;
    if (arg >= 0 && fault.kind != FaultKind::Gone && fault.kind != FaultKind::BulkTimeout
        && fault.kind != FaultKind::Mute)
        text += ':' + QString::number(arg);
    return text + '@' + QString::number(fault.nth);
}

template <size_t N>
bool parseBytes(const QString &text, std::array<uint8_t, N> &out)
{
    const QStringList parts = text.split(',', Qt::SkipEmptyParts);
    if (parts.size() != int(N))
        return false;
    for (size_t i = 0; i < N; ++i) {
        bool ok = false;
        const uint value = parts[int(i)].trimmed().toUInt(&ok, 0);
        if (!ok || value > 0xFF)
            return false;
        out[i] = uint8_t(value);
    }
    return true;
}

template <size_t N>
QString bytesText(const std::array<uint8_t, N> &bytes)
{
    QStringList parts;
    for (uint8_t b : bytes)
        parts << QString::number(b);
    return parts.join(',');
}

} // namespace

bool readBench(const QString &path, std::vector<BenchUnit> &units, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!QFileInfo(path).isReadable())
        return fail(QStringLiteral("cannot read bench file %1").arg(path));
    QSettings ini(path, QSettings::IniFormat);
    const QDir folder = QFileInfo(path).absoluteDir();
    QStringList groups = ini.childGroups();
    // unit2 before unit10.
    std::sort(groups.begin(), groups.end(), [](const QString &a, const QString &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    units.clear();
    for (const QString &group : groups) {
        ini.beginGroup(group);
        BenchUnit unit;
        simbench::UnitConfig &c = unit.config;
        c.description = ini.value("description", QString::fromStdString(c.description)).toString().toStdString();
        c.serial = ini.value("serial", QString::fromStdString(c.serial)).toString().toStdString();
        c.type = ini.value("type", "x").toString() == "x" ? FT_DEVICE_X_SERIES : FT_DEVICE_232R;
        const QString ftdi = ini.value("ftdi", "FT231X").toString();
        c.dataPins = ftdi == "FT230X" ? 4 : 8;
        c.stringsReadable = ini.value("strings", true).toBool();
        c.eepromReadable = ini.value("eeprom", true).toBool();
        c.status = uint8_t(ini.value("status", c.status).toUInt());
        const QString chip = ini.value("chip", "IS25WD040").toString();
        const auto kind = chipNames().find(chip);
        std::array<uint8_t, 4> pins{c.csPin, c.clockPin, c.mosiPin, c.misoPin};
        bool ok = kind != chipNames().end() && (ftdi == "FT230X" || ftdi == "FT231X");
        ok = ok && parseBytes(ini.value("cbus", bytesText(c.cbusFunctions)).toString(), c.cbusFunctions);
        ok = ok && parseBytes(ini.value("pins", bytesText(pins)).toString(), pins);
        std::array<uint8_t, 1> lines{c.flashLines};
        ok = ok && parseBytes(ini.value("flashlines", c.flashLines).toString(), lines);
        for (const QString &text : ini.value("faults").toString().split(' ', Qt::SkipEmptyParts)) {
            Fault fault;
            ok = ok && parseFault(text, fault);
            unit.faults.push_back(fault);
        }
        const QString flash = ini.value("flash").toString();
        ini.endGroup();
        if (!ok)
            return fail(QStringLiteral("%1: bad entry in [%2]").arg(path, group));
        c.chip = kind->second;
        c.flashLines = lines[0];
        c.csPin = pins[0];
        c.clockPin = pins[1];
        c.mosiPin = pins[2];
        c.misoPin = pins[3];
        unit.flashFile = flash.isEmpty() ? QString() : folder.absoluteFilePath(flash);
        units.push_back(std::move(unit));
    }
    return true;
}

bool writeBench(const QString &path, const std::vector<BenchUnit> &units)
{
    QFile::remove(path);
    QSettings ini(path, QSettings::IniFormat);
    const QDir folder = QFileInfo(path).absoluteDir();
    int n = 0;
    for (const BenchUnit &unit : units) {
        const simbench::UnitConfig &c = unit.config;
        ini.beginGroup(QStringLiteral("unit%1").arg(++n));
        ini.setValue("description", QString::fromStdString(c.description));
        ini.setValue("serial", QString::fromStdString(c.serial));
        ini.setValue("type", c.type == FT_DEVICE_X_SERIES ? "x" : "232r");
        ini.setValue("ftdi", c.dataPins == 4 ? "FT230X" : "FT231X");
        for (const auto &[name, kind] : chipNames()) {
            if (kind == c.chip)
                ini.setValue("chip", name);
        }
        ini.setValue("status", c.status);
        ini.setValue("flashlines", c.flashLines);
        ini.setValue("pins", bytesText(std::array<uint8_t, 4>{c.csPin, c.clockPin, c.mosiPin, c.misoPin}));
        ini.setValue("cbus", bytesText(c.cbusFunctions));
        ini.setValue("strings", c.stringsReadable);
        ini.setValue("eeprom", c.eepromReadable);
        QStringList faults;
        for (const Fault &fault : unit.faults)
            faults << faultText(fault);
        ini.setValue("faults", faults.join(' '));
        if (!unit.flashFile.isEmpty())
            ini.setValue("flash", folder.relativeFilePath(unit.flashFile));
        ini.endGroup();
    }
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool loadBench(const QString &path, QString *error)
{
    std::vector<BenchUnit> units;
    if (!readBench(path, units, error))
        return false;
    clear();
    for (const BenchUnit &unit : units)
        setFaults(addUnit(unit.config, {}, unit.flashFile), unit.faults);
    return true;
}

} // namespace usbemu
