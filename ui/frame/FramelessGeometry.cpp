#include "FramelessGeometry.h"

#include <QtGlobal>

#include <algorithm>

namespace FramelessGeometry {

QMargins scaledMargins(const QMargins& margins, double factor)
{
    return QMargins(qRound(margins.left() * factor), qRound(margins.top() * factor),
                    qRound(margins.right() * factor), qRound(margins.bottom() * factor));
}

QMargins bordersOrSystemFrame(const QMargins& borders, int frameX, int frameY)
{
    return QMargins(borders.left() > 0 ? borders.left() : frameX,
                    borders.top() > 0 ? borders.top() : frameY,
                    borders.right() > 0 ? borders.right() : frameX,
                    borders.bottom() > 0 ? borders.bottom() : frameY);
}

bool resizableHorizontally(const QSize& minimum, const QSize& maximum)
{
    return minimum.width() < maximum.width();
}

bool resizableVertically(const QSize& minimum, const QSize& maximum)
{
    return minimum.height() < maximum.height();
}

bool maximizesOnDoubleClick(const QSize& minimum, const QSize& maximum)
{
    return resizableHorizontally(minimum, maximum) && resizableVertically(minimum, maximum);
}

int hitTest(const QPoint& pos, const QSize& size, const QMargins& borders,
            const QSize& minimum, const QSize& maximum, const CaptionTest& caption)
{
    const bool left = pos.x() <= borders.left();
    const bool right = pos.x() + borders.right() > size.width() - 1;
    const bool top = pos.y() <= borders.top();
    const bool bottom = pos.y() + borders.bottom() > size.height() - 1;
    const bool horizontal = resizableHorizontally(minimum, maximum);
    const bool vertical = resizableVertically(minimum, maximum);

    const int flags = (left ? 1 : 0) | (right ? 2 : 0) | (top ? 4 : 0) | (bottom ? 8 : 0);
    switch (flags) {
    case 1:
        if (horizontal)
            return HitLeft;
        break;
    case 2:
        if (horizontal)
            return HitRight;
        break;
    case 4:
        if (vertical)
            return HitTop;
        break;
    case 8:
        if (vertical)
            return HitBottom;
        break;
    case 1 | 4:
        if (horizontal && vertical)
            return HitTopLeft;
        break;
    case 2 | 4:
        if (horizontal && vertical)
            return HitTopRight;
        break;
    case 1 | 8:
        if (horizontal && vertical)
            return HitBottomLeft;
        break;
    case 2 | 8:
        if (horizontal && vertical)
            return HitBottomRight;
        break;
    default:
        // No edge, opposite edges together or three and four edges (a window
        // narrower than its two borders): the point is inside.
        return !caption || caption(pos) ? HitCaption : HitClient;
    }
    // A single edge of a direction the window cannot be sized in.
    return HitClient;
}

Qt::Edges edgesOf(int hitCode)
{
    switch (hitCode) {
    case HitLeft:
        return Qt::LeftEdge;
    case HitRight:
        return Qt::RightEdge;
    case HitTop:
        return Qt::TopEdge;
    case HitBottom:
        return Qt::BottomEdge;
    case HitTopLeft:
        return Qt::TopEdge | Qt::LeftEdge;
    case HitTopRight:
        return Qt::TopEdge | Qt::RightEdge;
    case HitBottomLeft:
        return Qt::BottomEdge | Qt::LeftEdge;
    case HitBottomRight:
        return Qt::BottomEdge | Qt::RightEdge;
    default:
        return Qt::Edges();
    }
}

double scaleFactorForDpi(int dpi)
{
    return dpi > 143 ? 2.0 : 1.0;
}

int dpiOfMessage(quintptr wParam)
{
    return int((wParam >> 16) & 0xFFFF);
}

Bounds maximizedClientBounds(const QRect& workArea, const QMargins& inset)
{
    return Bounds{workArea.left() - inset.left(), workArea.top() - inset.top(),
                  workArea.right() + inset.right() + 1, workArea.bottom() + inset.bottom() + 1};
}

QPoint maximizedPosition(const QMargins& inset)
{
    return QPoint(-inset.left(), -inset.top());
}

QSize maximizedSize(const QRect& workArea, const QMargins& inset)
{
    return QSize(workArea.right() - workArea.left() + 1 + inset.left() + inset.right(),
                 workArea.bottom() - workArea.top() + 1 + inset.top() + inset.bottom());
}

QRect workAreaOfBounds(const Bounds& rect)
{
    return QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1));
}

MinMaxInfo minMaxInfo(const QRect& workArea, const QMargins& inset, const QSize& minimum, const QSize& maximum)
{
    return MinMaxInfo{maximizedPosition(inset), maximizedSize(workArea, inset), minimum, maximum};
}

bool placementMaximized(bool placementRead, unsigned showCommand)
{
    return placementRead && showCommand == ShowMaximized;
}

quint32 frameStyle(Qt::WindowFlags flags, bool composition)
{
    quint32 style = StylePopup | StyleThickFrame;
    if (composition)
        style |= StyleCaption;
    if (!(flags & Qt::CustomizeWindowHint))
        return style | StyleSystemMenu | StyleMinimizeBox | StyleMaximizeBox;
    if (flags & Qt::WindowSystemMenuHint)
        style |= StyleSystemMenu;
    if (flags & Qt::WindowMinimizeButtonHint)
        style |= StyleMinimizeBox;
    if (flags & Qt::WindowMaximizeButtonHint)
        style |= StyleMaximizeBox;
    return style;
}

quint32 replacedStyle(quint32 current, quint32 style)
{
    return (current & 0xFF30FFFFu) | style;
}

bool compositionEnabled(bool windows8OrLater, const std::function<bool(bool* enabled)>& askDwm,
                        const std::function<QVariant()>& registryValue)
{
    if (windows8OrLater)
        return true;
    bool enabled = false;
    if (askDwm && askDwm(&enabled))
        return enabled;
    return registryValue && compositionFromRegistry(registryValue());
}

bool compositionFromRegistry(const QVariant& value)
{
    bool ok = false;
    const uint composition = value.toUInt(&ok);
    return ok && composition != 0;
}

QRect resizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta,
                      const QSize& minimum, const QSize& maximum)
{
    auto bounded = [](int value, int low, int high) { return std::max(low, std::min(value, high)); };
    QRect r = start;
    if (edges & Qt::LeftEdge) {
        const int width = bounded(start.width() - delta.x(), minimum.width(), maximum.width());
        r.setLeft(start.right() + 1 - width);
    } else if (edges & Qt::RightEdge) {
        r.setWidth(bounded(start.width() + delta.x(), minimum.width(), maximum.width()));
    }
    if (edges & Qt::TopEdge) {
        const int height = bounded(start.height() - delta.y(), minimum.height(), maximum.height());
        r.setTop(start.bottom() + 1 - height);
    } else if (edges & Qt::BottomEdge) {
        r.setHeight(bounded(start.height() + delta.y(), minimum.height(), maximum.height()));
    }
    return r;
}

QRect restoredUnderPointer(const QRect& maximized, const QSize& normalSize, const QPoint& pressGlobal)
{
    const int offset = pressGlobal.x() - maximized.x();
    const int scaled = maximized.width() > 0
                           ? qRound(double(offset) * normalSize.width() / maximized.width())
                           : offset;
    return QRect(QPoint(pressGlobal.x() - scaled, maximized.y()), normalSize);
}

} // namespace FramelessGeometry
