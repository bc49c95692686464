#pragma once
// One stored repeat of a sounding with its raw arrays (array blobs, see
// Data_Blob.h); refers to its point (many-to-one, column Data_PointID).

#include "DeviceRecords.h"
#include "OrmClass.h"

#include <QByteArray>
#include <QDataStream>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVector>

#include <memory>

class Data_Point;

// The transmitter part of one stored sample; the arrays stay blobs.
struct st_SampleData_Send
{
    double SendFs = 0;          // transmit frequency, Hz
    double SampleSendFs = 0;    // sample rate of DATA_SEND, Hz
    QByteArray DATA_SEND;       // current waveform
    double SampleOffFs = 0;     // sample rate of DATA_SOFF, Hz
    QByteArray DATA_SOFF;       // turn-off waveform
};
Q_DECLARE_METATYPE(st_SampleData_Send)
Q_DECLARE_METATYPE(QList<st_SampleData_Send>)

class Data_Sample
{
public:
    Data_Sample();
    Data_Sample(const int& id);
    virtual ~Data_Sample();

    // A light sample (ID, USE, PERIOD and SendFs only), as an open holds
    // them: what a project keeps in memory of a sample whose arrays are in
    // the file.
    Data_Sample Light() const;

    // Reading the sample's columns as held (no database access).
    // Defined in calc/StoredReaders.cpp, next to the decay arithmetic they
    // use: the data library must not depend on that arithmetic, so only code
    // that links calc may call these.
    st_SampleData_Send GetSendData() const;
    double GetOffTime() const;                  // us
    double GetSendI() const;                    // A, within [1e-5, 9999]
    void revDataDivI(QVector<double>* data) const;   // divides by GetSendI()
    // Decoded values (divided by the current when divI) and gate times (us).
    void GetRecvData_RAW(QVector<double>* values, QVector<double>* times, bool divI) const;
    // GetRecvData_RAW, then the decay pipeline in the given processing mode.
    void GetRecvData(QVector<double>* values, QVector<double>* times, int mode, bool divI) const;
    st_RecvData_DUD4004 GetRecvData_Dud4004_RAW(bool divI) const;
    st_RecvData_DUD4004 GetRecvData_Dud4004(bool divI, int mode) const;

    int ID = 0;
    qint64 StartTime = 0;       // receive time, ms since 1970-01-01 UTC
    int DeviceType = 1;
    int TYPE = 0;               // receiver data type of the sounding
    int PERIOD = 0;             // stacked periods
    // Declared beside PERIOD, so the two ints pack: an open holds about a
    // million samples at once.
    int USE = 0;
    QByteArray DATA_RECV;       // decay values
    QByteArray DATA_RECV_POS;   // gate centre times, us
    QByteArray DATA_RECV_LEN;   // gate widths
    QByteArray DATA_SEND;       // transmitter current waveform
    QByteArray DATA_SOFF;       // transmitter turn-off waveform
    double SendFs = 0;          // transmit frequency, Hz
    double SampleSendFs = 0;
    double SampleOffFs = 0;
    double RecvFs = 1.0;        // receiver sample rate, Hz
    QString NOTE;
    std::shared_ptr<Data_Point> Data_PointID;
};

ORM_DECLARE_CLASS(Data_Sample)

QDataStream& operator<<(QDataStream& stream, const Data_Sample& object);
QDataStream& operator>>(QDataStream& stream, Data_Sample& object);
