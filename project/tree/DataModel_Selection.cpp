// Selection in the project tree and the assembly of line sections.
#include "DataModel_Index.h"

#include "Data_Calc.h"
#include "LineAssembly.h"
#include "OrmDatabase.h"

#include <QKeyEvent>
#include <QPointer>
#include <QRunnable>
#include <QThreadPool>

#include <algorithm>
#include <cmath>

namespace {

// Lines longer than this are assembled on the thread pool.
constexpr int kSyncLinePoints = 600;

// The line number in texts: truncated toward zero, written as a whole
// number. Kept a double, so a stored number beyond the int range (3e9,
// 1e300) reads as what it is instead of overflowing a conversion.
double lineNumber(double name)
{
    return std::trunc(name);
}

QString lineNoText(double lineNo)
{
    if (std::fabs(lineNo) < 9.0e15)
        return QString::number(qint64(lineNo));
    return QString::number(lineNo, 'g', 6);
}

QString lineTitle(double lineNo)
{
    return DataModel_Index::tr("%1线").arg(lineNoText(lineNo));
}

} // namespace

// Holds what the pool thread needs, by value; the tree is reached only
// through a guarded pointer.
class LineAssemblyTask : public QRunnable
{
public:
    LineAssemblyTask(DataModel_Index* tree, const std::shared_ptr<LineTaskTracker>& tracker,
                     st_LineSnapshot snapshot, int lastPoint, double lineNo, bool divI)
        : m_end(tracker)
        , m_generation(tracker->begin())
        , m_tree(tree)
        , m_snapshot(std::move(snapshot))
        , m_lastPoint(lastPoint)
        , m_lineNo(lineNo)
        , m_divI(divI)
    {
        setAutoDelete(true);
    }

    void run() override
    {
        DataModel_Index::setIndexLineTask(m_tree, *m_end.tracker, m_generation, m_snapshot, m_lastPoint, m_lineNo,
                                          m_divI);
        // The pool thread outlives the task, and its own end may come while
        // the program's exit handlers run: the connection the assembly
        // opened on it ends with the task.
        orm::Database::closeThreadDatabase();
    }

private:
    // Reports the task's end when the task is destroyed (after it ran, or
    // unrun when the pool is cleared). Declared first, so it goes last:
    // nothing of the task, its guarded pointer to the tree included,
    // outlives a wait for it.
    struct EndReport
    {
        std::shared_ptr<LineTaskTracker> tracker;
        explicit EndReport(std::shared_ptr<LineTaskTracker> t) : tracker(std::move(t)) {}
        ~EndReport() { tracker->end(); }
    };

    EndReport m_end;
    quint64 m_generation;
    QPointer<DataModel_Index> m_tree;
    st_LineSnapshot m_snapshot;
    int m_lastPoint;
    double m_lineNo;
    bool m_divI;
};

void DataModel_Index::setIndexLineTask(const QPointer<DataModel_Index>& tree, LineTaskTracker& tracker,
                                       quint64 generation, const st_LineSnapshot& snapshot, int lastPoint,
                                       double lineNo, bool divI)
{
    // Called off (the project or the tree is closing) before it started.
    if (!tracker.isCurrent(generation))
        return;
    if (!g_lineWorkerMutex.tryLock(0))
        return;   // another assembly runs: this request is dropped
    std::shared_ptr<Data_Line> line = LineAssembly::Rebuild(snapshot);
    const LineAssembly::Section section = LineAssembly::Assemble(*line, 0, lastPoint, divI);
    line.reset();
    if (!section.isEmpty() && tracker.isCurrent(generation) && tree) {
        // The tree waits for this task before it goes away, so the guarded
        // pointer cannot turn stale between the check and the post; the call
        // itself runs on the tree's thread.
        QMetaObject::invokeMethod(
            tree.data(),
            [tree, generation, lineNo, section]() {
                if (tree)
                    tree->deliverLineSection(generation, lineNo, section.names, section.times, section.matrix);
            },
            Qt::QueuedConnection);
    }
    g_lineWorkerMutex.unlock();
}

void DataModel_Index::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        onDoubleClicked(currentIndex());
    QTreeWidget::keyPressEvent(event);
}

void DataModel_Index::onDoubleClicked(QModelIndex index)
{
    int line = -1;
    int point = -1;
    int sample = -1;
    const QModelIndex parent = index.parent();
    if (!parent.isValid()) {
        line = index.row();
    } else if (!parent.parent().isValid()) {
        line = parent.row();
        point = index.row();
    } else {
        line = parent.parent().row();
        point = parent.row();
        sample = index.row();
    }

    if (line != expandedLine) {
        if (QTreeWidgetItem* item = topLevelItem(expandedLine))
            collapseItem(item);
        expandedLine = line;
    }
    setIndex(line, point, sample);
}

