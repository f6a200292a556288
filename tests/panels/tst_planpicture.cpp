// The channel plan rules, the picture's geometry, its files, and the panel that shows a table's plan.
#include "../common/tablefill.h"
#include "panels/gbchannelplan.h"
#include "plan/channelrules.h"
#include "plan/plangeometry.h"
#include "plan/planpicture.h"

#include <QtSvg/QSvgRenderer>
#include <QtTest>
#include <QtWidgets>

namespace {

// One channel per token: mode letter (O off, S static, R SCR, D SCD2, C SCR/SCD2, K BSKYB, T tone, X unknown),
// output, '@' IF OUT in MHz, then optionally '/' bandwidth in MHz and ':' user band as shown (1-based).
std::vector<channelrules::ChannelRow> parseRows(const QString &text)
{
    const QRegularExpression token(R"(^([A-Z])(\d)@(\d+)(?:/(\d+))?(?::(\d+))?$)");
    std::vector<channelrules::ChannelRow> rows;
    for (const QString &part : text.split(' ', Qt::SkipEmptyParts)) {
        const auto m = token.match(part);
        if (!m.hasMatch())
            qFatal("bad row %s", qPrintable(part));
        const int mode = QString("OSRDCKT").indexOf(m.captured(1));
        rows.push_back({std::uint8_t(mode < 0 ? 0xFF : mode), std::uint8_t(m.captured(2).toInt()),
                        m.captured(3).toUInt() * 1000, m.captured(4).toUInt() * 1000,
                        std::uint8_t(m.captured(5).toInt() - 1)});
    }
    return rows;
}

using plangeometry::Bar;
using plangeometry::Geometry;

// Text 7 pixels a character: layouts that do not depend on the fonts installed.
plangeometry::Metrics fixedMetrics(double width)
{
    plangeometry::Metrics m;
    m.width = width;
    m.textWidth = [](const QString &text) { return 7.0 * text.size(); };
    return m;
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

} // namespace

class TestPlanPicture : public QObject
{
    Q_OBJECT

private slots:
    // The rows each rule marks; two outputs, 0 and 1, throughout.
    void rules_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("expected");

        const QString five = "T0@1000 T0@1010 T0@1020 T0@1030 T0@1040 ";
        QTest::newRow("sixth in row order is marked") << "freq" << "T0@1050 " + five << "5";
        QTest::newRow("1096 in sub-band 0, 1097 in 1") << "freq" << five + "T0@1096 T0@1097" << "5";
        QTest::newRow("949 nowhere, 950 counts") << "freq" << "T0@949 T0@950 T0@951 T0@952 T0@953 T0@954 T0@955" << "6";
        QTest::newRow("2150 counts, 2151 nowhere") << "freq" << "T0@2110 T0@2115 T0@2120 T0@2125 T0@2130 T0@2150 T0@2151" << "5";
        QTest::newRow("sixth on another output") << "freq" << five + "T1@1050" << "";
        QTest::newRow("six on output 1") << "freq" << QString(five).replace("T0", "T1") + "T1@1050" << "5";
        QTest::newRow("output 2 is no port") << "freq" << QString(five).replace("T0", "T2") + "T2@1050" << "";
        QTest::newRow("off row not counted") << "freq" << five + "O0@1050" << "";
        QTest::newRow("overlap: only the pair") << "freq" << "S0@1300/36 S0@1000/36 R0@1035/36" << "1 2";
        QTest::newRow("touching either way") << "freq" << "S0@1036/36 R0@1000/36 S0@1072/36" << "";
        QTest::newRow("overlap on output 1 only") << "freq" << "S0@1000/36 R1@1035/36 S1@1030/36" << "1 2";
        QTest::newRow("tone inside a channel") << "freq" << "S0@1000/36 T0@1010" << "0 1";
        QTest::newRow("tone on a channel edge") << "freq" << "S0@1000/36 T0@1018" << "";
        QTest::newRow("two tones on one centre") << "freq" << "T0@1000 T0@1000" << "";
        QTest::newRow("tone ignores its bandwidth") << "freq" << "S0@1000/36 T0@1030/36" << "";
        QTest::newRow("off rows overlapping") << "freq" << "O0@1000/36 S0@1010/36 O0@1020/36" << "";
        QTest::newRow("unknown mode is active") << "freq" << "X0@1000/36 X0@1010/36" << "0 1";

