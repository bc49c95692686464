#include "VODEZ_Collector.h"

#include "CollectorStates.h"
#include "ILibRecv_DUD4004.h"
#include "WifiSignal.h"
#include "iLibSend.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFutureWatcher>
#include <QRegularExpression>
#include <QSignalTransition>
#include <QThreadPool>
#include <QtConcurrent>

#include <climits>
#include <cmath>
#include <functional>

Q_LOGGING_CATEGORY(lcPairing, "vodez.acquisition.pairing")

namespace {

const quint16 kDevicePort = 12345;
const int kConnectTimeoutMs = 10000;
const int kProgressStepMs = 200;
const int kAutoChannelCount = 1250;
// How long the stop commands may take to reach the boxes when the links go.
const int kStopWaitMs = 1000;
const QEvent::Type kRepeatEvent = QEvent::Type(QEvent::User); // 1000

QString textNotConnected() { return QStringLiteral("<p style='color:red;'>未连接</p>"); }
QString textInit() { return QStringLiteral("<p style='color:red;'>初始化连接</p>"); }
QString textBadAddress() { return QStringLiteral("<p style='color:red;'>IP不合规</p>"); }
QString textConnecting()
{
    return QStringLiteral("正在连接 <span style='color:%1;'>发 </span><span style='color:%2;'>收</span>");
}
QString textLinkUpdate()
{
    return QStringLiteral("状态更新 <span style='color:%1;'>发 </span><span style='color:%2;'>收</span>");
}
QString textRetry() { return QStringLiteral("<p style='color:red;'>重试</p>"); }
QString textOnline() { return QStringLiteral("<p style='color:green;'>已连接</p>"); }

// The receiver refused the gate channels or answered with nothing usable:
// no decay of this sounding could be timed.
QString textNoGates() { return QStringLiteral("<p style='color:red;'>时间道设置失败</p>"); }
// A box never answered a command of the sounding, re-sends included.
QString textNoAnswerSend() { return QStringLiteral("<p style='color:red;'>发送机无应答</p>"); }
QString textNoAnswerRecv() { return QStringLiteral("<p style='color:red;'>接收机无应答</p>"); }
// The transmitter answered its start with a failure: it drives no loop.
QString textStartRefused() { return QStringLiteral("<p style='color:red;'>发送机启动失败</p>"); }
// The data of a repeat stopped coming.
QString textDataOverdue() { return QStringLiteral("<p style='color:red;'>数据超时</p>"); }
// A link was lost while the sounding ran: its data are gone.
QString textDropped() { return QStringLiteral("<p style='color:red;'>断线,采集已丢弃</p>"); }

// How often the wait for a repeat's data is checked, and how long a repeat
// may go without a data set beyond twice its own duration.
const int kOverdueCheckMs = 1000;
const qint64 kOverdueGraceMs = 10000;

int clampToInt(qint64 v)
{
    if (v < 0)
        return 0;
    if (v > INT_MAX)
        return INT_MAX;
    return int(v);
}

// A signal transition that is taken only while its gate says so.
class GatedSignalTransition : public QSignalTransition
{
public:
    GatedSignalTransition(const VODEZ_Collector* sender, void (VODEZ_Collector::*signal)(),
                          std::function<bool()> gate)
        : QSignalTransition(sender, signal)
        , gate(std::move(gate))
    {
    }

protected:
    bool eventTest(QEvent* event) override { return QSignalTransition::eventTest(event) && gate(); }

private:
    std::function<bool()> gate;
};

} // namespace

VODEZ_Collector::VODEZ_Collector(QObject* parent)
    : HCollector(parent)
    , receiver(nullptr)
    , transmitter(nullptr)
    , DeviceIP_Send(QStringLiteral("192.168.0.9"))
    , DeviceIP_Recv(QStringLiteral("192.168.0.10"))
    , StatusConnect(textNotConnected())
    , ParamFs(25.0)
    , ParamPeriod(25)
    , ParamRepeat(2)
{
    registerDeviceRecordTypes();

    receiver = new ILibRecv_DUD4004(this);
    transmitter = new iLibSend(this);

    connect(receiver, &Communication::ComConnected, this, &VODEZ_Collector::onRecvComConnected);
    connect(receiver, &Communication::ComClosed, this, &VODEZ_Collector::onRecvComClosed);
    connect(transmitter, &Communication::ComConnected, this, &VODEZ_Collector::onSendComConnected);
    connect(transmitter, &Communication::ComClosed, this, &VODEZ_Collector::onSendComClosed);
    // A reply moves the sounding on whatever it says: a refusal is not judged here.
    connect(receiver, &ILibRecv_DUD4004::onRecvAutoChannel, this, &VODEZ_Collector::onAutoChannelAnswer);
    connect(receiver, &ILibRecv_DUD4004::onRecvConfiged, this, &VODEZ_Collector::cmdConfigSend);
    connect(transmitter, &iLibSend::TEM_Configed, this, &VODEZ_Collector::deviceConfiged);
    connect(transmitter, &iLibSend::TEM_Strated, this, &VODEZ_Collector::onStartAnswer);
    connect(transmitter, &iLibSend::TEM_NewSendData, this, &VODEZ_Collector::onDeviceData_Send);
    connect(transmitter, &iLibSend::TEM_SendMonitor, this, &VODEZ_Collector::onDeviceData_Monitor);
    connect(receiver, &ILibRecv_DUD4004::onRecvData, this, &VODEZ_Collector::onDeviceData_Recv);
    connect(&progressTimer, &QTimer::timeout, this, &VODEZ_Collector::ProgressAdd);
    overdueTimer.setInterval(kOverdueCheckMs);
    connect(&overdueTimer, &QTimer::timeout, this, &VODEZ_Collector::checkRepeatOverdue);
    // A stop that was never answered leaves nothing more to wait for.
    connect(receiver, &Communication::RequestExpired, this, [this] {
        run.stopAnswered(RunLedger::Receiver);
        onRequestExpired(textNoAnswerRecv());
    });
    connect(transmitter, &Communication::RequestExpired, this, [this] {
        run.stopAnswered(RunLedger::Transmitter);
        onRequestExpired(textNoAnswerSend());
    });
    connect(receiver, &ILibRecv_DUD4004::onRecvStop, this, [this] { run.stopAnswered(RunLedger::Receiver); });
    connect(transmitter, &iLibSend::TEM_Stoped, this, [this] { run.stopAnswered(RunLedger::Transmitter); });
    // The project reports a failed save before it warns, inside the request.
    // The machine takes the failure's transition on the same signal, before
    // or after this handler: what it decides stands on the run's
    // bookkeeping, never on the state the machine is in by then.
    connect(this, &VODEZ_Collector::cmdSaveFailed, this, &VODEZ_Collector::onSaveFailed);

    InitStateMachine();
}

