#include "panels/gbtablecss.h"

#include "plan/editorlimits.h"
#include "plan/planview.h"
#include "plan/channelrules.h"
#include "panels/codecombo.h"
#include "panels/comboboxdelegate.h"
#include "config/lotable.h"
#include "panels/spinboxdelegate.h"

#include <QBrush>
#include <QComboBox>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSpinBox>
#include <QTableWidget>

#include <algorithm>

namespace {

using channelrules::ChannelRow;
using CodeItem = codenames::CodeName;

constexpr int ColumnWidth = 80;
constexpr int RowHeight = 20;
// A cell filled with an image value keeps it beside the text shown for it.
constexpr int KeptRole = Qt::UserRole;
constexpr int KeptTextRole = Qt::UserRole + 1;
constexpr std::uint32_t HighBandStart = 11700000; // kHz; this frequency is still low band

constexpr std::uint8_t BankHorizontal = 0x02;
constexpr std::uint8_t BankWide = 0x10;

using codenames::ChannelModes;

constexpr std::array<CodeItem, 2> Polarizations{{
    {QT_TRANSLATE_NOOP("gbTableCSS", "Vertical"), 0},
    {QT_TRANSLATE_NOOP("gbTableCSS", "Horizontal"), 1},
}};

constexpr std::array<const char *, gbTableCSS::ColumnCount> Headers{
    QT_TRANSLATE_NOOP("gbTableCSS", "Mode"),
    QT_TRANSLATE_NOOP("gbTableCSS", "F IN\n(MHz)"),
    QT_TRANSLATE_NOOP("gbTableCSS", "Polarization"),
    QT_TRANSLATE_NOOP("gbTableCSS", "Input"),
    QT_TRANSLATE_NOOP("gbTableCSS", "IF IN\n(MHz)"),
    QT_TRANSLATE_NOOP("gbTableCSS", "Output"),
    QT_TRANSLATE_NOOP("gbTableCSS", "IF OUT\n(MHz)"),
    QT_TRANSLATE_NOOP("gbTableCSS", "Bandwidth\n(MHz)"),
    QT_TRANSLATE_NOOP("gbTableCSS", "Level\n(dBuV)"),
    QT_TRANSLATE_NOOP("gbTableCSS", "UserBand"),
    QT_TRANSLATE_NOOP("gbTableCSS", "PIN"),
};

// Columns 1 to 10 that each mode uses; the Mode column is always enabled.
using editorlimits::EditableByMode;
static_assert(editorlimits::ColumnCount == gbTableCSS::ColumnCount - 1);

// Holds off the edit reactions while the table changes its own cells.
class GuardScope
{
public:
    explicit GuardScope(std::int32_t &counter) : counter(counter) { ++counter; }
    ~GuardScope() { --counter; }
    GuardScope(const GuardScope &) = delete;
    GuardScope &operator=(const GuardScope &) = delete;

private:
    std::int32_t &counter;
};

std::vector<ChannelRow> channelRows(const gbTableCSS &table)
{
    std::vector<ChannelRow> rows(static_cast<std::size_t>(std::max(table.rowCount(), 0)));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const int row = static_cast<int>(r);
        rows[r].mode = static_cast<std::uint8_t>(table.mode(row));
        rows[r].output = static_cast<std::uint8_t>(table.outputPort(row));
        rows[r].ifOut = table.ifOut(row);
        rows[r].bandwidth = table.bandwidth(row);
        rows[r].userBand = static_cast<std::uint8_t>(table.userBand(row));
    }
    return rows;
}

} // namespace

