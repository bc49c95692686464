#pragma once
// Reachability test through the system's "ping" command: one echo request,
// about 400 ms to wait for its reply.

#include <QString>
#include <QStringList>

// The ping commands the program speaks to: Windows' own and iputils'. Each
// has its own arguments and code page; both are known on every platform.
enum class PingTool { Windows, IpUtils };

// The ping of this platform.
constexpr PingTool systemPingTool()
{
#ifdef Q_OS_WIN
    return PingTool::Windows;
#else
    return PingTool::IpUtils;
#endif
}

// The arguments for the tool's ping, host last.
QStringList PingArguments(const QString& host, PingTool tool = systemPingTool());

// The arguments of the settings page's connection test, which shows the
// command's output: a few echoes, half a second each to answer, and one
// run that always ends (Windows' ping does; iputils' would not without a
// count). Empty for a host that ping would read as an option.
QStringList PingTestArguments(const QString& host, PingTool tool = systemPingTool());

// The ping command's output as text, in the code page it writes.
QString DecodePingOutput(const QByteArray& output, PingTool tool = systemPingTool());

// Runs "ping" (found on PATH) for the host, waits up to 30 s for it to end
// and reports whether it exited with code 0.
bool PingHost(const QString& host);
