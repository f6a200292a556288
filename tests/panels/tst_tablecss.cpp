#include "panels/gbtablecss.h"

#include <QComboBox>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

using Inputs = QVector<QPair<int, int>>; // DiSEqC bank word, LO code
using T = gbTableCSS;

namespace {

struct Channel {
    std::uint8_t mode, input;
    std::uint32_t ifInMHz;
    std::uint8_t output;
    std::uint32_t ifOutMHz, bandwidthMHz;
    std::uint8_t userBand;
};

QTableWidget *view(const gbTableCSS &table)
{
    return table.findChild<QTableWidget *>(QStringLiteral("tableCSS"));
}

void addInputs(gbTableCSS &table, const Inputs &inputs)
{
    for (const auto &input : inputs)
        table.addInput(1, std::uint8_t(input.first), std::uint8_t(input.second));
}

// Fills the way the image loader does: guard raised, no checks.
void fill(gbTableCSS &table, const std::vector<Channel> &rows)
{
    ++table.updateGuard;
    table.setRowCount(int(rows.size()));
    for (int r = 0; r < table.rowCount(); ++r) {
        const Channel &ch = rows[std::size_t(r)];
        table.setMode(r, ch.mode);
        table.applyRowMode(r);
        table.setInputPort(r, ch.input);
        table.setIfIn(r, ch.ifInMHz * 1000);
        table.deriveFromIfIn(r);
        table.setOutputPort(r, ch.output);
        table.setIfOut(r, ch.ifOutMHz * 1000);
        table.setBandwidth(r, ch.bandwidthMHz * 1000);
        table.setLevel(r, 80);
        table.setUserBand(r, ch.userBand);
        table.setPin(r, 0);
    }
    --table.updateGuard;
}

// Vertical and horizontal input (9750 MHz), one output; rows 0 and 1
// overlap, row 4 has a fifth bandwidth, row 1 a user band SCR cannot carry.
void fillFaultyPlan(gbTableCSS &table)
{
    addInputs(table, {{0x00, 2}, {0x02, 2}});
    table.addOutput(1, 2, 4);
    fill(table, {{1, 0, 1250, 0, 1000, 36, 0},
                 {2, 0, 0, 0, 1035, 40, 10},
                 {1, 1, 1300, 0, 1200, 20, 0},
                 {1, 0, 1400, 0, 1400, 25, 0},
                 {1, 0, 1500, 0, 1600, 30, 0}});
}

// "row:col" of every cell in that state, sorted.
QString cellsWhere(const gbTableCSS &table, bool (*state)(const QTableWidgetItem *))
{
    QStringList cells;
    const QTableWidget *tw = view(table);
    for (int r = 0; r < tw->rowCount(); ++r)
        for (int c = 0; c < tw->columnCount(); ++c)
            if (const QTableWidgetItem *item = tw->item(r, c); item && state(item))
                cells << QString("%1:%2").arg(r).arg(c);
    return cells.join(' ');
}

QString bold(const gbTableCSS &table)
{
    return cellsWhere(table, [](const QTableWidgetItem *item) { return item->font().bold(); });
}

QString alarms(const gbTableCSS &table)
{
    return cellsWhere(table, [](const QTableWidgetItem *item) {
        return item->data(Qt::ForegroundRole).isValid() && item->foreground().color() == Qt::red;
    });
}

void setGuarded(gbTableCSS &table, int row, int col, const QString &text)
{
    ++table.updateGuard;
    table.setCellText(row, col, text);
    --table.updateGuard;
}

// The current cell is set before showing, so taking the focus opens no
// editor of its own; then that cell is edited.
QModelIndex showAndEdit(gbTableCSS &table, int row, int col)
{
    QTableWidget *tw = view(table);
    tw->setCurrentCell(row, col);
    table.show();
    if (!QTest::qWaitForWindowActive(&table))
        return {};
    tw->edit(tw->model()->index(row, col));
    return tw->model()->index(row, col);
}

} // namespace

