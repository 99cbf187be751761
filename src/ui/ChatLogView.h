#pragma once
// A room's log: read-only, one coloured line per utterance, bounded scrollback.
// Lines that arrive close together are appended in one edit block before the next
// paint, so a flood costs one layout per batch instead of one per line.

#include <QColor>
#include <QPlainTextEdit>
#include <QString>
#include <QTimer>

#include <vector>

class ChatLogView : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int MaxLines = 10000;

    explicit ChatLogView(QWidget* parent = nullptr);

    void AppendLine(const QString& text, const QColor& color);
    // Puts every pending line into the document now.
    void Flush();

    int LineCount();
    QString LineText(int index);
    QColor LineColor(int index);

private:
    struct PendingLine {
        QString text;
        QColor color;
    };
    std::vector<PendingLine> pending_;
    QTimer flushTimer_;
};
