#include "panels/gboutput.h"
#include "ui_gboutput.h"

#include "panels/codecombo.h"
#include "config/lotable.h"

#include <array>

using codenames::OutputModes;

gbOutput::gbOutput(std::uint8_t index, std::uint8_t mode, std::uint8_t stbLoLow,
                   std::uint8_t stbLoHigh, QWidget *parent)
    : QGroupBox(parent), index(index), ui(std::make_unique<Ui::gbOutput>())
{
    ui->setupUi(this);
    setTitle(tr("Output %1").arg(index + 1));

    codecombo::fill(ui->cbMode, OutputModes, [](const char *text) { return tr(text); });
    codecombo::fill(ui->cbLOLow, LoCodes, codecombo::verbatim);
    codecombo::fill(ui->cbLOHigh, LoCodes, codecombo::verbatim);

    setMode(mode);
    setStbLoLow(stbLoLow);
    setStbLoHigh(stbLoHigh);

    // Connected only now, so showing the stored values announces nothing.
    for (QComboBox *combo : {ui->cbMode, ui->cbLOLow, ui->cbLOHigh})
        connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this, &gbOutput::ChangedInternal);
}

gbOutput::~gbOutput() = default;

std::uint8_t gbOutput::mode() const
{
    return codecombo::code(ui->cbMode);
}

void gbOutput::setMode(std::uint8_t code)
{
    codecombo::select(ui->cbMode, code);
}

std::uint8_t gbOutput::stbLoLow() const
{
    return codecombo::code(ui->cbLOLow);
}

void gbOutput::setStbLoLow(std::uint8_t code)
{
    codecombo::select(ui->cbLOLow, code);
}

std::uint8_t gbOutput::stbLoHigh() const
{
    return codecombo::code(ui->cbLOHigh);
}

void gbOutput::setStbLoHigh(std::uint8_t code)
{
    codecombo::select(ui->cbLOHigh, code);
}

void gbOutput::ChangedInternal()
{
    if (emitting != 0)
        return;
    emitting = 1;
    emit Changed(index);
    --emitting;
}
