// Files the tree must neither hang on nor harm: a project another program
// holds locked, one damaged under the open tree, a database of another
// program, a project that lost its project row, and stored numbers far
// outside what the instrument writes.
#include "ProjectFixture.h"
#include "RecordingPrompt.h"

#include "Data_Calc.h"
#include "Resources.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtEndian>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A hang would show as a test that runs into CTest's time-out; this bound
// makes it a plain failure instead. Far above the store's busy time-out.
constexpr qint64 kGiveUpBoundMs = 20000;

// The exports of the tree into a file.
enum class Export
{
    Usf,
    PointListing,
    SampleListing,
    Notes,
    PointTimes,
};

bool exportInto(DataModel_Index& tree, Export kind, const QString& path, ExportStatus* status)
{
    switch (kind) {
    case Export::Usf:
        return tree.exportUsfFile(path, status);
    case Export::PointListing:
        return tree.exportDataFile(path, 0, 0, status);
    case Export::SampleListing:
        return tree.exportDataFile(path, 0, 1, status);
    case Export::Notes:
        return tree.exportLogFile(path, status);
    case Export::PointTimes:
        return tree.exportPointTimeFile(path, status);
    }
    return false;
}

// Zeroes every page of a project file but the first, and tells the
// connections that have it open that it changed, as a disk that lost the
// file's pages under a running program would leave it.
bool damagePages(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    const QByteArray header = f.read(100);
    if (header.size() < 100)
        return false;
    int pageSize = qFromBigEndian<quint16>(header.constData() + 16);
    if (pageSize == 1)
        pageSize = 65536;
    uchar counter[4];
    qToBigEndian<quint32>(qFromBigEndian<quint32>(header.constData() + 24) + 1, counter);
    const qint64 size = f.size();
    return f.seek(24) && f.write(reinterpret_cast<const char*>(counter), 4) == 4 && f.seek(pageSize)
        && f.write(QByteArray(int(size - pageSize), '\0')) == size - pageSize;
}

} // namespace

Q_DECLARE_METATYPE(Export)

class TestProjectGuard : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    // A project of one line (10) with one point (20) of two samples, whose
    // settings differ from the defaults (point step 5).
    void writeProject(const QString& file)
    {
        {
            DataModel_Index tree;
            QVERIFY(tree.openProject(file));
            tree.setProperty("LineNo", 10.0);
            tree.setProperty("PointNo", 20.0);
            tree.dataUpload(sounding(2, 1700000000000));
            tree.dataSave(true);
            tree.closeProject();
        }
        SideDb db(file);
        QVERIFY(db.exec(QStringLiteral("UPDATE Data_Project SET PointNoStep = 5")));
    }

