// The main window as the program builds it: sizes from the screen, the
// title bar, tabs and pages in step, the version label and the maximise
// button. Registered once offscreen and under Xvfb at two screen sizes.
#include "FramelessHelper.h"
#include "MainWindow.h"
#include "PlotGlobals.h"
#include "ProgramSettings.h"
#include "WindowMetrics.h"
#include "WindowsInput.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <memory>

class TestMainFrame : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> m_window;

    template<typename T>
    T* child(const char* name) const
    {
        return m_window->findChild<T*>(QString::fromLatin1(name));
    }

private slots:
    void initTestCase()
    {
        // The window loads the device addresses at start: loopback ones.
        ProgramSettings ini;
        ini.setDeviceAddresses(QStringLiteral("127.0.0.9"), QStringLiteral("127.0.0.10"));
        QCOMPARE(ini.sync(), QSettings::NoError);
        m_window.reset(new MainWindow);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanupTestCase() { m_window.reset(); }

    void sizesFollowTheScreen()
    {
        QScreen* screen = QGuiApplication::primaryScreen();
        const WindowMetrics m = windowMetricsFor(screen->availableSize().height());
        qInfo("screen %dx%d, available height %d, scale %g", screen->size().width(), screen->size().height(),
              screen->availableSize().height(), m.scale);

        QCOMPARE(g_uiScale, screen->availableSize().height() / 800.0);
        QCOMPARE(m_window->minimumSize(), m.minimumSize);
        QCOMPARE(g_axisFont.family(), QStringLiteral("Microsoft YaHei"));
        QCOMPARE(g_axisFont.pixelSize(), m.axisFontPixels);
        QCOMPARE(g_axisFont.styleStrategy(), QFont::PreferAntialias);

        auto* helper = m_window->findChild<FramelessHelper*>();
        QVERIFY(helper);
        QCOMPARE(helper->titleBarHeight(), m.titleBarHeight);
        QCOMPARE(helper->resizeBorder(), QMargins(3, 3, 3, 3));
        QCOMPARE(child<QWidget>("widget_title")->height(), m.titleBarHeight);

        // The fixed column widths show once the sampling page is laid out.
        child<QTabBar>("tabBar")->setCurrentIndex(1);
        QTRY_COMPARE(child<QWidget>("widget_Tree")->width(), m.treeWidth);
        QTRY_COMPARE(child<QWidget>("widget_Project")->width(), m.panelWidth);
        child<QTabBar>("tabBar")->setCurrentIndex(0);
    }

    void titleBar()
    {
        QVERIFY(m_window->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("VODEZ Program"));
        QCOMPARE(child<QLabel>("label_VODEZ")->text(), QStringLiteral("RIZOR7031"));
        QCOMPARE(child<QPushButton>("btn_Logo")->text(), QString());
        QCOMPARE(child<QPushButton>("pushButton_Min")->text(), QStringLiteral("0"));
        QCOMPARE(child<QPushButton>("pushButton_Close")->text(), QStringLiteral("r"));
        QVERIFY(child<QListWidget>("RecentProject")->alternatingRowColors());

        const QSize screen = QGuiApplication::primaryScreen()->size();
        const QString version = child<QLabel>("label_Version")->text();
        QCOMPARE(version, QStringLiteral("V1.2.1 (Build %1) \r\n%2*%3")
                              .arg(g_buildTime.toString(QStringLiteral("yyMMdd")))
                              .arg(screen.width())
                              .arg(screen.height()));
        QVERIFY(QRegularExpression(QStringLiteral("^V1\\.2\\.1 \\(Build \\d{6}\\) \r\n\\d+\\*\\d+$")).match(version).hasMatch());
    }

    void tabsAndPagesInStep()
    {
        auto* tabs = child<QTabBar>("tabBar");
        auto* pages = child<QStackedWidget>("stackedWidget");
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QStringLiteral("工程"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("采集"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("设置"));
        QCOMPARE(pages->currentWidget(), child<QWidget>("page_Project"));

        tabs->setCurrentIndex(2);
        QCOMPARE(pages->currentWidget(), child<QWidget>("page_Setting"));
        pages->setCurrentIndex(1);
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(pages->currentWidget(), child<QWidget>("page_Sample"));
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
        QCOMPARE(pages->currentWidget(), child<QWidget>("page_Project"));
    }

    void titleBarDragsTheWindow()
    {
#ifdef Q_OS_WIN
        // The system drags the window by what the window answers to its hit
        // test: the edition's label is caption, the tabs and the title-bar
        // buttons in the same strip are not, the band is for sizing.
        const auto code = [this](QWidget* widget) {
            return systemHitCode(m_window->windowHandle(), widget->mapTo(m_window.get(), QPoint(8, 8)));
        };
        QCOMPARE(code(child<QLabel>("label_VODEZ")), int(HTCAPTION));
        QCOMPARE(code(child<QTabBar>("tabBar")), int(HTCLIENT));
        QCOMPARE(code(child<QPushButton>("pushButton_Close")), int(HTCLIENT));
        QCOMPARE(code(child<QPushButton>("btn_Logo")), int(HTCLIENT));
        QCOMPARE(systemHitCode(m_window->windowHandle(), QPoint(1, m_window->height() / 2)), int(HTLEFT));

        QWindow* handle = m_window->windowHandle();
        const QPoint start = handle->position();
        const QPoint onEdition = handle->mapToGlobal(child<QLabel>("label_VODEZ")->mapTo(m_window.get(), QPoint(8, 8)));
        dragWithSystemInput(onEdition, onEdition + QPoint(30, 0));
        QTRY_COMPARE(handle->position(), start + (QCursor::pos() - onEdition));
#else
        QWindow* handle = m_window->windowHandle();
        const QPoint start = handle->position();
        const QPoint onEdition = child<QLabel>("label_VODEZ")->mapTo(m_window.get(), QPoint(8, 8));
        QTest::mousePress(handle, Qt::LeftButton, {}, onEdition);
        QTest::mouseMove(handle, onEdition + QPoint(30, 20));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, onEdition);
        QTRY_COMPARE(handle->position(), start + QPoint(30, 20));

        // The page tabs in the same strip are no caption: a press selects
        // (the settings tab is open to presses once a project is).
        auto* tabs = child<QTabBar>("tabBar");
        tabs->setTabEnabled(2, true);
        const QPoint onTab = tabs->mapTo(m_window.get(), tabs->tabRect(2).center());
        QTest::mouseClick(handle, Qt::LeftButton, {}, onTab);
        QCOMPARE(tabs->currentIndex(), 2);
        QCOMPARE(handle->position(), start + QPoint(30, 20));
        tabs->setCurrentIndex(0);
        tabs->setTabEnabled(2, false);
#endif
    }

    void maximizeButtonFollowsWindowState()
    {
        auto* button = child<QPushButton>("pushButton_Max");
        QCOMPARE(button->text(), QStringLiteral("1"));

        button->click();
        QTRY_COMPARE(button->text(), QStringLiteral("2"));
        QCOMPARE(button->toolTip(), QStringLiteral("还原"));

        // Restored by the system rather than the button.
        m_window->showNormal();
        QTRY_COMPARE(button->text(), QStringLiteral("1"));
        QCOMPARE(button->toolTip(), QStringLiteral("最大化"));
    }
};

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
