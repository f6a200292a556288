#include "panels/gbchannelplan.h"

#include "plan/planview.h"
#include "panels/gbtablecss.h"
#include "plan/planpicture.h"

#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>

#include <cmath>

namespace {

// As tall as the whole picture when there is room (its own hint is cached).
class PlanScroll : public QScrollArea
{
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override
    {
        return {QScrollArea::sizeHint().width(), widget() ? widget()->height() + 2 * frameWidth() : 0};
    }
};

} // namespace

class gbChannelPlan::Canvas : public QWidget
{
public:
    explicit Canvas(gbChannelPlan *owner) : QWidget(owner), owner(owner)
    {
        setObjectName(QStringLiteral("planCanvas"));
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        setMouseTracking(true);
    }

    QSize sizeHint() const override { return {400, height()}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        planpicture::paint(p, owner->geometry(), font());
    }

    void resizeEvent(QResizeEvent *) override { owner->changed(); }

    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::ToolTip) {
            const auto *help = static_cast<QHelpEvent *>(e);
            const int row = plangeometry::rowAt(owner->geometry(), help->pos());
            if (row >= 0)
                QToolTip::showText(help->globalPos(), owner->toolTipFor(row), this);
            else
                QToolTip::hideText();
            return true;
        }
        return QWidget::event(e);
    }

    void mousePressEvent(QMouseEvent *e) override
    {
        const int row = plangeometry::rowAt(owner->geometry(), e->pos());
        if (row >= 0 && e->button() == Qt::LeftButton)
            owner->selectRow(row);
    }

    void mouseMoveEvent(QMouseEvent *e) override
    {
        const bool onBar = plangeometry::rowAt(owner->geometry(), e->pos()) >= 0;
        setCursor(onBar ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }

private:
    gbChannelPlan *owner;
};

gbChannelPlan::gbChannelPlan(QWidget *parent) : QGroupBox(parent)
{
    setObjectName(QStringLiteral("gbChannelPlan"));
    setTitle(tr("Channel plan"));
    auto *layout = new QVBoxLayout(this);
    hint = new QLabel(tr("Read or load a configuration to see its channel plan."), this);
    hint->setObjectName(QStringLiteral("labelPlanHint"));
    canvas = new Canvas(this);
    // Scrolls rather than pushing the window past the screen; never sideways,
    // the picture fits any width.
    scroll = new PlanScroll(this);
    scroll->setObjectName(QStringLiteral("planScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    scroll->setWidget(canvas);
    layout->addWidget(hint);
    layout->addWidget(scroll);
    setTable(nullptr);
}

gbChannelPlan::~gbChannelPlan() = default;

void gbChannelPlan::setTable(gbTableCSS *table)
{
    disconnect(following);
    disconnect(dropping);
    shown = table;
    if (table) {
        // Every change of a cell, the table's own reactions included.
        following = connect(table->findChild<QTableWidget *>(QStringLiteral("tableCSS")), &QTableWidget::itemChanged,
                            this, &gbChannelPlan::changed);
        dropping = connect(table, &QObject::destroyed, this, [this] { setTable(nullptr); });
    }
    hint->setVisible(!table);
    scroll->setVisible(table);
    changed();
}

void gbChannelPlan::changed()
{
    stale = true;
    // Many cells change in one edit: draw once they have.
    if (!refreshQueued) {
        refreshQueued = true;
        QMetaObject::invokeMethod(this, &gbChannelPlan::refresh, Qt::QueuedConnection);
    }
}

void gbChannelPlan::refresh()
{
    refreshQueued = false;
    if (shown) {
        const int wanted = int(std::ceil(geometry().size.height()));
        if (wanted != canvas->height()) {
            canvas->setFixedHeight(wanted);
            const auto &strips = geometry().strips;
            scroll->setMinimumHeight(std::min(wanted, strips.empty() ? wanted : int(strips[0].scale.bottom())));
            scroll->updateGeometry();
            // Once the layouts have settled.
            QMetaObject::invokeMethod(this, &gbChannelPlan::growWindow, Qt::QueuedConnection);
        }
    }
    canvas->update();
}

void gbChannelPlan::growWindow()
{
    const int missing = canvas->height() - scroll->height();
    QWidget *top = window();
    if (missing <= 0 || top == this || !top->isVisible() || !top->screen())
        return;
    const int frame = top->frameGeometry().height() - top->height();
    const int room = top->screen()->availableGeometry().height() - frame;
    top->resize(top->width(), std::max(top->height(), std::min(top->height() + missing, room)));
}

const plangeometry::Geometry &gbChannelPlan::geometry()
{
    if (stale) {
        rows = shown ? shown->ruleRows() : std::vector<channelrules::ChannelRow>{};
        const std::size_t outputs = shown ? std::size_t(shown->outputCount()) : 0;
        picture = plangeometry::layout(rows, outputs, planpicture::metrics(canvas->font(), canvas->width()));
        stale = false;
    }
    return picture;
}

QString gbChannelPlan::toolTipFor(int row)
{
    geometry();
    if (!shown || row < 0 || std::size_t(row) >= rows.size())
        return QString();
    const channelrules::ChannelRow &r = rows[std::size_t(row)];
    const QString bandwidth = r.mode == channelrules::ModeTone
                                  ? tr("Bandwidth: none (tone)")
                                  : tr("Bandwidth: %1 MHz").arg(planview::shownMHz(r.bandwidth));
    return QStringList{tr("Row %1").arg(planview::shownIndex(std::uint32_t(row))),
                       tr("Mode: %1").arg(shown->cellText(row, gbTableCSS::ColMode)),
                       tr("IF OUT: %1 MHz").arg(planview::shownMHz(r.ifOut)), bandwidth,
                       tr("Output: %1").arg(std::uint8_t(planview::shownIndex(r.output)))}
        .join(QLatin1Char('\n'));
}

void gbChannelPlan::selectRow(int row)
{
    if (!shown || row < 0 || row >= shown->rowCount())
        return;
    auto *view = shown->findChild<QTableWidget *>(QStringLiteral("tableCSS"));
    const QModelIndex first = view->model()->index(row, 0);
    // Selected, not made current: a current cell would open its editor.
    view->selectionModel()->select(QItemSelection(first, view->model()->index(row, view->columnCount() - 1)),
                                   QItemSelectionModel::ClearAndSelect);
    view->scrollTo(first);
}
