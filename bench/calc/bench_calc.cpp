// Decay pipeline figures on a generated project file:
//  - one stored sample turned into its plot curve (fetch of the whole sample
//    by ID, decoding and processing), next to reading the same row's blobs
//    with plain QSqlQuery;
//  - a line section of 600 points with 3 samples each (the line-plot input),
//    next to reading the same rows (whole samples plus the light reload of
//    each point) with plain QSqlQuery.
// Usage: bench_calc [points] [directory]
#include "DataClasses.h"
#include "Data_Calc.h"
#include "Orm.h"
#include "Resources.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const int kSamplesPerPoint = 3;
const int kRecvValues = 1000;   // 1.6 us spacing: 1.6 ms of decay
const int kSendValues = 1000;
const int kOffValues = 150;

QByteArray blob(const QVector<double>& v)
{
    return Data_Blob::VectorToByteArray(v);
}

struct Arrays
{
    QByteArray recv, pos, len, send, off;
};

Arrays makeArrays(int variant)
{
    QVector<double> recv, pos, len, send, off;
    for (int k = 0; k < kRecvValues; ++k) {
        pos.append((k + 1) * 1.6);
        recv.append(0.5 / std::pow(1.0 + 0.01 * k, 2.0) * (1.0 + 0.001 * variant));
        len.append(1.6);
    }
    for (int k = 0; k < kSendValues; ++k)
        send.append(k < kSendValues / 2 ? 10.0 : -10.0);
    for (int k = 0; k < kOffValues; ++k)
        off.append(k < 20 ? 10.0 - k * 0.5 : 0.0);
    return {blob(recv), blob(pos), blob(len), blob(send), blob(off)};
}

