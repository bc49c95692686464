#include "Data_Calc.h"
#include "EmuDevices.h"
#include "ProtoTestUtil.h"
#include "iLibSend.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

// The transmitter protocol against an emulated transmitter box on loopback.
class TestSendProtocol : public QObject
{
    Q_OBJECT

    std::unique_ptr<EmuTransmitterBox> box;
    std::unique_ptr<iLibSend> send;

    st_TEMSendInfo info(float freq, int periods, int continueMode)
    {
        st_TEMSendInfo i;
        i.BaseFreq = freq;
        i.Period = periods;
        i.ContinueMode = continueMode;
        return i;
    }

    void configure(st_TEMSendInfo i)
    {
        QSignalSpy spy(send.get(), &iLibSend::TEM_Configed);
        send->TEM_Config(&i);
        QVERIFY(spy.wait());
    }

    // Frames come back in order on one link: once a stop has been answered,
    // everything the box sent before it has been handled.
    void drain()
    {
        QSignalSpy stop(send.get(), &iLibSend::TEM_Stoped);
        send->TEM_Stop();
        QVERIFY(stop.wait());
    }

private slots:
    void interfaceNames()
    {
        // The controller connects by these names, spellings included.
        const QStringList got = ownMethodSignatures(iLibSend::staticMetaObject);
        QCOMPARE(got, (QStringList{"TEM_Configed(uint)", "TEM_Strated(bool)", "TEM_Stoped()",
                                   "TEM_NewSendData(st_TEMSendData)",
                                   "TEM_SendMonitor(st_TEMSendMonitor)",
                                   "TEM_SendDeviceInfo(st_DeviceInfo)", "TEM_Config(st_TEMSendInfo*)",
                                   "TEM_Strat()", "TEM_Stop()", "GetDeviceInfo()"}));
    }

    void init()
    {
        box = std::make_unique<EmuTransmitterBox>();
        box->SetMonitorInterval(0);
        send = std::make_unique<iLibSend>();
        connectLink(*send, *box, QStringLiteral("127.0.3.2"));
    }
    void cleanup()
    {
        send.reset();
        box.reset();
    }

