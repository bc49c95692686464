#include "PlotFeeding.h"

#include <cmath>

namespace {

bool usableRate(double fs)
{
    return std::isfinite(fs) && fs > 0.0;
}

double meanOf(const QVector<double>& data, int from)
{
    const int n = data.size() - from;
    if (n <= 0)
        return 0.0;
    double sum = 0.0;
    for (int i = from; i < data.size(); ++i)
        sum += data[i];
    return sum / n;
}

} // namespace

bool SendWaveCurve(double fs, const QVector<double>& data, WaveCurve* curve)
{
    if (!usableRate(fs) || fs > kMaxSendSampleRate)
        return false;
    const int n = data.size();
    const double step = n > 0 ? (1000.0 / fs) / n : 0.0;
    const double mean = meanOf(data, 0);
    curve->x.resize(n);
    curve->y.resize(n);
    for (int i = 0; i < n; ++i) {
        curve->x[i] = (i + 1) * step;
        curve->y[i] = data[i] - mean;
    }
    return true;
}

bool OffWaveCurve(double fs, const QVector<double>& data, WaveCurve* curve)
{
    if (!usableRate(fs))
        return false;
    const int n = data.size();
    const double baseline = meanOf(data, n < 5 ? 0 : n - 5);
    curve->x.resize(n);
    curve->y.resize(n);
    for (int i = 0; i < n; ++i) {
        curve->x[i] = (i + 1) * 1000000.0 / fs;
        curve->y[i] = data[i] - baseline;
    }
    return true;
}

QVector<double> fitTurnOffRamp(const QVector<double>& x, QVector<double> y)
{
    const int n = x.size();
    const int a = int(0.12 * n);
    const int b = int(0.32 * n);
    if (b < 1 || y.size() < n)
        return y;
    double slope = 0.0;
    if (a < b) {
        double sum = 0.0;
        for (int i = a + 1; i <= b; ++i)
            sum += (y[i] - y[i - 1]) / (x[i] - x[i - 1]);
        slope = sum / (b - a) * 0.91;
    }
    for (int i = 0; i < b; ++i)
        y[i] = y[b] + slope * (x[i] - x[b]);
    return y;
}
