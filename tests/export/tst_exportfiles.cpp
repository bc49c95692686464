// Exports written to files: whole or not at all, and failures reported.
#include "ExportFixture.h"
#include "FileSizeCap.h"
#include "TextListings.h"
#include "UsfExport.h"

#include "Data_Calc.h"

#include <QtTest>

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>


using namespace exportfixture;
using Writer = std::function<bool(const QString& path, QString* error)>;
Q_DECLARE_METATYPE(Writer)

class TestExportFiles : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    Project m_project;

    static QByteArray readFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        setUpExports(this);
        QVERIFY(m_project.create(m_dir.filePath(QStringLiteral("files.VODEZ"))));
    }

    void writers_data()
    {
        QTest::addColumn<Writer>("writer");
        QTest::addColumn<QString>("expected");
        Lines* lines = &m_project.lines();
        QTest::newRow("usf") << Writer([lines](const QString& path, QString* error) {
            return WriteExportFile(path, [lines](QTextStream& out) { UsfExport::Write(out, *lines, false); }, error);
        }) << "project.usf";
        QTest::newRow("dump") << Writer([lines](const QString& path, QString* error) {
            TextListings::DumpOptions o;
            o.depth = 1;
            o.config = Project::config();
            return WriteExportFile(path, [lines, o](QTextStream& out) { TextListings::WriteData(out, *lines, o); },
                                   error);
        }) << "dump1.txt";
        QTest::newRow("notes") << Writer([lines](const QString& path, QString* error) {
            return WriteExportFile(path, [lines](QTextStream& out) { TextListings::WriteLog(out, *lines); }, error);
        }) << "log.txt";
        QTest::newRow("point times") << Writer([lines](const QString& path, QString* error) {
            return WriteExportFile(path, [lines](QTextStream& out) { TextListings::WritePointTime(out, *lines); },
                                   error);
        }) << "pointtime.txt";
    }

    void writers()
    {
        QFETCH(Writer, writer);
        QFETCH(QString, expected);
        const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/out.txt");
        QString error;

        // A good export replaces an older file whole.
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(20000, 'x'));
        }
        QVERIFY(writer(path, &error));
        QCOMPARE(readFile(path), expectedTextFile(expected));

        // A disk that fills up under the export: failure, and the good file
        // from before is still there, unchanged, with no leftovers beside it.
        const QByteArray good = readFile(path);
        if (FileSizeCap::available) {
            {
                FileSizeCap cap(100);
                QVERIFY(cap.ok());
                QVERIFY(!writer(path, &error));
            }
            QVERIFY(!error.isEmpty());
            QCOMPARE(readFile(path), good);
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("out.txt")});
        }

        // A folder that does not exist: failure, nothing created.
        error.clear();
        const QString missing = folder + QStringLiteral("/missing/out.txt");
        QVERIFY(!writer(missing, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(missing));
    }

    // A folder that takes no new file but lets its files be overwritten: the
    // export goes straight into the target, made whole before the target is
    // touched; with no target to overwrite, nothing is created.
    void folderWithoutRoomForTemporaryFile()
    {
        QStringList asked;
        SetExportTemporaryFileGate([&asked](const QString& folder) {
            asked << folder;
            return false;
        });
        auto reopen = qScopeGuard([] { SetExportTemporaryFileGate(ExportTemporaryFileGate()); });
        const QString folder = m_dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/out.usf");
        Lines* lines = &m_project.lines();
        const auto usf = [lines](QTextStream& out) { UsfExport::Write(out, *lines, false); };
        QString error;

        // No file there yet: failure, and none made.
        QVERIFY(!WriteExportFile(path, usf, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(path));
        QCOMPARE(asked, QStringList{QDir(folder).absolutePath()});

        // An older, longer file is replaced by the whole export, with nothing
        // left beside it.
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(20000, 'x'));
        }
        QVERIFY2(WriteExportFile(path, usf, &error), qPrintable(error));
        QCOMPARE(readFile(path), expectedTextFile(QStringLiteral("project.usf")));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("out.usf")});

        // A writer that fails leaves the file as it was.
        const QByteArray good = readFile(path);
        error.clear();
        QVERIFY(!WriteExportFile(path, [](QTextStream& out) {
            out << "partial";
            out.setStatus(QTextStream::WriteFailed);
        }, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFile(path), good);
    }

    void failedStreamIsNotCommitted()
    {
        // A writer whose stream goes bad is a failure even when every byte
        // the device saw was written.
        const QString path = m_dir.filePath(QStringLiteral("bad.txt"));
        QString error;
        QVERIFY(!WriteExportFile(path, [](QTextStream& out) {
            out << "partial";
            out.setStatus(QTextStream::WriteFailed);
        }, &error));
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestExportFiles)
#include "tst_exportfiles.moc"
