#pragma once
// Loads the system's font configuration on a second thread while the toolkit
// connects to the display, so that the first text measured by the windows
// does not have to wait for it.

#include <thread>

class FontConfigPrewarm {
public:
    // Starts loading; call before the application object is constructed.
    FontConfigPrewarm();
    // Waits for the load to end; call before any window measures text.
    void Wait();
    ~FontConfigPrewarm() { Wait(); }

    FontConfigPrewarm(const FontConfigPrewarm&) = delete;
    FontConfigPrewarm& operator=(const FontConfigPrewarm&) = delete;

private:
    std::thread loader_;
};
