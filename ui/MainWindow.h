#pragma once
// The program's only window: frameless, with its own title bar (logo,
// edition, page tabs, minimise/maximise/close) over three pages: project,
// sampling and settings. Sizes follow the screen through g_uiScale.

#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <QStringList>

class DataModel_Index;
class Data_Calc;
class FramelessHelper;
class Form_SampleControl;
class Form_Status;
class Graph_Lines;
class HViewProxyManager;
class PlotMatrix;
class QSettings;
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

public slots:
    void onMaximizedChanged(bool maximized);

private:
    void initStyle();

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
    QSettings* settings = nullptr;
    QStringList recentProjects;
    QString editionName;
    bool isDeveloper = false;
    FramelessHelper* framelessHelper = nullptr;
};