VODEZ_Collector::~VODEZ_Collector()
{
    // The protocol objects go with the QObject children, after this object's
    // own members: they must not call back into it while they close.
    disconnect(receiver, nullptr, this, nullptr);
    disconnect(transmitter, nullptr, this, nullptr);
    progressTimer.stop();
    overdueTimer.stop();
}

void VODEZ_Collector::InitStateMachine()
{
    using namespace CollectorStates;
    // Every step is checked: a name or signature that does not match would
    // leave a machine that silently stops somewhere.
    bool built = true;
    struct StateRow {
        const QString& name;
        const char* entry;
        const char* exit;
    };
    auto addStates = [&](const QString* parent, std::initializer_list<StateRow> rows) {
        bool first = true;
        for (const StateRow& row : rows) {
            built &= parent ? AddChildState(row.name, *parent, first) : AddState(row.name) != nullptr;
            first = false;
        }
        for (const StateRow& row : rows) {
            if (row.entry)
                built &= SetEntry(row.name, this, QString::fromLatin1(row.entry));
            if (row.exit)
                built &= SetExit(row.name, this, QString::fromLatin1(row.exit));
        }
    };
    auto onSignal = [&](const QString& from, const QString& to, auto signal) {
        auto* transition = new QSignalTransition(this, signal);
        transition->setParent(this);
        built &= AddTransition(from, to, transition);
    };
    auto onGuard = [&](const QString& from, const QString& to, const char* guard) {
        built &= AddGuardTransition(from, to, this, QString::fromLatin1(guard));
    };
    // A transition without target: the signal is taken by the state and
    // hides the same signal's transitions of its parents.
    auto keepState = [&](const QString& state, auto signal) {
        auto* transition = new QSignalTransition(this, signal);
        transition->setParent(this);
        if (QState* source = states.value(state, nullptr))
            source->addTransition(transition);
        else
            built = false;
        return transition;
    };

    addStates(nullptr, {{DeviceWaitSet, "OnEntry_DeviceWait()", nullptr},
                        {DeviceInit, "OnEntry_DeviceInit()", nullptr},
                        {DeviceConnecting, "OnEntry_DeviceConnecting()", "OnExit_DeviceConnecting()"},
                        {DeviceOnline, "OnEntry_DeviceOnline()", nullptr}});
    onSignal(DeviceWaitSet, DeviceInit, &VODEZ_Collector::onBtnConnect);
    onSignal(DeviceInit, DeviceWaitSet, &VODEZ_Collector::onBtnDisconn);
    onSignal(DeviceInit, DeviceConnecting, &VODEZ_Collector::tryConnect);
    onSignal(DeviceConnecting, DeviceWaitSet, &VODEZ_Collector::onBtnDisconn);
    onSignal(DeviceConnecting, DeviceInit, &VODEZ_Collector::deviceDisconnect);
    onSignal(DeviceConnecting, DeviceOnline, &VODEZ_Collector::deviceConnected);
    onSignal(DeviceOnline, DeviceWaitSet, &VODEZ_Collector::onBtnDisconn);
    onSignal(DeviceOnline, DeviceInit, &VODEZ_Collector::deviceDisconnect);
    built &= AddTimeout(DeviceConnecting, DeviceInit, kConnectTimeoutMs);
    built &= WorkInit(DeviceWaitSet);

    addStates(&DeviceOnline, {{SampleWaitParam, "OnEntry_SampleWaitParam()", nullptr},
                              {SampleSetParam, "OnEntry_SampleSetParam()", "OnExit_SampleSetParam()"},
                              {SampleDataUpload, "OnEntry_SampleDataUpload()", nullptr},
                              {SampleWaitSave, "OnEntry_SampleWaitSave()", nullptr},
                              {SampleDataSave, "OnEntry_SampleDataSave()", "OnExit_SampleDataSave()"}});
    onSignal(SampleWaitParam, SampleSetParam, &VODEZ_Collector::onBtnSampleStart);
    // The parameters are taken when the sounding starts, before the first
    // repeat is configured; later edits apply from the next start.
    if (QAbstractTransition* start = transitions.value(SampleWaitParam + QLatin1Char(':') + SampleSetParam))
        connect(start, &QAbstractTransition::triggered, this, &VODEZ_Collector::takeSoundingParams);
    onSignal(SampleSetParam, SampleWaitParam, &VODEZ_Collector::cmdSampleStop);
    onSignal(SampleSetParam, SampleDataUpload, &VODEZ_Collector::deviceStarted);
    onSignal(SampleDataUpload, SampleWaitParam, &VODEZ_Collector::cmdSampleStop);
    onGuard(SampleDataUpload, SampleSetParam, "HSample_UploadToSet(QEvent*)");
    onGuard(SampleDataUpload, SampleWaitSave, "HSample_UploadToWaitsave(QEvent*)");
    onSignal(SampleWaitSave, SampleWaitParam, &VODEZ_Collector::onBtnSaveCancel);
    onSignal(SampleWaitSave, SampleDataSave, &VODEZ_Collector::onBtnSaveOK);
    // Kept pairs of a continuous run are saved one by one, each answered:
    // only the answer that leaves none of them behind ends the saving, and
    // with it the run, whether or not each box has answered its stop.
    {
        auto* over = new GatedSignalTransition(this, &VODEZ_Collector::cmdSaveOver,
                                               [this] { return saveLeavesRun(); });
        over->setParent(this);
        built &= AddTransition(SampleDataSave, SampleWaitParam, over);
        connect(over, &QAbstractTransition::triggered, this, &VODEZ_Collector::leaveUnansweredStops);
    }
    onSignal(SampleDataSave, SampleWaitSave, &VODEZ_Collector::cmdSaveFailed);
    // A continuous run whose pair could not be stored stops and keeps it.
    onSignal(SampleSetParam, SampleWaitSave, &VODEZ_Collector::cmdSaveFailed);
    onSignal(SampleDataUpload, SampleWaitSave, &VODEZ_Collector::cmdSaveFailed);

    // A finished sounding lives only in memory until the operator saves or
    // discards it, and saving needs no link: a link lost meanwhile is
    // re-opened only once the decision is made (SampleWaitParam's entry).
    for (const QString& kept : {SampleWaitSave, SampleDataSave}) {
        auto* lost = keepState(kept, &VODEZ_Collector::deviceDisconnect);
        connect(lost, &QSignalTransition::triggered, this, [this] { showLinkFlags(textLinkUpdate()); });
    }

    addStates(&SampleSetParam, {{SetParam_ConfigChannel, "OnEntry_SetParam_ConfigChannel()", nullptr},
                                {SetParam_ConfigRecv, "OnEntry_SetParam_ConfigRecv()", nullptr},
                                {SetParam_ConfigSend, "OnEntry_SetParam_ConfigSend()", nullptr},
                                {SetParam_Start, "OnEntry_SetParam_Start()", nullptr}});
    onSignal(SetParam_ConfigChannel, SetParam_ConfigRecv, &VODEZ_Collector::cmdConfigRecv);
    onSignal(SetParam_ConfigRecv, SetParam_ConfigSend, &VODEZ_Collector::cmdConfigSend);
    onSignal(SetParam_ConfigSend, SetParam_Start, &VODEZ_Collector::deviceConfiged);

    if (!built)
        qCritical("VODEZ_Collector: the state machine is not built as designed; see the warnings above");
}

