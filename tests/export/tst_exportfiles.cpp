// Exports written to files: whole or not at all, and failures reported,
// each as what it is.
#include "ExportFixture.h"
#include "FileSizeCap.h"
#include "OrderedText.h"
#include "PackedSamples.h"
#include "ProjectFixture.h"
#include "TextListings.h"
#include "UsfExport.h"

#include "Data_Calc.h"

#include <QtTest>

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>


using namespace exportfixture;
using Writer = std::function<bool(const QString& path, ExportStatus* error)>;
Q_DECLARE_METATYPE(Writer)
Q_DECLARE_METATYPE(FaultyDiskInPlace::Fault)

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

    // An older export of `size` bytes, in lines, none of them like the new
    // text's.
    static QByteArray olderExport(int size)
    {
        QByteArray text;
        while (text.size() < size)
            text += "older export, byte " + QByteArray::number(text.size()) + '\n';
        text.truncate(size);
        return text;
    }

    static FaultyDiskInPlace::Fault writeFault(int write, qint64 through, bool andAfter = false)
    {
        FaultyDiskInPlace::Fault fault;
        fault.write = write;
        fault.through = through;
        fault.andAfter = andAfter;
        return fault;
    }
    static FaultyDiskInPlace::Fault syncFault(int sync, bool andAfter = false)
    {
        FaultyDiskInPlace::Fault fault;
        fault.sync = sync;
        fault.andAfter = andAfter;
        return fault;
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
        QTest::newRow("usf") << Writer([lines](const QString& path, ExportStatus* error) {
            return WriteExportFile(path, [lines](QTextStream& out) { return UsfExport::Write(out, *lines, false); },
                                   error);
        }) << "project.usf";
        QTest::newRow("dump") << Writer([lines](const QString& path, ExportStatus* error) {
            TextListings::DumpOptions o;
            o.depth = 1;
            o.config = Project::config();
            return WriteExportFile(
                path, [lines, o](QTextStream& out) { return TextListings::WriteData(out, *lines, o); }, error);
        }) << "dump1.txt";
        QTest::newRow("notes") << Writer([lines](const QString& path, ExportStatus* error) {
            return WriteExportFile(path, [lines](QTextStream& out) { return TextListings::WriteLog(out, *lines); },
                                   error);
        }) << "log.txt";
        QTest::newRow("point times") << Writer([lines](const QString& path, ExportStatus* error) {
            return WriteExportFile(
                path, [lines](QTextStream& out) { return TextListings::WritePointTime(out, *lines); }, error);
        }) << "pointtime.txt";
    }

    void writers()
    {
        QFETCH(Writer, writer);
        QFETCH(QString, expected);
        const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/out.txt");
        ExportStatus error;

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
            QVERIFY(!error.detail.isEmpty());
            // The cap is a file too large, not a full disk.
            QCOMPARE(error.failure, ExportFailure::WriteFailed);
            QCOMPARE(readFile(path), good);
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("out.txt")});
        }

        // A folder that does not exist: failure, nothing created.
        error = ExportStatus();
        const QString missing = folder + QStringLiteral("/missing/out.txt");
        QVERIFY(!writer(missing, &error));
        QVERIFY(!error.detail.isEmpty());
        QCOMPARE(error.failure, ExportFailure::CannotOpen);
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
        const auto usf = [lines](QTextStream& out) { return UsfExport::Write(out, *lines, false); };
        ExportStatus error;

        // No file there yet: failure, and none made.
        QVERIFY(!WriteExportFile(path, usf, &error));
        QVERIFY(!error.detail.isEmpty());
        QVERIFY(!QFile::exists(path));
        QCOMPARE(asked, QStringList{QDir(folder).absolutePath()});

        // An older, longer file is replaced by the whole export, with nothing
        // left beside it.
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(20000, 'x'));
        }
        QVERIFY2(WriteExportFile(path, usf, &error), qPrintable(error.detail));
        QCOMPARE(readFile(path), expectedTextFile(QStringLiteral("project.usf")));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("out.usf")});

        // A writer that fails leaves the file as it was.
        const QByteArray good = readFile(path);
        error = ExportStatus();
        QVERIFY(!WriteExportFile(path, [](QTextStream& out) {
            out << "partial";
            out.setStatus(QTextStream::WriteFailed);
            return ExportStatus();
        }, &error));
        QVERIFY(!error.detail.isEmpty());
        QCOMPARE(readFile(path), good);
    }

    // Both roads write through a device in text mode, so that they end
    // lines alike where text mode changes them (not here: LF stays LF).
    void bothRoadsWriteInTextMode_data()
    {
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("through a temporary file") << false;
        QTest::newRow("in place") << true;
    }
    void bothRoadsWriteInTextMode()
    {
        QFETCH(bool, inPlace);
        const QString path = m_dir.filePath(QStringLiteral("text-%1.txt").arg(QTest::currentDataTag()));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
        }
        if (inPlace)
            SetExportTemporaryFileGate([](const QString&) { return false; });
        auto reopen = qScopeGuard([] { SetExportTemporaryFileGate(ExportTemporaryFileGate()); });
        bool textMode = false;
        QVERIFY(WriteExportFile(path, [&textMode](QTextStream& out) {
            textMode = out.device() && out.device()->isTextModeEnabled();
            out << "a\nb\n";
            return ExportStatus();
        }));
        QVERIFY(textMode);
