// The platform probes behind the controller: Wi-Fi signal quality and ping.

#include "PingHost.h"
#include "VODEZ_Collector.h"
#include "WifiSignal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TstAcqPlatform : public QObject
{
    Q_OBJECT
private slots:
    void wifiFromProc_data();
    void wifiFromProc();
    void wifiStatusText_data();
    void wifiStatusText();
    void pingArguments();
    void pingRunsThePingOnPath();
};

void TstAcqPlatform::wifiFromProc_data()
{
    const QByteArray head =
        "Inter-| sta-|   Quality        |   Discarded packets               | Missed | WE\n"
        " face | tus | link level noise |  nwid  crypt   frag  retry   misc | beacon | 22\n";
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("quality");
    QTest::newRow("no interface") << head << -1;
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("associated") << head + " wlan0: 0000   54.  -56.  -256        0      0      0      0    147        0\n" << 77;
    QTest::newRow("full scale") << head + " wlan0: 0000   70.  -30.  -256        0      0      0      0      0        0\n" << 100;
    QTest::newRow("above scale clamps") << head + " wlp2s0: 0000  100.  -20.  -256       0      0      0      0      0        0\n" << 100;
    QTest::newRow("not associated, next one counts")
        << head + " wlan0: 0000    0.  -256.  -256       0      0      0      0      0        0\n"
                  " wlan1: 0000   35.  -70.  -256        0      0      0      0      0        0\n" << 50;
    QTest::newRow("garbage") << head + " wlan0: zz\n" << -1;
}

void TstAcqPlatform::wifiFromProc()
{
    QFETCH(QByteArray, text);
    QFETCH(int, quality);
    QCOMPARE(WifiQualityFromProcText(text), quality);
    const int live = GetWifiSignalQuality();
    QVERIFY(live >= -1 && live <= 100);
}

void TstAcqPlatform::wifiStatusText_data()
{
    QTest::addColumn<int>("quality");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown") << -1 << QStringLiteral("已连接");
    QTest::newRow("0") << 0 << QStringLiteral("<span style='color:green;'>已连接 📶弱 0</span>");
    QTest::newRow("79") << 79 << QStringLiteral("<span style='color:green;'>已连接 📶弱 79</span>");
    QTest::newRow("80") << 80 << QStringLiteral("<span style='color:green;'>已连接 📶中 80</span>");
    QTest::newRow("89") << 89 << QStringLiteral("<span style='color:green;'>已连接 📶中 89</span>");
    QTest::newRow("90") << 90 << QStringLiteral("<span style='color:green;'>已连接 📶强 90</span>");
    QTest::newRow("100") << 100 << QStringLiteral("<span style='color:green;'>已连接 📶强 100</span>");
}

void TstAcqPlatform::wifiStatusText()
{
    QFETCH(int, quality);
    QFETCH(QString, text);
    QCOMPARE(VODEZ_Collector::WifiStatusText(quality), text);
}

void TstAcqPlatform::pingArguments()
{
#ifdef Q_OS_WIN
    QCOMPARE(PingArguments("h"), (QStringList{"-n", "1", "-w", "400", "h"}));
#else
    QCOMPARE(PingArguments("h"), (QStringList{"-c", "1", "-W", "0.4", "h"}));
#endif
}

void TstAcqPlatform::pingRunsThePingOnPath()
{
    // A fake ping first on PATH: records its arguments, fails for one host.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString log = dir.filePath(QStringLiteral("args.txt"));
    QFile script(dir.filePath(QStringLiteral("ping")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho \"$@\" >> '%1'\n"
                                "case \"$5\" in 127.0.4.250) exit 1;; esac\nexit 0\n").arg(log).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", dir.path().toLocal8Bit() + ':' + oldPath);

    QVERIFY(PingHost(QStringLiteral("127.0.4.1")));
    QVERIFY(!PingHost(QStringLiteral("127.0.4.250")));
    QVERIFY(!PingHost(QStringLiteral("-f")));          // never read as an option
    QVERIFY(!PingHost(QString()));
    QFile args(log);
    QVERIFY(args.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(args.readAll()),
             QStringLiteral("-c 1 -W 0.4 127.0.4.1\n-c 1 -W 0.4 127.0.4.250\n"));

    // No ping at all: a failure, not a hang.
    qputenv("PATH", QTemporaryDir().path().toLocal8Bit());
    QVERIFY(!PingHost(QStringLiteral("127.0.4.1")));
    qputenv("PATH", oldPath);
}

QTEST_GUILESS_MAIN(TstAcqPlatform)
#include "tst_acq_platform.moc"
