#include "OrmQuery.h"

namespace orm {

Query& Query::where(const QString& column)
{
    if (m_hasWhere)
        return and_(column);
    m_hasWhere = true;
    return append(QStringLiteral("WHERE ") + column);
}

Query& Query::and_(const QString& column)
{
    if (!m_hasWhere)
        return where(column);
    return append(QStringLiteral("AND ") + column);
}

Query& Query::isEqualTo(const QVariant& value)
{
    const QString placeholder = QStringLiteral(":orm_q%1").arg(m_values.size());
    m_tail += QStringLiteral(" = ") + placeholder;
    return bind(placeholder, value);
}

Query& Query::append(const QString& sql)
{
    if (!m_tail.isEmpty() && !m_tail.endsWith(QLatin1Char(' ')))
        m_tail += QLatin1Char(' ');
    m_tail += sql;
    return *this;
}

Query& Query::bind(const QString& placeholder, const QVariant& value)
{
    m_values.append(qMakePair(placeholder, value));
    return *this;
}

} // namespace orm
