// The two panels bound and wired to the acquisition controller and the
// project tree as the window joins them, driven against the loopback
// instrument from the panels' own buttons: connect, a sounding with edited
// parameters, save, disconnect. The boxes listen on this test's own loopback
// addresses; the controller fixes the port (12345).

#include "CollectorProbe.h"
#include "EmuDevices.h"
#include "PanelRig.h"
#include "ProjectFixture.h"
#include "RecordingPrompt.h"
#include "SoundingRig.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kTxAddress = InstrumentEmulator::RunAddress(11, 1);
const QString kRxAddress = InstrumentEmulator::RunAddress(11, 2);
const quint16 kPort = 12345;
const int kLongWait = 20000;

QStringList itemTexts(const QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

} // namespace

class TstPanelsRoad : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QCOMPARE(SoundingRig::StartUp(kTxAddress, kRxAddress), QSettings::NoError);
    }

    void soundingFromThePanels()
    {
        RecordingPrompt prompt;
        DeviceEmulator emu;
        emu.SetCycleMs(60);
        emu.Tx().SetMonitorInterval(50);
        QString error;
        QVERIFY2(emu.Start(QHostAddress(kTxAddress), kPort, QHostAddress(kRxAddress), kPort, &error),
                 qPrintable(error));

        SoundingRig rig;
        QVERIFY2(rig.faults.isEmpty(), qPrintable(rig.faults.join(' ')));
        // No link may ever head for the built-in instrument addresses.
        QVERIFY(rig.AddressesAreLoopback());
        VODEZ_Collector* c = rig.collector;
        PanelRig panels;
        panels.bindTree(rig.dataModel);
        panels.bindCollector(c);
        QVERIFY2(panels.faults.isEmpty(), qPrintable(panels.faults.join(' ')));

        auto* fs = panels.widget<QComboBox>("ParamFs");
        auto* period = panels.widget<QLineEdit>("ParamPeriod");
        auto* repeat = panels.widget<QLineEdit>("ParamRepeat");
        auto* phase = panels.widget<QComboBox>("SampleStatus");
        auto* start = panels.widget<QPushButton>("pushButton_Start");
        auto* save = panels.widget<QPushButton>("pushButton_SaveOK");
        auto* bar = panels.widget<QProgressBar>("Sample_progressBar");

        // The controller's values as bound.
        QCOMPARE(fs->currentText(), QString::number(c->GetParamFs()));
        QCOMPARE(period->text(), QString::number(c->GetParamPeriod()));
        QCOMPARE(repeat->text(), QString::number(c->GetParamRepeat()));
        QCOMPARE(itemTexts(phase), QString("DISCONN IDLE SETPARAM SAMPLING UPLOAD SAVING").split(' '));
        QCOMPARE(phase->currentText(), QStringLiteral("DISCONN"));
        QVERIFY(!panels.sampling->isEnabled());
        QCOMPARE(itemTexts(panels.widget<QComboBox>("ContinueMode")), (QStringList{"定点", "拖曳"}));
        QCOMPARE(panels.widget<QLabel>("StatusConnect")->text(), c->GetStatusConnect());

        // Opening a project presses connect.
        const QString file = dir.filePath(QStringLiteral("panels.VODEZ"));
        QVERIFY(rig.dataModel->openProject(file));
        QTRY_VERIFY_WITH_TIMEOUT(inState(*c, "DeviceWaitSet"), kLongWait);
        panels.status->clickConnect(true);
        QTRY_COMPARE_WITH_TIMEOUT(phase->currentText(), QStringLiteral("IDLE"), kLongWait);
        QVERIFY(panels.sampling->isEnabled());
        QCOMPARE(panels.widget<QLabel>("StatusConnect")->text(), c->GetStatusConnect());
        QTRY_COMPARE_WITH_TIMEOUT(panels.widget<QLabel>("DeviceTemp")->text(), QStringLiteral("32"), kLongWait);

        // Edits reach the controller.
        fs->setCurrentIndex(fs->findText(QStringLiteral("62.5")));
        QCOMPARE(c->GetParamFs(), 62.5);
        for (QLineEdit* e : {period, repeat}) {
            e->clear();
            QTest::keyClicks(e, e == period ? QStringLiteral("30") : QStringLiteral("1"));
            QTest::keyClick(e, Qt::Key_Return);
        }
        QCOMPARE(c->GetParamPeriod(), 30);
        QCOMPARE(c->GetParamRepeat(), 1);
        const double point = rig.dataModel->property("PointNo").toDouble();

        QVERIFY(start->isEnabled());
        start->click();
        QVERIFY(!fs->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(phase->currentText(), QStringLiteral("UPLOAD"), kLongWait);
        QVERIFY(!save->isHidden() && start->isHidden());
        QVERIFY(!panels.widget("LineNo")->isEnabled());
        QVERIFY(bar->isEnabled());
        QCOMPARE(bar->maximum(), c->GetProgressMax());
        // The kept sounding as the tree shows it.
        QCOMPARE(panels.widget<QLabel>("ParamFS_label")->text(), QStringLiteral("62.5"));
        QCOMPARE(panels.widget<QLabel>("ParamPeriod_label")->text(), QStringLiteral("30"));
        QCOMPARE(panels.widget<QLabel>("ParamRepeat_label")->text(), QStringLiteral("1"));
        QVERIFY(panels.widget<QLabel>("SendI_label")->text().toDouble() > 0.0);

        save->click();
        QTRY_COMPARE_WITH_TIMEOUT(phase->currentText(), QStringLiteral("IDLE"), kLongWait);
        QVERIFY(panels.widget("LineNo")->isEnabled());
        {
            SideDb db(file);
            QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM Data_Sample")).toInt(), 1);
        }
        // The saved point moved the point number on, and the panel shows it.
        const double next = rig.dataModel->property("PointNo").toDouble();
        QVERIFY(next != point);
        QCOMPARE(panels.widget<QLineEdit>("PointNo")->text(), QString::asprintf("%.6g", next));
        QVERIFY(prompt.shown.isEmpty());

        // Closing the project presses disconnect.
        panels.status->clickConnect(false);
        QCOMPARE(phase->currentText(), QStringLiteral("DISCONN"));
        QVERIFY(!panels.sampling->isEnabled());
        QVERIFY(!panels.widget("btn_DeviceCon")->isHidden());
    }
};

QTEST_MAIN(TstPanelsRoad)
#include "tst_panels_road.moc"
