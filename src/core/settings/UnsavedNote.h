#pragma once
// A settings file that could not be saved at exit is said at the next start:
// the program ends without waiting for anyone (a logout, a signal), so the
// reason is kept in a note of its own under $XDG_STATE_HOME/kvchat (the
// settings file's own folder may be the thing that failed).

#include <optional>
#include <string>

// Keeps reason for settingsFile; false when the note cannot be written either.
bool WriteUnsavedNote(const std::string& settingsFile, const std::string& reason);
// The reason kept for settingsFile, if any; the note is removed.
std::optional<std::string> TakeUnsavedNote(const std::string& settingsFile);
