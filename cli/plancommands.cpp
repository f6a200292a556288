// Commands that look at a configuration: check, show, diff, plot.
#include "cli/command.h"

#include "cli/fields.h"
#include "cli/present.h"
#include "config/configstore.h"
#include "plan/editorlimits.h"
#include "plan/planview.h"
#include "plan/planpicture.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTextStream>
#include <QtCore/QBuffer>
#include <QtCore/QFileInfo>
#include <QtGui/QGuiApplication>

#include <algorithm>

namespace cli {

namespace {

using planrules::Rule;
using planview::RowField;

// The columns a rule looks at, shown beside each row it marks.
std::vector<RowField> ruleColumns(Rule rule)
{
    switch (rule) {
    case Rule::OutputFrequencies:
        return {planview::Mode, planview::OutputPort, planview::OutputFrequency, planview::Bandwidth};
    case Rule::Bandwidths:
        return {planview::Mode, planview::Bandwidth};
    case Rule::UserBands:
        break;
    }
    return {planview::Mode, planview::UserBand};
}

QString model(const Source &s)
{
    return QString::fromLatin1(s.map->modelNameText());
}

} // namespace

std::vector<RuleFailure> Cli::planFailures(bool firstOnly)
{
    const std::vector<planview::Row> rows = planview::readRows(store_);
    const std::vector<channelrules::ChannelRow> ruleRows = planview::ruleRows(rows);
    const std::size_t outputs = planview::readOutputs(store_).size();
    std::vector<RuleFailure> failures;
    for (Rule rule : planrules::WriteOrder) {
        const channelrules::RowFlags flags = planrules::faults(rule, ruleRows, outputs);
        RuleFailure failure{rule, {}};
        for (std::size_t r = 0; r < flags.size(); ++r)
            if (flags[r])
                failure.rows.push_back(r);
        if (failure.rows.empty())
            continue;
        failures.push_back(failure);
        if (firstOnly)
            break;
    }
    return failures;
}

QStringList Cli::failureLines(const RuleFailure &failure)
{
    const std::vector<planview::Row> rows = planview::readRows(store_);
    const std::int32_t offset = planview::levelOffset(store_);
    QStringList lines;
    for (std::size_t r : failure.rows) {
        QStringList cells;
        for (RowField f : ruleColumns(failure.rule))
            if (f < rows[r].present)
                cells << present::columnTitle(f) + QLatin1Char(' ') + present::rowText(f, rows[r].value[f], offset);
        lines << tr("row %1: %2").arg(planview::shownIndex(std::uint32_t(r))).arg(cells.join(QStringLiteral(", ")));
    }
    return lines;
}

QStringList Cli::limitLines()
{
    QStringList lines;
    for (const editorlimits::Fault &f : editorlimits::faults(store_)) {
        QString where = QString::fromLatin1(f.field), unit;
        const QByteArray name = f.field.mid(f.field.indexOf('.') + 1);
        for (int k = 0; f.row >= 0 && k < planview::RowFieldCount; ++k)
            if (name == planview::RowFieldNames[std::size_t(k)]) {
                where = tr("row %1: %2").arg(f.row + 1).arg(present::columnTitle(RowField(k)));
                const bool frequency = k == planview::InputFrequency || k == planview::OutputFrequency
                                       || k == planview::Bandwidth;
                unit = frequency ? QStringLiteral(" MHz") : k == planview::OutputLevel ? QStringLiteral(" dBuV") : QString();
            }
        if (f.code)
            lines << tr("%1: code %2 is none of the editor's choices").arg(where).arg(f.value);
        else
            lines << tr("%1 %2%3 is outside %4 to %5%3").arg(where).arg(f.value).arg(unit).arg(f.minimum).arg(f.maximum);
    }
    return lines;
}

int Cli::check(const QCommandLineParser &p)
{
    Source source;
    if (int code = loadSource(p.positionalArguments().at(0), source))
        return code;
    const std::vector<RuleFailure> failures = planFailures(false);
    const std::vector<editorlimits::Fault> limits = editorlimits::faults(store_);
    const bool passed = failures.empty() && limits.empty();

    if (p.isSet(QStringLiteral("json"))) {
        const std::vector<planview::Row> rows = planview::readRows(store_);
        const std::int32_t offset = planview::levelOffset(store_);
        QJsonArray list;
        for (const RuleFailure &f : failures) {
            QJsonArray marked;
            for (std::size_t r : f.rows)
                marked.append(present::rowJson(rows[r], r, offset));
            list.append(QJsonObject{{"rule", planrules::key(f.rule)},
                                    {"message", planrules::messageSource(f.rule)},
                                    {"rows", marked}});
        }
        QJsonArray outOfLimits;
        for (const editorlimits::Fault &f : limits) {
            QJsonObject o{{"field", QString::fromLatin1(f.field)}, {"value", double(f.value)}};
            if (f.row >= 0)
                o.insert("row", f.row + 1);
            if (f.code) {
                o.insert("code", true);
            } else {
                o.insert("minimum", double(f.minimum));
                o.insert("maximum", double(f.maximum));
            }
            outOfLimits.append(o);
        }
        printJson(QJsonDocument(QJsonObject{{"source", source.spec},
                                            {"model", model(source)},
                                            {"passed", passed},
                                            {"failures", list},
                                            {"outOfLimits", outOfLimits}}));
    } else if (passed) {
        out_ << tr("%1: the channel plan passes the three checks, every value within the editors' limits")
                    .arg(source.spec)
             << '\n';
    } else {
        for (const RuleFailure &f : failures) {
            out_ << source.spec << ": " << planrules::message(f.rule) << '\n';
            for (const QString &line : failureLines(f))
                out_ << "  " << line << '\n';
        }
        if (!limits.empty()) {
            out_ << tr("%1: values the window's editors would not take").arg(source.spec) << '\n';
            for (const QString &line : limitLines())
                out_ << "  " << line << '\n';
        }
    }
    return passed ? ExitDone : ExitFailed;
}

int Cli::show(const QCommandLineParser &p)
{
    Source source;
    if (int code = loadSource(p.positionalArguments().at(0), source))
        return code;
    std::uint32_t supply = 0;
    store_.getUInt(supply, "LNBPowerMode");
    const std::vector<planview::Port> inputs = planview::readInputs(store_);
    const std::vector<planview::Port> outputs = planview::readOutputs(store_);
    const std::vector<planview::Row> rows = planview::readRows(store_);
    const std::int32_t offset = planview::levelOffset(store_);

    if (p.isSet(QStringLiteral("json"))) {
        QJsonObject o{{"source", source.spec}, {"model", model(source)}, {"lnbSupply", present::supplyJson(supply)}};
        if (source.unit)
            o.insert("unit", present::unitJson(*source.unit));
        QJsonArray in, outs, channels;
        for (std::size_t i = 0; i < inputs.size(); ++i)
            in.append(present::inputJson(inputs[i], i));
        for (std::size_t i = 0; i < outputs.size(); ++i)
            outs.append(present::outputJson(outputs[i], i));
        for (std::size_t r = 0; r < rows.size(); ++r)
            channels.append(present::rowJson(rows[r], r, offset));
        o.insert("inputs", in);
        o.insert("outputs", outs);
        o.insert("channels", channels);
        printJson(QJsonDocument(o));
        return ExitDone;
    }

    out_ << tr("Source: %1").arg(source.spec) << '\n' << tr("Model: %1").arg(model(source)) << '\n';
    if (source.unit)
        out_ << tr("Unit: %1").arg(selectorLine(*source.unit)) << '\n';
    out_ << tr("LNB supply: %1").arg(present::supplyText(supply)) << '\n';
    for (std::size_t i = 0; i < inputs.size(); ++i)
        out_ << tr("Input %1: %2").arg(i + 1).arg(present::inputText(inputs[i])) << '\n';
    for (std::size_t i = 0; i < outputs.size(); ++i)
        out_ << tr("Output %1: %2").arg(i + 1).arg(present::outputText(outputs[i])) << '\n';

    // The channel table; a cell the image has no field for stays empty.
    out_ << tr("Channels: %1").arg(rows.size()) << '\n';
    std::vector<QStringList> table{{tr("Row")}};
    for (int f = 0; f < planview::RowFieldCount; ++f)
        table[0] << present::columnTitle(RowField(f));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        QStringList cells{QString::number(planview::shownIndex(std::uint32_t(r)))};
        for (int f = 0; f < planview::RowFieldCount; ++f)
            cells << (f < rows[r].present ? present::rowText(RowField(f), rows[r].value[std::size_t(f)], offset) : QString());
        table.push_back(cells);
    }
    std::vector<int> widths(table[0].size(), 0);
    for (const QStringList &line : table)
        for (int c = 0; c < line.size(); ++c)
            widths[std::size_t(c)] = std::max(widths[std::size_t(c)], int(line[c].size()));
    for (const QStringList &line : table) {
        QString text;
        for (int c = 0; c < line.size(); ++c)
            text += line[c].leftJustified(widths[std::size_t(c)] + 2);
        out_ << text.trimmed() << '\n';
    }
    return ExitDone;
}

