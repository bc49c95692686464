// The acquisition controller against the emulated instrument on loopback:
// the connection road, whole single and continuous soundings, and the roads
// of refused, unanswered and dropped links. The controller fixes the port
// (12345); the boxes listen on this test's own loopback addresses.

#include "CollectorProbe.h"
#include "EmuDevices.h"
#include "EmuSynth.h"
#include "VODEZ_Collector.h"
#include "ILibRecv_DUD4004.h"
#include "iLibSend.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <QHostAddress>
#include <QSemaphore>
#include <QSignalSpy>
#include <QState>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QtTest>


#include <cstring>
#include <memory>

namespace {

const QString kTxAddress = InstrumentEmulator::RunAddress(4, 20);
const QString kRxAddress = InstrumentEmulator::RunAddress(4, 21);
const QString kSilentAddress = InstrumentEmulator::RunAddress(4, 22);   // nothing listens here
const quint16 kPort = 12345;

// The commands one box read, in order (the two boxes' frames interleave
// in no fixed order).
QString commandsOf(const EmulatedBox& box)
{
    QStringList out;
    for (const EmuFrameRecord& f : box.Received())
        out << QString::number(f.cmd);
    return out.join(QLatin1Char(' '));
}

template <typename T>
T payloadAs(const EmuFrameRecord& frame)
{
    T value;
    std::memcpy(&value, frame.payload.constData(), qMin(int(sizeof value), frame.payload.size()));
    return value;
}

// A box on a thread of its own behind a slow link: once told, it reads
// nothing for a while, then everything until the program lets go. Its link
// drains while the program's own thread waits.
class SlowLinkBox : public QThread
{
public:
    SlowLinkBox(const QString& address, quint16 port) : address(address), port(port) {}

    bool waitListening()
    {
        ready.acquire();
        return listening;
    }
    // From now on the box reads only after `lagMs`.
    void lag() { go.release(); }
    // The commands it read, once the thread has ended.
    QList<quint16> commands() const { return cmds; }

protected:
    void run() override
    {
        QTcpServer server;
        listening = server.listen(QHostAddress(address), port);
        ready.release();
        if (!listening || !server.waitForNewConnection(20000))
            return;
        QTcpSocket* link = server.nextPendingConnection();
        if (!go.tryAcquire(1, 20000))
            return;
        msleep(lagMs);
        EmuFrame::Reader reader;
        QDeadlineTimer enough(20000);
        while (!enough.hasExpired()) {
            if (link->waitForReadyRead(100))
                reader.Feed(link->readAll());
            else if (link->state() != QAbstractSocket::ConnectedState)
                break;
        }
        reader.Feed(link->readAll());
        EmuFrameRecord frame;
        while (reader.Next(frame))
            cmds << frame.cmd;
    }

private:
    const QString address;
    const quint16 port;
    const int lagMs = 100;
    bool listening = false;
    QSemaphore ready;
    QSemaphore go;
    QList<quint16> cmds;
};

} // namespace

class TstAcqSounding : public QObject
{
    Q_OBJECT

    std::unique_ptr<DeviceEmulator> emu;
    std::unique_ptr<VODEZ_Collector> c;
    QStringList frames;              // what the boxes read, in order: "R1001", "T2", ...
    QList<VODEZ_Data> uploads;
    QList<bool> saves;

    bool in(const char* state) const { return inState(*c, state); }

    VODEZ_Collector::VODEZSampleStatus status() const { return c->GetSampleStatus(); }

    bool connectBoth()
    {
        c->Start();
        if (!QTest::qWaitFor([this] { return in("DeviceWaitSet"); }))
            return false;
        emit c->onBtnConnect();
        return QTest::qWaitFor([this] { return status() == VODEZ_Collector::IDLE; }, 5000);
    }

private slots:
    void initTestCase()
    {
        registerDeviceRecordTypes();
        writeBoxAddresses(kTxAddress, kRxAddress);
    }

    void init()
    {
        frames.clear();
        uploads.clear();
        saves.clear();
        emu = std::make_unique<DeviceEmulator>();
        emu->Tx().SetMonitorInterval(0);
        QString error;
        QVERIFY2(emu->Start(QHostAddress(kTxAddress), kPort, QHostAddress(kRxAddress), kPort, &error),
                 qPrintable(error));
        connect(&emu->Tx(), &EmulatedBox::frameReceived, this,
                [this](const EmuFrameRecord& f) { frames << QStringLiteral("T%1").arg(f.cmd); });
        connect(&emu->Rx(), &EmulatedBox::frameReceived, this,
                [this](const EmuFrameRecord& f) { frames << QStringLiteral("R%1").arg(f.cmd); });

        c = std::make_unique<VODEZ_Collector>();
        c->setProperty("DeviceIP_Send", kTxAddress);
        c->setProperty("DeviceIP_Recv", kRxAddress);
        // No link may ever head for the built-in instrument addresses.
        QVERIFY(QHostAddress(c->GetDeviceIP_Send()).isLoopback());
        QVERIFY(QHostAddress(c->GetDeviceIP_Recv()).isLoopback());
        connect(c.get(), &VODEZ_Collector::dataUpload, this, [this](VODEZ_Data d) { uploads << d; });
        connect(c.get(), &VODEZ_Collector::dataSave, this, [this](bool s) { saves << s; });
    }

    void cleanup()
    {
        c.reset();
        emu.reset();
    }

    void connectionRoad()
    {
        QStringList texts;
        connect(c.get(), &VODEZ_Collector::statusConnectChanged, this, [&texts](QString s) { texts << s; });
        QSignalSpy connected(c.get(), &VODEZ_Collector::deviceConnected);
        QVERIFY(connectBoth());
        QCOMPARE(connected.count(), 1);
        QCOMPARE(texts.size(), 4);
        QCOMPARE(texts.at(0), kInit);
        QCOMPARE(texts.at(1), linkText("正在连接", false, false));
        QVERIFY2(texts.at(2) == linkText("状态更新", false, true) || texts.at(2) == linkText("状态更新", true, false),
                 qPrintable(texts.at(2)));
        QCOMPARE(texts.at(3), kOnline);
        QVERIFY(emu->Tx().HasClient() && emu->Rx().HasClient());

        emit c->onBtnDisconn();
        QCOMPARE(c->GetStatusConnect(), kNotConnected);
        QCOMPARE(status(), VODEZ_Collector::DISCONN);
        QTRY_VERIFY(!emu->Tx().HasClient() && !emu->Rx().HasClient());
    }