// ------------------------------------------------------------------ properties

void VODEZ_Collector::SetDeviceIP_Send(const QString& v)
{
    if (v == DeviceIP_Send)
        return;
    DeviceIP_Send = v;
    emit sendIPChanged(v);
}

void VODEZ_Collector::SetDeviceIP_Recv(const QString& v)
{
    if (v == DeviceIP_Recv)
        return;
    DeviceIP_Recv = v;
    emit recvIPChanged(v);
}

void VODEZ_Collector::SetStatusConnect(const QString& v)
{
    if (v == StatusConnect)
        return;
    StatusConnect = v;
    emit statusConnectChanged(v);
}

void VODEZ_Collector::WriteParamRepeat(int v)
{
    if (v == ParamRepeat)
        return;
    ParamRepeat = v;
    emit onParamRepeatChanged();
}

void VODEZ_Collector::WriteSampleMode(VODEZSampleMode v)
{
    if (v == SampleMode)
        return;
    SampleMode = v;
    emit onSampleModeChanged();
}

void VODEZ_Collector::WriteSendV(double v)
{
    if (v == SendV)
        return;
    SendV = v;
    emit onSendVChanged();
}

void VODEZ_Collector::WriteDeviceV(double v)
{
    if (v == DeviceV)
        return;
    DeviceV = v;
    emit onDeviceVChanged();
}

void VODEZ_Collector::WriteDeviceTemp(double v)
{
    if (v == DeviceTemp)
        return;
    DeviceTemp = v;
    emit onDeviceTempChanged();
}

void VODEZ_Collector::WriteProgress(int v)
{
    if (v == Progress)
        return;
    Progress = v;
    emit onProgressChanged(v);
}

void VODEZ_Collector::WriteProgressMax(int v)
{
    if (v == ProgressMax)
        return;
    ProgressMax = v;
    emit onProgressMaxChanged(v);
}

void VODEZ_Collector::WriteContinueMode(VODEZContinueMode v)
{
    if (v == ContinueMode)
        return;
    ContinueMode = v;
    emit onContinueModeChanged();
}

void VODEZ_Collector::SetSampleStatus(VODEZ_Collector::VODEZSampleStatus v)
{
    SampleStatus = v;
    emit onSampleStatusChanged();
}

void VODEZ_Collector::SetParamFs(double v)
{
    ParamFs = v;
    emit onParamFsChanged();
}

void VODEZ_Collector::SetParamPeriod(int v)
{
    ParamPeriod = v;
    emit onParamPeriodChanged();
}

void VODEZ_Collector::SetParamRepeat(int v)
{
    ParamRepeat = v;
    emit onParamRepeatChanged();
}

// --------------------------------------------------------------- public slots

void VODEZ_Collector::onPointStored(double line, double point)
{
    lastStored = std::make_pair(line, point);
    const QString at = QStringLiteral("line %1 point %2: ").arg(line).arg(point);
    for (const QString& drop : savingDoubts.dropsBefore)
        qCWarning(lcPairing).noquote() << at + drop + QStringLiteral(", just before this point");
    if (!savingDoubts.lag.isEmpty())
        qCWarning(lcPairing).noquote() << at + savingDoubts.lag;
    savingDoubts = PairDoubts();
}

