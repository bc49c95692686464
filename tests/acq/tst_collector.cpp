// The acquisition controller driven through the signals of its protocol
// objects: connection texts, the parameter road, pairing, repeats, progress,
// continuous mode, failure roads. Nothing here reaches a box: the addresses
// are loopback ones where nothing listens, and the replies are injected.

#include "CollectorProbe.h"
#include "HCollector.h"
#include "ILibRecv_DUD4004.h"
#include "UnderWine.h"
#include "VODEZ_Collector.h"
#include "WifiSignal.h"
#include "iLibSend.h"

#include <QDateTime>
#include <QHostAddress>
#include <QMetaEnum>
#include <QSignalSpy>
#include <QSignalTransition>
#include <QState>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include <climits>
#include <cmath>

namespace {

// Data sets named by a number, decoded for the frequency `fs` as the
// protocol objects do with their last configuration.
st_TEMSendData sendSet(int id, double fs = 25.0)
{
    st_TEMSendData s;
    s.BaseFreq = fs;
    s.SendData = {double(id)};
    return s;
}

st_RecvData_DUD4004 recvSet(int id, double fs = 25.0)
{
    st_RecvData_DUD4004 r;
    r.BaseFreq = fs;
    r.RecvTime = id;
    return r;
}

QString describe(const VODEZ_Data& d)
{
    QStringList pairs;
    for (int i = 0; i < d.Sends.size(); ++i)
        pairs << QStringLiteral("%1-%2").arg(int(d.Sends.at(i).SendData.value(0)))
                     .arg(i < d.Recvs.size() ? d.Recvs.at(i).RecvTime : -1);
    return pairs.join(QLatin1Char(' '));
}

void settle()
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

} // namespace

// One controller with handles on its parts and a record of what it hands on.
struct Rig
{
    VODEZ_Collector c;
    ILibRecv_DUD4004* rx = nullptr;
    iLibSend* tx = nullptr;
    QStringList uploads;
    QList<VODEZ_Data> records;
    QList<bool> saves;
    double fs = 25.0;     // the frequency the running sounding was started with
    // The controller's clock, moved on by the scripts' "+ms".
    std::shared_ptr<qint64> clock = std::make_shared<qint64>(0);

    Rig()
    {
        rx = c.findChild<ILibRecv_DUD4004*>();
        tx = c.findChild<iLibSend*>();
        c.SetClock([clock = clock] { return *clock; });
        c.setProperty("DeviceIP_Send", QStringLiteral("127.0.4.10"));
        c.setProperty("DeviceIP_Recv", QStringLiteral("127.0.4.11"));
        // Links are opened by these tests: never towards the built-in defaults.
        if (!QHostAddress(c.GetDeviceIP_Send()).isLoopback() || !QHostAddress(c.GetDeviceIP_Recv()).isLoopback())
            qFatal("controller addresses are not loopback");
        QObject::connect(&c, &VODEZ_Collector::dataUpload, [this](VODEZ_Data d) {
            uploads << describe(d);
            records << d;
        });
        QObject::connect(&c, &VODEZ_Collector::dataSave, [this](bool s) { saves << s; });
    }

    bool in(const char* state) const { return inState(c, state); }

    VODEZ_Collector::VODEZSampleStatus status() const { return c.GetSampleStatus(); }

    bool online()
    {
        c.Start();
        if (!QTest::qWaitFor([this] { return in("DeviceWaitSet"); }))
            return false;
        emit c.onBtnConnect();
        emit rx->ComConnected();
        emit tx->ComConnected();
        settle();
        return in("SampleWaitParam") && status() == VODEZ_Collector::IDLE;
    }

    // Answers whatever request the parameter road waits for, up to sampling.
    void answer()
    {
        settle();
        for (int guard = 0; guard < 8 && in("SampleSetParam"); ++guard) {
            if (in("SetParam_ConfigChannel"))
                acceptChannels();
            else if (in("SetParam_ConfigRecv"))
                emit rx->onRecvConfiged(true);
            else if (in("SetParam_ConfigSend"))
                emit tx->TEM_Configed(1);
            else if (in("SetParam_Start"))
                emit tx->TEM_Strated(true);
            settle();
        }
    }

    // The receiver accepts the gate channels of the running sounding.
    void acceptChannels()
    {
        rx->SetAutoTimeChannel(float(fs), 625000.0f, 1250);
        emit rx->onRecvAutoChannel(true);
    }

    void run(const QString& script)
    {
        for (const QString& token : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (token == QLatin1String("start")) {
                fs = c.GetParamFs();
                emit c.onBtnSampleStart();
            }
            else if (token == QLatin1String("go"))
                answer();
            else if (token == QLatin1String("stop"))
                c.onBtnSampleStop();
            else if (token.startsWith(QLatin1Char('+')))
                *clock += token.mid(1).toInt();
            else if (token == QLatin1String("save")) {
                emit c.onBtnSaveOK();
                emit c.cmdSaveOver();
            } else if (token.startsWith(QLatin1Char('s')))   // decoded for another frequency
                emit tx->TEM_NewSendData(sendSet(token.mid(1).toInt(), fs * 2));
            else if (token.startsWith(QLatin1Char('r')))
                emit rx->onRecvData(recvSet(token.mid(1).toInt(), fs * 2));
            else if (token.startsWith(QLatin1Char('S')))
                emit tx->TEM_NewSendData(sendSet(token.mid(1).toInt(), fs));
            else if (token.startsWith(QLatin1Char('R')))
                emit rx->onRecvData(recvSet(token.mid(1).toInt(), fs));
            else
                qFatal("unknown token");
            settle();
        }
    }
};

class TstCollector : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        registerDeviceRecordTypes();
        writeBoxAddresses(QStringLiteral("127.0.4.10"), QStringLiteral("127.0.4.11"));
    }

    void propertiesEnumsAndNotify();
    void builtMachineMatchesTheDesign();
    void connectionRoadAndRetry();
    void addressesMeanWhatTheySay_data();
    void addressesMeanWhatTheySay();
    void disconnectLeavesSamplingAtOnce();
    void arrivalOrders_data();
    void arrivalOrders();
    void progressSequence();
    void soundingTime_data();
    void soundingTime();
    void hugeAndZeroSoundingsStaySafe();
    void continuousRun();
    void lateLinkKeepsEveryPairItsOwn_data();
    void lateLinkKeepsEveryPairItsOwn();
    void stopStoresWhatBothBoxesDeliveredAndLogsDoubts();
    void continuousKeepsSetsArrivingDuringSave();
    void continuousFailedSaveKeepsPairsForTheOperator();
    void saveBeforeTheBoxesStopEndsTheRun_data();
    void saveBeforeTheBoxesStopEndsTheRun();
    void keptSetsArePairedAsTheRunPairsThem_data();
    void keptSetsArePairedAsTheRunPairsThem();
    void continuousRunWithASilentBoxEnds_data();
    void continuousRunWithASilentBoxEnds();
    void refusalsStillAdvance();
    void refusedStartEndsTheSounding();
    void unusableGateChannelsEndTheSounding_data();
    void unusableGateChannelsEndTheSounding();
    void unansweredCommandWaitsUntilStop();
    void linkLostDuringSampling();
    void droppedSoundingIsForgottenWithTheLinks();
    void finishedSoundingSurvivesLinkDrop();
    void failedSaveIsNotADiscard();
    void parametersFrozenForTheSounding();
    void pushBeforeStartReplyDoesNotStall();
    void lateLinkAfterDisconnectIsClosed();
    void wifiTextNeverCoversADownLink();
};

