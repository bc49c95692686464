#include "ProgramSettings.h"

#include <QFileInfo>

const QString ProgramSettings::kFileName = QStringLiteral("config.ini");
const QString ProgramSettings::kGroupRecent = QStringLiteral("ProjList");
const QString ProgramSettings::kKeyRecent = QStringLiteral("List%1");
const QString ProgramSettings::kGroupSystem = QStringLiteral("SysConf");
const QString ProgramSettings::kKeySendIP = QStringLiteral("SendIP");
const QString ProgramSettings::kKeyRecvIP = QStringLiteral("RecvIP");
const QString ProgramSettings::kDefaultSendIP = QStringLiteral("192.168.0.9");
const QString ProgramSettings::kDefaultRecvIP = QStringLiteral("192.168.0.10");

ProgramSettings::ProgramSettings(const QString& path) : settings_(path, QSettings::IniFormat)
{
    settings_.setIniCodec("UTF-8");
}

QStringList ProgramSettings::loadRecentProjects()
{
    QStringList paths;
    settings_.beginGroup(kGroupRecent);
    for (int i = 1; i <= kRecentKeys; ++i) {
        const QString key = kKeyRecent.arg(i);
        const QString path = settings_.value(key).toString();
        if (!path.isEmpty() && QFileInfo::exists(path))
            paths << path;
        else
            settings_.remove(key);
    }
    settings_.endGroup();
    paths.removeDuplicates();
    return paths;
}

void ProgramSettings::saveRecentProjects(const QStringList& paths)
{
    settings_.beginGroup(kGroupRecent);
    for (int i = 0; i < paths.size(); ++i) {
        const QString& path = paths.at(i);
        settings_.setValue(kKeyRecent.arg(i + 1), QFileInfo::exists(path) ? path : QString());
    }
    settings_.endGroup();
}

QStringList ProgramSettings::addRecentProject(QStringList paths, const QString& path)
{
    paths.removeAll(path);
    while (paths.size() > kRecentKept - 1)
        paths.removeLast();
    paths.prepend(path);
    saveRecentProjects(paths);
    return loadRecentProjects();
}

QString ProgramSettings::sendIP() const
{
    return settings_.value(kGroupSystem + QLatin1Char('/') + kKeySendIP, kDefaultSendIP).toString();
}

QString ProgramSettings::recvIP() const
{
    return settings_.value(kGroupSystem + QLatin1Char('/') + kKeyRecvIP, kDefaultRecvIP).toString();
}

void ProgramSettings::setDeviceAddresses(const QString& sendIP, const QString& recvIP)
{
    settings_.setValue(kGroupSystem + QLatin1Char('/') + kKeySendIP, sendIP);
    settings_.setValue(kGroupSystem + QLatin1Char('/') + kKeyRecvIP, recvIP);
}

QSettings::Status ProgramSettings::sync()
{
    settings_.sync();
    return settings_.status();
}
