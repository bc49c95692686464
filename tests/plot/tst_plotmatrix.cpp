// The plot grid: shared scale divisions along rows and columns, axes shown
// only on the outer plots, hidden rows, and plots put in or replaced, also
// while scale changes of a replaced plot are still queued.
#include "Graph_Lines.h"
#include "PlotMatrix.h"

#include <QLayout>
#include <QPointer>
#include <QtTest>

#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>

namespace {

// The grid's scale changes arrive as queued calls; run them and the ones
// they cause. Each round delivers what was posted before it; the exchange
// between the plots of a line ends within a few rounds.
void runQueuedScaleChanges()
{
    for (int round = 0; round < 8; ++round)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

bool labelsShown(const QwtPlot* plot, int axisId)
{
    return plot->axisScaleDraw(axisId)->hasComponent(QwtAbstractScaleDraw::Labels);
}

QPair<double, double> range(const QwtPlot* plot, int axisId)
{
    const QwtScaleDiv& div = plot->axisScaleDiv(axisId);
    return {div.lowerBound(), div.upperBound()};
}

} // namespace

class TestPlotMatrix : public QObject
{
    Q_OBJECT
private slots:
    void construction()
    {
        PlotMatrix grid(2, 3, nullptr);
        QCOMPARE(grid.numRows(), 2);
        QCOMPARE(grid.numColumns(), 3);
        QVERIFY(grid.plotAt(1, 2));
        QVERIFY(grid.plotAt(0, 0) != grid.plotAt(0, 1));
        QCOMPARE(grid.plotAt(0, 0)->parent(), &grid);
        for (QPair<int, int> cell : {qMakePair(2, 0), qMakePair(-1, 0), qMakePair(1, 3)})
            QVERIFY(!grid.plotAt(cell.first, cell.second));
        QVERIFY(grid.isAxisVisible(QwtPlot::yLeft) && grid.isAxisVisible(QwtPlot::xBottom));
        QVERIFY(!grid.isAxisVisible(QwtPlot::yRight) && !grid.isAxisVisible(QwtPlot::xTop));
        QVERIFY(!grid.isAxisVisible(4) && !grid.isAxisVisible(-1));

        // Nothing is visible before the frame is shown: the bottom axis goes
        // to the last row. Every plot keeps its four axis strips.
        for (int row = 0; row < 2; ++row) {
            for (int column = 0; column < 3; ++column) {
                const QwtPlot* plot = grid.plotAt(row, column);
                QCOMPARE(labelsShown(plot, QwtPlot::xBottom), row == 1);
                QCOMPARE(labelsShown(plot, QwtPlot::yLeft), column == 0);
                QVERIFY(!labelsShown(plot, QwtPlot::yRight) && !labelsShown(plot, QwtPlot::xTop));
                QVERIFY(plot->axisEnabled(QwtPlot::xTop) && plot->axisEnabled(QwtPlot::yRight));
            }
        }
        // The strips of one column are as wide as the widest labels in it.
        QCOMPARE(grid.plotAt(1, 0)->axisScaleDraw(QwtPlot::yLeft)->minimumExtent(),
                 grid.plotAt(0, 0)->axisScaleDraw(QwtPlot::yLeft)->minimumExtent());
        QVERIFY(grid.plotAt(0, 0)->axisScaleDraw(QwtPlot::yLeft)->minimumExtent() > 0);
    }

    // The window's arrangement: the acquisition plot in (0, 0) of a 2 x 1
    // grid whose row 1 is hidden.
    void hiddenRowFollowsButNeverLeads()
    {
        PlotMatrix grid(2, 1, nullptr);
        auto* sample = new Graph_Lines(nullptr);
        grid.setPlotAt(sample, 0, 0);
        QCOMPARE(sample->parent(), &grid);
        QCOMPARE(grid.plotAt(0, 0), sample);
        QwtPlot* hidden = grid.plotAt(1, 0);
        hidden->setVisible(false);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));

        sample->setAxisScale(QwtPlot::xBottom, 10, 500);
        sample->replot();
        runQueuedScaleChanges();
        QVERIFY(labelsShown(sample, QwtPlot::xBottom));
        QVERIFY(!labelsShown(hidden, QwtPlot::xBottom));
        QCOMPARE(range(hidden, QwtPlot::xBottom), qMakePair(10.0, 500.0));

