#pragma once
// One running program per settings file. The first start on a file holds a lock
// and listens on a local socket, both named after the file itself (its path with
// every link followed, a dangling one too), in every folder of the user's own it
// finds: $XDG_RUNTIME_DIR, /run/user/<uid> and /tmp/kvchat-<uid>. The last of
// these is found whatever the environment says, so a start with a runtime folder
// and one without still meet. A later start on the same file asks that program
// to bring its window to the front and ends; a start that finds no folder of its
// own is refused rather than run unchecked. The files go when the program ends.
// Another settings file (another account) runs side by side.

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // Where the lock may live; empty parts are not looked at.
    struct Places {
        std::string runtime;       // $XDG_RUNTIME_DIR
        std::string userRuntime;   // /run/user/<uid>
        std::string temp;          // /tmp, where kvchat-<uid> is made
    };
    static Places SystemPlaces();
    enum class State { Alone, OtherRuns, Refused };

    // settingsFile: the file this run uses (bytes as the system spells them).
    explicit SingleInstance(const std::string& settingsFile, QObject* parent = nullptr);
    SingleInstance(const std::string& settingsFile, const Places& places, QObject* parent = nullptr);
    ~SingleInstance() override;

    State Result() const { return state_; }
    // Another program runs on the same settings file.
    bool OtherRuns() const { return state_ == State::OtherRuns; }
    // Why the start was refused, for the user.
    QString Problem() const { return problem_; }
    // Asks that program to come to the front, handing it this start's
    // activation token; false when it did not answer in time. giveUp is asked
    // between short waits, with this thread's events handled (a signal's
    // notifier among them): true ends the wait at once.
    bool AskOtherToRaise(int timeoutMs, const std::function<bool()>& giveUp) const;

signals:
    // A later start asked for the window; token: its desktop activation token, if any.
    void RaiseRequested(const QString& token);

private:
    void onConnection(QLocalServer* server);

    struct Held {
        std::string lockFile;
        int fd = -1;   // holds the lock while this program runs
        QLocalServer* server = nullptr;
    };
    bool take(const std::string& base);
    void release();

    State state_ = State::Alone;
    QString problem_;
    QString otherSocket_;   // where the program that runs listens
    std::vector<Held> held_;
    std::string madeFolder_;   // the kvchat-<uid> folder, removed at the end when empty
};

// Shows the window, restores it when minimized and asks the desktop to activate it.
class QWidget;
void BringToFront(QWidget* window, const QString& token);
