#include "DataClasses.h"

#include <QMetaType>

void initDataClasses()
{
    // Entering a class again changes nothing, so this agrees with the static
    // entries of the class sources whatever ran first.
    orm::ClassRegistry::add(QStringLiteral("Data_Line"), &orm::classInfo<Data_Line>);
    orm::ClassRegistry::add(QStringLiteral("Data_Point"), &orm::classInfo<Data_Point>);
    orm::ClassRegistry::add(QStringLiteral("Data_Project"), &orm::classInfo<Data_Project>);
    orm::ClassRegistry::add(QStringLiteral("Data_WorkSet"), &orm::classInfo<Data_WorkSet>);
    orm::ClassRegistry::add(QStringLiteral("Data_Sample"), &orm::classInfo<Data_Sample>);
    qRegisterMetaType<st_ProjectConfig>("st_ProjectConfig");
    qRegisterMetaType<st_SampleData_Send>("st_SampleData_Send");
    qRegisterMetaType<QList<st_SampleData_Send>>("QList<st_SampleData_Send>");
}
