#pragma once
// The project tree: the open project's view and keeper at once. It shows the
// project as lines, points and samples, holds the project's connection and
// its persisted objects, keeps the latest uploaded sounding until it is saved
// or dropped, and publishes the values the panels show as properties.

#include "DeviceRecords.h"
#include "DataClasses.h"
#include "ExportFile.h"
#include "ProjectStore.h"

#include <QDateTime>
#include <QList>
#include <QModelIndex>
#include <QPointer>
#include <QStringList>
#include <QString>
#include <QTextStream>
#include <QTreeWidget>
#include <QVector>

#include <memory>

class Data_Calc;
class LineTaskTracker;
struct st_LineSnapshot;
class QKeyEvent;
class QTreeWidgetItem;

class DataModel_Index : public QTreeWidget
{
    Q_OBJECT
    Q_PROPERTY(QString SendI READ GetSendI WRITE SetSendI NOTIFY onSendIChanged)
    Q_PROPERTY(double SendOff READ GetSendOff WRITE SetSendOff NOTIFY onSendOffChanged)
    Q_PROPERTY(QString ParamFs READ GetParamFs WRITE SetParamFs NOTIFY onParamFsChanged)
    Q_PROPERTY(int ParamPeriod READ GetParamPeriod WRITE SetParamPeriod NOTIFY onParamPeriodChanged)
    Q_PROPERTY(int ParamRepeat READ GetParamRepeat WRITE SetParamRepeat NOTIFY onParamRepeatChanged)
    Q_PROPERTY(double LineNo MEMBER LineNo NOTIFY onLineNoChanged)
    Q_PROPERTY(double PointNo MEMBER PointNo NOTIFY onPointNoChanged)
    Q_PROPERTY(double PointNoStep MEMBER PointNoStep NOTIFY onPointNoStepChanged)

public:
    explicit DataModel_Index(QWidget* parent = nullptr);
    ~DataModel_Index() override;

    void SetDataCalc(Data_Calc* calc) { dataCalc = calc; }
    void SetSortPoint(bool sort) { SortPoint = sort; }
    void SetDataDivI(bool divI) { DataDivI = divI; }

    QString GetSendI() const { return SendI; }
    double GetSendOff() const { return SendOff; }
    QString GetParamFs() const { return ParamFs; }
    int GetParamPeriod() const { return ParamPeriod; }
    int GetParamRepeat() const { return ParamRepeat; }

    // Opens (creating or upgrading) the project file; true when it is open
    // and shown.
    bool openProject(const QString& path);
    void closeProject();
    // True from a successful openProject until closeProject.
    bool isProjectOpen() const;

    // Gives point `point` of line `line` the number `name` in the file, then
    // in memory and in the tree. False (with the operator warned) when the
    // file refused it.
    bool changePointName(int line, int point, double name);

    // The name of the wireless network the instrument is reached through, or
    // "None".
    static QString GetWifiSSID();

    // The array blob of the project file: big-endian doubles, no header.
    static QByteArray VectorToByteArray(const QVector<double>& values);

    // The exports written to a file whole or not at all: false (with the
    // reason in *status) when the project file could not be read or the
    // export file could not be written, and an older file of that name is
    // then left as it was.
    bool exportUsfFile(const QString& path, ExportStatus* status = nullptr);
    bool exportDataFile(const QString& path, int exportType, int exportDep, ExportStatus* status = nullptr);
    bool exportLogFile(const QString& path, ExportStatus* status = nullptr);
    bool exportPointTimeFile(const QString& path, ExportStatus* status = nullptr);

    // Shows what line `line`, point `point` of it, or sample `sample` of
    // that point stands for (-1: none). Lines of more than 600 points are
    // assembled on the global thread pool.
    void setIndex(int line, int point, int sample);
    // Emits the section of points first..last of the line (curPos -1: the
    // whole line, else the marker's position in the window).
    void sendLineData(std::shared_ptr<Data_Line>& line, int first, int last, int curPos, double lineNo);
    // The used samples of continuous lines received between from and to,
    // grouped by stretches of `step` in point number.
    void GetRecvDataByTime(double step, const QDateTime& from, const QDateTime& to, QList<st_SaveHeader>* headers,
                           QList<QList<st_RecvData_DUD4004> >* recvGroups,
                           QList<QList<st_SampleData_Send> >* sendGroups, int type);
    // Calls off line assemblies not yet running and waits for the one that
    // runs; their results are no longer delivered.
    void waitForLineTasks();
    // The view's expandAll, with the sample items of every point made first.
    void expandAll();

