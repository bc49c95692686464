// Reading stored soundings from a small project file: a point's values, its
// curves, columns fetched on demand and released, and line sections.
#include "CalcTestUtil.h"
#include "DataClasses.h"
#include "Data_Calc.h"
#include "Orm.h"
#include "Resources.h"
#include "TimeChannel.h"

#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using SamplePtr = std::shared_ptr<Data_Sample>;
using PointPtr = std::shared_ptr<Data_Point>;
using LinePtr = std::shared_ptr<Data_Line>;

namespace {

// Counts the statements the data layer runs while tracing is on.
int g_statements = 0;
QtMessageHandler g_previousHandler = nullptr;
void countStatements(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    if (ctx.category && QByteArray(ctx.category) == "vodez.orm.sql") {
        ++g_statements;
        return;
    }
    if (g_previousHandler)
        g_previousHandler(type, ctx, msg);
}

struct SampleSpec
{
    Vec values;
    Vec times;
    Vec current;
    Vec off;
    int use = 1;
    int period = 1;
    double sendFs = 25.0;
    double offFs = 2e6;
    qint64 start = 0;
};

} // namespace

class TestStoredReaders : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    Vec m_table;
    int m_fileNo = 0;

    // A fresh project file with the three tables; the data layer works on it.
    void newFile()
    {
        orm::Database::clearAllDatabases();
        orm::Database::setDatabaseName(m_dir.filePath(QStringLiteral("p%1.VODEZ").arg(++m_fileNo)));
        QVERIFY(!orm::dao::create_table<Data_Line>().isValid());
        QVERIFY(!orm::dao::create_table<Data_Point>().isValid());
        QVERIFY(!orm::dao::create_table<Data_Sample>().isValid());
    }

    LinePtr storeLine(double name)
    {
        auto line = std::make_shared<Data_Line>();
        line->NAME = name;
        line->USE = 1;
        orm::dao::insert(*line);
        return line;
    }

    // Stores a point with its samples and returns it as an opened project
    // holds it: light samples (ID, USE, PERIOD, SendFs).
    PointPtr storePoint(const LinePtr& line, double name, int type, const QList<SampleSpec>& samples, int use = 1)
    {
        auto point = std::make_shared<Data_Point>();
        point->NAME = name;
        point->TYPE = type;
        point->USE = use;
        point->Data_LineID = line;
        orm::dao::insert(*point);
        for (const SampleSpec& spec : samples) {
            Data_Sample s;
            s.StartTime = spec.start;
            s.TYPE = 2;
            s.PERIOD = spec.period;
            s.DATA_RECV = blobOf(spec.values);
            s.DATA_RECV_POS = blobOf(spec.times);
            s.DATA_SEND = blobOf(spec.current);
            s.DATA_SOFF = blobOf(spec.off);
            s.SendFs = spec.sendFs;
            s.SampleSendFs = 2e6;
            s.SampleOffFs = spec.offFs;
            s.RecvFs = 625000;
            s.USE = spec.use;
            s.NOTE = QStringLiteral("stored");
            s.Data_PointID = point;
            orm::dao::insert(s);
        }
        orm::dao::fetch_by_query_with_relation(
            QStringList{QStringLiteral("{USE,PERIOD,SendFs}")},
            orm::Query().where(QStringLiteral("Data_Sample.Data_PointID")).isEqualTo(point->ID),
            point->list_Data_Sample);
        line->list_Data_Point.append(point);
        return point;
    }

    // Gate times that put one sample on each table centre from index first:
    // every sample keeps its own gate and survives the 80 us start cut.
    Vec centres(int first, int count) const { return m_table.mid(first, count); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        initVodezResources();
        initDataClasses();
        Data_Calc calc(nullptr);
        m_table = g_timeTable;
        QCOMPARE(m_table.size(), 72);
        g_previousHandler = qInstallMessageHandler(countStatements);
    }
    void init()
    {
        g_recvGain = 11.0;
        g_startTime = 80;
        g_timeTableLoaded = true;
        newFile();
    }
    void cleanupTestCase()
    {
        qInstallMessageHandler(g_previousHandler);
        orm::Database::clearAllDatabases();
    }

    void sampleCurrent_data()
    {
        QTest::addColumn<Vec>("current");
        QTest::addColumn<double>("expected");
        QTest::newRow("3 values") << Vec{1, 2, 3} << 1e-5;
        QTest::newRow("empty") << Vec() << 1e-5;
        QTest::newRow("4 values, halves differ") << Vec{0, 0, 5, 0} << 9999.0;
        QTest::newRow("7 values, halves equal") << Vec{2, 0, 0, 2, 0, 0, 0} << 1e-5;
        // 16 samples, +/-20000 A square wave: amplitude 20000.
        Vec big(16, 20000.0);
        for (int i = 8; i < 16; ++i)
            big[i] = -20000.0;
        QTest::newRow("amplitude 20000") << big << 9999.0;
        Vec normal(16, 12.5);
        for (int i = 8; i < 16; ++i)
            normal[i] = -12.5;
        QTest::newRow("amplitude 12.5") << normal << 12.5;
        QTest::newRow("zeros") << Vec(16, 0.0) << 1e-5;
        QTest::newRow("NaN") << Vec(16, std::numeric_limits<double>::quiet_NaN()) << 1e-5;
    }
    void sampleCurrent()
    {
        QFETCH(Vec, current);
        QFETCH(double, expected);
        Data_Sample s;
        s.DATA_SEND = blobOf(current);
        QCOMPARE(s.GetSendI(), expected);
        Vec data{2.0, -4.0};
        s.revDataDivI(&data);
        COMPARE_VEC(data, (Vec{2.0 / expected, -4.0 / expected}));
    }

    void sampleRecords()
    {
        Data_Sample s;
        s.TYPE = 1;
        s.SendFs = 25;
        s.RecvFs = 625000;
        s.StartTime = 1234;
        s.DATA_RECV = blobOf({22, 44, 66});
        s.DATA_RECV_POS = blobOf({10, 20});          // damaged: one time short
        s.DATA_RECV_LEN = blobOf({1, 1, 1});
        Vec current(16, 2.0);
        for (int i = 8; i < 16; ++i)
            current[i] = -2.0;
        s.DATA_SEND = blobOf(current);

        const st_RecvData_DUD4004 raw = s.GetRecvData_Dud4004_RAW(true);
        QCOMPARE(raw.DataType, 1);
        QCOMPARE(raw.BaseFreq, 25.0);
        QCOMPARE(raw.SampleRate, 625000.0);
        QCOMPARE(raw.RecvTime, qint64(1234));
        QCOMPARE(raw.Widths, Vec());
        QCOMPARE(raw.Values, (Vec{11, 22, 33}));     // divided by the 2 A current
        QCOMPARE(raw.Times, (Vec{10, 20}));

        // Processed in mode 1: paired up to the shorter vector.
        const st_RecvData_DUD4004 done = s.GetRecvData_Dud4004(false, 1);
        QCOMPARE(done.Values, (Vec{10, 10}));
        COMPARE_VEC(done.Times, (Vec{4, 8}));

        const st_SampleData_Send send = s.GetSendData();
        QCOMPARE(send.DATA_SEND, s.DATA_SEND);
        QCOMPARE(send.SendFs, 25.0);
    }

    void pointValues()
    {
        const LinePtr line = storeLine(1);
        Vec current(16, 3.0);
        for (int i = 8; i < 16; ++i)
            current[i] = -3.0;
        Vec current2 = current;
        for (double& x : current2)
            x *= 3;                                   // 9 A
        const Vec settled(6, 0.0);                   // turn-off 1.0 us at 2 MHz
        const qint64 at = QDateTime(QDate(2026, 3, 1), QTime(8, 30)).toMSecsSinceEpoch();
        SampleSpec a{{1, 2, 3}, {10, 20, 30}, current, settled, 1, 4, 25.0, 2e6, at};
        SampleSpec b{{3, 4}, {10, 20}, current2, settled, 1, 6, 25.0, 2e4, at + 1000};   // 100 us
        SampleSpec unused{{100, 100}, {10, 20}, Vec(16, 50.0), settled, 0, 99, 50.0, 2e6, at + 2000};
        const PointPtr p = storePoint(line, 10, 1, {unused, a, b});

        QCOMPARE(p->GetSampleSize(), 3);
        QCOMPARE(p->GetSendI(), (3.0 + 9.0) / 2);
        QCOMPARE(p->GetOffTime(), (1.0 + 100.0) / 2);
        QCOMPARE(p->GetSendFs(), 50.0);   // the first entry, used or not
        QCOMPARE(p->GetPeriod(), 10);
        QCOMPARE(p->GetStartTime(), QDateTime::fromMSecsSinceEpoch(at + 2000));
        const QList<st_SampleData_Send> sends = p->GetSendData();
        QCOMPARE(sends.size(), 2);
        QCOMPARE(sends[1].DATA_SEND, blobOf(current2));
        QCOMPARE(sends[1].SampleOffFs, 2e4);

        // Curves (1, 2, 3) and (3, 4) stack to (2, 3, 3) on the first times
        // (self-check point: not gated, times / 2.5).
        Vec v, t;
        p->GetRecvData(&v, &t, false);
        QCOMPARE(v, (Vec{2, 3, 3}));
        COMPARE_VEC(t, (Vec{4, 8, 12}));
        QCOMPARE(p->GetRSD().size(), 3);

        // Divided by each sample's own current first.
        p->GetRecvData(&v, &t, true);
        COMPARE_VEC(v, (Vec{(1.0 / 3 + 3.0 / 9) / 2, (2.0 / 3 + 4.0 / 9) / 2, 3.0 / 3}));

        const QList<st_RecvData_DUD4004> recs = p->GetRecvData_Dud4004_RAW(false);
        QCOMPARE(recs.size(), 2);
        QCOMPARE(recs[0].Values, (Vec{1, 2, 3}));
        QCOMPARE(recs[1].RecvTime, at + 1000);
    }

    void columnsFetchedOnDemandAndReleased()
    {
        const LinePtr line = storeLine(1);
        Vec current(16, 1.0);
        const PointPtr p = storePoint(line, 10, 0, {SampleSpec{centres(17, 5), centres(17, 5), current, {}}});
        const SamplePtr light = p->list_Data_Sample.first();
        QVERIFY(light->DATA_SEND.isEmpty());
        QCOMPARE(light->NOTE, QString());
        QCOMPARE(light->PERIOD, 1);
        QCOMPARE(light->SendFs, 25.0);

        p->GetSendI();
        // Fetched in place, only what was asked for.
        QCOMPARE(p->list_Data_Sample.first(), light);
        QCOMPARE(light->DATA_SEND, blobOf(current));
        QVERIFY(light->DATA_RECV.isEmpty());

        p->GetSendData();                 // whole
        QCOMPARE(light->NOTE, QStringLiteral("stored"));
        QCOMPARE(light->RecvFs, 625000.0);

        Vec v, t;
        p->GetRecvData(&v, &t, false);
        QCOMPARE(v.size(), 5);
        // Light again: new objects, arrays gone; the old object is untouched.
        QCOMPARE(p->list_Data_Sample.size(), 1);
        const SamplePtr fresh = p->list_Data_Sample.first();
        QVERIFY(fresh != light);
        QCOMPARE(fresh->ID, light->ID);
        QVERIFY(fresh->DATA_RECV.isEmpty() && fresh->DATA_SEND.isEmpty());
        QCOMPARE(fresh->NOTE, QString());
        QCOMPARE(fresh->RecvFs, 1.0);
        QCOMPARE(fresh->USE, 1);
        QCOMPARE(fresh->PERIOD, 1);
        QCOMPARE(fresh->SendFs, 25.0);
        QVERIFY(!light->DATA_RECV.isEmpty());
    }

    void pointWithoutUsedSamples()
    {
        const LinePtr line = storeLine(1);
        const PointPtr empty = storePoint(line, 10, 0, {});
        g_statements = 0;
        orm::Database::setTraceSqlQuery(true);
        Vec v{1}, t{1};
        empty->GetRecvData(&v, &t, false);
        orm::Database::setTraceSqlQuery(false);
        QCOMPARE(g_statements, 0);                    // no fetch, no query
        QVERIFY(v.isEmpty() && t.isEmpty());
        QCOMPARE(empty->GetSendI(), 0.0);
        QCOMPARE(empty->GetOffTime(), 0.0);
        QCOMPARE(empty->GetSendFs(), 0.0);
        QCOMPARE(empty->GetPeriod(), 0);
        QVERIFY(empty->GetStartTime().isNull());
        QVERIFY(empty->GetSendData().isEmpty());
        QVERIFY(empty->GetRecvData_Dud4004(false, 0).isEmpty());
        QVERIFY(empty->GetRSD().isEmpty());

        SampleSpec off{{1, 2}, {10, 20}, Vec(16, 1.0), Vec(6, 0.0), 0, 7, 33.0, 2e6, 5000};
        const PointPtr unused = storePoint(line, 20, 0, {off, off});
        QCOMPARE(unused->GetSendI(), 0.0);
        QCOMPARE(unused->GetOffTime(), 0.0);
        QCOMPARE(unused->GetPeriod(), 0);
        QCOMPARE(unused->GetSendFs(), 33.0);
        QCOMPARE(unused->GetStartTime(), QDateTime::fromMSecsSinceEpoch(5000));
        unused->GetRecvData(&v, &t, false);
        QVERIFY(v.isEmpty() && t.isEmpty());
    }

    void pointTypeDecidesTheMode_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("typeAfter");
        QTest::addColumn<bool>("gated");
        QTest::newRow("TEM") << 0 << 0 << true;
        QTest::newRow("self-check") << 1 << 1 << false;
        QTest::newRow("2 processes as TEM and stays") << 2 << 2 << true;
        QTest::newRow("7 becomes 0") << 7 << 0 << true;
        QTest::newRow("-1 becomes 0") << -1 << 0 << true;
    }
    void pointTypeDecidesTheMode()
    {
        QFETCH(int, type);
        QFETCH(int, typeAfter);
        QFETCH(bool, gated);
        const LinePtr line = storeLine(1);
        // Times off the table centres: gating moves them onto the centres.
        const PointPtr p = storePoint(line, 10, type, {SampleSpec{{11, 22}, {201, 301}, Vec(16, 1.0), {}}});
        Vec v, t;
        p->GetRecvData(&v, &t, false);
        QCOMPARE(p->TYPE, typeAfter);
        if (gated) {
            COMPARE_VEC(t, (Vec{206.9138 / 2.5, 297.6351 / 2.5}));
            QCOMPARE(v, (Vec{1, 2}));
        } else {
            COMPARE_VEC(t, (Vec{201 / 2.5, 301 / 2.5}));
            QCOMPARE(v, (Vec{10, 10}));
        }
    }

    void failedRefetchKeepsTheSamples()
    {
        // Whole samples in memory (as after a save) on a file whose tables
        // cannot be read: the per-sample fetches fail and leave the samples
        // as they are, and so does reloading the light list.
        auto point = std::make_shared<Data_Point>(42);
        point->TYPE = 1;
        point->USE = 1;
        for (int i = 0; i < 2; ++i) {
            auto s = std::make_shared<Data_Sample>(100 + i);
            s->USE = 1;
            s->PERIOD = 3;
            s->SendFs = 25;
            s->DATA_RECV = blobOf({1.0 + 2 * i, 2.0 + 2 * i});
            s->DATA_RECV_POS = blobOf({10, 20});
            s->DATA_SEND = blobOf(Vec(16, 1.0));
            s->DATA_SOFF = blobOf(Vec(6, 0.0));
            s->DATA_RECV_LEN = blobOf({1, 1});
            point->list_Data_Sample.append(s);
        }
        const auto before = point->list_Data_Sample;
        orm::Database::clearAllDatabases();
        orm::Database::setDatabaseName(m_dir.filePath(QStringLiteral("no-tables.VODEZ")));

        Vec v, t;
        point->GetRecvData(&v, &t, false);
        QCOMPARE(v, (Vec{2, 3}));
        QCOMPARE(point->list_Data_Sample, before);    // the same objects
        for (const SamplePtr& s : point->list_Data_Sample) {
            QVERIFY(s->DATA_RECV.isEmpty() && s->DATA_RECV_POS.isEmpty() && s->DATA_RECV_LEN.isEmpty());
            QVERIFY(s->DATA_SEND.isEmpty() && s->DATA_SOFF.isEmpty());
            QCOMPARE(s->USE, 1);
            QCOMPARE(s->PERIOD, 3);
        }
        QCOMPARE(point->GetSampleSize(), 2);
    }

    void lineWindow_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<Vec>("names");
        Vec all;
        for (int i = 0; i < 10; ++i)
            all.append(100 + i);
        QTest::newRow("-5 to 1000: every point") << -5 << 1000 << all;
        QTest::newRow("7 to 3: index 7 only") << 7 << 3 << Vec{107};
        QTest::newRow("12 on 10 points: index 9 only") << 12 << 12 << Vec{109};
        QTest::newRow("2 to 4") << 2 << 4 << Vec{102, 103, 104};
    }
    void lineWindow()
    {
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(Vec, names);
        const LinePtr line = storeLine(3);
        for (int i = 0; i < 10; ++i)
            storePoint(line, 100 + i, 0, {SampleSpec{Vec(5, 11.0 * (i + 1)), centres(17, 5), Vec(16, 1.0), {}}});
        QVector<Vec> matrix;
        Vec times, gotNames;
        line->GetRecvData(&matrix, &times, &gotNames, false, first, last, false);
        QCOMPARE(gotNames, names);
        QCOMPARE(matrix.size(), names.size());
        QCOMPARE(matrix.first().first(), names.first() - 99);   // 11 (i + 1) / 11
    }

    void lineSection()
    {
        const LinePtr line = storeLine(3);
        const Vec current(16, 1.0);
        // Excluded: USE 0, self-check, type 2, no used sample.
        storePoint(line, 1, 0, {SampleSpec{Vec(40, 11.0), centres(17, 40), current, {}}}, 0);
        storePoint(line, 2, 1, {SampleSpec{Vec(40, 11.0), centres(17, 40), current, {}}});
        storePoint(line, 3, 2, {SampleSpec{Vec(40, 11.0), centres(17, 40), current, {}}});
        SampleSpec unusedSample{Vec(40, 11.0), centres(17, 40), current, {}};
        unusedSample.use = 0;
        storePoint(line, 4, 0, {unusedSample});
        // Contributing rows of 40, 38 and 41 gates; the 5 is processed as TEM.
        Vec rising;
        for (int i = 0; i < 40; ++i)
            rising.append(0.11 * (i + 1));
        storePoint(line, 5, 0, {SampleSpec{rising, centres(17, 40), current, {}}});
        storePoint(line, 6, 5, {SampleSpec{Vec(38, 22.0), centres(17, 38), current, {}}});
        storePoint(line, 7, 0, {SampleSpec{Vec(41, 33.0), centres(17, 41), current, {}}});

        QVector<Vec> matrix{{-1}};
        Vec times{-1}, names{-1};
        // A window in which nothing contributes leaves the outputs alone.
        line->GetRecvData(&matrix, &times, &names, true, 0, 3, false);
        QCOMPARE(matrix, (QVector<Vec>{{-1}}));
        QCOMPARE(times, Vec{-1});
        QCOMPARE(names, Vec{-1});

        line->GetRecvData(&matrix, &times, &names, false, 0, 100, false);
        QCOMPARE(names, (Vec{5, 6, 7}));
        QCOMPARE(line->list_Data_Point[5]->TYPE, 0);
        QCOMPARE(matrix.size(), 3);
        for (const Vec& row : matrix)
            QCOMPARE(row.size(), 38);
        QCOMPARE(times.size(), 40);                   // the first contributing point's, not cut
        Vec expectedTimes;
        for (double c : centres(17, 40))
            expectedTimes.append(c / 2.5);
        COMPARE_VEC(times, expectedTimes);
        QCOMPARE(matrix[1], Vec(38, 2.0));
        QCOMPARE(matrix[0][0], 0.01);                 // first point kept unsmoothed

        line->GetRecvData(&matrix, &times, &names, true, 0, 100, false);
        QCOMPARE(matrix.size(), 38);
        for (const Vec& row : matrix)
            QCOMPARE(row.size(), 3);
        QCOMPARE(matrix[0][1], 2.0);
        QCOMPARE(matrix[0][2], 3.0);
    }

    void lineSectionSigns()
    {
        // With a gain below 1e-6 TEM values keep their signs: rows keep
        // them, the transposed matrix holds magnitudes.
        g_recvGain = 0.0;
        const LinePtr line = storeLine(3);
        storePoint(line, 1, 0, {SampleSpec{Vec(5, -0.5), centres(17, 5), Vec(16, 1.0), {}}});
        QVector<Vec> matrix;
        Vec times, names;
        line->GetRecvData(&matrix, &times, &names, false, 0, 0, false);
        QCOMPARE(matrix, (QVector<Vec>{Vec(5, -0.5)}));
        line->GetRecvData(&matrix, &times, &names, true, 0, 0, false);
        QCOMPARE(matrix, QVector<Vec>(5, Vec{0.5}));
    }

    void emptyLine()
    {
        Data_Line line;
        QVector<Vec> matrix{{7}};
        Vec times{7}, names{7};
        line.GetRecvData(&matrix, &times, &names, true, 0, 10, false);
        QCOMPARE(matrix, (QVector<Vec>{{7}}));
        QCOMPARE(times, Vec{7});
        QCOMPARE(names, Vec{7});
        line.GetRecvData(nullptr, &times, &names, true, 0, 10, false);
    }
};

QTEST_GUILESS_MAIN(TestStoredReaders)
#include "tst_storedreaders.moc"
