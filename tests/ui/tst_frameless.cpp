// The frameless window: where a point of the window lands (resize band,
// caption, client), the arithmetic of the native layer, and dragging,
// resizing and maximising through the helper's own event handling.
#include "FramelessGeometry.h"
#include "FramelessHelper.h"
#include "NativeWindowHelper.h"
#include "TitledWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QWindow>
#include <QtTest>

#include <memory>

using namespace FramelessGeometry;

Q_DECLARE_METATYPE(QMargins)

class TestFrameless : public QObject
{
    Q_OBJECT

private slots:
    void hitTestOfWindow_data()
    {
        QTest::addColumn<QMargins>("border");
        QTest::addColumn<int>("titleHeight");
        QTest::addColumn<bool>("fixedWidth");
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<int>("expected");

        const QMargins b(3, 3, 3, 3);
        QTest::newRow("left border") << b << 40 << false << QPoint(3, 150) << int(HitLeft);
        QTest::newRow("right border") << b << 40 << false << QPoint(397, 150) << int(HitRight);
        QTest::newRow("just inside the right border") << b << 40 << false << QPoint(396, 150) << int(HitClient);
        QTest::newRow("top border over the title") << b << 40 << false << QPoint(100, 2) << int(HitTop);
        QTest::newRow("bottom border") << b << 40 << false << QPoint(150, 298) << int(HitBottom);
        QTest::newRow("top-left corner") << b << 40 << false << QPoint(1, 1) << int(HitTopLeft);
        QTest::newRow("top-right corner") << b << 40 << false << QPoint(398, 1) << int(HitTopRight);
        QTest::newRow("bottom-left corner") << b << 40 << false << QPoint(1, 298) << int(HitBottomLeft);
        QTest::newRow("bottom-right corner") << b << 40 << false << QPoint(398, 298) << int(HitBottomRight);
        QTest::newRow("corner of a window of fixed width") << b << 40 << true << QPoint(1, 1) << int(HitClient);
        QTest::newRow("side of a window of fixed width") << b << 40 << true << QPoint(1, 150) << int(HitClient);
        QTest::newRow("top of a window of fixed width") << b << 40 << true << QPoint(100, 1) << int(HitTop);
        QTest::newRow("border of 0 takes the frame width") << QMargins(0, 3, 3, 3) << 40 << false
                                                           << QPoint(4, 150) << int(HitLeft);
        QTest::newRow("title widget") << b << 40 << false << QPoint(100, 20) << int(HitCaption);
        QTest::newRow("non-caption button") << b << 40 << false << QPoint(310, 20) << int(HitClient);
        QTest::newRow("child of a non-caption widget") << b << 40 << false << QPoint(210, 15) << int(HitClient);
        QTest::newRow("caption widget inside a non-caption one") << b << 40 << false << QPoint(255, 15)
                                                                 << int(HitCaption);
        QTest::newRow("strip below the title widget") << b << 60 << false << QPoint(100, 50) << int(HitCaption);
        QTest::newRow("below the strip") << b << 40 << false << QPoint(100, 100) << int(HitClient);
        QTest::newRow("title height 0") << b << 0 << false << QPoint(100, 20) << int(HitClient);
    }

    void hitTestOfWindow()
    {
        QFETCH(QMargins, border);
        QFETCH(int, titleHeight);
        QFETCH(bool, fixedWidth);
        QFETCH(QPoint, pos);
        QFETCH(int, expected);

        TitledWindow w(border, titleHeight, fixedWidth);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QVERIFY(w.native());
        QCOMPARE(w.native()->hitTest(w.handle()->mapToGlobal(pos)), expected);
    }

    void hitTestRules_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("minimum");
        QTest::addColumn<QSize>("maximum");
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<bool>("hasTester");
        QTest::addColumn<int>("expected");

        const QSize free(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        QTest::newRow("window narrower than both borders")
            << QSize(5, 100) << QSize(0, 0) << free << QPoint(2, 50) << true << int(HitClient);
        QTest::newRow("three edges at once without tester")
            << QSize(5, 100) << QSize(0, 0) << free << QPoint(2, 1) << false << int(HitCaption);
        QTest::newRow("inside without tester") << QSize(100, 100) << QSize(0, 0) << free << QPoint(50, 50)
                                               << false << int(HitCaption);
        QTest::newRow("corner of a window fixed in height")
            << QSize(100, 100) << QSize(0, 100) << QSize(QWIDGETSIZE_MAX, 100) << QPoint(99, 99) << true
            << int(HitClient);
        QTest::newRow("side of a window fixed in height")
            << QSize(100, 100) << QSize(0, 100) << QSize(QWIDGETSIZE_MAX, 100) << QPoint(99, 50) << true
            << int(HitRight);
    }

