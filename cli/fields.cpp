#include "cli/fields.h"

#include "cli/command.h"
#include "config/fieldmap.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace cli {

namespace {

enum class Form { Bool, Unsigned, Signed, Hex };

Form formOf(const FieldRecord &r)
{
    if (r.type == uint32_t(FieldType::BOOL) && r.size >= 1 && r.size <= 4)
        return Form::Bool;
    const bool integer = r.type == uint32_t(FieldType::UINT) || r.type == uint32_t(FieldType::INT);
    if (!integer || r.size == 0 || r.size > 4)
        return Form::Hex;
    return r.type == uint32_t(FieldType::INT) ? Form::Signed : Form::Unsigned;
}

// A field's bytes as one number, most significant first, as stored; typed
// access reads a BOOL as 0 or 1 whatever its bytes hold.
std::uint32_t rawValue(const FieldRecord &r, const std::uint8_t *image)
{
    std::uint32_t v = 0;
    for (std::uint32_t i = 0; i < r.size; ++i)
        v = (v << 8) | image[r.address + i];
    return v;
}

void storeRaw(const FieldRecord &r, std::uint8_t *image, std::uint32_t v)
{
    for (std::uint32_t i = r.size; i-- > 0; v >>= 8)
        image[r.address + i] = std::uint8_t(v);
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
        // Only 0 and 1 come back from false and true: any other value as its number.
        if (rawValue(record, image) > 1)
            return double(rawValue(record, image));
        return rawValue(record, image) != 0;
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

QString fieldRange(const FieldRecord &record)
{
    const Form form = formOf(record);
    if (form == Form::Hex)
        return {};
    if (form == Form::Signed && record.size == 4)
        return QStringLiteral("-2147483648..2147483647");
    return QStringLiteral("0..%1").arg(QString::number(std::ldexp(1.0, int(8 * record.size)) - 1, 'f', 0));
}

bool storeFieldJson(const FieldRecord &record, const QJsonValue &value, std::uint8_t *image, QString &why)
{
    const Form form = formOf(record);
    if (form == Form::Bool && value.isBool()) {
        record.storeIn(image, value.toBool() ? 1 : 0);
        return true;
    }
    if (form == Form::Bool && !value.isDouble()) {
        why = Cli::tr("expected true, false or a number");
        return false;
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
    // The range export writes, so that every value reads back as given:
    // typed access reads an INT narrower than four bytes without sign
    // extension (0xF6 is 246, never -10).
    const bool signedReading = form == Form::Signed && record.size == 4;
    const double top = std::ldexp(1.0, int(8 * record.size) - (signedReading ? 1 : 0)) - 1;
    const double bottom = signedReading ? -std::ldexp(1.0, 31) : 0;
    if (v < bottom || v > top) {
        why = Cli::tr("%1 is out of range for a %2-byte field (%3 to %4)")
                  .arg(QString::number(v, 'f', 0))
                  .arg(record.size)
                  .arg(QString::number(bottom, 'f', 0), QString::number(top, 'f', 0));
        return false;
    }
    if (form == Form::Bool)
        storeRaw(record, image, uint32_t(std::int64_t(v)));
    else
        record.storeIn(image, uint32_t(std::int64_t(v)));
    return true;
}

} // namespace cli

namespace cli {

QStringList repeatedJsonKeys(const QByteArray &json)
{
    // One entry per open object or array; an array holds no keys.
    struct Level {
        bool object;
        QStringList keys;
    };
    std::vector<Level> open;
    QStringList repeated;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '{' || c == '[') {
            open.push_back({c == '{', {}});
        } else if ((c == '}' || c == ']') && !open.empty()) {
            open.pop_back();
        } else if (c == '"') {
            const int start = i;
            for (++i; i < json.size() && json[i] != '"'; ++i)
                if (json[i] == '\\')
                    ++i;
            int next = i + 1;
            while (next < json.size() && std::isspace(uchar(json[next])))
                ++next;
            if (open.empty() || !open.back().object || next >= json.size() || json[next] != ':')
                continue;
            // Decoded, so that "\u0041" and "A" are one key.
            const QString key = QJsonDocument::fromJson("[" + json.mid(start, i - start + 1) + "]").array().at(0).toString();
            if (open.back().keys.contains(key))
                repeated << Cli::tr("\"%1\" at byte %2").arg(key).arg(start);
            else
                open.back().keys << key;
        }
    }
    return repeated;
}

} // namespace cli
