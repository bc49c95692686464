#pragma once
// The program's plot widget: decay curves, line sections and waveforms.
//
// Two kinds of content live side by side: single lines added one at a time
// (newLine), drawn after the y axis's scale type, and one curve family set as
// a whole (newGraph_Lines), one curve per matrix row over one shared x list,
// coloured along a colour map, with an optional position marker.
//
// Automatic replotting stays off: operations that change curves or axes
// replot themselves, the others show at the next replot.

#include "PlotGlobals.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QVector>

#include <qwt_plot.h>

class QMenu;
class QwtLegend;
class QwtPlotCurve;
class QwtPlotGrid;
class QwtPlotMarker;
class QwtPlotTextLabel;

// One single line: what the caller gave, and the curve drawn from it.
struct st_GraphLine
{
    QString name;
    QVector<double> x;
    QVector<double> y;
    QwtPlotCurve* curve = nullptr;  // owned
};

class Graph_Lines : public QwtPlot
{
    Q_OBJECT
public:
    enum e_AxisScaleType
    {
        Linear = 0,
        Log10 = 1,
        // Milliseconds since the epoch shown as local clock times; bottom axis
        // only, a left axis of this type is drawn as Linear.
        Time = 2,
    };
    Q_ENUM(e_AxisScaleType)

private:
    Q_PROPERTY(bool TitleShow READ GetTitleShow WRITE SetTitleShow)
    Q_PROPERTY(QString Title READ GetTitle WRITE setGraphTitle)
    Q_PROPERTY(e_AxisScaleType AxisXScale READ GetAxisXScale WRITE setAxisXScale)
    Q_PROPERTY(e_AxisScaleType AxisYScale READ GetAxisYScale WRITE setAxisYScale)
    Q_PROPERTY(bool LegendShow READ GetLegendShow WRITE setLegendShow)

public:
    explicit Graph_Lines(QWidget* parent = nullptr);
    ~Graph_Lines() override;

    bool GetTitleShow() const { return m_titleShow; }
    void SetTitleShow(bool on);
    QString GetTitle() const { return m_title; }
    e_AxisScaleType GetAxisXScale() const { return m_axisXScale; }
    void setAxisXScale(e_AxisScaleType v);
    e_AxisScaleType GetAxisYScale() const { return m_axisYScale; }
    void setAxisYScale(e_AxisScaleType v);
    bool GetLegendShow() const { return m_legendShow; }
    void setLegendShow(bool on);

    // Installs the scale draws and engines of both scale types.
    void updateAxisScale();

    // The bottom axis's title is drawn inside the canvas, bottom right; the
    // others are the axis widgets' titles. No replot.
    void setAxisTitle(int axisId, const QString& title);
    // Takes effect with the axis's current engine only.
    void setAxisInverted(int axisId, bool on);
    // Limits of the drawn copy of lines added later on a log y axis.
    void setLogClamp(bool on, double min, double max);

    const QVector<st_GraphLine*>& lines() const { return m_lines; }
    const QVector<QwtPlotCurve*>& familyCurves() const { return m_familyCurves; }
    QwtPlotMarker* marker() const { return m_marker; }
    QwtPlotGrid* grid() const { return m_grid; }
    QMenu* contextMenu() const { return m_menu; }

public slots:
    void onSetAxisScale(bool xType_log, bool yType_log);
    void clearLines();
    void setGraphTitle(QString name, bool isShow = true);
    void newLine(QString name, QVector<double> x, QVector<double> y, double alphaF = 1.0);
    void createContextMenu();
    void exportToPng();
    void exportToTxt();
    void setAxisX(bool x_log, bool x_auto, double x_min = 0, double x_max = 100);
    void setAxisY(bool y_log, bool y_auto, double y_min = 0, double y_max = 100);
    void newGraph_Lines(QVector<QVector<double> > dataMatrix, QVector<double> xList,
                        QVector<double> yList, double curPos = -1);
    void setCurPos(double curPos);
    void setGridMinShow(int axisId, bool show);
    void addWaterMarker(QString text, int flags = 66, QFont font = g_axisFont,
                        QColor color = Qt::lightGray);

private:
    void plotLineLinear(st_GraphLine* line, double alphaF);
    void plotLineLog(st_GraphLine* line, double alphaF);
    bool setCurveFamily(const QVector<QVector<double> >& dataMatrix, const QVector<double>& xList,
                        const QVector<double>& yList);
    void onContextMenuRequested(const QPoint& pos);

    QwtLegend* m_legend = nullptr;
    QwtPlotGrid* m_grid = nullptr;
    QVector<st_GraphLine*> m_lines;
    e_AxisScaleType m_axisXScale = Linear;
    e_AxisScaleType m_axisYScale = Linear;
    bool m_titleShow = true;
    bool m_legendShow = false;
    QString m_title;
    QMenu* m_menu = nullptr;
    QVector<double> m_familyX;
    QVector<QVector<double> > m_familyMatrix;
    QVector<QwtPlotCurve*> m_familyCurves;
    QwtPlotMarker* m_marker = nullptr;
    QwtPlotTextLabel* m_bottomTitle = nullptr;
    bool m_clampOn = false;
    double m_clampMin = 0.0;
    double m_clampMax = 0.0;
};