QString VODEZ_Collector::dropText(const SetPairing::Decision& d)
{
    const bool send = d.step == SetPairing::Step::DropSend;
    const QString why = d.reason == SetPairing::Reason::LagShifted
        ? QStringLiteral("the lag between the boxes moved by whole pushes for good")
        : QStringLiteral("the %1's arrivals show a skipped push").arg(send ? "receiver" : "transmitter");
    return QStringLiteral("a %1 set without partner was dropped (%2)").arg(send ? "transmitter" : "receiver", why);
}

QString VODEZ_Collector::lagText(const SetPairing::Decision& d)
{
    if (!d.Doubtful())
        return QString();
    using Reason = SetPairing::Reason;
    const QString why = d.reason == Reason::CatchingUp ? QStringLiteral("a link delivered what it had held back")
        : d.reason == Reason::LagChanged               ? QStringLiteral("a link turned slower or faster")
                                                       : QStringLiteral("whole pushes off, not lasting");
    return QStringLiteral("paired in each box's order, %1 ms off the lag expected over a %2 ms push (%3)")
        .arg(d.lagOffMs)
        .arg(d.cadenceMs)
        .arg(why);
}

void VODEZ_Collector::flushPairingDoubts()
{
    // Drops no stored pair followed are told with the point they came
    // after; a pair that was never stored casts no doubt on a point.
    QStringList drops;
    for (const PairToStore& pair : pairsToStore)
        drops += pair.doubts.dropsBefore;
    drops += dropsPending;
    dropsPending.clear();
    const QString at = lastStored ? QStringLiteral("after line %1 point %2: ").arg(lastStored->first).arg(lastStored->second)
                                  : QStringLiteral("before the run stored a point: ");
    for (const QString& drop : drops)
        qCWarning(lcPairing).noquote() << at + drop;
}

void VODEZ_Collector::Start()
{
    WorkStart();
}

void VODEZ_Collector::onTestEvent()
{
    postRepeatEvent();
}

void VODEZ_Collector::onBtnSampleStop()
{
    const bool running = soundingRuns();
    stopBoxes();
    // What both boxes of a continuous run delivered is the run's, also the
    // sets whose place the pairing did not know yet: they are decided on
    // what is known and stored before the run ends. A save that fails here
    // keeps them for the operator and has ended the run already.
    if (running && soundContinueMode == Continue && !run.saving()) {
        CheckDataPair(true);
        if (!soundingRuns())
            return;
    }
    emit cmdSampleStop();
}

void VODEZ_Collector::stopBoxes(bool recv, bool send)
{
    // A request of the stopped sounding that is still pending would be sent
    // again by the link much later, into whatever runs then.
    abandonRequests();
    if (recv) {
        receiver->RecvStop();
        run.stopSent(RunLedger::Receiver);
    }
    if (send) {
        transmitter->TEM_Stop();
        run.stopSent(RunLedger::Transmitter);
    }
    progressTimer.stop();
    repeatSeen.reset();
    overdueTimer.stop();
}

void VODEZ_Collector::endSounding(const QString& text)
{
    onBtnSampleStop();
    SetStatusConnect(text);
    run.endingShown();
}

void VODEZ_Collector::onRequestExpired(const QString& text)
{
    // Only the commands of the running sounding are waited for: a box that
    // never answers one of them would leave it in the parameter phase for
    // good.
    if (soundingRuns())
        endSounding(text);
}

void VODEZ_Collector::onSaveFailed()
{
    run.saveFailed();
    // The warning comes next and runs while the boxes of a continuous run
    // still record: stop them first, and keep every set they deliver until
    // each has answered its stop, to be saved or discarded with the failed
    // pair. Whether they record is the run's to say: the machine may have
    // left the running state on this signal already.
    if (soundContinueMode != Continue || !run.mayRun())
        return;
    stopBoxes();
    run.keepUntilStopped();
}

void VODEZ_Collector::noteRepeatData(bool fromBoxAhead)
{
    // A set beyond what the other box has delivered is not of the pair
    // awaited: a box pushing on alone must not hide that its partner went
    // silent.
    if (fromBoxAhead || !repeatStarted || !soundingRuns())
        return;
    repeatSeen = now();
}

void VODEZ_Collector::checkRepeatOverdue()
{
    if (!repeatSeen || !repeatStarted || !soundingRuns()) {
        overdueTimer.stop();
        return;
    }
    // Until the start is answered the link's own give-up decides.
    if (!isActive(CollectorStates::SampleDataUpload))
        return;
    const qint64 limit = 2 * qint64(soundingTime) + kOverdueGraceMs;
    if (now() - *repeatSeen >= limit)
        endSounding(textDataOverdue());
}

void VODEZ_Collector::StopBoxesForExit(int waitMs)
{
    stopBoxesBeforeLinksGo(soundingRuns(), waitMs);
}

void VODEZ_Collector::stopBoxesBeforeLinksGo(bool sounding, int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    // Only a box that can be reached is told; one whose link is down keeps
    // owing its stop.
    const bool recv = receiverUp && (sounding || run.needsStop(RunLedger::Receiver));
    const bool send = transmitterUp && (sounding || run.needsStop(RunLedger::Transmitter));
    if (recv || send) {
        stopBoxes(recv, send);
        // Sets read while the commands leave belong to no sounding any more.
        repeatStarted = false;
    }
    // A socket only writes from the event loop, which the program leaves
    // before the links close: unflushed, the commands would die with them.
    // Both are waited for together, the transmitter's first: the box that
    // drives the loop gets its share however the receiver's link fares.
    if (Communication::Flush({transmitter, receiver}, deadline))
        run.stopsDelivered();
}

void VODEZ_Collector::abandonRequests()
{
    receiver->AbandonRequests();
    transmitter->AbandonRequests();
}

void VODEZ_Collector::SetClock(Communication::Clock clock)
{
    this->clock = clock;
    receiver->SetClock(clock);
    transmitter->SetClock(clock);
}

