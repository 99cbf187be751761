#pragma once
// The program's start between its command line and its message loop: what the
// user is told about the settings file, then the windows.

#include <functional>
#include <memory>

struct AppLocations;
class TFormMain;

// Prepares the settings file (its folders, a first start's copy) and says in a
// box what the user must know before any window: a folder that cannot be made,
// a settings file beside the program that is not the one used. Then creates
// the windows on the settings file, with the logs in locations' folder unless
// the settings name one. quitRequested is asked after every box: a signal that
// came while one was open ends the start there, and null is returned.
std::unique_ptr<TFormMain> OpenApplicationWindows(const AppLocations& locations,
                                                  const std::function<bool()>& quitRequested);
