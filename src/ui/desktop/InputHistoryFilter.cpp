#include "InputHistoryFilter.h"

#include <QKeyEvent>
#include <QLineEdit>

InputHistoryFilter::InputHistoryFilter(QLineEdit* edit) : QObject(edit), Edit(edit)
{
    edit->installEventFilter(this);
}

void InputHistoryFilter::Sent(const QString& text)
{
    Lines.Add(text.toStdString());
}

bool InputHistoryFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != Edit || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    std::optional<std::string> recalled;
    if (key->key() == Qt::Key_Up)
        recalled = Lines.Older(Edit->text().toStdString());
    else if (key->key() == Qt::Key_Down)
        recalled = Lines.Newer();
    else
        return false;
    if (recalled)
        Edit->setText(QString::fromStdString(*recalled));   // the cursor goes to the end
    return true;
}
