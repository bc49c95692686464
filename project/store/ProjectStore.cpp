#include "ProjectStore.h"

#include "Orm.h"
#include "SqliteRows.h"

#include <QDateTime>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <cmath>
#include <vector>

namespace {

constexpr double kNumberTolerance = 1e-6;

// The tables of a project file, in the order a new file gets them.
const char* const kTables[] = {"Data_Project", "Data_Line", "Data_Point", "Data_Sample", "Data_WorkSet"};

bool sameNumber(double a, double b)
{
    return std::fabs(a - b) < kNumberTolerance;
}

bool failed(const QSqlError& e)
{
    return e.type() != QSqlError::NoError;
}

// SQLITE_CORRUPT and SQLITE_NOTADB: the file is a damaged database or no
// database at all; writing to it could only make it worse.
bool isDamaged(const QSqlError& error)
{
    const QString text = error.databaseText();
    return text.contains(QLatin1String("malformed")) || text.contains(QLatin1String("not a database"));
}

// SQLITE_ERROR, SQLite's answer to a statement that cannot apply (a column,
// index or table that exists already). Every other failure (a lock, an I/O
// error, a full disk, a damaged page) says the file cannot be used now.
bool isOnlyInapplicable(const QSqlError& error)
{
    return error.nativeErrorCode() == QLatin1String("1") && !isDamaged(error);
}

ProjectStore::OpenResult refusal(const QSqlError& error)
{
    return isDamaged(error) ? ProjectStore::OpenResult::Damaged : ProjectStore::OpenResult::Refused;
}

// A child refers to its parent by an object that holds only the parent's ID,
// as the objects an open reads do: a reference to the parent itself would
// close a cycle of shared pointers (the parent lists the child) and keep
// both alive after the project is closed.
template <class P>
std::shared_ptr<P> parentRef(const P& parent)
{
    return std::make_shared<P>(parent.ID);
}

// The samples of one point as light objects (ID, USE, PERIOD, SendFs) in a
// single block that the list's pointers share: a large project holds about
// a million of them, and one allocation each would cost the open more
// memory than their columns.
void setLightSamples(Data_Point& point, const QVector<Data_Sample>& rows)
{
    auto block = std::make_shared<std::vector<Data_Sample>>(rows.begin(), rows.end());
    point.list_Data_Sample.clear();
    point.list_Data_Sample.reserve(int(block->size()));
    for (Data_Sample& s : *block)
        point.list_Data_Sample.append(std::shared_ptr<Data_Sample>(block, &s));
}

// Once committed, the samples a save added keep only what an open reads:
// their arrays are in the file, and a save a second for a whole day would
// otherwise hold every one of them. The point's earlier samples are copied
// too, so that it holds one block again.
void makeSavedLight(Data_Point& point)
{
    QVector<Data_Sample> rows;
    rows.reserve(point.list_Data_Sample.size());
    for (const std::shared_ptr<Data_Sample>& s : qAsConst(point.list_Data_Sample)) {
        if (s)
            rows.append(s->Light());
    }
    setLightSamples(point, rows);
}

std::shared_ptr<Data_Sample> makeSample(const st_SaveHeader& header, const st_SampleData_Send& send,
                                        const st_RecvData_DUD4004& first, const st_RecvData_DUD4004& set,
                                        const std::shared_ptr<Data_Point>& point)
{
    auto s = std::make_shared<Data_Sample>();
    s->StartTime = first.RecvTime;
    s->DeviceType = 1;
    s->TYPE = first.DataType;
    s->PERIOD = header.ParamPeriod;
    s->DATA_RECV = Data_Blob::VectorToByteArray(set.Values);
    s->DATA_RECV_POS = Data_Blob::VectorToByteArray(set.Times);
    s->DATA_RECV_LEN = Data_Blob::VectorToByteArray(set.Widths);
    s->DATA_SEND = send.DATA_SEND;
    s->DATA_SOFF = send.DATA_SOFF;
    s->SendFs = double(header.ParamFs);
    s->SampleSendFs = send.SampleSendFs;
    s->SampleOffFs = send.SampleOffFs;
    s->RecvFs = first.SampleRate;
    s->USE = 1;
    s->Data_PointID = parentRef(*point);
    return s;
}

} // namespace

ProjectStore::~ProjectStore()
{
    close();
}