#ifdef Q_OS_WIN
        QCOMPARE(readFile(path), QByteArray("a\r\nb\r\n"));
#else
        QCOMPARE(readFile(path), QByteArray("a\nb\n"));
#endif
    }

    // Written in place onto a disk that fills up: the room the new text
    // needs beyond the older file is taken first, so a disk without it
    // leaves the older file as it was and says that it is full.
    void fullDiskInPlace_data()
    {
        QTest::addColumn<int>("older");
        QTest::addColumn<qint64>("room");
        QTest::addColumn<bool>("written");
        const int text = expectedTextFile(QStringLiteral("project.usf")).size();
        QTest::newRow("room for the whole text") << 1000 << qint64(text) << true;
        QTest::newRow("room for part of it") << 1000 << qint64(text - 500) << false;
        QTest::newRow("no room beyond the older file") << 1000 << qint64(1000) << false;
        QTest::newRow("shorter text over a longer file") << 20000 << qint64(20000) << true;
    }
    void fullDiskInPlace()
    {
        QFETCH(int, older);
        QFETCH(qint64, room);
        QFETCH(bool, written);
        const QString folder = m_dir.filePath(QStringLiteral("full/%1").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/out.usf");
        const QByteArray before(older, 'o');
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            QCOMPARE(old.write(before), qint64(older));
        }
        Lines* lines = &m_project.lines();
        ExportStatus status;
        bool ok = false;
        {
            FullDiskInPlace disk(room);
            ok = WriteExportFile(path, [lines](QTextStream& out) { return UsfExport::Write(out, *lines, false); },
                                 &status);
        }
        QCOMPARE(ok, written);
        if (written) {
            QCOMPARE(readFile(path), expectedTextFile(QStringLiteral("project.usf")));
        } else {
            QCOMPARE(status.failure, ExportFailure::DiskFull);
            QCOMPARE(readFile(path), before);
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("out.usf")});
    }

    // A write error while the older file is overwritten in place (an I/O
    // error, a stick pulled, a copy-on-write disk that is full) puts the
    // older file back byte for byte, wherever in the overwrite it falls;
    // where putting it back fails as well, the failure says that the older
    // file is lost. Writes and syncs are counted as the fake disk counts
    // them: with an older file shorter than the text, the room beyond it
    // comes first.
    void failedOverwriteInPlace_data()
    {
        QTest::addColumn<int>("older");
        QTest::addColumn<FaultyDiskInPlace::Fault>("fault");
        QTest::addColumn<bool>("putBack");
        const int text = expectedTextFile(QStringLiteral("project.usf")).size();
        QTest::newRow("shorter file, the first write at offset 0") << 1000 << writeFault(2, 0) << true;
        QTest::newRow("shorter file, part way") << 1000 << writeFault(2, 400) << true;
        QTest::newRow("shorter file, the sync after the overwrite") << 1000 << syncFault(2) << true;
        QTest::newRow("file as long, part way") << text << writeFault(1, text / 2) << true;
        QTest::newRow("longer file, the first write at offset 0") << 20000 << writeFault(1, 0) << true;
        QTest::newRow("longer file, part way") << 20000 << writeFault(1, 1500) << true;
        QTest::newRow("longer file, the sync after the cut") << 20000 << syncFault(1) << true;
        QTest::newRow("shorter file, part way, not put back") << 1000 << writeFault(2, 400, true) << false;
        QTest::newRow("longer file, the sync after the cut, not put back") << 20000 << syncFault(1, true) << false;
    }
    void failedOverwriteInPlace()
    {
        QFETCH(int, older);
        QFETCH(FaultyDiskInPlace::Fault, fault);
        QFETCH(bool, putBack);
        const QString folder = m_dir.filePath(QStringLiteral("faulty/%1").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/out.usf");
        const QByteArray before = olderExport(older);
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            QCOMPARE(old.write(before), qint64(older));
        }
        Lines* lines = &m_project.lines();
        ExportStatus status;
        {
            FaultyDiskInPlace disk(fault);
            QVERIFY(!WriteExportFile(path, [lines](QTextStream& out) { return UsfExport::Write(out, *lines, false); },
                                     &status));
            QVERIFY(disk.faulted());
        }
        QVERIFY(!status.detail.isEmpty());
        if (putBack) {
            QCOMPARE(status.failure, ExportFailure::WriteFailed);
            QCOMPARE(readFile(path), before);
        } else {
            QCOMPARE(status.failure, ExportFailure::OlderFileDamaged);
            QVERIFY(readFile(path) != before);
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("out.usf")});
    }

    // A write the disk has no room for is a full disk; one refused for
    // another reason (a file too large, above) is not.
    void fullDiskIsToldApart()
    {
        QFile full(QStringLiteral("/dev/full"));
        QVERIFY(full.open(QIODevice::WriteOnly));
        QVERIFY(!WriteWhole(full, "text", 4) || !full.flush());
        QCOMPARE(ExportWriteFailure(full).failure, ExportFailure::DiskFull);
    }

    // Stored arrays of a sounding beyond what one buffer holds (a small
    // limit here) fail the export, which leaves the older file as it was;
    // their sizes are worked out in 64 bits, not wrapped.
    void soundingsTooLargeToHold_data()
    {
        QTest::addColumn<Writer>("writer");
        Lines* lines = &m_project.lines();
        QTest::newRow("usf") << Writer([lines](const QString& path, ExportStatus* error) {
            return WriteExportFile(path, [lines](QTextStream& out) { return UsfExport::Write(out, *lines, false); },
                                   error);
        });
        for (int depth : {0, 1}) {
            QTest::newRow(depth == 0 ? "dump of points" : "dump of samples")
                << Writer([lines, depth](const QString& path, ExportStatus* error) {
                       TextListings::DumpOptions o;
                       o.depth = depth;
                       return WriteExportFile(
                           path, [lines, o](QTextStream& out) { return TextListings::WriteData(out, *lines, o); },
                           error);
                   });
        }
    }
    void soundingsTooLargeToHold()
    {
        QFETCH(Writer, writer);
        const QString path = m_dir.filePath(QStringLiteral("large-%1.txt").arg(QTest::currentDataTag()));
        const QByteArray older("older\n");
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(older);
        }
        ExportStatus status;
        {
            SetExportBufferLimit(100);   // less than the two samples of point 10
            auto restore = qScopeGuard([] { SetExportBufferLimit(0); });
            QVERIFY(!writer(path, &status));
        }
        QCOMPARE(status.failure, ExportFailure::NoMemory);
        QCOMPARE(readFile(path), older);
        QVERIFY(writer(path, &status));

        // 4100 samples of 1053584 bytes: room for none of them is taken. In
        // 32 bits their size would wrap to some 24 MB, which looks takeable.
        PackedSamples packed;
        packed.reserveFor(1053584, 4100);
        QVERIFY(packed.bytes.capacity() < 1053584);
        QVERIFY(!packed.noRoom);
    }

    // A piece whose text cannot be had for want of memory, on whichever
    // thread it is made, fails the export: what came before it is written,
    // nothing after it, and the program goes on.
    void pieceWithoutMemoryFailsTheExport()
    {
        QString text;
        QTextStream out(&text);
        bool stepRan = false;
        ExportStatus status;
        {
            OrderedText pieces(out);
            pieces.text([] { return QStringLiteral("before\n"); });
            pieces.text([]() -> QString { throw std::bad_alloc(); });
            pieces.text([] { return QStringLiteral("after\n"); });
            pieces.then([&stepRan] { stepRan = true; });
            pieces.finish();
            status = pieces.status();
        }
        out.flush();
        QCOMPARE(status.failure, ExportFailure::NoMemory);
        QCOMPARE(text, QStringLiteral("before\n"));
        QVERIFY(!stepRan);
    }

    void failedStreamIsNotCommitted()
    {
        // A writer whose stream goes bad is a failure even when every byte
        // the device saw was written.
        const QString path = m_dir.filePath(QStringLiteral("bad.txt"));
        ExportStatus error;
        QVERIFY(!WriteExportFile(path, [](QTextStream& out) {
            out << "partial";
            out.setStatus(QTextStream::WriteFailed);
            return ExportStatus();
        }, &error));
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestExportFiles)
#include "tst_exportfiles.moc"