gbTableCSS::gbTableCSS(QWidget *parent)
    : QGroupBox(parent), ui(std::make_unique<Widgets>())
{
    setObjectName(QStringLiteral("gbTableCSS"));
    resize(547, 452);
    ui->horizontalLayout = new QHBoxLayout(this);
    ui->horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    ui->tableCSS = new QTableWidget(this);
    ui->tableCSS->setObjectName(QStringLiteral("tableCSS"));
    ui->tableCSS->setEnabled(true);
    ui->horizontalLayout->addWidget(ui->tableCSS);
    setWindowTitle(tr("GroupBox"));
    setTitle(tr("GroupBox"));
    QMetaObject::connectSlotsByName(this);
    updateGuard = 0;
    setTitle(tr("dCSS configuration"));

    QTableWidget *table = ui->tableCSS;
    table->setColumnCount(ColumnCount);
    QStringList labels;
    for (const char *header : Headers)
        labels << tr(header);
    table->setHorizontalHeaderLabels(labels);
    // Wider only where a header would be clipped in the current font.
    for (int c = 0; c < ColumnCount; ++c)
        table->setColumnWidth(c, qMax(ColumnWidth, table->horizontalHeader()->sectionSizeHint(c)));

    const auto comboDelegate = [](const auto &items) {
        auto *box = new QComboBox; // the delegate takes it over
        for (const auto &item : items)
            box->addItem(tr(item.text), static_cast<int>(item.code));
        return std::make_unique<ComboBoxDelegate>(nullptr, box);
    };
    for (int c = 0; c < ColumnCount; ++c) {
        if (c == ColMode)
            delegates[c] = comboDelegate(ChannelModes);
        else if (c == ColPolarization)
            delegates[c] = comboDelegate(Polarizations);
        else
            delegates[c] = std::make_unique<SpinBoxDelegate>(nullptr, new QSpinBox);
        table->setItemDelegateForColumn(c, delegates[c].get());
    }

    table->setEditTriggers(QAbstractItemView::AllEditTriggers);
    // Otherwise the style's minimum (font based) overrides the row height.
    table->verticalHeader()->setMinimumSectionSize(RowHeight);
    // Keeps a few channels in view when the port panels take the height.
    table->setMinimumHeight(table->horizontalHeader()->sizeHint().height() + 6 * RowHeight
                            + 2 * table->frameWidth());
}

gbTableCSS::~gbTableCSS()
{
    // The editors live in the table's viewport while in use, so they must go
    // before the table. Detaching first keeps a focused editor from
    // committing into a table that is being torn down.
    for (int c = 0; c < ColumnCount; ++c) {
        ui->tableCSS->setItemDelegateForColumn(c, nullptr);
        delegates[c].reset();
    }
    ui->tableCSS->setColumnCount(0);
    ui->tableCSS->setRowCount(0);
    ui->tableCSS->setEnabled(false);
    ui.reset();
    outputs.clear();
    inputs.clear();
}

// ---- size and editor limits ----

int gbTableCSS::rowCount() const
{
    return ui->tableCSS->rowCount();
}

void gbTableCSS::setRowCount(int n)
{
    ui->tableCSS->setRowCount(n);
    for (int r = 0; r < ui->tableCSS->rowCount(); ++r)
        ui->tableCSS->setRowHeight(r, RowHeight);
}

QSpinBox *gbTableCSS::spinEditor(int col) const
{
    if (col < 0 || col >= ColumnCount)
        return nullptr;
    const auto *delegate = qobject_cast<const SpinBoxDelegate *>(delegates[col].get());
    return delegate ? delegate->editor() : nullptr;
}

QComboBox *gbTableCSS::comboEditor(int col) const
{
    if (col < 0 || col >= ColumnCount)
        return nullptr;
    const auto *delegate = qobject_cast<const ComboBoxDelegate *>(delegates[col].get());
    return delegate ? delegate->editor() : nullptr;
}

void gbTableCSS::setKHz(int col, bool maximum, std::uint32_t kHz)
{
    const int mhz = static_cast<int>(planview::shownMHz(kHz));
    if (maximum)
        spinEditor(col)->setMaximum(mhz);
    else
        spinEditor(col)->setMinimum(mhz);
}

std::uint32_t gbTableCSS::kHzLimit(int col, bool maximum) const
{
    const QSpinBox *spin = spinEditor(col);
    return planview::storedKHz(static_cast<std::uint32_t>(maximum ? spin->maximum() : spin->minimum()));
}

