#pragma once
// A sounding point of a line: refers to its line (many-to-one, column
// Data_LineID) and holds its samples (one-to-many, foreign key Data_PointID of
// Data_Sample).

#include "DeviceRecords.h"
#include "OrmClass.h"

#include <QDataStream>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVector>

#include <memory>

class Data_Line;
class Data_Sample;
struct st_SampleData_Send;

class Data_Point
{
public:
    Data_Point();
    Data_Point(const int& id);
    virtual ~Data_Point();

    // Entries of list_Data_Sample as held in memory, used or not.
    int GetSampleSize();

    // Reading the point's used samples (USE not 0), fetching the columns
    // they need by ID into the held objects. Only p_getRecvData, and
    // GetRecvData and GetRSD through it, leave the sample list light again.
    // Defined in calc/StoredReaders.cpp, next to the decay arithmetic they
    // use: the data library must not depend on that arithmetic, so only code
    // that links calc may call these.
    QList<st_SampleData_Send> GetSendData();
    double GetSendI();
    double GetSendFs();
    double GetOffTime();
    QList<st_RecvData_DUD4004> GetRecvData_Dud4004_RAW(bool divI);
    QList<st_RecvData_DUD4004> GetRecvData_Dud4004(bool divI, int mode);
    QDateTime GetStartTime();
    int GetPeriod();
    // One processed curve per used sample; leaves the sample list light.
    void p_getRecvData(QList<QVector<double>>* values, QList<QVector<double>>* times, bool divI);
    // The point's stacked curve.
    void GetRecvData(QVector<double>* values, QVector<double>* times, bool divI);
    // Per-gate relative standard deviation, as long as the stacked curve.
    QVector<double> GetRSD();

    int ID = 0;
    double NAME = -1.0;         // point number (continuous lines: position in the line)
    int USE = 0;
    QString NOTE;
    int TYPE = 0;               // 0 TEM sounding, 1 self-check
    std::shared_ptr<Data_Line> Data_LineID;
    QVector<std::shared_ptr<Data_Sample>> list_Data_Sample;
};

ORM_DECLARE_CLASS(Data_Point)

QDataStream& operator<<(QDataStream& stream, const Data_Point& object);
QDataStream& operator>>(QDataStream& stream, Data_Point& object);
