#include "Graph_Lines.h"

#include "ColumnThinning.h"
#include "Prompt.h"
#include "ScaleDraws.h"

#include <QAction>
#include <QDebug>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QSaveFile>
#include <QTextStream>

#include <qwt_color_map.h>
#include <qwt_date_scale_engine.h>
#include <qwt_legend.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_layout.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_renderer.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_widget.h>
#include <qwt_symbol.h>

#include <algorithm>
#include <cmath>

namespace {

// Alignment of the marker label and the bottom-axis title: right, bottom.
constexpr int kAlignRightBottom = Qt::AlignRight | Qt::AlignBottom;
// x values above this are milliseconds since the epoch (1999-12-31 16:00:01 UTC).
constexpr double kTimeAxisThreshold = 946656001000.0;
// Picture export: page size and resolution.
const QSizeF kPictureSizeMM(320.0, 180.0);
constexpr double kPictureDpi = 300.0;

// A file name after the plot's title; ':' cannot stand in a Windows file name.
QString exportFileName(const QString& title, const QString& fallback, const QString& suffix)
{
    QString name = title.isEmpty() ? fallback : title + suffix;
    name.remove(QLatin1Char(':'));
    return name;
}

QString workingPath(const QString& fileName)
{
    return QDir::currentPath() + QLatin1Char('/') + fileName;
}

// The picture QwtPlotRenderer::renderDocument would write for an image
// format, kept in memory so that the caller can tell whether it was saved.
QImage renderPicture(QwtPlot* plot)
{
    const double mmToInch = 1.0 / 25.4;
    const QSizeF size = kPictureSizeMM * mmToInch * kPictureDpi;
    const QRect imageRect = QRectF(QPointF(0, 0), size).toRect();
    const int dotsPerMeter = qRound(kPictureDpi * mmToInch * 1000.0);

    QImage image(imageRect.size(), QImage::Format_ARGB32);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(QColor(Qt::white).rgb());

    QwtPlotRenderer renderer;
    renderer.setDiscardFlags(QwtPlotRenderer::DiscardBackground
                             | QwtPlotRenderer::DiscardCanvasBackground
                             | QwtPlotRenderer::DiscardCanvasFrame);
    QPainter painter(&image);
    renderer.render(plot, &painter, imageRect);
    painter.end();
    return image;
}

QPen squarePen(const QColor& color, qreal width, Qt::PenStyle style)
{
    return QPen(QBrush(color), width, style, Qt::SquareCap, Qt::BevelJoin);
}

} // namespace

Graph_Lines::Graph_Lines(QWidget* parent)
    : QwtPlot(parent)
{
    m_grid = new QwtPlotGrid;
    m_grid->enableXMin(true);
    m_grid->enableYMin(true);
    m_grid->setMajorPen(squarePen(Qt::black, 1, Qt::DotLine));
    m_grid->setMinorPen(squarePen(Qt::lightGray, 1, Qt::DotLine));
    m_grid->attach(this);

    setAutoReplot(false);
    setAutoFillBackground(true);
    plotLayout()->setAlignCanvasToScales(true);
    for (int axis : {xBottom, yLeft, xTop, yRight})
        axisWidget(axis)->setMargin(0);

    updateAxisScale();
    for (int axis : {yLeft, xBottom}) {
        setAxisMaxMajor(axis, 5);
        setAxisMaxMinor(axis, 0);
    }
    replot();

    setContextMenuPolicy(Qt::CustomContextMenu);
    createContextMenu();
    connect(this, &QWidget::customContextMenuRequested, this, &Graph_Lines::onContextMenuRequested);
}

Graph_Lines::~Graph_Lines()
{
    for (st_GraphLine* line : qAsConst(m_lines)) {
        delete line->curve;
        delete line;
    }
    // The plot's item list deletes what is attached; a hidden marker is not.
    if (m_marker && !m_marker->plot())
        delete m_marker;
}

void Graph_Lines::SetTitleShow(bool on)
{
    m_titleShow = on;
    if (!on) {
        setTitle(QwtText());
        return;
    }
    QFont font = g_axisFont;
    font.setFamily(QStringLiteral("SIMSUN"));
    if (g_axisFont.pixelSize() > 0)
        font.setPixelSize(g_axisFont.pixelSize() + 4);
    QwtText text(m_title);
    text.setFont(font);
    setTitle(text);
}

void Graph_Lines::setAxisXScale(e_AxisScaleType v)
{
    if (v == m_axisXScale)
        return;
    m_axisXScale = v;
    updateAxisScale();
}

void Graph_Lines::setAxisYScale(e_AxisScaleType v)
{
    if (v == m_axisYScale)
        return;
    m_axisYScale = v;
    updateAxisScale();
}

