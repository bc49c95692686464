#include "Data_Line.h"
#include "Data_Point.h"
#include "OrmSerialize.h"

static orm::FactoryEntry<Data_Line> s_lineEntry("Data_Line");

Data_Line::Data_Line() = default;

Data_Line::Data_Line(const int& id) : ID(id) {}

Data_Line::~Data_Line() = default;

namespace orm {
template <>
void register_class<Data_Line>(ClassBuilder<Data_Line>& t)
{
    t.setName(QStringLiteral("Data_Line"));
    t.id(&Data_Line::ID, QStringLiteral("ID")).setProperty(QStringLiteral("INDEX"), 1);
    t.data(&Data_Line::NAME, QStringLiteral("NAME"));
    t.data(&Data_Line::TYPE, QStringLiteral("TYPE"));
    t.data(&Data_Line::USE, QStringLiteral("USE"));
    t.data(&Data_Line::NOTE, QStringLiteral("NOTE"));
    t.oneToMany(&Data_Line::list_Data_Point, QStringLiteral("list_Data_Point"), QStringLiteral("Data_LineID"));
}
} // namespace orm

QDataStream& operator<<(QDataStream& stream, const Data_Line& object)
{
    orm::save(stream, object);
    return stream;
}

QDataStream& operator>>(QDataStream& stream, Data_Line& object)
{
    orm::load(stream, object);
    return stream;
}
