#include "ProgramWiring.h"

#include "DataClasses.h"
#include "DataModel_Index.h"
#include "Data_Calc.h"
#include "DeviceRecords.h"
#include "Form_SampleControl.h"
#include "Form_Status.h"
#include "HViewProxyManager.h"
#include "Resources.h"
#include "VODEZ_Collector.h"

#include <QComboBox>
#include <QDebug>
#include <QVector>
#include <QWidget>

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
    // The pairing's doubts go to the log with the point they concern.
    log->note("C10 stored", QObject::connect(tree, SIGNAL(onPointStored(double,double)), collector,
                                             SLOT(onPointStored(double,double))));
    log->note("C11", QObject::connect(tree, SIGNAL(onLoad_Param(double,int,int)), collector,
                                      SLOT(onLoad_Param(double,int,int))));
}

QWidget* findWidgetByName(QObject* parent, const QString& name)
{
    if (!parent)
        return nullptr;
    const QObjectList children = parent->children();
    for (QObject* child : children) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget)
            continue;
        if (widget->objectName() == name)
            return widget;
        if (QWidget* found = findWidgetByName(widget, name))
            return found;
    }
    return nullptr;
}

bool bindWidgetByName(HViewProxyManager* manager, const QString& objectName, const char* property,
                      QWidget* panel, const char* widgetName, const char* format)
{
    return manager->bind(objectName, QString::fromLatin1(property),
                         findWidgetByName(panel, QString::fromLatin1(widgetName)), QString::fromLatin1(format));
}

namespace {

// Collects the names of the widgets whose bind was refused.
class Binder
{
public:
    Binder(HViewProxyManager* manager, const QString& objectName) : manager_(manager), name_(objectName) {}
    void operator()(const char* property, QWidget* panel, const char* widgetName, const char* format = "")
    {
        if (!bindWidgetByName(manager_, name_, property, panel, widgetName, format))
            refused << QString::fromLatin1(widgetName);
    }
    QStringList refused;

private:
    HViewProxyManager* manager_;
    QString name_;
};

} // namespace

QStringList bindTreeToPanels(HViewProxyManager* manager, DataModel_Index* tree, Form_Status* status,
                             Form_SampleControl* sampling)
{
    Binder bind(manager, tree->objectName());
    bind("SendI", status, "SendI_label");
    bind("SendOff", status, "SendOff_label", "%.1f");
    bind("ParamFs", status, "ParamFS_label");
    bind("ParamPeriod", status, "ParamPeriod_label");
    bind("ParamRepeat", status, "ParamRepeat_label");
    bind("LineNo", sampling, "LineNo", "%.0f");
    bind("PointNo", sampling, "PointNo", "%.6g");
    return bind.refused;
}

void connectTreeToPanels(DataModel_Index* tree, Form_Status* status, Form_SampleControl* sampling, WiringLog* log)
{
    log->note("T1", QObject::connect(sampling, SIGNAL(lineNoChanged(double)), tree, SLOT(slotLineNoChanged(double))));
    log->note("T2", QObject::connect(tree, SIGNAL(isNewLineChanged(bool)), sampling, SLOT(onChangeLine(bool))));
    // Made before the controller's join of the same signal, so the panel
    // hears of a line's parameters first.
    log->note("T3", QObject::connect(tree, SIGNAL(onLoad_Param(double,int,int)), sampling,
                                     SLOT(onLoad_Param(double,int,int))));
    log->note("T8", QObject::connect(tree, SIGNAL(onCurUse(bool)), status, SLOT(onUse(bool))));
    log->note("T9", QObject::connect(status, SIGNAL(useChanged(bool)), tree, SLOT(onNewUse(bool))));
}

QStringList bindCollectorToPanels(HViewProxyManager* manager, VODEZ_Collector* collector, Form_Status* status,
                                  Form_SampleControl* sampling)
{
    Binder bind(manager, collector->objectName());
    bind("ParamFs", sampling, "ParamFs", "%g");
    bind("ParamPeriod", sampling, "ParamPeriod");
    bind("ParamRepeat", sampling, "ParamRepeat");
    bind("SampleStatus", sampling, "SampleStatus");
    bind("ContinueMode", sampling, "ContinueMode");
    // The binding fills the combo box with the key names; only the shown
    // texts change, the items keep their indices.
    if (auto* continueMode = qobject_cast<QComboBox*>(findWidgetByName(sampling, QStringLiteral("ContinueMode")))) {
        continueMode->setItemText(0, QStringLiteral("定点"));
        continueMode->setItemText(1, QStringLiteral("拖曳"));
    }
    bind("StatusConnect", status, "StatusConnect");
    bind("DeviceTemp", status, "DeviceTemp", "%.0f");
    bind("Progress", status, "ProgressCur");
    bind("ProgressMax", status, "ProgressMax");
    return bind.refused;
}

void connectPanelsToCollector(Form_Status* status, Form_SampleControl* sampling, VODEZ_Collector* collector,
                              WiringLog* log)
{
    log->note("C1", bool(QObject::connect(status, &Form_Status::clickBtnConnect, collector,
                                          &VODEZ_Collector::onBtnConnect)));
    log->note("C2", bool(QObject::connect(status, &Form_Status::clickBtnDisconn, collector,
                                          &VODEZ_Collector::onBtnDisconn)));
    log->note("C3", bool(QObject::connect(sampling, &Form_SampleControl::clickBtnStart, collector,
                                          &VODEZ_Collector::onBtnSampleStart)));
    log->note("C4", bool(QObject::connect(sampling, &Form_SampleControl::clickBtnStop, collector,
                                          &VODEZ_Collector::onBtnSampleStop)));
    log->note("C5", bool(QObject::connect(sampling, &Form_SampleControl::clickBtnSaveOK, collector,
                                          &VODEZ_Collector::onBtnSaveOK)));
    log->note("C6", bool(QObject::connect(sampling, &Form_SampleControl::clickBtnSaveCancel, collector,
                                          &VODEZ_Collector::onBtnSaveCancel)));
    status->setSoundingHeld([collector] { return collector->SoundingHeld(); });
}