    void hitTestRules()
    {
        QFETCH(QSize, size);
        QFETCH(QSize, minimum);
        QFETCH(QSize, maximum);
        QFETCH(QPoint, pos);
        QFETCH(bool, hasTester);
        QFETCH(int, expected);
        const CaptionTest noCaption = [](const QPoint&) { return false; };
        QCOMPARE(hitTest(pos, size, QMargins(3, 3, 3, 3), minimum, maximum, hasTester ? noCaption : CaptionTest()),
                 expected);
    }

    void nativeArithmetic()
    {
        QCOMPARE(scaledMargins(QMargins(3, 1, 2, 0), 1.5), QMargins(5, 2, 3, 0));
        QCOMPARE(bordersOrSystemFrame(QMargins(0, -1, 2, 3), 32, 33), QMargins(32, 33, 2, 3));
        QCOMPARE(scaleFactorForDpi(144), 2.0);
        QCOMPARE(scaleFactorForDpi(143), 1.0);
        QCOMPARE(scaleFactorForDpi(120), 1.0);

        // Work area 0..1919 x 0..1039 (inclusive), inset 8 on each side.
        const QRect area(QPoint(0, 0), QPoint(1919, 1039));
        const QMargins inset(8, 8, 8, 8);
        const Bounds client = maximizedClientBounds(area, inset);
        QCOMPARE(client.left, -8);
        QCOMPARE(client.top, -8);
        QCOMPARE(client.right, 1928);
        QCOMPARE(client.bottom, 1048);
        QCOMPARE(maximizedPosition(inset), QPoint(-8, -8));
        QCOMPARE(maximizedSize(area, inset), QSize(1936, 1056));
    }

    // The work area the system reports (exclusive right and bottom) and the
    // answer to its question for the size limits; the placement's state.
    void limitsFromTheSystemsRectangles()
    {
        const QRect area = workAreaOfBounds(Bounds{0, 0, 1920, 1040});
        QCOMPARE(area, QRect(0, 0, 1920, 1040));
        QCOMPARE(workAreaOfBounds(Bounds{-1280, 24, 0, 800}), QRect(-1280, 24, 1280, 776));
        const MinMaxInfo limits = minMaxInfo(area, QMargins(8, 8, 8, 8), QSize(1024, 640),
                                             QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        QCOMPARE(limits.maxPosition, QPoint(-8, -8));
        QCOMPARE(limits.maxSize, QSize(1936, 1056));
        QCOMPARE(limits.minTrackSize, QSize(1024, 640));
        QCOMPARE(limits.maxTrackSize, QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));

        QVERIFY(placementMaximized(true, 3));            // SW_MAXIMIZE
        QVERIFY(!placementMaximized(true, 1));           // SW_SHOWNORMAL
        QVERIFY(!placementMaximized(true, 2));           // SW_SHOWMINIMIZED
        QVERIFY(!placementMaximized(false, 3));          // the call failed

        // WM_DPICHANGED carries the DPI in both words of wParam.
        QCOMPARE(dpiOfMessage(quintptr(0x00900090)), 144);
        QCOMPARE(dpiOfMessage(quintptr(0x00780078)), 120);
        QCOMPARE(scaleFactorForDpi(dpiOfMessage(quintptr(0x00900090))), 2.0);
    }

