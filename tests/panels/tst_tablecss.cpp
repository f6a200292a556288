#include "../common/tablefill.h"
#include "panels/gbtablecss.h"

#include <QComboBox>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

using T = gbTableCSS;

namespace {

// Vertical and horizontal input (9750 MHz), one output; rows 0 and 1
// overlap, row 4 has a fifth bandwidth, row 1 a user band SCR cannot carry.
void fillFaultyPlan(gbTableCSS &table)
{
    table.addOutput(1, 2, 4);
    fill(table, {{0x00, 2}, {0x02, 2}},
         {{1, 0, 1250, 0, 1000, 36, 0}, {2, 0, 0, 0, 1035, 40, 10}, {1, 1, 1300, 0, 1200, 20, 0},
          {1, 0, 1400, 0, 1400, 25, 0}, {1, 0, 1500, 0, 1600, 30, 0}});
}

// "row:col" of the cells drawn bold (edited) and red (breaking a rule).
QString marks(const gbTableCSS &table)
{
    QStringList bold, red;
    const auto *tw = table.findChild<QTableWidget *>();
    for (int r = 0; r < tw->rowCount(); ++r)
        for (int c = 0; c < tw->columnCount(); ++c)
            if (const QTableWidgetItem *item = tw->item(r, c)) {
                const QString cell = QString("%1:%2").arg(r).arg(c);
                if (item->font().bold())
                    bold << cell;
                if (item->foreground().color() == Qt::red)
                    red << cell;
            }
    return QString("bold(%1) red(%2)").arg(bold.join(' '), red.join(' '));
}

// Texts of cells from..to of a row, '-' for an empty one.
QString texts(const gbTableCSS &table, int row, int from, int to)
{
    QStringList cells;
    for (int c = from; c <= to; ++c)
        cells << (table.cellText(row, c).isEmpty() ? "-" : table.cellText(row, c));
    return cells.join(' ');
}

} // namespace

class TestTableCSS : public QObject
{
    Q_OBJECT

private slots:
    // Filling the faulty plan, then a user edit of one cell.
    void userEdit_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("marked");

