// The channel table and the port panels.
#include "../common/tablefill.h"
#include "panels/gbinput.h"
#include "panels/gblnbsupply.h"
#include "panels/gboutput.h"

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

std::unique_ptr<QGroupBox> makePanel(const QString &kind, std::uint8_t index, std::uint8_t a, std::uint8_t b,
                                     std::uint8_t c)
{
    if (kind == "gbInput")
        return std::make_unique<gbInput>(index, a, b, c);
    if (kind == "gbOutput")
        return std::make_unique<gbOutput>(index, a, b, c);
    return std::make_unique<gbLNBSupply>(a, b, c);
}

} // namespace

class TestTableCSS : public QObject
{
    Q_OBJECT

private slots:
    // Filling the faulty plan, then a user edit of one cell: the marks, and the cells of the row enabled.
    void userEdit_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("marked");
        QTest::addColumn<QString>("enabled");

        const QString faults = " red(0:6 1:6 1:9 4:7)", fixed = "0 1 2 3 4 5 6 7 8", byBand = "0 5 6 7 8 9 10";
        QTest::newRow("Mode") << 1 << int(T::ColMode) << "OFF" << "bold(1:0) red()" << "0";
        QTest::newRow("F IN") << 0 << int(T::ColFIn) << "11800" << "bold(0:1 0:3 0:4)" + faults << fixed;
        QTest::newRow("Polarization") << 0 << int(T::ColPolarization) << "Horizontal" << "bold(0:2 0:3 0:4)" + faults << fixed;
        QTest::newRow("Input") << 0 << int(T::ColInput) << "2" << "bold(0:1 0:2 0:3)" + faults << fixed;
        QTest::newRow("IF IN") << 0 << int(T::ColIfIn) << "1300" << "bold(0:1 0:2 0:4)" + faults << fixed;
        QTest::newRow("Output") << 1 << int(T::ColOutput) << "2" << "bold(1:5) red(1:9 4:7)" << byBand;
        QTest::newRow("IF OUT") << 4 << int(T::ColIfOut) << "1010" << "bold(4:6) red(0:6 1:6 1:9 4:6 4:7)" << fixed;
        QTest::newRow("Bandwidth") << 1 << int(T::ColBandwidth) << "30" << "bold(1:7) red(1:9)" << byBand;
        QTest::newRow("Level") << 0 << int(T::ColLevel) << "90" << "bold(0:8)" + faults << fixed;
        QTest::newRow("UserBand") << 1 << int(T::ColUserBand) << "8" << "bold(1:9) red(0:6 1:6 4:7)" << byBand;
        QTest::newRow("PIN") << 1 << int(T::ColPin) << "3" << "bold(1:10)" + faults << byBand;
        // Row 0's mode: an OFF row or a tone overlaps nothing and has no bandwidth.
        QTest::newRow("STATIC, unchanged") << 0 << int(T::ColMode) << "STATIC" << "bold()" + faults << fixed;
        for (const char *mode : {"SCR", "SCD2", "SCR/SCD2", "BSKYB"})
            QTest::newRow(mode) << 0 << int(T::ColMode) << mode << "bold(0:0)" + faults << byBand;
        QTest::newRow("TONE") << 0 << int(T::ColMode) << "TONE" << "bold(0:0) red(1:9)" << "0 5 6";
        QTest::newRow("OFF") << 0 << int(T::ColMode) << "OFF" << "bold(0:0) red(1:9)" << "0";
        QTest::newRow("unknown text changes nothing") << 0 << int(T::ColMode) << "bogus" << "bold(0:0)" + faults << fixed;
    }

    void userEdit()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(QString, text);

        gbTableCSS table;
        fillFaultyPlan(table);
        // Filling ran no reaction; run directly, the checks find the faults and mark no edit.
        QCOMPARE(marks(table), QString("bold() red()"));
        QVERIFY(!table.checkOutputFrequencies() && !table.checkBandwidths() && !table.checkUserBands());
        QCOMPARE(marks(table), QString("bold() red(0:6 1:6 1:9 4:7)"));
        table.setCellText(row, col, text);
        QCOMPARE(table.cellText(row, col), text);
        QTEST(marks(table), "marked");
        QStringList on;
        for (int c = 0; c < T::ColumnCount; ++c) {
            const QTableWidgetItem *item = table.findChild<QTableWidget *>()->item(row, c);
            const bool isOn = item->flags() & Qt::ItemIsEnabled;
            on << (isOn ? QString::number(c) : QString());
            QVERIFY(c == 0 || item->background().color() == QColor(isOn ? Qt::white : Qt::lightGray)); // disabled: shaded
        }
        QTEST(on.join(' ').simplified(), "enabled");
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
        // A new input record (index, bank word, LO code) rederives its rows from F IN, and only those.
        const Inputs vw{{0x00, 2}, {0x10, 3}}; // 9750 MHz vertical low band; 10000 MHz wideband
        const QString s3 = "11000 Vertical 1 1250";
        QTest::newRow("no such input") << vw << s3 << -1 << "2 01 4" << "11000 Vertical 1 1250 bold() red()";
        QTest::newRow("new LO, F IN kept") << vw << s3 << -1 << "0 00 4" << "11000 Vertical 1 400 bold(0:4) red()";
        QTest::newRow("no longer serving: moves") << vw << s3 << -1 << "0 01 4" << "11000 Vertical 2 1000 bold(0:4) red()";
        QTest::newRow("another input's row") << vw << "11000 Vertical 2 1000" << -1 << "0 00 4" << "11000 Vertical 2 1000 bold() red()";
    }

    void derivation()
    {
        QFETCH(Inputs, inputs);
        QFETCH(QString, start);
        QFETCH(int, col);
        QFETCH(QString, text);

        gbTableCSS table;
        fill(table, inputs, {});
        table.setRowCount(1); // empty row
        const QStringList values = start.split(' ');
        ++table.updateGuard;
        for (int c = T::ColFIn; c <= T::ColIfIn; ++c)
            table.setCellText(0, c, values[c - T::ColFIn] == "-" ? QString() : values[c - T::ColFIn]);
        --table.updateGuard;
        const QStringList v = text.split(' ');
        if (col < 0)
            table.setInputInfo(std::uint8_t(v[0].toUInt()), 1, std::uint8_t(v[1].toUInt(nullptr, 16)), std::uint8_t(v.value(2).toUInt()));
        else
            table.setCellText(0, col, text);
        QStringList cells; // '-' for an empty one
        for (int c = T::ColFIn; c <= T::ColIfIn; ++c)
            cells << (table.cellText(0, c).isEmpty() ? "-" : table.cellText(0, c));
        QTEST(cells.join(' ') + (col < 0 ? ' ' + marks(table) : QString()), "cells");
    }

    void editingThroughDelegates()
    {
        gbTableCSS table;
        fillFaultyPlan(table);
        table.setIfOutMaximum(2150000);
        table.setMode(1, 9); // no such mode
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
        QCOMPARE(marks(table), QString("bold(1:0 4:6) red(0:6 1:6 4:6 4:7)")); // its reactions ran

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

    void selectionByCode_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QList<int>>("values"); // constructor values after the index
        QTest::addColumn<QString>("shown"); // title: current texts; for the LNB supply all items, current in []

        // gbInput: mode, bank word, LO code.
        QTest::newRow("bank 0x0F") << "gbInput" << QList<int>{1, 0x0F, 2} << "Input 1: NORMAL HIGH HORIZONTAL D 9750 MHz";
        QTest::newRow("bank 0x10") << "gbInput" << QList<int>{5, 0x10, 20} << "Input 1: MIN_GAIN WIDE VERTICAL A WB 13450 MHz";
        QTest::newRow("bank 0x11: unknown band") << "gbInput" << QList<int>{3, 0x11, 11} << "Input 1: MAX_GAIN unknown (17) VERTICAL A 1585 MHz";
        QTest::newRow("bits 5 to 7 kept") << "gbInput" << QList<int>{0, 0xE6, 0} << "Input 1: OFF LOW HORIZONTAL B switcher";
        QTest::newRow("all bank bits, LO 255") << "gbInput" << QList<int>{200, 0xFF, 255} << "Input 1: unknown (200) unknown (17) HORIZONTAL D unknown (255)";
        QTest::newRow("unknown mode and LO") << "gbInput" << QList<int>{2, 0x08, 13} << "Input 1: unknown (2) LOW VERTICAL C unknown (13)";
        // gbOutput: mode, low LO, high LO.
        QTest::newRow("output, unknown mode") << "gbOutput" << QList<int>{2, 16, 20} << "Output 1: unknown (2) WB switcher WB 13450 MHz";
        // gbLNBSupply: mode, minimum, maximum.
        QTest::newRow("LNB 0..2") << "LNB" << QList<int>{2, 0, 2} << "LNB Power Supply: OFF,14V,[14V/18V/22kHz]";
        QTest::newRow("LNB 1..2, mode 0") << "LNB" << QList<int>{0, 1, 2} << "LNB Power Supply: 14V,14V/18V/22kHz,[OFF]";
        QTest::newRow("LNB 0..1, mode 2") << "LNB" << QList<int>{2, 0, 1} << "LNB Power Supply: OFF,14V,[14V/18V/22kHz]";
        QTest::newRow("LNB mode 200") << "LNB" << QList<int>{200, 0, 2} << "LNB Power Supply: OFF,14V,14V/18V/22kHz,[unknown (200)]";
        QTest::newRow("LNB minimum above maximum") << "LNB" << QList<int>{1, 2, 1} << "LNB Power Supply: [14V]";
        QTest::newRow("LNB maximum above 2") << "LNB" << QList<int>{2, 2, 200} << "LNB Power Supply: [14V/18V/22kHz]";
    }

    void selectionByCode()
    {
        QFETCH(QString, kind);
        QFETCH(QList<int>, values);

        const auto panel = makePanel(kind, 0, std::uint8_t(values[0]), std::uint8_t(values[1]), std::uint8_t(values[2]));
        QStringList texts;
        for (const QComboBox *box : panel->findChildren<QComboBox *>()) {
            if (kind != "LNB")
                texts << box->currentText();
            else
                for (int i = 0; i < box->count(); ++i)
                    texts << (i == box->currentIndex() ? '[' + box->itemText(i) + ']' : box->itemText(i));
        }
        QTEST(panel->title() + ": " + texts.join(kind == "LNB" ? ',' : ' '), "shown");
        QList<int> read;
        if (auto *in = qobject_cast<gbInput *>(panel.get()))
            read = {in->mode(), in->diseqcBank(), in->diseqcLnbLo()};
        else if (auto *out = qobject_cast<gbOutput *>(panel.get()))
            read = {out->mode(), out->stbLoLow(), out->stbLoHigh()};
        else
            read = {static_cast<gbLNBSupply *>(panel.get())->mode()};
        QCOMPARE(read, kind == "LNB" ? values.mid(0, 1) : values); // the codes read back as given
    }

    // A user's change is reported once with the panel's index, also when a receiver adjusts the
    // panel (here: empties another combo); the next change is reported again.
    void userChangeEmitsOnce()
    {
        for (const QString kind : {"gbInput", "gbOutput"}) {
            for (int k = 0; k < (kind == "gbInput" ? 5 : 3); ++k) {
                const auto panel = makePanel(kind, 4, 0, 0, 4);
                const auto combos = panel->findChildren<QComboBox *>();
                QSignalSpy spy(panel.get(), SIGNAL(Changed(unsigned char)));
                connect(panel.get(), SIGNAL(Changed(unsigned char)), combos[(k + 1) % combos.size()], SLOT(clear()));
                QTest::keyClick(combos[k], Qt::Key_Down);
                QCOMPARE(spy.count(), 1);
                QCOMPARE(spy.at(0).at(0).value<unsigned char>(), static_cast<unsigned char>(4));
                QTest::keyClick(combos[k], Qt::Key_Up);
                QVERIFY2(spy.count() == 2, qPrintable(kind + ' ' + combos[k]->objectName()));
            }
        }
    }
};

QTEST_MAIN(TestTableCSS)
#include "tst_tablecss.moc"
