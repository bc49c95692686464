#include "ExportFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <limits>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

ExportTemporaryFileGate s_temporaryFileGate;
ExportTargetWrite s_targetWrite;
ExportTargetSync s_targetSync;
qint64 s_bufferLimit = 0;

// What one byte array can hold, with room for its header.
const qint64 kDefaultBufferLimit = std::numeric_limits<int>::max() - 1024;

bool failWith(ExportStatus* status, const ExportStatus& why)
{
    if (status)
        *status = why;
    return false;
}

// Sends what was written to a file on to the disk. Some file systems only
// find at this point that there is no room; a file system that cannot sync
// is not a failure.
ExportStatus syncToDisk(QFile& file)
{
#ifdef Q_OS_WIN
    const bool synced = _commit(file.handle()) == 0;
#else
    const bool synced = ::fsync(file.handle()) == 0;
#endif
    if (synced)
        return ExportStatus();
    const int error = errno;
#ifdef EDQUOT
    if (error == EDQUOT)
        return ExportStatus::failed(ExportFailure::DiskFull, qt_error_string(error));
#endif
    if (error == ENOSPC)
        return ExportStatus::failed(ExportFailure::DiskFull, qt_error_string(error));
    if (error == EIO)
        return ExportStatus::failed(ExportFailure::WriteFailed, qt_error_string(error));
    return ExportStatus();
}

// An existing file that this process may write: one a folder without room
// for a temporary file still lets it overwrite.
bool writableInPlace(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile() && info.isWritable();
}

// Files are copied a piece of this size at a time, so that none of them has
// to fit in memory.
const qint64 kPiece = 1 << 20;

// Bytes from..to of source into file at the same offsets; into the export's
// target (`target`) through the tests' write where they give one. *reached
// (when given) is moved to the end of each piece before it is written, so
// that it covers every byte a failed write may have changed.
ExportStatus copyRange(QFile& source, qint64 from, qint64 to, QFile& file, qint64* reached = nullptr,
                       bool target = true)
{
    if (!source.seek(from))
        return ExportStatus::failed(ExportFailure::WriteFailed, source.errorString());
    if (!file.seek(from))
        return ExportWriteFailure(file);
    QByteArray chunk;
    for (qint64 at = from; at < to; at += chunk.size()) {
        chunk = source.read(std::min(kPiece, to - at));
        if (chunk.isEmpty())
            return ExportStatus::failed(ExportFailure::WriteFailed, source.errorString());
        if (reached)
            *reached = std::max(*reached, at + chunk.size());
        if (target && s_targetWrite) {
            const ExportStatus written = s_targetWrite(file, chunk.constData(), chunk.size());
            if (!written.ok())
                return written;
        } else if (!WriteWhole(file, chunk.constData(), chunk.size())) {
            return ExportWriteFailure(file);
        }
    }
    return ExportStatus();
}

ExportStatus syncTarget(QFile& file)
{
    return s_targetSync ? s_targetSync(file) : syncToDisk(file);
}

// The first size bytes of file, from its start, into copy.
ExportStatus keepCopy(QFile& file, qint64 size, QFile& copy)
{
    const ExportStatus copied = copyRange(file, 0, size, copy, nullptr, false);
    if (copied.ok() && !copy.flush())
        return ExportWriteFailure(copy);
    return copied;
}

