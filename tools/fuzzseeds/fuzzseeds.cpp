// Writes the seed corpora into the folder given: the shipped models' realistic
// images, images with odd values in single fields, the refusal cases and maps.
#include "app/demo/demounits.h"
#include "config/configstore.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QtEndian>

#include <cstdio>
#include <functional>

namespace {

QByteArray le32(uint32_t v)
{
    v = qToLittleEndian(v);
    return QByteArray(reinterpret_cast<const char *>(&v), 4);
}

QByteArray pad32(const QByteArray &name) { return name.leftJustified(32, '\0', true); }

struct Edit {
    const char *field;
    uint32_t value;
};

QByteArray sealed(ConfigStore &s, const FieldMap &map, QByteArray image, const std::vector<Edit> &edits)
{
    for (const Edit &e : edits)
        if (!s.setUInt(e.value, e.field, 0, &image, &map) && !s.setInt(int32_t(e.value), e.field, 0, &image, &map))
            std::fprintf(stderr, "no field %s\n", e.field);
    ConfigStore::sealBytes(reinterpret_cast<uint8_t *>(image.data()), uint32_t(image.size()));
    return image;
}

QByteArray fileOf(const FieldMap &map, const QByteArray &image)
{
    return QByteArray(map.modelName.data(), int(map.modelName.size())) + image;
}

void put(const QString &folder, const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(folder);
    QFile f(folder + QLatin1Char('/') + name);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus folder>\n");
        return 2;
    }
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const QString top = QString::fromLocal8Bit(argv[1]);
    ConfigStore s;
    s.loadEmbeddedMaps();
    for (const auto &map : s.maps()) {
        const QString model = QString::fromLatin1(map->modelNameText()).toLower();
        for (const auto &[kind, image] : {std::pair{"factory", demo::factoryImage(*map)}, {"custom", demo::customImage(*map)}})
            for (const char *target : {"scd", "plans"})
                put(top + "/" + target, model + "-" + kind + ".scd", fileOf(*map, image));
        QFile shipped(QLatin1Char(':') + model + QStringLiteral(".map"));
        if (shipped.open(QIODevice::ReadOnly))
            put(top + "/map", model + ".map", shipped.readAll());
    }

    // One odd value (or a few of a kind) per file, on the customised ORBIX-1 image.
    const FieldMap &map = *s.maps().front();
    const QByteArray custom = demo::customImage(map);
    const std::vector<std::pair<const char *, std::vector<Edit>>> odd{
        {"css-mode-200", {{"CSS[0].Mode", 200}}},
        {"lnb-mode-out-of-range", {{"LNBPowerModeMax", 1}, {"LNBPowerMode", 2}}},
        {"lnb-mode-200", {{"LNBPowerMode", 200}}},
        {"lo-255", {{"Input[0].DISEqC_LNB_LO", 255}, {"Output[0].STB_LO_Low", 255}}},
        {"port-modes-200", {{"Input[1].Mode", 200}, {"Output[0].Mode", 200}}},
        {"bank-ff", {{"Input[2].DISEqC_Bank", 0xFF}}},
        {"sub-mhz", {{"CSS[1].InputFrequency", 1000500}, {"CSS[2].OutputFrequency", 1680250}, {"CSS[0].Bandwidth", 36001},
                     {"CSS[1].Bandwidth", 36001}, {"CSS[2].Bandwidth", 36001}, {"CSS[3].Bandwidth", 36001},
                     {"CSS[4].Bandwidth", 36001}, {"CSS[5].Bandwidth", 36001}, {"CSS[6].Bandwidth", 36001},
                     {"CSS[7].Bandwidth", 36001}, {"CSS[8].InputFrequency", 1744999}}},
        {"output-port-9", {{"CSS[3].OutputPort", 8}}},
        {"user-band-255", {{"CSS[4].UserBand", 255}}},
        {"css-channels-0", {{"CSS_Channels", 0}}},
        {"css-channels-255", {{"CSS_Channels", 255}}},
        {"adc-255-middle", {{"Input[3].ADC", 255}}},
        {"dac-255", {{"Output[1].DAC", 255}}},
        {"level-offset-f6", {{"OutputLevelOffset", 0xF6}}},
        {"all-ff", {}},
    };
    for (const auto &[name, edits] : odd) {
        const QByteArray image = edits.empty() ? sealed(s, map, QByteArray(custom.size(), '\xFF'), {{"Magic", 0xABCD}, {"Version", map.version}})
                                               : sealed(s, map, custom, edits);
        put(top + "/plans", QStringLiteral("odd-%1.scd").arg(QLatin1String(name)), fileOf(map, image));
        put(top + "/scd", QStringLiteral("odd-%1.scd").arg(QLatin1String(name)), fileOf(map, image));
    }

    // Refusals: each rule of the loader once.
    QByteArray badSum = custom;
    badSum[100] = char(badSum[100] ^ 1);
    const std::vector<std::pair<const char *, QByteArray>> refused{
        {"bad-sum", fileOf(map, badSum)},
        {"bad-magic", fileOf(map, sealed(s, map, custom, {{"Magic", 0xABCC}}))},
        {"version-2", fileOf(map, sealed(s, map, custom, {{"Version", 2}}))},
        {"short", fileOf(map, custom).left(500)},
        {"name-only", fileOf(map, custom).left(32)},
        {"unknown-model", QByteArray("ORBIX-9").append(25, '\0') + custom},
    };
    for (const auto &[name, bytes] : refused)
        put(top + "/scd", QStringLiteral("refused-%1.scd").arg(QLatin1String(name)), bytes);

    // Maps: a bare header, a record cut short, records reaching past the image.
    QFile shipped(QStringLiteral(":/orbix-1.map"));
    shipped.open(QIODevice::ReadOnly);
    const QByteArray header = shipped.read(57);
    const QByteArray name32 = pad32("Edge");
    put(top + "/map", "header-only.map", header);
    put(top + "/map", "record-cut.map", header + name32 + le32(0));
    put(top + "/map", "records-outside.map", header + name32 + le32(890) + le32(4) + le32(2) + name32 + le32(0xFFFFFFFF) + le32(2) + le32(2));
    return 0;
}
