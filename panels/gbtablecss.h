#ifndef OSTREL_PANELS_GBTABLECSS_H
#define OSTREL_PANELS_GBTABLECSS_H

#include "plan/channelrules.h"

#include <QGroupBox>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class ComboBoxDelegate;
class QComboBox;
class QHBoxLayout;
class QSpinBox;
class QStyledItemDelegate;
class QTableWidget;
class QTableWidgetItem;
class SpinBoxDelegate;

// Copy of one input port's settings: enough to turn F IN into IF IN and back.
struct InputInfo {
    std::uint8_t mode = 0;
    std::uint8_t diseqcBank = 0;
    std::uint8_t lnbLo = 0;
};

// Copy of one output port's settings; only their number matters here.
struct OutputInfo {
    std::uint8_t mode = 0;
    std::uint8_t loLow = 0;
    std::uint8_t loHigh = 0;
};

// The CSS channel plan: one row per channel. Cells hold display text only and
// every value is parsed from it when read.
class gbTableCSS : public QGroupBox
{
    Q_OBJECT

public:
    enum Column {
        ColMode,
        ColFIn,
        ColPolarization,
        ColInput,
        ColIfIn,
        ColOutput,
        ColIfOut,
        ColBandwidth,
        ColLevel,
        ColUserBand,
        ColPin,
        ColumnCount
    };

    static constexpr std::uint32_t NoEntry = 0xFFFFFFFF;

    explicit gbTableCSS(QWidget *parent = nullptr);
    ~gbTableCSS() override;

    // While not 0, cell changes run none of the edit reactions.
    std::int32_t updateGuard = 0;

    int rowCount() const;
    void setRowCount(int n);

    // Editor limits in image units (kHz; Level unscaled).
    void setFInMinimum(std::uint32_t kHz);
    void setFInMaximum(std::uint32_t kHz);
    std::uint32_t fInMinimum() const;
    std::uint32_t fInMaximum() const;
    void setIfInMinimum(std::uint32_t kHz);
    void setIfInMaximum(std::uint32_t kHz);
    std::uint32_t ifInMinimum() const;
    std::uint32_t ifInMaximum() const;
    void setIfOutMinimum(std::uint32_t kHz);
    void setIfOutMaximum(std::uint32_t kHz);
    std::uint32_t ifOutMinimum() const;
    std::uint32_t ifOutMaximum() const;
    void setBandwidthMinimum(std::uint32_t kHz);
    void setBandwidthMaximum(std::uint32_t kHz);
    std::uint32_t bandwidthMinimum() const;
    std::uint32_t bandwidthMaximum() const;
    void setLevelMinimum(int level);
    void setLevelMaximum(int level);
    int levelMinimum() const;
    int levelMaximum() const;

    // Channel fields in image units. With updateGuard at 0 a setter counts as
    // a user edit and runs its reactions. Mode, IF IN, IF OUT and Bandwidth
    // keep the exact value they were set to (a code no list knows, kHz below
    // a whole MHz) until the cell is edited or derived anew.
    void setMode(int row, std::uint8_t mode);
    std::uint32_t mode(int row) const;
    void setFIn(int row, std::uint32_t kHz);
    std::uint32_t fIn(int row) const;
    void setPolarization(int row, std::uint8_t polarization);
    std::uint32_t polarization(int row) const;
    void setInputPort(int row, std::uint8_t port);
    int inputPort(int row) const;
    void setIfIn(int row, std::uint32_t kHz);
    std::uint32_t ifIn(int row) const;
    void setOutputPort(int row, std::uint8_t port);
    int outputPort(int row) const;
    void setIfOut(int row, std::uint32_t kHz);
    std::uint32_t ifOut(int row) const;
    void setBandwidth(int row, std::uint32_t kHz);
    std::uint32_t bandwidth(int row) const;
    void setLevel(int row, std::uint32_t level);
    int level(int row) const;
    void setUserBand(int row, std::uint8_t userBand);
    int userBand(int row) const;
    void setPin(int row, std::uint8_t pin);
    int pin(int row) const;

    void addInput(std::uint8_t mode, std::uint8_t diseqcBank, std::uint8_t lnbLo);
    void addOutput(std::uint8_t mode, std::uint8_t loLow, std::uint8_t loHigh);
    // Replaces an input's copy and re-derives the rows on that input.
    void setInputInfo(std::uint8_t index, std::uint8_t mode, std::uint8_t diseqcBank,
                      std::uint8_t lnbLo);
    int inputCount() const;
    int outputCount() const;

    void applyRowMode(int row);
    void deriveFromFIn(int row);
    void deriveFromIfIn(int row);

    // What the channel plan rules look at, one entry per row.
    std::vector<channelrules::ChannelRow> ruleRows() const;

    // Channel plan checks: mark the offending cells red, true when all is well.
    bool checkOutputFrequencies();
    bool checkBandwidths();
    bool checkUserBands();

    // Ends a cell edit in progress (committing it) and clears the selection.
    void commitEdits();

    // Cell operations.
    void setCellText(int row, int col, const QString &text);
    QString cellText(int row, int col) const;
    void setCellNumber(int row, int col, std::uint32_t value);
    int cellNumber(int row, int col) const;
    void setComboCellValue(int row, int col, std::uint8_t value);
    std::uint32_t comboCellValue(int row, int col) const;
    void setCellEnabled(int row, int col, bool enabled);
    void setCellAlarm(int row, int col, bool alarm);
    void setCellModified(int row, int col, bool modified);
    // False for a cell never filled (a row ended early, rows beyond the image's).
    bool hasValue(int row, int col) const;

    QSpinBox *spinEditor(int col) const;   // null for combo columns
    QComboBox *comboEditor(int col) const; // null for spin box columns

private slots:
    void on_tableCSS_itemChanged(QTableWidgetItem *item);

private:
    struct Widgets {
        QHBoxLayout *horizontalLayout = nullptr;
        QTableWidget *tableCSS = nullptr;
    };

    int findInputFor(std::uint8_t key) const;
    bool validCell(int row, int col) const;
    QTableWidgetItem *cellItem(int row, int col);
    bool markAlarms(int col, const std::vector<bool> &flags);
    void setKHz(int col, bool maximum, std::uint32_t kHz);
    std::uint32_t kHzLimit(int col, bool maximum) const;
    void setKeptValue(int row, int col, std::uint32_t value, const QString &text);
    std::optional<std::uint32_t> keptValue(int row, int col) const;
    void setKeptKHz(int row, int col, std::uint32_t kHz);
    std::uint32_t keptKHz(int row, int col) const;

    std::unique_ptr<Widgets> ui;
    std::vector<InputInfo> inputs;
    std::vector<OutputInfo> outputs;
    std::array<std::unique_ptr<QStyledItemDelegate>, ColumnCount> delegates;
};

#endif
