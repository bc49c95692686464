#pragma once
// The one process-wide native event filter: hands each native message to the
// helper of the window it is for. Windows messages only; on other systems it
// passes everything on, and the helpers filter their windows' Qt events.

#include <QAbstractNativeEventFilter>
#include <QtGui/qwindowdefs.h>

class QWindow;
class NativeWindowHelper;

class NativeWindowFilter : public QAbstractNativeEventFilter
{
public:
    ~NativeWindowFilter() override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;
};

// Registers (helper set) or unregisters (null helper) the window's current
// native handle. The first registration installs the filter.
void setWindowHelper(QWindow* window, NativeWindowHelper* helper);

// The helper registered for a native handle, or null.
NativeWindowHelper* windowHelperFor(WId handle);
