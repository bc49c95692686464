#pragma once
// The program's only window: frameless, with its own title bar (logo,
// edition, page tabs, minimise/maximise/close) over three pages: project,
// sampling and settings. Sizes follow the screen through g_uiScale.

#include "ProgramWiring.h"

#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QVector>

class DataModel_Index;
class Data_Calc;
class FramelessHelper;
class Form_SampleControl;
class Form_Status;
class Graph_Lines;
class HViewProxyManager;
class PlotMatrix;
class ProgramSettings;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QListWidgetItem;
class VODEZ_Collector;
class View_Setting;
class Ui_MainWindow;

// Window scale: the primary screen's available height / 800; 0 until the
// window is built, never updated afterwards.
extern double g_uiScale;
// Build time of the program, shown as "yyMMdd".
extern QDateTime g_buildTime;
// Logo clicks since the last access-code prompt of the developer mode.
extern int g_logoClicks;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The joins of the parts that Qt refused (by row); empty when every one
    // was made. And every row that was attempted, in order.
    QStringList connectionFaults() const;
    QStringList connectionRows() const;

    // The second arrangement: page tabs below the title bar, plots on top of
    // the sampling page with the tree and the panels below them.
    void setSampleLayoutVertical();

    // Follows the maximised state with the maximise button.
    void onMaximizedChanged(bool maximized);

public slots:
    void on_pushButton_Project_New_clicked();
    void on_pushButton_Project_Open_clicked();
    void on_pushButton_Project_Close_clicked();
    void on_pushButton_Export_USF_clicked();
    void on_btn_Logo_clicked();

    // A line section: the whole line on the acquisition plot (curPos -1) or
    // around the marker on the current-line plot.
    void onGraph_Line(QString name, QVector<double> xList, QVector<double> yList, QVector<QVector<double> > datas,
                      int curPos = -2);
    void onGraph_Error(QVector<double> x, QVector<double> y, bool show);
    void onGraph_Send(double fs_Send, QVector<double> data);
    void onGraph_Off(double fs_SampleOff, QVector<double> data);
    void onSelectPoint(int lineMode);
    void onSelectLine(int lineMode);

    // Opens or creates the project at that path.
    void openProject(QString projectName);

protected:
    // Asks before a sounding that runs or waits to be saved is dropped, and
    // stops the boxes before the links go with the program.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void initStyle();
    // Plots, panels, binding and joins: the rest of construction.
    void assembleParts();
    void initDataModel();
    void initCollector();
    void connectPlots();
    void bindTo(const QString& objectName, const char* property, QWidget* panel, const char* widgetName,
                const char* format);

    void setProjectOpen(bool open);
    QString startFolder() const;
    void loadConfig();
    void loadRecentProjects();
    void saveRecentProjects();
    void addRecentProject(const QString& path);
    void onCloseButtonSaveConfig();
    void onRecentProjectDoubleClicked(QListWidgetItem* item);
    void onNewGraphDataAxisTitle();

    Ui_MainWindow* ui = nullptr;
    HViewProxyManager* proxyManager = nullptr;
    View_Setting* viewSetting = nullptr;
    VODEZ_Collector* collector = nullptr;
    Graph_Lines* graphLine = nullptr;
    Graph_Lines* graphSample = nullptr;
    Graph_Lines* graphSecond = nullptr;
    PlotMatrix* plotMatrix = nullptr;
    Graph_Lines* graphSend = nullptr;
    Graph_Lines* graphOff = nullptr;
    QWidget* sendPage = nullptr;
    DataModel_Index* dataModel = nullptr;
    Data_Calc* dataCalc = nullptr;
    Form_Status* formStatus = nullptr;
    Form_SampleControl* formSampleControl = nullptr;
    ProgramSettings* settings = nullptr;
    QStringList recentProjects;
    QString editionName;
    bool isDeveloper = false;
    FramelessHelper* framelessHelper = nullptr;
    // The last close asked for was refused: the close button's settings
    // are not written then.
    WiringLog wiring;
};
