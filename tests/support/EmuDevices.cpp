#include "EmuDevices.h"

#include "EmuGates.h"

#include <QDateTime>
#include <QTimer>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace
{
void appendFloat(QByteArray& b, float f)
{
    quint32 bits;
    std::memcpy(&bits, &f, sizeof bits);
    char le[4];
    qToLittleEndian<quint32>(bits, le);
    b.append(le, 4);
}

void putFloat(QByteArray& b, int at, float f)
{
    quint32 bits;
    std::memcpy(&bits, &f, sizeof bits);
    qToLittleEndian<quint32>(bits, b.data() + at);
}

double rateOfIndex(qint32 index)
{
    switch (index) {
    case 1: return 78125.0;
    case 2: return 9765.0;
    case 3: return 1220.0;
    default: return 625000.0;
    }
}

constexpr int SelfCheckSamples = 100;
constexpr int MaxFixedRateSamples = 4096;
constexpr int WaveformSamples = 500;
}

// ---- EmuDeviceBox ----

QByteArray EmuDeviceBox::ResultPayload(quint32 code)
{
    QByteArray b(4, '\0');
    qToLittleEndian<quint32>(code, b.data());
    return b;
}

void EmuDeviceBox::OverridePush(quint16 cmd, const QByteArray& payload, int times)
{
    m_pushOverrides.insert(cmd, Override{payload, times});
}

void EmuDeviceBox::HandleFrame(const EmuFrameRecord& frame)
{
    EmuRule rule;
    auto it = m_rules.find(frame.cmd);
    if (it != m_rules.end()) {
        rule = it.value();
        if (it->times > 0 && --it->times == 0)
            m_rules.erase(it);
    }
    switch (rule.answer) {
    case EmuRule::Normal:
        if (!Act(frame, rule.delayMs))
            EmulatedBox::HandleFrame(frame);
        break;
    case EmuRule::Refuse:
        Reply(frame, RefusalOf(frame.cmd), rule.delayMs, rule.type);
        break;
    case EmuRule::Silent:
        break;
    case EmuRule::Malformed:
        Reply(frame, rule.payload, rule.delayMs, rule.type);
        break;
    case EmuRule::Lagging:
        // A box busy with something else: the command takes effect late.
        QTimer::singleShot(rule.delayMs, this, [this, frame] {
            if (!Act(frame, 0))
                EmulatedBox::HandleFrame(frame);
        });
        break;
    }
}

QByteArray EmuDeviceBox::RefusalOf(quint16) const
{
    return ResultPayload(0);
}

void EmuDeviceBox::PushData(quint16 cmd, const QByteArray& payload)
{
    auto it = m_pushOverrides.find(cmd);
    if (it == m_pushOverrides.end()) {
        Push(cmd, payload);
        return;
    }
    const QByteArray replaced = it->payload;
    if (it->times > 0 && --it->times == 0)
        m_pushOverrides.erase(it);
    Push(cmd, replaced);
}

int EmuDeviceBox::CycleMs(double freq, int periods) const
{
    if (m_cycleMs >= 0)
        return qMax(1, m_cycleMs);
    if (!(freq > 0.0) || periods <= 0)
        return 1000;
    return qMax(1, int(std::trunc(periods * 1000.0 / freq)));
}

// ---- EmuReceiverBox ----

EmuReceiverBox::EmuReceiverBox(QObject* parent)
    : EmuDeviceBox(QStringLiteral("receiver"), parent)
{
}

