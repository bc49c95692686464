#include "DataModel_Index.h"

#include "Data_Calc.h"
#include "LineAssembly.h"
#include "Prompt.h"
#include "WifiName.h"

#include <QDataStream>
#include <QDateTime>
#include <QHash>
#include <QScroller>
#include <QTreeWidgetItem>

#include <cmath>
#include <limits>

namespace {

const char* const kPointTimeFormat = "yyyy.MM.dd hh:mm:ss.zzz";
const char* const kTipTimeFormat = "yyyy.MM.dd hh:mm:ss";

bool sameNumber(double a, double b)
{
    return std::fabs(a - b) < 1e-6;
}

QString localTime(qint64 ms, const char* format)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QLatin1String(format));
}

// The columns a settings edit writes: the settings record, nothing else.
const QStringList& configColumns()
{
    static const QStringList columns = {
        QStringLiteral("WorkConfig"),     QStringLiteral("LineNoStart"),   QStringLiteral("LineNoSetp"),
        QStringLiteral("PointNoStart"),   QStringLiteral("PointNoStep"),   QStringLiteral("SendCoil_Len"),
        QStringLiteral("SendCoil_Width"), QStringLiteral("SendCoil_Turns"), QStringLiteral("RecvCoil_Size"),
        QStringLiteral("RecvCoil_Gain"),  QStringLiteral("OffTime"),       QStringLiteral("PointLen_D"),
        QStringLiteral("PointLen_R"),     QStringLiteral("CreateTime")};
    return columns;
}

// Fewest decimals (1 to 6) that show a stored number as it is, so a dialog
// that starts from it does not round it on OK.
int decimalsFor(double value)
{
    for (int d = 1; d < 6; ++d) {
        const double scale = std::pow(10.0, d);
        if (std::fabs(std::round(value * scale) / scale - value) < 1e-9 * std::max(1.0, std::fabs(value)))
            return d;
    }
    return 6;
}

// A point item read from the file formats its tool tip (the start time) only
// when it is asked for: formatting local times for every point of a large
// project would cost the open more than reading its rows.
class OpenedPointItem : public QTreeWidgetItem
{
public:
    static constexpr int kType = QTreeWidgetItem::UserType + 1;

    OpenedPointItem(const QString& text, qint64 tipTime)
        : QTreeWidgetItem(QStringList(text), kType)
        , m_tipTime(tipTime)
    {
    }
    QVariant data(int column, int role) const override
    {
        if (column == 0 && role == Qt::ToolTipRole && m_tipTime != kNoTip) {
            const QVariant set = QTreeWidgetItem::data(column, role);
            return set.isValid() ? set : QVariant(localTime(m_tipTime, kTipTimeFormat));
        }
        return QTreeWidgetItem::data(column, role);
    }
    static constexpr qint64 kNoTip = std::numeric_limits<qint64>::min();

