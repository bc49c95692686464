#pragma once
// The USF ("Universal Sounding Format") text of every stored sounding of a
// project: a file header, then per sounding its header lines and its decay
// table (time, voltage per ampere of transmitter current, error bar).
//
// A point is a sounding when its line and the point itself are in use and
// it holds at least one sample (used or not). Lines and points are written
// in the order given.

#include "ExportFile.h"

#include "Data_Line.h"

#include <QDateTime>

#include <QString>
#include <QTextStream>
#include <QVector>

#include <memory>

namespace UsfExport {

// Number of soundings the export writes for these lines.
int CountSoundings(const QVector<std::shared_ptr<Data_Line> >& lines);

// Writes the export into out (its formatting is reset first and left at the
// defaults). progress runs after every line in use with (soundings written,
// total). divI: the stored decays are read divided by each sample's own
// current, so they are already per ampere and are not divided again.
// Reads each sample's columns once through the calling thread's connection,
// in one read transaction, and leaves each written point's samples light.
// Stops at the first row that cannot be read, or sounding that cannot be
// held in memory, and says why; what it wrote into out until then is not
// the whole export.
ExportStatus Write(QTextStream& out, const QVector<std::shared_ptr<Data_Line> >& lines, bool divI,
                   const ExportProgress& progress = ExportProgress());

// The number formats of the export.
// A plain number: what a text stream with default settings writes (6
// significant digits, the shorter of fixed and scientific, C locale).
QString Number(double x);
// "/DAYTIME:" value: hours since local midnight, 5 decimals; 0 when invalid.
QString DayTime(const QDateTime& start);
// The same of a local time of day in milliseconds.
QString DayTime(int msecsOfDay);
// "/RAMP_TIME:" value: the turn-off time given in microseconds, in seconds
// with 8 decimals.
QString RampTime(double offUs);
// One row of the decay table: index h (0-based, written from 1), time in
// microseconds (written in seconds), voltage divided by current (written as
// a magnitude), error bar in percent.
QString DataRow(int h, double timeUs, double value, double current, double errorBar);

} // namespace UsfExport
