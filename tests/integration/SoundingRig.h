#pragma once
// The parts of the program below the window, created in the order the main
// window creates them and joined by the window's own wiring of the
// controller to the tree: the project tree with its decay processor, then
// the acquisition controller, and last the device addresses from
// config.ini. Spies on the decay processor's signals stand in for the plots.

#include "DataClasses.h"
#include "DataModel_Index.h"
#include "Data_Calc.h"
#include "DeviceRecords.h"
#include "ProgramSettings.h"
#include "ProgramWiring.h"
#include "VODEZ_Collector.h"
#include "CollectorProbe.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QStringList>
#include <QWidget>

#include <memory>

class SoundingRig
{
public:
    // What the program does once before it builds its window.
    // Once per test program: the program's types, a quiet SQL trace and a
    // config.ini that names this test's loopback boxes before any link opens.
    static QSettings::Status StartUp(const QString& tx, const QString& rx)
    {
        QLoggingCategory::setFilterRules(QStringLiteral("vodez.orm.sql.debug=false"));
        registerProgramTypes();
        return writeBoxAddresses(tx, rx);
    }

    // withCollector false: the tree and the processor alone, as a window that
    // only browses a project file needs them.
    explicit SoundingRig(bool withCollector = true)
    {
        dataModel = new DataModel_Index(&window);
        dataCalc = new Data_Calc(&window);
        setUpDataModel(dataModel, dataCalc);

        if (withCollector) {
            collector = new VODEZ_Collector(&window);
            setUpCollector(collector);
            connectCollectorToTree(collector, dataModel, &wiring);
            faults << wiring.refused();
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
    WiringLog wiring;
    std::unique_ptr<QSignalSpy> spy(const char* signal)
    {
        auto s = std::make_unique<QSignalSpy>(dataCalc, signal);
        if (!s->isValid())
            faults << QString::fromLatin1(signal);
        return s;
    }
};
