#pragma once
// Sample columns for the exports, read by ID straight from SQLite on the
// calling thread's connection: each statement is prepared once, and every
// read runs inside one read transaction held for the whole export (or inside
// the transaction the connection already has), so the file is not checked
// again for every sample. A sample without a row is written from what its
// object holds, as a failed fetch leaves it; a row that cannot be read (the
// file locked by another program, a damaged page) stops the export at once,
// so that nothing is written over data that were not read and no further
// lock is waited for.

#include "Data_Blob.h"
#include "Data_Sample.h"
#include "DecayMath.h"
#include "ExportFile.h"
#include "OrmDatabase.h"
#include "PackedSamples.h"
#include "SqliteRows.h"

#include <QSqlDatabase>

#include <initializer_list>
#include <memory>
#include <new>
#include <vector>

class SampleLookups
{
public:
    // What a lookup found.
    enum class Row
    {
        Found,     // the row is current
        Missing,   // the sample has no row
        Failed,    // the row could not be read: status() says why
    };

    SampleLookups() : m_db(orm::Database::getDatabase()), m_handle(SqliteRows::handle(m_db))
    {
        if (m_handle)
            m_began = m_db.transaction();
    }
    ~SampleLookups()
    {
        // A statement still on a row would keep the commit from ending the read.
        m_statements.clear();
        if (m_began)
            m_db.commit();
    }
    SampleLookups(const SampleLookups&) = delete;
    SampleLookups& operator=(const SampleLookups&) = delete;

    // A statement whose single parameter is the sample's ID; null when the
    // connection is not SQLite's or the statement does not prepare, and then
    // every lookup through it fails (only a lookup: an export that reads no
    // row does not need the file).
    SqliteRows* prepare(const char* sql)
    {
        if (!m_handle) {
            m_unprepared = QStringLiteral("the project file is not open");
            return nullptr;
        }
        m_statements.emplace_back(new SqliteRows(m_handle, sql));
        SqliteRows* rows = m_statements.back().get();
        if (rows->isPrepared())
            return rows;
        m_unprepared = rows->error().databaseText();
        return nullptr;
    }

    // Steps rows to the row of sample id. A found row stays current until
    // the next find on the same statement. After the first failure every
    // find fails at once, without asking the file again.
    Row find(SqliteRows* rows, int id)
    {
        if (!m_status.ok())
            return Row::Failed;
        if (!rows)
            return fail(ExportFailure::ProjectUnreadable, m_unprepared);
        rows->reset();
        rows->bind(1, id);
        if (rows->next())
            return Row::Found;
        if (rows->failed())
            return fail(ExportFailure::ProjectUnreadable, rows->error().databaseText());
        return Row::Missing;
    }
    // After arrays went into packed: false (the status says so) when they
    // did not fit.
    bool fits(const PackedSamples& packed)
    {
        if (packed.noRoom && m_status.ok())
            fail(ExportFailure::NoMemory, QStringLiteral("the stored arrays of a sounding do not fit in memory"));
        return m_status.ok();
    }
    // Why the export stopped; ok while every row read.
    const ExportStatus& status() const { return m_status; }

    // Makes room in packed for the blobs of these columns of the current
    // row and what is kept of its transmitter array in column send (if not
    // -1), times count, so they go in without the buffer growing.
    static void reserve(const SqliteRows& rows, std::initializer_list<int> columns, int send, int count,
                        PackedSamples* packed)
    {
        qint64 size = send >= 0 ? PackedSamples::sendBytes(rows.bytes(send)) : 0;
        for (int c : columns)
            size += rows.bytes(c);
        packed->reserveFor(size, count);
    }
    // The array blob of a column of the current row, copied into packed.
    static PackedSamples::Span pack(const SqliteRows& rows, int column, PackedSamples* packed)
    {
        const char* data = rows.blobData(column);   // before its size, as SQLite asks
        return packed->add(data, rows.bytes(column));
    }
    // What is kept of the transmitter array in a column of the current row.
    static void packSend(const SqliteRows& rows, int column, PackedSamples* packed, PackedSamples::Sample* sample)
    {
        const char* data = rows.blobData(column);
        packed->addSend(data, rows.bytes(column), sample);
    }

    // What the objects of a written point's list keep: the light columns.
    // Entries holding arrays are replaced by light copies; objects held
    // elsewhere are left as they are.
    template <class Samples>
    static void lighten(Samples& samples)
    {
        for (auto& s : samples) {
            if (!s || (s->DATA_RECV.isEmpty() && s->DATA_RECV_POS.isEmpty() && s->DATA_RECV_LEN.isEmpty()
                       && s->DATA_SEND.isEmpty() && s->DATA_SOFF.isEmpty()))
                continue;
            s = std::make_shared<Data_Sample>(s->Light());
        }
    }

private:
    Row fail(ExportFailure failure, const QString& detail)
    {
        m_status = ExportStatus::failed(failure, detail);
        return Row::Failed;
    }

    QSqlDatabase m_db;
    sqlite3* m_handle;
    bool m_began = false;
    std::vector<std::unique_ptr<SqliteRows> > m_statements;
    QString m_unprepared;
    ExportStatus m_status;
};
