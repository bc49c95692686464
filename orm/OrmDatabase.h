#pragma once
// Database settings shared by all threads and one connection per thread.
// Every data-access call without an explicit connection runs on the calling
// thread's connection, so it joins a transaction begun on that connection.

#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

Q_DECLARE_LOGGING_CATEGORY(lcOrmSql)

namespace orm {

struct DatabaseSettings
{
    QString driverName = QStringLiteral("QSQLITE");
    QString databaseName;
    QString hostName;
    QString userName;
    QString password;
    QString connectOptions;                   // the driver's options, e.g. "QSQLITE_BUSY_TIMEOUT=2000"
    bool formatSqlQueryBeforeLogging = false; // break statements into lines in the log
    bool displayTimerDetails = false;         // log execution and read times apart
};

class Database
{
public:
    static DatabaseSettings settings();
    // Changing a setting to another value makes every thread reopen its
    // connection with the new settings on its next use.
    static void setSettings(const DatabaseSettings& settings);
    static void setDriverName(const QString& value);
    static void setDatabaseName(const QString& value);
    static void setHostName(const QString& value);
    static void setUserName(const QString& value);
    static void setPassword(const QString& value);
    static void setConnectOptions(const QString& value);
    static void setFormatSqlQueryBeforeLogging(bool on);
    static void setDisplayTimerDetails(bool on);

    // Logs every statement with its duration (category "vodez.orm.sql").
    static void setTraceSqlQuery(bool on);
    static bool traceSqlQuery();

    // The calling thread's connection, opened with the current settings on
    // first use and reopened when the settings changed since. When it cannot
    // be opened the handle is returned closed and *error holds the driver's
    // error.
    static QSqlDatabase getDatabase(QSqlError* error = nullptr);

    // Drops the calling thread's connection now; every other thread's
    // connection is closed and reopened by that thread on its next use.
    static void clearAllDatabases();

    // Closes and removes the calling thread's connection now, and only that
    // one; a later call of getDatabase opens a new one. A thread that ends
    // (a task on a pool thread, at its end) calls it before it ends: nothing
    // closes a connection at a thread's exit, since a pool thread may end
    // while the program's exit handlers run.
    static void closeThreadDatabase();

    // Closes and removes every connection opened here, of every thread, on
    // the calling thread. Only for when no other thread uses its connection
    // any more (the thread pool drained), at the program's end.
    static void closeAllDatabases();

    // The names of the connections opened here that are still open, of
    // every thread.
    static QStringList connectionNames();
};

// A transaction on one connection, rolled back unless committed (also when
// the database refuses the commit).
class Transaction
{
public:
    explicit Transaction(QSqlDatabase db = Database::getDatabase());
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool isActive() const { return m_active; }
    bool commit();
    bool rollback();
    QSqlDatabase database() const { return m_db; }

private:
    QSqlDatabase m_db;
    bool m_active = false;
};

} // namespace orm
