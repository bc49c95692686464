// Editing stored items: use flags, notes, point numbers, project settings
// and the network name, each written alone, reported only once stored, and
// never written to a file that is not open.
#include "ProjectFixture.h"
#include "RecordingPrompt.h"
#include "WifiName.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Everything of a sample row but the columns an edit may change.
QStringList sampleRowsBut(SideDb& db, const QString& changed)
{
    QStringList columns = {"ID", "StartTime", "DeviceType", "TYPE", "PERIOD", "hex(DATA_RECV)", "hex(DATA_RECV_POS)",
                           "hex(DATA_RECV_LEN)", "hex(DATA_SEND)", "hex(DATA_SOFF)", "SendFs", "SampleSendFs",
                           "SampleOffFs", "RecvFs", "USE", "ifnull(NOTE,'')", "Data_PointID"};
    columns.removeAll(changed);
    return db.strings(QStringLiteral("SELECT %1 FROM Data_Sample ORDER BY ID").arg(columns.join(" || '|' || ")));
}

QStringList pointRowsBut(SideDb& db, const QString& changed)
{
    QStringList columns = {"ID", "NAME", "USE", "ifnull(NOTE,'')", "TYPE", "Data_LineID"};
    columns.removeAll(changed);
    return db.strings(QStringLiteral("SELECT %1 FROM Data_Point ORDER BY ID").arg(columns.join(" || '|' || ")));
}

QStringList projectRowBut(SideDb& db, const QStringList& changed)
{
    QStringList columns = {"ID",         "WorkConfig",      "LineNoStart",   "LineNoSetp",     "PointNoStart",
                           "PointNoStep", "SendCoil_Len",   "SendCoil_Width", "SendCoil_Turns", "RecvCoil_Size",
                           "RecvCoil_Gain", "OffTime",      "PointLen_D",    "PointLen_R",     "CreateTime",
                           "ifnull(NOTE,'')", "ifnull(CalibrateNo,'')", "ifnull(SSID,'')"};
    for (const QString& c : changed)
        columns.removeAll(c);
    return db.strings(QStringLiteral("SELECT %1 FROM Data_Project").arg(columns.join(" || '|' || ")));
}

} // namespace

class TestProjectEdit : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    int files = 0;

    // A project with line 10: point 20 (3 samples) and point 30 (1 sample),
    // closed again so that a reopen holds the samples light.
    QString storedProject()
    {
        const QString file = dir.filePath(QStringLiteral("edit-%1.VODEZ").arg(files++));
        DataModel_Index tree;
        if (!tree.openProject(file))
            return QString();
        tree.setProperty("LineNo", 10.0);
        tree.setProperty("PointNo", 20.0);
        tree.dataUpload(sounding(3, 1700000000000));
        tree.dataSave(true);
        tree.dataUpload(sounding(1, 1700000100000));
        tree.dataSave(true);
        tree.closeProject();
        SideDb db(file);
        db.exec(QStringLiteral("UPDATE Data_Project SET NOTE = 'crew A', CalibrateNo = 'C-7', SSID = 'field:net'"));
        return file;
    }

