#pragma once

// Stored values as the panels present them: names for codes, MHz, 1-based
// ports and user bands, levels with the image's offset added.

#include "plan/planview.h"
#include "config/unitfacts.h"

#include <QtCore/QJsonObject>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <cstdint>

namespace cli::present {

// "Mode", "IF OUT" ...: the table's column of a row field.
QString columnTitle(planview::RowField field);
// A channel row's value as its cell shows it ("SCR", "1210 MHz", "80 dBuV").
QString rowText(planview::RowField field, std::uint32_t stored, std::int32_t offset);
// The same for scripts: the row's fields present, under fixed keys.
QJsonObject rowJson(const planview::Row &row, std::size_t index, std::int32_t offset);

// An input's or output's settings by name, and for scripts.
QString inputText(const planview::Port &port);
QString outputText(const planview::Port &port);
QJsonObject inputJson(const planview::Port &port, std::size_t index);
QJsonObject outputJson(const planview::Port &port, std::size_t index);
QString supplyText(std::uint32_t stored);
QJsonObject supplyJson(std::uint32_t stored);

// A unit's facts as the selector gives them, for scripts.
QJsonObject unitJson(const UnitFacts &facts);

// How a panel shows the stored value of any image field, by the field's
// name; a null string for the fields no panel shows.
QString shownField(const QString &name, std::uint32_t stored, std::int32_t offset);

// The image rules an image fails ("Magic", "Version", "checksum"), from
// ConfigStore's fault bits.
QStringList faultNames(unsigned faults);

} // namespace cli::present