double medianMs(int runs, const std::function<void()>& fn)
{
    QVector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        fn();
        ms.append(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// The light sample list of a point, as an opened project holds it.
void loadLight(Data_Point& point)
{
    orm::dao::fetch_by_query_with_relation(
        QStringList{QStringLiteral("{USE,PERIOD,SendFs}")},
        orm::Query().where(QStringLiteral("Data_Sample.Data_PointID")).isEqualTo(point.ID), point.list_Data_Sample);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    initVodezResources();
    initDataClasses();
    Data_Calc calc(nullptr);
    g_recvGain = 11.0;

    const int points = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 600;
    QTemporaryDir tmp;
    const QString dir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : tmp.path();
    if (points <= 0 || dir.isEmpty()) {
        std::fprintf(stderr, "usage: bench_calc [points] [directory]\n");
        return 2;
    }
    const QString path = dir + QStringLiteral("/bench_calc.VODEZ");
    QFile::remove(path);
    orm::Database::setDatabaseName(path);
    for (const QSqlError& e : {orm::dao::create_table<Data_Line>(), orm::dao::create_table<Data_Point>(),
                               orm::dao::create_table<Data_Sample>()}) {
        if (e.isValid()) {
            std::fprintf(stderr, "create table: %s\n", qPrintable(e.text()));
            return 1;
        }
    }

    // Opening a project adds these indexes; without the one on Data_PointID
    // every light reload of a point would scan all sample rows and blobs.
    {
        QSqlQuery q(orm::Database::getDatabase());
        q.exec(QStringLiteral("CREATE INDEX IDX_Data_Point_Data_LineID_ ON Data_Point (Data_LineID);"));
        q.exec(QStringLiteral("CREATE INDEX IDX_Data_Sample_Data_PointID_ ON Data_Sample (Data_PointID)"));
    }

    // One line of points with 3 whole samples each, written in one transaction.
    auto line = std::make_shared<Data_Line>();
    line->NAME = 1;
    line->USE = 1;
    {
        orm::Transaction tx;
        orm::dao::insert(*line);
        const Arrays arrays[kSamplesPerPoint] = {makeArrays(0), makeArrays(1), makeArrays(2)};
        for (int p = 0; p < points; ++p) {
            auto point = std::make_shared<Data_Point>();
            point->NAME = 10.0 * p;
            point->USE = 1;
            point->TYPE = 0;
            point->Data_LineID = line;
            orm::dao::insert(*point);
            for (int s = 0; s < kSamplesPerPoint; ++s) {
                Data_Sample sample;
                sample.StartTime = 1733800000000LL + p;
                sample.TYPE = 2;
                sample.PERIOD = 500;
                sample.USE = 1;
                sample.SendFs = 25;
                sample.SampleSendFs = 2e6;
                sample.SampleOffFs = 2e6;
                sample.RecvFs = 625000;
                sample.DATA_RECV = arrays[s].recv;
                sample.DATA_RECV_POS = arrays[s].pos;
                sample.DATA_RECV_LEN = arrays[s].len;
                sample.DATA_SEND = arrays[s].send;
                sample.DATA_SOFF = arrays[s].off;
                sample.Data_PointID = point;
                orm::dao::insert(sample);
            }
            line->list_Data_Point.append(point);
        }
        if (!tx.commit()) {
            std::fprintf(stderr, "generating the project failed\n");
            return 1;
        }
    }
    for (const auto& p : line->list_Data_Point)
        loadLight(*p);
    std::printf("project: %d points x %d samples, %d decay values per sample\n", points, kSamplesPerPoint,
                kRecvValues);

    QSqlDatabase db = orm::Database::getDatabase();
    QSqlQuery whole(db);
    whole.prepare(QStringLiteral("SELECT * FROM Data_Sample WHERE ID = ?"));
    QSqlQuery lightQuery(db);
    lightQuery.prepare(QStringLiteral("SELECT ID, USE, PERIOD, SendFs FROM Data_Sample WHERE Data_PointID = ?"));
    qint64 bytesSeen = 0;
    auto readRow = [&](int id) {
        whole.addBindValue(id);
        whole.exec();
        while (whole.next()) {
            for (int c = 0; c < 17; ++c)
                bytesSeen += whole.value(c).toByteArray().size();
        }
    };

    // One sample into its curve.
    const std::shared_ptr<Data_Point> first = line->list_Data_Point.first();
    const int sampleId = first->list_Data_Sample.first()->ID;
    const int runs = 200;
    QVector<double> v, t;
    const double sampleMs = medianMs(runs, [&] {
        Data_Sample s(sampleId);
        orm::dao::fetch_by_id(s);
        s.GetRecvData(&v, &t, 0, false);
    });
    Data_Sample held(sampleId);
    orm::dao::fetch_by_id(held);
    const double processMs = medianMs(runs, [&] { held.GetRecvData(&v, &t, 0, false); });
    const double sampleRawMs = medianMs(runs, [&] { readRow(sampleId); });
    std::printf("one sample -> plot curve (%d gates), median of %d:\n", int(v.size()), runs);
    std::printf("  fetch + processing   %8.3f ms\n", sampleMs);
    std::printf("  processing alone     %8.3f ms\n", processMs);
    std::printf("  plain QSqlQuery read %8.3f ms\n", sampleRawMs);

    // The line section, as the program runs it, and the same rows read with
    // plain queries: every whole sample by ID plus each point's light reload.
    auto section = [&](const char* label, int sectionRuns) {
        QVector<QVector<double> > matrix;
        QVector<double> times, names;
        const double sectionMs = medianMs(sectionRuns, [&] {
            line->GetRecvData(&matrix, &times, &names, true, 0, points - 1, false);
        });
        const double wholeMs = medianMs(sectionRuns, [&] {
            for (const auto& p : line->list_Data_Point) {
                for (const auto& s : p->list_Data_Sample)
                    readRow(s->ID);
            }
        });
        const double lightMs = medianMs(sectionRuns, [&] {
            for (const auto& p : line->list_Data_Point) {
                lightQuery.addBindValue(p->ID);
                lightQuery.exec();
                while (lightQuery.next())
                    bytesSeen += lightQuery.value(0).toInt();
            }
        });
        const double rawMs = wholeMs + lightMs;
        std::printf("line section of %d points x %d samples (%d gates x %d points), file %s, median of %d:\n", points,
                    kSamplesPerPoint, int(matrix.size()), matrix.isEmpty() ? 0 : int(matrix.first().size()), label,
                    sectionRuns);
        std::printf("  fetch + processing   %8.1f ms  (target < 300 ms)\n", sectionMs);
        std::printf("  plain QSqlQuery read %8.1f ms  (whole samples %.1f ms, light reloads %.1f ms)\n", rawMs,
                    wholeMs, lightMs);
        std::printf("  ratio                %8.2f  (target <= 3.00)\n", sectionMs / rawMs);
    };
    section("as opened by the program", 7);
    if (bytesSeen < 0)
        std::printf("%lld\n", bytesSeen);
    whole.finish();
    lightQuery.finish();
    return 0;
}
