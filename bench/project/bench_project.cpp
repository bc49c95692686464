// Project-file figures on a generated project, each beside a baseline that
// reads the same rows through SQLite's C interface in one transaction, in
// the same run:
//  - the open: bytes read from the file (cold, whatever the page cache
//    holds) and time, warm, of the storage's open (lines, points, light
//    samples, first start times) and of the tree's open (with its items);
//  - line sections: the whole of a continuous line and a 600-point window of
//    a line with several samples per point, against the raw blob read with
//    the same decoding, stacking and section building;
//  - the USF export and the data listing (point and sample depth) of the
//    tree into files, time and peak resident memory, against the raw read
//    of the rows and blobs each needs, decoded;
//  - the longest save while a line is assembled on another thread;
//  - the statement trace switched on with its log category off.
// The default project is 10 lines x 1,000 points x 10 samples (about 1 GB)
// and one continuous line of 10,000 points.
// Usage: bench_project [lines] [points per line] [samples per point] [continuous points] [directory]
#include "BenchGenerate.h"
#include "BenchProcess.h"
#include "Data_Calc.h"
#include "DataModel_Index.h"
#include "LineAssembly.h"
#include "Orm.h"
#include "ProjectStore.h"
#include "StoredCurves.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <QThread>
#include <QtConcurrent>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>

namespace {

using benchproject::Raw;
using benchproject::Size;
using benchproject::blobOf;
using benchproject::bytesRead;
using benchproject::generate;
using benchproject::statusKb;

template <class F>
double timeMs(F f)
{
    QElapsedTimer t;
    t.start();
    if (!f())
        return -1;
    return t.nsecsElapsed() / 1e6;
}

// The shortest of several runs: on a machine shared with other work the
// shortest is the one least disturbed, for the program and the baseline alike.
template <class F>
double bestMs(int runs, F f)
{
    QVector<double> v;
    for (int i = 0; i < runs; ++i)
        v.append(timeMs(f));
    std::sort(v.begin(), v.end());
    return v.first();
}

// The peak resident memory while f runs, in kB, and what it adds to the
// memory resident when it starts; the kernel's peak is reset first.
struct Peak
{
    qint64 peakKb = -1;
    qint64 addedKb = -1;
};

template <class F>
Peak peakOf(F f)
{
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    const bool resettable = reset.open(QIODevice::WriteOnly) && reset.write("5") == 1;
    reset.close();
    const qint64 start = statusKb("VmRSS");
    f();
    Peak p;
    p.peakKb = statusKb("VmHWM");
    if (resettable)
        p.addedKb = p.peakKb - start;
    return p;
}

using Lines = QVector<std::shared_ptr<Data_Line>>;

// What the open reads, by hand: the same rows, into the same objects.
bool rawLightRead(const QString& path, Lines* lines, bool objects)
{
    Raw raw(path);
    lines->clear();
    if (!raw.exec("BEGIN"))
        return false;
    QHash<int, Data_Line*> lineById;
    QHash<int, Data_Point*> pointById;
    QHash<int, qint64> firstTimes;
    qint64 rows = 0;
    sqlite3_stmt* st = raw.prepare("SELECT ID, NAME, TYPE, USE, NOTE FROM Data_Line ORDER BY ID");
    while (sqlite3_step(st) == SQLITE_ROW) {
        ++rows;
        if (!objects)
            continue;
        auto l = std::make_shared<Data_Line>(sqlite3_column_int(st, 0));
        l->NAME = sqlite3_column_double(st, 1);
        l->TYPE = sqlite3_column_int(st, 2);
        l->USE = sqlite3_column_int(st, 3);
        l->NOTE = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 4)));
        lineById.insert(l->ID, l.get());
        lines->append(l);
    }
    sqlite3_finalize(st);
    st = raw.prepare("SELECT ID, NAME, USE, NOTE, TYPE, Data_LineID FROM Data_Point ORDER BY Data_LineID, NAME");
    while (sqlite3_step(st) == SQLITE_ROW) {
        ++rows;
        if (!objects)
            continue;
        Data_Line* l = lineById.value(sqlite3_column_int(st, 5));
        if (!l)
            continue;
        auto p = std::make_shared<Data_Point>(sqlite3_column_int(st, 0));
        p->NAME = sqlite3_column_double(st, 1);
        p->USE = sqlite3_column_int(st, 2);
        p->NOTE = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 3)));
        p->TYPE = sqlite3_column_int(st, 4);
        p->Data_LineID = std::make_shared<Data_Line>(l->ID);
        pointById.insert(p->ID, p.get());
        l->list_Data_Point.append(p);
    }
    sqlite3_finalize(st);
    st = raw.prepare("SELECT ID, USE, PERIOD, SendFs, StartTime, Data_PointID FROM Data_Sample "
                     "ORDER BY Data_PointID, ID");
    while (sqlite3_step(st) == SQLITE_ROW) {
        ++rows;
        if (!objects)
            continue;
        Data_Point* p = pointById.value(sqlite3_column_int(st, 5));
        if (!p)
            continue;
        auto s = std::make_shared<Data_Sample>(sqlite3_column_int(st, 0));
        s->USE = sqlite3_column_int(st, 1);
        s->PERIOD = sqlite3_column_int(st, 2);
        s->SendFs = sqlite3_column_double(st, 3);
        if (p->list_Data_Sample.isEmpty())
            firstTimes.insert(s->ID, sqlite3_column_int64(st, 4));
        p->list_Data_Sample.append(s);
    }
    sqlite3_finalize(st);
    return raw.exec("COMMIT") && rows > 0;
}

