#pragma once
// Helpers of the project-file tests: soundings as the controller uploads
// them, plain SQL on a project file through a connection of its own, a lock
// on it as another program holds one, a full or failing disk under the
// export written in place, and a tree subclass that can set the selection
// the way a double click does.

#include "DataClasses.h"
#include "DataModel_Index.h"
#include "ExportFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <atomic>

// Before the first project: the persistent classes registered, and the data
// layer's statement trace kept out of the test output.
inline void setUpProjectTests()
{
    QLoggingCategory::setFilterRules(QStringLiteral("vodez.orm.sql.debug=false"));
    initDataClasses();
}

class TestTree : public DataModel_Index
{
public:
    using DataModel_Index::DataModel_Index;
    void select(int line, int point = -1, int sample = -1)
    {
        curLine = line;
        curPoint = point;
        curSample = sample;
    }
    QSqlDatabase& connection() { return store.database(); }
};

// One set of a sounding; `seed` makes the arrays of each set distinct.
inline st_RecvData_DUD4004 recvSet(double seed, qint64 time, int type = 1)
{
    st_RecvData_DUD4004 r;
    r.DataType = type;
    r.BaseFreq = 25.0;
    r.SampleRate = 625000.0;
    for (int i = 0; i < 5; ++i) {
        r.Times.append(10.0 * (i + 1));
        r.Widths.append(2.0 + i);
        r.Values.append(seed / (i + 1));
    }
    r.RecvTime = time;
    return r;
}

inline st_TEMSendData sendSet(double seed)
{
    st_TEMSendData s;
    s.BaseFreq = 99.0; // not what a save stores: the sounding's frequency is
    s.SampleSendFs = 2000000.0;
    s.SampleOffFs = 1000000.0;
    for (int i = 0; i < 16; ++i)
        s.SendData.append(i < 8 ? seed : -seed);
    s.OffData = {seed, seed / 2, 0.0};
    return s;
}

inline VODEZ_Data sounding(int sets, qint64 firstTime, quint8 sampleMode = 0, quint8 continueMode = 0,
                           float fs = 6.25f, int period = 25)
{
    VODEZ_Data d;
    d.SampleMode = sampleMode;
    d.ContinueMode = continueMode;
    d.ParamFs = fs;
    d.ParamPeriod = period;
    d.RepeatCount = sets;
    for (int i = 0; i < sets; ++i) {
        d.Sends.append(sendSet(1.0 + i));
        d.Recvs.append(recvSet(100.0 + i, firstTime + 1000 * i, 1 + (i % 2)));
    }
    return d;
}

// Plain SQL on a file, on a connection of its own.
class SideDb
{
public:
    explicit SideDb(const QString& path)
        : m_name(QStringLiteral("side_%1").arg(counter()++))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~SideDb()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    bool exec(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(m_name));
        const bool ok = q.exec(sql);
        if (!ok)
            qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return ok;
    }
    // All rows of a query, each row its values in order.
    QList<QVariantList> rows(const QString& sql)
    {
        QList<QVariantList> out;
        QSqlQuery q(QSqlDatabase::database(m_name));
        if (!q.exec(sql)) {
            qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
            return out;
        }
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i)
                row.append(q.value(i));
            out.append(row);
        }
        return out;
    }
    QVariant value(const QString& sql)
    {
        const QList<QVariantList> r = rows(sql);
        return r.isEmpty() || r.first().isEmpty() ? QVariant() : r.first().first();
    }
    QStringList strings(const QString& sql)
    {
        QStringList out;
        for (const QVariantList& r : rows(sql))
            out.append(r.value(0).toString());
        return out;
    }

private:
    static std::atomic<int>& counter()
    {
        static std::atomic<int> n{0};
        return n;
    }
    QString m_name;
};

// A lock on the file from a connection of its own, as another program holds
// it: "exclusive" keeps every other connection from reading, "reserved" (a
// write of its own under way) from writing.
class FileLock
{
public:
    FileLock(const QString& path, const QString& kind) : m_db(path)
    {
        if (kind == QLatin1String("exclusive")) {
            m_held = m_db.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        } else {
            m_held = m_db.exec(QStringLiteral("BEGIN IMMEDIATE"))
                && m_db.exec(QStringLiteral("UPDATE Data_Project SET NOTE = 'other' WHERE ID = 1"));
        }
    }
    ~FileLock() { release(); }
    bool held() const { return m_held; }
    void release()
    {
        if (m_held)
            m_db.exec(QStringLiteral("ROLLBACK"));
        m_held = false;
    }

private:
    SideDb m_db;
    bool m_held = false;
};

