#include "TimeChannel.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
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
    if (m == 0) {
        // No centre up to the latest sample (or no table at all).
        times.clear();
        values.clear();
        return;
    }

    QVector<double> sums(m, 0.0);
    QVector<int> counts(m, 0);
    bool ascending = true;
    for (int i = 1; i < m && ascending; ++i)
        ascending = g[i] > g[i - 1];
    if (ascending) {
        // Gate windows of an ascending table are adjacent and disjoint: each
        // sample belongs to the gate found between the midpoints. Sums run
        // in sample order as below, so the means are the same to the bit.
        QVector<double> upper;
        upper.reserve(m);
        for (int i = 0; i + 1 < m; ++i)
            upper.append((g[i] + g[i + 1]) * 0.5);
        for (int j = 0; j < n; ++j) {
            const double t = times[j];
            if (!(t >= 10.0))
                continue;
            const int i = int(std::upper_bound(upper.cbegin(), upper.cend(), t) - upper.cbegin());
            sums[i] += values[j];
            ++counts[i];
        }
    } else {
        // Any other table file: every window test on every sample.
        for (int i = 0; i < m; ++i) {
            const bool hasLower = m >= 2 && i > 0;
            const bool hasUpper = m >= 2 && i < m - 1;
            const double lo = hasLower ? (g[i] + g[i - 1]) * 0.5 : 0.0;
            const double hi = hasUpper ? (g[i] + g[i + 1]) * 0.5 : 0.0;
            for (int j = 0; j < n; ++j) {
                const double t = times[j];
                if (!(t >= 10.0))
                    continue;
                if (hasLower && !(t >= lo))
                    continue;
                if (hasUpper && !(t < hi))
                    continue;
                sums[i] += values[j];
                ++counts[i];
            }
        }
    }

    QVector<double> newTimes;
    QVector<double> newValues;
    newTimes.reserve(m);
    newValues.reserve(m);
    for (int i = 0; i < m; ++i) {
        if (counts[i] >= 1) {
            newValues.append(sums[i] / counts[i]);
            newTimes.append(g[i]);
        }
    }
    values = newValues;
    times = newTimes;
}
