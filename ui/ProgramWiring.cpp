#include "ProgramWiring.h"

#include "DataClasses.h"
#include "DataModel_Index.h"
#include "Data_Calc.h"
#include "DeviceRecords.h"
#include "Resources.h"
#include "VODEZ_Collector.h"

#include <QDebug>
#include <QVector>

void registerProgramTypes()
{
    initVodezResources();
    initDataClasses();
    registerDeviceRecordTypes();
    qRegisterMetaType<QVector<double> >("QVector<double>");
    qRegisterMetaType<QVector<QVector<double> > >("QVector<QVector<double> >");
    qRegisterMetaType<st_ProjectConfig>("st_ProjectConfig");
}

void setUpDataModel(DataModel_Index* tree, Data_Calc* calc)
{
    g_recvGain = 11.0;
    tree->SetDataCalc(calc);
    tree->SetDataDivI(false);
    tree->setObjectName(QStringLiteral("DataModel"));
}

void setUpCollector(VODEZ_Collector* collector)
{
    collector->setObjectName(QStringLiteral("m_VODEZ_Collector"));
    collector->Start();
}

void WiringLog::note(const char* row, bool made)
{
    rows_ << QString::fromLatin1(row);
    if (!made) {
        refused_ << QString::fromLatin1(row);
        qWarning() << "connection" << row << "could not be made";
    }
}

void connectCollectorToTree(VODEZ_Collector* collector, DataModel_Index* tree, WiringLog* log)
{
    log->note("C7", QObject::connect(collector, SIGNAL(dataUpload(VODEZ_Data)), tree, SLOT(dataUpload(VODEZ_Data))));
    log->note("C8", QObject::connect(collector, SIGNAL(dataSave(bool)), tree, SLOT(dataSave(bool))));
    log->note("C9", QObject::connect(collector, SIGNAL(deviceConnected()), tree, SLOT(setWifiName())));
    // A failed save is announced just before the save ends, so the
    // controller hears of it first and keeps the sounding.
    log->note("C10 failed", QObject::connect(tree, SIGNAL(onSaveFailed()), collector, SIGNAL(cmdSaveFailed())));
    log->note("C10", QObject::connect(tree, SIGNAL(onSaveOver()), collector, SIGNAL(cmdSaveOver())));
    log->note("C11", QObject::connect(tree, SIGNAL(onLoad_Param(double,int,int)), collector,
                                      SLOT(onLoad_Param(double,int,int))));
}
