#include "NativeWindowHelper.h"

#include "FramelessGeometry.h"
#include "NativeWindowFilter.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QOperatingSystemVersion>
#include <QScreen>
#include <QSettings>
#include <QStyleHints>
#include <QWidget>
#include <QWindow>

#ifdef VODEZ_WITH_XCB
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#endif

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <dwmapi.h>
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The portable rules speak the system's values.
static_assert(FramelessGeometry::HitClient == HTCLIENT && FramelessGeometry::HitCaption == HTCAPTION
                  && FramelessGeometry::HitLeft == HTLEFT && FramelessGeometry::HitRight == HTRIGHT
                  && FramelessGeometry::HitTop == HTTOP && FramelessGeometry::HitTopLeft == HTTOPLEFT
                  && FramelessGeometry::HitTopRight == HTTOPRIGHT && FramelessGeometry::HitBottom == HTBOTTOM
                  && FramelessGeometry::HitBottomLeft == HTBOTTOMLEFT
                  && FramelessGeometry::HitBottomRight == HTBOTTOMRIGHT,
              "hit-test codes");
static_assert(FramelessGeometry::StylePopup == WS_POPUP && FramelessGeometry::StyleCaption == WS_CAPTION
                  && FramelessGeometry::StyleSystemMenu == WS_SYSMENU
                  && FramelessGeometry::StyleThickFrame == WS_THICKFRAME
                  && FramelessGeometry::StyleMinimizeBox == WS_MINIMIZEBOX
                  && FramelessGeometry::StyleMaximizeBox == WS_MAXIMIZEBOX
                  && FramelessGeometry::ShowMaximized == SW_MAXIMIZE,
              "window styles");
#endif

using namespace FramelessGeometry;

#ifndef Q_OS_WIN
namespace {

#ifdef VODEZ_WITH_XCB
xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(qstrlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// The window a (root or check) window names in _NET_SUPPORTING_WM_CHECK.
xcb_window_t checkWindow(xcb_connection_t* c, xcb_window_t window, xcb_atom_t check)
{
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, check, XCB_ATOM_WINDOW, 0, 1), nullptr);
    xcb_window_t named = XCB_WINDOW_NONE;
    if (reply && reply->type == XCB_ATOM_WINDOW && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        named = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
    std::free(reply);
    return named;
}

// Whether a window manager runs that carries out a maximised state (it
// names itself on the root window, as the window-manager hints ask, and
// lists the maximised state among what it supports). Asked on its own
// connection, which the platform's is not reachable from here.
bool x11WindowManagerMaximizes()
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return true;   // nothing to tell by: the window system's own way stays
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    bool maximizes = false;
    const xcb_atom_t check = internAtom(c, "_NET_SUPPORTING_WM_CHECK");
    const xcb_atom_t supported = internAtom(c, "_NET_SUPPORTED");
    const xcb_atom_t maximizedVert = internAtom(c, "_NET_WM_STATE_MAXIMIZED_VERT");
    if (screen && check && supported && maximizedVert) {
        const xcb_window_t wm = checkWindow(c, screen->root, check);
        // A window manager that went leaves its names behind on the root
        // window; the check window that still names itself shows it runs.
        if (wm != XCB_WINDOW_NONE && checkWindow(c, wm, check) == wm) {
            xcb_get_property_reply_t* reply = xcb_get_property_reply(
                c, xcb_get_property(c, 0, screen->root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr);
            if (reply && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
                const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
                const int count = xcb_get_property_value_length(reply) / 4;
                maximizes = std::find(atoms, atoms + count, maximizedVert) != atoms + count;
            }
            std::free(reply);
        }
    }
    xcb_disconnect(c);
    return maximizes;
}
#endif

// Whether the window system sizes a window to its maximised state and back.
// Under X that is the window manager's work: without one the state is only
// recorded, and the helper does the sizing itself.
bool windowSystemMaximizes()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return true;
#ifdef VODEZ_WITH_XCB
    return x11WindowManagerMaximizes();
#else
    return true;
#endif
}

} // namespace
#endif

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
    // The widget whose native window this is, if any: its state changes go
    // through it, so that the widget (and the frameless helper watching it)
    // learns of them at once, as from the maximise button.
    QWidget* widget() const;
    bool maximized() const;
    void showMaximizedOrNormal(bool maximize);
    void toggleMaximized();
    void windowStateChanged(Qt::WindowState state);
    // Starts moving by geometry; a maximised window is restored first and
    // placed with its title under the pointer.
    void beginGeometryMove();
