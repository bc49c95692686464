// The reading members of the persistent classes (Data_Sample, Data_Point,
// Data_Line), on the decay arithmetic of the layer below.
//
// Samples of a point are normally held light (ID, USE, PERIOD, SendFs only).
// The point readers fetch the columns they need by ID, in place, through the
// calling thread's connection; only p_getRecvData (and GetRecvData, GetRSD
// through it) puts the list back into its light state. "Used" samples are
// those whose USE is not 0, in list order.

#include "DecayMath.h"
#include "Data_Line.h"
#include "Data_Point.h"
#include "Data_Sample.h"
#include "StoredCurves.h"
#include "DeviceRecords.h"
#include "OrmDao.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Reads the named columns (every column for an empty list) of the used
// samples' rows into the same objects, through one statement, then hands
// each to fn in list order. Errors are not reported: a sample keeps what it
// holds and the computation goes on with that.
template <class Fn>
void forUsedSamples(Data_Point& point, const QStringList& columns, Fn fn)
{
    // A copy of the list: the objects are shared, the vector is not walked
    // while a callee could replace it.
    const QVector<std::shared_ptr<Data_Sample> > samples = point.list_Data_Sample;
    QVector<Data_Sample*> used;
    for (const std::shared_ptr<Data_Sample>& s : samples) {
        if (s && s->USE != 0)
            used.append(s.get());
    }
    if (used.isEmpty())
        return;
    orm::dao::fetch_by_ids(used, nullptr, columns);
    for (Data_Sample* s : used)
        fn(*s);
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

st_SampleData_Send Data_Sample::GetSendData() const
{
    st_SampleData_Send send;
    send.SendFs = SendFs;
    send.SampleSendFs = SampleSendFs;
    send.DATA_SEND = DATA_SEND;
    send.SampleOffFs = SampleOffFs;
    send.DATA_SOFF = DATA_SOFF;
    return send;
}

double Data_Sample::GetOffTime() const
{
    return DecayMath::CalcOffTime(SampleOffFs, DecayMath::ByteArrayToVector(DATA_SOFF));
}

double Data_Sample::GetSendI() const
{
    return DecayMath::StoredSendI(DecayMath::ByteArrayToVector(DATA_SEND));
}

void Data_Sample::revDataDivI(QVector<double>* data) const
{
    if (!data)
        return;
    const double current = GetSendI();
    for (double& x : *data)
        x /= current;
}

void Data_Sample::GetRecvData_RAW(QVector<double>* values, QVector<double>* times, bool divI) const
{
    if (!values || !times)
        return;
    values->clear();
    times->clear();
    *values = DecayMath::ByteArrayToVector(DATA_RECV);
    if (divI)
        revDataDivI(values);
    *times = DecayMath::ByteArrayToVector(DATA_RECV_POS);
}

void Data_Sample::GetRecvData(QVector<double>* values, QVector<double>* times, int mode, bool divI) const
{
    if (!values || !times)
        return;
    GetRecvData_RAW(values, times, divI);
    DecayMath::CalcDecay(*values, *times, GetOffTime(), mode);
}

namespace {

st_RecvData_DUD4004 recordOf(const Data_Sample& sample)
{
    st_RecvData_DUD4004 rec;
    rec.DataType = sample.TYPE;
    rec.BaseFreq = sample.SendFs;
    rec.SampleRate = sample.RecvFs;
    rec.RecvTime = sample.StartTime;
    return rec;
}

} // namespace

st_RecvData_DUD4004 Data_Sample::GetRecvData_Dud4004_RAW(bool divI) const
{
    st_RecvData_DUD4004 rec = recordOf(*this);
    GetRecvData_RAW(&rec.Values, &rec.Times, divI);
    return rec;
}

st_RecvData_DUD4004 Data_Sample::GetRecvData_Dud4004(bool divI, int mode) const
{
    st_RecvData_DUD4004 rec = recordOf(*this);
    GetRecvData(&rec.Values, &rec.Times, mode, divI);
    return rec;
}

QList<st_SampleData_Send> Data_Point::GetSendData()
{
    QList<st_SampleData_Send> out;
    forUsedSamples(*this, {}, [&out](Data_Sample& s) {
        out.append(s.GetSendData());
    });
    return out;
}

double Data_Point::GetSendI()
{
    double sum = 0.0;
    int count = 0;
    forUsedSamples(*this, {QStringLiteral("DATA_SEND")}, [&](Data_Sample& s) {
        sum += s.GetSendI();
        ++count;
    });
    return count ? sum / count : 0.0;
}

double Data_Point::GetSendFs()
{
    if (list_Data_Sample.isEmpty() || !list_Data_Sample.first())
        return 0.0;
    Data_Sample& s = *list_Data_Sample.first();
    orm::dao::fetch_by_id(s, nullptr, {QStringLiteral("SendFs")});
    return s.SendFs;
}

double Data_Point::GetOffTime()
{
    double sum = 0.0;
    int count = 0;
    forUsedSamples(*this, {QStringLiteral("SampleOffFs"), QStringLiteral("DATA_SOFF")}, [&](Data_Sample& s) {
        sum += s.GetOffTime();
        ++count;
    });
    return count ? sum / count : 0.0;
}

QList<st_RecvData_DUD4004> Data_Point::GetRecvData_Dud4004_RAW(bool divI)
{
    QList<st_RecvData_DUD4004> out;
    forUsedSamples(*this, {}, [&](Data_Sample& s) {
        out.append(s.GetRecvData_Dud4004_RAW(divI));
    });
    return out;
}

QList<st_RecvData_DUD4004> Data_Point::GetRecvData_Dud4004(bool divI, int mode)
{
    QList<st_RecvData_DUD4004> out;
    forUsedSamples(*this, {}, [&](Data_Sample& s) {
        out.append(s.GetRecvData_Dud4004(divI, mode));
    });
    return out;
}

QDateTime Data_Point::GetStartTime()
{
    if (list_Data_Sample.isEmpty() || !list_Data_Sample.first())
        return QDateTime();
    Data_Sample& s = *list_Data_Sample.first();
    orm::dao::fetch_by_id(s, nullptr, {QStringLiteral("StartTime")});
    return QDateTime::fromMSecsSinceEpoch(s.StartTime);
}

int Data_Point::GetPeriod()
{
    // Summed wide: a few samples of a large stored PERIOD would overflow an
    // int; the sum is then held at the int range.
    qint64 sum = 0;
    forUsedSamples(*this, {QStringLiteral("PERIOD")}, [&](Data_Sample& s) {
        sum += s.PERIOD;
    });
    return int(std::max<qint64>(std::min<qint64>(sum, std::numeric_limits<int>::max()),
                                std::numeric_limits<int>::min()));
}

void Data_Point::p_getRecvData(QList<QVector<double>>* values, QList<QVector<double>>* times, bool divI)
{
    if (!values || !times)
        return;
    values->clear();
    times->clear();
    const int mode = StoredCurves::ModeOfPoint(*this);
    if (list_Data_Sample.isEmpty())
        return;

    forUsedSamples(*this, {}, [&](Data_Sample& s) {
        QVector<double> v;
        QVector<double> t;
        s.GetRecvData(&v, &t, mode, divI);
        values->append(v);
        times->append(t);
    });

    // Back to light samples: new objects holding ID, USE, PERIOD and SendFs.
    QVector<std::shared_ptr<Data_Sample> > light;
    const QSqlError error = orm::dao::fetch_by_query_with_relation(
        QStringList{QStringLiteral("{USE,PERIOD,SendFs}")},
        orm::Query().where(QStringLiteral("Data_Sample.Data_PointID")).isEqualTo(ID), light);
    if (!error.isValid()) {
        list_Data_Sample = light;
        return;
    }
    // The file could not be read again: keep the samples the point has, so
    // it stays in exports and selections, and only free their arrays.
    for (const std::shared_ptr<Data_Sample>& s : list_Data_Sample) {
        if (s)
            dropArrays(*s);
    }
}

void Data_Point::GetRecvData(QVector<double>* values, QVector<double>* times, bool divI)
{
    if (!values || !times)
        return;
    values->clear();
    times->clear();
    QList<QVector<double> > vl;
    QList<QVector<double> > tl;
    p_getRecvData(&vl, &tl, divI);
    StoredCurves::Stack(vl, tl, values, times);
}

QVector<double> Data_Point::GetRSD()
{
    const QList<st_RecvData_DUD4004> recs = GetRecvData_Dud4004(false, 0);
    QVector<double> rsd = DecayMath::CalcGateRSD(recs);
    QVector<double> v;
    QVector<double> t;
    GetRecvData(&v, &t, false);
    if (rsd.size() != v.size())
        rsd.resize(v.size());   // padding with 0.0
    return rsd;
}

void Data_Line::GetRecvData(QVector<QVector<double>>* matrix, QVector<double>* times, QVector<double>* names,
                            bool transpose, int first, int last, bool divI)
{
    // A copy of the vector: points appended meanwhile are not visited.
    StoredCurves::Section(list_Data_Point, first, last, transpose,
                          [divI](Data_Point& p, QVector<double>* v, QVector<double>* t) { p.GetRecvData(v, t, divI); },
                          matrix, times, names);
}

namespace StoredCurves {

int ModeOfPoint(Data_Point& point)
{
    if (static_cast<unsigned>(point.TYPE) > 2u) {
        point.TYPE = 0;
        return 0;
    }
    return point.TYPE == 2 ? 0 : point.TYPE;
}

void Stack(const QList<QVector<double> >& vl, const QList<QVector<double> >& tl, QVector<double>* values,
           QVector<double>* times)
{
    values->clear();
    times->clear();
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

void Section(const QVector<std::shared_ptr<Data_Point> > points, int first, int last, bool transpose,
             const std::function<void(Data_Point&, QVector<double>*, QVector<double>*)>& curveOf,
             QVector<QVector<double> >* matrix, QVector<double>* times, QVector<double>* names)
{
    if (!matrix || !times || !names)
        return;
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
        curveOf(*p, &values, &t);
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

} // namespace StoredCurves
