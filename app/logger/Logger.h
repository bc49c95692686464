#pragma once
// A message handler that writes every debug, warning, critical and fatal
// message with its level and time to "./log/log_yyMMdd.txt" and echoes it to
// standard output; informational messages are dropped. The program offers it
// but does not install it.

#include <QString>
#include <QtGlobal>

void installLogger();
void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);
void logToFile(const QString& line);
void logToConsole(const QString& line);
