#pragma once
// Reading stored soundings: a sample's columns as arrays and records, a
// point's samples combined, and a line section of consecutive points.
//
// These are the reading members of the persistent classes
// (Data_Sample::GetOffTime, Data_Point::GetRecvData, Data_Line::GetRecvData,
// ...). They need the decay arithmetic, which sits above the persistent
// classes, so they are defined here, next to the arithmetic; the members
// forward to the free functions below, which take the object explicitly.
//
// Samples of a point are normally held light (ID, USE, PERIOD, SendFs only).
// The point readers fetch the columns they need by ID, in place, through the
// calling thread's connection; only p_getRecvData (and GetRecvData, GetRSD
// through it) puts the list back into its light state. "Used" samples are
// those whose USE is not 0, in list order.

#include "DeviceRecords.h"
#include "Data_Line.h"
#include "Data_Point.h"
#include "Data_Sample.h"

#include <QDateTime>
#include <QList>
#include <QVector>

namespace SampleReader {

// {SendFs, SampleSendFs, DATA_SEND, SampleOffFs, DATA_SOFF}, blobs shared.
st_SampleData_Send GetSendData(const Data_Sample& sample);
// Turn-off time in microseconds.
double GetOffTime(const Data_Sample& sample);
// Transmitter current amplitude in A, held within [1e-5, 9999].
double GetSendI(const Data_Sample& sample);
// Divides every element by the sample's current.
void revDataDivI(const Data_Sample& sample, QVector<double>* data);
// Decoded values (divided by the current when divI) and gate times (us).
void GetRecvData_RAW(const Data_Sample& sample, QVector<double>* values, QVector<double>* times, bool divI);
// GetRecvData_RAW, then the decay pipeline in the given processing mode.
void GetRecvData(const Data_Sample& sample, QVector<double>* values, QVector<double>* times, int mode, bool divI);
st_RecvData_DUD4004 GetRecvData_Dud4004_RAW(const Data_Sample& sample, bool divI);
st_RecvData_DUD4004 GetRecvData_Dud4004(const Data_Sample& sample, bool divI, int mode);

} // namespace SampleReader

namespace PointReader {

QList<st_SampleData_Send> GetSendData(Data_Point& point);
double GetSendI(Data_Point& point);
double GetSendFs(Data_Point& point);
double GetOffTime(Data_Point& point);
QList<st_RecvData_DUD4004> GetRecvData_Dud4004_RAW(Data_Point& point, bool divI);
QList<st_RecvData_DUD4004> GetRecvData_Dud4004(Data_Point& point, bool divI, int mode);
QDateTime GetStartTime(Data_Point& point);
int GetPeriod(Data_Point& point);
// One processed curve per used sample; leaves the sample list light.
void p_getRecvData(Data_Point& point, QList<QVector<double> >* values, QList<QVector<double> >* times, bool divI);
// The point's stacked curve.
void GetRecvData(Data_Point& point, QVector<double>* values, QVector<double>* times, bool divI);
// Per-gate relative standard deviation, as long as the stacked curve.
QVector<double> GetRSD(Data_Point& point);

} // namespace PointReader

namespace LineReader {

// The stacked curves of the points at positions first..last (clamped) of the
// line: one row per point, or with transpose one row per gate holding
// magnitudes; times are the first contributing point's gate times and names
// the contributing points' numbers. Outputs are untouched when no point
// contributes.
void GetRecvData(Data_Line& line, QVector<QVector<double> >* matrix, QVector<double>* times,
                 QVector<double>* names, bool transpose, int first, int last, bool divI);

} // namespace LineReader
