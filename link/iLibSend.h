#pragma once
// The transmitter box's command set: configure, start, stop and device
// information, and its two pushes: the current and turn-off waveforms with
// the monitor values, and the monitor values alone.

#include "Communication.h"
#include "DeviceRecords.h"

class iLibSend : public Communication
{
    Q_OBJECT
public:
    explicit iLibSend(QObject* parent = nullptr);
    ~iLibSend() override;

    // Base frequency of the last TEM_Config, 200 Hz before any.
    double GetBaseFreq() const { return m_baseFreq; }

Q_SIGNALS:
    void TEM_Configed(quint32 result);
    void TEM_Strated(bool ok);
    void TEM_Stoped();
    void TEM_NewSendData(st_TEMSendData data);
    void TEM_SendMonitor(st_TEMSendMonitor monitor);
    void TEM_SendDeviceInfo(st_DeviceInfo info);

public Q_SLOTS:
    void TEM_Config(st_TEMSendInfo* info);
    void TEM_Strat();
    void TEM_Stop();
    void GetDeviceInfo();

public:
    void OnFrame(unsigned int cmd, bool ok, QByteArray* data) override;

private:
    void OnFrame_SendData(const QByteArray& payload);
    void ParseMonitor(const QByteArray& payload);
    void ParseDeviceInfo(const QByteArray& payload);

    double m_baseFreq = 200.0;
};
