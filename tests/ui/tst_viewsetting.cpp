// The settings page: the start time, the point-number step and the project
// configuration it sends back, the developer-mode group, and the connection
// test with a stand-in "ping" on PATH, and with none at all (the real
// Windows ping: tests/windows).

#include "Data_Calc.h"
#include "RecordingPrompt.h"
#include "View_Setting.h"

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>


namespace {

// Every field different, so a field lost on the way shows.
st_ProjectConfig sampleConfig()
{
    st_ProjectConfig c;
    c.WorkConfig = 3;
    c.LineNoStart = 1;
    c.LineNoSetp = 2;
    c.PointNoStart = 3;
    c.PointNoStep = 4;
    c.SendCoil_Len = 5;
    c.SendCoil_Width = 6;
    c.SendCoil_Turns = 7;
    c.RecvCoil_Size = 8;
    c.RecvCoil_Gain = 9;
    c.OffTime = 10;
    c.PointLen_D = 11;
    c.PointLen_R = 12;
    c.CreateTime = 13;
    return c;
}

QVector<double> fields(const st_ProjectConfig& c)
{
    return {double(c.WorkConfig), c.LineNoStart, c.LineNoSetp, c.PointNoStart, c.PointNoStep, c.SendCoil_Len,
            c.SendCoil_Width, c.SendCoil_Turns, c.RecvCoil_Size, c.RecvCoil_Gain, c.OffTime, c.PointLen_D,
            c.PointLen_R, c.CreateTime};
}

#ifndef Q_OS_WIN
// PATH set for the life of the object.
class PathFor
{
public:
    explicit PathFor(const QString& dir) : old_(qgetenv("PATH")) { qputenv("PATH", QFile::encodeName(dir)); }
    ~PathFor() { qputenv("PATH", old_); }

private:
    QByteArray old_;
};

// A stand-in "ping" in dir running the given shell script.
bool writeFakePing(const QTemporaryDir& dir, const QByteArray& body)
{
    QFile script(dir.filePath(QStringLiteral("ping")));
    if (!script.open(QIODevice::WriteOnly) || script.write("#!/bin/sh\n" + body) < 0)
        return false;
    script.close();
    return script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
#endif

} // namespace

class TstViewSetting : public QObject
{
    Q_OBJECT

    std::unique_ptr<View_Setting> page;

    template <class T>
    T* w(const char* name) const
    {
        T* widget = page->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }

private slots:
    void initTestCase() { qRegisterMetaType<st_ProjectConfig>("st_ProjectConfig"); }
    void init() { page = std::make_unique<View_Setting>(); }
    void cleanup() { page.reset(); }

    void startPage()
    {
        QVERIFY(!w<QLineEdit>("DeviceIP_Send")->isEnabled());
        QVERIFY(!w<QLineEdit>("DeviceIP_Recv")->isEnabled());
        QVERIFY(!w<QGroupBox>("groupBox_StartTime")->isVisibleTo(page.get()));
        QCOMPARE(w<QLineEdit>("StartTime")->placeholderText(), QStringLiteral("0~800"));
        QCOMPARE(w<QLabel>("label_PingOutput")->text(), QString());
        QVERIFY(w<QPushButton>("btn_Ping")->isEnabled());
    }

    void developerModeShowsStartTime()
    {
        page->developerMode(true);
        QVERIFY(w<QGroupBox>("groupBox_StartTime")->isVisibleTo(page.get()));
        page->developerMode(false);
        QVERIFY(!w<QGroupBox>("groupBox_StartTime")->isVisibleTo(page.get()));
    }

    void startTimeClamped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("kept");
        QTest::newRow("above") << "1000" << 800;
        QTest::newRow("below") << "-3" << 0;
        QTest::newRow("inside") << "250" << 250;
        QTest::newRow("edge") << "800" << 800;
        QTest::newRow("not a number") << "abc" << 0;
    }
    void startTimeClamped()
    {
        QFETCH(QString, typed);
        QFETCH(int, kept);
        const int before = g_startTime;
        QLineEdit* edit = w<QLineEdit>("StartTime");
        edit->setText(typed);
        emit edit->editingFinished();
        QCOMPARE(edit->text(), QString::number(kept));
        QCOMPARE(g_startTime, kept);
        g_startTime = before;
    }