#endif

    NativeWindowHelper* owner = nullptr;
    QWindow* window = nullptr;
    NativeWindowTester* tester = nullptr;
    WId lastHandle = 0;
    double scaleFactor = 1.0;
    // Set once the tester has gone; nothing is asked of it any more.
    bool detached = false;

#ifndef Q_OS_WIN
    // A press on the caption waits for the pointer to travel before it
    // becomes a move: a window manager's move takes the pointer, and a
    // double click would never be seen. A drag that the window system
    // refused to run is done here by geometry.
    enum class Drag { None, Pending, Move, Resize };
    Drag drag = Drag::None;
    Qt::Edges dragEdges;
    QPoint pressGlobal;
    QRect pressGeometry;
    // The band shows its resize cursor as a system frame would.
    bool resizeCursorShown = false;
    void showResizeCursor(int hitCode);
    // Maximised by geometry here, where no window manager does it, with the
    // geometry to go back to.
    bool maximizedHere = false;
    bool lastMaximized = false;
    QRect normalGeometry;
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
    const quint32 style = frameStyle(window->flags(), composition);
    SetWindowLongW(hwnd, GWL_STYLE, LONG(replacedStyle(quint32(GetWindowLongW(hwnd, GWL_STYLE)), style)));
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
    const bool read = GetWindowPlacement(reinterpret_cast<HWND>(handle), &placement);
    return placementMaximized(read, placement.showCmd);
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
            return workAreaOfBounds(Bounds{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom});
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
    const auto askDwm = [](bool* enabled) {
        BOOL flag = FALSE;
        if (FAILED(DwmIsCompositionEnabled(&flag)))
            return false;
        *enabled = flag != FALSE;
        return true;
    };
    return compositionEnabled(QOperatingSystemVersion::current() >= QOperatingSystemVersion::Windows8, askDwm,
                              [] { return NativeWindowHelper::registryComposition(); });
#else
    return false;
#endif
}

#ifdef Q_OS_WIN
QVariant NativeWindowHelper::registryComposition(const QString& key)
{
    return QSettings(key, QSettings::NativeFormat).value(QStringLiteral("Composition"), 0);
}
#endif

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
        pressGlobal = mouse->globalPos();
        pressGeometry = window->geometry();
        if (code == HitCaption) {
            drag = Drag::Pending;
            return true;
        }
        drag = Drag::None;
        if (window->startSystemResize(edgesOf(code)))
            return true;
        if (window->windowStates() & (Qt::WindowMaximized | Qt::WindowFullScreen))
            return true;
        drag = Drag::Resize;
        dragEdges = edgesOf(code);
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
        if (drag == Drag::Pending) {
            if (!(mouse->buttons() & Qt::LeftButton)) {
                drag = Drag::None;
                return false;
            }
            if ((mouse->globalPos() - pressGlobal).manhattanLength()
                < QGuiApplication::styleHints()->startDragDistance())
                return true;
            drag = Drag::None;
            if (window->startSystemMove())
                return true;
            if (window->windowStates() & Qt::WindowFullScreen)
                return true;
            beginGeometryMove();
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
        if (maximizesOnDoubleClick(window->minimumSize(), window->maximumSize()))
            toggleMaximized();
        return true;
    }
    default:
        return false;
    }
}

QWidget* NativeWindowHelperPrivate::widget() const
{
    const QWidgetList tops = QApplication::topLevelWidgets();
    for (QWidget* top : tops) {
        if (top->windowHandle() == window)
            return top;
    }
    return nullptr;
}

bool NativeWindowHelperPrivate::maximized() const
{
    const QWidget* w = widget();
    return (w ? w->windowState() : window->windowStates()) & Qt::WindowMaximized;
}

