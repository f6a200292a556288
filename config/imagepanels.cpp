// Image <-> panels: the one place where the configuration model meets the
// widgets. Everything goes through the typed field access on slot 0.
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "config/configstore.h"
#include "panels/gbinput.h"
#include "panels/gblnbsupply.h"
#include "panels/gboutput.h"
#include "panels/gbtablecss.h"

#include <array>
#include <functional>

namespace {

constexpr int kMaxInputs = 7;
constexpr int kMaxOutputs = 3;
// The satellite band an F IN may lie in, in kHz; not a property of the image.
constexpr uint32_t kFInMinimum = 10700000;
constexpr uint32_t kFInMaximum = 12750000;

QByteArray field(const char *group, int index, const char *name)
{
    return QByteArray(group) + '[' + QByteArray::number(index) + "]." + name;
}

// A port's three settings, when its presence field is there and not 255.
// An absent or unreadable port ends the list: later ports are hidden too.
bool readPort(ConfigStore &s, const char *group, int index, const std::array<const char *, 4> &names,
              std::array<uint32_t, 3> &values)
{
    uint32_t presence = 0;
    if (!s.getUInt(presence, field(group, index, names[0])) || presence == 255)
        return false;
    for (std::size_t k = 0; k < values.size(); ++k)
        if (!s.getUInt(values[k], field(group, index, names[k + 1])))
            return false;
    return true;
}

} // namespace

void MainWindow::buildPanels()
{
    removePanels();
    if (!store->loadedMap())
        return;
    ConfigStore &s = *store;

    // A missing range or mode reads as 0 (OFF only).
    uint32_t lnbMin = 0, lnbMax = 0, lnbMode = 0;
    s.getUInt(lnbMin, "LNBPowerModeMin");
    s.getUInt(lnbMax, "LNBPowerModeMax");
    s.getUInt(lnbMode, "LNBPowerMode");
    lnbPanel = new gbLNBSupply(uint8_t(lnbMode), uint8_t(lnbMin), uint8_t(lnbMax), this);
    ui->hlLNBSupply->addWidget(lnbPanel);

    cssPanel = new gbTableCSS(this);
    ui->hlTableCSS->addWidget(cssPanel);

    const bool advanced = ui->actionAdvancedMode->isChecked();
    std::array<uint32_t, 3> v{};
    for (int i = 0; i < kMaxInputs && readPort(s, "Input", i, {"ADC", "Mode", "DISEqC_Bank", "DISEqC_LNB_LO"}, v); ++i) {
        cssPanel->addInput(uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]));
        if (advanced) {
            auto *panel = new gbInput(uint8_t(i), uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), this);
            inputPanels.append(panel);
            connect(panel, &gbInput::Changed, this, &MainWindow::on_InputChanged);
            ui->hlInputs->addWidget(panel);
        }
    }
    for (int j = 0; j < kMaxOutputs && readPort(s, "Output", j, {"DAC", "Mode", "STB_LO_Low", "STB_LO_High"}, v); ++j) {
        cssPanel->addOutput(uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]));
        if (advanced) {
            auto *panel = new gbOutput(uint8_t(j), uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), this);
            outputPanels.append(panel);
            ui->hlOutputs->addWidget(panel);
        }
    }

    gbTableCSS &table = *cssPanel;
    ++table.updateGuard;
    uint32_t rows = 0;
    s.getUInt(rows, "CSS_Channels");
    table.setRowCount(int(rows));

    // A missing limit keeps the editor's own.
    table.setFInMinimum(kFInMinimum);
    table.setFInMaximum(kFInMaximum);
    const std::pair<const char *, void (gbTableCSS::*)(uint32_t)> limits[] = {
        {"InputFrequencyMin", &gbTableCSS::setIfInMinimum},   {"InputFrequencyMax", &gbTableCSS::setIfInMaximum},
        {"OutputFrequencyMin", &gbTableCSS::setIfOutMinimum}, {"OutputFrequencyMax", &gbTableCSS::setIfOutMaximum},
        {"BandwidthMin", &gbTableCSS::setBandwidthMinimum},   {"BandwidthMax", &gbTableCSS::setBandwidthMaximum}};
    for (const auto &[name, set] : limits) {
        uint32_t v = 0;
        if (s.getUInt(v, name))
            (table.*set)(v);
    }
    int32_t offset = 0;
    s.getInt(offset, "OutputLevelOffset");
    uint32_t levelMin = 0, levelMax = 0;
    if (s.getUInt(levelMin, "OutputLevelMin"))
        table.setLevelMinimum(int(levelMin + uint32_t(offset)));
    if (s.getUInt(levelMax, "OutputLevelMax"))
        table.setLevelMaximum(int(levelMax + uint32_t(offset)));

    using Fill = std::function<void(int, uint32_t)>;
    const std::pair<const char *, Fill> cells[] = {
        {"Mode", [&](int r, uint32_t v) { table.setMode(r, uint8_t(v)); table.applyRowMode(r); }},
        {"InputPort", [&](int r, uint32_t v) { table.setInputPort(r, uint8_t(v)); }},
        {"InputFrequency", [&](int r, uint32_t v) { table.setIfIn(r, v); table.deriveFromIfIn(r); }},
        {"OutputPort", [&](int r, uint32_t v) { table.setOutputPort(r, uint8_t(v)); }},
        {"OutputFrequency", [&](int r, uint32_t v) { table.setIfOut(r, v); }},
        {"Bandwidth", [&](int r, uint32_t v) { table.setBandwidth(r, v); }},
        {"OutputLevel", [&](int r, uint32_t v) { table.setLevel(r, v + uint32_t(offset)); }},
        {"UserBand", [&](int r, uint32_t v) { table.setUserBand(r, uint8_t(v)); }},
        {"Pin", [&](int r, uint32_t v) { table.setPin(r, uint8_t(v)); }}};
    for (int r = 0; r < table.rowCount(); ++r) {
        for (const auto &[name, fill] : cells) {
            uint32_t v = 0;
            if (!s.getUInt(v, field("CSS", r, name)))
                break;  // the rest of this row stays empty
            fill(r, v);
        }
    }

    table.checkOutputFrequencies();
    table.checkBandwidths();
    table.checkUserBands();
    --table.updateGuard;
}

