#pragma once
// The decay arithmetic: stateless operations on received and stored arrays,
// shared by the decay processor, the readers of stored samples and the line
// assembly on a pool thread. Qt Core only.
//
// Processing mode: 0 is a TEM sounding (gain division, gating onto the
// gate-time table, start-time cut); anything else skips those three steps.

#include "DeviceRecords.h"

#include <QByteArray>
#include <QList>
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

struct DecayMath
{
    // Array blob: big-endian doubles back to back, no header.
    static QVector<double> ByteArrayToVector(QByteArray data);

    static double CalcSendI(QVector<double> wave);
    // A stored sample's current: CalcSendI kept within [1e-5, 9999] (NaN and
    // a wave too short to read giving 1e-5).
    static double StoredSendI(const QVector<double>& wave);
    // The values of an n-value wave CalcSendI reads: count values from first,
    // and as many again half the wave further on.
    struct SendIStretch
    {
        int first;
        int count;
        int half;
    };
    static SendIStretch SendIStretchOf(int n) { return {n / 8, n / 4 - n / 8, n / 2}; }
    static double CalcSendIMean(QList<st_TEMSendData> sends);
    static double CalcOffTime(double sampleRate, QVector<double> wave);
    static double CalcOffTimeMean(QList<st_TEMSendData> sends);
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
};
