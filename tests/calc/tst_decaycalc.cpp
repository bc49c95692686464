// The decay arithmetic: current, turn-off time, stacking, scatter, clamping,
// smoothing, turn-off alignment, the whole pipeline and the history matrix.
#include "CalcTestUtil.h"
#include "Data_Blob.h"
#include "Data_Calc.h"
#include "TimeChannel.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

Vec squares(int n)
{
    Vec v;
    for (int i = 0; i < n; ++i)
        v.append(double(i) * i);
    return v;
}

st_RecvData_DUD4004 recv(const Vec& times, const Vec& values, int type = 2)
{
    st_RecvData_DUD4004 r;
    r.DataType = type;
    r.Times = times;
    r.Values = values;
    return r;
}

st_TEMSendData sendSet(const Vec& current, double offFs, const Vec& off)
{
    st_TEMSendData s;
    s.SendData = current;
    s.SampleOffFs = offFs;
    s.OffData = off;
    return s;
}
} // namespace

class TestDecayCalc : public QObject
{
    Q_OBJECT

    Vec m_table;

private slots:
    void initTestCase()
    {
        QFile f(qEnvironmentVariable("VODEZ_SOURCE_DIR") + QStringLiteral("/resources/etc/time.ini"));
        QVERIFY2(f.exists(), qPrintable(f.fileName()));
        TimeChannel::LoadTimeTable(f.fileName());
        QCOMPARE(g_timeTable.size(), 72);
        m_table = g_timeTable;
    }
    void init()
    {
        g_timeTable = m_table;
        g_timeTableLoaded = true;
        g_recvGain = 11.0;
        g_startTime = 80;
    }

    void byteArrayToVector()
    {
        QCOMPARE(Data_Calc::ByteArrayToVector(QByteArray::fromHex("3FF0000000000000C000000000000000")),
                 (Vec{1.0, -2.0}));
        QCOMPARE(Data_Calc::ByteArrayToVector(QByteArray()), Vec());
        const Vec odd{0.1, -1e-300, kInf, 5e-324};
        QCOMPARE(Data_Calc::ByteArrayToVector(blobOf(odd)), odd);
        // A trailing fragment reads as one more 0.0.
        QCOMPARE(Data_Calc::ByteArrayToVector(QByteArray::fromHex("3FF0000000000000C000")), (Vec{1.0, 0.0}));
        // The same reading as the persistent classes' own codec.
        for (const QByteArray& b : {blobOf(odd), QByteArray::fromHex("3FF0000000000000C000"), QByteArray("x")})
            QCOMPARE(Data_Calc::ByteArrayToVector(b), Data_Blob::ByteArrayToVector(b));
        const Vec nanBack = Data_Calc::ByteArrayToVector(blobOf(Vec{kNaN}));
        QCOMPARE(nanBack.size(), 1);
        QVERIFY(std::isnan(nanBack[0]));
    }

    void calcSendI_data()
    {
        QTest::addColumn<Vec>("wave");
        QTest::addColumn<double>("expected");
        // x[i] = i*i. 16 samples: a = 2, b = 4, h = 8.
        QTest::newRow("16 samples") << squares(16) << (std::fabs(4.0 - 100) + std::fabs(9.0 - 121)) * 0.5 / 2;
        // 12 samples: a = 1, b = 3, h = 6: two terms divided by 1.
        QTest::newRow("12 samples") << squares(12) << (std::fabs(1.0 - 49) + std::fabs(4.0 - 64)) * 0.5;
        QTest::newRow("5 samples, differing halves") << squares(5) << kInf;
        QTest::newRow("5 samples, equal halves") << Vec{3, 0, 3, 0, 0} << kNaN;
        QTest::newRow("3 samples") << Vec{1, 2, 3} << kNaN;
        QTest::newRow("empty") << Vec() << kNaN;
        QTest::newRow("zeros") << Vec(16, 0.0) << 0.0;
        Vec withNan = squares(16);
        withNan[2] = kNaN;
        QTest::newRow("NaN sample") << withNan << kNaN;
        Vec withInf = squares(16);
        withInf[3] = kInf;
        QTest::newRow("infinite sample") << withInf << kInf;
    }
    void calcSendI()
    {
        QFETCH(Vec, wave);
        QFETCH(double, expected);
        COMPARE_VALUE(Data_Calc::CalcSendI(wave), expected);
    }

