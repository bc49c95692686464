#include "NativeWindowFilter.h"

#include "NativeWindowHelper.h"

#include <QCoreApplication>
#include <QHash>
#include <QWindow>

#include <memory>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {

std::unique_ptr<NativeWindowFilter> s_instance;
QHash<WId, NativeWindowHelper*> s_helpers;
QHash<QWindow*, WId> s_windows;
QHash<NativeWindowHelper*, WId> s_winIds;

} // namespace

NativeWindowFilter::~NativeWindowFilter() = default;

bool NativeWindowFilter::nativeEventFilter(const QByteArray& eventType, void* message, long* result)
{
    Q_UNUSED(eventType);
#ifdef Q_OS_WIN
    auto* msg = static_cast<MSG*>(message);
    if (s_helpers.isEmpty() || !msg)
        return false;
    NativeWindowHelper* helper = s_helpers.value(reinterpret_cast<WId>(msg->hwnd));
    return helper ? helper->nativeEventFilter(msg, result) : false;
#else
    Q_UNUSED(message);
    Q_UNUSED(result);
    return false;
#endif
}

void setWindowHelper(QWindow* window, NativeWindowHelper* helper)
{
    Q_CHECK_PTR(window);
    if (!s_instance && QCoreApplication::instance()) {
        s_instance.reset(new NativeWindowFilter);
        QCoreApplication::instance()->installNativeEventFilter(s_instance.get());
    }

    if (helper) {
        const WId newId = window->winId();
        const WId oldId = s_winIds.value(helper);
        if (newId != oldId) {
            s_helpers.insert(newId, helper);
            s_helpers.remove(oldId);
            s_winIds.insert(helper, newId);
            s_windows.insert(window, newId);
        }
        return;
    }
    // The window may be half destroyed here: only its address is used.
    const WId id = s_windows.take(window);
    NativeWindowHelper* old = s_helpers.take(id);
    s_winIds.remove(old);
}

NativeWindowHelper* windowHelperFor(WId handle)
{
    return s_helpers.value(handle);
}
