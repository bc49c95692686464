#pragma once
// Whether a Windows test runs under Wine, whose answers to the machine's
// probes are known: no WLAN interface, a netsh that prints nothing. Where
// Wine is not, a test holds only what every Windows machine answers.

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <qt_windows.h>

inline bool underWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
#endif
