#pragma once
// A CP932 byte limit for one-line edits: what the user types, pastes, drops or
// commits from an input method is cut to fit and may only hold characters
// CP932 can encode. What is left out is said for a few seconds (see
// InputNotice.h). Text the program puts in with setText() stays as it is.

#include <QString>

class QLineEdit;

// The words for what an edit left out: the characters without a CP932 code
// (named unless hidden, as in a password field), and how many characters did
// not fit in maxBytes. Empty when nothing was.
QString DroppedInputText(const QString& unencodable, int cutCharacters, int maxBytes, bool hidden = false);

// Installs the limit as the edit's validator (replacing any earlier one), and
// the application's guard against cancelled compositions (InputMethodGuard.h).
// maxBytes counts CP932 bytes: 13 double-byte characters fill 26 bytes.
void LimitBytes(QLineEdit* edit, int maxBytes);
