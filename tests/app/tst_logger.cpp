// The file logger: line format, dropped informational messages, one file per
// day appended to, and a log folder that cannot be made.
#include "Logger.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace {

// Catches what the logger echoes to standard output.
class ConsoleCapture
{
public:
    ConsoleCapture() : m_old(std::cout.rdbuf(m_buffer.rdbuf())) {}
    ~ConsoleCapture() { std::cout.rdbuf(m_old); }
    QString text() const { return QString::fromStdString(m_buffer.str()); }

private:
    std::ostringstream m_buffer;
    std::streambuf* m_old;
};

// Catches what reaches the process's standard error directly, as Qt's own
// reports from inside a message handler do.
class StderrCapture
{
public:
    explicit StderrCapture(const QString& path) : m_file(path)
    {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        if (m_file.open(QIODevice::WriteOnly))
            dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }
    QByteArray finish()
    {
        restore();
        QFile f(m_file.fileName());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        m_saved = -1;
        m_file.close();
    }
    QFile m_file;
    int m_saved = -1;
};

const QString kStamp = QStringLiteral("\\(\\d{8} \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\)");

} // namespace

class TestLogger : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_home;

    QString enter(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(path);
        QDir::setCurrent(path);
        return path;
    }

    static QByteArray logFileBytes()
    {
        QFile f(QStringLiteral("log/log_%1.txt").arg(QDate::currentDate().toString(QStringLiteral("yyMMdd"))));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_home = QDir::currentPath();
    }
    void cleanup()
    {
        qInstallMessageHandler(nullptr);
        QDir::setCurrent(m_home);
    }

    void linesOfEachLevel()
    {
        enter(QStringLiteral("levels"));
        ConsoleCapture console;
        installLogger();
        qDebug("first %d", 1);
        qInfo("dropped");
        qWarning() << "有 %1 个" << 2;
        qCritical("third");
        logMessageHandler(QtMsgType(5), QMessageLogContext(), QStringLiteral("odd type"));

        const QString expected = QStringLiteral("\\[Debug\\] first 1 %1\r\n"
                                                "\\[Warn\\] 有 %2 个 2 %1\r\n"
                                                "\\[Critical\\] third %1\r\n"
                                                "\\[\\] odd type %1\r\n")
                                     .arg(kStamp, QStringLiteral("%1"));
        const QString file = QString::fromUtf8(logFileBytes());
        QVERIFY2(QRegularExpression(QLatin1Char('^') + expected + QLatin1Char('$')).match(file).hasMatch(),
                 qPrintable(file));
        QString consoleExpected = expected;
        consoleExpected.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        QVERIFY2(QRegularExpression(QLatin1Char('^') + consoleExpected + QLatin1Char('$')).match(console.text()).hasMatch(),
                 qPrintable(console.text()));
    }

    void secondInstallationAppends()
    {
        enter(QStringLiteral("append"));
        ConsoleCapture console;
        installLogger();
        qWarning("one");
        installLogger();
        qWarning("two");
        const QByteArray bytes = logFileBytes();
        QCOMPARE(bytes.count("\r\n"), 2);
        QVERIFY(bytes.startsWith("[Warn] one ("));
        QVERIFY(bytes.contains("\r\n[Warn] two ("));
    }

    // A log folder that cannot be made (a file is in its place) used to leave
    // the stream on a file that is not open: every message made the stream
    // report that, from inside the handler and with the lock held.
    void logFolderIsAFile()
    {
        const QString dir = enter(QStringLiteral("blocked"));
        QFile blocker(QStringLiteral("log"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        ConsoleCapture console;
        StderrCapture errors(QDir(dir).filePath(QStringLiteral("stderr.txt")));
        installLogger();
        qWarning("still heard");
        qCritical("and again");
        qInstallMessageHandler(nullptr);
        const QByteArray reported = errors.finish();
        QVERIFY2(reported.isEmpty(), reported.constData());
        QVERIFY(QFileInfo(QStringLiteral("log")).isFile());
        QVERIFY2(QRegularExpression(QStringLiteral("^\\[Warn\\] still heard %1\n\\[Critical\\] and again %1\n$").arg(kStamp))
                     .match(console.text())
                     .hasMatch(),
                 qPrintable(console.text()));
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