// The rows an export reads, by hand: for every used sample of the points in
// use of the lines in use, in the same order, its row by ID through one
// prepared statement in one transaction, its arrays decoded; and what the
// export reads of a point's first sample when it is not used.
enum class ExportRows { Usf, PointDump, SampleDump };

bool rawExportRead(const QString& path, const Lines& lines, ExportRows which)
{
    Raw raw(path);
    if (!raw.exec("BEGIN"))
        return false;
    const char* sql = which == ExportRows::Usf
        ? "SELECT DATA_RECV, DATA_RECV_POS, DATA_SEND, DATA_SOFF, SampleOffFs, StartTime, SendFs "
          "FROM Data_Sample WHERE ID = ?"
        : which == ExportRows::PointDump
        ? "SELECT DATA_RECV, DATA_RECV_POS, DATA_SOFF, SampleOffFs, SendFs, RecvFs FROM Data_Sample WHERE ID = ?"
        : "SELECT DATA_RECV, DATA_RECV_POS, DATA_SEND, DATA_SOFF, SampleOffFs, SendFs, RecvFs, NOTE, TYPE, USE "
          "FROM Data_Sample WHERE ID = ?";
    const int arrays = which == ExportRows::PointDump ? 3 : 4;
    sqlite3_stmt* st = raw.prepare(sql);
    sqlite3_stmt* first = raw.prepare(which == ExportRows::Usf ? "SELECT StartTime, SendFs FROM Data_Sample WHERE ID = ?"
                                                                : "SELECT SendFs, RecvFs FROM Data_Sample WHERE ID = ?");
    qint64 values = 0;
    double sink = 0.0;
    auto decode = [&](sqlite3_stmt* row, int column) {
        const QVector<double> v = Data_Blob::ByteArrayToVector(QByteArray::fromRawData(
            static_cast<const char*>(sqlite3_column_blob(row, column)), sqlite3_column_bytes(row, column)));
        values += v.size();
        if (!v.isEmpty())
            sink += v.last();
    };
    for (const std::shared_ptr<Data_Line>& line : lines) {
        if (line->USE == 0)
            continue;
        for (const std::shared_ptr<Data_Point>& p : line->list_Data_Point) {
            if (p->USE == 0 || p->list_Data_Sample.isEmpty())
                continue;
            bool firstRead = false;
            for (const std::shared_ptr<Data_Sample>& s : p->list_Data_Sample) {
                if (s->USE == 0)
                    continue;
                sqlite3_bind_int(st, 1, s->ID);
                if (sqlite3_step(st) == SQLITE_ROW) {
                    for (int c = 0; c < arrays; ++c)
                        decode(st, c);
                    // The other columns, as the export takes them.
                    for (int c = arrays; c < sqlite3_column_count(st); ++c)
                        sink += sqlite3_column_double(st, c);
                }
                sqlite3_reset(st);
                firstRead = firstRead || s == p->list_Data_Sample.first();
            }
            if (which != ExportRows::SampleDump && !firstRead) {
                sqlite3_bind_int(first, 1, p->list_Data_Sample.first()->ID);
                if (sqlite3_step(first) == SQLITE_ROW)
                    sink += sqlite3_column_double(first, 0) + sqlite3_column_double(first, 1);
                sqlite3_reset(first);
            }
        }
    }
    sqlite3_finalize(st);
    sqlite3_finalize(first);
    return raw.exec("COMMIT") && values > 0 && sink == sink;
}

