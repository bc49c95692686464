#include "Data_Calc.h"

#include "Data_Blob.h"
#include "TimeChannel.h"

#include <QDateTime>

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

// Element-wise mean of the waveforms as long as the first one; others are
// left out. At least one waveform.
QVector<double> meanOfSameLength(const QList<QVector<double> >& waves)
{
    QVector<double> mean = waves.first();
    int count = 1;
    for (int r = 1; r < waves.size(); ++r) {
        const QVector<double>& w = waves[r];
        if (w.size() != mean.size())
            continue;
        for (int i = 0; i < w.size(); ++i)
            mean[i] += w[i];
        ++count;
    }
    for (double& x : mean)
        x /= count;
    return mean;
}

// One stored waveform column of every send record, decoded.
template <class Column>
QList<QVector<double> > decodedWaves(const QList<st_SampleData_Send>& sends, Column column)
{
    QList<QVector<double> > waves;
    for (const st_SampleData_Send& s : sends)
        waves.append(Data_Calc::ByteArrayToVector(s.*column));
    return waves;
}

} // namespace

Data_Calc::Data_Calc(QObject* parent)
    : QObject(parent)
{
    g_startTime = 80;
    TimeChannel::LoadTimeTable(QStringLiteral(":/etc/time.ini"));
    // Set even when the file could not be read: the smoothing does not
    // depend on the table.
    g_timeTableLoaded = true;
}

Data_Calc::~Data_Calc() = default;

QVector<double> Data_Calc::ByteArrayToVector(QByteArray data)
{
    return Data_Blob::ByteArrayToVector(data);
}

double Data_Calc::CalcSendI(QVector<double> wave)
{
    const int n = wave.size();
    const int a = n / 8;
    const int b = n / 4;
    const int h = n / 2;
    double sum = 0.0;
    for (int i = a; i < b; ++i)
        sum += std::fabs(wave[i] - wave[i + h]) * 0.5;
    // Divided by n/8, not by the number of terms: the two agree for whole
    // multiples of 8 samples, which is what the transmitter sends.
    return ieeeDiv(sum, a);
}

double Data_Calc::CalcSendIMean(QList<st_TEMSendData> sends)
{
    double sum = 0.0;
    for (const st_TEMSendData& s : sends)
        sum += CalcSendI(s.SendData);
    return ieeeDiv(sum, sends.size());
}

double Data_Calc::CalcOffTime(double sampleRate, QVector<double> wave)
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

double Data_Calc::CalcOffTimeMean(QList<st_TEMSendData> sends)
{
    double sum = 0.0;
    for (const st_TEMSendData& s : sends)
        sum += CalcOffTime(s.SampleOffFs, s.OffData);
    return ieeeDiv(sum, sends.size());
}

QVector<double> Data_Calc::StackOffWave(QList<st_SampleData_Send> sends)
{
    if (sends.isEmpty())
        return QVector<double>();
    return meanOfSameLength(decodedWaves(sends, &st_SampleData_Send::DATA_SOFF));
}

QVector<double> Data_Calc::StackRecvData(QList<st_RecvData_DUD4004> recvs)
{
    if (recvs.isEmpty())
        return QVector<double>();
    const st_RecvData_DUD4004& first = recvs.first();
    QVector<double> result = first.Values;
    if (result.size() != first.Times.size())
        return QVector<double>();
    int added = 1;
    for (int r = 1; r < recvs.size(); ++r) {
        const st_RecvData_DUD4004& rec = recvs[r];
        if (rec.DataType != first.DataType || rec.Times.size() != first.Times.size()
            || rec.Values.size() != result.size())
            break;
        for (int i = 0; i < result.size(); ++i)
            result[i] += rec.Values[i];
        ++added;
    }
    for (double& x : result)
        x /= added;
    return result;
}

double Data_Calc::CalcRSD(QVector<double> data)
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

double Data_Calc::CalcRSDOrZero(QVector<double> data)
{
    if (data.isEmpty())
        return 0.0;
    return CalcRSD(data);
}

QVector<double> Data_Calc::CalcGateRSD(QList<st_RecvData_DUD4004> recvs)
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

void Data_Calc::AbsDivide(QVector<double>& data, double divisor)
{
    for (double& x : data)
        x = ieeeDiv(std::fabs(x), divisor);
}

void Data_Calc::AbsDivideChecked(QVector<double>& data, double divisor)
{
    if (std::fabs(divisor) < 1e-6)
        return;
    AbsDivide(data, divisor);
}

void Data_Calc::ClampAbs(QVector<double>& data, double upper, double lower)
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

void Data_Calc::ClampAbsChecked(QVector<double>* data, double upper, double lower)
{
    if (data && upper > 0 && lower > 0 && upper > lower)
        ClampAbs(*data, upper, lower);
}

QVector<double> Data_Calc::SmoothData(QVector<double> data)
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

void Data_Calc::AlignTimeToOff(QVector<double>& times, QVector<double>& values, double offTime)
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

