#pragma once
// The settings page: the two device addresses with a connection test that
// pings the transmitter and then the receiver, the project's point-number
// step, the acquisition mode and, in developer mode, the start time of the
// decay display. The addresses, the mode and the step are bound to the
// controller's and the project tree's properties by the main window.

#include "Data_Project.h"

#include <QProcess>
#include <QWidget>

namespace Ui {
class View_Setting;
}

class View_Setting : public QWidget
{
    Q_OBJECT
public:
    explicit View_Setting(QWidget* parent = nullptr);
    ~View_Setting() override;

signals:
    // The held project configuration with an edited point-number step.
    void projectConfigChanged(st_ProjectConfig config);

public slots:
    void loadProjectConfig(st_ProjectConfig config);
    void developerMode(bool isOpen);

private slots:
    void changeStartTime();
    void initPingTest();
    void pingTest();

private:
    void onPointNoStepEditingFinished();
    // Starts the ping of one box; a host the ping cannot take fails it.
    void startPing(const QString& host);
    void pingFailedToStart();
    // The running ping's step is over, whether it ran or could not start.
    void pingStepOver();

    Ui::View_Setting* ui;
    st_ProjectConfig projectConfig;
    QProcess* pingProcess = nullptr;
};

// The ping test's step: 0 idle, 1 the transmitter's ping runs, 2 the
// receiver's.
extern int g_pingState;
