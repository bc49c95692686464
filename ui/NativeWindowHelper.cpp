#include "NativeWindowHelper.h"

#include "FramelessGeometry.h"
#include "NativeWindowFilter.h"

#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QOperatingSystemVersion>
#include <QScreen>
#include <QSettings>
#include <QWindow>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <dwmapi.h>
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#endif

using namespace FramelessGeometry;

class NativeWindowHelperPrivate
{
public:
    virtual ~NativeWindowHelperPrivate();

    void updateWindowStyle();
    bool isMaximized() const;
    QRect workArea() const;
    QMargins scaledResizeBorder() const;
    QMargins scaledMaximizedInset() const;
    int hitTest(const QPoint& globalPos) const;
    static bool isCompositionEnabled();

#ifndef Q_OS_WIN
    bool mouseEvent(QEvent* event);
#endif

    NativeWindowHelper* owner = nullptr;
    QWindow* window = nullptr;
    NativeWindowTester* tester = nullptr;
    WId lastHandle = 0;
    double scaleFactor = 1.0;
    // Set once the tester has gone; nothing is asked of it any more.
    bool detached = false;

#ifndef Q_OS_WIN
    // A drag that the window system refused to run, done here by geometry.
    enum class Drag { None, Move, Resize };
    Drag drag = Drag::None;
    Qt::Edges dragEdges;
    QPoint pressGlobal;
    QRect pressGeometry;
    // The band shows its resize cursor as a system frame would.
    bool resizeCursorShown = false;
    void showResizeCursor(int hitCode);
#endif
};

NativeWindowHelperPrivate::~NativeWindowHelperPrivate()
{
    if (window)
        setWindowHelper(window, nullptr);
}

void NativeWindowHelperPrivate::updateWindowStyle()
{
    const WId handle = window->winId();
    if (handle == 0 || handle == lastHandle)
        return;
    lastHandle = handle;
    setWindowHelper(window, owner);

#ifdef Q_OS_WIN
    if (QOperatingSystemVersion::current() < QOperatingSystemVersion::Windows8)
        return;
    const HWND hwnd = reinterpret_cast<HWND>(handle);
    const bool composition = isCompositionEnabled();
    DWORD style = WS_POPUP | WS_THICKFRAME;
    if (composition)
        style |= WS_CAPTION;
    const Qt::WindowFlags flags = window->flags();
    if (!(flags & Qt::CustomizeWindowHint)) {
        style |= WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    } else {
        if (flags & Qt::WindowSystemMenuHint)
            style |= WS_SYSMENU;
        if (flags & Qt::WindowMinimizeButtonHint)
            style |= WS_MINIMIZEBOX;
        if (flags & Qt::WindowMaximizeButtonHint)
            style |= WS_MAXIMIZEBOX;
    }
    SetWindowLongW(hwnd, GWL_STYLE, (GetWindowLongW(hwnd, GWL_STYLE) & 0xFF30FFFF) | style);
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
    if (composition) {
        const MARGINS margins = {1, 1, 1, 1};
        DwmExtendFrameIntoClientArea(hwnd, &margins);
    }
#endif
}

bool NativeWindowHelperPrivate::isMaximized() const
{
#ifdef Q_OS_WIN
    const WId handle = window->winId();
    if (!handle)
        return false;
    WINDOWPLACEMENT placement;
    placement.length = sizeof(WINDOWPLACEMENT);
    if (!GetWindowPlacement(reinterpret_cast<HWND>(handle), &placement))
        return false;
    return placement.showCmd == SW_MAXIMIZE;
#else
    return window->windowStates() & Qt::WindowMaximized;
#endif
}

QRect NativeWindowHelperPrivate::workArea() const
{
#ifdef Q_OS_WIN
    const HMONITOR monitor = MonitorFromWindow(reinterpret_cast<HWND>(window->winId()),
                                               MONITOR_DEFAULTTONEAREST);
    if (monitor) {
        MONITORINFO info;
        info.cbSize = sizeof(MONITORINFO);
        if (GetMonitorInfoW(monitor, &info))
            return QRect(QPoint(info.rcWork.left, info.rcWork.top),
                         QPoint(info.rcWork.right - 1, info.rcWork.bottom - 1));
    }
#endif
    return window->screen() ? window->screen()->availableGeometry() : QRect();
}

QMargins NativeWindowHelperPrivate::scaledResizeBorder() const
{
    return tester ? scaledMargins(tester->resizeBorder(), scaleFactor) : QMargins();
}