class TestTableCSS : public QObject
{
    Q_OBJECT

private slots:
    void fillingRunsNoReaction();
    void userEdit_data();
    void userEdit();
    void derivation_data();
    void derivation();
    void setInputInfo_data();
    void setInputInfo();
    void modeEnablesCells_data();
    void modeEnablesCells();
    void spinEditor();
    void comboEditor();
};

void TestTableCSS::fillingRunsNoReaction()
{
    gbTableCSS table;
    fillFaultyPlan(table);
    QCOMPARE(table.cellText(2, T::ColFIn) + ' ' + table.cellText(2, T::ColPolarization), QString("11050 Horizontal"));
    QCOMPARE(table.cellText(1, T::ColFIn), QString()); // IF IN 0 derives nothing

    ++table.updateGuard;
    table.setFIn(0, 12000000);
    table.setIfOut(3, 1010000);
    --table.updateGuard;
    QCOMPARE(table.cellText(0, T::ColIfIn), QString("1250"));
    QCOMPARE(bold(table), QString());
    QCOMPARE(alarms(table), QString());

    QVERIFY(!table.checkOutputFrequencies());
    QVERIFY(!table.checkBandwidths());
    QVERIFY(!table.checkUserBands());
    QCOMPARE(alarms(table), QString("0:6 1:6 1:9 3:6 4:7"));
    QCOMPARE(bold(table), QString()); // marking is no edit

    // Values read back from the cell texts.
    QCOMPARE(view(table)->rowHeight(4), 20);
    ++table.updateGuard;
    table.setIfIn(4, 1234567);
    QCOMPARE(table.cellText(4, T::ColIfIn) + ' ' + QString::number(table.ifIn(4)), QString("1234 1234000"));
    table.setMode(4, 9);
    QCOMPARE(table.cellText(4, T::ColMode), QString());
    QCOMPARE(table.mode(4), 0xFFFFFFFFu);
    table.setRowCount(6);
    QCOMPARE(QString("%1 %2 %3").arg(table.inputPort(5)).arg(table.userBand(5)).arg(table.ifOut(5)), QString("-1 -1 0"));
    --table.updateGuard;
}

void TestTableCSS::userEdit_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("boldCells");
    QTest::addColumn<QString>("alarmCells");

    QTest::newRow("Mode") << 2 << int(T::ColMode) << "SCD2" << "2:0" << "0:6 1:6 1:9 4:7";
    QTest::newRow("F IN") << 0 << int(T::ColFIn) << "11800" << "0:1 0:3 0:4" << "";
    QTest::newRow("Polarization") << 0 << int(T::ColPolarization) << "Horizontal" << "0:2 0:3 0:4" << "";
    QTest::newRow("Input") << 0 << int(T::ColInput) << "2" << "0:1 0:2 0:3" << "";
    QTest::newRow("IF IN") << 0 << int(T::ColIfIn) << "1300" << "0:1 0:2 0:4" << "";
    QTest::newRow("Output") << 2 << int(T::ColOutput) << "2" << "2:5" << "0:6 1:6";
    QTest::newRow("IF OUT") << 4 << int(T::ColIfOut) << "1700" << "4:6" << "0:6 1:6";
    QTest::newRow("Bandwidth") << 3 << int(T::ColBandwidth) << "26" << "3:7" << "0:6 1:6 4:7";
    QTest::newRow("Level") << 0 << int(T::ColLevel) << "90" << "0:8" << "";
    QTest::newRow("UserBand") << 1 << int(T::ColUserBand) << "12" << "1:9" << "1:9";
    QTest::newRow("PIN") << 1 << int(T::ColPin) << "3" << "1:10" << "";
}

