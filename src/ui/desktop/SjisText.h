#pragma once
// The GUI's edge of the text model: windows hold QString, everything else holds
// Shift-JIS (CP932) bytes.

#include <QString>

#include <string>
#include <string_view>

// Bytes that are not valid CP932 show as U+FFFD.
QString FromSjis(std::string_view bytes);

// A character without a CP932 code becomes '?'. Texts of limited edits never
// hold one, so this only matters for text that did not come from the user.
std::string ToSjis(const QString& text);

bool CanEncodeSjis(const QString& text);

// The CP932 byte count, or -1 when the text holds a character without a code.
int SjisByteLength(const QString& text);
