#include "plan/plangeometry.h"

#include "plan/planview.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QStringList>

#include <algorithm>

namespace plangeometry {

namespace {

using channelrules::ChannelRow;
using channelrules::SubBandEdges;

constexpr double Pad = 6;
constexpr double LabelGap = 6; // between neighbouring labels or bars in a lane
constexpr double TickLength = 4;
constexpr std::array<std::uint32_t, 4> TickSteps{50, 100, 200, 500}; // MHz

QString labelFor(const ChannelRow &row, int index)
{
    const auto shownRow = planview::shownIndex(std::uint32_t(index));
    if (!channelrules::carriesUserBand(row.mode))
        return QString::number(shownRow);
    // As the table shows it: a byte, so an empty cell reads 0.
    const auto shownBand = std::uint8_t(planview::shownIndex(row.userBand));
    return QCoreApplication::translate("gbChannelPlan", "%1 UB%2").arg(shownRow).arg(shownBand);
}

// Labelled MHz ticks: the coarsest step whose labels do not touch, plus both
// ends of the band where they fit.
std::vector<Tick> scaleTicks(const Geometry &g, const Metrics &m)
{
    const std::uint32_t lo = planview::shownMHz(SubBandEdges.front());
    const std::uint32_t hi = planview::shownMHz(SubBandEdges.back() - 1); // 2150: the band's last MHz
    const double widest = m.textWidth(QString::number(hi)) + LabelGap;
    const double perMHz = (g.scaleRight - g.scaleLeft) / double(hi - lo);
    std::uint32_t step = TickSteps.back();
    for (std::uint32_t s : TickSteps) {
        if (s * perMHz >= widest) {
            step = s;
            break;
        }
    }
    std::vector<std::uint32_t> wanted{lo};
    for (std::uint32_t f = (lo / step + 1) * step; f < hi; f += step)
        wanted.push_back(f);
    wanted.push_back(hi);

    std::vector<Tick> ticks;
    for (std::uint32_t f : wanted) {
        const Tick t{g.x(planview::storedKHz(f)), f};
        if (!ticks.empty() && t.x - ticks.back().x < widest) {
            if (f != hi)
                continue;
            ticks.pop_back(); // the band's end wins over a round number
        }
        ticks.push_back(t);
    }
    return ticks;
}

// Where a lane's last bar and last label end.
struct LaneEnd {
    double bar;
    double label;
};

// First lane where the bar does not overlap (touching is fine) and the label
// keeps its distance.
int laneFor(std::vector<LaneEnd> &lanes, const QRectF &bar, const QRectF &label)
{
    std::size_t l = 0;
    while (l < lanes.size() && (bar.left() < lanes[l].bar || label.left() < lanes[l].label + LabelGap))
        ++l;
    if (l == lanes.size())
        lanes.push_back({});
    lanes[l] = {std::max(lanes[l].bar, bar.right()), label.right()};
    return int(l);
}

} // namespace

double Geometry::x(std::uint32_t kHz) const
{
    const double lo = SubBandEdges.front();
    const double hi = SubBandEdges.back();
    return scaleLeft + (double(kHz) - lo) * (scaleRight - scaleLeft) / (hi - lo);
}

Geometry layout(const std::vector<ChannelRow> &rows, std::size_t outputCount, const Metrics &m)
{
    Geometry g;
    const double lh = m.lineHeight;
    const double laneHeight = lh + m.barHeight + 3;

    std::vector<QString> titles;
    double titleWidth = 0;
    for (std::size_t o = 0; o < outputCount; ++o) {
        titles.push_back(
            QCoreApplication::translate("gbChannelPlan", "Output %1").arg(planview::shownIndex(std::uint32_t(o))));
        titleWidth = std::max(titleWidth, m.textWidth(titles.back()));
    }
    const double endLabel = m.textWidth(QString::number(planview::shownMHz(SubBandEdges.back())));
    g.scaleLeft = Pad + titleWidth + Pad + endLabel / 2;
    // Too narrow a picture grows rather than squeezing the scale to nothing.
    g.scaleRight = std::max(m.width - Pad - endLabel / 2, g.scaleLeft + 20 * endLabel);
    for (std::uint32_t edge : SubBandEdges)
        g.edges.push_back(g.x(edge));
    g.ticks = scaleTicks(g, m);

    // Red is what the rules say, nothing else.
    const auto frequency = channelrules::outputFrequencyFaults(rows, outputCount);
    const auto bandwidth = channelrules::bandwidthFaults(rows);
    const auto userBand = channelrules::userBandFaults(rows);

    std::vector<std::vector<std::size_t>> perOutput(outputCount);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const ChannelRow &row = rows[r];
        if (!channelrules::active(row))
            continue;
        if (row.output >= outputCount) {
            g.onNoOutput.push_back(int(r));
            continue;
        }
        Bar bar;
        bar.row = int(r);
        bar.output = row.output;
        bar.line = row.mode == channelrules::ModeTone;
        bar.flagged = frequency[r] || bandwidth[r] || userBand[r];
        const double half = channelrules::halfWidth(row);
        const double x0 = std::clamp(g.x(std::uint32_t(std::max(0.0, row.ifOut - half))), g.scaleLeft, g.scaleRight);
        const double x1 = std::clamp(g.x(std::uint32_t(std::min(4294967295.0, row.ifOut + half))), g.scaleLeft,
                                     g.scaleRight);
        bar.rect = QRectF(x0, 0, x1 - x0, m.barHeight);
        bar.label = labelFor(row, int(r));
        const double labelWidth = m.textWidth(bar.label) + 2;
        const double centre = std::clamp(g.x(row.ifOut), g.scaleLeft, g.scaleRight);
        const double labelLeft = std::clamp(centre - labelWidth / 2, g.scaleLeft - endLabel / 2,
                                            g.scaleRight + endLabel / 2 - labelWidth);
        bar.labelRect = QRectF(labelLeft, 0, labelWidth, lh);
        perOutput[row.output].push_back(g.bars.size());
        g.bars.push_back(bar);
    }

