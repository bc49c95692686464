#pragma once
// The project file behind the project tree: opening (creating a new file,
// upgrading an older one), the rows a save writes, the columns an edit
// writes, and the objects the open read. Qt Core and Sql only; the tree adds
// its items, texts and boxes on top.
//
// Every write is one transaction on the project's connection, committed only
// when each of its statements succeeded; after a failed save the objects in
// memory are as they were before it. A file that another program holds
// locked is given up within the busy time-out of each transaction, never
// waited for statement by statement.

#include "DataClasses.h"
#include "DeviceRecords.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

// Header of one sounding as a save sees it.
struct st_SaveHeader
{
    double LineNo = 0.0;
    double PointNo = 0.0;
    quint8 SampleMode = 0;
    quint8 ContinueMode = 0;
    float ParamFs = 0.0f;
    qint32 ParamPeriod = 0;
    qint32 RepeatCount = 0;
};

class ProjectStore
{
public:
    enum class OpenResult
    {
        Opened,
        // SQLite calls the file damaged or no database at all.
        Damaged,
        // Anything else: locked by another program, a database of another
        // program, a path that cannot be created, a read or write error.
        Refused,
    };

    // How long one transaction waits for a lock another connection holds.
    static const int kBusyTimeoutMs = 2000;

    ProjectStore() = default;
    ~ProjectStore();
    ProjectStore(const ProjectStore&) = delete;
    ProjectStore& operator=(const ProjectStore&) = delete;

    // Opens the project file at path, in one write transaction: a new (empty)
    // file gets the five tables, the project row 1 and the work-set row; an
    // older one its missing tables, columns and indexes; a project file
    // without row 1 gets it back. Then reads every line with its points and
    // their light samples (points ordered by line and number when
    // sortPoints). Any other outcome leaves the file as it was and the store
    // closed.
    OpenResult open(const QString& path, bool sortPoints);
    // Closes the connection and drops the objects read.
    void close();
    bool isOpen() const { return m_open; }

    // The schema upgrade on the open connection. False when a statement met
    // anything but "exists already" (a lock, a damaged page, a full disk);
    // the statements after it are not run.
    bool upgrade();

    QVector<std::shared_ptr<Data_Line>>& lines() { return m_lines; }
    const QVector<std::shared_ptr<Data_Line>>& lines() const { return m_lines; }
    // The project row as read by the open (its SSID is not read).
    const std::shared_ptr<Data_Project>& project() const { return m_project; }
    QSqlDatabase& database() { return m_db; }
    // The start time of the first sample of every point, by that sample's
    // ID, as the open read it; false for a sample the open did not see.
    bool firstSampleTime(int sampleId, qint64* ms) const;

    // The first line whose number is within 1e-6 of name; -1 for none.
    int findLine(double name) const;

    // Where a save put its rows, as indexes into lines() and the line's points.
    struct Saved
    {
        int line = -1;
        bool lineAdded = false;
        int point = -1;
        bool pointAdded = false;
    };
    // All sets of one single-mode sounding as samples of point header.PointNo
    // of line header.LineNo, each made when missing (the point's type being
    // mode). False when nothing was stored.
    bool saveSingle(const st_SaveHeader& header, const QList<st_SampleData_Send>& sends,
                    const QList<st_RecvData_DUD4004>& recvs, int mode, Saved* saved);
    // One set of a continuous sounding as a new point of line header.LineNo
    // (a line of type 1 when missing), numbered by the points the line held.
    // After either save has committed, the point's samples in memory are
    // light, as an open leaves them: ID, USE, PERIOD and SendFs; readers
    // fetch the rest from the file.
    bool saveContinue(const st_SaveHeader& header, const st_SampleData_Send& send,
                      const st_RecvData_DUD4004& recv, Saved* saved);

    // Writes the named columns of the object's row. False (rolled back) when
    // the store is closed or the file refused it.
    bool storeColumns(const Data_Line& line, const QStringList& columns);
    bool storeColumns(const Data_Point& point, const QStringList& columns);
    bool storeColumns(const Data_Sample& sample, const QStringList& columns);
    bool storeColumns(const Data_Project& project, const QStringList& columns);

    // Appends text to the note the file holds for the object (two CR LF
    // between an earlier note and the new text) and sets the object's NOTE
    // to the joined note. False, with the object unchanged, when the file
    // could not be read or written.
    bool appendNote(Data_Line& line, const QString& text);
    bool appendNote(Data_Point& point, const QString& text);
    bool appendNote(Data_Sample& sample, const QString& text);

    // Reads every column of the sample's row into it; a failure leaves the
    // sample as it was.
    void fetchWhole(Data_Sample& sample);

    // The used samples of continuous lines received between from and to,
    // grouped by stretches of step in point number (see the tree's
    // GetRecvDataByTime).
    void samplesByTime(double step, const QDateTime& from, const QDateTime& to, QList<st_SaveHeader>* headers,
                       QList<QList<st_RecvData_DUD4004> >* recvGroups,
                       QList<QList<st_SampleData_Send> >* sendGroups, int type);

private:
    OpenResult openInTransaction(bool sortPoints);
    bool runUpgrade(QSqlError* error);
    // Every line with its points and their light samples, and each point's
    // first start time, in the running transaction.
    QSqlError readLight(bool sortPoints);
    template <class T>
    bool storeColumnsOf(const T& object, const QStringList& columns);
    template <class T>
    bool appendNoteOf(T& object, const QString& text);
    // The line a save writes into: the one numbered name, or a new row of
    // the given type, inserted (in the running transaction) and appended.
    bool lineForSave(double name, int type, Saved* saved, bool* inserted);
    void dropAddedLine(const Saved& saved);

    QSqlDatabase m_db;
    bool m_open = false;
    QVector<std::shared_ptr<Data_Line>> m_lines;
    std::shared_ptr<Data_Project> m_project;
    QHash<int, qint64> m_firstSampleTimes;
};
