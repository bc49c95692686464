#include "StoredReaders.h"

#include "Data_Calc.h"
#include "OrmDao.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// Processing mode of a point's curves from its TYPE: 0 and 1 as they are,
// 2 as a TEM sounding, anything else is reset to 0 in memory (not stored).
int modeOfPoint(Data_Point& point)
{
    if (static_cast<unsigned>(point.TYPE) > 2u) {
        point.TYPE = 0;
        return 0;
    }
    if (point.TYPE == 2)
        return 0;
    return point.TYPE;
}

// Reads the named columns (every column for an empty list) of the sample's
// row into the same object. Errors are not reported: the sample keeps what
// it holds and the computation goes on with that.
void fetchColumns(Data_Sample& sample, const QStringList& columns = QStringList())
{
    orm::dao::fetch_by_id(sample, nullptr, columns);
}

template <class Fn>
void forUsedSamples(Data_Point& point, Fn fn)
{
    // A copy of the list: the objects are shared, the vector is not walked
    // while a callee could replace it.
    const QVector<std::shared_ptr<Data_Sample> > samples = point.list_Data_Sample;
    for (const std::shared_ptr<Data_Sample>& s : samples) {
        if (s && s->USE != 0)
            fn(*s);
    }
}

void dropArrays(Data_Sample& sample)
{
    sample.DATA_RECV.clear();
    sample.DATA_RECV_POS.clear();
    sample.DATA_RECV_LEN.clear();
    sample.DATA_SEND.clear();
    sample.DATA_SOFF.clear();
}

} // namespace

namespace SampleReader {

st_SampleData_Send GetSendData(const Data_Sample& sample)
{
    st_SampleData_Send send;
    send.SendFs = sample.SendFs;
    send.SampleSendFs = sample.SampleSendFs;
    send.DATA_SEND = sample.DATA_SEND;
    send.SampleOffFs = sample.SampleOffFs;
    send.DATA_SOFF = sample.DATA_SOFF;
    return send;
}

double GetOffTime(const Data_Sample& sample)
{
    return Data_Calc::CalcOffTime(sample.SampleOffFs, Data_Calc::ByteArrayToVector(sample.DATA_SOFF));
}

double GetSendI(const Data_Sample& sample)
{
    const QVector<double> wave = Data_Calc::ByteArrayToVector(sample.DATA_SEND);
    if (wave.size() / 4 == 0)
        return 1e-5;
    const double a = Data_Calc::CalcSendI(wave);
    if (a > 9999)
        return 9999;
    if (a > 1e-5)
        return a;
    return 1e-5;   // also for NaN
}

void revDataDivI(const Data_Sample& sample, QVector<double>* data)
{
    if (!data)
        return;
    const double current = GetSendI(sample);
    for (double& x : *data)
        x /= current;
}

void GetRecvData_RAW(const Data_Sample& sample, QVector<double>* values, QVector<double>* times, bool divI)
{
    if (!values || !times)
        return;
    values->clear();
    times->clear();
    *values = Data_Calc::ByteArrayToVector(sample.DATA_RECV);
    if (divI)
        revDataDivI(sample, values);
    *times = Data_Calc::ByteArrayToVector(sample.DATA_RECV_POS);
}

void GetRecvData(const Data_Sample& sample, QVector<double>* values, QVector<double>* times, int mode, bool divI)
{
    if (!values || !times)
        return;
    GetRecvData_RAW(sample, values, times, divI);
    Data_Calc::CalcDecay(*values, *times, GetOffTime(sample), mode);
}

static st_RecvData_DUD4004 recordOf(const Data_Sample& sample)
{
    st_RecvData_DUD4004 rec;
    rec.DataType = sample.TYPE;
    rec.BaseFreq = sample.SendFs;
    rec.SampleRate = sample.RecvFs;
    rec.RecvTime = sample.StartTime;
    return rec;
}

st_RecvData_DUD4004 GetRecvData_Dud4004_RAW(const Data_Sample& sample, bool divI)
{
    st_RecvData_DUD4004 rec = recordOf(sample);
    GetRecvData_RAW(sample, &rec.Values, &rec.Times, divI);
    return rec;
}

st_RecvData_DUD4004 GetRecvData_Dud4004(const Data_Sample& sample, bool divI, int mode)
{
    st_RecvData_DUD4004 rec = recordOf(sample);
    GetRecvData(sample, &rec.Values, &rec.Times, mode, divI);
    return rec;
}

} // namespace SampleReader

