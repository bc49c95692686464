#pragma once
// Assembly of a long line's section off the GUI thread.
//
// The task never touches the objects the project tree holds: the tree takes
// a snapshot of the line on its own thread (point numbers, types, use flags
// and the IDs of the used samples), and the task rebuilds private objects
// from it and fetches their columns over its own thread's connection, which
// the task closes at its end (a pool thread's own end can come after main
// has returned, when Qt Sql may no longer be reached). Only one task
// assembles at a time (g_lineWorkerMutex, taken without waiting: a task that
// finds it taken is dropped). The tree keeps count of its tasks so that
// closing the project, or the tree itself, calls off those not yet running
// and waits for the one that is.

#include "Data_Line.h"

#include <QMutex>
#include <QVector>

#include <condition_variable>
#include <memory>
#include <mutex>

// Admits one line-assembly task at a time, process-wide.
extern QMutex g_lineWorkerMutex;

struct st_LineSnapshot
{
    struct Point
    {
        int id = 0;
        double name = 0.0;
        int use = 0;
        int type = 0;
        QVector<int> usedSamples;   // IDs of the samples whose USE is not 0
    };
    QVector<Point> points;
};

namespace LineAssembly {

// Taken on the thread that owns the line.
st_LineSnapshot Snapshot(const Data_Line& line);
// Private objects for a snapshot: points with their numbers, types and use
// flags, each holding only its used samples, by ID.
std::shared_ptr<Data_Line> Rebuild(const st_LineSnapshot& snapshot);

struct Section
{
    QVector<QVector<double> > matrix;   // one row per gate, one column per point, magnitudes
    QVector<double> times;              // gate times, us
    QVector<double> names;              // numbers of the points that contributed
    bool isEmpty() const { return matrix.isEmpty() || times.isEmpty() || names.isEmpty(); }
};

// The section of points first..last of the line: the numbers of
// Data_Line::GetRecvData, read through one prepared statement in read
// transactions of bounded length on the calling thread's connection. Leaves
// the points' sample lists as they are.
Section Assemble(Data_Line& line, int first, int last, bool divI);

// Longest a read transaction of the assembly is held: a save waiting for the
// write lock waits about this long at most.
const int kReadSliceMs = 20;

} // namespace LineAssembly

// The tasks one tree has started. Each task is begun on the tree's thread
// and ended on its own; a generation number tells a task (and its result)
// whether the tree still wants it.
class LineTaskTracker
{
public:
    // A task is about to be started; its generation.
    quint64 begin();
    // The task has finished (or was dropped).
    void end();
    bool isCurrent(quint64 generation) const;
    // Calls off every task not yet running and every result not yet
    // delivered, then waits until no task runs.
    void cancelAndWait();
    int pending() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_pending = 0;
    quint64 m_generation = 1;
};
