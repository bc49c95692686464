// Project-file figures on a generated project: 10,000 points of 3 samples
// each, about 10 KB of arrays per sample.
//  - openProject (tables, upgrade pass, light fetch, tree, newest point),
//    warm and with the file dropped from the page cache, each next to a plain
//    QSqlQuery read of the same light columns in the same state;
//  - the save of one point with 3 samples (dataSave), next to the same rows
//    inserted with plain QSqlQuery in one transaction.
// Usage: bench_project [points] [directory]
#include "BenchProject.h"
#include "DataModel_Index.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

using benchproject::Arrays;
using benchproject::kPointsPerLine;
using benchproject::kSamplesPerPoint;

class Connection
{
public:
    explicit Connection(const QString& path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name());
        db.setDatabaseName(path);
        db.open();
    }
    ~Connection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(name(), false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name());
    }
    QSqlDatabase db() const { return QSqlDatabase::database(name()); }
    static QString name() { return QStringLiteral("bench_plain"); }
};

bool insertSamples(QSqlQuery& s, qint64 pointId, const QByteArray blobs[5])
{
    for (int k = 0; k < kSamplesPerPoint; ++k) {
        s.bindValue(0, 1733800000000LL + k);
        s.bindValue(1, 2);
        s.bindValue(2, 500);
        for (int b = 0; b < 5; ++b)
            s.bindValue(3 + b, blobs[b]);
        s.bindValue(8, 25.0);
        s.bindValue(9, 625000.0);
        s.bindValue(10, pointId);
        if (!s.exec())
            return false;
    }
    return true;
}

const char* const kInsertSample =
    "INSERT INTO Data_Sample (StartTime, DeviceType, TYPE, PERIOD, DATA_RECV, DATA_RECV_POS, DATA_RECV_LEN, "
    "DATA_SEND, DATA_SOFF, SendFs, SampleSendFs, SampleOffFs, RecvFs, USE, NOTE, Data_PointID) "
    "VALUES (?, 1, ?, ?, ?, ?, ?, ?, ?, ?, 2000000, 2000000, ?, 1, '', ?)";

bool generate(const QString& path, int points, const Arrays& a)
{
    Connection c(path);
    QSqlDatabase db = c.db();
    const QByteArray blobs[5] = {DataModel_Index::VectorToByteArray(a.recv), DataModel_Index::VectorToByteArray(a.pos),
                                 DataModel_Index::VectorToByteArray(a.len), DataModel_Index::VectorToByteArray(a.send),
                                 DataModel_Index::VectorToByteArray(a.off)};
    if (!db.transaction())
        return false;
    QSqlQuery line(db), point(db), sample(db);
    line.prepare("INSERT INTO Data_Line (NAME, TYPE, USE, NOTE) VALUES (?, 0, 1, '')");
    point.prepare("INSERT INTO Data_Point (NAME, USE, NOTE, TYPE, Data_LineID) VALUES (?, 1, '', 0, ?)");
    sample.prepare(kInsertSample);
    qint64 lineId = 0;
    for (int i = 0; i < points; ++i) {
        if (i % kPointsPerLine == 0) {
            line.bindValue(0, benchproject::lineName(i));
            if (!line.exec())
                return false;
            lineId = line.lastInsertId().toLongLong();
        }
        point.bindValue(0, benchproject::pointName(i));
        point.bindValue(1, lineId);
        if (!point.exec() || !insertSamples(sample, point.lastInsertId().toLongLong(), blobs))
            return false;
    }
    return db.commit();
}

// The same light columns the open reads, by hand, into plain counts.
bool plainRead(const QString& path, int* rows)
{
    Connection c(path);
    QSqlQuery q(c.db());
    q.setForwardOnly(true);
    *rows = 0;
    double sum = 0;
    for (const char* sql : {"SELECT ID, NAME, TYPE, USE, NOTE FROM Data_Line ORDER BY ID",
                            "SELECT ID, NAME, USE, NOTE, TYPE, Data_LineID FROM Data_Point ORDER BY Data_LineID, NAME",
                            "SELECT ID, USE, PERIOD, SendFs, Data_PointID FROM Data_Sample ORDER BY ID"}) {
        if (!q.exec(QString::fromLatin1(sql)))
            return false;
        while (q.next()) {
            ++*rows;
            sum += q.value(0).toDouble() + q.value(1).toDouble();
        }
    }
    return sum > 0;
}

// Drops the file's pages from the page cache, so the next read goes to disk.
bool dropFromCache(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    ::fdatasync(fd);
    const bool ok = ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    ::close(fd);
    return ok;
}

template <class F>
double timeMs(F f)
{
    QElapsedTimer t;
    t.start();
    if (!f())
        return -1;
    return t.nsecsElapsed() / 1e6;
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? -1 : v.at(v.size() / 2);
}

