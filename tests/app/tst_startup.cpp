// Start-up steps between the application object and the main window: the
// icon from the working directory, UTF-8 for locale text, and on Linux the
// fonts the window names. And the drain before main returns.
#include "Startup.h"

#include "OrmDatabase.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QRawFont>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTextLayout>
#include <QThreadPool>
#include <QtTest>

#include <atomic>

class TestStartup : public QObject
{
    Q_OBJECT

    // The family that really draws the text's glyphs (QFontInfo only names
    // the font asked for first).
    static QString glyphFamily(const QFont& font, const QString& text)
    {
        QTextLayout layout(text, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        return runs.isEmpty() ? QString() : runs.first().rawFont().familyName();
    }

private slots:
    void iconComesFromTheWorkingDirectory()
    {
        QFile::remove(QStringLiteral("VODEZ.ico"));
        prepareApplication(*qApp);
        QVERIFY(QApplication::windowIcon().availableSizes().isEmpty());

        const QString source = qEnvironmentVariable("VODEZ_SOURCE_DIR") + QStringLiteral("/resources/VODEZ.ico");
        QVERIFY2(QFile::copy(source, QStringLiteral("VODEZ.ico")), qPrintable(source));
        prepareApplication(*qApp);
        QVERIFY(QApplication::windowIcon().availableSizes().contains(QSize(48, 48)));
        QCOMPARE(QTextCodec::codecForLocale()->name(), QByteArray("UTF-8"));
        QCOMPARE(QGuiApplication::highDpiScaleFactorRoundingPolicy(),
                 Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    }

    void theEndDrainsThePoolAndClosesEveryConnection()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        orm::Database::setDatabaseName(dir.filePath(QStringLiteral("end.sqlite")));
        QVERIFY(orm::Database::getDatabase().isOpen());
        // A pool task still running when the window has gone, and one that
        // left its thread's connection open.
        std::atomic<bool> release{false};
        std::atomic<bool> ended{false};
        QThreadPool::globalInstance()->start(QRunnable::create([] { orm::Database::getDatabase(); }));
        QThreadPool::globalInstance()->start(QRunnable::create([&] {
            while (!release.load())
                QThread::msleep(1);
            QThread::msleep(50);
            ended = true;
        }));
        QTRY_COMPARE(orm::Database::connectionNames().size(), 2);
        release = true;
        finishApplication();
        QVERIFY(ended.load());
        QCOMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
        QVERIFY(QSqlDatabase::connectionNames().isEmpty());
    }

#ifdef Q_OS_LINUX
    void windowFontsOnLinux()
    {
        prepareFonts();
        QVERIFY(QFontDatabase().families().contains(QStringLiteral("Marlett")));
        QCOMPARE(QFontInfo(QFont(QStringLiteral("Marlett"))).family(), QStringLiteral("Marlett"));
        for (const char* family : {"Microsoft YaHei", "SIMSUN"}) {
            const QFont font(QString::fromLatin1(family));
            QCOMPARE(QFontInfo(font).family(), QStringLiteral("WenQuanYi Micro Hei"));
            QCOMPARE(glyphFamily(font, QStringLiteral("采集")).toLower(), QStringLiteral("wenquanyi micro hei"));
        }
    }
#endif
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