bool EmuReceiverBox::Act(const EmuFrameRecord& frame, int delayMs)
{
    switch (frame.cmd) {
    case CmdConfig:
        if (frame.payload.size() != int(sizeof(st_RecvParam))) {
            Reply(frame, ResultPayload(0), delayMs);
            return true;
        }
        std::memcpy(&m_config, frame.payload.constData(), sizeof m_config);
        m_armed = true;
        emit configured(m_config);
        Reply(frame, ResultPayload(1), delayMs);
        return true;
    case CmdStop:
        m_armed = false;
        emit stopped();
        Reply(frame, ResultPayload(1), delayMs);
        return true;
    case CmdAutoChannel: {
        st_ConfigAutoTimeChannel_DUD4004 req;
        if (frame.payload.size() < int(sizeof req)) {
            Reply(frame, ResultPayload(0), delayMs);
            return true;
        }
        std::memcpy(&req, frame.payload.constData(), sizeof req);
        // Channel counts the box cannot lay out are refused.
        if (req.ChannelCount < 2 || req.ChannelCount > 100000) {
            Reply(frame, ResultPayload(0), delayMs);
            return true;
        }
        const std::vector<double> centres = EmuGates::Centres(double(req.BaseFreq), 625000.0, req.ChannelCount);
        if (centres.empty()) {
            Reply(frame, ResultPayload(0), delayMs);
            return true;
        }
        m_gateCentres = QVector<double>(centres.begin(), centres.end());
        Reply(frame, ResultPayload(1), delayMs);
        return true;
    }
    case CmdTimeSync: {
        if (frame.payload.size() < 8) {
            Reply(frame, ResultPayload(0), delayMs);
            return true;
        }
        const quint64 bits = qFromLittleEndian<quint64>(frame.payload.constData());
        std::memcpy(&m_syncedTime, &bits, sizeof m_syncedTime);
        Reply(frame, ResultPayload(1), delayMs);
        return true;
    }
    default:
        return false;
    }
}

QVector<double> EmuReceiverBox::SampleTimes() const
{
    const double freq = double(m_config.BaseFreq);
    if (m_config.SampleMode == 0)
        return m_gateCentres;
    if (m_config.SampleMode == 1) {
        const double step = freq > 0.0 ? 1e6 / freq * 0.25 / SelfCheckSamples : 100.0;
        QVector<double> t(SelfCheckSamples);
        for (int j = 0; j < t.size(); ++j)
            t[j] = (j + 0.5) * step;
        return t;
    }
    const double rate = rateOfIndex(m_config.RateIndex);
    int n = 1024;
    if (freq > 0.0)
        n = int(qBound(1.0, std::trunc(rate / freq * 0.25), double(MaxFixedRateSamples)));
    QVector<double> t(n);
    for (int j = 0; j < n; ++j)
        t[j] = (j + 0.5) * 1e6 / rate;
    return t;
}

QByteArray EmuReceiverBox::DecayPayload()
{
    QVector<float> values;
    if (m_config.SampleMode == 1)
        values = EmuSynth::SelfCheck(SelfCheckSamples, rng);
    else
        values = EmuSynth::Decay(SampleTimes(), m_config.Period, decayModel, rng);
    QByteArray b;
    b.reserve(values.size() * 4 + 8);
    for (float v : values)
        appendFloat(b, v);
    char clock[8];
    qToLittleEndian<qint64>(QDateTime::currentMSecsSinceEpoch(), clock);
    b.append(clock, 8);
    return b;
}

void EmuReceiverBox::PushDecay()
{
    PushData(CmdData, DecayPayload());
}

void EmuReceiverBox::OnTransmitterCycle()
{
    if (!m_armed)
        return;
    PushDecay();
    if (m_config.ContinueMode == 0)
        m_armed = false;
}

// ---- EmuTransmitterBox ----

EmuTransmitterBox::EmuTransmitterBox(QObject* parent)
    : EmuDeviceBox(QStringLiteral("transmitter"), parent)
{
    m_cycleTimer = new QTimer(this);
    m_cycleTimer->setSingleShot(true);
    connect(m_cycleTimer, &QTimer::timeout, this, &EmuTransmitterBox::onCycle);
    m_monitorTimer = new QTimer(this);
    connect(m_monitorTimer, &QTimer::timeout, this, [this] {
        if (HasClient())
            PushMonitor();
    });
    SetMonitorInterval(1000);
}

void EmuTransmitterBox::SetMonitorInterval(int ms)
{
    m_monitorTimer->stop();
    if (ms > 0)
        m_monitorTimer->start(ms);
}