void Graph_Lines::setLegendShow(bool on)
{
    if (on == m_legendShow)
        return;
    if (on) {
        m_legend = new QwtLegend(this);
        m_legend->setDefaultItemMode(QwtLegendData::Checkable);
        insertLegend(m_legend, QwtPlot::RightLegend, -1);
        m_legend->setLineWidth(5);
    } else {
        insertLegend(nullptr);  // deletes the legend
        m_legend = nullptr;
    }
    m_legendShow = on;
    replot();
}

void Graph_Lines::updateAxisScale()
{
    // Tick labels carry g_axisFont themselves; Qwt 6.1 sizes their boxes
    // partly with the axis widget's font and clips the last digit when the
    // two differ, so the widgets take the same font.
    setAxisFont(xBottom, g_axisFont);
    setAxisFont(yLeft, g_axisFont);
    switch (m_axisXScale) {
    case Log10:
        setAxisScaleDraw(xBottom, new SciScaleDraw);
        setAxisScaleEngine(xBottom, new QwtLogScaleEngine(10));
        setAxisMaxMajor(xBottom, 10);
        setAxisMaxMinor(xBottom, 10);
        break;
    case Time:
        setAxisScaleDraw(xBottom, new TimeScaleDraw);
        setAxisScaleEngine(xBottom, new QwtDateScaleEngine(Qt::LocalTime));
        setAxisMaxMajor(xBottom, 7);
        setAxisMaxMinor(xBottom, 0);
        break;
    default:
        setAxisScaleDraw(xBottom, new SimpleScaleDraw);
        setAxisScaleEngine(xBottom, new QwtLinearScaleEngine(10));
        setAxisMaxMajor(xBottom, 4);
        setAxisMaxMinor(xBottom, 0);
        break;
    }
    if (m_axisYScale == Log10) {
        setAxisScaleDraw(yLeft, new SciScaleDraw);
        setAxisScaleEngine(yLeft, new QwtLogScaleEngine(10));
        setAxisMaxMajor(yLeft, 10);
        setAxisMaxMinor(yLeft, 10);
    } else {
        setAxisScaleDraw(yLeft, new SimpleScaleDraw);
        setAxisScaleEngine(yLeft, new QwtLinearScaleEngine(10));
        setAxisMaxMajor(yLeft, 4);
        setAxisMaxMinor(yLeft, 0);
    }
    replot();
}

void Graph_Lines::setAxisTitle(int axisId, const QString& title)
{
    QwtText text(title);
    text.setFont(g_axisFont);
    if (axisId == xBottom) {
        text.setRenderFlags(kAlignRightBottom);
        if (m_bottomTitle) {
            m_bottomTitle->detach();
            delete m_bottomTitle;
        }
        m_bottomTitle = new QwtPlotTextLabel;
        m_bottomTitle->setText(text);
        m_bottomTitle->attach(this);
        return;
    }
    if (QwtScaleWidget* widget = axisWidget(axisId))
        widget->setTitle(text);
}

void Graph_Lines::setAxisInverted(int axisId, bool on)
{
    if (QwtScaleEngine* engine = axisScaleEngine(axisId))
        engine->setAttribute(QwtScaleEngine::Inverted, on);
}

void Graph_Lines::setLogClamp(bool on, double min, double max)
{
    m_clampOn = on;
    m_clampMin = min;
    m_clampMax = max;
}

void Graph_Lines::onSetAxisScale(bool xType_log, bool yType_log)
{
    setAxisXScale(xType_log ? Log10 : Linear);
    setAxisYScale(yType_log ? Log10 : Linear);
}

void Graph_Lines::clearLines()
{
    for (st_GraphLine* line : qAsConst(m_lines)) {
        delete line->curve;
        delete line;
    }
    m_lines.clear();
    setAxisAutoScale(xBottom, true);
    setAxisAutoScale(yLeft, true);
    qDeleteAll(m_familyCurves);
    m_familyCurves.clear();
    detachItems(QwtPlotItem::Rtti_PlotCurve, true);
    replot();
}

void Graph_Lines::setGraphTitle(QString name, bool isShow)
{
    m_title = name;
    m_titleShow = isShow;
    SetTitleShow(isShow);
}

void Graph_Lines::newLine(QString name, QVector<double> x, QVector<double> y, double alphaF)
{
    if (x.size() < 2 || y.size() < 2)
        return;
    auto* line = new st_GraphLine{name, x, y, nullptr};
    if (m_axisYScale == Log10)
        plotLineLog(line, alphaF);
    else
        plotLineLinear(line, alphaF);
    replot();
    m_lines.append(line);
}

