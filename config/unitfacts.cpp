#include "config/unitfacts.h"

#include "config/configstore.h"

#include <QtCore/QCoreApplication>

namespace {

template <std::size_t N>
QByteArray text(const char (&field)[N])
{
    return QByteArray(field, int(qstrnlen(field, N)));
}

} // namespace

UnitFacts unitFacts(const ConfigStore &store, std::size_t index)
{
    const UnitEntry &unit = store.units().at(index);
    const FT_DEVICE_LIST_INFO_NODE *info = store.unitDeviceInfo(unit);
    UnitFacts facts;
    facts.index = index;
    if (info) {
        facts.model = text(info->Description);
        facts.serial = text(info->SerialNumber);
    }
    facts.hwVersion = unit.map->hwVersion;
    facts.swVersion = unit.map->swVersion;
    return facts;
}

QString versionText(std::uint8_t version)
{
    return QStringLiteral("%1.%2").arg(version >> 4).arg(version & 0x0F);
}

QString selectorLine(const UnitFacts &f)
{
    return QCoreApplication::translate("MainWindow", "%1: %2, Serial Number=%3, HW Version=%4.%5, SW Version=%6.%7")
        // One substitution: a "%1" inside the unit's strings stays as it is.
        .arg(QString::number(f.index), QString::fromLatin1(f.model), QString::fromLatin1(f.serial),
             QString::number(f.hwVersion >> 4), QString::number(f.hwVersion & 0x0F),
             QString::number(f.swVersion >> 4), QString::number(f.swVersion & 0x0F));
}
