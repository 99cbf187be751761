#pragma once
// Keeps a window from opening under a window that stays on top of the others
// (the formation board): window managers put a stay-on-top window above every
// ordinary one, so a dialog owned by the main window would open hidden behind it.

class QWidget;

// Call before showing `window`. While a stay-on-top window is on screen, `window`
// stays on top too and belongs to that window, so the window manager keeps it
// above; otherwise it goes back to its owner as before.
void KeepAboveOnTopWindows(QWidget& window);

// The visible stay-on-top window other than `except`, or nullptr.
QWidget* OnTopWindow(const QWidget* except = nullptr);
