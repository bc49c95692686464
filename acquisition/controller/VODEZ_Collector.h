#pragma once
// The acquisition controller: connects to the transmitter and receiver boxes,
// configures and starts soundings, pairs the data both boxes push back into
// sounding records, counts repeats and progress and hands finished soundings
// to the project for saving. Its behaviour is one hierarchical state machine
// built by state names on HCollector.

#include "Communication.h"
#include "DeviceRecords.h"
#include "HCollector.h"
#include "RunLedger.h"
#include "SetPairing.h"

#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>
#include <utility>

// Where the pairing of a continuous run decided on thin evidence: every set
// it dropped and every pair whose lag was off the expected one, with the
// line and point it went to, so that a crew's log says which points are
// doubtful.
Q_DECLARE_LOGGING_CATEGORY(lcPairing)

class ILibRecv_DUD4004;
class iLibSend;

class VODEZ_Collector : public HCollector
{
    Q_OBJECT
public:
    enum VODEZSampleStatus { DISCONN = 0, IDLE = 1, SETPARAM = 2, SAMPLING = 3, UPLOAD = 4, SAVING = 5 };
    Q_ENUM(VODEZSampleStatus)
    enum VODEZSampleMode { TEM = 0, SelfCheck = 1 };
    Q_ENUM(VODEZSampleMode)
    enum VODEZContinueMode { Single = 0, Continue = 1 };
    Q_ENUM(VODEZContinueMode)

    Q_PROPERTY(QString DeviceIP_Send READ GetDeviceIP_Send WRITE SetDeviceIP_Send NOTIFY sendIPChanged)
    Q_PROPERTY(QString DeviceIP_Recv READ GetDeviceIP_Recv WRITE SetDeviceIP_Recv NOTIFY recvIPChanged)
    Q_PROPERTY(QString StatusConnect READ GetStatusConnect WRITE SetStatusConnect NOTIFY statusConnectChanged)
    Q_PROPERTY(double ParamFs READ GetParamFs WRITE SetParamFs NOTIFY onParamFsChanged)
    Q_PROPERTY(int ParamPeriod READ GetParamPeriod WRITE SetParamPeriod NOTIFY onParamPeriodChanged)
    Q_PROPERTY(int ParamRepeat READ GetParamRepeat WRITE WriteParamRepeat NOTIFY onParamRepeatChanged)
    Q_PROPERTY(VODEZSampleMode SampleMode READ GetSampleMode WRITE WriteSampleMode NOTIFY onSampleModeChanged)
    Q_PROPERTY(VODEZSampleStatus SampleStatus READ GetSampleStatus WRITE SetSampleStatus NOTIFY onSampleStatusChanged)
    Q_PROPERTY(double SendV READ GetSendV WRITE WriteSendV NOTIFY onSendVChanged)
    Q_PROPERTY(double DeviceV READ GetDeviceV WRITE WriteDeviceV NOTIFY onDeviceVChanged)
    Q_PROPERTY(double DeviceTemp READ GetDeviceTemp WRITE WriteDeviceTemp NOTIFY onDeviceTempChanged)
    Q_PROPERTY(int Progress READ GetProgress WRITE WriteProgress NOTIFY onProgressChanged)
    Q_PROPERTY(int ProgressMax READ GetProgressMax WRITE WriteProgressMax NOTIFY onProgressMaxChanged)
    Q_PROPERTY(VODEZContinueMode ContinueMode READ GetContinueMode WRITE WriteContinueMode NOTIFY onContinueModeChanged)

    explicit VODEZ_Collector(QObject* parent = nullptr);
    ~VODEZ_Collector() override;

    QString GetDeviceIP_Send() const { return DeviceIP_Send; }
    void SetDeviceIP_Send(const QString& v);
    QString GetDeviceIP_Recv() const { return DeviceIP_Recv; }
    void SetDeviceIP_Recv(const QString& v);
    QString GetStatusConnect() const { return StatusConnect; }
    void SetStatusConnect(const QString& v);
    double GetParamFs() const { return ParamFs; }
    int GetParamPeriod() const { return ParamPeriod; }
    int GetParamRepeat() const { return ParamRepeat; }
    void WriteParamRepeat(int v);
    VODEZSampleMode GetSampleMode() const { return SampleMode; }
    void WriteSampleMode(VODEZSampleMode v);
    VODEZSampleStatus GetSampleStatus() const { return SampleStatus; }
    double GetSendV() const { return SendV; }
    void WriteSendV(double v);
    double GetDeviceV() const { return DeviceV; }
    void WriteDeviceV(double v);
    double GetDeviceTemp() const { return DeviceTemp; }
    void WriteDeviceTemp(double v);
    int GetProgress() const { return Progress; }
    void WriteProgress(int v);
    int GetProgressMax() const { return ProgressMax; }
    void WriteProgressMax(int v);
    VODEZContinueMode GetContinueMode() const { return ContinueMode; }
    void WriteContinueMode(VODEZContinueMode v);

