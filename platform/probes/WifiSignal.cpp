#include "WifiSignal.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <cmath>

#ifdef Q_OS_WIN
#include <windows.h>
#include <wlanapi.h>

static_assert(kWlanInterfaceConnected == wlan_interface_state_connected, "WLAN interface state");

namespace {

class SystemWlanClient : public WlanClient
{
public:
    ~SystemWlanClient() override
    {
        if (list)
            WlanFreeMemory(list);
        if (handle)
            WlanCloseHandle(handle, nullptr);
    }

    bool open() override
    {
        DWORD version = 0;
        return WlanOpenHandle(2, nullptr, &version, &handle) == ERROR_SUCCESS;
    }

    bool interfaceStates(QVector<int>* states) override
    {
        if (WlanEnumInterfaces(handle, nullptr, &list) != ERROR_SUCCESS)
            return false;
        for (DWORD i = 0; i < list->dwNumberOfItems; ++i)
            states->append(int(list->InterfaceInfo[i].isState));
        return true;
    }

    bool connectionQuality(int interfaceIndex, int* quality) override
    {
        DWORD size = 0;
        PWLAN_CONNECTION_ATTRIBUTES attributes = nullptr;
        if (WlanQueryInterface(handle, &list->InterfaceInfo[interfaceIndex].InterfaceGuid,
                               wlan_intf_opcode_current_connection, nullptr, &size,
                               reinterpret_cast<PVOID*>(&attributes), nullptr) != ERROR_SUCCESS
            || !attributes)
            return false;
        *quality = int(attributes->wlanAssociationAttributes.wlanSignalQuality);
        WlanFreeMemory(attributes);
        return true;
    }

private:
    HANDLE handle = nullptr;
    PWLAN_INTERFACE_INFO_LIST list = nullptr;
};

} // namespace
#endif

int WifiQualityFromProcText(const QByteArray& text)
{
    // Two header lines, then one line per interface:
    //  wlan0: 0000   54.  -56.  -256        0      0      0      0    147        0
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 2; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QList<QByteArray> fields = line.mid(colon + 1).simplified().split(' ');
        if (fields.size() < 2)
            continue;
        QByteArray link = fields.at(1);
        if (link.endsWith('.'))
            link.chop(1);
        bool ok = false;
        const double quality = link.toDouble(&ok);
        if (!ok || !std::isfinite(quality) || quality <= 0.0)
            continue;
        return int(std::lround(std::min(100.0, quality * 100.0 / 70.0)));
    }
    return -1;
}

int WifiQualityFromWlan(WlanClient& client)
{
    QVector<int> states;
    if (!client.open() || !client.interfaceStates(&states))
        return -1;
    const int connected = states.indexOf(kWlanInterfaceConnected);
    int quality = -1;
    if (connected < 0 || !client.connectionQuality(connected, &quality))
        return -1;
    return quality;
}

int GetWifiSignalQuality()
{
#ifdef Q_OS_WIN
    SystemWlanClient client;
    return WifiQualityFromWlan(client);
#else
    QFile file(QStringLiteral("/proc/net/wireless"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return WifiQualityFromProcText(file.readAll());
#endif
}
