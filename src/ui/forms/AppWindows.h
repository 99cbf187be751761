#pragma once
// Creates the program's windows once, in their fixed order, as global instances.

#include <memory>
#include <string>

class TFormMain;

// The main window first (its creation reads the settings), then the dialogs and the
// board, which belong to it. settingsPath: empty means the file beside the executable.
std::unique_ptr<TFormMain> CreateApplicationWindows(const std::string& settingsPath = {});

// Clears the global instances after the main window (and with it the others) is gone.
void ForgetApplicationWindows();
