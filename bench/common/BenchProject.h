#pragma once
// The generated project the ORM and project-file benchmarks run on: lines of
// 100 points, 3 samples per point, about 10 KB of arrays per sample, every
// sample holding the same arrays.

#include <QVector>

#include <cmath>

namespace benchproject {

const int kPointsPerLine = 100;
const int kSamplesPerPoint = 3;

inline QVector<double> wave(int n, double scale)
{
    QVector<double> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = scale * std::sin(i * 0.01) + i * 1e-6;
    return v;
}

// Gate centres from 100 us on, spaced evenly on a logarithmic axis, late
// enough that the decay processing keeps them.
inline QVector<double> gateTimes(int n)
{
    QVector<double> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = 100.0 * std::pow(10.0, 2.0 * i / n);
    return v;
}

// A decay over those gates, in volts.
inline QVector<double> decay(int n)
{
    QVector<double> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = 1e-3 * std::pow(10.0, -3.0 * i / n);
    return v;
}

// 1000 + 150 + 3 x 40 doubles: about 10 KB per sample.
struct Arrays
{
    QVector<double> send = wave(1000, 5.0);
    QVector<double> off = wave(150, 1.0);
    QVector<double> recv = decay(40);
    QVector<double> pos = gateTimes(40);
    QVector<double> len = wave(40, 10);
};

// Numbers of the line and of the point for the i-th generated point. The
// points of a line are saved against number order, so reading them in order
// has to sort.
inline double lineName(int i)
{
    return i / kPointsPerLine;
}

inline double pointName(int i)
{
    return (kPointsPerLine - i % kPointsPerLine) * 10;
}

} // namespace benchproject
