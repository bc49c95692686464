// ORM figures on a generated project: 10,000 points of 3 samples each, about
// 10 KB of arrays per sample.
//  - the nested light fetch (lines, points, light samples) against the same
//    rows read with plain QSqlQuery into the same objects;
//  - one insert transaction of a point with 3 samples, SQLite's default
//    synchronous setting.
// Usage: bench_orm [points] [directory]
#include "BenchProject.h"
#include "DataClasses.h"
#include "Orm.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

using benchproject::kPointsPerLine;
using benchproject::kSamplesPerPoint;

std::shared_ptr<Data_Sample> makeSample(const std::shared_ptr<Data_Point>& point, const QByteArray& send,
                                        const QByteArray& off, const QByteArray& recv, const QByteArray& pos,
                                        const QByteArray& len)
{
    auto s = std::make_shared<Data_Sample>();
    s->StartTime = 1733800000000LL;
    s->TYPE = 2;
    s->PERIOD = 500;
    s->USE = 1;
    s->SendFs = 25.0;
    s->SampleSendFs = 2000000;
    s->SampleOffFs = 2000000;
    s->RecvFs = 625000;
    s->DATA_SEND = send;
    s->DATA_SOFF = off;
    s->DATA_RECV = recv;
    s->DATA_RECV_POS = pos;
    s->DATA_RECV_LEN = len;
    s->Data_PointID = point;
    return s;
}

// The generated project's arrays as stored.
struct Blobs
{
    explicit Blobs(const benchproject::Arrays& a)
        : send(Data_Blob::VectorToByteArray(a.send)),
          off(Data_Blob::VectorToByteArray(a.off)),
          recv(Data_Blob::VectorToByteArray(a.recv)),
          pos(Data_Blob::VectorToByteArray(a.pos)),
          len(Data_Blob::VectorToByteArray(a.len))
    {
    }
    QByteArray send;
    QByteArray off;
    QByteArray recv;
    QByteArray pos;
    QByteArray len;
};

bool generate(int points, const Blobs& a)
{
    QSqlDatabase db = orm::Database::getDatabase();
    if (!db.transaction())
        return false;
    std::shared_ptr<Data_Line> line;
    for (int i = 0; i < points; ++i) {
        if (i % kPointsPerLine == 0) {
            line = std::make_shared<Data_Line>();
            line->NAME = benchproject::lineName(i);
            line->USE = 1;
            if (orm::dao::insert(*line, &db).isValid())
                return false;
        }
        auto p = std::make_shared<Data_Point>();
        p->NAME = benchproject::pointName(i);
        p->USE = 1;
        p->Data_LineID = line;
        if (orm::dao::insert(*p, &db).isValid())
            return false;
        for (int k = 0; k < kSamplesPerPoint; ++k)
            if (orm::dao::insert(*makeSample(p, a.send, a.off, a.recv, a.pos, a.len), &db).isValid())
                return false;
    }
    return db.commit();
}

using Lines = QVector<std::shared_ptr<Data_Line>>;

int countSamples(const Lines& lines, int* pointCount)
{
    int n = 0;
    *pointCount = 0;
    for (const auto& l : lines)
        for (const auto& p : l->list_Data_Point) {
            ++*pointCount;
            n += p->list_Data_Sample.size();
        }
    return n;
}

bool ormFetch(Lines& lines)
{
    return !orm::dao::fetch_all_with_relation(
                "list_Data_Point <Points_alias> -> list_Data_Sample{USE,PERIOD,SendFs}", lines,
                orm::Query("Points_alias", "ORDER BY Points_alias.Data_LineID ASC,Points_alias.NAME ASC"))
                .isValid();
}

// The same three reads, written out by hand.
bool plainFetch(Lines& lines)
{
    lines.clear();
    QSqlDatabase db = orm::Database::getDatabase();
    QHash<int, Data_Line*> lineById;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec("SELECT ID, NAME, TYPE, USE, NOTE FROM Data_Line ORDER BY ID"))
        return false;
    while (q.next()) {
        auto l = std::make_shared<Data_Line>();
        l->ID = q.value(0).toInt();
        l->NAME = q.value(1).toDouble();
        l->TYPE = q.value(2).toInt();
        l->USE = q.value(3).toInt();
        l->NOTE = q.value(4).toString();
        lineById.insert(l->ID, l.get());
        lines.append(l);
    }
    QHash<int, Data_Point*> pointById;
    if (!q.exec("SELECT p.ID, p.NAME, p.USE, p.NOTE, p.TYPE, p.Data_LineID FROM Data_Point AS p "
                "ORDER BY p.Data_LineID ASC, p.NAME ASC"))
        return false;
    while (q.next()) {
        Data_Line* l = lineById.value(q.value(5).toInt());
        if (!l)
            continue;
        auto p = std::make_shared<Data_Point>();
        p->ID = q.value(0).toInt();
        p->NAME = q.value(1).toDouble();
        p->USE = q.value(2).toInt();
        p->NOTE = q.value(3).toString();
        p->TYPE = q.value(4).toInt();
        auto stub = std::make_shared<Data_Line>();
        stub->ID = l->ID;
        p->Data_LineID = stub;
        pointById.insert(p->ID, p.get());
        l->list_Data_Point.append(p);
    }
    if (!q.exec("SELECT ID, USE, PERIOD, SendFs, Data_PointID FROM Data_Sample ORDER BY ID"))
        return false;
    while (q.next()) {
        Data_Point* p = pointById.value(q.value(4).toInt());
        if (!p)
            continue;
        auto s = std::make_shared<Data_Sample>();
        s->ID = q.value(0).toInt();
        s->USE = q.value(1).toInt();
        s->PERIOD = q.value(2).toInt();
        s->SendFs = q.value(3).toDouble();
        p->list_Data_Sample.append(s);
    }
    return true;
}