void TstCollector::propertiesEnumsAndNotify()
{
    Rig r;
    VODEZ_Collector& c = r.c;
    QCOMPARE(c.property("DeviceIP_Send").toString(), QStringLiteral("127.0.4.10"));
    QCOMPARE(c.property("StatusConnect").toString(), kNotConnected);
    QCOMPARE(c.property("ParamFs").toDouble(), 25.0);
    QCOMPARE(c.property("ParamPeriod").toInt(), 25);
    QCOMPARE(c.property("ParamRepeat").toInt(), 2);
    QCOMPARE(c.property("SampleStatus").toInt(), int(VODEZ_Collector::DISCONN));

    // The panels switch on the key names, so they are part of the interface.
    const QMetaObject& mo = VODEZ_Collector::staticMetaObject;
    auto keys = [&mo](const char* name) {
        const QMetaEnum e = mo.enumerator(mo.indexOfEnumerator(name));
        QStringList out;
        for (int i = 0; i < e.keyCount(); ++i)
            out << QStringLiteral("%1=%2").arg(QLatin1String(e.key(i))).arg(e.value(i));
        return out.join(QLatin1Char(' '));
    };
    QCOMPARE(keys("VODEZSampleStatus"), QStringLiteral("DISCONN=0 IDLE=1 SETPARAM=2 SAMPLING=3 UPLOAD=4 SAVING=5"));
    QCOMPARE(keys("VODEZSampleMode"), QStringLiteral("TEM=0 SelfCheck=1"));
    QCOMPARE(keys("VODEZContinueMode"), QStringLiteral("Single=0 Continue=1"));
    QCOMPARE(QLatin1String(mo.property(mo.indexOfProperty("Progress")).notifySignal().methodSignature()),
             QLatin1String("onProgressChanged(int)"));

    // Handlers are bound by their exact, normalised signatures.
    QVERIFY(c.SetEntry(QStringLiteral("DeviceWaitSet"), &c, QStringLiteral("OnEntry_DeviceWait()")));
    QVERIFY(!c.SetEntry(QStringLiteral("DeviceWaitSet"), &c, QStringLiteral("OnEntry_DeviceWait( )")));

    QSignalSpy repeat(&c, &VODEZ_Collector::onParamRepeatChanged);
    QSignalSpy fs(&c, &VODEZ_Collector::onParamFsChanged);
    QSignalSpy period(&c, &VODEZ_Collector::onParamPeriodChanged);
    QSignalSpy mode(&c, &VODEZ_Collector::onContinueModeChanged);
    c.setProperty("ParamRepeat", 2);          // same value through the property: silent
    QCOMPARE(repeat.count(), 0);
    c.SetParamRepeat(2);                       // the slot always notifies
    QCOMPARE(repeat.count(), 1);
    c.setProperty("ParamFs", 25.0);            // ParamFs always notifies
    QCOMPARE(fs.count(), 1);
    c.onLoad_Param(25.0, 25, 1);
    QCOMPARE(fs.count(), 2);
    QCOMPARE(period.count(), 1);
    QCOMPARE(mode.count(), 1);
    QCOMPARE(c.GetContinueMode(), VODEZ_Collector::Continue);
    c.onLoad_Param(50.0, 10);
    QCOMPARE(c.GetContinueMode(), VODEZ_Collector::Single);
    QCOMPARE(c.GetParamFs(), 50.0);
    QCOMPARE(c.GetParamPeriod(), 10);

    // Monitor values notify only on change.
    QSignalSpy sendV(&c, &VODEZ_Collector::onSendVChanged);
    st_TEMSendMonitor m;
    m.SendV = 12.5f;
    m.DeviceV = 24.0f;
    m.DeviceTemp = 31.0f;
    emit r.tx->TEM_SendMonitor(m);
    emit r.tx->TEM_SendMonitor(m);
    QCOMPARE(sendV.count(), 1);
    QCOMPARE(c.GetDeviceV(), 24.0);
    QCOMPARE(c.GetDeviceTemp(), 31.0);
}

void TstCollector::builtMachineMatchesTheDesign()
{
    // Every state with its parent, and every transition in the order of its
    // priority within its source state.
    const QStringList design = {
        "DeviceWaitSet: -> DeviceInit on onBtnConnect()",
        "DeviceInit: -> DeviceWaitSet on onBtnDisconn()",
        "DeviceInit: -> DeviceConnecting on tryConnect()",
        "DeviceConnecting: -> DeviceWaitSet on onBtnDisconn()",
        "DeviceConnecting: -> DeviceInit on deviceDisconnect()",
        "DeviceConnecting: -> DeviceOnline on deviceConnected()",
        "DeviceConnecting: -> DeviceInit after 10000 ms",
        "DeviceOnline: -> DeviceWaitSet on onBtnDisconn()",
        "DeviceOnline: -> DeviceInit on deviceDisconnect()",
        "DeviceOnline/SampleWaitParam (initial): -> SampleSetParam on onBtnSampleStart()",
        "DeviceOnline/SampleSetParam: -> SampleWaitParam on cmdSampleStop()",
        "DeviceOnline/SampleSetParam: -> SampleDataUpload on deviceStarted()",
        "DeviceOnline/SampleSetParam: -> SampleWaitSave on cmdSaveFailed()",
        "DeviceOnline/SampleDataUpload: -> SampleWaitParam on cmdSampleStop()",
        "DeviceOnline/SampleDataUpload: -> SampleSetParam if HSample_UploadToSet(QEvent*)",
        "DeviceOnline/SampleDataUpload: -> SampleWaitSave if HSample_UploadToWaitsave(QEvent*)",
        "DeviceOnline/SampleDataUpload: -> SampleWaitSave on cmdSaveFailed()",
        "DeviceOnline/SampleWaitSave: -> SampleWaitParam on onBtnSaveCancel()",
        "DeviceOnline/SampleWaitSave: -> SampleDataSave on onBtnSaveOK()",
        "DeviceOnline/SampleWaitSave: stays on deviceDisconnect()",
        "DeviceOnline/SampleDataSave: -> SampleWaitParam on cmdSaveOver()",
        "DeviceOnline/SampleDataSave: -> SampleWaitSave on cmdSaveFailed()",
        "DeviceOnline/SampleDataSave: stays on deviceDisconnect()",
        "SampleSetParam/SetParam_ConfigChannel (initial): -> SetParam_ConfigRecv on cmdConfigRecv()",
        "SampleSetParam/SetParam_ConfigRecv: -> SetParam_ConfigSend on cmdConfigSend()",
        "SampleSetParam/SetParam_ConfigSend: -> SetParam_Start on deviceConfiged()",
        "SampleSetParam/SetParam_Start:",
    };

    VODEZ_Collector c;
    auto* machine = c.findChild<QStateMachine*>();
    QVERIFY(machine);
    QCOMPARE(machine->initialState()->objectName(), QStringLiteral("DeviceWaitSet"));
    QStringList built;
    // The machine's own tree, depth first in the order the states were added.
    std::function<void(QState*)> walk = [&](QState* parent) {
        for (QObject* child : parent->children()) {
            auto* state = qobject_cast<QState*>(child);
            if (!state)
                continue;
            QString head = state->objectName();
            if (parent != machine)
                head.prepend(parent->objectName() + QLatin1Char('/'));
            if (parent != machine && parent->initialState() == state)
                head += QStringLiteral(" (initial)");
            head += QLatin1Char(':');
            const auto transitions = state->transitions();
            if (transitions.isEmpty())
                built << head;
            for (QAbstractTransition* t : transitions) {
                const QString target = t->targetState() ? QStringLiteral("-> ") + t->targetState()->objectName()
                                                        : QStringLiteral("stays");
                QString trigger;
                if (auto* guarded = qobject_cast<HTransition*>(t)) {
                    QCOMPARE(guarded->guardTarget(), &c);
                    trigger = QStringLiteral("if ") + QString::fromLatin1(guarded->guard().methodSignature());
                } else if (auto* bySignal = qobject_cast<QSignalTransition*>(t)) {
                    if (auto* timer = qobject_cast<QTimer*>(bySignal->senderObject())) {
                        QVERIFY(timer->isSingleShot());
                        trigger = QStringLiteral("after %1 ms").arg(timer->interval());
                    } else {
                        QCOMPARE(bySignal->senderObject(), &c);
                        trigger = QStringLiteral("on ") + QString::fromLatin1(bySignal->signal());
                    }
                }
                built << QStringLiteral("%1 %2 %3").arg(head, target, trigger);
            }
        }
        for (QObject* child : parent->children())
            if (auto* state = qobject_cast<QState*>(child))
                walk(state);
    };
    walk(machine);
    QCOMPARE(built, design);
}