    // The point's sample items are made when the point is first expanded
    // or selected: a large project has about a million samples, and their
    // items would take more memory than everything else the open holds.
    // Until then the item shows that it can be expanded.
    void setSamplesPending(bool pending)
    {
        m_samplesPending = pending;
        setChildIndicatorPolicy(pending ? QTreeWidgetItem::ShowIndicator
                                        : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
    bool samplesPending() const { return m_samplesPending; }

private:
    qint64 m_tipTime;
    bool m_samplesPending = false;
};

// Sample items "1", "2", ..., counting on from those the point item has.
void appendSampleItems(QTreeWidgetItem* pointItem, int count)
{
    QList<QTreeWidgetItem*> items;
    items.reserve(count);
    for (int k = 0; k < count; ++k)
        items.append(new QTreeWidgetItem(QStringList(QString::number(pointItem->childCount() + k + 1))));
    pointItem->addChildren(items);
}

} // namespace

DataModel_Index::DataModel_Index(QWidget* parent)
    : QTreeWidget(parent)
    , lines(store.lines())
    , lineTasks(std::make_shared<LineTaskTracker>())
{
    SetSendI(0.0);
    SetParamFs(0.0);

    setHeaderHidden(true);
    setAllColumnsShowFocus(true);
    setAlternatingRowColors(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    QScroller::grabGesture(viewport(), QScroller::LeftMouseButtonGesture);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAutoScroll(false);

    connect(this, &QWidget::customContextMenuRequested, this, &DataModel_Index::onChangePointNameDl);
    connect(this, &QAbstractItemView::doubleClicked, this, &DataModel_Index::onDoubleClicked);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { makeSampleItems(item); });

    qRegisterMetaType<QVector<QVector<double> > >("QVector<QVector<double> >");
    qRegisterMetaType<QVector<double> >("QVector<double>");
    qRegisterMetaType<st_ProjectConfig>("st_ProjectConfig");
    registerDeviceRecordTypes();
}

DataModel_Index::~DataModel_Index()
{
    // A line assembly still running reads the project file and reaches this
    // tree when it ends.
    waitForLineTasks();
}

// ---------------------------------------------------------------- properties

void DataModel_Index::SetSendI(double v)
{
    const double f = v - std::trunc(v);
    SetSendI(QString::number(v, 'f', f >= 0.1 ? 1 : 0));
}

void DataModel_Index::SetSendI(QString v)
{
    SendI = v;
    emit onSendIChanged(SendI);
}

void DataModel_Index::SetSendOff(double v)
{
    SendOff = v;
    emit onSendOffChanged(SendOff);
}

void DataModel_Index::SetParamFs(double v)
{
    const double a = std::trunc(1000.0 * v);
    int decimals = 0;
    if (std::fmod(a, 10.0) != 0.0)
        decimals = 3;
    else if (std::fmod(a, 100.0) != 0.0)
        decimals = 2;
    else if (std::fmod(a, 1000.0) != 0.0)
        decimals = 1;
    SetParamFs(QString::number(v, 'f', decimals));
}

void DataModel_Index::SetParamFs(QString v)
{
    ParamFs = v;
    emit onParamFsChanged(ParamFs);
}

void DataModel_Index::SetParamPeriod(int v)
{
    ParamPeriod = v;
    emit onParamPeriodChanged(ParamPeriod);
}

void DataModel_Index::SetParamRepeat(int v)
{
    ParamRepeat = v;
    emit onParamRepeatChanged(ParamRepeat);
}

// ---------------------------------------------------------------- texts

QString DataModel_Index::numberText(double value)
{
    return QString::number(value, 'g', 6);
}

QString DataModel_Index::lineText(double name, int points)
{
    return QStringLiteral("%1 (%2点)").arg(numberText(name)).arg(points);
}

QString DataModel_Index::openedPointText(const Data_Point& point)
{
    const double whole = std::trunc(point.NAME);
    QString text;
    if (std::fabs(point.NAME - whole) < 0.09) {
        text = std::fabs(whole) < 9.0e15 ? QString::number(qint64(whole)) : QString::number(whole, 'f', 0);
    } else {
        text = QString::number(point.NAME, 'f', 1);
    }
    if (point.TYPE == 1)
        text += QStringLiteral("(自检)");
    return text;
}

QByteArray DataModel_Index::VectorToByteArray(const QVector<double>& values)
{
    return Data_Blob::VectorToByteArray(values);
}

// ---------------------------------------------------------------- upload

void DataModel_Index::dataUpload(VODEZ_Data data)
{
    keptData = data;
    SetParamFs(double(keptData.ParamFs));
    SetParamPeriod(keptData.ParamPeriod);
    SetParamRepeat(keptData.Sends.size());
    SetSendI(Data_Calc::CalcSendIMean(keptData.Sends));
    SetSendOff(Data_Calc::CalcOffTimeMean(keptData.Sends));
    if (dataCalc) {
        dataCalc->onData_SendsVec(keptData.Sends);
        dataCalc->onData_Recvs(keptData.Recvs, SendOff, int(keptData.SampleMode), int(keptData.ContinueMode));
    }
}

// ---------------------------------------------------------------- open / close

bool DataModel_Index::isProjectOpen() const
{
    return store.isOpen() && project;
}

void DataModel_Index::refuseDamaged()
{
    closeProject();
    Prompt::current()->warning(this, QStringLiteral("警告"), QStringLiteral("工程文件损坏"));
}

void DataModel_Index::closeProject()
{
    waitForLineTasks();
    clear();
    store.close();
}

bool DataModel_Index::openProject(const QString& path)
{
    closeProject();
    switch (store.open(path, SortPoint)) {
    case ProjectStore::OpenResult::Opened:
        break;
    case ProjectStore::OpenResult::Damaged:
        refuseDamaged();
        return false;
    case ProjectStore::OpenResult::Refused:
        // Locked, of another program, or not writable: the caller says so.
        closeProject();
        return false;
    }
    project = store.project();
    const st_ProjectConfig config = project->getProjectConfig();
    emit loadProjectConfig(config);
    setProperty("PointNoStep", config.PointNoStep);

    // The point saved last (highest ID) and its line.
    const Data_Line* newestLine = nullptr;
    const Data_Point* newestPoint = nullptr;

    QList<QTreeWidgetItem*> lineItems;
    lineItems.reserve(lines.size());
    for (const std::shared_ptr<Data_Line>& line : qAsConst(lines)) {
        auto* lineItem = new QTreeWidgetItem(QStringList(lineText(line->NAME, line->list_Data_Point.size())));
        QList<QTreeWidgetItem*> pointItems;
        pointItems.reserve(line->list_Data_Point.size());
        for (const std::shared_ptr<Data_Point>& point : qAsConst(line->list_Data_Point)) {
            if (point->ID > (newestPoint ? newestPoint->ID : 0)) {
                newestLine = line.get();
                newestPoint = point.get();
            }
            const bool hasSamples = !point->list_Data_Sample.isEmpty();
            qint64 start = 0;
            if (hasSamples) {
                Data_Sample& first = *point->list_Data_Sample.first();
                if (!store.firstSampleTime(first.ID, &start))
                    start = point->GetStartTime().toMSecsSinceEpoch();
            }
            QString text;
            if (line->TYPE == 1) {
                text = hasSamples ? localTime(start, kPointTimeFormat) : QString();
            } else {
                if (point->TYPE < 0 || point->TYPE > 2)
                    point->TYPE = 0;
                text = openedPointText(*point);
            }
            auto* pointItem =
                new OpenedPointItem(text, hasSamples && line->TYPE != 1 ? start : OpenedPointItem::kNoTip);
            if (line->TYPE == 0 && hasSamples)
                pointItem->setSamplesPending(true);
            pointItems.append(pointItem);
        }
        lineItem->addChildren(pointItems);
        lineItems.append(lineItem);
    }
    addTopLevelItems(lineItems);

    if (lines.isEmpty()) {
        emit isNewLineChanged(true);
    } else {
        double newestLineNo = 0.0;
        double newestBase = 0.0;
        double newestFs = 25.0;
        int newestPeriod = 500;
        int newestType = 0;
        if (newestPoint) {
            newestLineNo = newestLine->NAME;
            newestBase = newestLine->TYPE == 0 ? newestPoint->NAME : 0.0;
            newestFs = newestPoint->list_Data_Sample.isEmpty() ? 0.0 : newestPoint->list_Data_Sample.first()->SendFs;
            // One sample's stacked periods, as the sampling panel sets them.
            newestPeriod = 0;
            for (const std::shared_ptr<Data_Sample>& s : newestLine->list_Data_Point.first()->list_Data_Sample) {
                if (s->USE != 0) {
                    newestPeriod = s->PERIOD;
                    break;
                }
            }
            newestType = newestLine->TYPE;
        }
        setProperty("LineNo", newestLineNo);
        setProperty("PointNo", newestBase + config.PointNoStep);
        emit onLoad_Param(newestFs, newestPeriod, newestType);
        slotLineNoChanged(newestLineNo);
    }
    return true;
}

bool DataModel_Index::makeSampleItems(QTreeWidgetItem* item)
{
    if (!item || item->type() != OpenedPointItem::kType)
        return false;
    auto* pointItem = static_cast<OpenedPointItem*>(item);
    if (!pointItem->samplesPending())
        return false;
    pointItem->setSamplesPending(false);
    QTreeWidgetItem* lineItem = pointItem->parent();
    const int line = indexOfTopLevelItem(lineItem);
    const int point = lineItem ? lineItem->indexOfChild(pointItem) : -1;
    if (line < 0 || line >= lines.size() || point < 0 || point >= lines.at(line)->list_Data_Point.size())
        return false;
    appendSampleItems(pointItem, lines.at(line)->list_Data_Point.at(point)->list_Data_Sample.size());
    return true;
}

void DataModel_Index::makeSampleItems(int line, int point)
{
    if (QTreeWidgetItem* lineItem = topLevelItem(line))
        makeSampleItems(lineItem->child(point));
}

void DataModel_Index::expandAll()
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* lineItem = topLevelItem(i);
        for (int j = 0; j < lineItem->childCount(); ++j)
            makeSampleItems(lineItem->child(j));
    }
    QTreeWidget::expandAll();
}