void Graph_Lines::plotLineLinear(st_GraphLine* line, double alphaF)
{
    delete line->curve;
    // A damaged stored sounding may give x and y of different lengths: only
    // the pairs that exist are drawn.
    const int n = std::min(line->x.size(), line->y.size());
    auto* curve = new ColumnThinnedCurve(line->name);
    curve->setSamples(line->x.mid(0, n), line->y.mid(0, n));
    curve->setStyle(QwtPlotCurve::Lines);
    QColor color(Qt::blue);
    color.setAlphaF(alphaF);
    curve->setPen(color, 1, Qt::SolidLine);
    curve->attach(this);
    line->curve = curve;
}

void Graph_Lines::plotLineLog(st_GraphLine* line, double alphaF)
{
    const int n = std::min(line->x.size(), line->y.size());
    QVector<double> xs(n);
    QVector<double> ys(n);
    for (int i = 0; i < n; ++i) {
        xs[i] = std::fabs(line->x.at(i));
        ys[i] = std::fabs(line->y.at(i));
    }
    delete line->curve;
    // Only the drawn copy is clamped; the record keeps what the caller gave.
    if (m_clampOn) {
        for (double& v : ys) {
            if (v < m_clampMin)
                v = m_clampMin;
            else if (v > m_clampMax)
                v = m_clampMax;
        }
    }
    auto* curve = new ColumnThinnedCurve(line->name);
    curve->setSamples(xs, ys);
    if (alphaF < 0.99) {
        curve->setPen(squarePen(Qt::darkGray, 1, Qt::DashDotLine));
        curve->setStyle(QwtPlotCurve::Lines);
        curve->setZ(0);
    } else {
        curve->setPen(Qt::blue, 1);
        curve->setStyle(QwtPlotCurve::NoCurve);
        curve->setSymbol(new QwtSymbol(QwtSymbol::Diamond, QBrush(Qt::transparent),
                                       squarePen(Qt::blue, 1.5, Qt::SolidLine), QSize(8, 8)));
    }
    curve->attach(this);
    line->curve = curve;
    setAxisScaleDiv(xTop, axisScaleDiv(xBottom));
}

void Graph_Lines::createContextMenu()
{
    if (m_menu)
        m_menu->deleteLater();
    m_menu = new QMenu(this);
    connect(m_menu->addAction(tr("截图")), &QAction::triggered, this, &Graph_Lines::exportToPng);
    connect(m_menu->addAction(tr("导出数据")), &QAction::triggered, this, &Graph_Lines::exportToTxt);
}

void Graph_Lines::onContextMenuRequested(const QPoint& pos)
{
    m_menu->exec(mapToGlobal(pos));
}

void Graph_Lines::exportToPng()
{
    const QString fileName = exportFileName(m_title, QStringLiteral("grabImg.png"), QStringLiteral(".png"));
    const QString title = tr("截图");
    const QImage image = renderPicture(this);
    // Written aside and moved into place, so a failure never leaves half a
    // picture where an older one was.
    QSaveFile file(fileName);
    const bool saved = file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit();
    if (!saved) {
        qWarning() << "Graph_Lines exportToPng" << fileName << file.errorString();
        Prompt::current()->warning(this, title, tr("导出失败\r\n无法写入%1").arg(workingPath(fileName)));
        return;
    }
    Prompt::current()->information(this, title, tr("导出成功\r\n保存至%1").arg(workingPath(fileName)));
}

void Graph_Lines::exportToTxt()
{
    const QString fileName = exportFileName(m_title, QStringLiteral("grabData.csv"), QStringLiteral(".csv"));
    const QString title = tr("导出数据");
    const auto found = std::find_if(m_lines.cbegin(), m_lines.cend(),
                                    [this](const st_GraphLine* line) { return line->name == m_title; });
    if (found == m_lines.cend()) {
        Prompt::current()->information(this, title, tr("导出失败，无数据或非点数据"));
        return;
    }
    const st_GraphLine* line = *found;
    if (line->x.size() < 2) {
        qWarning().noquote() << "Graph_Lines" << "exportToTxt" << QStringLiteral("缺少数据");
        return;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qWarning() << "Error: Could not open file for writing:" << fileName << "Error:" << file.errorString();
        Prompt::current()->warning(this, title, tr("导出失败\r\n无法写入%1").arg(workingPath(fileName)));
        return;
    }
    const int n = std::min(line->x.size(), line->y.size());
    QTextStream out(&file);
    out << "Time/us,Data/v\n";
    for (int i = 0; i < n; ++i)
        out << QString::number(line->x.at(i), 'g', 9) << ',' << QString::number(line->y.at(i), 'g', 9) << '\n';
    out.flush();
    if (out.status() != QTextStream::Ok || !file.commit()) {
        qWarning() << "Graph_Lines exportToTxt" << fileName << file.errorString();
        Prompt::current()->warning(this, title, tr("导出失败\r\n无法写入%1").arg(workingPath(fileName)));
        return;
    }
    Prompt::current()->information(this, title, tr("导出成功\r\n保存至%1").arg(workingPath(fileName)));
}

