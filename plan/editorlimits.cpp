#include "plan/editorlimits.h"

#include "config/codenames.h"
#include "config/configstore.h"
#include "config/lotable.h"
#include "plan/planview.h"

namespace editorlimits {

namespace {

using planview::field;

std::optional<std::uint32_t> optionalUInt(ConfigStore &s, const char *name)
{
    std::uint32_t v = 0;
    return s.getUInt(v, name) ? std::optional<std::uint32_t>(v) : std::nullopt;
}

template <typename Table>
bool known(const Table &table, std::uint32_t code)
{
    return code <= 0xFF && codenames::nameOf(table, std::uint8_t(code)) != nullptr;
}

} // namespace

Limits limits(ConfigStore &s)
{
    Limits l;
    l.ifInMin = optionalUInt(s, "InputFrequencyMin");
    l.ifInMax = optionalUInt(s, "InputFrequencyMax");
    l.ifOutMin = optionalUInt(s, "OutputFrequencyMin");
    l.ifOutMax = optionalUInt(s, "OutputFrequencyMax");
    l.bandwidthMin = optionalUInt(s, "BandwidthMin");
    l.bandwidthMax = optionalUInt(s, "BandwidthMax");
    const std::int32_t offset = planview::levelOffset(s);
    if (const auto v = optionalUInt(s, "OutputLevelMin"))
        l.levelMin = std::int32_t(planview::shownLevel(*v, offset));
    if (const auto v = optionalUInt(s, "OutputLevelMax"))
        l.levelMax = std::int32_t(planview::shownLevel(*v, offset));
    return l;
}

std::vector<Fault> faults(ConfigStore &s)
{
    std::vector<Fault> found;
    const auto code = [&](int row, const QByteArray &name, std::uint32_t value, bool ok) {
        if (!ok)
            found.push_back({row, name, true, value, 0, 0});
    };
    const auto range = [&](int row, const QByteArray &name, std::int64_t value, std::optional<std::int64_t> min,
                           std::optional<std::int64_t> max) {
        if ((min && value < *min) || (max && value > *max))
            found.push_back({row, name, false, value, min.value_or(value), max.value_or(value)});
    };
    // The editors take whole MHz: a limit of 950500 kHz offers 950 MHz.
    const auto mhz = [](std::optional<std::uint32_t> kHz) {
        return kHz ? std::optional<std::int64_t>(planview::shownMHz(*kHz)) : std::nullopt;
    };

    if (const auto mode = optionalUInt(s, "LNBPowerMode")) {
        // A missing range reads as 0 (OFF only), as the panel reads it.
        const std::uint32_t min = optionalUInt(s, "LNBPowerModeMin").value_or(0) & 0xFF;
        const std::uint32_t max = optionalUInt(s, "LNBPowerModeMax").value_or(0) & 0xFF;
        code(-1, "LNBPowerMode", *mode, known(codenames::SupplyModes, *mode) && min <= *mode && *mode <= max);
    }
    const std::vector<planview::Port> inputs = planview::readInputs(s);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        using namespace codenames;
        const planview::Port &p = inputs[i];
        const auto name = [i](const char *f) { return field("Input", int(i), f); };
        code(-1, name("Mode"), p.mode, known(InputModes, p.mode));
        code(-1, name("DISEqC_Bank"), p.a,
             known(Bands, p.a & BandBits) && known(Polarizations, p.a & PolarizationBits)
                 && known(Satellites, p.a & SatelliteBits));
        code(-1, name("DISEqC_LNB_LO"), p.b, known(LoCodes, p.b));
    }
    const std::vector<planview::Port> outputs = planview::readOutputs(s);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const planview::Port &p = outputs[i];
        code(-1, field("Output", int(i), "Mode"), p.mode, known(codenames::OutputModes, p.mode));
        code(-1, field("Output", int(i), "STB_LO_Low"), p.a, known(LoCodes, p.a));
        code(-1, field("Output", int(i), "STB_LO_High"), p.b, known(LoCodes, p.b));
    }

    const Limits l = limits(s);
    const std::int32_t offset = planview::levelOffset(s);
    const std::vector<planview::Row> rows = planview::readRows(s);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const planview::Row &row = rows[r];
        const int at = int(r);
        const auto name = [at](planview::RowField f) { return field("CSS", at, planview::RowFieldNames[f]); };
        if (row.present <= planview::Mode)
            continue;
        const std::uint32_t mode = row.value[planview::Mode];
        if (!known(codenames::ChannelModes, mode)) {
            code(at, name(planview::Mode), mode, false);
            continue;
        }
        const auto &editable = EditableByMode[mode];
        const auto check = [&](planview::RowField f, Column c, auto &&test) {
            if (f < row.present && editable[c])
                test(name(f), row.value[f]);
        };
        const auto port = [&](std::size_t count) {
            return [&, count](const QByteArray &n, std::uint32_t v) {
                range(at, n, std::int64_t(planview::shownIndex(v & 0xFF)), 1, std::int64_t(count));
            };
        };
        const auto kHz = [&](std::optional<std::uint32_t> min, std::optional<std::uint32_t> max) {
            return [&, min, max](const QByteArray &n, std::uint32_t v) {
                range(at, n, planview::shownMHz(v), mhz(min), mhz(max));
            };
        };
        check(planview::InputPort, Input, port(inputs.size()));
        check(planview::InputFrequency, IfIn, kHz(l.ifInMin, l.ifInMax));
        check(planview::OutputPort, Output, port(outputs.size()));
        check(planview::OutputFrequency, IfOut, kHz(l.ifOutMin, l.ifOutMax));
        check(planview::Bandwidth, Bandwidth, kHz(l.bandwidthMin, l.bandwidthMax));
        check(planview::OutputLevel, Level, [&](const QByteArray &n, std::uint32_t v) {
            range(at, n, std::int32_t(planview::shownLevel(v, offset)), l.levelMin, l.levelMax);
        });
    }
    return found;
}

} // namespace editorlimits