void gbTableCSS::setFInMinimum(std::uint32_t kHz) { setKHz(ColFIn, false, kHz); }
void gbTableCSS::setFInMaximum(std::uint32_t kHz) { setKHz(ColFIn, true, kHz); }
std::uint32_t gbTableCSS::fInMinimum() const { return kHzLimit(ColFIn, false); }
std::uint32_t gbTableCSS::fInMaximum() const { return kHzLimit(ColFIn, true); }
void gbTableCSS::setIfInMinimum(std::uint32_t kHz) { setKHz(ColIfIn, false, kHz); }
void gbTableCSS::setIfInMaximum(std::uint32_t kHz) { setKHz(ColIfIn, true, kHz); }
std::uint32_t gbTableCSS::ifInMinimum() const { return kHzLimit(ColIfIn, false); }
std::uint32_t gbTableCSS::ifInMaximum() const { return kHzLimit(ColIfIn, true); }
void gbTableCSS::setIfOutMinimum(std::uint32_t kHz) { setKHz(ColIfOut, false, kHz); }
void gbTableCSS::setIfOutMaximum(std::uint32_t kHz) { setKHz(ColIfOut, true, kHz); }
std::uint32_t gbTableCSS::ifOutMinimum() const { return kHzLimit(ColIfOut, false); }
std::uint32_t gbTableCSS::ifOutMaximum() const { return kHzLimit(ColIfOut, true); }
void gbTableCSS::setBandwidthMinimum(std::uint32_t kHz) { setKHz(ColBandwidth, false, kHz); }
void gbTableCSS::setBandwidthMaximum(std::uint32_t kHz) { setKHz(ColBandwidth, true, kHz); }
std::uint32_t gbTableCSS::bandwidthMinimum() const { return kHzLimit(ColBandwidth, false); }
std::uint32_t gbTableCSS::bandwidthMaximum() const { return kHzLimit(ColBandwidth, true); }
void gbTableCSS::setLevelMinimum(int level) { spinEditor(ColLevel)->setMinimum(level); }
void gbTableCSS::setLevelMaximum(int level) { spinEditor(ColLevel)->setMaximum(level); }
int gbTableCSS::levelMinimum() const { return spinEditor(ColLevel)->minimum(); }
int gbTableCSS::levelMaximum() const { return spinEditor(ColLevel)->maximum(); }

// ---- channel fields ----

void gbTableCSS::setMode(int row, std::uint8_t mode)
{
    const QComboBox *box = comboEditor(ColMode);
    const int found = box->findData(static_cast<int>(mode));
    setKeptValue(row, ColMode, mode, found >= 0 ? box->itemText(found) : codecombo::unknownText(mode));
}
std::uint32_t gbTableCSS::mode(int row) const
{
    return keptValue(row, ColMode).value_or(comboCellValue(row, ColMode));
}

void gbTableCSS::setFIn(int row, std::uint32_t kHz) { setCellNumber(row, ColFIn, planview::shownMHz(kHz)); }
std::uint32_t gbTableCSS::fIn(int row) const
{
    return planview::storedKHz(static_cast<std::uint32_t>(cellNumber(row, ColFIn)));
}

void gbTableCSS::setPolarization(int row, std::uint8_t polarization)
{
    setComboCellValue(row, ColPolarization, polarization);
}
std::uint32_t gbTableCSS::polarization(int row) const { return comboCellValue(row, ColPolarization); }

void gbTableCSS::setInputPort(int row, std::uint8_t port) { setCellNumber(row, ColInput, planview::shownIndex(port)); }
int gbTableCSS::inputPort(int row) const { return cellNumber(row, ColInput) - 1; }

void gbTableCSS::setIfIn(int row, std::uint32_t kHz) { setKeptKHz(row, ColIfIn, kHz); }
std::uint32_t gbTableCSS::ifIn(int row) const { return keptKHz(row, ColIfIn); }

void gbTableCSS::setOutputPort(int row, std::uint8_t port) { setCellNumber(row, ColOutput, planview::shownIndex(port)); }
int gbTableCSS::outputPort(int row) const { return cellNumber(row, ColOutput) - 1; }

void gbTableCSS::setIfOut(int row, std::uint32_t kHz) { setKeptKHz(row, ColIfOut, kHz); }
std::uint32_t gbTableCSS::ifOut(int row) const { return keptKHz(row, ColIfOut); }

