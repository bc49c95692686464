#include "RecvGates.h"

#include <cmath>

namespace
{
bool positiveFinite(double v)
{
    return std::isfinite(v) && v > 0.0;
}

// A table is a few hundred gates in practice; requests beyond these bounds
// (a huge channel count, a frequency far below what the boxes transmit)
// describe no gates the box could lay out, and would only cost memory and
// time.
constexpr int MaxGates = 4096;
// Samples in a quarter period: past 2^24 a sample index no longer fits the
// single-precision values of the box.
constexpr double MaxQuarterSamples = 16777216.0;
}

QVector<double> RecvGates::CalcAutoTimes(double F, double R, int N)
{
    // The steps below read t[1]; with fewer than two channels there is no
    // gate structure to build.
    if (N < 2 || N > MaxGates || !positiveFinite(F) || !positiveFinite(R))
        return {};

    const double Q = 1e6 / F * 0.25;    // quarter of the transmitter period
    const double L = std::log10(Q);
    const double P = 1e6 / R;           // sample period
    const double s = L / N;
    if (!positiveFinite(Q) || !positiveFinite(P) || !(Q / P <= MaxQuarterSamples))
        return {};

    QVector<double> t(N);
    for (int i = 1; i <= N; ++i)
        t[i - 1] = std::pow(10.0, i * s);

    // First logarithmic step wider than one sample period.
    int d = 1;
    for (int k = 1; k < N; ++k) {
        if (t[k] - t[k - 1] > P) {
            d = k;
            break;
        }
    }
    // Checked as a double before it becomes a count: the whole samples and
    // the tail together make the table.
    const double whole = std::trunc(t[d] / P);
    if (!(whole + N - d <= MaxGates))
        return {};
    const int n = static_cast<int>(whole);

    // Whole sample periods up to t[d], then the logarithmic tail. Built into a
    // fresh list: with few channels n exceeds d and the list outgrows N.
    QVector<double> u;
    u.reserve(N - d + n);
    for (int k = 1; k <= n; ++k)
        u.append(k * P);
    for (int k = d; k < N; ++k)
        u.append(t[k]);
    const int m = u.size();

    if (m >= 2) {
        for (int k = 1; k < m; ++k) {
            if (u[k] - u[k - 1] < P)
                u[k] = u[k - 1] + P;
        }
    }
    // The box quantises with a fixed half microsecond, not half a period.
    for (int i = 0; i < m; ++i)
        u[i] = std::trunc((u[i] + 0.5) / P) * P;
    if (m < 2)
        return u;

    QVector<double> w(m);
    w[0] = u[0];
    for (int k = 1; k < m; ++k)
        w[k] = u[k] - u[k - 1];

    // One pass that moves a width shorter by half a period or more back
    // behind the widths it is not shorter than. A single exchange, as the box
    // does it, not an insertion.
    for (int a = 0; a <= m - 2; ++a) {
        if (w[a + 1] - w[a] <= -P / 2) {
            int target = 0;
            for (int j = a; j >= 0; --j) {
                if (w[a + 1] - w[j] > -P / 2) {
                    target = j + 1;
                    break;
                }
            }
            std::swap(w[target], w[a + 1]);
        }
    }

    double sum = 0.0;
    for (int k = 0; k < m; ++k) {
        sum += w[k];
        u[k] = sum;
    }
    return u;
}

void RecvGates::Build(st_RecvGateTable& table, float baseFreq, float sampleRate, int channelCount)
{
    const QVector<double> t = CalcAutoTimes(double(baseFreq), double(sampleRate), channelCount);
    const int m = t.size();
    table.GateFreq = baseFreq;
    table.DataType = 1;
    table.GateCount = m;
    table.Gates.resize(m);
    if (m == 0)
        return;
    const double P = 1e6 / double(sampleRate);
    table.Gates[0] = qMakePair(t[0], t[0]);
    for (int i = 1; i < m; ++i)
        table.Gates[i] = qMakePair(table.Gates[i - 1].second + P, t[i]);
}

void RecvGates::BuildByIndex(st_RecvGateTable& table, float baseFreq, float sampleRate, int channelCount)
{
    if (channelCount <= 0 || channelCount > MaxGates || !positiveFinite(baseFreq) || !positiveFinite(sampleRate)
        || !(double(sampleRate) / double(baseFreq) * 0.25 <= MaxQuarterSamples))
        return;
    const int N = channelCount;
    table.GateCount = N;
    table.GateFreq = baseFreq;
    table.DataType = 1;
    table.Gates.resize(N);

    // Index of the last sample in a quarter period, in single precision. At
    // least 1, so that the logarithm below stays finite.
    const float S = std::max(1.0f, std::trunc(sampleRate / baseFreq * 0.25f) - 1.0f);
    const float c = std::log10(S);

    QVector<double> v(N);
    for (int i = 1; i <= N; ++i)
        v[i - 1] = std::pow(10.0, double(i) * c / N) - 1.0;
    for (int j = 0; j < N; ++j) {
        if (v[j] < j)
            v[j] = j;
    }
    double begin = 0.0;
    for (int j = 0; j < N; ++j) {
        const double end = std::trunc(v[j]);
        table.Gates[j] = qMakePair((begin + 1.0) * 1.6, (end + 1.0) * 1.6);
        begin = end + 1.0;
    }
}
