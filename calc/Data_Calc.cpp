#include "Data_Calc.h"

#include "TimeChannel.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace {

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
