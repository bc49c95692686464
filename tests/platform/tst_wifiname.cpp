#include "WifiName.h"

#include <QtTest>

namespace {

const char* const kEnglish =
    "\r\nThere is 1 interface on the system:\r\n\r\n"
    "    Name                   : Wi-Fi\r\n"
    "    Description            : Intel(R) Wi-Fi 6 AX201 160MHz\r\n"
    "    GUID                   : 0a1b2c3d-0000-1111-2222-333344445555\r\n"
    "    Physical address       : aa:bb:cc:dd:ee:ff\r\n"
    "    State                  : connected\r\n"
    "    SSID                   : VODEZ  Field\r\n"
    "    BSSID                  : 11:22:33:44:55:66\r\n"
    "    Network type           : Infrastructure\r\n"
    "    Signal                 : 92%\r\n"
    "    Profile                : VODEZ  Field\r\n\r\n"
    "    Hosted network status  : Not available\r\n";

// The Chinese system prints the same keys for SSID/BSSID, the rest translated.
const char* const kChinese =
    "\r\n系统上有 1 个接口:\r\n\r\n"
    "    名称                   : WLAN\r\n"
    "    描述                   : Intel(R) Dual Band Wireless-AC 8265\r\n"
    "    物理地址               : aa:bb:cc:dd:ee:ff\r\n"
    "    状态                   : 已连接\r\n"
    "    BSSID                  : 11:22:33:44:55:66\r\n"
    "    SSID                   : 野外站-2\r\n"
    "    信号                   : 99%\r\n"
    "    配置文件               : 野外站-2\r\n\r\n"
    "    承载网络状态  : 不可用\r\n";

const char* const kDisconnected =
    "\r\nThere is 1 interface on the system:\r\n\r\n"
    "    Name                   : Wi-Fi\r\n"
    "    State                  : disconnected\r\n"
    "    Radio status           : Hardware On\r\n";

const char* const kNoService = "The Wireless AutoConfig Service (wlansvc) is not running.\r\n";

} // namespace

