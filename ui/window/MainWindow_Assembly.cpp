// The second half of the window's construction: every part of the program
// created, placed, bound and joined. Nothing here runs again afterwards.

#include "MainWindow.h"

#include "DataModel_Index.h"
#include "Data_Calc.h"
#include "Form_SampleControl.h"
#include "Form_Status.h"
#include "Graph_Lines.h"
#include "HViewProxyManager.h"
#include "PlotMatrix.h"
#include "PlotGlobals.h"
#include "ProgramWiring.h"
#include "VODEZ_Collector.h"
#include "View_Setting.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLayout>
#include <QListView>
#include <QVBoxLayout>

#include <qwt_plot.h>

namespace {

// Water-mark corners (Qt alignment flags).
constexpr int kTopLeft = Qt::AlignLeft | Qt::AlignTop;
constexpr int kBottomLeft = Qt::AlignLeft | Qt::AlignBottom;
constexpr int kTopRight = Qt::AlignRight | Qt::AlignTop;

void setUpDecayAxes(Graph_Lines* plot)
{
    plot->setAxisX(true, false, 10, 100000);
    plot->setAxisY(true, false, 1e-8, 0.001);
}

} // namespace


void MainWindow::assembleParts()
{
    registerProgramTypes();

    dataModel = new DataModel_Index(this);
    dataCalc = new Data_Calc(this);
    setUpDataModel(dataModel, dataCalc);
    ui->widget_TreeView->layout()->addWidget(dataModel);

    graphLine = new Graph_Lines(this);
    graphLine->setGraphTitle(tr("当前线"), true);
    setUpDecayAxes(graphLine);
    graphLine->setLogClamp(true, 1e-9, 10);
    graphLine->setFixedHeight(200);
    graphLine->hide();

    graphSample = new Graph_Lines(this);
    graphSample->setGraphTitle(tr("当前采集"), true);
    setUpDecayAxes(graphSample);
    graphSample->setAxisTitle(QwtPlot::xBottom, QStringLiteral("衰减时间 / us"));
    graphSample->setLogClamp(true, 1e-9, 10);
    graphSample->addWaterMarker(QStringLiteral("数据 / V"), kTopLeft, g_axisFont, Qt::black);
    graphSample->addWaterMarker(tr("Build:%1").arg(g_buildTime.toString(QStringLiteral("yyMMdd"))), kBottomLeft,
                                g_axisFont, Qt::lightGray);

    plotMatrix = new PlotMatrix(2, 1, this);
    plotMatrix->setPlotAt(graphSample, 0, 0);
    graphSecond = nullptr;
    plotMatrix->plotAt(1, 0)->setVisible(false);
    ui->widget_Data->layout()->addWidget(plotMatrix);
    ui->widget_Data->layout()->addWidget(graphLine);

    graphSend = new Graph_Lines(this);
    graphSend->addWaterMarker(QStringLiteral("发送电流"), kTopRight, g_axisFont, Qt::black);
    graphOff = new Graph_Lines(this);
    graphOff->addWaterMarker(QStringLiteral("关断时间"), kTopRight, g_axisFont, Qt::black);
    sendPage = new QWidget(this);
    auto* sendLayout = new QVBoxLayout(sendPage);
    sendLayout->setContentsMargins(2, 4, 2, 4);
    sendLayout->addWidget(graphSend);
    sendLayout->addWidget(graphOff);
    ui->tabWidget_Status->addTab(sendPage, tr("发送监控"));

    viewSetting = new View_Setting(this);
    ui->page_Setting->layout()->addWidget(viewSetting);
    viewSetting->developerMode(isDeveloper);
    formStatus = new Form_Status(this);
    formSampleControl = new Form_SampleControl(this);
    formSampleControl->developerMode(isDeveloper);
    ui->widget_Status->layout()->addWidget(formStatus);
    ui->widget_SampleControl->layout()->addWidget(formSampleControl);

    // Frameless pop-ups for the plain combo boxes; subclasses keep Qt's own.
    for (QComboBox* combo : findChildren<QComboBox*>()) {
        if (qstrcmp(combo->metaObject()->className(), "QComboBox") != 0)
            continue;
        combo->setView(new QListView());
        combo->view()->window()->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint
                                                | Qt::NoDropShadowWindowHint);
    }

    proxyManager = new HViewProxyManager();
    initDataModel();
    initCollector();
    connectPlots();
    setProjectOpen(false);
    loadConfig();
}

void MainWindow::bindTo(const QString& objectName, const char* property, QWidget* panel, const char* widgetName,
                        const char* format)
{
    // A widget that is not found leaves that property without a widget.
    bindWidgetByName(proxyManager, objectName, property, panel, widgetName, format);
}

