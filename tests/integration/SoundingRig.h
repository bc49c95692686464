#pragma once
// The parts of the program below the window, created and joined in the order
// and with the connections the main window makes: the project tree with its
// decay processor, then the acquisition controller, and last the device
// addresses from config.ini. Spies on the decay processor's signals stand in
// for the plots. Connections the window makes by signature strings are made
// so here too, so a signature that does not match shows up as a refused
// connection.

#include "DataClasses.h"
#include "DataModel_Index.h"
#include "Data_Calc.h"
#include "DeviceRecords.h"
#include "ProgramSettings.h"
#include "Resources.h"
#include "VODEZ_Collector.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QStringList>
#include <QWidget>

#include <memory>

class SoundingRig
{
public:
    // What the program does once before it builds its window.
    static void StartUp()
    {
        initVodezResources();
        initDataClasses();
        registerDeviceRecordTypes();
        qRegisterMetaType<QVector<double> >("QVector<double>");
        qRegisterMetaType<QVector<QVector<double> > >("QVector<QVector<double> >");
        qRegisterMetaType<st_ProjectConfig>("st_ProjectConfig");
    }

    // withCollector false: the tree and the processor alone, as a window that
    // only browses a project file needs them.
    explicit SoundingRig(bool withCollector = true)
    {
        dataModel = new DataModel_Index(&window);
        dataCalc = new Data_Calc(&window);
        g_recvGain = 11.0;
        dataModel->SetDataCalc(dataCalc);
        dataModel->SetDataDivI(false);
        dataModel->setObjectName(QStringLiteral("DataModel"));

        if (withCollector) {
            collector = new VODEZ_Collector(&window);
            collector->setObjectName(QStringLiteral("m_VODEZ_Collector"));
            collector->Start();
            wire(QObject::connect(collector, SIGNAL(dataUpload(VODEZ_Data)), dataModel, SLOT(dataUpload(VODEZ_Data))),
                 "dataUpload");
            wire(QObject::connect(collector, SIGNAL(dataSave(bool)), dataModel, SLOT(dataSave(bool))), "dataSave");
            wire(QObject::connect(collector, SIGNAL(deviceConnected()), dataModel, SLOT(setWifiName())),
                 "deviceConnected");
            // A failed save is announced just before the save ends, so the
            // controller hears of it first.
            wire(QObject::connect(dataModel, SIGNAL(onSaveFailed()), collector, SIGNAL(cmdSaveFailed())),
                 "onSaveFailed");
            wire(QObject::connect(dataModel, SIGNAL(onSaveOver()), collector, SIGNAL(cmdSaveOver())), "onSaveOver");
            wire(QObject::connect(dataModel, SIGNAL(onLoad_Param(double,int,int)), collector,
                                  SLOT(onLoad_Param(double,int,int))),
                 "onLoad_Param");
        }

        graphClear = spy(SIGNAL(graphClear()));
        graphAxisScale = spy(SIGNAL(graphAxisScale_Log(bool,bool)));
        graphTitle = spy(SIGNAL(setGraphTitle(QString,bool)));
        graphError = spy(SIGNAL(newGraph_Error(QVector<double>,QVector<double>,bool)));
        graphData = spy(SIGNAL(newGraphData(QString,QVector<double>,QVector<double>,double)));
        graphLine = spy(SIGNAL(newGraph_Line(QVector<QVector<double> >,QVector<double>,QVector<double>,int)));
        graphOff = spy(SIGNAL(newGraph_Off(double,QVector<double>)));
        graphSend = spy(SIGNAL(newGraph_Send(double,QVector<double>)));
        lineSections = std::make_unique<QSignalSpy>(
            dataModel, SIGNAL(onData_Recv_Line(QString,QVector<double>,QVector<double>,QVector<QVector<double> >,int)));
        if (!lineSections->isValid())
            faults << QStringLiteral("onData_Recv_Line");

        if (collector) {
            // The window closes the project (pressing disconnect) and then
            // loads the program settings, which name the boxes.
            emit collector->onBtnDisconn();
            ProgramSettings ini;
            collector->SetDeviceIP_Send(ini.sendIP());
            collector->SetDeviceIP_Recv(ini.recvIP());
        }
    }

    // True when both addresses the controller will open are loopback ones.
    bool AddressesAreLoopback() const
    {
        return collector && QHostAddress(collector->GetDeviceIP_Send()).isLoopback()
            && QHostAddress(collector->GetDeviceIP_Recv()).isLoopback();
    }

    QWidget window;
    DataModel_Index* dataModel = nullptr;
    Data_Calc* dataCalc = nullptr;
    VODEZ_Collector* collector = nullptr;
    // Connections or spies that could not be made (their names).
    QStringList faults;

    std::unique_ptr<QSignalSpy> graphClear, graphAxisScale, graphTitle, graphError, graphData, graphLine, graphOff,
        graphSend, lineSections;

private:
    void wire(bool made, const char* name)
    {
        if (!made)
            faults << QString::fromLatin1(name);
    }
    std::unique_ptr<QSignalSpy> spy(const char* signal)
    {
        auto s = std::make_unique<QSignalSpy>(dataCalc, signal);
        if (!s->isValid())
            faults << QString::fromLatin1(signal);
        return s;
    }
};
