// The real client window as the window benchmarks set it up, and their small tools.
#pragma once

#include "Unitmain.h"

#include <QString>

#include <functional>
#include <string>
#include <memory>
#include <vector>

// Before the application object: the offscreen platform unless one is chosen.
void UseOffscreenPlatformUnlessSet();
// After it: the form font and its substitutions, as the program sets them.
void UseFormFont();
// The application's windows on the settings file, shown without the first
// activation's connect dialog; prepare runs before the window is shown.
std::unique_ptr<TFormMain> OpenBenchWindow(const QString& settingsPath,
                                           const std::function<void(TFormMain&)>& prepare = {});
// The server the log benchmarks' rooms are logged under (use as OpenBenchWindow's prepare).
void AimAtBenchServer(TFormMain& window);
// That server's folder in the window's logs folder, made if missing.
std::string BenchServerLogFolder(const TFormMain& window);
// Runs the event loop for a while, as the program's loop would between floods.
void Settle(int ms);
double Median(std::vector<double> values);
