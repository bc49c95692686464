// Memory of the project tree, each mode one process so that its peak
// resident set (VmHWM, or "Maximum resident set size" of /usr/bin/time -v)
// is the figure of that mode alone:
//   bench_memory generate DIR [lines] [points] [samples] [continuous]
//       writes DIR/bench.VODEZ (defaults: 10 x 1,000 points x 10 samples and a
//       continuous line of 10,000 points) and opens it once to add the light
//       index
//   bench_memory open FILE
//       the tree opens the project, then shows its continuous line whole
//   bench_memory raw FILE
//       baseline: SQLite's C interface reads the same rows into plain records
//       and a tree of line and point items, then reads and decodes the arrays
//       of the continuous line
//   bench_memory save FILE [warm-up] [saves] [sets per save]
//       the tree saves one uploaded sounding after another (one set: a
//       continuous line; more: single-mode points), and resident memory
//       is compared before and after the measured saves; beside it the same
//       rows inserted through SQLite's C interface
#include "BenchGenerate.h"
#include "BenchProcess.h"
#include "Data_Calc.h"
#include "DataModel_Index.h"
#include "ProjectStore.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using benchproject::bytesRead;
using benchproject::statusKb;

void printMemory(const char* what, double ms)
{
    std::printf("%-44s %9.0f ms  rss %8lld kB  peak %8lld kB\n", what, ms, statusKb("VmRSS"), statusKb("VmHWM"));
    std::fflush(stdout);
}

double msSince(const QElapsedTimer& t)
{
    return t.nsecsElapsed() / 1e6;
}

int intArg(char** argv, int argc, int i, int fallback)
{
    return i < argc ? QString::fromLocal8Bit(argv[i]).toInt() : fallback;
}

int generateMode(const QString& dir, const benchproject::Size& size)
{
    const QString path = dir + QStringLiteral("/bench.VODEZ");
    {
        ProjectStore store;   // creates the file with its tables
        if (store.open(path, true) != ProjectStore::OpenResult::Opened)
            return 1;
    }
    QElapsedTimer t;
    t.start();
    if (!benchproject::generate(path, size, benchproject::Arrays()))
        return 1;
    const double genMs = msSince(t);
    t.restart();
    ProjectStore store;
    if (store.open(path, true) != ProjectStore::OpenResult::Opened)
        return 1;
    store.close();
    std::printf("%s: %d lines x %d points x %d samples, continuous line of %d points, %.1f MB; generated in %.0f ms, "
                "light index in %.0f ms\n",
                qPrintable(path), size.lines, size.points, size.samples, size.continuous,
                QFileInfo(path).size() / 1048576.0, genMs, msSince(t));
    return 0;
}

// The longest continuous line (TYPE 1): the generated one, not those the
// save mode adds.
int continuousLine(const QVector<std::shared_ptr<Data_Line>>& lines)
{
    int best = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i)->TYPE == 1
            && (best < 0 || lines.at(i)->list_Data_Point.size() > lines.at(best)->list_Data_Point.size()))
            best = i;
    }
    return best;
}

int openMode(const QString& path)
{
    printMemory("start", 0);
    DataModel_Index tree;
    Data_Calc calc(nullptr);
    tree.SetDataCalc(&calc);
    QElapsedTimer t;
    const qint64 before = bytesRead();
    t.start();
    if (!tree.openProject(path))
        return 1;
    const double openMs = msSince(t);
    const qint64 read = bytesRead() - before;
    int points = 0;
    for (const auto& line : tree.Lines())
        points += line->list_Data_Point.size();
    const qint64 fileBytes = QFileInfo(path).size();
    std::printf("opened %d lines, %d points; read %.1f MB, %.2f %% of the file\n", tree.Lines().size(), points,
                read / 1048576.0, 100.0 * read / fileBytes);
    printMemory("tree open", openMs);

    const int line = continuousLine(tree.Lines());
    if (line >= 0) {
        QEventLoop loop;
        int columns = 0;
        QObject::connect(&tree, &DataModel_Index::onData_Recv_Line, &loop,
                         [&](QString, QVector<double> names, QVector<double>, QVector<QVector<double> >, int) {
                             columns = names.size();
                             loop.quit();
                         });
        QTimer::singleShot(600000, &loop, &QEventLoop::quit);
        t.restart();
        tree.setIndex(line, -1, -1);
        loop.exec();
        char what[64];
        std::snprintf(what, sizeof what, "line of %d points shown", columns);
        printMemory(what, msSince(t));
    }
    tree.closeProject();
    return 0;
}