int Cli::diff(const QCommandLineParser &p)
{
    Source a, b;
    if (int code = loadSource(p.positionalArguments().at(0), a))
        return code;
    if (int code = loadSource(p.positionalArguments().at(1), b))
        return code;
    hold(a);
    const std::int32_t offsetA = planview::levelOffset(store_);
    hold(b);
    const std::int32_t offsetB = planview::levelOffset(store_);

    struct Difference {
        QString field;
        QJsonValue a, b;       // as export writes them; null where the field is missing
        QString shownA, shownB; // as a panel shows them; null where none does
    };
    std::vector<Difference> differences;
    if (model(a) != model(b))
        differences.push_back({QStringLiteral("model"), model(a), model(b), model(a), model(b)});

    const auto *bytesA = reinterpret_cast<const std::uint8_t *>(a.bytes.constData());
    const auto *bytesB = reinterpret_cast<const std::uint8_t *>(b.bytes.constData());
    const auto shown = [](const QString &name, const FieldRecord *r, const std::uint8_t *bytes, std::int32_t offset) {
        return r && r->type != std::uint32_t(FieldType::BYTES) ? present::shownField(name, r->valueIn(bytes), offset)
                                                                : QString();
    };
    const auto compare = [&](const QString &name, const FieldRecord *ra, const FieldRecord *rb) {
        const QByteArray va = ra ? a.bytes.mid(int(ra->address), int(ra->size)) : QByteArray();
        const QByteArray vb = rb ? b.bytes.mid(int(rb->address), int(rb->size)) : QByteArray();
        if (ra && rb && ra->type == rb->type && va == vb)
            return;
        differences.push_back({name, ra ? fieldJson(*ra, bytesA) : QJsonValue(), rb ? fieldJson(*rb, bytesB) : QJsonValue(),
                               shown(name, ra, bytesA, offsetA), shown(name, rb, bytesB, offsetB)});
    };
    const auto keysA = fieldsByKey(*a.map);
    const auto keysB = fieldsByKey(*b.map);
    for (const FieldRecord *ra : fieldsOf(*a.map)) {
        const QString name = fieldKey(*ra);
        if (keysA.value(name) == ra) // a repeated name is looked up as its first
            compare(name, ra, keysB.value(name));
    }
    for (const FieldRecord *rb : fieldsOf(*b.map)) {
        const QString name = fieldKey(*rb);
        if (keysB.value(name) == rb && !keysA.contains(name))
            compare(name, nullptr, rb);
    }

    if (p.isSet(QStringLiteral("json"))) {
        QJsonArray list;
        for (const Difference &d : differences) {
            QJsonObject o{{"field", d.field}, {"a", d.a}, {"b", d.b}};
            if (!d.shownA.isNull() || !d.shownB.isNull()) {
                o.insert("shownA", d.shownA.isNull() ? QJsonValue() : QJsonValue(d.shownA));
                o.insert("shownB", d.shownB.isNull() ? QJsonValue() : QJsonValue(d.shownB));
            }
            list.append(o);
        }
        printJson(QJsonDocument(
            QJsonObject{{"a", a.spec}, {"b", b.spec}, {"differ", !differences.empty()}, {"differences", list}}));
    } else if (!differences.empty()) {
        const auto text = [](const QJsonValue &raw, const QString &shownText) {
            if (raw.isNull())
                return tr("(no such field)");
            const QString plain = raw.isBool() ? (raw.toBool() ? QStringLiteral("true") : QStringLiteral("false"))
                                  : raw.isDouble() ? QString::number(raw.toDouble(), 'f', 0)
                                                   : raw.toString();
            return shownText.isNull() ? plain : shownText;
        };
        out_ << "--- " << a.spec << '\n' << "+++ " << b.spec << '\n';
        for (const Difference &d : differences) {
            QString ta = text(d.a, d.shownA), tb = text(d.b, d.shownB);
            // Different bytes that a panel shows alike (1234567 and 1234000 kHz both as 1234 MHz).
            if (ta == tb) {
                ta += QStringLiteral(" (%1)").arg(text(d.a, {}));
                tb += QStringLiteral(" (%1)").arg(text(d.b, {}));
            }
            out_ << d.field << ": " << ta << " -> " << tb << '\n';
        }
    }
    return differences.empty() ? ExitDone : ExitFailed;
}

} // namespace cli