void DataModel_Index::updateDatabase()
{
    store.upgrade();
}


// ---------------------------------------------------------------- line number

void DataModel_Index::slotLineNoChanged(double line)
{
    const int index = store.findLine(line);
    if (index < 0) {
        setProperty("PointNo", 0.0);
        emit isNewLineChanged(true);
        return;
    }
    const std::shared_ptr<Data_Line> L = lines.at(index);
    emit onSelectPoint(L->TYPE);
    double value = 0.0;
    if (!L->list_Data_Point.isEmpty()) {
        const std::shared_ptr<Data_Point> P = L->list_Data_Point.last();
        if (!P->list_Data_Sample.isEmpty()) {
            const std::shared_ptr<Data_Sample> S = P->list_Data_Sample.first();
            emit onLoad_Param(S->SendFs, S->PERIOD, L->TYPE);
        }
        value = PointNoStep + P->NAME;
    }
    setProperty("PointNo", value);
    emit isNewLineChanged(false);
}

// ---------------------------------------------------------------- saving

void DataModel_Index::dataSave(bool save)
{
    if (!save) {
        keptData.Sends.clear();
        keptData.Recvs.clear();
        return;
    }
    const bool kept = !keptData.Sends.isEmpty() && !keptData.Recvs.isEmpty()
        && keptData.Sends.size() == keptData.Recvs.size();
    // The save works on its own copy: a warning box runs an event loop, in
    // which a new upload may replace the kept sounding.
    const VODEZ_Data data = keptData;
    if (kept && !saveData(data)) {
        // The failure is told before the warning shows: a continuous run
        // still records meanwhile and must be stopped first.
        emit onSaveFailed();
        warnSaveFailed();
    }
    emit onSaveOver();
}

