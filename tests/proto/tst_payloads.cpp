#include "ComPayload.h"

#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace
{
void putU32(QByteArray& b, int offset, quint32 v)
{
    qToLittleEndian<quint32>(v, b.data() + offset);
}

void putFloat(QByteArray& b, int offset, float f)
{
    quint32 bits;
    std::memcpy(&bits, &f, sizeof bits);
    putU32(b, offset, bits);
}

// n float samples and the 8 trailing bytes of a receiver push.
QByteArray recvPush(const QVector<float>& samples)
{
    QByteArray b(samples.size() * 4 + 8, '\0');
    for (int i = 0; i < samples.size(); ++i)
        putFloat(b, 4 * i, samples[i]);
    return b;
}

// A payload that lives in its own heap block of exactly that size, so that
// AddressSanitizer sees a read past its end (QByteArray keeps a spare zero
// byte behind its data).
struct ExactBytes
{
    explicit ExactBytes(const QByteArray& from)
        : size(from.size()), mem(new char[size_t(qMax(size, 1))])
    {
        std::memcpy(mem.get(), from.constData(), size_t(size));
    }
    QByteArray view() const { return QByteArray::fromRawData(mem.get(), size); }
    int size;
    std::unique_ptr<char[]> mem;
};

st_RecvParam config(int sampleMode, float freq = 25.0f, int rateIndex = 0)
{
    st_RecvParam p;
    p.BaseFreq = freq;
    p.SampleMode = sampleMode;
    p.RateIndex = rateIndex;
    return p;
}

st_RecvGateTable tableOf(int gates)
{
    st_RecvGateTable t;
    t.DataType = 1;
    t.GateCount = gates;
    for (int i = 0; i < gates; ++i)
        t.Gates.append(qMakePair(1.6 * i, 1.6 * i + 3.2));
    return t;
}

QByteArray waveformPush(qint32 nA, qint32 nB, int size = ComPayload::SendDataSize)
{
    QByteArray b(size, '\0');
    if (size >= 8) {
        putU32(b, 0, quint32(nA));
        putU32(b, 4, quint32(nB));
    }
    for (int i = 0; i < 500; ++i) {
        if (8 + 4 * i + 4 <= size)
            putFloat(b, 8 + 4 * i, float(i));
        if (2008 + 4 * i + 4 <= size)
            putFloat(b, 2008 + 4 * i, float(-i));
    }
    if (size >= 4024) {
        putFloat(b, 4008, 24.5f);
        putFloat(b, 4012, 12.25f);
        putFloat(b, 4016, 36.0f);
    }
    return b;
}
}

Q_DECLARE_METATYPE(QVector<float>)

