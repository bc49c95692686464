#pragma once
// Writing an export to a file so that it either lands whole or not at all.
//
// The text goes to a temporary file next to the target, which replaces the
// target only when every byte was written; a full disk, a read-only folder or
// any other write error leaves an older file of that name as it was and is
// reported as failure.

#include <QString>
#include <QTextStream>

#include <functional>

// Progress of an export: blocks written so far, out of total.
using ExportProgress = std::function<void(int written, int total)>;

// Runs writer on a UTF-8 text stream and puts the result at path. False when
// the file could not be created, written or put in place; *errorText (when
// given) then says why.
bool WriteExportFile(const QString& path, const std::function<void(QTextStream&)>& writer,
                     QString* errorText = nullptr);