void MainWindow::initDataModel()
{
    const QString name = dataModel->objectName();
    proxyManager->registerObject(dataModel);
    bindTreeToPanels(proxyManager, dataModel, formStatus, formSampleControl);
    bindTo(name, "PointNoStep", viewSetting, "PointNoStep", "%.6g");

    connectTreeToPanels(dataModel, formStatus, formSampleControl, &wiring);
    wiring.note("T4", connect(dataModel, SIGNAL(onSelectPoint(int)), this, SLOT(onSelectPoint(int))));
    wiring.note("T5", connect(dataModel, SIGNAL(onSelectLine(int)), this, SLOT(onSelectLine(int))));
    wiring.note("T6", connect(dataModel, SIGNAL(loadProjectConfig(st_ProjectConfig)), viewSetting,
                              SLOT(loadProjectConfig(st_ProjectConfig))));
    wiring.note("T7", connect(viewSetting, SIGNAL(projectConfigChanged(st_ProjectConfig)), dataModel,
                              SLOT(setProjectConfig(st_ProjectConfig))));
}

void MainWindow::initCollector()
{
    collector = new VODEZ_Collector(this);
    setUpCollector(collector);
    proxyManager->registerObject(collector);
    const QString name = collector->objectName();
    bindTo(name, "DeviceIP_Send", viewSetting, "DeviceIP_Send", "");
    bindTo(name, "DeviceIP_Recv", viewSetting, "DeviceIP_Recv", "");
    bindTo(name, "SampleMode", viewSetting, "SampleMode", "");
    // The binding fills the combo box with the key names; only the shown
    // texts change, the items keep their indices.
    if (auto* sampleMode = qobject_cast<QComboBox*>(::findWidgetByName(viewSetting, QStringLiteral("SampleMode"))))
        sampleMode->setItemText(1, QStringLiteral("自检"));
    bindCollectorToPanels(proxyManager, collector, formStatus, formSampleControl);
    connectPanelsToCollector(formStatus, formSampleControl, collector, &wiring);
    connectCollectorToTree(collector, dataModel, &wiring);
    // The controller has no GUI of its own to sound the end of a sounding.
    wiring.note("beep", bool(connect(collector, &VODEZ_Collector::beepRequested, this,
                                     [] { QApplication::beep(); })));
}

void MainWindow::connectPlots()
{
    wiring.note("D1", connect(dataCalc, SIGNAL(graphClear()), graphSample, SLOT(clearLines())));
    wiring.note("D2", connect(dataCalc, SIGNAL(graphAxisScale_Log(bool,bool)), graphSample,
                              SLOT(onSetAxisScale(bool,bool))));
    wiring.note("D3", connect(dataCalc, SIGNAL(setGraphTitle(QString,bool)), graphSample,
                              SLOT(setGraphTitle(QString,bool))));
    wiring.note("D4", bool(connect(dataCalc, &Data_Calc::newGraph_Error, this, &MainWindow::onGraph_Error)));
    wiring.note("D5", bool(connect(dataCalc, &Data_Calc::newGraphData, graphSample, &Graph_Lines::newLine)));
    wiring.note("D6", bool(connect(dataCalc, &Data_Calc::newGraphData, this, [this] { onNewGraphDataAxisTitle(); })));
    wiring.note("D7", bool(connect(dataCalc, &Data_Calc::newGraph_Line, graphLine,
                                   [this](QVector<QVector<double> > matrix, QVector<double> x,
                                          QVector<double> rowTimes, int marker) {
                                       graphLine->newGraph_Lines(matrix, x, rowTimes, double(marker));
                                   })));
    wiring.note("D8", bool(connect(dataCalc, &Data_Calc::newGraph_Line, graphLine, &QWidget::show)));
    wiring.note("D9", connect(dataCalc, SIGNAL(newGraph_Off(double,QVector<double>)), this,
                              SLOT(onGraph_Off(double,QVector<double>))));
    wiring.note("D10", connect(dataCalc, SIGNAL(newGraph_Send(double,QVector<double>)), this,
                               SLOT(onGraph_Send(double,QVector<double>))));
    wiring.note("D11", connect(dataModel,
                               SIGNAL(onData_Recv_Line(QString,QVector<double>,QVector<double>,QVector<QVector<double> >,int)),
                               this,
                               SLOT(onGraph_Line(QString,QVector<double>,QVector<double>,QVector<QVector<double> >,int))));
}

QStringList MainWindow::connectionFaults() const
{
    return wiring.refused();
}

QStringList MainWindow::connectionRows() const
{
    return wiring.rows();
}