bool DataModel_Index::saveData(const VODEZ_Data& data)
{
    st_SaveHeader header;
    header.LineNo = LineNo;
    header.PointNo = PointNo;
    header.SampleMode = data.SampleMode;
    header.ContinueMode = data.ContinueMode;
    header.ParamFs = data.ParamFs;
    header.ParamPeriod = data.ParamPeriod;
    header.RepeatCount = data.RepeatCount;

    QList<st_SampleData_Send> sends;
    for (int i = 0; i < data.Recvs.size(); ++i) {
        const st_TEMSendData& s = data.Sends.at(i);
        st_SampleData_Send r;
        r.SendFs = double(header.ParamFs);
        r.SampleSendFs = s.SampleSendFs;
        r.DATA_SEND = VectorToByteArray(s.SendData);
        r.SampleOffFs = s.SampleOffFs;
        r.DATA_SOFF = VectorToByteArray(s.OffData);
        sends.append(r);
    }

    bool stored = false;
    if (!isProjectOpen()) {
        // A closed project stores nothing; the caller warns of every failure.
    } else if (data.ContinueMode == 1) {
        stored = saveContinueData(header, sends.first(), data.Recvs.first());
    } else {
        stored = saveSingleData(header, sends, data.Recvs, int(data.SampleMode));
    }

    // The next point number follows only a stored sounding, so a retry of a
    // failed save goes to the same point.
    if (stored)
        setProperty("PointNo", PointNo + PointNoStep);
    emit isNewLineChanged(stored ? false : store.findLine(header.LineNo) < 0);
    return stored;
}

