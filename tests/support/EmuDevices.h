#pragma once
// Device behaviour of the two emulated boxes on top of the frame layer: a
// receiver and a transmitter that answer every command of their command
// sets, run acquisitions (one per start in single mode, one after another in
// continuous mode until stopped) and push waveform, decay and monitor data.
// Each command can be scripted to be refused, answered late, not answered or
// answered with a malformed payload; pushes can be replaced by arbitrary
// payloads.

#include "DeviceRecords.h"
#include "EmuSynth.h"
#include "EmulatedBox.h"
#include "InstrumentEmulator.h"

#include <QHash>
#include <QRandomGenerator>
#include <QVector>

class QTimer;

// How a box answers one command.
struct EmuRule
{
    enum Answer {
        Normal,     // act and answer as the box does
        Refuse,     // do nothing and answer with a refusal (result 0)
        Silent,     // do nothing and never answer
        Malformed,  // do nothing and answer with `payload` instead
        Lagging,    // act and answer as the box does, both `delayMs` later
    };
    Answer answer = Normal;
    int delayMs = 0;        // answer this much later (Normal, Refuse, Malformed, Lagging)
    QByteArray payload;     // the malformed answer
    int times = -1;         // frames the rule applies to, then it is dropped; -1 for ever
    quint16 type = 1;       // frame type of a refusal or malformed answer (1: a reply)
};

class EmuDeviceBox : public EmulatedBox
{
    Q_OBJECT
public:
    using EmulatedBox::EmulatedBox;

    // One rule per command: a new one replaces the old. Rules act when the
    // box reads the request, so set them before sending it.
    void SetRule(quint16 cmd, const EmuRule& rule) { m_rules.insert(cmd, rule); }
    void Refuse(quint16 cmd, int times = -1) { SetRule(cmd, {EmuRule::Refuse, 0, {}, times}); }
    void Silence(quint16 cmd, int times = -1) { SetRule(cmd, {EmuRule::Silent, 0, {}, times}); }
    void Delay(quint16 cmd, int ms, int times = -1) { SetRule(cmd, {EmuRule::Normal, ms, {}, times}); }
    void Malform(quint16 cmd, const QByteArray& payload, int times = -1)
    {
        SetRule(cmd, {EmuRule::Malformed, 0, payload, times});
    }
    void Lag(quint16 cmd, int ms, int times = -1) { SetRule(cmd, {EmuRule::Lagging, ms, {}, times}); }

    // The next `times` automatic pushes of `cmd` carry `payload` instead of
    // their data (-1: all of them).
    void OverridePush(quint16 cmd, const QByteArray& payload, int times = 1);

    // Acquisition length: `ms` per acquisition, or -1 (the default) for the
    // real duration of the configured periods at the configured frequency.
    void SetCycleMs(int ms) { m_cycleMs = ms; }

    static QByteArray ResultPayload(quint32 code);

protected:
    void HandleFrame(const EmuFrameRecord& frame) override;
    // Acts on a request; returns false for a command the box does not know.
    virtual bool Act(const EmuFrameRecord& frame, int delayMs) = 0;
    // The refusal answer of a command.
    virtual QByteArray RefusalOf(quint16 cmd) const;
    // An automatic push, through the push overrides.
    void PushData(quint16 cmd, const QByteArray& payload);
    int CycleMs(double freq, int periods) const;

private:
    QHash<quint16, EmuRule> m_rules;
    struct Override {
        QByteArray payload;
        int times;
    };
    QHash<quint16, Override> m_pushOverrides;
    int m_cycleMs = -1;
};

class EmuReceiverBox : public EmuDeviceBox
{
    Q_OBJECT
public:
    enum : quint16 {
        CmdConfig = 1,
        CmdStop = 2,
        CmdData = 3,
        CmdTimeChannel = 1000,
        CmdAutoChannel = 1001,
        CmdTimeSync = 2000,
    };

    explicit EmuReceiverBox(QObject* parent = nullptr);

