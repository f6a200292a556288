// Build-time generator for the logo picture and the application icon.
// Usage: artgen logo <out.png> | artgen icon <out.ico|out.png> <size>
//        | artgen icons <out.ico> <size,size,...> (one icon file, every size)
#include <QtCore/QBuffer>
#include <QtCore/QDataStream>
#include <QtCore/QSaveFile>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QLinearGradient>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>
#include <cstdio>

namespace {

const QColor kNavy(0x12, 0x2b, 0x4a);
const QColor kSignal(0xf2, 0x9b, 0x1d);

// A dish with three outgoing waves; the same mark is used in logo and icon.
void drawMark(QPainter &p, const QRectF &box)
{
    const qreal s = box.height();
    p.save();
    p.translate(box.topLeft());
    p.setPen(Qt::NoPen);
    p.setBrush(kNavy);
    QPainterPath dish;
    dish.moveTo(0.10 * s, 0.30 * s);
    dish.quadTo(0.20 * s, 0.95 * s, 0.75 * s, 0.80 * s);
    dish.closeSubpath();
    p.drawPath(dish);
    p.drawRect(QRectF(0.36 * s, 0.72 * s, 0.08 * s, 0.22 * s));
    p.drawRect(QRectF(0.22 * s, 0.90 * s, 0.36 * s, 0.06 * s));
    QPen wave(kSignal, qMax<qreal>(1.0, 0.06 * s), Qt::SolidLine, Qt::RoundCap);
    p.setPen(wave);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const qreal r = (0.18 + 0.14 * i) * s;
        p.drawArc(QRectF(0.42 * s - r, 0.55 * s - r, 2 * r, 2 * r), 10 * 16, 70 * 16);
    }
    p.restore();
}

QImage makeLogo()
{
    QImage img(420, 64, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    drawMark(p, QRectF(4, 2, 60, 60));
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(30);
    title.setBold(true);
    p.setFont(title);
    p.setPen(kNavy);
    p.drawText(QRectF(74, 2, 340, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("OSTREL RIZ"));
    return img;
}

QImage makeIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, size);
    bg.setColorAt(0, QColor(0xf4, 0xf7, 0xfb));
    bg.setColorAt(1, QColor(0xcf, 0xdc, 0xea));
    p.setBrush(bg);
    p.setPen(QPen(kNavy, qMax(1.0, size / 32.0)));
    const qreal m = size / 32.0;
    p.drawRoundedRect(QRectF(m, m, size - 2 * m, size - 2 * m), size / 6.0, size / 6.0);
    drawMark(p, QRectF(size * 0.14, size * 0.12, size * 0.72, size * 0.72));
    return img;
}

// An ICO holding one PNG per size, as Windows takes it for a program's icon
// (Qt writes a single image per ICO).
bool writeIcons(const QString &path, const QStringList &sizes)
{
    QByteArray directory, images;
    QDataStream dir(&directory, QIODevice::WriteOnly);
    dir.setByteOrder(QDataStream::LittleEndian);
    dir << quint16(0) << quint16(1) << quint16(sizes.size());
    const quint32 firstImage = 6 + 16 * quint32(sizes.size());
    for (const QString &text : sizes) {
        const int size = text.toInt();
        if (size < 1 || size > 256)
            return false;
        QByteArray png;
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly) || !makeIcon(size).save(&buffer, "PNG"))
            return false;
        // Width and height 0 stand for 256.
        dir << quint8(size % 256) << quint8(size % 256) << quint8(0) << quint8(0) << quint16(1) << quint16(32)
            << quint32(png.size()) << quint32(firstImage + quint32(images.size()));
        images += png;
    }
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(directory + images) == directory.size() + images.size()
           && file.commit();
}

} // namespace

int main(int argc, char **argv)
{
    // The build runs this with QT_QPA_PLATFORM=offscreen: no screen is needed.
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("icons")) {
        if (writeIcons(args[2], args[3].split(',')))
            return 0;
        std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    QImage img;
    if (args.size() == 3 && args[1] == QLatin1String("logo"))
        img = makeLogo();
    else if (args.size() == 4 && args[1] == QLatin1String("icon"))
        img = makeIcon(args[3].toInt());
    if (img.isNull()) {
        std::fprintf(stderr, "usage: artgen logo <out.png> | artgen icon <out> <size> | artgen icons <out.ico> <sizes>\n");
        return 2;
    }
    if (!img.save(args[2])) {
        std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
