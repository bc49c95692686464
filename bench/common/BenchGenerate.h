#pragma once
// Writes the generated project of BenchProject.h into a project file that
// the storage has created, through SQLite's C interface in one transaction.

#include "BenchProject.h"
#include "Data_Blob.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sqlite3.h>

namespace benchproject {

struct Size
{
    int lines = 10;
    int points = 1000;
    int samples = 10;
    int continuous = 10000;
};

class Raw
{
public:
    explicit Raw(const QString& path)
    {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~Raw() { sqlite3_close(m_db); }
    Raw(const Raw&) = delete;
    Raw& operator=(const Raw&) = delete;
    sqlite3* db() const { return m_db; }
    bool exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    sqlite3_stmt* prepare(const char* sql)
    {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr);
        return st;
    }

private:
    sqlite3* m_db = nullptr;
};

inline QByteArray blobOf(sqlite3_stmt* st, int column)
{
    return QByteArray(static_cast<const char*>(sqlite3_column_blob(st, column)), sqlite3_column_bytes(st, column));
}

// Points and samples of the generated arrays inserted through prepared
// statements; each insert gives the new row's ID, or -1.
class Inserts
{
public:
    explicit Inserts(Raw& raw, const Arrays& a = Arrays())
        : m_raw(raw)
        , m_blobs{Data_Blob::VectorToByteArray(a.recv), Data_Blob::VectorToByteArray(a.pos),
                  Data_Blob::VectorToByteArray(a.len), Data_Blob::VectorToByteArray(a.send),
                  Data_Blob::VectorToByteArray(a.off)}
        , m_point(raw.prepare("INSERT INTO Data_Point (NAME, USE, NOTE, TYPE, Data_LineID) VALUES (?, 1, '', 0, ?)"))
        , m_sample(raw.prepare(
              "INSERT INTO Data_Sample (StartTime, DeviceType, TYPE, PERIOD, DATA_RECV, DATA_RECV_POS, "
              "DATA_RECV_LEN, DATA_SEND, DATA_SOFF, SendFs, SampleSendFs, SampleOffFs, RecvFs, USE, NOTE, "
              "Data_PointID) VALUES (?, 1, 2, 500, ?, ?, ?, ?, ?, 25, 2000000, 2000000, 625000, 1, '', ?)"))
    {
    }
    ~Inserts()
    {
        sqlite3_finalize(m_point);
        sqlite3_finalize(m_sample);
    }
    Inserts(const Inserts&) = delete;
    Inserts& operator=(const Inserts&) = delete;

    sqlite3_int64 point(double name, sqlite3_int64 lineId)
    {
        sqlite3_bind_double(m_point, 1, name);
        sqlite3_bind_int64(m_point, 2, lineId);
        return step(m_point);
    }
    sqlite3_int64 sample(qint64 startTime, sqlite3_int64 pointId)
    {
        sqlite3_bind_int64(m_sample, 1, startTime);
        for (int b = 0; b < 5; ++b)
            sqlite3_bind_blob(m_sample, 2 + b, m_blobs[b].constData(), m_blobs[b].size(), SQLITE_STATIC);
        sqlite3_bind_int64(m_sample, 7, pointId);
        return step(m_sample);
    }

private:
    sqlite3_int64 step(sqlite3_stmt* st)
    {
        const bool done = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
        return done ? sqlite3_last_insert_rowid(m_raw.db()) : -1;
    }

    Raw& m_raw;
    const QByteArray m_blobs[5];
    sqlite3_stmt* m_point;
    sqlite3_stmt* m_sample;
};

// size.lines lines of TYPE 0 numbered from 1, then one continuous line
// (TYPE 1, number 100) of size.continuous points with one sample each.
inline bool generate(const QString& path, const Size& size, const Arrays& a)
{
    Raw raw(path);
    if (!raw.exec("BEGIN"))
        return false;
    Inserts inserts(raw, a);
    sqlite3_stmt* line = raw.prepare("INSERT INTO Data_Line (NAME, TYPE, USE, NOTE) VALUES (?, ?, 1, '')");
    qint64 time = 1733800000000LL;
    auto addLine = [&](double name, int type, int points, int samples) {
        sqlite3_bind_double(line, 1, name);
        sqlite3_bind_int(line, 2, type);
        if (sqlite3_step(line) != SQLITE_DONE)
            return false;
        sqlite3_reset(line);
        const sqlite3_int64 lineId = sqlite3_last_insert_rowid(raw.db());
        for (int p = 0; p < points; ++p) {
            const sqlite3_int64 pointId = inserts.point(type == 1 ? p : (points - p) * 10.0, lineId);
            if (pointId < 0)
                return false;
            for (int s = 0; s < samples; ++s) {
                if (inserts.sample(time += 1000, pointId) < 0)
                    return false;
            }
        }
        return true;
    };
    bool ok = true;
    for (int l = 0; l < size.lines && ok; ++l)
        ok = addLine(l + 1, 0, size.points, size.samples);
    if (ok && size.continuous > 0)
        ok = addLine(100, 1, size.continuous, 1);
    sqlite3_finalize(line);
    return ok && raw.exec("COMMIT");
}

} // namespace benchproject
