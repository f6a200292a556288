// Writes a bench file for the USB emulator and a flash image per unit, with
// the demo units' contents: benchmake [options] <bench file>.
#include "app/demo/demounits.h"
#include "config/configstore.h"
#include "device/usbemu/usbemu.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QSaveFile>
#include <QtCore/QSettings>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Writes a bench of simulated units for tools/usb-emu.sh.");
    parser.addHelpOption();
    const QCommandLineOption count("count", "Number of units (default 2).", "n", "2");
    const QCommandLineOption model("model", "Model of every unit (ORBIX-1, ORBIX-1S); default: alternate.", "name");
    const QCommandLineOption prefix("serial-prefix", "Serial number prefix (default OR).", "text", "OR");
    const QCommandLineOption cbus("cbus", "CBUS0-3 EEPROM functions, e.g. 8,1,8,8 (8 = I/O mode).", "list");
    const QCommandLineOption faults("faults", "USB faults of every unit, e.g. \"gone@400\".", "list");
    const QCommandLineOption other("other-chip", "Add an FT232R chip that is not a unit.");
    const QCommandLineOption ftdi("ftdi", "USB chip of every unit: FT231X (8 data pins, default) or FT230X (4).",
                                  "chip");
    parser.addOptions({count, model, prefix, cbus, faults, other, ftdi});
    parser.addPositionalArgument("bench", "Bench file to write; flash images go beside it.");
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    ConfigStore store;
    store.loadEmbeddedMaps();
    std::vector<const FieldMap *> maps;
    for (const auto &map : store.maps()) {
        if (!parser.isSet(model) || map->modelNameText() == parser.value(model))
            maps.push_back(map.get());
    }
    bool ok = false;
    const int units = parser.value(count).toInt(&ok);
    if (maps.empty() || !ok || units < 0 || units > 64) {
        std::fprintf(stderr, "benchmake: unknown model or bad count\n");
        return 2;
    }

    const QString benchPath = QFileInfo(parser.positionalArguments()[0]).absoluteFilePath();
    const QDir folder = QFileInfo(benchPath).absoluteDir();
    folder.mkpath(".");
    std::vector<usbemu::BenchUnit> bench;
    for (int n = 1; n <= units; ++n) {
        const FieldMap &map = *maps[size_t(n - 1) % maps.size()];
        usbemu::BenchUnit unit;
        unit.config = demo::unitConfig(map, demo::serialNumber(parser.value(prefix).toStdString(), n));
        unit.flashFile = folder.absoluteFilePath(QStringLiteral("unit%1.bin").arg(n));
        const auto flash = demo::flashImage(map);
        QSaveFile file(unit.flashFile);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(reinterpret_cast<const char *>(flash.data()), qint64(flash.size())) != qint64(flash.size())
            || !file.commit()) {
            std::fprintf(stderr, "benchmake: cannot write %s\n", qPrintable(unit.flashFile));
            return 1;
        }
        bench.push_back(std::move(unit));
    }
    // The options are checked on a written bench, by the emulator's own reader.
    if (parser.isSet(other)) {
        usbemu::BenchUnit cable;
        cable.config.description = "FT232R USB UART";
        cable.config.serial = "A10K3XYZ";
        cable.config.type = FT_DEVICE_232R;
        bench.push_back(cable);
    }
    if (!usbemu::writeBench(benchPath, bench)) {
        std::fprintf(stderr, "benchmake: cannot write %s\n", qPrintable(benchPath));
        return 1;
    }
    if (parser.isSet(cbus) || parser.isSet(faults) || parser.isSet(ftdi)) {
        QSettings ini(benchPath, QSettings::IniFormat);
        for (int n = 1; n <= units; ++n) {
            ini.beginGroup(QStringLiteral("unit%1").arg(n));
            if (parser.isSet(cbus))
                ini.setValue("cbus", parser.value(cbus));
            if (parser.isSet(faults))
                ini.setValue("faults", parser.value(faults));
            if (parser.isSet(ftdi))
                ini.setValue("ftdi", parser.value(ftdi));
            ini.endGroup();
        }
    }
    QString error;
    if (!usbemu::readBench(benchPath, bench, &error)) {
        std::fprintf(stderr, "benchmake: %s\n", qPrintable(error));
        return 2;
    }
    std::printf("%s: %d unit(s)%s\n", qPrintable(benchPath), units, parser.isSet(other) ? " and an FT232R" : "");
    return 0;
}
