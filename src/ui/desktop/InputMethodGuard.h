#pragma once
// Keeps a composition the user cancelled out of a one-line edit. With ibus on
// some toolkit versions, Esc clears the composition on screen but the input
// context keeps its text, and commits it on the next Enter or change of focus:
// text the user threw away would be sent. The guard drops a commit that only
// repeats a cancelled composition once the user has pressed a key or clicked
// since; an input method that clears and commits in one go (no user input
// between) and every ordinary commit pass untouched.

#include <QObject>
#include <QPointer>
#include <QString>

class QLineEdit;
class QWindow;

class InputMethodGuard : public QObject {
    Q_OBJECT
public:
    // Watches edit and lives as its child; a second call for the same edit does nothing.
    static void Install(QLineEdit* edit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit InputMethodGuard(QLineEdit* edit);
    void watchWindow();

    QLineEdit* edit_;
    QPointer<QWindow> window_;   // its clicks count as the user's input too
    QString shown_;       // the composition on screen
    QString cancelled_;   // a composition cleared without a commit
    bool acted_ = false;  // the user pressed a key or clicked since it was cleared
};
