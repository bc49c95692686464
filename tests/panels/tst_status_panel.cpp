// The status panel on its own: the progress bar driven through its two
// hidden edits, the connect and disconnect buttons, and the use box.

#include "Form_Status.h"
#include "RecordingPrompt.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TstStatusPanel : public QObject
{
    Q_OBJECT

private slots:
    void progressBar_data()
    {
        QTest::addColumn<QString>("maximum");
        QTest::addColumn<QStringList>("current");   // set one after another
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("barMaximum");
        QTest::addColumn<int>("barValue");

        QTest::newRow("counting") << "2000" << QStringList{"999"} << true << 2000 << 999;
        QTest::newRow("no maximum yet") << "" << QStringList() << false << 100 << 0;
        QTest::newRow("maximum 0") << "0" << QStringList{"50"} << false << 100 << 0;
        QTest::newRow("maximum empty") << "" << QStringList{"50"} << false << 100 << 0;
        QTest::newRow("maximum negative") << "-5" << QStringList{"3"} << false << 100 << 0;
        QTest::newRow("maximum not a number") << "abc" << QStringList{"3"} << false << 100 << 0;
        QTest::newRow("current not a number") << "2000" << QStringList{"500", "abc"} << true << 2000 << 500;
        QTest::newRow("current beyond maximum") << "2000" << QStringList{"500", "2500"} << true << 2000 << 500;
        QTest::newRow("current empty") << "2000" << QStringList{"700", ""} << true << 2000 << 700;
    }

    void progressBar()
    {
        QFETCH(QString, maximum);
        QFETCH(QStringList, current);
        QFETCH(bool, enabled);
        QFETCH(int, barMaximum);
        QFETCH(int, barValue);

        Form_Status panel;
        auto* bar = panel.findChild<QProgressBar*>(QStringLiteral("Sample_progressBar"));
        auto* cur = panel.findChild<QLineEdit*>(QStringLiteral("ProgressCur"));
        auto* max = panel.findChild<QLineEdit*>(QStringLiteral("ProgressMax"));
        QVERIFY(bar && cur && max);
        QVERIFY(cur->isHidden() && max->isHidden());
        // Built, the bar keeps its laid-out state.
        QCOMPARE(max->text(), QStringLiteral("0"));
        QCOMPARE(bar->value(), 24);

        max->setText(QStringLiteral("777"));
        max->setText(maximum);
        for (const QString& text : current)
            cur->setText(text);
        QCOMPARE(bar->isEnabled(), enabled);
        QCOMPARE(bar->maximum(), barMaximum);
        QCOMPARE(bar->value(), barValue);
    }

    void connectButtons()
    {
        Form_Status panel;
        auto* connectButton = panel.findChild<QPushButton*>(QStringLiteral("btn_DeviceCon"));
        auto* closeButton = panel.findChild<QPushButton*>(QStringLiteral("btn_DeviceClose"));
        QVERIFY(connectButton && closeButton);
        QSignalSpy connects(&panel, &Form_Status::clickBtnConnect);
        QSignalSpy closes(&panel, &Form_Status::clickBtnDisconn);

        connectButton->click();
        QCOMPARE(connects.count(), 1);
        QVERIFY(connectButton->isHidden());
        // Opening a project presses connect although the button is hidden.
        panel.clickConnect(true);
        QCOMPARE(connects.count(), 2);
        QCOMPARE(closes.count(), 0);

        closeButton->click();
        QCOMPARE(closes.count(), 1);
        QVERIFY(!connectButton->isHidden());
        panel.clickConnect(false);
        QCOMPARE(closes.count(), 2);
        QVERIFY(!closeButton->isHidden());
        QCOMPARE(connects.count(), 2);
    }

    // The operator's disconnect asks while a sounding is held; the window's
    // own press (closing the project) has asked already.
    void disconnectAsksWhileASoundingIsHeld_data()
    {
        QTest::addColumn<bool>("held");
        QTest::addColumn<bool>("byOperator");
        QTest::addColumn<int>("answer");   // -1: not asked, 0: no, 1: yes
        QTest::addColumn<bool>("disconnects");
        QTest::newRow("nothing held") << false << true << -1 << true;
        QTest::newRow("held, no") << true << true << 0 << false;
        QTest::newRow("held, yes") << true << true << 1 << true;
        QTest::newRow("held, pressed by the window") << true << false << -1 << true;
    }

    void disconnectAsksWhileASoundingIsHeld()
    {
        QFETCH(bool, held);
        QFETCH(bool, byOperator);
        QFETCH(int, answer);
        QFETCH(bool, disconnects);

        Form_Status panel;
        auto* connectButton = panel.findChild<QPushButton*>(QStringLiteral("btn_DeviceCon"));
        auto* closeButton = panel.findChild<QPushButton*>(QStringLiteral("btn_DeviceClose"));
        QVERIFY(connectButton && closeButton);
        panel.setSoundingHeld([held] { return held; });
        connectButton->click();
        QSignalSpy closes(&panel, &Form_Status::clickBtnDisconn);

        RecordingPrompt prompt;
        if (answer >= 0)
            prompt.expectQuestion(answer == 1).titled(QStringLiteral("停止采集")).saying(QStringLiteral("请确认取消保存！"));
        if (byOperator)
            closeButton->click();
        else
            panel.clickConnect(false);
        QCOMPARE(prompt.shown.size(), answer >= 0 ? 1 : 0);
        QCOMPARE(closes.count(), disconnects ? 1 : 0);
        QCOMPARE(connectButton->isHidden(), !disconnects);
    }

    void useBox()
    {
        Form_Status panel;
        auto* box = panel.findChild<QCheckBox*>(QStringLiteral("USE_checkBox"));
        QVERIFY(box);
        QSignalSpy changes(&panel, &Form_Status::useChanged);

        panel.onUse(true);
        QVERIFY(box->isChecked());
        panel.onUse(false);
        QVERIFY(!box->isChecked());
        QCOMPARE(changes.count(), 0);

        box->click();
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.last().at(0).toBool(), true);
        box->click();
        QCOMPARE(changes.last().at(0).toBool(), false);
    }
};

QTEST_MAIN(TstStatusPanel)
#include "tst_status_panel.moc"
