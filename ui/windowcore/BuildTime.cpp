#include "BuildTime.h"

#include <QLocale>

QDateTime buildDateTimeFrom(const QString& compilerDate, const QString& compilerTime)
{
    QString text = compilerDate;
    text.replace(QLatin1String("  "), QLatin1String(" 0"));
    text += compilerTime;
    // Month names are the compiler's English ones whatever the user's locale.
    return QLocale(QLocale::English, QLocale::AnyCountry)
        .toDateTime(text, QStringLiteral("MMM dd yyyyhh:mm:ss"));
}

QDateTime GetBuildDateTime()
{
    return buildDateTimeFrom(QStringLiteral(__DATE__), QStringLiteral(__TIME__));
}
