#include "plan/planpicture.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFileInfo>
#include <QtCore/QSaveFile>
#include <QtGui/QFont>
#include <QtGui/QFontMetricsF>
#include <QtGui/QImage>
#include <QtGui/QPainter>
#include <QtSvg/QSvgGenerator>

#include <cmath>

namespace planpicture {

namespace {

const QColor ShadeColour(242, 242, 242);
const QColor EdgeColour(150, 150, 150);
const QColor QuietText(120, 120, 120);

void paintStrip(QPainter &p, const plangeometry::Geometry &g, const plangeometry::Strip &s)
{
    p.setPen(Qt::black);
    p.drawText(s.titleRect, Qt::AlignLeft | Qt::AlignVCenter, s.title);

    // Every other sub-band shaded, its edges as ticks, its count against the limit.
    for (std::size_t k = 0; k + 1 < g.edges.size(); ++k) {
        const QRectF sub(g.edges[k], s.band.top(), g.edges[k + 1] - g.edges[k], s.band.height());
        if (k % 2 == 0)
            p.fillRect(sub, ShadeColour);
        const unsigned n = s.counts[k];
        p.setPen(n > channelrules::MaxChannelsPerSubBand ? AlarmColour : n == 0 ? QuietText : Qt::black);
        const QRectF countRect(sub.left(), s.header.top(), sub.width(), s.header.height());
        p.drawText(countRect, Qt::AlignCenter, QStringLiteral("%1/%2").arg(n).arg(channelrules::MaxChannelsPerSubBand));
    }
    p.setPen(QPen(EdgeColour, 1, Qt::DashLine));
    for (double x : g.edges)
        p.drawLine(QPointF(x, s.header.bottom()), QPointF(x, s.band.bottom()));

    // The MHz scale.
    p.setPen(QuietText);
    p.drawText(s.unitRect, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("MHz"));
    p.setPen(Qt::black);
    p.drawLine(s.band.bottomLeft(), s.band.bottomRight());
    for (const plangeometry::Tick &t : g.ticks) {
        p.drawLine(QPointF(t.x, s.band.bottom()), QPointF(t.x, s.scale.top()));
        const QRectF label(t.x - 30, s.scale.top(), 60, s.scale.height());
        p.drawText(label, Qt::AlignHCenter | Qt::AlignTop, QString::number(t.mhz));
    }
}

void paintBar(QPainter &p, const plangeometry::Bar &b)
{
    const QColor fill = b.flagged ? AlarmColour : b.line ? ToneColour : BarColour;
    if (b.line) {
        p.fillRect(QRectF(b.rect.center().x() - 1, b.rect.top() - 2, 2, b.rect.height() + 2), fill);
    } else {
        // At least a pixel, so a channel squeezed to the band's end stays visible.
        QRectF r = b.rect;
        r.setWidth(std::max(1.0, r.width()));
        p.fillRect(r, fill);
        p.setPen(QPen(fill.darker(150), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    }
    p.setPen(b.flagged ? AlarmColour : Qt::black);
    p.drawText(b.labelRect, Qt::AlignCenter, b.label);
}

} // namespace

QFont fileFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    return font;
}

plangeometry::Metrics metrics(const QFont &font, double width)
{
    const QFontMetricsF fm(font);
    plangeometry::Metrics m;
    m.width = width;
    m.lineHeight = std::ceil(fm.height());
    m.barHeight = std::ceil(fm.height() * 0.75);
    m.textWidth = [fm](const QString &text) { return fm.horizontalAdvance(text); };
    return m;
}

void paint(QPainter &p, const plangeometry::Geometry &g, const QFont &font)
{
    p.save();
    p.setFont(font);
    p.fillRect(QRectF(QPointF(0, 0), g.size), Qt::white);
    for (const plangeometry::Strip &s : g.strips)
        paintStrip(p, g, s);
    for (const plangeometry::Bar &b : g.bars)
        paintBar(p, b);
    if (!g.note.isEmpty()) {
        p.setPen(AlarmColour);
        p.drawText(g.noteRect, Qt::AlignLeft | Qt::AlignVCenter, g.note);
    }
    p.restore();
}

} // namespace planpicture

bool renderPlanPicture(QIODevice &device, const QString &format, const std::vector<channelrules::ChannelRow> &rows,
                       std::size_t outputCount, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (format != QLatin1String("svg") && format != QLatin1String("png"))
        return fail(QString()); // callers name the file and the formats
    const QFont font = planpicture::fileFont();
    const auto geometry = plangeometry::layout(rows, outputCount, planpicture::metrics(font, planpicture::FileWidth));
    const QSize size = geometry.size.toSize() + QSize(1, 1);
    if (format == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&device);
        svg.setSize(size);
        svg.setResolution(96); // CSS pixels: viewers show it at its size
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QCoreApplication::translate("gbChannelPlan", "Channel plan"));
        QPainter p(&svg);
        planpicture::paint(p, geometry, font);
        return true;
    }
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter p(&image);
        planpicture::paint(p, geometry, font);
    }
    if (!image.save(&device, "PNG"))
        return fail(device.errorString());
    return true;
}

bool savePlanPicture(const QString &path, const std::vector<channelrules::ChannelRow> &rows,
                     std::size_t outputCount, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("svg") && suffix != QLatin1String("png"))
        return fail(QCoreApplication::translate("gbChannelPlan", "%1: unknown picture format; use .svg or .png")
                        .arg(path));

    QSaveFile file(path);
    const auto fileFailed = [&] { return fail(path + QStringLiteral(": ") + file.errorString()); };
    if (!file.open(QIODevice::WriteOnly))
        return fileFailed();
    if (!renderPlanPicture(file, suffix, rows, outputCount) || !file.commit())
        return fileFailed();
    return true;
}
