#pragma once

#include <QObject>
#include <QString>
#include <QVector>

// Gate-centre times in microseconds, ascending, as read from the gate-time
// file. Filled once when the decay processor is built; read-only afterwards,
// also from the line-assembly thread.
extern QVector<double> g_timeTable;

// The gate-time table's operations. The class carries no state: everything is
// static and works on g_timeTable or on the vectors it is given.
class TimeChannel : public QObject
{
    Q_OBJECT
public:
    explicit TimeChannel(QObject* parent);
    ~TimeChannel() override;

    // Replaces g_timeTable with the numbers of the text file at path, one per
    // line. An unreadable file leaves the table as it was.
    static void LoadTimeTable(QString path);

    // The values t of table, in table order, with lower <= t <= upper.
    static QVector<double> GetTimeRange(double lower, double upper, QVector<double>& table);

    // Resamples (times[j], values[j]) onto the gate centres of g_timeTable:
    // one (centre, mean) pair per gate that holds at least one sample from
    // 10 us on. Samples are paired by index up to the shorter vector.
    static void TimeGate(QVector<double>& times, QVector<double>& values);
};
