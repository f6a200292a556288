// The channel plan picture: its geometry, its files, and the panel that shows a table's plan.
#include "../common/planrows.h"
#include "../common/tablefill.h"
#include "panels/gbchannelplan.h"
#include "panels/gbtablecss.h"
#include "plan/plangeometry.h"
#include "plan/planpicture.h"

#include <QtSvg/QSvgRenderer>
#include <QtTest>
#include <QtWidgets>

namespace {

using plangeometry::Bar;
using plangeometry::Geometry;

// Text 7 pixels a character: layouts that do not depend on the fonts installed.
plangeometry::Metrics fixedMetrics(double width = 1000)
{
    plangeometry::Metrics m;
    m.width = width;
    m.lineHeight = 14;
    m.barHeight = 10;
    m.textWidth = [](const QString &text) { return 7.0 * text.size(); };
    return m;
}

const Bar *barOf(const Geometry &g, int row)
{
    for (const Bar &b : g.bars)
        if (b.row == row)
            return &b;
    return nullptr;
}

// A tone is a line: give it a little width so that overlaps count.
QRectF area(const QRectF &r) { return r.width() > 0 ? r : r.adjusted(-0.5, 0, 0.5, 0); }

// Samples around p (anti-aliased edges) for the pixel nearest the colour.
bool hasColourNear(const QImage &image, const QPointF &p, const QColor &colour)
{
    for (int dx = -1; dx <= 1; ++dx) {
        const QColor c = image.pixelColor(p.toPoint() + QPoint(dx, 0));
        if (qAbs(c.red() - colour.red()) + qAbs(c.green() - colour.green()) + qAbs(c.blue() - colour.blue()) <= 12)
            return true;
    }
    return false;
}

// Three SCR channels on output 1 of two, user bands 1 to 3.
void fillTable(gbTableCSS &table)
{
    table.addOutput(1, 0, 0);
    table.addOutput(1, 0, 0);
    fill(table, {}, {{2, 0, 0, 0, 1210, 36, 0}, {2, 0, 0, 0, 1420, 36, 1}, {2, 0, 0, 0, 1680, 36, 2}});
}

} // namespace

class TestPlanPicture : public QObject
{
    Q_OBJECT

private slots:
    // Each bar as label, '|' for a tone's line, '@' lane, '!' when red.
    void bars_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<QString>("bars");
        QTest::addColumn<QString>("nowhere"); // active rows on no output present

