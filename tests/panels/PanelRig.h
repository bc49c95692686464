#pragma once
// The status panel and the sampling panel bound and wired the way the main
// window binds and wires them: the project tree's and the controller's
// properties shown in the panels' widgets of the same names through one
// binding manager, the panels' buttons forwarded to the controller, and the
// tree's line signals to the sampling panel. Connections the window makes by
// signature strings are made so here, so a signature that does not match
// shows up as a fault.

#include "Form_SampleControl.h"
#include "Form_Status.h"
#include "HViewProxyManager.h"

#include <QComboBox>
#include <QStringList>
#include <QWidget>

class PanelRig
{
public:
    PanelRig()
        : status(new Form_Status(&page))
        , sampling(new Form_SampleControl(&page))
    {
    }

    // The tree's values (object name "DataModel"): the sounding in the
    // status panel, line and point number in the sampling panel.
    void bindTree(QObject* tree)
    {
        check(manager.registerObject(tree), "register tree");
        const QString name = tree->objectName();
        bind(name, "SendI", status, "SendI_label");
        bind(name, "SendOff", status, "SendOff_label", "%.1f");
        bind(name, "ParamFs", status, "ParamFS_label");
        bind(name, "ParamPeriod", status, "ParamPeriod_label");
        bind(name, "ParamRepeat", status, "ParamRepeat_label");
        bind(name, "LineNo", sampling, "LineNo", "%.0f");
        bind(name, "PointNo", sampling, "PointNo", "%.6g");
        check(QObject::connect(sampling, SIGNAL(lineNoChanged(double)), tree, SLOT(slotLineNoChanged(double))),
             "lineNoChanged");
        check(QObject::connect(tree, SIGNAL(isNewLineChanged(bool)), sampling, SLOT(onChangeLine(bool))),
             "isNewLineChanged");
        check(QObject::connect(tree, SIGNAL(onLoad_Param(double,int,int)), sampling,
                              SLOT(onLoad_Param(double,int,int))),
             "onLoad_Param");
        check(QObject::connect(tree, SIGNAL(onCurUse(bool)), status, SLOT(onUse(bool))), "onCurUse");
        check(QObject::connect(status, SIGNAL(useChanged(bool)), tree, SLOT(onNewUse(bool))), "useChanged");
    }

    // The controller's values (object name "m_VODEZ_Collector") and the
    // panels' buttons.
    void bindCollector(QObject* collector)
    {
        check(manager.registerObject(collector), "register controller");
        const QString name = collector->objectName();
        bind(name, "ParamFs", sampling, "ParamFs", "%g");
        bind(name, "ParamPeriod", sampling, "ParamPeriod");
        bind(name, "ParamRepeat", sampling, "ParamRepeat");
        bind(name, "SampleStatus", sampling, "SampleStatus");
        bind(name, "ContinueMode", sampling, "ContinueMode");
        if (auto* modes = sampling->findChild<QComboBox*>(QStringLiteral("ContinueMode"))) {
            modes->setItemText(0, QStringLiteral("定点"));
            modes->setItemText(1, QStringLiteral("拖曳"));
        }
        bind(name, "StatusConnect", status, "StatusConnect");
        bind(name, "DeviceTemp", status, "DeviceTemp", "%.0f");
        bind(name, "Progress", status, "ProgressCur");
        bind(name, "ProgressMax", status, "ProgressMax");
        check(QObject::connect(status, SIGNAL(clickBtnConnect()), collector, SIGNAL(onBtnConnect())), "connect");
        check(QObject::connect(status, SIGNAL(clickBtnDisconn()), collector, SIGNAL(onBtnDisconn())), "disconnect");
        check(QObject::connect(sampling, SIGNAL(clickBtnStart()), collector, SIGNAL(onBtnSampleStart())), "start");
        check(QObject::connect(sampling, SIGNAL(clickBtnStop()), collector, SLOT(onBtnSampleStop())), "stop");
        check(QObject::connect(sampling, SIGNAL(clickBtnSaveOK()), collector, SIGNAL(onBtnSaveOK())), "save");
        check(QObject::connect(sampling, SIGNAL(clickBtnSaveCancel()), collector, SIGNAL(onBtnSaveCancel())),
             "discard");
    }

    template <typename T = QWidget>
    T* widget(const char* name) const
    {
        return page.findChild<T*>(QString::fromLatin1(name));
    }

    QWidget page;
    Form_Status* status;
    Form_SampleControl* sampling;
    HViewProxyManager manager;
    // Binds, registrations and connections that could not be made.
    QStringList faults;

private:
    void bind(const QString& object, const char* property, QWidget* panel, const char* widgetName,
              const char* format = "")
    {
        auto* w = panel->findChild<QWidget*>(QString::fromLatin1(widgetName));
        check(manager.bind(object, QString::fromLatin1(property), w, QString::fromLatin1(format)), widgetName);
    }
    void check(bool made, const char* what)
    {
        if (!made)
            faults << QString::fromLatin1(what);
    }
};
