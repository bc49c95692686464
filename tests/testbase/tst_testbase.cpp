// The recording prompt of every test: expected boxes are answered as the test
// said, anything else fails the test that met it.
//
// QtTest runs one test object per process, so the failures are looked for in
// a second run of this executable that executes the inner test object alone.

#include "RecordingPrompt.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Kind = Prompt::Kind;

const char* const kInnerSwitch = "--inner";

// How the test answers the box it expects.
enum class Answer { Negative, Value, Unchanged };

} // namespace

Q_DECLARE_METATYPE(Prompt::Kind)
Q_DECLARE_METATYPE(Answer)

// Each function meets boxes the way a faulty test would.
class PromptMisuse : public QObject
{
    Q_OBJECT
private slots:
    void boxWithoutAnyPrompt()
    {
        // Answered negatively: the only failure is the box itself.
        QVERIFY(!Prompt::current()->question(nullptr, QStringLiteral("Delete"), QStringLiteral("Delete line 3?")));
    }
    void boxOtherThanExpected()
    {
        RecordingPrompt prompt;
        prompt.expect(Kind::Warning).titled(QStringLiteral("Warn"));
        QString text = QStringLiteral("kept");
        QVERIFY(!prompt.getText(nullptr, QStringLiteral("Password"), QStringLiteral("Enter:"), &text, true));
        QCOMPARE(text, QStringLiteral("kept"));
    }
    void boxWithOtherText()
    {
        RecordingPrompt prompt;
        prompt.expect(Kind::Critical).containing(QStringLiteral("damaged"));
        Prompt::current()->critical(nullptr, QStringLiteral("Error"), QStringLiteral("file missing"));
    }
    void fileDialogNotExpected()
    {
        RecordingPrompt prompt;
        QVERIFY(Prompt::current()->getSaveFileName(nullptr, QStringLiteral("Export"), QString(),
                                                   QStringLiteral("*.csv")).isEmpty());
    }
    void expectedBoxNeverShown()
    {
        RecordingPrompt prompt;
        prompt.expectQuestion(true).titled(QStringLiteral("Delete"));
        prompt.expect(Kind::Information);
    }
    void repeatedBoxShownTooRarely()
    {
        RecordingPrompt prompt;
        prompt.expect(Kind::Warning).times(3);
        Prompt::current()->warning(nullptr, QStringLiteral("Warn"), QStringLiteral("again"));
    }
    void boxAfterItsPromptIsGone()
    {
        {
            RecordingPrompt prompt;
            prompt.expect(Kind::Information);
            Prompt::current()->information(nullptr, QStringLiteral("Info"), QStringLiteral("first"));
        }
        Prompt::set(nullptr);
        Prompt::current()->information(nullptr, QStringLiteral("Info"), QStringLiteral("second"));
    }
    void everythingAsExpected()
    {
        RecordingPrompt prompt;
        prompt.expect(Kind::Information);
        Prompt::current()->information(nullptr, QStringLiteral("Info"), QStringLiteral("done"));
    }
};

class TstTestBase : public QObject
{
    Q_OBJECT
private slots:
    void misuseFailsTheTest_data();
    void misuseFailsTheTest();
    void expectedBoxesAreAnswered_data();
    void expectedBoxesAreAnswered();
    void boxesAreRecordedAndMatched();
    void promptsNestAndTheGuardStaysUnderneath();
};

