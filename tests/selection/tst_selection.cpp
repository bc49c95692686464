// Selecting lines, points and samples in the project tree, the window of a
// continuous line, and the assembly of long lines on the thread pool.
#include "DataModel_Index.h"

#include "Data_Blob.h"
#include "Data_Calc.h"
#include "LineAssembly.h"
#include "Orm.h"
#include "Resources.h"

#include <QtTest>

#include <QTemporaryDir>
#include <QThreadPool>

namespace {

QByteArray blob(const QVector<double>& v)
{
    return Data_Blob::VectorToByteArray(v);
}

const qint64 kBaseTime = QDateTime(QDate(2026, 4, 1), QTime(8, 0)).toMSecsSinceEpoch();

// Writes a project file through the data layer, line by line.
class FileBuilder
{
public:
    explicit FileBuilder(const QString& path)
    {
        initDataClasses();
        orm::Database::clearAllDatabases();
        orm::Database::setDatabaseName(path);
        orm::SqlTypes::set(QStringLiteral("double"), QStringLiteral("REAL"));
        orm::dao::create_table<Data_Project>();
        orm::dao::create_table<Data_WorkSet>();
        orm::dao::create_table<Data_Line>();
        orm::dao::create_table<Data_Point>();
        orm::dao::create_table<Data_Sample>();
    }

    // A line of `points` points numbered 0, 1, ... (or from `names`), each
    // with `samples` samples; sample k of every point has period 100 + 50 k.
    bool line(double name, int type, int points, int samples, const QString& note = QString(),
              const QVector<double>& names = QVector<double>(), int pointType = 0)
    {
        orm::Transaction tx;
        Data_Line l;
        l.NAME = name;
        l.TYPE = type;
        l.USE = 1;
        l.NOTE = note;
        bool ok = !orm::dao::insert(l).isValid();
        auto lp = std::make_shared<Data_Line>(l.ID);
        for (int i = 0; i < points; ++i) {
            Data_Point p;
            p.NAME = names.isEmpty() ? i : names.value(i);
            p.USE = 1;
            p.TYPE = pointType;
            p.NOTE = QStringLiteral("point %1").arg(i);
            p.Data_LineID = lp;
            ok = ok && !orm::dao::insert(p).isValid();
            auto pp = std::make_shared<Data_Point>(p.ID);
            for (int k = 0; k < samples; ++k) {
                Data_Sample s;
                s.StartTime = kBaseTime + 1000LL * i + k;
                s.TYPE = 1;
                s.PERIOD = 100 + 50 * k;
                s.SendFs = 25;
                s.RecvFs = 625000;
                s.SampleSendFs = 2000000;
                s.SampleOffFs = 2000000;
                s.DATA_SEND = blob({10, 10, 10, 10, -10, -10, -10, -10});
                s.DATA_SOFF = blob({0, 0, 0, 0, 0, 0});
                s.DATA_RECV_POS = blob({1000, 10000, 100000});
                const double scale = 1.0 + i + 0.1 * k;
                s.DATA_RECV = blob({1.1e-2 * scale, 1.1e-3 * scale, 1.1e-4 * scale});
                s.USE = 1;
                s.NOTE = QStringLiteral("sample %1").arg(k);
                s.Data_PointID = pp;
                ok = ok && !orm::dao::insert(s).isValid();
            }
        }
        return ok && tx.commit();
    }
};

// Line indices of the test project.
enum { kSingle, kTow, kOnePoint, kLine600, kLine601, kLine2000 };

} // namespace

