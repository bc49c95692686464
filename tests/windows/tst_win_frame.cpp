// The frameless window through real window handles: the codes the system
// gets for its hit test, the style word, the client area and size limits
// the helper answers with, a double click on the caption, a drag of the
// title and of a border through the system's own input and loops, a DPI
// change, and the registry's composition value.

#include "FramelessGeometry.h"
#include "TitledWindow.h"
#include "UnderWine.h"
#include "WindowsInput.h"

#include <QOperatingSystemVersion>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <qt_windows.h>

#include <memory>

namespace {

const QMargins kBorder(3, 3, 3, 3);

QRect rectOf(const RECT& r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

QRect windowRect(HWND hwnd)
{
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return rectOf(r);
}

QRect workAreaOf(HWND hwnd)
{
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &info);
    return rectOf(info.rcWork);
}

// A test key of the registry, gone after each test.
const wchar_t* const kTestKeyPath = L"Software\\VODEZ-tests";
const QString kTestKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\VODEZ-tests\\DWM");

} // namespace

class TstWinFrame : public QObject
{
    Q_OBJECT

private slots:
    // From Windows 8 on the helper restyles the window; the crews' systems
    // are that recent, and so must the test system say it is (a Wine prefix:
    // "winecfg -v win10").
    void initTestCase()
    {
        QVERIFY2(QOperatingSystemVersion::current() >= QOperatingSystemVersion::Windows8,
                 qPrintable(QOperatingSystemVersion::current().name()));
    }
    void cleanup() { RegDeleteTreeW(HKEY_CURRENT_USER, kTestKeyPath); }

    // The Windows values, not the helper's names for them; a window for
    // each border and sizing, asked at each of its points.
    void hitCodes()
    {
        const int frame = GetSystemMetrics(SM_CXFRAME);
        const struct
        {
            const char* name;
            QMargins border;
            bool fixedWidth;
            QPoint pos;
            int expected;
        } cases[] = {
            {"left border", kBorder, false, {3, 150}, HTLEFT},
            {"right border", kBorder, false, {397, 150}, HTRIGHT},
            {"top over the title", kBorder, false, {100, 2}, HTTOP},
            {"bottom-right corner", kBorder, false, {398, 298}, HTBOTTOMRIGHT},
            {"top-left corner", kBorder, false, {1, 1}, HTTOPLEFT},
            {"title", kBorder, false, {100, 20}, HTCAPTION},
            {"non-caption button", kBorder, false, {310, 20}, HTCLIENT},
            {"child of a non-caption group", kBorder, false, {210, 15}, HTCLIENT},
            {"caption child of the group", kBorder, false, {255, 15}, HTCAPTION},
            {"below the title", kBorder, false, {100, 100}, HTCLIENT},
            {"corner of a window of fixed width", kBorder, true, {1, 1}, HTCLIENT},
            {"side of a window of fixed width", kBorder, true, {1, 150}, HTCLIENT},
            {"top of a window of fixed width", kBorder, true, {100, 1}, HTTOP},
            // A side of 0 takes the system's frame width.
            {"frame width of a side of 0", QMargins(0, 3, 3, 3), false, {frame, 150}, HTLEFT},
            {"just inside the frame width", QMargins(0, 3, 3, 3), false, {frame + 1, 150}, HTCLIENT},
        };
        std::unique_ptr<TitledWindow> w;
        for (const auto& c : cases) {
            if (!w || w->helper->resizeBorder() != c.border || (w->window->minimumWidth() == 400) != c.fixedWidth) {
                w.reset(new TitledWindow(c.border, 40, c.fixedWidth));
                QVERIFY(QTest::qWaitForWindowExposed(w->window.get()));
            }
            const int code = systemHitCode(w->handle(), c.pos);
            QVERIFY2(code == c.expected, qPrintable(QStringLiteral("%1: %2, not %3").arg(c.name).arg(code).arg(c.expected)));
        }
    }

