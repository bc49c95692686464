#include "OrmDao.h"
#include "OrmSqlTypes.h"

#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSet>

#include <vector>

namespace orm {
namespace detail {

namespace {

QSqlError ormError(const QString& text)
{
    return QSqlError(QStringLiteral("orm"), text, QSqlError::StatementError);
}

// The connection a call runs on, or the reason it has none.
bool connection(QSqlDatabase* explicitDb, QSqlDatabase& db, QSqlError& error)
{
    if (explicitDb) {
        db = *explicitDb;
    } else {
        db = Database::getDatabase(&error);
    }
    if (db.isOpen())
        return true;
    if (!error.isValid())
        error = db.lastError();
    if (!error.isValid())
        error = ormError(QStringLiteral("database connection is not open"));
    return false;
}

// An identifier as it goes into a statement: a plain name as it is (so the
// stored schema and the log read as written), a name that is an SQL word or
// holds other characters in double quotes.
QString ident(const QString& name)
{
    static const QSet<QString> words = [] {
        QSet<QString> w;
        for (const char* k :
             {"ABORT", "ACTION", "ADD", "AFTER", "ALL", "ALTER", "ALWAYS", "ANALYZE", "AND", "AS", "ASC", "ATTACH",
              "AUTOINCREMENT", "BEFORE", "BEGIN", "BETWEEN", "BY", "CASCADE", "CASE", "CAST", "CHECK", "COLLATE",
              "COLUMN", "COMMIT", "CONFLICT", "CONSTRAINT", "CREATE", "CROSS", "CURRENT", "CURRENT_DATE",
              "CURRENT_TIME", "CURRENT_TIMESTAMP", "DATABASE", "DEFAULT", "DEFERRABLE", "DEFERRED", "DELETE", "DESC",
              "DETACH", "DISTINCT", "DO", "DROP", "EACH", "ELSE", "END", "ESCAPE", "EXCEPT", "EXCLUDE", "EXCLUSIVE",
              "EXISTS", "EXPLAIN", "FAIL", "FILTER", "FIRST", "FOLLOWING", "FOR", "FOREIGN", "FROM", "FULL",
              "GENERATED", "GLOB", "GROUP", "GROUPS", "HAVING", "IF", "IGNORE", "IMMEDIATE", "IN", "INDEX", "INDEXED",
              "INITIALLY", "INNER", "INSERT", "INSTEAD", "INTERSECT", "INTO", "IS", "ISNULL", "JOIN", "KEY", "LAST",
              "LEFT", "LIKE", "LIMIT", "MATCH", "MATERIALIZED", "NATURAL", "NO", "NOT", "NOTHING", "NOTNULL", "NULL",
              "NULLS", "OF", "OFFSET", "ON", "OR", "ORDER", "OTHERS", "OUTER", "OVER", "PARTITION", "PLAN", "PRAGMA",
              "PRECEDING", "PRIMARY", "QUERY", "RAISE", "RANGE", "RECURSIVE", "REFERENCES", "REGEXP", "REINDEX",
              "RELEASE", "RENAME", "REPLACE", "RESTRICT", "RETURNING", "RIGHT", "ROLLBACK", "ROW", "ROWS",
              "SAVEPOINT", "SELECT", "SET", "TABLE", "TEMP", "TEMPORARY", "THEN", "TIES", "TO", "TRANSACTION",
              "TRIGGER", "UNBOUNDED", "UNION", "UNIQUE", "UPDATE", "USING", "VACUUM", "VALUES", "VIEW", "VIRTUAL",
              "WHEN", "WHERE", "WINDOW", "WITH", "WITHOUT"})
            w.insert(QString::fromLatin1(k));
        return w;
    }();
    bool plain = !name.isEmpty() && !name.at(0).isDigit();
    for (const QChar c : name)
        plain = plain && c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('_'));
    if (plain && !words.contains(name.toUpper()))
        return name;
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString formatForLog(const QString& sql)
{
    static const QRegularExpression breaks(
        QStringLiteral("\\s+(?=(FROM|WHERE|ORDER BY|GROUP BY|VALUES|SET|AND)\\b)"),
        QRegularExpression::CaseInsensitiveOption);
    QString out = sql;
    out.replace(breaks, QStringLiteral("\n  "));
    return out;
}

// One executed statement; logs itself with its times when tracing is on.
class Statement
{
public:
    Statement(const QSqlDatabase& db, const QString& sql) : m_query(db), m_sql(sql)
    {
        m_query.setForwardOnly(true);
        m_timer.start();
    }
    ~Statement()
    {
        // Formatting a statement costs more than running a small one: only
        // when the message is going to be written.
        if (!Database::traceSqlQuery() || !lcOrmSql().isDebugEnabled())
            return;
        const DatabaseSettings s = Database::settings();
        const QString text = s.formatSqlQueryBeforeLogging ? formatForLog(m_sql) : m_sql;
        const double total = m_timer.nsecsElapsed() / 1e6;
        if (s.displayTimerDetails)
            qCDebug(lcOrmSql).noquote() << QStringLiteral("%1\n  (exec %2 ms, read %3 ms)%4")
                                               .arg(text)
                                               .arg(m_execMs, 0, 'f', 3)
                                               .arg(total - m_execMs, 0, 'f', 3)
                                               .arg(m_failed ? QStringLiteral(" failed: ") + m_query.lastError().text()
                                                             : QString());
        else
            qCDebug(lcOrmSql).noquote() << QStringLiteral("%1 (%2 ms)%3")
                                               .arg(text)
                                               .arg(total, 0, 'f', 3)
                                               .arg(m_failed ? QStringLiteral(" failed: ") + m_query.lastError().text()
                                                             : QString());
    }