        const QString faults = " red(0:6 1:6 1:9 4:7)";
        QTest::newRow("Mode") << 1 << int(T::ColMode) << "OFF" << "bold(1:0) red()";
        QTest::newRow("F IN") << 0 << int(T::ColFIn) << "11800" << "bold(0:1 0:3 0:4)" + faults;
        QTest::newRow("Polarization") << 0 << int(T::ColPolarization) << "Horizontal" << "bold(0:2 0:3 0:4)" + faults;
        QTest::newRow("Input") << 0 << int(T::ColInput) << "2" << "bold(0:1 0:2 0:3)" + faults;
        QTest::newRow("IF IN") << 0 << int(T::ColIfIn) << "1300" << "bold(0:1 0:2 0:4)" + faults;
        QTest::newRow("Output") << 1 << int(T::ColOutput) << "2" << "bold(1:5) red(1:9 4:7)";
        QTest::newRow("IF OUT") << 4 << int(T::ColIfOut) << "1010" << "bold(4:6) red(0:6 1:6 1:9 4:6 4:7)";
        QTest::newRow("Bandwidth") << 1 << int(T::ColBandwidth) << "30" << "bold(1:7) red(1:9)";
        QTest::newRow("Level") << 0 << int(T::ColLevel) << "90" << "bold(0:8)" + faults;
        QTest::newRow("UserBand") << 1 << int(T::ColUserBand) << "8" << "bold(1:9) red(0:6 1:6 4:7)";
        QTest::newRow("PIN") << 1 << int(T::ColPin) << "3" << "bold(1:10)" + faults;
    }

    void userEdit()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(QString, text);
        QFETCH(QString, marked);

        gbTableCSS table;
        fillFaultyPlan(table);
        // Filling ran no reaction; run directly, the checks find the faults and mark no edit.
        QCOMPARE(marks(table), QString("bold() red()"));
        QVERIFY(!table.checkOutputFrequencies());
        QVERIFY(!table.checkBandwidths());
        QVERIFY(!table.checkUserBands());
        QCOMPARE(marks(table), QString("bold() red(0:6 1:6 1:9 4:7)"));
        table.setCellText(row, col, text);
        QCOMPARE(table.cellText(row, col), text);
        QCOMPARE(marks(table), marked);
        QCOMPARE(table.updateGuard, 0);
    }

    void derivation_data()
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
        QTest::newRow("horizontal") << vh << "11000 Vertical 9 7" << int(T::ColPolarization) << "Horizontal" << "11000 Horizontal 2 1250";
        QTest::newRow("11700 is low band") << lowHigh << s1 << fIn << "11700" << "11700 Vertical 1 1950";
        QTest::newRow("11701 is high band") << lowHigh << s1 << fIn << "11701" << "11701 Vertical 2 1701";
        QTest::newRow("wideband, high band") << Inputs{{0x00, 4}, {0x10, 2}} << s1 << fIn << "12000" << "12000 Vertical 2 2250";
        QTest::newRow("wideband, low band, polarization kept") << Inputs{{0x12, 4}, {0x10, 3}} << s1 << fIn << "11000" << "11000 Vertical 2 1000";
        QTest::newRow("satellite B never chosen") << Inputs{{0x04, 3}, {0x00, 2}} << s1 << fIn << "11000" << "11000 Vertical 2 1250";
        QTest::newRow("none serving: first input") << Inputs{{0x06, 2}, {0x01, 4}} << s1 << fIn << "11000" << "11000 Vertical 1 1250";
        for (int code : {0, 16})
            QTest::addRow("LO code %d", code) << Inputs{{0x00, code}} << s1 << fIn << "11000" << "11000 Vertical 1 11000";
        for (int code : {1, 13, 21, 255})
            QTest::addRow("unknown LO code %d", code) << Inputs{{0x00, code}} << s1 << fIn << "11000" << "11000 Vertical 9 7";
        QTest::newRow("LO above F IN") << Inputs{{0x00, 9}} << s1 << fIn << "11000" << "11000 Vertical 1 9250";
        QTest::newRow("F IN, no inputs") << Inputs{} << s1 << fIn << "11000" << "11000 Vertical 9 7";
        QTest::newRow("F IN 0") << vh << s1 << fIn << "0" << "0 Vertical 9 7";
        // Editing Input or IF IN computes F IN and Polarization.
        const QString s2 = "1 - 1 7";
        QTest::newRow("horizontal input") << vh << "1 - 9 1250" << input << "2" << "11000 Horizontal 2 1250";
        QTest::newRow("IF IN, vertical input") << vh << s2 << ifIn << "1250" << "11000 Vertical 1 1250";
        QTest::newRow("LO above band still adds") << Inputs{{0x02, 9}} << s2 << ifIn << "1000" << "21250 Horizontal 1 1000";
        QTest::newRow("LO without frequency") << Inputs{{0x03, 16}} << s2 << ifIn << "1250" << "1250 Horizontal 1 1250";
        QTest::newRow("unknown LO: no F IN") << Inputs{{0x03, 255}} << s2 << ifIn << "1250" << "1 Horizontal 1 1250";
        QTest::newRow("Input beyond ports") << vh << "1 - 9 1250" << input << "3" << "1 - 3 1250";
        QTest::newRow("Input 0") << vh << "1 - 9 1250" << input << "0" << "1 - 0 1250";
        QTest::newRow("IF IN 0") << vh << s2 << ifIn << "0" << "1 - 1 0";
    }

    void derivation()
    {
        QFETCH(Inputs, inputs);
        QFETCH(QString, start);
        QFETCH(int, col);
        QFETCH(QString, text);
        QFETCH(QString, cells);

        gbTableCSS table;
        fill(table, inputs, {});
        table.setRowCount(1); // empty row
        const QStringList values = start.split(' ');
        ++table.updateGuard;
        for (int c = T::ColFIn; c <= T::ColIfIn; ++c)
            table.setCellText(0, c, values[c - T::ColFIn] == "-" ? QString() : values[c - T::ColFIn]);
        --table.updateGuard;
        table.setCellText(0, col, text);
        QCOMPARE(texts(table, 0, T::ColFIn, T::ColIfIn), cells);
    }

    void setInputInfoRederivesItsRows()
    {
        gbTableCSS table;
        fill(table, {{0x00, 2}, {0x10, 3}}, // 9750 MHz vertical low band; 10000 MHz wideband
             {{1, 0, 1250, 0, 1000, 36, 0}, {1, 1, 1000, 0, 1100, 36, 0}});
        const auto rows = [&] {
            return texts(table, 0, T::ColFIn, T::ColIfIn) + " | " + texts(table, 1, T::ColFIn, T::ColIfIn);
        };
        table.setInputInfo(2, 1, 0x01, 4); // no such input
        QCOMPARE(rows(), QString("11000 Vertical 1 1250 | 11000 Vertical 2 1000"));
        table.setInputInfo(0, 1, 0x00, 4); // new LO: only its rows, F IN kept
        QCOMPARE(rows(), QString("11000 Vertical 1 400 | 11000 Vertical 2 1000"));
        QCOMPARE(marks(table), QString("bold(0:4) red()"));
        table.setInputInfo(0, 1, 0x01, 4); // no longer serving the row: it moves
        QCOMPARE(rows(), QString("11000 Vertical 2 1000 | 11000 Vertical 2 1000"));
        QCOMPARE(table.updateGuard, 0);
    }

    void modeEnablesCells_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("enabled");

        QTest::newRow("OFF") << "OFF" << "0";
        QTest::newRow("STATIC") << "STATIC" << "0 1 2 3 4 5 6 7 8";
        for (const char *mode : {"SCR", "SCD2", "SCR/SCD2", "BSKYB"})
            QTest::newRow(mode) << mode << "0 5 6 7 8 9 10";
        QTest::newRow("TONE") << "TONE" << "0 5 6";
        QTest::newRow("unknown text changes nothing") << "bogus" << "0 1 2 3 4 5 6 7 8";
    }

    void modeEnablesCells()
    {
        QFETCH(QString, mode);
        QFETCH(QString, enabled);

        gbTableCSS table;
        fillFaultyPlan(table); // row 0 is STATIC
        const QString before = texts(table, 0, T::ColFIn, T::ColPin);
        QStringList on;
        table.setCellText(0, T::ColMode, mode);
        for (int c = 0; c < T::ColumnCount; ++c) {
            const QTableWidgetItem *item = table.findChild<QTableWidget *>()->item(0, c);
            const bool isOn = item->flags() & Qt::ItemIsEnabled;
            if (isOn)
                on << QString::number(c);
            if (c > 0) // disabled cells are shaded
                QCOMPARE(item->background().color(), QColor(isOn ? Qt::white : Qt::lightGray));
        }
        QCOMPARE(on.join(' '), enabled);
        QCOMPARE(texts(table, 0, T::ColFIn, T::ColPin), before);
    }

    void editingThroughDelegates()
    {
        gbTableCSS table;
        fillFaultyPlan(table);
        table.setIfOutMaximum(2150000);
        ++table.updateGuard;
        table.setMode(1, 9); // no such mode
        --table.updateGuard;
        // Current cell set before showing, so taking the focus opens no editor of its own.
        auto *tw = table.findChild<QTableWidget *>();
        tw->setCurrentCell(4, T::ColIfOut);
        table.show();
        QVERIFY(QTest::qWaitForWindowActive(&table));

        tw->edit(tw->currentIndex());
        QSpinBox *spin = table.spinEditor(T::ColIfOut);
        QCOMPARE(spin->value(), 1600);
        QTRY_VERIFY(spin->hasFocus());
        spin->selectAll();
        QTest::keyClicks(spin, "1010");
        table.commitEdits();
        QVERIFY(!spin->isVisible());
        QCOMPARE(table.cellText(4, T::ColIfOut), QString("1010"));
        QCOMPARE(marks(table), QString("bold(4:6) red(0:6 1:6 4:6)")); // its reactions ran

        // Moving to a mode cell opens its list; it does not reopen while the editor shows.
        tw->setCurrentCell(0, T::ColMode);
        QComboBox *box = table.comboEditor(T::ColMode);
        QVERIFY(box->view()->isVisible());
        QCOMPARE(box->currentText(), QString("STATIC"));
        box->hidePopup();
        tw->itemDelegateForColumn(T::ColMode)->setEditorData(box, tw->currentIndex());
        QVERIFY(!box->view()->isVisible());
        box->setCurrentIndex(box->findText("TONE"));
        QTRY_VERIFY(box->hasFocus());
        table.commitEdits();
        QVERIFY(!box->isVisible());
        QCOMPARE(table.cellText(0, T::ColMode), QString("TONE"));

        // An unknown mode shows as unknown and selects nothing, so no other mode is written back.
        QCOMPARE(table.cellText(1, T::ColMode), QString("unknown (9)"));
        QCOMPARE(table.mode(1), 9u);
        tw->setCurrentCell(1, T::ColMode);
        QCOMPARE(box->currentIndex(), -1);
    }
};

QTEST_MAIN(TestTableCSS)
#include "tst_tablecss.moc"