void TstCollector::connectionRoadAndRetry()
{
    Rig r;
    VODEZ_Collector& c = r.c;
    QStringList texts;
    connect(&c, &VODEZ_Collector::statusConnectChanged, [&texts](QString s) { texts << s; });
    QSignalSpy connected(&c, &VODEZ_Collector::deviceConnected);
    QSignalSpy tries(&c, &VODEZ_Collector::tryConnect);

    c.Start();
    QTRY_VERIFY(r.in("DeviceWaitSet"));
    emit c.onBtnConnect();
    QVERIFY(r.in("DeviceConnecting"));
    QCOMPARE(texts, (QStringList{kInit, linkText("正在连接", false, false)}));
    // The time-out leads back through DeviceInit, which tries again.
    QVERIFY(expireConnectTimeout(c));
    QCOMPARE(tries.count(), 2);
    QCOMPARE(texts.mid(2), (QStringList{QStringLiteral("<p style='color:red;'>重试</p>"), kInit,
                                        linkText("正在连接", false, false)}));
    QVERIFY(connectTimeout(c)->isActive());     // started again for the new attempt

    texts.clear();
    emit r.rx->ComConnected();
    QCOMPARE(texts, QStringList{linkText("状态更新", false, true)});
    QCOMPARE(connected.count(), 0);
    emit r.tx->ComConnected();
    settle();
    QCOMPARE(connected.count(), 1);
    QCOMPARE(texts.last(), kOnline);
    QCOMPARE(r.status(), VODEZ_Collector::IDLE);
    QCOMPARE(r.saves, QList<bool>{false});
    // Online, the time-out no longer runs.
    QVERIFY(!connectTimeout(c)->isActive());

    // An address that is not IPv4 is refused; only disconnect gets out.
    emit c.onBtnDisconn();
    QCOMPARE(c.GetStatusConnect(), kNotConnected);
    c.setProperty("DeviceIP_Send", QStringLiteral("vodez-box.local"));
    const int before = tries.count();
    emit c.onBtnConnect();
    QCOMPARE(c.GetStatusConnect(), QStringLiteral("<p style='color:red;'>IP不合规</p>"));
    QCOMPARE(tries.count(), before);
    emit c.onBtnConnect();
    QVERIFY(r.in("DeviceInit"));
    emit c.onBtnDisconn();
    QVERIFY(r.in("DeviceWaitSet"));
}

void TstCollector::addressesMeanWhatTheySay_data()
{
    // Forms a socket library also reads would reach another host than the
    // one the operator sees; every refused form here reads as loopback.
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("valid");
    QTest::newRow("dotted") << "127.0.4.10" << true;
    QTest::newRow("bounds") << "0.0.0.255" << true;
    QTest::newRow("two and three digits") << "127.10.199.250" << true;
    QTest::newRow("leading zero (octal)") << "127.0.4.010" << false;
    QTest::newRow("zero padded") << "127.000.004.010" << false;
    QTest::newRow("one number") << "2130707466" << false;
    QTest::newRow("three parts") << "127.0.1034" << false;
    QTest::newRow("two parts") << "127.263178" << false;
    QTest::newRow("hexadecimal") << "0x7f.0.4.10" << false;
    QTest::newRow("hexadecimal part") << "127.0.4.0xa" << false;
    QTest::newRow("above 255") << "127.0.4.256" << false;
    QTest::newRow("five parts") << "127.0.4.10.1" << false;
    QTest::newRow("trailing dot") << "127.0.4.10." << false;
    QTest::newRow("blank around") << " 127.0.4.10" << false;
    QTest::newRow("sign") << "127.0.4.+10" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("host name") << "localhost" << false;
    QTest::newRow("IPv6") << "::1" << false;
    QTest::newRow("other digits") << QString::fromUtf8("127.0.4.１０") << false;
}

void TstCollector::addressesMeanWhatTheySay()
{
    QFETCH(QString, address);
    QFETCH(bool, valid);
    QCOMPARE(VODEZ_Collector::IsIPv4Address(address), valid);
    if (valid)
        return;   // only loopback is ever opened by these tests

    // The controller refuses the address with its text and opens no link.
    Rig r;
    r.c.setProperty("DeviceIP_Recv", address);
    QSignalSpy tries(&r.c, &VODEZ_Collector::tryConnect);
    r.c.Start();
    QTRY_VERIFY(r.in("DeviceWaitSet"));
    emit r.c.onBtnConnect();
    QCOMPARE(tries.count(), 0);
    QCOMPARE(r.c.GetStatusConnect(), QStringLiteral("<p style='color:red;'>IP不合规</p>"));
    QVERIFY(r.in("DeviceInit"));
}

void TstCollector::disconnectLeavesSamplingAtOnce()
{
    Rig r;
    QVERIFY(r.online());
    r.run(QStringLiteral("start go"));
    QCOMPARE(r.status(), VODEZ_Collector::SAMPLING);
    r.c.ProgressAdd();
    QVERIFY(r.c.GetProgress() > 0);
    emit r.c.onBtnDisconn();
    QCOMPARE(r.status(), VODEZ_Collector::DISCONN);
    QCOMPARE(r.c.GetStatusConnect(), kNotConnected);
    QVERIFY(r.in("DeviceWaitSet"));
    // The bar of the dropped sounding is empty again.
    QCOMPARE(r.c.GetProgress(), 0);
    QCOMPARE(r.c.GetProgressMax(), 0);
}

void TstCollector::arrivalOrders_data()
{
    QTest::addColumn<int>("repeats");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("uploads");
    QTest::addColumn<int>("status");

    const int upload = VODEZ_Collector::UPLOAD;
    const int sampling = VODEZ_Collector::SAMPLING;
    const int idle = VODEZ_Collector::IDLE;
    const int setparam = VODEZ_Collector::SETPARAM;
    QTest::newRow("transmitter first") << 2 << "start go S1 R1 go S2 R2"
                                       << QStringList{"1-1", "1-1 2-2"} << upload;
    QTest::newRow("receiver first") << 2 << "start go R1 S1 go R2 S2"
                                    << QStringList{"1-1", "1-1 2-2"} << upload;
    QTest::newRow("one set alone waits") << 2 << "start go S1" << QStringList{} << sampling;
    QTest::newRow("surplus dropped from the front") << 1 << "start go S1 S2 R1"
                                                    << QStringList{"2-1"} << upload;
    QTest::newRow("too few for the repeat count") << 3 << "start go S1 S2 R1" << QStringList{} << sampling;
    QTest::newRow("late sets after stop are dropped")
        << 2 << "start go S1 stop S2 R1 R2 start go S3 R3" << QStringList{"3-3"} << setparam;
    QTest::newRow("late sets after save are dropped")
        << 1 << "start go S1 R1 save S9 R9 start go S3 R3" << QStringList{"1-1", "3-3"} << upload;
    QTest::newRow("sets after the last repeat leave the sounding alone")
        << 2 << "start go S1 R1 go S2 R2 S5 R5 S6" << QStringList{"1-1", "1-1 2-2"} << upload;
    // Sets of an abandoned run that a box still pushes.
    QTest::newRow("sets before the start command are dropped")
        << 1 << "start S8 R8 go S1 R1" << QStringList{"1-1"} << upload;
    QTest::newRow("sets of another frequency are dropped")
        << 1 << "start go s8 S1 r8 R1" << QStringList{"1-1"} << upload;
    QTest::newRow("stop in the middle, then idle") << 2 << "start go S1 R1 stop" << QStringList{"1-1"} << idle;
}