void MainWindow::panelsToImage()
{
    if (!lnbPanel || !cssPanel)
        return;  // nothing shown, nothing to store
    ConfigStore &s = *store;
    s.setUInt(lnbPanel->mode(), "LNBPowerMode");
    for (const gbInput *p : qAsConst(inputPanels)) {
        s.setUInt(p->mode(), field("Input", p->index, "Mode"));
        s.setUInt(p->diseqcBank(), field("Input", p->index, "DISEqC_Bank"));
        s.setUInt(p->diseqcLnbLo(), field("Input", p->index, "DISEqC_LNB_LO"));
    }
    for (const gbOutput *p : qAsConst(outputPanels)) {
        s.setUInt(p->mode(), field("Output", p->index, "Mode"));
        s.setUInt(p->stbLoLow(), field("Output", p->index, "STB_LO_Low"));
        s.setUInt(p->stbLoHigh(), field("Output", p->index, "STB_LO_High"));
    }
    int32_t offset = 0;
    s.getInt(offset, "OutputLevelOffset");
    const gbTableCSS &t = *cssPanel;
    for (int r = 0; r < t.rowCount(); ++r) {
        s.setUInt(t.mode(r) & 0xFF, field("CSS", r, "Mode"));
        s.setUInt(uint32_t(t.inputPort(r)) & 0xFF, field("CSS", r, "InputPort"));
        s.setUInt(t.ifIn(r), field("CSS", r, "InputFrequency"));
        s.setUInt(uint32_t(t.outputPort(r)) & 0xFF, field("CSS", r, "OutputPort"));
        s.setUInt(t.ifOut(r), field("CSS", r, "OutputFrequency"));
        s.setUInt(t.bandwidth(r), field("CSS", r, "Bandwidth"));
        s.setUInt(uint32_t(t.level(r)) - uint32_t(offset), field("CSS", r, "OutputLevel"));
        s.setUInt(uint32_t(t.userBand(r)) & 0xFF, field("CSS", r, "UserBand"));
        s.setUInt(uint32_t(t.pin(r)) & 0xFF, field("CSS", r, "Pin"));
    }
}
