#pragma once
// Writing an export to a file so that it either lands whole or not at all.
//
// The text goes to a temporary file next to the target, which replaces the
// target only when every byte was written; a full disk or any other write
// error leaves an older file of that name as it was and is reported as
// failure. A folder that holds no new file but lets the target itself be
// overwritten gets the text written straight into the target instead, once
// it has all been made: there a failing disk can leave the target half
// written, which no other road can avoid.

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

// Whether a temporary file may be made in a folder, asked before the folder
// itself is tried; an empty function (the default) leaves it to the folder.
// Tests refuse it to take the road of a folder without the right to create
// files, which a process that may write anywhere never meets.
using ExportTemporaryFileGate = std::function<bool(const QString& folder)>;
void SetExportTemporaryFileGate(ExportTemporaryFileGate gate);
