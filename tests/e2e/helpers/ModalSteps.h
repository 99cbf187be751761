#pragma once
// Drives a modal dialog from a test: the steps run inside the dialog's own
// message loop once it is the active modal window.

#include <QString>
#include <QTimer>

#include <functional>

class QDialog;
class QWidget;

namespace e2e {

// Runs `steps` when `dialog` is next shown modally. A dialog that the steps
// leave open is closed as its close box would close it, so a test never hangs;
// LeftOpen() tells that it happened.
class ModalSteps {
public:
    ModalSteps(QDialog& dialog, std::function<void()> steps);
    ~ModalSteps();
    ModalSteps(const ModalSteps&) = delete;
    ModalSteps& operator=(const ModalSteps&) = delete;

    bool Ran() const { return ran_; }
    bool LeftOpen() const { return leftOpen_; }
    // Ran, and the steps themselves ended the dialog.
    bool Finished() const { return ran_ && !leftOpen_; }

private:
    void Poll();

    QDialog& dialog_;
    std::function<void()> steps_;
    QTimer timer_;
    bool ran_ = false;
    bool leftOpen_ = false;
};

// Types `text` character by character as key presses carrying the character,
// as a keyboard or an input method delivers it (QTest::keyClicks cannot send
// Japanese text).
void TypeText(QWidget* target, const QString& text);

}  // namespace e2e
