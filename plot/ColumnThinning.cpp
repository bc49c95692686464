#include "ColumnThinning.h"

#include <QPainter>

#include <qwt_clipper.h>
#include <qwt_painter.h>
#include <qwt_scale_map.h>

#include <cmath>

namespace {

// Below this many points per column on average the reduction saves little.
constexpr double kPointsPerColumn = 4.0;

} // namespace

bool thinToPixelColumns(const QwtSeriesData<QPointF>& series, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                        int from, int to, bool roundPoints, QPolygonF* out)
{
    QPolygonF points;
    points.reserve(2 * (int(std::abs(xMap.p2() - xMap.p1())) + 2));
    double column = 0;
    double lastX = -HUGE_VAL;
    QPointF lowest;
    QPointF highest;
    int lowestAt = -1;
    int highestAt = -1;
    auto closeColumn = [&] {
        if (lowestAt < 0)
            return;
        if (lowestAt == highestAt)
            points << lowest;
        else if (lowestAt < highestAt)
            points << lowest << highest;
        else
            points << highest << lowest;
    };
    for (int i = from; i <= to; ++i) {
        const QPointF sample = series.sample(static_cast<size_t>(i));
        QPointF p(xMap.transform(sample.x()), yMap.transform(sample.y()));
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || p.x() < lastX)
            return false;
        lastX = p.x();
        if (roundPoints)
            p = QPointF(std::round(p.x()), std::round(p.y()));
        const double c = std::round(p.x());
        if (lowestAt < 0 || c != column) {
            closeColumn();
            column = c;
            lowest = highest = p;
            lowestAt = highestAt = i;
        } else if (p.y() < lowest.y()) {
            lowest = p;
            lowestAt = i;
        } else if (p.y() > highest.y()) {
            highest = p;
            highestAt = i;
        }
    }
    closeColumn();
    *out = points;
    return true;
}

void ColumnThinnedCurve::drawLines(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                                   const QRectF& canvasRect, int from, int to) const
{
    const double columns = std::abs(xMap.p2() - xMap.p1()) + 1;
    QPolygonF points;
    if (to - from + 1 < kPointsPerColumn * columns || testCurveAttribute(Fitted)
        || !thinToPixelColumns(*data(), xMap, yMap, from, to, QwtPainter::roundingAlignment(painter), &points)) {
        QwtPlotCurve::drawLines(painter, xMap, yMap, canvasRect, from, to);
        return;
    }
    if (testPaintAttribute(ClipPolygons)) {
        const qreal margin = qMax(qreal(1.0), painter->pen().widthF());
        points = QwtClipper::clipPolygonF(canvasRect.adjusted(-margin, -margin, margin, margin), points);
    }
    QwtPainter::drawPolyline(painter, points);
}