// Exports take the road of a folder that refuses new files (the text goes
// straight into an existing target), onto a disk with room for `room` bytes
// of the target: a write past it puts in what fits and then fails as a full
// disk does. Until the object goes.
class FullDiskInPlace
{
public:
    explicit FullDiskInPlace(qint64 room)
    {
        SetExportTemporaryFileGate([](const QString&) { return false; });
        SetExportTargetWrite([room](QFile& file, const char* data, qint64 size) {
            const qint64 fits = std::max<qint64>(0, std::min(size, room - file.pos()));
            if (!WriteWhole(file, data, fits))
                return ExportWriteFailure(file);
            if (fits < size)
                return ExportStatus::failed(ExportFailure::DiskFull, QStringLiteral("No space left on device"));
            return ExportStatus();
        });
    }
    ~FullDiskInPlace()
    {
        SetExportTemporaryFileGate(ExportTemporaryFileGate());
        SetExportTargetWrite(ExportTargetWrite());
    }
    FullDiskInPlace(const FullDiskInPlace&) = delete;
    FullDiskInPlace& operator=(const FullDiskInPlace&) = delete;
};

// Exports take the road of a folder that refuses new files, onto a disk
// that fails as one with an I/O error does (a stick pulled, a copy-on-write
// disk that is full). The target's writes and syncs are counted from 1 in
// the order the export makes them: the room beyond the older file and its
// sync, then the overwrite from offset 0 and its sync, then whatever puts
// the older file back. Until the object goes.
class FaultyDiskInPlace
{
public:
    struct Fault
    {
        int write = 0;          // the write that fails; 0: none
        qint64 through = 0;     // bytes of it that go in before it fails
        int sync = 0;           // the sync that fails; 0: none
        bool andAfter = false;  // every write and sync after the first fault fails too
    };

    explicit FaultyDiskInPlace(const Fault& fault) : m_fault(fault)
    {
        SetExportTemporaryFileGate([](const QString&) { return false; });
        SetExportTargetWrite([this](QFile& file, const char* data, qint64 size) {
            ++m_writes;
            if (m_faulted && m_fault.andAfter)
                return ioError();
            const bool fails = m_writes == m_fault.write;
            if (!WriteWhole(file, data, fails ? std::min(size, m_fault.through) : size))
                return ExportWriteFailure(file);
            if (!fails)
                return ExportStatus();
            m_faulted = true;
            return ioError();
        });
        SetExportTargetSync([this](QFile&) {
            ++m_syncs;
            if ((m_faulted && m_fault.andAfter) || m_syncs == m_fault.sync) {
                m_faulted = true;
                return ioError();
            }
            return ExportStatus();
        });
    }
    ~FaultyDiskInPlace()
    {
        SetExportTemporaryFileGate(ExportTemporaryFileGate());
        SetExportTargetWrite(ExportTargetWrite());
        SetExportTargetSync(ExportTargetSync());
    }
    FaultyDiskInPlace(const FaultyDiskInPlace&) = delete;
    FaultyDiskInPlace& operator=(const FaultyDiskInPlace&) = delete;

    // Whether the fault was met: a case whose fault the export never reaches
    // shows nothing.
    bool faulted() const { return m_faulted; }

private:
    static ExportStatus ioError()
    {
        return ExportStatus::failed(ExportFailure::WriteFailed, QStringLiteral("Input/output error"));
    }

    Fault m_fault;
    int m_writes = 0;
    int m_syncs = 0;
    bool m_faulted = false;
};

// "L1,P1,S2": the rows of the three tables of soundings in a project file.
inline QString rowCounts(const QString& file)
{
    SideDb db(file);
    return db.strings(QStringLiteral("SELECT 'L' || count(*) FROM Data_Line UNION ALL "
                                     "SELECT 'P' || count(*) FROM Data_Point UNION ALL "
                                     "SELECT 'S' || count(*) FROM Data_Sample"))
        .join(QLatin1Char(','));
}

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QByteArray fileHash(const QString& path)
{
    return QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha256);
}