void TstTestBase::misuseFailsTheTest_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QStringList>("failures");
    QTest::newRow("no prompt") << "boxWithoutAnyPrompt" << QStringList{
        R"(unexpected question box titled "Delete" with text "Delete line 3?")"};
    QTest::newRow("other kind") << "boxOtherThanExpected" << QStringList{
        R"(unexpected text input titled "Password" with text "Enter:"; expected warning box titled "Warn")"};
    QTest::newRow("other text") << "boxWithOtherText" << QStringList{
        R"(unexpected critical box titled "Error" with text "file missing"; expected critical box with text holding "damaged")"};
    QTest::newRow("file dialog") << "fileDialogNotExpected" << QStringList{
        R"(unexpected save-file dialog titled "Export" with text "*.csv")"};
    QTest::newRow("never shown") << "expectedBoxNeverShown" << QStringList{
        R"(expected question box titled "Delete", never shown)"};
    QTest::newRow("too rarely") << "repeatedBoxShownTooRarely" << QStringList{
        R"(expected warning box (2 more times), never shown)"};
    QTest::newRow("prompt gone") << "boxAfterItsPromptIsGone" << QStringList{
        R"(unexpected information box titled "Info" with text "second")"};
    QTest::newRow("as expected") << "everythingAsExpected" << QStringList{};
}

void TstTestBase::misuseFailsTheTest()
{
    QFETCH(QString, function);
    QFETCH(QStringList, failures);
    // The inner run's log goes into a file: under Wine a test's output into a
    // pipe is lost.
    QTemporaryDir logDir;
    QVERIFY(logDir.isValid());
    const QString log = logDir.filePath(QStringLiteral("inner.txt"));
    QProcess inner;
    inner.setProcessChannelMode(QProcess::MergedChannels);
    inner.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kInnerSwitch), function, QStringLiteral("-o"), log + QStringLiteral(",txt")});
    QVERIFY(inner.waitForFinished(60000));
    QCOMPARE(inner.exitStatus(), QProcess::NormalExit);
    QFile logFile(log);
    QVERIFY(logFile.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString output = QString::fromUtf8(logFile.readAll());

    const QString prefix = QStringLiteral("FAIL!  : PromptMisuse::%1() ").arg(function);
    QStringList reported;
    for (const QString& line : output.split(QLatin1Char('\n')))
        if (line.startsWith(prefix))
            reported << line.mid(prefix.size());
    QVERIFY2(reported == failures, qPrintable(output));
    QCOMPARE(inner.exitCode(), failures.size());
}

void TstTestBase::expectedBoxesAreAnswered_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QVariant>("result");
    QTest::newRow("question yes") << Kind::Question << Answer::Value << true << QVariant();
    QTest::newRow("question no") << Kind::Question << Answer::Negative << false << QVariant();
    QTest::newRow("number") << Kind::Number << Answer::Value << true << QVariant(13.5);
    QTest::newRow("number unchanged") << Kind::Number << Answer::Unchanged << true << QVariant(4.0);
    QTest::newRow("number cancelled") << Kind::Number << Answer::Negative << false << QVariant(4.0);
    QTest::newRow("text") << Kind::Text << Answer::Value << true << QVariant(QStringLiteral("野外站"));
    QTest::newRow("text cancelled") << Kind::Text << Answer::Negative << false << QVariant(QStringLiteral("start"));
    QTest::newRow("open file") << Kind::OpenFile << Answer::Value << true << QVariant(QStringLiteral("/tmp/in.VODEZ"));
    QTest::newRow("open cancelled") << Kind::OpenFile << Answer::Negative << false << QVariant(QString());
    QTest::newRow("save file") << Kind::SaveFile << Answer::Value << true << QVariant(QStringLiteral("/tmp/out.csv"));
    QTest::newRow("save cancelled") << Kind::SaveFile << Answer::Negative << false << QVariant(QString());
}