    // Duration in ms of `periods` periods of `fs` Hz, truncated; 0 when the
    // frequency is not a positive number or the periods are not positive,
    // and never more than INT_MAX.
    static int SoundingTimeMs(double fs, int periods);
    // The connection status text for a Wi-Fi signal quality (-1: unknown).
    static QString WifiStatusText(int quality);
    // A box address as the operator writes it: four decimal numbers 0-255
    // separated by dots, without leading zeros.
    static bool IsIPv4Address(const QString& text);

    // The steady clock of both links' request ages, of the controller's own
    // wait for the data of a repeat and of the receive times the pairing of
    // the boxes' sets goes by; an empty function brings back the
    // system's monotonic clock. Times of day (what the boxes are told, what
    // is stored) never come from it. With SweepLinks, tests run the links'
    // time-outs and the wait for a repeat's data without waiting.
    void SetClock(Communication::Clock clock);
    void SweepLinks();

    // True while a sounding runs or waits to be saved: what the operator
    // would lose by disconnecting, closing the project or leaving.
    bool SoundingHeld() const;
    // The program is about to end and take the links with it: a box that
    // may still be acquiring is told to stop, and the commands are given at
    // most waitMs to reach the wire.
    void StopBoxesForExit(int waitMs = 1000);

signals:
    void onBtnConnect();
    void onBtnDisconn();
    void tryConnect();
    void onBtnSampleStart();
    void cmdSampleStop();
    void cmdConfigRecv();
    void cmdConfigSend();
    void onBtnSaveOK();
    void onBtnSaveCancel();
    void cmdSaveOver();
    void deviceDisconnect();
    void deviceConnected();
    void deviceConfiged();
    void deviceStarted();
    void dataUpload(VODEZ_Data data);
    void dataSave(bool save);
    void onContinueModeChanged();
    void sendIPChanged(QString ip);
    void recvIPChanged(QString ip);
    void statusConnectChanged(QString status);
    void onParamFsChanged();
    void onParamPeriodChanged();
    void onParamRepeatChanged();
    void onSampleStatusChanged();
    void onSendVChanged();
    void onDeviceVChanged();
    void onDeviceTempChanged();
    void onProgressChanged(int value);
    void onProgressMaxChanged(int value);
    void onSampleModeChanged();
    // The project could not store the kept sounding: it stays kept and the
    // operator is asked again to save or discard it.
    void cmdSaveFailed();
    // The last repeat of a single sounding is in: the application sounds
    // the system beep (this layer has no GUI to do it).
    void beepRequested();

public slots:
    void Start();
    void onTestEvent();
    void onBtnSampleStop();
    void onLoad_Param(double SendFs, int SendPeriod, int ContinueMode);
    void onLoad_Param(double SendFs, int SendPeriod);
    void SetSampleStatus(VODEZ_Collector::VODEZSampleStatus v);
    void ProgressAdd();
    void SetParamFs(double v);
    void SetParamPeriod(int v);
    void SetParamRepeat(int v);
    // The project stored a point (a continuous run's pair, or a single
    // sounding's samples) on `line` as `point`.
    void onPointStored(double line, double point);

private slots:
    void onDeviceConnected();
    void onDeviceData_Send(st_TEMSendData data);
    void onDeviceData_Monitor(st_TEMSendMonitor data);
    void onDeviceData_Recv(st_RecvData_DUD4004 data);

private:
    Q_INVOKABLE void OnEntry_DeviceWait();
    Q_INVOKABLE void OnEntry_DeviceInit();
    Q_INVOKABLE void OnEntry_DeviceConnecting();
    Q_INVOKABLE void OnExit_DeviceConnecting();
    Q_INVOKABLE void OnEntry_DeviceOnline();
    Q_INVOKABLE void OnEntry_SampleWaitParam();
    Q_INVOKABLE void OnEntry_SampleSetParam();
    Q_INVOKABLE void OnExit_SampleSetParam();
    Q_INVOKABLE void OnEntry_SampleDataUpload();
    Q_INVOKABLE void OnEntry_SampleWaitSave();
    Q_INVOKABLE void OnEntry_SampleDataSave();
    Q_INVOKABLE void OnExit_SampleDataSave();
    Q_INVOKABLE bool HSample_UploadToSet(QEvent* e);
    Q_INVOKABLE bool HSample_UploadToWaitsave(QEvent* e);
    Q_INVOKABLE void OnEntry_SetParam_ConfigChannel();
    Q_INVOKABLE void OnEntry_SetParam_ConfigRecv();
    Q_INVOKABLE void OnEntry_SetParam_ConfigSend();
    Q_INVOKABLE void OnEntry_SetParam_Start();