    void retryUntilTheTransmitterListens()
    {
        c->setProperty("DeviceIP_Send", kSilentAddress);
        QStringList texts;
        connect(c.get(), &VODEZ_Collector::statusConnectChanged, this, [&texts](QString s) { texts << s; });
        c->Start();
        QTRY_VERIFY(in("DeviceWaitSet"));
        emit c->onBtnConnect();
        QTRY_COMPARE(c->GetStatusConnect(), linkText("状态更新", false, true));
        // The time-out runs out now rather than in ten seconds.
        texts.clear();
        QVERIFY(expireConnectTimeout(*c));
        QCOMPARE(texts, (QStringList{kRetry, kInit, linkText("正在连接", false, true)}));

        // The next attempt takes the address as it is then.
        c->setProperty("DeviceIP_Send", kTxAddress);
        QVERIFY(expireConnectTimeout(*c));
        QTRY_VERIFY_WITH_TIMEOUT(status() == VODEZ_Collector::IDLE, 5000);
        QCOMPARE(c->GetStatusConnect(), kOnline);
        QCOMPARE(emu->Rx().ConnectionsAccepted(), 1);   // the link that was up stayed up
        QCOMPARE(emu->Tx().ConnectionsAccepted(), 1);
    }

    void invalidAddressOpensNothing()
    {
        c->setProperty("DeviceIP_Recv", QStringLiteral("vodez-receiver.invalid"));
        QSignalSpy tries(c.get(), &VODEZ_Collector::tryConnect);
        c->Start();
        QTRY_VERIFY(in("DeviceWaitSet"));
        emit c->onBtnConnect();
        QCOMPARE(c->GetStatusConnect(), QStringLiteral("<p style='color:red;'>IP不合规</p>"));
        QCOMPARE(tries.count(), 0);
        QCOMPARE(emu->Tx().ConnectionsAccepted(), 0);
        QCOMPARE(emu->Rx().ConnectionsAccepted(), 0);
        QVERIFY(in("DeviceInit"));
        emit c->onBtnDisconn();
        QVERIFY(in("DeviceWaitSet"));
    }

    void singleSounding()
    {
        // Noise-free boxes, so the values the controller hands on can be
        // checked against the emulator's models.
        emu->Rx().decayModel.relativeNoise = 0.0;
        emu->Rx().decayModel.noiseFloor = 0.0;
        emu->Tx().currentModel.noise = 0.0;
        c->setProperty("ParamFs", 62.5);
        c->setProperty("ParamPeriod", 25);
        c->setProperty("ParamRepeat", 2);
        QVERIFY(connectBoth());
        saves.clear();
        // An edit while the sounding runs applies from the next start only.
        connect(c.get(), &VODEZ_Collector::dataUpload, this, [this] { c->onLoad_Param(25.0, 50); });

        emit c->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(status() == VODEZ_Collector::UPLOAD, 8000);
        QCOMPARE(frames.join(QLatin1Char(' ')), QStringLiteral("R1001 R1 T1 T2 R1 T1 T2"));
        for (const EmuFrameRecord& f : emu->Rx().ReceivedOf(EmuReceiverBox::CmdConfig)) {
            const auto p = payloadAs<st_RecvParam>(f);
            QCOMPARE(p.BaseFreq, 62.5f);
            QCOMPARE(p.Period, 25);
            QCOMPARE(p.SampleMode, 0);
            QCOMPARE(p.ContinueMode, 0);
        }
        for (const EmuFrameRecord& f : emu->Tx().ReceivedOf(EmuTransmitterBox::CmdConfig)) {
            const auto i = payloadAs<st_TEMSendInfo>(f);
            QCOMPARE(i.BaseFreq, 62.5f);
            QCOMPARE(i.Period, 25);
            QCOMPARE(int(i.Flag0), 1);
            QCOMPARE(int(i.Flag1), 1);
        }
        const auto channels = payloadAs<st_ConfigAutoTimeChannel_DUD4004>(
            emu->Rx().ReceivedOf(EmuReceiverBox::CmdAutoChannel).at(0));
        QCOMPARE(channels.BaseFreq, 62.5f);
        QCOMPARE(channels.ChannelCount, 1250);

        QCOMPARE(uploads.size(), 2);
        QCOMPARE(uploads.at(0).Sends.size(), 1);
        QCOMPARE(uploads.at(1).Sends.size(), 2);
        QCOMPARE(uploads.at(1).Recvs.size(), 2);
        const VODEZ_Data& last = uploads.at(1);
        QCOMPARE(last.ParamFs, 62.5f);
        QCOMPARE(last.ParamPeriod, 25);
        QCOMPARE(last.RepeatCount, 2);
        QCOMPARE(last.Sends.at(0).SendData, uploads.at(0).Sends.at(0).SendData);

        QRandomGenerator rng(1);
        const QVector<float> decay = EmuSynth::Decay(emu->Rx().SampleTimes(), 25, emu->Rx().decayModel, rng);
        const QVector<float> current = EmuSynth::CurrentWaveform(500, emu->Tx().currentModel, rng);
        for (int k = 0; k < 2; ++k) {
            const st_RecvData_DUD4004& r = last.Recvs.at(k);
            QCOMPARE(r.DataType, 1);
            QCOMPARE(r.Values.size(), decay.size());
            for (int j = 0; j < decay.size(); ++j)
                QCOMPARE(r.Values.at(j), qMax(double(decay.at(j)), 1e-9));
            const st_TEMSendData& s = last.Sends.at(k);
            QCOMPARE(s.BaseFreq, 62.5);
            QCOMPARE(s.SendData.size(), 500);
            for (int j = 0; j < 500; ++j)
                QCOMPARE(s.SendData.at(j), double(current.at(j)));
        }
        QCOMPARE(c->GetProgressMax(), 800);
        QCOMPARE(c->GetProgress(), 800);

        // Nothing more goes out while the operator decides; save ends it.
        QTest::qWait(200);
        QCOMPARE(frames.size(), 7);
        emit c->onBtnSaveOK();
        QCOMPARE(saves, QList<bool>{true});
        QCOMPARE(status(), VODEZ_Collector::SAVING);
        emit c->cmdSaveOver();
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        QCOMPARE(c->GetProgress(), 0);

        // The next sounding takes the edited parameters and asks for the
        // gate channels again on its first repeat.
        frames.clear();
        uploads.clear();
        emu->SetCycleMs(50);
        c->setProperty("ParamRepeat", 1);
        emit c->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(status() == VODEZ_Collector::UPLOAD, 5000);
        QCOMPARE(frames.join(QLatin1Char(' ')), QStringLiteral("R1001 R1 T1 T2"));
        QCOMPARE(payloadAs<st_RecvParam>(emu->Rx().ReceivedOf(EmuReceiverBox::CmdConfig).last()).BaseFreq, 25.0f);
        QCOMPARE(uploads.last().ParamPeriod, 50);
        emit c->onBtnSaveCancel();
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        QCOMPARE(saves.last(), false);
    }