// The baseline's light sample and point: what the tree needs to show and
// select them.
struct RawSample
{
    int id;
    int use;
    int period;
    double sendFs;
};

struct RawPoint
{
    int id;
    double name;
    int use;
    int type;
    QString note;
    std::vector<RawSample> samples;
};

struct RawLine
{
    int id;
    double name;
    int type;
    int use;
    QString note;
    std::vector<RawPoint> points;
};

int rawMode(const QString& path)
{
    printMemory("start", 0);
    QElapsedTimer t;
    t.start();
    std::vector<RawLine> lines;
    QTreeWidget tree;
    {
        benchproject::Raw raw(path);
        raw.exec("BEGIN");
        QHash<int, int> lineIndex;
        sqlite3_stmt* st = raw.prepare("SELECT ID, NAME, TYPE, USE, NOTE FROM Data_Line ORDER BY ID");
        while (sqlite3_step(st) == SQLITE_ROW) {
            lineIndex.insert(sqlite3_column_int(st, 0), int(lines.size()));
            lines.push_back({sqlite3_column_int(st, 0), sqlite3_column_double(st, 1), sqlite3_column_int(st, 2),
                             sqlite3_column_int(st, 3),
                             QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 4))),
                             {}});
        }
        sqlite3_finalize(st);
        QHash<int, std::pair<int, int>> pointIndex;
        st = raw.prepare("SELECT ID, NAME, USE, NOTE, TYPE, Data_LineID FROM Data_Point ORDER BY Data_LineID, NAME");
        while (sqlite3_step(st) == SQLITE_ROW) {
            const int l = lineIndex.value(sqlite3_column_int(st, 5), -1);
            if (l < 0)
                continue;
            pointIndex.insert(sqlite3_column_int(st, 0), {l, int(lines[l].points.size())});
            lines[l].points.push_back({sqlite3_column_int(st, 0), sqlite3_column_double(st, 1),
                                       sqlite3_column_int(st, 2), sqlite3_column_int(st, 4),
                                       QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 3))),
                                       {}});
        }
        sqlite3_finalize(st);
        st = raw.prepare("SELECT ID, USE, PERIOD, SendFs, StartTime, Data_PointID FROM Data_Sample "
                         "ORDER BY Data_PointID, ID");
        while (sqlite3_step(st) == SQLITE_ROW) {
            const auto at = pointIndex.constFind(sqlite3_column_int(st, 5));
            if (at == pointIndex.constEnd())
                continue;
            lines[at->first].points[at->second].samples.push_back({sqlite3_column_int(st, 0),
                                                                    sqlite3_column_int(st, 1),
                                                                    sqlite3_column_int(st, 2),
                                                                    sqlite3_column_double(st, 3)});
        }
        sqlite3_finalize(st);
        raw.exec("COMMIT");
    }
    QList<QTreeWidgetItem*> lineItems;
    int points = 0;
    for (const RawLine& l : lines) {
        auto* item = new QTreeWidgetItem(QStringList(QString::number(l.name)));
        QList<QTreeWidgetItem*> pointItems;
        for (const RawPoint& p : l.points)
            pointItems.append(new QTreeWidgetItem(QStringList(QString::number(p.name))));
        points += int(l.points.size());
        item->addChildren(pointItems);
        lineItems.append(item);
    }
    tree.addTopLevelItems(lineItems);
    std::printf("read %d lines, %d points\n", int(lines.size()), points);
    printMemory("raw read, line and point items", msSince(t));

    // The continuous line's arrays, read and decoded, one curve per point.
    int line = -1;
    for (int i = 0; i < int(lines.size()); ++i) {
        if (lines[i].type == 1 && (line < 0 || lines[i].points.size() > lines[line].points.size()))
            line = i;
    }
    if (line >= 0) {
        t.restart();
        benchproject::Raw raw(path);
        raw.exec("BEGIN");
        sqlite3_stmt* st =
            raw.prepare("SELECT DATA_RECV, DATA_RECV_POS, SampleOffFs, DATA_SOFF FROM Data_Sample WHERE ID = ?");
        QVector<QVector<double> > curves;
        QVector<double> times;
        for (const RawPoint& p : lines[line].points) {
            for (const RawSample& s : p.samples) {
                sqlite3_bind_int(st, 1, s.id);
                if (sqlite3_step(st) == SQLITE_ROW) {
                    curves.append(Data_Blob::ByteArrayToVector(benchproject::blobOf(st, 0)));
                    times = Data_Blob::ByteArrayToVector(benchproject::blobOf(st, 1));
                    Data_Blob::ByteArrayToVector(benchproject::blobOf(st, 3));
                }
                sqlite3_reset(st);
            }
        }
        sqlite3_finalize(st);
        raw.exec("COMMIT");
        char what[64];
        std::snprintf(what, sizeof what, "raw line of %d curves read", curves.size());
        printMemory(what, msSince(t));
    }
    return 0;
}

