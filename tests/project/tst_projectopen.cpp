// Opening project files: a new file, an older file brought up to date, files
// that are damaged or no database at all, and the tree and numbers an
// existing project restores.
#include "ProjectFixture.h"
#include "RecordingPrompt.h"

#include "Orm.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList schemaOf(const QString& path)
{
    SideDb db(path);
    return db.strings(QStringLiteral("SELECT type || ' ' || name || ' ' || ifnull(sql, '') FROM sqlite_master "
                                     "ORDER BY type, name"));
}

QStringList columnsOf(SideDb& db, const QString& table)
{
    return db.strings(QStringLiteral("SELECT name FROM pragma_table_info('%1') ORDER BY cid").arg(table));
}

void overwrite(const QString& path, qint64 offset, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek(offset));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

// A project written before the network name and the indexes existed, and
// before two sample columns: line 7 with point 20 and two samples.
void writeOlderProject(const QString& path)
{
    SideDb db(path);
    QVERIFY(db.exec(QStringLiteral(
        "CREATE TABLE Data_Project (ID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, WorkConfig INTEGER, "
        "LineNoStart FLOAT, LineNoSetp FLOAT, PointNoStart FLOAT, PointNoStep FLOAT, SendCoil_Len FLOAT, "
        "SendCoil_Width FLOAT, SendCoil_Turns FLOAT, RecvCoil_Size FLOAT, RecvCoil_Gain FLOAT, OffTime FLOAT, "
        "PointLen_D FLOAT, PointLen_R FLOAT, CreateTime FLOAT, NOTE TEXT, CalibrateNo TEXT)")));
    QVERIFY(db.exec(QStringLiteral(
        "CREATE TABLE Data_WorkSet (ID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, WorkConfig INTEGER, "
        "SendCoil_Len FLOAT, SendCoil_Width FLOAT, SendCoil_Turns FLOAT, RecvCoil_Size FLOAT, "
        "RecvCoil_Gain FLOAT)")));
    QVERIFY(db.exec(QStringLiteral("CREATE TABLE Data_Line (ID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, "
                                   "NAME FLOAT, TYPE INTEGER, USE INTEGER, NOTE TEXT)")));
    QVERIFY(db.exec(QStringLiteral("CREATE TABLE Data_Point (ID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, "
                                   "NAME FLOAT, USE INTEGER, NOTE TEXT, TYPE INTEGER, Data_LineID INTEGER)")));
    QVERIFY(db.exec(QStringLiteral(
        "CREATE TABLE Data_Sample (ID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, StartTime INTEGER, "
        "DeviceType INTEGER, TYPE INTEGER, PERIOD INTEGER, DATA_RECV BLOB, DATA_RECV_POS BLOB, "
        "DATA_RECV_LEN BLOB, DATA_SEND BLOB, DATA_SOFF BLOB, SendFs FLOAT, SampleSendFs FLOAT, "
        "SampleOffFs FLOAT, USE INTEGER, Data_PointID INTEGER)")));
    QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Project (ID, WorkConfig, PointNoStep, CreateTime, NOTE) "
                                   "VALUES (1, 0, 5, 1000, 'old')")));
    QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Line (ID, NAME, TYPE, USE, NOTE) VALUES (1, 7, 0, 1, '')")));
    QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Point (ID, NAME, USE, NOTE, TYPE, Data_LineID) "
                                   "VALUES (1, 20, 1, '', 0, 1)")));
    QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Sample (StartTime, PERIOD, SendFs, USE, Data_PointID) "
                                   "VALUES (1700000000000, 25, 6.25, 1, 1), (1700000001000, 25, 6.25, 1, 1)")));
}

} // namespace