    void stepShown_data()
    {
        QTest::addColumn<double>("step");
        QTest::addColumn<QString>("shown");
        QTest::newRow("tenth") << 0.1 << "0.1";
        QTest::newRow("six digits") << 1234567.0 << "1.23457e+06";
        QTest::newRow("whole") << 10.0 << "10";
    }
    void stepShown()
    {
        QFETCH(double, step);
        QFETCH(QString, shown);
        st_ProjectConfig c = sampleConfig();
        c.PointNoStep = step;
        page->loadProjectConfig(c);
        QCOMPARE(w<QLineEdit>("PointNoStep")->text(), shown);
    }

    void editedStepKeepsTheOtherFields()
    {
        page->loadProjectConfig(sampleConfig());
        QSignalSpy changed(page.get(), &View_Setting::projectConfigChanged);
        QLineEdit* edit = w<QLineEdit>("PointNoStep");
        edit->clear();
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("2.5"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(changed.count(), 1);
        st_ProjectConfig expected = sampleConfig();
        expected.PointNoStep = 2.5;
        QCOMPARE(fields(changed.at(0).at(0).value<st_ProjectConfig>()), fields(expected));

        // A second decimal is refused as it is typed; a step out of range
        // never finishes the edit.
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("2.55"));
        QCOMPARE(edit->text(), QStringLiteral("2.5"));
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("123456789"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(changed.count(), 1);
    }

    // Whatever the system's locale, the step is typed as the binding reads
    // it; a comma never gets into the edit to be written back as 0.
    void stepTypedInTheBindingsNumberForm_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<double>("step");
        QTest::newRow("point") << "1.5" << "1.5" << 1.5;
        QTest::newRow("comma") << "1,5" << "15" << 15.0;
    }
    void stepTypedInTheBindingsNumberForm()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(double, step);

        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        auto restore = qScopeGuard([previous] { QLocale::setDefault(previous); });
        page = std::make_unique<View_Setting>();
        RecordingPrompt prompt;
        QSignalSpy changed(page.get(), &View_Setting::projectConfigChanged);
        QLineEdit* edit = w<QLineEdit>("PointNoStep");
        edit->clear();
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(edit->text(), kept);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<st_ProjectConfig>().PointNoStep, step);
        QVERIFY(prompt.shown.isEmpty());
    }

    void stepThatIsNoNumberIsRefused()
    {
        RecordingPrompt prompt;
        page->loadProjectConfig(sampleConfig());
        QSignalSpy changed(page.get(), &View_Setting::projectConfigChanged);
        QLineEdit* edit = w<QLineEdit>("PointNoStep");
        edit->setText(QStringLiteral("x"));
        prompt.expect(Prompt::Kind::Warning).titled(QStringLiteral("错误"));
        emit edit->editingFinished();
        QCOMPARE(changed.count(), 0);
        QCOMPARE(prompt.shown.size(), 1);
        QCOMPARE(prompt.shown[0].kind, Prompt::Kind::Warning);
        QCOMPARE(prompt.shown[0].title, QStringLiteral("错误"));
        QCOMPARE(prompt.shown[0].text, QStringLiteral("点号步进请输出浮点数"));
    }

