#pragma once
// The joins between the program's parts below the window that the window
// and the end-to-end tests both make: what the program registers once before
// its parts exist, the road of a sounding between the acquisition
// controller and the project tree, and the binds and joins of the two
// panels of the sampling page.

#include <QStringList>

class DataModel_Index;
class Data_Calc;
class Form_SampleControl;
class Form_Status;
class HViewProxyManager;
class QObject;
class QWidget;
class VODEZ_Collector;

// The compiled-in resources, the persistent classes and the types that
// travel through queued signals. Safe to call more than once.
void registerProgramTypes();

// The project tree as the program runs it: named for the binding, drawing
// through the decay processor, stored decays not divided by the current,
// received decays divided by the receiver's gain.
void setUpDataModel(DataModel_Index* tree, Data_Calc* calc);
// The controller named for the binding, its state machine started.
void setUpCollector(VODEZ_Collector* collector);

// Collects the connections of a wiring step that Qt refused (by the name
// of their row), so that a start-up with a broken join shows it.
class WiringLog
{
public:
    void note(const char* row, bool made);
    // Every row noted so far, in order.
    const QStringList& rows() const { return rows_; }
    const QStringList& refused() const { return refused_; }

private:
    QStringList rows_;
    QStringList refused_;
};

// The controller's sounding and save road to the tree and back: the
// uploaded sounding, the save or discard request, the connected boxes, the
// outcome of a save and the stored parameters of a line.
void connectCollectorToTree(VODEZ_Collector* collector, DataModel_Index* tree, WiringLog* log);

// The first widget below parent whose object name is name, depth first, a
// widget before its children and its children before its next sibling;
// parent itself is not compared. Null when there is none.
QWidget* findWidgetByName(QObject* parent, const QString& name);

// Binds one property of the object registered as objectName to the widget
// of that name below panel; false when the binding refused it (no such
// widget, for one).
bool bindWidgetByName(HViewProxyManager* manager, const QString& objectName, const char* property,
                      QWidget* panel, const char* widgetName, const char* format = "");

// The tree's values in the panels (the tree registered before): the
// sounding in the status panel, line and point number in the sampling panel.
// Gives the widgets whose bind was refused.
QStringList bindTreeToPanels(HViewProxyManager* manager, DataModel_Index* tree, Form_Status* status,
                             Form_SampleControl* sampling);
// The line number and the new-line switch, the stored parameters of a line,
// and the use of the current sounding both ways.
void connectTreeToPanels(DataModel_Index* tree, Form_Status* status, Form_SampleControl* sampling,
                         WiringLog* log);

// The controller's values in the panels (the controller registered before),
// the two continue modes shown as "定点" and "拖曳". Gives the widgets whose bind
// was refused.
QStringList bindCollectorToPanels(HViewProxyManager* manager, VODEZ_Collector* collector, Form_Status* status,
                                  Form_SampleControl* sampling);
// The panels' buttons, forwarded to the controller.
void connectPanelsToCollector(Form_Status* status, Form_SampleControl* sampling, VODEZ_Collector* collector,
                              WiringLog* log);