    void InitStateMachine();
    void CheckDataPair(bool noMoreSets = false);
    void onRecvComConnected();
    void onRecvComClosed();
    void onSendComConnected();
    void onSendComClosed();
    void linkConnected(Communication* link, bool& up);
    void linkClosed(bool& up);
    void openLink(Communication* link, const QString& host);
    void applyWifiStatus(const QString& text);
    void showLinkFlags(const QString& format);
    bool isActive(const QString& stateName) const;
    bool lateLink() const;
    bool soundingRuns() const;
    void postRepeatEvent();
    void onAutoChannelAnswer(bool ok);
    void onStartAnswer(bool ok);
    void stopBoxes(bool recv = true, bool send = true);
    // The links are about to go: each reachable box that may still be
    // acquiring (all of them while a sounding runs) or owes a stop is told
    // to stop, and the commands get at most waitMs to reach the wire.
    void stopBoxesBeforeLinksGo(bool sounding, int waitMs);
    void abandonRequests();
    void endSounding(const QString& text);
    void onRequestExpired(const QString& text);
    void onSaveFailed();
    void noteRepeatData(bool fromBoxAhead);
    void checkRepeatOverdue();
    bool keepsSet(bool fromReceiver, double baseFreq) const;
    void noteAbandonedRun();
    void payStopOwed(bool recv, bool send);
    bool measuredForThisRepeat(double baseFreq) const;
    bool saveContinuousPairs();
    bool saveLeavesRun() const;
    void leaveUnansweredStops();
    qint64 now() const;
    void startProgressTimer();
    void takeSoundingParams();
    static QString dropText(const SetPairing::Decision& d);
    static QString lagText(const SetPairing::Decision& d);
    void flushPairingDoubts();

    ILibRecv_DUD4004* receiver;
    iLibSend* transmitter;
    VODEZ_Data soundingData;
    QString DeviceIP_Send;
    QString DeviceIP_Recv;
    QString StatusConnect;
    double ParamFs;
    int ParamPeriod;
    int ParamRepeat;
    int repeatsDone = 0;
    double SendV = 0.0;
    double DeviceV = 0.0;
    double DeviceTemp = 0.0;
    VODEZSampleStatus SampleStatus = DISCONN;
    int Progress = 0;
    int soundingTime = 0;
    int ProgressMax = 0;
    // Whether each box's link is up, kept from the link's ComConnected and
    // ComClosed (a link that comes up late never counts): every decision
    // about reaching a box goes by these, never by asking the link.
    bool transmitterUp = false;
    bool receiverUp = false;
    QTimer progressTimer;
    VODEZSampleMode SampleMode = TEM;
    VODEZContinueMode ContinueMode = Single;

    // The parameters the running sounding was configured with.
    double soundFs = 0.0;
    int soundPeriod = 0;
    VODEZSampleMode soundSampleMode = TEM;
    VODEZContinueMode soundContinueMode = Single;
    // A repeat completed while its parameters were still being set (a box
    // pushed before it answered start): the machine hears of it once it
    // reaches SampleDataUpload.
    bool repeatDoneEarly = false;
    // This repeat's start command has gone out: only now can data of it come.
    bool repeatStarted = false;
    // Whether the boxes may be acquiring, which owes a stop, whose sets are
    // kept until its stop is answered, whether a save is in progress and how
    // the last sounding ended.
    RunLedger run;
    // What the pairing is doubtful of about one pair: the sets it dropped
    // since the pair before, and the pair's own lag, when off.
    struct PairDoubts
    {
        QStringList dropsBefore;
        QString lag;
    };
    // A pair of a continuous run not stored yet.
    struct PairToStore
    {
        VODEZ_Data data;
        PairDoubts doubts;
    };
    // In the order they were made: each is saved as its own point.
    QList<PairToStore> pairsToStore;
    // Drops that no pair has followed yet.
    QStringList dropsPending;
    // The doubts of the pair being saved: they go to the log with the point
    // the project stores it as.
    PairDoubts savingDoubts;
    // The line and point the run stored last.
    std::optional<std::pair<double, double>> lastStored;
    // Which of the pending sets belong together: it follows both lists,
    // with the time each set arrived.
    SetPairing pairing;
    // Since the start command or the last data set of the repeat awaited
    // (none when nothing is awaited), on the links' steady clock: data that
    // stop coming end the sounding.
    std::optional<qint64> repeatSeen;
    QTimer overdueTimer;
    Communication::Clock clock;
};
