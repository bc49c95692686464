#include "ComPayload.h"
#include "EmuDevices.h"
#include "ILibRecv_DUD4004.h"
#include "ProtoTestUtil.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <memory>

// The receiver protocol against an emulated receiver box on loopback.
class TestRecvProtocol : public QObject
{
    Q_OBJECT

    std::unique_ptr<EmuReceiverBox> box;
    std::unique_ptr<ILibRecv_DUD4004> recv;

    st_RecvParam param(int sampleMode, float freq = 25.0f, int rateIndex = 0)
    {
        st_RecvParam p;
        p.BaseFreq = freq;
        p.Period = 16;
        p.ContinueMode = 0;
        p.SampleMode = sampleMode;
        p.RateIndex = rateIndex;
        return p;
    }

    // Configures and waits for the reply, so that later pushes decode with
    // this configuration.
    void configure(st_RecvParam p)
    {
        QSignalSpy spy(recv.get(), &ILibRecv_DUD4004::onRecvConfiged);
        recv->RecvConfig(&p);
        QVERIFY(spy.wait());
    }

    void autoChannels(float freq)
    {
        QSignalSpy spy(recv.get(), &ILibRecv_DUD4004::onRecvAutoChannel);
        st_ConfigAutoTimeChannel_DUD4004 req{freq, 1250};
        recv->RecvConfig_AutoChannel(&req);
        QVERIFY(spy.wait());
        QCOMPARE(spy.takeFirst().at(0).toBool(), true);
    }

    // Replies come back in order on one link: once a stop has been answered,
    // every frame the box sent before it has been handled.
    void drain()
    {
        QSignalSpy stop(recv.get(), &ILibRecv_DUD4004::onRecvStop);
        recv->RecvStop();
        QVERIFY(stop.wait());
    }

private slots:
    void interfaceNames()
    {
        const QStringList got = ownMethodSignatures(ILibRecv_DUD4004::staticMetaObject);
        QCOMPARE(got, (QStringList{"onRecvConfiged(bool)", "onRecvStop()",
                                   "onRecvData(st_RecvData_DUD4004)",
                                   "onRecvConfigTimeChannel(bool)", "onRecvAutoChannel(bool)",
                                   "onRecvTimeSync(bool)", "RecvConfig(st_RecvParam*)", "RecvStop()",
                                   "RecvTimeSync(double)",
                                   "RecvConfig_AutoChannel(st_ConfigAutoTimeChannel_DUD4004*)"}));
    }

    void init()
    {
        box = std::make_unique<EmuReceiverBox>();
        recv = std::make_unique<ILibRecv_DUD4004>();
        connectLink(*recv, *box, QStringLiteral("127.0.3.1"));
    }
    void cleanup()
    {
        recv.reset();
        box.reset();
    }

    void configureSendsTheRecordFieldByField()
    {
        st_RecvParam p = param(1, 62.5f, 2);
        p.Period = 250;
        p.ContinueMode = 1;
        p.SendTime = 42;                      // replaced by the sending time
        std::memset(p.Reserved, 0x5A, sizeof p.Reserved);   // reserved go out as zeros
        std::memset(p.Reserved2, 0x5A, sizeof p.Reserved2);
        QSignalSpy spy(recv.get(), &ILibRecv_DUD4004::onRecvConfiged);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        recv->RecvConfig(&p);
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(spy.wait());
        QCOMPARE(spy.takeFirst().at(0).toBool(), true);

        const QList<EmuFrameRecord> got = box->ReceivedOf(EmuReceiverBox::CmdConfig);
        QCOMPARE(got.size(), 1);
        const QByteArray b = got[0].payload;
        QCOMPARE(b.size(), 88);
        QCOMPARE(leFloat(b, 0), 62.5f);
        QCOMPARE(le32(b, 4), 250);
        QCOMPARE(le32(b, 8), 1);
        QCOMPARE(le32(b, 12), 1);
        QCOMPARE(le64(b, 16), qint64(0));
        QVERIFY(allZero(b, 24, 72));
        QVERIFY(le64(b, 72) >= before && le64(b, 72) <= after);
        QCOMPARE(le32(b, 80), 2);
        QVERIFY(allZero(b, 84, 88));
        QCOMPARE(recv->GetConfig().SendTime, le64(b, 72));
        QCOMPARE(got[0].type, quint16(0));
    }