    void deviceInfo()
    {
        QSignalSpy spy(send.get(), &iLibSend::TEM_SendDeviceInfo);
        send->GetDeviceInfo();
        QVERIFY(spy.wait());
        const auto got = spy.at(0).at(0).value<st_DeviceInfo>();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(got.Bytes), 24),
                 EmuTransmitterBox::DeviceInfoPayload());
        QCOMPARE(box->ReceivedOf(EmuTransmitterBox::CmdDeviceInfo).size(), 1);
        QVERIFY(box->ReceivedOf(EmuTransmitterBox::CmdDeviceInfo).at(0).payload.isEmpty());

        // Only exactly 24 bytes are device information.
        box->Malform(EmuTransmitterBox::CmdDeviceInfo, QByteArray(25, 'x'), 1);
        send->GetDeviceInfo();
        drain();
        box->Malform(EmuTransmitterBox::CmdDeviceInfo, QByteArray(23, 'x'), 1);
        send->GetDeviceInfo();
        drain();
        QCOMPARE(spy.count(), 1);
    }

    void configureSendsTheRecordFieldByField()
    {
        QCOMPARE(send->GetBaseFreq(), 200.0);
        QSignalSpy spy(send.get(), &iLibSend::TEM_Configed);
        st_TEMSendInfo i = info(62.5f, 125, 1);
        send->TEM_Config(&i);
        QCOMPARE(send->GetBaseFreq(), 62.5);
        QVERIFY(spy.wait());
        QCOMPARE(spy.at(0).at(0).value<quint32>(), 1u);
        const QList<EmuFrameRecord> got = box->ReceivedOf(EmuTransmitterBox::CmdConfig);
        QCOMPARE(got.size(), 1);
        const QByteArray b = got[0].payload;
        QCOMPARE(b.size(), 24);
        QCOMPARE(leFloat(b, 0), 62.5f);
        QCOMPARE(le32(b, 4), 125);
        QCOMPARE(int(b.at(8)), 1);
        QCOMPARE(int(b.at(9)), 1);
        QVERIFY(allZero(b, 10, 16));
        QCOMPARE(le32(b, 16), 1);
        QCOMPARE(le32(b, 20), 0);
    }

    void configureResults_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<quint32>("result");
        QTest::newRow("all ones") << EmuDeviceBox::ResultPayload(0xFFFFFFFFu) << 4294967295u;
        QTest::newRow("zero") << EmuDeviceBox::ResultPayload(0) << 0u;
        QTest::newRow("extra bytes") << EmuDeviceBox::ResultPayload(9) + "zz" << 9u;
        // Too short for the result value: reported as a refusal.
        QTest::newRow("two bytes") << QByteArray("\x05\x05", 2) << 0u;
        QTest::newRow("empty") << QByteArray() << 0u;
    }
    void configureResults()
    {
        QFETCH(QByteArray, reply);
        QFETCH(quint32, result);
        box->Malform(EmuTransmitterBox::CmdConfig, reply, 1);
        QSignalSpy spy(send.get(), &iLibSend::TEM_Configed);
        st_TEMSendInfo i = info(25.0f, 25, 0);
        send->TEM_Config(&i);
        QVERIFY(spy.wait());
        QCOMPARE(spy.at(0).at(0).value<quint32>(), result);
    }

    void startAndStop_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("started");
        QTest::newRow("one") << QByteArray(1, '\x01') << true;
        QTest::newRow("two") << QByteArray(1, '\x02') << true;
        QTest::newRow("zero") << QByteArray(1, '\0') << false;
        QTest::newRow("zero then more") << QByteArray("\x00\x01\x01\x01", 4) << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void startAndStop()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, started);
        box->Malform(EmuTransmitterBox::CmdStart, reply, 1);
        QSignalSpy spy(send.get(), &iLibSend::TEM_Strated);
        send->TEM_Strat();
        QVERIFY(spy.wait());
        QCOMPARE(spy.at(0).at(0).toBool(), started);
        QVERIFY(box->ReceivedOf(EmuTransmitterBox::CmdStart).at(0).payload.isEmpty());

        // Stop replies are not read.
        box->Malform(EmuTransmitterBox::CmdStop, QByteArray(), 1);
        QSignalSpy stop(send.get(), &iLibSend::TEM_Stoped);
        send->TEM_Stop();
        QVERIFY(stop.wait());
        QVERIFY(box->ReceivedOf(EmuTransmitterBox::CmdStop).at(0).payload.isEmpty());
    }

    void startRefusedWithoutConfiguration()
    {
        QSignalSpy spy(send.get(), &iLibSend::TEM_Strated);
        send->TEM_Strat();
        QVERIFY(spy.wait());
        QCOMPARE(spy.at(0).at(0).toBool(), false);
        configure(info(25.0f, 25, 0));
        send->TEM_Strat();
        QVERIFY(spy.wait());
        QCOMPARE(spy.at(1).at(0).toBool(), true);
    }

    void waveformCounts_data()
    {
        QTest::addColumn<qint32>("nA");
        QTest::addColumn<qint32>("nB");
        QTest::addColumn<int>("gotA");
        QTest::addColumn<int>("gotB");
        QTest::newRow("500 and 500") << 500 << 500 << 500 << 500;
        QTest::newRow("0 and 500") << 0 << 500 << 0 << 500;
        QTest::newRow("600 and 10") << 600 << 10 << 500 << 500;
        QTest::newRow("huge") << 0x7FFFFFFF << 0 << 500 << 500;
        QTest::newRow("negative") << 3 << -2 << 500 << 500;
        QTest::newRow("0 and 0") << 0 << 0 << 0 << 0;
    }
    void waveformCounts()
    {
        QFETCH(qint32, nA);
        QFETCH(qint32, nB);
        QFETCH(int, gotA);
        QFETCH(int, gotB);
        configure(info(6.25f, 10, 0));
        box->SetWaveformCounts(nA, nB);
        QStringList order;
        QList<st_TEMSendData> data;
        QList<st_TEMSendMonitor> monitors;
        connect(send.get(), &iLibSend::TEM_NewSendData, this, [&](st_TEMSendData d) {
            order << "data";
            data << d;
        });
        connect(send.get(), &iLibSend::TEM_SendMonitor, this, [&](st_TEMSendMonitor m) {
            order << "monitor";
            monitors << m;
        });
        const QByteArray payload = box->WaveformPayload();
        box->Push(EmuTransmitterBox::CmdSendData, payload);
        QTRY_COMPARE(order.size(), 2);
        QCOMPARE(order, (QStringList{"data", "monitor"}));
        const st_TEMSendData& d = data.first();
        QCOMPARE(d.BaseFreq, 6.25);
        QCOMPARE(d.SampleSendFs, 2000000.0);
        QCOMPARE(d.SampleOffFs, 2000000.0);
        QCOMPARE(d.SendData.size(), gotA);
        QCOMPARE(d.OffData.size(), gotB);
        for (int k = 0; k < gotA; ++k)
            QCOMPARE(d.SendData[k], double(leFloat(payload, 8 + 4 * k)));
        for (int k = 0; k < gotB; ++k)
            QCOMPARE(d.OffData[k], double(leFloat(payload, 2008 + 4 * k)));
        QCOMPARE(monitors.first().SendV, leFloat(payload, 4008));
        QCOMPARE(monitors.first().DeviceV, leFloat(payload, 4012));
        QCOMPARE(monitors.first().DeviceTemp, leFloat(payload, 4016));
        disconnect(send.get(), nullptr, this, nullptr);
    }

    void waveformLooksLikeALoopCurrent()
    {
        QSignalSpy spy(send.get(), &iLibSend::TEM_NewSendData);
        box->PushWaveform();
        QVERIFY(spy.wait());
        const auto d = spy.at(0).at(0).value<st_TEMSendData>();
        QCOMPARE(d.BaseFreq, 200.0);   // nothing configured yet
        // Plateau near the full current, then a linear ramp down to zero.
        const double plateau = d.OffData[50];
        QVERIFY(plateau > 7.0 && plateau < 9.0);
        const double mid = d.OffData[130];
        QVERIFY(qAbs(mid - plateau * 0.5) < 0.2);
        QVERIFY(qAbs(d.OffData[300]) < 0.05);
        QVERIFY(d.SendData[0] < 1.0 && d.SendData[300] > 7.0 && qAbs(d.SendData[450]) < 0.1);
        // The program reads the loop current as half the difference between
        // samples half a period apart, which only a bipolar waveform (one
        // pulse of each polarity per period) turns into the plateau current
        // (500 samples read 63/62 high: the sum is divided by n / 8).
        const double current = Data_Calc::CalcSendI(d.SendData);
        QVERIFY2(qAbs(current / box->currentModel.amplitude - 1.0) < 0.03,
                 qPrintable(QString::number(current)));
    }

    void shortWaveformAndMonitorPushes()
    {
        QSignalSpy data(send.get(), &iLibSend::TEM_NewSendData);
        QSignalSpy monitor(send.get(), &iLibSend::TEM_SendMonitor);
        box->Push(EmuTransmitterBox::CmdSendData, box->WaveformPayload().left(4000));
        box->Push(EmuTransmitterBox::CmdSendData, box->WaveformPayload().left(4023));
        box->Push(EmuTransmitterBox::CmdMonitor, box->MonitorPayload().left(15));
        box->Push(EmuTransmitterBox::CmdMonitor, QByteArray());
        box->Push(77, QByteArray(4024, '\0'));
        const QByteArray m16 = box->MonitorPayload();
        box->Push(EmuTransmitterBox::CmdMonitor, m16);
        box->Push(EmuTransmitterBox::CmdMonitor, m16 + QByteArray(8, '\x11'));
        drain();
        QCOMPARE(data.count(), 0);
        QCOMPARE(monitor.count(), 2);
        for (int i = 0; i < 2; ++i) {
            const auto m = monitor.at(i).at(0).value<st_TEMSendMonitor>();
            QCOMPARE(m.SendV, leFloat(m16, 0));
            QCOMPARE(m.DeviceV, leFloat(m16, 4));
            QCOMPARE(m.DeviceTemp, leFloat(m16, 8));
        }
    }

    void periodicMonitor()
    {
        QSignalSpy monitor(send.get(), &iLibSend::TEM_SendMonitor);
        box->SetMonitorInterval(20);
        QTRY_VERIFY(monitor.count() >= 3);
        box->SetMonitorInterval(0);
        const auto m = monitor.at(0).at(0).value<st_TEMSendMonitor>();
        QVERIFY(qAbs(m.SendV - box->sendV) < 1.0f);
        QVERIFY(qAbs(m.DeviceTemp - box->deviceTemp) < 2.0f);
    }

    void singleModePushesOneSet()
    {
        box->SetCycleMs(30);
        configure(info(25.0f, 25, 0));
        QSignalSpy data(send.get(), &iLibSend::TEM_NewSendData);
        QSignalSpy started(send.get(), &iLibSend::TEM_Strated);
        send->TEM_Strat();
        QVERIFY(data.wait());
        QCOMPARE(started.count(), 1);
        // One acquisition and the box is idle: the stop's answer comes after
        // anything it could still have pushed.
        QVERIFY(!box->IsRunning());
        drain();
        QCOMPARE(data.count(), 1);
    }

    void continuousModePushesUntilStopped()
    {
        box->SetCycleMs(20);
        configure(info(25.0f, 25, 1));
        QSignalSpy data(send.get(), &iLibSend::TEM_NewSendData);
        send->TEM_Strat();
        QTRY_VERIFY(data.count() >= 3);
        drain();
        // Every set pushed before the stop came ahead of its answer.
        QVERIFY(!box->IsRunning());
    }

    void unansweredRequestGivesNoSignal()
    {
        // The link's clock, moved on by the test instead of waiting.
        auto clock = std::make_shared<qint64>(0);
        send->SetClock([clock] { return *clock; });
        send->SetTimeout(100);
        send->SetRetryCount(0);
        box->Silence(EmuTransmitterBox::CmdStart);
        QSignalSpy started(send.get(), &iLibSend::TEM_Strated);
        send->TEM_Strat();
        QTRY_COMPARE(box->ReceivedOf(EmuTransmitterBox::CmdStart).size(), 1);
        *clock += 101;   // past the time-out; the sweep gives it up
        send->OnRequestTimout();
        QCOMPARE(started.count(), 0);
        box->Reply(box->ReceivedOf(EmuTransmitterBox::CmdStart).first(), QByteArray(1, '\x01'));
        drain();
        QCOMPARE(started.count(), 0);
    }

    void givenUpRequestsEmitNothing()
    {
        iLibSend t;
        const QList<std::shared_ptr<QSignalSpy>> spies = spiesOnOwnSignals(&t);
        QCOMPARE(spies.size(), 6);
        QByteArray frame(4024, '\x01');
        for (unsigned int cmd : {0u, 1u, 2u, 5u, 6u, 240u})
            t.OnFrame(cmd, false, &frame);
        for (const auto& spy : spies)
            QCOMPARE(spy->count(), 0);
    }

    void delayedReplyStillArrives()
    {
        box->Delay(EmuTransmitterBox::CmdConfig, 150, 1);
        QSignalSpy spy(send.get(), &iLibSend::TEM_Configed);
        st_TEMSendInfo i = info(2.5f, 5, 0);
        send->TEM_Config(&i);
        QTRY_COMPARE(box->ReceivedOf(EmuTransmitterBox::CmdConfig).size(), 1);
        QCOMPARE(spy.count(), 0);
        QVERIFY(spy.wait());
        QCOMPARE(spy.at(0).at(0).value<quint32>(), 1u);
    }
};

QTEST_GUILESS_MAIN(TestSendProtocol)
#include "tst_send_protocol.moc"