void TstCollector::arrivalOrders()
{
    QFETCH(int, repeats);
    QFETCH(QString, script);
    QFETCH(QStringList, uploads);
    QFETCH(int, status);
    Rig r;
    r.c.setProperty("ParamFs", 1000.0);
    r.c.setProperty("ParamRepeat", repeats);
    QVERIFY(r.online());
    r.run(script);
    QCOMPARE(r.uploads, uploads);
    QCOMPARE(int(r.status()), status);
    for (const VODEZ_Data& d : r.records)
        QCOMPARE(d.RepeatCount, repeats);
}

void TstCollector::progressSequence()
{
    // 62.5 Hz x 25 periods = 400 ms a repeat, two repeats.
    Rig r;
    r.c.setProperty("ParamFs", 62.5);
    r.c.setProperty("ParamPeriod", 25);
    r.c.setProperty("ParamRepeat", 2);
    QVERIFY(r.online());
    QList<int> progress;
    connect(&r.c, &VODEZ_Collector::onProgressChanged, [&progress](int v) { progress << v; });
    QSignalSpy beeps(&r.c, &VODEZ_Collector::beepRequested);
    r.run(QStringLiteral("start go"));
    QCOMPARE(r.c.GetProgressMax(), 800);
    QTRY_COMPARE(r.c.GetProgress(), 399);     // stops 1 ms short of the repeat's end
    QTest::qWait(250);
    QCOMPARE(r.c.GetProgress(), 399);
    r.run(QStringLiteral("S1 R1 go"));
    QCOMPARE(r.c.GetProgress(), 400);
    QCOMPARE(beeps.count(), 0);
    QTRY_COMPARE(r.c.GetProgress(), 799);
    r.run(QStringLiteral("S2 R2"));
    QCOMPARE(beeps.count(), 1);                // the last repeat is in
    QCOMPARE(progress, (QList<int>{200, 399, 400, 600, 799, 800}));
    QCOMPARE(r.status(), VODEZ_Collector::UPLOAD);
    r.run(QStringLiteral("save"));
    QCOMPARE(r.c.GetProgress(), 0);
    QCOMPARE(r.c.GetProgressMax(), 0);
    QCOMPARE(r.status(), VODEZ_Collector::IDLE);
    QCOMPARE(r.saves, (QList<bool>{false, true, false}));
}

void TstCollector::soundingTime_data()
{
    QTest::addColumn<double>("fs");
    QTest::addColumn<int>("periods");
    QTest::addColumn<int>("ms");
    QTest::newRow("defaults") << 25.0 << 25 << 1000;
    QTest::newRow("62.5 Hz") << 62.5 << 25 << 400;
    QTest::newRow("0.1 Hz") << 0.1 << 1 << 10000;
    QTest::newRow("longest offered") << 0.1 << 99999 << 999990000;
    QTest::newRow("truncated") << 3.0 << 1 << 333;
    QTest::newRow("zero frequency") << 0.0 << 25 << 0;
    QTest::newRow("negative frequency") << -25.0 << 25 << 0;
    QTest::newRow("NaN frequency") << std::nan("") << 25 << 0;
    QTest::newRow("infinite frequency") << double(INFINITY) << 25 << 0;
    QTest::newRow("tiny frequency clamps") << 1e-300 << 1 << INT_MAX;
    QTest::newRow("huge period count") << 0.001 << INT_MAX << INT_MAX;
    QTest::newRow("no periods") << 25.0 << 0 << 0;
    QTest::newRow("negative periods") << 25.0 << -3 << 0;
}

void TstCollector::soundingTime()
{
    QFETCH(double, fs);
    QFETCH(int, periods);
    QFETCH(int, ms);
    QCOMPARE(VODEZ_Collector::SoundingTimeMs(fs, periods), ms);
}

void TstCollector::hugeAndZeroSoundingsStaySafe()
{
    {
        // 99999 periods x 99999 repeats at 0.1 Hz: far past 32 bits.
        Rig r;
        r.c.setProperty("ParamFs", 0.1);
        r.c.setProperty("ParamPeriod", 99999);
        r.c.setProperty("ParamRepeat", 99999);
        QVERIFY(r.online());
        r.run(QStringLiteral("start go"));
        QCOMPARE(r.c.GetProgressMax(), INT_MAX);
        r.run(QStringLiteral("S1 R1"));
        QCOMPARE(r.c.GetProgress(), 999990000);
        r.c.ProgressAdd();
        QVERIFY(r.c.GetProgress() >= 999990000);
    }
    {
        // A stored frequency of 0: no duration, the bar stays at 0 (a
        // self-check, which needs no gate table for the frequency).
        Rig r;
        r.c.onLoad_Param(0.0, 25);
        r.c.setProperty("SampleMode", int(VODEZ_Collector::SelfCheck));
        QVERIFY(r.online());
        r.run(QStringLiteral("start go"));
        QCOMPARE(r.c.GetProgressMax(), 0);
        r.c.ProgressAdd();
        QCOMPARE(r.c.GetProgress(), 0);
        r.run(QStringLiteral("S1 R1 go S2 R2"));
        QCOMPARE(r.status(), VODEZ_Collector::UPLOAD);
        QCOMPARE(r.c.GetProgress(), 0);
    }
}

void TstCollector::continuousRun()
{
    Rig r;
    r.c.setProperty("ParamRepeat", 5);
    r.c.setProperty("ContinueMode", int(VODEZ_Collector::Continue));
    QVERIFY(r.online());
    QStringList order;
    connect(&r.c, &VODEZ_Collector::onParamRepeatChanged, [&order] { order << QStringLiteral("repeat"); });
    connect(&r.c, &VODEZ_Collector::dataUpload, [&order] { order << QStringLiteral("upload"); });
    connect(&r.c, &VODEZ_Collector::dataSave, [&order](bool s) { order << (s ? QStringLiteral("save") : QStringLiteral("drop")); });
    // The receiver a push behind, its two sets together: the pairs of one
    // record are saved one by one.
    r.run(QStringLiteral("start go S1 +1000 S2 R1 R2"));
    QCOMPARE(r.uploads, (QStringList{"1-1", "2-2"}));
    QCOMPARE(order, (QStringList{"repeat", "upload", "save", "upload", "save"}));
    QCOMPARE(r.c.GetParamRepeat(), 1);
    for (const VODEZ_Data& d : r.records) {
        QCOMPARE(d.RepeatCount, 1);
        QCOMPARE(int(d.ContinueMode), 1);
    }
    QCOMPARE(r.c.GetProgressMax(), 1000);
    QCOMPARE(r.c.GetProgress(), 0);
    // Sampling goes on: one upload and one save per acquisition.
    r.run(QStringLiteral("S3 R3 R4 S4"));
    QCOMPARE(r.uploads.mid(2), (QStringList{"3-3", "4-4"}));
    QCOMPARE(r.saves.count(true), 4);
    QCOMPARE(r.status(), VODEZ_Collector::SAMPLING);
    emit r.c.cmdSaveOver();                    // no effect while sampling
    QCOMPARE(r.status(), VODEZ_Collector::SAMPLING);
    r.run(QStringLiteral("stop"));
    QCOMPARE(r.status(), VODEZ_Collector::IDLE);
    QCOMPARE(r.c.GetParamRepeat(), 1);
}