namespace PointReader {

QList<st_SampleData_Send> GetSendData(Data_Point& point)
{
    QList<st_SampleData_Send> out;
    forUsedSamples(point, [&out](Data_Sample& s) {
        fetchColumns(s);
        out.append(SampleReader::GetSendData(s));
    });
    return out;
}

double GetSendI(Data_Point& point)
{
    double sum = 0.0;
    int count = 0;
    forUsedSamples(point, [&](Data_Sample& s) {
        fetchColumns(s, {QStringLiteral("DATA_SEND")});
        sum += SampleReader::GetSendI(s);
        ++count;
    });
    return count ? sum / count : 0.0;
}

double GetSendFs(Data_Point& point)
{
    if (point.list_Data_Sample.isEmpty() || !point.list_Data_Sample.first())
        return 0.0;
    Data_Sample& s = *point.list_Data_Sample.first();
    fetchColumns(s, {QStringLiteral("SendFs")});
    return s.SendFs;
}

double GetOffTime(Data_Point& point)
{
    double sum = 0.0;
    int count = 0;
    forUsedSamples(point, [&](Data_Sample& s) {
        fetchColumns(s, {QStringLiteral("SampleOffFs"), QStringLiteral("DATA_SOFF")});
        sum += SampleReader::GetOffTime(s);
        ++count;
    });
    return count ? sum / count : 0.0;
}

QList<st_RecvData_DUD4004> GetRecvData_Dud4004_RAW(Data_Point& point, bool divI)
{
    QList<st_RecvData_DUD4004> out;
    forUsedSamples(point, [&](Data_Sample& s) {
        fetchColumns(s);
        out.append(SampleReader::GetRecvData_Dud4004_RAW(s, divI));
    });
    return out;
}

QList<st_RecvData_DUD4004> GetRecvData_Dud4004(Data_Point& point, bool divI, int mode)
{
    QList<st_RecvData_DUD4004> out;
    forUsedSamples(point, [&](Data_Sample& s) {
        fetchColumns(s);
        out.append(SampleReader::GetRecvData_Dud4004(s, divI, mode));
    });
    return out;
}

QDateTime GetStartTime(Data_Point& point)
{
    if (point.list_Data_Sample.isEmpty() || !point.list_Data_Sample.first())
        return QDateTime();
    Data_Sample& s = *point.list_Data_Sample.first();
    fetchColumns(s, {QStringLiteral("StartTime")});
    return QDateTime::fromMSecsSinceEpoch(s.StartTime);
}

int GetPeriod(Data_Point& point)
{
    int sum = 0;
    forUsedSamples(point, [&](Data_Sample& s) {
        fetchColumns(s, {QStringLiteral("PERIOD")});
        sum += s.PERIOD;
    });
    return sum;
}

void p_getRecvData(Data_Point& point, QList<QVector<double> >* values, QList<QVector<double> >* times, bool divI)
{
    if (!values || !times)
        return;
    values->clear();
    times->clear();
    const int mode = modeOfPoint(point);
    if (point.list_Data_Sample.isEmpty())
        return;

    forUsedSamples(point, [&](Data_Sample& s) {
        fetchColumns(s);
        QVector<double> v;
        QVector<double> t;
        SampleReader::GetRecvData(s, &v, &t, mode, divI);
        values->append(v);
        times->append(t);
    });

    // Back to light samples: new objects holding ID, USE, PERIOD and SendFs.
    QVector<std::shared_ptr<Data_Sample> > light;
    const QSqlError error = orm::dao::fetch_by_query_with_relation(
        QStringList{QStringLiteral("{USE,PERIOD,SendFs}")},
        orm::Query().where(QStringLiteral("Data_Sample.Data_PointID")).isEqualTo(point.ID), light);
    if (!error.isValid()) {
        point.list_Data_Sample = light;
        return;
    }
    // The file could not be read again: keep the samples the point has, so
    // it stays in exports and selections, and only free their arrays.
    for (const std::shared_ptr<Data_Sample>& s : point.list_Data_Sample) {
        if (s)
            dropArrays(*s);
    }
}

void GetRecvData(Data_Point& point, QVector<double>* values, QVector<double>* times, bool divI)
{
    if (!values || !times)
        return;
    values->clear();
    times->clear();
    QList<QVector<double> > vl;
    QList<QVector<double> > tl;
    p_getRecvData(point, &vl, &tl, divI);
    if (vl.size() != tl.size() || vl.isEmpty())
        return;

    int count = vl.first().size();
    for (const QVector<double>& c : vl)
        count = std::min(count, c.size());
    const int n = vl.size();

    *values = vl.first();
    *times = tl.first();
    for (int i = 1; i < n; ++i) {
        for (int j = 0; j < count; ++j)
            (*values)[j] += vl[i][j];
    }
    for (int j = 0; j < count; ++j)
        (*values)[j] /= n;
}

QVector<double> GetRSD(Data_Point& point)
{
    const QList<st_RecvData_DUD4004> recs = GetRecvData_Dud4004(point, false, 0);
    QVector<double> rsd = Data_Calc::CalcGateRSD(recs);
    QVector<double> v;
    QVector<double> t;
    GetRecvData(point, &v, &t, false);
    if (rsd.size() != v.size())
        rsd.resize(v.size());   // padding with 0.0
    return rsd;
}

} // namespace PointReader

