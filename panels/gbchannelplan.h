#ifndef OSTREL_PANELS_GBCHANNELPLAN_H
#define OSTREL_PANELS_GBCHANNELPLAN_H

#include "plan/channelrules.h"
#include "plan/plangeometry.h"

#include <QGroupBox>
#include <QPointer>

#include <vector>

class QLabel;
class QScrollArea;
class gbTableCSS;

// The channel plan of a CSS table as a picture: one strip per output, a bar
// per channel. It follows every cell change of the table; hovering a bar tells
// its values, clicking it selects its row in the table.
class gbChannelPlan : public QGroupBox
{
    Q_OBJECT

public:
    explicit gbChannelPlan(QWidget *parent = nullptr);
    ~gbChannelPlan() override;

    // Null shows a hint instead of a picture.
    void setTable(gbTableCSS *table);
    gbTableCSS *table() const { return shown; }

    // The picture as it stands, recomputed after any change of the table.
    const plangeometry::Geometry &geometry();
    QString toolTipFor(int row);
    void selectRow(int row);

private:
    class Canvas;

    void changed();
    void refresh();
    // The window taller by what the picture misses, as far as the screen allows.
    void growWindow();

    QPointer<gbTableCSS> shown;
    Canvas *canvas = nullptr; // owned through Qt parenting
    QScrollArea *scroll = nullptr;
    QLabel *hint = nullptr;   // owned through Qt parenting
    std::vector<channelrules::ChannelRow> rows;
    plangeometry::Geometry picture;
    bool stale = true;
    bool refreshQueued = false;
    QMetaObject::Connection following;
    QMetaObject::Connection dropping;
};

#endif
