#include "FramelessHelper.h"

#include "NativeWindowHelper.h"

#include <QEvent>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <QWindow>

class FramelessHelperPrivate : public NativeWindowTester
{
public:
    QMargins resizeBorder() const override { return border; }
    QMargins maximizedInset() const override { return inset; }
    bool hitTestCaption(const QPoint& pos) const override;

    QWidget* window = nullptr;
    // The native helper belongs to the native window, which the widget tears
    // down after its children (this object among them); the guard tells
    // whether it is still there to be detached.
    QPointer<NativeWindowHelper> helper;
    QMargins border;
    QMargins inset;
    int titleBarHeight = 0;
    QSet<QWidget*> captionWidgets;
    QSet<QWidget*> nonCaptionWidgets;
    bool maximized = false;
};

bool FramelessHelperPrivate::hitTestCaption(const QPoint& pos) const
{
    const double factor = helper ? helper->scaleFactor() : 1.0;
    const int strip = int(titleBarHeight * factor);
    if (strip == 0 || !window)
        return false;
    if (strip > 0 && pos.y() >= strip)
        return false;

    constexpr int kMaxDepth = 32;
    QWidget* chain[kMaxDepth];
    int depth = 0;
    chain[depth++] = window;
    QPoint local = pos;
    while (depth < kMaxDepth) {
        QWidget* parent = chain[depth - 1];
        QWidget* child = parent->childAt(local);
        if (!child)
            break;
        // childAt answers the deepest widget at the point, so the chain is
        // usually the window and that widget.
        local = child->mapFrom(parent, local);
        chain[depth++] = child;
    }
    if (depth == 1)
        return true;
    for (int i = depth - 1; i >= 1; --i) {
        QWidget* w = chain[i];
        if (captionWidgets.contains(w))
            return true;
        if (nonCaptionWidgets.contains(w) || nonCaptionWidgets.contains(w->parentWidget()))
            return false;
    }
    return true;
}

FramelessHelper::FramelessHelper(QWidget* parent)
    : QObject(parent)
    , d(new FramelessHelperPrivate)
{
    Q_CHECK_PTR(parent);
    d->window = parent;
    parent->installEventFilter(this);
}

FramelessHelper::~FramelessHelper()
{
    // The native window outlives this object when the widget goes; without
    // this it would go on asking the private part, which is deleted below.
    if (d->helper)
        d->helper->detachTester();
    delete d;
}

void FramelessHelper::setResizeBorder(int left, int top, int right, int bottom)
{
    d->border = QMargins(left, top, right, bottom);
}

void FramelessHelper::setResizeBorderMargins(const QMargins& margins)
{
    d->border = margins;
}

QMargins FramelessHelper::resizeBorder() const
{
    return d->border;
}

void FramelessHelper::setMaximizedInset(int left, int top, int right, int bottom)
{
    d->inset = QMargins(left, top, right, bottom);
}

void FramelessHelper::setMaximizedInsetMargins(const QMargins& margins)
{
    d->inset = margins;
}

QMargins FramelessHelper::maximizedInset() const
{
    return d->inset;
}

int FramelessHelper::titleBarHeight() const
{
    return d->titleBarHeight;
}

void FramelessHelper::setTitleBarHeight(int value)
{
    if (value == d->titleBarHeight)
        return;
    d->titleBarHeight = value;
    emit titleBarHeightChanged(value);
}

void FramelessHelper::addCaptionWidget(QWidget* widget)
{
    d->captionWidgets.insert(widget);
}

bool FramelessHelper::removeCaptionWidget(QWidget* widget)
{
    return d->captionWidgets.remove(widget);
}

void FramelessHelper::addNonCaptionWidget(QWidget* widget)
{
    d->nonCaptionWidgets.insert(widget);
}

bool FramelessHelper::removeNonCaptionWidget(QWidget* widget)
{
    return d->nonCaptionWidgets.remove(widget);
}

double FramelessHelper::scaleFactor() const
{
    return d->helper ? d->helper->scaleFactor() : 1.0;
}

bool FramelessHelper::isMaximized() const
{
    return d->maximized;
}

void FramelessHelper::triggerMinimizeButtonAction()
{
    if (d->window)
        d->window->showMinimized();
}

void FramelessHelper::triggerMaximizeButtonAction()
{
    if (!d->window)
        return;
    if (d->window->windowState() & Qt::WindowMaximized)
        d->window->showNormal();
    else
        d->window->showMaximized();
}

void FramelessHelper::triggerCloseButtonAction()
{
    if (d->window)
        d->window->close();
}

bool FramelessHelper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == d->window) {
        if (event->type() == QEvent::WindowStateChange) {
            const bool maximized = d->window->windowState() & Qt::WindowMaximized;
            if (maximized != d->maximized) {
                d->maximized = maximized;
                emit maximizedChanged(maximized);
            }
        } else if (event->type() == QEvent::WinIdChange && !d->helper && d->window->windowHandle()) {
            d->helper = new NativeWindowHelper(d->window->windowHandle(), d);
            connect(d->helper.data(), &NativeWindowHelper::scaleFactorChanged, this,
                    &FramelessHelper::scaleFactorChanged);
            if (!qFuzzyCompare(d->helper->scaleFactor(), 1.0))
                emit scaleFactorChanged(d->helper->scaleFactor());
        }
    }
    return QObject::eventFilter(watched, event);
}
