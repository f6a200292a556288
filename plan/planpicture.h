#pragma once

// The channel plan picture painted from its geometry: the same drawing for the
// window and for files. Needs a QGuiApplication (fonts), no widgets.

#include "plan/channelrules.h"
#include "plan/plangeometry.h"

#include <QtCore/QString>

class QIODevice;
#include <QtGui/QColor>

#include <cstddef>
#include <vector>

class QFont;
class QPainter;

namespace planpicture {

// The table marks its alarms in this red.
inline const QColor AlarmColour{Qt::red};
inline const QColor BarColour{70, 130, 180};
inline const QColor ToneColour{31, 78, 121};

// Width of a picture written to a file, in pixels.
inline constexpr int FileWidth = 1000;

// The font of files: fixed, so a file looks the same whatever the desktop's settings.
QFont fileFont();

plangeometry::Metrics metrics(const QFont &font, double width);

// Paints g onto p, white background included, in the given font.
void paint(QPainter &p, const plangeometry::Geometry &g, const QFont &font);

} // namespace planpicture

// Renders the plan of rows (as the rules see them) on outputCount outputs to
// path: SVG for ".svg", PNG for ".png" (case ignored). On failure returns
// false and says why in *error (if given).
// The same into a device, as "svg" or "png" (any other format: false, no
// error text); the error without a path.
bool renderPlanPicture(QIODevice &device, const QString &format, const std::vector<channelrules::ChannelRow> &rows,
                       std::size_t outputCount, QString *error = nullptr);
bool savePlanPicture(const QString &path, const std::vector<channelrules::ChannelRow> &rows,
                     std::size_t outputCount, QString *error = nullptr);
