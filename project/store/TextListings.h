#pragma once
// Three plain-text listings of an open project, written into a stream the
// caller provides (WriteExportFile puts one in a file, whole or not at all):
//   - the detailed dump of lines, points and either every sample's processed
//     decay or every point's stacked decay;
//   - the notes of lines, points and samples as an indented tree;
//   - the start time of every point, line by line.
// Only lines in use are listed. Sample columns are read through the calling
// thread's connection, each sample's row once, in one read transaction.

#include "ExportFile.h"

#include "Data_Line.h"
#include "Data_Project.h"

#include <QString>
#include <QTextStream>
#include <QVector>

#include <memory>

namespace TextListings {

struct DumpOptions
{
    // 1: every used sample with its processed curve; 0: every point with its
    // stacked curve; anything else: only the line and point headers.
    int depth = 0;
    // The coil values printed with every block.
    st_ProjectConfig config;
    // Read the received values divided by each sample's own current.
    bool divI = false;
};

// Each stops at the first row that cannot be read (or, for the dump, block
// that cannot be held in memory) and says why; what it wrote into out until
// then is not the whole listing.

// The detailed dump. Self-check points are not listed. progress runs after
// every sample block (depth 1) or point block (depth 0) with (blocks so far,
// total); total counts every point of the lines in use at depth 0, else every
// sample of their points in use.
ExportStatus WriteData(QTextStream& out, const QVector<std::shared_ptr<Data_Line> >& lines,
                       const DumpOptions& options, const ExportProgress& progress = ExportProgress());
// The notes tree; each sample's note is read from the file first.
ExportStatus WriteLog(QTextStream& out, const QVector<std::shared_ptr<Data_Line> >& lines);
// The start time of every point in use.
ExportStatus WritePointTime(QTextStream& out, const QVector<std::shared_ptr<Data_Line> >& lines);

} // namespace TextListings
