#pragma once
// Class descriptions of the object-relational layer: which table a class
// lives in, its integer key "ID", its columns in registration order and its
// relations. A description is built once per class and process, lazily and
// thread-safely, by the class's own registration function
// (orm::register_class<T>, specialised next to the class).

#include <QByteArray>
#include <QDataStream>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <deque>
#include <functional>
#include <memory>

namespace orm {

class ClassInfo;

enum class MemberKind {
    Id,         // the integer key, auto-incremented by the database
    Data,       // a plain column
    ManyToOne,  // std::shared_ptr<Parent>; a column holding the parent's ID
    OneToMany   // QVector<std::shared_ptr<Child>>; no column, the child holds the key
};

// C++ type names of the member types the layer maps to columns. The names are
// the keys of the SQL type map (SqlTypes).
template <class V> struct TypeName;
template <> struct TypeName<int> { static const char* get() { return "int"; } };
template <> struct TypeName<qint64> { static const char* get() { return "long long"; } };
template <> struct TypeName<double> { static const char* get() { return "double"; } };
template <> struct TypeName<QString> { static const char* get() { return "QString"; } };
template <> struct TypeName<QByteArray> { static const char* get() { return "QByteArray"; } };

struct Member
{
    QString name;           // the column name (or the relation name)
    QString typeName;       // "int", "long long", "double", "QString", "QByteArray"
    MemberKind kind = MemberKind::Data;
    QVariantHash properties; // free property bag, e.g. "INDEX" = 1
    bool serializable = true;
    QString foreignKey;     // OneToMany: the child's column that holds our ID
    const ClassInfo& (*target)() = nullptr; // ManyToOne / OneToMany: the related class

    // Column access on an object of the owning class. For a many-to-one member
    // the value is the parent's ID (a null int when there is no parent);
    // writing an ID keeps the parent object when it already has that ID and
    // otherwise puts a new object holding only that ID in its place.
    std::function<QVariant(const void*)> read;
    std::function<void(void*, const QVariant&)> write;

    // OneToMany access.
    std::function<void(void*)> clearChildren;
    std::function<void(void*, const std::shared_ptr<void>&)> appendChild;
    std::function<int(const void*)> childCount;
    std::function<const void*(const void*, int)> childAt;

    // Stream form of the member (see OrmSerialize.h).
    std::function<void(QDataStream&, const void*)> save;
    std::function<void(QDataStream&, void*)> load;

    bool hasColumn() const { return kind != MemberKind::OneToMany; }
    Member& setProperty(const QString& key, const QVariant& value)
    {
        properties.insert(key, value);
        return *this;
    }
};

class ClassInfo
{
public:
    const QString& name() const { return m_name; }
    const std::deque<Member>& members() const { return m_members; }
    // Members that own a column (key, plain columns, many-to-one), in
    // registration order. One-to-many relations are never listed here.
    QVector<const Member*> columns() const;
    const Member* member(const QString& name) const;
    const Member* idMember() const { return m_id; }

    std::shared_ptr<void> create() const { return m_create(); }
    int idOf(const void* object) const;
    void setIdOf(void* object, int id) const;

private:
    template <class T> friend class ClassBuilder;
    QString m_name;
    std::deque<Member> m_members;
    const Member* m_id = nullptr;
    std::function<std::shared_ptr<void>()> m_create;
};

template <class T> class ClassBuilder;

// Each persistent class specialises this (declare the specialisation in the
// class header with ORM_DECLARE_CLASS, define it in the class source).
template <class T> void register_class(ClassBuilder<T>& builder);

template <class T> const ClassInfo& classInfo();

template <class T>
class ClassBuilder
{
public:
    explicit ClassBuilder(ClassInfo& info) : m_info(info)
    {
        m_info.m_create = [] { return std::static_pointer_cast<void>(std::make_shared<T>()); };
    }

    // The class name, which is also the table name.
    void setName(const QString& name) { m_info.m_name = name; }

    Member& id(int T::*field, const QString& name)
    {
        Member& m = data(field, name);
        m.kind = MemberKind::Id;
        m_info.m_id = &m;
        return m;
    }

    template <class V>
    Member& data(V T::*field, const QString& name)
    {
        Member& m = add(name, MemberKind::Data);
        m.typeName = QString::fromLatin1(TypeName<V>::get());
        m.read = [field](const void* o) { return QVariant::fromValue(static_cast<const T*>(o)->*field); };
        m.write = [field](void* o, const QVariant& v) { static_cast<T*>(o)->*field = fromColumn<V>(v); };
        m.save = [field](QDataStream& s, const void* o) { s << static_cast<const T*>(o)->*field; };
        m.load = [field](QDataStream& s, void* o) { s >> static_cast<T*>(o)->*field; };
        return m;
    }

