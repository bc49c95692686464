#pragma once
// Signal quality of the Wi-Fi connection the program is using.

#include <QByteArray>

// Signal quality of the first connected Wi-Fi interface, 0 to 100, or -1
// when there is no Wi-Fi service, no connected interface or the query fails.
int GetWifiSignalQuality();

// The Linux source: the text of /proc/net/wireless. The first interface with
// a non-zero link quality gives the result, scaled from the kernel's usual
// range of 0 to 70 onto 0 to 100; -1 when there is none.
int WifiQualityFromProcText(const QByteArray& text);