void gbTableCSS::setBandwidth(int row, std::uint32_t kHz) { setKeptKHz(row, ColBandwidth, kHz); }
std::uint32_t gbTableCSS::bandwidth(int row) const { return keptKHz(row, ColBandwidth); }

void gbTableCSS::setLevel(int row, std::uint32_t level) { setCellNumber(row, ColLevel, level); }
int gbTableCSS::level(int row) const { return cellNumber(row, ColLevel); }

void gbTableCSS::setUserBand(int row, std::uint8_t userBand)
{
    setCellNumber(row, ColUserBand, planview::shownIndex(userBand));
}
int gbTableCSS::userBand(int row) const { return cellNumber(row, ColUserBand) - 1; }

void gbTableCSS::setPin(int row, std::uint8_t pin) { setCellNumber(row, ColPin, pin); }
int gbTableCSS::pin(int row) const { return cellNumber(row, ColPin); }

// ---- port records ----

void gbTableCSS::addInput(std::uint8_t mode, std::uint8_t diseqcBank, std::uint8_t lnbLo)
{
    inputs.push_back({mode, diseqcBank, lnbLo});
    spinEditor(ColInput)->setRange(1, inputCount());
}

void gbTableCSS::addOutput(std::uint8_t mode, std::uint8_t loLow, std::uint8_t loHigh)
{
    outputs.push_back({mode, loLow, loHigh});
    spinEditor(ColOutput)->setRange(1, outputCount());
}

void gbTableCSS::setInputInfo(std::uint8_t index, std::uint8_t mode, std::uint8_t diseqcBank,
                              std::uint8_t lnbLo)
{
    if (index >= inputs.size())
        return;
    inputs[index] = {mode, diseqcBank, lnbLo};

    GuardScope guard(updateGuard);
    // F IN stays; a row may move to another input if this one no longer serves it.
    for (int r = 0; r < rowCount(); ++r) {
        if (static_cast<std::uint8_t>(inputPort(r)) == index) {
            deriveFromFIn(r);
            setCellModified(r, ColIfIn, true);
        }
    }
}

int gbTableCSS::inputCount() const { return static_cast<int>(inputs.size()); }
int gbTableCSS::outputCount() const { return static_cast<int>(outputs.size()); }

// ---- row logic ----

void gbTableCSS::applyRowMode(int row)
{
    const auto mode = static_cast<std::uint8_t>(this->mode(row));
    if (mode >= EditableByMode.size())
        return;
    GuardScope guard(updateGuard);
    for (int c = ColFIn; c < ColumnCount; ++c)
        setCellEnabled(row, c, EditableByMode[mode][c - ColFIn]);
}

// key: bit 0 high band, bit 1 horizontal. A wideband input serves both bands.
// No match falls back to the first input.
int gbTableCSS::findInputFor(std::uint8_t key) const
{
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::uint8_t bank = inputs[i].diseqcBank;
        const std::uint8_t compared = (bank & BankWide) ? 0x0E : 0x0F;
        if (((bank ^ key) & compared) == 0)
            return static_cast<int>(i);
    }
    return 0;
}

void gbTableCSS::deriveFromFIn(int row)
{
    const std::uint32_t f = fIn(row);
    if (f == 0 || inputs.empty())
        return;

    const auto key = static_cast<std::uint8_t>(2u * polarization(row) + (f > HighBandStart ? 1u : 0u));
    const int i = findInputFor(key);
    const std::uint8_t loCode = inputs[static_cast<std::size_t>(i)].lnbLo;
    if (!knownLo(loCode))
        return;
    const std::uint32_t lo = loFrequency(loCode);
    // The LO may lie above or below the satellite frequency.
    const std::int64_t difference = static_cast<std::int32_t>(f - lo);
    const auto distance = static_cast<std::uint32_t>(difference < 0 ? -difference : difference);

    GuardScope guard(updateGuard);
    setCellNumber(row, ColInput, static_cast<std::uint32_t>(i) + 1);
    setCellNumber(row, ColIfIn, planview::shownMHz(distance));
}

