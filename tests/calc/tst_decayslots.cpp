// The decay processor's slots: which plot signals they emit, in which order
// and with which curves.
#include "CalcTestUtil.h"
#include "Data_Calc.h"
#include "DataClasses.h"
#include "Resources.h"
#include "TimeChannel.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// Every signal of one processor: a spy each (arguments) and one log of names
// in emission order.
struct Recorder
{
    explicit Recorder(Data_Calc* calc)
        : context()
        , axis(calc, &Data_Calc::graphAxisScale_Log)
        , clear(calc, &Data_Calc::graphClear)
        , data(calc, &Data_Calc::newGraphData)
        , title(calc, &Data_Calc::setGraphTitle)
        , send(calc, &Data_Calc::newGraph_Send)
        , off(calc, &Data_Calc::newGraph_Off)
        , line(calc, &Data_Calc::newGraph_Line)
        , error(calc, &Data_Calc::newGraph_Error)
    {
        auto log = [this](const char* name) { return [this, name]() { order << QString::fromLatin1(name); }; };
        QObject::connect(calc, &Data_Calc::graphAxisScale_Log, &context, log("axis"));
        QObject::connect(calc, &Data_Calc::graphClear, &context, log("clear"));
        QObject::connect(calc, &Data_Calc::newGraphData, &context, log("data"));
        QObject::connect(calc, &Data_Calc::setGraphTitle, &context, log("title"));
        QObject::connect(calc, &Data_Calc::newGraph_Send, &context, log("send"));
        QObject::connect(calc, &Data_Calc::newGraph_Off, &context, log("off"));
        QObject::connect(calc, &Data_Calc::newGraph_Line, &context, log("line"));
        QObject::connect(calc, &Data_Calc::newGraph_Error, &context, log("error"));
    }
    QObject context;   // ends the logging connections with the recorder
    QSignalSpy axis, clear, data, title, send, off, line, error;
    QStringList order;
};

st_RecvData_DUD4004 recv(const Vec& times, const Vec& values, int type = 2, qint64 at = 0)
{
    st_RecvData_DUD4004 r;
    r.DataType = type;
    r.Times = times;
    r.Values = values;
    r.RecvTime = at;
    return r;
}

// A TEM-like record: 1.6 us spacing, a power-law decay with a few flipped
// signs; repeat scales it a little. The same inputs as decay_reference.py.
st_RecvData_DUD4004 referenceRecord(int repeat)
{
    st_RecvData_DUD4004 r;
    for (int k = 0; k < 2500; ++k) {
        r.Times.append((k + 1) * 1.6);
        double x = 0.55 / ((1.0 + 0.01 * k) * (1.0 + 0.01 * k)) * (1.0 + 0.002 * repeat);
        r.Values.append(k % 97 == 5 ? -x : x);
    }
    return r;
}

st_SampleData_Send stored(double fs, const Vec& current, double offFs, const Vec& off)
{
    st_SampleData_Send s;
    s.SendFs = fs;
    s.DATA_SEND = blobOf(current);
    s.SampleOffFs = offFs;
    s.DATA_SOFF = blobOf(off);
    return s;
}

Vec processed(Vec values, Vec times, double off, int mode)
{
    Data_Calc::CalcDecay(values, times, off, mode);
    return values;
}

Vec processedTimes(Vec values, Vec times, double off, int mode)
{
    Data_Calc::CalcDecay(values, times, off, mode);
    return times;
}

} // namespace

class TestDecaySlots : public QObject
{
    Q_OBJECT

    std::unique_ptr<Data_Calc> m_calc;
    Vec m_times;   // 2 us spacing from 2 to 800 us

private slots:
    void initTestCase()
    {
        initVodezResources();
        registerDeviceRecordTypes();
        initDataClasses();
        m_calc.reset(new Data_Calc(nullptr));
        QCOMPARE(g_timeTable.size(), 72);
        g_recvGain = 11.0;
        for (int i = 1; i <= 400; ++i)
            m_times.append(2.0 * i);
    }

