#pragma once
// Data access on registered classes. Every call takes an optional explicit
// connection; without one it runs on the calling thread's connection
// (Database::getDatabase), so it joins a transaction begun there. Errors are
// the driver's own QSqlError, unchanged; no error is an invalid QSqlError.
//
// Statements always name their columns, so files whose tables gained columns
// in another order read back the same.
//
// Relation texts, for the *_with_relation calls (several texts may be given
// as a list; their levels merge):
//   "{c1,c2}"        only these columns of the root (plus ID)
//   "-{c1,c2}"       every column of the root except these
//   "rel"            also fetch the one-to-many relation rel, all columns
//   "rel{c1,c2}"     ... only these columns of its objects (plus ID)
//   "rel <alias>"    ... naming its table alias (see Query)
//   "a -> b"         nested: relation b of the objects of relation a
// A fetched one-to-many list is replaced; its objects come ordered by ID
// unless a query tail orders that level.

#include "OrmClass.h"
#include "OrmDatabase.h"
#include "OrmQuery.h"

#include <QSqlError>
#include <QStringList>
#include <QVector>

#include <memory>

namespace orm {
namespace detail {
QSqlError createTable(const ClassInfo& cls, QSqlDatabase* db);
QSqlError insert(const ClassInfo& cls, void* object, QSqlDatabase* db);
QSqlError update(const ClassInfo& cls, const void* object, QSqlDatabase* db, const QStringList& columns);
QSqlError fetchById(const ClassInfo& cls, const QVector<void*>& objects, QSqlDatabase* db,
                    const QStringList& columns, bool exclude);
QSqlError fetchWithRelation(const ClassInfo& cls, const QStringList& relations, const Query& query,
                            QSqlDatabase* db, void* byIdObject,
                            const std::function<void(const std::shared_ptr<void>&)>& append);
} // namespace detail

namespace dao {

// CREATE TABLE with ID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT and the
// columns in registration order (types from SqlTypes, resolved now). An
// existing table is the driver's error. The first use of a new file creates it.
template <class T>
QSqlError create_table(QSqlDatabase* db = nullptr)
{
    return detail::createTable(classInfo<T>(), db);
}

// Inserts every column but ID; on success the new ID is written back.
template <class T>
QSqlError insert(T& object, QSqlDatabase* db = nullptr)
{
    return detail::insert(classInfo<T>(), &object, db);
}

// Updates the row with the object's ID: every column, or only the named ones.
template <class T>
QSqlError update(const T& object, QSqlDatabase* db = nullptr, const QStringList& columns = QStringList())
{
    return detail::update(classInfo<T>(), &object, db, columns);
}

// Reads the row with the object's ID into the same object: every column, or
// ID and the named ones; members not read keep their values. No row is an error.
template <class T>
QSqlError fetch_by_id(T& object, QSqlDatabase* db = nullptr, const QStringList& columns = QStringList())
{
    return detail::fetchById(classInfo<T>(), {&object}, db, columns, false);
}

// As fetch_by_id for each object, through one prepared statement. Every
// object is read even when another fails; the first error is returned.
template <class T>
QSqlError fetch_by_ids(const QVector<T*>& objects, QSqlDatabase* db = nullptr,
                       const QStringList& columns = QStringList())
{
    QVector<void*> raw;
    raw.reserve(objects.size());
    for (T* o : objects)
        raw.append(o);
    return detail::fetchById(classInfo<T>(), raw, db, columns, false);
}

// As fetch_by_id, reading every column except the named ones.
template <class T>
QSqlError fetch_by_id_except(T& object, const QStringList& excluded, QSqlDatabase* db = nullptr)
{
    return detail::fetchById(classInfo<T>(), {&object}, db, excluded, true);
}

// Reads the row with the object's ID and the relations the text names.
template <class T>
QSqlError fetch_by_id_with_relation(const QString& relation, T& object, QSqlDatabase* db = nullptr)
{
    return detail::fetchWithRelation(classInfo<T>(), QStringList(relation), Query(), db, &object, {});
}

// Replaces list with every row of T (ordered by ID unless the query orders
// the root) and the relations the text names.
template <class T>
QSqlError fetch_all_with_relation(const QStringList& relations, QVector<std::shared_ptr<T>>& list,
                                  const Query& query = Query(), QSqlDatabase* db = nullptr)
{
    list.clear();
    return detail::fetchWithRelation(classInfo<T>(), relations, query, db, nullptr,
                                     [&list](const std::shared_ptr<void>& o) {
                                         list.append(std::static_pointer_cast<T>(o));
                                     });
}

template <class T>
QSqlError fetch_all_with_relation(const QString& relation, QVector<std::shared_ptr<T>>& list,
                                  const Query& query = Query(), QSqlDatabase* db = nullptr)
{
    return fetch_all_with_relation(QStringList(relation), list, query, db);
}

// Replaces list with the rows of T that the query keeps (a query without an
// alias applies to T's own table) and the relations the texts name.
template <class T>
QSqlError fetch_by_query_with_relation(const QStringList& relations, const Query& query,
                                       QVector<std::shared_ptr<T>>& list, QSqlDatabase* db = nullptr)
{
    return fetch_all_with_relation(relations, list, query, db);
}

template <class T>
QSqlError fetch_by_query(const Query& query, QVector<std::shared_ptr<T>>& list, QSqlDatabase* db = nullptr)
{
    return fetch_all_with_relation(QStringList(), list, query, db);
}

} // namespace dao
} // namespace orm
