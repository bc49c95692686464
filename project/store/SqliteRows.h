#pragma once
// Rows read straight from SQLite on a Qt connection's own handle, for the
// bulk reads where Qt's driver, which turns every value into a variant,
// would cost more than the reading: the open's light read and the line
// sections. Statements run inside whatever transaction the connection has.

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QString>
#include <QVariant>

#include <sqlite3.h>

class SqliteRows
{
public:
    // The connection's SQLite handle; null for a closed or other connection.
    static sqlite3* handle(const QSqlDatabase& db)
    {
        if (!db.isOpen() || !db.driver())
            return nullptr;
        const QVariant h = db.driver()->handle();
        if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0)
            return nullptr;
        return *static_cast<sqlite3* const*>(h.constData());
    }

    SqliteRows(sqlite3* db, const char* sql) : m_db(db) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_st, nullptr); }
    ~SqliteRows() { sqlite3_finalize(m_st); }
    SqliteRows(const SqliteRows&) = delete;
    SqliteRows& operator=(const SqliteRows&) = delete;

    bool isPrepared() const { return m_st != nullptr; }
    // Runs the statement again from the start (keeping its bound values).
    void reset()
    {
        sqlite3_reset(m_st);
        m_rc = m_st ? SQLITE_OK : m_rc;
    }
    void bind(int index, int value) { sqlite3_bind_int(m_st, index, value); }

    bool next()
    {
        if (m_rc != SQLITE_OK && m_rc != SQLITE_ROW)
            return false;
        m_rc = sqlite3_step(m_st);
        return m_rc == SQLITE_ROW;
    }
    // After next() gave false: whether an error, not the end of the rows,
    // stopped it (a file locked by another program, a damaged page).
    bool failed() const { return m_rc != SQLITE_DONE && m_rc != SQLITE_ROW; }
    // After next() gave false: the error that ended the rows, if any.
    QSqlError error() const
    {
        if (m_rc == SQLITE_DONE)
            return QSqlError();
        return QSqlError(QStringLiteral("Unable to fetch row"), QString::fromUtf8(sqlite3_errmsg(m_db)),
                         QSqlError::StatementError, QString::number(m_rc));
    }

    int integer(int column) const { return sqlite3_column_int(m_st, column); }
    qint64 integer64(int column) const { return sqlite3_column_int64(m_st, column); }
    double real(int column) const { return sqlite3_column_double(m_st, column); }
    bool isNull(int column) const { return sqlite3_column_type(m_st, column) == SQLITE_NULL; }
    QString text(int column) const
    {
        const void* t = sqlite3_column_text16(m_st, column);
        return t ? QString(static_cast<const QChar*>(t), sqlite3_column_bytes16(m_st, column) / int(sizeof(QChar)))
                 : QString();
    }
    QByteArray blob(int column) const
    {
        const void* b = sqlite3_column_blob(m_st, column);
        return b ? QByteArray(static_cast<const char*>(b), sqlite3_column_bytes(m_st, column)) : QByteArray();
    }
    // The blob without a copy, and its size: valid only while the statement
    // stays on this row (until the next next() or reset()).
    const char* blobData(int column) const { return static_cast<const char*>(sqlite3_column_blob(m_st, column)); }
    int bytes(int column) const { return sqlite3_column_bytes(m_st, column); }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_st = nullptr;
    int m_rc;
};