    void metaObjectOrder()
    {
        // Receivers connect by signature: names and argument types are fixed.
        const QStringList expected{
            "graphAxisScale_Log(bool,bool)", "graphClear()",
            "newGraphData(QString,QVector<double>,QVector<double>,double)", "setGraphTitle(QString,bool)",
            "newGraph_Send(double,QVector<double>)", "newGraph_Off(double,QVector<double>)",
            "newGraph_Line(QVector<QVector<double> >,QVector<double>,QVector<double>,int)",
            "newGraph_Error(QVector<double>,QVector<double>,bool)", "onData_Send(st_SampleData_Send)",
            "onShowData_Recvs(QString,QList<st_RecvData_DUD4004>,double,int)",
            "onShowData_Recvs(QString,QList<st_RecvData_DUD4004>,double)",
            "onData_SendsByte(QList<st_SampleData_Send>)",
            "onData_Recvs(QList<st_RecvData_DUD4004>,double,int,int)",
            "onData_Recvs(QList<st_RecvData_DUD4004>,double,int)", "onData_Recvs(QList<st_RecvData_DUD4004>,double)",
            "onData_SendsVec(QList<st_TEMSendData>)"};
        const QMetaObject& mo = Data_Calc::staticMetaObject;
        QStringList actual;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
            actual << QString::fromLatin1(mo.method(i).methodSignature());
        QCOMPARE(actual, expected);
        QCOMPARE(mo.methodCount() - mo.methodOffset(), 16);
    }

    void emptyListsEmitNothing()
    {
        Recorder rec(m_calc.get());
        m_calc->onShowData_Recvs(QStringLiteral("p"), {}, 0.0, 0);
        m_calc->onData_Recvs({}, 0.0, 0, 1);
        m_calc->onData_SendsByte({});
        m_calc->onData_SendsVec({});
        QCOMPARE(rec.order, QStringList());
    }

    void showOneRecord()
    {
        Recorder rec(m_calc.get());
        Vec values;
        for (double t : m_times)
            values.append(11.0 / t);
        m_calc->onShowData_Recvs(QStringLiteral("点10"), {recv(m_times, values)}, 64.5);
        QCOMPARE(rec.order, (QStringList{"clear", "axis", "data", "title", "error"}));
        QCOMPARE(rec.axis.first(), (QVariantList{true, true}));
        QCOMPARE(rec.data.first().at(0).toString(), QStringLiteral("点10"));
        COMPARE_VEC(rec.data.first().at(1).value<Vec>(), processedTimes(values, m_times, 64.5, 0));
        COMPARE_VEC(rec.data.first().at(2).value<Vec>(), processed(values, m_times, 64.5, 0));
        QCOMPARE(rec.data.first().at(3).toDouble(), 1.0);
        QCOMPARE(rec.title.first(), (QVariantList{QStringLiteral("点10"), true}));
        // Scatter of one record: zeros over its unprocessed times, hidden.
        QCOMPARE(rec.error.first().at(0).value<Vec>(), m_times);
        QCOMPARE(rec.error.first().at(1).value<Vec>(), Vec(m_times.size(), 0.0));
        QCOMPARE(rec.error.first().at(2).toBool(), false);
    }

    // Three repeats of the reference record: every processed curve, the
    // stacked curve and the scatter against decay_reference.py.
    void showThreeRecordsReference()
    {
        const Vec expTimes{82.76552, 93.42883999999995, 105.46603999999998, 119.05404000000006, 134.39272, 151.70760000000004, 171.25328, 193.3171999999998, 218.22379999999984, 246.33928000000012, 278.0771199999999, 313.90400000000017, 354.34672000000023, 400.0000000000001, 466.3656000000003, 543.7423999999995, 633.9572000000003, 739.1400000000001, 861.7740000000003, 1004.7544000000003, 1171.4579999999992, 1365.8195999999998};
        const Vec expValues{0.00694227563492912, 0.006140733897923096, 0.004839445281862784, 0.004710848563447253, 0.004087037877750117, 0.003523285674472207, 0.0028165036650487727, 0.002563892370087628, 0.0020647603869539976, 0.0018177390524967167, 0.0014613301710235157, 0.001256639825125256, 0.001005942527098641, 0.0008229287222500771, 0.0006489380563564082, 0.0005002835121407705, 0.0003790533843851751, 0.00029052320009976645, 0.00022103184330272673, 0.00016730114962834928, 0.0001253057935012131, 8.872765639590523e-05};
        const Vec expScatter{0.040176311308147, 0.03920808798022923, 0.03745593000208578, 0.03726758318361286, 0.03630471857287854, 0.03535037321345461, 0.03400207445669727, 0.03346635327987888, 0.032294022054074716, 0.031641704319195836, 0.03058359044418608, 0.02989240874820879, 0.028928392526417573, 0.028110279624953598, 0.027200366938284374, 0.026269043626256795, 0.025343477888415126, 0.024515506420392418, 0.02371909498177954, 0.022959231866348417, 0.022220472108810348, 0.021398191729349713};
        const Vec expStacked{0.006956160186198979, 0.0061530153657189425, 0.0048491241724265095, 0.004720270260574149, 0.00409521195350562, 0.0035303322458211514, 0.00282213667237887, 0.0025690201548278033, 0.002068889907727906, 0.0018213745306017103, 0.0014642528313655626, 0.0012591531047755058, 0.001007954412152838, 0.0008245745796945769, 0.0006502359324691207, 0.0005012840791650519, 0.00037981149115394545, 0.000291104246499966, 0.0002214739069893321, 0.00016763575192760592, 0.00012555640508821577, 8.890511170869701e-05};

        Recorder rec(m_calc.get());
        m_calc->onShowData_Recvs(QStringLiteral("L1 P2"), {referenceRecord(0), referenceRecord(1), referenceRecord(2)},
                                 64.5, 0);
        QCOMPARE(rec.order, (QStringList{"clear", "axis", "data", "data", "data", "data", "title", "error"}));
        for (int p = 0; p < 3; ++p) {
            QCOMPARE(rec.data.at(p).at(0).toString(), QStringLiteral("采样%1").arg(p + 1));
            QCOMPARE(rec.data.at(p).at(3).toDouble(), 0.3);
            COMPARE_VEC(rec.data.at(p).at(1).value<Vec>(), expTimes);
        }
        COMPARE_VEC(rec.data.at(0).at(2).value<Vec>(), expValues);
        QCOMPARE(rec.data.at(3).at(0).toString(), QStringLiteral("L1 P2"));
        QCOMPARE(rec.data.at(3).at(3).toDouble(), 1.0);
        COMPARE_VEC(rec.data.at(3).at(1).value<Vec>(), expTimes);
        COMPARE_VEC(rec.data.at(3).at(2).value<Vec>(), expStacked);
        COMPARE_VEC(rec.error.first().at(0).value<Vec>(), expTimes);
        COMPARE_VEC(rec.error.first().at(1).value<Vec>(), expScatter);
        QCOMPARE(rec.error.first().at(2).toBool(), true);
    }

