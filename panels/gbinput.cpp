#include "panels/gbinput.h"
#include "ui_gbinput.h"

#include "panels/codecombo.h"
#include "config/lotable.h"

#include <array>

using namespace codenames;

gbInput::gbInput(std::uint8_t index, std::uint8_t mode, std::uint8_t diseqcBank,
                 std::uint8_t lnbLo, QWidget *parent)
    : QGroupBox(parent), index(index), ui(std::make_unique<Ui::gbInput>())
{
    ui->setupUi(this);
    setTitle(tr("Input %1").arg(index + 1));

    const auto translated = [](const char *text) { return tr(text); };
    codecombo::fill(ui->cbMode, InputModes, translated);
    codecombo::fill(ui->cbBand, Bands, translated);
    codecombo::fill(ui->cbPolarization, Polarizations, translated);
    codecombo::fill(ui->cbSatellite, Satellites, translated);
    codecombo::fill(ui->cbLO, LoCodes, codecombo::verbatim);

    setMode(mode);
    setDiseqcBank(diseqcBank);
    setDiseqcLnbLo(lnbLo);

    // Connected only now, so showing the stored values announces nothing.
    for (QComboBox *combo : {ui->cbMode, ui->cbBand, ui->cbPolarization, ui->cbSatellite, ui->cbLO})
        connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this, &gbInput::ChangedInternal);
}

gbInput::~gbInput() = default;

std::uint8_t gbInput::mode() const
{
    return codecombo::code(ui->cbMode);
}

void gbInput::setMode(std::uint8_t code)
{
    codecombo::select(ui->cbMode, code);
}

std::uint8_t gbInput::diseqcBank() const
{
    return codecombo::code(ui->cbBand) | codecombo::code(ui->cbPolarization)
         | codecombo::code(ui->cbSatellite) | bankOtherBits;
}

void gbInput::setDiseqcBank(std::uint8_t word)
{
    bankOtherBits = static_cast<std::uint8_t>(word & ~(BandBits | PolarizationBits | SatelliteBits));
    codecombo::select(ui->cbBand, word & BandBits);
    codecombo::select(ui->cbPolarization, word & PolarizationBits);
    codecombo::select(ui->cbSatellite, word & SatelliteBits);
}

std::uint8_t gbInput::diseqcLnbLo() const
{
    return codecombo::code(ui->cbLO);
}

void gbInput::setDiseqcLnbLo(std::uint8_t code)
{
    codecombo::select(ui->cbLO, code);
}

void gbInput::ChangedInternal()
{
    // A receiver that adjusts this panel must not trigger a second report.
    if (emitting != 0)
        return;
    emitting = 1;
    emit Changed(index);
    --emitting;
}