class TestWifiName : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { WifiName::setCommandRunner({}); }

    void netshText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::newRow("english") << QString::fromUtf8(kEnglish) << QStringLiteral("VODEZ Field");
        QTest::newRow("chinese, BSSID first") << QString::fromUtf8(kChinese) << QStringLiteral("野外站-2");
        QTest::newRow("disconnected") << QString::fromUtf8(kDisconnected) << QStringLiteral("None");
        QTest::newRow("service off") << QString::fromUtf8(kNoService) << QStringLiteral("None");
        QTest::newRow("empty") << QString() << QStringLiteral("None");
        QTest::newRow("colon in the name")
            << QStringLiteral("    SSID   :  lab:net:5G \n") << QStringLiteral("lab:net:5G");
        QTest::newRow("bare cr line ends")
            << QStringLiteral("State : connected\rSSID : a b\rBSSID : x") << QStringLiteral("a b");
        QTest::newRow("empty name, later interface named")
            << QStringLiteral("SSID :\n\nSSID : second\n") << QStringLiteral("second");
        QTest::newRow("lower-case key is not the key")
            << QStringLiteral("ssid : x\n") << QStringLiteral("None");
    }
    void netshText()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QCOMPARE(WifiName::parseNetshInterfaces(text), name);
    }

    void nmcliText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::newRow("active second") << QStringLiteral("no:Other\nyes:Field Net\n") << QStringLiteral("Field Net");
        QTest::newRow("escaped colon") << QStringLiteral("yes:lab\\:net\n") << QStringLiteral("lab:net");
        QTest::newRow("none active") << QStringLiteral("no:A\nno:B\n") << QStringLiteral("None");
        QTest::newRow("empty") << QString() << QStringLiteral("None");
    }
    void nmcliText()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QCOMPARE(WifiName::parseNmcliWifi(text), name);
    }

    // The Linux lookup asks iwgetid first and nmcli second.
    void linuxLookupUsesTheAvailableTool_data()
    {
        QTest::addColumn<bool>("iwgetidRuns");
        QTest::addColumn<QByteArray>("iwgetidOut");
        QTest::addColumn<bool>("nmcliRuns");
        QTest::addColumn<QByteArray>("nmcliOut");
        QTest::addColumn<QString>("name");
        QTest::newRow("iwgetid") << true << QByteArray("Field\n") << true << QByteArray("yes:Other\n") << "Field";
        QTest::newRow("iwgetid empty, nmcli") << true << QByteArray("\n") << true << QByteArray("yes:Other\n") << "Other";
        QTest::newRow("only nmcli") << false << QByteArray() << true << QByteArray("yes:Other\n") << "Other";
        QTest::newRow("no tools") << false << QByteArray() << false << QByteArray() << "None";
    }
    void linuxLookupUsesTheAvailableTool()
    {
        QFETCH(bool, iwgetidRuns);
        QFETCH(QByteArray, iwgetidOut);
        QFETCH(bool, nmcliRuns);
        QFETCH(QByteArray, nmcliOut);
        QFETCH(QString, name);
        QStringList asked;
        WifiName::setCommandRunner([&](const QString& program, const QStringList& args, QByteArray* out) {
            asked << program + QLatin1Char(' ') + args.join(QLatin1Char(' '));
            if (program == QLatin1String("iwgetid")) {
                *out = iwgetidOut;
                return iwgetidRuns;
            }
            if (program == QLatin1String("nmcli")) {
                *out = nmcliOut;
                return nmcliRuns;
            }
            return false;
        });
        QCOMPARE(WifiName::currentByLinuxTools(), name);
        QCOMPARE(asked.first(), QStringLiteral("iwgetid -r"));
    }

    // The Windows lookup: one command through the command interpreter, its
    // output in the local code page. Wine's netsh prints nothing at all.
    void netshLookup_data()
    {
        QTest::addColumn<bool>("runs");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("name");
        // (Text that any local code page holds: under Wine it is Windows-1252.)
        QTest::newRow("connected") << true << QString::fromUtf8(kEnglish) << QStringLiteral("VODEZ Field");
        QTest::newRow("no wlan service") << true << QString::fromUtf8(kNoService) << QStringLiteral("None");
        QTest::newRow("nothing printed") << true << QString() << QStringLiteral("None");
        QTest::newRow("no interpreter") << false << QString::fromUtf8(kEnglish) << QStringLiteral("None");
    }
    void netshLookup()
    {
        QFETCH(bool, runs);
        QFETCH(QString, out);
        QFETCH(QString, name);
        QStringList asked;
        WifiName::setCommandRunner([&](const QString& program, const QStringList& args, QByteArray* output) {
            asked << program;
            asked << args;
            *output = out.toLocal8Bit();
            return runs;
        });
        QCOMPARE(WifiName::currentByNetsh(), name);
        QCOMPARE(asked, (QStringList{"cmd", "/c", "netsh wlan show interfaces"}));
    }

    void currentAsksThisPlatformsTool()
    {
        QStringList asked;
        WifiName::setCommandRunner([&](const QString& program, const QStringList& args, QByteArray*) {
            asked << program + QLatin1Char(' ') + args.join(QLatin1Char(' '));
            return false;
        });
        QCOMPARE(WifiName::current(), QStringLiteral("None"));
#ifdef Q_OS_WIN
        QCOMPARE(asked, QStringList{"cmd /c netsh wlan show interfaces"});
#else
        QCOMPARE(asked.first(), QStringLiteral("iwgetid -r"));
#endif
    }

    // Without a test runner a real process is started: a missing tool is
    // simply "None", never a hang or a crash.
    void realProcessWithoutTools()
    {
        const QString path = qEnvironmentVariable("PATH");
        qputenv("PATH", QByteArray("/nonexistent"));
        const QString name = WifiName::current();
        qputenv("PATH", path.toLocal8Bit());
        QCOMPARE(name, QStringLiteral("None"));
    }
};

QTEST_GUILESS_MAIN(TestWifiName)
#include "tst_wifiname.moc"
