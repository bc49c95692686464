#pragma once
// The joins between the program's parts below the window that the window
// and the end-to-end tests both make: what the program registers once before
// its parts exist, and the road of a sounding between the acquisition
// controller and the project tree.

#include <QStringList>

class DataModel_Index;
class Data_Calc;
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
