// The decay plot widget: single lines on linear and log axes, the curve
// family and its marker, titles and texts, and the two exports with their
// boxes, in the test's own working directory.
#include "Data_Calc.h"
#include "Graph_Lines.h"
#include "RecordingPrompt.h"
#include "TextFile.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QScopedPointer>
#include <QTemporaryDir>
#include <QtTest>

#include <qwt_legend.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_widget.h>
#include <qwt_symbol.h>

#include <cmath>
#include <limits>

namespace {

using Matrix = QVector<QVector<double>>;

QVector<QPointF> samplesOf(const QwtPlotCurve* curve)
{
    QVector<QPointF> points;
    for (size_t i = 0; i < curve->dataSize(); ++i)
        points << curve->sample(static_cast<int>(i));
    return points;
}

QVector<QPointF> points(const QVector<double>& x, const QVector<double>& y)
{
    QVector<QPointF> result;
    for (int i = 0; i < x.size(); ++i)
        result << QPointF(x[i], y[i]);
    return result;
}

int itemCount(const QwtPlot& plot, int rtti)
{
    return plot.itemList(rtti).size();
}

QByteArray readFile(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file and folder of the working directory, so that a test sees what
// an export left behind, temporary files included.
QStringList workDirEntries()
{
    return QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

} // namespace

class TestGraphLines : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        // Each export test starts in an empty working directory of its own,
        // wherever the test was started from.
        m_workDir.reset(new QTemporaryDir);
        QVERIFY(m_workDir->isValid());
        QVERIFY(QDir::setCurrent(m_workDir->path()));
        g_axisFont = QFont(QStringLiteral("DejaVu Sans"));
        g_axisFont.setPixelSize(14);
    }