void gbTableCSS::deriveFromIfIn(int row)
{
    const std::uint32_t g = ifIn(row);
    if (g == 0)
        return;
    // An Input cell beyond the ports present (from a stray image value) derives nothing.
    const auto i = static_cast<std::uint8_t>(inputPort(row));
    if (i >= inputs.size())
        return;

    const InputInfo &input = inputs[i];
    GuardScope guard(updateGuard);
    if (knownLo(input.lnbLo))
        setCellNumber(row, ColFIn, planview::shownMHz(g + loFrequency(input.lnbLo)));
    setComboCellValue(row, ColPolarization, (input.diseqcBank & BankHorizontal) ? 1 : 0);
}

// ---- checks ----

std::vector<ChannelRow> gbTableCSS::ruleRows() const
{
    return channelRows(*this);
}

bool gbTableCSS::markAlarms(int col, const std::vector<bool> &flags)
{
    GuardScope guard(updateGuard);
    bool ok = true;
    for (std::size_t r = 0; r < flags.size(); ++r) {
        setCellAlarm(static_cast<int>(r), col, flags[r]);
        ok = ok && !flags[r];
    }
    return ok;
}

bool gbTableCSS::checkOutputFrequencies()
{
    return markAlarms(ColIfOut, channelrules::outputFrequencyFaults(channelRows(*this), outputs.size()));
}

bool gbTableCSS::checkBandwidths()
{
    return markAlarms(ColBandwidth, channelrules::bandwidthFaults(channelRows(*this)));
}

bool gbTableCSS::checkUserBands()
{
    return markAlarms(ColUserBand, channelrules::userBandFaults(channelRows(*this)));
}

// ---- editing ----

void gbTableCSS::commitEdits()
{
    // Losing focus makes a delegate commit its value and close the editor.
    for (int c = 0; c < ColumnCount; ++c) {
        if (QSpinBox *spin = spinEditor(c))
            spin->clearFocus();
        else if (QComboBox *combo = comboEditor(c))
            combo->clearFocus();
    }
    ui->tableCSS->clearSelection();
}

void gbTableCSS::on_tableCSS_itemChanged(QTableWidgetItem *item)
{
    if (updateGuard != 0)
        return;
    GuardScope guard(updateGuard);
    if (!item || item->tableWidget() != ui->tableCSS)
        return;

    const int r = item->row();
    const int c = item->column();
    // Whatever the user enters replaces the value the cell was filled with.
    item->setData(KeptRole, QVariant());
    switch (c) {
    case ColMode:
        applyRowMode(r);
        checkOutputFrequencies();
        checkBandwidths();
        checkUserBands();
        setCellModified(r, ColMode, true);
        break;
    case ColFIn:
    case ColPolarization:
        deriveFromFIn(r);
        setCellModified(r, c, true);
        setCellModified(r, ColInput, true);
        setCellModified(r, ColIfIn, true);
        break;
    case ColInput:
    case ColIfIn:
        deriveFromIfIn(r);
        setCellModified(r, c, true);
        setCellModified(r, ColFIn, true);
        setCellModified(r, ColPolarization, true);
        break;
    case ColOutput:
    case ColIfOut:
        checkOutputFrequencies();
        setCellModified(r, c, true);
        break;
    case ColBandwidth:
        checkOutputFrequencies();
        checkBandwidths();
        setCellModified(r, ColBandwidth, true);
        break;
    case ColLevel:
    case ColPin:
        setCellModified(r, c, true);
        break;
    case ColUserBand:
        checkUserBands();
        setCellModified(r, ColUserBand, true);
        break;
    default:
        break;
    }
}

// ---- cell operations ----

bool gbTableCSS::validCell(int row, int col) const
{
    return row >= 0 && col >= 0 && row < ui->tableCSS->rowCount() && col < ui->tableCSS->columnCount();
}

QTableWidgetItem *gbTableCSS::cellItem(int row, int col)
{
    QTableWidgetItem *item = ui->tableCSS->item(row, col);
    if (!item) {
        item = new QTableWidgetItem; // owned by the table
        ui->tableCSS->setItem(row, col, item);
    }
    return item;
}