#ifndef Q_OS_WIN
    // A stand-in ping on PATH: Windows finds its own ping in the system
    // folder before PATH, so there the page's test runs the real one
    // (tests/windows).
    // Two pings, transmitter first; the button comes back only when the
    // second has ended; the output of both is shown in order.
    void pingTestRunsBothBoxesInTurn()
    {
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const QString log = bin.filePath(QStringLiteral("runs.log"));
        QFile script(bin.filePath(QStringLiteral("ping")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        // Shell built-ins only: PATH holds nothing else.
        script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\necho \"reply from $*\"\n")
                         .arg(log)
                         .toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        PathFor path(bin.path());

        w<QLineEdit>("DeviceIP_Send")->setText(QStringLiteral("127.0.0.9"));
        w<QLineEdit>("DeviceIP_Recv")->setText(QStringLiteral("127.0.0.10"));
        QPushButton* button = w<QPushButton>("btn_Ping");
        QList<bool> enabledAtFinish;
        auto* process = page->findChild<QProcess*>();
        QVERIFY(process);
        connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                [&] { enabledAtFinish << button->isEnabled(); });

        button->click();
        QVERIFY(!button->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 20000);
        QCOMPARE(enabledAtFinish, (QList<bool>{false, true}));

        QFile runs(log);
        QVERIFY(runs.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(runs.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].endsWith(QStringLiteral("127.0.0.9")), qPrintable(lines[0]));
        QVERIFY2(lines[1].endsWith(QStringLiteral("127.0.0.10")), qPrintable(lines[1]));
        // A single bounded run each: a count of echoes and a deadline.
        QVERIFY2(lines[0].contains(QStringLiteral("-c ")) && lines[0].contains(QStringLiteral("-w ")),
                 qPrintable(lines[0]));

        const QString shown = w<QLabel>("label_PingOutput")->text();
        QVERIFY2(shown.startsWith(QStringLiteral("测试结果:")), qPrintable(shown));
        const int tx = shown.indexOf(QStringLiteral("127.0.0.9"));
        const int rx = shown.indexOf(QStringLiteral("127.0.0.10"));
        QVERIFY2(tx > 0 && rx > tx, qPrintable(shown));

        // A second test replaces the text of the first.
        button->click();
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 20000);
        QCOMPARE(w<QLabel>("label_PingOutput")->text(), shown);
    }

    // A ping that fails says so on its error output: that text is shown
    // too, under its own box and in the order the command wrote it.
    void pingErrorOutputShownInOrder()
    {
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        // The transmitter's host fails on the error output only; the
        // receiver's mixes both outputs.
        QVERIFY(writeFakePing(bin, "for host; do :; done\n"
                                   "if [ \"$host\" = 127.0.0.9 ]; then echo \"ping: $host: unreachable\" >&2; exit 2; fi\n"
                                   "echo \"start $host\"\n"
                                   "echo \"lost $host\" >&2\n"
                                   "echo \"end $host\"\n"));
        PathFor path(bin.path());

        w<QLineEdit>("DeviceIP_Send")->setText(QStringLiteral("127.0.0.9"));
        w<QLineEdit>("DeviceIP_Recv")->setText(QStringLiteral("127.0.0.10"));
        QPushButton* button = w<QPushButton>("btn_Ping");
        button->click();
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 20000);
        QCOMPARE(w<QLabel>("label_PingOutput")->text(),
                 QStringLiteral("测试结果:ping: 127.0.0.9: unreachable\n"
                                "start 127.0.0.10\nlost 127.0.0.10\nend 127.0.0.10\n"));
    }

    // Without a ping command each step ends with a failure line and the
    // button comes back. A page that goes while its test runs takes the test
    // with it: the next page's test starts with the transmitter again.
    void pingThatCannotStart_data()
    {
        QTest::addColumn<bool>("pageGoneMidTest");
        QTest::newRow("first page") << false;
        QTest::newRow("after a page gone mid-test") << true;
    }
    void pingThatCannotStart()
    {
        QFETCH(bool, pageGoneMidTest);
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        PathFor path(empty.path());
        if (pageGoneMidTest) {
            w<QPushButton>("btn_Ping")->click();
            page = std::make_unique<View_Setting>();
        }
        w<QLineEdit>("DeviceIP_Send")->setText(QStringLiteral("127.0.0.9"));
        w<QLineEdit>("DeviceIP_Recv")->setText(QStringLiteral("127.0.0.10"));
        QPushButton* button = w<QPushButton>("btn_Ping");
        button->click();
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 20000);
        const QString shown = w<QLabel>("label_PingOutput")->text();
        QCOMPARE(shown.count(QStringLiteral("无法运行 ping 命令")), 2);
        QVERIFY(shown.startsWith(QStringLiteral("测试结果:")));
    }

    // A "host" the ping would take for an option is never handed to it.
    void pingRefusesAnOption()
    {
        QTemporaryDir bin;
        const QString log = bin.filePath(QStringLiteral("runs.log"));
        QVERIFY(writeFakePing(bin, QStringLiteral("printf '%s\\n' \"$*\" >> '%1'\n").arg(log).toUtf8()));
        PathFor path(bin.path());
        w<QLineEdit>("DeviceIP_Send")->setText(QStringLiteral("-f"));
        w<QLineEdit>("DeviceIP_Recv")->setText(QStringLiteral("127.0.0.10"));
        QPushButton* button = w<QPushButton>("btn_Ping");
        button->click();
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 20000);
        QFile runs(log);
        QVERIFY(runs.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(runs.readAll()).count(QLatin1Char('\n')), 1);
        QCOMPARE(w<QLabel>("label_PingOutput")->text().count(QStringLiteral("无法运行 ping 命令")), 1);
    }
#endif
};

QTEST_MAIN(TstViewSetting)
#include "tst_viewsetting.moc"
