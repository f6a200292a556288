#include "app/demo/demounits.h"

#include "config/configstore.h"
#include "device/sim/simbench.h"

#include <QtCore/QtGlobal>

#include <vector>

namespace demo {
namespace {

// Writes a field big-endian without going through the store, so building the
// bench leaves no access lines in the debug log.
class ImageWriter
{
public:
    ImageWriter(const FieldMap &map) : map_(map), bytes_(int(map.imageSize), '\0') {}

    void set(const QByteArray &name, uint32_t value, FieldType type = FieldType::UINT)
    {
        const FieldRecord *r = map_.find(name.constData(), type);
        Q_ASSERT_X(r, "demo image", name.constData());
        if (!r)
            return;
        for (uint32_t i = 0; i < r->size; ++i) {
            const uint32_t shift = 8 * (r->size - 1 - i);
            bytes_[int(r->address + i)] = char(shift < 32 ? value >> shift : 0);
        }
    }
    void set(const char *format, int index, const char *field, uint32_t value,
             FieldType type = FieldType::UINT)
    {
        set(QByteArray(format).replace("%d", QByteArray::number(index)) + field, value, type);
    }

    QByteArray sealed()
    {
        ConfigStore::sealBytes(reinterpret_cast<uint8_t *>(bytes_.data()), uint32_t(bytes_.size()));
        return bytes_;
    }

private:
    const FieldMap &map_;
    QByteArray bytes_;
};

struct Channel {
    uint8_t mode;
    uint8_t inputPort;
    uint32_t ifInMHz;
    uint8_t outputPort;
    uint32_t ifOutMHz;
    uint32_t bandwidthMHz;
    uint8_t userBand;  // stored, 0-based
    uint8_t pin;
};

// LO codes: 2 = 9750 MHz, 4 = 10600 MHz, 18 = WB 10200 MHz.
struct Input {
    uint8_t mode, bank, lo;
};

void commonFields(ImageWriter &w, const FieldMap &map, bool factory)
{
    w.set("Magic", 0xABCD);
    w.set("Version", map.version);
    w.set("ReadOnly", factory ? 1 : 0, FieldType::BOOL);
    w.set("LNBPowerModeMin", 0);
    w.set("LNBPowerModeMax", 2);
    w.set("InputFrequencyMin", 250000);
    w.set("InputFrequencyMax", 2400000);
    w.set("OutputFrequencyMin", 950000);
    w.set("OutputFrequencyMax", 2150000);
    w.set("BandwidthMin", 4000);
    w.set("BandwidthMax", 80000);
    w.set("OutputLevelMin", 50);
    w.set("OutputLevelMax", 80);
    w.set("OutputLevelOffset", 20, FieldType::INT);
    w.set("CSS_Channels", 32);
    w.set("BTS_Channels", 8);
    w.set("Enable", 1, FieldType::BOOL);
    w.set("GPIO_Enable.Port", 1);
    w.set("GPIO_Enable.Value", 0x01);
    w.set("GPIO_Enable.Mask", 0x01);
    w.set("GPIO_Preset.Port", 1);
    w.set("GPIO_Preset.Mask", 0x02);
    w.set("LNBPowerMode", 2);
    w.set("GPIO_LNBPowerEnable.Port", 2);
    w.set("GPIO_LNBPowerEnable.Value", 0x10);
    w.set("GPIO_LNBPowerEnable.Mask", 0x10);
    w.set("GPIO_LNBPower18V.Port", 2);
    w.set("GPIO_LNBPower18V.Value", 0x20);
    w.set("GPIO_LNBPower18V.Mask", 0x20);
    w.set("CSS_ADC_Mask", 0x7F);
    w.set("CSS_Output_Mask", 0x07);
    w.set("BTS_ADC_Mask", 0x7F);
    w.set("BTS_Output_Mask", 0x07);
    w.set("DISEqC_CONFIG_NB", 4);

    for (int j = 0; j < 3; ++j) {
        w.set("Output[%d].", j, "Mode", 1);
        w.set("Output[%d].", j, "DAC", uint32_t(j));
        w.set("Output[%d].", j, "STB_LO_Low", 2);
        w.set("Output[%d].", j, "STB_LO_High", 4);
        w.set("Output[%d].", j, "GPIO_State_14V.Port", 3);
        w.set("Output[%d].", j, "GPIO_State_14V.Mask", 1u << j);
        w.set("Output[%d].", j, "GPIO_State_18V.Port", 3);
        w.set("Output[%d].", j, "GPIO_State_18V.Value", 1u << j);
        w.set("Output[%d].", j, "GPIO_State_18V.Mask", 1u << j);
    }
}

void inputs(ImageWriter &w, const std::vector<Input> &list)
{
    for (int i = 0; i < 7; ++i) {
        const bool present = i < int(list.size());
        w.set("Input[%d].", i, "ADC", present ? uint32_t(i) : 255);
        if (!present)
            continue;
        w.set("Input[%d].", i, "Mode", list[std::size_t(i)].mode);
        w.set("Input[%d].", i, "DISEqC_Bank", list[std::size_t(i)].bank);
        w.set("Input[%d].", i, "DISEqC_LNB_LO", list[std::size_t(i)].lo);
        w.set("Input[%d].", i, "Bandwidth", 2150000 - 950000);
    }
}

void channels(ImageWriter &w, const std::vector<Channel> &list)
{
    for (int r = 0; r < int(list.size()); ++r) {
        const Channel &c = list[std::size_t(r)];
        w.set("CSS[%d].", r, "Mode", c.mode);
        w.set("CSS[%d].", r, "InputPort", c.inputPort);
        w.set("CSS[%d].", r, "InputFrequency", c.ifInMHz * 1000);
        w.set("CSS[%d].", r, "OutputPort", c.outputPort);
        w.set("CSS[%d].", r, "OutputFrequency", c.ifOutMHz * 1000);
        w.set("CSS[%d].", r, "OutputLevel", 60);
        w.set("CSS[%d].", r, "Bandwidth", c.bandwidthMHz * 1000);
        w.set("CSS[%d].", r, "UserBand", c.userBand);
        w.set("CSS[%d].", r, "Pin", c.pin);
    }
}

} // namespace

QByteArray factoryImage(const FieldMap &map)
{
    ImageWriter w(map);
    commonFields(w, map, true);
    inputs(w, {{1, 0x00, 2}, {1, 0x01, 4}, {1, 0x02, 2}, {1, 0x03, 4}});
    // The eight user bands of the classic single-cable plan, all on output 1.
    std::vector<Channel> list;
    const uint32_t ub[] = {1210, 1420, 1680, 2040, 984, 1020, 1056, 1092};
    for (uint8_t i = 0; i < 8; ++i)
        list.push_back({2, 0, 0, 0, ub[i], 36, i, 0});
    channels(w, list);
    return w.sealed();
}

QByteArray customImage(const FieldMap &map)
{
    ImageWriter w(map);
    commonFields(w, map, false);
    inputs(w, {{1, 0x00, 2}, {1, 0x01, 4}, {1, 0x02, 2}, {1, 0x03, 4},
               {5, 0x04, 2}, {3, 0x07, 4}, {1, 0x12, 18}});
    channels(w, {
        {2, 0, 0, 0, 1210, 36, 0, 0},      // SCR user bands 1-4 on output 1
        {2, 0, 0, 0, 1420, 36, 1, 0},
        {2, 0, 0, 0, 1680, 36, 2, 0},
        {2, 0, 0, 0, 2040, 36, 3, 0},
        {3, 0, 0, 1, 985, 36, 0, 12},      // SCD2 on output 2, with PINs
        {3, 0, 0, 1, 1050, 36, 1, 13},
        {3, 0, 0, 1, 1115, 36, 2, 14},
        {3, 0, 0, 1, 1180, 36, 3, 15},
        {1, 0, 1744, 2, 1400, 30, 0, 0},   // 11494 MHz V, low band, input 1
        {1, 3, 1588, 2, 1450, 30, 0, 0},   // 12188 MHz H, high band, input 4
        {5, 0, 0, 2, 1650, 24, 9, 0},      // BSKYB user band 10
        {6, 0, 0, 2, 2100, 0, 0, 0},       // pilot tone
    });
    return w.sealed();
}

simbench::UnitConfig unitConfig(const FieldMap &map, const std::string &serial)
{
    simbench::UnitConfig unit;
    unit.description = map.modelNameText().toStdString();
    unit.serial = serial;
    unit.chip = simbench::ChipKind::IS25WQ040;
    unit.flashLines = uint8_t(1u << map.flashLineA | 1u << map.flashLineB | 1u << map.accessLine);
    unit.csPin = map.csPin;
    unit.clockPin = map.clockPin;
    unit.mosiPin = map.mosiPin;
    unit.misoPin = map.misoPin;
    unit.status = 0x9C;  // write protection on, as the unit leaves the factory
    return unit;
}

std::string serialNumber(const std::string &prefix, int n)
{
    return prefix + std::to_string(2401000 + 17 * n);
}

std::vector<uint8_t> flashImage(const FieldMap &map)
{
    std::vector<uint8_t> flash(simbench::flashSize(simbench::ChipKind::IS25WQ040), 0xFF);
    // A test map may place a slot beyond the chip: such a slot is left out.
    const auto place = [&flash](uint32_t address, const QByteArray &bytes) {
        if (address > flash.size() || std::size_t(bytes.size()) > flash.size() - address)
            return;
        std::copy(bytes.begin(), bytes.end(), flash.begin() + address);
    };
    place(0x6FFFE, QByteArray{"\x01"} + char(map.swVersion));
    place(map.slotAddress(0), customImage(map));
    place(map.slotAddress(1), factoryImage(map));
    return flash;
}

} // namespace demo