    void constructionState()
    {
        Graph_Lines plot(nullptr);
        QCOMPARE(plot.GetAxisXScale(), Graph_Lines::Linear);
        QCOMPARE(plot.GetAxisYScale(), Graph_Lines::Linear);
        QVERIFY(plot.GetTitleShow());
        QVERIFY(!plot.GetLegendShow());
        QVERIFY(!plot.autoReplot());
        QVERIFY(plot.grid()->xMinEnabled() && plot.grid()->yMinEnabled());
        QCOMPARE(plot.grid()->majorPen().style(), Qt::DotLine);
        QCOMPARE(plot.axisMaxMajor(QwtPlot::xBottom), 5);
        QCOMPARE(plot.axisMaxMinor(QwtPlot::yLeft), 0);
        QCOMPARE(plot.contextMenuPolicy(), Qt::CustomContextMenu);
        const QList<QAction*> actions = plot.contextMenu()->actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions[0]->text(), QStringLiteral("截图"));
        QCOMPARE(actions[1]->text(), QStringLiteral("导出数据"));
        QCOMPARE(plot.property("AxisXScale").toInt(), 0);
        QVERIFY(plot.setProperty("AxisYScale", QVariant::fromValue(Graph_Lines::Log10)));
        QCOMPARE(plot.GetAxisYScale(), Graph_Lines::Log10);
        QVERIFY(plot.setProperty("Title", QStringLiteral("P")));
        QCOMPARE(plot.title().text(), QStringLiteral("P"));
    }

    // The window connects the decay processor's signals to these slots, by
    // member and by name.
    void decayProcessorSignalsReachSlots()
    {
        Data_Calc calc(nullptr);
        Graph_Lines plot(nullptr);
        QVERIFY(connect(&calc, &Data_Calc::graphClear, &plot, &Graph_Lines::clearLines));
        QVERIFY(connect(&calc, SIGNAL(graphAxisScale_Log(bool,bool)), &plot, SLOT(onSetAxisScale(bool,bool))));
        QVERIFY(connect(&calc, SIGNAL(setGraphTitle(QString,bool)), &plot, SLOT(setGraphTitle(QString,bool))));
        QVERIFY(connect(&calc, &Data_Calc::newGraphData, &plot, &Graph_Lines::newLine));
        QVERIFY(connect(&calc, &Data_Calc::newGraph_Line, &plot, &Graph_Lines::newGraph_Lines));

        emit calc.graphAxisScale_Log(true, true);
        emit calc.newGraphData(QStringLiteral("a"), {10, 100}, {1e-3, 1e-5}, 1.0);
        emit calc.setGraphTitle(QStringLiteral("t"), true);
        QCOMPARE(plot.GetAxisXScale(), Graph_Lines::Log10);
        QCOMPARE(plot.lines().size(), 1);
        QCOMPARE(plot.GetTitle(), QStringLiteral("t"));
        emit calc.newGraph_Line(Matrix{{1, 2, 3}}, {5, 6, 7}, {80}, 1);
        QCOMPARE(plot.familyCurves().size(), 1);
        QCOMPARE(plot.marker()->xValue(), 6.0);
        emit calc.graphClear();
        QVERIFY(plot.lines().isEmpty() && plot.familyCurves().isEmpty());
    }

    void shortLinesAreRefused_data()
    {
        QTest::addColumn<QVector<double>>("x");
        QTest::addColumn<QVector<double>>("y");
        QTest::newRow("one x") << QVector<double>{1} << QVector<double>{1, 2};
        QTest::newRow("one y") << QVector<double>{1, 2} << QVector<double>{1};
        QTest::newRow("empty") << QVector<double>{} << QVector<double>{};
    }

    void shortLinesAreRefused()
    {
        QFETCH(QVector<double>, x);
        QFETCH(QVector<double>, y);
        for (bool log : {false, true}) {
            Graph_Lines plot(nullptr);
            plot.onSetAxisScale(false, log);
            plot.newLine(QStringLiteral("s"), x, y, 1.0);
            QVERIFY(plot.lines().isEmpty());
            QCOMPARE(itemCount(plot, QwtPlotItem::Rtti_PlotCurve), 0);
        }
    }

    // On a log y axis the curve shows magnitudes, clamped when asked; the
    // record and the table export keep the values as given.
    void logLinesDrawMagnitudesClampedButExportRealValues()
    {
        RecordingPrompt prompt;
        Graph_Lines plot(nullptr);
        plot.onSetAxisScale(true, true);
        const QVector<double> x{-10, 20, 30, 40, 50};
        const QVector<double> y{0, 20, -0.5, 1e-12, -3e-4};

        plot.newLine(QStringLiteral("raw"), x, y, 1.0);
        QCOMPARE(samplesOf(plot.lines()[0]->curve),
                 points({10, 20, 30, 40, 50}, {0, 20, 0.5, 1e-12, 3e-4}));

        plot.setLogClamp(true, 1e-9, 10);
        plot.newLine(QStringLiteral("T"), x, y, 1.0);
        const st_GraphLine* line = plot.lines()[1];
        QCOMPARE(samplesOf(line->curve), points({10, 20, 30, 40, 50}, {1e-9, 10, 0.5, 1e-9, 3e-4}));
        QCOMPARE(line->x, x);
        QCOMPARE(line->y, y);

        // The top axis follows the bottom one for log lines.
        plot.setAxisX(true, false, 10, 1000);
        plot.newLine(QStringLiteral("later"), x, y, 1.0);
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xTop).lowerBound(), 10.0);
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xTop).upperBound(), 1000.0);

        // The clamp and the magnitudes are for log axes only.
        plot.onSetAxisScale(false, false);
        plot.newLine(QStringLiteral("lin"), x, y, 1.0);
        QCOMPARE(samplesOf(plot.lines()[3]->curve), points(x, y));

        plot.setGraphTitle(QStringLiteral("T"), true);
        prompt.expect(Prompt::Kind::Information).titled(QStringLiteral("导出数据")).containing(QStringLiteral("导出成功"));
        plot.exportToTxt();
        QCOMPARE(readFile("T.csv"), asTextFile("Time/us,Data/v\n-10,0\n20,20\n30,-0.5\n40,1e-12\n50,-0.0003\n"));
    }

    void lineStyles_data()
    {
        QTest::addColumn<bool>("logY");
        QTest::addColumn<double>("alpha");
        QTest::addColumn<bool>("diamonds");
        QTest::addColumn<QColor>("penColor");
        QTest::addColumn<int>("penStyle");
        QTest::addColumn<double>("z");

        QColor halfBlue(Qt::blue);
        halfBlue.setAlphaF(0.5);
        QTest::newRow("log 0.5: grey dash-dot beneath the grid")
            << true << 0.5 << false << QColor(Qt::darkGray) << int(Qt::DashDotLine) << 0.0;
        QTest::newRow("log 0.3") << true << 0.3 << false << QColor(Qt::darkGray) << int(Qt::DashDotLine) << 0.0;
        QTest::newRow("log 0.99: diamonds") << true << 0.99 << true << QColor(Qt::blue) << int(Qt::SolidLine) << 20.0;
        QTest::newRow("log 1.0: diamonds") << true << 1.0 << true << QColor(Qt::blue) << int(Qt::SolidLine) << 20.0;
        QTest::newRow("linear 0.5: half-transparent blue")
            << false << 0.5 << false << halfBlue << int(Qt::SolidLine) << 20.0;
        QTest::newRow("linear 1.0") << false << 1.0 << false << QColor(Qt::blue) << int(Qt::SolidLine) << 20.0;
    }

    void lineStyles()
    {
        QFETCH(bool, logY);
        QFETCH(double, alpha);
        QFETCH(bool, diamonds);
        QFETCH(QColor, penColor);
        QFETCH(int, penStyle);
        QFETCH(double, z);

        Graph_Lines plot(nullptr);
        plot.onSetAxisScale(logY, logY);
        plot.newLine(QStringLiteral("n"), {1, 2, 3}, {1, 2, 3}, alpha);
        const QwtPlotCurve* curve = plot.lines()[0]->curve;
        QCOMPARE(curve->title().text(), QStringLiteral("n"));
        QCOMPARE(curve->pen().color(), penColor);
        QCOMPARE(int(curve->pen().style()), penStyle);
        QCOMPARE(curve->z(), z);
        QCOMPARE(curve->z() < plot.grid()->z(), z == 0.0);
        if (diamonds) {
            QCOMPARE(curve->style(), QwtPlotCurve::NoCurve);
            QVERIFY(curve->symbol());
            QCOMPARE(curve->symbol()->style(), QwtSymbol::Diamond);
            QCOMPARE(curve->symbol()->size(), QSize(8, 8));
            QCOMPARE(curve->symbol()->pen().widthF(), 1.5);
        } else {
            QCOMPARE(curve->style(), QwtPlotCurve::Lines);
            QVERIFY(!curve->symbol());
        }
    }

    // A damaged stored sounding can give x and y of different lengths: the
    // curve and the table hold the common length only.
    void unequalLengthsUseTheCommonLength()
    {
        RecordingPrompt prompt;
        for (bool log : {false, true}) {
            Graph_Lines plot(nullptr);
            plot.onSetAxisScale(log, log);
            plot.newLine(QStringLiteral("T"), {1, 2, 3, 4, 5}, {7, 8, 9}, 1.0);
            plot.newLine(QStringLiteral("U"), {1, 2}, {7, 8, 9, 10}, 0.5);
            QCOMPARE(samplesOf(plot.lines()[0]->curve), points({1, 2, 3}, {7, 8, 9}));
            QCOMPARE(samplesOf(plot.lines()[1]->curve), points({1, 2}, {7, 8}));
            plot.setGraphTitle(QStringLiteral("T"), true);
            prompt.expect(Prompt::Kind::Information).titled(QStringLiteral("导出数据")).containing(QStringLiteral("导出成功"));
            plot.exportToTxt();
            QCOMPARE(readFile("T.csv"), asTextFile("Time/us,Data/v\n1,7\n2,8\n3,9\n"));
        }
    }

    void curveFamily()
    {
        Graph_Lines plot(nullptr);
        plot.onSetAxisScale(true, true);
        plot.newGraph_Lines(Matrix{{1, 2}, {3, 4}, {5, 6}}, {10, 20}, {0.1, 0.25, 1234567}, -1);
        const QVector<QwtPlotCurve*> first = plot.familyCurves();
        QCOMPARE(first.size(), 3);
        QCOMPARE(first[0]->title().text(), QStringLiteral("0.1"));
        QCOMPARE(first[2]->title().text(), QStringLiteral("1.23457e+06"));
        QCOMPARE(first[0]->pen().color(), QColor(Qt::darkBlue));
        QCOMPARE(first[1]->pen().color().rgb(), QColor(0, 85, 170).rgb());  // a third of the map
        // The family turns a log x axis linear and fixes it to the x extent.
        QCOMPARE(plot.GetAxisXScale(), Graph_Lines::Linear);
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xBottom).lowerBound(), 10.0);
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xBottom).upperBound(), 20.0);

        // Same row count: the curves stay, keep their titles and colours, and
        // read the new rows; single lines stay too. What the caller does with
        // its own vectors afterwards does not reach the curves.
        plot.newLine(QStringLiteral("single"), {1, 2}, {1, 2}, 1.0);
        QVector<double> x{30, 40, 55};
        Matrix matrix{{7, 8, 9}, {1, 1, 1}, {2, 2, 2}};
        plot.newGraph_Lines(matrix, x, {9, 9, 9}, -1);
        x[0] = -1;
        matrix[0][1] = -1;
        QCOMPARE(plot.familyCurves(), first);
        QCOMPARE(first[0]->title().text(), QStringLiteral("0.1"));
        QCOMPARE(samplesOf(first[0]), points({30, 40, 55}, {7, 8, 9}));
        QCOMPARE(plot.lines().size(), 1);
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xBottom).upperBound(), 55.0);

        // Another row count rebuilds the family and clears every single line.
        plot.newGraph_Lines(Matrix{{1}, {2}, {3}, {4}}, {5}, {1, 2, 3, 4}, -1);
        QCOMPARE(plot.familyCurves().size(), 4);
        QVERIFY(plot.lines().isEmpty());
        QCOMPARE(itemCount(plot, QwtPlotItem::Rtti_PlotCurve), 4);
        QCOMPARE(plot.familyCurves()[0]->title().text(), QStringLiteral("1"));

        plot.clearLines();
        QVERIFY(plot.familyCurves().isEmpty());
        QCOMPARE(itemCount(plot, QwtPlotItem::Rtti_PlotCurve), 0);
        QVERIFY(plot.axisAutoScale(QwtPlot::xBottom) && plot.axisAutoScale(QwtPlot::yLeft));
    }

    void refusedFamilyChangesNothingButTheMarker_data()
    {
        QTest::addColumn<Matrix>("matrix");
        QTest::addColumn<QVector<double>>("x");
        QTest::addColumn<QVector<double>>("y");
        QTest::newRow("no rows") << Matrix{} << QVector<double>{1, 2} << QVector<double>{};
        QTest::newRow("no x") << Matrix{{}} << QVector<double>{} << QVector<double>{1};
        QTest::newRow("first row too short") << Matrix{{1}} << QVector<double>{1, 2} << QVector<double>{1};
        QTest::newRow("rows and y differ") << Matrix{{1, 2}} << QVector<double>{1, 2} << QVector<double>{1, 2};
        QTest::newRow("later row differs") << Matrix{{1, 2}, {1}} << QVector<double>{1, 2} << QVector<double>{1, 2};
    }

    void refusedFamilyChangesNothingButTheMarker()
    {
        QFETCH(Matrix, matrix);
        QFETCH(QVector<double>, x);
        QFETCH(QVector<double>, y);
        Graph_Lines plot(nullptr);
        plot.newGraph_Lines(Matrix{{1, 2, 3}}, {100, 200, 300}, {1}, 0);
        const QVector<QwtPlotCurve*> before = plot.familyCurves();
        plot.newGraph_Lines(matrix, x, y, 2);
        QCOMPARE(plot.familyCurves(), before);
        QCOMPARE(samplesOf(before[0]), points({100, 200, 300}, {1, 2, 3}));
        QCOMPARE(plot.marker()->plot(), &plot);
        QCOMPARE(plot.marker()->xValue(), 300.0);
    }

    void timeAxisThreshold_data()
    {
        QTest::addColumn<double>("x0");
        QTest::addColumn<bool>("logBefore");
        QTest::addColumn<int>("scale");
        QTest::newRow("at the threshold") << 946656001000.0 << false << int(Graph_Lines::Linear);
        QTest::newRow("one above") << 946656001001.0 << false << int(Graph_Lines::Time);
        QTest::newRow("log becomes linear") << 5.0 << true << int(Graph_Lines::Linear);
        QTest::newRow("log becomes time") << 1.7e12 << true << int(Graph_Lines::Time);
    }

    void timeAxisThreshold()
    {
        QFETCH(double, x0);
        QFETCH(bool, logBefore);
        QFETCH(int, scale);
        Graph_Lines plot(nullptr);
        plot.onSetAxisScale(logBefore, true);
        plot.newGraph_Lines(Matrix{{1, 2}}, {x0, x0 + 60000}, {1}, -1);
        QCOMPARE(int(plot.GetAxisXScale()), scale);
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xBottom).lowerBound(), x0);
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xBottom).upperBound(), x0 + 60000);
        QCOMPARE(plot.GetAxisYScale(), Graph_Lines::Log10);
    }

    void marker_data()
    {
        QTest::addColumn<double>("pos");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<double>("x");
        QTest::newRow("first") << 0.0 << true << 10.0;
        QTest::newRow("2.7 truncates") << 2.7 << true << 30.0;
        QTest::newRow("negative") << -0.5 << false << 0.0;
        QTest::newRow("window default -2") << -2.0 << false << 0.0;
        QTest::newRow("count") << 3.0 << false << 0.0;
        QTest::newRow("huge") << 1e300 << false << 0.0;
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << false << 0.0;
    }

    void marker()
    {
        QFETCH(double, pos);
        QFETCH(bool, shown);
        QFETCH(double, x);
        Graph_Lines plot(nullptr);
        plot.newGraph_Lines(Matrix{{1, 2, 3}}, {10, 20, 30}, {1}, 1);
        QwtPlotMarker* marker = plot.marker();
        QCOMPARE(marker->plot(), &plot);
        QCOMPARE(marker->lineStyle(), QwtPlotMarker::VLine);
        QCOMPARE(marker->linePen().color(), QColor(0, 255, 0, 153));
        QCOMPARE(marker->linePen().widthF(), 3.0);

        plot.setCurPos(pos);
        QCOMPARE(plot.marker(), marker);
        QCOMPARE(marker->plot() == &plot, shown);
        if (shown)
            QCOMPARE(marker->xValue(), x);
        // A clear takes the family's curves, not its x list nor the marker.
        plot.clearLines();
        QCOMPARE(marker->plot() == &plot, shown);
        plot.setCurPos(1);
        QCOMPARE(marker->xValue(), 20.0);
    }

    void titlesTextsAndLegend()
    {
        Graph_Lines plot(nullptr);
        plot.setGraphTitle(QStringLiteral("当前采集"), false);
        QVERIFY(plot.title().isEmpty());
        QCOMPARE(plot.GetTitle(), QStringLiteral("当前采集"));
        plot.SetTitleShow(true);
        QCOMPARE(plot.title().text(), QStringLiteral("当前采集"));
        QCOMPARE(plot.title().font().family(), QStringLiteral("SIMSUN"));
        QCOMPARE(plot.title().font().pixelSize(), 18);

        // The bottom title is a label inside the canvas, replaced by the next.
        plot.setAxisTitle(QwtPlot::xBottom, QStringLiteral("点位"));
        plot.setAxisTitle(QwtPlot::xBottom, QStringLiteral("衰减时间 / us"));
        const QwtPlotItemList labels = plot.itemList(QwtPlotItem::Rtti_PlotTextLabel);
        QCOMPARE(labels.size(), 1);
        const QwtText bottom = static_cast<QwtPlotTextLabel*>(labels[0])->text();
        QCOMPARE(bottom.text(), QStringLiteral("衰减时间 / us"));
        QCOMPARE(bottom.renderFlags(), 66);
        QCOMPARE(bottom.font(), g_axisFont);
        plot.setAxisTitle(QwtPlot::yLeft, QStringLiteral("V"));
        QCOMPARE(plot.axisWidget(QwtPlot::yLeft)->title().text(), QStringLiteral("V"));

        // Water marks accumulate with the defaults of the shorter forms.
        plot.addWaterMarker(QStringLiteral("数据 / V"), 33, g_axisFont, Qt::black);
        QVERIFY(QMetaObject::invokeMethod(&plot, "addWaterMarker", Q_ARG(QString, QStringLiteral("Build"))));
        const QwtPlotItemList marks = plot.itemList(QwtPlotItem::Rtti_PlotTextLabel);
        QCOMPARE(marks.size(), 3);
        const QwtText build = static_cast<QwtPlotTextLabel*>(marks[2])->text();
        QCOMPARE(build.renderFlags(), 66);
        QCOMPARE(build.color(), QColor(Qt::lightGray));
        QCOMPARE(build.font(), g_axisFont);

        // Grid: only the y axes switch the minor lines.
        plot.setGridMinShow(QwtPlot::xBottom, false);
        QVERIFY(plot.grid()->yMinEnabled() && plot.grid()->xMinEnabled());
        plot.setGridMinShow(QwtPlot::yRight, false);
        QVERIFY(!plot.grid()->yMinEnabled() && plot.grid()->xMinEnabled());

        plot.setLegendShow(true);
        auto* legend = qobject_cast<QwtLegend*>(plot.legend());
        QVERIFY(legend);
        QCOMPARE(legend->defaultItemMode(), QwtLegendData::Checkable);
        QCOMPARE(legend->lineWidth(), 5);
        plot.setLegendShow(true);
        QCOMPARE(plot.legend(), legend);
        plot.setLegendShow(false);
        QVERIFY(!plot.legend());
        QVERIFY(!plot.GetLegendShow());

        // Texts, grid and marker outlive a clear.
        plot.setCurPos(0);
        plot.clearLines();
        QCOMPARE(plot.itemList(QwtPlotItem::Rtti_PlotTextLabel).size(), 3);
        QCOMPARE(plot.itemList(QwtPlotItem::Rtti_PlotGrid).size(), 1);
    }

    void axisRanges()
    {
        Graph_Lines plot(nullptr);
        plot.setAxisX(true, false, 10, 100000);
        plot.setAxisY(true, false, 1e-8, 0.001);
        QCOMPARE(plot.GetAxisXScale(), Graph_Lines::Log10);
        QCOMPARE(plot.GetAxisYScale(), Graph_Lines::Log10);
        QVERIFY(dynamic_cast<QwtLogScaleEngine*>(plot.axisScaleEngine(QwtPlot::yLeft)));
        QVERIFY(!plot.axisAutoScale(QwtPlot::xBottom) && !plot.axisAutoScale(QwtPlot::yLeft));
        plot.newLine(QStringLiteral("d"), {1, 1e6}, {1, 1e-12}, 1.0);
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xBottom).upperBound(), 100000.0);
        QCOMPARE(plot.axisScaleDiv(QwtPlot::yLeft).lowerBound(), 1e-8);

        plot.setAxisInverted(QwtPlot::yLeft, true);
        QVERIFY(plot.axisScaleEngine(QwtPlot::yLeft)->testAttribute(QwtScaleEngine::Inverted));

        plot.clearLines();
        plot.newLine(QStringLiteral("d"), {1, 1e6}, {1, 1e-12}, 1.0);
        QVERIFY(plot.axisScaleDiv(QwtPlot::xBottom).upperBound() >= 1e6);
        plot.setAxisX(false, true);
        QVERIFY(plot.axisAutoScale(QwtPlot::xBottom));
        QVERIFY(dynamic_cast<QwtLinearScaleEngine*>(plot.axisScaleEngine(QwtPlot::xBottom)));
    }

    void exports_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("png");
        QTest::addColumn<QString>("csv");
        QTest::newRow("colon removed") << "a:b" << "ab.png" << "ab.csv";
        QTest::newRow("untitled") << "" << "grabImg.png" << "grabData.csv";
        QTest::newRow("chinese") << "测线 1" << "测线 1.png" << "测线 1.csv";
    }

    void exports()
    {
        QFETCH(QString, title);
        QFETCH(QString, png);
        QFETCH(QString, csv);
        RecordingPrompt prompt;
        Graph_Lines plot(nullptr);
        plot.setGraphTitle(title, true);
        plot.newLine(QStringLiteral("other"), {1, 2}, {3, 4}, 1.0);
        plot.newLine(title, {1.5, 2}, {1e-7, 123456789012.0}, 1.0);
        plot.newLine(title, {9, 9}, {9, 9}, 1.0);
        prompt.expect(Prompt::Kind::Information).titled(QStringLiteral("截图"));
        prompt.expect(Prompt::Kind::Information).titled(QStringLiteral("导出数据"));

        plot.exportToPng();
        const QImage image(png);
        QCOMPARE(image.size(), QSize(3780, 2126));
        QCOMPARE(image.dotsPerMeterX(), 11811);

        plot.exportToTxt();
        QCOMPARE(readFile(csv), asTextFile("Time/us,Data/v\n1.5,1e-07\n2,1.23456789e+11\n"));
        QCOMPARE(workDirEntries(), QStringList({csv, png}));

        const QString dir = QDir::currentPath() + QLatin1Char('/');
        QCOMPARE(prompt.shown.size(), 2);
        QCOMPARE(prompt.shown[0].kind, Prompt::Kind::Information);
        QCOMPARE(prompt.shown[0].title, QStringLiteral("截图"));
        QCOMPARE(prompt.shown[0].text, QStringLiteral("导出成功\r\n保存至%1").arg(dir + png));
        QCOMPARE(prompt.shown[1].title, QStringLiteral("导出数据"));
        QCOMPARE(prompt.shown[1].text, QStringLiteral("导出成功\r\n保存至%1").arg(dir + csv));
    }

    void tableExportWithoutTheTitledLine()
    {
        RecordingPrompt prompt;
        prompt.expect(Prompt::Kind::Information).titled(QStringLiteral("导出数据")).times(2);
        Graph_Lines plot(nullptr);
        plot.setGraphTitle(QStringLiteral("T"), true);
        plot.exportToTxt();
        plot.newLine(QStringLiteral("S"), {1, 2}, {3, 4}, 1.0);
        plot.newGraph_Lines(Matrix{{1, 2}}, {1, 2}, {1}, -1);
        plot.exportToTxt();
        QVERIFY(workDirEntries().isEmpty());
        QCOMPARE(prompt.shown.size(), 2);
        for (const RecordingPrompt::Shown& box : prompt.shown) {
            QCOMPARE(box.kind, Prompt::Kind::Information);
            QCOMPARE(box.title, QStringLiteral("导出数据"));
            QCOMPARE(box.text, QStringLiteral("导出失败，无数据或非点数据"));
        }
    }

    // An export that cannot be written says so, with the path, and leaves
    // whatever stood at that path as it was.
    void failedExportsWarn()
    {
        RecordingPrompt prompt;
        Graph_Lines plot(nullptr);
        plot.setGraphTitle(QStringLiteral("T"), true);
        plot.newLine(QStringLiteral("T"), {1, 2}, {3, 4}, 1.0);
        QVERIFY(QDir().mkpath(QStringLiteral("T.png/keep")));
        QVERIFY(QDir().mkpath(QStringLiteral("T.csv/keep")));
        prompt.expect(Prompt::Kind::Warning).titled(QStringLiteral("截图"));
        prompt.expect(Prompt::Kind::Warning).titled(QStringLiteral("导出数据")).times(2);
        plot.exportToPng();
        plot.exportToTxt();
        // A title that names a missing folder cannot be written either.
        plot.setGraphTitle(QStringLiteral("missing/T"), true);
        plot.newLine(QStringLiteral("missing/T"), {1, 2}, {3, 4}, 1.0);
        plot.exportToTxt();

        const QString dir = QDir::currentPath() + QLatin1Char('/');
        const QStringList paths{dir + "T.png", dir + "T.csv", dir + "missing/T.csv"};
        QCOMPARE(prompt.shown.size(), paths.size());
        for (int i = 0; i < paths.size(); ++i) {
            QCOMPARE(prompt.shown[i].kind, Prompt::Kind::Warning);
            QCOMPARE(prompt.shown[i].title, i == 0 ? QStringLiteral("截图") : QStringLiteral("导出数据"));
            QCOMPARE(prompt.shown[i].text, QStringLiteral("导出失败\r\n无法写入%1").arg(paths[i]));
        }
        QCOMPARE(workDirEntries(), QStringList({"T.csv", "T.png"}));
        QVERIFY(QFileInfo::exists(QStringLiteral("T.png/keep")));
        QVERIFY(QFileInfo::exists(QStringLiteral("T.csv/keep")));
    }

private:
    QScopedPointer<QTemporaryDir> m_workDir;
};

QTEST_MAIN(TestGraphLines)
#include "tst_graphlines.moc"
