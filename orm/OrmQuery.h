#pragma once
// A query object: an SQL tail (WHERE / ORDER BY ...) with bound values. The
// tail applies to the fetched root table, referenced by its class name, or,
// when the query names an alias, to the relation level given that alias in
// the relation text (e.g. "list_Data_Point <Points_alias>").

#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

namespace orm {

class Query
{
public:
    Query() = default;
    explicit Query(const QString& tail) : m_tail(tail) {}
    Query(const QString& alias, const QString& tail) : m_alias(alias), m_tail(tail) {}

    // Appends "WHERE column" (or "AND column" after a first condition).
    Query& where(const QString& column);
    Query& and_(const QString& column);
    // Appends " = :value" with a bound value.
    Query& isEqualTo(const QVariant& value);
    // Appends raw SQL to the tail.
    Query& append(const QString& sql);
    // Binds a named placeholder (":name") used in the tail.
    Query& bind(const QString& placeholder, const QVariant& value);

    const QString& alias() const { return m_alias; }
    const QString& tail() const { return m_tail; }
    const QVector<QPair<QString, QVariant>>& values() const { return m_values; }
    bool isEmpty() const { return m_tail.trimmed().isEmpty(); }

private:
    QString m_alias;
    QString m_tail;
    QVector<QPair<QString, QVariant>> m_values;
    bool m_hasWhere = false;
};

} // namespace orm