class TestSelection : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;
    DataModel_Index* m_tree = nullptr;
    Data_Calc* m_calc = nullptr;
    QStringList m_log;

    void record(QObject* tree, Data_Calc* calc)
    {
        auto* t = static_cast<DataModel_Index*>(tree);
        connect(t, &DataModel_Index::onSelectLine, this, [this](int k) { m_log << QString("onSelectLine(%1)").arg(k); });
        connect(t, &DataModel_Index::onSelectPoint, this, [this](int k) { m_log << QString("onSelectPoint(%1)").arg(k); });
        connect(t, &DataModel_Index::onCurUse, this, [this](bool u) { m_log << QString("onCurUse(%1)").arg(u); });
        connect(t, &DataModel_Index::onLoadLog, this, [this](QString s) { m_log << QString("onLoadLog(%1)").arg(s); });
        connect(t, &DataModel_Index::onSendIChanged, this, [this](QString s) { m_log << QString("SendI(%1)").arg(s); });
        connect(t, &DataModel_Index::onSendOffChanged, this, [this](double v) { m_log << QString("SendOff(%1)").arg(v); });
        connect(t, &DataModel_Index::onParamFsChanged, this, [this](QString s) { m_log << QString("ParamFs(%1)").arg(s); });
        connect(t, &DataModel_Index::onParamPeriodChanged, this, [this](int v) { m_log << QString("ParamPeriod(%1)").arg(v); });
        connect(t, &DataModel_Index::onParamRepeatChanged, this, [this](int v) { m_log << QString("ParamRepeat(%1)").arg(v); });
        connect(t, &DataModel_Index::onData_Recv_Line, this,
                [this](QString title, QVector<double> names, QVector<double> times, QVector<QVector<double> > m, int pos) {
                    m_log << QString("section(%1,%2..%3 of %4,%5 gates,%6 times,%7)")
                                 .arg(title).arg(names.value(0)).arg(names.value(names.size() - 1))
                                 .arg(names.size()).arg(m.size()).arg(times.size()).arg(pos);
                    m_sectionThreads << QThread::currentThread();
                });
        if (calc) {
            connect(calc, &Data_Calc::newGraph_Send, this, [this](double, QVector<double>) { m_log << "newGraph_Send"; });
            connect(calc, &Data_Calc::newGraph_Off, this, [this](double, QVector<double>) { m_log << "newGraph_Off"; });
            connect(calc, &Data_Calc::graphAxisScale_Log, this,
                    [this](bool x, bool y) { m_log << QString("graphAxisScale_Log(%1,%2)").arg(x).arg(y); });
            connect(calc, &Data_Calc::setGraphTitle, this,
                    [this](QString title, bool) { m_log << QString("setGraphTitle(%1)").arg(title); });
        }
    }

    QStringList sections() const { return m_log.filter(QStringLiteral("section(")); }

    // Lets every pool task end and every queued result arrive.
    static void settle()
    {
        QTRY_COMPARE_WITH_TIMEOUT(QThreadPool::globalInstance()->activeThreadCount(), 0, 120000);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    QList<QThread*> m_sectionThreads;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        initVodezResources();
        QLoggingCategory::setFilterRules(QStringLiteral("vodez.orm.sql.debug=false"));
        m_path = m_dir.filePath(QStringLiteral("select.VODEZ"));
        {
            FileBuilder b(m_path);
            QVERIFY(b.line(3.7, 0, 3, 5, QStringLiteral("line note"), {12.5, 20, 30}));
            QVERIFY(b.line(5, 1, 100, 1));
            QVERIFY(b.line(6, 0, 1, 1));
            QVERIFY(b.line(7, 0, 600, 1));
            QVERIFY(b.line(8, 0, 601, 1));
            QVERIFY(b.line(9, 0, 2000, 1));
        }
        m_calc = new Data_Calc(this);
        g_recvGain = 11.0;
        m_tree = new DataModel_Index();
        m_tree->SetDataCalc(m_calc);
        QVERIFY(m_tree->openProject(m_path));
        QCOMPARE(m_tree->Lines().size(), 6);
        m_tree->resize(300, 600);
        m_tree->show();
        record(m_tree, m_calc);
    }

    void cleanupTestCase()
    {
        delete m_tree;
        // As the program ends: the pool drained, then every connection
        // closed while main still runs.
        QVERIFY(QThreadPool::globalInstance()->waitForDone(60000));
        orm::Database::closeAllDatabases();
        QVERIFY(QSqlDatabase::connectionNames().isEmpty());
    }

    void init()
    {
        settle();
        m_log.clear();
        m_sectionThreads.clear();
    }

    void selectingAPoint()
    {
        const auto point = m_tree->Lines()[kSingle]->list_Data_Point[0];
        point->TYPE = 7;
        m_tree->setIndex(kSingle, 0, -1);
        // Five used samples of 10 A with periods 100..300 (sum 1000); the
        // out-of-range TYPE is processed as a TEM sounding and reset.
        QCOMPARE(m_log, (QStringList{"onSelectPoint(0)", "onCurUse(1)", "onLoadLog(point 0)", "newGraph_Send",
                                     "newGraph_Off", "SendI(10)", "SendOff(1)", "ParamFs(25)", "ParamPeriod(200)",
                                     "ParamRepeat(5)", "graphAxisScale_Log(1,1)", "setGraphTitle(3线 12.5点)"}));
        QCOMPARE(point->TYPE, 0);
    }

    void selectingASample()
    {
        m_tree->setIndex(kSingle, 0, 2);
        QCOMPARE(m_log, (QStringList{"onSelectPoint(0)", "onCurUse(1)", "onLoadLog(sample 2)", "newGraph_Send",
                                     "newGraph_Off", "graphAxisScale_Log(1,1)", "setGraphTitle(3线 12.5点 3采样)",
                                     "SendI(10)", "SendOff(1)", "ParamFs(25)", "ParamPeriod(200)",
                                     "ParamRepeat(1)"}));
    }

    void selectingALine()
    {
        m_tree->setIndex(kSingle, -1, -1);
        // Assembled at once: the section comes first, numbers truncated.
        QCOMPARE(m_log, (QStringList{"section(3线,12.5..30 of 3,3 gates,3 times,-1)", "onSelectLine(0)",
                                     "onCurUse(1)", "onLoadLog(line note)", "SendI(0)", "SendOff(0)", "ParamFs(0)",
                                     "ParamPeriod(0)", "ParamRepeat(0)"}));
    }

    void doubleClickAndReturnSelect()
    {
        QSignalSpy activated(m_tree, &QAbstractItemView::activated);
        m_tree->expandItem(m_tree->topLevelItem(kSingle)->child(1));   // makes its sample items
        QTreeWidgetItem* sampleItem = m_tree->topLevelItem(kSingle)->child(1)->child(0);
        m_tree->setCurrentItem(sampleItem);
        m_log.clear();
        QTest::keyClick(m_tree, Qt::Key_Return);
        QCOMPARE(m_log.value(2), QStringLiteral("onLoadLog(sample 0)"));
        QVERIFY(m_log.contains(QStringLiteral("setGraphTitle(3线 20点 1采样)")));
        QCOMPARE(activated.count(), 1);   // the view's own handling still ran

        // Other keys only move, as the view moves.
        m_log.clear();
        m_tree->collapseAll();
        m_tree->setCurrentItem(m_tree->topLevelItem(kSingle));
        QTest::keyClick(m_tree, Qt::Key_Down);
        QVERIFY(m_log.isEmpty());
        QCOMPARE(m_tree->currentItem(), m_tree->topLevelItem(kTow));

        // The view's double click on an item selects it.
        m_log.clear();
        emit m_tree->doubleClicked(m_tree->model()->index(kSingle, 0));
        QVERIFY(m_log.contains(QStringLiteral("onSelectLine(0)")));

        // A double click on another line collapses the line clicked before.
        m_tree->expandItem(m_tree->topLevelItem(kSingle));
        m_tree->onDoubleClicked(m_tree->model()->index(kSingle, 0));
        m_tree->expandItem(m_tree->topLevelItem(kSingle));
        m_tree->onDoubleClicked(m_tree->model()->index(kOnePoint, 0));
        QVERIFY(!m_tree->topLevelItem(kSingle)->isExpanded());
    }

    void aLineOfOnePointShowsNothing()
    {
        m_tree->setIndex(kOnePoint, -1, -1);
        QVERIFY(m_log.isEmpty());
        m_tree->setIndex(42, -1, -1);
        QCOMPARE(m_log, QStringList{"onLoadLog()"});
    }

    void windowOfAContinuousLine_data()
    {
        QTest::addColumn<int>("point");
        QTest::addColumn<QString>("section");
        QTest::newRow("start") << 3 << "section(5线,0..33 of 34,3 gates,3 times,3)";
        QTest::newRow("middle") << 50 << "section(5线,21..80 of 60,3 gates,3 times,29)";
        QTest::newRow("end") << 95 << "section(5线,40..99 of 60,3 gates,3 times,55)";
    }
    void windowOfAContinuousLine()
    {
        QFETCH(int, point);
        QFETCH(QString, section);
        m_tree->setIndex(kTow, point, -1);
        QCOMPARE(m_log.first(), QStringLiteral("onSelectPoint(1)"));
        const QString title = QDateTime::fromMSecsSinceEpoch(kBaseTime + 1000LL * point)
                                  .toString(QStringLiteral("yyyy.MM.dd hh:mm:ss.zzz"));
        QVERIFY(m_log.contains(QStringLiteral("setGraphTitle(5线 %1)").arg(title)));
        QCOMPARE(m_log.last(), section);
        QCOMPARE(sections().size(), 1);
    }

    void sixHundredPointsAtOnceMoreOnThePool()
    {
        m_tree->setIndex(kLine600, -1, -1);
        QCOMPARE(m_log.value(0), QStringLiteral("section(7线,0..599 of 600,3 gates,3 times,-1)"));
        QCOMPARE(m_log.value(1), QStringLiteral("onSelectLine(0)"));

        m_log.clear();
        m_sectionThreads.clear();
        m_tree->setIndex(kLine601, -1, -1);
        QCOMPARE(m_log.value(0), QStringLiteral("onSelectLine(0)"));
        QVERIFY(sections().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(sections().size(), 1, 60000);
        QCOMPARE(sections().first(), QStringLiteral("section(8线,0..600 of 601,3 gates,3 times,-1)"));
        // Delivered on the tree's own thread, through its event loop.
        QCOMPARE(m_sectionThreads, QList<QThread*>{m_tree->thread()});
    }

    void thePoolKeepsNoConnectionAfterAnAssembly()
    {
        // The assembly reads over a connection of its pool thread, which
        // goes with the task: the thread idles on in the pool, and its own
        // end may come while the program's exit handlers run.
        m_tree->setIndex(kLine601, -1, -1);
        QTRY_COMPARE_WITH_TIMEOUT(sections().size(), 1, 60000);
        settle();
        const QStringList mine{orm::Database::getDatabase().connectionName()};
        QCOMPARE(orm::Database::connectionNames(), mine);
        QCOMPARE(QSqlDatabase::connectionNames(), mine);

        // A dropped request (another assembly runs) opens none either.
        g_lineWorkerMutex.lock();
        m_tree->setIndex(kLine601, -1, -1);
        QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
        g_lineWorkerMutex.unlock();
        QCOMPARE(QSqlDatabase::connectionNames(), mine);

        // Nor does an assembly called off by closing the tree's project.
        m_tree->setIndex(kLine2000, -1, -1);
        m_tree->closeProject();
        settle();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(60000));
        const QString reopened = orm::Database::getDatabase().connectionName();
        QCOMPARE(orm::Database::connectionNames(), QStringList{reopened});
        QVERIFY(m_tree->openProject(m_path));
        m_log.clear();
    }

    void aBusyAssemblyDropsTheRequest()
    {
        // Another assembly holds the worker lock: the request is dropped.
        g_lineWorkerMutex.lock();
        m_tree->setIndex(kLine601, -1, -1);
        QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
        g_lineWorkerMutex.unlock();
        settle();
        QVERIFY(sections().isEmpty());
        QVERIFY(m_log.contains(QStringLiteral("onSelectLine(0)")));

        // Two quick requests for a long line: the second finds the first
        // running and is dropped.
        m_log.clear();
        m_tree->setIndex(kLine2000, -1, -1);
        m_tree->setIndex(kLine2000, -1, -1);
        QTRY_COMPARE_WITH_TIMEOUT(sections().size(), 1, 120000);
        settle();
        QCOMPARE(sections(), QStringList{"section(9线,0..1999 of 2000,3 gates,3 times,-1)"});
        QCOMPARE(m_log.filter("onSelectLine").size(), 2);
    }

    void theGuiGoesOnWithTheSameLineMeanwhile()
    {
        // The task reads its own copies: the tree may replace the line's
        // sample lists (a point selection does) while it runs.
        m_tree->setIndex(kLine2000, -1, -1);
        for (int p = 0; p < 2000; p += 97)
            m_tree->setIndex(kLine2000, p, -1);
        QTRY_COMPARE_WITH_TIMEOUT(sections().size(), 1, 120000);
        QCOMPARE(sections().first(), QStringLiteral("section(9线,0..1999 of 2000,3 gates,3 times,-1)"));
    }

    void closingWaitsAndDropsTheResult()
    {
        m_tree->setIndex(kLine2000, -1, -1);
        m_tree->closeProject();
        // Nothing of the closed project arrives later.
        settle();
        QTest::qWait(50);
        QVERIFY(sections().isEmpty());

        // Reopened, the tree assembles again.
        QVERIFY(m_tree->openProject(m_path));
        m_tree->setIndex(kLine601, -1, -1);
        QTRY_COMPARE_WITH_TIMEOUT(sections().size(), 1, 60000);

        // A tree that goes away while its assembly runs waits for it.
        m_tree->closeProject();
        {
            DataModel_Index tree;
            tree.SetDataCalc(m_calc);
            QVERIFY(tree.openProject(m_path));
            QSignalSpy section(&tree, &DataModel_Index::onData_Recv_Line);
            tree.setIndex(kLine2000, -1, -1);
        }
        settle();
        QVERIFY(m_tree->openProject(m_path));
        m_tree->setIndex(kSingle, -1, -1);
        QCOMPARE(sections().size(), 2);
    }

    void soundingsByTime_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QList<double> >("pointNos");
        QTest::newRow("offset") << 0 << QList<double>{0.0, 0.01, 0.02};
        QTest::newRow("rounded offset") << 1 << QList<double>{0.0, 0.0, 0.0};
        QTest::newRow("group") << 2 << QList<double>{0.0, 1.0, 2.0};
    }
    void soundingsByTime()
    {
        QFETCH(int, type);
        QFETCH(QList<double>, pointNos);
        // Points 0..29 of the continuous line, in stretches of 10 numbers.
        QList<st_SaveHeader> headers;
        QList<QList<st_RecvData_DUD4004> > recvs;
        QList<QList<st_SampleData_Send> > sends;
        m_tree->GetRecvDataByTime(10, QDateTime::fromMSecsSinceEpoch(kBaseTime),
                                  QDateTime::fromMSecsSinceEpoch(kBaseTime + 29000), &headers, &recvs, &sends, type);
        // Three stretches, then the closing group at the line's last point,
        // which nothing matched any more.
        QCOMPARE(headers.size(), 4);
        QCOMPARE(recvs.size(), 4);
        QCOMPARE(sends.size(), 4);
        for (int g = 0; g < 3; ++g) {
            QCOMPARE(recvs[g].size(), 10);
            QCOMPARE(sends[g].size(), 10);
            QCOMPARE(headers[g].LineNo, 5.0);
            QCOMPARE(headers[g].PointNo, pointNos[g]);
            QCOMPARE(headers[g].ContinueMode, quint8(1));
            QCOMPARE(headers[g].ParamFs, 25.0f);
            QCOMPARE(headers[g].ParamPeriod, 100);
            QCOMPARE(headers[g].RepeatCount, 1);
            QCOMPARE(recvs[g].first().RecvTime, kBaseTime + 10000LL * g);
        }
        QVERIFY(recvs[3].isEmpty());
        QVERIFY(sends[3].isEmpty());
    }
};

QTEST_MAIN(TestSelection)
#include "tst_selection.moc"
