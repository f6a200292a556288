#pragma once

// Every field of a map by name, and its value in the JSON of export/import:
// BOOL true/false, UINT and INT numbers, BYTES (and integers wider than four
// bytes) hex strings.

#include <QtCore/QHash>
#include <QtCore/QJsonValue>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <cstdint>
#include <vector>

struct FieldMap;
struct FieldRecord;

namespace cli {

// The map's records that lie inside its image, in map order.
std::vector<const FieldRecord *> fieldsOf(const FieldMap &map);
// The name as the tool writes it: up to the first NUL, trailing blanks
// dropped ("Checksum" is stored blank-filled).
QString fieldKey(const FieldRecord &record);
// The map's fields by key; the first of a name wins, as in a lookup.
QHash<QString, const FieldRecord *> fieldsByKey(const FieldMap &map);

// BOOL: true or false for 0 and 1, any other byte as its number.
QJsonValue fieldJson(const FieldRecord &record, const std::uint8_t *image);
// The values a number field takes and reads back as given ("0..255"); empty for hex.
QString fieldRange(const FieldRecord &record);
// The keys repeated within one object of a JSON text, as "a.b" paths, each once;
// the text must already parse.
QStringList repeatedJsonKeys(const QByteArray &json);
// Stores a JSON value into the field; false with the reason when the value
// has the wrong type or does not fit.
bool storeFieldJson(const FieldRecord &record, const QJsonValue &value, std::uint8_t *image, QString &why);

} // namespace cli
