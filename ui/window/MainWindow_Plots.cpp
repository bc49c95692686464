// The window's plot feeding: line sections, the current and turn-off
// waveforms, the acquisition plot's axis title and the selection slots; and
// the second arrangement of the sampling page.

#include "MainWindow.h"

#include "Graph_Lines.h"
#include "PlotFeeding.h"
#include "ui_MainWindow.h"

#include <QBoxLayout>
#include <QSpacerItem>

#include <qwt_plot.h>

namespace {

const QString kDecayAxisTitle = QStringLiteral("衰减时间 / us");

} // namespace

void MainWindow::onGraph_Line(QString name, QVector<double> xList, QVector<double> yList,
                              QVector<QVector<double> > datas, int curPos)
{
    if (curPos == -1) {
        graphLine->hide();
        graphSample->clearLines();
        graphSample->onSetAxisScale(false, true);
        graphSample->newGraph_Lines(datas, xList, yList, -1.0);
        graphSample->setGraphTitle(name, true);
        graphSample->setAxisTitle(QwtPlot::xBottom, tr("点位"));
        return;
    }
    graphLine->show();
    graphLine->newGraph_Lines(datas, xList, yList, double(curPos));
}

void MainWindow::onNewGraphDataAxisTitle()
{
    graphSample->setAxisTitle(QwtPlot::xBottom, kDecayAxisTitle);
}

void MainWindow::onGraph_Send(double fs_Send, QVector<double> data)
{
    WaveCurve curve;
    if (!SendWaveCurve(fs_Send, data, &curve))
        return;
    graphSend->clearLines();
    graphSend->newLine(QStringLiteral("send"), curve.x, curve.y, 1.0);
}

void MainWindow::onGraph_Off(double fs_SampleOff, QVector<double> data)
{
    WaveCurve curve;
    if (!OffWaveCurve(fs_SampleOff, data, &curve))
        return;
    if (isDeveloper)
        curve.y = fitTurnOffRamp(curve.x, curve.y);
    graphOff->clearLines();
    graphOff->newLine(QStringLiteral("关断时间"), curve.x, curve.y, 1.0);
}

void MainWindow::onSelectPoint(int lineMode)
{
    graphLine->setVisible(lineMode == 1);
    if (graphSecond)
        graphSecond->setVisible(lineMode == 1);
}

void MainWindow::onSelectLine(int)
{
    // Only the grid's second plot would change, and the window never
    // creates it.
    if (graphSecond)
        graphSecond->hide();
}

void MainWindow::onGraph_Error(QVector<double> x, QVector<double> y, bool show)
{
    if (!graphSecond)
        return;
    graphSecond->setVisible(show);
    graphSecond->clearLines();
    graphSecond->newLine(QStringLiteral("Second"), x, y, 1.0);
}

void MainWindow::setSampleLayoutVertical()
{
    // Title bar: the spacer right after the logo, the page tabs below it.
    for (int i = 0; i < ui->layout_AppBar->count(); ++i) {
        if (QSpacerItem* spacer = ui->layout_AppBar->itemAt(i)->spacerItem()) {
            ui->layout_AppBar->takeAt(i);
            ui->layout_AppBar->insertItem(1, spacer);
            break;
        }
    }
    ui->verticalLayout_6->insertWidget(1, ui->tabBar);

    // Plots on top, tree and panels side by side below them.
    delete ui->page_Sample->layout();
    auto* sample = new QVBoxLayout(ui->page_Sample);
    sample->addWidget(ui->widget_Data, 1);
    auto* lower = new QHBoxLayout();
    lower->setContentsMargins(15, 0, 15, 20);
    lower->addWidget(ui->widget_Tree, 4);
    lower->addWidget(ui->widget_Project, 5);
    sample->addLayout(lower, 1);

    ui->Layout_Right->setContentsMargins(20, 50, 20, 70);
    // Taken out, the column has no parent layout; adding it as a layout
    // gives it Layout_Right as its new one.
    if (QLayoutItem* left = ui->layout_Project->takeAt(0)) {
        if (QLayout* column = left->layout())
            ui->Layout_Right->addLayout(column);
        else
            ui->Layout_Right->addItem(left);
    }
}