VODEZ_Data sounding(const Arrays& a, qint64 time)
{
    VODEZ_Data d;
    d.ParamFs = 25.0f;
    d.ParamPeriod = 500;
    d.RepeatCount = kSamplesPerPoint;
    for (int k = 0; k < kSamplesPerPoint; ++k) {
        st_TEMSendData s;
        s.SendData = a.send;
        s.OffData = a.off;
        d.Sends.append(s);
        st_RecvData_DUD4004 r;
        r.Times = a.pos;
        r.Widths = a.len;
        r.Values = a.recv;
        r.RecvTime = time + k;
        d.Recvs.append(r);
    }
    return d;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vodez.orm.sql.debug=false"));
    initDataClasses();
    const int points = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    QTemporaryDir tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + "/bench_project-XXXXXX" : QString());
    if (!tmp.isValid() || points <= 0) {
        std::fprintf(stderr, "usage: bench_project [points] [directory]\n");
        return 2;
    }
    const QString path = tmp.filePath(QStringLiteral("bench.VODEZ"));
    const Arrays arrays;
    DataModel_Index tree;
    if (!tree.openProject(path)) { // creates the file with its tables and indexes
        std::fprintf(stderr, "creating the project failed\n");
        return 1;
    }
    tree.closeProject();
    const double genMs = timeMs([&] { return generate(path, points, arrays); });
    if (genMs < 0) {
        std::fprintf(stderr, "generating the project failed\n");
        return 1;
    }
    std::printf("generated %d points x %d samples in %.0f ms, file %.1f MB\n", points, kSamplesPerPoint, genMs,
                QFileInfo(path).size() / 1048576.0);

    int rows = 0;
    auto openTree = [&] { return tree.openProject(path); };
    auto plain = [&] { return plainRead(path, &rows); };

    // Warm: one run of each to fill the cache, then alternate.
    openTree();
    plain();
    QVector<double> warmOpen, warmPlain;
    for (int i = 0; i < 5; ++i) {
        tree.closeProject();
        warmOpen.append(timeMs(openTree));
        warmPlain.append(timeMs(plain));
    }
    if (!tree.openProject(path))
        return 1;
    int shown = 0;
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        shown += tree.topLevelItem(i)->childCount();
    std::printf("open, warm, median of 5 (%d lines, %d points shown; plain read %d rows):\n",
                tree.topLevelItemCount(), shown, rows);
    std::printf("  openProject     %8.1f ms  (target < 1000 ms)\n", median(warmOpen));
    std::printf("  plain QSqlQuery %8.1f ms\n", median(warmPlain));
    std::printf("  ratio           %8.2f  (target <= 2.00)\n", median(warmOpen) / median(warmPlain));

    QVector<double> coldOpen, coldPlain;
    bool dropped = true;
    for (int i = 0; i < 3; ++i) {
        tree.closeProject();
        dropped = dropFromCache(path) && dropped;
        coldOpen.append(timeMs(openTree));
        tree.closeProject();
        dropped = dropFromCache(path) && dropped;
        coldPlain.append(timeMs(plain));
    }
    std::printf("open, cold (file dropped from the page cache%s), median of 3:\n", dropped ? "" : ": FAILED");
    std::printf("  openProject     %8.1f ms\n", median(coldOpen));
    std::printf("  plain QSqlQuery %8.1f ms\n", median(coldPlain));
    std::printf("  ratio           %8.2f\n", median(coldOpen) / median(coldPlain));

    // Saves: each a new point of 3 samples on one line.
    if (!tree.openProject(path))
        return 1;
    tree.setProperty("LineNo", 9999.0);
    tree.setProperty("PointNo", 0.0);
    QVector<double> saves;
    for (int i = 0; i < 50; ++i) {
        tree.dataUpload(sounding(arrays, 1733900000000LL + 1000 * i));
        saves.append(timeMs([&] {
            tree.dataSave(true);
            return true;
        }));
    }
    tree.closeProject();
    QVector<double> plainSaves;
    {
        Connection c(path);
        QSqlDatabase db = c.db();
        QSqlQuery point(db), sample(db);
        point.prepare("INSERT INTO Data_Point (NAME, USE, NOTE, TYPE, Data_LineID) VALUES (?, 1, '', 0, 1)");
        sample.prepare(kInsertSample);
        for (int i = 0; i < 50; ++i) {
            plainSaves.append(timeMs([&] {
                const QByteArray blobs[5] = {
                    DataModel_Index::VectorToByteArray(arrays.recv), DataModel_Index::VectorToByteArray(arrays.pos),
                    DataModel_Index::VectorToByteArray(arrays.len), DataModel_Index::VectorToByteArray(arrays.send),
                    DataModel_Index::VectorToByteArray(arrays.off)};
                if (!db.transaction())
                    return false;
                point.bindValue(0, double(100000 + i));
                if (!point.exec() || !insertSamples(sample, point.lastInsertId().toLongLong(), blobs))
                    return false;
                return db.commit();
            }));
        }
    }
    std::printf("save of a point with %d samples, median of 50:\n", kSamplesPerPoint);
    std::printf("  dataSave        %8.2f ms  (target < 5 ms), max %.2f ms\n", median(saves),
                *std::max_element(saves.begin(), saves.end()));
    std::printf("  plain QSqlQuery %8.2f ms\n", median(plainSaves));
    return 0;
}
