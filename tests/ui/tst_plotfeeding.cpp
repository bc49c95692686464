// The arithmetic of the waveform plots and the developer code check.

#include "DeveloperCode.h"
#include "PlotFeeding.h"

#include <QtTest>

#include <cmath>
#include <limits>

using Vec = QVector<double>;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

void compareVec(const Vec& actual, const Vec& expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i)
        QVERIFY2(std::abs(actual[i] - expected[i]) <= 1e-9 * std::max(1.0, std::abs(expected[i])),
                 qPrintable(QStringLiteral("[%1] %2 != %3").arg(i).arg(actual[i]).arg(expected[i])));
}

} // namespace

class TstPlotFeeding : public QObject
{
    Q_OBJECT

private slots:
    void waveCurves_data()
    {
        QTest::addColumn<bool>("turnOff");
        QTest::addColumn<double>("fs");
        QTest::addColumn<Vec>("data");
        QTest::addColumn<bool>("drawn");
        QTest::addColumn<Vec>("x");
        QTest::addColumn<Vec>("y");
        QTest::newRow("current, one period") << false << 25.0 << Vec{1, 2, 3, 4} << true << Vec{10, 20, 30, 40}
                                             << Vec{-1.5, -0.5, 0.5, 1.5};
        QTest::newRow("current at the limit") << false << 1e8 << Vec{2, 4} << true << Vec{5e-6, 1e-5} << Vec{-1, 1};
        QTest::newRow("current above the limit") << false << 1e8 + 1 << Vec{1, 2} << false << Vec{} << Vec{};
        QTest::newRow("current without samples") << false << 25.0 << Vec{} << true << Vec{} << Vec{};
        QTest::newRow("turn-off, last five as baseline")
            << true << 1e6 << Vec{9, 8, 7, 6, 5, 5, 5, 5, 5} << true << Vec{1, 2, 3, 4, 5, 6, 7, 8, 9}
            << Vec{4, 3, 2, 1, 0, 0, 0, 0, 0};
        QTest::newRow("turn-off, fewer than five") << true << 1e6 << Vec{3, 2, 1} << true << Vec{1, 2, 3}
                                                   << Vec{1, 0, -1};
        QTest::newRow("turn-off without samples") << true << 1e6 << Vec{} << true << Vec{} << Vec{};
        // A rate that is not a positive number leaves the plot as it was.
        for (bool off : {false, true}) {
            const char* wave = off ? "turn-off" : "current";
            for (double fs : {0.0, -2e6, kNaN, kInf})
                QTest::addRow("%s at rate %g", wave, fs) << off << fs << Vec{1, 2, 3} << false << Vec{} << Vec{};
        }
    }
    void waveCurves()
    {
        QFETCH(bool, turnOff);
        QFETCH(double, fs);
        QFETCH(Vec, data);
        QFETCH(bool, drawn);
        QFETCH(Vec, x);
        QFETCH(Vec, y);
        WaveCurve curve{Vec{-7}, Vec{-7}};
        const bool result = turnOff ? OffWaveCurve(fs, data, &curve) : SendWaveCurve(fs, data, &curve);
        QCOMPARE(result, drawn);
        if (!drawn) {
            QCOMPARE(curve.x, Vec{-7});
            QCOMPARE(curve.y, Vec{-7});
            return;
        }
        compareVec(curve.x, x);
        compareVec(curve.y, y);
    }

    void turnOffRamp()
    {
        const Vec x{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        const Vec y{50, 40, 36, 30, 20, 12, 6, 3, 1, 0};
        // 10 points: a = 1, b = 3; mean slope of the segments ending at 2
        // and 3 is (-4 - 6) / 2 = -5, taken at 91 %.
        const double slope = -5.0 * 0.91;
        Vec expected = y;
        for (int i = 0; i < 3; ++i)
            expected[i] = y[3] + slope * (x[i] - x[3]);
        compareVec(fitTurnOffRamp(x, y), expected);

        // Fewer than four values: unchanged.
        QCOMPARE(fitTurnOffRamp(Vec{1, 2, 3}, Vec{5, 3, 1}), (Vec{5, 3, 1}));
        QCOMPARE(fitTurnOffRamp(Vec{}, Vec{}), Vec{});
        // Four values: b = 1, a = 0: one segment's slope.
        compareVec(fitTurnOffRamp(Vec{1, 2, 3, 4}, Vec{10, 8, 7, 7}), (Vec{8 + 2 * 0.91, 8, 7, 7}));
    }

    void developerCode_data()
    {
        const QString code = QStringLiteral(VODEZ_TEST_DEVELOPER_CODE);
        QTest::addColumn<QString>("entered");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("the code") << code << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("with a blank") << code + QLatin1Char(' ') << false;
        QTest::newRow("one character short") << code.left(code.size() - 1) << false;
        QTest::newRow("another") << QStringLiteral("0000") + code << false;
    }
    void developerCode()
    {
        QFETCH(QString, entered);
        QFETCH(bool, accepted);
        QCOMPARE(IsDeveloperCode(entered), accepted);
    }
};

QTEST_GUILESS_MAIN(TstPlotFeeding)
#include "tst_plotfeeding.moc"
