#pragma once
// Up and Down in a one-line edit recall the lines sent from it this run.

#include "InputHistory.h"

#include <QObject>

class QLineEdit;

class InputHistoryFilter : public QObject {
    Q_OBJECT
public:
    // Watches edit and lives as its child.
    explicit InputHistoryFilter(QLineEdit* edit);

    // The edit's text was sent.
    void Sent(const QString& text);
    // Forgets every line sent and any browsing.
    void Clear() { Lines = InputHistory{}; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* Edit;
    InputHistory Lines;
};