    void sendIAndOffTimeMeans()
    {
        const Vec flat(6, 0.0);
        QList<st_TEMSendData> sets{sendSet(squares(16), 2e6, flat), sendSet(squares(12), 2e4, flat)};
        COMPARE_VALUE(Data_Calc::CalcSendIMean(sets), (52.0 + 54.0) / 2);
        COMPARE_VALUE(Data_Calc::CalcOffTimeMean(sets), (1.0 + 100.0) / 2);
        QVERIFY(std::isnan(Data_Calc::CalcSendIMean({})));
        QVERIFY(std::isnan(Data_Calc::CalcOffTimeMean({})));
    }

    void calcOffTime_data()
    {
        QTest::addColumn<double>("fs");
        QTest::addColumn<Vec>("wave");
        QTest::addColumn<double>("expected");
        QTest::newRow("5 samples") << 2e6 << Vec(5, 0.0) << 0.0;
        QTest::newRow("6 flat samples: j = 0, 1.0 us") << 2e6 << Vec(6, 0.0) << 1.0;
        // m[0] = 0.32 is above 0.3, from j = 1 on m stays at 0.29.
        QTest::newRow("settled from j = 1: 1.5 us becomes 64.5")
            << 2e6 << Vec{0.32, 0.26, 0.26, 0.26, 0.26, 0.29, 0.29} << 64.5;
        QTest::newRow("slow rate: 100 us kept") << 2e4 << Vec(6, 0.0) << 100.0;
        QTest::newRow("30 us is kept") << 1e5 << Vec{0.32, 0.26, 0.26, 0.26, 0.26, 0.29, 0.29} << 30.0;
        QTest::newRow("never settles (high level)") << 2e6 << Vec(20, 1.0) << 0.0;
        QTest::newRow("never settles (swings)") << 2e6 << Vec{0, 1, 0, 1, 0, 1, 0, 1, 0, 1} << 0.0;
        QTest::newRow("zero rate") << 0.0 << Vec(6, 0.0) << kInf;
        QTest::newRow("NaN waveform") << 2e6 << Vec(8, kNaN) << 0.0;
        QTest::newRow("empty") << 2e6 << Vec() << 0.0;
        QTest::newRow("infinite samples") << 2e6 << Vec{kInf, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0} << 0.0;
        // The running mean adds the earlier smoothed values first and the raw
        // sample last: here d[4] comes out at 0.05 exactly in that order and
        // just above it when the raw sample is added first.
        QTest::newRow("running mean summed oldest first")
            << 2e6 << Vec{0.2, 0.15, 0.25, 0.1, 0.35, 0.4} << 1.0;
    }
    void calcOffTime()
    {
        QFETCH(double, fs);
        QFETCH(Vec, wave);
        QFETCH(double, expected);
        COMPARE_VALUE(Data_Calc::CalcOffTime(fs, wave), expected);
    }

    void stackOffWave()
    {
        Data_Calc calc(nullptr);
        auto rec = [](const Vec& off) {
            st_SampleData_Send s;
            s.DATA_SOFF = blobOf(off);
            return s;
        };
        // The 90-sample record is skipped: the mean of two.
        QCOMPARE(calc.StackOffWave({rec(Vec(100, 1.0)), rec(Vec(90, 5.0)), rec(Vec(100, 3.0))}), Vec(100, 2.0));
        QCOMPARE(calc.StackOffWave({}), Vec());
        QCOMPARE(calc.StackOffWave({rec(Vec()), rec(Vec{1, 2})}), Vec());
    }

    void stackRecvData()
    {
        Data_Calc calc(nullptr);
        const Vec t{10, 20};
        // Stops at the first record of another type, even if a later one matches.
        QCOMPARE(calc.StackRecvData({recv(t, {1, 2}), recv(t, {3, 4}), recv(t, {100, 100}, 1), recv(t, {5, 6})}),
                 (Vec{2, 3}));
        QCOMPARE(calc.StackRecvData({recv(t, {1, 2}), recv(t, {3, 4, 5})}), (Vec{1, 2}));
        QCOMPARE(calc.StackRecvData({recv(t, {1, 2}), recv({10, 20, 30}, {3, 4})}), (Vec{1, 2}));
        QCOMPARE(calc.StackRecvData({recv(t, {1, 2, 3}), recv(t, {1, 2})}), Vec());   // first record damaged
        QCOMPARE(calc.StackRecvData({}), Vec());
        QCOMPARE(calc.StackRecvData({recv({}, {}), recv({}, {})}), Vec());
    }

