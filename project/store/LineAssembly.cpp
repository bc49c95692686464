#include "LineAssembly.h"

#include "Data_Line.h"
#include "Data_Point.h"
#include "Data_Sample.h"


QMutex g_lineWorkerMutex;

namespace LineAssembly {

st_LineSnapshot Snapshot(const Data_Line& line)
{
    st_LineSnapshot snap;
    snap.points.reserve(line.list_Data_Point.size());
    for (const std::shared_ptr<Data_Point>& p : line.list_Data_Point) {
        st_LineSnapshot::Point sp;
        if (p) {
            sp.id = p->ID;
            sp.name = p->NAME;
            sp.use = p->USE;
            sp.type = p->TYPE;
            for (const std::shared_ptr<Data_Sample>& s : p->list_Data_Sample) {
                if (s && s->USE != 0)
                    sp.usedSamples.append(s->ID);
            }
        }
        snap.points.append(sp);
    }
    return snap;
}

std::shared_ptr<Data_Line> Rebuild(const st_LineSnapshot& snapshot)
{
    auto line = std::make_shared<Data_Line>();
    line->list_Data_Point.reserve(snapshot.points.size());
    for (const st_LineSnapshot::Point& sp : snapshot.points) {
        auto p = std::make_shared<Data_Point>(sp.id);
        p->NAME = sp.name;
        p->USE = sp.use;
        p->TYPE = sp.type;
        p->list_Data_Sample.reserve(sp.usedSamples.size());
        for (int id : sp.usedSamples) {
            auto s = std::make_shared<Data_Sample>(id);
            s->USE = 1;
            p->list_Data_Sample.append(s);
        }
        line->list_Data_Point.append(p);
    }
    return line;
}

Section Assemble(Data_Line& line, int first, int last, bool divI)
{
    Section s;
    line.GetRecvData(&s.matrix, &s.times, &s.names, true, first, last, divI);
    return s;
}

} // namespace LineAssembly

quint64 LineTaskTracker::begin()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_pending;
    return m_generation;
}

void LineTaskTracker::end()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_pending == 0)
        m_idle.notify_all();
}

bool LineTaskTracker::isCurrent(quint64 generation) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return generation == m_generation;
}

void LineTaskTracker::cancelAndWait()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_generation;
    m_idle.wait(lock, [this] { return m_pending == 0; });
}

int LineTaskTracker::pending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending;
}
