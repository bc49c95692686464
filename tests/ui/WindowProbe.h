#pragma once
// What the window's tests look at: its parts found by type, object name or
// plot title, and the loopback addresses its config.ini names.

#include "DataModel_Index.h"
#include "Data_Calc.h"
#include "Graph_Lines.h"
#include "MainWindow.h"
#include "PlotMatrix.h"
#include "ProgramSettings.h"
#include "VODEZ_Collector.h"

#include <QHostAddress>
#include <QLayout>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>

#include <qwt_plot_curve.h>
#include <qwt_plot_textlabel.h>
#include <qwt_text.h>

class WindowProbe
{
public:
    explicit WindowProbe(MainWindow* window) : w(window) {}

    // The program's config.ini in the working directory names loopback
    // boxes; true when it was written.
    static bool writeLoopbackConfig(const QString& tx, const QString& rx)
    {
        ProgramSettings ini;
        ini.setDeviceAddresses(tx, rx);
        return ini.sync() == QSettings::NoError;
    }

    template <class T = QWidget>
    T* named(const char* name) const
    {
        return w->findChild<T*>(QString::fromLatin1(name));
    }
    DataModel_Index* tree() const { return w->findChild<DataModel_Index*>(); }
    Data_Calc* calc() const { return w->findChild<Data_Calc*>(); }
    VODEZ_Collector* collector() const { return w->findChild<VODEZ_Collector*>(); }
    PlotMatrix* grid() const { return w->findChild<PlotMatrix*>(); }
    QTabBar* tabBar() const { return named<QTabBar>("tabBar"); }

    bool addressesAreLoopback() const
    {
        return collector() && QHostAddress(collector()->GetDeviceIP_Send()).isLoopback()
            && QHostAddress(collector()->GetDeviceIP_Recv()).isLoopback();
    }

    // The acquisition plot: the grid's first cell.
    Graph_Lines* sampleGraph() const { return grid() ? qobject_cast<Graph_Lines*>(grid()->plotAt(0, 0)) : nullptr; }
    // The current-line plot: below the grid.
    Graph_Lines* lineGraph() const
    {
        auto* data = named("widget_Data");
        QLayout* layout = data ? data->layout() : nullptr;
        return layout && layout->count() > 1 ? qobject_cast<Graph_Lines*>(layout->itemAt(1)->widget()) : nullptr;
    }
    // The two waveform plots on the status tab widget's second page.
    Graph_Lines* waveGraph(int index) const
    {
        auto* tabs = named<QTabWidget>("tabWidget_Status");
        if (!tabs || tabs->count() < 2)
            return nullptr;
        QLayout* layout = tabs->widget(1)->layout();
        return layout && layout->count() > index ? qobject_cast<Graph_Lines*>(layout->itemAt(index)->widget())
                                                 : nullptr;
    }
    Graph_Lines* sendGraph() const { return waveGraph(0); }
    Graph_Lines* offGraph() const { return waveGraph(1); }

    // The curves a plot shows.
    static QList<const QwtPlotCurve*> curves(const Graph_Lines* plot)
    {
        QList<const QwtPlotCurve*> list;
        for (const QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve))
            list << static_cast<const QwtPlotCurve*>(item);
        return list;
    }
    // The bottom axis title: the plot's text label in the lower right corner
    // (its water marks sit elsewhere).
    static QString bottomTitle(const Graph_Lines* plot)
    {
        for (const QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotTextLabel)) {
            const QwtText text = static_cast<const QwtPlotTextLabel*>(item)->text();
            if (text.renderFlags() == (Qt::AlignRight | Qt::AlignBottom))
                return text.text();
        }
        return QString();
    }

    // Shown when its page of the window is the current one.
    static bool onItsPage(const QWidget* widget)
    {
        const QWidget* page = widget;
        while (page->parentWidget() && !qobject_cast<const QStackedWidget*>(page->parentWidget()))
            page = page->parentWidget();
        return page == widget ? !widget->isHidden() : widget->isVisibleTo(page);
    }

    MainWindow* w;
};