void NativeWindowHelperPrivate::showMaximizedOrNormal(bool maximize)
{
    if (QWidget* w = widget())
        maximize ? w->showMaximized() : w->showNormal();
    else
        maximize ? window->showMaximized() : window->showNormal();
}

void NativeWindowHelperPrivate::toggleMaximized()
{
    showMaximizedOrNormal(!maximized());
}

void NativeWindowHelperPrivate::windowStateChanged(Qt::WindowState state)
{
    const bool nowMaximized = state == Qt::WindowMaximized;
    if (nowMaximized == lastMaximized)
        return;
    lastMaximized = nowMaximized;
    if (nowMaximized) {
        if (windowSystemMaximizes())
            return;
        // Nothing sized the window: it still has its normal geometry.
        normalGeometry = window->geometry();
        maximizedHere = true;
        const QMargins inset = tester ? tester->maximizedInset() : QMargins();
        window->setGeometry(workArea().marginsAdded(inset));
    } else if (maximizedHere) {
        maximizedHere = false;
        window->setGeometry(normalGeometry);
    }
}

void NativeWindowHelperPrivate::beginGeometryMove()
{
    if (window->windowStates() & Qt::WindowMaximized) {
        // A maximised window follows a drag of its title as a restored one,
        // as on Windows; this also clears a maximised state that the window
        // system recorded without showing it.
        const QRect before = window->geometry();
        const QWidget* w = widget();
        const QSize widgetNormal = w ? w->normalGeometry().size() : QSize();
        showMaximizedOrNormal(false);
        // A state set on the native window alone, which the widget never
        // heard of, is cleared there.
        if (window->windowStates() & Qt::WindowMaximized)
            window->showNormal();
        QSize size = window->geometry().size();
        // A window manager that gives the normal size back only later: the
        // widget still knows it.
        if (window->geometry() == before && before == workArea() && widgetNormal.isValid())
            size = widgetNormal;
        const QRect restored = restoredUnderPointer(before, size, pressGlobal);
        window->setGeometry(restored);
        pressGeometry = restored;
    }
    drag = Drag::Move;
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
#ifndef Q_OS_WIN
        d->lastMaximized = window->windowStates() & Qt::WindowMaximized;
        connect(window, &QWindow::windowStateChanged, this,
                [this](Qt::WindowState state) { d->windowStateChanged(state); });
#endif
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
    // Input messages, the double click among them, reach the filter from
    // the event loop, which has no place for an answer: only the window
    // procedure's call gives one.
    const auto answer = [result](long value) {
        if (result)
            *result = value;
    };
    switch (msg->message) {
    case WM_NCHITTEST:
        answer(d->hitTest(pos));
        return true;
    case WM_NCACTIVATE:
        if (NativeWindowHelperPrivate::isCompositionEnabled())
            return false;
        answer(1);
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
        answer(0);
        return true;
    }
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(msg->lParam);
        const MinMaxInfo limits = minMaxInfo(d->workArea(), d->scaledMaximizedInset(), d->window->minimumSize(),
                                             d->window->maximumSize());
        info->ptMaxPosition.x = limits.maxPosition.x();
        info->ptMaxPosition.y = limits.maxPosition.y();
        info->ptMaxSize.x = limits.maxSize.width();
        info->ptMaxSize.y = limits.maxSize.height();
        info->ptMinTrackSize.x = limits.minTrackSize.width();
        info->ptMinTrackSize.y = limits.minTrackSize.height();
        info->ptMaxTrackSize.x = limits.maxTrackSize.width();
        info->ptMaxTrackSize.y = limits.maxTrackSize.height();
        answer(0);
        return true;
    }
    case WM_NCLBUTTONDBLCLK:
        if (maximizesOnDoubleClick(d->window->minimumSize(), d->window->maximumSize()))
            return false;
        answer(0);
        return true;
    case WM_DPICHANGED: {
        const double old = d->scaleFactor;
        d->scaleFactor = scaleFactorForDpi(dpiOfMessage(msg->wParam));
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
