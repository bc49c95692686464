#pragma once
// The native layer of the frameless window: one helper per QWindow, a child
// of that window. On Windows it answers the window's messages (hit test,
// frame size, tracking limits, double clicks, DPI changes); elsewhere it
// filters the window's mouse events and moves or resizes the window itself,
// asking the window system first and doing it by geometry where that refuses,
// and sizes a maximised window where no window manager does.

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QVariant>

class QWindow;

#ifdef Q_OS_WIN
struct tagMSG;
typedef tagMSG MSG;
#endif

// What the native layer asks the widget layer.
class NativeWindowTester
{
public:
    virtual QMargins resizeBorder() const = 0;
    virtual QMargins maximizedInset() const = 0;
    virtual bool hitTestCaption(const QPoint& pos) const = 0;
    virtual ~NativeWindowTester() = default;
};

class NativeWindowHelperPrivate;

class NativeWindowHelper : public QObject
{
    Q_OBJECT
public:
    NativeWindowHelper(QWindow* window, NativeWindowTester* tester);
    explicit NativeWindowHelper(QWindow* window);
    ~NativeWindowHelper() override;

#ifdef Q_OS_WIN
    bool nativeEventFilter(MSG* msg, long* result);

    // The "Composition" value under the registry key (0 when missing): the
    // last word on composition before Windows 8.
    static QVariant registryComposition(
        const QString& key = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\DWM"));
#endif
    double scaleFactor() const;

    // Hit-test code (FramelessGeometry::HitCode) of a point in global logical
    // coordinates.
    int hitTest(const QPoint& globalPos) const;

    // The tester is about to go: from now on the helper leaves the window's
    // messages and events to the system.
    void detachTester();

signals:
    void scaleFactorChanged(double factor);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void init(QWindow* window, NativeWindowTester* tester);

    NativeWindowHelperPrivate* d;
    friend class NativeWindowHelperPrivate;
};
