#include "LineAssembly.h"

#include "Data_Line.h"
#include "Data_Point.h"
#include "Data_Sample.h"
#include "OrmDatabase.h"
#include "SqliteRows.h"
#include "StoredCurves.h"

#include <QElapsedTimer>
#include <QVariant>

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

namespace {

// The columns a sample's processed curve needs, read by ID through one
// prepared statement, straight from SQLite. Reads run in transactions of at most kReadSliceMs, so
// the file is not re-validated for every sample and a writer is not kept
// waiting long.
class CurveReader
{
public:
    explicit CurveReader(bool divI)
        : m_db(orm::Database::getDatabase())
        , m_handle(SqliteRows::handle(m_db))
        , m_divI(divI)
    {
        if (m_handle) {
            m_rows.reset(new SqliteRows(m_handle, divI ? "SELECT DATA_RECV, DATA_RECV_POS, SampleOffFs, DATA_SOFF, "
                                                         "DATA_SEND FROM Data_Sample WHERE ID = ?"
                                                       : "SELECT DATA_RECV, DATA_RECV_POS, SampleOffFs, DATA_SOFF "
                                                         "FROM Data_Sample WHERE ID = ?"));
        }
    }
    ~CurveReader()
    {
        m_rows.reset();   // a statement still stepping would keep the commit from ending the read
        endSlice();
    }

    // The stacked curve of the point's used samples, processed in mode 0
    // (the section only takes points of type 0).
    void pointCurve(Data_Point& point, QVector<double>* values, QVector<double>* times)
    {
        QList<QVector<double> > vl;
        QList<QVector<double> > tl;
        for (const std::shared_ptr<Data_Sample>& s : point.list_Data_Sample) {
            if (!s || s->USE == 0)
                continue;
            QVector<double> v;
            QVector<double> t;
            sampleCurve(s->ID, &v, &t);
            vl.append(v);
            tl.append(t);
        }
        StoredCurves::Stack(vl, tl, values, times);
    }

private:
    void sampleCurve(int id, QVector<double>* values, QVector<double>* times)
    {
        // As a failed fetch leaves a sample: without arrays.
        Data_Sample sample(id);
        if (m_rows && m_rows->isPrepared()) {
            beginSlice();
            m_rows->bind(1, id);
            if (m_rows->next()) {
                sample.DATA_RECV = m_rows->blob(0);
                sample.DATA_RECV_POS = m_rows->blob(1);
                sample.SampleOffFs = m_rows->real(2);
                sample.DATA_SOFF = m_rows->blob(3);
                if (m_divI)
                    sample.DATA_SEND = m_rows->blob(4);
            }
            m_rows->reset();
        }
        sample.GetRecvData(values, times, 0, m_divI);
    }

    void beginSlice()
    {
        if (m_inSlice && m_slice.elapsed() >= kReadSliceMs)
            endSlice();
        if (m_inSlice)
            return;
        // A connection already inside a transaction (its owner's) reads in it.
        m_inSlice = m_db.transaction();
        m_slice.start();
    }
    void endSlice()
    {
        if (m_inSlice)
            m_db.commit();
        m_inSlice = false;
    }

    QSqlDatabase m_db;
    sqlite3* m_handle;
    std::unique_ptr<SqliteRows> m_rows;
    bool m_divI;
    bool m_inSlice = false;
    QElapsedTimer m_slice;
};

} // namespace

Section Assemble(Data_Line& line, int first, int last, bool divI)
{
    Section s;
    CurveReader reader(divI);
    StoredCurves::Section(
        line.list_Data_Point, first, last, true,
        [&reader](Data_Point& p, QVector<double>* v, QVector<double>* t) { reader.pointCurve(p, v, t); }, &s.matrix,
        &s.times, &s.names);
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