void TstTestBase::expectedBoxesAreAnswered()
{
    QFETCH(Kind, kind);
    QFETCH(Answer, answer);
    QFETCH(bool, accepted);
    QFETCH(QVariant, result);
    RecordingPrompt prompt;
    if (answer == Answer::Negative)
        prompt.expect(kind);
    else if (answer == Answer::Unchanged)
        prompt.expectNumberUnchanged();
    else if (kind == Kind::Question)
        prompt.expectQuestion(true);
    else if (kind == Kind::Number)
        prompt.expectNumber(result.toDouble());
    else if (kind == Kind::Text)
        prompt.expectText(result.toString());
    else if (kind == Kind::OpenFile)
        prompt.expectOpenFile(result.toString());
    else
        prompt.expectSaveFile(result.toString());
    QCOMPARE(prompt.pending(), 1);

    Prompt* p = Prompt::current();
    const QString title = QStringLiteral("T");
    if (kind == Kind::Question) {
        QCOMPARE(p->question(nullptr, title, QString()), accepted);
    } else if (kind == Kind::Number) {
        double value = 4.0;
        QCOMPARE(p->getDouble(nullptr, title, QString(), &value, 0, 100, 2), accepted);
        QCOMPARE(value, result.toDouble());
    } else if (kind == Kind::Text) {
        QString value = QStringLiteral("start");
        QCOMPARE(p->getText(nullptr, title, QString(), &value, false), accepted);
        QCOMPARE(value, result.toString());
    } else {
        const QString path = kind == Kind::OpenFile ? p->getOpenFileName(nullptr, title, QString(), QString())
                                                    : p->getSaveFileName(nullptr, title, QString(), QString());
        QCOMPARE(path, result.toString());
    }
    QCOMPARE(prompt.pending(), 0);
    QCOMPARE(prompt.count(kind), 1);
}

void TstTestBase::boxesAreRecordedAndMatched()
{
    RecordingPrompt prompt;
    prompt.expect(Kind::Warning).titled(QStringLiteral("警告")).saying(QStringLiteral("工程文件损坏"));
    prompt.expect(Kind::Information).containing(QStringLiteral("3")).times(2);
    prompt.expectText(QStringLiteral("secret")).titled(QStringLiteral("密码"));
    prompt.expectNumberUnchanged().saying(QStringLiteral("请输入新的点号:"));
    QCOMPARE(prompt.pending(), 5);

    Prompt* p = Prompt::current();
    p->warning(nullptr, QStringLiteral("警告"), QStringLiteral("工程文件损坏"));
    p->information(nullptr, QStringLiteral("a"), QStringLiteral("line 3"));
    p->information(nullptr, QStringLiteral("b"), QStringLiteral("point 13"));
    QString secret;
    QVERIFY(p->getText(nullptr, QStringLiteral("密码"), QStringLiteral("输入"), &secret, true));
    QCOMPARE(secret, QStringLiteral("secret"));
    double number = 3.95;
    QVERIFY(p->getDouble(nullptr, QStringLiteral("修改点号"), QStringLiteral("请输入新的点号:"), &number, -9, 9, 2));
    QCOMPARE(number, 3.95);
    QCOMPARE(prompt.pending(), 0);

    QCOMPARE(prompt.shown.size(), 5);
    QCOMPARE(prompt.count(Kind::Information), 2);
    QCOMPARE(prompt.shown[2].title, QStringLiteral("b"));
    QVERIFY(prompt.shown[3].password);
    const RecordingPrompt::Shown input = prompt.shown[4];
    QCOMPARE(input.kind, Kind::Number);
    QCOMPARE(input.text, QStringLiteral("请输入新的点号:"));
    QCOMPARE(input.start, 3.95);
    QCOMPARE(input.min, -9.0);
    QCOMPARE(input.max, 9.0);
    QCOMPARE(input.decimals, 2);
}

void TstTestBase::promptsNestAndTheGuardStaysUnderneath()
{
    Prompt* const guard = Prompt::current();
    QVERIFY(dynamic_cast<RecordingPrompt*>(guard));
    QVERIFY(!Prompt::installed());
    {
        RecordingPrompt outer;
        QCOMPARE(Prompt::current(), &outer);
        {
            RecordingPrompt inner;
            QCOMPARE(Prompt::current(), &inner);
        }
        QCOMPARE(Prompt::current(), &outer);
    }
    QCOMPARE(Prompt::current(), guard);
    // Even a test that asks for the real dialogs back keeps the guard.
    Prompt::set(nullptr);
    QCOMPARE(Prompt::current(), guard);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], kInnerSwitch) == 0) {
        PromptMisuse inner;
        QStringList args = app.arguments();
        args.removeAt(1);
        return QTest::qExec(&inner, args);
    }
    TstTestBase test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_testbase.moc"
