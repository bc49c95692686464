// Start-up time of the program: from starting the process to the first paint
// of its main window, next to a bare Qt program that shows one empty
// QMainWindow, alternating the two in the same run. Needs an X display (run
// it under Xvfb, see README); prints the median of each and their ratio.
// Usage: bench_startup [runs]
// (The same executable is the measured program when started with --child.)
#include "HeadlessPrompt.h"
#include "MainWindow.h"
#include "Startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <vector>

namespace {

// Reports the first paint of any widget of the watched window and ends.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QWidget* window) : m_window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_done && event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget*>(watched)->window() == m_window) {
            m_done = true;
            std::fputs("painted\n", stdout);
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }

private:
    QWidget* m_window;
    bool m_done = false;
};

int runChild(int argc, char** argv, bool vodez)
{
    QApplication app(argc, argv);
    HeadlessPrompt prompt;   // a box at start must not hold the first paint
    std::unique_ptr<QMainWindow> window;
    if (vodez) {
        prepareApplication(app);
        window.reset(new MainWindow);
    } else {
        window.reset(new QMainWindow);
    }
    FirstPaint watcher(window.get());
    app.installEventFilter(&watcher);
    window->show();
    return app.exec();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Milliseconds from process start to its "painted" line; negative on failure.
double timeOne(const QString& program, const QString& mode, const QString& workDir)
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    p.start(program, {QStringLiteral("--child"), mode});
    double ms = -1;
    while (p.waitForReadyRead(30000)) {
        if (p.readAll().contains("painted")) {
            ms = timer.nsecsElapsed() / 1e6;
            break;
        }
    }
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
    }
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv, qstrcmp(argv[2], "vodez") == 0);

    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "bench_startup needs an X display; run it under Xvfb (see README).\n");
        return 1;
    }
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 15;

    // The program's working directory: its icon and loopback device addresses.
    QTemporaryDir work;
    {
        QFile ini(work.filePath(QStringLiteral("config.ini")));
        if (!ini.open(QIODevice::WriteOnly))
            return 1;
        ini.write("[SysConf]\nSendIP=127.0.0.9\nRecvIP=127.0.0.10\n");
    }
    QFile::copy(QStringLiteral(VODEZ_ICON_FILE), work.filePath(QStringLiteral("VODEZ.ico")));
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = work.filePath(QStringLiteral("xdg"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }

    const QString self = QCoreApplication::applicationFilePath();
    // One unmeasured start of each warms the file cache.
    timeOne(self, QStringLiteral("bare"), work.path());
    timeOne(self, QStringLiteral("vodez"), work.path());

    std::vector<double> bare;
    std::vector<double> vodez;
    for (int i = 0; i < runs; ++i) {
        const double b = timeOne(self, QStringLiteral("bare"), work.path());
        const double v = timeOne(self, QStringLiteral("vodez"), work.path());
        if (b < 0 || v < 0) {
            std::fprintf(stderr, "a start did not paint within 30 s\n");
            return 1;
        }
        bare.push_back(b);
        vodez.push_back(v);
    }
    const double mb = median(bare);
    const double mv = median(vodez);
    std::printf("start to first paint, median of %d runs\n", runs);
    std::printf("  bare QMainWindow:   %8.1f ms\n", mb);
    std::printf("  VODEZ main window:  %8.1f ms\n", mv);
    std::printf("  ratio:              %8.2f (target below 2)\n", mv / mb);
    return 0;
}
