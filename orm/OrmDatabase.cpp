#include "OrmDatabase.h"

#include <QAtomicInt>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <type_traits>

Q_LOGGING_CATEGORY(lcOrmSql, "vodez.orm.sql")

namespace orm {

namespace {
struct Shared
{
    QMutex mutex;
    DatabaseSettings settings;
    // Bumped whenever the settings change or all connections are dropped; a
    // thread whose connection was opened under an older generation reopens it.
    std::atomic<int> generation{1};
    std::atomic<bool> trace{false};
    std::atomic<int> serial{0};
};

Shared& shared()
{
    static Shared s;
    return s;
}

bool sameSettings(const DatabaseSettings& a, const DatabaseSettings& b)
{
    return a.driverName == b.driverName && a.databaseName == b.databaseName && a.hostName == b.hostName
        && a.userName == b.userName && a.password == b.password && a.connectOptions == b.connectOptions;
}

const QLatin1String kNamePrefix("orm_");

QString connectionName(int serial)
{
    return kNamePrefix + QString::number(serial);
}

// The calling thread's connection, held by its number only (its name is
// made from it): Qt warns when a connection is removed while QSqlDatabase
// copies of it are alive. It has no destructor, so no thread's exit reaches
// Qt Sql: the global pool's threads end when the application object goes,
// and a wait for a thread returns once its function has returned, before its
// thread-local destructors have run; those would run while main returns and
// the libraries' exit handlers tear Qt Sql down. A thread drops its
// connection while the program runs (Database::closeThreadDatabase, at the
// end of a pool task), and the program's end drops what is left
// (Database::closeAllDatabases).
struct ThreadConnection
{
    int serial = 0;   // 0: none
    int generation = 0;

    void drop()
    {
        if (serial == 0)
            return;
        const QString name = connectionName(serial);
        if (QSqlDatabase::contains(name)) {
            {
                QSqlDatabase db = QSqlDatabase::database(name, false);
                db.close();
            }
            QSqlDatabase::removeDatabase(name);
        }
        serial = 0;
        generation = 0;
    }
};
static_assert(std::is_trivially_destructible<ThreadConnection>::value,
              "a thread's exit must not reach Qt Sql");

thread_local ThreadConnection t_connection;

template <class F>
void change(F apply)
{
    Shared& s = shared();
    QMutexLocker lock(&s.mutex);
    DatabaseSettings next = s.settings;
    apply(next);
    if (!sameSettings(next, s.settings))
        s.generation.fetch_add(1);
    s.settings = next;
}
} // namespace

DatabaseSettings Database::settings()
{
    Shared& s = shared();
    QMutexLocker lock(&s.mutex);
    return s.settings;
}

void Database::setSettings(const DatabaseSettings& settings)
{
    change([&](DatabaseSettings& d) { d = settings; });
}

void Database::setDriverName(const QString& v) { change([&](DatabaseSettings& d) { d.driverName = v; }); }
void Database::setDatabaseName(const QString& v) { change([&](DatabaseSettings& d) { d.databaseName = v; }); }
void Database::setHostName(const QString& v) { change([&](DatabaseSettings& d) { d.hostName = v; }); }
void Database::setUserName(const QString& v) { change([&](DatabaseSettings& d) { d.userName = v; }); }
void Database::setPassword(const QString& v) { change([&](DatabaseSettings& d) { d.password = v; }); }
void Database::setConnectOptions(const QString& v)
{
    change([&](DatabaseSettings& d) { d.connectOptions = v; });
}
void Database::setFormatSqlQueryBeforeLogging(bool on)
{
    change([&](DatabaseSettings& d) { d.formatSqlQueryBeforeLogging = on; });
}
void Database::setDisplayTimerDetails(bool on)
{
    change([&](DatabaseSettings& d) { d.displayTimerDetails = on; });
}

void Database::setTraceSqlQuery(bool on) { shared().trace.store(on); }
bool Database::traceSqlQuery() { return shared().trace.load(); }

QSqlDatabase Database::getDatabase(QSqlError* error)
{
    Shared& s = shared();
    ThreadConnection& tc = t_connection;
    const int generation = s.generation.load();
    if (tc.serial != 0 && tc.generation == generation) {
        const QString name = connectionName(tc.serial);
        QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false) : QSqlDatabase();
        if (db.isOpen()) {
            if (error)
                *error = QSqlError();
            return db;
        }
    }
    tc.drop();

    DatabaseSettings settings;
    int openedGeneration = 0;
    {
        QMutexLocker lock(&s.mutex);
        settings = s.settings;
        openedGeneration = s.generation.load();
    }
    tc.serial = s.serial.fetch_add(1) + 1;
    tc.generation = openedGeneration;
    QSqlDatabase db = QSqlDatabase::addDatabase(settings.driverName, connectionName(tc.serial));
    db.setDatabaseName(settings.databaseName);
    db.setHostName(settings.hostName);
    db.setUserName(settings.userName);
    db.setPassword(settings.password);
    db.setConnectOptions(settings.connectOptions);
    db.open();
    if (error)
        *error = db.isOpen() ? QSqlError() : db.lastError();
    return db;
}

void Database::clearAllDatabases()
{
    shared().generation.fetch_add(1);
    t_connection.drop();
}

void Database::closeThreadDatabase()
{
    t_connection.drop();
}

void Database::closeAllDatabases()
{
    shared().generation.fetch_add(1);
    t_connection.drop();
    // The other threads' connections are idle: removing one ends its last
    // handle, which closes it (asking Qt for the handle on this thread would
    // only draw its warning about another thread's connection). A thread
    // that still holds the number of a removed connection opens a new one on
    // its next use.
    for (const QString& name : connectionNames())
        QSqlDatabase::removeDatabase(name);
}

QStringList Database::connectionNames()
{
    QStringList names;
    for (const QString& name : QSqlDatabase::connectionNames()) {
        if (name.startsWith(kNamePrefix))
            names << name;
    }
    names.sort();
    return names;
}

Transaction::Transaction(QSqlDatabase db) : m_db(db)
{
    m_active = m_db.isOpen() && m_db.transaction();
}

Transaction::~Transaction()
{
    if (m_active)
        m_db.rollback();
}

bool Transaction::commit()
{
    if (!m_active)
        return false;
    m_active = false;
    if (m_db.commit())
        return true;
    // A refused commit (a deferred constraint, a busy file) leaves the
    // database inside the transaction; end it here so the connection's next
    // writes are not held in a transaction nobody commits.
    m_db.rollback();
    return false;
}

bool Transaction::rollback()
{
    if (!m_active)
        return false;
    m_active = false;
    return m_db.rollback();
}

} // namespace orm