void DataModel_Index::setIndex(int line, int point, int sample)
{
    curLine = line;
    curPoint = point;
    curSample = sample;
    if (line < 0 || line >= lines.size() || !lines.at(line)) {
        emit onLoadLog(QString());
        return;
    }
    std::shared_ptr<Data_Line> L = lines.at(line);
    const double lineNo = lineNumber(L->NAME);
    const int kind = L->TYPE;

    if (point < 0 || point >= L->list_Data_Point.size() || !L->list_Data_Point.at(point)) {
        const int n = L->list_Data_Point.size();
        if (n <= 1)
            return;
        if (n <= kSyncLinePoints)
            sendLineData(L, 0, n - 1, -1, lineNo);
        else
            startLineTask(L, lineNo);
        emit onSelectLine(kind);
        emit onCurUse(L->USE != 0);
        emit onLoadLog(L->NOTE);
        SetSendI(0.0);
        SetSendOff(0.0);
        SetParamFs(0.0);
        SetParamPeriod(0);
        SetParamRepeat(0);
        return;
    }

    const std::shared_ptr<Data_Point> P = L->list_Data_Point.at(point);
    makeSampleItems(line, point);
    emit onSelectPoint(kind);
    if (P->TYPE < 0 || P->TYPE > 2)
        P->TYPE = 0;
    const int mode = P->TYPE;

    if (sample >= 0 && sample < P->list_Data_Sample.size() && P->list_Data_Sample.at(sample)) {
        const std::shared_ptr<Data_Sample> S = P->list_Data_Sample.at(sample);
        store.fetchWhole(*S);   // an error leaves what it holds
        const double off = S->GetOffTime();
        const st_SampleData_Send send = S->GetSendData();
        const QString title = QStringLiteral("%1线 %2点 %3采样").arg(lineNoText(lineNo)).arg(P->NAME).arg(sample + 1);
        emit onCurUse(S->USE != 0);
        emit onLoadLog(S->NOTE);
        const st_RecvData_DUD4004 rec = S->GetRecvData_Dud4004_RAW(DataDivI);
        if (dataCalc) {
            dataCalc->onData_Send(send);
            dataCalc->onShowData_Recvs(title, QList<st_RecvData_DUD4004>{rec}, off, mode);
        }
        SetSendI(S->GetSendI());
        SetSendOff(off);
        SetParamFs(S->SendFs);
        SetParamPeriod(S->PERIOD);
        SetParamRepeat(1);
        return;
    }

    const QString title = kind == 1
        ? QStringLiteral("%1线 %2").arg(lineNoText(lineNo)).arg(
              P->GetStartTime().toString(QStringLiteral("yyyy.MM.dd hh:mm:ss.zzz")))
        : QStringLiteral("%1线 %2点").arg(lineNoText(lineNo)).arg(P->NAME);
    const double off = P->GetOffTime();
    const QList<st_SampleData_Send> sends = P->GetSendData();
    const QList<st_RecvData_DUD4004> recs = P->GetRecvData_Dud4004_RAW(DataDivI);
    emit onCurUse(P->USE != 0);
    emit onLoadLog(P->NOTE);
    if (dataCalc)
        dataCalc->onData_SendsByte(sends);
    SetSendI(P->GetSendI());
    SetSendOff(off);
    SetParamFs(P->GetSendFs());
    if (recs.isEmpty()) {
        SetParamPeriod(0);
        SetParamRepeat(0);
    } else {
        // The mean of the used samples' periods, summed wide: the int sum
        // of large stored periods would not hold it.
        qint64 periods = 0;
        for (const std::shared_ptr<Data_Sample>& s : P->list_Data_Sample) {
            if (s && s->USE != 0)
                periods += s->PERIOD;
        }
        SetParamPeriod(int(periods / recs.size()));
        SetParamRepeat(recs.size());
    }
    if (dataCalc)
        dataCalc->onShowData_Recvs(title, recs, off, mode);

    if (kind == 1) {
        // A window of towPoints points around the point, moved back from
        // the end of the line but never past point + half a window.
        const int n = L->list_Data_Point.size();
        const int half = towPoints / 2;
        const int last = std::min(point + half, n - 1);
        int first = std::max(point - half + 1, 0);
        if (last - first < towPoints - 1)
            first = std::max(last - towPoints + 1, 0);
        sendLineData(L, first, last, point - first, lineNo);
    }
}

void DataModel_Index::sendLineData(std::shared_ptr<Data_Line>& line, int first, int last, int curPos, double lineNo)
{
    if (!line)
        return;
    const LineAssembly::Section section = LineAssembly::Assemble(*line, first, last, DataDivI);
    if (section.isEmpty())
        return;
    emit onData_Recv_Line(lineTitle(lineNo), section.names, section.times, section.matrix, curPos);
}

void DataModel_Index::startLineTask(const std::shared_ptr<Data_Line>& line, double lineNo)
{
    auto* task = new LineAssemblyTask(this, lineTasks, LineAssembly::Snapshot(*line),
                                      line->list_Data_Point.size() - 1, lineNo, DataDivI);
    QThreadPool::globalInstance()->start(task, 0);
}

void DataModel_Index::deliverLineSection(quint64 generation, double lineNo, const QVector<double>& names,
                                         const QVector<double>& times, const QVector<QVector<double> >& matrix)
{
    if (!lineTasks->isCurrent(generation))
        return;   // the project it belongs to has been closed since
    emit onData_Recv_Line(lineTitle(lineNo), names, times, matrix, -1);
}

void DataModel_Index::waitForLineTasks()
{
    lineTasks->cancelAndWait();
}

void DataModel_Index::GetRecvDataByTime(double step, const QDateTime& from, const QDateTime& to,
                                        QList<st_SaveHeader>* headers,
                                        QList<QList<st_RecvData_DUD4004> >* recvGroups,
                                        QList<QList<st_SampleData_Send> >* sendGroups, int type)
{
    store.samplesByTime(step, from, to, headers, recvGroups, sendGroups, type);
}
