#include "Data_Sample.h"
#include "Data_Point.h"
#include "OrmSerialize.h"

static orm::FactoryEntry<Data_Sample> s_sampleEntry("Data_Sample");

Data_Sample::Data_Sample() = default;

Data_Sample::Data_Sample(const int& id) : ID(id) {}

Data_Sample::~Data_Sample() = default;

Data_Sample Data_Sample::Light() const
{
    Data_Sample s(ID);
    s.USE = USE;
    s.PERIOD = PERIOD;
    s.SendFs = SendFs;
    return s;
}

namespace orm {
template <>
void register_class<Data_Sample>(ClassBuilder<Data_Sample>& t)
{
    t.setName(QStringLiteral("Data_Sample"));
    t.id(&Data_Sample::ID, QStringLiteral("ID")).setProperty(QStringLiteral("INDEX"), 1);
    t.data(&Data_Sample::StartTime, QStringLiteral("StartTime"));
    t.data(&Data_Sample::DeviceType, QStringLiteral("DeviceType"));
    t.data(&Data_Sample::TYPE, QStringLiteral("TYPE"));
    t.data(&Data_Sample::PERIOD, QStringLiteral("PERIOD"));
    t.data(&Data_Sample::DATA_RECV, QStringLiteral("DATA_RECV"));
    t.data(&Data_Sample::DATA_RECV_POS, QStringLiteral("DATA_RECV_POS"));
    t.data(&Data_Sample::DATA_RECV_LEN, QStringLiteral("DATA_RECV_LEN"));
    t.data(&Data_Sample::DATA_SEND, QStringLiteral("DATA_SEND"));
    t.data(&Data_Sample::DATA_SOFF, QStringLiteral("DATA_SOFF"));
    t.data(&Data_Sample::SendFs, QStringLiteral("SendFs"));
    t.data(&Data_Sample::SampleSendFs, QStringLiteral("SampleSendFs"));
    t.data(&Data_Sample::SampleOffFs, QStringLiteral("SampleOffFs"));
    t.data(&Data_Sample::RecvFs, QStringLiteral("RecvFs"));
    t.data(&Data_Sample::USE, QStringLiteral("USE"));
    t.data(&Data_Sample::NOTE, QStringLiteral("NOTE"));
    t.manyToOne(&Data_Sample::Data_PointID, QStringLiteral("Data_PointID"));
}
} // namespace orm

QDataStream& operator<<(QDataStream& stream, const Data_Sample& object)
{
    orm::save(stream, object);
    return stream;
}

QDataStream& operator>>(QDataStream& stream, Data_Sample& object)
{
    orm::load(stream, object);
    return stream;
}
