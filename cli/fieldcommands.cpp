// Every field by name, for review and version control: export and import.
#include "cli/command.h"
#include "cli/present.h"

#include "cli/fields.h"
#include "config/configstore.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QSet>
#include <QtCore/QTextStream>

namespace cli {

namespace {

// QJsonDocument writes only arrays and objects: one string is taken out of an array.
QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

} // namespace

int Cli::exportFields(const QCommandLineParser &p)
{
    Source source;
    if (int code = loadSource(p.positionalArguments().at(0), source))
        return code;
    const auto *image = reinterpret_cast<const std::uint8_t *>(source.bytes.constData());

    // One field a line, in map order, so that two exports diff line by line
    // (a JSON object would sort its keys).
    QByteArray json = "{\n    \"model\": " + jsonString(QString::fromLatin1(source.map->modelNameText()))
                      + ",\n    \"fields\": [\n";
    const std::vector<const FieldRecord *> fields = fieldsOf(*source.map);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldRecord &r = *fields[i];
        QJsonObject field{{"name", fieldKey(r)}, {"type", fieldTypeName(r.type)}, {"value", fieldJson(r, image)}};
        // The values a number takes and reads back as given.
        if (r.type == std::uint32_t(FieldType::INT) && !fieldRange(r).isEmpty())
            field.insert("range", fieldRange(r));
        json += "        " + QJsonDocument(field).toJson(QJsonDocument::Compact) + (i + 1 < fields.size() ? ",\n" : "\n");
        if (r.type == std::uint32_t(FieldType::BOOL) && !fieldJson(r, image).isBool())
            progress(tr("warning: the BOOL %1 holds %2, neither 0 nor 1: exported as that number")
                         .arg(fieldKey(r))
                         .arg(fieldJson(r, image).toDouble()));
    }
    json += "    ]\n}\n";

    const QString output = p.value(QStringLiteral("output"));
    if (int code = writeOutput(output.isEmpty() ? QStringLiteral("-") : output, json))
        return code;
    if (!output.isEmpty() && output != QLatin1String("-"))
        progress(tr("%1: %2 fields of %3 written to %4")
                     .arg(source.spec)
                     .arg(fields.size())
                     .arg(QString::fromLatin1(source.map->modelNameText()), output));
    return ExitDone;
}

int Cli::importFields(const QCommandLineParser &p)
{
    const QString input = p.positionalArguments().at(0);
    const QString output = p.value(QStringLiteral("output"));
    if (output.isEmpty())
        return fail(ExitUsage, tr("import: the file to write is missing (-o FILE.scd)"));
    inputs_ << input;
    QFile file(input);
    if (!file.open(QIODevice::ReadOnly))
        return fail(ExitUsage, tr("cannot read %1: %2").arg(input, file.errorString()));
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(ExitUsage, tr("cannot read %1: %2").arg(input, file.errorString()));
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parseError);
    const QString refused = tr("%1: refused, nothing written:").arg(input);
    if (parseError.error != QJsonParseError::NoError)
        return fail(ExitUsage, refused,
                    {tr("malformed JSON at byte %1: %2").arg(parseError.offset).arg(parseError.errorString())});
    // A parser keeps the last of two equal keys; which one was meant is unknown.
    const QStringList repeatedKeys = repeatedJsonKeys(text);
    if (!repeatedKeys.isEmpty()) {
        QStringList problems;
        for (const QString &key : repeatedKeys)
            problems << tr("key %1 is given twice in one object").arg(key);
        return fail(ExitUsage, refused, problems);
    }

    const QJsonObject root = doc.object();
    const QJsonValue modelValue = root.value(QStringLiteral("model"));
    const QJsonValue fieldsValue = root.value(QStringLiteral("fields"));
    QStringList problems;
    if (!doc.isObject())
        problems << tr("not an export: the top level is not an object");
    if (!modelValue.isString())
        problems << tr("\"model\" is missing or not a text");
    if (!fieldsValue.isArray())
        problems << tr("\"fields\" is missing or not a list");
    const FieldMap *map = nullptr;
    for (const auto &candidate : store_.maps())
        if (modelValue.isString() && QString::fromLatin1(candidate->modelNameText()) == modelValue.toString()) {
            map = candidate.get();
            break;
        }
    if (!map && modelValue.isString())
        problems << tr("unknown model \"%1\"").arg(modelValue.toString());
    if (!map || !fieldsValue.isArray())
        return fail(ExitUsage, refused, problems);

    const QString modelName = modelValue.toString();
    const auto known = fieldsByKey(*map);
    QByteArray image(int(map->imageSize), '\0');
    auto *bytes = reinterpret_cast<std::uint8_t *>(image.data());
    QSet<QString> given;
    const QJsonArray fields = fieldsValue.toArray();
    for (int i = 0; i < fields.size(); ++i) {
        const QJsonObject entry = fields[i].toObject();
        const QString name = entry.value(QStringLiteral("name")).toString();
        const QString where = QStringLiteral("fields[%1]").arg(i);
        if (name.isEmpty()) {
            problems << tr("%1: no name").arg(where);
            continue;
        }
        const FieldRecord *r = known.value(name);
        if (!r) {
            QString owner;
            for (const auto &other : store_.maps())
                if (other.get() != map && owner.isEmpty() && fieldsByKey(*other).contains(name))
                    owner = QString::fromLatin1(other->modelNameText());
            problems << (owner.isEmpty() ? tr("%1: \"%2\" is not a field of %3").arg(where, name, modelName)
                                         : tr("%1: \"%2\" is a field of %3, not of %4").arg(where, name, owner, modelName));
            continue;
        }
        if (given.contains(name)) {
            problems << tr("%1: \"%2\" is given twice").arg(where, name);
            continue;
        }
        given.insert(name);
        const QString type = QString::fromLatin1(fieldTypeName(r->type));
        if (entry.contains(QStringLiteral("type")) && entry.value(QStringLiteral("type")).toString() != type) {
            problems << tr("%1: \"%2\" is %3, not %4").arg(where, name, type, entry.value(QStringLiteral("type")).toVariant().toString());
            continue;
        }
        QString why;
        if (!entry.contains(QStringLiteral("value")))
            problems << tr("%1: \"%2\" has no value").arg(where, name);
        else if (!storeFieldJson(*r, entry.value(QStringLiteral("value")), bytes, why))
            problems << tr("%1: \"%2\" (%3): %4").arg(where, name, type, why);
    }
    for (const FieldRecord *r : fieldsOf(*map))
        if (!given.contains(fieldKey(*r)) && known.value(fieldKey(*r)) == r)
            problems << tr("\"%1\" is missing").arg(fieldKey(*r));
    if (!problems.isEmpty())
        return fail(ExitUsage, refused, problems);

    hold(*map, image);
    // The checksum is resealed; Magic and Version must already be right.
    store_.sealChecksum(0);
    if (const unsigned faults = store_.imageFaults(0))
        return fail(ExitUsage, refused,
                    {tr("the configuration fails the %1 check").arg(present::faultNames(faults).join(QStringLiteral(", ")))});
    if (int code = writeOutput(output, scdBytes(0)))
        return code;
    progress(tr("%1: %2 configuration written").arg(output, modelName));
    return ExitDone;
}

} // namespace cli
