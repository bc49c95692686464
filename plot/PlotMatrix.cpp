#include "PlotMatrix.h"

#include <QGridLayout>
#include <QPointer>
#include <QVector>

#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>

namespace {

constexpr int kAxisCount = QwtPlot::axisCnt;

// Qwt 6.1 knows axes only by integer ids.
bool isXAxis(int axisId)
{
    return axisId == QwtPlot::xBottom || axisId == QwtPlot::xTop;
}

bool isValidAxis(int axisId)
{
    return axisId >= 0 && axisId < kAxisCount;
}

// An empty cell: as small as its axes allow, so that the grid's own plots
// never push a plot put in by the caller aside.
class Plot : public QwtPlot
{
public:
    using QwtPlot::QwtPlot;
    QSize sizeHint() const override { return QwtPlot::minimumSizeHint(); }
};

} // namespace

class PlotMatrix::PrivateData
{
public:
    bool axisVisible[kAxisCount] = {true, false, true, false};
    // Guarded, so that a plot deleted from outside is an empty cell rather
    // than a dangling pointer.
    QVector<QPointer<QwtPlot>> plots;
    bool inScaleSync = false;
    QGridLayout* layout = nullptr;
};

PlotMatrix::PlotMatrix(int numRows, int numColumns, QWidget* parent)
    : QFrame(parent)
    , d(new PrivateData)
{
    d->plots.resize(numRows * numColumns);
    d->layout = new QGridLayout(this);
    d->layout->setSpacing(0);
    d->layout->setContentsMargins(0, 0, 0, 0);
    for (int row = 0; row < numRows; ++row) {
        for (int column = 0; column < numColumns; ++column) {
            auto* plot = new Plot(this);
            auto* canvas = new QwtPlotCanvas;
            canvas->setLineWidth(1);
            canvas->setFrameStyle(QFrame::Box | QFrame::Plain);
            plot->setCanvas(canvas);
            d->layout->addWidget(plot, row, column);
            connectAxes(plot);
            d->plots[row * numColumns + column] = plot;
        }
    }
    updateLayout();
}

PlotMatrix::~PlotMatrix()
{
    delete d;
}

int PlotMatrix::numRows() const
{
    const auto* grid = qobject_cast<const QGridLayout*>(layout());
    return grid ? grid->rowCount() : 0;
}

int PlotMatrix::numColumns() const
{
    const auto* grid = qobject_cast<const QGridLayout*>(layout());
    return grid ? grid->columnCount() : 0;
}

QwtPlot* PlotMatrix::plotAt(int row, int column)
{
    const int index = row * numColumns() + column;
    return index >= 0 && index < d->plots.size() ? d->plots.at(index).data() : nullptr;
}

const QwtPlot* PlotMatrix::plotAt(int row, int column) const
{
    return const_cast<PlotMatrix*>(this)->plotAt(row, column);
}

void PlotMatrix::setPlotAt(QwtPlot* plot, int row, int column)
{
    if (row < 0 || column < 0 || row >= numRows() || column >= numColumns())
        return;
    const int index = row * numColumns() + column;
    if (index >= d->plots.size() || d->plots.at(index) == plot)
        return;
    if (QwtPlot* old = d->plots.at(index)) {
        d->layout->removeWidget(old);
        disconnectAxes(old);
        if (old->parent() == this)
            delete old;
    }
    d->layout->addWidget(plot, row, column);
    d->plots[index] = plot;
    connectAxes(plot);
    plot->replot();
}

bool PlotMatrix::isAxisVisible(int axisId) const
{
    return isValidAxis(axisId) && d->axisVisible[axisId];
}

void PlotMatrix::setAxisVisible(int axisId, bool on)
{
    if (!isValidAxis(axisId) || d->axisVisible[axisId] == on)
        return;
    d->axisVisible[axisId] = on;
    updateLayout();
}

void PlotMatrix::setRowStretch(int row, int stretch)
{
    d->layout->setRowStretch(row, stretch);
}

void PlotMatrix::setColumnStretch(int column, int stretch)
{
    d->layout->setColumnStretch(column, stretch);
}

void PlotMatrix::setAxisScale(int axisId, int rowOrColumn, double min, double max, double step)
{
    QwtPlot* plot = isXAxis(axisId) ? plotAt(0, rowOrColumn) : plotAt(rowOrColumn, 0);
    if (!plot)
        return;
    plot->setAxisScale(axisId, min, max, step);
    plot->updateAxes();
}

void PlotMatrix::connectAxes(QwtPlot* plot)
{
    for (int axis = 0; axis < kAxisCount; ++axis)
        connect(plot->axisWidget(axis), &QwtScaleWidget::scaleDivChanged, this,
                &PlotMatrix::scaleDivChanged, Qt::QueuedConnection);
}

void PlotMatrix::disconnectAxes(QwtPlot* plot)
{
    for (int axis = 0; axis < kAxisCount; ++axis)
        disconnect(plot->axisWidget(axis), &QwtScaleWidget::scaleDivChanged, this,
                   &PlotMatrix::scaleDivChanged);
}