    void calcRSD_data()
    {
        QTest::addColumn<Vec>("data");
        QTest::addColumn<double>("expected");
        QTest::addColumn<double>("orZero");
        QTest::newRow("1 2 3") << Vec{1, 2, 3} << 50.0 << 50.0;
        QTest::newRow("negative mean") << Vec{-1, -2, -3} << 50.0 << 50.0;
        QTest::newRow("one value") << Vec{4} << kNaN << kNaN;
        QTest::newRow("empty") << Vec() << kNaN << 0.0;
        QTest::newRow("zero mean") << Vec{-1, 1} << kInf << kInf;
        QTest::newRow("zeros") << Vec{0, 0} << kNaN << kNaN;
        QTest::newRow("infinite") << Vec{1, kInf} << kNaN << kNaN;
    }
    void calcRSD()
    {
        QFETCH(Vec, data);
        QFETCH(double, expected);
        QFETCH(double, orZero);
        COMPARE_VALUE(Data_Calc::CalcRSD(data), expected);
        COMPARE_VALUE(Data_Calc::CalcRSDOrZero(data), orZero);
    }

    void calcGateRSD()
    {
        QCOMPARE(Data_Calc::CalcGateRSD({}), Vec());
        QCOMPARE(Data_Calc::CalcGateRSD({recv({1, 2, 3}, {5, 6, 7})}), Vec(3, 0.0));
        // log10 1 and 2 at every gate; the second record's gate-4 value is
        // reused for gates 5 to 7.
        const double rsd12 = 100.0 * std::sqrt(0.5) / 1.5;
        QCOMPARE(Data_Calc::CalcGateRSD({recv({}, Vec(8, 10.0)), recv({}, Vec(5, 100.0))}).size(), 8);
        COMPARE_VEC(Data_Calc::CalcGateRSD({recv({}, Vec(8, 10.0)), recv({}, Vec(5, 100.0))}), Vec(8, rsd12));
        COMPARE_VEC(Data_Calc::CalcGateRSD({recv({}, {10, -10}), recv({}, {100, -100})}), Vec(2, rsd12));
        // Above 100, zero values (log -inf) and NaN give 100.
        COMPARE_VEC(Data_Calc::CalcGateRSD({recv({}, {1, 0, kNaN, 10}), recv({}, {10, 5, 5, 10})}),
                    (Vec{100, 100, 100, 0}));
        // A first record with fewer values decides the number of gates.
        QCOMPARE(Data_Calc::CalcGateRSD({recv({}, {10}), recv({}, {10, 10, 10})}), Vec{0.0});
    }

    void absDivide()
    {
        Vec v{-4, 2, 0};
        Data_Calc::AbsDivide(v, 2);
        QCOMPARE(v, (Vec{2, 1, 0}));
        v = {-4, 2};
        Data_Calc::AbsDivideChecked(v, 1e-7);
        QCOMPARE(v, (Vec{-4, 2}));
        Data_Calc::AbsDivideChecked(v, -2);
        QCOMPARE(v, (Vec{-2, -1}));
        v = {-4, 0};
        Data_Calc::AbsDivide(v, 0);
        COMPARE_VEC(v, (Vec{kInf, kNaN}));
    }

    void clampAbs_data()
    {
        QTest::addColumn<double>("in");
        QTest::addColumn<double>("out");
        QTest::newRow("0") << 0.0 << -1.1e-9;
        QTest::newRow("-20") << -20.0 << -10.0;
        QTest::newRow("20") << 20.0 << 10.0;
        QTest::newRow("5e-10") << 5e-10 << 1.1e-9;
        QTest::newRow("-5e-10") << -5e-10 << -1.1e-9;
        QTest::newRow("inside") << -3.0 << -3.0;
        QTest::newRow("upper edge") << 10.0 << 10.0;
        QTest::newRow("lower edge") << 1.1e-9 << 1.1e-9;
        QTest::newRow("NaN") << kNaN << kNaN;
        QTest::newRow("inf") << kInf << 10.0;
        QTest::newRow("-inf") << -kInf << -10.0;
    }
    void clampAbs()
    {
        QFETCH(double, in);
        QFETCH(double, out);
        Vec v{in};
        Data_Calc::ClampAbs(v, 10, 1.1e-9);
        COMPARE_VALUE(v[0], out);
        Vec w{in};
        Data_Calc::ClampAbsChecked(&w, 10, 1.1e-9);
        COMPARE_VALUE(w[0], out);
    }

