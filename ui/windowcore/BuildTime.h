#pragma once

#include <QDateTime>
#include <QString>

// Build date and time of the program (local time).
QDateTime GetBuildDateTime();

// The same from the compiler's texts: date as "Sep 17 2025" (a day below 10
// padded with a blank) and time as "14:55:14". Invalid when they do not parse.
QDateTime buildDateTimeFrom(const QString& compilerDate, const QString& compilerTime);