private slots:
    void initTestCase()
    {
        setUpProjectTests();
        QVERIFY(dir.isValid());
    }
    void cleanup() { WifiName::setCommandRunner({}); }

    // Each edit writes its own column only: light samples and the unread
    // network name must not overwrite what the file holds.
    void editsWriteOnlyTheirColumn()
    {
        const QString file = storedProject();
        QVERIFY(!file.isEmpty());
        TestTree tree;
        QVERIFY(tree.openProject(file));
        QStringList samples, points, project;
        {
            SideDb db(file);
            samples = sampleRowsBut(db, "USE");
            points = pointRowsBut(db, "ifnull(NOTE,'')");
        }

        tree.select(0, 0, 1);
        tree.onNewUse(false);
        tree.select(0, 0);
        tree.onNewLog(QStringLiteral("wet ground"));
        {
            SideDb db(file);
            QCOMPARE(sampleRowsBut(db, "USE"), samples);
            QCOMPARE(db.strings("SELECT USE FROM Data_Sample ORDER BY ID"), QStringList({"1", "0", "1", "1"}));
            QCOMPARE(pointRowsBut(db, "ifnull(NOTE,'')"), points);
            QCOMPARE(db.value("SELECT NOTE FROM Data_Point WHERE NAME = 20").toString(), QStringLiteral("wet ground"));
            samples = sampleRowsBut(db, "ifnull(NOTE,'')");
            points = pointRowsBut(db, "NAME");
            project = projectRowBut(db, {"WorkConfig", "PointNoStep", "SendCoil_Turns"});
        }

        tree.select(0, 0, 2);
        tree.onNewLog(QStringLiteral("x"));
        QVERIFY(tree.changePointName(0, 1, 35.0));
        st_ProjectConfig config = tree.Project()->getProjectConfig();
        config.WorkConfig = 3;
        config.PointNoStep = 5.0;
        config.SendCoil_Turns = 16.0;
        tree.setProjectConfig(config);
        {
            SideDb db(file);
            QCOMPARE(sampleRowsBut(db, "ifnull(NOTE,'')"), samples);
            QCOMPARE(pointRowsBut(db, "NAME"), points);
            QCOMPARE(db.strings("SELECT NAME FROM Data_Point ORDER BY ID"), QStringList({"20", "35"}));
            QCOMPARE(projectRowBut(db, {"WorkConfig", "PointNoStep", "SendCoil_Turns"}), project);
            QCOMPARE(db.rows("SELECT WorkConfig, PointNoStep, SendCoil_Turns, SSID FROM Data_Project"),
                     QList<QVariantList>({{3, 5.0, 16.0, "field:net"}}));
            project = projectRowBut(db, {"ifnull(SSID,'')"});
        }

        // The name as each platform's tool answers it.
        WifiName::setCommandRunner([](const QString& program, const QStringList& args, QByteArray* out) {
            if (program == QLatin1String("iwgetid"))
                *out = "camp:5G\n";
            else if (args.join(QLatin1Char(' ')).contains(QLatin1String("netsh wlan show interfaces")))
                *out = "    Name                   : WLAN\r\n    SSID                   : camp:5G\r\n";
            return true;
        });
        tree.setWifiName();
        QCOMPARE(tree.Project()->SSID, QStringLiteral("camp:5G"));
        SideDb db(file);
        QCOMPARE(projectRowBut(db, {"ifnull(SSID,'')"}), project);
        QCOMPARE(db.value("SELECT SSID FROM Data_Project").toString(), QStringLiteral("camp:5G"));
    }

    void notesJoinAndUseTargets()
    {
        const QString file = storedProject();
        TestTree tree;
        QVERIFY(tree.openProject(file));
        QSignalSpy log(&tree, &DataModel_Index::onLoadLog);
        tree.select(0);
        tree.onNewLog(QStringLiteral("a"));
        tree.onNewLog(QStringLiteral("b"));
        QCOMPARE(log.count(), 2);
        QCOMPARE(log.last().first().toString(), QStringLiteral("a\r\n\r\nb"));
        tree.onNewUse(false);
        tree.select(5);
        tree.onNewLog(QStringLiteral("nowhere"));
        QCOMPARE(log.count(), 2);

        // Exports and sections read a point's decay back and leave its
        // samples light, their notes empty in memory: the new note still
        // goes after the stored one.
        tree.select(0, 0, 0);
        tree.onNewLog(QStringLiteral("c"));
        QVector<double> values, times;
        tree.Lines()[0]->list_Data_Point[0]->GetRecvData(&values, &times, false);
        QCOMPARE(tree.Lines()[0]->list_Data_Point[0]->list_Data_Sample[0]->NOTE, QString());
        tree.onNewLog(QStringLiteral("d"));
        QCOMPARE(log.last().first().toString(), QStringLiteral("c\r\n\r\nd"));

        SideDb db(file);
        QCOMPARE(db.rows("SELECT NOTE, USE FROM Data_Line"), QList<QVariantList>({{"a\r\n\r\nb", 0}}));
        QCOMPARE(db.strings("SELECT USE FROM Data_Point"), QStringList({"1", "1"}));
        QCOMPARE(db.strings("SELECT ifnull(NOTE, '') FROM Data_Sample ORDER BY ID"),
                 QStringList({"c\r\n\r\nd", "", "", ""}));
    }

    // A refused update shows and keeps what the file holds.
    void refusedEditsKeepTheStoredValue()
    {
        const QString file = storedProject();
        RecordingPrompt prompt;
        TestTree tree;
        QVERIFY(tree.openProject(file));
        tree.select(0, 0);
        tree.onNewLog(QStringLiteral("a"));
        {
            SideDb db(file);
            for (const char* table : {"Data_Point", "Data_Project"})
                QVERIFY(db.exec(QStringLiteral("CREATE TRIGGER refuse_%1 BEFORE UPDATE ON %1 BEGIN "
                                               "SELECT RAISE(ABORT, 'refused'); END").arg(table)));
        }
        QSignalSpy log(&tree, &DataModel_Index::onLoadLog);
        QSignalSpy use(&tree, &DataModel_Index::onCurUse);
        QSignalSpy config(&tree, &DataModel_Index::loadProjectConfig);
        const auto point = tree.Lines()[0]->list_Data_Point[0];

        tree.onNewLog(QStringLiteral("b"));
        QCOMPARE(log.count(), 1);
        QCOMPARE(log.first().first().toString(), QStringLiteral("a"));
        QCOMPARE(point->NOTE, QStringLiteral("a"));

        tree.onNewUse(false);
        QCOMPARE(use.count(), 1);
        QCOMPARE(use.first().first().toBool(), true);
        QCOMPARE(point->USE, 1);

        prompt.expect(Prompt::Kind::Warning).saying(QStringLiteral("点号修改失败,可能是工程文件损坏"));
        QVERIFY(!tree.changePointName(0, 0, 21.0));
        QCOMPARE(point->NAME, 20.0);
        QCOMPARE(tree.topLevelItem(0)->child(0)->text(0), QStringLiteral("20"));
        QCOMPARE(prompt.count(Prompt::Kind::Warning), 1);
        QCOMPARE(prompt.shown.last().title, QStringLiteral("警告"));
        QCOMPARE(prompt.shown.last().text, QStringLiteral("点号修改失败,可能是工程文件损坏"));

        const double step = tree.Project()->PointNoStep;
        st_ProjectConfig changed = tree.Project()->getProjectConfig();
        changed.PointNoStep = step + 1;
        tree.setProjectConfig(changed);
        QCOMPARE(tree.Project()->PointNoStep, step);
        QCOMPARE(config.count(), 1);
        QCOMPARE(config.first().first().value<st_ProjectConfig>().PointNoStep, step);

        tree.Project()->SSID = QStringLiteral("kept");
        tree.setWifiName();
        QCOMPARE(tree.Project()->SSID, QStringLiteral("kept"));

        SideDb db(file);
        QCOMPARE(db.rows("SELECT NAME, NOTE, USE FROM Data_Point ORDER BY ID").first(), QVariantList({20.0, "a", 1}));
    }

    // The dialog offers the stored number, and OK on it writes nothing.
    void renameDialogStartsFromTheStoredNumber()
    {
        const QString file = storedProject();
        {
            SideDb db(file);
            QVERIFY(db.exec("UPDATE Data_Point SET NAME = 3.95 WHERE NAME = 20"));
            QVERIFY(db.exec("CREATE TABLE writes (n INTEGER)"));
            QVERIFY(db.exec("CREATE TRIGGER count_writes AFTER UPDATE ON Data_Point BEGIN "
                            "INSERT INTO writes VALUES (1); END"));
        }
        RecordingPrompt prompt;
        TestTree tree;
        tree.resize(300, 400);
        tree.show();
        QVERIFY(tree.openProject(file));
        tree.expandAll();
        QTreeWidgetItem* line = tree.topLevelItem(0);
        QTreeWidgetItem* point = line->child(0);
        QCOMPARE(point->text(0), QStringLiteral("4.0"));

        // Line and sample items open no dialog.
        tree.onChangePointNameDl(tree.visualItemRect(line).center());
        tree.onChangePointNameDl(tree.visualItemRect(point->child(0)).center());
        QCOMPARE(prompt.count(Prompt::Kind::Number), 0);

        prompt.expectNumberUnchanged();
        tree.onChangePointNameDl(tree.visualItemRect(point).center());
        QCOMPARE(prompt.count(Prompt::Kind::Number), 1);
        const RecordingPrompt::Shown dialog = prompt.shown.last();
        QCOMPARE(dialog.title, QStringLiteral("修改点号"));
        QCOMPARE(dialog.text, QStringLiteral("请输入新的点号:"));
        QCOMPARE(dialog.start, 3.95);
        QVERIFY(dialog.decimals >= 2);
        QCOMPARE(dialog.min, -99999999.0);
        QCOMPARE(dialog.max, 99999999.0);
        QCOMPARE(point->text(0), QStringLiteral("4.0"));
        {
            SideDb db(file);
            QCOMPARE(db.value("SELECT count(*) FROM writes").toInt(), 0);
        }

        prompt.expectNumber(13.0);
        tree.onChangePointNameDl(tree.visualItemRect(point).center());
        QCOMPARE(point->text(0), QStringLiteral("13"));
        // Cancelled: nothing.
        prompt.expect(Prompt::Kind::Number);
        tree.onChangePointNameDl(tree.visualItemRect(point).center());
        QCOMPARE(point->text(0), QStringLiteral("13"));
        SideDb db(file);
        QCOMPARE(db.value("SELECT count(*) FROM writes").toInt(), 1);
        QCOMPARE(db.value("SELECT NAME FROM Data_Point ORDER BY ID").toDouble(), 13.0);
    }

    // Without an open project every edit stays away from the file.
    void closedProjectIsNotWritten()
    {
        const QString file = storedProject();
        RecordingPrompt prompt;
        TestTree tree;
        QVERIFY(tree.openProject(file));
        tree.closeProject();
        const QByteArray bytes = fileBytes(file);
        QSignalSpy log(&tree, &DataModel_Index::onLoadLog);
        tree.select(0, 0, 0);
        tree.onNewUse(false);
        tree.onNewLog(QStringLiteral("late"));
        tree.setProjectConfig(st_ProjectConfig{});
        tree.setWifiName();
        QVERIFY(!tree.changePointName(0, 0, 99.0));
        QCOMPARE(log.count(), 0);
        QCOMPARE(prompt.shown.size(), 0);
        QVERIFY(fileBytes(file) == bytes);
    }
};

QTEST_MAIN(TestProjectEdit)
#include "tst_projectedit.moc"