    const QVector<std::shared_ptr<Data_Line>>& Lines() const { return lines; }
    std::shared_ptr<Data_Project> Project() const { return project; }
    const VODEZ_Data& KeptData() const { return keptData; }

signals:
    void onSendIChanged(QString value);
    void onSendOffChanged(double value);
    void onParamFsChanged(QString value);
    void onParamPeriodChanged(int value);
    void onParamRepeatChanged(int value);
    void onLineNoChanged(double value);
    void onPointNoChanged(double value);
    void onPointNoStepChanged(double value);
    bool isNewLineChanged(bool isNew);
    void onData_Recv_Line(QString title, QVector<double> points, QVector<double> names,
                          QVector<QVector<double> > matrix, int curPos);
    void onSaveOver();
    // A sounding was stored as `point` of `line` (their numbers).
    void onPointStored(double line, double point);
    void onLoadLog(QString note);
    void onExport(int value, int total);
    void onLoad_Param(double baseFreq, int period, int lineType);
    void onCurUse(bool use);
    void onSelectPoint(int lineType);
    void onSelectLine(int lineType);
    void loadProjectConfig(st_ProjectConfig config);
    // A requested save stored nothing: the kept sounding is still unsaved
    // and can be saved again or dropped. Emitted before the warning box
    // opens, so that a running acquisition can stop first; the onSaveOver()
    // that ends that save follows the box.
    void onSaveFailed();

public slots:
    void onNewLog(QString log);
    void onNewUse(bool use);
    void onExportData(QTextStream& out, int exportType, int exportDep);
    void onExportData_USF(QTextStream& out);
    void onExportLog(QTextStream& out);
    void onExportPointTime(QTextStream& out);
    void onSetTowPoints(int num) { towPoints = num; }
    void slotLineNoChanged(double line);
    void dataUpload(VODEZ_Data data);
    void dataSave(bool save);
    void setProjectConfig(st_ProjectConfig config);
    void setWifiName();
    void updateDatabase();
    void SetSendI(double v);
    void SetSendI(QString v);
    void SetSendOff(double v);
    void SetParamFs(double v);
    void SetParamFs(QString v);
    void SetParamPeriod(int v);
    void SetParamRepeat(int v);
    void onChangePointNameDl(QPoint point);
    void onDoubleClicked(QModelIndex index);

protected:
    // Return and Enter act as a double click on the current item.
    void keyPressEvent(QKeyEvent* event) override;

    // Item texts shared by the open, the saves and the rename.
    static QString lineText(double name, int points);
    static QString openedPointText(const Data_Point& point);
    static QString numberText(double value);

    // Saves of one kept sounding; true when the rows were committed.
    bool saveData(const VODEZ_Data& data);
    bool saveSingleData(const st_SaveHeader& header, const QList<st_SampleData_Send>& sends,
                        const QList<st_RecvData_DUD4004>& recvs, int mode);
    bool saveContinueData(const st_SaveHeader& header, const st_SampleData_Send& send,
                          const st_RecvData_DUD4004& recv);

    // The project file: its connection, and the lines, points and samples
    // read from it and saved since.
    ProjectStore store;
    QVector<std::shared_ptr<Data_Line>>& lines;
    std::shared_ptr<Data_Project> project;
    int curLine = -1;
    int curPoint = -1;
    int curSample = -1;
    Data_Calc* dataCalc = nullptr;
    bool SortPoint = true;
    int towPoints = 60;
    bool DataDivI = false;
    QString SendI;
    double SendOff = 0.0;
    QString ParamFs;
    int ParamPeriod = 0;
    int ParamRepeat = 0;
    double LineNo = 10.0;
    double PointNo = 0.0;
    // Before the first open the panels read the Data_Project default.
    double PointNoStep = 10.0;
    VODEZ_Data keptData;
    int expandedLine = -1;

private:
    // Which stored item the use flag and the note apply to.
    struct Target
    {
        std::shared_ptr<Data_Line> line;
        std::shared_ptr<Data_Point> point;
        std::shared_ptr<Data_Sample> sample;
    };
    bool currentTarget(Target* target) const;
    void warnSaveFailed();
    // Makes the sample items of a point item read from the file, the first
    // time it is expanded or selected; true when it made them.
    bool makeSampleItems(QTreeWidgetItem* item);
    void makeSampleItems(int line, int point);
    void refuseDamaged();

    // The exports that have a file entry and a slot: what both write.
    ExportProgress exportProgress();
    ExportStatus writeUsf(QTextStream& out);
    ExportStatus writeData(QTextStream& out, int exportDep);

    // Starts the assembly of the whole line on the global thread pool.
    void startLineTask(const std::shared_ptr<Data_Line>& line, double lineNo);
    // The body of that task, on the pool thread: assembles the line from
    // its snapshot unless another assembly runs, and hands the section to
    // the tree's thread.
    static void setIndexLineTask(const QPointer<DataModel_Index>& tree, LineTaskTracker& tracker,
                                 quint64 generation, const st_LineSnapshot& snapshot, int lastPoint, double lineNo,
                                 bool divI);
    // A section assembled off this thread, delivered if still wanted.
    void deliverLineSection(quint64 generation, double lineNo, const QVector<double>& names,
                            const QVector<double>& times, const QVector<QVector<double> >& matrix);
    friend class LineAssemblyTask;
    std::shared_ptr<LineTaskTracker> lineTasks;
};