VODEZ_Data sounding(int sets, qint64 time)
{
    const benchproject::Arrays a;
    VODEZ_Data data;
    data.ParamFs = 25.0f;
    data.ParamPeriod = 500;
    data.ContinueMode = sets == 1 ? 1 : 0;
    for (int i = 0; i < sets; ++i) {
        st_TEMSendData send;
        send.SendData = a.send;
        send.OffData = a.off;
        st_RecvData_DUD4004 recv;
        recv.Values = a.recv;
        recv.Times = a.pos;
        recv.Widths = a.len;
        recv.RecvTime = time;
        data.Sends.append(send);
        data.Recvs.append(recv);
    }
    return data;
}

int saveMode(const QString& path, int warm, int count, int sets)
{
    DataModel_Index tree;
    if (!tree.openProject(path))
        return 1;
    tree.setProperty("LineNo", sets == 1 ? 7001.0 : 7002.0);
    tree.setProperty("PointNo", 10.0);
    qint64 time = 1800000000000LL;
    auto saveOne = [&] {
        tree.dataUpload(sounding(sets, time += 1000));
        tree.dataSave(true);
    };
    for (int i = 0; i < warm; ++i)
        saveOne();
    const qint64 before = statusKb("VmRSS");
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i)
        saveOne();
    const double ms = msSince(t);
    const qint64 after = statusKb("VmRSS");
    tree.closeProject();

    // The same rows through SQLite's C interface: a point and its samples per
    // save, each save one transaction.
    benchproject::Raw raw(path);
    raw.exec("INSERT INTO Data_Line (NAME, TYPE, USE, NOTE) VALUES (7003, 1, 1, '')");
    const sqlite3_int64 lineId = sqlite3_last_insert_rowid(raw.db());
    benchproject::Inserts inserts(raw);
    int n = 0;
    auto rawOne = [&] {
        raw.exec("BEGIN");
        const sqlite3_int64 pointId = inserts.point(n++, lineId);
        for (int s = 0; s < sets; ++s)
            inserts.sample(time += 1000, pointId);
        raw.exec("COMMIT");
    };
    for (int i = 0; i < warm; ++i)
        rawOne();
    const qint64 rawBefore = statusKb("VmRSS");
    t.restart();
    for (int i = 0; i < count; ++i)
        rawOne();
    const double rawMs = msSince(t);
    const qint64 rawAfter = statusKb("VmRSS");

    std::printf("%d saves of %d set(s) after %d of warm-up: %.2f kB per save, %.2f ms per save\n", count, sets, warm,
                double(after - before) / count, ms / count);
    std::printf("raw inserts of the same rows:            %.2f kB per save, %.2f ms per save (target < 2 kB)\n",
                double(rawAfter - rawBefore) / count, rawMs / count);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    benchproject::BenchApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString path = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (mode == QLatin1String("generate") && !path.isEmpty()) {
        benchproject::Size size;
        size.lines = intArg(argv, argc, 3, size.lines);
        size.points = intArg(argv, argc, 4, size.points);
        size.samples = intArg(argv, argc, 5, size.samples);
        size.continuous = intArg(argv, argc, 6, size.continuous);
        return generateMode(path, size);
    }
    if (mode == QLatin1String("open") && !path.isEmpty())
        return openMode(path);
    if (mode == QLatin1String("raw") && !path.isEmpty())
        return rawMode(path);
    if (mode == QLatin1String("save") && !path.isEmpty())
        return saveMode(path, intArg(argv, argc, 3, 300), intArg(argv, argc, 4, 1000), intArg(argv, argc, 5, 1));
    std::fprintf(stderr, "usage: bench_memory generate DIR [lines] [points] [samples] [continuous]\n"
                         "       bench_memory open FILE | raw FILE\n"
                         "       bench_memory save FILE [warm-up] [saves] [sets per save]\n");
    return 2;
}