void ProjectStore::close()
{
    m_open = false;
    m_lines.clear();
    m_project.reset();
    m_firstSampleTimes.clear();
    if (m_db.isValid()) {
        if (m_db.isOpen())
            m_db.close();
        m_db = QSqlDatabase();
    }
    // The layer's connections are held by name; dropping them removes them
    // from Qt's registry as well.
    orm::Database::clearAllDatabases();
}

ProjectStore::OpenResult ProjectStore::open(const QString& path, bool sortPoints)
{
    close();

    orm::DatabaseSettings settings;
    settings.driverName = QStringLiteral("QSQLITE");
    settings.databaseName = path;
    settings.hostName = QStringLiteral("localhost");
    settings.userName = QStringLiteral("root");
    settings.password = QString();
    settings.connectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
    settings.formatSqlQueryBeforeLogging = true;
    settings.displayTimerDetails = true;
    orm::Database::setSettings(settings);
    orm::Database::setTraceSqlQuery(true);
    orm::SqlTypes::set(QStringLiteral("double"), QStringLiteral("REAL"));

    QSqlError error;
    m_db = orm::Database::getDatabase(&error);
    if (!m_db.isOpen()) {
        close();
        return refusal(error);
    }
    const OpenResult result = openInTransaction(sortPoints);
    if (result != OpenResult::Opened) {
        close();
        return result;
    }
    m_open = true;
    return result;
}

ProjectStore::OpenResult ProjectStore::openInTransaction(bool sortPoints)
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    // The write lock first: a file another program holds is given up within
    // one busy time-out, and nothing below can meet a lock half-way.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return refusal(q.lastError());
    auto fail = [this](const QSqlError& e) {
        m_db.rollback();
        m_lines.clear();
        m_project.reset();
        m_firstSampleTimes.clear();
        return refusal(e);
    };

    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
        return fail(q.lastError());
    QSet<QString> tables;
    while (q.next()) {
        const QString name = q.value(0).toString();
        if (!name.startsWith(QLatin1String("sqlite_")))
            tables.insert(name);
    }
    if (q.lastError().isValid())
        return fail(q.lastError());
    // A database with tables of its own belongs to another program unless it
    // holds the project table, or points and samples tied to their lines and
    // points as this program ties them: it is not ours to add tables to.
    if (!tables.isEmpty() && !tables.contains(QStringLiteral("Data_Project"))) {
        auto hasColumn = [&q](const QString& table, const QString& column) {
            if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)))
                return false;
            while (q.next()) {
                if (q.value(1).toString() == column)
                    return true;
            }
            return false;
        };
        const bool ours = tables.contains(QStringLiteral("Data_Point")) && tables.contains(QStringLiteral("Data_Sample"))
            && hasColumn(QStringLiteral("Data_Point"), QStringLiteral("Data_LineID"))
            && hasColumn(QStringLiteral("Data_Sample"), QStringLiteral("Data_PointID"));
        if (!ours)
            return fail(q.lastError());
    }

    for (const char* table : kTables) {
        if (tables.contains(QLatin1String(table)))
            continue;
        const QString name = QLatin1String(table);
        QSqlError e;
        if (name == QLatin1String("Data_Project"))
            e = orm::dao::create_table<Data_Project>(&m_db);
        else if (name == QLatin1String("Data_Line"))
            e = orm::dao::create_table<Data_Line>(&m_db);
        else if (name == QLatin1String("Data_Point"))
            e = orm::dao::create_table<Data_Point>(&m_db);
        else if (name == QLatin1String("Data_Sample"))
            e = orm::dao::create_table<Data_Sample>(&m_db);
        else
            e = orm::dao::create_table<Data_WorkSet>(&m_db);
        if (failed(e))
            return fail(e);
    }
    QSqlError upgradeError;
    if (!runUpgrade(&upgradeError))
        return fail(upgradeError);

    // Row 1 is the project; a file without it gets it back as row 1 (an
    // inserted row would take the next free ID, and every later open would
    // miss it again), and a work-set row only when it has none.
    auto count = [&q](const QString& sql, qint64* n) {
        if (!q.exec(sql) || !q.next())
            return false;
        *n = q.value(0).toLongLong();
        return true;
    };
    qint64 projectRows = 0;
    qint64 workSetRows = 0;
    if (!count(QStringLiteral("SELECT COUNT(*) FROM Data_Project WHERE ID = 1"), &projectRows)
        || !count(QStringLiteral("SELECT COUNT(*) FROM Data_WorkSet"), &workSetRows))
        return fail(q.lastError());

    m_project = std::make_shared<Data_Project>();
    m_project->ID = 1;
    if (projectRows == 0) {
        QSqlError e = orm::dao::insert(*m_project, &m_db);
        if (failed(e))
            return fail(e);
        if (m_project->ID != 1) {
            QSqlQuery move(m_db);
            move.prepare(QStringLiteral("UPDATE Data_Project SET ID = 1 WHERE ID = ?"));
            move.addBindValue(m_project->ID);
            if (!move.exec())
                return fail(move.lastError());
            m_project->ID = 1;
        }
        if (workSetRows == 0) {
            Data_WorkSet workSet;
            e = orm::dao::insert(workSet, &m_db);
            if (failed(e))
                return fail(e);
        }
    } else {
        const QSqlError e = orm::dao::fetch_by_id_except(*m_project, {QStringLiteral("SSID")}, &m_db);
        if (failed(e))
            return fail(e);
    }

    const QSqlError readError = readLight(sortPoints);
    if (failed(readError))
        return fail(readError);

    if (!m_db.commit())
        return fail(m_db.lastError());
    return OpenResult::Opened;
}

