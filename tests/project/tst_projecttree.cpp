// The tree's shown values: their start, their notify rules, their texts and
// what an uploaded sounding puts into them.
#include "ProjectFixture.h"

#include <QSignalSpy>
#include <QtTest>

#include <limits>

class TestProjectTree : public QObject
{
    Q_OBJECT
private slots:
    void startsWithTheShownDefaults()
    {
        DataModel_Index tree;
        QCOMPARE(tree.property("SendI").toString(), QStringLiteral("0"));
        QCOMPARE(tree.property("ParamFs").toString(), QStringLiteral("0"));
        QCOMPARE(tree.property("SendOff").toDouble(), 0.0);
        QCOMPARE(tree.property("ParamPeriod").toInt(), 0);
        QCOMPARE(tree.property("ParamRepeat").toInt(), 0);
        QCOMPARE(tree.property("LineNo").toDouble(), 10.0);
        QCOMPARE(tree.property("PointNo").toDouble(), 0.0);
        // Read by the bound panels before any project is open.
        QCOMPARE(tree.property("PointNoStep").toDouble(), 10.0);
        QVERIFY(tree.isHeaderHidden());
        QCOMPARE(tree.contextMenuPolicy(), Qt::CustomContextMenu);
        QVERIFY(!tree.isProjectOpen());
    }

    void numbersNotifyOnlyOnChange()
    {
        DataModel_Index tree;
        QSignalSpy line(&tree, &DataModel_Index::onLineNoChanged);
        QSignalSpy off(&tree, &DataModel_Index::onSendOffChanged);
        tree.setProperty("LineNo", 10.0);
        QCOMPARE(line.count(), 0);
        tree.setProperty("LineNo", 12.5);
        QCOMPARE(line.count(), 1);
        QCOMPARE(line.first().first().toDouble(), 12.5);
        tree.setProperty("LineNo", std::numeric_limits<double>::quiet_NaN());
        tree.setProperty("LineNo", std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(line.count(), 3);
        tree.SetSendOff(0.0);
        tree.SetSendOff(0.0);
        QCOMPARE(off.count(), 2);
    }

    void frequencyText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("6.25") << 6.25 << "6.25";
        QTest::newRow("12.5") << 12.5 << "12.5";
        QTest::newRow("25") << 25.0 << "25";
        QTest::newRow("0") << 0.0 << "0";
        QTest::newRow("0.5") << 0.5 << "0.5";
        QTest::newRow("62.5") << 62.5 << "62.5";
        QTest::newRow("100") << 100.0 << "100";
        QTest::newRow("0.1 from float") << double(0.1f) << "0.1";
        QTest::newRow("1.125") << 1.125 << "1.125";
    }
    void frequencyText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        DataModel_Index tree;
        QSignalSpy spy(&tree, &DataModel_Index::onParamFsChanged);
        tree.SetParamFs(value);
        QCOMPARE(tree.GetParamFs(), text);
        QCOMPARE(spy.count(), 1);
    }

    void currentText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("9.99") << 9.99 << "10.0";
        QTest::newRow("3.04") << 3.04 << "3";
        QTest::newRow("2.05") << 2.05 << "2";
        QTest::newRow("2.3") << 2.3 << "2.3";
        QTest::newRow("negative") << -2.4 << "-2";
        QTest::newRow("beyond int") << 1.0e12 << "1000000000000";
    }
    void currentText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        DataModel_Index tree;
        tree.SetSendI(value);
        QCOMPARE(tree.GetSendI(), text);
    }

    void uploadShowsTheSounding()
    {
        DataModel_Index tree;
        QSignalSpy repeat(&tree, &DataModel_Index::onParamRepeatChanged);
        QSignalSpy period(&tree, &DataModel_Index::onParamPeriodChanged);
        QSignalSpy off(&tree, &DataModel_Index::onSendOffChanged);
        VODEZ_Data d = sounding(3, 1000, 0, 0, 12.5f, 40);
        d.RepeatCount = 7; // the count shown is the number of sets
        tree.dataUpload(d);
        QCOMPARE(tree.GetParamRepeat(), 3);
        QCOMPARE(repeat.count(), 1);
        QCOMPARE(tree.GetParamPeriod(), 40);
        QCOMPARE(period.count(), 1);
        QCOMPARE(off.count(), 1);
        QCOMPARE(tree.GetParamFs(), QStringLiteral("12.5"));
        QCOMPARE(tree.KeptData().Recvs.size(), 3);
        QVERIFY(!tree.GetSendI().isEmpty());
    }

    void discardDropsTheKeptSounding()
    {
        DataModel_Index tree;
        QSignalSpy over(&tree, &DataModel_Index::onSaveOver);
        tree.dataUpload(sounding(2, 1000));
        tree.dataSave(false);
        QCOMPARE(over.count(), 0);
        QVERIFY(tree.KeptData().Sends.isEmpty());
        QVERIFY(tree.KeptData().Recvs.isEmpty());
        // Nothing kept: a save stores nothing but still ends the saving.
        QSignalSpy failed(&tree, &DataModel_Index::onSaveFailed);
        tree.dataSave(true);
        QCOMPARE(over.count(), 1);
        QCOMPARE(failed.count(), 0);
    }
};

QTEST_MAIN(TestProjectTree)
#include "tst_projecttree.moc"
