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
    void wifiFromWlan_data();
    void wifiFromWlan();
    void wifiStatusText_data();
    void wifiStatusText();
    void pingArguments();
    void pingOutputDecoded();
#ifndef Q_OS_WIN
    // A stand-in ping on PATH: Windows finds its own ping in the system
    // folder before PATH, so there the real one is tested (tests/windows).
    void pingRunsThePingOnPath();
#endif
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

namespace {

// The WLAN service's answers as a test gives them; records what was asked.
class CannedWlan : public WlanClient
{
public:
    bool opens = true;
    bool lists = true;
    QVector<int> states;
    bool queries = true;
    int quality = 0;
    QVector<int> queried;

    bool open() override { return opens; }
    bool interfaceStates(QVector<int>* out) override
    {
        *out = states;
        return lists;
    }
    bool connectionQuality(int index, int* out) override
    {
        queried << index;
        *out = quality;
        return queries;
    }
};

} // namespace

// The Windows service's interface states: 0 not ready, 1 connected,
// 4 disconnected, 5 associating, 7 authenticating.
void TstAcqPlatform::wifiFromWlan_data()
{
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("lists");
    QTest::addColumn<QVector<int>>("states");
    QTest::addColumn<bool>("queries");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QVector<int>>("queried");
    QTest::newRow("no service") << false << true << QVector<int>{1} << true << -1 << QVector<int>{};
    QTest::newRow("list refused") << true << false << QVector<int>{1} << true << -1 << QVector<int>{};
    QTest::newRow("no interface") << true << true << QVector<int>{} << true << -1 << QVector<int>{};
    QTest::newRow("none connected") << true << true << QVector<int>{4, 5, 0} << true << -1 << QVector<int>{};
    QTest::newRow("first connected one counts") << true << true << QVector<int>{7, 1, 1} << true << 66
                                                << QVector<int>{1};
    QTest::newRow("query refused") << true << true << QVector<int>{1} << false << -1 << QVector<int>{0};
}

void TstAcqPlatform::wifiFromWlan()
{
    QFETCH(bool, opens);
    QFETCH(bool, lists);
    QFETCH(QVector<int>, states);
    QFETCH(bool, queries);
    QFETCH(int, expected);
    QFETCH(QVector<int>, queried);
    CannedWlan wlan;
    wlan.opens = opens;
    wlan.lists = lists;
    wlan.states = states;
    wlan.queries = queries;
    wlan.quality = 66;
    QCOMPARE(WifiQualityFromWlan(wlan), expected);
    QCOMPARE(wlan.queried, queried);
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
    QCOMPARE(PingArguments("h", PingTool::Windows), (QStringList{"-n", "1", "-w", "400", "h"}));
    QCOMPARE(PingArguments("h", PingTool::IpUtils), (QStringList{"-c", "1", "-W", "0.4", "h"}));
    QCOMPARE(PingArguments("h"), PingArguments("h", systemPingTool()));
#ifdef Q_OS_WIN
    QCOMPARE(systemPingTool(), PingTool::Windows);
#else
    QCOMPARE(systemPingTool(), PingTool::IpUtils);
#endif

    // The settings page's test: Windows' ping sends four echoes on its own.
    QCOMPARE(PingTestArguments("h", PingTool::Windows), (QStringList{"h", "-w", "500"}));
    QCOMPARE(PingTestArguments("h", PingTool::IpUtils),
             (QStringList{"-c", "4", "-W", "0.5", "-w", "5", "h"}));
    for (const PingTool tool : {PingTool::Windows, PingTool::IpUtils}) {
        QVERIFY(PingTestArguments("-t", tool).isEmpty());
        QVERIFY(PingTestArguments(" ", tool).isEmpty());
    }
}

// A Chinese Windows' ping writes its code page, GBK; iputils' the locale's.
void TstAcqPlatform::pingOutputDecoded()
{
    const QByteArray gbk("\xc0\xb4\xd7\xd4 127.0.0.1 \xb5\xc4\xbb\xd8\xb8\xb4: "
                         "\xd7\xd6\xbd\xda=32 \xca\xb1\xbc\xe4<1ms TTL=128\r\n");
    QCOMPARE(DecodePingOutput(gbk, PingTool::Windows),
             QStringLiteral("来自 127.0.0.1 的回复: 字节=32 时间<1ms TTL=128\r\n"));
    const QString reply = QStringLiteral("64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.05 ms\n");
    QCOMPARE(DecodePingOutput(reply.toLocal8Bit(), PingTool::IpUtils), reply);
}

#ifndef Q_OS_WIN
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
#endif

QTEST_GUILESS_MAIN(TstAcqPlatform)
#include "tst_acq_platform.moc"