    bool prepare()
    {
        if (m_query.prepare(m_sql))
            return true;
        m_failed = true;
        return false;
    }
    void add(const QVariant& v) { m_query.addBindValue(v); }
    void bind(const QString& name, const QVariant& v) { m_query.bindValue(name, v); }
    bool exec()
    {
        const bool ok = m_query.exec();
        m_execMs = m_timer.nsecsElapsed() / 1e6;
        m_failed = !ok;
        return ok;
    }
    QSqlQuery& query() { return m_query; }
    QSqlError error() const { return m_query.lastError(); }

private:
    QSqlQuery m_query;
    QString m_sql;
    QElapsedTimer m_timer;
    double m_execMs = 0;
    bool m_failed = false;
};

// Stored text and blob columns hold an empty value, never NULL.
QVariant toColumn(const Member& m, const QVariant& v)
{
    if (m.typeName == QLatin1String("QString") && v.toString().isNull())
        return QVariant(QStringLiteral(""));
    if (m.typeName == QLatin1String("QByteArray") && v.toByteArray().isNull())
        return QVariant(QByteArray(""));
    return v;
}

// ID and the chosen columns, in registration order.
bool selectColumns(const ClassInfo& cls, const QStringList& names, bool exclude, bool all,
                   QVector<const Member*>& out, QSqlError& error)
{
    for (const QString& n : names) {
        const Member* m = cls.member(n);
        if (!m || !m->hasColumn()) {
            error = ormError(QStringLiteral("%1 has no column %2").arg(cls.name(), n));
            return false;
        }
    }
    for (const Member* m : cls.columns()) {
        const bool listed = names.contains(m->name);
        if (m->kind == MemberKind::Id || all || (exclude ? !listed : listed))
            out.append(m);
    }
    return true;
}

// The first count members (all by default) from the query's current row.
void writeRow(const QSqlQuery& q, const QVector<const Member*>& members, void* object, int count = -1)
{
    const int n = count < 0 ? members.size() : count;
    for (int i = 0; i < n; ++i)
        members.at(i)->write(object, q.value(i));
}

// The error of a fetch by ID that found no row (or failed reading it).
QSqlError noRow(const QSqlQuery& q, const ClassInfo& cls, const void* object)
{
    if (q.lastError().isValid())
        return q.lastError();
    return ormError(QStringLiteral("no row of %1 with ID %2").arg(cls.name()).arg(cls.idOf(object)));
}

// ---- relation texts -------------------------------------------------------

struct Node
{
    const ClassInfo* cls = nullptr;
    const ClassInfo* owner = nullptr; // the class holding the relation
    const Member* relation = nullptr; // null for the root
    QString alias;
    QStringList columns;
    bool columnsSet = false;
    bool exclude = false;
    std::vector<Node> children;
};

bool parseRelations(const QStringList& texts, Node& root, QSqlError& error)
{
    static const QRegularExpression segment(QStringLiteral(
        "^\\s*([A-Za-z_][A-Za-z0-9_]*)?\\s*(?:<\\s*([A-Za-z_][A-Za-z0-9_]*)\\s*>)?\\s*(?:(-)?\\s*\\{([^}]*)\\})?\\s*$"));
    for (const QString& text : texts) {
        if (text.trimmed().isEmpty())
            continue;
        const QStringList parts = text.split(QStringLiteral("->"));
        Node* node = &root;
        for (int i = 0; i < parts.size(); ++i) {
            const QRegularExpressionMatch m = segment.match(parts.at(i));
            if (!m.hasMatch()) {
                error = ormError(QStringLiteral("cannot read relation text \"%1\"").arg(text));
                return false;
            }
            const QString name = m.captured(1);
            if (name.isEmpty()) {
                // Column choice on the root: only as a text of its own.
                if (parts.size() != 1 || !m.captured(2).isEmpty() || m.captured(4).isNull()) {
                    error = ormError(QStringLiteral("cannot read relation text \"%1\"").arg(text));
                    return false;
                }
            } else {
                const Member* rel = node->cls->member(name);
                if (!rel || rel->kind != MemberKind::OneToMany) {
                    error = ormError(QStringLiteral("%1 has no relation %2").arg(node->cls->name(), name));
                    return false;
                }
                Node* child = nullptr;
                for (Node& c : node->children)
                    if (c.relation == rel)
                        child = &c;
                if (!child) {
                    node->children.emplace_back();
                    child = &node->children.back();
                    child->cls = &rel->target();
                    child->owner = node->cls;
                    child->relation = rel;
                }
                node = child;
                if (!m.captured(2).isEmpty())
                    node->alias = m.captured(2);
            }
            if (!m.captured(4).isNull()) {
                node->columnsSet = true;
                node->exclude = !m.captured(3).isEmpty();
                node->columns.clear();
                for (const QString& c : m.captured(4).split(QLatin1Char(','), Qt::SkipEmptyParts))
                    if (!c.trimmed().isEmpty())
                        node->columns.append(c.trimmed());
            }
        }
    }
    return true;
}

const Node* findAlias(const Node& node, const QString& alias)
{
    if (node.alias == alias)
        return &node;
    for (const Node& c : node.children)
        if (const Node* found = findAlias(c, alias))
            return found;
    return nullptr;
}

bool tailOrders(const QString& tail)
{
    static const QRegularExpression re(QStringLiteral("\\b(ORDER\\s+BY|GROUP\\s+BY|LIMIT)\\b"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(tail).hasMatch();
}

bool tailFilters(const QString& tail)
{
    static const QRegularExpression re(QStringLiteral("\\b(WHERE|LIMIT|OFFSET|GROUP\\s+BY)\\b"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(tail).hasMatch();
}

QString selectList(const QVector<const Member*>& members, const QString& ref)
{
    QStringList parts;
    for (const Member* m : members)
        parts.append(ident(ref) + QLatin1Char('.') + ident(m->name));
    return parts.join(QStringLiteral(", "));
}

struct Fetcher
{
    QSqlDatabase db;
    const Query* query = nullptr;
    const Node* tailNode = nullptr;

    void bindTail(Statement& st)
    {
        for (const auto& v : query->values())
            st.bind(v.first, v.second);
    }

    // Fills the relation of node for every parent, replacing their lists.
    QSqlError children(const Node& node, const QVector<void*>& parents, bool parentsComplete)
    {
        const Member* rel = node.relation;
        const ClassInfo& cls = *node.cls;
        for (void* p : parents)
            rel->clearChildren(p);
        if (parents.isEmpty())
            return QSqlError();

        const Member* fk = cls.member(rel->foreignKey);
        if (!fk || !fk->hasColumn())
            return ormError(QStringLiteral("%1 has no column %2").arg(cls.name(), rel->foreignKey));
        QSqlError error;
        QVector<const Member*> members;
        if (!selectColumns(cls, node.columns, node.exclude, !node.columnsSet, members, error))
            return error;
        const int written = members.size();
        int fkIndex = members.indexOf(fk);
        if (fkIndex < 0) {
            fkIndex = members.size();
            members.append(fk); // read for stitching only
        }

        QHash<int, void*> byId;
        byId.reserve(parents.size());
        for (void* p : parents)
            byId.insert(node.owner->idOf(p), p);

        const QString ref = node.alias.isEmpty() ? cls.name() : node.alias;
        QString base = QStringLiteral("SELECT %1 FROM %2").arg(selectList(members, ref), ident(cls.name()));
        if (!node.alias.isEmpty())
            base += QStringLiteral(" AS ") + ident(node.alias);
        const bool tailHere = tailNode == &node && !query->isEmpty();
        // Each parent's children in ID order, read parent by parent: an
        // index that leads with the foreign key then serves the read in its
        // own order, without a sort and without visiting the rows.
        const QString order = (tailHere && tailOrders(query->tail()))
            ? QString()
            : QStringLiteral(" ORDER BY %1.%2, %1.%3").arg(ident(ref), ident(fk->name), ident(cls.idMember()->name));

        QVector<void*> fetched;
        auto run = [&](const QString& sql, const QVector<int>& inIds) -> QSqlError {
            Statement st(db, sql);
            if (!st.prepare())
                return st.error();
            if (tailHere)
                bindTail(st);
            for (int i = 0; i < inIds.size(); ++i)
                st.bind(QStringLiteral(":orm_in%1").arg(i), inIds.at(i));
            if (!st.exec())
                return st.error();
            QSqlQuery& q = st.query();
            while (q.next()) {
                const QVariant key = q.value(fkIndex);
                void* parent = key.isNull() ? nullptr : byId.value(key.toInt(), nullptr);
                if (!parent)
                    continue; // a row of another parent
                std::shared_ptr<void> child = cls.create();
                writeRow(q, members, child.get(), written);
                rel->appendChild(parent, child);
                fetched.append(child.get());
            }
            return q.lastError().isValid() ? q.lastError() : QSqlError();
        };

        bool complete = parentsComplete;
        if (tailHere) {
            error = run(base + QLatin1Char(' ') + query->tail() + order, {});
            complete = parentsComplete && !tailFilters(query->tail());
        } else if (parentsComplete) {
            error = run(base + order, {});
        } else {
            // Only the children of these parents, a bounded list at a time.
            const QList<int> ids = byId.keys();
            const int chunk = 500;
            for (int start = 0; start < ids.size() && !error.isValid(); start += chunk) {
                QVector<int> part;
                QStringList marks;
                for (int i = start; i < qMin(ids.size(), start + chunk); ++i) {
                    marks.append(QStringLiteral(":orm_in%1").arg(part.size()));
                    part.append(ids.at(i));
                }
                error = run(base + QStringLiteral(" WHERE %1.%2 IN (%3)").arg(ident(ref), ident(fk->name), marks.join(QLatin1Char(',')))
                                + order,
                            part);
            }
        }
        if (error.isValid())
            return error;
        for (const Node& c : node.children) {
            error = children(c, fetched, complete);
            if (error.isValid())
                return error;
        }
        return QSqlError();
    }

};

} // namespace

QSqlError createTable(const ClassInfo& cls, QSqlDatabase* explicitDb)
{
    QSqlDatabase db;
    QSqlError error;
    if (!connection(explicitDb, db, error))
        return error;
    QStringList defs;
    for (const Member* m : cls.columns()) {
        if (m->kind == MemberKind::Id)
            defs.append(ident(m->name) + QStringLiteral(" INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT"));
        else
            defs.append(ident(m->name) + QLatin1Char(' ') + SqlTypes::sqlType(*m));
    }
    Statement st(db, QStringLiteral("CREATE TABLE %1 (%2)").arg(ident(cls.name()), defs.join(QStringLiteral(", "))));
    if (!st.prepare() || !st.exec())
        return st.error();
    return QSqlError();
}

QSqlError insert(const ClassInfo& cls, void* object, QSqlDatabase* explicitDb)
{
    QSqlDatabase db;
    QSqlError error;
    if (!connection(explicitDb, db, error))
        return error;
    QStringList names, marks;
    QVector<const Member*> members;
    for (const Member* m : cls.columns()) {
        if (m->kind == MemberKind::Id)
            continue;
        members.append(m);
        names.append(ident(m->name));
        marks.append(QStringLiteral("?"));
    }
    const QString sql = members.isEmpty()
        ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(ident(cls.name()))
        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
              .arg(ident(cls.name()), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    Statement st(db, sql);
    if (!st.prepare())
        return st.error();
    for (const Member* m : members)
        st.add(toColumn(*m, m->read(object)));
    if (!st.exec())
        return st.error();
    const QVariant id = st.query().lastInsertId();
    if (id.isValid())
        cls.setIdOf(object, id.toInt());
    return QSqlError();
}

QSqlError update(const ClassInfo& cls, const void* object, QSqlDatabase* explicitDb, const QStringList& columns)
{
    QSqlDatabase db;
    QSqlError error;
    if (!connection(explicitDb, db, error))
        return error;
    QVector<const Member*> members;
    if (!selectColumns(cls, columns, false, columns.isEmpty(), members, error))
        return error;
    QStringList sets;
    QVector<const Member*> written;
    for (const Member* m : members) {
        if (m->kind == MemberKind::Id)
            continue;
        sets.append(ident(m->name) + QStringLiteral(" = ?"));
        written.append(m);
    }
    if (written.isEmpty())
        return QSqlError();
    const Member* id = cls.idMember();
    Statement st(db, QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                         .arg(ident(cls.name()), sets.join(QStringLiteral(", ")), ident(id->name)));
    if (!st.prepare())
        return st.error();
    for (const Member* m : written)
        st.add(toColumn(*m, m->read(object)));
    st.add(id->read(object));
    if (!st.exec())
        return st.error();
    return QSqlError();
}

QSqlError fetchById(const ClassInfo& cls, const QVector<void*>& objects, QSqlDatabase* explicitDb,
                    const QStringList& columns, bool exclude)
{
    QSqlDatabase db;
    QSqlError error;
    if (!connection(explicitDb, db, error))
        return error;
    QVector<const Member*> members;
    if (!selectColumns(cls, columns, exclude, !exclude && columns.isEmpty(), members, error))
        return error;
    const Member* id = cls.idMember();
    // Prepared once, executed once per object.
    Statement st(db, QStringLiteral("SELECT %1 FROM %2 WHERE %2.%3 = ?")
                         .arg(selectList(members, cls.name()), ident(cls.name()), ident(id->name)));
    if (!st.prepare())
        return st.error();
    QSqlError first;
    for (void* object : objects) {
        st.add(id->read(object));
        QSqlError e;
        if (!st.exec()) {
            e = st.error();
        } else {
            QSqlQuery& q = st.query();
            if (q.next())
                writeRow(q, members, object);
            else
                e = noRow(q, cls, object);
        }
        if (e.isValid() && !first.isValid())
            first = e;
    }
    return first;
}

QSqlError fetchWithRelation(const ClassInfo& cls, const QStringList& relations, const Query& query,
                            QSqlDatabase* explicitDb, void* byIdObject,
                            const std::function<void(const std::shared_ptr<void>&)>& append)
{
    QSqlDatabase db;
    QSqlError error;
    if (!connection(explicitDb, db, error))
        return error;
    Node root;
    root.cls = &cls;
    if (!parseRelations(relations, root, error))
        return error;

    Fetcher f;
    f.db = db;
    f.query = &query;
    if (!query.isEmpty()) {
        f.tailNode = query.alias().isEmpty() ? &root : findAlias(root, query.alias());
        if (!f.tailNode)
            return ormError(QStringLiteral("no relation has the alias %1").arg(query.alias()));
    }

    QVector<const Member*> members;
    if (!selectColumns(cls, root.columns, root.exclude, !root.columnsSet, members, error))
        return error;
    const Member* id = cls.idMember();
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(selectList(members, cls.name()), ident(cls.name()));
    const bool tailHere = f.tailNode == &root;
    if (byIdObject)
        sql += QStringLiteral(" WHERE %1.%2 = :orm_id").arg(ident(cls.name()), ident(id->name));
    else if (tailHere)
        sql += QLatin1Char(' ') + query.tail();
    if (!byIdObject && !(tailHere && tailOrders(query.tail())))
        sql += QStringLiteral(" ORDER BY %1.%2").arg(ident(cls.name()), ident(id->name));

    QVector<void*> objects;
    {
        Statement st(db, sql);
        if (!st.prepare())
            return st.error();
        if (byIdObject)
            st.bind(QStringLiteral(":orm_id"), id->read(byIdObject));
        else if (tailHere)
            f.bindTail(st);
        if (!st.exec())
            return st.error();
        QSqlQuery& q = st.query();
        if (byIdObject) {
            if (!q.next())
                return noRow(q, cls, byIdObject);
            writeRow(q, members, byIdObject);
            objects.append(byIdObject);
        } else {
            while (q.next()) {
                std::shared_ptr<void> o = cls.create();
                writeRow(q, members, o.get());
                objects.append(o.get());
                append(o);
            }
            if (q.lastError().isValid())
                return q.lastError();
        }
    }
    const bool complete = !byIdObject && !(tailHere && tailFilters(query.tail()));
    for (const Node& c : root.children) {
        error = f.children(c, objects, complete);
        if (error.isValid())
            return error;
    }
    return QSqlError();
}

} // namespace detail
} // namespace orm