QByteArray EmuTransmitterBox::DeviceInfoPayload()
{
    QByteArray b(24, '\0');
    std::memcpy(b.data(), "VODEZ-TX", 8);
    b[8] = 2;   // firmware 2.3
    b[9] = 3;
    qToLittleEndian<quint32>(20260117u, b.data() + 12);   // serial number
    return b;
}

bool EmuTransmitterBox::Act(const EmuFrameRecord& frame, int delayMs)
{
    switch (frame.cmd) {
    case CmdDeviceInfo:
        Reply(frame, DeviceInfoPayload(), delayMs);
        return true;
    case CmdConfig:
        if (frame.payload.size() != int(sizeof(st_TEMSendInfo))) {
            Reply(frame, ResultPayload(0), delayMs);
            return true;
        }
        std::memcpy(&m_info, frame.payload.constData(), sizeof m_info);
        m_configured = true;
        Reply(frame, ResultPayload(1), delayMs);
        return true;
    case CmdStart:
        // Without a configuration the box has nothing to transmit.
        if (!m_configured) {
            Reply(frame, RefusalOf(CmdStart), delayMs);
            return true;
        }
        m_running = true;
        m_cycleTimer->start(CycleMs(double(m_info.BaseFreq), m_info.Period));
        emit started();
        Reply(frame, QByteArray(1, '\x01'), delayMs);
        return true;
    case CmdStop:
        m_running = false;
        m_cycleTimer->stop();
        emit stopped();
        Reply(frame, ResultPayload(1), delayMs);
        return true;
    default:
        return false;
    }
}

QByteArray EmuTransmitterBox::RefusalOf(quint16 cmd) const
{
    if (cmd == CmdStart)
        return QByteArray(1, '\0');
    return ResultPayload(0);
}

void EmuTransmitterBox::onCycle()
{
    if (!m_running)
        return;
    PushWaveform();
    emit cycleCompleted();
    if (m_info.ContinueMode != 0 && m_running)
        m_cycleTimer->start(CycleMs(double(m_info.BaseFreq), m_info.Period));
    else
        m_running = false;
}

QByteArray EmuTransmitterBox::MonitorPayload()
{
    QByteArray b(16, '\0');
    putFloat(b, 0, float(sendV + 0.05 * EmuSynth::Gauss(rng)));
    putFloat(b, 4, float(deviceV + 0.01 * EmuSynth::Gauss(rng)));
    putFloat(b, 8, float(deviceTemp + 0.1 * EmuSynth::Gauss(rng)));
    return b;
}

QByteArray EmuTransmitterBox::WaveformPayload()
{
    QByteArray b(4024, '\0');
    qToLittleEndian<qint32>(m_countA, b.data());
    qToLittleEndian<qint32>(m_countB, b.data() + 4);
    const QVector<float> a = EmuSynth::CurrentWaveform(WaveformSamples, currentModel, rng);
    const QVector<float> off = EmuSynth::TurnOffWaveform(WaveformSamples, currentModel, rng);
    for (int i = 0; i < WaveformSamples; ++i) {
        putFloat(b, 8 + 4 * i, a[i]);
        putFloat(b, 2008 + 4 * i, off[i]);
    }
    const QByteArray monitor = MonitorPayload();
    std::memcpy(b.data() + 4008, monitor.constData(), 16);
    return b;
}

void EmuTransmitterBox::PushWaveform()
{
    PushData(CmdSendData, WaveformPayload());
}

void EmuTransmitterBox::PushMonitor()
{
    PushData(CmdMonitor, MonitorPayload());
}

// ---- DeviceEmulator ----

DeviceEmulator::DeviceEmulator(QObject* parent)
    : DeviceEmulator(new EmuTransmitterBox, new EmuReceiverBox, parent)
{
}

DeviceEmulator::DeviceEmulator(EmuTransmitterBox* tx, EmuReceiverBox* rx, QObject* parent)
    : InstrumentEmulator(tx, rx, parent), m_tx(tx), m_rx(rx)
{
    connect(m_tx, &EmuTransmitterBox::cycleCompleted, m_rx, &EmuReceiverBox::OnTransmitterCycle);
}
