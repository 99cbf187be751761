#pragma once
// Log lines of the server and the bots, one per event, on stderr.

#include <QString>

#include <string_view>

// A CP932 name made readable in a UTF-8 terminal.
QString PrintableText(std::string_view sjis);

void LogLine(const QString& line);
