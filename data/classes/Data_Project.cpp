#include "Data_Project.h"
#include "OrmSerialize.h"

#include <QDateTime>

static orm::FactoryEntry<Data_Project> s_projectEntry("Data_Project");
static orm::FactoryEntry<Data_WorkSet> s_workSetEntry("Data_WorkSet");

Data_Project::Data_Project()
    : PointNoStep(10.0),
      SendCoil_Len(0.8862),
      SendCoil_Width(0.8862),
      SendCoil_Turns(32.0),
      RecvCoil_Size(15.024),
      RecvCoil_Gain(11.0),
      CreateTime(double(QDateTime::currentSecsSinceEpoch()))
{
}

Data_Project::Data_Project(const int& id) : ID(id) {}

Data_Project::~Data_Project() = default;

void Data_Project::setProjectConfig(st_ProjectConfig* config)
{
    if (!config)
        return;
    WorkConfig = config->WorkConfig;
    LineNoStart = config->LineNoStart;
    LineNoSetp = config->LineNoSetp;
    PointNoStart = config->PointNoStart;
    PointNoStep = config->PointNoStep;
    SendCoil_Len = config->SendCoil_Len;
    SendCoil_Width = config->SendCoil_Width;
    SendCoil_Turns = config->SendCoil_Turns;
    RecvCoil_Size = config->RecvCoil_Size;
    RecvCoil_Gain = config->RecvCoil_Gain;
    OffTime = config->OffTime;
    PointLen_D = config->PointLen_D;
    PointLen_R = config->PointLen_R;
    CreateTime = config->CreateTime;
}

st_ProjectConfig Data_Project::getProjectConfig()
{
    st_ProjectConfig c;
    c.WorkConfig = WorkConfig;
    c.LineNoStart = LineNoStart;
    c.LineNoSetp = LineNoSetp;
    c.PointNoStart = PointNoStart;
    c.PointNoStep = PointNoStep;
    c.SendCoil_Len = SendCoil_Len;
    c.SendCoil_Width = SendCoil_Width;
    c.SendCoil_Turns = SendCoil_Turns;
    c.RecvCoil_Size = RecvCoil_Size;
    c.RecvCoil_Gain = RecvCoil_Gain;
    c.OffTime = OffTime;
    c.PointLen_D = PointLen_D;
    c.PointLen_R = PointLen_R;
    c.CreateTime = CreateTime;
    return c;
}

Data_WorkSet::Data_WorkSet()
    : SendCoil_Len(0.8862), SendCoil_Width(0.8862), SendCoil_Turns(32.0), RecvCoil_Size(15.024), RecvCoil_Gain(11.0)
{
}

Data_WorkSet::~Data_WorkSet() = default;

namespace orm {
template <>
void register_class<Data_Project>(ClassBuilder<Data_Project>& t)
{
    t.setName(QStringLiteral("Data_Project"));
    t.id(&Data_Project::ID, QStringLiteral("ID"));
    t.data(&Data_Project::WorkConfig, QStringLiteral("WorkConfig"));
    t.data(&Data_Project::LineNoStart, QStringLiteral("LineNoStart"));
    t.data(&Data_Project::LineNoSetp, QStringLiteral("LineNoSetp"));
    t.data(&Data_Project::PointNoStart, QStringLiteral("PointNoStart"));
    t.data(&Data_Project::PointNoStep, QStringLiteral("PointNoStep"));
    t.data(&Data_Project::SendCoil_Len, QStringLiteral("SendCoil_Len"));
    t.data(&Data_Project::SendCoil_Width, QStringLiteral("SendCoil_Width"));
    t.data(&Data_Project::SendCoil_Turns, QStringLiteral("SendCoil_Turns"));
    t.data(&Data_Project::RecvCoil_Size, QStringLiteral("RecvCoil_Size"));
    t.data(&Data_Project::RecvCoil_Gain, QStringLiteral("RecvCoil_Gain"));
    t.data(&Data_Project::OffTime, QStringLiteral("OffTime"));
    t.data(&Data_Project::PointLen_D, QStringLiteral("PointLen_D"));
    t.data(&Data_Project::PointLen_R, QStringLiteral("PointLen_R"));
    t.data(&Data_Project::CreateTime, QStringLiteral("CreateTime"));
    t.data(&Data_Project::NOTE, QStringLiteral("NOTE"));
    t.data(&Data_Project::CalibrateNo, QStringLiteral("CalibrateNo"));
    t.data(&Data_Project::SSID, QStringLiteral("SSID"));
}

template <>
void register_class<Data_WorkSet>(ClassBuilder<Data_WorkSet>& t)
{
    t.setName(QStringLiteral("Data_WorkSet"));
    t.id(&Data_WorkSet::ID, QStringLiteral("ID"));
    t.data(&Data_WorkSet::WorkConfig, QStringLiteral("WorkConfig"));
    t.data(&Data_WorkSet::SendCoil_Len, QStringLiteral("SendCoil_Len"));
    t.data(&Data_WorkSet::SendCoil_Width, QStringLiteral("SendCoil_Width"));
    t.data(&Data_WorkSet::SendCoil_Turns, QStringLiteral("SendCoil_Turns"));
    t.data(&Data_WorkSet::RecvCoil_Size, QStringLiteral("RecvCoil_Size"));
    t.data(&Data_WorkSet::RecvCoil_Gain, QStringLiteral("RecvCoil_Gain"));
}
} // namespace orm

QDataStream& operator<<(QDataStream& stream, const Data_Project& object)
{
    orm::save(stream, object);
    return stream;
}

QDataStream& operator>>(QDataStream& stream, Data_Project& object)
{
    orm::load(stream, object);
    return stream;
}

QDataStream& operator<<(QDataStream& stream, const Data_WorkSet& object)
{
    orm::save(stream, object);
    return stream;
}

QDataStream& operator>>(QDataStream& stream, Data_WorkSet& object)
{
    orm::load(stream, object);
    return stream;
}