    // Push one decay of the current configuration now.
    void PushDecay();
    // The payload of a decay push for the current configuration: gate
    // averages in gate mode (none before a channel request), a calibration
    // pulse in self-check mode, evenly spaced samples otherwise; then 8
    // bytes of the box's clock.
    QByteArray DecayPayload();
    // Times (us) at which DecayPayload samples the decay.
    QVector<double> SampleTimes() const;

    bool IsArmed() const { return m_armed; }
    const st_RecvParam& Config() const { return m_config; }
    int GateCount() const { return m_gateCentres.size(); }
    double SyncedTime() const { return m_syncedTime; }

    EmuSynth::DecayModel decayModel;
    QRandomGenerator rng{7};

public Q_SLOTS:
    // One acquisition of the transmitter has ended: an armed receiver
    // pushes the decay it recorded (and, in single mode, disarms).
    void OnTransmitterCycle();

Q_SIGNALS:
    void configured(const st_RecvParam& param);
    void stopped();

protected:
    bool Act(const EmuFrameRecord& frame, int delayMs) override;

private:
    st_RecvParam m_config;
    bool m_armed = false;
    QVector<double> m_gateCentres;
    double m_syncedTime = 0.0;
};

class EmuTransmitterBox : public EmuDeviceBox
{
    Q_OBJECT
public:
    enum : quint16 {
        CmdDeviceInfo = 0,
        CmdConfig = 1,
        CmdStart = 2,
        CmdStop = 5,
        CmdSendData = 6,
        CmdMonitor = 240,
    };

    explicit EmuTransmitterBox(QObject* parent = nullptr);

    // Push one waveform set (with monitor values) now.
    void PushWaveform();
    QByteArray WaveformPayload();
    // The counts the waveform push announces (both 500 normally); any value
    // may be set, the arrays themselves hold 500 samples each.
    void SetWaveformCounts(qint32 nA, qint32 nB)
    {
        m_countA = nA;
        m_countB = nB;
    }
    void PushMonitor();
    QByteArray MonitorPayload();
    // Monitor pushes every `ms` while a client is connected (0: none).
    void SetMonitorInterval(int ms);

    bool IsRunning() const { return m_running; }
    const st_TEMSendInfo& Config() const { return m_info; }
    static QByteArray DeviceInfoPayload();

    EmuSynth::CurrentModel currentModel;
    float sendV = 48.0f;
    float deviceV = 12.4f;
    float deviceTemp = 31.5f;
    QRandomGenerator rng{11};

Q_SIGNALS:
    // An acquisition has ended and its waveform has been pushed.
    void cycleCompleted();
    void started();
    void stopped();

protected:
    bool Act(const EmuFrameRecord& frame, int delayMs) override;
    QByteArray RefusalOf(quint16 cmd) const override;

private:
    void onCycle();

    st_TEMSendInfo m_info;
    bool m_configured = false;
    bool m_running = false;
    qint32 m_countA = 500;
    qint32 m_countB = 500;
    QTimer* m_cycleTimer = nullptr;
    QTimer* m_monitorTimer = nullptr;
};

// Both boxes with device behaviour, the receiver recording whenever the
// transmitter completes an acquisition.
class DeviceEmulator : public InstrumentEmulator
{
    Q_OBJECT
public:
    explicit DeviceEmulator(QObject* parent = nullptr);

    EmuTransmitterBox& Tx() { return *m_tx; }
    EmuReceiverBox& Rx() { return *m_rx; }
    // Acquisition length of both boxes (see EmuDeviceBox::SetCycleMs).
    void SetCycleMs(int ms)
    {
        m_tx->SetCycleMs(ms);
        m_rx->SetCycleMs(ms);
    }

private:
    DeviceEmulator(EmuTransmitterBox* tx, EmuReceiverBox* rx, QObject* parent);
    EmuTransmitterBox* m_tx;
    EmuReceiverBox* m_rx;
};
