// Image <-> panels: the one place where the configuration model meets the
// widgets. Everything goes through the typed field access on slot 0.
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "config/configstore.h"
#include "plan/editorlimits.h"
#include "plan/planview.h"
#include "panels/gbchannelplan.h"
#include "panels/gbinput.h"
#include "panels/gblnbsupply.h"
#include "panels/gboutput.h"
#include "panels/gbtablecss.h"

#include <array>
#include <functional>

using planview::field;

namespace {

// Ports and table together: an advanced panel per port when asked for.
template <typename Panel>
void addPorts(const std::vector<planview::Port> &ports, gbTableCSS &table, bool advanced, MainWindow *window,
              QList<Panel *> &panels, QHBoxLayout *layout,
              void (gbTableCSS::*add)(uint8_t, uint8_t, uint8_t))
{
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const planview::Port &p = ports[i];
        (table.*add)(p.mode, p.a, p.b);
        if (advanced) {
            auto *panel = new Panel(uint8_t(i), p.mode, p.a, p.b, window);
            panels.append(panel);
            layout->addWidget(panel);
        }
    }
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
    addPorts(planview::readInputs(s), *cssPanel, advanced, this, inputPanels, ui->hlInputs, &gbTableCSS::addInput);
    for (gbInput *panel : qAsConst(inputPanels))
        connect(panel, &gbInput::Changed, this, &MainWindow::on_InputChanged);
    addPorts(planview::readOutputs(s), *cssPanel, advanced, this, outputPanels, ui->hlOutputs, &gbTableCSS::addOutput);

    gbTableCSS &table = *cssPanel;
    ++table.updateGuard;
    uint32_t rows = 0;
    s.getUInt(rows, "CSS_Channels");
    table.setRowCount(int(rows));

    // A missing limit keeps the editor's own.
    table.setFInMinimum(planview::FInMinimum);
    table.setFInMaximum(planview::FInMaximum);
    const editorlimits::Limits limits = editorlimits::limits(s);
    const std::pair<std::optional<uint32_t>, void (gbTableCSS::*)(uint32_t)> kHzLimits[] = {
        {limits.ifInMin, &gbTableCSS::setIfInMinimum},   {limits.ifInMax, &gbTableCSS::setIfInMaximum},
        {limits.ifOutMin, &gbTableCSS::setIfOutMinimum}, {limits.ifOutMax, &gbTableCSS::setIfOutMaximum},
        {limits.bandwidthMin, &gbTableCSS::setBandwidthMinimum}, {limits.bandwidthMax, &gbTableCSS::setBandwidthMaximum}};
    for (const auto &[v, set] : kHzLimits)
        if (v)
            (table.*set)(*v);
    if (limits.levelMin)
        table.setLevelMinimum(*limits.levelMin);
    if (limits.levelMax)
        table.setLevelMaximum(*limits.levelMax);
    const int32_t offset = planview::levelOffset(s);

    using Fill = std::function<void(int, uint32_t)>;
    const std::pair<const char *, Fill> cells[] = {
        {"Mode", [&](int r, uint32_t v) { table.setMode(r, uint8_t(v)); table.applyRowMode(r); }},
        {"InputPort", [&](int r, uint32_t v) { table.setInputPort(r, uint8_t(v)); }},
        {"InputFrequency", [&](int r, uint32_t v) { table.setIfIn(r, v); table.deriveFromIfIn(r); }},
        {"OutputPort", [&](int r, uint32_t v) { table.setOutputPort(r, uint8_t(v)); }},
        {"OutputFrequency", [&](int r, uint32_t v) { table.setIfOut(r, v); }},
        {"Bandwidth", [&](int r, uint32_t v) { table.setBandwidth(r, v); }},
        {"OutputLevel", [&](int r, uint32_t v) { table.setLevel(r, planview::shownLevel(v, offset)); }},
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
    if (planPanel)
        planPanel->setTable(cssPanel);
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
    const int32_t offset = planview::levelOffset(s);
    const gbTableCSS &t = *cssPanel;
    using Value = std::function<uint32_t(int)>;
    const std::pair<int, Value> cells[] = {
        {gbTableCSS::ColMode, [&](int r) { return t.mode(r) & 0xFF; }},
        {gbTableCSS::ColInput, [&](int r) { return uint32_t(t.inputPort(r)) & 0xFF; }},
        {gbTableCSS::ColIfIn, [&](int r) { return t.ifIn(r); }},
        {gbTableCSS::ColOutput, [&](int r) { return uint32_t(t.outputPort(r)) & 0xFF; }},
        {gbTableCSS::ColIfOut, [&](int r) { return t.ifOut(r); }},
        {gbTableCSS::ColBandwidth, [&](int r) { return t.bandwidth(r); }},
        {gbTableCSS::ColLevel, [&](int r) { return planview::storedLevel(uint32_t(t.level(r)), offset); }},
        {gbTableCSS::ColUserBand, [&](int r) { return uint32_t(t.userBand(r)) & 0xFF; }},
        {gbTableCSS::ColPin, [&](int r) { return uint32_t(t.pin(r)) & 0xFF; }}};
    static_assert(std::size(cells) == planview::RowFieldCount);
    for (int r = 0; r < t.rowCount(); ++r) {
        for (std::size_t k = 0; k < std::size(cells); ++k) {
            // A cell never filled from the image has nothing to give back.
            if (t.hasValue(r, cells[k].first))
                s.setUInt(cells[k].second(r), field("CSS", r, planview::RowFieldNames[k]));
        }
    }
}