// A section read by hand: one prepared statement, one transaction, the
// same columns, decoding, stacking and section building.
LineAssembly::Section rawSection(const QString& path, Data_Line& line, int first, int last)
{
    Raw raw(path);
    LineAssembly::Section out;
    raw.exec("BEGIN");
    sqlite3_stmt* st =
        raw.prepare("SELECT DATA_RECV, DATA_RECV_POS, SampleOffFs, DATA_SOFF FROM Data_Sample WHERE ID = ?");
    StoredCurves::Section(
        line.list_Data_Point, first, last, true,
        [st](Data_Point& p, QVector<double>* v, QVector<double>* t) {
            QList<QVector<double> > vl, tl;
            for (const std::shared_ptr<Data_Sample>& s : p.list_Data_Sample) {
                if (s->USE == 0)
                    continue;
                Data_Sample sample(s->ID);
                sqlite3_bind_int(st, 1, s->ID);
                if (sqlite3_step(st) == SQLITE_ROW) {
                    sample.DATA_RECV = blobOf(st, 0);
                    sample.DATA_RECV_POS = blobOf(st, 1);
                    sample.SampleOffFs = sqlite3_column_double(st, 2);
                    sample.DATA_SOFF = blobOf(st, 3);
                }
                sqlite3_reset(st);
                QVector<double> sv, stimes;
                sample.GetRecvData(&sv, &stimes, 0, false);
                vl.append(sv);
                tl.append(stimes);
            }
            StoredCurves::Stack(vl, tl, v, t);
        },
        &out.matrix, &out.times, &out.names);
    sqlite3_finalize(st);
    raw.exec("COMMIT");
    return out;
}

bool sameSection(const LineAssembly::Section& a, const LineAssembly::Section& b)
{
    return !a.isEmpty() && a.matrix == b.matrix && a.times == b.times && a.names == b.names;
}

void row(const char* what, double ms, double baseMs, const char* target)
{
    std::printf("  %-34s %9.1f ms  raw %9.1f ms  ratio %5.2f  (%s)\n", what, ms, baseMs, ms / baseMs, target);
}

