#include "OrmSerialize.h"

namespace orm {

void save(QDataStream& stream, const ClassInfo& cls, const void* object)
{
    stream << cls.name();
    for (const Member& m : cls.members()) {
        if (!m.serializable)
            continue;
        if (m.kind == MemberKind::OneToMany) {
            const int n = m.childCount(object);
            stream << qint32(n);
            const ClassInfo& child = m.target();
            for (int i = 0; i < n; ++i) {
                const void* c = m.childAt(object, i);
                stream << bool(c);
                if (c)
                    save(stream, child, c);
            }
        } else {
            m.save(stream, object);
        }
    }
}

void load(QDataStream& stream, const ClassInfo& cls, void* object)
{
    QString name;
    stream >> name;
    if (name != cls.name()) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    for (const Member& m : cls.members()) {
        if (stream.status() != QDataStream::Ok)
            return;
        if (!m.serializable)
            continue;
        if (m.kind == MemberKind::OneToMany) {
            qint32 n = 0;
            stream >> n;
            m.clearChildren(object);
            const ClassInfo& child = m.target();
            for (qint32 i = 0; i < n && stream.status() == QDataStream::Ok; ++i) {
                bool present = false;
                stream >> present;
                std::shared_ptr<void> c;
                if (present) {
                    c = child.create();
                    load(stream, child, c.get());
                }
                m.appendChild(object, c);
            }
        } else {
            m.load(stream, object);
        }
    }
}

} // namespace orm