    void continuousSounding()
    {
        emu->SetCycleMs(80);
        c->setProperty("ContinueMode", int(VODEZ_Collector::Continue));
        c->setProperty("ParamRepeat", 3);
        QVERIFY(connectBoth());
        saves.clear();
        emit c->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(uploads.size() >= 3, 5000);
        QCOMPARE(status(), VODEZ_Collector::SAMPLING);
        QCOMPARE(c->GetParamRepeat(), 1);
        for (const VODEZ_Data& d : uploads) {
            QCOMPARE(d.Sends.size(), 1);
            QCOMPARE(d.Recvs.size(), 1);
            QCOMPARE(d.RepeatCount, 1);
            QCOMPARE(int(d.ContinueMode), 1);
        }
        QCOMPARE(saves.count(true), uploads.size());
        QCOMPARE(emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStart).size(), 1);
        // Both boxes are told the run is continuous; the receiver's request
        // carries the time it was sent and the first sampling rate.
        const auto recv = payloadAs<st_RecvParam>(emu->Rx().ReceivedOf(EmuReceiverBox::CmdConfig).at(0));
        QCOMPARE(recv.ContinueMode, 1);
        QCOMPARE(recv.Zero, qint64(0));
        QCOMPARE(recv.RateIndex, 0);
        QVERIFY(qAbs(recv.SendTime - QDateTime::currentMSecsSinceEpoch()) < 60000);
        const auto info = payloadAs<st_TEMSendInfo>(emu->Tx().ReceivedOf(EmuTransmitterBox::CmdConfig).at(0));
        QCOMPARE(info.ContinueMode, 1);
        QCOMPARE(info.Zero, 0);

