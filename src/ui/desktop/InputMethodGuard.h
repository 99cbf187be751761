#pragma once
// Keeps a composition the user cancelled out of every text field of every
// window. With ibus on some toolkit versions, Esc clears the composition on
// screen but the input context keeps its text, and commits it on the next
// Enter, click or change of focus: text the user threw away would be sent.
// One filter on the application sees every key, click and change of focus,
// native child windows and dialogs included, and drops a commit that only
// repeats a cancelled composition once any of those came since. An input
// method that clears and commits in one go (nothing between) and every
// ordinary commit pass untouched; the event loop running in between counts
// as something coming between.

#include <QObject>
#include <QString>

class InputMethodGuard : public QObject {
    Q_OBJECT
public:
    // Installs the one guard of the application; later calls do nothing.
    static void Install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit InputMethodGuard(QObject* application);

    QString shown_;       // the composition on screen
    QString cancelled_;   // a composition cleared without a commit
    bool acted_ = false;  // the user or the focus moved since it was cleared
    unsigned clears_ = 0; // counts clears, so a late look at an old one does nothing
};