qint64 VODEZ_Collector::now() const
{
    return clock ? clock() : Communication::SteadyNow();
}

void VODEZ_Collector::SweepLinks()
{
    receiver->OnRequestTimout();
    transmitter->OnRequestTimout();
    checkRepeatOverdue();
}

bool VODEZ_Collector::IsIPv4Address(const QString& text)
{
    // Four decimal numbers 0-255 without leading zeros: the forms a socket
    // library also reads (octal, hexadecimal, fewer parts, one number) would
    // reach another host than the one the operator sees.
    static const QRegularExpression dotted(QStringLiteral(
        "^(?:(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\\.){3}"
        "(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])$"));
    return dotted.match(text).hasMatch();
}

void VODEZ_Collector::onLoad_Param(double SendFs, int SendPeriod, int ContinueModeArg)
{
    ParamFs = SendFs;
    emit onParamFsChanged();
    ParamPeriod = SendPeriod;
    emit onParamPeriodChanged();
    ContinueMode = ContinueModeArg != 0 ? Continue : Single;
    emit onContinueModeChanged();
}

void VODEZ_Collector::onLoad_Param(double SendFs, int SendPeriod)
{
    onLoad_Param(SendFs, SendPeriod, 0);
}

// ---------------------------------------------------------------- link events

void VODEZ_Collector::linkConnected(Communication* link, bool& up)
{
    // An attempt still under way when the operator disconnected: Close does
    // not stop an attempt, so the link that comes up late is closed here.
    // It never counts as up, so nothing is sent over it while it closes;
    // its close is announced like any other and finds it down already.
    if (lateLink()) {
        up = false;
        link->Close();
        return;
    }
    up = true;
    onDeviceConnected();
}

void VODEZ_Collector::linkClosed(bool& up)
{
    up = false;
    if (soundingRuns()) {
        // The sounding is abandoned with the link: no progress may run on
        // against the boxes, and the operator is told once they are back.
        run.dropped();
        progressTimer.stop();
    }
    // A box still reachable would go on acquiring for nothing, the
    // transmitter driving its loop, until its next push or the next start:
    // at the lowest frequencies minutes. It is told now, before the machine
    // leaves the run and the lost box is left owing its stop.
    if (run.mayRun() && (receiverUp || transmitterUp)) {
        const bool recv = receiverUp;
        const bool send = transmitterUp;
        stopBoxes(recv, send);
        if (recv)
            run.stopSentAwaitingReply(RunLedger::Receiver);
        if (send)
            run.stopSentAwaitingReply(RunLedger::Transmitter);
    }
    emit deviceDisconnect();
}

void VODEZ_Collector::onRecvComConnected()
{
    linkConnected(receiver, receiverUp);
}

void VODEZ_Collector::onRecvComClosed()
{
    // A box whose stop may not have gone out is told again once it is back.
    run.linkClosed(RunLedger::Receiver);
    linkClosed(receiverUp);
}

void VODEZ_Collector::onSendComConnected()
{
    linkConnected(transmitter, transmitterUp);
}

void VODEZ_Collector::onSendComClosed()
{
    run.linkClosed(RunLedger::Transmitter);
    linkClosed(transmitterUp);
}

void VODEZ_Collector::onDeviceConnected()
{
    if (transmitterUp && receiverUp)
        emit deviceConnected();
    else
        showLinkFlags(textLinkUpdate());
}

void VODEZ_Collector::showLinkFlags(const QString& format)
{
    const QString up = QStringLiteral("green");
    const QString down = QStringLiteral("red");
    SetStatusConnect(format.arg(transmitterUp ? up : down, receiverUp ? up : down));
}

QString VODEZ_Collector::WifiStatusText(int quality)
{
    if (quality < 0)
        return QStringLiteral("已连接");
    if (quality <= 79)
        return QStringLiteral("<span style='color:green;'>已连接 📶弱 %1</span>").arg(quality);
    if (quality <= 89)
        return QStringLiteral("<span style='color:green;'>已连接 📶中 %1</span>").arg(quality);
    return QStringLiteral("<span style='color:green;'>已连接 📶强 %1</span>").arg(quality);
}

void VODEZ_Collector::applyWifiStatus(const QString& text)
{
    // The probe may finish after a link went down: its "connected" text must
    // not cover the state of the links, nor why a sounding ended.
    if (transmitterUp && receiverUp && isActive(CollectorStates::DeviceOnline) && !run.showsEnding())
        SetStatusConnect(text);
}

bool VODEZ_Collector::isActive(const QString& stateName) const
{
    QState* state = states.value(stateName, nullptr);
    return state && machine->configuration().contains(state);
}

bool VODEZ_Collector::lateLink() const
{
    // Links are opened only on the way into DeviceConnecting. One that comes
    // up after a disconnect, also while a later connect sits on a refused
    // address in DeviceInit, belongs to an attempt the operator gave up.
    return isActive(CollectorStates::DeviceWaitSet) || isActive(CollectorStates::DeviceInit);
}

bool VODEZ_Collector::soundingRuns() const
{
    return isActive(CollectorStates::SampleSetParam) || isActive(CollectorStates::SampleDataUpload);
}

bool VODEZ_Collector::SoundingHeld() const
{
    return soundingRuns() || isActive(CollectorStates::SampleWaitSave)
        || isActive(CollectorStates::SampleDataSave);
}

// ----------------------------------------------------------- entry and exit

void VODEZ_Collector::noteAbandonedRun()
{
    // A run left without stop commands (a lost link, a box out of reach when
    // the links were let go) may go on in the boxes; each is told to stop
    // once the links are back.
    run.abandoned();
    repeatStarted = false;
    repeatSeen.reset();
    overdueTimer.stop();
    // Whatever the bar showed belonged to the sounding that is gone.
    progressTimer.stop();
    WriteProgressMax(0);
    WriteProgress(0);
}

