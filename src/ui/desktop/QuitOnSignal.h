#pragma once
// Ends the message loop on SIGTERM, SIGINT or SIGHUP (a desktop session logging
// out, Ctrl+C in a terminal), so the windows close the ordinary way and the
// settings are saved. The handler only writes a byte to a pipe; the GUI thread
// does the rest.

#include <QObject>

#include <memory>

class QSocketNotifier;

class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    QuitOnSignal();
    ~QuitOnSignal() override;

private:
    void onSignal();

    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};
