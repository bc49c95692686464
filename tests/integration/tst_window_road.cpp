// The whole program against the loopback instrument: the window built as it
// starts, a new project opened from its button, both links up, soundings
// started, plotted and saved from the sampling panel, the stored point and
// line selected in the tree, the project exported and closed. Once in
// single mode and once in continuous mode. And the roads that would drop a
// sounding (closing the window, disconnecting, closing the project) asked
// about while one runs or waits to be saved.
//
// With VODEZ_SHOT_DIR set, the window is also photographed at each stage
// (run under Xvfb with the xcb platform for pictures as the operator sees
// them; VODEZ_SHOT_SCREEN takes the whole screen instead).

#include "EmuDevices.h"
#include "Form_Status.h"
#include "ProjectFixture.h"
#include "RecordingPrompt.h"
#include "Startup.h"
#include "WindowProbe.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStateMachine>
#include <QTemporaryDir>
#include <QTreeWidgetItem>
#include <QtTest>

#include <memory>

namespace {

// This test's own boxes; the port is the instrument's.
const QString kTx = InstrumentEmulator::RunAddress(17, 11);
const QString kRx = InstrumentEmulator::RunAddress(17, 12);
const quint16 kPort = 12345;
const int kLongWait = 20000;

} // namespace

class TstWindowRoad : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<RecordingPrompt> prompt;
    std::unique_ptr<DeviceEmulator> emu;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
    // Each box's stop commands as they stood when its link closed; -1 until it has.
    int txStopsAtClose = -1;
    int rxStopsAtClose = -1;

    VODEZ_Collector* c() const { return probe->collector(); }
    VODEZ_Collector::VODEZSampleStatus status() const { return c()->GetSampleStatus(); }
    template <class T = QWidget>
    T* named(const char* name) const
    {
        T* widget = probe->named<T>(name);
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    void click(const char* button) { named<QPushButton>(button)->click(); }
    // An edit as the operator leaves it.
    void type(const char* edit, const QString& text)
    {
        auto* field = named<QLineEdit>(edit);
        field->setText(text);
        emit field->editingFinished();
    }
    static int curvePoints(const Graph_Lines* plot)
    {
        int most = 0;
        for (const QwtPlotCurve* curve : WindowProbe::curves(plot))
            most = qMax(most, int(curve->dataSize()));
        return most;
    }
    void shoot(const char* name)
    {
        const QByteArray shots = qgetenv("VODEZ_SHOT_DIR");
        if (shots.isEmpty())
            return;
        QCoreApplication::processEvents();
        const QString file = QDir(QString::fromLocal8Bit(shots)).filePath(QString::fromLatin1(name) + ".png");
        // The whole screen as the display server shows it (the Windows build
        // under Wine), or the window as Qt paints it.
        if (qEnvironmentVariableIsSet("VODEZ_SHOT_SCREEN"))
            window->screen()->grabWindow(0).save(file);
        else
            window->grab().save(file);
    }

    // New project from the button, then both links up.
    void openNewProject(const QString& file)
    {
        prompt->expectSaveFile(file);
        click("pushButton_Project_New");
        QVERIFY(probe->tabBar()->isTabEnabled(1));
        QCOMPARE(probe->tabBar()->currentIndex(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
        QVERIFY(named<QPushButton>("pushButton_Start")->isEnabled());
    }

    void closeProject()
    {
        click("pushButton_Project_Close");
        QVERIFY(WindowProbe::curves(probe->sampleGraph()).isEmpty());
        QVERIFY(!probe->tabBar()->isTabEnabled(1));
        QVERIFY(!probe->tabBar()->isTabEnabled(2));
        QCOMPARE(probe->tabBar()->currentIndex(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::DISCONN, kLongWait);
        QTRY_VERIFY_WITH_TIMEOUT(!emu->Tx().HasClient() && !emu->Rx().HasClient(), kLongWait);
    }

    // A live sounding on all three plots.
    void checkLivePlots()
    {
        QVERIFY2(curvePoints(probe->sampleGraph()) >= 10, "no decay on the acquisition plot");
        QCOMPARE(WindowProbe::bottomTitle(probe->sampleGraph()), QStringLiteral("衰减时间 / us"));
        QCOMPARE(WindowProbe::curves(probe->sendGraph()).size(), 1);
        QVERIFY(curvePoints(probe->sendGraph()) > 10);
        QCOMPARE(WindowProbe::curves(probe->offGraph()).size(), 1);
        QVERIFY(curvePoints(probe->offGraph()) > 10);
        QVERIFY(!named<QLabel>("SendI_label")->text().isEmpty());
    }

    int stopsReceived() const
    {
        return emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStop).size()
            + emu->Rx().ReceivedOf(EmuReceiverBox::CmdStop).size();
    }

    // A single sounding of two repeats, started from the panel, with the
    // boxes acquiring for cycleMs each time.
    void startSounding(const QString& file, int cycleMs)
    {
        emu->SetCycleMs(cycleMs);
        openNewProject(file);
        type("ParamRepeat", QStringLiteral("2"));
        click("pushButton_Start");
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::SAMPLING, kLongWait);
        // The transmitter had its start. A short cycle may be over (and the
        // next repeat begun) by the time the state is seen, so what tells is
        // the start it received, not a cycle still running.
        QVERIFY(!emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStart).isEmpty());
    }

    void exportUsf()
    {
        const QString usf = dir.filePath(QStringLiteral("road.usf"));
        prompt->expectSaveFile(usf);
        prompt->expect(Prompt::Kind::Information).saying(QStringLiteral("导出成功"));
        const int boxes = prompt->shown.size();
        click("pushButton_Export_USF");
        QCOMPARE(prompt->shown.size(), boxes + 2);
        QCOMPARE(prompt->shown.last().text, QStringLiteral("导出成功"));
        QVERIFY(QFileInfo(usf).size() > 100);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        prepareFonts();
        QVERIFY(WindowProbe::writeLoopbackConfig(kTx, kRx));
    }

    void init()
    {
        prompt = std::make_unique<RecordingPrompt>();
        emu = std::make_unique<DeviceEmulator>();
        emu->Tx().SetMonitorInterval(0);
        emu->SetCycleMs(60);
        QString error;
        QVERIFY2(emu->Start(QHostAddress(kTx), kPort, QHostAddress(kRx), kPort, &error), qPrintable(error));
        txStopsAtClose = rxStopsAtClose = -1;
        connect(&emu->Tx(), &EmulatedBox::clientDisconnected, this,
                [this] { txStopsAtClose = emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStop).size(); });
        connect(&emu->Rx(), &EmulatedBox::clientDisconnected, this,
                [this] { rxStopsAtClose = emu->Rx().ReceivedOf(EmuReceiverBox::CmdStop).size(); });
        window = std::make_unique<MainWindow>();
        probe = std::make_unique<WindowProbe>(window.get());
        // Nothing has connected yet; the window must head for these boxes only.
        QVERIFY(probe->addressesAreLoopback());
        QCOMPARE(c()->GetDeviceIP_Send(), kTx);
        QCOMPARE(c()->GetDeviceIP_Recv(), kRx);
        QVERIFY2(window->connectionFaults().isEmpty(), qPrintable(window->connectionFaults().join(' ')));
        window->resize(1280, 800);
        window->show();
        // The controller's machine starts with the event loop, as it does
        // before an operator can press anything.
        auto* machine = c()->findChild<QStateMachine*>();
        QVERIFY(machine);
        QTRY_VERIFY(machine->isRunning());
    }

    void cleanup()
    {
        probe.reset();
        window.reset();
        emu.reset();
        prompt.reset();
    }

    void singleSoundings()
    {
        const QString file = dir.filePath(QStringLiteral("single.VODEZ"));
        openNewProject(file);
        type("LineNo", QStringLiteral("10"));
        type("PointNo", QStringLiteral("20"));
        type("ParamRepeat", QStringLiteral("2"));
        QCOMPARE(c()->GetParamRepeat(), 2);
        QCOMPARE(probe->tree()->property("LineNo").toDouble(), 10.0);

        click("pushButton_Start");
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::UPLOAD, kLongWait);
        checkLivePlots();
        QCOMPARE(probe->sampleGraph()->title().text(), QStringLiteral("当前采集"));
        QCOMPARE(named<QLabel>("ParamRepeat_label")->text(), QStringLiteral("2"));
        shoot("sampling-after-sounding");
        named<QTabWidget>("tabWidget_Status")->setCurrentIndex(1);
        shoot("sampling-waveforms");
        named<QTabWidget>("tabWidget_Status")->setCurrentIndex(0);
        QCOMPARE(rowCounts(file), QStringLiteral("L0,P0,S0"));

        click("pushButton_SaveOK");
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
        QCOMPARE(rowCounts(file), QStringLiteral("L1,P1,S2"));
        DataModel_Index* tree = probe->tree();
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("10 (1点)"));
        QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("20"));
        QCOMPARE(named<QLineEdit>("PointNo")->text(), QStringLiteral("30"));

        // A second point, one repeat.
        type("ParamRepeat", QStringLiteral("1"));
        click("pushButton_Start");
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::UPLOAD, kLongWait);
        click("pushButton_SaveOK");
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
        QCOMPARE(rowCounts(file), QStringLiteral("L1,P2,S3"));
        QCOMPARE(tree->topLevelItem(0)->child(1)->text(0), QStringLiteral("30"));

        // The first stored point, then the whole line.
        const QModelIndex line = tree->model()->index(0, 0);
        emit tree->doubleClicked(tree->model()->index(0, 0, line));
        QCOMPARE(probe->sampleGraph()->title().text(), QStringLiteral("10线 20点"));
        QVERIFY(curvePoints(probe->sampleGraph()) >= 10);
        QVERIFY(!probe->lineGraph()->isVisibleTo(window.get()));
        emit tree->doubleClicked(line);
        QCOMPARE(WindowProbe::bottomTitle(probe->sampleGraph()), QStringLiteral("点位"));
        QVERIFY(!WindowProbe::curves(probe->sampleGraph()).isEmpty());
        shoot("sampling-line-selected");

        exportUsf();
        probe->tabBar()->setCurrentIndex(2);
        shoot("settings-page");
        closeProject();
        shoot("project-page");
    }

    void continuousSoundings()
    {
        const QString file = dir.filePath(QStringLiteral("drag.VODEZ"));
        openNewProject(file);
        type("LineNo", QStringLiteral("30"));
        named<QComboBox>("ContinueMode")->setCurrentIndex(1);
        QCOMPARE(c()->GetContinueMode(), VODEZ_Collector::Continue);

        click("pushButton_Start");
        QTRY_VERIFY_WITH_TIMEOUT(probe->tree()->topLevelItemCount() == 1
                                     && probe->tree()->topLevelItem(0)->childCount() >= 3,
                                 kLongWait);
        QCOMPARE(status(), VODEZ_Collector::SAMPLING);
        checkLivePlots();
        shoot("sampling-during-continuous");

        // Stop asks first.
        prompt->expectQuestion(true);
        click("pushButton_Stop");
        QCOMPARE(status(), VODEZ_Collector::IDLE);
        QTRY_VERIFY_WITH_TIMEOUT(!emu->Tx().IsRunning() && !emu->Rx().IsArmed(), kLongWait);
        const int points = probe->tree()->topLevelItem(0)->childCount();
        QCOMPARE(rowCounts(file), QStringLiteral("L1,P%1,S%1").arg(points));
        {
            SideDb db(file);
            QCOMPARE(db.rows(QStringLiteral("SELECT NAME, TYPE FROM Data_Line")).first(), (QVariantList{30.0, 1}));
        }

        // A point of a continuous line shows the current-line plot too.
        DataModel_Index* tree = probe->tree();
        const QModelIndex line = tree->model()->index(0, 0);
        emit tree->doubleClicked(tree->model()->index(1, 0, line));
        QVERIFY(probe->lineGraph()->isVisibleTo(window.get()));
        QVERIFY(!WindowProbe::curves(probe->lineGraph()).isEmpty());
        shoot("sampling-continuous-point");

        exportUsf();
        closeProject();
    }

    // The window closed while a sounding runs: "no" leaves it running to
    // its next repeat; "yes" ends the program, and each box has its stop
    // command before its link goes.
    void closeWindowWhileSampling()
    {
        startSounding(dir.filePath(QStringLiteral("close.VODEZ")), 1500);
        // The close button writes the recent list only when the window
        // really closes.
        const QString recentKey =
            ProgramSettings::kGroupRecent + QLatin1Char('/') + ProgramSettings::kKeyRecent.arg(1);
        auto recentWritten = [&] {
            return QSettings(ProgramSettings::kFileName, QSettings::IniFormat).contains(recentKey);
        };
        {
            QSettings ini(ProgramSettings::kFileName, QSettings::IniFormat);
            ini.remove(recentKey);
        }

        prompt->expectQuestion(false).titled(QStringLiteral("退出程序"));
        click("pushButton_Close");
        QVERIFY(window->isVisible());
        QVERIFY(!recentWritten());
        QCOMPARE(status(), VODEZ_Collector::SAMPLING);
        QCOMPARE(stopsReceived(), 0);
        // The second repeat starts: the sounding went on.
        QTRY_COMPARE_WITH_TIMEOUT(emu->Tx().ReceivedOf(EmuTransmitterBox::CmdStart).size(), 2, kLongWait);
        QVERIFY(emu->Tx().IsRunning());
        QCOMPARE(stopsReceived(), 0);

        prompt->expectQuestion(true).titled(QStringLiteral("退出程序"));
        click("pushButton_Close");
        QVERIFY(!window->isVisible());
        QVERIFY(recentWritten());
        // The program ends: its window and with it the links go at once.
        probe.reset();
        window.reset();
        QTRY_VERIFY_WITH_TIMEOUT(txStopsAtClose >= 0 && rxStopsAtClose >= 0, kLongWait);
        QCOMPARE(txStopsAtClose, 1);
        QCOMPARE(rxStopsAtClose, 1);
    }

    // Disconnecting or closing the project while a sounding runs or waits
    // to be saved asks the discard question; "no" changes nothing, "yes"
    // drops the sounding with the links.
    void droppingASoundingAsks_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("waitsForSave");
        QTest::newRow("disconnect, sampling") << "btn_DeviceClose" << false;
        QTest::newRow("disconnect, waiting to be saved") << "btn_DeviceClose" << true;
        QTest::newRow("close project, sampling") << "pushButton_Project_Close" << false;
        QTest::newRow("close project, waiting to be saved") << "pushButton_Project_Close" << true;
    }

    void droppingASoundingAsks()
    {
        QFETCH(QString, button);
        QFETCH(bool, waitsForSave);
        const QString file = dir.filePath(QStringLiteral("drop-%1.VODEZ").arg(QTest::currentDataTag()));
        // Long acquisitions keep the sounding running while it is asked about.
        startSounding(file, waitsForSave ? 60 : 600000);
        if (waitsForSave)
            QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::UPLOAD, kLongWait);
        const VODEZ_Collector::VODEZSampleStatus held = status();
        const QByteArray name = button.toLatin1();

        prompt->expectQuestion(false).titled(QStringLiteral("停止采集")).saying(QStringLiteral("请确认取消保存！"));
        click(name.constData());
        QCOMPARE(status(), held);
        QVERIFY(probe->tabBar()->isTabEnabled(1));
        QVERIFY(named<QPushButton>("btn_DeviceCon")->isHidden());
        QCOMPARE(named<QPushButton>("pushButton_SaveOK")->isHidden(), !waitsForSave);
        QCOMPARE(named<QPushButton>("pushButton_Stop")->isHidden(), waitsForSave);
        QVERIFY(emu->Tx().HasClient() && emu->Rx().HasClient());
        QCOMPARE(emu->Tx().IsRunning(), !waitsForSave);
        QCOMPARE(rowCounts(file), QStringLiteral("L0,P0,S0"));
        if (waitsForSave) {
            // Kept, it can still be saved.
            click("pushButton_SaveOK");
            QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
            QCOMPARE(rowCounts(file), QStringLiteral("L1,P1,S2"));
            return;
        }

        prompt->expectQuestion(true).titled(QStringLiteral("停止采集"));
        click(name.constData());
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::DISCONN, kLongWait);
        QTRY_VERIFY_WITH_TIMEOUT(!emu->Tx().HasClient() && !emu->Rx().HasClient(), kLongWait);
        QCOMPARE(probe->tabBar()->isTabEnabled(1), button == QLatin1String("btn_DeviceClose"));
        // The boxes, still acquiring, were told to stop before their links went.
        QTRY_VERIFY_WITH_TIMEOUT(txStopsAtClose >= 0 && rxStopsAtClose >= 0, kLongWait);
        QCOMPARE(txStopsAtClose, 1);
        QCOMPARE(rxStopsAtClose, 1);
    }

    // A continuous run storing its pairs, dropped by disconnecting or by
    // closing the project: each box has its stop command before its link
    // goes, and what was stored stays.
    void droppingARunStopsTheBoxes_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("disconnect") << "btn_DeviceClose";
        QTest::newRow("close project") << "pushButton_Project_Close";
    }

    void droppingARunStopsTheBoxes()
    {
        QFETCH(QString, button);
        const QString file = dir.filePath(QStringLiteral("run-%1.VODEZ").arg(QTest::currentDataTag()));
        openNewProject(file);
        type("LineNo", QStringLiteral("30"));
        named<QComboBox>("ContinueMode")->setCurrentIndex(1);
        click("pushButton_Start");
        QTRY_VERIFY_WITH_TIMEOUT(probe->tree()->topLevelItemCount() == 1
                                     && probe->tree()->topLevelItem(0)->childCount() >= 2,
                                 kLongWait);
        QCOMPARE(status(), VODEZ_Collector::SAMPLING);
        QVERIFY(emu->Tx().IsRunning());

        prompt->expectQuestion(true).titled(QStringLiteral("停止采集"));
        click(button.toLatin1().constData());
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::DISCONN, kLongWait);
        QTRY_VERIFY_WITH_TIMEOUT(txStopsAtClose >= 0 && rxStopsAtClose >= 0, kLongWait);
        QCOMPARE(txStopsAtClose, 1);
        QCOMPARE(rxStopsAtClose, 1);
        QVERIFY(!emu->Tx().IsRunning() && !emu->Rx().IsArmed());
        QCOMPARE(named<QProgressBar>("Sample_progressBar")->value(), 0);
        const QString rows = rowCounts(file);
        QVERIFY2(rows.startsWith(QStringLiteral("L1,P")) && !rows.startsWith(QStringLiteral("L1,P0")),
                 qPrintable(rows));
    }

    // A box that drops its link mid-sounding: the bar is empty again, the
    // start button comes back with the new line's frequency and mode open
    // and, once both links are up again, the status says the sounding was
    // dropped, until the next start or until the project is closed.
    void linkLostMidSounding_data()
    {
        QTest::addColumn<bool>("anotherProject");   // else the next start
        QTest::newRow("started again") << false;
        QTest::newRow("another project") << true;
    }

    void linkLostMidSounding()
    {
        QFETCH(bool, anotherProject);
        startSounding(dir.filePath(QStringLiteral("dropped-%1.VODEZ").arg(QTest::currentDataTag())), 600000);
        const QString point = named<QLineEdit>("PointNo")->text();
        c()->ProgressAdd();
        QVERIFY(named<QLineEdit>("ProgressCur")->text().toInt() > 0);
        emu->Rx().CloseClient();
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::IDLE, kLongWait);
        QVERIFY(!named<QPushButton>("pushButton_Start")->isHidden());
        QVERIFY(named<QPushButton>("pushButton_Stop")->isHidden());
        const QString bar = named<QLineEdit>("ProgressCur")->text();
        QCOMPARE(bar, QStringLiteral("0"));
        QCOMPARE(named<QProgressBar>("Sample_progressBar")->value(), 0);
        QCOMPARE(named<QLabel>("StatusConnect")->text(),
                 QStringLiteral("<p style='color:red;'>断线,采集已丢弃</p>"));
        QVERIFY(named<QComboBox>("ParamFs")->isEnabled());
        QVERIFY(named<QComboBox>("ContinueMode")->isEnabled());
        QCOMPARE(named<QLineEdit>("PointNo")->text(), point);
        shoot("sampling-sounding-dropped");
        c()->ProgressAdd();
        QCOMPARE(named<QLineEdit>("ProgressCur")->text(), bar);

        if (anotherProject) {
            closeProject();
            openNewProject(dir.filePath(QStringLiteral("after-dropped.VODEZ")));
            QCOMPARE(named<QLabel>("StatusConnect")->text(), QStringLiteral("<p style='color:green;'>已连接</p>"));
            return;
        }
        click("pushButton_Start");
        QTRY_COMPARE_WITH_TIMEOUT(status(), VODEZ_Collector::SAMPLING, kLongWait);
        QVERIFY(!named<QLabel>("StatusConnect")->text().contains(QStringLiteral("丢弃")));
    }
};

QTEST_MAIN(TstWindowRoad)
#include "tst_window_road.moc"
