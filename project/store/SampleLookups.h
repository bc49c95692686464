#pragma once
// Sample columns for the exports, read by ID straight from SQLite on the
// calling thread's connection: each statement is prepared once, and every
// read runs inside one read transaction held for the whole export (or inside
// the transaction the connection already has), so the file is not checked
// again for every sample. A sample whose row cannot be read is written from
// what its object holds, as a failed fetch leaves it.

#include "Data_Sample.h"
#include "OrmDatabase.h"
#include "SqliteRows.h"

#include <QSqlDatabase>

#include <memory>
#include <vector>

class SampleLookups
{
public:
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
    // connection is not SQLite's or the statement does not prepare.
    SqliteRows* prepare(const char* sql)
    {
        if (!m_handle)
            return nullptr;
        m_statements.emplace_back(new SqliteRows(m_handle, sql));
        return m_statements.back()->isPrepared() ? m_statements.back().get() : nullptr;
    }

    // Steps rows to the row of sample id: true when there is one. The row
    // stays current until the next find on the same statement.
    static bool find(SqliteRows* rows, int id)
    {
        if (!rows)
            return false;
        rows->reset();
        rows->bind(1, id);
        return rows->next();
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
            auto light = std::make_shared<Data_Sample>(s->ID);
            light->USE = s->USE;
            light->PERIOD = s->PERIOD;
            light->SendFs = s->SendFs;
            s = light;
        }
    }

private:
    QSqlDatabase m_db;
    sqlite3* m_handle;
    bool m_began = false;
    std::vector<std::unique_ptr<SqliteRows> > m_statements;
};
