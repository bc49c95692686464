// Thinning of long curves to each pixel column's minimum and maximum: which
// points stay, which curves are drawn point by point instead, and that the
// thinned picture looks like the full one.
#include "ColumnThinning.h"

#include <QImage>
#include <QPixmap>
#include <QtMath>
#include <QtTest>

#include <qwt_plot.h>
#include <qwt_point_data.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_map.h>

#include <cmath>
#include <limits>

namespace {

QPolygonF poly(std::initializer_list<QPointF> points)
{
    return QPolygonF(QVector<QPointF>(points));
}

// Paint coordinates equal to the values, so the expected points read plainly.
QwtScaleMap identityMap()
{
    QwtScaleMap map;
    map.setScaleInterval(0, 1000);
    map.setPaintInterval(0, 1000);
    return map;
}

int differingPixels(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

int inkPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) != image.pixel(0, 0);
    return count;
}

} // namespace

class TestColumnThinning : public QObject
{
    Q_OBJECT
private slots:
    void reduction_data()
    {
        QTest::addColumn<QVector<double>>("x");
        QTest::addColumn<QVector<double>>("y");
        QTest::addColumn<bool>("round");
        QTest::addColumn<QPolygonF>("expected");

        QTest::newRow("one point per column stays")
            << QVector<double>{0, 1, 2} << QVector<double>{5, 6, 7} << false
            << poly({{0, 5}, {1, 6}, {2, 7}});
        QTest::newRow("extremes in the order they occur")
            << QVector<double>{10, 10.1, 10.2, 10.3, 11} << QVector<double>{5, 9, 1, 6, 3} << false
            << poly({{10.1, 9}, {10.2, 1}, {11, 3}});
        QTest::newRow("a one-sample spike survives")
            << QVector<double>{3, 3.1, 3.2, 3.3, 3.4, 3.45} << QVector<double>{5, 5, 5, 100, 5, 5} << false
            << poly({{3, 5}, {3.3, 100}});
        QTest::newRow("a flat column is one point")
            << QVector<double>{7, 7.2, 7.4} << QVector<double>{2, 2, 2} << false
            << poly({{7, 2}});
        QTest::newRow("equal x values stay in their column")
            << QVector<double>{4, 4, 4, 5} << QVector<double>{1, 8, 3, 2} << false
            << poly({{4, 1}, {4, 8}, {5, 2}});
        QTest::newRow("rounded to the pixels the points show on")
            << QVector<double>{0.4, 0.6, 1.4} << QVector<double>{2.6, 3.2, 7.5} << true
            << poly({{0, 3}, {1, 3}, {1, 8}});
    }

    void reduction()
    {
        QFETCH(QVector<double>, x);
        QFETCH(QVector<double>, y);
        QFETCH(bool, round);
        QFETCH(QPolygonF, expected);
        const QwtPointArrayData series(x, y);
        QPolygonF points;
        QVERIFY(thinToPixelColumns(series, identityMap(), identityMap(), 0, x.size() - 1, round, &points));
        QCOMPARE(points, expected);
    }

    void curvesDrawnPointByPoint_data()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::addColumn<QVector<double>>("x");
        QTest::addColumn<QVector<double>>("y");
        QTest::newRow("x goes back") << QVector<double>{0, 2, 1} << QVector<double>{1, 1, 1};
        QTest::newRow("y not a number") << QVector<double>{0, 1, 2} << QVector<double>{1, nan, 1};
        QTest::newRow("x infinite") << QVector<double>{0, 1, qInf()} << QVector<double>{1, 1, 1};
    }

    void curvesDrawnPointByPoint()
    {
        QFETCH(QVector<double>, x);
        QFETCH(QVector<double>, y);
        const QwtPointArrayData series(x, y);
        QPolygonF points = poly({{42, 42}});
        QVERIFY(!thinToPixelColumns(series, identityMap(), identityMap(), 0, x.size() - 1, false, &points));
        QCOMPARE(points, poly({{42, 42}}));
    }

    // A noisy line of many points per column, drawn thinned and in full on
    // the same plot: the pictures agree but for single pixels where one
    // column's line meets the next (about 1 %; a shift by one pixel or a lost
    // extreme changes a third of them).
    void thinnedPictureMatchesTheFullOne()
    {
        QVector<double> x;
        QVector<double> y;
        for (int i = 0; i < 20000; ++i) {
            x << i;
            y << 1e-6 * qExp(qSin(i / 300.0) * 3) * (1.0 + 0.3 * ((i * 7919) % 17) / 17.0);
        }
        auto draw = [&](QwtPlotCurve* curve) {
            QwtPlot plot;
            plot.resize(500, 300);
            plot.setAxisScaleEngine(QwtPlot::yLeft, new QwtLogScaleEngine(10));
            curve->setSamples(x, y);
            curve->setPen(Qt::blue, 1);
            curve->attach(&plot);
            plot.replot();
            return plot.grab().toImage();
        };
        const QImage full = draw(new QwtPlotCurve);
        const QImage thinned = draw(new ColumnThinnedCurve);
        const int ink = inkPixels(full);
        QVERIFY(ink > 5000);
        QVERIFY2(differingPixels(full, thinned) < ink / 50,
                 qPrintable(QStringLiteral("%1 of %2").arg(differingPixels(full, thinned)).arg(ink)));
    }
};

QTEST_MAIN(TestColumnThinning)
#include "tst_columnthinning.moc"