        // A change on the hidden plot is not passed on.
        hidden->setAxisScale(QwtPlot::xBottom, 1, 2);
        hidden->replot();
        runQueuedScaleChanges();
        QCOMPARE(range(sample, QwtPlot::xBottom), qMakePair(10.0, 500.0));
        QCOMPARE(range(hidden, QwtPlot::xBottom), qMakePair(1.0, 2.0));
        QVERIFY(labelsShown(sample, QwtPlot::xBottom));
    }

    void scalesSharedAlongRowsAndColumns()
    {
        PlotMatrix grid(2, 2, nullptr);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setAxisScale(QwtPlot::xBottom, 1, 0, 50);
        grid.setAxisScale(QwtPlot::yLeft, 1, -3, 3);
        runQueuedScaleChanges();
        QCOMPARE(range(grid.plotAt(1, 1), QwtPlot::xBottom), qMakePair(0.0, 50.0));
        QCOMPARE(range(grid.plotAt(1, 1), QwtPlot::yLeft), qMakePair(-3.0, 3.0));
        QVERIFY(range(grid.plotAt(0, 0), QwtPlot::xBottom) != qMakePair(0.0, 50.0));
        QVERIFY(range(grid.plotAt(0, 0), QwtPlot::yLeft) != qMakePair(-3.0, 3.0));
        // Out of the grid: nothing to set.
        grid.setAxisScale(QwtPlot::xBottom, 5, 0, 1);
    }

    void setPlotAtEdges()
    {
        PlotMatrix grid(2, 1, nullptr);
        QPointer<QwtPlot> own = grid.plotAt(0, 0);
        auto* first = new Graph_Lines(nullptr);

        grid.setPlotAt(first, -1, 0);
        grid.setPlotAt(first, 2, 0);
        grid.setPlotAt(first, 0, 1);
        QCOMPARE(grid.plotAt(0, 0), own.data());
        QVERIFY(!first->parent());

        grid.setPlotAt(first, 0, 0);
        QVERIFY(own.isNull());  // the grid's own plot goes
        grid.setPlotAt(first, 0, 0);
        QCOMPARE(grid.plotAt(0, 0), first);

        // Reparented away after it was put in: removed from the grid, kept.
        QWidget elsewhere;
        first->setParent(&elsewhere);
        QPointer<QwtPlot> kept = first;
        auto* second = new Graph_Lines(nullptr);
        grid.setPlotAt(second, 0, 0);
        QVERIFY(!kept.isNull());
        QCOMPARE(grid.plotAt(0, 0), second);
        QCOMPARE(grid.layout()->indexOf(first), -1);

        // A plot deleted from outside leaves an empty cell.
        delete second;
        QVERIFY(!grid.plotAt(0, 0));
        auto* third = new Graph_Lines(nullptr);
        grid.setPlotAt(third, 0, 0);
        QCOMPARE(grid.plotAt(0, 0), third);
    }

    // A plot replaced while its scale changes are still queued: the grid
    // meets their sender's address only, never the deleted plot.
    void replacedPlotWithQueuedChanges()
    {
        PlotMatrix grid(2, 1, nullptr);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        for (int round = 0; round < 3; ++round) {
            QwtPlot* old = grid.plotAt(0, 0);
            for (int axis = 0; axis < QwtPlot::axisCnt; ++axis)
                old->setAxisScale(axis, round, 100 + round);
            old->replot();  // queues a change per axis
            auto* next = new Graph_Lines(nullptr);
            grid.setPlotAt(next, 0, 0);
            QVERIFY(grid.plotAt(0, 0) == next);
            runQueuedScaleChanges();
        }
        // The grid still works with the plot that stayed.
        grid.plotAt(0, 0)->setAxisScale(QwtPlot::xBottom, 7, 8);
        grid.plotAt(0, 0)->replot();
        runQueuedScaleChanges();
        QCOMPARE(range(grid.plotAt(1, 0), QwtPlot::xBottom), qMakePair(7.0, 8.0));
    }

    void axisSwitches()
    {
        PlotMatrix grid(1, 2, nullptr);
        QwtPlot* right = grid.plotAt(0, 1);
        // Something the layout would undo, to see whether it runs.
        right->axisScaleDraw(QwtPlot::yLeft)->enableComponent(QwtAbstractScaleDraw::Labels, true);
        grid.setAxisVisible(QwtPlot::yLeft, true);
        grid.setAxisVisible(7, false);
        QVERIFY(labelsShown(right, QwtPlot::yLeft));
        grid.setAxisVisible(QwtPlot::yRight, true);
        QVERIFY(grid.isAxisVisible(QwtPlot::yRight));
        QVERIFY(!labelsShown(right, QwtPlot::yLeft));
        QVERIFY(labelsShown(right, QwtPlot::yRight));
        QVERIFY(!labelsShown(grid.plotAt(0, 0), QwtPlot::yRight));
        grid.setAxisVisible(QwtPlot::yLeft, false);
        QVERIFY(!labelsShown(grid.plotAt(0, 0), QwtPlot::yLeft));
    }
};

QTEST_MAIN(TestPlotMatrix)
#include "tst_plotmatrix.moc"
