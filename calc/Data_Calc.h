#pragma once

#include "DeviceRecords.h"
#include "Data_Sample.h"   // st_SampleData_Send

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

// Earliest rescaled decay time (us) kept for TEM soundings; the settings page
// changes it at run time, and a line assembly on the pool thread may read the
// old or the new value.
extern int g_startTime;
// Set once the decay processor is built (also when the gate-time file could
// not be read); while set, decays are smoothed.
extern bool g_timeTableLoaded;
// Receiver gain by which TEM decay magnitudes are divided.
extern double g_recvGain;

// The decay processor: turns received or stored soundings into plot curves.
// The static operations are the arithmetic and are also used by the readers
// of stored samples and by the line assembly on a pool thread; they keep no
// state. The slots take whole soundings and answer with the plot signals,
// synchronously and in a fixed order.
//
// Processing mode: 0 is a TEM sounding (gain division, gating onto the
// gate-time table, start-time cut); anything else skips those three steps.
class Data_Calc : public QObject
{
    Q_OBJECT
public:
    explicit Data_Calc(QObject* parent);
    ~Data_Calc() override;

    // Array blob: big-endian doubles back to back, no header.
    static QVector<double> ByteArrayToVector(QByteArray data);

    static double CalcSendI(QVector<double> wave);
    static double CalcSendIMean(QList<st_TEMSendData> sends);
    static double CalcOffTime(double sampleRate, QVector<double> wave);
    static double CalcOffTimeMean(QList<st_TEMSendData> sends);
    QVector<double> StackOffWave(QList<st_SampleData_Send> sends);
    QVector<double> StackRecvData(QList<st_RecvData_DUD4004> recvs);
    static double CalcRSD(QVector<double> data);
    static double CalcRSDOrZero(QVector<double> data);
    static QVector<double> CalcGateRSD(QList<st_RecvData_DUD4004> recvs);
    static void AbsDivide(QVector<double>& data, double divisor);
    static void AbsDivideChecked(QVector<double>& data, double divisor);
    static void ClampAbs(QVector<double>& data, double upper, double lower);
    static void ClampAbsChecked(QVector<double>* data, double upper, double lower);
    static QVector<double> SmoothData(QVector<double> data);
    static void AlignTimeToOff(QVector<double>& times, QVector<double>& values, double offTime);
    static void CalcDecay(QVector<double>& values, QVector<double>& times, double offTime, int mode);
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
