#pragma once
#include "Communication.h"
#include "DeviceRecords.h"

#include <QStringList>

class ILibRecv_DUD4004 : public Communication
{
    Q_OBJECT
public:
    explicit ILibRecv_DUD4004(QObject* parent = nullptr) : Communication(parent) {}
    QStringList calls;

signals:
    void onRecvConfiged(bool ok);
    void onRecvStop();
    void onRecvData(st_RecvData_DUD4004 data);
    void onRecvConfigTimeChannel(bool ok);
    void onRecvAutoChannel(bool ok);
    void onRecvTimeSync(bool ok);

public slots:
    void RecvConfig(st_RecvParam*) { calls << QStringLiteral("RecvConfig"); }
    void RecvStop() { calls << QStringLiteral("RecvStop"); }
    void RecvTimeSync(double) { calls << QStringLiteral("RecvTimeSync"); }
    void RecvConfig_AutoChannel(st_ConfigAutoTimeChannel_DUD4004*) { calls << QStringLiteral("RecvConfig_AutoChannel"); }
};
