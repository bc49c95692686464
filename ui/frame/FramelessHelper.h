#pragma once
// Gives a frameless top-level widget the behaviour of a framed window: resize
// at the border band, drag and double-click maximise by its own title bar
// (except on the widgets marked as non-caption), and the actions of the
// minimise, maximise and close buttons it draws. Owned by the widget.

#include <QMargins>
#include <QObject>

class QWidget;
class FramelessHelperPrivate;

class FramelessHelper : public QObject
{
    Q_OBJECT
public:
    explicit FramelessHelper(QWidget* parent);
    ~FramelessHelper() override;

    void setResizeBorder(int left, int top, int right, int bottom);
    void setResizeBorderMargins(const QMargins& margins);
    QMargins resizeBorder() const;

    void setMaximizedInset(int left, int top, int right, int bottom);
    void setMaximizedInsetMargins(const QMargins& margins);
    QMargins maximizedInset() const;

    int titleBarHeight() const;

    void addCaptionWidget(QWidget* widget);
    bool removeCaptionWidget(QWidget* widget);
    void addNonCaptionWidget(QWidget* widget);
    bool removeNonCaptionWidget(QWidget* widget);

    double scaleFactor() const;
    bool isMaximized() const;

signals:
    void titleBarHeightChanged(int newValue);
    void scaleFactorChanged(double factor);
    void maximizedChanged(bool maximized);

public slots:
    void setTitleBarHeight(int value);
    void triggerMinimizeButtonAction();
    void triggerMaximizeButtonAction();
    void triggerCloseButtonAction();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FramelessHelperPrivate* d;
};