void TstCollector::lateLinkKeepsEveryPairItsOwn_data()
{
    // One push a second, the run under way with its first pair.
    QTest::addColumn<QString>("arrivals");
    QTest::addColumn<QStringList>("uploads");
    auto inOrder = [](int n) {
        QStringList pairs;
        for (int k = 1; k <= n; ++k)
            pairs << QStringLiteral("%1-%1").arg(k);
        return pairs;
    };
    // A Wi-Fi link that stalls delivers what it held all at once.
    QTest::newRow("receiver held back 2.5 s")
        << "+1000 S2 R2 +1000 S3 +1000 S4 +1000 R3 R4 S5 R5 +1000 S6 R6" << inOrder(6);
    QString tenSeconds = QStringLiteral("+1000 S2 R2");
    for (int k = 3; k <= 12; ++k)
        tenSeconds += QStringLiteral(" +1000 R%1").arg(k);
    tenSeconds += QStringLiteral(" +500");
    for (int k = 3; k <= 12; ++k)
        tenSeconds += QStringLiteral(" S%1").arg(k);
    tenSeconds += QStringLiteral(" +500 S13 R13 +1000 R14 S14");
    QTest::newRow("transmitter held back 10 s") << tenSeconds << inOrder(14);
    QTest::newRow("receiver skips a push")
        << "+1000 S2 R2 +1000 S3 +1000 S4 R4 +1000 S5 R5 +1000 S6 R6"
        << QStringList{"1-1", "2-2", "4-4", "5-5", "6-6"};
}

void TstCollector::lateLinkKeepsEveryPairItsOwn()
{
    QFETCH(QString, arrivals);
    QFETCH(QStringList, uploads);
    Rig r;
    r.c.setProperty("ContinueMode", int(VODEZ_Collector::Continue));
    QVERIFY(r.online());
    r.run(QStringLiteral("start go S1 R1"));
    r.run(arrivals);
    QCOMPARE(r.uploads, uploads);
    QCOMPARE(r.saves.count(true), uploads.size());
    QCOMPARE(r.status(), VODEZ_Collector::SAMPLING);
}

namespace {
QStringList g_pairingLog;
void keepPairingLog(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    if (QLatin1String(context.category) == QLatin1String("vodez.acquisition.pairing"))
        g_pairingLog << text;
}
} // namespace

void TstCollector::stopStoresWhatBothBoxesDeliveredAndLogsDoubts()
{
    // The operator stops while the newest pair still waits for its place:
    // it is stored, and where the pairing decided on thin evidence, the log
    // says so with the point it concerns.
    Rig r;
    r.c.setProperty("ContinueMode", int(VODEZ_Collector::Continue));
    QVERIFY(r.online());
    int point = 0;
    connect(&r.c, &VODEZ_Collector::dataSave, [&](bool save) {
        if (save)
            r.c.onPointStored(3, ++point);   // as the project answers
    });
    g_pairingLog.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepPairingLog);
    r.run(QStringLiteral("start go S1 R1 +1000 S2 R2 +1000 S3 +1000 S4 R4 +1000 S5 R5 +1000 S6 +1000 R6"));
    QCOMPARE(r.uploads, (QStringList{"1-1", "2-2", "4-4", "5-5"}));
    r.run(QStringLiteral("stop"));
    qInstallMessageHandler(previous);
    QCOMPARE(r.uploads, (QStringList{"1-1", "2-2", "4-4", "5-5", "6-6"}));
    QCOMPARE(r.saves.count(true), 5);
    QCOMPARE(r.status(), VODEZ_Collector::IDLE);
    QCOMPARE(g_pairingLog.size(), 2);
    QVERIFY2(g_pairingLog.at(0).startsWith(QLatin1String("line 3 point 3: a transmitter set without partner was dropped")),
             qPrintable(g_pairingLog.at(0)));
    QVERIFY2(g_pairingLog.at(1).startsWith(QLatin1String("line 3 point 5: paired in each box's order, -1000 ms off")),
             qPrintable(g_pairingLog.at(1)));
}

void TstCollector::continuousKeepsSetsArrivingDuringSave()
{
    // Saving may show a modal warning whose event loop delivers the next
    // sets: they belong to the next point and must not be cleared.
    Rig r;
    r.c.setProperty("ContinueMode", int(VODEZ_Collector::Continue));
    QVERIFY(r.online());
    r.run(QStringLiteral("start go"));
    bool nested = false;
    connect(&r.c, &VODEZ_Collector::dataSave, [&](bool save) {
        if (save && !nested) {
            nested = true;
            emit r.tx->TEM_NewSendData(sendSet(2));
        }
    });
    r.run(QStringLiteral("S1 R1 R2"));
    QCOMPARE(r.uploads, (QStringList{"1-1", "2-2"}));
}

void TstCollector::continuousFailedSaveKeepsPairsForTheOperator()
{
    Rig r;
    r.c.setProperty("ContinueMode", int(VODEZ_Collector::Continue));
    QVERIFY(r.online());
    // The project answers inside the request, as it does: "failed", then
    // its warning box, then "over".
    QStringList failing;      // pairs whose save fails
    QStringList stored;
    int warnings = 0;
    QString stateAtWarning;
    connect(&r.c, &VODEZ_Collector::dataSave, [&](bool save) {
        if (!save)
            return;
        const QString pair = r.uploads.last();
        if (failing.contains(pair)) {
            emit r.c.cmdSaveFailed();
            // The warning box runs an event loop: the boxes, told to stop,
            // still deliver what they measured meanwhile, the last set
            // without its partner yet.
            if (++warnings == 1) {
                stateAtWarning = r.in("SampleWaitSave") ? QStringLiteral("kept") : QStringLiteral("running");
                r.run(QStringLiteral("S3 R3 S6"));
            }
        } else {
            stored << pair;
        }
        emit r.c.cmdSaveOver();
    });
    r.run(QStringLiteral("start go S1 R1"));
    failing = QStringList{"2-2"};
    r.run(QStringLiteral("S2 R2"));
    // One warning, the run over before it showed, the pairs kept for the
    // operator.
    QCOMPARE(warnings, 1);
    QCOMPARE(stateAtWarning, QStringLiteral("kept"));
    QCOMPARE(stored, QStringList{"1-1"});
    QVERIFY(r.in("SampleWaitSave"));
    QCOMPARE(r.status(), VODEZ_Collector::UPLOAD);
    QCOMPARE(r.c.GetProgress(), r.c.GetProgressMax());
    r.run(QStringLiteral("R6"));              // still on its way when the warning closed
    QCOMPARE(r.uploads, (QStringList{"1-1", "2-2"}));   // nothing saved without the operator
    // Both boxes answer their stop: nothing more is taken.
    emit r.rx->onRecvStop();
    emit r.tx->TEM_Stoped();
    r.run(QStringLiteral("S7 R7"));
    QCOMPARE(warnings, 1);

    // Saving again stores each kept pair as its own point; one that fails
    // again stays kept.
    failing = QStringList{"3-3"};
    r.uploads.clear();
    emit r.c.onBtnSaveOK();
    settle();
    QCOMPARE(stored, (QStringList{"1-1", "2-2"}));
    QCOMPARE(r.uploads, (QStringList{"2-2", "3-3"}));
    QVERIFY(r.in("SampleWaitSave"));
    failing.clear();
    emit r.c.onBtnSaveOK();
    settle();
    QCOMPARE(stored, (QStringList{"1-1", "2-2", "3-3", "6-6"}));
    QVERIFY(r.in("SampleWaitParam"));
    for (const VODEZ_Data& d : r.records) {
        QCOMPARE(d.Sends.size(), 1);
        QCOMPARE(d.RepeatCount, 1);
        QCOMPARE(int(d.ContinueMode), 1);
    }

    // Discarding kept pairs drops them.
    failing = QStringList{"5-5"};
    r.run(QStringLiteral("start go S5 R5"));
    QVERIFY(r.in("SampleWaitSave"));
    r.saves.clear();
    emit r.c.onBtnSaveCancel();
    QCOMPARE(r.saves, QList<bool>{false});
    QVERIFY(r.in("SampleWaitParam"));
    QCOMPARE(stored.size(), 4);
}