QSqlError ProjectStore::readLight(bool sortPoints)
{
    m_lines.clear();
    m_firstSampleTimes.clear();
    // The light read goes to SQLite directly, on the connection's own
    // handle: Qt's driver turns every value of its hundred thousand rows
    // into a variant, which costs the open more than reading them.
    sqlite3* db = SqliteRows::handle(m_db);
    if (!db)
        return QSqlError(QStringLiteral("no SQLite handle"), QString(), QSqlError::ConnectionError);

    QHash<int, Data_Line*> lineById;
    {
        SqliteRows rows(db, "SELECT ID, NAME, TYPE, USE, NOTE FROM Data_Line ORDER BY ID");
        while (rows.next()) {
            auto line = std::make_shared<Data_Line>(rows.integer(0));
            line->NAME = rows.real(1);
            line->TYPE = rows.integer(2);
            line->USE = rows.integer(3);
            line->NOTE = rows.text(4);
            lineById.insert(line->ID, line.get());
            m_lines.append(line);
        }
        if (failed(rows.error()))
            return rows.error();
    }
    QHash<int, Data_Point*> pointById;
    {
        // The points of a line share the one object that stands for it.
        QHash<int, std::shared_ptr<Data_Line>> lineRefs;
        // Points by line and number, as the tree lists them; else by ID.
        SqliteRows rows(db, sortPoints ? "SELECT ID, NAME, USE, NOTE, TYPE, Data_LineID FROM Data_Point AS Points_alias "
                                        "ORDER BY Points_alias.Data_LineID ASC,Points_alias.NAME ASC"
                                      : "SELECT ID, NAME, USE, NOTE, TYPE, Data_LineID FROM Data_Point "
                                        "ORDER BY Data_LineID, ID");
        while (rows.next()) {
            Data_Line* line = rows.isNull(5) ? nullptr : lineById.value(rows.integer(5));
            if (!line)
                continue;   // a point of no line the file holds
            auto point = std::make_shared<Data_Point>(rows.integer(0));
            point->NAME = rows.real(1);
            point->USE = rows.integer(2);
            point->NOTE = rows.text(3);
            point->TYPE = rows.integer(4);
            std::shared_ptr<Data_Line>& ref = lineRefs[line->ID];
            if (!ref)
                ref = std::make_shared<Data_Line>(line->ID);
            point->Data_LineID = ref;
            pointById.insert(point->ID, point.get());
            line->list_Data_Point.append(point);
        }
        if (failed(rows.error()))
            return rows.error();
    }
    {
        // The light columns, each point's samples together and in ID order,
        // all from the light index; the first sample of each point also
        // gives the point's start time.
        SqliteRows rows(db, "SELECT ID, USE, PERIOD, SendFs, StartTime, Data_PointID FROM Data_Sample "
                           "ORDER BY Data_PointID, ID");
        Data_Point* point = nullptr;
        int pointId = 0;
        bool any = false;
        QVector<Data_Sample> held;
        auto flush = [&]() {
            if (point && !held.isEmpty())
                setLightSamples(*point, held);
            held.clear();
        };
        while (rows.next()) {
            if (rows.isNull(5))
                continue;
            const int owner = rows.integer(5);
            const bool first = !any || owner != pointId;
            if (first) {
                flush();
                any = true;
                pointId = owner;
                point = pointById.value(owner);
            }
            if (!point)
                continue;
            Data_Sample sample(rows.integer(0));
            sample.USE = rows.integer(1);
            sample.PERIOD = rows.integer(2);
            sample.SendFs = rows.real(3);
            if (first)
                m_firstSampleTimes.insert(sample.ID, rows.integer64(4));
            held.append(sample);
        }
        flush();
        if (failed(rows.error()))
            return rows.error();
    }
    return QSqlError();
}