namespace cli {

int Cli::plot(const QCommandLineParser &p)
{
    const QString output = p.value(QStringLiteral("output"));
    if (output.isEmpty())
        return fail(ExitUsage, tr("plot: the picture to write is missing (-o plan.svg or plan.png)"));
    // Fonts and painting need a GUI application; main makes one for this command.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return fail(ExitUsage, tr("plot: pictures need a GUI application"));
    Source source;
    if (int code = loadSource(p.positionalArguments().at(0), source))
        return code;
    const QString suffix = output == QLatin1String("-") ? QStringLiteral("svg") : QFileInfo(output).suffix().toLower();
    if (suffix != QLatin1String("svg") && suffix != QLatin1String("png"))
        return fail(ExitUsage, tr("%1: unknown picture format; use .svg or .png").arg(output));
    QBuffer picture;
    picture.open(QIODevice::WriteOnly);
    QString error;
    if (!renderPlanPicture(picture, suffix, planview::ruleRows(planview::readRows(store_)),
                           planview::readOutputs(store_).size(), &error))
        return fail(ExitUsage, output + QStringLiteral(": ") + error);
    if (int code = writeOutput(output, picture.data()))
        return code;
    progress(tr("%1: channel plan drawn in %2").arg(source.spec, output));
    return ExitDone;
}

} // namespace cli