void TestTableCSS::userEdit()
{
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(QString, text);
    QFETCH(QString, boldCells);
    QFETCH(QString, alarmCells);

    gbTableCSS table;
    fillFaultyPlan(table);
    table.setCellText(row, col, text);
    QCOMPARE(table.cellText(row, col), text);
    QCOMPARE(bold(table), boldCells);
    QCOMPARE(alarms(table), alarmCells);
    QCOMPARE(table.updateGuard, 0);

    // Correcting the faults and editing again clears the marks.
    if (QTest::currentDataTag() == QLatin1String("Bandwidth")) {
        setGuarded(table, 1, T::ColIfOut, "1100");
        table.setCellText(4, T::ColBandwidth, "36");
        QCOMPARE(alarms(table), QString());
    }
}

void TestTableCSS::derivation_data()
{
    QTest::addColumn<Inputs>("inputs");
    QTest::addColumn<QString>("start"); // F IN, Polarization, Input, IF IN; '-' empty
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cells");

    const Inputs vh{{0x00, 2}, {0x02, 2}}, lowHigh{{0x00, 2}, {0x01, 3}};
    const int fIn = T::ColFIn, input = T::ColInput, ifIn = T::ColIfIn;
    // Editing F IN or Polarization picks the input and computes IF IN.
    const QString s1 = "1 Vertical 9 7";
    QTest::newRow("vertical") << vh << s1 << fIn << "11000" << "11000 Vertical 1 1250";
    QTest::newRow("horizontal") << vh << "11000 Vertical 9 7" << int(T::ColPolarization) << "Horizontal"
                                << "11000 Horizontal 2 1250";
    QTest::newRow("11700 is low band") << lowHigh << s1 << fIn << "11700" << "11700 Vertical 1 1950";
    QTest::newRow("11701 is high band") << lowHigh << s1 << fIn << "11701" << "11701 Vertical 2 1701";
    QTest::newRow("wideband, high band") << Inputs{{0x00, 4}, {0x10, 2}} << s1 << fIn << "12000" << "12000 Vertical 2 2250";
    QTest::newRow("wideband, low band") << Inputs{{0x01, 4}, {0x10, 3}} << s1 << fIn << "11000" << "11000 Vertical 2 1000";
    QTest::newRow("satellite B never chosen") << Inputs{{0x04, 3}, {0x00, 2}} << s1 << fIn << "11000"
                                              << "11000 Vertical 2 1250";
    QTest::newRow("none serving: first input") << Inputs{{0x06, 2}, {0x01, 4}} << s1 << fIn << "11000"
                                               << "11000 Vertical 1 1250";
    for (int code : {0, 1, 13, 16, 21})
        QTest::addRow("LO code %d", code) << Inputs{{0x00, code}} << s1 << fIn << "11000" << "11000 Vertical 1 11000";
    QTest::newRow("LO above F IN") << Inputs{{0x00, 9}} << s1 << fIn << "11000" << "11000 Vertical 1 9250";
    QTest::newRow("F IN, no inputs") << Inputs{} << s1 << fIn << "11000" << "11000 Vertical 9 7";
    QTest::newRow("F IN 0") << vh << s1 << fIn << "0" << "0 Vertical 9 7";
    // Editing Input or IF IN computes F IN and Polarization.
    const QString s2 = "1 - 1 7";
    QTest::newRow("horizontal input") << vh << "1 - 9 1250" << input << "2" << "11000 Horizontal 2 1250";
    QTest::newRow("IF IN, vertical input") << vh << s2 << ifIn << "1250" << "11000 Vertical 1 1250";
    QTest::newRow("LO above band still adds") << Inputs{{0x02, 9}} << s2 << ifIn << "1000" << "21250 Horizontal 1 1000";
    QTest::newRow("LO without frequency") << Inputs{{0x03, 16}} << s2 << ifIn << "1250" << "1250 Horizontal 1 1250";
    QTest::newRow("Input beyond ports") << vh << "1 - 9 1250" << input << "3" << "1 - 3 1250";
    QTest::newRow("Input 0") << vh << "1 - 9 1250" << input << "0" << "1 - 0 1250";
    QTest::newRow("Input empty") << vh << "1 - 9 1250" << input << "" << "1 - - 1250";
    QTest::newRow("IF IN, no inputs") << Inputs{} << s2 << ifIn << "1250" << "1 - 1 1250";
    QTest::newRow("IF IN 0") << vh << s2 << ifIn << "0" << "1 - 1 0";
}

