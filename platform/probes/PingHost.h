#pragma once
// Reachability test through the system's "ping" command: one echo request,
// about 400 ms to wait for its reply.

#include <QString>
#include <QStringList>

// The arguments for this platform's ping, host last.
QStringList PingArguments(const QString& host);

// The arguments of the settings page's connection test, which shows the
// command's output: a few echoes, half a second each to answer, and one
// run that always ends (Windows' ping does; iputils' would not without a
// count). Empty for a host that ping would read as an option.
QStringList PingTestArguments(const QString& host);

// The ping command's output as text, in the code page it writes.
QString DecodePingOutput(const QByteArray& output);

// Runs "ping" (found on PATH) for the host, waits up to 30 s for it to end
// and reports whether it exited with code 0.
bool PingHost(const QString& host);
