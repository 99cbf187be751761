#pragma once
// Creates the program's windows once, in their fixed order, as global instances.

#include <memory>
#include <string>

class TFormMain;

// The main window first (its creation reads the settings), then the dialogs and the
// board, which belong to it. settingsPath: empty means the file beside the executable.
// defaultLogFolder: where the logs go unless the settings name a folder; empty
// means "logs" beside the settings file.
std::unique_ptr<TFormMain> CreateApplicationWindows(const std::string& settingsPath = {},
                                                    const std::string& defaultLogFolder = {});

// Clears the global instances after the main window (and with it the others) is gone.
void ForgetApplicationWindows();
