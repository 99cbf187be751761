#pragma once
// Window bounds brought onto a screen: bounds saved on a larger screen or at a
// smaller scale factor must not leave a window out of reach.

#include <QRect>

// outer (a window's frame, in the desktop's coordinates) moved, and shrunk where
// it is larger, onto the available area of the screen it overlaps most (the
// primary screen when it overlaps none). Bounds at least half on a screen with
// their top edge on it stay as they are.
QRect FitOnScreen(const QRect& outer);