bool ProjectStore::upgrade()
{
    QSqlError error;
    return runUpgrade(&error);
}

bool ProjectStore::runUpgrade(QSqlError* error)
{
    if (!m_db.isOpen())
        return true;
    // Statements that find a column, index or table in place fail and change
    // nothing; any other failure ends the upgrade.
    bool sound = true;
    auto run = [this, &sound, error](const QString& sql) {
        if (!sound)
            return;
        QSqlQuery q(m_db);
        if (!q.exec(sql) && !isOnlyInapplicable(q.lastError())) {
            *error = q.lastError();
            sound = false;
        }
    };
    run(QStringLiteral("ALTER TABLE Data_Project ADD COLUMN SSID TEXT;"));
    run(QStringLiteral("CREATE INDEX IDX_Data_Point_Data_LineID_ ON Data_Point (Data_LineID);"));
    run(QStringLiteral("CREATE INDEX IDX_Data_Sample_Data_PointID_ ON Data_Sample (Data_PointID)"));

    const QStringList tables = m_db.tables(QSql::Tables);
    for (const orm::ClassInfo* cls : orm::ClassRegistry::allClasses()) {
        if (!cls)
            continue;
        const QString table = cls->name();
        if (!tables.contains(table)) {
            run(QStringLiteral("CREATE TABLE ") + table + QStringLiteral(" ( ) WITH (OIDS = FALSE);ALTER TABLE ")
                + table + QStringLiteral(" OWNER TO \"root\";"));
        }
        for (const orm::Member* m : cls->columns()) {
            run(QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" ADD COLUMN ") + m->name + QLatin1Char(' ')
                + orm::SqlTypes::sqlType(*m) + QLatin1Char(';'));
            if (m->properties.contains(QStringLiteral("INDEX"))) {
                run(QStringLiteral("CREATE INDEX IDX_") + table + QLatin1Char('_') + m->name + QStringLiteral("_ ON ")
                    + table + QStringLiteral(" (") + m->name + QStringLiteral(");"));
            }
        }
    }
    // The light columns of the samples, with each point's samples together:
    // the open reads them (and every point's first start time) from this
    // index alone, not from the rows, whose arrays lie before USE and
    // Data_PointID.
    run(QStringLiteral("CREATE INDEX IDX_Data_Sample_Light_ ON Data_Sample "
                       "(Data_PointID, ID, USE, PERIOD, SendFs, StartTime);"));
    return sound;
}

bool ProjectStore::firstSampleTime(int sampleId, qint64* ms) const
{
    const auto found = m_firstSampleTimes.constFind(sampleId);
    if (found == m_firstSampleTimes.constEnd())
        return false;
    *ms = found.value();
    return true;
}

int ProjectStore::findLine(double name) const
{
    for (int i = 0; i < m_lines.size(); ++i) {
        if (sameNumber(m_lines.at(i)->NAME, name))
            return i;
    }
    return -1;
}

// ---------------------------------------------------------------- saves

bool ProjectStore::lineForSave(double name, int type, Saved* saved, bool* inserted)
{
    saved->line = findLine(name);
    saved->lineAdded = saved->line < 0;
    *inserted = true;
    if (!saved->lineAdded)
        return true;
    auto line = std::make_shared<Data_Line>();
    line->NAME = name;
    line->TYPE = type;
    line->USE = 1;
    *inserted = !failed(orm::dao::insert(*line, &m_db));
    m_lines.append(line);
    saved->line = m_lines.size() - 1;
    return *inserted;
}

