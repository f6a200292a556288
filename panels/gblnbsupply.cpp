#include "panels/gblnbsupply.h"

#include "panels/codecombo.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpacerItem>

#include <algorithm>
#include <array>

using codenames::SupplyModes;

gbLNBSupply::gbLNBSupply(std::uint8_t mode, std::uint8_t minimum, std::uint8_t maximum,
                         QWidget *parent)
    : QGroupBox(parent), ui(std::make_unique<Widgets>())
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("gbLNBSupply"));
    resize(700, 58);

    ui->horizontalLayout = new QHBoxLayout(this);
    ui->horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    ui->label = new QLabel(this);
    ui->label->setObjectName(QStringLiteral("label"));
    ui->horizontalLayout->addWidget(ui->label);
    ui->cbMode = new QComboBox(this);
    ui->cbMode->setObjectName(QStringLiteral("cbMode"));
    ui->cbMode->setMinimumSize(200, 0);
    ui->horizontalLayout->addWidget(ui->cbMode);
    // Keeps label and choice at the left edge.
    ui->horizontalSpacer = new QSpacerItem(437, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    ui->horizontalLayout->addItem(ui->horizontalSpacer);

    setWindowTitle(tr("GroupBox"));
    setTitle(tr("LNB Power Supply"));
    ui->label->setText(tr("Mode"));
    QMetaObject::connectSlotsByName(this);

    // Unsigned bounds: "OFF" depends on the minimum alone.
    for (const auto &item : SupplyModes)
        if (minimum <= item.code && item.code <= maximum)
            ui->cbMode->addItem(tr(item.text), static_cast<int>(item.code));
    ui->cbMode->setCurrentIndex(-1);
    setMode(mode);
}

gbLNBSupply::~gbLNBSupply() = default;

std::uint8_t gbLNBSupply::mode() const
{
    return codecombo::code(ui->cbMode);
}

void gbLNBSupply::setMode(std::uint8_t code)
{
    // A known mode outside the offered range is shown by its name, not as unknown.
    const auto known = std::find_if(SupplyModes.begin(), SupplyModes.end(),
                                    [code](const auto &item) { return item.code == code; });
    if (known != SupplyModes.end() && ui->cbMode->findData(static_cast<int>(code)) < 0)
        ui->cbMode->addItem(tr(known->text), static_cast<int>(code));
    codecombo::select(ui->cbMode, code);
}
