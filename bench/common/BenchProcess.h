#pragma once
// What the project-file benchmarks measure of their own process, and the
// start they share: headless, prompts answered negatively, the statement
// log off, the persistent classes and resources registered.

#include "DataClasses.h"
#include "HeadlessPrompt.h"
#include "Resources.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QLoggingCategory>
#include <QString>

namespace benchproject {

// A line of /proc/self/status in kB: "VmRSS" (resident now) or "VmHWM"
// (its peak).
inline qint64 statusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Bytes this process has read through read calls so far: what SQLite asked
// of the file, page cache or not.
inline qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

class BenchApplication
{
public:
    BenchApplication(int& argc, char** argv) : m_app(offscreen(argc), argv)
    {
        QLoggingCategory::setFilterRules(QStringLiteral("vodez.orm.sql.debug=false"));
        initDataClasses();
        initVodezResources();
    }

private:
    // Without a platform asked for, the offscreen one.
    static int& offscreen(int& argc)
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return argc;
    }

    QApplication m_app;
    HeadlessPrompt m_prompt;
};

} // namespace benchproject
