#include "ComPayload.h"

#include <QtEndian>

#include <cstring>

namespace
{
// Callers have checked that offset + 4 lies within the payload.
quint32 readU32(const QByteArray& p, int offset)
{
    return qFromLittleEndian<quint32>(p.constData() + offset);
}

float readFloat(const QByteArray& p, int offset)
{
    const quint32 bits = readU32(p, offset);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

st_TEMSendMonitor readMonitor(const QByteArray& p, int offset)
{
    st_TEMSendMonitor m;
    m.SendV = readFloat(p, offset);
    m.DeviceV = readFloat(p, offset + 4);
    m.DeviceTemp = readFloat(p, offset + 8);
    std::memcpy(m.Reserved, p.constData() + offset + 12, sizeof m.Reserved);
    return m;
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
}

bool ComPayload::ReadResult(const QByteArray& payload, quint32* code)
{
    if (payload.size() < 4)
        return false;
    *code = readU32(payload, 0);
    return true;
}

bool ComPayload::ReadFlagByte(const QByteArray& payload, quint8* flag)
{
    if (payload.isEmpty())
        return false;
    *flag = quint8(payload.at(0));
    return true;
}

int ComPayload::RecvSampleCount(int payloadSize)
{
    const int n = payloadSize / 4 - 2;
    return n > 0 ? n : 0;
}

double ComPayload::ClampOffZero(double v)
{
    if (v >= 0.0 && v < 1e-9)
        return 1e-9;
    if (v < 0.0 && v > -1e-9)
        return -1e-9;
    return v;
}

bool ComPayload::DecodeRecvData(const QByteArray& payload, const st_RecvParam& config,
                                const st_RecvGateTable& gates, qint64 receiveTime,
                                st_RecvData_DUD4004* out)
{
    const int n = RecvSampleCount(payload.size());
    // Gate mode. The count and the table are built together, but only
    // entries that exist are ever read. Before any table has been built
    // (count 0, data type 0) only an empty push gets through: it yields a
    // record of data type 0 with empty vectors.
    if (config.SampleMode == 0 && qMin(gates.GateCount, gates.Gates.size()) < n)
        return false;

    st_RecvData_DUD4004 r;
    r.RecvTime = receiveTime;
    r.BaseFreq = double(config.BaseFreq);
    r.Times.resize(n);
    r.Widths.resize(n);
    r.Values.resize(n);

    if (config.SampleMode == 0) {
        r.DataType = gates.DataType;
        r.SampleRate = 625000.0;
        for (int j = 0; j < n; ++j) {
            const double start = gates.Gates[j].first;
            const double end = gates.Gates[j].second;
            double width = end - start;
            if (width < 0.01)
                width = 1.6;
            r.Times[j] = (start + end) * 0.5;
            r.Widths[j] = width;
        }
    } else if (config.SampleMode == 1) {
        // Self-check: evenly spaced over a quarter period in 100 steps.
        r.DataType = 2;
        r.SampleRate = 625000.0;
        const double f = (1.0 / r.BaseFreq) * 0.25 / 100.0;
        for (int j = 0; j < n; ++j) {
            r.Times[j] = ((j + 1) * f + j * f) * 0.5;
            r.Widths[j] = f * 100.0;
        }
    } else {
        r.DataType = 2;
        r.SampleRate = rateOfIndex(config.RateIndex);
        const double step = 100000.0 / r.SampleRate;
        for (int j = 0; j < n; ++j) {
            r.Times[j] = (j + 0.5) * step;
            r.Widths[j] = step;
        }
    }
    for (int j = 0; j < n; ++j)
        r.Values[j] = ClampOffZero(double(readFloat(payload, 4 * j)));
    *out = r;
    return true;
}

bool ComPayload::DecodeSendData(const QByteArray& payload, double baseFreq,
                                st_TEMSendData* data, st_TEMSendMonitor* monitor)
{
    if (payload.size() < SendDataSize)
        return false;
    qint32 nA = qint32(readU32(payload, 0));
    qint32 nB = qint32(readU32(payload, 4));
    // The box's two arrays hold 500 samples each; a count beyond that (a
    // negative one read as unsigned included) caps both.
    if (quint32(nA) > quint32(SendMaxSamples) || quint32(nB) > quint32(SendMaxSamples)) {
        nA = SendMaxSamples;
        nB = SendMaxSamples;
    }
    st_TEMSendData d;
    d.BaseFreq = baseFreq;
    d.SampleSendFs = 2000000.0;
    d.SampleOffFs = 2000000.0;
    d.SendData.resize(qMax(nA, 0));
    for (int i = 0; i < d.SendData.size(); ++i)
        d.SendData[i] = double(readFloat(payload, SendCurrentOffset + 4 * i));
    d.OffData.resize(qMax(nB, 0));
    for (int i = 0; i < d.OffData.size(); ++i)
        d.OffData[i] = double(readFloat(payload, SendOffOffset + 4 * i));
    *data = d;
    *monitor = readMonitor(payload, SendMonitorOffset);
    return true;
}

bool ComPayload::DecodeMonitor(const QByteArray& payload, st_TEMSendMonitor* monitor)
{
    if (payload.size() < int(sizeof(st_TEMSendMonitor)))
        return false;
    *monitor = readMonitor(payload, 0);
    return true;
}

bool ComPayload::DecodeDeviceInfo(const QByteArray& payload, st_DeviceInfo* info)
{
    if (payload.size() != int(sizeof(st_DeviceInfo)))
        return false;
    std::memcpy(info->Bytes, payload.constData(), sizeof info->Bytes);
    return true;
}