        QTest::newRow("fifth bandwidth and its repeat")
            << "bw" << "S0@1000/20 S0@1100/25 S0@1200/30 S0@1300/36 S0@1400/20 S0@1500/40 S0@1600/40" << "5 6";
        QTest::newRow("off, tones and zero widths count for nothing")
            << "bw" << "O0@900/99 S0@1000/20 T0@1100/99 S0@1200/25 S0@1300/0 S0@1400/30 R0@1500/36 K0@1600/40" << "7";

        QTest::newRow("SCR 1 to 8 only") << "ub" << "R0@1000:1 R0@1100:8 R0@1200:9 R0@1300:0" << "2 3";
        QTest::newRow("BSKYB 31, 32, 0") << "ub" << "K0@1000:31 K0@1100:32 K0@1200:0" << "1 2";
        QTest::newRow("other modes unchecked") << "ub" << "D0@1000:99 C0@1100:99 S0@1200:0 T0@1300:0 O0@1:0" << "";
    }

    void rules()
    {
        QFETCH(QString, rule);
        QFETCH(QString, rows);
        const auto channels = parseRows(rows);
        const auto flags = rule == "freq" ? channelrules::outputFrequencyFaults(channels, 2)
                         : rule == "bw"   ? channelrules::bandwidthFaults(channels)
                                          : channelrules::userBandFaults(channels);
        QStringList marked;
        for (std::size_t r = 0; r < flags.size(); ++r)
            if (flags[r])
                marked << QString::number(r);
        QTEST(marked.join(' '), "expected");
    }

    // Each bar as label, '|' for a tone's line, '@' lane, '!' when red, then '~' and each active row on no
    // output present. more: the bars' MHz from-to in order, or each strip's channels per sub-band.
    void bars_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<double>("width");
        QTest::addColumn<QString>("bars");
        QTest::addColumn<QString>("more");

