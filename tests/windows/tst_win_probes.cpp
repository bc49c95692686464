// The machine's probes through the real Windows calls and commands: the WLAN
// service's signal and the status text it gives, the netsh network name,
// the ping of a loopback host, alone and from the settings page. Under Wine
// the WLAN service has no interface and netsh prints nothing; on Windows
// itself the answers depend on the machine and only their form is held.

#include "PingHost.h"
#include "UnderWine.h"
#include "VODEZ_Collector.h"
#include "View_Setting.h"
#include "WifiName.h"
#include "WifiSignal.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TstWinProbes : public QObject
{
    Q_OBJECT

private slots:
    void wifiSignalWithoutInterface()
    {
        const int quality = GetWifiSignalQuality();
        QVERIFY2(quality >= -1 && quality <= 100, qPrintable(QString::number(quality)));
        if (underWine()) {
            QCOMPARE(quality, -1);
            QCOMPARE(VODEZ_Collector::WifiStatusText(quality), QStringLiteral("已连接"));
        }
    }

    // The real command interpreter and netsh; the test's runner is not set.
    void netshName()
    {
        const QString name = WifiName::current();
        QVERIFY(!name.isEmpty());
        QVERIFY2(!name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r')), qPrintable(name));
        if (underWine())
            QCOMPARE(name, WifiName::none());
    }

    void pingOfLoopback()
    {
        QVERIFY(PingHost(QStringLiteral("127.0.0.1")));
        // Refused before anything runs.
        QVERIFY(!PingHost(QStringLiteral("-t")));
    }

    // The settings page's test with the system's ping: transmitter, then
    // receiver, each in its own run, the button back after the second.
    void settingsPagePingsBothBoxes()
    {
        View_Setting page;
        page.findChild<QLineEdit*>(QStringLiteral("DeviceIP_Send"))->setText(QStringLiteral("127.0.0.1"));
        page.findChild<QLineEdit*>(QStringLiteral("DeviceIP_Recv"))->setText(QStringLiteral("127.0.0.2"));
        auto* button = page.findChild<QPushButton*>(QStringLiteral("btn_Ping"));
        auto* process = page.findChild<QProcess*>();
        QVERIFY(button && process);
        QSignalSpy finished(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));

        button->click();
        QVERIFY(!button->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 30000);
        QCOMPARE(finished.count(), 2);
        QCOMPARE(finished.at(0).at(0).toInt(), 0);
        QCOMPARE(finished.at(1).at(0).toInt(), 0);

        const QString shown = page.findChild<QLabel*>(QStringLiteral("label_PingOutput"))->text();
        QVERIFY2(shown.startsWith(QStringLiteral("测试结果:")), qPrintable(shown));
        QVERIFY2(!shown.contains(QStringLiteral("无法运行 ping 命令")), qPrintable(shown));
        const int tx = shown.indexOf(QStringLiteral("127.0.0.1"));
        const int rx = shown.indexOf(QStringLiteral("127.0.0.2"));
        QVERIFY2(tx > 0 && rx > tx, qPrintable(shown));
        // Windows' ping sends its four echoes without being asked.
        if (underWine())
            QCOMPARE(shown.count(QStringLiteral("Reply from 127.0.0.2: bytes=32")), 4);
    }
};

QTEST_MAIN(TstWinProbes)
#include "tst_win_probes.moc"