    void clampAbsChecked()
    {
        Data_Calc::ClampAbsChecked(nullptr, 10, 1);
        Vec v{20, 0};
        Data_Calc::ClampAbsChecked(&v, 1, 10);     // upper below lower
        QCOMPARE(v, (Vec{20, 0}));
        Data_Calc::ClampAbsChecked(&v, 0, -1);
        QCOMPARE(v, (Vec{20, 0}));
        Data_Calc::ClampAbsChecked(&v, 5, 5);
        QCOMPARE(v, (Vec{20, 0}));
        Data_Calc::ClampAbsChecked(&v, 5, 1);
        QCOMPARE(v, (Vec{5, -1}));
    }

    void smoothData_data()
    {
        QTest::addColumn<Vec>("in");
        QTest::addColumn<QList<int> >("changed");   // indices expected to change
        QTest::addColumn<Vec>("expectedAtChanged");
        QTest::newRow("empty") << Vec() << QList<int>() << Vec();
        QTest::newRow("single") << Vec{kNaN} << QList<int>() << Vec();
        QTest::newRow("10 points") << squares(10) << QList<int>() << Vec();
        QTest::newRow("11 points") << squares(11) << QList<int>{9} << Vec{(64.0 + 81 + 100) / 3};
        // 13 points: point 11 is smoothed once over 3 points, then again
        // with its raw neighbours.
        QTest::newRow("13 points") << squares(13) << QList<int>{11} << Vec{(365.0 / 3 + 100 + 144) / 3};
        Vec big = squares(200);
        QTest::newRow("200 points")
            << big << QList<int>{11, 50, 100, 101, 150, 197, 198}
            << Vec{(100.0 + 121 + 144) / 3, (49.0 * 49 + 2500 + 51 * 51) / 3, (99.0 * 99 + 10000 + 101 * 101) / 3,
                   (99.0 * 99 + 10000 + 101 * 101 + 102 * 102 + 103 * 103) / 5,
                   (148.0 * 148 + 149 * 149 + 150 * 150 + 151 * 151 + 152 * 152) / 5,
                   (195.0 * 195 + 196 * 196 + 197 * 197 + 198 * 198 + 199 * 199) / 5,
                   (197.0 * 197 + 198 * 198 + 199 * 199) / 3};
    }
    void smoothData()
    {
        QFETCH(Vec, in);
        QFETCH(QList<int>, changed);
        QFETCH(Vec, expectedAtChanged);
        const Vec before = in;
        const Vec out = Data_Calc::SmoothData(in);
        QCOMPARE(out.size(), in.size());
        COMPARE_VEC(in, before);   // the input is not touched
        for (int i = 0; i < out.size(); ++i) {
            const int at = changed.indexOf(i);
            if (at >= 0)
                COMPARE_VALUE(out[i], expectedAtChanged[at]);
            else if (i <= 10 || i == out.size() - 1 || changed.isEmpty())
                COMPARE_VALUE(out[i], in[i]);
        }
    }

