// The assembled window without an instrument: what it shows at start, every
// join it makes, the project operations and the recent projects, the
// settings page's point-number step, dropped files, the USF export, the
// developer mode, the close button's settings, the plot feeding and the
// folders the file dialogs start in.

#include "Form_Status.h"
#include "FileSizeCap.h"
#include "ProjectFixture.h"
#include "RecordingPrompt.h"
#include "WindowProbe.h"

#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <memory>

namespace {

// No box is ever connected to: nothing listens on these.
const QString kTx = QStringLiteral("127.0.17.1");
const QString kRx = QStringLiteral("127.0.17.2");

} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<RecordingPrompt> prompt;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;

    void build()
    {
        window = std::make_unique<MainWindow>();
        probe = std::make_unique<WindowProbe>(window.get());
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QString touched(const QString& name) const
    {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        return f.fileName();
    }
    bool projectIsOpen() const { return probe->tabBar()->isTabEnabled(1); }
    QStringList recentShown() const
    {
        QStringList items;
        auto* list = probe->named<QListWidget>("RecentProject");
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        return items;
    }
    void click(const char* button) { probe->named<QPushButton>(button)->click(); }
    bool visible(const char* widget) const { return WindowProbe::onItsPage(probe->named(widget)); }

    void drop(QMimeData* data)
    {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &event);
    }

    void logoClicks(int n)
    {
        for (int i = 0; i < n; ++i)
            click("btn_Logo");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
    }

    void init()
    {
        {
            QSettings ini(ProgramSettings::kFileName, QSettings::IniFormat);
            ini.clear();
        }
        QVERIFY(WindowProbe::writeLoopbackConfig(kTx, kRx));
        g_logoClicks = 0;
        prompt = std::make_unique<RecordingPrompt>();
        build();
        QVERIFY(probe->addressesAreLoopback());
    }

    void cleanup()
    {
        probe.reset();
        window.reset();
        prompt.reset();
    }

    void startUp()
    {
        QTabBar* tabs = probe->tabBar();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(tabs->isTabEnabled(0));
        QVERIFY(!tabs->isTabEnabled(1));
        QVERIFY(!tabs->isTabEnabled(2));
        auto* status = probe->named<QTabWidget>("tabWidget_Status");
        QCOMPARE(status->count(), 2);
        QCOMPARE(status->tabText(0), QStringLiteral("采集状态"));
        QCOMPARE(status->tabText(1), QStringLiteral("发送监控"));

        QVERIFY(probe->sampleGraph());
        QVERIFY(WindowProbe::onItsPage(probe->sampleGraph()));
        QVERIFY(!WindowProbe::onItsPage(probe->grid()->plotAt(1, 0)));
        QVERIFY(probe->lineGraph());
        QVERIFY(!WindowProbe::onItsPage(probe->lineGraph()));
        QCOMPARE(probe->lineGraph()->title().text(), QStringLiteral("当前线"));
        QCOMPARE(probe->sampleGraph()->title().text(), QStringLiteral("当前采集"));
        QCOMPARE(WindowProbe::bottomTitle(probe->sampleGraph()), QStringLiteral("衰减时间 / us"));
        QVERIFY(probe->sendGraph() && probe->offGraph());

        QVERIFY(visible("pushButton_Project_New"));
        QVERIFY(visible("pushButton_Project_Open"));
        QVERIFY(!visible("pushButton_Project_Close"));
        QVERIFY(!visible("pushButton_Export_USF"));
        QVERIFY(window->acceptDrops());

        // The addresses of config.ini reach the settings page through the binding.
        QCOMPARE(probe->named<QLineEdit>("DeviceIP_Send")->text(), kTx);
        QCOMPARE(probe->named<QLineEdit>("DeviceIP_Recv")->text(), kRx);
    }

    void everyJoinIsMade()
    {
        QVERIFY2(window->connectionFaults().isEmpty(), qPrintable(window->connectionFaults().join(' ')));
        QStringList expected;
        for (int i = 1; i <= 9; ++i)
            expected << QStringLiteral("T%1").arg(i);
        for (int i = 1; i <= 11; ++i)
            expected << QStringLiteral("C%1").arg(i);
        for (int i = 1; i <= 11; ++i)
            expected << QStringLiteral("D%1").arg(i);
        for (const QString& row : expected)
            QVERIFY2(window->connectionRows().contains(row), qPrintable(row));
    }

    void comboBoxes()
    {
        for (QComboBox* combo : window->findChildren<QComboBox*>()) {
            if (qstrcmp(combo->metaObject()->className(), "QComboBox") != 0)
                continue;
            const Qt::WindowFlags flags = combo->view()->window()->windowFlags();
            QVERIFY2(qobject_cast<QListView*>(combo->view()), qPrintable(combo->objectName()));
            QVERIFY2(flags.testFlag(Qt::FramelessWindowHint) && flags.testFlag(Qt::NoDropShadowWindowHint)
                         && (flags & Qt::WindowType_Mask) == Qt::Popup,
                     qPrintable(combo->objectName()));
        }
        auto* sampleMode = probe->named<QComboBox>("SampleMode");
        QCOMPARE(sampleMode->count(), 2);
        QCOMPARE(sampleMode->itemText(0), QStringLiteral("TEM"));
        QCOMPARE(sampleMode->itemText(1), QStringLiteral("自检"));
        auto* continueMode = probe->named<QComboBox>("ContinueMode");
        QCOMPARE(continueMode->itemText(0), QStringLiteral("定点"));
        QCOMPARE(continueMode->itemText(1), QStringLiteral("拖曳"));
        // The items keep the enumeration's values.
        sampleMode->setCurrentIndex(1);
        QCOMPARE(probe->collector()->GetSampleMode(), VODEZ_Collector::SelfCheck);
        continueMode->setCurrentIndex(1);
        QCOMPARE(probe->collector()->GetContinueMode(), VODEZ_Collector::Continue);
    }

    void openAndCloseAProject()
    {
        const QString file = path(QStringLiteral("a.VODEZ"));
        auto* status = window->findChild<Form_Status*>();
        QSignalSpy connectPressed(status, &Form_Status::clickBtnConnect);
        QSignalSpy disconnectPressed(status, &Form_Status::clickBtnDisconn);
        prompt->expectSaveFile(file);
        click("pushButton_Project_New");
        QCOMPARE(connectPressed.count(), 1);
        QCOMPARE(disconnectPressed.count(), 0);
        QVERIFY(projectIsOpen());
        QVERIFY(probe->tabBar()->isTabEnabled(2));
        QCOMPARE(probe->tabBar()->currentIndex(), 1);
        QCOMPARE(window->windowTitle(), QStringLiteral("RIZOR7031系统 -- ") + file);
        QVERIFY(!visible("pushButton_Project_New"));
        QVERIFY(visible("pushButton_Project_Close"));
        QVERIFY(!visible("pushButton_Export_USF"));
        QVERIFY(!probe->named("RecentProject")->isEnabled());
        QVERIFY(!window->acceptDrops());
        QCOMPARE(recentShown(), QStringList{file});

        click("pushButton_Project_Close");
        QCOMPARE(disconnectPressed.count(), 1);
        QVERIFY(!projectIsOpen());
        QCOMPARE(probe->tabBar()->currentIndex(), 0);
        QCOMPARE(window->windowTitle(), QStringLiteral("RIZOR7031系统"));
        QVERIFY(!probe->tree()->isProjectOpen());
        QVERIFY(window->acceptDrops());
        QCOMPARE(prompt->shown.size(), 1);   // the file dialog only

        // The open dialog starts in the folder of the most recent project.
        prompt->expect(Prompt::Kind::OpenFile);
        click("pushButton_Project_Open");
        QCOMPARE(prompt->shown.last().kind, Prompt::Kind::OpenFile);
        QVERIFY(!projectIsOpen());
    }

    // The step typed on the settings page goes to the tree and into the
    // project file, and the page shows it again when the project is reopened
    // (after another project with the default step was open in between).
    void pointNoStepRoad()
    {
        const QString file = path(QStringLiteral("step.VODEZ"));
        prompt->expectSaveFile(file);
        click("pushButton_Project_New");
        QVERIFY(projectIsOpen());
        auto* step = probe->named<QLineEdit>("PointNoStep");
        QCOMPARE(step->text(), QStringLiteral("10"));

        step->clear();
        QTest::keyClicks(step, QStringLiteral("2.5"));
        QTest::keyClick(step, Qt::Key_Return);
        QCOMPARE(probe->tree()->property("PointNoStep").toDouble(), 2.5);
        click("pushButton_Project_Close");
        {
            SideDb db(file);
            QCOMPARE(db.rows(QStringLiteral("SELECT PointNoStep FROM Data_Project")),
                     (QList<QVariantList>{{2.5}}));
        }

        prompt->expectSaveFile(path(QStringLiteral("other.VODEZ")));
        click("pushButton_Project_New");
        QCOMPARE(step->text(), QStringLiteral("10"));
        QCOMPARE(probe->tree()->property("PointNoStep").toDouble(), 10.0);
        click("pushButton_Project_Close");

        prompt->expectOpenFile(file);
        click("pushButton_Project_Open");
        QVERIFY(projectIsOpen());
        QCOMPARE(step->text(), QStringLiteral("2.5"));
        QCOMPARE(probe->tree()->property("PointNoStep").toDouble(), 2.5);
        QCOMPARE(prompt->count(Prompt::Kind::Warning), 0);
    }

    void openRefused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("text");
        QTest::newRow("read-only file") << "ro.VODEZ" << true << "工程文件属性为 *只读* ，请修改";
        QTest::newRow("folder missing") << "none/b.VODEZ" << false << "打开或创建工程文件失败，请重试！";
    }
    void openRefused()
    {
        QFETCH(QString, file);
        QFETCH(bool, readOnly);
        QFETCH(QString, text);
        const QString target = path(file);
        if (readOnly) {
            touched(file);
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup));
        }
        prompt->expectOpenFile(target);
        prompt->expect(Prompt::Kind::Critical);
        click("pushButton_Project_Open");
        QVERIFY(!projectIsOpen());
        QCOMPARE(prompt->count(Prompt::Kind::Critical), 1);
        QCOMPARE(prompt->shown.last().title, QStringLiteral("错误"));
        QCOMPARE(prompt->shown.last().text, text);
        QVERIFY(recentShown().isEmpty());
    }

    void recentProjectsAcrossStarts()
    {
        // Nine projects from earlier runs.
        QStringList nine;
        for (int i = 0; i < 9; ++i)
            nine << path(QStringLiteral("r%1.VODEZ").arg(i));
        {
            DataModel_Index maker;
            for (const QString& f : nine) {
                QVERIFY(maker.openProject(f));
                maker.closeProject();
            }
        }
        ProgramSettings ini;
        ini.saveRecentProjects(nine);
        ini.sync();
        build();
        QStringList expected = nine;
        QCOMPARE(recentShown(), expected);

        // A double click on the third opens it and moves it to the top.
        auto* list = probe->named<QListWidget>("RecentProject");
        emit list->itemDoubleClicked(list->item(2));
        QVERIFY(projectIsOpen());
        expected.move(2, 0);
        QCOMPARE(recentShown(), expected);
        click("pushButton_Project_Close");

        // A new tenth project: the oldest drops out, nine remain.
        const QString fresh = path(QStringLiteral("new.VODEZ"));
        prompt->expectSaveFile(fresh);
        click("pushButton_Project_New");
        expected.removeLast();
        expected.prepend(fresh);
        QCOMPARE(recentShown(), expected);
        click("pushButton_Project_Close");

        // A project deleted since is not offered at the next start.
        QVERIFY(QFile::remove(expected.at(4)));
        build();
        expected.removeAt(4);
        QCOMPARE(recentShown(), expected);
    }

    // A recent project whose file has gone is not made anew: a box says so
    // and the entry leaves the list, also at the next start.
    void recentProjectGone()
    {
        const QString kept = path(QStringLiteral("kept.VODEZ"));
        const QString gone = path(QStringLiteral("gone.VODEZ"));
        {
            DataModel_Index maker;
            for (const QString& f : {kept, gone}) {
                QVERIFY(maker.openProject(f));
                maker.closeProject();
            }
        }
        ProgramSettings ini;
        ini.saveRecentProjects({gone, kept});
        ini.sync();
        build();
        QCOMPARE(recentShown(), (QStringList{gone, kept}));
        QVERIFY(QFile::remove(gone));

        prompt->expect(Prompt::Kind::Critical).titled(QStringLiteral("错误"))
            .saying(QStringLiteral("工程文件不存在，已从最近工程中移除"));
        auto* list = probe->named<QListWidget>("RecentProject");
        emit list->itemDoubleClicked(list->item(0));
        QVERIFY(!projectIsOpen());
        QVERIFY(!QFile::exists(gone));
        QCOMPARE(recentShown(), QStringList{kept});
        build();
        QCOMPARE(recentShown(), QStringList{kept});
    }

    void drops_data()
    {
        QTest::addColumn<QList<QUrl> >("urls");
        QTest::addColumn<bool>("opens");
        const QUrl lower = QUrl::fromLocalFile(dir.filePath(QStringLiteral("lower.vodez")));
        QTest::newRow("lower-case ending") << QList<QUrl>{lower} << true;
        QTest::newRow("two files, the first opens")
            << QList<QUrl>{QUrl::fromLocalFile(dir.filePath(QStringLiteral("first.VODEZ"))),
                           QUrl::fromLocalFile(dir.filePath(QStringLiteral("second.txt")))}
            << true;
        QTest::newRow("second of two is the project")
            << QList<QUrl>{QUrl::fromLocalFile(dir.filePath(QStringLiteral("first.txt"))), lower} << false;
        QTest::newRow("not a file") << QList<QUrl>{QUrl(QStringLiteral("http://localhost/x.VODEZ"))} << false;
        QTest::newRow("no file at all") << QList<QUrl>{} << false;
    }
    void drops()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(bool, opens);
        QMimeData data;
        data.setUrls(urls);
        QVERIFY(data.hasUrls());
        if (!opens)
            prompt->expect(Prompt::Kind::Critical);
        drop(&data);
        QCOMPARE(projectIsOpen(), opens);
        if (opens) {
            QCOMPARE(recentShown(), QStringList{urls.first().toLocalFile()});
            QCOMPARE(prompt->shown.size(), 0);
        } else {
            QCOMPARE(prompt->shown.size(), 1);
            QCOMPARE(prompt->shown[0].kind, Prompt::Kind::Critical);
            QCOMPARE(prompt->shown[0].title, QStringLiteral("错误"));
            QCOMPARE(prompt->shown[0].text, QStringLiteral("请拖入正确的工程文件"));
        }
    }

    void dropOfTextIsIgnored()
    {
        QMimeData data;
        data.setText(QStringLiteral("a.VODEZ"));
        drop(&data);
        QVERIFY(!projectIsOpen());
        QCOMPARE(prompt->shown.size(), 0);
    }

    // The export's box says whether it was written, and if not, why; a
    // failed export leaves an older file as it was, or says that it could
    // not.
    void usfExport_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("text");   // empty: written
        QTest::newRow("written") << "" << "";
        if (FileSizeCap::available)
            QTest::newRow("write fails") << "file size" << "导出失败，文件写入出错";
        QTest::newRow("disk full, written in place") << "disk full" << "导出失败，磁盘已满";
        QTest::newRow("write error, written in place") << "write error" << "导出失败，文件写入出错";
        QTest::newRow("older file not put back") << "damaged" << "导出失败，原文件已损坏";
        QTest::newRow("project locked") << "locked" << "导出失败，工程文件不能读取";
        QTest::newRow("sounding too large to hold") << "too large" << "导出失败，内存不足";
    }
    void usfExport()
    {
        QFETCH(QString, cause);
        QFETCH(QString, text);
        // A project with one sounding of two samples.
        const QString project = path(QStringLiteral("usf-%1.VODEZ").arg(QTest::currentDataTag()));
        {
            DataModel_Index writer;
            QVERIFY(writer.openProject(project));
            writer.dataUpload(sounding(2, 1700000000000));
            writer.dataSave(true);
            writer.closeProject();
        }
        QVERIFY(probe->tree()->openProject(project));
        const QString target = path(QStringLiteral("out.usf"));
        QFile::remove(target);
        // With a file too large for the process no older file is there.
        const QByteArray older = cause == QLatin1String("file size") ? QByteArray() : QByteArray("older export\n");
        if (!older.isEmpty()) {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(older);
        }
        prompt->expectSaveFile(target);
        prompt->expect(text.isEmpty() ? Prompt::Kind::Information : Prompt::Kind::Critical);
        QElapsedTimer took;
        took.start();
        {
            std::unique_ptr<FileSizeCap> limit;
            std::unique_ptr<FullDiskInPlace> disk;
            std::unique_ptr<FaultyDiskInPlace> faulty;
            std::unique_ptr<FileLock> lock;
            if (cause == QLatin1String("file size"))
                limit = std::make_unique<FileSizeCap>(1);
            if (cause == QLatin1String("disk full"))
                disk = std::make_unique<FullDiskInPlace>(older.size());
            if (cause == QLatin1String("write error") || cause == QLatin1String("damaged")) {
                // The room beyond the older file is written; the overwrite
                // then fails part way, and with it, for "damaged", all that
                // follows.
                FaultyDiskInPlace::Fault fault;
                fault.write = 2;
                fault.through = 5;
                fault.andAfter = cause == QLatin1String("damaged");
                faulty = std::make_unique<FaultyDiskInPlace>(fault);
            }
            if (cause == QLatin1String("locked")) {
                lock = std::make_unique<FileLock>(project, QStringLiteral("exclusive"));
                QVERIFY(lock->held());
            }
            if (cause == QLatin1String("too large"))
                SetExportBufferLimit(16);
            auto restore = qScopeGuard([] { SetExportBufferLimit(0); });
            click("pushButton_Export_USF");
        }
        QVERIFY2(took.elapsed() < 2 * ProjectStore::kBusyTimeoutMs, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(prompt->shown.size(), 2);
        QCOMPARE(prompt->shown[0].kind, Prompt::Kind::SaveFile);
        const RecordingPrompt::Shown& box = prompt->shown[1];
        if (!text.isEmpty()) {
            QCOMPARE(box.kind, Prompt::Kind::Critical);
            QCOMPARE(box.title, QStringLiteral("导出数据"));
            QCOMPARE(box.text, text);
            if (older.isEmpty())
                QVERIFY(!QFile::exists(target));
            else if (cause == QLatin1String("damaged"))
                QVERIFY(fileBytes(target) != older);
            else
                QCOMPARE(fileBytes(target), older);
        } else {
            QCOMPARE(box.kind, Prompt::Kind::Information);
            QCOMPARE(box.title, QStringLiteral("导出USF"));
            QCOMPARE(box.text, QStringLiteral("导出成功"));
            QVERIFY(fileBytes(target).contains("/POINTS:         "));
        }
    }

    void developerMode_data()
    {
        QTest::addColumn<QStringList>("answers");   // empty: cancelled
        QTest::addColumn<bool>("on");
        QTest::newRow("right code") << QStringList{QStringLiteral(VODEZ_TEST_DEVELOPER_CODE)} << true;
        QTest::newRow("wrong code") << QStringList{QStringLiteral("x")} << false;
        QTest::newRow("cancelled") << QStringList{} << false;
    }
    void developerMode()
    {
        QFETCH(QStringList, answers);
        QFETCH(bool, on);
        prompt->expectSaveFile(path(QStringLiteral("dev.VODEZ")));
        click("pushButton_Project_New");
        QVERIFY(projectIsOpen());
        prompt->shown.clear();
        if (answers.isEmpty())
            prompt->expect(Prompt::Kind::Text);
        else
            prompt->expectText(answers.first());
        auto* fs = probe->named<QComboBox>("ParamFs");
        const int fsItems = fs->count();

        logoClicks(4);
        QCOMPARE(prompt->shown.size(), 0);
        logoClicks(1);
        QCOMPARE(prompt->shown.size(), 1);
        QCOMPARE(prompt->shown[0].kind, Prompt::Kind::Text);
        QCOMPARE(g_logoClicks, 0);
        QCOMPARE(visible("groupBox_StartTime"), on);
        QCOMPARE(visible("ContinueMode"), on);
        QCOMPARE(visible("pushButton_Export_USF"), on);
        QCOMPARE(fs->findData(100.0) >= 0, on);

        // Any other click leaves the mode; the 100 Hz item stays.
        logoClicks(1);
        QCOMPARE(prompt->shown.size(), 1);
        QVERIFY(!visible("groupBox_StartTime"));
        QVERIFY(!visible("ContinueMode"));
        QVERIFY(!visible("pushButton_Export_USF"));
        QCOMPARE(fs->count(), on ? fsItems + 1 : fsItems);
    }

    void developerModeShowsExportOnlyWithAProject()
    {
        prompt->expectText(QStringLiteral(VODEZ_TEST_DEVELOPER_CODE));
        logoClicks(5);
        QVERIFY(visible("groupBox_StartTime"));
        QVERIFY(!visible("pushButton_Export_USF"));
        prompt->expectSaveFile(path(QStringLiteral("dev2.VODEZ")));
        click("pushButton_Project_New");
        QVERIFY(visible("pushButton_Export_USF"));
    }

    // The close button's values are on disk before the program ends: the
    // file itself is read, since settings objects of one process share
    // what is not written yet.
    void closeButtonWritesTheSettings()
    {
        const QString project = path(QStringLiteral("c.VODEZ"));
        prompt->expectSaveFile(project);
        click("pushButton_Project_New");
        click("pushButton_Project_Close");
        probe->collector()->SetDeviceIP_Send(QStringLiteral("127.0.17.9"));
        probe->collector()->SetDeviceIP_Recv(QStringLiteral("127.0.17.10"));
        click("pushButton_Close");
        QFile file(ProgramSettings::kFileName);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(text.contains(QStringLiteral("SendIP=127.0.17.9")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("RecvIP=127.0.17.10")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("List1=") + project), qPrintable(text));
    }

    void sampleLayoutVertical()
    {
        window->setSampleLayoutVertical();
        auto* appBar = window->findChild<QLayout*>(QStringLiteral("layout_AppBar"));
        QVERIFY(appBar->itemAt(1)->spacerItem());
        QCOMPARE(window->centralWidget()->layout()->indexOf(probe->tabBar()), 1);
        QLayout* sample = probe->named("page_Sample")->layout();
        QCOMPARE(sample->itemAt(0)->widget(), probe->named("widget_Data"));
        QLayout* lower = sample->itemAt(1)->layout();
        QVERIFY(lower);
        QCOMPARE(lower->itemAt(0)->widget(), probe->named("widget_Tree"));
        QCOMPARE(lower->itemAt(1)->widget(), probe->named("widget_Project"));
        auto* right = window->findChild<QLayout*>(QStringLiteral("Layout_Right"));
        QCOMPARE(right->itemAt(right->count() - 1)->layout(), window->findChild<QLayout*>(QStringLiteral("Layout_Left")));
        // The sampling page still holds its plots and panels.
        QVERIFY(probe->sampleGraph());
        QVERIFY(probe->named("widget_Data")->isAncestorOf(probe->sampleGraph()));
    }

    void plotFeeding()
    {
        Graph_Lines* sample = probe->sampleGraph();
        Graph_Lines* line = probe->lineGraph();
        const QVector<QVector<double> > matrix{{1e-3, 1e-4, 1e-5}, {2e-3, 2e-4, 2e-5}};
        const QVector<double> points{10, 20, 30};
        const QVector<double> times{100, 200};

        // A whole line on the acquisition plot.
        QVERIFY(QMetaObject::invokeMethod(window.get(), "onGraph_Line", Q_ARG(QString, QStringLiteral("10线")),
                                          Q_ARG(QVector<double>, points), Q_ARG(QVector<double>, times),
                                          Q_ARG(QVector<QVector<double> >, matrix), Q_ARG(int, -1)));
        QVERIFY(!WindowProbe::onItsPage(line));
        QCOMPARE(WindowProbe::bottomTitle(sample), QStringLiteral("点位"));
        QCOMPARE(sample->title().text(), QStringLiteral("10线"));
        QCOMPARE(WindowProbe::curves(sample).size(), 2);

        // The next live decay takes the axis title back.
        emit probe->calc()->newGraphData(QStringLiteral("0"), QVector<double>{10, 100, 1000},
                                         QVector<double>{1e-3, 1e-5, 1e-7}, 1.0);
        QCOMPARE(WindowProbe::bottomTitle(sample), QStringLiteral("衰减时间 / us"));

        // A section with a marker goes to the current-line plot.
        QVERIFY(QMetaObject::invokeMethod(window.get(), "onGraph_Line", Q_ARG(QString, QStringLiteral("10线")),
                                          Q_ARG(QVector<double>, points), Q_ARG(QVector<double>, times),
                                          Q_ARG(QVector<QVector<double> >, matrix), Q_ARG(int, 1)));
        QVERIFY(WindowProbe::onItsPage(line));
        emit probe->tree()->onSelectPoint(0);
        QVERIFY(!WindowProbe::onItsPage(line));
        emit probe->tree()->onSelectPoint(1);
        QVERIFY(WindowProbe::onItsPage(line));

        // Waveforms: one curve each; an unusable rate leaves the plot as it was.
        emit probe->calc()->newGraph_Send(25.0, QVector<double>{1, 2, 3, 4});
        QCOMPARE(WindowProbe::curves(probe->sendGraph()).size(), 1);
        const QwtPlotCurve* sendCurve = WindowProbe::curves(probe->sendGraph()).first();
        QCOMPARE(sendCurve->dataSize(), size_t(4));
        QCOMPARE(sendCurve->sample(0), QPointF(10, -1.5));
        for (double fs : {0.0, -1.0, 2e8}) {
            emit probe->calc()->newGraph_Send(fs, QVector<double>{5, 5});
            emit probe->calc()->newGraph_Off(fs > 1e8 ? -fs : fs, QVector<double>{5, 5});
        }
        QCOMPARE(WindowProbe::curves(probe->sendGraph()).first()->sample(0), QPointF(10, -1.5));
        QVERIFY(WindowProbe::curves(probe->offGraph()).isEmpty());
        emit probe->calc()->newGraph_Off(1e6, QVector<double>{9, 8, 7, 6, 5, 5, 5, 5, 5});
        QCOMPARE(WindowProbe::curves(probe->offGraph()).first()->sample(0), QPointF(1, 4));
    }

    // In developer mode the turn-off plot shows the ramp correction; once the
    // mode is left the next waveform is plain again. At 1 MHz the ten samples
    // lie 1 us apart and end on a baseline of 0; the correction draws the
    // first three on a line through the fourth with 0.91 x the mean slope of
    // the second and third segments.
    void developerModeCorrectsTheTurnOff()
    {
        const QVector<double> samples{9, 8, 6, 3, 1, 0, 0, 0, 0, 0};
        // The first five values of the plot's curve for those samples.
        auto drawn = [&] {
            emit probe->calc()->newGraph_Off(1e6, samples);
            const QList<const QwtPlotCurve*> curves = WindowProbe::curves(probe->offGraph());
            QVector<double> ys;
            if (curves.size() == 1)
                for (size_t i = 0; i < 5; ++i)
                    ys << curves.first()->sample(i).y();
            return ys;
        };
        // An empty text when the curve holds the expected values, else what it holds.
        auto differs = [&](const QVector<double>& expected) {
            const QVector<double> ys = drawn();
            bool same = ys.size() == expected.size();
            for (int i = 0; same && i < ys.size(); ++i)
                same = qFuzzyCompare(1.0 + ys[i], 1.0 + expected[i]);
            QStringList shown;
            for (double y : ys)
                shown << QString::number(y);
            return same ? QString() : QStringLiteral("drawn: ") + shown.join(' ');
        };
        const QVector<double> plain{9, 8, 6, 3, 1};
        QCOMPARE(differs(plain), QString());

        prompt->expectText(QStringLiteral(VODEZ_TEST_DEVELOPER_CODE));
        logoClicks(5);
        const double slope = -2.5 * 0.91;
        QCOMPARE(differs({3 - 3 * slope, 3 - 2 * slope, 3 - slope, 3, 1}), QString());

        logoClicks(1);
        QCOMPARE(differs(plain), QString());
    }

    void fileDialogs_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("filter");
        QTest::newRow("new") << "pushButton_Project_New" << int(Prompt::Kind::SaveFile) << "创建工程"
                             << "RIZOR7031工程 (*.VODEZ)";
        QTest::newRow("open") << "pushButton_Project_Open" << int(Prompt::Kind::OpenFile) << "打开工程"
                              << "RIZOR7031工程 (*.VODEZ)";
        QTest::newRow("usf") << "pushButton_Export_USF" << int(Prompt::Kind::SaveFile) << "导出USF文件"
                             << "USF文件 (*.usf)";
    }
    void fileDialogs()
    {
        QFETCH(QString, button);
        QFETCH(int, kind);
        QFETCH(QString, caption);
        QFETCH(QString, filter);
        prompt->expect(Prompt::Kind(kind)).titled(caption).saying(filter);
        click(qPrintable(button));
        QCOMPARE(prompt->pending(), 0);
    }

    // The project dialogs start in the folder of the most recent project, or
    // in the working folder while the list is empty; the USF export always
    // starts in the working folder.
    void fileDialogFolders_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("withRecent");
        QTest::addColumn<bool>("inRecentFolder");
        const int save = int(Prompt::Kind::SaveFile);
        const int open = int(Prompt::Kind::OpenFile);
        QTest::newRow("new, no recent") << "pushButton_Project_New" << save << false << false;
        QTest::newRow("open, no recent") << "pushButton_Project_Open" << open << false << false;
        QTest::newRow("new, recent") << "pushButton_Project_New" << save << true << true;
        QTest::newRow("open, recent") << "pushButton_Project_Open" << open << true << true;
        QTest::newRow("usf, recent") << "pushButton_Export_USF" << save << true << false;
    }
    void fileDialogFolders()
    {
        QFETCH(QString, button);
        QFETCH(int, kind);
        QFETCH(bool, withRecent);
        QFETCH(bool, inRecentFolder);
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("newest")) && QDir(dir.path()).mkpath(QStringLiteral("older")));
        const QString newest = touched(QStringLiteral("newest/n.VODEZ"));
        if (withRecent) {
            ProgramSettings ini;
            ini.saveRecentProjects({newest, touched(QStringLiteral("older/o.VODEZ"))});
            ini.sync();
            build();
            QCOMPARE(recentShown().size(), 2);
        }
        const QString recentFolder = dir.filePath(QStringLiteral("newest"));
        QVERIFY(recentFolder != QDir::currentPath());

        prompt->expect(Prompt::Kind(kind));
        click(qPrintable(button));
        QCOMPARE(prompt->shown.size(), 1);
        QCOMPARE(prompt->shown[0].folder, inRecentFolder ? recentFolder : QDir::currentPath());
    }

    // Slots reached by name from outside keep their places in the window's
    // meta-object; the title-bar and list handlers are no slots.
    void slotsInOrder()
    {
        const QMetaObject* meta = window->metaObject();
        QStringList methods;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
            methods << QString::fromLatin1(meta->method(i).methodSignature());
        const QString section = QStringLiteral("QString,QVector<double>,QVector<double>,QVector<QVector<double> >");
        QCOMPARE(methods, (QStringList{QStringLiteral("on_pushButton_Project_New_clicked()"),
                                       QStringLiteral("on_pushButton_Project_Open_clicked()"),
                                       QStringLiteral("on_pushButton_Project_Close_clicked()"),
                                       QStringLiteral("on_pushButton_Export_USF_clicked()"),
                                       QStringLiteral("on_btn_Logo_clicked()"),
                                       QStringLiteral("onGraph_Line(%1,int)").arg(section),
                                       QStringLiteral("onGraph_Line(%1)").arg(section),
                                       QStringLiteral("onGraph_Error(QVector<double>,QVector<double>,bool)"),
                                       QStringLiteral("onGraph_Send(double,QVector<double>)"),
                                       QStringLiteral("onGraph_Off(double,QVector<double>)"),
                                       QStringLiteral("onSelectPoint(int)"),
                                       QStringLiteral("onSelectLine(int)"),
                                       QStringLiteral("openProject(QString)")}));
    }
};

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