class TestProjectOpen : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        setUpProjectTests();
        QVERIFY(dir.isValid());
    }

    void newFile()
    {
        const QString file = path(QStringLiteral("new.VODEZ"));
        DataModel_Index tree;
        QSignalSpy isNew(&tree, &DataModel_Index::isNewLineChanged);
        QSignalSpy config(&tree, &DataModel_Index::loadProjectConfig);
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QVERIFY(tree.openProject(file));
        QVERIFY(tree.isProjectOpen());
        QCOMPARE(tree.topLevelItemCount(), 0);
        QCOMPARE(isNew.count(), 1);
        QCOMPARE(isNew.first().first().toBool(), true);
        QCOMPARE(config.count(), 1);
        QCOMPARE(config.first().first().value<st_ProjectConfig>().PointNoStep, 10.0);
        QCOMPARE(tree.property("PointNoStep").toDouble(), 10.0);
        tree.closeProject();
        QVERIFY(!tree.isProjectOpen());

        SideDb db(file);
        QCOMPARE(db.strings(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name LIKE 'Data_%' "
                                           "ORDER BY name")),
                 QStringList({"Data_Line", "Data_Point", "Data_Project", "Data_Sample", "Data_WorkSet"}));
        const QList<QVariantList> projects = db.rows(QStringLiteral(
            "SELECT ID, PointNoStep, SendCoil_Len, SendCoil_Turns, RecvCoil_Size, RecvCoil_Gain, CreateTime, "
            "ifnull(SSID, '') FROM Data_Project"));
        QCOMPARE(projects.size(), 1);
        QCOMPARE(projects[0][0].toInt(), 1);
        QCOMPARE(projects[0][1].toDouble(), 10.0);
        QCOMPARE(projects[0][2].toDouble(), 0.8862);
        QCOMPARE(projects[0][3].toDouble(), 32.0);
        QCOMPARE(projects[0][4].toDouble(), 15.024);
        QCOMPARE(projects[0][5].toDouble(), 11.0);
        QVERIFY(projects[0][6].toDouble() >= before && projects[0][6].toDouble() <= before + 60);
        QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_WorkSet")).toInt(), 1);
        QCOMPARE(db.value(QStringLiteral("SELECT SendCoil_Turns FROM Data_WorkSet")).toDouble(), 32.0);
        QCOMPARE(db.value(QStringLiteral("SELECT type FROM pragma_table_info('Data_Line') WHERE name='NAME'")).toString(),
                 QStringLiteral("REAL"));

        const QStringList indexes = db.strings(QStringLiteral("SELECT name FROM sqlite_master WHERE type='index'"));
        for (const char* name : {"IDX_Data_Point_Data_LineID_", "IDX_Data_Sample_Data_PointID_", "IDX_Data_Line_ID_",
                                 "IDX_Data_Point_ID_", "IDX_Data_Sample_ID_"})
            QVERIFY2(indexes.contains(QLatin1String(name)), name);
        // Every member marked for an index has one, and only those are marked.
        int marked = 0;
        for (const orm::ClassInfo* cls : orm::ClassRegistry::allClasses()) {
            for (const orm::Member* m : cls->columns()) {
                if (!m->properties.contains(QStringLiteral("INDEX")))
                    continue;
                ++marked;
                const QString name = QStringLiteral("IDX_%1_%2_").arg(cls->name(), m->name);
                QVERIFY2(indexes.contains(name), qPrintable(name));
            }
        }
        QCOMPARE(marked, 3);
    }

    void upgradesAnOlderFile()
    {
        const QString file = path(QStringLiteral("old.VODEZ"));
        writeOlderProject(file);

        {
            DataModel_Index tree;
            QVERIFY(tree.openProject(file));
            QCOMPARE(tree.topLevelItemCount(), 1);
            QCOMPARE(tree.topLevelItem(0)->text(0), QStringLiteral("7 (1点)"));
            QCOMPARE(tree.topLevelItem(0)->child(0)->text(0), QStringLiteral("20"));
            tree.expandItem(tree.topLevelItem(0)->child(0));   // a point shows its samples once expanded
            QCOMPARE(tree.topLevelItem(0)->child(0)->childCount(), 2);
            QCOMPARE(tree.property("PointNoStep").toDouble(), 5.0);
            QCOMPARE(tree.property("PointNo").toDouble(), 25.0);
            tree.closeProject();
        }
        {
            SideDb db(file);
            QVERIFY(columnsOf(db, QStringLiteral("Data_Project")).contains(QStringLiteral("SSID")));
            const QStringList sample = columnsOf(db, QStringLiteral("Data_Sample"));
            QVERIFY(sample.contains(QStringLiteral("RecvFs")));
            QVERIFY(sample.contains(QStringLiteral("NOTE")));
            QCOMPARE(db.value(QStringLiteral("SELECT type FROM pragma_table_info('Data_Sample') WHERE name='RecvFs'"))
                         .toString(),
                     QStringLiteral("REAL"));
            const QStringList indexes = db.strings(QStringLiteral("SELECT name FROM sqlite_master WHERE type='index'"));
            QVERIFY(indexes.contains(QStringLiteral("IDX_Data_Point_Data_LineID_")));
            QVERIFY(indexes.contains(QStringLiteral("IDX_Data_Sample_Data_PointID_")));
            QVERIFY(indexes.contains(QStringLiteral("IDX_Data_Sample_ID_")));
            // An existing project keeps its rows; no second project or work set.
            QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_Project")).toInt(), 1);
            QCOMPARE(db.value(QStringLiteral("SELECT NOTE FROM Data_Project")).toString(), QStringLiteral("old"));
            QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_WorkSet")).toInt(), 0);
            QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_Sample")).toInt(), 2);
        }

        const QStringList schema = schemaOf(file);
        const QByteArray bytes = fileBytes(file);
        {
            DataModel_Index tree;
            QVERIFY(tree.openProject(file));
            tree.closeProject();
        }
        QCOMPARE(schemaOf(file), schema);
        QVERIFY(fileBytes(file) == bytes);
    }

    void refusesDamagedFiles_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("header page") << "header";
        QTest::newRow("point table page") << "points";
        // An older file would be upgraded: the damage must stop that too.
        QTest::newRow("older file, point table page") << "old-points";
        QTest::newRow("not a database") << "text";
    }
    void refusesDamagedFiles()
    {
        QFETCH(QString, damage);
        const QString file = path(QStringLiteral("damaged-%1.VODEZ").arg(damage));
        if (damage == QLatin1String("text")) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("Line,Point,Value\n").repeated(200));
        } else if (damage == QLatin1String("old-points")) {
            writeOlderProject(file);
        } else {
            {
                DataModel_Index tree;
                QVERIFY(tree.openProject(file));
                tree.dataUpload(sounding(2, 1700000000000));
                tree.dataSave(true);
                tree.closeProject();
            }
        }
        if (damage != QLatin1String("text")) {
            qint64 offset = 100; // the b-tree header of the schema page
            if (damage != QLatin1String("header")) {
                SideDb db(file);
                const int pageSize = db.value(QStringLiteral("PRAGMA page_size")).toInt();
                const int root =
                    db.value(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name='Data_Point'")).toInt();
                QVERIFY(root > 1);
                offset = qint64(root - 1) * pageSize;
            }
            overwrite(file, offset, QByteArray(8, '\xff'));
        }
        const QByteArray bytes = fileBytes(file);

        RecordingPrompt prompt;
        prompt.expect(Prompt::Kind::Warning).saying(QStringLiteral("工程文件损坏"));
        TestTree tree;
        QSignalSpy isNew(&tree, &DataModel_Index::isNewLineChanged);
        QVERIFY(!tree.openProject(file));
        QVERIFY(!tree.isProjectOpen());
        QCOMPARE(tree.topLevelItemCount(), 0);
        QCOMPARE(isNew.count(), 0);
        QCOMPARE(prompt.count(Prompt::Kind::Warning), 1);
        QCOMPARE(prompt.shown.first().title, QStringLiteral("警告"));
        QCOMPARE(prompt.shown.first().text, QStringLiteral("工程文件损坏"));

        // Nothing may reach the refused file afterwards either.
        tree.select(0, 0, 0);
        tree.onNewLog(QStringLiteral("note"));
        tree.onNewUse(false);
        tree.setProjectConfig(st_ProjectConfig{});
        tree.setWifiName();
        tree.dataUpload(sounding(1, 1700000000000));
        prompt.expect(Prompt::Kind::Warning).saying(QStringLiteral("数据添加失败,可能是工程文件损坏"));
        tree.dataSave(true);
        QVERIFY(fileBytes(file) == bytes);
    }

    // Points read back by the open: texts by line type, tool tips, sample
    // items, and the numbers and parameters the next sounding starts from.
    // A point read from the file makes its sample items when it is first
    // expanded or selected, and saves into it number on from what it holds.
    void sampleItemsOfAnOpenedPoint_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("texts");
        const QStringList three = {"1", "2", "3"};
        QTest::newRow("expanded") << "expand" << three;
        QTest::newRow("all expanded") << "expandAll" << three;
        QTest::newRow("selected") << "select" << three;
        QTest::newRow("sample of it selected") << "selectSample" << three;
        QTest::newRow("saved into") << "save" << QStringList{"1", "2", "3", "4", "5"};
    }
    void sampleItemsOfAnOpenedPoint()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, texts);
        const QString file = path(QStringLiteral("lazy-%1.VODEZ").arg(how));
        {
            DataModel_Index tree;
            QVERIFY(tree.openProject(file));
            tree.closeProject();
        }
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Line (ID, NAME, TYPE, USE, NOTE) VALUES (1, 3, 0, 1, '')")));
            QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Point (ID, NAME, USE, NOTE, TYPE, Data_LineID) VALUES "
                                           "(1, 7, 1, '', 0, 1), (2, 8, 1, '', 0, 1)")));
            QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Sample (StartTime, PERIOD, SendFs, USE, Data_PointID) "
                                           "VALUES (1700000000000, 30, 25, 1, 1), (1700000001000, 30, 25, 0, 1), "
                                           "(1700000002000, 30, 25, 1, 1)")));
        }
        RecordingPrompt prompt;
        DataModel_Index tree;
        QVERIFY(tree.openProject(file));
        QTreeWidgetItem* line = tree.topLevelItem(0);
        QTreeWidgetItem* withSamples = line->child(0);
        QTreeWidgetItem* without = line->child(1);
        const QModelIndex withIndex = tree.model()->index(0, 0, tree.model()->index(0, 0));
        const QModelIndex withoutIndex = tree.model()->index(1, 0, tree.model()->index(0, 0));
        // Shown as expandable exactly when the point has samples, as before.
        QVERIFY(tree.model()->hasChildren(withIndex));
        QVERIFY(!tree.model()->hasChildren(withoutIndex));
        // A season's open stays small because no sample item is made yet.
        QCOMPARE(withSamples->childCount(), 0);

        if (how == QLatin1String("expand")) {
            tree.expandItem(line);
            tree.expandItem(withSamples);
        } else if (how == QLatin1String("expandAll")) {
            tree.expandAll();
            QVERIFY(tree.isExpanded(withIndex));
        } else if (how == QLatin1String("select")) {
            tree.onDoubleClicked(withIndex);
        } else if (how == QLatin1String("selectSample")) {
            tree.expandItem(withSamples);
            tree.onDoubleClicked(tree.model()->index(2, 0, withIndex));
            QCOMPARE(tree.Lines()[0]->list_Data_Point[0]->list_Data_Sample[2]->StartTime, 1700000002000LL);
        } else {
            tree.setProperty("LineNo", 3.0);
            tree.setProperty("PointNo", 7.0);
            tree.dataUpload(sounding(2, 1700000100000));
            tree.dataSave(true);
            QCOMPARE(prompt.shown.size(), 0);
        }
        QStringList shown;
        for (int k = 0; k < withSamples->childCount(); ++k)
            shown.append(withSamples->child(k)->text(0));
        QCOMPARE(shown, texts);
        QVERIFY(tree.model()->hasChildren(withIndex));
        QCOMPARE(without->childCount(), 0);
        QVERIFY(!tree.model()->hasChildren(withoutIndex));

        // Made once: expanding again adds nothing.
        tree.collapseItem(withSamples);
        tree.expandItem(withSamples);
        QCOMPARE(withSamples->childCount(), texts.size());
    }

    void restoresTreeAndNumbers()
    {
        const QString file = path(QStringLiteral("tree.VODEZ"));
        {
            DataModel_Index tree;
            QVERIFY(tree.openProject(file));
            tree.closeProject();
        }
        const qint64 t0 = 1700000000123;
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("UPDATE Data_Project SET PointNoStep = 10")));
            QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Line (ID, NAME, TYPE, USE, NOTE) VALUES "
                                           "(1, 3, 0, 1, ''), (2, 12.5, 1, 1, '')")));
            // The newest point (ID 6) sits in the first line.
            QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Point (ID, NAME, USE, NOTE, TYPE, Data_LineID) VALUES "
                                           "(2, 7, 1, '', 9, 1), (3, 0, 1, '', 0, 2), (4, 1, 1, '', 0, 2), "
                                           "(5, 3.95, 1, '', 0, 1), (6, 3.05, 1, '', 1, 1)")));
            QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Sample (StartTime, PERIOD, SendFs, USE, Data_PointID) "
                                           "VALUES (%1, 30, 6.25, 1, 5), (%1, 40, 12.5, 1, 2), "
                                           "(%1, 50, 25, 1, 3), (%2, 50, 25, 1, 4), "
                                           "(%1, 25, 62.5, 1, 6), (%1, 25, 62.5, 1, 6), (%1, 25, 62.5, 1, 6)")
                                .arg(t0)
                                .arg(t0 + 1000)));
        }

        DataModel_Index tree;
        QSignalSpy params(&tree, &DataModel_Index::onLoad_Param);
        QSignalSpy isNew(&tree, &DataModel_Index::isNewLineChanged);
        QSignalSpy select(&tree, &DataModel_Index::onSelectPoint);
        QVERIFY(tree.openProject(file));
        QCOMPARE(tree.topLevelItemCount(), 2);
        QTreeWidgetItem* single = tree.topLevelItem(0);
        QTreeWidgetItem* continuous = tree.topLevelItem(1);
        QCOMPARE(single->text(0), QStringLiteral("3 (3点)"));
        QCOMPARE(continuous->text(0), QStringLiteral("12.5 (2点)"));
        // Ordered by number within the line.
        QCOMPARE(single->child(0)->text(0), QStringLiteral("3(自检)"));
        QCOMPARE(single->child(1)->text(0), QStringLiteral("4.0"));
        QCOMPARE(single->child(2)->text(0), QStringLiteral("7"));
        // A point shows its samples once expanded.
        tree.expandItem(single->child(0));
        tree.expandItem(single->child(1));
        QCOMPARE(single->child(0)->childCount(), 3);
        QCOMPARE(single->child(0)->child(2)->text(0), QStringLiteral("3"));
        QCOMPARE(single->child(1)->childCount(), 1);
        QCOMPARE(single->child(1)->toolTip(0), QDateTime::fromMSecsSinceEpoch(t0).toString("yyyy.MM.dd hh:mm:ss"));
        QCOMPARE(tree.Lines().at(0)->list_Data_Point.at(2)->TYPE, 0); // stored 9, read as a sounding
        QCOMPARE(continuous->child(0)->text(0), QDateTime::fromMSecsSinceEpoch(t0).toString("yyyy.MM.dd hh:mm:ss.zzz"));
        QCOMPARE(continuous->child(1)->text(0),
                 QDateTime::fromMSecsSinceEpoch(t0 + 1000).toString("yyyy.MM.dd hh:mm:ss.zzz"));
        QCOMPARE(continuous->child(0)->childCount(), 0);
        QVERIFY(continuous->child(0)->toolTip(0).isEmpty());

        QCOMPARE(tree.property("LineNo").toDouble(), 3.0);
        QCOMPARE(params.count(), 2);
        // The newest point's frequency, and one sample's periods of the first
        // point of its line (three samples of 25, not their sum).
        QCOMPARE(params[0][0].toDouble(), 62.5);
        QCOMPARE(params[0][1].toInt(), 25);
        QCOMPARE(params[0][2].toInt(), 0);
        // Then the line's last point (7) answers for the line number.
        QCOMPARE(params[1][0].toDouble(), 12.5);
        QCOMPARE(params[1][1].toInt(), 40);
        QCOMPARE(tree.property("PointNo").toDouble(), 17.0);
        QCOMPARE(select.count(), 1);
        QCOMPARE(isNew.count(), 1);
        QCOMPARE(isNew.first().first().toBool(), false);

        // The line number typed on the sampling panel.
        isNew.clear();
        params.clear();
        tree.slotLineNoChanged(3.0000001);
        QCOMPARE(tree.property("PointNo").toDouble(), 17.0);
        QCOMPARE(isNew.last().first().toBool(), false);
        tree.slotLineNoChanged(3.1);
        QCOMPARE(tree.property("PointNo").toDouble(), 0.0);
        QCOMPARE(isNew.last().first().toBool(), true);
        tree.slotLineNoChanged(12.5);
        QCOMPARE(tree.property("PointNo").toDouble(), 11.0);
        QCOMPARE(select.last().first().toInt(), 1);
        QCOMPARE(params.last()[2].toInt(), 1);

        // Unsorted, the points come in the order they were saved.
        tree.SetSortPoint(false);
        QVERIFY(tree.openProject(file));
        single = tree.topLevelItem(0);
        QCOMPARE(single->child(0)->text(0), QStringLiteral("7"));
        QCOMPARE(single->child(1)->text(0), QStringLiteral("4.0"));
        QCOMPARE(single->child(2)->text(0), QStringLiteral("3(自检)"));
    }

    void unusablePathIsRefused()
    {
        RecordingPrompt prompt;
        DataModel_Index tree;
        const QString file = path(QStringLiteral("missing-folder/p.VODEZ"));
        QVERIFY(!tree.openProject(file));
        QVERIFY(!tree.isProjectOpen());
        QVERIFY(!QFile::exists(file));
        // The caller reports this one.
        QCOMPARE(prompt.shown.size(), 0);
    }

    void linesWithoutPoints()
    {
        const QString file = path(QStringLiteral("empty-lines.VODEZ"));
        {
            DataModel_Index tree;
            QVERIFY(tree.openProject(file));
            tree.closeProject();
        }
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Line (NAME, TYPE, USE, NOTE) VALUES (5, 0, 1, ''), "
                                           "(6, 1, 1, '')")));
        }
        DataModel_Index tree;
        QSignalSpy params(&tree, &DataModel_Index::onLoad_Param);
        QVERIFY(tree.openProject(file));
        QCOMPARE(tree.topLevelItem(0)->text(0), QStringLiteral("5 (0点)"));
        QCOMPARE(tree.topLevelItem(1)->text(0), QStringLiteral("6 (0点)"));
        QCOMPARE(tree.property("LineNo").toDouble(), 0.0);
        QCOMPARE(params.count(), 1);
        QCOMPARE(params[0][0].toDouble(), 25.0);
        QCOMPARE(params[0][1].toInt(), 500);
        QCOMPARE(params[0][2].toInt(), 0);
    }
};

QTEST_MAIN(TestProjectOpen)
#include "tst_projectopen.moc"