namespace LineReader {

void GetRecvData(Data_Line& line, QVector<QVector<double> >* matrix, QVector<double>* times,
                 QVector<double>* names, bool transpose, int first, int last, bool divI)
{
    if (!matrix || !times || !names)
        return;
    // A copy of the vector: points appended meanwhile are not visited.
    const QVector<std::shared_ptr<Data_Point> > points = line.list_Data_Point;
    if (points.isEmpty())
        return;
    const int n = points.size();
    const int lo = std::max(std::min(first, n - 1), 0);
    const int hi = std::max(std::min(last, n - 1), lo);

    QVector<QVector<double> > rows;
    QVector<double> rowTimes;
    QVector<double> rowNames;
    bool haveTimes = false;
    for (int i = lo; i <= hi; ++i) {
        const std::shared_ptr<Data_Point>& p = points[i];
        if (!p || p->USE == 0)
            continue;
        if (static_cast<unsigned>(p->TYPE) > 2u)
            p->TYPE = 0;
        else if (p->TYPE == 1 || p->TYPE == 2)
            continue;
        QVector<double> values;
        QVector<double> t;
        PointReader::GetRecvData(*p, &values, &t, divI);
        if (values.isEmpty() || t.isEmpty())
            continue;
        if (!haveTimes) {
            rowTimes = t;
            haveTimes = true;
        }
        rows.append(values);
        rowNames.append(p->NAME);
    }
    if (rows.isEmpty())
        return;

    int m = rows.first().size();
    for (const QVector<double>& r : rows)
        m = std::min(m, r.size());
    for (QVector<double>& r : rows)
        r.resize(m);

    if (transpose) {
        QVector<QVector<double> > byGate(m);
        for (int g = 0; g < m; ++g) {
            byGate[g].reserve(rows.size());
            for (const QVector<double>& r : rows)
                byGate[g].append(std::fabs(r[g]));
        }
        rows = byGate;
    }
    *matrix = rows;
    *times = rowTimes;
    *names = rowNames;
}

} // namespace LineReader

// The persistent classes' reading members, declared with the classes.

st_SampleData_Send Data_Sample::GetSendData() { return SampleReader::GetSendData(*this); }
double Data_Sample::GetOffTime() { return SampleReader::GetOffTime(*this); }
double Data_Sample::GetSendI() { return SampleReader::GetSendI(*this); }
void Data_Sample::revDataDivI(QVector<double>* data) { SampleReader::revDataDivI(*this, data); }

void Data_Sample::GetRecvData_RAW(QVector<double>* values, QVector<double>* times, bool divI)
{
    SampleReader::GetRecvData_RAW(*this, values, times, divI);
}

void Data_Sample::GetRecvData(QVector<double>* values, QVector<double>* times, int mode, bool divI)
{
    SampleReader::GetRecvData(*this, values, times, mode, divI);
}

st_RecvData_DUD4004 Data_Sample::GetRecvData_Dud4004_RAW(bool divI)
{
    return SampleReader::GetRecvData_Dud4004_RAW(*this, divI);
}

st_RecvData_DUD4004 Data_Sample::GetRecvData_Dud4004(bool divI, int mode)
{
    return SampleReader::GetRecvData_Dud4004(*this, divI, mode);
}

QList<st_SampleData_Send> Data_Point::GetSendData() { return PointReader::GetSendData(*this); }
double Data_Point::GetSendI() { return PointReader::GetSendI(*this); }
double Data_Point::GetSendFs() { return PointReader::GetSendFs(*this); }
double Data_Point::GetOffTime() { return PointReader::GetOffTime(*this); }

QList<st_RecvData_DUD4004> Data_Point::GetRecvData_Dud4004_RAW(bool divI)
{
    return PointReader::GetRecvData_Dud4004_RAW(*this, divI);
}

QList<st_RecvData_DUD4004> Data_Point::GetRecvData_Dud4004(bool divI, int mode)
{
    return PointReader::GetRecvData_Dud4004(*this, divI, mode);
}

QDateTime Data_Point::GetStartTime() { return PointReader::GetStartTime(*this); }
int Data_Point::GetPeriod() { return PointReader::GetPeriod(*this); }

void Data_Point::p_getRecvData(QList<QVector<double>>* values, QList<QVector<double>>* times, bool divI)
{
    PointReader::p_getRecvData(*this, values, times, divI);
}

void Data_Point::GetRecvData(QVector<double>* values, QVector<double>* times, bool divI)
{
    PointReader::GetRecvData(*this, values, times, divI);
}

QVector<double> Data_Point::GetRSD() { return PointReader::GetRSD(*this); }

void Data_Line::GetRecvData(QVector<QVector<double>>* matrix, QVector<double>* times, QVector<double>* names,
                            bool transpose, int first, int last, bool divI)
{
    LineReader::GetRecvData(*this, matrix, times, names, transpose, first, last, divI);
}
