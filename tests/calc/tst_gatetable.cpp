// The compiled-in gate-time table and the gating of decays onto it.
#include "Data_Calc.h"
#include "Resources.h"
#include "TimeChannel.h"

#include <QFile>
#include <QResource>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

using Vec = QVector<double>;

class TestGateTable : public QObject
{
    Q_OBJECT

    Vec m_table;    // the table as the processor loads it

private slots:
    void initTestCase()
    {
        initVodezResources();
        Data_Calc calc(nullptr);
        m_table = g_timeTable;
    }
    void init() { g_timeTable = m_table; }

    void resourceBytes()
    {
        QResource res(QStringLiteral(":/etc/time.ini"));
        QVERIFY(res.isValid());
        QCOMPARE(res.compressionAlgorithm(), QResource::NoCompression);
        QCOMPARE(res.size(), qint64(690));

        QFile f(QStringLiteral(":/etc/time.ini"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QCOMPARE(bytes.size(), 690);
        QCOMPARE(bytes.count("\r\n"), 72);
        QCOMPARE(bytes.count('\n'), 72);   // no bare LF
        QVERIFY(bytes.startsWith("10.00\r\n12.58925\r\n"));
        QVERIFY(bytes.endsWith("\r\n3162278\r\n3981072\r\n"));
    }

    void processorLoadsTable()
    {
        g_timeTable.clear();
        g_startTime = 500;
        Data_Calc calc(nullptr);
        QCOMPARE(g_startTime, 80);
        QVERIFY(g_timeTableLoaded);
        QCOMPARE(g_timeTable.size(), 72);
        QCOMPARE(g_timeTable.first(), 10.0);
        QCOMPARE(g_timeTable[9], 82.54042);
        QCOMPARE(g_timeTable[11], 100.0);
        QCOMPARE(g_timeTable[30], 1000.0);
        QCOMPARE(g_timeTable[45], 10000.0);
        QCOMPARE(g_timeTable.last(), 3981072.0);
        for (int i = 1; i < g_timeTable.size(); ++i)
            QVERIFY2(g_timeTable[i] > g_timeTable[i - 1], qPrintable(QString::number(i)));
    }

    void loadTimeTableFiles()
    {
        // Unreadable file: the table is left as it was.
        g_timeTable = Vec{1.0, 2.0};
        TimeChannel::LoadTimeTable(QStringLiteral("no-such-dir/time.ini"));
        QCOMPARE(g_timeTable, (Vec{1.0, 2.0}));

        // A line that is not a number contributes 0.0; LF files read too.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile f(dir.filePath(QStringLiteral("t.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("10\r\nabc\r\n\r\n20.5\n");
        f.close();
        TimeChannel::LoadTimeTable(f.fileName());
        QCOMPARE(g_timeTable, (Vec{10.0, 0.0, 0.0, 20.5}));
    }

    void getTimeRange()
    {
        Vec table{5.0, 10.0, std::numeric_limits<double>::quiet_NaN(), 20.0, 30.0, 15.0};
        QCOMPARE(TimeChannel::GetTimeRange(10.0, 20.0, table), (Vec{10.0, 20.0, 15.0}));
        QCOMPARE(TimeChannel::GetTimeRange(31.0, 40.0, table), Vec());
        Vec empty;
        QCOMPARE(TimeChannel::GetTimeRange(0.0, 1e9, empty), Vec());
    }

    void timeGate_data()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::addColumn<Vec>("table");   // empty: the loaded table
        QTest::addColumn<Vec>("times");
        QTest::addColumn<Vec>("values");
        QTest::addColumn<Vec>("expTimes");
        QTest::addColumn<Vec>("expValues");

        QTest::newRow("largest time below 10 us") << Vec() << Vec{1, 5, 9.9} << Vec{1, 2, 3} << Vec() << Vec();
        QTest::newRow("one centre takes every sample from 10 us")
            << Vec() << Vec{9, 10, 11, 12} << Vec{100, 1, 2, 3} << Vec{10.0} << Vec{2.0};
        QTest::newRow("first and last gate split at the midpoint")
            << Vec() << Vec{10, 11, 12, 13, 14} << Vec{1, 2, 3, 4, 5} << Vec{10.0, 12.58925} << Vec{1.5, 4.0};
        QTest::newRow("descending times give the same gates")
            << Vec() << Vec{14, 13, 12, 11, 10} << Vec{5, 4, 3, 2, 1} << Vec{10.0, 12.58925} << Vec{1.5, 4.0};
        QTest::newRow("10 us is used, 9.99 us is not")
            << Vec() << Vec{9.99, 10} << Vec{7, 3} << Vec{10.0} << Vec{3.0};
        QTest::newRow("gates without samples are left out")
            << Vec() << Vec{10, 30} << Vec{1, 2} << Vec{10.0, 25.11886} << Vec{1.0, 2.0};
        QTest::newRow("sample on a midpoint belongs to the upper gate")
            << Vec{10, 20, 30} << Vec{10, 15, 25, 30} << Vec{1, 2, 3, 4} << Vec{10.0, 20.0, 30.0}
            << Vec{1.0, 2.0, 3.5};
        QTest::newRow("inner gate")
            << Vec{10, 20, 30} << Vec{14.9, 15, 24.9, 26, 30} << Vec{1, 2, 3, 4, 5} << Vec{10.0, 20.0, 30.0}
            << Vec{1.0, 2.5, 4.5};
        // A table file out of order: windows follow the file order.
        QTest::newRow("table out of order")
            << Vec{10, 30, 20} << Vec{12, 22, 26, 30} << Vec{1, 2, 3, 4} << Vec{10.0, 30.0, 20.0}
            << Vec{1.0, 2.0, 3.5};
        QTest::newRow("empty times") << Vec() << Vec() << Vec{1, 2} << Vec() << Vec();
        QTest::newRow("values shorter than times are paired to the shorter")
            << Vec() << Vec{10, 11, 12, 13, 14} << Vec{1, 2} << Vec{10.0} << Vec{1.5};
        QTest::newRow("times shorter than values are paired to the shorter")
            << Vec() << Vec{10, 11} << Vec{1, 2, 3, 4, 5} << Vec{10.0} << Vec{1.5};
        QTest::newRow("NaN times never count, an infinite time falls in the last gate")
            << Vec() << Vec{nan, 10, inf} << Vec{1, 2, 3} << Vec{10.0, 3981072.0} << Vec{2.0, 3.0};
        QTest::newRow("no table: empty result")
            << Vec{-1} << Vec{10, 11, 12} << Vec{1, 2, 3} << Vec() << Vec();
    }

    void timeGate()
    {
        QFETCH(Vec, table);
        QFETCH(Vec, times);
        QFETCH(Vec, values);
        QFETCH(Vec, expTimes);
        QFETCH(Vec, expValues);
        if (table == Vec{-1})
            g_timeTable.clear();
        else if (!table.isEmpty())
            g_timeTable = table;
        TimeChannel::TimeGate(times, values);
        QCOMPARE(times, expTimes);
        QCOMPARE(values, expValues);
    }

    void timeGateAgainstWholeTable()
    {
        // One sample per centre, at the centre: every gate keeps its sample.
        Vec times = m_table;
        Vec values;
        for (int i = 0; i < times.size(); ++i)
            values.append(i);
        TimeChannel::TimeGate(times, values);
        QCOMPARE(times, m_table);
        QCOMPARE(values.size(), 72);
        for (int i = 0; i < values.size(); ++i)
            QCOMPARE(values[i], double(i));
    }
};

QTEST_GUILESS_MAIN(TestGateTable)
#include "tst_gatetable.moc"
