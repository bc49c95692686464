#pragma once
// The status panel and the sampling panel bound and wired by the program's
// own wiring, as the main window binds and wires them: the project tree's and
// the controller's properties shown in the panels' widgets of the same names
// through one binding manager, the panels' buttons forwarded to the
// controller, and the tree's line signals to the sampling panel. A bind or a
// join that the wiring cannot make shows up as a fault.

#include "DataModel_Index.h"
#include "Form_SampleControl.h"
#include "Form_Status.h"
#include "HViewProxyManager.h"
#include "ProgramWiring.h"
#include "VODEZ_Collector.h"

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

    // The tree's values (object name "DataModel") and its joins to the panels.
    void bindTree(DataModel_Index* tree)
    {
        check(manager.registerObject(tree), "register tree");
        faults << bindTreeToPanels(&manager, tree, status, sampling);
        WiringLog joins;
        connectTreeToPanels(tree, status, sampling, &joins);
        faults << joins.refused();
    }

    // The controller's values (object name "m_VODEZ_Collector") and the
    // panels' buttons.
    void bindCollector(VODEZ_Collector* collector)
    {
        check(manager.registerObject(collector), "register controller");
        faults << bindCollectorToPanels(&manager, collector, status, sampling);
        WiringLog buttons;
        connectPanelsToCollector(status, sampling, collector, &buttons);
        faults << buttons.refused();
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
    void check(bool made, const char* what)
    {
        if (!made)
            faults << QString::fromLatin1(what);
    }
};
