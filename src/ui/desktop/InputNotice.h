#pragma once
// A short word to the user about their input, said where they are looking: in the
// status bar of a main window, otherwise on a label laid over the dialog just
// below the field. Either goes away by itself after a few seconds, a dialog's
// also when the dialog closes.

#include <QString>

class QWidget;

inline constexpr int InputNoticeMs = 5000;

// widget: the control the notice is about; its window says it.
void ShowInputNotice(QWidget* widget, const QString& text);

// The line a dialog shows, or null when none was made.
class QLabel;
QLabel* InputNoticeLabel(QWidget* window);
