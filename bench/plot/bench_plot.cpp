// Painting speed of the decay plot widget next to a bare QwtPlot that holds
// the same curves, in the same run: a line section of 72 curves x 600 points
// (log y), a continuous line of 72 x 10,000 points and the live acquisition
// plot (10 decays x 72 gates, log-log). Each figure is the median of several
// replot + grab runs, in milliseconds. Runs headless (offscreen platform).
#include "Graph_Lines.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QtMath>

#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_scale_engine.h>
#include <qwt_symbol.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

const QSize kPlotSize(1000, 600);

using Matrix = QVector<QVector<double>>;

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timeMedian(int runs, const std::function<void()>& step)
{
    step();  // warm-up
    QVector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        ms << timer.nsecsElapsed() / 1e6;
    }
    return median(ms);
}

double decay(double t, double scale)
{
    return scale * 1e-3 * qPow(t / 10.0, -1.6) + 2e-10;
}

QVector<double> gateTimes()
{
    QVector<double> times;
    for (int g = 0; g < 72; ++g)
        times << 10.0 * qPow(10.0, 4.0 * g / 71);
    return times;
}

// One row per gate over the given points, with some wobble along the line.
Matrix section(int points)
{
    Matrix rows;
    for (double t : gateTimes()) {
        QVector<double> row(points);
        for (int p = 0; p < points; ++p)
            row[p] = decay(t, 1.0 + 0.5 * qSin(p / 37.0) + 0.1 * ((p * 7919) % 13) / 13.0);
        rows << row;
    }
    return rows;
}

QVector<double> pointNumbers(int points)
{
    QVector<double> x(points);
    for (int p = 0; p < points; ++p)
        x[p] = 100 + 10 * p;
    return x;
}

// The baseline: a plain QwtPlot with a dotted grid and the same curves.
struct BarePlot
{
    QwtPlot plot;
    BarePlot(bool logX, bool logY)
    {
        plot.resize(kPlotSize);
        plot.setAutoReplot(false);
        auto* grid = new QwtPlotGrid;
        grid->setMajorPen(Qt::black, 1, Qt::DotLine);
        grid->attach(&plot);
        if (logX)
            plot.setAxisScaleEngine(QwtPlot::xBottom, new QwtLogScaleEngine(10));
        if (logY)
            plot.setAxisScaleEngine(QwtPlot::yLeft, new QwtLogScaleEngine(10));
    }
    QwtPlotCurve* add(const QVector<double>& x, const QVector<double>& y, const QColor& color)
    {
        auto* curve = new QwtPlotCurve;
        curve->setRawSamples(x.constData(), y.constData(), std::min(x.size(), y.size()));
        curve->setPen(color, 1);
        curve->attach(&plot);
        return curve;
    }
    void draw()
    {
        plot.replot();
        plot.grab();
    }
};

void report(const char* what, double ours, double bare, double target)
{
    std::printf("%-44s %9.2f ms   bare QwtPlot %9.2f ms   target < %4.0f ms  %s\n", what, ours, bare, target,
                ours < target ? "ok" : "MISSED");
}

void benchSection(const char* what, int points, int runs, double target)
{
    const Matrix rows = section(points);
    const QVector<double> x = pointNumbers(points);
    const QVector<double> times = gateTimes();

    Graph_Lines plot(nullptr);
    plot.resize(kPlotSize);
    plot.onSetAxisScale(false, true);
    plot.newGraph_Lines(rows, x, times, points / 2);
    const double ours = timeMedian(runs, [&] {
        plot.replot();
        plot.grab();
    });
    // The whole step the window takes for a new section, as well.
    const double feed = timeMedian(runs, [&] {
        plot.newGraph_Lines(rows, x, times, points / 3);
        plot.grab();
    });

    BarePlot bare(false, true);
    for (int i = 0; i < rows.size(); ++i)
        bare.add(x, rows[i], QColor::fromHsv(i * 5, 255, 200));
    const double baseline = timeMedian(runs, [&] { bare.draw(); });

    report(what, ours, baseline, target);
    std::printf("%-44s %9.2f ms\n", "  same, fed anew (newGraph_Lines + grab)", feed);
}

void benchLive(int runs, double target)
{
    const QVector<double> times = gateTimes();
    QVector<QVector<double>> decays;
    for (int r = 0; r < 10; ++r) {
        QVector<double> v;
        for (double t : times)
            v << decay(t, 0.8 + 0.05 * r);
        decays << v;
    }

    Graph_Lines plot(nullptr);
    plot.resize(kPlotSize);
    plot.setLogClamp(true, 1e-9, 10);
    // What the decay processor emits for one sounding: a clear, the axis
    // types, nine repeats and the stacked decay.
    auto feed = [&] {
        plot.clearLines();
        plot.onSetAxisScale(true, true);
        for (int r = 0; r < 9; ++r)
            plot.newLine(QStringLiteral("采样%1").arg(r), times, decays[r], 0.3);
        plot.newLine(QStringLiteral("当前采集"), times, decays[9], 1.0);
    };
    feed();
    const double ours = timeMedian(runs, [&] {
        plot.replot();
        plot.grab();
    });
    const double fed = timeMedian(runs, [&] {
        feed();
        plot.grab();
    });

    BarePlot bare(true, true);
    for (int r = 0; r < 9; ++r)
        bare.add(times, decays[r], Qt::darkGray)->setPen(Qt::darkGray, 1, Qt::DashDotLine);
    QwtPlotCurve* stacked = bare.add(times, decays[9], Qt::blue);
    stacked->setStyle(QwtPlotCurve::NoCurve);
    stacked->setSymbol(new QwtSymbol(QwtSymbol::Diamond, QBrush(Qt::transparent), QPen(Qt::blue, 1.5), QSize(8, 8)));
    const double baseline = timeMedian(runs, [&] { bare.draw(); });

    report("live acquisition, 10 x 72 log-log", ours, baseline, target);
    std::printf("%-44s %9.2f ms\n", "  same, fed anew (clear + 10 newLine + grab)", fed);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // As the main window sets it: a pixel size, scaled with the screen.
    g_axisFont = QFont(QStringLiteral("Microsoft YaHei"));
    g_axisFont.setPixelSize(14);
    std::printf("plot %dx%d, medians of replot + grab\n", kPlotSize.width(), kPlotSize.height());
    benchSection("line section, 72 x 600, log y", 600, 15, 10);
    benchSection("continuous line, 72 x 10000, log y", 10000, 7, 50);
    benchLive(25, 5);
    return 0;
}
