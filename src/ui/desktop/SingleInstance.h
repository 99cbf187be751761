#pragma once
// One running program per settings file. The first start on a file holds a lock
// and listens on a local socket, both named after the file's canonical path, in
// $XDG_RUNTIME_DIR (else in a folder of the user's own under the temporary
// folder). A later start on the same file asks that program to bring its window
// to the front and ends. Another settings file (another account) runs side by side.

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // settingsFile: the file this run uses; its folder exists already.
    explicit SingleInstance(const std::string& settingsFile, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Another program runs on the same settings file.
    bool OtherRuns() const { return otherRuns_; }
    // Asks that program to come to the front, handing it this start's
    // activation token; false when it did not answer in time. giveUp is asked
    // between short waits, with this thread's events handled (a signal's
    // notifier among them): true ends the wait at once.
    bool AskOtherToRaise(int timeoutMs, const std::function<bool()>& giveUp) const;

    // "<folder>/kvchat-<hash>", the name both files start with; empty when no
    // private folder was found (the program then runs without the check).
    static QString BaseName(const std::string& settingsFile);

signals:
    // A later start asked for the window; token: its desktop activation token, if any.
    void RaiseRequested(const QString& token);

private:
    void onConnection();

    QString base_;
    bool otherRuns_ = false;
    int lockFd_ = -1;   // holds the lock while this program runs
    QLocalServer* server_ = nullptr;
};

// Shows the window, restores it when minimized and asks the desktop to activate it.
class QWidget;
void BringToFront(QWidget* window, const QString& token);