        QTest::newRow("no fault") << "R0@1210/36:1 R0@1420/36:2 T0@2100 S1@1000/36" << 2 << "1 UB1@0,2 UB2@0,3|@0,4@0" << "";
        QTest::newRow("overlap: red, two lanes") << "S0@1000/36 R0@1035/36:1 S0@1300/36" << 1 << "1@0!,2 UB1@1!,3@0" << "";
        QTest::newRow("wide overlap, labels apart") << "S0@1000/72 S0@1060/72" << 1 << "1@0!,2@1!" << "";
        QTest::newRow("touching share a lane") << "S0@1000/36 S0@1036/36" << 1 << "1@0,2@0" << "";
        QTest::newRow("labels apart, yet within the gap") << "S0@1000/2 S0@1016/2" << 1 << "1@0,2@1" << "";
        QTest::newRow("close labels stagger") << "R0@1000/10:1 R0@1012/10:2" << 1 << "1 UB1@0,2 UB2@1" << "";
        QTest::newRow("tone inside a channel") << "S0@1000/36 T0@1010" << 1 << "1@0!,2|@1!" << "";
        QTest::newRow("fifth bandwidth") << "S0@1000/20 S0@1100/25 S0@1200/30 S0@1300/36 S0@1400/40" << 1
                                         << "1@0,2@0,3@0,4@0,5@0!" << "";
        QTest::newRow("user bands") << "R0@1000/36:9 K0@1200/36:31 R0@1400/36:0" << 1 << "1 UB9@0!,2 UB31@0,3 UB0@0!" << "";
        // Labels name the user band where the table's UserBand cell is in use (tst_tablecss).
        QTest::newRow("user band modes") << "D0@1000/36:3 C0@1200/36:4 S0@1400/36:5 T0@1600:6" << 1 << "1 UB3@0,2 UB4@0,3@0,4|@0" << "";
        QTest::newRow("output with no channel") << "S0@1000/36" << 3 << "1@0" << "";
        QTest::newRow("no such output, off rows") << "S2@1000/36 O2@1100/36 S0@1200/36 X1@1300/36 O0@1200/36" << 2
                                                  << "3@0,4@0" << "0";
    }

    void bars()
    {
        QFETCH(QString, rows);
        QFETCH(int, outputs);
        const Geometry g = plangeometry::layout(parseRows(rows), std::size_t(outputs), fixedMetrics());
        QStringList bars, nowhere;
        for (const Bar &b : g.bars) {
            bars << b.label + (b.line ? "|" : "") + '@' + QString::number(b.lane) + (b.flagged ? "!" : "");
            QCOMPARE(b.line, b.rect.width() == 0);
            // Inside its own output's strip.
            const QRectF band = g.strips[std::size_t(b.output)].band.adjusted(-0.5, 0, 0.5, 0);
            QVERIFY(band.contains(area(b.rect)) && band.top() <= b.labelRect.top() && b.labelRect.bottom() <= band.bottom());
        }
        for (int r : g.onNoOutput)
            nowhere << QString::number(r);
        QTEST(bars.join(','), "bars");
        QTEST(nowhere.join(' '), "nowhere");
        QCOMPARE(g.note.isEmpty(), g.onNoOutput.empty());
        QCOMPARE(g.strips.size(), std::size_t(outputs));
        for (std::size_t o = 0; o + 1 < g.strips.size(); ++o)
            QVERIFY(g.strips[o].scale.bottom() <= g.strips[o + 1].titleRect.top());
    }

    void positions_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<int>("from"); // MHz
        QTest::addColumn<int>("to");

        QTest::newRow("36 MHz at 1000") << "S0@1000/36" << 982 << 1018;
        QTest::newRow("tone ignores its bandwidth") << "T0@1010/36" << 1010 << 1010;
        QTest::newRow("clipped at the band's start") << "S0@940/36" << 950 << 958;
        QTest::newRow("clipped at the band's end") << "S0@2140/36" << 2122 << 2151;
    }

    void positions()
    {
        QFETCH(QString, rows);
        QFETCH(int, from);
        QFETCH(int, to);
        const Geometry g = plangeometry::layout(parseRows(rows), 1, fixedMetrics());
        QCOMPARE(g.x(950000), g.scaleLeft);
        QCOMPARE(g.x(2151000), g.scaleRight);
        QCOMPARE(g.edges[1], g.x(1097000));
        const Bar &b = g.bars.at(0);
        QCOMPARE(b.rect.left(), g.x(std::uint32_t(from) * 1000));
        QCOMPARE(b.rect.right(), g.x(std::uint32_t(to) * 1000));
    }

    // The rule's own count: six in sub-band 0 of output 1, one each elsewhere.
    void counts()
    {
        const Geometry g = plangeometry::layout(
            parseRows("T0@1000 T0@1010 T0@1020 T0@1030 T0@1040 T0@1050 T0@1100 O0@1110 S1@2140/10"), 2, fixedMetrics());
        QStringList shown;
        for (const plangeometry::Strip &s : g.strips)
            for (unsigned n : s.counts)
                shown << QString::number(n);
        QCOMPARE(shown.join(' '), QString("6 1 0 0 0 0 0 0 0 0 0 0 0 0 0 1"));
    }

    // 32 user bands 30 MHz apart on one output: nothing covers anything, at any width.
    void readable_data()
    {
        QTest::addColumn<double>("width");
        QTest::newRow("file") << 1000.0;
        QTest::newRow("narrow window") << 500.0;
        QTest::newRow("too narrow") << 100.0;
    }

    void readable()
    {
        QFETCH(double, width);
        QString rows;
        for (int r = 0; r < 32; ++r)
            rows += QStringLiteral("R0@%1/20:%2 ").arg(960 + 30 * r).arg(r + 1);
        const plangeometry::Metrics m = fixedMetrics(width);
        const Geometry g = plangeometry::layout(parseRows(rows), 1, m);
        QCOMPARE(g.bars.size(), std::size_t(32));
        QVERIFY(g.strips[0].lanes > 1);
        for (std::size_t i = 0; i < g.bars.size(); ++i) {
            for (std::size_t j = i + 1; j < g.bars.size(); ++j) {
                const Bar &a = g.bars[i], &b = g.bars[j];
                QVERIFY2(!a.labelRect.intersects(b.labelRect), qPrintable(a.label + " / " + b.label));
                QVERIFY(!area(a.rect).intersects(area(b.rect)));
            }
        }
        QCOMPARE(g.ticks.front().mhz, 950u);
        QCOMPARE(g.ticks.back().mhz, 2150u);
        for (std::size_t t = 0; t + 1 < g.ticks.size(); ++t)
            QVERIFY(g.ticks[t + 1].x - g.ticks[t].x >= m.textWidth(QString::number(g.ticks[t + 1].mhz)));
        // Nothing reaches out of the picture, the scale's end labels included.
        QVERIFY(g.size.width() >= g.scaleRight + m.textWidth("2150") / 2);
        QVERIFY(g.scaleLeft - m.textWidth("950") / 2 >= g.strips[0].titleRect.right());
    }

    void files_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("saved");
        QTest::newRow("svg") << "plan.svg" << true;
        QTest::newRow("png") << "plan.PNG" << true;
        QTest::newRow("unknown format") << "plan.jpg" << false;
        QTest::newRow("no such folder") << "missing/plan.png" << false;
    }

    // The file drawn from the same geometry: sampled where the geometry puts things.
    // A file that cannot be written leaves nothing behind and names its path.
    void files()
    {
        QFETCH(QString, name);
        QFETCH(bool, saved);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        const auto rows = parseRows("S0@1000/36 S0@1020/36 R0@1500/36:1 T0@2000 S1@1200/36");
        QString error;
        QCOMPARE(savePlanPicture(path, rows, 2, &error), saved);
        if (!saved) {
            QVERIFY2(error.contains(path), qPrintable(error));
            QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
            return;
        }

        const Geometry g =
            plangeometry::layout(rows, 2, planpicture::metrics(planpicture::fileFont(), planpicture::FileWidth));
        QImage image;
        if (name.endsWith("svg")) {
            QSvgRenderer svg(path);
            QVERIFY(svg.isValid());
            QCOMPARE(svg.viewBox(), QRect(QPoint(0, 0), g.size.toSize() + QSize(1, 1)));
            image = QImage(svg.viewBox().size(), QImage::Format_RGB32);
            image.fill(Qt::black);
            QPainter p(&image);
            svg.render(&p);
        } else {
            QVERIFY(image.load(path, "PNG"));
        }
        QCOMPARE(image.size(), g.size.toSize() + QSize(1, 1));
        const std::array<QColor, 5> colours{planpicture::AlarmColour, planpicture::AlarmColour, planpicture::BarColour,
                                            planpicture::ToneColour, planpicture::BarColour};
        for (int r = 0; r < 5; ++r)
            QVERIFY2(hasColourNear(image, barOf(g, r)->rect.center(), colours[std::size_t(r)]), qPrintable(QString::number(r)));
        // Between bars, sub-band 1 is not shaded: the background shows.
        const QRectF band = g.strips[0].band;
        QVERIFY(hasColourNear(image, QPointF(g.x(1150000), band.center().y()), Qt::white));
    }

    // The panel reads the table's rows: red where the table's own checks mark IF OUT.
    void followsTable()
    {
        gbTableCSS table;
        fillTable(table);
        gbChannelPlan plan;
        plan.setTable(&table);
        QCOMPARE(plan.geometry().bars.size(), std::size_t(3));
        QCOMPARE(barOf(plan.geometry(), 1)->rect.left(), plan.geometry().x(1402000));

        const auto alarms = [&table] {
            auto *view = table.findChild<QTableWidget *>("tableCSS");
            QStringList rows;
            for (int r = 0; r < view->rowCount(); ++r)
                if (view->item(r, gbTableCSS::ColIfOut)->foreground().color() == planpicture::AlarmColour)
                    rows << QString::number(r);
            return rows.join(' ');
        };
        const auto red = [&plan] {
            QStringList rows;
            for (const Bar &b : plan.geometry().bars)
                if (b.flagged)
                    rows << QString::number(b.row);
            return rows.join(' ');
        };
        table.setIfOut(1, 1225000); // an edit: overlaps row 1
        QCOMPARE(barOf(plan.geometry(), 1)->rect.left(), plan.geometry().x(1207000));
        QCOMPARE(red(), QString("0 1"));
        QCOMPARE(red(), alarms());
        table.setMode(0, channelrules::ModeOff);
        QCOMPARE(plan.geometry().bars.size(), std::size_t(2));
        QCOMPARE(red(), alarms());
        QCOMPARE(red(), QString());

        // A table that goes away leaves the hint.
        auto gone = std::make_unique<gbTableCSS>();
        fillTable(*gone);
        plan.setTable(gone.get());
        gone.reset();
        QVERIFY(!plan.table() && plan.geometry().bars.empty());
        QVERIFY(!plan.findChild<QLabel *>("labelPlanHint")->isHidden());
    }

    void clickAndHover()
    {
        gbTableCSS table;
        fillTable(table);
        table.setMode(2, channelrules::ModeTone);
        gbChannelPlan plan;
        plan.setTable(&table);
        plan.resize(900, 300);
        plan.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plan));
        auto *canvas = plan.findChild<QWidget *>("planCanvas");
        auto *view = table.findChild<QTableWidget *>("tableCSS");

        QTRY_COMPARE(canvas->height(), int(std::ceil(plan.geometry().size.height())));
        QTest::mouseClick(canvas, Qt::LeftButton, {}, barOf(plan.geometry(), 1)->rect.center().toPoint());
        QCOMPARE(view->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(view->selectionModel()->selectedRows()[0].row(), 1);
        QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(1, 1)); // no bar: selection stays
        QCOMPARE(view->selectionModel()->selectedRows()[0].row(), 1);
        // A tone's line is hit with a little slack.
        QTest::mouseClick(canvas, Qt::LeftButton, {}, barOf(plan.geometry(), 2)->rect.center().toPoint() + QPoint(2, 0));
        QCOMPARE(view->selectionModel()->selectedRows()[0].row(), 2);

        QCOMPARE(plan.toolTipFor(0), QString("Row 1\nMode: SCR\nIF OUT: 1210 MHz\nBandwidth: 36 MHz\nOutput: 1"));
        QCOMPARE(plan.toolTipFor(2),
                 QString("Row 3\nMode: TONE\nIF OUT: 1680 MHz\nBandwidth: none (tone)\nOutput: 1"));
        const QPoint at = barOf(plan.geometry(), 0)->rect.center().toPoint();
        QHelpEvent help(QEvent::ToolTip, at, canvas->mapToGlobal(at));
        QApplication::sendEvent(canvas, &help);
        QTRY_COMPARE(QToolTip::text(), plan.toolTipFor(0));
    }
};

QTEST_MAIN(TestPlanPicture)
#include "tst_planpicture.moc"