void ProjectStore::dropAddedLine(const Saved& saved)
{
    if (saved.lineAdded)
        m_lines.removeAt(saved.line);
}

bool ProjectStore::saveSingle(const st_SaveHeader& header, const QList<st_SampleData_Send>& sends,
                              const QList<st_RecvData_DUD4004>& recvs, int mode, Saved* saved)
{
    if (!m_open || recvs.isEmpty() || sends.size() != recvs.size())
        return false;
    // Without a transaction every insert would commit on its own: a later
    // failure could then no longer be undone.
    if (!m_db.transaction())
        return false;
    bool ok = false;
    lineForSave(header.LineNo, 0, saved, &ok);
    const std::shared_ptr<Data_Line> line = m_lines.at(saved->line);

    saved->point = -1;
    for (int j = 0; j < line->list_Data_Point.size(); ++j) {
        if (sameNumber(line->list_Data_Point.at(j)->NAME, header.PointNo)) {
            saved->point = j;
            break;
        }
    }
    saved->pointAdded = saved->point < 0;
    std::shared_ptr<Data_Point> point;
    if (saved->pointAdded) {
        point = std::make_shared<Data_Point>();
        point->NAME = header.PointNo;
        point->USE = 1;
        point->TYPE = mode;
        point->Data_LineID = parentRef(*line);
        ok = ok && !failed(orm::dao::insert(*point, &m_db));
        line->list_Data_Point.append(point);
        saved->point = line->list_Data_Point.size() - 1;
    } else {
        point = line->list_Data_Point.at(saved->point);
    }

    const int samplesBefore = point->list_Data_Sample.size();
    for (int j = 0; j < recvs.size() && ok; ++j) {
        const std::shared_ptr<Data_Sample> s = makeSample(header, sends.at(j), recvs.first(), recvs.at(j), point);
        ok = !failed(orm::dao::insert(*s, &m_db));
        point->list_Data_Sample.append(s);
    }
    if (ok && m_db.commit()) {
        makeSavedLight(*point);
        return true;
    }

    m_db.rollback();
    // Nothing the failed save added may stay: an object without a row would
    // carry an ID the file does not have.
    point->list_Data_Sample.resize(samplesBefore);
    if (saved->pointAdded)
        line->list_Data_Point.removeAt(saved->point);
    dropAddedLine(*saved);
    return false;
}

bool ProjectStore::saveContinue(const st_SaveHeader& header, const st_SampleData_Send& send,
                                const st_RecvData_DUD4004& recv, Saved* saved)
{
    if (!m_open || header.ContinueMode != 1)
        return false;
    if (!m_db.transaction())
        return false;
    bool ok = false;
    lineForSave(header.LineNo, 1, saved, &ok);
    const std::shared_ptr<Data_Line> line = m_lines.at(saved->line);

    const int n = line->list_Data_Point.size();
    auto point = std::make_shared<Data_Point>();
    point->NAME = n;
    point->USE = 1;
    point->TYPE = 0;
    point->Data_LineID = parentRef(*line);
    ok = ok && !failed(orm::dao::insert(*point, &m_db));
    line->list_Data_Point.append(point);
    saved->point = n;
    saved->pointAdded = true;
    if (ok) {
        const std::shared_ptr<Data_Sample> s = makeSample(header, send, recv, recv, point);
        ok = !failed(orm::dao::insert(*s, &m_db));
        point->list_Data_Sample.append(s);
    }
    if (ok && m_db.commit()) {
        makeSavedLight(*point);
        return true;
    }

    m_db.rollback();
    line->list_Data_Point.removeAt(n);
    dropAddedLine(*saved);
    return false;
}

// ---------------------------------------------------------------- edits

template <class T>
bool ProjectStore::storeColumnsOf(const T& object, const QStringList& columns)
{
    if (!m_open || !m_db.transaction())
        return false;
    if (failed(orm::dao::update(object, &m_db, columns)) || !m_db.commit()) {
        m_db.rollback();
        return false;
    }
    return true;
}

bool ProjectStore::storeColumns(const Data_Line& line, const QStringList& columns)
{
    return storeColumnsOf(line, columns);
}

bool ProjectStore::storeColumns(const Data_Point& point, const QStringList& columns)
{
    return storeColumnsOf(point, columns);
}