void VODEZ_Collector::OnEntry_DeviceWait()
{
    // The operator lets the links go (the disconnect button, the project
    // closed): a box that may still be acquiring is told to stop first, as
    // at the program's end. The machine has left the sounding already; the
    // run's bookkeeping says which box may still acquire.
    stopBoxesBeforeLinksGo(false, kStopWaitMs);
    noteAbandonedRun();
    SetSampleStatus(DISCONN);
    SetStatusConnect(textNotConnected());
    // The links are let go: how an earlier sounding ended is no longer
    // said, also not once they are back.
    run.forgetEnding();
    transmitterUp = false;
    receiverUp = false;
    receiver->Close();
    transmitter->Close();
}

void VODEZ_Collector::OnEntry_DeviceInit()
{
    noteAbandonedRun();
    // The start button comes back: the abandoned sounding no longer runs.
    if (run.droppedSounding())
        SetSampleStatus(DISCONN);
    SetStatusConnect(textInit());
    if (!IsIPv4Address(DeviceIP_Send) || !IsIPv4Address(DeviceIP_Recv)) {
        SetStatusConnect(textBadAddress());
        return;
    }
    if (!receiverUp)
        openLink(receiver, DeviceIP_Recv);
    if (!transmitterUp)
        openLink(transmitter, DeviceIP_Send);
    emit tryConnect();
}

void VODEZ_Collector::openLink(Communication* link, const QString& host)
{
    st_ComAddress address;
    address.host = host;
    address.port = kDevicePort;
    link->SetAddress(address);
    link->Open();
}

void VODEZ_Collector::OnEntry_DeviceConnecting()
{
    showLinkFlags(textConnecting());
}

void VODEZ_Collector::OnExit_DeviceConnecting()
{
    if (!(transmitterUp && receiverUp))
        SetStatusConnect(textRetry());
}

void VODEZ_Collector::OnEntry_DeviceOnline()
{
    if (run.droppedSounding()) {
        SetStatusConnect(textDropped());
        run.endingShown();
    } else {
        SetStatusConnect(textOnline());
    }
}

void VODEZ_Collector::OnEntry_SampleWaitParam()
{
    soundingData.Recvs.clear();
    soundingData.Sends.clear();
    flushPairingDoubts();
    pairing.Reset();
    pairsToStore.clear();
    run.soundingOver();
    progressTimer.stop();
    WriteProgressMax(0);
    WriteProgress(0);
    repeatsDone = 0;
    repeatDoneEarly = false;
    repeatSeen.reset();
    overdueTimer.stop();
    SetSampleStatus(IDLE);
    emit dataSave(false);
    // A link lost while a finished sounding waited for the operator: now
    // that it is saved or discarded, reconnect.
    if (!transmitterUp || !receiverUp)
        emit deviceDisconnect();
}

void VODEZ_Collector::takeSoundingParams()
{
    // Boxes of a run abandoned earlier that have not shown themselves since
    // are stopped before anything of this sounding goes out.
    payStopOwed(true, true);
    if (run.forgetEnding())
        SetStatusConnect(textOnline());
    lastStored.reset();
    soundFs = ParamFs;
    soundPeriod = ParamPeriod;
    soundSampleMode = SampleMode;
    soundContinueMode = ContinueMode;
    soundingTime = SoundingTimeMs(soundFs, soundPeriod);
}

void VODEZ_Collector::OnEntry_SampleSetParam()
{
    repeatStarted = false;
    SetSampleStatus(SETPARAM);
}

void VODEZ_Collector::OnExit_SampleSetParam()
{
    // Whatever the reason the commands of this repeat end, none of them may
    // go out again later; the stops of a failed save, sent just now, must
    // still be answered.
    if (!run.keepsAny())
        abandonRequests();
}

void VODEZ_Collector::onAutoChannelAnswer(bool ok)
{
    if (!isActive(CollectorStates::SetParam_ConfigChannel))
        return;
    // Without a gate table for this sounding's frequency every decay would
    // be dropped while the panel shows sampling.
    if (ok && receiver->GetGateCount() > 0 && receiver->GetGateFreq() == float(soundFs)) {
        emit cmdConfigRecv();
        return;
    }
    endSounding(textNoGates());
}

void VODEZ_Collector::onStartAnswer(bool ok)
{
    // A transmitter that refuses the start drives no loop: no data of this
    // repeat will come, and waiting would only end in a time-out.
    if (!ok && isActive(CollectorStates::SetParam_Start)) {
        endSounding(textStartRefused());
        return;
    }
    emit deviceStarted();
}

void VODEZ_Collector::OnEntry_SetParam_ConfigChannel()
{
    if (soundSampleMode == SelfCheck || repeatsDone != 0) {
        emit cmdConfigRecv();
        return;
    }
    st_ConfigAutoTimeChannel_DUD4004 request;
    request.BaseFreq = float(soundFs);
    request.ChannelCount = kAutoChannelCount;
    receiver->RecvConfig_AutoChannel(&request);
}

void VODEZ_Collector::OnEntry_SetParam_ConfigRecv()
{
    st_RecvParam param;
    param.BaseFreq = float(soundFs);
    param.Period = soundPeriod;
    param.ContinueMode = int(soundContinueMode);
    param.SampleMode = int(soundSampleMode);
    param.Zero = 0;
    // A time of day for the box, not one of the watches' steady clock.
    param.SendTime = QDateTime::currentMSecsSinceEpoch();
    param.RateIndex = 0;
    receiver->RecvConfig(&param);
}