    void replyResults_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("ok");
        QTest::newRow("accepted") << int(EmuRule::Normal) << QByteArray() << true;
        QTest::newRow("refused") << int(EmuRule::Refuse) << QByteArray() << false;
        QTest::newRow("result 7") << int(EmuRule::Malformed) << EmuDeviceBox::ResultPayload(7) << true;
        QTest::newRow("result word cut to 3 bytes") << int(EmuRule::Malformed) << QByteArray("\x01\x01\x01", 3) << false;
        QTest::newRow("empty reply") << int(EmuRule::Malformed) << QByteArray() << false;
    }
    void replyResults()
    {
        QFETCH(int, answer);
        QFETCH(QByteArray, payload);
        QFETCH(bool, ok);
        const EmuRule rule{EmuRule::Answer(answer), 0, payload, -1};
        for (quint16 cmd : {EmuReceiverBox::CmdConfig, EmuReceiverBox::CmdTimeSync,
                            EmuReceiverBox::CmdAutoChannel})
            box->SetRule(cmd, rule);

        QSignalSpy configed(recv.get(), &ILibRecv_DUD4004::onRecvConfiged);
        QSignalSpy synced(recv.get(), &ILibRecv_DUD4004::onRecvTimeSync);
        QSignalSpy channels(recv.get(), &ILibRecv_DUD4004::onRecvAutoChannel);
        st_RecvParam p = param(0);
        recv->RecvConfig(&p);
        recv->RecvTimeSync(1.5e9);
        st_ConfigAutoTimeChannel_DUD4004 req{25.0f, 1250};
        recv->RecvConfig_AutoChannel(&req);
        QTRY_COMPARE(channels.count(), 1);
        QCOMPARE(configed.count(), 1);
        QCOMPARE(synced.count(), 1);
        QCOMPARE(configed.at(0).at(0).toBool(), ok);
        QCOMPARE(synced.at(0).at(0).toBool(), ok);
        QCOMPARE(channels.at(0).at(0).toBool(), ok);
        // The table is rebuilt only on success.
        QCOMPARE(recv->GetGateCount(), ok ? 656 : 0);
    }

    void autoChannelsBuildTheTableAndARefusalKeepsIt()
    {
        autoChannels(25.0f);
        const QList<EmuFrameRecord> got = box->ReceivedOf(EmuReceiverBox::CmdAutoChannel);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].payload.size(), 8);
        QCOMPARE(leFloat(got[0].payload, 0), 25.0f);
        QCOMPARE(le32(got[0].payload, 4), 1250);
        QCOMPARE(recv->GetGateCount(), 656);
        QCOMPARE(recv->GetDataType(), 1);
        QCOMPARE(recv->GetGateFreq(), 25.0f);

        // A refused request for 6.25 Hz, and one answered with a cut result
        // word, leave the 25 Hz table in use.
        for (const EmuRule& rule : {EmuRule{EmuRule::Refuse, 0, {}, 1},
                                    EmuRule{EmuRule::Malformed, 0, QByteArray("\x01", 1), 1}}) {
            box->SetRule(EmuReceiverBox::CmdAutoChannel, rule);
            QSignalSpy spy(recv.get(), &ILibRecv_DUD4004::onRecvAutoChannel);
            st_ConfigAutoTimeChannel_DUD4004 req{6.25f, 1250};
            recv->RecvConfig_AutoChannel(&req);
            QVERIFY(spy.wait());
            QCOMPARE(spy.at(0).at(0).toBool(), false);
            QCOMPARE(recv->GetGateCount(), 656);
            QCOMPARE(recv->GetGateFreq(), 25.0f);
        }
        configure(param(0));
        QSignalSpy data(recv.get(), &ILibRecv_DUD4004::onRecvData);
        box->PushDecay();   // the box, too, kept its 25 Hz channels
        QVERIFY(data.wait());
        QCOMPARE(data.at(0).at(0).value<st_RecvData_DUD4004>().Values.size(), 656);
    }

    void stopAndTimeSync()
    {
        QSignalSpy stop(recv.get(), &ILibRecv_DUD4004::onRecvStop);
        QSignalSpy sync(recv.get(), &ILibRecv_DUD4004::onRecvTimeSync);
        recv->RecvTimeSync(1765360000123.25);
        QVERIFY(sync.wait());
        QCOMPARE(sync.at(0).at(0).toBool(), true);
        const QList<EmuFrameRecord> s = box->ReceivedOf(EmuReceiverBox::CmdTimeSync);
        QCOMPARE(s.size(), 1);
        QCOMPARE(s[0].payload.size(), 8);
        QCOMPARE(leDouble(s[0].payload, 0), 1765360000123.25);
        QCOMPARE(box->SyncedTime(), 1765360000123.25);

        // The stop reply is not read: an empty one still counts.
        box->Malform(EmuReceiverBox::CmdStop, QByteArray(), 1);
        recv->RecvStop();
        QVERIFY(stop.wait());
        recv->RecvStop();
        QVERIFY(stop.wait());
        QCOMPARE(stop.count(), 2);
        const QList<EmuFrameRecord> st = box->ReceivedOf(EmuReceiverBox::CmdStop);
        QCOMPARE(st.size(), 2);
        QVERIFY(st[0].payload.isEmpty());
    }

    void decayInGateMode()
    {
        autoChannels(25.0f);
        configure(param(0));
        QSignalSpy data(recv.get(), &ILibRecv_DUD4004::onRecvData);
        const QByteArray payload = box->DecayPayload();
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        box->Push(EmuReceiverBox::CmdData, payload);
        QVERIFY(data.wait());
        const auto r = data.at(0).at(0).value<st_RecvData_DUD4004>();
        QCOMPARE(r.DataType, 1);
        QCOMPARE(r.BaseFreq, 25.0);
        QCOMPARE(r.SampleRate, 625000.0);
        QVERIFY(r.RecvTime >= before);
        QCOMPARE(r.Values.size(), 656);
        const auto& gates = recv->GetGateTable();
        for (int j = 0; j < r.Values.size(); ++j) {
            const double v = double(leFloat(payload, 4 * j));
            QCOMPARE(r.Values[j], ComPayload::ClampOffZero(v));
            QCOMPARE(r.Times[j], (gates[j].first + gates[j].second) * 0.5);
        }
        QCOMPARE(r.Widths[0], 1.6);
        // A decay: falling about like t^-2.5 from the first gate to the last.
        const double slope = std::log10(r.Values[600] / r.Values[200])
                             / std::log10(r.Times[600] / r.Times[200]);
        QVERIFY2(slope < -1.5 && slope > -3.0, qPrintable(QString::number(slope)));
    }

    void decayInSelfCheckMode()
    {
        configure(param(1, 25.0f));
        QSignalSpy data(recv.get(), &ILibRecv_DUD4004::onRecvData);
        box->PushDecay();
        QVERIFY(data.wait());
        const auto r = data.at(0).at(0).value<st_RecvData_DUD4004>();
        QCOMPARE(r.DataType, 2);
        QCOMPARE(r.SampleRate, 625000.0);
        QCOMPARE(r.Values.size(), 100);
        QVERIFY(qFuzzyCompare(r.Times[0], 0.00005));
        QVERIFY(qFuzzyCompare(r.Times[99], 0.00995));
        QVERIFY(qFuzzyCompare(r.Widths[50], 0.01));
    }

    void decayInFixedRateMode()
    {
        configure(param(2, 25.0f, 1));
        QSignalSpy data(recv.get(), &ILibRecv_DUD4004::onRecvData);
        box->PushDecay();
        QVERIFY(data.wait());
        const auto r = data.at(0).at(0).value<st_RecvData_DUD4004>();
        QCOMPARE(r.DataType, 2);
        QCOMPARE(r.SampleRate, 78125.0);
        QCOMPARE(r.Values.size(), 781);   // a quarter period at 78125 Hz
        const double step = 100000.0 / 78125.0;
        QVERIFY(qFuzzyCompare(r.Times[0], 0.5 * step));
        QVERIFY(qFuzzyCompare(r.Times[780], 780.5 * step));
        QCOMPARE(r.Widths[3], step);
    }

    void malformedDecayPushes()
    {
        autoChannels(25.0f);
        configure(param(0));
        QSignalSpy data(recv.get(), &ILibRecv_DUD4004::onRecvData);
        // More samples than gates: dropped. Then a push of 13 bytes (one
        // whole sample), one of 5 bytes (none) and an unknown command.
        box->Push(EmuReceiverBox::CmdData, QByteArray(657 * 4 + 8, '\0'));
        QByteArray one(13, '\0');
        std::memcpy(one.data(), "\x00\x00\x80\x3f", 4);   // 1.0f
        box->Push(EmuReceiverBox::CmdData, one);
        box->Push(EmuReceiverBox::CmdData, QByteArray(5, '\x7f'));
        box->Push(42, QByteArray(100, '\0'));
        drain();
        QCOMPARE(data.count(), 2);
        const auto r1 = data.at(0).at(0).value<st_RecvData_DUD4004>();
        QCOMPARE(r1.Values, QVector<double>{1.0});
        const auto r2 = data.at(1).at(0).value<st_RecvData_DUD4004>();
        QVERIFY(r2.Values.isEmpty() && r2.Times.isEmpty());
    }

    void decayBeforeAnyConfiguration()
    {
        // No configuration and no gate table: only an empty push gives a
        // record (gate mode at 0 Hz, data type 0); a push with samples has
        // no gates to go to.
        QSignalSpy data(recv.get(), &ILibRecv_DUD4004::onRecvData);
        box->Push(EmuReceiverBox::CmdData, QByteArray(40, '\0'));
        box->Push(EmuReceiverBox::CmdData, QByteArray(8, '\0'));
        drain();
        QCOMPARE(data.count(), 1);
        const auto r = data.at(0).at(0).value<st_RecvData_DUD4004>();
        QCOMPARE(r.DataType, 0);
        QCOMPARE(r.BaseFreq, 0.0);
        QCOMPARE(r.SampleRate, 625000.0);
        QVERIFY(r.Values.isEmpty());
    }

    void timeChannelFrame()
    {
        QSignalSpy spy(recv.get(), &ILibRecv_DUD4004::onRecvConfigTimeChannel);
        box->Push(EmuReceiverBox::CmdTimeChannel, EmuDeviceBox::ResultPayload(3));
        box->Push(EmuReceiverBox::CmdTimeChannel, EmuDeviceBox::ResultPayload(0));
        box->Push(EmuReceiverBox::CmdTimeChannel, QByteArray(2, '\x01'));
        QTRY_COMPARE(spy.count(), 3);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QCOMPARE(spy.at(1).at(0).toBool(), false);
        QCOMPARE(spy.at(2).at(0).toBool(), false);
    }

    void singleAndContinuousAcquisitions()
    {
        // The receiver records when the transmitter completes an acquisition:
        // once after a single-mode configuration, every time in continuous
        // mode until it is stopped.
        autoChannels(25.0f);
        QSignalSpy data(recv.get(), &ILibRecv_DUD4004::onRecvData);
        configure(param(0));
        box->OnTransmitterCycle();
        box->OnTransmitterCycle();
        drain();
        QCOMPARE(data.count(), 1);

        st_RecvParam p = param(0);
        p.ContinueMode = 1;
        configure(p);
        for (int i = 0; i < 3; ++i)
            box->OnTransmitterCycle();
        drain();        // stops the box
        box->OnTransmitterCycle();
        drain();
        QCOMPARE(data.count(), 4);
    }

    void unansweredRequestGivesNoSignal()
    {
        // The link's clock, moved on by the test instead of waiting.
        auto clock = std::make_shared<qint64>(0);
        recv->SetClock([clock] { return *clock; });
        recv->SetTimeout(100);
        recv->SetRetryCount(1);
        box->Silence(EmuReceiverBox::CmdConfig);
        QSignalSpy configed(recv.get(), &ILibRecv_DUD4004::onRecvConfiged);
        st_RecvParam p = param(0);
        recv->RecvConfig(&p);
        // Sent, re-sent once after the time-out, then given up.
        QTRY_COMPARE(box->ReceivedOf(EmuReceiverBox::CmdConfig).size(), 1);
        *clock += 101;
        recv->OnRequestTimout();
        QTRY_COMPARE(box->ReceivedOf(EmuReceiverBox::CmdConfig).size(), 2);
        const EmuFrameRecord request = box->ReceivedOf(EmuReceiverBox::CmdConfig).first();
        QCOMPARE(box->ReceivedOf(EmuReceiverBox::CmdConfig).at(1).seq, request.seq);
        *clock += 101;
        recv->OnRequestTimout();
        QCOMPARE(configed.count(), 0);
        // A reply after giving up matches nothing and is dropped.
        box->Reply(request, EmuDeviceBox::ResultPayload(1));
        drain();
        QCOMPARE(configed.count(), 0);
    }

    void givenUpRequestsEmitNothing()
    {
        ILibRecv_DUD4004 r;
        const QList<std::shared_ptr<QSignalSpy>> spies = spiesOnOwnSignals(&r);
        QCOMPARE(spies.size(), 6);
        QByteArray frame = EmuDeviceBox::ResultPayload(1) + QByteArray(100, '\x01');
        for (unsigned int cmd : {1u, 2u, 3u, 1000u, 1001u, 2000u})
            r.OnFrame(cmd, false, &frame);
        for (const auto& spy : spies)
            QCOMPARE(spy->count(), 0);
    }

    void requestsWhileDisconnectedSendNothing()
    {
        ILibRecv_DUD4004 offline;
        QSignalSpy configed(&offline, &ILibRecv_DUD4004::onRecvConfiged);
        st_RecvParam p = param(1, 6.25f);
        offline.RecvConfig(&p);
        st_ConfigAutoTimeChannel_DUD4004 req{6.25f, 1250};
        offline.RecvConfig_AutoChannel(&req);
        // The copies are kept even so.
        QCOMPARE(offline.GetConfig().BaseFreq, 6.25f);
        QCOMPARE(offline.GetAutoChannelRequest().ChannelCount, 1250);
        QCOMPARE(offline.GetGateCount(), 0);
        QCOMPARE(configed.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRecvProtocol)
#include "tst_recv_protocol.moc"
