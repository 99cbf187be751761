#pragma once
// Ctrl+plus, Ctrl+minus and Ctrl+0 in a window, and Ctrl+wheel over the widgets
// it is given, ask for a larger, smaller or the usual text size.

#include <QObject>

class QWidget;

class ZoomKeys : public QObject {
    Q_OBJECT
public:
    // The keys work anywhere in window; lives as its child.
    explicit ZoomKeys(QWidget* window);
    // Ctrl+wheel over widget (for a scroll area, its viewport) zooms too.
    void Watch(QWidget* widget);

signals:
    // +1 larger, -1 smaller, 0 back to the usual size.
    void Zoom(int direction);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int wheelRest_ = 0;   // eighths of a degree not yet turned into a step (fine-grained wheels)
};
