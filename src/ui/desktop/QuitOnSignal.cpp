#include "QuitOnSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

int signalWriteFd = -1;
// From the first signal, the windows have this long to close and save.
constexpr suseconds_t ExitDeadlineUs = 1'800'000;

void OnDeadline(int)
{
    static constexpr char Text[] = "kvchat: 終了が間に合わないため打ち切りました\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, Text, sizeof Text - 1);
    ::_exit(1);
}

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalWriteFd, &byte, 1);
}

}  // namespace

QuitOnSignal::QuitOnSignal()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0)
        return;
    signalWriteFd = fds_[0];
    notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitOnSignal::onSignal);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction old {};
        // Whoever started us with the signal ignored (nohup, a shell's trap) meant it.
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        if (::sigaction(signal, &action, nullptr) == 0)
            caught_.push_back(signal);
    }
}

QuitOnSignal::~QuitOnSignal()
{
    for (const int signal : caught_)
        std::signal(signal, SIG_DFL);
    notifier_.reset();
    signalWriteFd = -1;
    for (const int fd : fds_)
        if (fd >= 0)
            ::close(fd);
}

void QuitOnSignal::onSignal()
{
    char bytes[16];
    while (::read(fds_[1], bytes, sizeof bytes) > 0) {
    }
    if (!requested_) {
        // Whatever still runs after the loops end (a box, a stuck disk) must not keep the program.
        struct sigaction action {};
        action.sa_handler = OnDeadline;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGALRM, &action, nullptr);
        itimerval deadline {};
        deadline.it_value.tv_sec = ExitDeadlineUs / 1'000'000;
        deadline.it_value.tv_usec = ExitDeadlineUs % 1'000'000;
        ::setitimer(ITIMER_REAL, &deadline, nullptr);
    }
    requested_ = true;
    // Every event loop ends, a modal dialog's included, then the main window closes.
    QCoreApplication::exit(0);
}