QMargins NativeWindowHelperPrivate::scaledMaximizedInset() const
{
    return tester ? scaledMargins(tester->maximizedInset(), scaleFactor) : QMargins();
}

int NativeWindowHelperPrivate::hitTest(const QPoint& globalPos) const
{
#ifdef Q_OS_WIN
    const int frameX = GetSystemMetrics(SM_CXFRAME);
    const int frameY = GetSystemMetrics(SM_CYFRAME);
#else
    // No system frame to borrow from: a band as wide as a thin Windows frame.
    const int frameX = 4;
    const int frameY = 4;
#endif
    const QMargins borders = bordersOrSystemFrame(scaledResizeBorder(), frameX, frameY);
    CaptionTest caption;
    if (tester) {
        const NativeWindowTester* t = tester;
        caption = [t](const QPoint& pos) { return t->hitTestCaption(pos); };
    }
    return FramelessGeometry::hitTest(window->mapFromGlobal(globalPos), window->geometry().size(),
                                      borders, window->minimumSize(), window->maximumSize(), caption);
}

bool NativeWindowHelperPrivate::isCompositionEnabled()
{
#ifdef Q_OS_WIN
    if (QOperatingSystemVersion::current() >= QOperatingSystemVersion::Windows8)
        return true;
    BOOL enabled = FALSE;
    if (SUCCEEDED(DwmIsCompositionEnabled(&enabled)))
        return enabled;
    QSettings registry(QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\DWM"),
                       QSettings::NativeFormat);
    bool ok = false;
    const uint composition = registry.value(QStringLiteral("Composition"), 0).toUInt(&ok);
    return ok && composition != 0;
#else
    return false;
#endif
}

#ifndef Q_OS_WIN
void NativeWindowHelperPrivate::showResizeCursor(int hitCode)
{
    Qt::CursorShape shape = Qt::ArrowCursor;
    switch (hitCode) {
    case HitLeft:
    case HitRight:
        shape = Qt::SizeHorCursor;
        break;
    case HitTop:
    case HitBottom:
        shape = Qt::SizeVerCursor;
        break;
    case HitTopLeft:
    case HitBottomRight:
        shape = Qt::SizeFDiagCursor;
        break;
    case HitTopRight:
    case HitBottomLeft:
        shape = Qt::SizeBDiagCursor;
        break;
    default:
        // Off the band the widgets' own cursors apply again.
        if (resizeCursorShown) {
            window->unsetCursor();
            resizeCursorShown = false;
        }
        return;
    }
    window->setCursor(shape);
    resizeCursorShown = true;
}

bool NativeWindowHelperPrivate::mouseEvent(QEvent* event)
{
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        if (mouse->button() != Qt::LeftButton)
            return false;
        const int code = hitTest(mouse->globalPos());
        if (code == HitClient)
            return false;
        const bool caption = code == HitCaption;
        if (caption ? window->startSystemMove() : window->startSystemResize(edgesOf(code)))
            return true;
        if (window->windowStates() & (Qt::WindowMaximized | Qt::WindowFullScreen))
            return true;
        drag = caption ? Drag::Move : Drag::Resize;
        dragEdges = edgesOf(code);
        pressGlobal = mouse->globalPos();
        pressGeometry = window->geometry();
        return true;
    }
    case QEvent::MouseMove: {
        if (drag == Drag::None) {
            if (mouse->buttons() != Qt::NoButton)
                return false;
            // Moves over the band are the frame's, as on a framed window: the
            // widgets under it neither see them nor set their cursors.
            const int code = hitTest(mouse->globalPos());
            showResizeCursor(code);
            return resizeCursorShown;
        }
        const QPoint delta = mouse->globalPos() - pressGlobal;
        if (drag == Drag::Move) {
            window->setPosition(pressGeometry.topLeft() + delta);
        } else {
            window->setGeometry(resizedGeometry(pressGeometry, dragEdges, delta,
                                                window->minimumSize(), window->maximumSize()));
        }
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (drag == Drag::None || mouse->button() != Qt::LeftButton)
            return false;
        drag = Drag::None;
        return true;
    case QEvent::MouseButtonDblClick: {
        if (mouse->button() != Qt::LeftButton || hitTest(mouse->globalPos()) != HitCaption)
            return false;
        drag = Drag::None;
        // As on Windows, a window that cannot be sized both ways does not
        // maximise on a double click.
        if (resizableHorizontally(window->minimumSize(), window->maximumSize())
            && resizableVertically(window->minimumSize(), window->maximumSize())) {
            if (window->windowStates() & Qt::WindowMaximized)
                window->showNormal();
            else
                window->showMaximized();
        }
        return true;
    }
    default:
        return false;
    }
}
#endif

