#pragma once
// The name of the wireless network the instrument is reached through. The
// project keeps it so that a crew can later tell which instrument a project
// was measured with.
//
// Each platform asks its own tools; the text they print is parsed by plain
// functions so that canned outputs can be checked anywhere. Tests replace the
// command runner to feed such outputs without running anything.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace WifiName {

// The answer when no connected wireless network is known.
QString none();

// Runs program with args and hands back its standard output. Returns false
// when the program could not be started (missing, not allowed, ...).
using CommandRunner = std::function<bool(const QString& program, const QStringList& args, QByteArray* out)>;

// Replaces the runner for every later lookup; an empty runner restores the
// one that starts real processes.
void setCommandRunner(CommandRunner runner);

// Text of the Windows command "netsh wlan show interfaces" (any display
// language: the key "SSID" is never translated). The network name is
// everything after the first ':' of the first line beginning with "SSID", so
// a name holding ':' stays whole. Lines beginning with "BSSID" do not count.
// Returns none() without such a line or with an empty name.
QString parseNetshInterfaces(const QString& text);

// Output of "iwgetid -r": the name alone on one line; none() when empty.
QString parseIwgetid(const QString& text);

// Output of "nmcli -t -f ACTIVE,SSID device wifi": lines "yes:<name>" for the
// active network, ':' and '\' inside the name escaped with '\'.
QString parseNmcliWifi(const QString& text);

// The current network name through this platform's tools, or none().
// Blocks until the tools finish (each at most 30 s to start and 30 s to run).
QString current();

// The lookup of each platform, through the command runner on any platform.
// Windows: "netsh wlan show interfaces" through "cmd /c", its output in the
// local 8-bit code page.
QString currentByNetsh();
// Linux: "iwgetid -r", and where that names nothing, nmcli.
QString currentByLinuxTools();

} // namespace WifiName
