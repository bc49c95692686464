#pragma once
// Long curves (a continuous line holds thousands of points per gate) put many
// points on each pixel column of the canvas. Drawing every segment costs far
// more than the picture needs: per column, the vertical run from the lowest
// to the highest point is all that shows. ColumnThinnedCurve draws its lines
// through that reduction when the curve has several points per column.

#include <QPolygonF>

#include <qwt_plot_curve.h>

class QwtScaleMap;

// Points from..to of series mapped to paint coordinates (rounded to whole
// pixels with roundPoints, as Qwt does for a painter without antialiasing),
// with every run of points on one pixel column replaced by the column's
// minimum and maximum, in the order they occur. Returns false (and leaves out untouched) when x
// decreases somewhere or a mapped value is not finite: such a curve has to be
// drawn point by point.
bool thinToPixelColumns(const QwtSeriesData<QPointF>& series, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                        int from, int to, bool roundPoints, QPolygonF* out);

class ColumnThinnedCurve : public QwtPlotCurve
{
public:
    using QwtPlotCurve::QwtPlotCurve;

protected:
    void drawLines(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap, const QRectF& canvasRect,
                   int from, int to) const override;
};
