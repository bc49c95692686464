#include "WifiSignal.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <cmath>

#ifdef Q_OS_WIN
#include <windows.h>
#include <wlanapi.h>

namespace {

int windowsWifiQuality()
{
    HANDLE handle = nullptr;
    DWORD version = 0;
    if (WlanOpenHandle(2, nullptr, &version, &handle) != ERROR_SUCCESS)
        return -1;
    PWLAN_INTERFACE_INFO_LIST list = nullptr;
    if (WlanEnumInterfaces(handle, nullptr, &list) != ERROR_SUCCESS) {
        WlanCloseHandle(handle, nullptr);
        return -1;
    }
    const WLAN_INTERFACE_INFO* connected = nullptr;
    for (DWORD i = 0; i < list->dwNumberOfItems; ++i) {
        if (list->InterfaceInfo[i].isState == wlan_interface_state_connected) {
            connected = &list->InterfaceInfo[i];
            break;
        }
    }
    int result = -1;
    if (connected) {
        DWORD size = 0;
        PWLAN_CONNECTION_ATTRIBUTES attributes = nullptr;
        if (WlanQueryInterface(handle, &connected->InterfaceGuid,
                               wlan_intf_opcode_current_connection, nullptr, &size,
                               reinterpret_cast<PVOID*>(&attributes), nullptr) == ERROR_SUCCESS
            && attributes) {
            result = int(attributes->wlanAssociationAttributes.wlanSignalQuality);
            WlanFreeMemory(attributes);
        }
    }
    WlanFreeMemory(list);
    WlanCloseHandle(handle, nullptr);
    return result;
}

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

int GetWifiSignalQuality()
{
#ifdef Q_OS_WIN
    return windowsWifiQuality();
#else
    QFile file(QStringLiteral("/proc/net/wireless"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return WifiQualityFromProcText(file.readAll());
#endif
}
