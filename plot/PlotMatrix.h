#pragma once
// A grid of Qwt plots kept in line: the plots of one column share the scale
// division of their x axes, those of one row that of their y axes, only the
// outer plots show axis backbones, ticks and labels, and the axis strips are
// sized so that the canvases align. Every cell starts with an empty plot;
// any cell can be given another plot.

#include <QFrame>

class QwtPlot;

class PlotMatrix : public QFrame
{
    Q_OBJECT
public:
    PlotMatrix(int numRows, int numColumns, QWidget* parent = nullptr);
    ~PlotMatrix() override;

    int numRows() const;
    int numColumns() const;

    QwtPlot* plotAt(int row, int column);
    const QwtPlot* plotAt(int row, int column) const;
    // The grid takes the plot as its child; the cell's previous plot is
    // deleted when the grid is still its parent.
    void setPlotAt(QwtPlot* plot, int row, int column);

    bool isAxisVisible(int axisId) const;
    void setAxisVisible(int axisId, bool on = true);

    void setRowStretch(int row, int stretch);
    void setColumnStretch(int column, int stretch);

    // For an x axis the plot of (0, rowOrColumn), for a y axis that of
    // (rowOrColumn, 0); the others of its column or row follow.
    void setAxisScale(int axisId, int rowOrColumn, double min, double max, double step = 0);

private slots:
    void scaleDivChanged();

private:
    void updateLayout();
    void alignScaleExtent(int rowOrColumn, int axisId);
    void alignBorderDist(int rowOrColumn, int axisId);
    void connectAxes(QwtPlot* plot);
    void disconnectAxes(QwtPlot* plot);

    class PrivateData;
    PrivateData* d;
};