    // The style word: the values are the Windows ones (WS_POPUP 0x80000000,
    // WS_THICKFRAME 0x40000, WS_CAPTION 0xC00000, WS_SYSMENU 0x80000,
    // WS_MINIMIZEBOX 0x20000, WS_MAXIMIZEBOX 0x10000).
    void frameStyle_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("composition");
        QTest::addColumn<quint32>("expected");
        const int frameless = int(Qt::Window | Qt::FramelessWindowHint);
        const int customized = frameless | int(Qt::CustomizeWindowHint);
        QTest::newRow("composed") << frameless << true << quint32(0x80CF0000u);
        QTest::newRow("not composed") << frameless << false << quint32(0x800F0000u);
        QTest::newRow("customised, no buttons") << customized << true << quint32(0x80C40000u);
        QTest::newRow("customised, system menu") << (customized | int(Qt::WindowSystemMenuHint)) << true
                                                 << quint32(0x80CC0000u);
        QTest::newRow("customised, minimise") << (customized | int(Qt::WindowMinimizeButtonHint)) << false
                                              << quint32(0x80060000u);
        QTest::newRow("customised, maximise") << (customized | int(Qt::WindowMaximizeButtonHint)) << true
                                              << quint32(0x80C50000u);
    }
    void frameStyle()
    {
        QFETCH(int, flags);
        QFETCH(bool, composition);
        QFETCH(quint32, expected);
        QCOMPARE(FramelessGeometry::frameStyle(Qt::WindowFlags(flags), composition), expected);
    }

    void styleWordKeepsTheOtherBits()
    {
        // A framed, visible, clipping window (WS_OVERLAPPEDWINDOW | WS_VISIBLE
        // | WS_CLIPCHILDREN | WS_CLIPSIBLINGS): its caption, menu, frame and
        // boxes go, the rest stays.
        QCOMPARE(replacedStyle(0x16CF0000u, 0x80C40000u), 0x96C40000u);
        QCOMPARE(replacedStyle(0xFFFFFFFFu, 0u), 0xFF30FFFFu);
        QCOMPARE(replacedStyle(0u, 0x80CF0000u), 0x80CF0000u);
    }

    // Composition: Windows 8 on, the desktop window manager's answer, and
    // the registry value only where the manager gave none, as the registry
    // hands it over (REG_DWORD as a number, REG_SZ as text, 0 when missing).
    void compositionRule_data()
    {
        QTest::addColumn<bool>("windows8");
        QTest::addColumn<int>("dwm");   // -1: the call fails, else its flag
        QTest::addColumn<QVariant>("registry");
        QTest::addColumn<bool>("expected");
        QTest::addColumn<bool>("registryAsked");
        QTest::newRow("windows 8") << true << 0 << QVariant(0) << true << false;
        QTest::newRow("manager says on") << false << 1 << QVariant(0) << true << false;
        QTest::newRow("manager says off") << false << 0 << QVariant(1) << false << false;
        QTest::newRow("no manager, dword 1") << false << -1 << QVariant(1) << true << true;
        QTest::newRow("no manager, dword 0") << false << -1 << QVariant(0) << false << true;
        QTest::newRow("no manager, text 1") << false << -1 << QVariant(QStringLiteral("1")) << true << true;
        QTest::newRow("no manager, text not a number") << false << -1 << QVariant(QStringLiteral("on")) << false
                                                       << true;
        QTest::newRow("no manager, nothing read") << false << -1 << QVariant() << false << true;
    }
    void compositionRule()
    {
        QFETCH(bool, windows8);
        QFETCH(int, dwm);
        QFETCH(QVariant, registry);
        QFETCH(bool, expected);
        QFETCH(bool, registryAsked);
        bool asked = false;
        const auto askDwm = [dwm](bool* enabled) {
            if (dwm < 0)
                return false;
            *enabled = dwm != 0;
            return true;
        };
        const auto read = [&] {
            asked = true;
            return registry;
        };
        QCOMPARE(compositionEnabled(windows8, askDwm, read), expected);
        QCOMPARE(asked, registryAsked);
    }

    void resizedGeometry_data()
    {
        QTest::addColumn<int>("edges");
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<QRect>("expected");

        // Start 100,100 400x300; limits 200x150 .. 600x450.
        QTest::newRow("right edge grows") << int(Qt::RightEdge) << QPoint(50, 9) << QRect(100, 100, 450, 300);
        QTest::newRow("right edge held at the maximum") << int(Qt::RightEdge) << QPoint(500, 0)
                                                        << QRect(100, 100, 600, 300);
        QTest::newRow("left edge held at the minimum, right edge stays")
            << int(Qt::LeftEdge) << QPoint(1000, 0) << QRect(300, 100, 200, 300);
        QTest::newRow("top-left corner") << int(Qt::TopEdge | Qt::LeftEdge) << QPoint(-20, -30)
                                         << QRect(80, 70, 420, 330);
        QTest::newRow("bottom edge held at the maximum") << int(Qt::BottomEdge) << QPoint(0, 900)
                                                         << QRect(100, 100, 400, 450);
    }

    void resizedGeometry()
    {
        QFETCH(int, edges);
        QFETCH(QPoint, delta);
        QFETCH(QRect, expected);
        QCOMPARE(FramelessGeometry::resizedGeometry(QRect(100, 100, 400, 300), Qt::Edges(edges), delta,
                                                    QSize(200, 150), QSize(600, 450)),
                 expected);
    }

    void titleBarHeightSignal()
    {
        QWidget window;
        FramelessHelper helper(&window);
        QSignalSpy changed(&helper, &FramelessHelper::titleBarHeightChanged);
        helper.setTitleBarHeight(0);
        helper.setTitleBarHeight(62);
        helper.setTitleBarHeight(62);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 62);
        QCOMPARE(helper.titleBarHeight(), 62);
        QCOMPARE(helper.scaleFactor(), 1.0);
        QVERIFY(helper.removeNonCaptionWidget(&window) == false);
    }

