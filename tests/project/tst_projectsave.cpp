// Saving soundings into real project files: single mode into new and
// existing points, continuous runs, and saves the file refuses.
#include "ProjectFixture.h"
#include "RecordingPrompt.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QVector<double> blobValues(const QVariant& v)
{
    return Data_Blob::ByteArrayToVector(v.toByteArray());
}

} // namespace

class TestProjectSave : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    int files = 0;

    QString newFile() { return dir.filePath(QStringLiteral("save-%1.VODEZ").arg(files++)); }

private slots:
    void initTestCase()
    {
        setUpProjectTests();
        QVERIFY(dir.isValid());
    }

    void singleSoundingsIntoOnePoint()
    {
        const QString file = newFile();
        RecordingPrompt prompt;
        DataModel_Index tree;
        QVERIFY(tree.openProject(file));
        tree.setProperty("LineNo", 10.0);
        tree.setProperty("PointNo", 20.0);
        QSignalSpy over(&tree, &DataModel_Index::onSaveOver);
        QSignalSpy failed(&tree, &DataModel_Index::onSaveFailed);
        QSignalSpy isNew(&tree, &DataModel_Index::isNewLineChanged);
        const qint64 t0 = 1700000000250;
        const VODEZ_Data first = sounding(3, t0, 1, 0, 6.25f, 25);
        tree.dataUpload(first);
        tree.dataSave(true);
        QCOMPARE(over.count(), 1);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(isNew.last().first().toBool(), false);
        QCOMPARE(tree.property("PointNo").toDouble(), 30.0);
        QCOMPARE(prompt.shown.size(), 0);

        QCOMPARE(tree.topLevelItemCount(), 1);
        QTreeWidgetItem* line = tree.topLevelItem(0);
        QCOMPARE(line->text(0), QStringLiteral("10 (1点)"));
        QCOMPARE(line->child(0)->text(0), QStringLiteral("20(自检)"));
        QCOMPARE(line->child(0)->toolTip(0), QDateTime::fromMSecsSinceEpoch(t0).toString("yyyy.MM.dd hh:mm:ss"));
        QCOMPARE(line->child(0)->childCount(), 3);
        QCOMPARE(line->child(0)->child(2)->text(0), QStringLiteral("3"));

        // The same line and point again: three more samples, numbered on.
        tree.setProperty("PointNo", 20.0);
        tree.dataUpload(sounding(3, t0 + 60000, 1, 0, 6.25f, 25));
        tree.dataSave(true);
        QCOMPARE(line->text(0), QStringLiteral("10 (1点)"));
        QCOMPARE(line->child(0)->childCount(), 6);
        QCOMPARE(line->child(0)->child(5)->text(0), QStringLiteral("6"));

        // In memory: the saved objects carry the IDs their rows got.
        const auto& lines = tree.Lines();
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0]->list_Data_Point.size(), 1);
        const auto& samples = lines[0]->list_Data_Point[0]->list_Data_Sample;
        QCOMPARE(samples.size(), 6);
        QVector<int> sampleIds;
        for (const auto& s : samples)
            sampleIds.append(s->ID);
        const int lineId = lines[0]->ID;
        const int pointId = lines[0]->list_Data_Point[0]->ID;
        tree.closeProject();

        SideDb db(file);
        QCOMPARE(db.rows(QStringLiteral("SELECT NAME, TYPE, USE FROM Data_Line")),
                 QList<QVariantList>({{10.0, 0, 1}}));
        QCOMPARE(db.rows(QStringLiteral("SELECT NAME, TYPE, USE, Data_LineID FROM Data_Point")),
                 QList<QVariantList>({{20.0, 1, 1, lineId}}));
        const QList<QVariantList> rows = db.rows(QStringLiteral(
            "SELECT ID, StartTime, TYPE, RecvFs, DeviceType, PERIOD, SendFs, SampleSendFs, SampleOffFs, USE, "
            "Data_PointID, DATA_RECV, DATA_RECV_POS, DATA_RECV_LEN, DATA_SEND, DATA_SOFF, ifnull(NOTE, '') "
            "FROM Data_Sample ORDER BY ID"));
        QCOMPARE(rows.size(), 6);
        for (int j = 0; j < 3; ++j) {
            const QVariantList& r = rows[j];
            QCOMPARE(r[0].toInt(), sampleIds[j]);
            QCOMPARE(r[1].toLongLong(), t0);                        // the first set's time for every sample
            QCOMPARE(r[2].toInt(), first.Recvs[0].DataType);        // and its data type
            QCOMPARE(r[3].toDouble(), first.Recvs[0].SampleRate);
            QCOMPARE(r[4].toInt(), 1);
            QCOMPARE(r[5].toInt(), 25);
            QCOMPARE(r[6].toDouble(), 6.25);                        // the sounding's frequency, not the set's
            QCOMPARE(r[7].toDouble(), first.Sends[j].SampleSendFs);
            QCOMPARE(r[8].toDouble(), first.Sends[j].SampleOffFs);
            QCOMPARE(r[9].toInt(), 1);
            QCOMPARE(r[10].toInt(), pointId);
            QCOMPARE(blobValues(r[11]), first.Recvs[j].Values);
            QCOMPARE(blobValues(r[12]), first.Recvs[j].Times);
            QCOMPARE(blobValues(r[13]), first.Recvs[j].Widths);
            QCOMPARE(blobValues(r[14]), first.Sends[j].SendData);
            QCOMPARE(blobValues(r[15]), first.Sends[j].OffData);
            QCOMPARE(r[16].toString(), QString());
        }
        QCOMPARE(rows[3][1].toLongLong(), t0 + 60000);
    }

    void savedSamplesKeepOnlyWhatAnOpenReads()
    {
        RecordingPrompt prompt;
        DataModel_Index tree;
        QVERIFY(tree.openProject(newFile()));
        const qint64 t0 = 1700000000250;
        tree.setProperty("LineNo", 10.0);
        tree.setProperty("PointNo", 20.0);
        const VODEZ_Data single = sounding(2, t0, 0, 0, 6.25f, 25);
        tree.dataUpload(single);
        tree.dataSave(true);
        tree.setProperty("LineNo", 11.0);
        const VODEZ_Data towed = sounding(1, t0 + 5000, 0, 1, 12.5f, 40);
        tree.dataUpload(towed);
        tree.dataSave(true);
        QCOMPARE(prompt.shown.size(), 0);

        QCOMPARE(tree.Lines().size(), 2);
        const std::shared_ptr<Data_Point> point = tree.Lines()[0]->list_Data_Point.value(0);
        const std::shared_ptr<Data_Point> towPoint = tree.Lines()[1]->list_Data_Point.value(0);
        QVERIFY(point && towPoint);
        QCOMPARE(point->list_Data_Sample.size(), 2);
        QCOMPARE(towPoint->list_Data_Sample.size(), 1);
        for (const auto& p : {point, towPoint}) {
            for (const auto& s : p->list_Data_Sample) {
                QVERIFY(s->ID > 0);
                QCOMPARE(s->USE, 1);
                QCOMPARE(s->PERIOD, p == point ? 25 : 40);
                QCOMPARE(s->SendFs, p == point ? 6.25 : 12.5);
                QVERIFY(s->DATA_RECV.isEmpty() && s->DATA_RECV_POS.isEmpty() && s->DATA_RECV_LEN.isEmpty());
                QVERIFY(s->DATA_SEND.isEmpty() && s->DATA_SOFF.isEmpty());
                QCOMPARE(s->StartTime, qint64(0));
                QVERIFY(!s->Data_PointID);
            }
        }
        QCOMPARE(point->list_Data_Sample[0]->ID + 1, point->list_Data_Sample[1]->ID);

        // What a reader needs comes from the file.
        const QList<st_RecvData_DUD4004> recs = point->GetRecvData_Dud4004_RAW(false);
        QCOMPARE(recs.size(), 2);
        QCOMPARE(recs[1].Values, single.Recvs[1].Values);
        QCOMPARE(recs[1].Times, single.Recvs[1].Times);
        QCOMPARE(point->GetStartTime().toMSecsSinceEpoch(), t0);
        const QList<st_SampleData_Send> sends = towPoint->GetSendData();
        QCOMPARE(sends.size(), 1);
        QCOMPARE(blobValues(sends[0].DATA_SEND), towed.Sends[0].SendData);

        // Another save into the point keeps the earlier samples light as well.
        tree.setProperty("LineNo", 10.0);
        tree.setProperty("PointNo", 20.0);
        tree.dataUpload(sounding(1, t0 + 9000, 0, 0, 6.25f, 25));
        tree.dataSave(true);
        QCOMPARE(point->list_Data_Sample.size(), 3);
        for (const auto& s : point->list_Data_Sample)
            QVERIFY(s->ID > 0 && s->DATA_RECV.isEmpty() && s->DATA_SEND.isEmpty());
        QCOMPARE(tree.topLevelItem(0)->child(0)->childCount(), 3);
        QCOMPARE(tree.topLevelItem(0)->child(0)->child(2)->text(0), QStringLiteral("3"));
    }

    void pointNumbersInGeneralForm_data()
    {
        QTest::addColumn<double>("point");
        QTest::addColumn<QString>("text");
        QTest::newRow("12.5") << 12.5 << "12.5";
        QTest::newRow("seven digits") << 1234567.0 << "1.23457e+06";
    }
    void pointNumbersInGeneralForm()
    {
        QFETCH(double, point);
        QFETCH(QString, text);
        DataModel_Index tree;
        QVERIFY(tree.openProject(newFile()));
        tree.setProperty("PointNo", point);
        tree.dataUpload(sounding(1, 1700000000000));
        tree.dataSave(true);
        QCOMPARE(tree.topLevelItem(0)->child(0)->text(0), text);
    }

    void continuousRun()
    {
        const QString file = newFile();
        DataModel_Index tree;
        QVERIFY(tree.openProject(file));
        // A single-mode line of the same number takes the run's points.
        tree.setProperty("LineNo", 4.0);
        tree.setProperty("PointNo", 100.0);
        tree.dataUpload(sounding(2, 1700000000000));
        tree.dataSave(true);

        tree.setProperty("LineNo", 5.0);
        const qint64 t0 = 1700000100007;
        for (int i = 0; i < 4; ++i) {
            tree.dataUpload(sounding(1, t0 + 500 * i, 0, 1, 25.0f, 10));
            tree.dataSave(true);
            QCOMPARE(tree.topLevelItem(1)->text(0), QStringLiteral("5 (%1点)").arg(i + 1));
        }
        tree.setProperty("LineNo", 4.0);
        tree.dataUpload(sounding(1, t0 + 9000, 0, 1, 25.0f, 10));
        tree.dataSave(true);

        QCOMPARE(tree.topLevelItemCount(), 2);
        QTreeWidgetItem* run = tree.topLevelItem(1);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(run->child(i)->text(0),
                     QDateTime::fromMSecsSinceEpoch(t0 + 500 * i).toString("yyyy.MM.dd hh:mm:ss.zzz"));
            QCOMPARE(run->child(i)->childCount(), 0);
        }
        QCOMPARE(tree.topLevelItem(0)->text(0), QStringLiteral("4 (2点)"));
        tree.closeProject();

        SideDb db(file);
        QCOMPARE(db.rows(QStringLiteral("SELECT NAME, TYPE FROM Data_Line ORDER BY ID")),
                 QList<QVariantList>({{4.0, 0}, {5.0, 1}}));
        QCOMPARE(db.rows(QStringLiteral("SELECT p.NAME, p.TYPE, count(s.ID), min(s.StartTime) FROM Data_Point p "
                                        "JOIN Data_Sample s ON s.Data_PointID = p.ID WHERE p.Data_LineID = 2 "
                                        "GROUP BY p.ID ORDER BY p.ID")),
                 QList<QVariantList>({{0.0, 0, 1, t0}, {1.0, 0, 1, t0 + 500}, {2.0, 0, 1, t0 + 1000},
                                      {3.0, 0, 1, t0 + 1500}}));
        // The point added to the single-mode line is numbered by its position.
        QCOMPARE(db.value(QStringLiteral("SELECT NAME FROM Data_Point WHERE Data_LineID = 1 ORDER BY ID DESC")).toDouble(),
                 1.0);
    }

    // A save the file refuses leaves no trace: no row, no object, no item,
    // no advanced point number, and the controller learns it failed.
    void refusedSaveLeavesMemoryAndFileInStep_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("continuous");
        QTest::addColumn<bool>("existingPoint");
        QTest::newRow("single, sample refused") << "Data_Sample" << false << false;
        QTest::newRow("single, point refused") << "Data_Point" << false << false;
        QTest::newRow("single, line refused") << "Data_Line" << false << false;
        QTest::newRow("single, existing point") << "Data_Sample" << false << true;
        QTest::newRow("continuous, sample refused") << "Data_Sample" << true << false;
        QTest::newRow("continuous, point refused") << "Data_Point" << true << false;
    }
    void refusedSaveLeavesMemoryAndFileInStep()
    {
        QFETCH(QString, table);
        QFETCH(bool, continuous);
        QFETCH(bool, existingPoint);
        const QString file = newFile();
        RecordingPrompt prompt;
        TestTree tree;
        QVERIFY(tree.openProject(file));
        tree.setProperty("LineNo", 10.0);
        tree.setProperty("PointNo", 20.0);
        if (existingPoint) {
            tree.dataUpload(sounding(1, 1700000000000));
            tree.dataSave(true);
            tree.setProperty("PointNo", 20.0);
        }
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON %1 BEGIN "
                                           "SELECT RAISE(ABORT, 'refused'); END").arg(table)));
        }
        const int linesBefore = tree.Lines().size();
        const int itemsBefore = tree.topLevelItemCount();
        const QByteArray rowsBefore = [&] {
            SideDb db(file);
            return db.strings(QStringLiteral("SELECT 'L' || count(*) FROM Data_Line UNION ALL "
                                             "SELECT 'P' || count(*) FROM Data_Point UNION ALL "
                                             "SELECT 'S' || count(*) FROM Data_Sample")).join(',').toUtf8();
        }();

        QSignalSpy over(&tree, &DataModel_Index::onSaveOver);
        QSignalSpy failed(&tree, &DataModel_Index::onSaveFailed);
        QSignalSpy pointNo(&tree, &DataModel_Index::onPointNoChanged);
        tree.dataUpload(sounding(3, 1700000050000, 0, continuous ? 1 : 0));
        prompt.expect(Prompt::Kind::Warning).saying(QStringLiteral("数据添加失败,可能是工程文件损坏"));
        tree.dataSave(true);

        QCOMPARE(failed.count(), 1);
        QCOMPARE(over.count(), 1);
        QCOMPARE(pointNo.count(), 0);
        QCOMPARE(tree.property("PointNo").toDouble(), 20.0);
        QCOMPARE(prompt.count(Prompt::Kind::Warning), 1);
        QCOMPARE(prompt.shown.last().title, QStringLiteral("警告"));
        QCOMPARE(prompt.shown.last().text, QStringLiteral("数据添加失败,可能是工程文件损坏"));
        QCOMPARE(tree.Lines().size(), linesBefore);
        QCOMPARE(tree.topLevelItemCount(), itemsBefore);
        QCOMPARE(tree.KeptData().Recvs.size(), 3); // still there for a retry
        {
            SideDb db(file);
            QCOMPARE(db.strings(QStringLiteral("SELECT 'L' || count(*) FROM Data_Line UNION ALL "
                                               "SELECT 'P' || count(*) FROM Data_Point UNION ALL "
                                               "SELECT 'S' || count(*) FROM Data_Sample")).join(',').toUtf8(),
                     rowsBefore);
            // Every object in memory has its row.
            for (const auto& line : tree.Lines()) {
                QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_Line WHERE ID = %1").arg(line->ID)).toInt(), 1);
                QCOMPARE(tree.topLevelItem(0)->childCount(), line->list_Data_Point.size());
                for (const auto& point : line->list_Data_Point) {
                    QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_Point WHERE ID = %1").arg(point->ID))
                                 .toInt(),
                             1);
                    QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_Sample WHERE Data_PointID = %1")
                                          .arg(point->ID))
                                 .toInt(),
                             point->list_Data_Sample.size());
                    QCOMPARE(tree.topLevelItem(0)->child(0)->childCount(), point->list_Data_Sample.size());
                }
            }
            QVERIFY(db.exec(QStringLiteral("DROP TRIGGER refuse")));
        }

        // With the file accepting again, the kept sounding goes where it was meant to.
        tree.dataSave(true);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(tree.topLevelItem(0)->text(0), QStringLiteral("10 (1点)"));
        if (!continuous)
            QCOMPARE(tree.topLevelItem(0)->child(0)->childCount(), existingPoint ? 4 : 3);
    }

    void nothingIsSavedWithoutAnOpenProject()
    {
        const QString file = newFile();
        RecordingPrompt prompt;
        DataModel_Index tree;
        QVERIFY(tree.openProject(file));
        tree.closeProject();
        const QByteArray bytes = fileBytes(file);
        QSignalSpy over(&tree, &DataModel_Index::onSaveOver);
        QSignalSpy failed(&tree, &DataModel_Index::onSaveFailed);
        tree.dataUpload(sounding(2, 1700000000000));
        prompt.expect(Prompt::Kind::Warning).saying(QStringLiteral("数据添加失败,可能是工程文件损坏"));
        tree.dataSave(true);
        QCOMPARE(over.count(), 1);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(tree.topLevelItemCount(), 0);
        QVERIFY(fileBytes(file) == bytes);
    }
};

QTEST_MAIN(TestProjectSave)
#include "tst_projectsave.moc"