// A continuous run whose second pair cannot be stored, the project
// answering inside the request ("failed", then "over"); what it stores is
// recorded.
struct FailingRun
{
    Rig r;
    QStringList failing{"2-2"};
    QStringList stored;
    QString whileWarned;     // sets that arrive while the failure's warning is open

    FailingRun()
    {
        r.c.setProperty("ContinueMode", int(VODEZ_Collector::Continue));
        QObject::connect(&r.c, &VODEZ_Collector::dataSave, [this](bool save) {
            if (!save)
                return;
            if (failing.contains(r.uploads.last())) {
                emit r.c.cmdSaveFailed();
                const QString arrivals = whileWarned;
                whileWarned.clear();
                r.run(arrivals);
            } else
                stored << r.uploads.last();
            emit r.c.cmdSaveOver();
        });
    }

    // Up to the failed second pair, kept for the operator.
    bool failed()
    {
        if (!r.online())
            return false;
        r.run(QStringLiteral("start go S1 R1 +1000 S2 R2"));
        failing.clear();
        return r.in("SampleWaitSave") && stored == QStringList{"1-1"};
    }

    void save()
    {
        emit r.c.onBtnSaveOK();
        settle();
    }
};

void TstCollector::saveBeforeTheBoxesStopEndsTheRun_data()
{
    // How the receiver's stop ends once the run is over; the transmitter
    // answers its own.
    QTest::addColumn<QString>("receiverEnd");
    QTest::newRow("answered") << "answer";
    QTest::newRow("request given up") << "expire";
    QTest::newRow("link closed") << "close";
}

void TstCollector::saveBeforeTheBoxesStopEndsTheRun()
{
    // The operator saves the kept pairs while the boxes are still stopping:
    // the save ends the run, and what they deliver afterwards is not its.
    QFETCH(QString, receiverEnd);
    FailingRun f;
    QVERIFY(f.failed());
    f.save();
    QCOMPARE(f.stored, (QStringList{"1-1", "2-2"}));
    QVERIFY(f.r.in("SampleWaitParam"));
    QCOMPARE(f.r.status(), VODEZ_Collector::IDLE);
    QCOMPARE(f.r.saves.last(), false);
    const int handedOn = f.r.uploads.size();
    f.r.run(QStringLiteral("S3 R3"));
    if (receiverEnd == QLatin1String("answer"))
        emit f.r.rx->onRecvStop();
    else if (receiverEnd == QLatin1String("expire"))
        emit f.r.rx->RequestExpired(2);
    else
        emit f.r.rx->ComClosed();
    emit f.r.tx->TEM_Stoped();
    settle();
    f.r.run(QStringLiteral("S4 R4"));
    QCOMPARE(f.r.uploads.size(), handedOn);
    QCOMPARE(f.stored, (QStringList{"1-1", "2-2"}));
}

void TstCollector::keptSetsArePairedAsTheRunPairsThem_data()
{
    QTest::addColumn<QString>("whileWarned");
    QTest::addColumn<QString>("arrivals");    // after the warning, the boxes stopping
    QTest::addColumn<QStringList>("kept");
    // One push a second.
    QTest::newRow("in step") << "" << "+1000 S3 R3 +1000 R4 S4" << QStringList{"3-3", "4-4"};
    QTest::newRow("receiver skips a push")
        << "" << "+1000 S3 +1000 S4 R4 +1000 S5 R5" << QStringList{"4-4", "5-5"};
    QTest::newRow("transmitter skips a push")
        << "" << "+1000 R3 +1000 R4 S4 +1000 R5 S5" << QStringList{"4-4", "5-5"};
    // The warning runs inside the receive pass of the box whose set
    // completed the failed pair: that box's sets come only after it.
    QTest::newRow("receiver held by the warning")
        << "+1000 S3 +1000 S4 +1000 S5" << "+4000 R3 R4 R5" << QStringList{"3-3", "4-4", "5-5"};
    // The box whose set was held back delivers only that one: once the
    // operator saves, it is its partner's.
    QTest::newRow("receiver held by the warning, one set")
        << "+1000 S3" << "+4000 R3" << QStringList{"3-3"};
}

void TstCollector::keptSetsArePairedAsTheRunPairsThem()
{
    QFETCH(QString, whileWarned);
    QFETCH(QString, arrivals);
    QFETCH(QStringList, kept);
    FailingRun f;
    f.whileWarned = whileWarned;
    QVERIFY(f.failed());
    f.r.run(arrivals);
    emit f.r.rx->onRecvStop();
    emit f.r.tx->TEM_Stoped();
    f.save();
    QCOMPARE(f.stored, (QStringList{"1-1", "2-2"} + kept));
    QVERIFY(f.r.in("SampleWaitParam"));
}

void TstCollector::continuousRunWithASilentBoxEnds_data()
{
    QTest::addColumn<bool>("receiverSilent");   // else the transmitter
    QTest::newRow("receiver silent") << true;
    QTest::newRow("transmitter silent") << false;
}

void TstCollector::continuousRunWithASilentBoxEnds()
{
    // 25 Hz x 25 periods: 1 s a pair, so the next pair is overdue 12 s after
    // the last set of it, however long the other box pushes on. The watch
    // counts on a steady clock with an origin of its own, far from any time
    // of day; the boxes are still told the time of day.
    QFETCH(bool, receiverSilent);
    Rig r;
    auto clock = std::make_shared<qint64>(0);
    r.c.SetClock([clock] { return *clock; });
    r.c.setProperty("ContinueMode", int(VODEZ_Collector::Continue));
    QVERIFY(r.online());
    r.run(QStringLiteral("start go S1 R1"));
    QVERIFY(qAbs(r.rx->GetConfig().SendTime - QDateTime::currentMSecsSinceEpoch()) < 60000);
    const QString push = receiverSilent ? QStringLiteral("S") : QStringLiteral("R");
    for (int id = 2; id <= 13; ++id) {       // the first set of pair 2, then eleven beyond it
        r.run(push + QString::number(id));
        r.c.SweepLinks();
        QCOMPARE(r.status(), VODEZ_Collector::SAMPLING);
        *clock += (id < 13 ? 1000 : 999);
    }
    r.c.SweepLinks();
    QCOMPARE(r.status(), VODEZ_Collector::SAMPLING);
    *clock += 1;
    r.c.SweepLinks();
    settle();
    QVERIFY(r.in("SampleWaitParam"));
    QCOMPARE(r.c.GetStatusConnect(), kOverdue);
    QCOMPARE(r.uploads, QStringList{"1-1"});
}

void TstCollector::refusalsStillAdvance()
{
    Rig r;
    QVERIFY(r.online());
    r.run(QStringLiteral("start"));
    QVERIFY(r.in("SetParam_ConfigChannel"));
    r.acceptChannels();
    QVERIFY(r.in("SetParam_ConfigRecv"));
    emit r.rx->onRecvConfiged(false);
    QVERIFY(r.in("SetParam_ConfigSend"));
    emit r.tx->TEM_Configed(0);
    QVERIFY(r.in("SetParam_Start"));
    emit r.tx->TEM_Strated(true);
    QCOMPARE(r.status(), VODEZ_Collector::SAMPLING);

    // An event of the repeat type before any data configures the boxes again.
    r.c.onTestEvent();
    QTRY_VERIFY(r.in("SetParam_ConfigChannel"));
    QCOMPARE(r.status(), VODEZ_Collector::SETPARAM);

    // Self-check soundings never ask for gate channels.
    r.run(QStringLiteral("stop"));
    r.c.setProperty("SampleMode", int(VODEZ_Collector::SelfCheck));
    emit r.c.onBtnSampleStart();
    settle();
    QVERIFY(r.in("SetParam_ConfigRecv"));
}

