#pragma once
// The arithmetic of the frameless window, free of any window system: which
// part of the window a point is on, scaled borders, the rectangles of a
// maximised window and the geometry of a drag on a border. The Windows layer
// answers its messages with these; the layer for other systems moves and
// resizes with them.

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
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

// pos is in window coordinates; size is the window's; borders already scaled
// and without sides of 0.
int hitTest(const QPoint& pos, const QSize& size, const QMargins& borders,
            const QSize& minimum, const QSize& maximum, const CaptionTest& caption);

Qt::Edges edgesOf(int hitCode);

// 1.0, or 2.0 from 144 dpi on.
double scaleFactorForDpi(int dpi);

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
