#include "PingHost.h"

#include <QProcess>
#include <QTextCodec>

QStringList PingArguments(const QString& host, PingTool tool)
{
    if (tool == PingTool::Windows)
        return {QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("-w"), QStringLiteral("400"), host};
    // iputils ping: -c count, -W wait for the reply in seconds (fractions allowed).
    return {QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"), QStringLiteral("0.4"), host};
}

namespace {

// A "host" that starts with a dash would be read by ping as an option.
bool takesHost(const QString& host)
{
    return !host.trimmed().isEmpty() && !host.startsWith(QLatin1Char('-'));
}

} // namespace

QStringList PingTestArguments(const QString& host, PingTool tool)
{
    if (!takesHost(host))
        return {};
    if (tool == PingTool::Windows)
        return {host, QStringLiteral("-w"), QStringLiteral("500")};
    // Windows' default of four echoes; -w bounds the whole run.
    return {QStringLiteral("-c"), QStringLiteral("4"), QStringLiteral("-W"), QStringLiteral("0.5"),
            QStringLiteral("-w"), QStringLiteral("5"), host};
}

QString DecodePingOutput(const QByteArray& output, PingTool tool)
{
    // The field laptops run Chinese Windows, whose console code page is GBK.
    if (tool == PingTool::Windows) {
        if (QTextCodec* gbk = QTextCodec::codecForName("GBK"))
            return gbk->toUnicode(output);
    }
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
