#pragma once
// Records that travel between the instrument link, the acquisition
// controller, the project tree and the decay processor. They sit below every
// layer that passes them around and need nothing but Qt Core.

#include <QList>
#include <QMetaType>
#include <QVector>
#include <QtGlobal>

#include <cstddef>

// Receiver configuration, sent byte for byte as the payload of the receiver's
// configure command (little-endian, 88 bytes).
#pragma pack(push, 1)
struct st_RecvParam
{
    float BaseFreq = 0.0f;      // transmitter base frequency, Hz
    qint32 Period = 0;          // stacked periods
    qint32 ContinueMode = 0;    // 0 single, 1 continuous
    qint32 SampleMode = 0;      // 0 gates, 1 self-check, other: fixed rate
    qint64 Zero = 0;
    quint8 Reserved[48] = {};
    qint64 SendTime = 0;        // ms since the epoch, stamped when sent
    qint32 RateIndex = 0;       // 0 625000 Hz, 1 78125 Hz, 2 9765 Hz, 3 1220 Hz
    quint8 Reserved2[4] = {};
};

// Request for automatic gate channels (8 bytes).
struct st_ConfigAutoTimeChannel_DUD4004
{
    float BaseFreq = 0.0f;      // Hz
    qint32 ChannelCount = 0;    // gate channels wanted
};

// Transmitter configuration, the payload of its configure command (24 bytes).
struct st_TEMSendInfo
{
    float BaseFreq = 0.0f;      // Hz
    qint32 Period = 0;          // stacked periods
    quint8 Flag0 = 1;
    quint8 Flag1 = 1;
    quint8 Reserved[6] = {};
    qint32 ContinueMode = 0;
    qint32 Zero = 0;
};

// The transmitter's monitor values (16 bytes), pushed alone or at the end of
// a waveform push.
struct st_TEMSendMonitor
{
    float SendV = 0.0f;         // transmitter output voltage
    float DeviceV = 0.0f;       // device supply voltage
    float DeviceTemp = 0.0f;    // device temperature
    quint8 Reserved[4] = {};
};

// The 24 bytes of the transmitter's device-information reply, kept unchanged.
struct st_DeviceInfo
{
    quint8 Bytes[24] = {};
};
#pragma pack(pop)

static_assert(sizeof(st_RecvParam) == 88, "receiver configuration is 88 bytes on the wire");
static_assert(offsetof(st_RecvParam, SendTime) == 72, "sending time sits at offset 72");
static_assert(offsetof(st_RecvParam, RateIndex) == 80, "rate index sits at offset 80");
static_assert(sizeof(st_ConfigAutoTimeChannel_DUD4004) == 8, "auto-channel request is 8 bytes");
static_assert(sizeof(st_TEMSendInfo) == 24, "transmitter configuration is 24 bytes");
static_assert(offsetof(st_TEMSendInfo, ContinueMode) == 16, "continue mode sits at offset 16");
static_assert(sizeof(st_TEMSendMonitor) == 16, "monitor block is 16 bytes");
static_assert(sizeof(st_DeviceInfo) == 24, "device information is 24 bytes");

// One decoded receiver push: a decay with its time axis.
struct st_RecvData_DUD4004
{
    int DataType = 2;           // 1 gate times from the channel table, 2 evenly spaced
    double BaseFreq = 0.0;      // Hz
    double SampleRate = 625000.0; // Hz
    QVector<double> Times;      // gate centre times, us
    QVector<double> Widths;     // gate widths, us
    QVector<double> Values;     // decay values
    qint64 RecvTime = 0;        // ms since the epoch when decoded
};

// One decoded transmitter waveform push.
struct st_TEMSendData
{
    double BaseFreq = 200.0;        // Hz
    double SampleSendFs = 2000000.0; // Hz, current waveform
    QVector<double> SendData;       // current waveform
    double SampleOffFs = 2000000.0;  // Hz, turn-off waveform
    QVector<double> OffData;        // turn-off waveform
};

// One acquired sounding, handed by value from the controller to the project
// tree: every transmitter/receiver pair of the sounding so far.
struct VODEZ_Data
{
    qint64 Reserved0 = 0;
    qint64 Reserved1 = 0;
    quint8 SampleMode = 0;      // VODEZSampleMode
    quint8 ContinueMode = 0;    // VODEZContinueMode
    float ParamFs = 0.0f;       // Hz
    int ParamPeriod = 0;        // stacked periods
    int RepeatCount = 0;
    QList<st_TEMSendData> Sends;       // oldest first
    QList<st_RecvData_DUD4004> Recvs;  // oldest first, paired with Sends by index
};

Q_DECLARE_METATYPE(st_RecvParam)
Q_DECLARE_METATYPE(st_ConfigAutoTimeChannel_DUD4004)
Q_DECLARE_METATYPE(st_TEMSendInfo)
Q_DECLARE_METATYPE(st_TEMSendMonitor)
Q_DECLARE_METATYPE(st_DeviceInfo)
Q_DECLARE_METATYPE(st_RecvData_DUD4004)
Q_DECLARE_METATYPE(st_TEMSendData)
Q_DECLARE_METATYPE(VODEZ_Data)

// Registers the records with Qt's meta-type system (queued connections,
// QVariant, signal spies). Safe to call more than once.
void registerDeviceRecordTypes();