    double y = Pad;
    for (std::size_t o = 0; o < outputCount; ++o) {
        std::vector<std::size_t> &mine = perOutput[o];
        const auto left = [&g](std::size_t b) { return std::min(g.bars[b].rect.left(), g.bars[b].labelRect.left()); };
        std::stable_sort(mine.begin(), mine.end(), [&](std::size_t a, std::size_t b) { return left(a) < left(b); });
        std::vector<LaneEnd> laneEnds;
        for (std::size_t b : mine)
            g.bars[b].lane = laneFor(laneEnds, g.bars[b].rect, g.bars[b].labelRect);

        Strip s;
        s.output = int(o);
        s.title = titles[o];
        s.titleRect = QRectF(Pad, y, titleWidth, lh);
        s.header = QRectF(g.scaleLeft, y, g.scaleRight - g.scaleLeft, lh);
        s.lanes = std::max<int>(1, int(laneEnds.size()));
        const double laneTop = y + lh + 2;
        s.band = QRectF(g.scaleLeft, laneTop, g.scaleRight - g.scaleLeft, s.lanes * laneHeight);
        for (std::size_t b : mine) {
            Bar &bar = g.bars[b];
            const double top = laneTop + bar.lane * laneHeight;
            bar.labelRect.moveTop(top);
            bar.rect.moveTop(top + lh);
        }
        // The rule's own count: with a limit of 0 it marks every channel it counts.
        for (std::size_t k = 0; k + 1 < SubBandEdges.size(); ++k) {
            channelrules::RowFlags counted(rows.size(), false);
            channelrules::countSubBand(rows, std::uint8_t(o), SubBandEdges[k], SubBandEdges[k + 1], 0, counted);
            s.counts.push_back(unsigned(std::count(counted.begin(), counted.end(), true)));
        }
        s.scale = QRectF(g.scaleLeft, s.band.bottom() + TickLength, s.band.width(), lh);
        s.unitRect = QRectF(Pad, s.scale.top(), titleWidth, lh);
        y = s.scale.bottom() + lh;
        g.strips.push_back(s);
    }

    if (!g.onNoOutput.empty()) {
        QStringList shown;
        for (int r : g.onNoOutput)
            shown << QString::number(planview::shownIndex(std::uint32_t(r)));
        g.note = QCoreApplication::translate("gbChannelPlan", "Not on any output present: rows %1")
                     .arg(shown.join(QStringLiteral(", ")));
        g.noteRect = QRectF(Pad, y, m.textWidth(g.note), lh);
        y = g.noteRect.bottom() + Pad;
    }
    g.size = QSizeF(g.scaleRight + endLabel / 2 + Pad, y);
    return g;
}

int rowAt(const Geometry &g, const QPointF &p)
{
    // Last drawn is on top; a tone's line is hard to hit without some slack.
    for (auto it = g.bars.rbegin(); it != g.bars.rend(); ++it) {
        if (it->rect.adjusted(-3, 0, 3, 0).contains(p) || it->labelRect.contains(p))
            return it->row;
    }
    return -1;
}

} // namespace plangeometry
