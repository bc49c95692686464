#pragma once
#include "Communication.h"
#include "DeviceRecords.h"

#include <QStringList>

class iLibSend : public Communication
{
    Q_OBJECT
public:
    explicit iLibSend(QObject* parent = nullptr) : Communication(parent) {}
    QStringList calls;

signals:
    void TEM_Configed(uint result);
    void TEM_Strated(bool ok);
    void TEM_Stoped();
    void TEM_NewSendData(st_TEMSendData data);
    void TEM_SendMonitor(st_TEMSendMonitor data);
    void TEM_SendDeviceInfo(st_DeviceInfo info);

public slots:
    void TEM_Config(st_TEMSendInfo*) { calls << QStringLiteral("TEM_Config"); }
    void TEM_Strat() { calls << QStringLiteral("TEM_Strat"); }
    void TEM_Stop() { calls << QStringLiteral("TEM_Stop"); }
    void GetDeviceInfo() { calls << QStringLiteral("GetDeviceInfo"); }
};
