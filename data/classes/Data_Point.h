#pragma once
// A sounding point of a line: refers to its line (many-to-one, column
// Data_LineID) and holds its samples (one-to-many, foreign key Data_PointID of
// Data_Sample).

#include "OrmClass.h"

#include <QDataStream>
#include <QString>
#include <QVector>

#include <memory>

class Data_Line;
class Data_Sample;

class Data_Point
{
public:
    Data_Point();
    Data_Point(const int& id);
    virtual ~Data_Point();

    // Entries of list_Data_Sample as held in memory, used or not.
    int GetSampleSize();

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