void gbTableCSS::setCellText(int row, int col, const QString &text)
{
    if (!validCell(row, col))
        return;
    if (QTableWidgetItem *item = ui->tableCSS->item(row, col)) {
        if (item->data(KeptRole).isValid()) {
            GuardScope guard(updateGuard);
            item->setData(KeptRole, QVariant());
        }
        item->setText(text);
    }
    else
        ui->tableCSS->setItem(row, col, new QTableWidgetItem(text));
}

QString gbTableCSS::cellText(int row, int col) const
{
    const QTableWidgetItem *item = ui->tableCSS->item(row, col);
    return item ? item->text() : QString();
}

void gbTableCSS::setKeptValue(int row, int col, std::uint32_t value, const QString &text)
{
    setCellText(row, col, text);
    if (!validCell(row, col))
        return;
    GuardScope guard(updateGuard);
    QTableWidgetItem *item = cellItem(row, col);
    item->setData(KeptTextRole, text);
    item->setData(KeptRole, value);
}

std::optional<std::uint32_t> gbTableCSS::keptValue(int row, int col) const
{
    const QTableWidgetItem *item = validCell(row, col) ? ui->tableCSS->item(row, col) : nullptr;
    if (!item || !item->data(KeptRole).isValid() || item->text() != item->data(KeptTextRole).toString())
        return std::nullopt;
    return item->data(KeptRole).toUInt();
}

void gbTableCSS::setKeptKHz(int row, int col, std::uint32_t kHz)
{
    setKeptValue(row, col, kHz, QString::number(static_cast<std::int32_t>(planview::shownMHz(kHz))));
}

std::uint32_t gbTableCSS::keptKHz(int row, int col) const
{
    return keptValue(row, col).value_or(planview::storedKHz(static_cast<std::uint32_t>(cellNumber(row, col))));
}

bool gbTableCSS::hasValue(int row, int col) const
{
    return !cellText(row, col).isEmpty();
}

void gbTableCSS::setCellNumber(int row, int col, std::uint32_t value)
{
    setCellText(row, col, QString::number(static_cast<std::int32_t>(value)));
}

int gbTableCSS::cellNumber(int row, int col) const
{
    return cellText(row, col).toInt(nullptr, 10);
}

void gbTableCSS::setComboCellValue(int row, int col, std::uint8_t value)
{
    const QComboBox *box = comboEditor(col);
    const int found = box ? box->findData(static_cast<int>(value)) : -1;
    setCellText(row, col, found >= 0 ? box->itemText(found) : QString());
}

std::uint32_t gbTableCSS::comboCellValue(int row, int col) const
{
    const QComboBox *box = comboEditor(col);
    if (!box)
        return NoEntry;
    const int found = box->findText(cellText(row, col), Qt::MatchFixedString); // case-insensitive
    if (found < 0)
        return NoEntry;
    bool ok = false;
    const std::uint32_t value = box->itemData(found).toUInt(&ok);
    return ok ? value : NoEntry;
}

void gbTableCSS::setCellEnabled(int row, int col, bool enabled)
{
    if (!validCell(row, col))
        return;
    GuardScope guard(updateGuard);
    QTableWidgetItem *item = cellItem(row, col);
    item->setFlags(enabled ? item->flags() | Qt::ItemIsEnabled : item->flags() & ~Qt::ItemIsEnabled);
    item->setBackground(enabled ? QBrush(Qt::white) : QBrush(Qt::lightGray));
}

void gbTableCSS::setCellAlarm(int row, int col, bool alarm)
{
    if (!validCell(row, col))
        return;
    GuardScope guard(updateGuard);
    QTableWidgetItem *item = cellItem(row, col);
    if (alarm)
        item->setForeground(QBrush(Qt::red));
    else
        item->setData(Qt::ForegroundRole, QVariant());
}

void gbTableCSS::setCellModified(int row, int col, bool modified)
{
    if (!validCell(row, col))
        return;
    GuardScope guard(updateGuard);
    QTableWidgetItem *item = cellItem(row, col);
    QFont font = item->font();
    font.setWeight(modified ? QFont::Bold : QFont::Normal);
    item->setFont(font);
}
