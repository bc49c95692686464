// Start-up steps between the application object and the main window: the
// icon from the working directory, UTF-8 for locale text, and on Linux the
// fonts the window names.
#include "Startup.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QRawFont>
#include <QTextCodec>
#include <QTextLayout>
#include <QtTest>

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