    template <class P>
    Member& manyToOne(std::shared_ptr<P> T::*field, const QString& name)
    {
        Member& m = add(name, MemberKind::ManyToOne);
        m.typeName = QString::fromLatin1(TypeName<int>::get());
        m.target = &classInfo<P>;
        m.read = [field](const void* o) {
            const std::shared_ptr<P>& p = static_cast<const T*>(o)->*field;
            return p ? QVariant(classInfo<P>().idOf(p.get())) : QVariant(QVariant::Int);
        };
        m.write = [field](void* o, const QVariant& v) { setParentId(static_cast<T*>(o)->*field, v); };
        // Only the parent's ID goes into the stream, so object cycles
        // (point -> line -> its points) never recurse.
        m.save = [field](QDataStream& s, const void* o) {
            const std::shared_ptr<P>& p = static_cast<const T*>(o)->*field;
            s << bool(p) << qint32(p ? classInfo<P>().idOf(p.get()) : 0);
        };
        m.load = [field](QDataStream& s, void* o) {
            bool present = false;
            qint32 id = 0;
            s >> present >> id;
            setParentId(static_cast<T*>(o)->*field, present ? QVariant(int(id)) : QVariant(QVariant::Int));
        };
        return m;
    }

    template <class C>
    Member& oneToMany(QVector<std::shared_ptr<C>> T::*field, const QString& name, const QString& foreignKey)
    {
        Member& m = add(name, MemberKind::OneToMany);
        m.typeName = QStringLiteral("QVector<std::shared_ptr<>>");
        m.foreignKey = foreignKey;
        m.target = &classInfo<C>;
        m.clearChildren = [field](void* o) { (static_cast<T*>(o)->*field).clear(); };
        m.appendChild = [field](void* o, const std::shared_ptr<void>& c) {
            (static_cast<T*>(o)->*field).append(std::static_pointer_cast<C>(c));
        };
        m.childCount = [field](const void* o) { return (static_cast<const T*>(o)->*field).size(); };
        m.childAt = [field](const void* o, int i) -> const void* {
            return (static_cast<const T*>(o)->*field).at(i).get();
        };
        return m;
    }

private:
    // A NULL read back (a column added to an older file) is the empty value.
    template <class V>
    static V fromColumn(const QVariant& v) { return v.isNull() ? V() : v.value<V>(); }

    template <class P>
    static void setParentId(std::shared_ptr<P>& parent, const QVariant& v)
    {
        if (v.isNull()) {
            parent.reset();
            return;
        }
        const int id = v.toInt();
        if (parent && classInfo<P>().idOf(parent.get()) == id)
            return;
        auto p = std::make_shared<P>();
        classInfo<P>().setIdOf(p.get(), id);
        parent = p;
    }

    Member& add(const QString& name, MemberKind kind)
    {
        m_info.m_members.emplace_back();
        Member& m = m_info.m_members.back();
        m.name = name;
        m.kind = kind;
        return m;
    }

    ClassInfo& m_info;
};

template <class T>
const ClassInfo& classInfo()
{
    static const ClassInfo* const info = [] {
        auto* ci = new ClassInfo;
        ClassBuilder<T> builder(*ci);
        register_class<T>(builder);
        return ci;
    }();
    return *info;
}

// The class factory: class name -> description, filled before main by static
// FactoryEntry objects (and by explicit init functions of static libraries,
// whose unreferenced objects the linker would drop). Its listing is the
// registry the schema upgrade walks.
class ClassRegistry
{
public:
    using Getter = const ClassInfo& (*)();
    // Enters a class under a name; entering the same name again changes nothing.
    static void add(const QString& name, Getter getter);
    static const ClassInfo* find(const QString& name);
    // A new default-constructed object of the named class, or null.
    static std::shared_ptr<void> create(const QString& name);
    static QStringList names();
    // Every entered class, in the order of entry, read under the registry's lock.
    static QList<const ClassInfo*> allClasses();
};

template <class T>
struct FactoryEntry
{
    explicit FactoryEntry(const char* name) { ClassRegistry::add(QString::fromLatin1(name), &classInfo<T>); }
};

} // namespace orm

// In the class header, at global scope: declares the class's registration.
#define ORM_DECLARE_CLASS(T) \
    namespace orm { template <> void register_class<T>(ClassBuilder<T>& builder); }