void TstCollector::refusedStartEndsTheSounding()
{
    // The transmitter that drives the loop refuses to start: nothing of
    // this sounding will come, so it ends at once and says which box.
    Rig r;
    QVERIFY(r.online());
    QSignalSpy stops(&r.c, &VODEZ_Collector::cmdSampleStop);
    r.run(QStringLiteral("start"));
    r.acceptChannels();
    emit r.rx->onRecvConfiged(true);
    emit r.tx->TEM_Configed(1);
    QVERIFY(r.in("SetParam_Start"));
    emit r.tx->TEM_Strated(false);
    settle();
    // The Wi-Fi probe of this repeat answers too; it covers nothing.
    QThreadPool::globalInstance()->waitForDone();
    settle();
    QCOMPARE(stops.count(), 1);
    QVERIFY(r.in("SampleWaitParam"));
    QCOMPARE(r.c.GetStatusConnect(), kStartRefused);
    QCOMPARE(r.c.GetProgressMax(), 0);
    // A refusal outside the start changes nothing; the next start clears the text.
    emit r.tx->TEM_Strated(false);
    QCOMPARE(stops.count(), 1);
    r.run(QStringLiteral("start"));
    QCOMPARE(r.c.GetStatusConnect(), kOnline);
}

void TstCollector::unusableGateChannelsEndTheSounding_data()
{
    QTest::addColumn<double>("tableFs");     // 0: no table built
    QTest::addColumn<bool>("accepted");
    QTest::newRow("refused") << 25.0 << false;
    QTest::newRow("accepted, no table") << 0.0 << true;
    QTest::newRow("accepted, table of another frequency") << 62.5 << true;
}

void TstCollector::unusableGateChannelsEndTheSounding()
{
    // Every decay would be dropped against such a table: the sounding ends
    // at once and says why, instead of showing "sampling" for ever.
    QFETCH(double, tableFs);
    QFETCH(bool, accepted);
    Rig r;
    QVERIFY(r.online());
    QSignalSpy stops(&r.c, &VODEZ_Collector::cmdSampleStop);
    r.run(QStringLiteral("start"));
    if (tableFs > 0)
        r.rx->SetAutoTimeChannel(float(tableFs), 625000.0f, 1250);
    emit r.rx->onRecvAutoChannel(accepted);
    settle();
    QCOMPARE(stops.count(), 1);
    QVERIFY(r.in("SampleWaitParam"));
    QCOMPARE(r.status(), VODEZ_Collector::IDLE);
    QCOMPARE(r.c.GetStatusConnect(), QStringLiteral("<p style='color:red;'>时间道设置失败</p>"));
    // A late answer outside the channel step changes nothing.
    emit r.rx->onRecvAutoChannel(true);
    QCOMPARE(stops.count(), 1);
    QVERIFY(r.in("SampleWaitParam"));
    // Said until the next start, which clears it.
    r.run(QStringLiteral("start"));
    QCOMPARE(r.c.GetStatusConnect(), kOnline);
}

void TstCollector::unansweredCommandWaitsUntilStop()
{
    Rig r;
    QVERIFY(r.online());
    r.run(QStringLiteral("start"));
    r.acceptChannels();
    QVERIFY(r.in("SetParam_ConfigRecv"));
    // The rig's links are not open, so nothing went out and nothing is
    // given up: the links' time-outs do not move it on.
    auto clock = std::make_shared<qint64>(0);
    r.c.SetClock([clock] { return *clock; });
    for (int sweep = 0; sweep < 5; ++sweep) {
        *clock += 101000;
        r.c.SweepLinks();
    }
    settle();
    QVERIFY(r.in("SetParam_ConfigRecv"));
    QCOMPARE(r.status(), VODEZ_Collector::SETPARAM);
    r.run(QStringLiteral("stop"));
    QVERIFY(r.in("SampleWaitParam"));
    QCOMPARE(r.c.GetProgress(), 0);
    QCOMPARE(r.c.GetProgressMax(), 0);
    // Stop outside a sounding sends its commands but changes nothing.
    r.run(QStringLiteral("stop"));
    QVERIFY(r.in("SampleWaitParam"));
}

void TstCollector::linkLostDuringSampling()
{
    Rig r;
    QVERIFY(r.online());
    r.run(QStringLiteral("start go S1"));
    QThreadPool::globalInstance()->waitForDone();   // the Wi-Fi probe has answered
    settle();
    r.c.ProgressAdd();
    const int shown = r.c.GetProgress();
    QVERIFY(shown > 0);
    emit r.rx->ComClosed();
    QVERIFY(r.in("DeviceConnecting"));        // DeviceInit re-opened the link at once
    // The sounding is gone: the start button is back and the bar empty,
    // also against a tick that was already on its way.
    QCOMPARE(r.status(), VODEZ_Collector::DISCONN);
    QCOMPARE(r.c.GetProgress(), 0);
    QCOMPARE(r.c.GetProgressMax(), 0);
    r.c.ProgressAdd();
    QCOMPARE(r.c.GetProgress(), 0);
    r.run(QStringLiteral("R1"));
    QVERIFY(r.uploads.isEmpty());              // no sounding runs any more
    emit r.rx->ComConnected();
    settle();
    QVERIFY(r.in("SampleWaitParam"));
    QCOMPARE(r.c.GetStatusConnect(), kDropped);
    // It stays said until the next start.
    r.run(QStringLiteral("stop"));
    QCOMPARE(r.c.GetStatusConnect(), kDropped);
    r.run(QStringLiteral("start"));
    QCOMPARE(r.c.GetStatusConnect(), kOnline);
    r.run(QStringLiteral("go R2 S2"));
    QCOMPARE(r.uploads, QStringList{"2-2"});   // the abandoned set is gone
}

void TstCollector::droppedSoundingIsForgottenWithTheLinks()
{
    // Said once the links are back; the operator's disconnect ends that.
    Rig r;
    QVERIFY(r.online());
    r.run(QStringLiteral("start go S1"));
    QThreadPool::globalInstance()->waitForDone();   // the Wi-Fi probe has answered
    settle();
    emit r.rx->ComClosed();
    emit r.rx->ComConnected();
    settle();
    QCOMPARE(r.c.GetStatusConnect(), kDropped);
    emit r.c.onBtnDisconn();
    QCOMPARE(r.c.GetStatusConnect(), kNotConnected);
    emit r.c.onBtnConnect();
    emit r.rx->ComConnected();
    emit r.tx->ComConnected();
    settle();
    QVERIFY(r.in("SampleWaitParam"));
    QCOMPARE(r.c.GetStatusConnect(), kOnline);
}

