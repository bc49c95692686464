#include "ExportFile.h"

#include <QSaveFile>

bool WriteExportFile(const QString& path, const std::function<void(QTextStream&)>& writer, QString* errorText)
{
    auto fail = [errorText](const QString& why) {
        if (errorText)
            *errorText = why;
        return false;
    };

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return fail(file.errorString());

    QTextStream out(&file);
    out.setCodec("UTF-8");
    if (writer)
        writer(out);
    out.flush();
    if (out.status() != QTextStream::Ok) {
        const QString why = file.errorString();
        file.cancelWriting();
        file.commit();   // only removes the temporary file
        return fail(why);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
