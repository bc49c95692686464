#pragma once
// Signal quality of the Wi-Fi connection the program is using.

#include <QByteArray>
#include <QVector>

// Signal quality of the first connected Wi-Fi interface, 0 to 100, or -1
// when there is no Wi-Fi service, no connected interface or the query fails.
int GetWifiSignalQuality();

// The Linux source: the text of /proc/net/wireless. The first interface with
// a non-zero link quality gives the result, scaled from the kernel's usual
// range of 0 to 70 onto 0 to 100; -1 when there is none.
int WifiQualityFromProcText(const QByteArray& text);

// The Windows source, the WLAN service, as the three questions the quality
// is asked with. A client frees what the service handed out when it goes.
class WlanClient
{
public:
    virtual ~WlanClient() = default;
    // Opens the service (client version 2).
    virtual bool open() = 0;
    // The state of each interface, in the service's order and with its values.
    virtual bool interfaceStates(QVector<int>* states) = 0;
    // The signal quality of the interface's current connection.
    virtual bool connectionQuality(int interfaceIndex, int* quality) = 0;
};

// The service's state of a connected interface (wlan_interface_state_connected).
constexpr int kWlanInterfaceConnected = 1;

// The quality of the first connected interface, or -1 when a question fails
// or no interface is connected.
int WifiQualityFromWlan(WlanClient& client);
