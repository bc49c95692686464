#include "Data_Point.h"
#include "Data_Line.h"
#include "Data_Sample.h"
#include "OrmSerialize.h"

static orm::FactoryEntry<Data_Point> s_pointEntry("Data_Point");

Data_Point::Data_Point() = default;

Data_Point::Data_Point(const int& id) : ID(id) {}

Data_Point::~Data_Point() = default;

int Data_Point::GetSampleSize()
{
    return list_Data_Sample.size();
}

namespace orm {
template <>
void register_class<Data_Point>(ClassBuilder<Data_Point>& t)
{
    t.setName(QStringLiteral("Data_Point"));
    t.id(&Data_Point::ID, QStringLiteral("ID")).setProperty(QStringLiteral("INDEX"), 1);
    t.data(&Data_Point::NAME, QStringLiteral("NAME"));
    t.data(&Data_Point::USE, QStringLiteral("USE"));
    t.data(&Data_Point::NOTE, QStringLiteral("NOTE"));
    t.data(&Data_Point::TYPE, QStringLiteral("TYPE"));
    t.manyToOne(&Data_Point::Data_LineID, QStringLiteral("Data_LineID"));
    t.oneToMany(&Data_Point::list_Data_Sample, QStringLiteral("list_Data_Sample"), QStringLiteral("Data_PointID"));
}
} // namespace orm

QDataStream& operator<<(QDataStream& stream, const Data_Point& object)
{
    orm::save(stream, object);
    return stream;
}

QDataStream& operator>>(QDataStream& stream, Data_Point& object)
{
    orm::load(stream, object);
    return stream;
}