void DataModel_Index::warnSaveFailed()
{
    Prompt::current()->warning(this, QStringLiteral("警告"), QStringLiteral("数据添加失败,可能是工程文件损坏"));
}

bool DataModel_Index::saveSingleData(const st_SaveHeader& header, const QList<st_SampleData_Send>& sends,
                                     const QList<st_RecvData_DUD4004>& recvs, int mode)
{
    if (recvs.isEmpty() || sends.size() != recvs.size())
        return false;
    ProjectStore::Saved saved;
    if (!store.saveSingle(header, sends, recvs, mode, &saved))
        return false;
    const std::shared_ptr<Data_Line>& line = lines.at(saved.line);
    if (saved.lineAdded)
        addTopLevelItem(new QTreeWidgetItem(QStringList(lineText(line->NAME, 0))));
    QTreeWidgetItem* lineItem = topLevelItem(saved.line);
    QTreeWidgetItem* pointItem = nullptr;
    if (saved.pointAdded) {
        QString text = numberText(header.PointNo);
        if (mode == 1)
            text += QStringLiteral("(自检)");
        pointItem = new QTreeWidgetItem(QStringList(text));
        pointItem->setToolTip(0, localTime(recvs.first().RecvTime, kTipTimeFormat));
        lineItem->addChild(pointItem);
        lineItem->setText(0, lineText(line->NAME, line->list_Data_Point.size()));
    } else {
        pointItem = lineItem->child(saved.point);
        // The items a point read from the file has yet to show come with
        // the new ones.
        if (makeSampleItems(pointItem)) {
            emit onPointStored(line->NAME, header.PointNo);
            return true;
        }
    }
    appendSampleItems(pointItem, recvs.size());
    emit onPointStored(line->NAME, header.PointNo);
    return true;
}

bool DataModel_Index::saveContinueData(const st_SaveHeader& header, const st_SampleData_Send& send,
                                       const st_RecvData_DUD4004& recv)
{
    if (header.ContinueMode != 1)
        return false;
    ProjectStore::Saved saved;
    if (!store.saveContinue(header, send, recv, &saved))
        return false;
    const std::shared_ptr<Data_Line>& line = lines.at(saved.line);
    if (saved.lineAdded)
        addTopLevelItem(new QTreeWidgetItem(QStringList(lineText(line->NAME, 0))));
    QTreeWidgetItem* lineItem = topLevelItem(saved.line);
    lineItem->addChild(new QTreeWidgetItem(QStringList(localTime(recv.RecvTime, kPointTimeFormat))));
    lineItem->setText(0, lineText(line->NAME, line->list_Data_Point.size()));
    emit onPointStored(line->NAME, line->list_Data_Point.last()->NAME);
    return true;
}


// ---------------------------------------------------------------- editing

bool DataModel_Index::currentTarget(Target* target) const
{
    if (curLine < 0 || curLine >= lines.size())
        return false;
    target->line = lines.at(curLine);
    const auto& points = target->line->list_Data_Point;
    if (curPoint < 0 || curPoint >= points.size())
        return true;
    target->point = points.at(curPoint);
    const auto& samples = target->point->list_Data_Sample;
    if (curSample < 0 || curSample >= samples.size())
        return true;
    target->sample = samples.at(curSample);
    return true;
}

