#pragma once
// The project row (ID 1) and the work-set row of a project file, and the
// editable project settings copied in and out of the project row.

#include "OrmClass.h"

#include <QDataStream>
#include <QMetaType>
#include <QString>

struct st_ProjectConfig
{
    int WorkConfig = 0;
    double LineNoStart = 0;
    double LineNoSetp = 0;
    double PointNoStart = 0;
    double PointNoStep = 0;
    double SendCoil_Len = 0;
    double SendCoil_Width = 0;
    double SendCoil_Turns = 0;
    double RecvCoil_Size = 0;
    double RecvCoil_Gain = 0;
    double OffTime = 0;
    double PointLen_D = 0;
    double PointLen_R = 0;
    double CreateTime = 0;
};
Q_DECLARE_METATYPE(st_ProjectConfig)

class Data_Project
{
public:
    Data_Project();
    // ID = id and empty texts; the settings must be set (setProjectConfig or
    // a fetch) before they are read.
    Data_Project(const int& id);
    virtual ~Data_Project();

    // Copies WorkConfig and the thirteen doubles; ID and the texts stay.
    void setProjectConfig(st_ProjectConfig* config);
    st_ProjectConfig getProjectConfig();

    int ID = 0;
    int WorkConfig = 0;
    double LineNoStart = 0;
    double LineNoSetp = 0;
    double PointNoStart = 0;
    double PointNoStep = 0;
    double SendCoil_Len = 0;
    double SendCoil_Width = 0;
    double SendCoil_Turns = 0;
    double RecvCoil_Size = 0;
    double RecvCoil_Gain = 0;
    double OffTime = 0;
    double PointLen_D = 0;
    double PointLen_R = 0;
    double CreateTime = 0;      // seconds since 1970-01-01 UTC
    QString NOTE;
    QString CalibrateNo;
    QString SSID;               // name of the wireless network last used
};

class Data_WorkSet
{
public:
    Data_WorkSet();
    virtual ~Data_WorkSet();

    int ID = 0;
    int WorkConfig = 0;
    double SendCoil_Len = 0;
    double SendCoil_Width = 0;
    double SendCoil_Turns = 0;
    double RecvCoil_Size = 0;
    double RecvCoil_Gain = 0;
};

ORM_DECLARE_CLASS(Data_Project)
ORM_DECLARE_CLASS(Data_WorkSet)

QDataStream& operator<<(QDataStream& stream, const Data_Project& object);
QDataStream& operator>>(QDataStream& stream, Data_Project& object);
QDataStream& operator<<(QDataStream& stream, const Data_WorkSet& object);
QDataStream& operator>>(QDataStream& stream, Data_WorkSet& object);