    void showDamagedFirstRecord()
    {
        // More values than times in the first record: per-record curves only.
        Recorder rec(m_calc.get());
        Vec times{100, 200, 300};
        m_calc->onShowData_Recvs(QStringLiteral("p"), {recv(times, {11, 22, 33, 44}), recv(times, {11, 22, 33})},
                                 0.0, 0);
        QCOMPARE(rec.order, (QStringList{"clear", "axis", "data", "data"}));
        // The damaged record is paired up to its times.
        QCOMPARE(rec.data.first().at(2).value<Vec>(), (Vec{2, 3}));
    }

    void showOtherTypeInSecondRecord()
    {
        Recorder rec(m_calc.get());
        Vec times{100, 200, 300};
        const auto first = recv(times, {11, 22, 33});
        const auto second = recv(times, {44, 88, 132}, 1);
        m_calc->onShowData_Recvs(QStringLiteral("p"), {first, second}, 0.0, 0);
        QCOMPARE(rec.order, (QStringList{"clear", "axis", "data", "data", "data", "title", "error"}));
        // Stacked curve is the first record alone; the scatter uses both.
        QCOMPARE(rec.data.at(2).at(2).value<Vec>(), processed(first.Values, times, 0.0, 0));
        const Vec rsd = rec.error.first().at(1).value<Vec>();
        QCOMPARE(rsd.size(), 2);
        // Gate 0: processed values 2 and 8.
        const double a = std::log10(2.0), b = std::log10(8.0), mean = (a + b) / 2;
        COMPARE_VALUE(rsd[0], 100.0 * std::sqrt((a - mean) * (a - mean) + (b - mean) * (b - mean)) / mean);
    }

    void showSelfCheck()
    {
        Recorder rec(m_calc.get());
        const Vec times{1, 2, 3};
        m_calc->onShowData_Recvs(QStringLiteral("p"), {recv(times, {0.5, 0.6, 0.7})}, 0.0, 1);
        QCOMPARE(rec.axis.first(), (QVariantList{false, false}));
        // Not gated, not cut: all three points, times / 2.5.
        COMPARE_VEC(rec.data.first().at(1).value<Vec>(), (Vec{0.4, 0.8, 1.2}));
        QCOMPARE(rec.data.first().at(2).value<Vec>(), (Vec{0.5, 0.6, 0.7}));
    }

    void liveSingle()
    {
        Recorder rec(m_calc.get());
        Vec older, last;
        for (double t : m_times) {
            older.append(1.0);
            last.append(11.0 / t);
        }
        m_calc->onData_Recvs({recv(m_times, older), recv(m_times, last)}, 64.5, 0, 0);
        QCOMPARE(rec.order, (QStringList{"clear", "axis", "data", "title"}));
        QCOMPARE(rec.data.first().at(0).toString(), QStringLiteral("0"));
        COMPARE_VEC(rec.data.first().at(2).value<Vec>(), processed(last, m_times, 64.5, 0));
        QCOMPARE(rec.data.first().at(3).toDouble(), 1.0);
        QCOMPARE(rec.title.first(), (QVariantList{QStringLiteral("当前采集"), true}));
    }

