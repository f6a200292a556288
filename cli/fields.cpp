#include "cli/fields.h"

#include "cli/command.h"
#include "config/fieldmap.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace cli {

namespace {

enum class Form { Bool, Unsigned, Signed, Hex };

Form formOf(const FieldRecord &r)
{
    if (r.type == uint32_t(FieldType::BOOL))
        return Form::Bool;
    const bool integer = r.type == uint32_t(FieldType::UINT) || r.type == uint32_t(FieldType::INT);
    if (!integer || r.size == 0 || r.size > 4)
        return Form::Hex;
    return r.type == uint32_t(FieldType::INT) ? Form::Signed : Form::Unsigned;
}

} // namespace

std::vector<const FieldRecord *> fieldsOf(const FieldMap &map)
{
    std::vector<const FieldRecord *> fields;
    for (const FieldRecord &r : map.records) {
        if (r.name[0] == '\0')
            break;
        if (r.fitsIn(map.imageSize))
            fields.push_back(&r);
    }
    return fields;
}

QString fieldKey(const FieldRecord &record)
{
    QByteArray name = record.nameText();
    while (name.endsWith(' '))
        name.chop(1);
    return QString::fromLatin1(name);
}

QHash<QString, const FieldRecord *> fieldsByKey(const FieldMap &map)
{
    QHash<QString, const FieldRecord *> byKey;
    for (const FieldRecord *r : fieldsOf(map)) {
        const QString key = fieldKey(*r);
        if (!byKey.contains(key))
            byKey.insert(key, r);
    }
    return byKey;
}

QJsonValue fieldJson(const FieldRecord &record, const std::uint8_t *image)
{
    switch (formOf(record)) {
    case Form::Bool:
        return record.valueIn(image) != 0;
    case Form::Unsigned:
        return double(record.valueIn(image));
    case Form::Signed:
        // As typed access reads it: no sign extension below four bytes.
        return double(std::int32_t(record.valueIn(image)));
    case Form::Hex:
        break;
    }
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(image + record.address), int(record.size)).toHex());
}

bool storeFieldJson(const FieldRecord &record, const QJsonValue &value, std::uint8_t *image, QString &why)
{
    const Form form = formOf(record);
    if (form == Form::Bool) {
        if (!value.isBool()) {
            why = Cli::tr("expected true or false");
            return false;
        }
        record.storeIn(image, value.toBool() ? 1 : 0);
        return true;
    }
    if (form == Form::Hex) {
        const QByteArray text = value.toString().toLatin1();
        const bool hex = value.isString() && text.size() == int(2 * record.size)
                         && std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(uchar(c)); });
        if (!hex) {
            why = Cli::tr("expected %1 hexadecimal digits").arg(2 * record.size);
            return false;
        }
        const QByteArray bytes = QByteArray::fromHex(text);
        std::copy(bytes.begin(), bytes.end(), image + record.address);
        return true;
    }
    const double v = value.toDouble();
    if (!value.isDouble() || std::floor(v) != v) {
        why = Cli::tr("expected a whole number");
        return false;
    }
    // Signed fields take both readings of their bytes: -10 and 246 are 0xF6.
    const double top = std::ldexp(1.0, int(8 * record.size)) - 1;
    const double bottom = form == Form::Signed ? -std::ldexp(1.0, int(8 * record.size) - 1) : 0;
    if (v < bottom || v > top) {
        why = Cli::tr("%1 is out of range for a %2-byte field (%3 to %4)")
                  .arg(QString::number(v, 'f', 0))
                  .arg(record.size)
                  .arg(QString::number(bottom, 'f', 0), QString::number(top, 'f', 0));
        return false;
    }
    record.storeIn(image, uint32_t(std::int64_t(v)));
    return true;
}

} // namespace cli