        c->onBtnSampleStop();
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        QTRY_COMPARE(commandsOf(emu->Rx()), QStringLiteral("1001 1 2"));
        QTRY_COMPARE(commandsOf(emu->Tx()), QStringLiteral("1 2 5"));
        QTRY_VERIFY(!emu->Tx().IsRunning() && !emu->Rx().IsArmed());
        const int done = uploads.size();
        QTest::qWait(300);
        QCOMPARE(uploads.size(), done);
    }

    // A link whose latency moves by 0.6 of a sounding time mid-run, and stays
    // so (a Wi-Fi route change, a loaded box): every stored row holds the
    // waveform and the decay of one and the same push.
    void linkChangingLatencyKeepsEveryPair_data()
    {
        QTest::addColumn<bool>("receiver");
        QTest::addColumn<int>("fromMs");
        QTest::addColumn<int>("toMs");
        QTest::newRow("receiver slower") << true << 0 << 240;
        QTest::newRow("receiver faster") << true << 240 << 0;
        QTest::newRow("transmitter slower") << false << 0 << 240;
    }

    void linkChangingLatencyKeepsEveryPair()
    {
        QFETCH(bool, receiver);
        QFETCH(int, fromMs);
        QFETCH(int, toMs);
        // 62.5 Hz x 25 periods: one push every 400 ms.
        c->setProperty("ContinueMode", int(VODEZ_Collector::Continue));
        c->SetParamFs(62.5);
        c->SetParamPeriod(25);
        // Each push is marked by its number, in both boxes' data.
        emu->Rx().decayModel.relativeNoise = 0.0;
        emu->Rx().decayModel.noiseFloor = 0.0;
        emu->Tx().currentModel.noise = 0.0;
        int push = 1;
        emu->Tx().currentModel.amplitude = push;
        emu->Rx().decayModel.v0 = push;
        EmulatedBox& changed = receiver ? static_cast<EmulatedBox&>(emu->Rx()) : emu->Tx();
        changed.SetDeliveryDelay(fromMs);
        connect(&emu->Tx(), &EmuTransmitterBox::cycleCompleted, this, [&] {
            ++push;
            emu->Tx().currentModel.amplitude = push;
            emu->Rx().decayModel.v0 = push;
            if (push == 6)
                changed.SetDeliveryDelay(toMs);
        });
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(uploads.size() >= 16, 30000);
        c->onBtnSampleStop();
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        auto peak = [](const QVector<double>& v) { return *std::max_element(v.begin(), v.end()); };
        const double send1 = peak(uploads.at(0).Sends.at(0).SendData);
        const double recv1 = uploads.at(0).Recvs.at(0).Values.at(0);
        for (int i = 0; i < uploads.size(); ++i) {
            const VODEZ_Data& d = uploads.at(i);
            QCOMPARE(qRound(peak(d.Sends.at(0).SendData) / send1), i + 1);
            QCOMPARE(qRound(d.Recvs.at(0).Values.at(0) / recv1), i + 1);
        }
    }

    void continuousRunStopsOnAFailedSave()
    {
        emu->SetCycleMs(40);
        c->setProperty("ContinueMode", int(VODEZ_Collector::Continue));
        QVERIFY(connectBoth());
        // A project that answers inside the request and, once told, fails.
        bool failing = false;
        int failures = 0;
        const auto project = connect(c.get(), &VODEZ_Collector::dataSave, this, [&](bool save) {
            if (!save)
                return;
            if (failing) {
                ++failures;
                emit c->cmdSaveFailed();
            }
            emit c->cmdSaveOver();
        });
        // The controller has heard a box's stop once its answer is read, a
        // little after the box itself stopped.
        QSignalSpy txStopped(c->findChild<iLibSend*>(), &iLibSend::TEM_Stoped);
        QSignalSpy rxStopped(c->findChild<ILibRecv_DUD4004*>(), &ILibRecv_DUD4004::onRecvStop);
        emit c->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(uploads.size() >= 2, 5000);
        failing = true;
        QTRY_COMPARE(status(), VODEZ_Collector::UPLOAD);
        QVERIFY(in("SampleWaitSave"));
        QTRY_VERIFY(!emu->Tx().IsRunning() && !emu->Rx().IsArmed());
        QTRY_VERIFY(txStopped.count() >= 1 && rxStopped.count() >= 1);
        QVERIFY(commandsOf(emu->Rx()).endsWith(QStringLiteral(" 2")));
        QVERIFY(commandsOf(emu->Tx()).endsWith(QStringLiteral(" 5")));
        QCOMPARE(failures, 1);

        // The kept pair is stored once the project can store again, first
        // of the pairs the boxes still delivered before they stopped.
        const VODEZ_Data failed = uploads.last();
        failing = false;
        uploads.clear();
        emit c->onBtnSaveOK();
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        QVERIFY(!uploads.isEmpty());
        QCOMPARE(uploads.at(0).Recvs.at(0).Values, failed.Recvs.at(0).Values);
        QCOMPARE(failures, 1);
        disconnect(project);
    }

    void saveBeforeABoxAnswersItsStopEndsTheRun_data()
    {
        QTest::addColumn<bool>("receiverSilent");   // else the transmitter never answers its stop
        QTest::newRow("receiver") << true;
        QTest::newRow("transmitter") << false;
    }

    void saveBeforeABoxAnswersItsStopEndsTheRun()
    {
        // A continuous run whose save fails stops both boxes; one of them
        // never answers (nor acts on) its stop. The operator's save stores
        // what was kept and ends the run; the silent box still owes its stop.
        QFETCH(bool, receiverSilent);
        // The links' clock runs with the system's and jumps when told.
        auto jump = std::make_shared<qint64>(0);
        c->SetClock([jump] { return Communication::SteadyNow() + *jump; });
        EmuDeviceBox& silent = receiverSilent ? static_cast<EmuDeviceBox&>(emu->Rx()) : emu->Tx();
        EmuDeviceBox& answering = receiverSilent ? static_cast<EmuDeviceBox&>(emu->Tx()) : emu->Rx();
        const quint16 silentStop = receiverSilent ? quint16(EmuReceiverBox::CmdStop) : quint16(EmuTransmitterBox::CmdStop);
        const quint16 answeringStop = receiverSilent ? quint16(EmuTransmitterBox::CmdStop) : quint16(EmuReceiverBox::CmdStop);
        silent.Silence(silentStop);
        emu->SetCycleMs(40);
        c->setProperty("ContinueMode", int(VODEZ_Collector::Continue));
        QVERIFY(connectBoth());
        bool failing = false;
        QList<VODEZ_Data> stored;
        connect(c.get(), &VODEZ_Collector::dataSave, this, [&](bool save) {
            if (!save)
                return;
            if (failing)
                emit c->cmdSaveFailed();
            else
                stored << uploads.last();
            emit c->cmdSaveOver();
        });
        QSignalSpy txAnswered(c->findChild<iLibSend*>(), &iLibSend::TEM_Stoped);
        QSignalSpy rxAnswered(c->findChild<ILibRecv_DUD4004*>(), &ILibRecv_DUD4004::onRecvStop);
        const QSignalSpy& answered = receiverSilent ? txAnswered : rxAnswered;
        emit c->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(uploads.size() >= 2, 5000);
        failing = true;
        QTRY_COMPARE(status(), VODEZ_Collector::UPLOAD);
        QTRY_VERIFY(answered.count() == 1 && silent.ReceivedOf(silentStop).size() == 1);

        const VODEZ_Data failed = uploads.last();
        failing = false;
        stored.clear();
        uploads.clear();
        emit c->onBtnSaveOK();
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        QVERIFY(in("SampleWaitParam"));
        QVERIFY(!stored.isEmpty());
        QCOMPARE(stored.size(), uploads.size());
        QCOMPARE(stored.at(0).Recvs.at(0).Values, failed.Recvs.at(0).Values);
        // The link no longer sends the unanswered stop again on its own.
        for (int sweep = 0; sweep < 4; ++sweep) {
            *jump += 100001;
            c->SweepLinks();
        }
        if (!receiverSilent) {
            // The transmitter pushes on: its next set is not the run's, and
            // it is told once more to stop.
            QTRY_COMPARE(silent.ReceivedOf(silentStop).size(), 2);
        }
        QCOMPARE(uploads.size(), stored.size());

        // The next start tells a receiver that never answered to stop before
        // anything else. Once both boxes have answered the start's commands,
        // everything sent before has reached them.
        emit c->onBtnSampleStart();
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::SAMPLING, 5000);
        QCOMPARE(silent.ReceivedOf(silentStop).size(), 2);
        QCOMPARE(answering.ReceivedOf(answeringStop).size(), 1);
    }

    void refusalsStillAdvance()
    {
        // Refused configurations lead on to the start; the transmitter, left
        // without one, refuses that, which ends the sounding.
        emu->Rx().Refuse(EmuReceiverBox::CmdConfig, 1);
        emu->Tx().Refuse(EmuTransmitterBox::CmdConfig, 1);
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_COMPARE(c->GetStatusConnect(), kStartRefused);
        QVERIFY(frames.join(QLatin1Char(' ')).startsWith(QStringLiteral("R1001 R1 T1 T2")));
        QCOMPARE(status(), VODEZ_Collector::IDLE);
    }

    void refusedStartEndsTheSoundingAtOnce()
    {
        emu->Tx().Refuse(EmuTransmitterBox::CmdStart, 1);
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_COMPARE(c->GetStatusConnect(), kStartRefused);
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        QTRY_COMPARE(commandsOf(emu->Rx()), QStringLiteral("1001 1 2"));
        QTRY_COMPARE(commandsOf(emu->Tx()), QStringLiteral("1 2 5"));
        QVERIFY(!emu->Rx().IsArmed());
        // The next start runs.
        emu->SetCycleMs(30);
        c->setProperty("ParamRepeat", 1);
        emit c->onBtnSampleStart();
        QTRY_COMPARE(status(), VODEZ_Collector::UPLOAD);
        QCOMPARE(uploads.size(), 1);
    }

    void unusableGateChannelsEndTheSounding_data()
    {
        QTest::addColumn<bool>("refuse");
        QTest::newRow("refused") << true;
        QTest::newRow("answer too short to read") << false;
    }

    void unusableGateChannelsEndTheSounding()
    {
        QFETCH(bool, refuse);
        if (refuse)
            emu->Rx().Refuse(EmuReceiverBox::CmdAutoChannel, 1);
        else
            emu->Rx().Malform(EmuReceiverBox::CmdAutoChannel, QByteArray(2, '\x01'), 1);
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_COMPARE(c->GetStatusConnect(), QStringLiteral("<p style='color:red;'>时间道设置失败</p>"));
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        QVERIFY(in("SampleWaitParam"));
        QTRY_COMPARE(commandsOf(emu->Rx()), QStringLiteral("1001 2"));
        QTRY_COMPARE(commandsOf(emu->Tx()), QStringLiteral("5"));
        // The next start asks again and runs.
        emu->SetCycleMs(30);
        c->setProperty("ParamRepeat", 1);
        emit c->onBtnSampleStart();
        QTRY_COMPARE(status(), VODEZ_Collector::UPLOAD);
    }

    void unansweredCommandWaitsUntilStop()
    {
        // The links run on a clock the test moves on.
        auto clock = std::make_shared<qint64>(0);
        c->SetClock([clock] { return *clock; });
        emu->Rx().Silence(EmuReceiverBox::CmdConfig, 1);
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_COMPARE(frames.join(QLatin1Char(' ')), QStringLiteral("R1001 R1"));
        *clock += 99000;
        c->SweepLinks();
        QVERIFY(in("SetParam_ConfigRecv"));
        QCOMPARE(status(), VODEZ_Collector::SETPARAM);
        c->onBtnSampleStop();
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        QTRY_COMPARE(commandsOf(emu->Rx()), QStringLiteral("1001 1 2"));
        QTRY_COMPARE(commandsOf(emu->Tx()), QStringLiteral("5"));

        // The configuration given up with the sounding never goes out again,
        // not even on the sweep after its time-out, in the next sounding.
        *clock += 100001;
        c->SweepLinks();
        emu->SetCycleMs(30);
        c->setProperty("ParamRepeat", 1);
        c->setProperty("ParamFs", 62.5);
        emit c->onBtnSampleStart();
        QTRY_COMPARE(status(), VODEZ_Collector::UPLOAD);
        *clock += 100001;
        c->SweepLinks();
        QCOMPARE(commandsOf(emu->Rx()), QStringLiteral("1001 1 2 1001 1"));
        QCOMPARE(commandsOf(emu->Tx()), QStringLiteral("5 1 2"));
        QCOMPARE(emu->Rx().Config().BaseFreq, 62.5f);
    }

    void unanswerableCommandEndsTheSounding_data()
    {
        QTest::addColumn<bool>("receiver");     // the box that never answers
        QTest::addColumn<int>("cmd");
        QTest::addColumn<int>("replyType");     // -1: no reply at all
        QTest::addColumn<QString>("text");
        QTest::newRow("receiver configuration unanswered")
            << true << int(EmuReceiverBox::CmdConfig) << -1 << kRecvSilent;
        QTest::newRow("start unanswered") << false << int(EmuTransmitterBox::CmdStart) << -1 << kSendSilent;
        QTest::newRow("configuration answered with the wrong frame type")
            << false << int(EmuTransmitterBox::CmdConfig) << 2 << kSendSilent;
    }

    void unanswerableCommandEndsTheSounding()
    {
        QFETCH(bool, receiver);
        QFETCH(int, cmd);
        QFETCH(int, replyType);
        QFETCH(QString, text);
        // The links run on a clock the test moves on.
        auto clock = std::make_shared<qint64>(0);
        c->SetClock([clock] { return *clock; });
        EmuDeviceBox& box = receiver ? static_cast<EmuDeviceBox&>(emu->Rx()) : emu->Tx();
        if (replyType < 0)
            box.Silence(quint16(cmd));
        else
            box.SetRule(quint16(cmd), {EmuRule::Malformed, 0, EmuDeviceBox::ResultPayload(1), -1, quint16(replyType)});
        emu->SetCycleMs(30);
        c->setProperty("ParamRepeat", 1);
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_COMPARE(box.ReceivedOf(quint16(cmd)).size(), 1);
        QSignalSpy stops(c.get(), &VODEZ_Collector::cmdSampleStop);
        // The command and its three re-sends, each given its time-out.
        for (int resend = 1; resend <= 3; ++resend) {
            *clock += 100001;
            c->SweepLinks();
            QTRY_COMPARE(box.ReceivedOf(quint16(cmd)).size(), 1 + resend);
            QCOMPARE(status(), VODEZ_Collector::SETPARAM);
            QVERIFY(c->GetStatusConnect() != text);
        }
        // The link gives the command up: the sounding ends and says why.
        *clock += 100001;
        c->SweepLinks();
        QCOMPARE(stops.count(), 1);
        QVERIFY(in("SampleWaitParam"));
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        QCOMPARE(c->GetStatusConnect(), text);
        QTRY_COMPARE(emu->Rx().ReceivedOf(EmuReceiverBox::CmdStop).size(), 1);
        QTRY_COMPARE(emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStop).size(), 1);

        // With the box answering again the next start runs, under the
        // connection status again.
        box.SetRule(quint16(cmd), EmuRule());
        emit c->onBtnSampleStart();
        QVERIFY(c->GetStatusConnect() != text);
        QTRY_COMPARE(status(), VODEZ_Collector::UPLOAD);
        QCOMPARE(uploads.size(), 1);
    }

    void overdueRepeatEndsTheSounding_data()
    {
        QTest::addColumn<bool>("oneSetArrives");
        QTest::newRow("counted from the start command") << false;
        QTest::newRow("counted from the last set") << true;
    }

    void overdueRepeatEndsTheSounding()
    {
        // 25 Hz x 25 periods: 1 s a repeat, so a repeat is overdue 12 s
        // after its start command or its last data set. The boxes push only
        // when told to here; in the second repeat the receiver skips its push.
        QFETCH(bool, oneSetArrives);
        auto clock = std::make_shared<qint64>(0);
        c->SetClock([clock] { return *clock; });
        emu->SetCycleMs(600000);
        c->setProperty("ParamFs", 25.0);
        c->setProperty("ParamPeriod", 25);
        c->setProperty("ParamRepeat", 2);
        QVERIFY(connectBoth());
        QSignalSpy waveforms(c->findChild<iLibSend*>(), &iLibSend::TEM_NewSendData);
        emit c->onBtnSampleStart();
        QTRY_COMPARE(status(), VODEZ_Collector::SAMPLING);
        *clock += 11000;
        c->SweepLinks();
        QCOMPARE(status(), VODEZ_Collector::SAMPLING);
        emu->Tx().PushWaveform();
        emu->Rx().PushDecay();
        QTRY_VERIFY(uploads.size() == 1 && emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStart).size() == 2
                    && status() == VODEZ_Collector::SAMPLING);
        if (oneSetArrives) {
            *clock += 5000;
            emu->Tx().PushWaveform();
            QTRY_COMPARE(waveforms.count(), 2);
        }
        *clock += 11999;
        c->SweepLinks();
        QCOMPARE(status(), VODEZ_Collector::SAMPLING);
        QVERIFY(c->GetStatusConnect() != kOverdue);
        *clock += 1;
        c->SweepLinks();
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        QVERIFY(in("SampleWaitParam"));
        QCOMPARE(c->GetStatusConnect(), kOverdue);
        QTRY_COMPARE(emu->Rx().ReceivedOf(EmuReceiverBox::CmdStop).size(), 1);
        QTRY_COMPARE(emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStop).size(), 1);
        QVERIFY(!emu->Tx().IsRunning() && !emu->Rx().IsArmed());
        QCOMPARE(uploads.size(), 1);
    }

    void disconnectDuringSamplingStopsTheBoxes()
    {
        // The boxes would go on acquiring without their links.
        emu->SetCycleMs(5000);
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_COMPARE(status(), VODEZ_Collector::SAMPLING);
        emit c->onBtnDisconn();
        QTRY_VERIFY(!emu->Tx().HasClient() && !emu->Rx().HasClient());
        QCOMPARE(commandsOf(emu->Rx()), QStringLiteral("1001 1 2"));
        QCOMPARE(commandsOf(emu->Tx()), QStringLiteral("1 2 5"));
        QVERIFY(!emu->Tx().IsRunning() && !emu->Rx().IsArmed());
    }

    void disconnectWithOneLinkDownStopsTheOtherBox()
    {
        // The receiver's box went away mid-sounding and does not come back
        // before the operator disconnects: the transmitter is told to stop
        // once, when the receiver's link goes, not again with the disconnect;
        // the receiver has its stop once it is back.
        emu->SetCycleMs(600000);
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_COMPARE(status(), VODEZ_Collector::SAMPLING);
        emu->Rx().Stop();
        QTRY_VERIFY(in("DeviceConnecting"));
        emit c->onBtnDisconn();
        QTRY_VERIFY(!emu->Tx().HasClient());
        QCOMPARE(commandsOf(emu->Tx()), QStringLiteral("1 2 5"));
        QVERIFY(!emu->Tx().IsRunning());

        QVERIFY(emu->Rx().Listen(QHostAddress(kRxAddress), kPort));
        QVERIFY(connectBoth());
        QCOMPARE(commandsOf(emu->Rx()), QStringLiteral("1001 1"));
        emu->SetCycleMs(30);
        c->setProperty("ParamRepeat", 1);
        emit c->onBtnSampleStart();
        QTRY_COMPARE(status(), VODEZ_Collector::UPLOAD);
        QCOMPARE(commandsOf(emu->Rx()), QStringLiteral("1001 1 2 1001 1"));
        QCOMPARE(emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStop).size(), 1);
    }

    void laterSoundingStoresOnlyItsOwnData()
    {
        // A continuous run at 62.5 Hz loses its receiver link in the middle
        // of a frame; the boxes were never told to stop. After reconnection a
        // single sounding at 25 Hz must hold exactly what the boxes measured
        // for it.
        emu->Rx().decayModel.relativeNoise = 0.0;
        emu->Rx().decayModel.noiseFloor = 0.0;
        emu->Tx().currentModel.noise = 0.0;
        emu->SetCycleMs(40);
        c->setProperty("ParamFs", 62.5);
        c->setProperty("ContinueMode", int(VODEZ_Collector::Continue));
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(uploads.size() >= 2, 5000);
        QCOMPARE(emu->Rx().GateCount(), 575);

        const QByteArray decay = emu->Rx().BuildPush(EmuReceiverBox::CmdData, emu->Rx().DecayPayload());
        emu->Rx().SendRaw(decay.left(decay.size() / 2));
        emu->Rx().CloseClientAfterWrites();
        QTRY_VERIFY_WITH_TIMEOUT(emu->Rx().ConnectionsAccepted() == 2 && status() == VODEZ_Collector::IDLE, 5000);
        // The transmitter still pushes the abandoned run: it is told to stop.
        QTRY_VERIFY(!emu->Tx().IsRunning());

        frames.clear();
        uploads.clear();
        c->setProperty("ContinueMode", int(VODEZ_Collector::Single));
        c->setProperty("ParamFs", 25.0);
        c->setProperty("ParamRepeat", 1);
        emit c->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(status() == VODEZ_Collector::UPLOAD, 5000);
        // Each box was told to stop once, before this sounding began.
        QVERIFY2(commandsOf(emu->Rx()).endsWith(QStringLiteral(" 2 1001 1")), qPrintable(commandsOf(emu->Rx())));
        QVERIFY2(commandsOf(emu->Tx()).endsWith(QStringLiteral(" 5 1 2")), qPrintable(commandsOf(emu->Tx())));
        QCOMPARE(emu->Rx().ReceivedOf(EmuReceiverBox::CmdStop).size(), 1);
        QCOMPARE(emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStop).size(), 1);

        QCOMPARE(uploads.size(), 1);
        const VODEZ_Data& d = uploads.last();
        QCOMPARE(d.ParamFs, 25.0f);
        QCOMPARE(d.Recvs.size(), 1);
        QCOMPARE(d.Sends.size(), 1);
        QRandomGenerator rng(1);
        const QVector<float> want = EmuSynth::Decay(emu->Rx().SampleTimes(), 25, emu->Rx().decayModel, rng);
        QCOMPARE(want.size(), 656);
        const st_RecvData_DUD4004& r = d.Recvs.at(0);
        QCOMPARE(r.BaseFreq, 25.0);
        QCOMPARE(r.Values.size(), want.size());
        for (int j = 0; j < want.size(); ++j)
            QCOMPARE(r.Values.at(j), qMax(double(want.at(j)), 1e-9));
        QCOMPARE(d.Sends.at(0).BaseFreq, 25.0);
    }

    void linkLossStopsTheOtherBoxAtOnce_data()
    {
        QTest::addColumn<bool>("receiverLost");   // else the transmitter's link is lost
        QTest::addColumn<bool>("reset");          // the link torn down (RST), else closed (FIN)
        QTest::addColumn<bool>("continuous");
        // The other box's link goes too before it has answered its stop, as
        // both do when the Wi-Fi goes.
        QTest::addColumn<bool>("otherLinkGoes");
        for (const bool receiverLost : {true, false})
            for (const bool reset : {false, true})
                for (const bool continuous : {true, false})
                    QTest::addRow("%s link %s, %s", receiverLost ? "receiver" : "transmitter",
                                  reset ? "reset" : "closed", continuous ? "continuous" : "single")
                        << receiverLost << reset << continuous << false;
        QTest::newRow("receiver link closed, then the transmitter's, continuous") << true << false << true << true;
        QTest::newRow("transmitter link reset, then the receiver's, single") << false << true << false << true;
    }

    void linkLossStopsTheOtherBoxAtOnce()
    {
        // 2.5 Hz x 25 periods: a sounding of 10 s, which the box whose link
        // stays up would go on with (the transmitter driving the loop) if it
        // were only told at its next push.
        QFETCH(bool, receiverLost);
        QFETCH(bool, reset);
        QFETCH(bool, continuous);
        QFETCH(bool, otherLinkGoes);
        c->setProperty("ParamFs", 2.5);
        c->setProperty("ParamPeriod", 25);
        c->setProperty("ParamRepeat", 1);
        c->setProperty("ContinueMode", int(continuous ? VODEZ_Collector::Continue : VODEZ_Collector::Single));
        EmuDeviceBox& lost = receiverLost ? static_cast<EmuDeviceBox&>(emu->Rx()) : emu->Tx();
        EmuDeviceBox& other = receiverLost ? static_cast<EmuDeviceBox&>(emu->Tx()) : emu->Rx();
        const quint16 lostStop = receiverLost ? quint16(EmuReceiverBox::CmdStop) : quint16(EmuTransmitterBox::CmdStop);
        const quint16 otherStop = receiverLost ? quint16(EmuTransmitterBox::CmdStop) : quint16(EmuReceiverBox::CmdStop);
        if (otherLinkGoes)
            other.Silence(otherStop, 1);
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::SAMPLING, 5000);
        QVERIFY(emu->Tx().IsRunning());

        QElapsedTimer since;
        qint64 stoppedAfter = -1;
        connect(&other, &EmulatedBox::frameReceived, this, [&](const EmuFrameRecord& f) {
            if (f.cmd == otherStop && stoppedAfter < 0)
                stoppedAfter = since.elapsed();
        });
        since.start();
        if (reset)
            lost.ResetClient();
        else
            lost.CloseClient();
        QTRY_VERIFY_WITH_TIMEOUT(stoppedAfter >= 0, 5000);
        QVERIFY2(stoppedAfter < 1000, qPrintable(QStringLiteral("stopped after %1 ms").arg(stoppedAfter)));
        if (otherLinkGoes)
            other.CloseClient();

        // The links come back; the operator reads that the sounding is gone.
        QTRY_VERIFY_WITH_TIMEOUT(lost.ConnectionsAccepted() == 2
                                     && other.ConnectionsAccepted() == (otherLinkGoes ? 2 : 1)
                                     && status() == VODEZ_Collector::IDLE,
                                 5000);
        QCOMPARE(c->GetStatusConnect(), kDropped);
        QCOMPARE(other.ReceivedOf(otherStop).size(), 1);
        QCOMPARE(lost.ReceivedOf(lostStop).size(), 0);

        // The next start tells the box whose link went to stop, and the other
        // one only if its stop may have gone down with its own link. Once
        // both have answered the start's commands, everything sent before
        // has reached them.
        emit c->onBtnSampleStart();
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::SAMPLING, 5000);
        QCOMPARE(lost.ReceivedOf(lostStop).size(), 1);
        QCOMPARE(other.ReceivedOf(otherStop).size(), otherLinkGoes ? 2 : 1);
    }

    void boxClosesDuringSampling()
    {
        emu->SetCycleMs(2000);
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_COMPARE(status(), VODEZ_Collector::SAMPLING);
        QSignalSpy lost(c.get(), &VODEZ_Collector::deviceDisconnect);
        emu->Tx().CloseClient();
        QTRY_VERIFY(lost.count() >= 1);
        QVERIFY(status() != VODEZ_Collector::SAMPLING);
        // The lost link is re-opened; the other stays as it was. The
        // operator reads that the sounding is gone.
        QTRY_VERIFY_WITH_TIMEOUT(status() == VODEZ_Collector::IDLE, 5000);
        QCOMPARE(c->GetStatusConnect(), kDropped);
        QCOMPARE(emu->Tx().ConnectionsAccepted(), 2);
        QCOMPARE(emu->Rx().ConnectionsAccepted(), 1);
    }

    void finishedSoundingSurvivesBoxClosing()
    {
        emu->SetCycleMs(50);
        c->setProperty("ParamRepeat", 1);
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_VERIFY_WITH_TIMEOUT(status() == VODEZ_Collector::UPLOAD, 5000);
        saves.clear();
        emu->Rx().CloseClient();
        QTRY_COMPARE(c->GetStatusConnect(), linkText("状态更新", true, false));
        QTest::qWait(200);
        QVERIFY(in("SampleWaitSave"));
        QVERIFY(saves.isEmpty());
        QCOMPARE(emu->Rx().ConnectionsAccepted(), 1);   // no reconnection yet

        emit c->onBtnSaveOK();                          // saving needs no link
        QCOMPARE(saves, QList<bool>{true});
        emit c->cmdSaveOver();
        QTRY_VERIFY_WITH_TIMEOUT(status() == VODEZ_Collector::IDLE && c->GetStatusConnect() == kOnline, 5000);
        QCOMPARE(emu->Rx().ConnectionsAccepted(), 2);
    }

    void pushBeforeStartReplyDoesNotStall()
    {
        emu->SetCycleMs(30);
        emu->Tx().Delay(EmuTransmitterBox::CmdStart, 3000);
        c->setProperty("ParamRepeat", 1);
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_COMPARE(uploads.size(), 1);
        QVERIFY(in("SetParam_Start"));                  // the start reply is still due
        QTRY_VERIFY_WITH_TIMEOUT(status() == VODEZ_Collector::UPLOAD, 5000);
        QCOMPARE(c->GetProgress(), c->GetProgressMax());
    }

    void linkUpAfterDisconnectIsClosed()
    {
        QSignalSpy connected(c.get(), &VODEZ_Collector::deviceConnected);
        c->Start();
        QTRY_VERIFY(in("DeviceWaitSet"));
        emit c->onBtnConnect();
        emit c->onBtnDisconn();     // both attempts are still under way
        QTRY_VERIFY(emu->Tx().ConnectionsAccepted() == 1 && emu->Rx().ConnectionsAccepted() == 1);
        QTRY_VERIFY(!emu->Tx().HasClient() && !emu->Rx().HasClient());
        QCOMPARE(connected.count(), 0);
        QCOMPARE(c->GetStatusConnect(), kNotConnected);
        QCOMPARE(status(), VODEZ_Collector::DISCONN);
    }

    // The program's end takes the links with it: a box that may still be
    // acquiring has its stop command before its link goes; idle boxes get
    // none.
    void exitStopsBoxesThatMayRun_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<int>("stops");    // per box
        QTest::newRow("idle") << "idle" << 0;
        QTest::newRow("sampling") << "sampling" << 1;
        QTest::newRow("single sounding waiting to be saved") << "waiting" << 0;
        QTest::newRow("run abandoned by a lost link, links back") << "abandoned" << 1;
    }

    void exitStopsBoxesThatMayRun()
    {
        QFETCH(QString, phase);
        QFETCH(int, stops);
        emu->SetCycleMs(phase == QLatin1String("waiting") ? 50 : 600000);
        c->setProperty("ParamRepeat", 1);
        QVERIFY(connectBoth());
        if (phase != QLatin1String("idle")) {
            emit c->onBtnSampleStart();
            QTRY_COMPARE(status(), VODEZ_Collector::SAMPLING);
        }
        if (phase == QLatin1String("waiting"))
            QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::UPLOAD, 5000);
        if (phase == QLatin1String("abandoned")) {
            emu->Rx().CloseClient();
            QTRY_VERIFY_WITH_TIMEOUT(emu->Rx().ConnectionsAccepted() == 2 && status() == VODEZ_Collector::IDLE, 5000);
            // The transmitter had its stop when the receiver's link went; the
            // receiver, armed still, owes its own.
            QTRY_COMPARE(emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStop).size(), 1);
            QVERIFY(emu->Rx().IsArmed());
        }

        int txStops = -1;
        int rxStops = -1;
        connect(&emu->Tx(), &EmulatedBox::clientDisconnected, this,
                [&] { txStops = emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStop).size(); });
        connect(&emu->Rx(), &EmulatedBox::clientDisconnected, this,
                [&] { rxStops = emu->Rx().ReceivedOf(EmuReceiverBox::CmdStop).size(); });
        c->StopBoxesForExit();
        c.reset();
        QTRY_VERIFY(txStops >= 0 && rxStops >= 0);
        QCOMPARE(txStops, stops);
        QCOMPARE(rxStops, stops);
    }

    // At the end the receiver's link stalls (its box reads nothing, its
    // buffers are full) and the transmitter's is slow: the transmitter, which
    // drives the loop, still has its stop within the wait.
    void exitStopReachesTheTransmitterPastAStalledReceiver()
    {
        emu->Tx().Stop();
        SlowLinkBox tx(kTxAddress, kPort);
        tx.start();
        QVERIFY(tx.waitListening());
        // The sounding waits in its parameter phase, the boxes told to
        // stop when the program ends.
        emu->Rx().Silence(EmuReceiverBox::CmdConfig);
        c->setProperty("SampleMode", int(VODEZ_Collector::SelfCheck));
        QVERIFY(connectBoth());
        emit c->onBtnSampleStart();
        QTRY_COMPARE(emu->Rx().ReceivedOf(EmuReceiverBox::CmdConfig).size(), 1);
        // More than the system takes on each link, ahead of the stops.
        const QByteArray bulk(5 << 20, 'x');
        for (int i = 0; i < 2; ++i)
            c->findChild<iLibSend*>()->Request(0x7777, &bulk);
        c->findChild<ILibRecv_DUD4004*>()->Request(0x7777, &bulk);
        tx.lag();
        QElapsedTimer waited;
        waited.start();
        c->StopBoxesForExit(1000);
        QVERIFY(waited.elapsed() < 2000);
        c.reset();
        QVERIFY(tx.wait(30000));
        QCOMPARE(tx.commands().count(0x7777), 2);
        QCOMPARE(tx.commands().count(EmuTransmitterBox::CmdStop), 1);
    }
};

QTEST_MAIN(TstAcqSounding)
#include "tst_acq_sounding.moc"
