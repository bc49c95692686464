#pragma once

#include "DecayMath.h"
#include "DeviceRecords.h"
#include "Data_Sample.h"   // st_SampleData_Send

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

// The decay processor: turns received or stored soundings into plot curves.
// Its static operations are the decay arithmetic (DecayMath), which the
// readers of stored samples share from below this layer. The slots take whole
// soundings and answer with the plot signals, synchronously and in a fixed
// order.
class Data_Calc : public QObject, public DecayMath
{
    Q_OBJECT
public:
    explicit Data_Calc(QObject* parent);
    ~Data_Calc() override;

    QVector<double> StackOffWave(QList<st_SampleData_Send> sends);
    QVector<double> StackRecvData(QList<st_RecvData_DUD4004> recvs);
    // Appends one processed decay of a continuous sounding to the process-wide
    // history (the 30 newest) and emits the history matrix.
    void AddHistoryLine(QVector<double> values, QVector<double> times, qint64 startTime);

signals:
    void graphAxisScale_Log(bool xLog, bool yLog);
    void graphClear();
    void newGraphData(QString name, QVector<double> x, QVector<double> y, double opacity);
    void setGraphTitle(QString title, bool show);
    void newGraph_Send(double baseFreq, QVector<double> wave);
    void newGraph_Off(double sampleRate, QVector<double> wave);
    void newGraph_Line(QVector<QVector<double> > matrix, QVector<double> x, QVector<double> rowTimes, int marker);
    void newGraph_Error(QVector<double> times, QVector<double> rsd, bool show);

public slots:
    void onData_Send(st_SampleData_Send sendData);
    void onShowData_Recvs(QString name, QList<st_RecvData_DUD4004> recvList, double offtime, int sampleMode = 0);
    void onData_SendsByte(QList<st_SampleData_Send> sendList);
    void onData_Recvs(QList<st_RecvData_DUD4004> datas, double offTime, int sampleMode = 0, int continueMode = 0);
    void onData_SendsVec(QList<st_TEMSendData> sends);
};
