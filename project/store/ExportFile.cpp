#include "ExportFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

namespace {

ExportTemporaryFileGate s_temporaryFileGate;

bool failWith(QString* errorText, const QString& why)
{
    if (errorText)
        *errorText = why;
    return false;
}

// An existing file that this process may write: one a folder without room
// for a temporary file still lets it overwrite.
bool writableInPlace(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile() && info.isWritable();
}

bool writeInPlace(const QString& path, const std::function<void(QTextStream&)>& writer, QString* errorText)
{
    // The whole text is made in the system's temporary folder before the
    // target is touched, so a writer that fails leaves the older file as it
    // was, and a season's export never has to fit in memory.
    QTemporaryFile text(QDir(QDir::tempPath()).filePath(QStringLiteral("vodez-export-XXXXXX")));
    if (!text.open())
        return failWith(errorText, text.errorString());
    QTextStream out(&text);
    out.setCodec("UTF-8");
    if (writer)
        writer(out);
    out.flush();
    if (out.status() != QTextStream::Ok || !text.flush() || !text.seek(0))
        return failWith(errorText, QStringLiteral("the text of the export could not be made"));

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return failWith(errorText, file.errorString());
    QByteArray chunk;
    while (!(chunk = text.read(1 << 20)).isEmpty()) {
        if (file.write(chunk) != chunk.size())
            return failWith(errorText, file.errorString());
    }
    if (text.error() != QFileDevice::NoError)
        return failWith(errorText, text.errorString());
    if (!file.flush())
        return failWith(errorText, file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        return failWith(errorText, file.errorString());
    return true;
}

} // namespace

void SetExportTemporaryFileGate(ExportTemporaryFileGate gate)
{
    s_temporaryFileGate = std::move(gate);
}

bool WriteExportFile(const QString& path, const std::function<void(QTextStream&)>& writer, QString* errorText)
{
    QSaveFile file(path);
    const QString folder = QFileInfo(path).absolutePath();
    const bool temporaryAllowed = !s_temporaryFileGate || s_temporaryFileGate(folder);
    if (!temporaryAllowed || !file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        // Only a folder that refuses new files sends the text straight into
        // the target; any other failure to make the temporary file (a folder
        // gone, no space) keeps the older file whole.
        const bool folderRefusesNewFiles = !temporaryAllowed || !QFileInfo(folder).isWritable();
        if (folderRefusesNewFiles && writableInPlace(path))
            return writeInPlace(path, writer, errorText);
        return failWith(errorText, temporaryAllowed ? file.errorString()
                                                    : QStringLiteral("no temporary file may be made in %1").arg(folder));
    }

    QTextStream out(&file);
    out.setCodec("UTF-8");
    if (writer)
        writer(out);
    out.flush();
    if (out.status() != QTextStream::Ok) {
        const QString why = file.errorString();
        file.cancelWriting();
        file.commit();   // only removes the temporary file
        return failWith(errorText, why);
    }
    if (!file.commit())
        return failWith(errorText, file.errorString());
    return true;
}
