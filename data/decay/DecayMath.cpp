#include "DecayMath.h"

#include "Data_Blob.h"
#include "TimeChannel.h"

#include <algorithm>
#include <cmath>
#include <limits>

int g_startTime = 80;
bool g_timeTableLoaded = false;
// The main window sets the gain of the receiver it drives; 11.0 is that
// receiver's gain, so code that runs without a window divides by the same.
double g_recvGain = 11.0;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Stored data can make a divisor zero (too short a waveform, an empty list,
// a zero mean). The quotient is then what IEEE arithmetic gives, computed
// without dividing by zero.
double ieeeDiv(double num, double den)
{
    if (den != 0.0 || std::isnan(den))
        return num / den;
    if (std::isnan(num) || num == 0.0)
        return kNaN;
    return (std::signbit(num) != std::signbit(den)) ? -kInf : kInf;
}

// log10 of 2.5: dividing a time by 2.5 on the logarithmic axis.
const double kLog10Of2p5 = 0.3979400086720377;

} // namespace

QVector<double> DecayMath::ByteArrayToVector(QByteArray data)
{
    return Data_Blob::ByteArrayToVector(data);
}

double DecayMath::CalcSendI(QVector<double> wave)
{
    const SendIStretch s = SendIStretchOf(wave.size());
    const int a = s.first;
    double sum = 0.0;
    for (int i = a; i < a + s.count; ++i)
        sum += std::fabs(wave[i] - wave[i + s.half]) * 0.5;
    // Divided by n/8, not by the number of terms: the two agree for whole
    // multiples of 8 samples, which is what the transmitter sends.
    return ieeeDiv(sum, a);
}

double DecayMath::StoredSendI(const QVector<double>& wave)
{
    if (wave.size() / 4 == 0)
        return 1e-5;
    const double a = CalcSendI(wave);
    if (a > 9999)
        return 9999;
    if (a > 1e-5)
        return a;
    return 1e-5;   // also for NaN
}

double DecayMath::CalcSendIMean(QList<st_TEMSendData> sends)
{
    double sum = 0.0;
    for (const st_TEMSendData& s : sends)
        sum += CalcSendI(s.SendData);
    return ieeeDiv(sum, sends.size());
}

double DecayMath::CalcOffTime(double sampleRate, QVector<double> wave)
{
    const int n = wave.size();
    if (n < 5)
        return 0.0;

    // Running smoothing over the already smoothed values and the raw sample.
    QVector<double> m(n, 0.0);
    for (int i = 0; i < n; ++i) {
        const int k = std::max(0, i - 4);
        // Earlier smoothed values first, the raw sample last: the settling
        // thresholds below are met to the last bit, so the order counts.
        double sum = 0.0;
        for (int q = k; q < i; ++q)
            sum += m[q];
        sum += wave[i];
        m[i] = sum / (i - k + 1);
    }
    QVector<double> d(n, 0.0);
    for (int i = 1; i < n; ++i)
        d[i] = m[i] - m[i - 1];

    if (n < 6)
        return 0.0;

    int found = -1;
    for (int j = 0; j <= n - 6 && found < 0; ++j) {
        bool settled = true;
        for (int k = j; k <= j + 4; ++k) {
            if (!(std::fabs(d[k]) <= 0.05 && m[k] <= 0.3)) {
                settled = false;
                break;
            }
        }
        if (settled)
            found = j;
    }
    if (found < 0)
        return 0.0;

    const double r = ieeeDiv((found + 2) * 1000.0 * 1000.0, sampleRate);
    // A ramp that settles within a few samples is taken for the instrument's
    // usual turn-off time.
    if (r > 1.1 && r < 30.0)
        return 64.5;
    return r;
}

double DecayMath::CalcOffTimeMean(QList<st_TEMSendData> sends)
{
    double sum = 0.0;
    for (const st_TEMSendData& s : sends)
        sum += CalcOffTime(s.SampleOffFs, s.OffData);
    return ieeeDiv(sum, sends.size());
}

double DecayMath::CalcRSD(QVector<double> data)
{
    const int n = data.size();
    double sum = 0.0;
    for (double x : data)
        sum += x;
    const double mean = ieeeDiv(sum, n);
    double sq = 0.0;
    for (double x : data)
        sq += (x - mean) * (x - mean);
    const double sd = std::sqrt(ieeeDiv(sq, n - 1));
    return ieeeDiv(100.0 * sd, std::fabs(mean));
}

double DecayMath::CalcRSDOrZero(QVector<double> data)
{
    if (data.isEmpty())
        return 0.0;
    return CalcRSD(data);
}