// After a failed overwrite: the kept older bytes over the part the
// overwrite may have changed (from the start up to changed), the older
// length, and all of it sent on to the disk, which the overwrite may have
// reached. Not ok when that failed too.
ExportStatus putBack(QFile& file, QFile& kept, qint64 changed, qint64 older)
{
    if (!file.isOpen() && !file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return ExportStatus::failed(ExportFailure::WriteFailed, file.errorString());
    ExportStatus back = copyRange(kept, 0, changed, file);
    if (back.ok() && !file.resize(older))
        back = ExportWriteFailure(file);
    if (back.ok())
        back = syncTarget(file);
    file.close();
    if (back.ok() && file.error() != QFileDevice::NoError)
        back = ExportWriteFailure(file);
    return back;
}

// The older file could not be put back, for the reason back gives.
ExportStatus olderFileDamaged(const ExportStatus& back)
{
    return ExportStatus::failed(ExportFailure::OlderFileDamaged, back.detail);
}

bool writeInPlace(const QString& path, const ExportWriter& writer, ExportStatus* status)
{
    // The whole text is made in the system's temporary folder before the
    // target is touched, so a writer that fails leaves the older file as it
    // was, and a season's export never has to fit in memory. The text goes
    // through text mode, as on the other road; it is copied as it was
    // written.
    QTemporaryFile text(QDir(QDir::tempPath()).filePath(QStringLiteral("vodez-export-XXXXXX")));
    if (!text.open())
        return failWith(status, ExportStatus::failed(ExportFailure::CannotOpen, text.errorString()));
    text.setTextModeEnabled(true);
    {
        QTextStream out(&text);
        out.setCodec("UTF-8");
        const ExportStatus made = writer ? writer(out) : ExportStatus();
        if (!made.ok())
            return failWith(status, made);
        out.flush();
        if (out.status() != QTextStream::Ok || !text.flush())
            return failWith(status, ExportWriteFailure(text));
    }
    text.setTextModeEnabled(false);
    const qint64 size = text.size();

    QFile file(path);
    // Opened for reading too, so that it is not cut on opening; unbuffered,
    // so that a write that fails leaves nothing behind to go out later.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return failWith(status, ExportStatus::failed(ExportFailure::CannotOpen, file.errorString()));
    const qint64 older = file.size();
    // The older file is copied into the system's temporary folder too,
    // before the target is touched, and for the same reason as the text not
    // held in memory: a write that fails over the older text (an I/O error,
    // a stick pulled, a copy-on-write disk that is full) has the older file
    // put back from that copy. All of it is kept, as a shorter text cuts off
    // the rest.
    QTemporaryFile kept(QDir(QDir::tempPath()).filePath(QStringLiteral("vodez-older-XXXXXX")));
    if (!kept.open())
        return failWith(status, ExportStatus::failed(ExportFailure::CannotOpen, kept.errorString()));
    const ExportStatus keptWhole = keepCopy(file, older, kept);
    if (!keptWhole.ok())
        return failWith(status, keptWhole);
    // First the room the new text needs beyond the older one, with the end
    // of the new text written into it and sent on to the disk; where it does
    // not fit, the file is cut back to the older length, which it still
    // holds unchanged.
    if (size > older) {
        ExportStatus grown = copyRange(text, older, size, file);
        if (grown.ok())
            grown = syncTarget(file);
        if (!grown.ok()) {
            if (!file.resize(older))
                return failWith(status, olderFileDamaged(ExportWriteFailure(file)));
            return failWith(status, grown);
        }
    }
    // Then over the older text, from the start, on disk space the file
    // holds already.
    qint64 changed = 0;
    ExportStatus written = copyRange(text, 0, std::min(size, older), file, &changed);
    if (written.ok() && size < older) {
        changed = older;
        if (!file.resize(size))
            written = ExportWriteFailure(file);
    }
    if (written.ok())
        written = syncTarget(file);
    if (written.ok()) {
        file.close();
        if (file.error() != QFileDevice::NoError)
            written = ExportWriteFailure(file);
    }
    if (written.ok())
        return true;
    const ExportStatus back = putBack(file, kept, changed, older);
    return failWith(status, back.ok() ? written : olderFileDamaged(back));
}

} // namespace

void SetExportTemporaryFileGate(ExportTemporaryFileGate gate)
{
    s_temporaryFileGate = std::move(gate);
}

void SetExportTargetWrite(ExportTargetWrite write)
{
    s_targetWrite = std::move(write);
}

void SetExportTargetSync(ExportTargetSync sync)
{
    s_targetSync = std::move(sync);
}

// Qt reports a full disk as a resource error; on Windows every failed write
// is a write error, and only the system's text tells a full disk.
ExportStatus ExportWriteFailure(const QFileDevice& file)
{
    bool full = file.error() == QFileDevice::ResourceError;
#ifdef Q_OS_WIN
    full = full || (file.error() == QFileDevice::WriteError
                    && (file.errorString() == qt_error_string(ERROR_DISK_FULL)
                        || file.errorString() == qt_error_string(ERROR_HANDLE_DISK_FULL)));
#endif
    return ExportStatus::failed(full ? ExportFailure::DiskFull : ExportFailure::WriteFailed, file.errorString());
}

qint64 ExportBufferLimit()
{
    return s_bufferLimit > 0 ? s_bufferLimit : kDefaultBufferLimit;
}

void SetExportBufferLimit(qint64 bytes)
{
    s_bufferLimit = std::min(std::max<qint64>(bytes, 0), kDefaultBufferLimit);
}

bool WriteExportFile(const QString& path, const ExportWriter& writer, ExportStatus* status)
{
    QSaveFile file(path);
    const QString folder = QFileInfo(path).absolutePath();
    const bool temporaryAllowed = !s_temporaryFileGate || s_temporaryFileGate(folder);
    // Text mode, as the direct road's text is made in.
    if (!temporaryAllowed || !file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        // Only a folder that refuses new files sends the text straight into
        // the target; any other failure to make the temporary file (a folder
        // gone, no space) keeps the older file whole.
        const bool folderRefusesNewFiles = !temporaryAllowed || !QFileInfo(folder).isWritable();
        if (folderRefusesNewFiles && writableInPlace(path))
            return writeInPlace(path, writer, status);
        return failWith(status, ExportStatus::failed(ExportFailure::CannotOpen,
                                                     temporaryAllowed
                                                         ? file.errorString()
                                                         : QStringLiteral("no temporary file may be made in %1")
                                                               .arg(folder)));
    }

    QTextStream out(&file);
    out.setCodec("UTF-8");
    const ExportStatus made = writer ? writer(out) : ExportStatus();
    out.flush();
    if (!made.ok() || out.status() != QTextStream::Ok) {
        const ExportStatus why = made.ok() ? ExportWriteFailure(file) : made;
        file.cancelWriting();
        file.commit();   // only removes the temporary file
        return failWith(status, why);
    }
    if (!file.commit())
        return failWith(status, ExportWriteFailure(file));
    return true;
}