template <class F>
double medianMs(int runs, F f)
{
    QVector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        if (!f())
            return -1;
        times.append(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    initDataClasses();
    const int points = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    QTemporaryDir tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + "/bench_orm-XXXXXX" : QString());
    if (!tmp.isValid() || points <= 0) {
        std::fprintf(stderr, "usage: bench_orm [points] [directory]\n");
        return 2;
    }
    orm::Database::setDatabaseName(tmp.filePath("bench.VODEZ"));
    orm::SqlTypes::set("double", "REAL");
    for (QSqlError e : {orm::dao::create_table<Data_Project>(), orm::dao::create_table<Data_Line>(),
                        orm::dao::create_table<Data_Point>(), orm::dao::create_table<Data_Sample>(),
                        orm::dao::create_table<Data_WorkSet>()})
        if (e.isValid()) {
            std::fprintf(stderr, "create table: %s\n", qPrintable(e.text()));
            return 1;
        }
    {
        QSqlQuery q(orm::Database::getDatabase());
        q.exec("CREATE INDEX IDX_Data_Point_Data_LineID_ ON Data_Point (Data_LineID);");
        q.exec("CREATE INDEX IDX_Data_Sample_Data_PointID_ ON Data_Sample (Data_PointID)");
    }

    const Blobs arrays{benchproject::Arrays()};
    QElapsedTimer t;
    t.start();
    if (!generate(points, arrays)) {
        std::fprintf(stderr, "generating the project failed\n");
        return 1;
    }
    const double genMs = t.nsecsElapsed() / 1e6;
    std::printf("generated %d points x %d samples (%.1f KB arrays each) in %.0f ms, file %.1f MB\n", points,
                kSamplesPerPoint,
                (arrays.send.size() + arrays.off.size() + arrays.recv.size() + arrays.pos.size() + arrays.len.size())
                    / 1024.0,
                genMs, QFileInfo(tmp.filePath("bench.VODEZ")).size() / 1048576.0);

    // Warm the page cache once with each, then alternate.
    Lines a, b;
    ormFetch(a);
    plainFetch(b);
    int pa = 0, pb = 0;
    const int sa = countSamples(a, &pa), sb = countSamples(b, &pb);
    if (sa != sb || pa != pb || sa != points * kSamplesPerPoint) {
        std::fprintf(stderr, "fetches disagree: orm %d/%d, plain %d/%d\n", pa, sa, pb, sb);
        return 1;
    }
    const int runs = 5;
    const double ormMs = medianMs(runs, [&] { return ormFetch(a); });
    const double plainMs = medianMs(runs, [&] { return plainFetch(b); });
    std::printf("nested light fetch (%d lines, %d points, %d samples), median of %d:\n", int(a.size()), pa, sa, runs);
    std::printf("  orm            %8.1f ms\n", ormMs);
    std::printf("  plain QSqlQuery %7.1f ms\n", plainMs);
    std::printf("  ratio           %7.2f  (target <= 1.50)\n", ormMs / plainMs);
    a.clear();
    b.clear();

    // One save: a point with 3 samples in one transaction, committed.
    auto line = std::make_shared<Data_Line>();
    line->NAME = 9999;
    line->USE = 1;
    orm::dao::insert(*line);
    QVector<double> times;
    QSqlDatabase db = orm::Database::getDatabase();
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer s;
        s.start();
        bool ok = db.transaction();
        auto p = std::make_shared<Data_Point>();
        p->NAME = i;
        p->USE = 1;
        p->Data_LineID = line;
        ok = ok && !orm::dao::insert(*p, &db).isValid();
        for (int k = 0; k < kSamplesPerPoint; ++k)
            ok = ok && !orm::dao::insert(*makeSample(p, arrays.send, arrays.off, arrays.recv, arrays.pos, arrays.len), &db)
                            .isValid();
        ok = ok && db.commit();
        if (!ok) {
            std::fprintf(stderr, "save transaction failed\n");
            return 1;
        }
        times.append(s.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("point + %d samples insert transaction, 50 runs: median %.2f ms, max %.2f ms  (target < 5 ms)\n",
                kSamplesPerPoint, times.at(times.size() / 2), times.last());
    db = QSqlDatabase();
    orm::Database::clearAllDatabases();
    return 0;
}