void PlotMatrix::scaleDivChanged()
{
    if (d->inScaleSync)
        return;
    d->inScaleSync = true;

    // The change is queued: its sender may have been deleted since, with its
    // plot. Only its address is compared, with the axis widgets of the plots
    // the grid holds now; it is never used itself.
    const QObject* source = sender();
    const int rows = numRows();
    const int columns = numColumns();
    QwtPlot* plot = nullptr;
    int axisId = -1;
    int line = -1;
    for (int row = 0; row < rows && !plot; ++row) {
        for (int column = 0; column < columns && !plot; ++column) {
            QwtPlot* candidate = plotAt(row, column);
            if (!candidate)
                continue;
            for (int axis = 0; axis < kAxisCount; ++axis) {
                if (candidate->axisWidget(axis) == source) {
                    plot = candidate;
                    axisId = axis;
                    line = isXAxis(axis) ? column : row;
                    break;
                }
            }
        }
    }

    if (plot && plot->isVisible()) {
        const QwtScaleDiv div = plot->axisScaleDiv(axisId);
        if (isXAxis(axisId)) {
            for (int row = 0; row < rows; ++row) {
                QwtPlot* other = plotAt(row, line);
                if (other && other != plot)
                    other->setAxisScaleDiv(axisId, div);
            }
        } else {
            for (int column = 0; column < columns; ++column) {
                QwtPlot* other = plotAt(line, column);
                if (other && other != plot)
                    other->setAxisScaleDiv(axisId, div);
            }
        }
        updateLayout();
    }

    d->inScaleSync = false;
}

void PlotMatrix::updateLayout()
{
    const int rows = numRows();
    const int columns = numColumns();

    int bottomRow = rows - 1;
    for (int row = rows - 1; row >= 0; --row) {
        const QwtPlot* plot = plotAt(row, 0);
        if (plot && plot->isVisible()) {
            bottomRow = row;
            break;
        }
    }

    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            QwtPlot* plot = plotAt(row, column);
            if (!plot)
                continue;
            for (int axis = 0; axis < kAxisCount; ++axis) {
                bool shown = d->axisVisible[axis];
                switch (axis) {
                case QwtPlot::yLeft: shown = shown && column == 0; break;
                case QwtPlot::yRight: shown = shown && column == columns - 1; break;
                case QwtPlot::xBottom: shown = shown && row == bottomRow; break;
                case QwtPlot::xTop: shown = shown && row == 0; break;
                }
                plot->enableAxis(axis, true);
                QwtScaleWidget* widget = plot->axisWidget(axis);
                QwtScaleDraw* draw = widget->scaleDraw();
                draw->enableComponent(QwtAbstractScaleDraw::Backbone, shown);
                draw->enableComponent(QwtAbstractScaleDraw::Ticks, shown);
                draw->enableComponent(QwtAbstractScaleDraw::Labels, shown);
                widget->setMargin(0);
                widget->setSpacing(0);
            }
        }
    }

    for (int row = 0; row < rows; ++row) {
        alignScaleExtent(row, QwtPlot::xTop);
        alignScaleExtent(row, QwtPlot::xBottom);
        alignBorderDist(row, QwtPlot::yLeft);
        alignBorderDist(row, QwtPlot::yRight);
    }
    for (int column = 0; column < columns; ++column) {
        alignScaleExtent(column, QwtPlot::yLeft);
        alignScaleExtent(column, QwtPlot::yRight);
        alignBorderDist(column, QwtPlot::xBottom);
        alignBorderDist(column, QwtPlot::xTop);
    }

    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            if (QwtPlot* plot = plotAt(row, column))
                plot->replot();
        }
    }
}

void PlotMatrix::alignScaleExtent(int rowOrColumn, int axisId)
{
    QVector<QwtScaleWidget*> widgets;
    if (isXAxis(axisId)) {
        for (int column = 0; column < numColumns(); ++column) {
            if (QwtPlot* plot = plotAt(rowOrColumn, column))
                widgets.append(plot->axisWidget(axisId));
        }
    } else {
        for (int row = 0; row < numRows(); ++row) {
            if (QwtPlot* plot = plotAt(row, rowOrColumn))
                widgets.append(plot->axisWidget(axisId));
        }
    }
    double maxExtent = 0;
    for (QwtScaleWidget* widget : qAsConst(widgets)) {
        QwtScaleDraw* draw = widget->scaleDraw();
        draw->setMinimumExtent(0);
        maxExtent = std::max(maxExtent, draw->extent(widget->font()));
    }
    for (QwtScaleWidget* widget : qAsConst(widgets))
        widget->scaleDraw()->setMinimumExtent(maxExtent);
}

void PlotMatrix::alignBorderDist(int rowOrColumn, int axisId)
{
    const int rows = numRows();
    const int columns = numColumns();
    QwtPlot* source = nullptr;
    QVector<QwtPlot*> targets;
    switch (axisId) {
    case QwtPlot::yLeft:
        source = plotAt(rowOrColumn, 0);
        for (int column = 1; column < columns; ++column)
            targets.append(plotAt(rowOrColumn, column));
        break;
    case QwtPlot::yRight:
        source = plotAt(rowOrColumn, columns - 1);
        for (int column = 0; column < columns - 1; ++column)
            targets.append(plotAt(rowOrColumn, column));
        break;
    case QwtPlot::xBottom:
        // From the last row even when it is hidden and the axis shows higher up.
        source = plotAt(rows - 1, rowOrColumn);
        for (int row = 0; row < rows - 1; ++row)
            targets.append(plotAt(row, rowOrColumn));
        break;
    case QwtPlot::xTop:
        source = plotAt(0, rowOrColumn);
        for (int row = 1; row < rows; ++row)
            targets.append(plotAt(row, rowOrColumn));
        break;
    default:
        return;
    }
    int start = 0;
    int end = 0;
    if (source)
        source->axisWidget(axisId)->getBorderDistHint(start, end);
    for (QwtPlot* plot : qAsConst(targets)) {
        if (plot)
            plot->axisWidget(axisId)->setMinBorderDist(start, end);
    }
}
