#pragma once

// Where every part of the channel plan picture goes, in pixels: one strip per
// output present, a bar per active channel, lanes so that neither bars nor
// labels cover each other. No painting: the window and the files draw what
// this computes.

#include "plan/channelrules.h"

#include <QtCore/QPointF>
#include <QtCore/QRectF>
#include <QtCore/QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace plangeometry {

struct Metrics {
    double width = 1000;
    double lineHeight = 14; // one line of text
    double barHeight = 10;
    std::function<double(const QString &)> textWidth; // advance of one line of text; required
};

struct Bar {
    int row = 0;    // 0-based table row
    int output = 0; // 0-based
    QRectF rect;    // a tone has zero width at its IF OUT
    bool line = false;
    bool flagged = false; // marked by a plan rule
    QString label;
    QRectF labelRect;
    int lane = 0;
};

struct Tick {
    double x = 0;
    std::uint32_t mhz = 0;
};

struct Strip {
    int output = 0;
    QString title;
    QRectF titleRect;
    QRectF header;   // the line of sub-band counts
    QRectF band;     // the lanes, from the scale's start to its end
    int lanes = 1;
    std::vector<unsigned> counts; // channels per sub-band
    QRectF scale;    // the MHz labels under the band
    QRectF unitRect; // "MHz", left of the scale
};

struct Geometry {
    QSizeF size;
    double scaleLeft = 0;  // x of the first sub-band edge
    double scaleRight = 0; // x of the last
    std::vector<double> edges; // x of every sub-band edge
    std::vector<Tick> ticks;
    std::vector<Strip> strips;
    std::vector<Bar> bars;
    std::vector<int> onNoOutput; // active rows whose output is not present
    QString note;                // says so, empty when there are none
    QRectF noteRect;

    double x(std::uint32_t kHz) const;
};

// rows as the rules see them; outputCount outputs present.
Geometry layout(const std::vector<channelrules::ChannelRow> &rows, std::size_t outputCount, const Metrics &metrics);

// The table row of the bar (or its label) under p; -1 for none.
int rowAt(const Geometry &geometry, const QPointF &p);

} // namespace plangeometry