    void alignTimeToOff_data()
    {
        QTest::addColumn<Vec>("times");
        QTest::addColumn<Vec>("values");
        QTest::addColumn<double>("off");
        QTest::addColumn<Vec>("expTimes");
        QTest::addColumn<Vec>("expValues");
        const Vec t{1.6, 3.2, 4.8, 6.4};
        const Vec v{1, 2, 3, 4};
        QTest::newRow("drops the first point, snaps and spreads")
            << t << v << 2.0 << Vec{1.6, 3.2, 3 * 1.6} << Vec{2, 3, 4};
        QTest::newRow("off below the first time") << t << v << 1.0 << t << v;
        QTest::newRow("off on the first time") << t << v << 1.6 << t << v;
        QTest::newRow("off above the last time") << t << v << 7.0 << t << v;
        QTest::newRow("off near zero") << Vec{-1, 1, 2} << Vec{1, 2, 3} << 1e-7 << Vec{-1, 1, 2} << Vec{1, 2, 3};
        QTest::newRow("lengths differ") << t << Vec{1, 2} << 2.0 << t << Vec{1, 2};
        QTest::newRow("empty") << Vec() << Vec() << 2.0 << Vec() << Vec();
        QTest::newRow("single point") << Vec{5} << Vec{1} << 2.0 << Vec{5} << Vec{1};
        QTest::newRow("unsorted times")
            << Vec{1.6, 8.0, 3.0, 9.6} << v << 2.0 << Vec{3 * 1.6, 3 * 1.6 + 1.6, 8.0} << Vec{2, 3, 4};
        QTest::newRow("NaN time") << Vec{1.6, kNaN, 4.8, 6.4} << v << 2.0 << Vec{1.6, kNaN, 1.6, 4.8} << v;
        QTest::newRow("infinite last time") << Vec{1.6, 3.2, kInf} << Vec{1, 2, 3} << 2.0 << Vec{1.6, kInf}
                                            << Vec{2, 3};
        QTest::newRow("very late time is not wrapped")
            << Vec{1.6, 3.2, 1e12} << Vec{1, 2, 3} << 2.0 << Vec{1.6, std::trunc(std::ceil(1e12 - 2.0) / 1.6) * 1.6}
            << Vec{2, 3};
    }
    void alignTimeToOff()
    {
        QFETCH(Vec, times);
        QFETCH(Vec, values);
        QFETCH(double, off);
        QFETCH(Vec, expTimes);
        QFETCH(Vec, expValues);
        Data_Calc::AlignTimeToOff(times, values, off);
        COMPARE_VEC(times, expTimes);
        COMPARE_VEC(values, expValues);
    }

