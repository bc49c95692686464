#include "WifiName.h"

#include <QProcess>
#include <QRegularExpression>

namespace WifiName {

namespace {

constexpr int kStartTimeoutMs = 30000;
constexpr int kFinishTimeoutMs = 30000;

bool runProcess(const QString& program, const QStringList& args, QByteArray* out)
{
    QProcess process;
    process.start(program, args, QIODevice::ReadWrite);
    if (!process.waitForStarted(kStartTimeoutMs))
        return false;
    process.closeWriteChannel();
    process.waitForFinished(kFinishTimeoutMs);
    *out = process.readAllStandardOutput();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
    }
    return true;
}

CommandRunner& runnerSlot()
{
    static CommandRunner runner;
    return runner;
}

bool run(const QString& program, const QStringList& args, QByteArray* out)
{
    out->clear();
    const CommandRunner& r = runnerSlot();
    return r ? r(program, args, out) : runProcess(program, args, out);
}

QStringList nonEmptyLines(const QString& text)
{
    return text.split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts);
}

} // namespace

QString none()
{
    return QStringLiteral("None");
}

void setCommandRunner(CommandRunner runner)
{
    runnerSlot() = std::move(runner);
}

QString parseNetshInterfaces(const QString& text)
{
    for (const QString& raw : nonEmptyLines(text)) {
        const QString line = raw.simplified();
        if (!line.startsWith(QLatin1String("SSID")))
            continue;
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        const QString name = line.mid(colon + 1).simplified();
        if (!name.isEmpty())
            return name;
    }
    return none();
}

QString parseIwgetid(const QString& text)
{
    for (const QString& raw : nonEmptyLines(text)) {
        const QString name = raw.trimmed();
        if (!name.isEmpty())
            return name;
    }
    return none();
}

QString parseNmcliWifi(const QString& text)
{
    for (const QString& raw : nonEmptyLines(text)) {
        // Terse mode: fields separated by ':', literal ':' and '\' escaped.
        QStringList fields;
        QString field;
        for (int i = 0; i < raw.size(); ++i) {
            const QChar c = raw.at(i);
            if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
                field += raw.at(++i);
            } else if (c == QLatin1Char(':')) {
                fields << field;
                field.clear();
            } else {
                field += c;
            }
        }
        fields << field;
        if (fields.size() >= 2 && fields.at(0).trimmed() == QLatin1String("yes")
            && !fields.at(1).isEmpty())
            return fields.at(1);
    }
    return none();
}

QString currentByNetsh()
{
    QByteArray out;
    if (run(QStringLiteral("cmd"), {QStringLiteral("/c"), QStringLiteral("netsh wlan show interfaces")}, &out))
        return parseNetshInterfaces(QString::fromLocal8Bit(out));
    return none();
}

QString currentByLinuxTools()
{
    QByteArray out;
    if (run(QStringLiteral("iwgetid"), {QStringLiteral("-r")}, &out)) {
        const QString name = parseIwgetid(QString::fromLocal8Bit(out));
        if (name != none())
            return name;
    }
    if (run(QStringLiteral("nmcli"),
            {QStringLiteral("-t"), QStringLiteral("-f"), QStringLiteral("ACTIVE,SSID"),
             QStringLiteral("device"), QStringLiteral("wifi")},
            &out)) {
        return parseNmcliWifi(QString::fromUtf8(out));
    }
    return none();
}

QString current()
{
#ifdef Q_OS_WIN
    return currentByNetsh();
#else
    return currentByLinuxTools();
#endif
}

} // namespace WifiName
