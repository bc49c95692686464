#include "MainWindow.h"

#include "BuildTime.h"
#include "FramelessHelper.h"
#include "PlotGlobals.h"
#include "ProgramSettings.h"
#include "Resources.h"
#include "StyleSheetPreprocessor.h"
#include "WindowMetrics.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>

double g_uiScale = 0;
QDateTime g_buildTime;
int g_logoClicks = 0;

namespace {

QScreen* primaryScreen()
{
    return QGuiApplication::primaryScreen();
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
{
    initVodezResources();
    g_buildTime = GetBuildDateTime();
    initStyle();
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint);

    const QSize screenSize = primaryScreen() ? primaryScreen()->size() : QSize();
    ui->label_Version->setText(tr("V%1 (Build %2) \r\n%3*%4")
                                   .arg(QStringLiteral(VODEZ_PROGRAM_VERSION), g_buildTime.toString(QStringLiteral("yyMMdd")))
                                   .arg(screenSize.width())
                                   .arg(screenSize.height()));

    ui->tabBar->addTab(tr("工程"));
    ui->tabBar->addTab(tr("采集"));
    ui->tabBar->addTab(tr("设置"));
    ui->tabBar->setCursor(Qt::PointingHandCursor);
    connect(ui->tabBar, &QTabBar::currentChanged, ui->stackedWidget, &QStackedWidget::setCurrentIndex);
    connect(ui->stackedWidget, &QStackedWidget::currentChanged, ui->tabBar, &QTabBar::setCurrentIndex);
    ui->stackedWidget->setCurrentWidget(ui->page_Project);

    editionName = QStringLiteral("RIZOR7031");
    ui->label_VODEZ->setText(editionName);
    ui->RecentProject->setAlternatingRowColors(true);

    framelessHelper = new FramelessHelper(this);
    framelessHelper->setResizeBorder(3, 3, 3, 3);
    framelessHelper->setTitleBarHeight(titleBarHeightFor(g_uiScale));
    framelessHelper->addNonCaptionWidget(ui->btn_Logo);
    framelessHelper->addNonCaptionWidget(ui->pushButton_Min);
    framelessHelper->addNonCaptionWidget(ui->pushButton_Max);
    framelessHelper->addNonCaptionWidget(ui->pushButton_Close);
    framelessHelper->addNonCaptionWidget(ui->tabBar);

    connect(ui->pushButton_Min, &QPushButton::clicked, framelessHelper,
            &FramelessHelper::triggerMinimizeButtonAction);
    connect(ui->pushButton_Max, &QPushButton::clicked, framelessHelper,
            &FramelessHelper::triggerMaximizeButtonAction);
    connect(ui->pushButton_Close, &QPushButton::clicked, framelessHelper,
            &FramelessHelper::triggerCloseButtonAction);
    connect(ui->pushButton_Close, &QPushButton::clicked, this, &MainWindow::onCloseButtonSaveConfig);
    connect(framelessHelper, &FramelessHelper::maximizedChanged, this, &MainWindow::onMaximizedChanged);
    connect(ui->RecentProject, &QListWidget::itemDoubleClicked, this, &MainWindow::onRecentProjectDoubleClicked);

    assembleParts();
}

MainWindow::~MainWindow()
{
    delete settings;
    delete ui;
}

void MainWindow::initStyle()
{
    const int availableHeight = primaryScreen() ? primaryScreen()->availableSize().height() : 0;
    const WindowMetrics metrics = windowMetricsFor(availableHeight);
    g_uiScale = metrics.scale;
    setMinimumSize(metrics.minimumSize);
    setStyleSheet(QStringLiteral("QTabWidget#widget_Tree{min-width:%1px;max-width:%1px;}"
                                 "QWidget#widget_Project{min-width:%2px;max-width:%2px;}")
                      .arg(metrics.treeWidth)
                      .arg(metrics.panelWidth));

    g_axisFont.setFamily(QStringLiteral("Microsoft YaHei"));
    g_axisFont.setPixelSize(metrics.axisFontPixels);
    g_axisFont.setStyleStrategy(QFont::PreferAntialias);

    StyleSheetPreprocessor preprocessor(QStringLiteral(":/etc"));
    for (const auto& variable : metrics.variables)
        preprocessor.defineVariable(variable.first, variable.second);
    qApp->setStyleSheet(preprocessor.process(QStringLiteral("style.css")));
}

void MainWindow::onMaximizedChanged(bool maximized)
{
    if (maximized) {
        ui->pushButton_Max->setText(QStringLiteral("2"));
        ui->pushButton_Max->setToolTip(tr("还原"));
    } else {
        ui->pushButton_Max->setText(QStringLiteral("1"));
        ui->pushButton_Max->setToolTip(tr("最大化"));
    }
}