    void calcDecay_data()
    {
        QTest::addColumn<Vec>("values");
        QTest::addColumn<Vec>("times");
        QTest::addColumn<double>("off");
        QTest::addColumn<int>("mode");
        QTest::addColumn<double>("gain");
        QTest::addColumn<bool>("smooth");
        QTest::addColumn<Vec>("expValues");
        QTest::addColumn<Vec>("expTimes");

        QTest::newRow("mode 1: rescaled and clamped only")
            << Vec{0.5, -20, 0} << Vec{10, 20, 30} << 0.0 << 1 << 11.0 << true << Vec{0.5, -10, -1.1e-9}
            << Vec{4, 8, 12};
        // 100, 200, 300, 400 us fall into the gates 100, 206.9138, 297.6351
        // and the last gate 379.269; /2.5 gives 40 (cut at 80), 82.77, ...
        QTest::newRow("mode 0: divided, gated, cut at the start time")
            << Vec{11, -22, 33, 44} << Vec{100, 200, 300, 400} << 0.0 << 0 << 11.0 << true << Vec{2, 3, 4}
            << Vec{206.9138 / 2.5, 297.6351 / 2.5, 379.269 / 2.5};
        QTest::newRow("mode 0: tiny gain keeps signs")
            << Vec{11, -22, 33, -44} << Vec{100, 200, 300, 400} << 0.0 << 0 << 1e-7 << true << Vec{-10, 10, -10}
            << Vec{206.9138 / 2.5, 297.6351 / 2.5, 379.269 / 2.5};
        QTest::newRow("mode 0: decay entirely before the start time")
            << Vec{1, 2, 3} << Vec{10, 50, 150} << 0.0 << 0 << 11.0 << true << Vec() << Vec();
        QTest::newRow("mode 2 is not gated") << Vec{1, 2} << Vec{10, 12} << 0.0 << 2 << 11.0 << true << Vec{1, 2}
                                             << Vec{4, 4.8};
        QTest::newRow("turn-off alignment in mode 1")
            << Vec{1, 2, 3, 4} << Vec{1.6, 3.2, 4.8, 6.4} << 2.0 << 1 << 11.0 << true << Vec{2, 3, 4}
            << Vec{1.6 / 2.5, 3.2 / 2.5, 3 * 1.6 / 2.5};
        Vec ramp;
        Vec rampTimes;
        for (int i = 0; i < 12; ++i) {
            ramp.append(double(i) * i / 100);
            rampTimes.append(10 + i);
        }
        Vec rampClamped = ramp;
        rampClamped[0] = -1.1e-9;
        Vec rampSmoothed = rampClamped;
        rampSmoothed[10] = (0.81 + 1.0 + 1.21) / 3;   // 12 points: point 10 only
        Vec rampTimesOut;
        for (double t : rampTimes)
            rampTimesOut.append(t / 2.5);
        QTest::newRow("smoothing on") << ramp << rampTimes << 0.0 << 1 << 11.0 << true << rampSmoothed
                                      << rampTimesOut;
        QTest::newRow("smoothing off") << ramp << rampTimes << 0.0 << 1 << 11.0 << false << rampClamped
                                       << rampTimesOut;
        QTest::newRow("empty") << Vec() << Vec() << 64.5 << 0 << 11.0 << true << Vec() << Vec();
        QTest::newRow("empty, mode 1") << Vec() << Vec() << 64.5 << 1 << 11.0 << true << Vec() << Vec();
        QTest::newRow("single value mode 1") << Vec{0.0} << Vec{25} << 64.5 << 1 << 11.0 << true << Vec{-1.1e-9}
                                             << Vec{10};
        QTest::newRow("zero times mode 1") << Vec{1, 1} << Vec{0, 0} << 0.0 << 1 << 11.0 << true << Vec{1, 1}
                                           << Vec{0, 0};
        QTest::newRow("zero times mode 0") << Vec{1, 1} << Vec{0, 0} << 0.0 << 0 << 11.0 << true << Vec() << Vec();
        QTest::newRow("negative time mode 1") << Vec{1} << Vec{-5} << 0.0 << 1 << 11.0 << true << Vec{1}
                                              << Vec{kNaN};
        QTest::newRow("NaN value survives mode 1") << Vec{kNaN, 1} << Vec{10, 20} << 0.0 << 1 << 11.0 << true
                                                   << Vec{kNaN, 1} << Vec{4, 8};
        QTest::newRow("NaN and inf values mode 0")
            << Vec{kNaN, kInf, 22} << Vec{150, 250, 400} << 0.0 << 0 << 11.0 << true << Vec{10, 2}
            << Vec{263.6651 / 2.5, 379.269 / 2.5};
        QTest::newRow("values shorter than times: paired to the shorter (mode 1)")
            << Vec{1, 2} << Vec{10, 20, 30} << 0.0 << 1 << 11.0 << true << Vec{1, 2} << Vec{4, 8};
        QTest::newRow("times shorter than values: paired to the shorter (mode 1)")
            << Vec{1, 2, 3} << Vec{10, 20} << 0.0 << 1 << 11.0 << true << Vec{1, 2} << Vec{4, 8};
        QTest::newRow("values shorter than times: paired to the shorter (mode 0)")
            << Vec{22, 33} << Vec{200, 300, 400} << 0.0 << 0 << 11.0 << true << Vec{2, 3}
            << Vec{206.9138 / 2.5, 297.6351 / 2.5};
        QTest::newRow("lengths differ with a turn-off time")
            << Vec{1, 2, 3, 4, 5} << Vec{1.6, 3.2, 4.8, 6.4} << 2.0 << 1 << 11.0 << true << Vec{2, 3, 4}
            << Vec{1.6 / 2.5, 3.2 / 2.5, 3 * 1.6 / 2.5};
    }
    void calcDecay()
    {
        QFETCH(Vec, values);
        QFETCH(Vec, times);
        QFETCH(double, off);
        QFETCH(int, mode);
        QFETCH(double, gain);
        QFETCH(bool, smooth);
        QFETCH(Vec, expValues);
        QFETCH(Vec, expTimes);
        g_recvGain = gain;
        g_timeTableLoaded = smooth;
        Data_Calc::CalcDecay(values, times, off, mode);
        COMPARE_VEC(values, expValues);
        COMPARE_VEC(times, expTimes);
    }

    void calcDecayStartTime()
    {
        // The start time is read as set: 0 keeps every gate, 800 cuts to the
        // gates from 2000 us on.
        const Vec times{100, 200, 300, 400, 3000};
        const Vec values{11, 22, 33, 44, 55};
        g_startTime = 0;
        Vec v = values, t = times;
        Data_Calc::CalcDecay(v, t, 0.0, 0);
        QCOMPARE(v, (Vec{1, 2, 3, 4, 5}));
        g_startTime = 800;
        v = values;
        t = times;
        Data_Calc::CalcDecay(v, t, 0.0, 0);
        QCOMPARE(v, (Vec{5}));
        COMPARE_VEC(t, Vec{2928.645 / 2.5});
    }

