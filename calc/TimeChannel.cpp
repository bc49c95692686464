#include "TimeChannel.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <limits>

QVector<double> g_timeTable;

TimeChannel::TimeChannel(QObject* parent)
    : QObject(parent)
{
}

TimeChannel::~TimeChannel() = default;

void TimeChannel::LoadTimeTable(QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream stream(&file);
    g_timeTable.clear();
    while (!stream.atEnd()) {
        // A line that is not a number yields 0.0, which no gate range selects.
        g_timeTable.append(stream.readLine().toDouble());
    }
    file.close();
}

QVector<double> TimeChannel::GetTimeRange(double lower, double upper, QVector<double>& table)
{
    QVector<double> range;
    for (double t : table) {
        if (t >= lower && t <= upper)   // false for NaN
            range.append(t);
    }
    return range;
}

void TimeChannel::TimeGate(QVector<double>& times, QVector<double>& values)
{
    // A damaged record may carry fewer values than times (or the reverse):
    // only index pairs that exist in both take part.
    const int n = std::min(times.size(), values.size());
    if (n == 0) {
        times.clear();
        values.clear();
        return;
    }

    double tmax = -std::numeric_limits<double>::infinity();
    for (int j = 0; j < n; ++j) {
        if (times[j] > tmax)            // NaN never wins
            tmax = times[j];
    }

    QVector<double> table = g_timeTable;
    const QVector<double> g = GetTimeRange(10.0, tmax, table);
    const int m = g.size();

    QVector<double> newTimes;
    QVector<double> newValues;
    newTimes.reserve(m);
    newValues.reserve(m);
    for (int i = 0; i < m; ++i) {
        const bool hasLower = m >= 2 && i > 0;
        const bool hasUpper = m >= 2 && i < m - 1;
        const double lo = hasLower ? (g[i] + g[i - 1]) * 0.5 : 0.0;
        const double hi = hasUpper ? (g[i] + g[i + 1]) * 0.5 : 0.0;
        double sum = 0.0;
        int count = 0;
        for (int j = 0; j < n; ++j) {
            const double t = times[j];
            if (!(t >= 10.0))
                continue;
            if (hasLower && !(t >= lo))
                continue;
            if (hasUpper && !(t < hi))
                continue;
            sum += values[j];
            ++count;
        }
        if (count >= 1) {
            newValues.append(sum / count);
            newTimes.append(g[i]);
        }
    }
    values = newValues;
    times = newTimes;
}
