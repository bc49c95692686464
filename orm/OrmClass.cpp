#include "OrmClass.h"
#include "OrmSqlTypes.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

namespace orm {

QVector<const Member*> ClassInfo::columns() const
{
    QVector<const Member*> out;
    for (const Member& m : m_members)
        if (m.hasColumn())
            out.append(&m);
    return out;
}

const Member* ClassInfo::member(const QString& name) const
{
    for (const Member& m : m_members)
        if (m.name == name)
            return &m;
    return nullptr;
}

int ClassInfo::idOf(const void* object) const
{
    return m_id ? m_id->read(object).toInt() : 0;
}

void ClassInfo::setIdOf(void* object, int id) const
{
    if (m_id)
        m_id->write(object, id);
}

namespace {
struct Registry
{
    QMutex mutex;
    QStringList order;
    QHash<QString, ClassRegistry::Getter> getters;
};

// Function-local, so entries made by static objects of other files before
// main find it constructed.
Registry& registry()
{
    static Registry r;
    return r;
}
} // namespace

void ClassRegistry::add(const QString& name, Getter getter)
{
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    if (r.getters.contains(name))
        return;
    r.order.append(name);
    r.getters.insert(name, getter);
}

const ClassInfo* ClassRegistry::find(const QString& name)
{
    Getter getter = nullptr;
    {
        Registry& r = registry();
        QMutexLocker lock(&r.mutex);
        getter = r.getters.value(name);
    }
    return getter ? &getter() : nullptr;
}

std::shared_ptr<void> ClassRegistry::create(const QString& name)
{
    const ClassInfo* cls = find(name);
    return cls ? cls->create() : nullptr;
}

QStringList ClassRegistry::names()
{
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    return r.order;
}

QList<const ClassInfo*> ClassRegistry::allClasses()
{
    QList<Getter> getters;
    {
        Registry& r = registry();
        QMutexLocker lock(&r.mutex);
        for (const QString& name : r.order)
            getters.append(r.getters.value(name));
    }
    // Descriptions are built outside the lock: a registration function may
    // itself look up related classes.
    QList<const ClassInfo*> out;
    for (Getter g : getters)
        out.append(&g());
    return out;
}

// ---- SQL type map ---------------------------------------------------------

namespace {
struct TypeMap
{
    QMutex mutex;
    QHash<QString, QString> entries;
};

TypeMap& typeMap()
{
    static TypeMap m;
    return m;
}
} // namespace

void SqlTypes::set(const QString& typeName, const QString& sqlType)
{
    TypeMap& m = typeMap();
    QMutexLocker lock(&m.mutex);
    m.entries.insert(typeName, sqlType);
}

void SqlTypes::remove(const QString& typeName)
{
    TypeMap& m = typeMap();
    QMutexLocker lock(&m.mutex);
    m.entries.remove(typeName);
}

QString SqlTypes::sqlType(const QString& typeName)
{
    {
        TypeMap& m = typeMap();
        QMutexLocker lock(&m.mutex);
        auto it = m.entries.constFind(typeName);
        if (it != m.entries.constEnd())
            return it.value();
    }
    if (typeName == QLatin1String("int") || typeName == QLatin1String("long long"))
        return QStringLiteral("INTEGER");
    if (typeName == QLatin1String("double"))
        return QStringLiteral("FLOAT");
    if (typeName == QLatin1String("QByteArray"))
        return QStringLiteral("BLOB");
    return QStringLiteral("TEXT");
}

QString SqlTypes::sqlType(const Member& member)
{
    return sqlType(member.typeName);
}

} // namespace orm
