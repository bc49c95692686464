#include "PingHost.h"

#include <QProcess>

QStringList PingArguments(const QString& host)
{
#ifdef Q_OS_WIN
    return {QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("-w"), QStringLiteral("400"), host};
#else
    // iputils ping: -c count, -W wait for the reply in seconds (fractions allowed).
    return {QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"), QStringLiteral("0.4"), host};
#endif
}

bool PingHost(const QString& host)
{
    // A "host" that starts with a dash would be read by ping as an option.
    if (host.trimmed().isEmpty() || host.startsWith(QLatin1Char('-')))
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
