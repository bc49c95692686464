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
#include "SqliteRows.h"

#include <QSqlDatabase>

#include <initializer_list>
#include <memory>
#include <new>
#include <vector>

// A sample's arrays decoded, and what the readers of Data_Sample make of
// them, computed the same way: the pieces of an export are made from these
// on other threads without touching the file.
struct SampleArrays
{
    QVector<double> recv;    // DATA_RECV
    QVector<double> times;   // DATA_RECV_POS, us
    QVector<double> send;    // DATA_SEND, as far as current() reads it
    QVector<double> off;     // DATA_SOFF
    double offFs = 0.0;      // SampleOffFs

    // Data_Sample::GetSendI.
    double current() const { return DecayMath::StoredSendI(send); }
    // Data_Sample::GetOffTime.
    double offTime() const { return DecayMath::CalcOffTime(offFs, off); }
    // Data_Sample::GetRecvData, with the turn-off time and (for divI) the
    // current worked out once by the caller.
    void curve(QVector<double>* values, QVector<double>* t, int mode, bool divI, double offUs, double amps) const
    {
        *values = recv;
        if (divI) {
            for (double& x : *values)
                x /= amps;
        }
        *t = times;
        DecayMath::CalcDecay(*values, *t, offUs, mode);
    }
};

// The stored arrays of some samples, copied back to back into one buffer on
// the reading thread (one allocation, no decoding there) and decoded where
// the piece is made.
struct PackedSamples
{
    struct Span
    {
        int begin = 0;
        int size = 0;
    };
    struct Sample
    {
        Span recv;
        Span times;
        Span send;            // the stretches of DATA_SEND its current is worked out from
        int sendValues = 0;   // the values DATA_SEND decodes to
        Span off;
        double offFs = 0.0;
    };

    // A copy of size bytes at the end of the buffer. Bytes beyond what one
    // buffer holds (ExportBufferLimit), or a buffer that cannot be had, are
    // not added and leave noRoom set: the export fails rather than aborts.
    Span add(const char* data, int size)
    {
        if (noRoom || qint64(bytes.size()) + size > ExportBufferLimit()) {
            noRoom = true;
            return Span();
        }
        const Span s{bytes.size(), size};
        try {
            bytes.append(data, size);
        } catch (const std::bad_alloc&) {
            noRoom = true;
            return Span();
        }
        return s;
    }
    Span add(const QByteArray& blob) { return add(blob.constData(), blob.size()); }

    // Room for count more samples of perSample bytes each, so they go in
    // without the buffer growing; sizes are worked out in 64 bits. Room that
    // would not fit in one buffer, or cannot be had, is not taken: only what
    // is really added counts against the limit.
    void reserveFor(qint64 perSample, qint64 count)
    {
        const qint64 total = qint64(bytes.size()) + perSample * count;
        if (noRoom || perSample <= 0 || count <= 0 || total > ExportBufferLimit())
            return;
        try {
            bytes.reserve(int(total));
        } catch (const std::bad_alloc&) {
        }
    }

    // Of the transmitter array only what its current is worked out from is
    // kept (DecayMath::SendIStretchOf; never a short tail).
    static int sendValues(int bytes) { return bytes / 8 + (bytes % 8 != 0 ? 1 : 0); }
    static qint64 sendBytes(int bytes) { return 2 * 8 * qint64(DecayMath::SendIStretchOf(sendValues(bytes)).count); }
    void addSend(const char* data, int size, Sample* s)
    {
        const int n = sendValues(size);
        const DecayMath::SendIStretch read = DecayMath::SendIStretchOf(n);
        const int stretch = 8 * read.count;
        s->sendValues = n;
        s->send = add(data + 8 * read.first, stretch);
        add(data + 8 * (read.first + read.half), stretch);
        s->send.size += stretch;
    }
    // The transmitter array as long as stored, zero where it is not kept.
    QVector<double> sendWave(const Sample& s) const
    {
        const DecayMath::SendIStretch read = DecayMath::SendIStretchOf(s.sendValues);
        QVector<double> wave(s.sendValues, 0.0);
        const QVector<double> kept = decoded(s.send);
        for (int i = 0; i < read.count; ++i) {
            wave[read.first + i] = kept[i];
            wave[read.first + read.half + i] = kept[read.count + i];
        }
        return wave;
    }

    // The arrays of a sample object as it holds them (send only when asked).
    void addHeld(const Data_Sample& held, bool withSend)
    {
        Sample s;
        s.recv = add(held.DATA_RECV);
        s.times = add(held.DATA_RECV_POS);
        if (withSend)
            addSend(held.DATA_SEND.constData(), held.DATA_SEND.size(), &s);
        s.off = add(held.DATA_SOFF);
        s.offFs = held.SampleOffFs;
        samples.append(s);
    }
    QVector<double> decoded(Span s) const
    {
        return Data_Blob::ByteArrayToVector(QByteArray::fromRawData(bytes.constData() + s.begin, s.size));
    }
    SampleArrays arrays(int i) const
    {
        const Sample& s = samples.at(i);
        SampleArrays a;
        a.recv = decoded(s.recv);
        a.times = decoded(s.times);
        a.send = sendWave(s);
        a.off = decoded(s.off);
        a.offFs = s.offFs;
        return a;
    }

    QByteArray bytes;
    QVector<Sample> samples;
    // Set when bytes did not fit (see add); what was added since is incomplete.
    bool noRoom = false;
};

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
