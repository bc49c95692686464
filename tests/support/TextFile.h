#pragma once
// What a file the program writes in text mode holds for a text: the
// platform's line end, CR LF on Windows, LF elsewhere.

#include <QByteArray>
#include <QtGlobal>

inline QByteArray asTextFile(QByteArray text)
{
#ifdef Q_OS_WIN
    text.replace("\n", "\r\n");
#endif
    return text;
}
