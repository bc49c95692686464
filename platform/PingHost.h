#pragma once
// Reachability test through the system's "ping" command: one echo request,
// about 400 ms to wait for its reply.

#include <QString>
#include <QStringList>

// The arguments for this platform's ping, host last.
QStringList PingArguments(const QString& host);

// Runs "ping" (found on PATH) for the host, waits up to 30 s for it to end
// and reports whether it exited with code 0.
bool PingHost(const QString& host);