class TestPayloads : public QObject
{
    Q_OBJECT
private slots:
    void resultWord_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<quint32>("code");
        QTest::newRow("empty") << QByteArray() << false << 0u;
        QTest::newRow("three bytes") << QByteArray("\x07\x00\x00", 3) << false << 0u;
        QTest::newRow("seven") << QByteArray("\x07\x00\x00\x00", 4) << true << 7u;
        QTest::newRow("all ones") << QByteArray("\xff\xff\xff\xff", 4) << true << 0xFFFFFFFFu;
        QTest::newRow("trailing bytes ignored") << QByteArray("\x00\x00\x00\x00\x09", 5) << true << 0u;
    }
    void resultWord()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, ok);
        QFETCH(quint32, code);
        const ExactBytes exact(payload);
        quint32 got = 0xDEADBEEF;
        QCOMPARE(ComPayload::ReadResult(exact.view(), &got), ok);
        QCOMPARE(got, ok ? code : 0xDEADBEEFu);

        quint8 flag = 0xAB;
        QCOMPARE(ComPayload::ReadFlagByte(exact.view(), &flag), !payload.isEmpty());
        if (!payload.isEmpty())
            QCOMPARE(flag, quint8(payload.at(0)));
    }

    void recvSampleCount()
    {
        // floor(L / 4) - 2, never negative, for every length near the edge.
        const int expected[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2};
        for (int L = 0; L <= 16; ++L)
            QCOMPARE(ComPayload::RecvSampleCount(L), expected[L]);
    }
    void recvOddLengthsReadOnlyWholeSamples()
    {
        // 13 to 15 bytes carry one sample; the decoder touches only bytes
        // that exist whatever the mode.
        for (int L = 0; L <= 19; ++L) {
            QByteArray raw(L, '\x01');
            const ExactBytes exact(raw);
            for (int mode : {0, 1, 2}) {
                st_RecvData_DUD4004 r;
                const bool ok = ComPayload::DecodeRecvData(exact.view(), config(mode),
                                                           tableOf(8), 1, &r);
                QVERIFY(ok);
                QCOMPARE(r.Values.size(), ComPayload::RecvSampleCount(L));
                QCOMPARE(r.Times.size(), r.Values.size());
                QCOMPARE(r.Widths.size(), r.Values.size());
            }
        }
    }
    void recvFixedRate_data()
    {
        QTest::addColumn<int>("rateIndex");
        QTest::addColumn<double>("rate");
        QTest::newRow("index 0") << 0 << 625000.0;
        QTest::newRow("index 1") << 1 << 78125.0;
        QTest::newRow("index 2") << 2 << 9765.0;
        QTest::newRow("index 3") << 3 << 1220.0;
        QTest::newRow("unknown index") << 9 << 625000.0;
    }
    void recvFixedRate()
    {
        QFETCH(int, rateIndex);
        QFETCH(double, rate);
        st_RecvData_DUD4004 r;
        QVERIFY(ComPayload::DecodeRecvData(recvPush({0.5f, -0.25f, 2.0f}), config(2, 12.5f, rateIndex),
                                           {}, 1234, &r));
        QCOMPARE(r.DataType, 2);
        QCOMPARE(r.SampleRate, rate);
        QCOMPARE(r.BaseFreq, 12.5);
        QCOMPARE(r.RecvTime, qint64(1234));
        const double step = 100000.0 / rate;
        QCOMPARE(r.Times.size(), 3);
        for (int j = 0; j < 3; ++j) {
            QVERIFY(qFuzzyCompare(r.Times[j], (j + 0.5) * step));
            QCOMPARE(r.Widths[j], step);
        }
        QCOMPARE(r.Values, (QVector<double>{0.5, -0.25, 2.0}));
        if (rateIndex == 0) {
            QVERIFY(qFuzzyCompare(r.Times[0], 0.08));
            QVERIFY(qFuzzyCompare(r.Times[1], 0.24));
            QVERIFY(qFuzzyCompare(r.Times[2], 0.40));
        }
    }
    void recvEmptyPushInFixedRateMode()
    {
        st_RecvData_DUD4004 r;
        r.DataType = 9;
        QVERIFY(ComPayload::DecodeRecvData(QByteArray(8, '\0'), config(5, 25.0f, 3), {}, 1, &r));
        QCOMPARE(r.DataType, 2);
        QCOMPARE(r.SampleRate, 1220.0);
        QVERIFY(r.Times.isEmpty() && r.Widths.isEmpty() && r.Values.isEmpty());
    }
    void recvSelfCheck()
    {
        st_RecvData_DUD4004 r;
        QVERIFY(ComPayload::DecodeRecvData(recvPush({1.0f, 2.0f, 3.0f}), config(1, 25.0f), {}, 1, &r));
        QCOMPARE(r.DataType, 2);
        QCOMPARE(r.SampleRate, 625000.0);
        QVERIFY(qFuzzyCompare(r.Times[0], 0.00005));
        QVERIFY(qFuzzyCompare(r.Times[1], 0.00015));
        QVERIFY(qFuzzyCompare(r.Times[2], 0.00025));
        for (double w : r.Widths)
            QVERIFY(qFuzzyCompare(w, 0.01));
    }
    void recvGateMode()
    {
        st_RecvGateTable table;
        RecvGates::Build(table, 25.0f, 625000.0f, 1250);
        QVector<float> samples(table.GateCount);
        for (int i = 0; i < samples.size(); ++i)
            samples[i] = float(i + 1);
        st_RecvData_DUD4004 r;
        QVERIFY(ComPayload::DecodeRecvData(recvPush(samples), config(0), table, 1, &r));
        QCOMPARE(r.DataType, 1);
        QCOMPARE(r.SampleRate, 625000.0);
        QCOMPARE(r.Values.size(), 656);
        // Gate 0 is [1.6, 1.6]: centre 1.6, width 0 replaced by one period.
        QVERIFY(qFuzzyCompare(r.Times[0], 1.6));
        QCOMPARE(r.Widths[0], 1.6);
        const auto& g = table.Gates[655];
        QVERIFY(qFuzzyCompare(r.Times[655], (g.first + g.second) * 0.5));
        QVERIFY(qFuzzyCompare(r.Widths[655], g.second - g.first));
        QCOMPARE(r.Values[655], 656.0);

        // Fewer samples than gates: the first gates are used.
        QVERIFY(ComPayload::DecodeRecvData(recvPush({1.0f, 2.0f}), config(0), table, 1, &r));
        QCOMPARE(r.Values.size(), 2);
    }
    void recvGateModeDropsWhatTheTableCannotPlace_data()
    {
        QTest::addColumn<int>("gateCount");
        QTest::addColumn<int>("tableEntries");
        QTest::addColumn<bool>("emitted");
        // A 5008-byte push carries 1250 samples.
        QTest::newRow("1249 gates") << 1249 << 1249 << false;
        QTest::newRow("1250 gates") << 1250 << 1250 << true;
        QTest::newRow("1300 gates") << 1300 << 1300 << true;
        // A count that claims more entries than the table holds is not
        // trusted past the entries that exist.
        QTest::newRow("count beyond the table") << 1250 << 1000 << false;
    }
    void recvGateModeDropsWhatTheTableCannotPlace()
    {
        QFETCH(int, gateCount);
        QFETCH(int, tableEntries);
        QFETCH(bool, emitted);
        st_RecvGateTable table = tableOf(tableEntries);
        table.GateCount = gateCount;
        const QByteArray push(5008, '\0');
        st_RecvData_DUD4004 r;
        QCOMPARE(ComPayload::DecodeRecvData(push, config(0), table, 1, &r), emitted);
        if (emitted)
            QCOMPARE(r.Values.size(), 1250);
    }
    void recvBeforeAnyConfigurationOrTable()
    {
        // A default configuration is gate mode at 0 Hz; without a gate table
        // an empty push gives an empty record of data type 0 and any sample
        // is dropped.
        const st_RecvParam none;
        const st_RecvGateTable noTable;
        st_RecvData_DUD4004 r;
        QVERIFY(ComPayload::DecodeRecvData(QByteArray(8, '\0'), none, noTable, 77, &r));
        QCOMPARE(r.DataType, 0);
        QCOMPARE(r.BaseFreq, 0.0);
        QCOMPARE(r.SampleRate, 625000.0);
        QCOMPARE(r.RecvTime, qint64(77));
        QVERIFY(r.Values.isEmpty());
        QVERIFY(!ComPayload::DecodeRecvData(recvPush({1.0f}), none, noTable, 77, &r));
    }
    void valuesMovedOffZero_data()
    {
        QTest::addColumn<float>("in");
        QTest::addColumn<double>("out");
        QTest::newRow("small positive") << 3e-10f << 1e-9;
        QTest::newRow("small negative") << -5e-10f << -1e-9;
        QTest::newRow("zero") << 0.0f << 1e-9;
        QTest::newRow("negative zero") << -0.0f << 1e-9;
        QTest::newRow("negative kept") << -2.0f << -2.0;
        QTest::newRow("large kept") << 1e6f << 1e6;
        // 1e-9 as a float is 9.99999972e-10, just below the limit.
        QTest::newRow("float 1e-9") << 1e-9f << 1e-9;
        QTest::newRow("small negative limit") << -1e-9f << -1e-9;
    }
    void valuesMovedOffZero()
    {
        QFETCH(float, in);
        QFETCH(double, out);
        for (int mode : {0, 1, 2}) {
            st_RecvData_DUD4004 r;
            QVERIFY(ComPayload::DecodeRecvData(recvPush({in}), config(mode), tableOf(1), 1, &r));
            QCOMPARE(r.Values.size(), 1);
            QCOMPARE(r.Values[0], out);
        }
        QVERIFY(std::isnan(ComPayload::ClampOffZero(std::nan(""))));
    }

    void waveformCounts_data()
    {
        QTest::addColumn<qint32>("nA");
        QTest::addColumn<qint32>("nB");
        QTest::addColumn<int>("gotA");
        QTest::addColumn<int>("gotB");
        QTest::newRow("both 500") << 500 << 500 << 500 << 500;
        QTest::newRow("600 and 10 cap both") << 600 << 10 << 500 << 500;
        QTest::newRow("10 and 501 cap both") << 10 << 501 << 500 << 500;
        QTest::newRow("none and 500") << 0 << 500 << 0 << 500;
        QTest::newRow("none at all") << 0 << 0 << 0 << 0;
        QTest::newRow("negative reads as huge") << -1 << 3 << 500 << 500;
        QTest::newRow("some") << 120 << 7 << 120 << 7;
    }
    void waveformCounts()
    {
        QFETCH(qint32, nA);
        QFETCH(qint32, nB);
        QFETCH(int, gotA);
        QFETCH(int, gotB);
        const ExactBytes exact(waveformPush(nA, nB));
        st_TEMSendData d;
        st_TEMSendMonitor m;
        QVERIFY(ComPayload::DecodeSendData(exact.view(), 62.5, &d, &m));
        QCOMPARE(d.BaseFreq, 62.5);
        QCOMPARE(d.SampleSendFs, 2000000.0);
        QCOMPARE(d.SampleOffFs, 2000000.0);
        QCOMPARE(d.SendData.size(), gotA);
        QCOMPARE(d.OffData.size(), gotB);
        for (int i = 0; i < gotA; ++i)
            QCOMPARE(d.SendData[i], double(i));
        for (int i = 0; i < gotB; ++i)
            QCOMPARE(d.OffData[i], double(-i));
        QCOMPARE(m.SendV, 24.5f);
        QCOMPARE(m.DeviceV, 12.25f);
        QCOMPARE(m.DeviceTemp, 36.0f);
    }
    void waveformTooShortIsIgnored()
    {
        for (int size : {0, 8, 4000, 4023}) {
            const ExactBytes exact(waveformPush(500, 500, size));
            st_TEMSendData d;
            d.BaseFreq = -1;
            st_TEMSendMonitor m;
            QVERIFY(!ComPayload::DecodeSendData(exact.view(), 25.0, &d, &m));
            QCOMPARE(d.BaseFreq, -1.0);
        }
        // Longer than the layout: the fixed offsets are read, the rest not.
        st_TEMSendData d;
        st_TEMSendMonitor m;
        QVERIFY(ComPayload::DecodeSendData(waveformPush(3, 4, 4100), 25.0, &d, &m));
        QCOMPARE(d.SendData.size(), 3);
    }
    void monitor()
    {
        QByteArray b(20, '\0');
        putFloat(b, 0, 48.0f);
        putFloat(b, 4, 11.5f);
        putFloat(b, 8, -3.0f);
        b[12] = 'x';
        for (int size : {0, 15, 16, 20}) {
            const ExactBytes exact(b.left(size));
            st_TEMSendMonitor m;
            QCOMPARE(ComPayload::DecodeMonitor(exact.view(), &m), size >= 16);
            if (size >= 16) {
                QCOMPARE(m.SendV, 48.0f);
                QCOMPARE(m.DeviceV, 11.5f);
                QCOMPARE(m.DeviceTemp, -3.0f);
                QCOMPARE(char(m.Reserved[0]), 'x');
            }
        }
    }
    void deviceInfo()
    {
        QByteArray b(25, '\0');
        for (int i = 0; i < 25; ++i)
            b[i] = char(i + 1);
        for (int size : {0, 23, 24, 25}) {
            const ExactBytes exact(b.left(size));
            st_DeviceInfo info;
            QCOMPARE(ComPayload::DecodeDeviceInfo(exact.view(), &info), size == 24);
            if (size == 24)
                QCOMPARE(QByteArray(reinterpret_cast<const char*>(info.Bytes), 24), b.left(24));
        }
    }
};

QTEST_APPLESS_MAIN(TestPayloads)
#include "tst_payloads.moc"
