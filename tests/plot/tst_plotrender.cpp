// Renders the two kinds of plot the operator sees most, for a reviewer to
// look at: a log-log decay with water marks and a 72-curve line section.
// The pictures are written to the working directory.
#include "Graph_Lines.h"

#include <QImage>
#include <QtMath>
#include <QtTest>

namespace {

QVector<double> decayTimes(int gates)
{
    QVector<double> times;
    for (int g = 0; g < gates; ++g)
        times << 10.0 * qPow(10.0, 4.0 * g / (gates - 1));  // 10 us to 100 ms
    return times;
}

double decay(double t, double scale)
{
    return scale * 1e-3 * qPow(t / 10.0, -1.6) + 2e-10;
}

// Distinct colours in the picture's plot area, a rough sign that curves,
// grid and texts were drawn.
int colourCount(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    return colours.size();
}

} // namespace

class TestPlotRender : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QFont::insertSubstitution(QStringLiteral("Microsoft YaHei"), QStringLiteral("WenQuanYi Micro Hei"));
        QFont::insertSubstitution(QStringLiteral("SIMSUN"), QStringLiteral("WenQuanYi Micro Hei"));
        g_axisFont = QFont(QStringLiteral("Microsoft YaHei"));
        g_axisFont.setPixelSize(14);
    }

    void logLogDecay()
    {
        Graph_Lines plot(nullptr);
        plot.resize(900, 560);
        plot.setGraphTitle(QStringLiteral("当前采集"), true);
        plot.setAxisX(true, false, 10, 100000);
        plot.setAxisY(true, false, 1e-8, 0.001);
        plot.setAxisTitle(QwtPlot::xBottom, QStringLiteral("衰减时间 / us"));
        plot.setLogClamp(true, 1e-9, 10);
        plot.addWaterMarker(QStringLiteral("数据 / V"), 33, g_axisFont, Qt::black);
        plot.addWaterMarker(QStringLiteral("Build:%1").arg(QStringLiteral("261210")), 65, g_axisFont, Qt::lightGray);

        const QVector<double> times = decayTimes(72);
        for (int repeat = 0; repeat < 9; ++repeat) {
            QVector<double> values;
            for (double t : times)
                values << decay(t, 0.8 + 0.05 * repeat) * (repeat % 2 ? -1 : 1);
            plot.newLine(QStringLiteral("采样%1").arg(repeat), times, values, 0.3);
        }
        QVector<double> stacked;
        for (double t : times)
            stacked << decay(t, 1.0);
        plot.newLine(QStringLiteral("当前采集"), times, stacked, 1.0);

        const QImage image = plot.grab().toImage();
        QVERIFY(image.save(QStringLiteral("decay_loglog.png")));
        QVERIFY(colourCount(image) > 20);
    }

    void lineSection()
    {
        Graph_Lines plot(nullptr);
        plot.resize(900, 560);
        plot.setGraphTitle(QStringLiteral("当前线"), true);
        plot.onSetAxisScale(false, true);
        const int points = 40;
        const QVector<double> times = decayTimes(72);
        QVector<double> pointNumbers;
        for (int p = 0; p < points; ++p)
            pointNumbers << 100 + 10 * p;
        QVector<QVector<double>> rows;
        for (double t : times) {
            QVector<double> row;
            for (int p = 0; p < points; ++p)
                row << decay(t, 1.0 + 0.6 * qSin(p / 6.0));
            rows << row;
        }
        plot.newGraph_Lines(rows, pointNumbers, times, 17);
        plot.setAxisTitle(QwtPlot::xBottom, QStringLiteral("点位"));
        plot.replot();

        const QImage image = plot.grab().toImage();
        QVERIFY(image.save(QStringLiteral("line_section.png")));
        QVERIFY(colourCount(image) > 40);
    }
};

QTEST_MAIN(TestPlotRender)
#include "tst_plotrender.moc"
