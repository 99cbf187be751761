#pragma once
// A CP932 byte limit for one-line edits: what the user types, pastes, drops or
// commits from an input method is cut to fit and may only hold characters
// CP932 can encode. Text the program puts in with setText() stays as it is.

class QLineEdit;

// Installs the limit as the edit's validator (replacing any earlier one).
// maxBytes counts CP932 bytes: 13 double-byte characters fill 26 bytes.
void LimitBytes(QLineEdit* edit, int maxBytes);