        QTest::newRow("no fault") << "R0@1210/36:1 R0@1420/36:2 T0@2100 S1@1000/36" << 2 << 1000.0 << "1 UB1@0,2 UB2@0,3|@0,4@0" << "";
        QTest::newRow("overlap: red, two lanes")
            << "S0@1000/36 R0@1035/36:1 S0@1300/36" << 1 << 1000.0 << "1@0!,2 UB1@1!,3@0" << "982-1018 1017-1053 1282-1318";
        QTest::newRow("clipped to the band, tone ignores its bandwidth")
            << "S0@940/36 T0@1010/36 S0@2140/36" << 1 << 1000.0 << "1@0,2|@0,3@0" << "950-958 1010-1010 2122-2151";
        QTest::newRow("wide overlap, labels apart") << "S0@1000/72 S0@1060/72" << 1 << 1000.0 << "1@0!,2@1!" << "";
        QTest::newRow("touching share a lane") << "S0@1000/36 S0@1036/36" << 1 << 1000.0 << "1@0,2@0" << "";
        QTest::newRow("labels apart, yet within the gap") << "S0@1000/2 S0@1016/2" << 1 << 1000.0 << "1@0,2@1" << "";
        QTest::newRow("close labels stagger") << "R0@1000/10:1 R0@1012/10:2" << 1 << 1000.0 << "1 UB1@0,2 UB2@1" << "";
        QTest::newRow("tone inside a channel") << "S0@1000/36 T0@1010" << 1 << 1000.0 << "1@0!,2|@1!" << "";
        QTest::newRow("fifth bandwidth") << "S0@1000/20 S0@1100/25 S0@1200/30 S0@1300/36 S0@1400/40" << 1 << 1000.0 << "1@0,2@0,3@0,4@0,5@0!" << "";
        // Lanes go left to right, whatever the row order; a label at the band's start stays clear of the title.
        QTest::newRow("user bands") << "R0@1000/36:9 K0@950/2:31 R0@1400/36:0" << 1 << 1000.0 << "1 UB9@1!,2 UB31@0,3 UB0@0!" << "";
        // Labels name the user band where the table's UserBand cell is in use (tst_tablecss).
        QTest::newRow("user band modes") << "D0@1000/36:3 C0@1200/36:4 S0@1400/36:5 T0@1600:6" << 1 << 1000.0 << "1 UB3@0,2 UB4@0,3@0,4|@0" << "";
        QTest::newRow("output with no channel") << "S0@1000/36" << 3 << 1000.0 << "1@0" << "";
        QTest::newRow("no such output, off rows") << "S2@1000/36 O2@1100/36 S0@1200/36 X1@1300/36 O0@1200/36" << 2 << 1000.0 << "3@0,4@0,~0" << "";
        // The rule's own count, six in sub-band 0 included; off rows count for nothing.
        QTest::newRow("counts") << "T0@950 T0@980 T0@1010 T0@1040 T0@1070 T0@1096 T0@1150 O0@1160 S1@2140/10" << 2 << 1000.0
                                << "1|@0,2|@0,3|@0,4|@0,5|@0,6|@0!,7|@0,9@0" << "6 1 0 0 0 0 0 0 0 0 0 0 0 0 0 1";
        // 32 user bands 30 MHz apart on one output: nothing covers anything, at any width.
        QString many;
        for (int r = 0; r < 32; ++r)
            many += QStringLiteral("R0@%1/20:%2 ").arg(960 + 30 * r).arg(r + 1);
        for (double width : {1000.0, 500.0, 100.0})
            QTest::addRow("32 user bands, %g wide", width) << many << 1 << width << "" << "";
    }

    void bars()
    {
        QFETCH(QString, rows);
        QFETCH(int, outputs);
        QFETCH(double, width);
        const plangeometry::Metrics m = fixedMetrics(width);
        const Geometry g = plangeometry::layout(parseRows(rows), std::size_t(outputs), m);
        QStringList shown, perSubBand;
        for (std::size_t i = 0; i < g.bars.size(); ++i) {
            const Bar &b = g.bars[i];
            shown << b.label + (b.line ? "|" : "") + '@' + QString::number(b.lane) + (b.flagged ? "!" : "");
            QCOMPARE(b.line, b.rect.width() == 0);
            // Inside its own output's strip, clear of the titles and of the picture's edge.
            const QRectF band = g.strips[std::size_t(b.output)].band.adjusted(-0.5, 0, 0.5, 0);
            QVERIFY(band.contains(area(b.rect)) && band.top() <= b.labelRect.top() && b.labelRect.bottom() <= band.bottom());
            QVERIFY(b.labelRect.left() >= g.strips[0].titleRect.right() && b.labelRect.right() <= g.size.width());
            for (std::size_t j = i + 1; j < g.bars.size(); ++j)
                QVERIFY(!b.labelRect.intersects(g.bars[j].labelRect) && !area(b.rect).intersects(area(g.bars[j].rect)));
        }
        for (int r : g.onNoOutput)
            shown << '~' + QString::number(r);
        QFETCH(QString, bars);
        if (bars.isEmpty())
            QVERIFY(g.bars.size() == 32 && g.strips[0].lanes > 1);
        else
            QCOMPARE(shown.join(','), bars);
        QCOMPARE(g.note.isEmpty(), g.onNoOutput.empty());
        for (std::size_t o = 0; o < g.strips.size(); ++o) {
            QVERIFY(o == 0 || g.strips[o - 1].scale.bottom() <= g.strips[o].titleRect.top());
            for (unsigned n : g.strips[o].counts)
                perSubBand << QString::number(n);
        }
        QFETCH(QString, more);
        const QStringList mhz = more.split(QRegularExpression("[ -]"), Qt::SkipEmptyParts);
        for (int i = 0; more.contains('-') && i + 1 < mhz.size(); i += 2) {
            QCOMPARE(g.bars.at(std::size_t(i / 2)).rect.left(), g.x(mhz[i].toUInt() * 1000));
            QCOMPARE(g.bars.at(std::size_t(i / 2)).rect.right(), g.x(mhz[i + 1].toUInt() * 1000));
        }
        if (!more.isEmpty() && !more.contains('-'))
            QCOMPARE(perSubBand.join(' '), more);
        QCOMPARE(g.edges[1], g.x(1097000));
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
        QTest::newRow("svg") << "plan.svg";
        QTest::newRow("png") << "plan.PNG";
        QTest::newRow("unknown format") << "plan.jpg";
        QTest::newRow("no such folder") << "missing/plan.png";
    }

    // The file drawn from the same geometry: sampled where the geometry puts things.
    // A file that cannot be written leaves nothing behind and names its path.
    void files()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        const auto rows = parseRows("S0@1000/36 S0@1020/36 R0@1500/36:1 T0@2000 S1@1200/36");
        QString error;
        QCOMPARE(savePlanPicture(path, rows, 2, &error), !name.contains("jpg") && !name.contains('/'));
        if (!QFile::exists(path)) {
            QVERIFY2(error.contains(path), qPrintable(error));
            QVERIFY(QDir(dir.path()).isEmpty());
            return;
        }
        const Geometry g =
            plangeometry::layout(rows, 2, planpicture::metrics(planpicture::fileFont(), planpicture::FileWidth));
        const QSize size = g.size.toSize() + QSize(1, 1);
        QImage image(size, QImage::Format_RGB32);
        if (name.endsWith("svg")) {
            QSvgRenderer svg(path);
            QCOMPARE(svg.viewBox(), QRect(QPoint(0, 0), size));
            image.fill(Qt::black);
            QPainter p(&image);
            svg.render(&p);
        } else {
            QVERIFY(image.load(path, "PNG"));
            QCOMPARE(image.size(), size);
        }
        const std::array<QColor, 5> colours{planpicture::AlarmColour, planpicture::AlarmColour, planpicture::BarColour,
                                            planpicture::ToneColour, planpicture::BarColour};
        for (int r = 0; r < 5; ++r)
            QVERIFY2(hasColourNear(image, g.bars.at(std::size_t(r)).rect.center(), colours[std::size_t(r)]), qPrintable(QString::number(r)));
        // Between bars, sub-band 1 is not shaded: the background shows.
        QVERIFY(hasColourNear(image, QPointF(g.x(1150000), g.strips[0].band.center().y()), Qt::white));
    }

    // The panel reads the table's rows and follows its edits, red where the table's own checks mark IF OUT.
    void panel()
    {
        auto table = std::make_unique<gbTableCSS>();
        table->addOutput(1, 0, 0);
        table->addOutput(1, 0, 0);
        fill(*table, {}, {{2, 0, 0, 0, 1210, 36, 0}, {2, 0, 0, 0, 1420, 36, 1}, {6, 0, 0, 0, 1680, 36, 2}});
        gbChannelPlan plan;
        plan.setTable(table.get());
        plan.resize(900, 300);
        plan.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plan));
        auto *canvas = plan.findChild<QWidget *>("planCanvas");
        auto *view = table->findChild<QTableWidget *>("tableCSS");
        QTRY_COMPARE(canvas->height(), int(std::ceil(plan.geometry().size.height())));

        QTest::mouseClick(canvas, Qt::LeftButton, {}, plan.geometry().bars.at(1).rect.center().toPoint());
        QCOMPARE(view->selectionModel()->selectedRows()[0].row(), 1);
        // A tone's line is hit with a little slack.
        QTest::mouseClick(canvas, Qt::LeftButton, {}, plan.geometry().bars.at(2).rect.center().toPoint() + QPoint(2, 0));
        QCOMPARE(view->selectionModel()->selectedRows()[0].row(), 2);
        QTest::mouseClick(canvas, Qt::LeftButton, {}, plan.geometry().bars.at(0).labelRect.center().toPoint()); // a label too
        QCOMPARE(view->selectionModel()->selectedRows()[0].row(), 0);
        QCOMPARE(plan.toolTipFor(0), QString("Row 1\nMode: SCR\nIF OUT: 1210 MHz\nBandwidth: 36 MHz\nOutput: 1"));
        QCOMPARE(plan.toolTipFor(2), QString("Row 3\nMode: TONE\nIF OUT: 1680 MHz\nBandwidth: none (tone)\nOutput: 1"));
        const QPoint at = plan.geometry().bars.at(0).rect.center().toPoint();
        QHelpEvent help(QEvent::ToolTip, at, canvas->mapToGlobal(at));
        QApplication::sendEvent(canvas, &help);
        QTRY_COMPARE(QToolTip::text(), plan.toolTipFor(0));

        // Rows red in the picture | rows the table marks in IF OUT.
        const auto red = [&] {
            QStringList bars, cells;
            for (const Bar &b : plan.geometry().bars)
                if (b.flagged)
                    bars << QString::number(b.row);
            for (int r = 0; r < view->rowCount(); ++r)
                if (view->item(r, gbTableCSS::ColIfOut)->foreground().color() == planpicture::AlarmColour)
                    cells << QString::number(r);
            return bars.join(' ') + " | " + cells.join(' ');
        };
        table->setIfOut(1, 1225000); // an edit: overlaps row 0
        QCOMPARE(plan.geometry().bars.at(1).rect.left(), plan.geometry().x(1207000));
        QCOMPARE(red(), QString("0 1 | 0 1"));
        table->setMode(0, channelrules::ModeOff);
        QCOMPARE(plan.geometry().bars.size(), std::size_t(2));
        QCOMPARE(red(), QString(" | "));
        // A table that goes away leaves the hint.
        table.reset();
        QVERIFY(!plan.table() && plan.geometry().bars.empty());
        QVERIFY(!plan.findChild<QLabel *>("labelPlanHint")->isHidden());
    }
};

QTEST_MAIN(TestPlanPicture)
#include "tst_planpicture.moc"