    // Numbers from tests/calc/decay_reference.py, written from the rules
    // independently of this code.
    void pipelineReference()
    {
        const Vec expTimes{82.76552, 93.42883999999995, 105.46603999999998, 119.05404000000006, 134.39272, 151.70760000000004, 171.25328, 193.3171999999998, 218.22379999999984, 246.33928000000012, 278.0771199999999, 313.90400000000017, 354.34672000000023, 400.0000000000001, 466.3656000000003, 543.7423999999995, 633.9572000000003, 739.1400000000001, 861.7740000000003, 1004.7544000000003, 1171.4579999999992, 1365.8195999999998};
        const Vec expValues{0.00694227563492912, 0.006140733897923096, 0.004839445281862784, 0.004710848563447253, 0.004087037877750117, 0.003523285674472207, 0.0028165036650487727, 0.002563892370087628, 0.0020647603869539976, 0.0018177390524967167, 0.0014613301710235157, 0.001256639825125256, 0.001005942527098641, 0.0008229287222500771, 0.0006489380563564082, 0.0005002835121407705, 0.0003790533843851751, 0.00029052320009976645, 0.00022103184330272673, 0.00016730114962834928, 0.0001253057935012131, 8.872765639590523e-05};
        Vec times;
        Vec values;
        for (int k = 0; k < 2500; ++k) {
            times.append((k + 1) * 1.6);
            double x = 0.55 / ((1.0 + 0.01 * k) * (1.0 + 0.01 * k)) * (1.0 + 0.002 * 0);
            values.append(k % 97 == 5 ? -x : x);
        }
        Data_Calc::CalcDecay(values, times, 64.5, 0);
        COMPARE_VEC(times, expTimes);
        COMPARE_VEC(values, expValues);
    }

    // Damaged or odd stored arrays: every step gives a defined result and
    // keeps values and times paired, whatever the input.
    void degenerateInputs_data()
    {
        QTest::addColumn<Vec>("data");
        QTest::newRow("empty") << Vec();
        QTest::newRow("single") << Vec{42};
        QTest::newRow("zeros") << Vec(300, 0.0);
        QTest::newRow("NaN") << Vec(300, kNaN);
        QTest::newRow("inf") << Vec(300, kInf);
        QTest::newRow("-inf") << Vec(300, -kInf);
        Vec mixed;
        for (int i = 0; i < 300; ++i)
            mixed.append(i % 5 == 0 ? kNaN : i % 5 == 1 ? kInf : i % 5 == 2 ? 0.0 : i % 5 == 3 ? -1e308 : i * 1.6);
        QTest::newRow("mixed") << mixed;
        QTest::newRow("huge times") << Vec(300, 1e300);
        QTest::newRow("negative") << Vec(300, -3.0);
    }
    void degenerateInputs()
    {
        QFETCH(Vec, data);
        Data_Calc calc(nullptr);
        g_timeTable = m_table;
        g_timeTableLoaded = true;
        const Vec shorter = data.mid(0, data.size() / 2);
        Vec ramp;
        for (int i = 0; i < data.size(); ++i)
            ramp.append((i + 1) * 1.6);

        Data_Calc::CalcSendI(data);
        for (double fs : {2e6, 0.0, kNaN, -1.0})
            Data_Calc::CalcOffTime(fs, data);
        Data_Calc::CalcRSD(data);
        Data_Calc::CalcRSDOrZero(data);
        QCOMPARE(Data_Calc::SmoothData(data).size(), data.size());

        const QList<st_RecvData_DUD4004> recs{recv(ramp, data), recv(data, shorter), recv(shorter, data)};
        calc.StackRecvData(recs);
        QCOMPARE(Data_Calc::CalcGateRSD(recs).size(), data.size());

        for (const Vec& times : {data, ramp, shorter}) {
            for (const Vec& values : {data, shorter, ramp}) {
                for (double off : {0.0, 64.5, kNaN, kInf, 1e300}) {
                    for (int mode : {0, 1}) {
                        Vec v = values, t = times;
                        Data_Calc::CalcDecay(v, t, off, mode);
                        QCOMPARE(v.size(), t.size());
                        QVERIFY(v.size() <= std::min(values.size(), times.size()));
                        for (double x : v)
                            QVERIFY(std::isnan(x) || (std::fabs(x) <= 10 && std::fabs(x) >= 1.1e-9));
                    }
                    Vec v = values, t = times;
                    Data_Calc::AlignTimeToOff(t, v, off);
                    if (values.size() == times.size())
                        QCOMPARE(v.size(), t.size());
                }
                Vec v = values, t = times;
                TimeChannel::TimeGate(t, v);
                QCOMPARE(v.size(), t.size());
            }
        }
        Vec v = data;
        Data_Calc::AbsDivide(v, 0.0);
        Data_Calc::AbsDivideChecked(v, kNaN);
        Data_Calc::ClampAbs(v, 10, 1.1e-9);
        Data_Calc::ClampAbsChecked(&v, kNaN, 1.0);
    }