void VODEZ_Collector::OnEntry_SetParam_ConfigSend()
{
    st_TEMSendInfo info;
    info.BaseFreq = float(soundFs);
    info.Period = soundPeriod;
    info.Flag0 = 1;
    info.Flag1 = 1;
    info.ContinueMode = int(soundContinueMode);
    info.Zero = 0;
    transmitter->TEM_Config(&info);

    // The quality probe may block in the system: it runs on the pool and
    // only its text comes back to this thread.
    auto* watcher = new QFutureWatcher<QString>(this);
    connect(watcher, &QFutureWatcher<QString>::finished, this, [this, watcher] {
        applyWifiStatus(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(),
                                         [] { return WifiStatusText(GetWifiSignalQuality()); }));
}

void VODEZ_Collector::OnEntry_SetParam_Start()
{
    transmitter->TEM_Strat();
    repeatStarted = true;
    run.started();
    repeatSeen = now();
    overdueTimer.start();
}

void VODEZ_Collector::startProgressTimer()
{
    progressTimer.start(kProgressStepMs);
}

void VODEZ_Collector::OnEntry_SampleDataUpload()
{
    SetSampleStatus(SAMPLING);
    const bool early = repeatDoneEarly;
    repeatDoneEarly = false;
    // An early repeat is already counted: the first one makes repeatsDone 1.
    if (repeatsDone == (early ? 1 : 0))
        WriteProgressMax(soundContinueMode == Continue ? soundingTime
                                                       : clampToInt(qint64(soundingTime) * ParamRepeat));
    if (early) {
        // The data of this repeat came before the start reply: move on now
        // instead of waiting for data that has already arrived.
        WriteProgress(repeatsDone >= ParamRepeat ? ProgressMax
                                                 : clampToInt(qint64(repeatsDone) * soundingTime));
        postRepeatEvent();
    } else if (repeatsDone == 0) {
        WriteProgress(0);
        startProgressTimer();
    } else if (repeatsDone < ParamRepeat) {
        startProgressTimer();
    }
}

void VODEZ_Collector::OnEntry_SampleWaitSave()
{
    progressTimer.stop();
    WriteProgress(ProgressMax);
    SetSampleStatus(UPLOAD);
}

void VODEZ_Collector::OnEntry_SampleDataSave()
{
    SetSampleStatus(SAVING);
    // Pairs of a continuous run kept after a failed save are stored as the
    // run would have stored them, each as its own point.
    if (soundContinueMode != Continue) {
        emit dataSave(true);
        return;
    }
    // The operator saves what the boxes have delivered: sets whose partner
    // was not known yet are paired in order.
    CheckDataPair(true);
    if (pairsToStore.isEmpty()) {
        // Nothing reaches the project, which would answer: the save is over.
        emit cmdSaveOver();
    } else {
        saveContinuousPairs();
    }
}

bool VODEZ_Collector::saveContinuousPairs()
{
    // A save in progress (its warning box runs an event loop) takes the
    // pairs made meanwhile once it returns, so that a project that cannot
    // store warns once, not once per pair.
    if (run.saving())
        return true;
    run.beginSave();
    bool stored = true;
    while (!pairsToStore.isEmpty()) {
        run.attemptSave();
        savingDoubts = pairsToStore.first().doubts;
        emit dataUpload(pairsToStore.first().data);
        emit dataSave(true);
        savingDoubts = PairDoubts();
        if (run.lastSaveFailed()) {
            stored = false;
            break;
        }
        if (!pairsToStore.isEmpty())
            pairsToStore.removeFirst();
    }
    run.endSave();
    return stored;
}

bool VODEZ_Collector::saveLeavesRun() const
{
    return soundContinueMode != Continue || pairsToStore.isEmpty();
}

void VODEZ_Collector::leaveUnansweredStops()
{
    // The operator has saved what the run kept and the run is over: a box
    // that has not answered the stop of the failed save keeps owing it and
    // is told again at its next push or the next start, instead of its link
    // sending the stop again on its own for minutes. What it delivers from
    // now on is not the run's.
    if (run.keeps(RunLedger::Receiver))
        receiver->AbandonRequests();
    if (run.keeps(RunLedger::Transmitter))
        transmitter->AbandonRequests();
    run.leftUnanswered();
}

void VODEZ_Collector::OnExit_SampleDataSave()
{
}

// ------------------------------------------------------------------- guards

bool VODEZ_Collector::HSample_UploadToSet(QEvent* e)
{
    return e && e->type() == kRepeatEvent && repeatsDone < ParamRepeat;
}

bool VODEZ_Collector::HSample_UploadToWaitsave(QEvent* e)
{
    return e && e->type() == kRepeatEvent && repeatsDone >= ParamRepeat;
}

// ------------------------------------------------------------ data assembly

bool VODEZ_Collector::measuredForThisRepeat(double baseFreq) const
{
    // Sets that arrive while no sounding runs (idle, stopped, finished),
    // before this repeat's start went out, or decoded for another frequency
    // were not measured for it and would be paired into it.
    return repeatStarted && soundingRuns() && float(baseFreq) == float(soundFs);
}

void VODEZ_Collector::payStopOwed(bool recv, bool send)
{
    if (recv && receiverUp && run.payStop(RunLedger::Receiver))
        receiver->RecvStop();
    if (send && transmitterUp && run.payStop(RunLedger::Transmitter))
        transmitter->TEM_Stop();
}

bool VODEZ_Collector::keepsSet(bool fromReceiver, double baseFreq) const
{
    if (measuredForThisRepeat(baseFreq))
        return true;
    // A continuous run stopped by a failed save: what the box measured
    // before it stopped belongs to the run.
    const bool draining = run.keeps(fromReceiver ? RunLedger::Receiver : RunLedger::Transmitter);
    return draining && float(baseFreq) == float(soundFs);
}

void VODEZ_Collector::onDeviceData_Send(st_TEMSendData data)
{
    if (!keepsSet(false, data.BaseFreq)) {
        // A box still pushing an abandoned run, while nothing is being
        // configured: stop it now.
        if (!soundingRuns())
            payStopOwed(false, true);
        return;
    }
    noteRepeatData(soundingData.Sends.size() > soundingData.Recvs.size());
    soundingData.Sends.append(data);
    pairing.Add(SetPairing::Box::Send, now());
    CheckDataPair();
}

void VODEZ_Collector::onDeviceData_Recv(st_RecvData_DUD4004 data)
{
    if (!keepsSet(true, data.BaseFreq)) {
        if (!soundingRuns())
            payStopOwed(true, false);
        return;
    }
    noteRepeatData(soundingData.Recvs.size() > soundingData.Sends.size());
    soundingData.Recvs.append(data);
    pairing.Add(SetPairing::Box::Recv, now());
    CheckDataPair();
}

void VODEZ_Collector::onDeviceData_Monitor(st_TEMSendMonitor data)
{
    setProperty("SendV", double(data.SendV));
    setProperty("DeviceV", double(data.DeviceV));
    setProperty("DeviceTemp", double(data.DeviceTemp));
}

int VODEZ_Collector::SoundingTimeMs(double fs, int periods)
{
    if (!std::isfinite(fs) || !(fs > 0.0) || periods <= 0)
        return 0;
    const double ms = std::trunc(double(periods) * 1000.0 / fs);
    if (!(ms < double(INT_MAX)))
        return INT_MAX;
    return int(ms);
}

void VODEZ_Collector::postRepeatEvent()
{
    onStateEvent(new QEvent(kRepeatEvent), QStateMachine::NormalPriority);
}

void VODEZ_Collector::CheckDataPair(bool noMoreSets)
{
    // Sets of a continuous run kept after a failed save are paired as the
    // live run pairs them; only single soundings take nothing once over.
    if (soundContinueMode != Continue && !soundingRuns())
        return;
    QList<st_TEMSendData>& sends = soundingData.Sends;
    QList<st_RecvData_DUD4004>& recvs = soundingData.Recvs;
    // Which sets belong together is the pairing's to say. A continuous run
    // takes its pairs off the lists, in order; a single sounding's record
    // holds every pair so far.
    QList<st_TEMSendData> pairedSends;
    QList<st_RecvData_DUD4004> pairedRecvs;
    QList<PairDoubts> doubts;
    if (soundContinueMode == Continue) {
        for (const SetPairing::Decision& d : pairing.TakeContinuous(soundingTime, noMoreSets)) {
            if (d.step == SetPairing::Step::Pair) {
                pairedSends.append(sends.takeFirst());
                pairedRecvs.append(recvs.takeFirst());
                doubts.append(PairDoubts{dropsPending, lagText(d)});
                dropsPending.clear();
                continue;
            }
            dropsPending << dropText(d);
            if (d.step == SetPairing::Step::DropSend)
                sends.removeFirst();
            else
                recvs.removeFirst();
        }
        if (pairedSends.isEmpty())
            return;
    } else {
        int dropSends = 0;
        int dropRecvs = 0;
        if (!pairing.TakeSingle(ParamRepeat, &dropSends, &dropRecvs))
            return;
        sends = sends.mid(dropSends);
        recvs = recvs.mid(dropRecvs);
    }

    soundingData.Reserved0 = 0;
    soundingData.Reserved1 = 0;
    soundingData.SampleMode = quint8(soundSampleMode);
    soundingData.ContinueMode = quint8(soundContinueMode);
    soundingData.ParamFs = float(soundFs);
    soundingData.ParamPeriod = soundPeriod;
    soundingData.RepeatCount = ParamRepeat;

    if (soundContinueMode == Continue) {
        SetParamRepeat(1);
        soundingData.RepeatCount = 1;
        VODEZ_Data pair = soundingData;
        for (int i = 0; i < pairedSends.size(); ++i) {
            pair.Sends = {pairedSends.at(i)};
            pair.Recvs = {pairedRecvs.at(i)};
            pairsToStore.append(PairToStore{pair, doubts.at(i)});
        }
        // A save in progress (its warning box runs an event loop) stores the
        // pair once it returns; pairs kept after a failed save wait for the
        // operator's decision.
        if (run.saving() || !soundingRuns())
            return;
        if (!saveContinuousPairs()) {
            // The project cannot store: the run ends here and what it could
            // not store waits for the operator, as a single sounding does.
            // The failure itself has already stopped the boxes and led the
            // machine to SampleWaitSave.
            repeatStarted = false;
            return;
        }
        // A warning box of a failed save runs an event loop, in which the
        // run may have ended (a link lost): then no progress may run on.
        if (!soundingRuns())
            return;
        WriteProgressMax(soundingTime);
        WriteProgress(0);
        startProgressTimer();
        return;
    }

    emit dataUpload(soundingData);
    ++repeatsDone;
    // A single acquisition is over: the boxes wait for the next start.
    run.acquisitionIn();
    repeatSeen.reset();
    overdueTimer.stop();
    progressTimer.stop();
    if (repeatsDone < ParamRepeat) {
        WriteProgress(clampToInt(qint64(repeatsDone) * soundingTime));
    } else {
        emit beepRequested();
        WriteProgress(ProgressMax);
    }
    if (isActive(CollectorStates::SampleDataUpload))
        postRepeatEvent();
    else
        repeatDoneEarly = true;
}

void VODEZ_Collector::ProgressAdd()
{
    // A tick that outlives its sounding (queued before a lost link ended
    // it) must not move the bar of a sounding that no longer runs.
    if (!soundingRuns()) {
        progressTimer.stop();
        return;
    }
    qint64 p = qint64(Progress) + kProgressStepMs;
    const qint64 limit = (qint64(repeatsDone) + 1) * soundingTime;
    if (p >= limit) {
        progressTimer.stop();
        p = limit - 1;
    }
    WriteProgress(clampToInt(p));
}
