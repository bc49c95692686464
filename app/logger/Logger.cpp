#include "Logger.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>

#include <iostream>

namespace {

QFile s_logFile;
QTextStream s_logStream;
QMutex s_logLock;
// Set while this thread is inside the handler. Anything Qt reports from
// within (a stream or file warning) comes back in as a message; it goes to the
// console only, as the lock is already held.
thread_local bool t_inHandler = false;

QString levelWord(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("Debug");
    case QtWarningMsg:
        return QStringLiteral("Warn");
    case QtCriticalMsg:
        return QStringLiteral("Critical");
    case QtFatalMsg:
        return QStringLiteral("Fatal");
    default:
        return QString();
    }
}

} // namespace

void installLogger()
{
    QDir dir(QStringLiteral("log"));
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));

    QMutexLocker locker(&s_logLock);
    s_logStream.setDevice(nullptr);
    if (s_logFile.isOpen())
        s_logFile.close();
    s_logFile.setFileName(QStringLiteral("./log/log_%1.txt")
                              .arg(QDate::currentDate().toString(QStringLiteral("yyMMdd"))));
    // A file that cannot be opened leaves the console as the only output.
    if (s_logFile.open(QIODevice::WriteOnly | QIODevice::Append)) {
        s_logStream.setDevice(&s_logFile);
        s_logStream.setCodec("UTF-8");
    }
    locker.unlock();
    qInstallMessageHandler(logMessageHandler);
}

void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    Q_UNUSED(context);
    if (type == QtInfoMsg)
        return;
    const QString line = QStringLiteral("[%1] %2 (%3)")
                             .arg(levelWord(type), message,
                                  QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd hh:mm:ss.zzz")));
    if (!t_inHandler) {
        t_inHandler = true;
        logToFile(line);
        t_inHandler = false;
    }
    logToConsole(line);
}

void logToFile(const QString& line)
{
    QMutexLocker locker(&s_logLock);
    if (!s_logStream.device())
        return;
    s_logStream << line << "\r\n";
    s_logStream.flush();
}

void logToConsole(const QString& line)
{
    std::cout << line.toUtf8().constData() << std::endl;
}
