#pragma once
// The program's own settings file "config.ini" in the working directory:
// the recent projects and the two device addresses. Every group, key and
// default lives here, so the window and the tests that point the program at
// a loopback instrument write the same file.

#include <QSettings>
#include <QString>
#include <QStringList>

class ProgramSettings
{
public:
    static const QString kFileName;        // "config.ini"
    static const QString kGroupRecent;     // "ProjList"
    static const QString kKeyRecent;       // "List%1", %1 from 1
    static const QString kGroupSystem;     // "SysConf"
    static const QString kKeySendIP;       // "SendIP"
    static const QString kKeyRecvIP;       // "RecvIP"
    // The instrument's own addresses, used when the file names none.
    static const QString kDefaultSendIP;
    static const QString kDefaultRecvIP;
    // Keys read from the file, and entries the list keeps.
    static constexpr int kRecentKeys = 10;
    static constexpr int kRecentKept = 9;

    // The INI file at path (relative to the working directory), read and
    // written as UTF-8.
    explicit ProgramSettings(const QString& path = kFileName);

    // The recent projects in the file, most recent first: keys whose file no
    // longer exists (empty ones too) are removed from the file and left out,
    // and a path named twice is kept once, at its first place.
    QStringList loadRecentProjects();
    // Writes the list from "List1" on; a path whose file has vanished is
    // written empty. Keys past the list's length keep what they hold.
    void saveRecentProjects(const QStringList& paths);
    // Puts path at the front of the list (once, at most kRecentKept
    // entries), writes the list and reads it back; the list as read.
    QStringList addRecentProject(QStringList paths, const QString& path);

    QString sendIP() const;
    QString recvIP() const;
    void setDeviceAddresses(const QString& sendIP, const QString& recvIP);

    // Writes pending changes to the file now; the file's state afterwards.
    QSettings::Status sync();

private:
    QSettings settings_;
};
