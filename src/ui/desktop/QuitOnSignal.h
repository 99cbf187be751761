#pragma once
// Ends the message loop on SIGTERM, SIGINT or SIGHUP (a desktop session logging
// out, Ctrl+C in a terminal), so the windows close the ordinary way and the
// settings are saved. The handler only writes a byte to a pipe; the GUI thread
// does the rest. A signal that was ignored when the program started (SIGHUP
// under nohup) stays ignored.

#include <QObject>

#include <memory>
#include <vector>

class QSocketNotifier;

class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    QuitOnSignal();
    ~QuitOnSignal() override;

    // Whether a signal asked the program to end. A signal that came while a
    // box before the message loop was open ended only that box's loop: the
    // start looks here before it goes on.
    bool Requested() const { return requested_; }

private:
    void onSignal();

    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    bool requested_ = false;
    // The signals whose handler this object installed.
    std::vector<int> caught_;
};
