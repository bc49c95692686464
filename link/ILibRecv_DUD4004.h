#pragma once
// The receiver box's command set: configure, automatic gate channels, stop
// and time synchronisation, and the decay pushes turned into records with a
// time axis according to the sample mode of the last configuration.

#include "Communication.h"
#include "DeviceRecords.h"
#include "RecvGates.h"

#include <QPair>
#include <QVector>

class ILibRecv_DUD4004 : public Communication
{
    Q_OBJECT
public:
    explicit ILibRecv_DUD4004(QObject* parent = nullptr);
    ~ILibRecv_DUD4004() override;

    // Gate end times in microseconds for base frequency F, sample rate R and
    // N channels (see RecvGates).
    static QVector<double> CalcAutoTimes(double F, double R, int N);
    void SetAutoTimeChannel(float baseFreq, float sampleRate, int channelCount);
    void SetAutoTimeChannelByIndex(float baseFreq, float sampleRate, int channelCount);

    const st_RecvParam& GetConfig() const { return m_config; }
    float GetGateFreq() const { return m_gates.GateFreq; }
    int GetGateCount() const { return m_gates.GateCount; }
    int GetDataType() const { return m_gates.DataType; }
    const QVector<QPair<double, double>>& GetGateTable() const { return m_gates.Gates; }
    const st_ConfigAutoTimeChannel_DUD4004& GetAutoChannelRequest() const { return m_autoChannel; }

Q_SIGNALS:
    void onRecvConfiged(bool ok);
    void onRecvStop();
    void onRecvData(st_RecvData_DUD4004 data);
    void onRecvConfigTimeChannel(bool ok);
    void onRecvAutoChannel(bool ok);
    void onRecvTimeSync(bool ok);

public Q_SLOTS:
    void RecvConfig(st_RecvParam* param);
    void RecvStop();
    void RecvTimeSync(double time);
    void RecvConfig_AutoChannel(st_ConfigAutoTimeChannel_DUD4004* param);

public:
    void OnFrame(unsigned int cmd, bool ok, QByteArray* data) override;

private:
    void OnFrame_RecvData(const QByteArray& payload);

    // Copy of the last configuration sent; until the first one it is all
    // zeros, that is gate mode at 0 Hz.
    st_RecvParam m_config;
    // Gate frequency, gate count, data type and the gate windows; empty
    // (count 0, data type 0) until a channel request has been accepted.
    st_RecvGateTable m_gates;
    st_ConfigAutoTimeChannel_DUD4004 m_autoChannel;
};