private slots:
    void initTestCase()
    {
        setUpProjectTests();
        initVodezResources();
        QVERIFY(dir.isValid());
    }

    // An open that meets the lock gives up at once in all and writes nothing;
    // it never takes the file for a new one, so once the lock is gone the
    // project opens with its own settings and a single project row.
    void lockedFileIsGivenUp_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("exclusive") << "exclusive";
        QTest::newRow("reserved") << "reserved";
    }
    void lockedFileIsGivenUp()
    {
        QFETCH(QString, kind);
        const QString file = path(QStringLiteral("locked-%1.VODEZ").arg(kind));
        writeProject(file);
        const QByteArray bytes = fileBytes(file);

        RecordingPrompt prompt;
        TestTree tree;
        QSignalSpy isNew(&tree, &DataModel_Index::isNewLineChanged);
        {
            FileLock lock(file, kind);
            QVERIFY(lock.held());
            QElapsedTimer took;
            took.start();
            QVERIFY(!tree.openProject(file));
            QVERIFY2(took.elapsed() < kGiveUpBoundMs, qPrintable(QString::number(took.elapsed())));
            QVERIFY(!tree.isProjectOpen());
            QCOMPARE(tree.topLevelItemCount(), 0);
            QCOMPARE(isNew.count(), 0);
            // The caller says that the file could not be opened.
            QCOMPARE(prompt.shown.size(), 0);
        }
        QVERIFY(fileBytes(file) == bytes);

        QSignalSpy config(&tree, &DataModel_Index::loadProjectConfig);
        QVERIFY(tree.openProject(file));
        QCOMPARE(config.count(), 1);
        QCOMPARE(config.first().first().value<st_ProjectConfig>().PointNoStep, 5.0);
        QCOMPARE(tree.topLevelItemCount(), 1);
        tree.closeProject();
        SideDb db(file);
        QCOMPARE(db.strings(QStringLiteral("SELECT ID FROM Data_Project")), QStringList{"1"});
        QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_WorkSet")).toInt(), 1);
    }

    // A save (and an edit) that meets the lock gives up with the save's
    // warning, stores nothing and still ends the save.
    void saveIntoLockedFileIsGivenUp()
    {
        const QString file = path(QStringLiteral("locked-save.VODEZ"));
        writeProject(file);
        RecordingPrompt prompt;
        TestTree tree;
        QVERIFY(tree.openProject(file));
        tree.setProperty("LineNo", 10.0);
        tree.setProperty("PointNo", 30.0);
        tree.dataUpload(sounding(2, 1700000100000));
        QSignalSpy over(&tree, &DataModel_Index::onSaveOver);
        QSignalSpy failedSave(&tree, &DataModel_Index::onSaveFailed);
        {
            FileLock lock(file, QStringLiteral("reserved"));
            QVERIFY(lock.held());
            prompt.expect(Prompt::Kind::Warning);
            QElapsedTimer took;
            took.start();
            tree.dataSave(true);
            tree.select(0, 0);
            tree.onNewUse(false);
            QVERIFY2(took.elapsed() < kGiveUpBoundMs, qPrintable(QString::number(took.elapsed())));
        }
        QCOMPARE(over.count(), 1);
        QCOMPARE(failedSave.count(), 1);
        QCOMPARE(prompt.count(Prompt::Kind::Warning), 1);
        QCOMPARE(prompt.shown.first().text, QStringLiteral("数据添加失败,可能是工程文件损坏"));
        QCOMPARE(tree.topLevelItem(0)->childCount(), 1);
        QCOMPARE(tree.Lines().first()->list_Data_Point.first()->USE, 1);
        tree.closeProject();

        SideDb db(file);
        QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_Point")).toInt(), 1);
        QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_Sample")).toInt(), 2);
        QCOMPARE(db.value(QStringLiteral("SELECT USE FROM Data_Point")).toInt(), 1);
    }

    // An export that cannot read a row of the file, locked by another
    // program or damaged under the open tree, stops at the first such row
    // (within one busy time-out, not one per sample) and leaves an older
    // export file as it was; once the lock is gone the export is written.
    void unreadableFileFailsExports_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<Export>("kind");
        const QList<QPair<const char*, Export> > exports = {{"usf", Export::Usf},
                                                            {"point listing", Export::PointListing},
                                                            {"sample listing", Export::SampleListing},
                                                            {"notes", Export::Notes},
                                                            {"point times", Export::PointTimes}};
        for (const char* cause : {"locked", "damaged"}) {
            for (const auto& e : exports)
                QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(cause), QLatin1String(e.first))))
                    << QString::fromLatin1(cause) << e.second;
        }
    }
    void unreadableFileFailsExports()
    {
        QFETCH(QString, cause);
        QFETCH(Export, kind);
        const QString file = path(QStringLiteral("unreadable-%1.VODEZ").arg(QTest::currentDataTag()));
        writeProject(file);
        Data_Calc calc(nullptr);
        TestTree tree;
        tree.SetDataCalc(&calc);
        QVERIFY(tree.openProject(file));
        const QString folder = path(QStringLiteral("unreadable/%1").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString target = folder + QStringLiteral("/out.txt");
        const QByteArray older("an older export\n");
        {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(older), qint64(older.size()));
        }

        std::unique_ptr<FileLock> lock;
        if (cause == QLatin1String("locked")) {
            lock = std::make_unique<FileLock>(file, QStringLiteral("exclusive"));
            QVERIFY(lock->held());
        } else {
            QVERIFY(damagePages(file));
        }
        ExportStatus status;
        QElapsedTimer took;
        took.start();
        QVERIFY(!exportInto(tree, kind, target, &status));
        QVERIFY2(took.elapsed() < 2 * ProjectStore::kBusyTimeoutMs, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(status.failure, ExportFailure::ProjectUnreadable);
        QVERIFY(!status.detail.isEmpty());
        QCOMPARE(fileBytes(target), older);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("out.txt")});

        if (lock) {
            lock->release();
            QVERIFY2(exportInto(tree, kind, target, &status), qPrintable(status.detail));
            QVERIFY(fileBytes(target) != older);
        }
    }

    // Another program's SQLite file given the project ending is refused as
    // it is, also when one of its tables bears a project table's name.
    void databaseOfAnotherProgramIsLeftAlone()
    {
        const QString file = path(QStringLiteral("foreign.VODEZ"));
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("CREATE TABLE Survey (id INTEGER PRIMARY KEY, title TEXT)")));
            QVERIFY(db.exec(QStringLiteral("CREATE TABLE Data_Line (ID INTEGER PRIMARY KEY, Label TEXT)")));
            QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Line (Label) VALUES ('theirs')")));
        }
        const QByteArray bytes = fileBytes(file);
        RecordingPrompt prompt;
        TestTree tree;
        QVERIFY(!tree.openProject(file));
        QVERIFY(!tree.isProjectOpen());
        QCOMPARE(prompt.shown.size(), 0);
        QVERIFY(fileBytes(file) == bytes);
    }

    // A project whose row 1 is gone gets it back as row 1, once: the next
    // open finds it and adds no project or work-set row.
    void lostProjectRowComesBackOnce()
    {
        const QString file = path(QStringLiteral("no-row.VODEZ"));
        writeProject(file);
        {
            SideDb db(file);
            QVERIFY(db.exec(QStringLiteral("DELETE FROM Data_Project")));
        }
        for (int open = 0; open < 2; ++open) {
            TestTree tree;
            QSignalSpy config(&tree, &DataModel_Index::loadProjectConfig);
            QVERIFY(tree.openProject(file));
            QCOMPARE(config.count(), 1);
            QCOMPARE(config.first().first().value<st_ProjectConfig>().PointNoStep, 10.0);
            QCOMPARE(tree.Project()->ID, 1);
            QCOMPARE(tree.topLevelItemCount(), 1);
            tree.closeProject();
            SideDb db(file);
            QCOMPARE(db.strings(QStringLiteral("SELECT ID FROM Data_Project")), QStringList{"1"});
            QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_WorkSet")).toInt(), 1);
        }
    }

    // Line numbers beyond the int range and periods whose sum is beyond it
    // are opened, shown and exported as the numbers they are.
    void outlandishStoredNumbers()
    {
        const QString file = path(QStringLiteral("odd.VODEZ"));
        writeProject(file);
        {
            SideDb db(file);
            // Gates late enough to stay in a section after the start-time cut.
            QVector<double> times, values;
            for (int g = 0; g < 40; ++g) {
                times.append(200.0 + 100.0 * g);
                values.append(1e-3 / (g + 1));
            }
            QVERIFY(db.exec(QStringLiteral("UPDATE Data_Sample SET PERIOD = 2147483647, DATA_RECV = X'%1', "
                                           "DATA_RECV_POS = X'%2'")
                                .arg(QString::fromLatin1(Data_Blob::VectorToByteArray(values).toHex()),
                                     QString::fromLatin1(Data_Blob::VectorToByteArray(times).toHex()))));
            for (const char* name : {"3e9", "1e300"}) {
                QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Line (NAME, TYPE, USE, NOTE) VALUES (%1, 0, 1, '')")
                                    .arg(QLatin1String(name))));
                for (int p = 1; p <= 2; ++p) {
                    QVERIFY(db.exec(QStringLiteral("INSERT INTO Data_Point (NAME, USE, NOTE, TYPE, Data_LineID) "
                                                   "VALUES (%1, 1, '', 0, (SELECT max(ID) FROM Data_Line))")
                                        .arg(p)));
                    QVERIFY(db.exec(QStringLiteral(
                        "INSERT INTO Data_Sample (StartTime, DeviceType, TYPE, PERIOD, DATA_RECV, DATA_RECV_POS, "
                        "DATA_RECV_LEN, DATA_SEND, DATA_SOFF, SendFs, SampleSendFs, SampleOffFs, RecvFs, USE, NOTE, "
                        "Data_PointID) SELECT StartTime, DeviceType, TYPE, PERIOD, DATA_RECV, DATA_RECV_POS, "
                        "DATA_RECV_LEN, DATA_SEND, DATA_SOFF, SendFs, SampleSendFs, SampleOffFs, RecvFs, USE, NOTE, "
                        "(SELECT max(ID) FROM Data_Point) FROM Data_Sample WHERE Data_PointID = 1")));
                }
            }
        }
        Data_Calc calc(nullptr);
        TestTree tree;
        tree.SetDataCalc(&calc);
        QVERIFY(tree.openProject(file));
        QCOMPARE(tree.topLevelItemCount(), 3);

        QSignalSpy sections(&tree, &DataModel_Index::onData_Recv_Line);
        QSignalSpy titles(&calc, &Data_Calc::setGraphTitle);
        tree.setIndex(1, -1, -1);
        tree.setIndex(2, -1, -1);
        QCOMPARE(sections.count(), 2);
        QCOMPARE(sections.at(0).first().toString(), QStringLiteral("3000000000线"));
        QCOMPARE(sections.at(1).first().toString(), QStringLiteral("1e+300线"));

        tree.setIndex(1, 0, -1);
        QCOMPARE(tree.GetParamRepeat(), 2);
        QCOMPARE(tree.GetParamPeriod(), 2147483647);
        QVERIFY(!titles.isEmpty());
        QCOMPARE(titles.last().first().toString(), QStringLiteral("3000000000线 1点"));
        QCOMPARE(tree.Lines().at(1)->list_Data_Point.first()->GetPeriod(), 2147483647);

        QVERIFY(tree.exportUsfFile(path(QStringLiteral("odd.usf"))));
        QVERIFY(tree.exportDataFile(path(QStringLiteral("odd-dump.txt")), 0, 0));
        QVERIFY(tree.exportLogFile(path(QStringLiteral("odd-log.txt"))));
        QVERIFY(tree.exportPointTimeFile(path(QStringLiteral("odd-times.txt"))));
        const QByteArray usf = fileBytes(path(QStringLiteral("odd.usf")));
        QVERIFY(usf.contains("/LOCATION:       3e+09,      1,      0.00"));
        QVERIFY(usf.contains("/LOCATION:       1e+300,      2,      0.00"));
    }
};

QTEST_MAIN(TestProjectGuard)
#include "tst_projectguard.moc"
