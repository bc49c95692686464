#include "View_Setting.h"
#include "ui_View_Setting.h"

#include "Data_Calc.h"
#include "PingHost.h"
#include "Prompt.h"

#include <QDoubleValidator>
#include <QFont>
#include <QLocale>

int g_pingState = 0;

View_Setting::View_Setting(QWidget* parent) : QWidget(parent), ui(new Ui::View_Setting)
{
    ui->setupUi(this);
    // The addresses come from config.ini; the page only shows them.
    ui->DeviceIP_Recv->setEnabled(false);
    ui->DeviceIP_Send->setEnabled(false);

    ui->StartTime->setPlaceholderText(QStringLiteral("0~800"));
    ui->StartTime->setInputMethodHints(Qt::ImhDigitsOnly);
    ui->PointNoStep->setInputMethodHints(Qt::ImhDigitsOnly);
    auto* stepValidator = new QDoubleValidator(this);
    stepValidator->setBottom(-99999999);
    stepValidator->setTop(99999999);
    stepValidator->setDecimals(1);
    // The binding and the handler below read the step in the C locale; a
    // validator in the system's locale would let "1,5" through, and the
    // binding would write it back into the project as 0.
    QLocale numbers = QLocale::c();
    numbers.setNumberOptions(QLocale::RejectGroupSeparator);
    stepValidator->setLocale(numbers);
    ui->PointNoStep->setValidator(stepValidator);

    // Connected before the binding's own write-back, so it runs first.
    connect(ui->PointNoStep, &QLineEdit::editingFinished, this, &View_Setting::onPointNoStepEditingFinished);
    connect(ui->StartTime, &QLineEdit::editingFinished, this, &View_Setting::changeStartTime);

    ui->groupBox_StartTime->hide();
    initPingTest();
}

View_Setting::~View_Setting()
{
    // The ping must not report into a page being torn down.
    pingProcess->disconnect(this);
    // Its ping goes with it; a page built later starts idle.
    g_pingState = 0;
    delete ui;
}

void View_Setting::loadProjectConfig(st_ProjectConfig config)
{
    projectConfig = config;
    ui->PointNoStep->setText(QString::number(config.PointNoStep, 'g', 6));
}

void View_Setting::onPointNoStepEditingFinished()
{
    bool ok = false;
    const double step = ui->PointNoStep->text().toDouble(&ok);
    if (!ok) {
        Prompt::current()->warning(this, tr("错误"), tr("点号步进请输出浮点数"));
        return;
    }
    projectConfig.PointNoStep = step;
    emit projectConfigChanged(projectConfig);
}

void View_Setting::changeStartTime()
{
    int v = ui->StartTime->text().toInt(nullptr, 10);
    if (v < 0)
        v = 0;
    if (v > 800)
        v = 800;
    ui->StartTime->setText(QString::number(v));
    g_startTime = v;
}

void View_Setting::developerMode(bool isOpen)
{
    ui->groupBox_StartTime->setVisible(isOpen);
}

void View_Setting::initPingTest()
{
    pingProcess = new QProcess(this);
    // A failing ping says why on its error output; one channel keeps that
    // text under its own box's run and in the order it was written.
    pingProcess->setProcessChannelMode(QProcess::MergedChannels);
    ui->label_PingOutput->setText(QString());
    connect(pingProcess, &QProcess::readyRead, this, [this] {
        ui->label_PingOutput->setText(ui->label_PingOutput->text() + DecodePingOutput(pingProcess->readAll()));
    });
    connect(pingProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int, QProcess::ExitStatus) { pingStepOver(); });
    // A ping that cannot start never finishes: its step ends here instead,
    // or the button would stay disabled for good.
    connect(pingProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            pingFailedToStart();
    });
    connect(ui->btn_Ping, &QPushButton::clicked, this, [this] { pingTest(); });
}

void View_Setting::pingTest()
{
    ui->btn_Ping->setEnabled(false);
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setPixelSize(12);
    ui->label_PingOutput->setFont(font);

    if (g_pingState == 0) {
        ui->label_PingOutput->setText(tr("测试结果:"));
        g_pingState = 1;
        startPing(ui->DeviceIP_Send->text());
    } else if (g_pingState == 1) {
        g_pingState = 2;
        startPing(ui->DeviceIP_Recv->text());
    }
}

void View_Setting::startPing(const QString& host)
{
    const QStringList arguments = PingTestArguments(host);
    if (arguments.isEmpty()) {
        pingFailedToStart();
        return;
    }
    pingProcess->start(QStringLiteral("ping"), arguments, QIODevice::ReadWrite);
}

void View_Setting::pingFailedToStart()
{
    ui->label_PingOutput->setText(ui->label_PingOutput->text() + tr("\n无法运行 ping 命令\n"));
    // The process is still tidying up after the failed start; the next
    // ping starts once it is done.
    QMetaObject::invokeMethod(this, &View_Setting::pingStepOver, Qt::QueuedConnection);
}

void View_Setting::pingStepOver()
{
    if (g_pingState == 1) {
        pingTest();
    } else if (g_pingState == 2) {
        g_pingState = 0;
        ui->btn_Ping->setEnabled(true);
    }
}