    // A sizable popup with a caption (the desktop composes windows from
    // Windows 8 on) and the boxes its flags ask for; the other bits stay.
    void styleWord_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<quint32>("expected");
        const int frameless = int(Qt::Window | Qt::FramelessWindowHint);
        QTest::newRow("all boxes") << frameless
                                   << quint32(WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX
                                              | WS_MAXIMIZEBOX);
        // Qt adds the system menu to a window with any of the buttons.
        QTest::newRow("minimise box only")
            << (frameless | int(Qt::CustomizeWindowHint | Qt::WindowMinimizeButtonHint))
            << quint32(WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX);
        QTest::newRow("no boxes") << (frameless | int(Qt::CustomizeWindowHint))
                                  << quint32(WS_POPUP | WS_CAPTION | WS_THICKFRAME);
    }
    void styleWord()
    {
        QFETCH(int, flags);
        QFETCH(quint32, expected);
        QWidget window;
        window.setWindowFlags(Qt::WindowFlags(flags));
        window.setGeometry(100, 100, 300, 200);
        new FramelessHelper(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const quint32 style = quint32(GetWindowLongW(hwndOf(window.windowHandle()), GWL_STYLE));
        const quint32 replaced = WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
        QCOMPARE(style & replaced, expected);
        QVERIFY(style & WS_VISIBLE);
    }

    // The client area covers the whole window, and a maximised one the work
    // area grown by the inset; the system's own calculation is left alone.
    void clientArea()
    {
        TitledWindow w(kBorder, 40, false);
        w.helper->setMaximizedInset(8, 8, 8, 8);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const HWND hwnd = hwndOf(w.handle());
        RECT client = {};
        GetClientRect(hwnd, &client);
        QCOMPARE(QSize(client.right, client.bottom), windowRect(hwnd).size());

        NCCALCSIZE_PARAMS params = {};
        params.rgrc[0] = RECT{100, 100, 500, 400};
        QCOMPARE(SendMessageW(hwnd, WM_NCCALCSIZE, TRUE, LPARAM(&params)), LRESULT(0));
        QCOMPARE(rectOf(params.rgrc[0]), QRect(100, 100, 400, 300));

        RECT rect = {100, 100, 500, 400};
        SendMessageW(hwnd, WM_NCCALCSIZE, FALSE, LPARAM(&rect));
        QVERIFY2(rect.top > 100, "the system's frame and caption come off");

        ShowWindow(hwnd, SW_MAXIMIZE);
        QVERIFY(IsZoomed(hwnd));
        params.rgrc[0] = RECT{0, 0, 10, 10};
        SendMessageW(hwnd, WM_NCCALCSIZE, TRUE, LPARAM(&params));
        QCOMPARE(rectOf(params.rgrc[0]), workAreaOf(hwnd).marginsAdded(QMargins(8, 8, 8, 8)));
        ShowWindow(hwnd, SW_RESTORE);
        QVERIFY(!IsZoomed(hwnd));
    }

    void sizeLimits()
    {
        TitledWindow w(kBorder, 40, false);
        w.window->setMinimumSize(200, 150);
        w.window->setMaximumSize(600, 450);
        w.helper->setMaximizedInset(8, 8, 8, 8);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const HWND hwnd = hwndOf(w.handle());
        MINMAXINFO info = {};
        QCOMPARE(SendMessageW(hwnd, WM_GETMINMAXINFO, 0, LPARAM(&info)), LRESULT(0));
        const QRect area = workAreaOf(hwnd);
        QCOMPARE(QPoint(info.ptMaxPosition.x, info.ptMaxPosition.y), QPoint(-8, -8));
        QCOMPARE(QSize(info.ptMaxSize.x, info.ptMaxSize.y), area.size() + QSize(16, 16));
        QCOMPARE(QSize(info.ptMinTrackSize.x, info.ptMinTrackSize.y), QSize(200, 150));
        QCOMPARE(QSize(info.ptMaxTrackSize.x, info.ptMaxTrackSize.y), QSize(600, 450));

        // The system holds the window within them.
        SetWindowPos(hwnd, nullptr, 0, 0, 700, 100, SWP_NOMOVE | SWP_NOZORDER);
        QCOMPARE(windowRect(hwnd).size(), QSize(600, 150));
    }

    // A double click of the caption, as from a hand: the system maximises,
    // the window fills the work area, and the next restores it; the helper
    // reports both.
    void captionDoubleClick()
    {
        TitledWindow w(kBorder, 40, false);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const HWND hwnd = hwndOf(w.handle());
        const QRect normal = windowRect(hwnd);
        QSignalSpy maximized(w.helper, &FramelessHelper::maximizedChanged);

        doubleClickWithSystemInput(w.handle()->mapToGlobal(QPoint(100, 20)));
        QTRY_VERIFY(IsZoomed(hwnd));
        QCOMPARE(windowRect(hwnd), workAreaOf(hwnd));
        QTRY_COMPARE(maximized.count(), 1);
        QVERIFY(maximized.at(0).at(0).toBool());
        QVERIFY(w.window->isMaximized());

        doubleClickWithSystemInput(w.handle()->mapToGlobal(QPoint(100, 20)));
        QTRY_VERIFY(!IsZoomed(hwnd));
        QCOMPARE(windowRect(hwnd), normal);
        QTRY_COMPARE(maximized.count(), 2);
        QVERIFY(!w.helper->isMaximized());
    }

    // The double click comes through the event loop, as input does, where
    // the filter has no place for an answer.
    void fixedWindowIgnoresTheDoubleClick()
    {
        TitledWindow w(kBorder, 40, true);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const HWND hwnd = hwndOf(w.handle());
        const QPoint title = w.handle()->mapToGlobal(QPoint(100, 20));
        QVERIFY(PostMessageW(hwnd, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(title.x(), title.y())));
        // A message after it, to know the double click was taken.
        QVERIFY(PostMessageW(hwnd, WM_NULL, 0, 0));
        MSG pending = {};
        QTRY_VERIFY(!PeekMessageW(&pending, hwnd, 0, 0, PM_NOREMOVE));
        QVERIFY(!IsZoomed(hwnd));
        QVERIFY(!w.window->isMaximized());
    }

    // Mouse input as from a hand: the title drags the window, the right
    // border sizes it, within its limits.
    void dragTitleAndBorder()
    {
        TitledWindow w(kBorder, 40, false);
        w.window->setMinimumSize(350, 200);
        w.window->setMaximumSize(600, 450);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const HWND hwnd = hwndOf(w.handle());
        const QRect start = windowRect(hwnd);

        const QPoint title = w.handle()->mapToGlobal(QPoint(100, 20));
        dragWithSystemInput(title, title + QPoint(60, 30));
        QTRY_COMPARE(windowRect(hwnd), start.translated(60, 30));
        QTRY_COMPARE(w.handle()->position(), start.topLeft() + QPoint(60, 30));

        const QRect moved = windowRect(hwnd);
        // The hit test asks the window's geometry as Qt knows it: each drag
        // waits until Qt knows the last.
        const auto dragRightBorder = [&w, hwnd](int by) {
            const QRect now = windowRect(hwnd);
            QTRY_COMPARE(w.handle()->geometry(), now);
            const QPoint border(now.right() - 1, now.top() + 150);
            dragWithSystemInput(border, border + QPoint(by, 0));
        };
        dragRightBorder(50);
        QTRY_COMPARE(windowRect(hwnd), QRect(moved.topLeft(), QSize(450, 300)));
        // Wine's size loop stops a pixel short of the largest width; the
        // system itself, moving the window there, does not (sizeLimits).
        dragRightBorder(300);
        QTRY_COMPARE(windowRect(hwnd).width(), underWine() ? 599 : 600);
        dragRightBorder(-300);
        QTRY_COMPARE(windowRect(hwnd).width(), 350);
        QTRY_COMPARE(w.window->size(), QSize(350, 300));
    }

    // A change of DPI scales the band and the title strip with the factor
    // it brings, and the window takes the rectangle the system suggests.
    void dpiChange()
    {
        TitledWindow w(kBorder, 40, false);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const HWND hwnd = hwndOf(w.handle());
        QSignalSpy scaled(w.helper, &FramelessHelper::scaleFactorChanged);
        RECT suggested = {120, 110, 920, 710};

        SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(144, 144), LPARAM(&suggested));
        QCOMPARE(scaled.count(), 1);
        QCOMPARE(scaled.at(0).at(0).toDouble(), 2.0);
        QCOMPARE(w.helper->scaleFactor(), 2.0);
        QCOMPARE(windowRect(hwnd), rectOf(suggested));
        QTRY_COMPARE(w.handle()->geometry().size(), QSize(800, 600));
        QCOMPARE(systemHitCode(w.handle(), QPoint(5, 300)), int(HTLEFT));
        QCOMPARE(systemHitCode(w.handle(), QPoint(100, 60)), int(HTCAPTION));

        SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(144, 144), LPARAM(&suggested));
        QCOMPARE(scaled.count(), 1);
        SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(120, 120), LPARAM(&suggested));
        QCOMPARE(scaled.count(), 2);
        QCOMPARE(scaled.at(1).at(0).toDouble(), 1.0);
        QCOMPARE(systemHitCode(w.handle(), QPoint(5, 300)), int(HTCLIENT));
    }

    // Once the widget's helper is gone the window's messages are the
    // system's again: the title is plain client area.
    void nativeHelperOutlivesWidgetHelper()
    {
        TitledWindow w(kBorder, 40, false);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QCOMPARE(systemHitCode(w.handle(), QPoint(100, 20)), int(HTCAPTION));
        delete w.helper;
        QCOMPARE(systemHitCode(w.handle(), QPoint(100, 20)), int(HTCLIENT));
    }

    // The value as the registry holds it: a number, text, or nothing.
    void registryComposition_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("dword 1") << int(REG_DWORD) << QStringLiteral("1") << true;
        QTest::newRow("dword 0") << int(REG_DWORD) << QStringLiteral("0") << false;
        QTest::newRow("text 1") << int(REG_SZ) << QStringLiteral("1") << true;
        QTest::newRow("text not a number") << int(REG_SZ) << QStringLiteral("on") << false;
        QTest::newRow("no value") << int(REG_NONE) << QString() << false;
    }
    void registryComposition()
    {
        QFETCH(int, type);
        QFETCH(QString, text);
        QFETCH(bool, expected);
        HKEY key = nullptr;
        QCOMPARE(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VODEZ-tests\\DWM", 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, &key, nullptr),
                 LONG(ERROR_SUCCESS));
        LONG written = ERROR_SUCCESS;
        if (type == REG_DWORD) {
            const DWORD value = text.toUInt();
            written = RegSetValueExW(key, L"Composition", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                     sizeof(value));
        } else if (type == REG_SZ) {
            const std::wstring value = text.toStdWString();
            written = RegSetValueExW(key, L"Composition", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                     DWORD((value.size() + 1) * sizeof(wchar_t)));
        }
        RegCloseKey(key);
        QCOMPARE(written, LONG(ERROR_SUCCESS));
        QCOMPARE(FramelessGeometry::compositionFromRegistry(NativeWindowHelper::registryComposition(kTestKey)),
                 expected);
        // The system's own key reads as well, whether it holds the value or not.
        QVERIFY(NativeWindowHelper::registryComposition().isValid());
    }
};

QTEST_MAIN(TstWinFrame)
#include "tst_win_frame.moc"
