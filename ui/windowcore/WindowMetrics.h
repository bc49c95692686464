#pragma once
// Every size of the window that depends on the screen, from one number: the
// primary screen's available height. Style-sheet sizes, the axis font and the
// title bar are rounded up; window and panel widths are truncated.

#include <QPair>
#include <QSize>
#include <QString>
#include <QVector>

struct WindowMetrics
{
    double scale = 0;           // available height / 800
    QSize minimumSize;          // of the main window
    int treeWidth = 0;          // fixed width of the project tree's tab widget
    int panelWidth = 0;         // fixed width of the right-hand panel column
    int titleBarHeight = 0;
    int axisFontPixels = 0;
    // Style-sheet variables in the order they are defined, values as "%1px".
    QVector<QPair<QString, QString>> variables;
};

WindowMetrics windowMetricsFor(int availableHeight);
int titleBarHeightFor(double scale);