void TestTableCSS::derivation()
{
    QFETCH(Inputs, inputs);
    QFETCH(QString, start);
    QFETCH(int, col);
    QFETCH(QString, text);
    QFETCH(QString, cells);

    gbTableCSS table;
    addInputs(table, inputs);
    table.setRowCount(1);
    const QStringList values = start.split(' ');
    for (int c = T::ColFIn; c <= T::ColIfIn; ++c)
        setGuarded(table, 0, c, values[c - T::ColFIn] == "-" ? QString() : values[c - T::ColFIn]);
    table.setCellText(0, col, text);
    QStringList now;
    for (int c = T::ColFIn; c <= T::ColIfIn; ++c)
        now << (table.cellText(0, c).isEmpty() ? "-" : table.cellText(0, c));
    QCOMPARE(now.join(' '), cells);
}

void TestTableCSS::setInputInfo_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("bank");
    QTest::addColumn<int>("lo");
    QTest::addColumn<QString>("rows"); // Input and IF IN of rows 0 and 1
    QTest::addColumn<QString>("boldCells");

    QTest::newRow("input stops serving the row") << 0 << 0x01 << 2 << "2 1000 | 2 5" << "0:4";
    QTest::newRow("new LO") << 0 << 0x00 << 4 << "1 400 | 2 5" << "0:4";
    QTest::newRow("other input") << 1 << 0x10 << 2 << "1 1250 | 1 1250" << "1:4";
    QTest::newRow("index beyond inputs") << 2 << 0x01 << 4 << "1 1250 | 2 5" << "";
}

void TestTableCSS::setInputInfo()
{
    QFETCH(int, index);
    QFETCH(int, bank);
    QFETCH(int, lo);
    QFETCH(QString, rows);
    QFETCH(QString, boldCells);

    gbTableCSS table;
    addInputs(table, {{0x00, 2}, {0x10, 3}});
    table.setRowCount(2);
    const QStringList start{"1", "1250", "2", "5"};
    for (int r = 0; r < 2; ++r) {
        setGuarded(table, r, T::ColPolarization, "Vertical");
        setGuarded(table, r, T::ColFIn, "11000");
        setGuarded(table, r, T::ColInput, start[2 * r]);
        setGuarded(table, r, T::ColIfIn, start[2 * r + 1]);
    }

    table.setInputInfo(std::uint8_t(index), 1, std::uint8_t(bank), std::uint8_t(lo));
    auto row = [&](int r) { return table.cellText(r, T::ColInput) + ' ' + table.cellText(r, T::ColIfIn); };
    QCOMPARE(row(0) + " | " + row(1), rows);
    QCOMPARE(table.cellText(0, T::ColFIn), QString("11000"));
    QCOMPARE(bold(table), boldCells);
    QCOMPARE(table.updateGuard, 0);
}

void TestTableCSS::modeEnablesCells_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("enabled");

    QTest::newRow("OFF") << "OFF" << "0";
    QTest::newRow("STATIC") << "STATIC" << "0 1 2 3 4 5 6 7 8";
    for (const char *mode : {"SCR", "SCD2", "SCR/SCD2", "BSKYB"})
        QTest::newRow(mode) << mode << "0 5 6 7 8 9 10";
    QTest::newRow("TONE") << "TONE" << "0 5 6";
    QTest::newRow("lower case tone") << "tone" << "0 5 6";
    QTest::newRow("unknown text changes nothing") << "bogus" << "0 5 6 7 8 9 10";
}

