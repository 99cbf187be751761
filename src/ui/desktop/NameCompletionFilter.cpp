#include "NameCompletionFilter.h"

#include "TextSearch.h"

#include <QKeyEvent>
#include <QLineEdit>

NameCompletionFilter::NameCompletionFilter(QLineEdit* edit, std::function<std::vector<std::string>()> names)
    : QObject(edit), Edit(edit), Names(std::move(names))
{
    edit->installEventFilter(this);
    // Any other change of the text (a line sent, typing, a paste) ends the
    // cycle: the same text coming back later is a new word to complete.
    connect(edit, &QLineEdit::textChanged, this, [this] {
        if (!completing_)
            Completer = NameCompleter();
    });
}

bool NameCompletionFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != Edit || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    const bool forward = key->key() == Qt::Key_Tab && modifiers == Qt::NoModifier;
    const bool back = key->key() == Qt::Key_Backtab && (modifiers & ~Qt::ShiftModifier) == Qt::NoModifier;
    if (!forward && !back)
        return false;
    const QString text = Edit->text();
    const int cursor = Edit->cursorPosition();
    const std::string utf8 = text.toStdString();
    const std::size_t cursorBytes = static_cast<std::size_t>(text.left(cursor).toUtf8().size());
    const auto done = Completer.Step(utf8, cursorBytes, Names(), forward);
    if (!done)
        return false;
    // Through the edit's own insert, so its byte limit and undo apply.
    const auto start = static_cast<int>(Utf16Length(std::string_view(utf8).substr(0, done->Start)));
    completing_ = true;
    Edit->setSelection(start, cursor - start);
    Edit->insert(QString::fromStdString(done->Name));
    completing_ = false;
    const QString shown = Edit->text();
    Completer.Landed(shown.toStdString(), static_cast<std::size_t>(shown.left(Edit->cursorPosition()).toUtf8().size()));
    return true;
}
