#include "cli/present.h"

#include "cli/command.h"
#include "config/codenames.h"
#include "config/configstore.h"
#include "config/lotable.h"

#include <QtCore/QRegularExpression>

namespace cli::present {

namespace {

using namespace planview;

// What a value stands for, and so how it is shown.
enum class Kind { Presence, Plain, Supply, InputMode, Bank, Lo, OutputMode, ChannelMode, Index, MHz, Level };

constexpr std::array<Kind, RowFieldCount> RowKinds{Kind::ChannelMode, Kind::Index, Kind::MHz,   Kind::Index, Kind::MHz,
                                                   Kind::MHz,         Kind::Level, Kind::Index, Kind::Plain};
// Keys for scripts, in RowField order.
constexpr std::array<const char *, RowFieldCount> RowKeys{"mode",         "input",     "ifInMHz",  "output", "ifOutMHz",
                                                          "bandwidthMHz", "levelDbuv", "userBand", "pin"};
// Per port field of planview::InputFields / OutputFields.
constexpr std::array<Kind, 4> InputKinds{Kind::Presence, Kind::InputMode, Kind::Bank, Kind::Lo};
constexpr std::array<Kind, 4> OutputKinds{Kind::Presence, Kind::OutputMode, Kind::Lo, Kind::Lo};

struct Scalar {
    const char *name;
    Kind kind;
};
constexpr std::array<Scalar, 11> Scalars{{
    {"LNBPowerMode", Kind::Supply},      {"LNBPowerModeMin", Kind::Supply},  {"LNBPowerModeMax", Kind::Supply},
    {"InputFrequencyMin", Kind::MHz},    {"InputFrequencyMax", Kind::MHz},   {"OutputFrequencyMin", Kind::MHz},
    {"OutputFrequencyMax", Kind::MHz},   {"BandwidthMin", Kind::MHz},        {"BandwidthMax", Kind::MHz},
    {"OutputLevelMin", Kind::Level},     {"OutputLevelMax", Kind::Level},
}};

template <typename Table>
QString nameText(const Table &table, std::uint8_t code)
{
    const char *name = codenames::nameOf(table, code);
    return name ? QString::fromLatin1(name) : Cli::tr("(code %1)").arg(code);
}

template <typename Table>
QJsonObject nameJson(const Table &table, std::uint8_t code)
{
    const char *name = codenames::nameOf(table, code);
    return {{"code", code}, {"name", name ? QJsonValue(QString::fromLatin1(name)) : QJsonValue()}};
}

QString bankText(std::uint8_t bank)
{
    using namespace codenames;
    return QStringLiteral("%1, %2, %3")
        .arg(nameText(Bands, bank & BandBits), nameText(Polarizations, bank & PolarizationBits),
             nameText(Satellites, bank & SatelliteBits));
}

QString text(Kind kind, std::uint32_t stored, std::int32_t offset)
{
    const auto code = std::uint8_t(stored); // the panels take the low 8 bits
    switch (kind) {
    case Kind::Presence:
    case Kind::Plain: break;
    case Kind::Supply: return nameText(codenames::SupplyModes, code);
    case Kind::InputMode: return nameText(codenames::InputModes, code);
    case Kind::Bank: return bankText(code);
    case Kind::Lo: return nameText(LoCodes, code);
    case Kind::OutputMode: return nameText(codenames::OutputModes, code);
    case Kind::ChannelMode: return nameText(codenames::ChannelModes, code);
    case Kind::Index: return QString::number(shownIndex(code));
    case Kind::MHz: return Cli::tr("%1 MHz").arg(shownMHz(stored));
    case Kind::Level: return Cli::tr("%1 dBuV").arg(std::int32_t(shownLevel(stored, offset)));
    }
    return QString::number(stored);
}

QJsonValue json(Kind kind, std::uint32_t stored, std::int32_t offset)
{
    const auto code = std::uint8_t(stored);
    switch (kind) {
    case Kind::ChannelMode: return nameJson(codenames::ChannelModes, code);
    case Kind::Index: return double(shownIndex(code));
    case Kind::MHz: return double(shownMHz(stored));
    case Kind::Level: return std::int32_t(shownLevel(stored, offset));
    default: break;
    }
    return double(code);
}

} // namespace

QString columnTitle(RowField field)
{
    static const std::array<const char *, RowFieldCount> titles{
        QT_TRANSLATE_NOOP("Cli", "Mode"),      QT_TRANSLATE_NOOP("Cli", "Input"),  QT_TRANSLATE_NOOP("Cli", "IF IN"),
        QT_TRANSLATE_NOOP("Cli", "Output"),    QT_TRANSLATE_NOOP("Cli", "IF OUT"), QT_TRANSLATE_NOOP("Cli", "Bandwidth"),
        QT_TRANSLATE_NOOP("Cli", "Level"),     QT_TRANSLATE_NOOP("Cli", "UserBand"), QT_TRANSLATE_NOOP("Cli", "PIN")};
    return Cli::tr(titles[std::size_t(field)]);
}

QString rowText(RowField field, std::uint32_t stored, std::int32_t offset)
{
    return text(RowKinds[std::size_t(field)], stored, offset);
}

QJsonObject rowJson(const Row &row, std::size_t index, std::int32_t offset)
{
    QJsonObject o{{"row", double(shownIndex(std::uint32_t(index)))}};
    for (int f = 0; f < row.present; ++f)
        o.insert(RowKeys[std::size_t(f)], json(RowKinds[std::size_t(f)], row.value[std::size_t(f)], offset));
    return o;
}

QString inputText(const Port &p)
{
    using namespace codenames;
    return Cli::tr("mode %1, band %2, polarization %3, satellite %4, LO %5")
        .arg(nameText(InputModes, p.mode), nameText(Bands, p.a & BandBits), nameText(Polarizations, p.a & PolarizationBits),
             nameText(Satellites, p.a & SatelliteBits), nameText(LoCodes, p.b));
}

QString outputText(const Port &p)
{
    return Cli::tr("mode %1, LO low %2, LO high %3")
        .arg(nameText(codenames::OutputModes, p.mode), nameText(LoCodes, p.a), nameText(LoCodes, p.b));
}

QJsonObject inputJson(const Port &p, std::size_t index)
{
    using namespace codenames;
    return {{"port", double(shownIndex(std::uint32_t(index)))},
            {"mode", nameJson(InputModes, p.mode)},
            {"band", nameJson(Bands, p.a & BandBits)},
            {"polarization", nameJson(Polarizations, p.a & PolarizationBits)},
            {"satellite", nameJson(Satellites, p.a & SatelliteBits)},
            {"lo", nameJson(LoCodes, p.b)}};
}

QJsonObject outputJson(const Port &p, std::size_t index)
{
    return {{"port", double(shownIndex(std::uint32_t(index)))},
            {"mode", nameJson(codenames::OutputModes, p.mode)},
            {"loLow", nameJson(LoCodes, p.a)},
            {"loHigh", nameJson(LoCodes, p.b)}};
}

QJsonObject unitJson(const UnitFacts &f)
{
    return {{"index", double(f.index)},
            {"model", QString::fromLatin1(f.model)},
            {"serial", QString::fromLatin1(f.serial)},
            {"hwVersion", versionText(f.hwVersion)},
            {"swVersion", versionText(f.swVersion)}};
}

QString supplyText(std::uint32_t stored) { return text(Kind::Supply, stored, 0); }
QJsonObject supplyJson(std::uint32_t stored) { return nameJson(codenames::SupplyModes, std::uint8_t(stored)); }

QString shownField(const QString &name, std::uint32_t stored, std::int32_t offset)
{
    for (const Scalar &s : Scalars)
        if (name == QLatin1String(s.name))
            return text(s.kind, stored, offset);

    static const QRegularExpression grouped(QStringLiteral("^(Input|Output|CSS)\\[\\d+\\]\\.(\\w+)$"));
    const QRegularExpressionMatch m = grouped.match(name);
    if (!m.hasMatch())
        return {};
    const QString group = m.captured(1);
    const QString field = m.captured(2);
    const auto find = [&field](const auto &names, const auto &kinds) -> std::optional<Kind> {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (field == QLatin1String(names[i]))
                return kinds[i];
        return std::nullopt;
    };
    std::optional<Kind> kind;
    if (group == QLatin1String("CSS"))
        kind = find(RowFieldNames, RowKinds);
    else if (group == QLatin1String("Input"))
        kind = find(InputFields, InputKinds);
    else
        kind = find(OutputFields, OutputKinds);
    // The presence bytes (ADC, DAC) decide whether a port is shown, not what.
    if (!kind || *kind == Kind::Presence)
        return {};
    return text(*kind, stored, offset);
}

QStringList faultNames(unsigned faults)
{
    QStringList names;
    if (faults & ConfigStore::FaultMagic)
        names << QStringLiteral("Magic");
    if (faults & ConfigStore::FaultVersion)
        names << QStringLiteral("Version");
    if (faults & ConfigStore::FaultChecksum)
        names << QStringLiteral("checksum");
    return names;
}

} // namespace cli::present