void TstCollector::finishedSoundingSurvivesLinkDrop()
{
    for (const bool keep : {true, false}) {
        Rig r;
        r.c.setProperty("ParamRepeat", 1);
        QVERIFY(r.online());
        r.run(QStringLiteral("start go S1 R1"));
        QCOMPARE(r.status(), VODEZ_Collector::UPLOAD);
        r.saves.clear();
        emit r.tx->ComClosed();
        settle();
        // Still waiting for the operator, the sounding kept, the link shown down.
        QVERIFY(r.in("SampleWaitSave"));
        QVERIFY(r.saves.isEmpty());
        QCOMPARE(r.c.GetStatusConnect(), linkText("状态更新", false, true));
        if (keep) {
            emit r.c.onBtnSaveOK();
            QCOMPARE(r.saves, QList<bool>{true});
            emit r.c.cmdSaveOver();
        } else {
            emit r.c.onBtnSaveCancel();
        }
        settle();
        // Decided: now reconnect what is down.
        QVERIFY(r.in("DeviceConnecting"));
        QCOMPARE(r.saves.last(), false);
        emit r.tx->ComConnected();
        settle();
        QVERIFY(r.in("SampleWaitParam"));
    }
}

void TstCollector::failedSaveIsNotADiscard()
{
    // The project answers inside the request: "failed", then "over".
    Rig r;
    r.c.setProperty("ParamRepeat", 1);
    QVERIFY(r.online());
    r.run(QStringLiteral("start go S1 R1"));
    bool fail = true;
    connect(&r.c, &VODEZ_Collector::dataSave, [&](bool save) {
        if (!save)
            return;
        if (fail)
            emit r.c.cmdSaveFailed();
        emit r.c.cmdSaveOver();
    });
    r.saves.clear();
    emit r.c.onBtnSaveOK();
    settle();
    QCOMPARE(r.status(), VODEZ_Collector::UPLOAD);
    QVERIFY(r.in("SampleWaitSave"));
    QCOMPARE(r.saves, QList<bool>{true});      // nothing discarded
    fail = false;
    emit r.c.onBtnSaveOK();                    // the operator retries
    settle();
    QCOMPARE(r.saves, (QList<bool>{true, true, false}));
    QCOMPARE(r.status(), VODEZ_Collector::IDLE);
}

void TstCollector::parametersFrozenForTheSounding()
{
    Rig r;
    r.c.setProperty("ParamFs", 62.5);
    r.c.setProperty("ParamPeriod", 25);
    r.c.setProperty("ParamRepeat", 2);
    QVERIFY(r.online());
    r.run(QStringLiteral("start go S1"));
    // Edits while the sounding runs (for example a line's stored parameters).
    r.c.onLoad_Param(25.0, 50, 1);
    r.c.setProperty("SampleMode", int(VODEZ_Collector::SelfCheck));
    r.run(QStringLiteral("R1 go S2 R2"));
    QCOMPARE(r.uploads, (QStringList{"1-1", "1-1 2-2"}));
    for (const VODEZ_Data& d : r.records) {
        QCOMPARE(d.ParamFs, 62.5f);
        QCOMPARE(d.ParamPeriod, 25);
        QCOMPARE(int(d.SampleMode), 0);
        QCOMPARE(int(d.ContinueMode), 0);
    }
    QCOMPARE(r.c.GetProgressMax(), 800);
    // The next start takes the edited values.
    r.run(QStringLiteral("save"));
    r.c.setProperty("ContinueMode", int(VODEZ_Collector::Single));
    r.run(QStringLiteral("start go S3 R3"));
    QCOMPARE(r.records.last().ParamFs, 25.0f);
    QCOMPARE(r.records.last().ParamPeriod, 50);
    QCOMPARE(int(r.records.last().SampleMode), 1);
}

void TstCollector::pushBeforeStartReplyDoesNotStall()
{
    for (const int repeats : {1, 2}) {
        Rig r;
        r.c.setProperty("ParamRepeat", repeats);
        QVERIFY(r.online());
        r.run(QStringLiteral("start"));
        r.acceptChannels();
        emit r.rx->onRecvConfiged(true);
        emit r.tx->TEM_Configed(1);
        QVERIFY(r.in("SetParam_Start"));
        r.run(QStringLiteral("S1 R1"));     // the boxes push before the start reply
        QCOMPARE(r.uploads, QStringList{"1-1"});
        emit r.tx->TEM_Strated(true);
        settle();
        if (repeats == 1) {
            QCOMPARE(r.status(), VODEZ_Collector::UPLOAD);
            QCOMPARE(r.c.GetProgress(), r.c.GetProgressMax());
            QCOMPARE(r.c.GetProgressMax(), 1000);
        } else {
            QVERIFY(r.in("SetParam_ConfigRecv"));   // on to the second repeat
            QCOMPARE(r.c.GetProgressMax(), 2000);
            QCOMPARE(r.c.GetProgress(), 1000);
            r.run(QStringLiteral("go S2 R2"));
            QCOMPARE(r.status(), VODEZ_Collector::UPLOAD);
        }
    }
}

void TstCollector::lateLinkAfterDisconnectIsClosed()
{
    Rig r;
    QSignalSpy connected(&r.c, &VODEZ_Collector::deviceConnected);
    r.c.Start();
    QTRY_VERIFY(r.in("DeviceWaitSet"));
    emit r.c.onBtnConnect();
    emit r.c.onBtnDisconn();                   // attempts still under way
    emit r.rx->ComConnected();
    emit r.tx->ComConnected();
    settle();
    QCOMPARE(connected.count(), 0);
    QCOMPARE(r.c.GetStatusConnect(), kNotConnected);
    QVERIFY(r.in("DeviceWaitSet"));
    // The next connect opens both links again and waits for both.
    emit r.c.onBtnConnect();
    emit r.rx->ComConnected();
    QCOMPARE(r.c.GetStatusConnect(), linkText("状态更新", false, true));

    // Disconnect, then connect with an address that is refused: an attempt
    // of the earlier connect that comes up now is closed too, and the
    // refusal stays shown.
    emit r.c.onBtnDisconn();
    r.c.setProperty("DeviceIP_Send", QStringLiteral("vodez-box.local"));
    emit r.c.onBtnConnect();
    QVERIFY(r.in("DeviceInit"));
    emit r.rx->ComConnected();
    emit r.tx->ComConnected();
    settle();
    QCOMPARE(connected.count(), 0);
    QCOMPARE(r.c.GetStatusConnect(), QStringLiteral("<p style='color:red;'>IP不合规</p>"));
    // With the address mended, the next connect waits for both links again.
    emit r.c.onBtnDisconn();
    r.c.setProperty("DeviceIP_Send", QStringLiteral("127.0.4.10"));
    emit r.c.onBtnConnect();
    emit r.tx->ComConnected();
    QCOMPARE(r.c.GetStatusConnect(), linkText("状态更新", true, false));
}

void TstCollector::wifiTextNeverCoversADownLink()
{
    Rig r;
    QVERIFY(r.online());
    r.run(QStringLiteral("start"));
    r.acceptChannels();
    emit r.rx->onRecvConfiged(true);           // SetParam_ConfigSend starts the probe
    QVERIFY(r.in("SetParam_ConfigSend"));
    emit r.tx->ComClosed();
    QCOMPARE(r.c.GetStatusConnect(), linkText("正在连接", false, true));
    QThreadPool::globalInstance()->waitForDone();
    settle();                                   // the probe's answer is delivered
    QCOMPARE(r.c.GetStatusConnect(), linkText("正在连接", false, true));

    // With both links up the probe's text is shown.
    emit r.tx->ComConnected();
    settle();
    r.run(QStringLiteral("start"));
    r.acceptChannels();
    emit r.rx->onRecvConfiged(true);
    QThreadPool::globalInstance()->waitForDone();
    QTRY_COMPARE(r.c.GetStatusConnect(), VODEZ_Collector::WifiStatusText(GetWifiSignalQuality()));
#ifdef Q_OS_WIN
    // Wine's WLAN service has no interface: connected, without a signal.
    if (underWine())
        QCOMPARE(r.c.GetStatusConnect(), QStringLiteral("已连接"));
#endif
}

QTEST_MAIN(TstCollector)
#include "tst_collector.moc"