void TestTableCSS::modeEnablesCells()
{
    QFETCH(QString, mode);
    QFETCH(QString, enabled);

    gbTableCSS table;
    addInputs(table, {{0x00, 2}});
    table.addOutput(1, 2, 4);
    fill(table, {{2, 0, 1250, 0, 1000, 36, 3}});
    QStringList texts, after, enabledCols;
    for (int c = 1; c < T::ColumnCount; ++c)
        texts << table.cellText(0, c);

    table.setCellText(0, T::ColMode, mode);
    for (int c = 0; c < T::ColumnCount; ++c) {
        const QTableWidgetItem *item = view(table)->item(0, c);
        const bool on = item->flags() & Qt::ItemIsEnabled;
        if (on)
            enabledCols << QString::number(c);
        if (c > 0) {
            QCOMPARE(item->background().color(), on ? QColor(Qt::white) : QColor(Qt::lightGray));
            after << table.cellText(0, c);
        }
    }
    QCOMPARE(enabledCols.join(' '), enabled);
    QCOMPARE(after, texts);
}

void TestTableCSS::spinEditor()
{
    gbTableCSS table;
    fillFaultyPlan(table);
    table.setIfOutMinimum(950000);
    table.setIfOutMaximum(2150000);
    setGuarded(table, 3, T::ColInput, "abc");
    QVERIFY(showAndEdit(table, 4, T::ColIfOut).isValid());

    QTableWidget *tw = view(table);
    QSpinBox *spin = table.spinEditor(T::ColIfOut);
    QVERIFY(spin->isVisible());
    QCOMPARE(spin->parentWidget(), tw->viewport());
    QCOMPARE(spin->value(), 1600);
    QTRY_VERIFY(spin->hasFocus());
    spin->selectAll();
    QTest::keyClicks(spin, "1010");
    table.commitEdits();
    QVERIFY(!spin->isVisible());
    QCOMPARE(table.cellText(4, T::ColIfOut), QString("1010"));
    QCOMPARE(bold(table), QString("4:6"));
    QCOMPARE(alarms(table), QString("0:6 1:6 4:6")); // now overlaps row 0

    // A click elsewhere opens the column's widget there; no number opens at the minimum.
    tw->setCurrentCell(3, T::ColInput);
    QSpinBox *input = table.spinEditor(T::ColInput);
    QVERIFY(input->isVisible());
    QCOMPARE(input->value(), 1);
}

void TestTableCSS::comboEditor()
{
    gbTableCSS table;
    fillFaultyPlan(table);
    setGuarded(table, 1, T::ColMode, "bogus");
    const QModelIndex index = showAndEdit(table, 0, T::ColMode);
    QVERIFY(index.isValid());

    QTableWidget *tw = view(table);
    QComboBox *box = table.comboEditor(T::ColMode);
    QVERIFY(box->isVisible());
    QVERIFY(box->view()->isVisible()); // the list opens with the editor
    QCOMPARE(box->currentText(), QString("STATIC"));
    box->hidePopup();
    tw->itemDelegateForColumn(T::ColMode)->setEditorData(box, index);
    QVERIFY(!box->view()->isVisible()); // not reopened while the editor shows

    box->setCurrentIndex(box->findText("TONE"));
    QTRY_VERIFY(box->hasFocus());
    table.commitEdits();
    QVERIFY(!box->isVisible());
    QCOMPARE(table.mode(0), 6u);
    QVERIFY(!(tw->item(0, T::ColBandwidth)->flags() & Qt::ItemIsEnabled));
    QCOMPARE(table.cellText(0, T::ColBandwidth), QString("36"));

    // Unknown text: nothing selected, committing writes an empty text.
    tw->setCurrentCell(1, T::ColMode);
    QCOMPARE(box->currentIndex(), -1);
    box->hidePopup();
    QTRY_VERIFY(box->hasFocus());
    table.commitEdits();
    QCOMPARE(table.cellText(1, T::ColMode), QString());
}

QTEST_MAIN(TestTableCSS)
#include "tst_tablecss.moc"
