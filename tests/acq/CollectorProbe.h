#pragma once
// What the tests of the acquisition controller share: the connection texts it
// shows, a look at its machine by state name, a shorter connection time-out
// and the program settings that name the test's boxes.

#include "ProgramSettings.h"
#include "VODEZ_Collector.h"

#include <QSettings>
#include <QState>
#include <QStateMachine>
#include <QString>
#include <QTimer>

namespace {

const QString kOnline = QStringLiteral("<p style='color:green;'>已连接</p>");
const QString kInit = QStringLiteral("<p style='color:red;'>初始化连接</p>");
const QString kNotConnected = QStringLiteral("<p style='color:red;'>未连接</p>");
const QString kRetry = QStringLiteral("<p style='color:red;'>重试</p>");
// Why a sounding ended.
const QString kDropped = QStringLiteral("<p style='color:red;'>断线,采集已丢弃</p>");
const QString kSendSilent = QStringLiteral("<p style='color:red;'>发送机无应答</p>");
const QString kRecvSilent = QStringLiteral("<p style='color:red;'>接收机无应答</p>");
const QString kOverdue = QStringLiteral("<p style='color:red;'>数据超时</p>");
const QString kStartRefused = QStringLiteral("<p style='color:red;'>发送机启动失败</p>");

// "正在连接" or "状态更新" with 发 and 收 green when their link is up.
inline QString linkText(const char* head, bool tx, bool rx)
{
    return QStringLiteral("%1 <span style='color:%2;'>发 </span><span style='color:%3;'>收</span>")
        .arg(QString::fromUtf8(head), tx ? QStringLiteral("green") : QStringLiteral("red"),
             rx ? QStringLiteral("green") : QStringLiteral("red"));
}

inline bool inState(const VODEZ_Collector& c, const char* state)
{
    auto* s = c.findChild<QState*>(QString::fromLatin1(state));
    auto* machine = c.findChild<QStateMachine*>();
    return s && machine && machine->configuration().contains(s);
}

// The connection time-out: the only 10 s timer of the controller itself.
inline QTimer* connectTimeout(const VODEZ_Collector& c)
{
    for (QTimer* t : c.findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
        if (t->interval() == 10000)
            return t;
    return nullptr;
}

// Runs the connection time-out out now instead of waiting 10 s for it; false
// when it was not running.
inline bool expireConnectTimeout(const VODEZ_Collector& c)
{
    QTimer* t = connectTimeout(c);
    if (!t || !t->isActive())
        return false;
    t->stop();
    return QMetaObject::invokeMethod(t, "timeout");
}

// The program's settings point at the test's loopback boxes, never at the
// instrument's own addresses.
inline QSettings::Status writeBoxAddresses(const QString& tx, const QString& rx)
{
    ProgramSettings ini;
    ini.setDeviceAddresses(tx, rx);
    return ini.sync();
}

} // namespace
