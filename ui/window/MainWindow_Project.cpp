// The window's project operations: open, new, close, drop, the recent
// projects, the program settings, the USF export, the developer mode and
// the question before a close of the window drops a sounding.

#include "MainWindow.h"

#include "DataModel_Index.h"
#include "DeveloperCode.h"
#include "Form_SampleControl.h"
#include "Form_Status.h"
#include "Graph_Lines.h"
#include "ProgramSettings.h"
#include "Prompt.h"
#include "VODEZ_Collector.h"
#include "View_Setting.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace {

const QString kProjectSuffix = QStringLiteral(".VODEZ");
// Logo clicks that ask for the developer code.
constexpr int kClicksToAsk = 5;

} // namespace

void MainWindow::setProjectOpen(bool open)
{
    ui->tabBar->setTabEnabled(1, open);
    ui->tabBar->setTabEnabled(2, open);
    ui->pushButton_Project_New->setVisible(!open);
    ui->pushButton_Project_Open->setVisible(!open);
    ui->pushButton_Project_Close->setVisible(open);
    ui->pushButton_Export_USF->setVisible(open && isDeveloper);
    ui->RecentProject->setEnabled(!open);
    setAcceptDrops(!open);
    formStatus->clickConnect(open);
    ui->tabBar->setCurrentIndex(open ? 1 : 0);
}

void MainWindow::openProject(QString projectName)
{
    if (projectName.isEmpty())
        return;
    const QFileInfo file(projectName);
    if (file.exists() && !file.permission(QFile::WriteOwner)) {
        Prompt::current()->critical(this, tr("错误"), tr("工程文件属性为 *只读* ，请修改"));
        return;
    }
    if (!dataModel->openProject(projectName)) {
        Prompt::current()->critical(this, tr("错误"), tr("打开或创建工程文件失败，请重试！"));
        return;
    }
    setProjectOpen(true);
    setWindowTitle(tr("%1系统").arg(editionName) + QStringLiteral(" -- ") + projectName);
    addRecentProject(projectName);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (collector->SoundingHeld()
        && !Prompt::current()->question(this, tr("退出程序"), tr("当前采集尚未保存，请确认退出！"))) {
        event->ignore();
        return;
    }
    collector->StopBoxesForExit();
    QMainWindow::closeEvent(event);
}

void MainWindow::on_pushButton_Project_Close_clicked()
{
    // The status panel's disconnect is pressed below without its own
    // question: it is asked here, once, before anything is dropped.
    if (!formStatus->mayDropSounding())
        return;
    graphSample->clearLines();
    dataModel->closeProject();
    setProjectOpen(false);
    setWindowTitle(tr("%1系统").arg(editionName));
}

QString MainWindow::startFolder() const
{
    if (recentProjects.isEmpty())
        return QDir::currentPath();
    return QFileInfo(recentProjects.first()).absoluteDir().absolutePath();
}

void MainWindow::on_pushButton_Project_New_clicked()
{
    const QString path = Prompt::current()->getSaveFileName(this, tr("创建工程"), startFolder(),
                                                            tr("%1工程 (*%2)").arg(editionName, kProjectSuffix));
    openProject(path);
}

void MainWindow::on_pushButton_Project_Open_clicked()
{
    const QString path = Prompt::current()->getOpenFileName(this, tr("打开工程"), startFolder(),
                                                            tr("%1工程 (*.VODEZ)").arg(editionName));
    if (!path.isEmpty())
        openProject(path);
}

void MainWindow::onRecentProjectDoubleClicked(QListWidgetItem* item)
{
    if (!item)
        return;
    const QString path = item->text();
    // Opening creates a missing file: the operator would go on in an empty
    // project believing it their survey. New projects come only from "新建".
    if (!QFileInfo::exists(path)) {
        Prompt::current()->critical(this, tr("错误"), tr("工程文件不存在，已从最近工程中移除"));
        // Written with the vanished file as an empty value and read back,
        // which drops the entry and its key.
        saveRecentProjects();
        loadRecentProjects();
        return;
    }
    openProject(path);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls())
        return;
    // Data that say they carry URLs may still carry none.
    const QList<QUrl> urls = event->mimeData()->urls();
    const QString path = urls.isEmpty() ? QString() : urls.first().toLocalFile();
    if (path.endsWith(kProjectSuffix, Qt::CaseInsensitive))
        openProject(path);
    else
        Prompt::current()->critical(this, tr("错误"), tr("请拖入正确的工程文件"));
}

void MainWindow::on_pushButton_Export_USF_clicked()
{
    const QString path = Prompt::current()->getSaveFileName(this, tr("导出USF文件"), QDir::currentPath(),
                                                            tr("USF文件 (*.usf)"));
    if (path.isEmpty())
        return;
    // Success only when every row was read and the whole file was written
    // and put in place; a failure says which of them went wrong.
    ExportStatus status;
    if (dataModel->exportUsfFile(path, &status)) {
        Prompt::current()->information(this, tr("导出USF"), tr("导出成功"));
        return;
    }
    QString text;
    switch (status.failure) {
    case ExportFailure::DiskFull:
        text = tr("导出失败，磁盘已满");
        break;
    case ExportFailure::WriteFailed:
        text = tr("导出失败，文件写入出错");
        break;
    case ExportFailure::ProjectUnreadable:
        text = tr("导出失败，工程文件不能读取");
        break;
    case ExportFailure::NoMemory:
        text = tr("导出失败，内存不足");
        break;
    case ExportFailure::OlderFileDamaged:
        text = tr("导出失败，原文件已损坏");
        break;
    case ExportFailure::CannotOpen:
    case ExportFailure::None:
        text = tr("导出文件不能打开");
        break;
    }
    Prompt::current()->critical(this, tr("导出数据"), text);
}

void MainWindow::loadConfig()
{
    settings = new ProgramSettings();
    loadRecentProjects();
    collector->SetDeviceIP_Send(settings->sendIP());
    collector->SetDeviceIP_Recv(settings->recvIP());
}

void MainWindow::loadRecentProjects()
{
    recentProjects = settings->loadRecentProjects();
    ui->RecentProject->clear();
    ui->RecentProject->addItems(recentProjects);
}

void MainWindow::saveRecentProjects()
{
    settings->saveRecentProjects(recentProjects);
}

void MainWindow::addRecentProject(const QString& path)
{
    recentProjects = settings->addRecentProject(recentProjects, path);
    ui->RecentProject->clear();
    ui->RecentProject->addItems(recentProjects);
}

void MainWindow::onCloseButtonSaveConfig()
{
    // A close the operator refused leaves the window up and writes nothing.
    if (isVisible())
        return;
    saveRecentProjects();
    settings->setDeviceAddresses(collector->GetDeviceIP_Send(), collector->GetDeviceIP_Recv());
    // The program ends right after this button: the values must be on disk.
    settings->sync();
}

void MainWindow::on_btn_Logo_clicked()
{
    ++g_logoClicks;
    if (g_logoClicks >= kClicksToAsk) {
        g_logoClicks = 0;
        QString code;
        isDeveloper = Prompt::current()->getText(this, tr("开发者模式"), tr("请输入访问码"), &code, true)
                      && IsDeveloperCode(code);
    } else {
        isDeveloper = false;
    }
    viewSetting->developerMode(isDeveloper);
    formSampleControl->developerMode(isDeveloper);
    ui->pushButton_Export_USF->setVisible(isDeveloper && ui->tabBar->isTabEnabled(1));
}
