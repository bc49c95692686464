#pragma once
// The arithmetic of the frameless window, free of any window system: which
// part of the window a point is on, scaled borders, the rectangles of a
// maximised window, the geometry of a drag on a border, the window's style
// word and whether the desktop composes windows. The Windows layer answers
// its messages with these and only carries their values to and from the
// system; the layer for other systems moves and resizes with them.

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QVariant>
#include <Qt>

#include <functional>

namespace FramelessGeometry {

// The values of the Windows hit-test codes, so both layers speak the same.
enum HitCode {
    HitClient = 1,
    HitCaption = 2,
    HitLeft = 10,
    HitRight = 11,
    HitTop = 12,
    HitTopLeft = 13,
    HitTopRight = 14,
    HitBottom = 15,
    HitBottomLeft = 16,
    HitBottomRight = 17,
};

// Null: no tester, every point off the resize band is caption.
using CaptionTest = std::function<bool(const QPoint& windowPos)>;

// Each side rounded to the nearest pixel, halves away from zero.
QMargins scaledMargins(const QMargins& margins, double factor);

// A side of 0 or less takes the system's frame width instead.
QMargins bordersOrSystemFrame(const QMargins& borders, int frameX, int frameY);

bool resizableHorizontally(const QSize& minimum, const QSize& maximum);
bool resizableVertically(const QSize& minimum, const QSize& maximum);

// A double click on the caption maximises and restores only a window that
// can be sized both ways, as on a framed Windows window.
bool maximizesOnDoubleClick(const QSize& minimum, const QSize& maximum);

// pos is in window coordinates; size is the window's; borders already scaled
// and without sides of 0.
int hitTest(const QPoint& pos, const QSize& size, const QMargins& borders,
            const QSize& minimum, const QSize& maximum, const CaptionTest& caption);

Qt::Edges edgesOf(int hitCode);

// 1.0, or 2.0 from 144 dpi on.
double scaleFactorForDpi(int dpi);

// The new DPI that a DPI change message carries: the high word of its wParam.
int dpiOfMessage(quintptr wParam);

// workArea has inclusive right and bottom (QRect's own convention). The
// result has exclusive right and bottom, as a Windows RECT.
struct Bounds
{
    int left;
    int top;
    int right;
    int bottom;
};
Bounds maximizedClientBounds(const QRect& workArea, const QMargins& inset);
QPoint maximizedPosition(const QMargins& inset);
QSize maximizedSize(const QRect& workArea, const QMargins& inset);

// A monitor's work area from the system's rectangle (exclusive right and
// bottom) to QRect's inclusive convention.
QRect workAreaOfBounds(const Bounds& rect);

// The answer to the system's question for a window's size limits: where and
// how large it is when maximised, and the limits of sizing it.
struct MinMaxInfo
{
    QPoint maxPosition;
    QSize maxSize;
    QSize minTrackSize;
    QSize maxTrackSize;
};
MinMaxInfo minMaxInfo(const QRect& workArea, const QMargins& inset, const QSize& minimum, const QSize& maximum);

// The placement's show command of a maximised window (SW_MAXIMIZE).
constexpr unsigned ShowMaximized = 3;
// Whether a window placement says maximised; a placement that could not be
// read says not.
bool placementMaximized(bool placementRead, unsigned showCommand);

// The bits of the Windows style word that the frameless window sets, with
// their Windows values.
enum StyleBit : quint32 {
    StylePopup = 0x80000000u,
    StyleCaption = 0x00C00000u,
    StyleSystemMenu = 0x00080000u,
    StyleThickFrame = 0x00040000u,
    StyleMinimizeBox = 0x00020000u,
    StyleMaximizeBox = 0x00010000u,
};

// The style of a frameless window with these flags: a sizable popup, with a
// caption where the desktop composes windows, and the system menu and boxes
// its flags ask for (all of them unless it customises its hints).
quint32 frameStyle(Qt::WindowFlags flags, bool composition);

// The style word current with its caption, system-menu, frame and box bits
// replaced by those of style; all other bits are kept.
quint32 replacedStyle(quint32 current, quint32 style);

// Whether the desktop composes windows: always from Windows 8 on; before,
// the desktop window manager's answer, and where it gives none the registry's
// "Composition" value, asked only then. askDwm returns false when the call
// fails and stores the flag otherwise; registryValue reads the value, with 0
// for a missing one.
bool compositionEnabled(bool windows8OrLater, const std::function<bool(bool* enabled)>& askDwm,
                        const std::function<QVariant()>& registryValue);

// A "Composition" value of the registry: on when it reads as an unsigned
// number other than 0.
bool compositionFromRegistry(const QVariant& value);

// The geometry after dragging the given edges by delta from start, held
// within minimum and maximum; the opposite edges stay where they were.
QRect resizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta,
                      const QSize& minimum, const QSize& maximum);

// Where a maximised window (at maximized) lands at normalSize when a drag
// of its title bar restores it: the point pressed at pressGlobal keeps its
// height over the top and its share of the width, so the title stays under
// the pointer.
QRect restoredUnderPointer(const QRect& maximized, const QSize& normalSize, const QPoint& pressGlobal);

} // namespace FramelessGeometry