NativeWindowHelper::NativeWindowHelper(QWindow* window, NativeWindowTester* tester)
    : QObject(window)
    , d(new NativeWindowHelperPrivate)
{
    Q_CHECK_PTR(tester);
    init(window, tester);
}

NativeWindowHelper::NativeWindowHelper(QWindow* window)
    : QObject(window)
    , d(new NativeWindowHelperPrivate)
{
    init(window, nullptr);
}

void NativeWindowHelper::init(QWindow* window, NativeWindowTester* tester)
{
    Q_CHECK_PTR(window);
    d->owner = this;
    d->window = window;
    d->tester = tester;
    if (window->screen())
        d->scaleFactor = window->screen()->devicePixelRatio();
    if (window->flags() & Qt::FramelessWindowHint) {
        window->installEventFilter(this);
        d->updateWindowStyle();
    }
}

NativeWindowHelper::~NativeWindowHelper()
{
    delete d;
}

double NativeWindowHelper::scaleFactor() const
{
    return d->scaleFactor;
}

int NativeWindowHelper::hitTest(const QPoint& globalPos) const
{
    return d->hitTest(globalPos);
}

void NativeWindowHelper::detachTester()
{
    d->tester = nullptr;
    d->detached = true;
}

bool NativeWindowHelper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == d->window) {
        switch (event->type()) {
        case QEvent::WinIdChange:
        case QEvent::Show:
            d->updateWindowStyle();
            break;
#ifndef Q_OS_WIN
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (!d->detached && d->mouseEvent(event))
                return true;
            break;
#endif
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

#ifdef Q_OS_WIN
bool NativeWindowHelper::nativeEventFilter(MSG* msg, long* result)
{
    Q_CHECK_PTR(msg);
    if (d->detached)
        return false;
    const QPoint pos = QCursor::pos();
    switch (msg->message) {
    case WM_NCHITTEST:
        *result = d->hitTest(pos);
        return true;
    case WM_NCACTIVATE:
        if (NativeWindowHelperPrivate::isCompositionEnabled())
            return false;
        if (result)
            *result = 1;
        return true;
    case WM_NCCALCSIZE: {
        if (msg->wParam != TRUE)
            return false;
        if (d->isMaximized()) {
            auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(msg->lParam);
            const Bounds b = maximizedClientBounds(d->workArea(), d->scaledMaximizedInset());
            params->rgrc[0].left = b.left;
            params->rgrc[0].top = b.top;
            params->rgrc[0].right = b.right;
            params->rgrc[0].bottom = b.bottom;
        }
        *result = 0;
        return true;
    }
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(msg->lParam);
        const QRect area = d->workArea();
        const QMargins inset = d->scaledMaximizedInset();
        const QPoint position = maximizedPosition(inset);
        const QSize size = maximizedSize(area, inset);
        info->ptMaxPosition.x = position.x();
        info->ptMaxPosition.y = position.y();
        info->ptMaxSize.x = size.width();
        info->ptMaxSize.y = size.height();
        info->ptMinTrackSize.x = d->window->minimumSize().width();
        info->ptMinTrackSize.y = d->window->minimumSize().height();
        info->ptMaxTrackSize.x = d->window->maximumSize().width();
        info->ptMaxTrackSize.y = d->window->maximumSize().height();
        *result = 0;
        return true;
    }
    case WM_NCLBUTTONDBLCLK:
        if (resizableHorizontally(d->window->minimumSize(), d->window->maximumSize())
            && resizableVertically(d->window->minimumSize(), d->window->maximumSize()))
            return false;
        *result = 0;
        return true;
    case WM_DPICHANGED: {
        const double old = d->scaleFactor;
        d->scaleFactor = scaleFactorForDpi(HIWORD(msg->wParam));
        if (!qFuzzyCompare(d->scaleFactor, old))
            emit scaleFactorChanged(d->scaleFactor);
        const auto* r = reinterpret_cast<const RECT*>(msg->lParam);
        SetWindowPos(msg->hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return false;
    }
    default:
        return false;
    }
}
#endif