bool ProjectStore::storeColumns(const Data_Sample& sample, const QStringList& columns)
{
    return storeColumnsOf(sample, columns);
}

bool ProjectStore::storeColumns(const Data_Project& project, const QStringList& columns)
{
    return storeColumnsOf(project, columns);
}

template <class T>
bool ProjectStore::appendNoteOf(T& object, const QString& text)
{
    if (!m_open || !m_db.transaction())
        return false;
    // The note in memory may be empty although the file holds one (objects
    // that an export or a section read back hold only their light columns):
    // the stored note is the one the text is appended to.
    T stored(object.ID);
    if (failed(orm::dao::fetch_by_id(stored, &m_db, {QStringLiteral("NOTE")}))) {
        m_db.rollback();
        return false;
    }
    stored.NOTE = stored.NOTE.isEmpty() ? text : stored.NOTE + QStringLiteral("\r\n\r\n") + text;
    if (failed(orm::dao::update(stored, &m_db, {QStringLiteral("NOTE")})) || !m_db.commit()) {
        m_db.rollback();
        return false;
    }
    object.NOTE = stored.NOTE;
    return true;
}

bool ProjectStore::appendNote(Data_Line& line, const QString& text)
{
    return appendNoteOf(line, text);
}

bool ProjectStore::appendNote(Data_Point& point, const QString& text)
{
    return appendNoteOf(point, text);
}

bool ProjectStore::appendNote(Data_Sample& sample, const QString& text)
{
    return appendNoteOf(sample, text);
}

void ProjectStore::fetchWhole(Data_Sample& sample)
{
    orm::dao::fetch_by_id(sample, m_db.isOpen() ? &m_db : nullptr);
}

// ---------------------------------------------------------------- reading

void ProjectStore::samplesByTime(double step, const QDateTime& from, const QDateTime& to,
                                 QList<st_SaveHeader>* headers,
                                 QList<QList<st_RecvData_DUD4004> >* recvGroups,
                                 QList<QList<st_SampleData_Send> >* sendGroups, int type)
{
    if (!headers || !recvGroups || !sendGroups)
        return;
    double groupStart = 0.0;
    double firstStart = 0.0;
    // A group closed before any sample matched carries this empty header.
    st_SaveHeader header;
    for (const std::shared_ptr<Data_Line>& L : qAsConst(m_lines)) {
        if (!L || L->USE == 0 || L->TYPE != 1 || L->list_Data_Point.isEmpty())
            continue;
        int group = 0;
        QList<st_RecvData_DUD4004> R;
        QList<st_SampleData_Send> T;
        const QVector<std::shared_ptr<Data_Point> > points = L->list_Data_Point;
        for (int j = 0; j < points.size(); ++j) {
            const std::shared_ptr<Data_Point>& P = points.at(j);
            if (P && P->USE != 0) {
                const double x = P->NAME;
                if (R.isEmpty())
                    groupStart = firstStart = x;
                if (x - groupStart >= step) {
                    headers->append(header);
                    recvGroups->append(R);
                    sendGroups->append(T);
                    ++group;
                    R.clear();
                    T.clear();
                    groupStart = x;
                }
                for (const std::shared_ptr<Data_Sample>& S : P->list_Data_Sample) {
                    if (!S || S->USE == 0)
                        continue;
                    fetchWhole(*S);
                    const QDateTime start = QDateTime::fromMSecsSinceEpoch(S->StartTime);
                    if (start < from || start > to)
                        continue;
                    header = st_SaveHeader();
                    header.LineNo = L->NAME;
                    const double offset = (groupStart - firstStart) / 1000;
                    if (type == 0)
                        header.PointNo = offset;
                    else if (type == 1)
                        header.PointNo = std::trunc(offset + 0.5);   // as an integer, without leaving the double range
                    else if (type == 2)
                        header.PointNo = group;
                    header.SampleMode = 0;
                    header.ContinueMode = 1;
                    header.ParamFs = static_cast<float>(S->SendFs);
                    header.ParamPeriod = S->PERIOD;
                    header.RepeatCount = 1;
                    R.append(S->GetRecvData_Dud4004(false, 0));
                    T.append(S->GetSendData());
                }
            }
        }
        headers->append(header);
        recvGroups->append(R);
        sendGroups->append(T);
    }
}