void memoryRow(const char* what, const Peak& ours, const Peak& base)
{
    std::printf("  %-34s peak %7.1f MB (+%6.1f)  raw peak %7.1f MB (+%6.1f)\n", what, ours.peakKb / 1024.0,
                ours.addedKb / 1024.0, base.peakKb / 1024.0, base.addedKb / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    benchproject::BenchApplication app(argc, argv);
    Size size;
    int* fields[] = {&size.lines, &size.points, &size.samples, &size.continuous};
    for (int i = 1; i < argc && i <= 4; ++i)
        *fields[i - 1] = QString::fromLocal8Bit(argv[i]).toInt();
    QTemporaryDir tmp(argc > 5 ? QString::fromLocal8Bit(argv[5]) + "/bench_project-XXXXXX" : QString());
    if (!tmp.isValid() || size.lines < 1 || size.points < 600 || size.samples < 1 || size.continuous < 0) {
        std::fprintf(stderr, "usage: bench_project [lines] [points per line >= 600] [samples per point] "
                             "[continuous points] [directory]\n");
        return 2;
    }
    const QString path = tmp.filePath(QStringLiteral("bench.VODEZ"));
    Data_Calc calc(nullptr);   // the gate-time table the decay processing uses
    {
        ProjectStore store;   // creates the file with its tables
        if (store.open(path, true) != ProjectStore::OpenResult::Opened) {
            std::fprintf(stderr, "creating the project failed\n");
            return 1;
        }
    }
    const double genMs = timeMs([&] { return generate(path, size, benchproject::Arrays()); });
    if (genMs < 0) {
        std::fprintf(stderr, "generating the project failed\n");
        return 1;
    }
    const qint64 fileBytes = QFileInfo(path).size();
    std::printf("generated %d lines x %d points x %d samples and a continuous line of %d points in %.0f ms, "
                "file %.1f MB\n",
                size.lines, size.points, size.samples, size.continuous, genMs, fileBytes / 1048576.0);

    // The first open adds the light index: it reads the whole file once.
    ProjectStore store;
    const double firstMs = timeMs([&] { return store.open(path, true) == ProjectStore::OpenResult::Opened; });
    store.close();
    std::printf("first open (adds the light index): %.0f ms, file now %.1f MB\n", firstMs,
                QFileInfo(path).size() / 1048576.0);

    std::printf("open, bytes read from the file:\n");
    Lines rawLines;
    qint64 before = bytesRead();
    rawLightRead(path, &rawLines, true);
    const qint64 rawBytes = bytesRead() - before;
    before = bytesRead();
    store.open(path, true);
    const qint64 storeBytes = bytesRead() - before;
    store.close();
    DataModel_Index tree;
    before = bytesRead();
    tree.openProject(path);
    const qint64 treeBytes = bytesRead() - before;
    tree.closeProject();
    std::printf("  storage open %8.1f MB (%.2f %% of the file; target < 5 %%)\n", storeBytes / 1048576.0,
                100.0 * storeBytes / fileBytes);
    std::printf("  tree open    %8.1f MB (%.2f %%)\n", treeBytes / 1048576.0, 100.0 * treeBytes / fileBytes);
    std::printf("  raw read     %8.1f MB (%.2f %%)\n", rawBytes / 1048576.0, 100.0 * rawBytes / fileBytes);

    std::printf("open, warm, best of 7:\n");
    const double rawRows = bestMs(7, [&] { return rawLightRead(path, &rawLines, false); });
    // Each run ends with its objects released, as the storage's close
    // releases them inside its runs.
    const double rawObjects = bestMs(7, [&] {
        const bool ok = rawLightRead(path, &rawLines, true);
        rawLines.clear();
        return ok;
    });
    const double storeOpen = bestMs(7, [&] {
        const bool ok = store.open(path, true) == ProjectStore::OpenResult::Opened;
        store.close();
        return ok;
    });
    const double treeOpen = bestMs(7, [&] {
        const bool ok = tree.openProject(path);
        tree.closeProject();
        return ok;
    });
    row("storage open", storeOpen, rawObjects, "target <= 1.2 x the raw read into the same objects");
    row("storage open (raw: rows only)", storeOpen, rawRows, "rows counted, no objects");
    row("tree open, items included", treeOpen, rawObjects, "");

    // The exports of the tree into files, against the rows each reads.
    std::printf("exports of the tree into files, best of 3 (time), then one more run each (peak memory):\n");
    {
        rawLightRead(path, &rawLines, true);
        const Lines listed = rawLines;
        rawLines.clear();
        if (!tree.openProject(path))
            return 1;
        tree.SetDataCalc(&calc);
        const QString out = tmp.filePath(QStringLiteral("export.txt"));
        struct Export
        {
            const char* name;
            ExportRows rows;
            std::function<bool()> run;
        };
        const QVector<Export> exports = {
            {"USF export", ExportRows::Usf, [&] { return tree.exportUsfFile(out); }},
            {"data listing, points", ExportRows::PointDump, [&] { return tree.exportDataFile(out, 0, 0); }},
            {"data listing, samples", ExportRows::SampleDump, [&] { return tree.exportDataFile(out, 0, 1); }},
        };
        for (const Export& e : exports) {
            const double rawMs = bestMs(3, [&] { return rawExportRead(path, listed, e.rows); });
            const double oursMs = bestMs(3, e.run);
            const Peak rawPeak = peakOf([&] { rawExportRead(path, listed, e.rows); });
            const Peak oursPeak = peakOf(e.run);
            std::printf("  %s: file %.1f MB\n", e.name, QFileInfo(out).size() / 1048576.0);
            row("  time", oursMs, rawMs, "target <= 1.5 x the raw read and decode");
            memoryRow("  memory", oursPeak, rawPeak);
        }
        QFile::remove(out);
        tree.closeProject();
    }

    std::printf("line sections, best of 7 (the section checked equal to the raw one):\n");
    if (store.open(path, true) != ProjectStore::OpenResult::Opened)
        return 1;
    struct Case
    {
        const char* name;
        std::shared_ptr<Data_Line> line;
        int last;
        const char* target;
    };
    QVector<Case> cases = {{"600 points x samples (window)", store.lines().first(), 599, "target 1.5 x, < 150 ms"}};
    if (size.continuous > 1)
        cases.append({"continuous line, whole", store.lines().last(), size.continuous - 1, "target 1.5 x, < 500 ms"});
    for (const Case& c : cases) {
        LineAssembly::Section ours, raw;
        const double rawMs = bestMs(7, [&] {
            raw = rawSection(path, *c.line, 0, c.last);
            return !raw.isEmpty();
        });
        const double oursMs = bestMs(7, [&] {
            ours = LineAssembly::Assemble(*c.line, 0, c.last, false);
            return !ours.isEmpty();
        });
        row(c.name, oursMs, rawMs, sameSection(ours, raw) ? c.target : "SECTIONS DIFFER");
        // The readers of the persistent classes, for comparison.
        const double readerMs = bestMs(3, [&] {
            QVector<QVector<double> > m;
            QVector<double> t, n;
            c.line->GetRecvData(&m, &t, &n, true, 0, c.last, false);
            return !m.isEmpty();
        });
        row("  (same by Data_Line::GetRecvData)", readerMs, rawMs, "point by point, light lists reloaded");
    }

    // Saves on this thread while the longest section is assembled on another.
    const Case& longest = cases.last();
    const st_LineSnapshot snapshot = LineAssembly::Snapshot(*longest.line);
    std::atomic<bool> done{false};
    QFuture<void> task = QtConcurrent::run([&] {
        std::shared_ptr<Data_Line> line = LineAssembly::Rebuild(snapshot);
        LineAssembly::Assemble(*line, 0, longest.last, false);
        line.reset();
        orm::Database::closeThreadDatabase();   // as the tree's task does: nothing left to the thread's exit
        done = true;
    });
    QVector<double> saves;
    benchproject::Arrays arrays;
    QList<st_SampleData_Send> sends;
    QList<st_RecvData_DUD4004> recvs;
    st_SampleData_Send send;
    send.DATA_SEND = Data_Blob::VectorToByteArray(arrays.send);
    send.DATA_SOFF = Data_Blob::VectorToByteArray(arrays.off);
    st_RecvData_DUD4004 recv;
    recv.Values = arrays.recv;
    recv.Times = arrays.pos;
    sends.append(send);
    recvs.append(recv);
    st_SaveHeader header;
    header.LineNo = 9999;
    int refused = 0;
    while (!done) {
        header.PointNo += 1;
        ProjectStore::Saved saved;
        const double ms = timeMs([&] { return store.saveSingle(header, sends, recvs, 0, &saved); });
        if (ms < 0)
            ++refused;
        else
            saves.append(ms);
        // Soundings come seconds apart; a save every 100 ms is already many.
        QThread::msleep(100);
    }
    task.waitForFinished();
    std::sort(saves.begin(), saves.end());
    std::printf("saves every 100 ms during the assembly of the %s: %d, %d refused, median %.1f ms, longest %.1f ms "
                "(target: waits about 50 ms at most)\n",
                longest.name, saves.size(), refused, saves.isEmpty() ? 0.0 : saves.at(saves.size() / 2),
                saves.isEmpty() ? 0.0 : saves.last());
    QVector<double> alone;
    for (int i = 0; i < 20; ++i) {
        header.PointNo += 1;
        ProjectStore::Saved saved;
        alone.append(timeMs([&] { return store.saveSingle(header, sends, recvs, 0, &saved); }));
    }
    std::sort(alone.begin(), alone.end());
    std::printf("the same saves alone: median %.1f ms, longest %.1f ms\n", alone.at(alone.size() / 2), alone.last());

    // The statement trace on, its category off, against no trace at all.
    QVector<Data_Sample*> light;
    for (const auto& p : store.lines().first()->list_Data_Point)
        for (const auto& s : p->list_Data_Sample)
            light.append(s.get());
    const QStringList columns = {QStringLiteral("USE"), QStringLiteral("PERIOD"), QStringLiteral("SendFs")};
    auto fetch = [&] {
        for (Data_Sample* s : light)
            orm::dao::fetch_by_id(*s, nullptr, columns);
        return true;
    };
    QVector<double> tracedRuns, untracedRuns;
    for (int i = 0; i < 6; ++i) {
        // Either goes first every other time, so neither gains from the other.
        for (bool trace : {i % 2 == 0, i % 2 != 0}) {
            orm::Database::setTraceSqlQuery(trace);
            (trace ? tracedRuns : untracedRuns).append(timeMs(fetch));
        }
    }
    std::sort(tracedRuns.begin(), tracedRuns.end());
    std::sort(untracedRuns.begin(), untracedRuns.end());
    const double traced = tracedRuns.at(3);
    const double untraced = untracedRuns.at(3);
    std::printf("%d single-row fetches: trace on, category off %.1f ms; trace off %.1f ms\n", light.size(), traced,
                untraced);
    store.close();
    return 0;
}