    void liveContinuous()
    {
        Recorder rec(m_calc.get());
        const qint64 at = QDateTime(QDate(2026, 5, 4), QTime(13, 2, 3, 45)).toMSecsSinceEpoch();
        Vec values;
        for (double t : m_times)
            values.append(11.0 / t);
        m_calc->onData_Recvs({recv(m_times, values, 2, at), recv(m_times, values, 2, at + 500)}, 64.5, 0, 1);
        QCOMPARE(rec.order, (QStringList{"clear", "axis", "data", "title", "line"}));
        QCOMPARE(rec.title.first().at(0).toString(), QStringLiteral("2026.05.04 13:02:03.045"));
        const Vec x = rec.line.first().at(1).value<Vec>();
        QCOMPARE(x.last(), double(at));
        const Vec rows = rec.line.first().at(2).value<Vec>();
        COMPARE_VEC(rows, processedTimes(values, m_times, 64.5, 0));
        QCOMPARE(rec.line.first().at(3).toInt(), -1);
    }

    void liveSelfCheck()
    {
        Recorder rec(m_calc.get());
        m_calc->onData_Recvs({recv({1, 2, 3}, {0.5, 0.6, 0.7})}, 0.0, 1);
        QCOMPARE(rec.axis.first(), (QVariantList{false, false}));
        QCOMPARE(rec.data.first().at(2).value<Vec>(), (Vec{0.5, 0.6, 0.7}));
    }

    void storedSampleWaveforms()
    {
        Recorder rec(m_calc.get());
        m_calc->onData_Send(stored(25.0, {1, 2}, 2e6, {}));
        QCOMPARE(rec.order, (QStringList{"send", "off"}));   // also for an empty array
        QCOMPARE(rec.send.first().at(0).toDouble(), 25.0);
        QCOMPARE(rec.send.first().at(1).value<Vec>(), (Vec{1, 2}));
        QCOMPARE(rec.off.first().at(0).toDouble(), 2e6);
        QCOMPARE(rec.off.first().at(1).value<Vec>(), Vec());
    }

    void storedPointWaveforms()
    {
        Recorder rec(m_calc.get());
        // The 3-sample current waveform is left out of the mean.
        m_calc->onData_SendsByte({stored(25.0, {1, 2, 3, 4}, 2e6, {1, 1}), stored(50.0, {9, 9, 9}, 1e6, {3, 3}),
                                  stored(50.0, {3, 4, 5, 6}, 1e6, {2})});
        QCOMPARE(rec.order, (QStringList{"send", "off"}));
        QCOMPARE(rec.send.first().at(0).toDouble(), 25.0);
        QCOMPARE(rec.send.first().at(1).value<Vec>(), (Vec{2, 3, 4, 5}));
        QCOMPARE(rec.off.first().at(0).toDouble(), 2e6);
        QCOMPARE(rec.off.first().at(1).value<Vec>(), (Vec{2, 2}));

        rec.order.clear();
        m_calc->onData_SendsByte({stored(25.0, {1, 2}, 2e6, {}), stored(25.0, {3, 4}, 2e6, {})});
        QCOMPARE(rec.order, (QStringList{"send"}));   // no turn-off data
    }

    void liveWaveforms()
    {
        Recorder rec(m_calc.get());
        auto set = [](double fs, int n, double level, double offFs, int offN, double offLevel) {
            st_TEMSendData s;
            s.BaseFreq = fs;
            s.SendData = Vec(n, level);
            s.SampleOffFs = offFs;
            s.OffData = Vec(offN, offLevel);
            return s;
        };
        m_calc->onData_SendsVec({set(25, 500, 1, 2e6, 40, 1), set(50, 500, 3, 1e6, 30, 9), set(50, 480, 99, 1e6, 40, 3)});
        QCOMPARE(rec.order, (QStringList{"send", "off"}));
        QCOMPARE(rec.send.first().at(0).toDouble(), 25.0);
        QCOMPARE(rec.send.first().at(1).value<Vec>(), Vec(500, 2.0));
        QCOMPARE(rec.off.first().at(0).toDouble(), 2e6);
        QCOMPARE(rec.off.first().at(1).value<Vec>(), Vec(40, 2.0));
    }
};

QTEST_GUILESS_MAIN(TestDecaySlots)
#include "tst_decayslots.moc"
