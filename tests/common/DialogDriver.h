#pragma once
// Drives the program's modal dialogs from tests. The steps run inside the
// dialog's own message loop; error boxes and shell calls are recorded instead
// of being shown.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QDialog;
class QMessageBox;
class QWidget;

namespace DialogDriver {

// Runs `steps` once `dialog` is shown modally (by the next exec()). A dialog
// the steps leave open is then closed as its close box would close it, so a
// test cannot hang; LeftOpen() tells that it happened.
class ModalSteps {
public:
    ModalSteps(QDialog& dialog, std::function<void()> steps);
    ~ModalSteps();
    ModalSteps(const ModalSteps&) = delete;
    ModalSteps& operator=(const ModalSteps&) = delete;

    bool Ran() const { return ran; }
    bool LeftOpen() const { return leftOpen; }
    // Ran, and the steps themselves ended the dialog.
    bool Finished() const { return ran && !leftOpen; }

private:
    void Run();

    QDialog& dialog;
    std::function<void()> steps;
    QTimer timer;
    bool ran = false;
    bool leftOpen = false;
};

// Types `text` character by character as key presses, so non-Latin text
// (which QTest::keyClicks cannot send) reaches the widget as typing does.
void TypeText(QWidget* target, const QString& text);

// Presses `key` where the dialog's keyboard focus is (the dialog itself when
// no child has it).
void PressKey(QDialog& dialog, Qt::Key key);

// The widgets that Tab visits, in order, starting from the dialog.
QList<QWidget*> TabOrder(QDialog& dialog);

// The message boxes on screen now (real ones, not intercepted).
QList<QMessageBox*> VisibleMessageBoxes();

// Collects the error boxes shown while it lives.
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    const QStringList& Texts() const { return texts; }
    const QStringList& Captions() const { return captions; }

private:
    QStringList texts;
    QStringList captions;
};

// Collects the addresses handed to the desktop shell while it lives.
class ShellRecorder {
public:
    ShellRecorder();
    ~ShellRecorder();
    ShellRecorder(const ShellRecorder&) = delete;
    ShellRecorder& operator=(const ShellRecorder&) = delete;

    const QStringList& Addresses() const { return addresses; }

private:
    QStringList addresses;
};

}  // namespace DialogDriver