void Data_Calc::CalcDecay(QVector<double>& values, QVector<double>& times, double offTime, int mode)
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

void Data_Calc::AddHistoryLine(QVector<double> values, QVector<double> times, qint64 startTime)
{
    // One history for the whole process, kept for as long as it runs.
    static QVector<double> s_startTimes;
    static QList<QVector<double> > s_curves;
    static QVector<QVector<double> > s_matrix;

    if (values.isEmpty())
        return;
    s_startTimes.append(static_cast<double>(startTime));
    s_curves.append(values);
    if (s_startTimes.size() > 30)
        s_startTimes.removeFirst();
    if (s_curves.size() > 30)
        s_curves.removeFirst();

    int len = s_curves.first().size();
    for (const QVector<double>& c : s_curves)
        len = std::min(len, c.size());

    QVector<QVector<double> > matrix(len);
    for (int i = 0; i < len; ++i) {
        QVector<double>& row = matrix[i];
        row.reserve(s_curves.size());
        for (const QVector<double>& c : s_curves) {
            double v = std::fabs(c[i]);
            if (v > 2.6)
                v = 2.6;
            else if (v > 0 && v < 1e-9)
                v = 1e-9;
            row.append(v);
        }
    }
    s_matrix = matrix;
    emit newGraph_Line(s_matrix, s_startTimes, times.mid(0, len), -1);
}

void Data_Calc::onData_Send(st_SampleData_Send sendData)
{
    emit newGraph_Send(sendData.SendFs, ByteArrayToVector(sendData.DATA_SEND));
    emit newGraph_Off(sendData.SampleOffFs, ByteArrayToVector(sendData.DATA_SOFF));
}

void Data_Calc::onShowData_Recvs(QString name, QList<st_RecvData_DUD4004> recvList, double offtime, int sampleMode)
{
    if (recvList.isEmpty())
        return;
    emit graphClear();
    emit graphAxisScale_Log(sampleMode == 0, sampleMode == 0);

    const bool several = recvList.size() > 1;
    QList<st_RecvData_DUD4004> processed;
    for (int p = 1; p <= recvList.size(); ++p) {
        const st_RecvData_DUD4004& rec = recvList[p - 1];
        st_RecvData_DUD4004 done = rec;
        if (several) {
            QVector<double> times = rec.Times;
            QVector<double> values = rec.Values;
            CalcDecay(values, times, offtime, sampleMode);
            emit newGraphData(QStringLiteral("采样%1").arg(p), times, values, 0.3);
            done.Times = times;
            done.Values = values;
        }
        processed.append(done);
    }

    QVector<double> stacked = StackRecvData(recvList);
    if (stacked.isEmpty())
        return;
    QVector<double> times = recvList.first().Times;
    CalcDecay(stacked, times, offtime, sampleMode);
    emit newGraphData(name, times, stacked, 1.0);
    emit setGraphTitle(name, true);
    const QVector<double> rsd = CalcGateRSD(processed);
    emit newGraph_Error(processed.first().Times, rsd, several);
}

void Data_Calc::onData_SendsByte(QList<st_SampleData_Send> sendList)
{
    if (sendList.isEmpty())
        return;
    emit newGraph_Send(sendList.first().SendFs,
                       meanOfSameLength(decodedWaves(sendList, &st_SampleData_Send::DATA_SEND)));

    const QVector<double> off = StackOffWave(sendList);
    if (!off.isEmpty())
        emit newGraph_Off(sendList.first().SampleOffFs, off);
}

void Data_Calc::onData_Recvs(QList<st_RecvData_DUD4004> datas, double offTime, int sampleMode, int continueMode)
{
    if (datas.isEmpty())
        return;
    QVector<double> times = datas.last().Times;
    QVector<double> values = datas.last().Values;
    emit graphClear();
    emit graphAxisScale_Log(sampleMode == 0, sampleMode == 0);
    CalcDecay(values, times, offTime, sampleMode);

    const qint64 firstTime = datas.first().RecvTime;
    QString title = QStringLiteral("当前采集");
    if (continueMode == 1)
        title = QDateTime::fromMSecsSinceEpoch(firstTime).toString(QStringLiteral("yyyy.MM.dd hh:mm:ss.zzz"));
    emit newGraphData(QStringLiteral("0"), times, values, 1.0);
    emit setGraphTitle(title, true);
    if (continueMode == 1)
        AddHistoryLine(values, times, firstTime);
}

void Data_Calc::onData_SendsVec(QList<st_TEMSendData> sends)
{
    if (sends.isEmpty())
        return;
    QList<QVector<double> > current;
    QList<QVector<double> > off;
    for (const st_TEMSendData& s : sends) {
        current.append(s.SendData);
        off.append(s.OffData);
    }
    const QVector<double> meanCurrent = meanOfSameLength(current);
    const QVector<double> meanOff = meanOfSameLength(off);
    emit newGraph_Send(sends.first().BaseFreq, meanCurrent);
    emit newGraph_Off(sends.first().SampleOffFs, meanOff);
}
