#include "plan/planview.h"

#include "config/configstore.h"

namespace planview {

QByteArray field(const char *group, int index, const char *name)
{
    return QByteArray(group) + '[' + QByteArray::number(index) + "]." + name;
}

namespace {

std::vector<Port> readPorts(ConfigStore &s, const char *group, int count, const std::array<const char *, 4> &names)
{
    std::vector<Port> ports;
    for (int i = 0; i < count; ++i) {
        std::array<std::uint32_t, 4> v{};
        for (std::size_t k = 0; k < v.size(); ++k)
            if (!s.getUInt(v[k], field(group, i, names[k])) || (k == 0 && v[0] == 255))
                return ports;
        ports.push_back({std::uint8_t(v[0]), std::uint8_t(v[1]), std::uint8_t(v[2]), std::uint8_t(v[3])});
    }
    return ports;
}

} // namespace

std::vector<Port> readInputs(ConfigStore &store) { return readPorts(store, "Input", MaxInputs, InputFields); }
std::vector<Port> readOutputs(ConfigStore &store) { return readPorts(store, "Output", MaxOutputs, OutputFields); }

std::vector<Row> readRows(ConfigStore &store)
{
    std::uint32_t count = 0;
    store.getUInt(count, "CSS_Channels");
    std::vector<Row> rows(count);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        Row &row = rows[r];
        while (row.present < RowFieldCount
               && store.getUInt(row.value[std::size_t(row.present)], field("CSS", int(r), RowFieldNames[std::size_t(row.present)])))
            ++row.present;
    }
    return rows;
}

std::vector<channelrules::ChannelRow> ruleRows(const std::vector<Row> &rows)
{
    std::vector<channelrules::ChannelRow> out;
    out.reserve(rows.size());
    for (const Row &r : rows)
        out.push_back({std::uint8_t(r.value[Mode]), std::uint8_t(r.value[OutputPort]), r.value[OutputFrequency],
                       r.value[Bandwidth], std::uint8_t(r.value[UserBand])});
    return out;
}

std::int32_t levelOffset(ConfigStore &store)
{
    std::int32_t offset = 0;
    store.getInt(offset, "OutputLevelOffset");
    return offset;
}

} // namespace planview