QVector<double> DecayMath::CalcGateRSD(QList<st_RecvData_DUD4004> recvs)
{
    if (recvs.isEmpty())
        return QVector<double>();
    QVector<double> result(recvs.first().Values.size(), 0.0);
    const int count = recvs.size();
    QVector<double> w(count, 0.0);
    if (count == 1)
        return result;
    for (int i = 0; i < result.size(); ++i) {
        for (int j = 0; j < count; ++j) {
            // A shorter record keeps its value of the previous gate.
            if (recvs[j].Values.size() > i)
                w[j] = std::log10(std::fabs(recvs[j].Values[i]));
        }
        const double rsd = CalcRSD(w);
        result[i] = (rsd < 100.0) ? rsd : 100.0;   // NaN gives 100 too
    }
    return result;
}

void DecayMath::AbsDivide(QVector<double>& data, double divisor)
{
    for (double& x : data)
        x = ieeeDiv(std::fabs(x), divisor);
}

void DecayMath::AbsDivideChecked(QVector<double>& data, double divisor)
{
    if (std::fabs(divisor) < 1e-6)
        return;
    AbsDivide(data, divisor);
}

void DecayMath::ClampAbs(QVector<double>& data, double upper, double lower)
{
    for (double& x : data) {
        if (std::isnan(x))
            continue;
        if (std::fabs(x) > upper)
            x = (x > 0) ? upper : -upper;
        else if (std::fabs(x) < lower)
            x = (x > 0) ? lower : -lower;   // 0 becomes -lower
    }
}

void DecayMath::ClampAbsChecked(QVector<double>* data, double upper, double lower)
{
    if (data && upper > 0 && lower > 0 && upper > lower)
        ClampAbs(*data, upper, lower);
}

QVector<double> DecayMath::SmoothData(QVector<double> data)
{
    const int n = data.size();
    QVector<double> out = data;
    if (n <= 10)
        return out;
    // Early gates are few samples wide: leave the first 11 alone, smooth
    // over 3 points up to 100 and over 5 points beyond.
    const int end3 = std::min(n - 2, 100);
    for (int i = 11; i <= end3; ++i)
        out[i] = (data[i - 1] + data[i] + data[i + 1]) / 3.0;
    for (int i = 101; i <= n - 3; ++i)
        out[i] = (data[i - 2] + data[i - 1] + data[i] + data[i + 1] + data[i + 2]) / 5.0;
    out[n - 2] = (out[n - 2] + data[n - 3] + data[n - 1]) / 3.0;
    return out;
}

void DecayMath::AlignTimeToOff(QVector<double>& times, QVector<double>& values, double offTime)
{
    const int n = times.size();
    if (n == 0 || values.size() != n)
        return;
    if (!(std::fabs(offTime) >= 1e-6) || !(offTime > times.first()) || !(offTime < times.last()))
        return;

    int i = -1;
    for (int k = 0; k + 1 < n; ++k) {
        if (times[k] <= offTime && offTime < times[k + 1]) {
            i = k;
            break;
        }
    }
    if (i >= 0) {
        times.remove(0, i + 1);
        values.remove(0, i + 1);
    }

    // Snap to the receiver's 1.6 us sample spacing. trunc() is the 32-bit
    // truncation toward zero for every time a receiver produces, and keeps
    // NaN, infinities and absurdly late times defined.
    for (double& t : times)
        t = std::trunc(std::ceil(t - offTime) / 1.6) * 1.6;
    if (times.isEmpty())
        return;
    if (times[0] <= 1.6)
        times[0] = 1.6;
    for (int k = 1; k < times.size(); ++k) {
        if (times[k] - times[k - 1] < 0.8)
            times[k] = times[k - 1] + 1.6;
    }
}

void DecayMath::CalcDecay(QVector<double>& values, QVector<double>& times, double offTime, int mode)
{
    // Values and times describe the same samples index by index; a damaged
    // record with one vector longer than the other is paired up to the
    // shorter one.
    const int n = std::min(values.size(), times.size());
    QVector<double> copy = values.mid(0, n);
    if (times.size() > n)
        times.resize(n);

    AlignTimeToOff(times, copy, offTime);
    if (g_timeTableLoaded)
        copy = SmoothData(copy);
    if (mode == 0) {
        const double gain = g_recvGain;
        if (std::fabs(gain) >= 1e-6)
            AbsDivide(copy, gain);
        TimeChannel::TimeGate(times, copy);
    }
    for (double& t : times)
        t = std::pow(10.0, std::log10(t) - kLog10Of2p5);
    ClampAbs(copy, 10, 1.1e-9);
    if (mode == 0) {
        const double start = static_cast<double>(g_startTime);
        int k = 0;
        while (k < times.size() && !(times[k] >= start))
            ++k;
        times.remove(0, k);
        copy.remove(0, std::min(k, copy.size()));
    }
    values = copy;
}
