#pragma once
// Writing an export to a file so that it either lands whole or not at all.
//
// The text goes to a temporary file next to the target, which replaces the
// target only when every byte was written; a full disk or any other write
// error leaves an older file of that name as it was and is reported as
// failure. A folder that holds no new file but lets the target itself be
// overwritten gets the text written straight into the target instead, once
// it has all been made: the room the new text needs beyond the older file is
// written and synced first, so a full disk leaves the older file as it was
// there too; and a write that fails over the older text (an I/O error, a
// stick pulled) has the older file put back from a copy. Only where putting
// it back fails as well is the older file lost, and that is said.
//
// Both roads write through a device opened in text mode, so they write the
// same line ends.

#include <QFile>
#include <QIODevice>
#include <QString>
#include <QTextStream>

#include <functional>

// Why an export was not written.
enum class ExportFailure
{
    None,
    // The file (or the temporary file beside it) could not be opened.
    CannotOpen,
    // The disk had no room for the text.
    DiskFull,
    // Any other failure to write or put the file in place.
    WriteFailed,
    // The project file could not be read (another program holds it locked,
    // a damaged page): nothing is written over data that were not read.
    ProjectUnreadable,
    // A buffer the export needs could not be had.
    NoMemory,
    // On the road without a temporary file a write failed over the older
    // file, and putting the older file back failed too: the file is now
    // neither the older one nor the new one.
    OlderFileDamaged,
};

struct ExportStatus
{
    ExportFailure failure = ExportFailure::None;
    QString detail;   // the system's or SQLite's own words

    bool ok() const { return failure == ExportFailure::None; }
    static ExportStatus failed(ExportFailure failure, const QString& detail)
    {
        ExportStatus s;
        s.failure = failure;
        s.detail = detail;
        return s;
    }
};

// Progress of an export: blocks written so far, out of total.
using ExportProgress = std::function<void(int written, int total)>;

// Writes an export into a stream; a status that is not ok stops the export.
using ExportWriter = std::function<ExportStatus(QTextStream&)>;

// Runs writer on a UTF-8 text stream and puts the result at path. False when
// the text could not be made or the file could not be created, written or
// put in place; *status (when given) then says why.
bool WriteExportFile(const QString& path, const ExportWriter& writer, ExportStatus* status = nullptr);

// Writes all of size bytes into device, again after a short write, so that
// a disk that fills up part way reports its own error (a short write
// reports none). False when a write failed.
inline bool WriteWhole(QIODevice& device, const char* data, qint64 size)
{
    while (size > 0) {
        const qint64 n = device.write(data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// Whether a temporary file may be made in a folder, asked before the folder
// itself is tried; an empty function (the default) leaves it to the folder.
// Tests refuse it to take the road of a folder without the right to create
// files, which a process that may write anywhere never meets.
using ExportTemporaryFileGate = std::function<bool(const QString& folder)>;
void SetExportTemporaryFileGate(ExportTemporaryFileGate gate);

// How bytes go into the target on that road (size bytes at the file's
// position); an empty function (the default) writes them into the file.
// Tests give one that fails part way, as on a full disk or one with an I/O
// error.
using ExportTargetWrite = std::function<ExportStatus(QFile& file, const char* data, qint64 size)>;
void SetExportTargetWrite(ExportTargetWrite write);

// How the target is sent on to the disk on that road; an empty function (the
// default) syncs the file. Tests give one that fails as on a disk with an I/O
// error.
using ExportTargetSync = std::function<ExportStatus(QFile& file)>;
void SetExportTargetSync(ExportTargetSync sync);

// What a failed write to a file says: a full disk, or another failure.
ExportStatus ExportWriteFailure(const QFileDevice& file);

// The most bytes of stored arrays an export holds for one sounding or block
// at once: what one byte array can hold. Tests set a small one to meet the
// limit with a small file; 0 restores the default.
qint64 ExportBufferLimit();
void SetExportBufferLimit(qint64 bytes);
