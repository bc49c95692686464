// The program settings file: the recent-projects list as it is kept across
// opens, vanished files and doubled keys, and the device addresses with
// their defaults.

#include "ProgramSettings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TstProgramSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString ini() const { return dir.filePath(QStringLiteral("config.ini")); }

    // Project files p0 .. p(n-1) that exist.
    QStringList projects(int n, const QString& stem = QStringLiteral("p"))
    {
        QStringList paths;
        for (int i = 0; i < n; ++i) {
            const QString path = dir.filePath(QStringLiteral("%1%2.VODEZ").arg(stem).arg(i));
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            paths << path;
        }
        return paths;
    }

    QVariant raw(const QString& key) const
    {
        QSettings s(ini(), QSettings::IniFormat);
        s.setIniCodec("UTF-8");
        return s.value(key);
    }

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        QFile::remove(ini());
    }

    void missingFileGivesDefaults()
    {
        ProgramSettings s(ini());
        QVERIFY(s.loadRecentProjects().isEmpty());
        QCOMPARE(s.sendIP(), QStringLiteral("192.168.0.9"));
        QCOMPARE(s.recvIP(), QStringLiteral("192.168.0.10"));
    }

    void addressesRoundTrip()
    {
        {
            ProgramSettings s(ini());
            s.setDeviceAddresses(QStringLiteral("127.0.0.9"), QStringLiteral("127.0.0.10"));
            QCOMPARE(s.sync(), QSettings::NoError);
        }
        QCOMPARE(raw(QStringLiteral("SysConf/SendIP")).toString(), QStringLiteral("127.0.0.9"));
        QCOMPARE(raw(QStringLiteral("SysConf/RecvIP")).toString(), QStringLiteral("127.0.0.10"));
        ProgramSettings again(ini());
        QCOMPARE(again.sendIP(), QStringLiteral("127.0.0.9"));
        QCOMPARE(again.recvIP(), QStringLiteral("127.0.0.10"));
    }

    // Opening projects one after another, as the window does.
    void addRecentProject_data()
    {
        QTest::addColumn<int>("kept");      // projects already in the list, newest first
        QTest::addColumn<int>("reopen");    // index of the one opened now, -1: a new one
        QTest::addColumn<QList<int> >("order"); // resulting list by index, 99 = the new one
        QTest::newRow("tenth drops the oldest") << 9 << -1 << QList<int>{99, 0, 1, 2, 3, 4, 5, 6, 7};
        QTest::newRow("third moves to the top") << 5 << 2 << QList<int>{2, 0, 1, 3, 4};
        QTest::newRow("first stays first") << 3 << 0 << QList<int>{0, 1, 2};
        QTest::newRow("into an empty list") << 0 << -1 << QList<int>{99};
    }
    void addRecentProject()
    {
        QFETCH(int, kept);
        QFETCH(int, reopen);
        QFETCH(QList<int>, order);
        const QStringList old = projects(kept);
        const QString fresh = projects(1, QStringLiteral("新"))[0];
        ProgramSettings s(ini());
        s.saveRecentProjects(old);
        QCOMPARE(s.loadRecentProjects(), old);

        const QStringList now = s.addRecentProject(old, reopen < 0 ? fresh : old.at(reopen));
        QStringList expected;
        for (int i : order)
            expected << (i == 99 ? fresh : old.at(i));
        QCOMPARE(now, expected);
        QVERIFY(now.size() <= ProgramSettings::kRecentKept);
        // What a later start reads.
        ProgramSettings next(ini());
        QCOMPARE(next.loadRecentProjects(), expected);
    }

    void vanishedFileIsWrittenEmptyThenDropped()
    {
        const QStringList paths = projects(3);
        ProgramSettings s(ini());
        s.saveRecentProjects(paths);
        QVERIFY(QFile::remove(paths.at(1)));
        s.saveRecentProjects(paths);
        s.sync();
        QCOMPARE(raw(QStringLiteral("ProjList/List2")).toString(), QString());
        QCOMPARE(s.loadRecentProjects(), (QStringList{paths.at(0), paths.at(2)}));
        s.sync();
        QVERIFY(!raw(QStringLiteral("ProjList/List2")).isValid());
    }

    void doubledKeyGivesOneEntryUntilSaved()
    {
        const QStringList paths = projects(2);
        {
            QSettings w(ini(), QSettings::IniFormat);
            w.setValue(QStringLiteral("ProjList/List1"), paths.at(0));
            w.setValue(QStringLiteral("ProjList/List2"), paths.at(1));
            w.setValue(QStringLiteral("ProjList/List3"), paths.at(0));
        }
        ProgramSettings s(ini());
        const QStringList list = s.loadRecentProjects();
        QCOMPARE(list, paths);
        s.sync();
        QCOMPARE(raw(QStringLiteral("ProjList/List3")).toString(), paths.at(0));
        // A save writes only as many keys as the list has.
        s.saveRecentProjects(list);
        s.sync();
        QCOMPARE(raw(QStringLiteral("ProjList/List3")).toString(), paths.at(0));
        s.addRecentProject(list, projects(1, QStringLiteral("q"))[0]);
        s.sync();
        QCOMPARE(raw(QStringLiteral("ProjList/List3")).toString(), paths.at(1));
    }
};

QTEST_GUILESS_MAIN(TstProgramSettings)
#include "tst_programsettings.moc"