void Graph_Lines::setAxisX(bool x_log, bool x_auto, double x_min, double x_max)
{
    if (x_auto)
        setAxisAutoScale(xBottom, true);
    else
        setAxisScale(xBottom, x_min, x_max);
    setAxisXScale(x_log ? Log10 : Linear);
    replot();
}

void Graph_Lines::setAxisY(bool y_log, bool y_auto, double y_min, double y_max)
{
    setAxisYScale(y_log ? Log10 : Linear);
    if (y_auto)
        setAxisAutoScale(yLeft, true);
    else
        setAxisScale(yLeft, y_min, y_max);
}

void Graph_Lines::newGraph_Lines(QVector<QVector<double> > dataMatrix, QVector<double> xList,
                                 QVector<double> yList, double curPos)
{
    setCurveFamily(dataMatrix, xList, yList);
    setCurPos(curPos);
}

bool Graph_Lines::setCurveFamily(const QVector<QVector<double> >& dataMatrix, const QVector<double>& xList,
                                 const QVector<double>& yList)
{
    if (dataMatrix.isEmpty() || xList.isEmpty() || dataMatrix.first().size() != xList.size()
        || dataMatrix.size() != yList.size())
        return false;
    for (const QVector<double>& row : dataMatrix) {
        if (row.size() != xList.size())
            return false;
    }
    m_familyX = xList;
    m_familyMatrix = dataMatrix;

    const int rows = m_familyMatrix.size();
    if (m_familyCurves.size() != rows) {
        clearLines();
        QwtLinearColorMap colors(Qt::darkBlue, Qt::darkRed, QwtColorMap::RGB);
        colors.addColorStop(0.25, Qt::blue);
        colors.addColorStop(0.5, Qt::green);
        colors.addColorStop(0.75, Qt::red);
        const QwtInterval range(0, rows);
        m_familyCurves.reserve(rows);
        for (int i = 0; i < rows; ++i) {
            auto* curve = new ColumnThinnedCurve(QString::number(yList.at(i), 'g', 6));
            curve->setPen(squarePen(colors.color(range, i), 1, Qt::SolidLine));
            curve->attach(this);
            m_familyCurves.append(curve);
        }
    }
    // The curves read the stored list and matrix in place. The buffers are
    // shared with the caller's vectors, so they are only ever read through
    // const access: a non-const call would detach the stored copy and leave
    // the curves on the caller's buffer, which the caller may change or free.
    for (int i = 0; i < rows; ++i)
        m_familyCurves.at(i)->setRawSamples(m_familyX.constData(), m_familyMatrix.at(i).constData(),
                                            m_familyX.size());

    setAxisXScale(m_familyX.constFirst() > kTimeAxisThreshold ? Time : Linear);
    const QRectF extent = m_familyCurves.first()->boundingRect();
    setAxisScale(xBottom, extent.left(), extent.right());
    replot();
    return true;
}

void Graph_Lines::setCurPos(double curPos)
{
    if (!m_marker) {
        m_marker = new QwtPlotMarker;
        m_marker->setLineStyle(QwtPlotMarker::VLine);
        m_marker->setLabelAlignment(Qt::Alignment(kAlignRightBottom));
        m_marker->setLinePen(squarePen(QColor(0, 255, 0, 153), 3, Qt::SolidLine));
    }
    // Compared before truncating, so that NaN and huge values hide the marker
    // too; for a whole count, trunc(p) < n exactly when p < n.
    if (!(curPos >= 0) || curPos >= m_familyX.size()) {
        m_marker->detach();
        return;
    }
    m_marker->attach(this);
    m_marker->setXValue(m_familyX.at(static_cast<int>(curPos)));
}

void Graph_Lines::setGridMinShow(int axisId, bool show)
{
    if (axisId == yLeft || axisId == yRight)
        m_grid->enableYMin(show);
}

void Graph_Lines::addWaterMarker(QString text, int flags, QFont font, QColor color)
{
    QwtText label(text);
    label.setRenderFlags(flags);
    label.setFont(font);
    label.setColor(color);
    auto* item = new QwtPlotTextLabel;
    item->setText(label);
    item->attach(this);
}
