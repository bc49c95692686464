#pragma once
// A survey line: its points are its one-to-many relation list_Data_Point
// (foreign key Data_LineID of Data_Point).

#include "OrmClass.h"

#include <QDataStream>
#include <QString>
#include <QVector>

#include <memory>

class Data_Point;

class Data_Line
{
public:
    Data_Line();
    Data_Line(const int& id);
    virtual ~Data_Line();

    // The stacked curves of the points at positions first..last (clamped):
    // one row per point, or with transpose one row per gate holding
    // magnitudes; times are the first contributing point's gate times and
    // names the contributing points' numbers. Outputs are untouched when no
    // point contributes. Defined in calc/StoredReaders.cpp, next to the decay
    // arithmetic it uses: the data library must not depend on that
    // arithmetic, so only code that links calc may call it.
    void GetRecvData(QVector<QVector<double>>* matrix, QVector<double>* times, QVector<double>* names,
                     bool transpose, int first, int last, bool divI);

    int ID = 0;
    double NAME = -1.0;         // line number
    int TYPE = 0;               // 0 single soundings, 1 continuous soundings
    int USE = 0;                // 0 excluded from plots and exports
    QString NOTE;
    QVector<std::shared_ptr<Data_Point>> list_Data_Point;
};

ORM_DECLARE_CLASS(Data_Line)

QDataStream& operator<<(QDataStream& stream, const Data_Line& object);
QDataStream& operator>>(QDataStream& stream, Data_Line& object);