#ifndef Q_OS_WIN
    // The layer for other systems moves, sizes and maximises the window
    // itself. On Windows the system does, from the hit codes and the size
    // limits the helper answers with: tests/windows has those tests.
    void dragTitleMovesWindow()
    {
        TitledWindow w(QMargins(3, 3, 3, 3), 40, false);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const QPoint start = w.handle()->position();
        QTest::mousePress(w.handle(), Qt::LeftButton, {}, QPoint(100, 20));
        QTest::mouseMove(w.handle(), QPoint(150, 50));
        // The window went with the cursor, which is over the same point of it.
        QTest::mouseRelease(w.handle(), Qt::LeftButton, {}, QPoint(100, 20));
        QCOMPARE(w.handle()->position(), start + QPoint(50, 30));
        QTRY_COMPARE(w.window->pos(), start + QPoint(50, 30));

        // A press on a non-caption button is the button's.
        QSignalSpy clicked(w.button, &QPushButton::clicked);
        QTest::mouseClick(w.handle(), Qt::LeftButton, {}, QPoint(310, 20));
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(w.handle()->position(), start + QPoint(50, 30));
    }

    void dragBorderResizesWithinLimits()
    {
        TitledWindow w(QMargins(3, 3, 3, 3), 40, false);
        w.window->setMinimumSize(200, 150);
        w.window->setMaximumSize(600, 450);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const QRect start = w.handle()->geometry();

        QTest::mousePress(w.handle(), Qt::LeftButton, {}, QPoint(398, 150));
        QTest::mouseMove(w.handle(), QPoint(398 + 500, 150));
        QTest::mouseRelease(w.handle(), Qt::LeftButton, {}, QPoint(398 + 500, 150));
        QCOMPARE(w.handle()->geometry(), QRect(start.topLeft(), QSize(600, 300)));

        QTest::mousePress(w.handle(), Qt::LeftButton, {}, QPoint(150, 1));
        QTest::mouseMove(w.handle(), QPoint(150, 1 + 400));
        QTest::mouseRelease(w.handle(), Qt::LeftButton, {}, QPoint(150, 1 + 400));
        QCOMPARE(w.handle()->geometry(), QRect(start.x(), start.bottom() + 1 - 150, 600, 150));
        QTRY_COMPARE(w.window->size(), QSize(600, 150));
    }

    void resizeBandShowsItsCursor()
    {
        TitledWindow w(QMargins(3, 3, 3, 3), 40, false);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const struct
        {
            QPoint pos;
            Qt::CursorShape shape;
        } steps[] = {
            {QPoint(398, 150), Qt::SizeHorCursor}, {QPoint(150, 298), Qt::SizeVerCursor},
            {QPoint(1, 1), Qt::SizeFDiagCursor},   {QPoint(398, 1), Qt::SizeBDiagCursor},
            {QPoint(150, 150), Qt::ArrowCursor},
        };
        for (const auto& step : steps) {
            QTest::mouseMove(w.handle(), step.pos);
            QCOMPARE(w.handle()->cursor().shape(), step.shape);
        }
    }

    void doubleClickTogglesMaximized()
    {
        TitledWindow w(QMargins(3, 3, 3, 3), 40, false);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QSignalSpy maximized(w.helper, &FramelessHelper::maximizedChanged);

        QTest::mouseDClick(w.handle(), Qt::LeftButton, {}, QPoint(100, 20));
        QTRY_COMPARE(maximized.count(), 1);
        QCOMPARE(maximized.at(0).at(0).toBool(), true);
        QVERIFY(w.helper->isMaximized());
        QVERIFY(w.window->isMaximized());

        QTest::mouseDClick(w.handle(), Qt::LeftButton, {}, QPoint(100, 20));
        QTRY_COMPARE(maximized.count(), 2);
        QCOMPARE(maximized.at(1).at(0).toBool(), false);

        // The maximise button's action does the same.
        w.helper->triggerMaximizeButtonAction();
        QTRY_COMPARE(maximized.count(), 3);
        w.helper->triggerMaximizeButtonAction();
        QTRY_COMPARE(maximized.count(), 4);
        QVERIFY(!w.window->isMaximized());
    }

    // Maximising fills the screen's work area and restoring brings back the
    // geometry from before, whether a window manager does the sizing or
    // nobody does (X without one); the title bar drags the window after
    // either. A maximised window follows a drag as a restored one, with the
    // pressed point of its title kept under the pointer, and so does one
    // whose maximised state was recorded but never shown.
    void doubleClickThenDrag()
    {
        TitledWindow w(QMargins(3, 3, 3, 3), 40, false);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const QRect normal = w.handle()->geometry();
        const QRect area = w.handle()->screen()->availableGeometry();
        QVERIFY(area.width() > normal.width());
        // Presses the title at (100, 20), moves the pointer by delta and lets
        // go where the pointer then is.
        const auto dragTitle = [&w](const QPoint& delta) {
            const QPoint pressed(100, 20);
            const QPoint pointer = w.handle()->mapToGlobal(pressed) + delta;
            QTest::mousePress(w.handle(), Qt::LeftButton, {}, pressed);
            QTest::mouseMove(w.handle(), pressed + delta);
            QTest::mouseRelease(w.handle(), Qt::LeftButton, {}, w.handle()->mapFromGlobal(pointer));
        };

        // A click, or a press that barely travels, leaves the window where it
        // is: only a drag starts a move.
        dragTitle(QPoint(1, 1));
        QCOMPARE(w.handle()->geometry(), normal);

        QTest::mouseDClick(w.handle(), Qt::LeftButton, {}, QPoint(100, 20));
        QTRY_COMPARE(w.handle()->geometry(), area);
        QVERIFY(w.helper->isMaximized());
        QTest::mouseDClick(w.handle(), Qt::LeftButton, {}, QPoint(100, 20));
        QTRY_COMPARE(w.handle()->geometry(), normal);
        QVERIFY(!w.helper->isMaximized());

        dragTitle(QPoint(50, 30));
        QTRY_COMPARE(w.handle()->geometry(), normal.translated(50, 30));

        // Dragging the maximised window: pressed 100 pixels from the left of
        // the work area, moved by (50, 30).
        QTest::mouseDClick(w.handle(), Qt::LeftButton, {}, QPoint(100, 20));
        QTRY_COMPARE(w.handle()->geometry(), area);
        dragTitle(QPoint(50, 30));
        QTRY_VERIFY(!w.helper->isMaximized());
        const QRect dragged = w.handle()->geometry();
        QCOMPARE(dragged.size(), normal.size());
        QCOMPARE(dragged.y(), area.y() + 30);
        const double share = 100.0 / area.width();
        QVERIFY2(qAbs(double(area.x() + 150 - dragged.x()) / dragged.width() - share) < 0.01,
                 qPrintable(QStringLiteral("window at %1").arg(dragged.x())));

        // A maximised state that the window does not show: the drag moves
        // the window as it is seen. (The offscreen platform keeps a
        // maximised window at its size, so only X gets here.)
        QTest::mouseDClick(w.handle(), Qt::LeftButton, {}, QPoint(100, 20));
        QTRY_COMPARE(w.handle()->geometry(), area);
        w.handle()->setGeometry(normal);
        if (w.handle()->geometry() == normal) {
            QVERIFY(w.handle()->windowStates() & Qt::WindowMaximized);
            dragTitle(QPoint(50, 30));
            QTRY_COMPARE(w.handle()->geometry(), normal.translated(50, 30));
            QVERIFY(!(w.handle()->windowStates() & Qt::WindowMaximized));
            QTRY_VERIFY(!w.helper->isMaximized());
        }
    }

    void doubleClickLeavesFixedWindow()
    {
        TitledWindow w(QMargins(3, 3, 3, 3), 40, true);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QTest::mouseDClick(w.handle(), Qt::LeftButton, {}, QPoint(100, 20));
        QVERIFY(!(w.handle()->windowStates() & Qt::WindowMaximized));
    }

    // The native helper belongs to the native window, which outlives the
    // widget's children; it must not ask a helper that is gone.
    void nativeHelperOutlivesWidgetHelper()
    {
        TitledWindow w(QMargins(3, 3, 3, 3), 40, false);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const QPoint start = w.handle()->position();
        delete w.helper;
        QVERIFY(w.native());
        QTest::mousePress(w.handle(), Qt::LeftButton, {}, QPoint(100, 20));
        QTest::mouseMove(w.handle(), QPoint(150, 50));
        QTest::mouseRelease(w.handle(), Qt::LeftButton, {}, QPoint(150, 50));
        QTest::mouseDClick(w.handle(), Qt::LeftButton, {}, QPoint(100, 20));
        QCOMPARE(w.handle()->position(), start);
        QVERIFY(!(w.handle()->windowStates() & Qt::WindowMaximized));
    }
#endif
};

QTEST_MAIN(TestFrameless)
#include "tst_frameless.moc"