void DataModel_Index::onNewUse(bool use)
{
    Target t;
    if (!isProjectOpen() || !currentTarget(&t))
        return;
    const int value = use ? 1 : 0;
    int* field = t.sample ? &t.sample->USE : t.point ? &t.point->USE : &t.line->USE;
    const int old = *field;
    *field = value;
    const QStringList columns = {QStringLiteral("USE")};
    const bool stored = t.sample ? store.storeColumns(*t.sample, columns)
        : t.point                ? store.storeColumns(*t.point, columns)
                                 : store.storeColumns(*t.line, columns);
    if (!stored) {
        // The check box shows what the file holds.
        *field = old;
        emit onCurUse(old != 0);
    }
}

void DataModel_Index::onNewLog(QString log)
{
    Target t;
    if (!isProjectOpen() || !currentTarget(&t))
        return;
    // Joined onto the note the file holds: the object in memory may hold an
    // empty one (exports and sections leave samples light).
    if (t.sample)
        store.appendNote(*t.sample, log);
    else if (t.point)
        store.appendNote(*t.point, log);
    else
        store.appendNote(*t.line, log);
    emit onLoadLog(t.sample ? t.sample->NOTE : t.point ? t.point->NOTE : t.line->NOTE);
}

void DataModel_Index::setProjectConfig(st_ProjectConfig config)
{
    if (!isProjectOpen())
        return;
    st_ProjectConfig old = project->getProjectConfig();
    project->setProjectConfig(&config);
    if (!store.storeColumns(*project, configColumns())) {
        project->setProjectConfig(&old);
        emit loadProjectConfig(old);
    }
}

QString DataModel_Index::GetWifiSSID()
{
    return WifiName::current();
}

void DataModel_Index::setWifiName()
{
    if (!isProjectOpen())
        return;
    // Asked before the transaction: the lookup may take many seconds and
    // must not hold the file's write lock meanwhile.
    const QString name = GetWifiSSID();
    const QString old = project->SSID;
    project->SSID = name;
    if (!store.storeColumns(*project, {QStringLiteral("SSID")}))
        project->SSID = old;
}

bool DataModel_Index::changePointName(int line, int point, double name)
{
    if (!isProjectOpen() || line < 0 || line >= lines.size())
        return false;
    const auto& points = lines.at(line)->list_Data_Point;
    if (point < 0 || point >= points.size())
        return false;
    const std::shared_ptr<Data_Point> P = points.at(point);
    if (sameNumber(P->NAME, name))
        return true;
    const double old = P->NAME;
    P->NAME = name;
    if (!store.storeColumns(*P, {QStringLiteral("NAME")})) {
        P->NAME = old;
        Prompt::current()->warning(this, QStringLiteral("警告"), QStringLiteral("点号修改失败,可能是工程文件损坏"));
        return false;
    }
    if (QTreeWidgetItem* lineItem = topLevelItem(line)) {
        if (QTreeWidgetItem* item = lineItem->child(point))
            item->setText(0, numberText(name));
    }
    return true;
}

void DataModel_Index::onChangePointNameDl(QPoint pos)
{
    QTreeWidgetItem* item = itemAt(pos);
    if (!item || !item->parent() || item->parent()->parent())
        return;
    const int line = indexOfTopLevelItem(item->parent());
    const int point = item->parent()->indexOfChild(item);
    bool isNumber = false;
    item->text(0).toDouble(&isNumber);
    if (!isNumber || line < 0 || line >= lines.size() || point < 0
        || point >= lines.at(line)->list_Data_Point.size())
        return;
    // Start from the stored number, not the rounded item text, with enough
    // decimals that OK without an edit gives the same number back.
    const double stored = lines.at(line)->list_Data_Point.at(point)->NAME;
    double value = stored;
    if (!Prompt::current()->getDouble(this, QStringLiteral("修改点号"), QStringLiteral("请输入新的点号:"), &value,
                                      -99999999.0, 99999999.0, decimalsFor(stored)))
        return;
    changePointName(line, point, value);
}
