#include "Startup.h"

#include "OrmDatabase.h"

#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QTextCodec>
#include <QThreadPool>

namespace {

#ifdef Q_OS_LINUX
// Debian's fonts-wine ships a free Marlett outside fontconfig's path.
const char* const kMarlettFiles[] = {
    "/usr/share/wine/fonts/marlett.ttf",
    "/usr/share/fonts/truetype/wine/marlett.ttf",
};
#endif

} // namespace

void prepareFonts()
{
#ifdef Q_OS_LINUX
    if (!QFontDatabase().families().contains(QStringLiteral("Marlett"))) {
        for (const char* file : kMarlettFiles) {
            if (QFontDatabase::addApplicationFont(QString::fromLatin1(file)) >= 0)
                break;
        }
    }
    const QString cjk = QStringLiteral("WenQuanYi Micro Hei");
    for (const QString& family : {QStringLiteral("Microsoft YaHei"), QStringLiteral("微软雅黑"),
                                  QStringLiteral("SIMSUN"), QStringLiteral("SimSun")})
        QFont::insertSubstitution(family, cjk);
#endif
}

void prepareApplication(QApplication& app)
{
    Q_UNUSED(app);
    QApplication::setWindowIcon(QIcon(QStringLiteral("VODEZ.ico")));
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    prepareFonts();
}

void finishApplication()
{
    QThreadPool::globalInstance()->waitForDone();
    orm::Database::closeAllDatabases();
}