    void addHistoryLine()
    {
        // The history belongs to the process: this one test drives it.
        Data_Calc calc(nullptr);
        QSignalSpy spy(&calc, &Data_Calc::newGraph_Line);

        calc.AddHistoryLine(Vec(), Vec{1}, 5);
        QCOMPARE(spy.count(), 0);

        for (int i = 1; i <= 31; ++i)
            calc.AddHistoryLine(Vec(5, double(i) / 100), Vec{1, 2, 3, 4, 5}, 1000 * i);
        QCOMPARE(spy.count(), 31);
        auto matrix = spy.last().at(0).value<QVector<QVector<double> > >();
        Vec starts = spy.last().at(1).value<Vec>();
        QCOMPARE(starts.size(), 30);
        QCOMPARE(starts.first(), 2000.0);   // the oldest is gone
        QCOMPARE(starts.last(), 31000.0);
        QCOMPARE(matrix.size(), 5);
        QCOMPARE(matrix[0].size(), 30);
        QCOMPARE(matrix[0].first(), 0.02);
        QCOMPARE(spy.last().at(2).value<Vec>(), (Vec{1, 2, 3, 4, 5}));
        QCOMPARE(spy.last().at(3).toInt(), -1);

        // Curves of lengths 20, 18, 25 after 27 long ones: 18 rows, the
        // times are the newest curve's first 18, magnitudes clipped.
        for (int i = 0; i < 27; ++i)
            calc.AddHistoryLine(Vec(40, 1.0), Vec(40, 7.0), i);
        calc.AddHistoryLine(Vec(20, 1.0), Vec(20, 7.0), 100);
        calc.AddHistoryLine(Vec(18, 1.0), Vec(18, 7.0), 101);
        Vec newest(25, 0.5);
        newest[0] = -5;
        newest[1] = 1e-12;
        newest[2] = 0;
        newest[3] = -1e-3;
        newest[4] = kNaN;
        newest[5] = kInf;
        Vec newestTimes;
        for (int i = 0; i < 25; ++i)
            newestTimes.append(i);
        calc.AddHistoryLine(newest, newestTimes, 102);
        matrix = spy.last().at(0).value<QVector<QVector<double> > >();
        QCOMPARE(matrix.size(), 18);
        for (const Vec& row : matrix)
            QCOMPARE(row.size(), 30);
        QCOMPARE(spy.last().at(2).value<Vec>(), newestTimes.mid(0, 18));
        Vec lastColumn;
        for (const Vec& row : matrix)
            lastColumn.append(row.last());
        Vec expected(18, 0.5);
        expected[0] = 2.6;
        expected[1] = 1e-9;
        expected[2] = 0;
        expected[3] = 1e-3;
        expected[4] = kNaN;
        expected[5] = 2.6;
        COMPARE_VEC(lastColumn, expected);
        QCOMPARE(spy.last().at(1).value<Vec>().last(), 102.0);

        // Times shorter than the rows: the emitted row times are what exists.
        calc.AddHistoryLine(Vec(18, 1.0), Vec{1, 2}, 103);
        QCOMPARE(spy.last().at(2).value<Vec>(), (Vec{1, 2}));
    }
};

QTEST_GUILESS_MAIN(TestDecayCalc)
#include "tst_decaycalc.moc"
