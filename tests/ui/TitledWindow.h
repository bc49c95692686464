#pragma once
// The frameless window the frame tests share: a title strip with a label, a
// non-caption button and a non-caption group holding a plain child and a
// caption child, resize border and title height as the test asks.

#include "FramelessHelper.h"
#include "NativeWindowHelper.h"

#include <QLabel>
#include <QPushButton>
#include <QWindow>

#include <memory>

// A 400 x 300 frameless window with a 40-pixel title widget that holds a
// label, a non-caption button and a non-caption group with a plain child and
// a caption child.
struct TitledWindow
{
    std::unique_ptr<QWidget> window{new QWidget};
    QWidget* title = nullptr;
    QPushButton* button = nullptr;
    QWidget* group = nullptr;
    QWidget* groupChild = nullptr;
    QWidget* captionChild = nullptr;
    FramelessHelper* helper = nullptr;

    TitledWindow(const QMargins& border, int titleHeight, bool fixedWidth)
    {
        window->setWindowFlags(Qt::FramelessWindowHint);
        window->setGeometry(100, 100, 400, 300);
        if (fixedWidth)
            window->setFixedWidth(400);
        title = new QWidget(window.get());
        title->setGeometry(0, 0, 400, 40);
        new QLabel(QStringLiteral("title"), title);
        button = new QPushButton(title);
        button->setGeometry(300, 5, 40, 30);
        group = new QWidget(title);
        group->setGeometry(200, 5, 80, 30);
        groupChild = new QWidget(group);
        groupChild->setGeometry(5, 5, 20, 20);
        captionChild = new QWidget(group);
        captionChild->setGeometry(50, 5, 20, 20);

        helper = new FramelessHelper(window.get());
        helper->setResizeBorderMargins(border);
        helper->setTitleBarHeight(titleHeight);
        helper->addNonCaptionWidget(button);
        helper->addNonCaptionWidget(group);
        helper->addCaptionWidget(captionChild);
        window->show();
    }

    QWindow* handle() const { return window->windowHandle(); }
    NativeWindowHelper* native() const { return handle()->findChild<NativeWindowHelper*>(); }
};

