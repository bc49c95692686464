#include "PingHost.h"

#include <QProcess>
#include <QTextCodec>

QStringList PingArguments(const QString& host)
{
#ifdef Q_OS_WIN
    return {QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("-w"), QStringLiteral("400"), host};
#else
    // iputils ping: -c count, -W wait for the reply in seconds (fractions allowed).
    return {QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"), QStringLiteral("0.4"), host};
#endif
}

namespace {

// A "host" that starts with a dash would be read by ping as an option.
bool takesHost(const QString& host)
{
    return !host.trimmed().isEmpty() && !host.startsWith(QLatin1Char('-'));
}

} // namespace

QStringList PingTestArguments(const QString& host)
{
    if (!takesHost(host))
        return {};
#ifdef Q_OS_WIN
    return {host, QStringLiteral("-w"), QStringLiteral("500")};
#else
    // Windows' default of four echoes; -w bounds the whole run.
    return {QStringLiteral("-c"), QStringLiteral("4"), QStringLiteral("-W"), QStringLiteral("0.5"),
            QStringLiteral("-w"), QStringLiteral("5"), host};
#endif
}

QString DecodePingOutput(const QByteArray& output)
{
#ifdef Q_OS_WIN
    if (QTextCodec* gbk = QTextCodec::codecForName("GBK"))
        return gbk->toUnicode(output);
#endif
    return QString::fromLocal8Bit(output);
}

bool PingHost(const QString& host)
{
    if (!takesHost(host))
        return false;
    QProcess process;
    process.start(QStringLiteral("ping"), PingArguments(host));
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
