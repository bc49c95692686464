#include "EmuGates.h"
#include "RecvGates.h"

#include <QtTest>

#include <climits>
#include <cmath>
#include <vector>

namespace
{
bool near(double a, double b)
{
    return std::fabs(a - b) < 1e-6 * qMax(1.0, std::fabs(b));
}
}

// The gate end times must match the receiver box's own windows exactly, or
// every pushed gate value lands at the wrong time.
class TestGates : public QObject
{
    Q_OBJECT
private slots:
    void gateTimes_data()
    {
        QTest::addColumn<double>("freq");
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("last");
        // 1250 channels at 625000 Hz. With the quarter period Q = 1e6/(4F) and
        // s = log10(Q)/1250, the logarithmic times are 10^(i s); d is the
        // first index whose step exceeds 1.6 us (t[d-1] > 1.6/(10^s - 1)) and
        // n = trunc(t[d]/1.6) whole sample periods replace t[0..d-1], so the
        // list has 1250 - d + n times. The last one is Q quantised down to a
        // multiple of 1.6 after adding 0.5.
        QTest::newRow("0.1 Hz: d 417, n 86") << 0.1 << 919 << 2500000.0;
        QTest::newRow("0.125 Hz: d 424, n 86") << 0.125 << 912 << 2000000.0;
        QTest::newRow("0.25 Hz: d 450, n 91") << 0.25 << 891 << 1000000.0;
        QTest::newRow("0.625 Hz: d 489, n 98") << 0.625 << 859 << 400000.0;
        QTest::newRow("1 Hz: d 511, n 101") << 1.0 << 840 << 250000.0;
        QTest::newRow("1.25 Hz: d 522, n 103") << 1.25 << 831 << 200000.0;
        QTest::newRow("2.5 Hz") << 2.5 << 799 << 100000.0;
        QTest::newRow("6.25 Hz") << 6.25 << 750 << 40000.0;
        QTest::newRow("12.5 Hz: d 670, n 127") << 12.5 << 707 << 20000.0;
        QTest::newRow("25 Hz") << 25.0 << 656 << 10000.0;
        QTest::newRow("62.5 Hz: d 827, n 152") << 62.5 << 575 << 4000.0;
        // 2500 is not a multiple of 1.6: 2500.5/1.6 truncates to 1562.
        QTest::newRow("100 Hz: d 886, n 161") << 100.0 << 525 << 2499.2;
        // No logarithmic step exceeds 1.6: d = 1, n = 0, and the minimum
        // spacing pushes the times past the quarter period.
        QTest::newRow("1000 Hz") << 1000.0 << 1249 << 1996.8;
        QTest::newRow("5000 Hz") << 5000.0 << 1249 << 1996.8;
    }
    void gateTimes()
    {
        QFETCH(double, freq);
        QFETCH(int, count);
        QFETCH(double, last);
        const QVector<double> t = RecvGates::CalcAutoTimes(freq, 625000.0, 1250);
        QCOMPARE(t.size(), count);
        QVERIFY2(near(t.last(), last), qPrintable(QString::number(t.last(), 'f', 6)));
        for (int k = 1; k < t.size(); ++k)
            QVERIFY2(t[k] - t[k - 1] > 1.6 - 1e-9, qPrintable(QString("step %1").arg(k)));
        const double first = freq >= 1000.0 ? 0.0 : 1.6;
        QVERIFY(near(t[0], first));
        QVERIFY(near(t[1], first + 1.6));
        QVERIFY(near(t[2], first + 3.2));
    }
    void twentyFiveHzDetail()
    {
        const QVector<double> t = RecvGates::CalcAutoTimes(25.0, 625000.0, 1250);
        // The 136 uniform steps run through 217.6.
        for (int k = 0; k < 136; ++k)
            QVERIFY2(near(t[k], 1.6 * (k + 1)), qPrintable(QString::number(k)));
        QVERIFY(near(t[653], 9852.8));
        QVERIFY(near(t[654], 9926.4));
        QVERIFY(near(t[655], 10000.0));
    }
    void fewChannelsOutgrowTheCount()
    {
        // N = 10 at 25 Hz: s = 0.4, d = 1 (t[1] - t[0] = 3.79 > 1.6) and
        // n = trunc(6.31/1.6) = 3, so 10 - 1 + 3 = 12 times: 1.6, 3.2, 4.8,
        // then 6.31 quantised to 6.4 and the log times 15.85 .. 10000
        // quantised down (trunc((t + 0.5)/1.6) * 1.6).
        const QVector<double> expected = {1.6, 3.2, 4.8, 6.4, 16.0, 40.0, 99.2,
                                          251.2, 630.4, 1584.0, 3980.8, 10000.0};
        const QVector<double> t = RecvGates::CalcAutoTimes(25.0, 625000.0, 10);
        QCOMPARE(t.size(), expected.size());
        for (int k = 0; k < t.size(); ++k)
            QVERIFY2(near(t[k], expected[k]), qPrintable(QString("%1: %2").arg(k).arg(t[k])));
    }
    void degenerateInputsGiveNoTimes_data()
    {
        QTest::addColumn<double>("freq");
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("channels");
        QTest::newRow("one channel") << 25.0 << 625000.0 << 1;
        QTest::newRow("no channels") << 25.0 << 625000.0 << 0;
        QTest::newRow("negative channels") << 25.0 << 625000.0 << -5;
        QTest::newRow("zero frequency") << 0.0 << 625000.0 << 1250;
        QTest::newRow("zero rate") << 25.0 << 0.0 << 1250;
        QTest::newRow("NaN frequency") << std::nan("") << 625000.0 << 1250;
        QTest::newRow("negative frequency") << -25.0 << 625000.0 << 1250;
        QTest::newRow("infinite frequency") << double(INFINITY) << 625000.0 << 1250;
        QTest::newRow("infinite rate") << 25.0 << double(INFINITY) << 1250;
        // More than 2^24 samples in a quarter period.
        QTest::newRow("0.001 Hz") << 0.001 << 625000.0 << 1250;
        QTest::newRow("rate far above the box's") << 25.0 << 1e300 << 1250;
        QTest::newRow("tiny frequency") << 1e-300 << 625000.0 << 1250;
        // Would be a table of millions of gates, or a huge allocation.
        QTest::newRow("two channels at 0.1 Hz") << 0.1 << 625000.0 << 2;
        QTest::newRow("channel count past the limit") << 25.0 << 625000.0 << 4097;
        QTest::newRow("largest channel count") << 25.0 << 625000.0 << INT_MAX;
    }
    void degenerateInputsGiveNoTimes()
    {
        QFETCH(double, freq);
        QFETCH(double, rate);
        QFETCH(int, channels);
        QVERIFY(RecvGates::CalcAutoTimes(freq, rate, channels).isEmpty());
    }
    void boundsKeepWhatTheBoxesUse()
    {
        // The slowest frequency the boxes offer and a table near the limit.
        QCOMPARE(RecvGates::CalcAutoTimes(0.01, 625000.0, 1250).size(), 974);
        QCOMPARE(RecvGates::CalcAutoTimes(1000.0, 625000.0, 4096).size(), 4095);
    }
    void emulatorAgrees_data()
    {
        QTest::addColumn<double>("freq");
        QTest::addColumn<int>("channels");
        for (double f : {0.1, 0.125, 0.25, 0.625, 1.0, 1.25, 2.5, 6.25, 12.5, 25.0, 62.5, 100.0, 1000.0, 37.5})
            QTest::newRow(qPrintable(QStringLiteral("%1 Hz").arg(f))) << f << 1250;
        QTest::newRow("few channels") << 25.0 << 10;
        QTest::newRow("two channels") << 25.0 << 2;
        QTest::newRow("refused by both") << 0.001 << 1250;
    }
    void emulatorAgrees()
    {
        // The emulated receiver lays out its gates with code of its own.
        QFETCH(double, freq);
        QFETCH(int, channels);
        const QVector<double> t = RecvGates::CalcAutoTimes(freq, 625000.0, channels);
        const std::vector<double> e = EmuGates::EndTimes(freq, 625000.0, channels);
        QCOMPARE(t.size(), int(e.size()));
        for (int k = 0; k < t.size(); ++k)
            QVERIFY2(near(t[k], e[size_t(k)]), qPrintable(QStringLiteral("%1: %2 %3").arg(k).arg(t[k]).arg(e[size_t(k)])));
    }
    void interiorValuesPinned_data()
    {
        // Values computed apart from both implementations. At 25 Hz the
        // quantised times jump from 244.8 to 248.0 at index 153, and the
        // reordering of the widths moves a one-sample width in (246.4); at
        // 2.5 Hz the exchange reaches two widths back.
        QTest::addColumn<double>("freq");
        QTest::addColumn<int>("from");
        QTest::addColumn<QVector<double>>("values");
        QTest::newRow("25 Hz, 150-160")
            << 25.0 << 150
            << QVector<double>{241.6, 243.2, 244.8, 246.4, 248.0, 249.6, 251.2, 252.8, 254.4, 256.0, 257.6};
        QTest::newRow("2.5 Hz, 125-135")
            << 2.5 << 125
            << QVector<double>{201.6, 203.2, 204.8, 206.4, 208.0, 209.6, 211.2, 212.8, 214.4, 216.0, 217.6};
        QTest::newRow("62.5 Hz, last three") << 62.5 << 572 << QVector<double>{3945.6, 3972.8, 4000.0};
    }
    void interiorValuesPinned()
    {
        QFETCH(double, freq);
        QFETCH(int, from);
        QFETCH(QVector<double>, values);
        const QVector<double> t = RecvGates::CalcAutoTimes(freq, 625000.0, 1250);
        const std::vector<double> e = EmuGates::EndTimes(freq, 625000.0, 1250);
        for (int k = 0; k < values.size(); ++k) {
            QVERIFY2(near(t.value(from + k), values[k]), qPrintable(QString::number(from + k)));
            QVERIFY2(from + k < int(e.size()) && near(e[size_t(from + k)], values[k]), qPrintable(QString::number(from + k)));
        }
    }
    void tableFromTimes()
    {
        st_RecvGateTable table;
        RecvGates::Build(table, 25.0f, 625000.0f, 1250);
        QCOMPARE(table.GateCount, 656);
        QCOMPARE(table.Gates.size(), 656);
        QCOMPARE(table.DataType, 1);
        QCOMPARE(table.GateFreq, 25.0f);
        QVERIFY(near(table.Gates[0].first, 1.6) && near(table.Gates[0].second, 1.6));
        QVERIFY(near(table.Gates[1].first, 3.2) && near(table.Gates[1].second, 3.2));
        // In the logarithmic part a gate opens one sample period after the
        // previous one closes.
        QVERIFY(near(table.Gates[655].first, 9926.4 + 1.6));
        QVERIFY(near(table.Gates[655].second, 10000.0));
        for (int i = 1; i < table.Gates.size(); ++i)
            QVERIFY(near(table.Gates[i].first, table.Gates[i - 1].second + 1.6));

        // A rebuild for one channel leaves a consistent empty table.
        RecvGates::Build(table, 25.0f, 625000.0f, 1);
        QCOMPARE(table.GateCount, 0);
        QVERIFY(table.Gates.isEmpty());
    }
    void tableByIndex()
    {
        st_RecvGateTable table;
        RecvGates::BuildByIndex(table, 25.0f, 625000.0f, 0);
        QCOMPARE(table.GateCount, 0);
        QCOMPARE(table.DataType, 0);

        RecvGates::BuildByIndex(table, 25.0f, 625000.0f, 1250);
        QCOMPARE(table.GateCount, 1250);
        QCOMPARE(table.DataType, 1);
        // Early indices are raised to the channel number: one sample each.
        QVERIFY(near(table.Gates[0].first, 1.6) && near(table.Gates[0].second, 1.6));
        QVERIFY(near(table.Gates[1].first, 3.2) && near(table.Gates[1].second, 3.2));
        // S = 6249 is the last sample index of a quarter period; the last
        // gate ends at index 10^log10(S) - 1 = 6248, give or take the
        // single-precision logarithm, that is at (6248 + 1) * 1.6.
        QVERIFY2(std::fabs(table.Gates.last().second - 6249 * 1.6) <= 1.6 + 1e-9,
                 qPrintable(QString::number(table.Gates.last().second)));
        for (int j = 1; j < table.Gates.size(); ++j)
            QVERIFY(near(table.Gates[j].first, table.Gates[j - 1].second + 1.6));

        // Nonsense rates, a huge channel count or a frequency far below the
        // boxes' leave the table as it was.
        RecvGates::BuildByIndex(table, 0.0f, 625000.0f, 10);
        RecvGates::BuildByIndex(table, 25.0f, 625000.0f, INT_MAX);
        RecvGates::BuildByIndex(table, 0.001f, 625000.0f, 1250);
        QCOMPARE(table.GateCount, 1250);
    }
};

QTEST_APPLESS_MAIN(TestGates)
#include "tst_gates.moc"
