#include "InputNotice.h"

#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace {

const char* const NoticeName = "InputNotice";

// A dialog that closes takes its notice with it.
class WithdrawOnHide : public QObject {
public:
    WithdrawOnHide(QLabel* label, QWidget* window) : QObject(label), label_(label), window_(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == window_ && event->type() == QEvent::Hide && !label_->isHidden()) {
            label_->findChild<QTimer*>()->stop();
            label_->hide();
        }
        return false;
    }

private:
    QLabel* label_;
    QWidget* window_;
};

// The dialogs place their controls by hand at a fixed size: the notice is a
// small window of its own, laid over the dialog just below the field, so the
// dialog keeps its size and nothing moves under the user's pointer.
QLabel* MakeLabel(QWidget* window)
{
    auto* label = new QLabel(window, Qt::ToolTip);
    label->setObjectName(QString::fromLatin1(NoticeName));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setMargin(3);
    label->setForegroundRole(QPalette::ToolTipText);
    label->setBackgroundRole(QPalette::ToolTipBase);
    label->setAutoFillBackground(true);
    label->setFrameShape(QFrame::Box);
    label->hide();
    auto* timer = new QTimer(label);
    timer->setObjectName(QStringLiteral("InputNoticeTimer"));
    timer->setSingleShot(true);
    timer->setInterval(InputNoticeMs);
    QObject::connect(timer, &QTimer::timeout, label, &QLabel::hide);
    new WithdrawOnHide(label, window);
    return label;
}

}  // namespace

QLabel* InputNoticeLabel(QWidget* window)
{
    return window->findChild<QLabel*>(QString::fromLatin1(NoticeName), Qt::FindDirectChildrenOnly);
}

void ShowInputNotice(QWidget* widget, const QString& text)
{
    QWidget* window = widget->window();
    if (auto* main = qobject_cast<QMainWindow*>(window)) {
        main->statusBar()->showMessage(text, InputNoticeMs);
        return;
    }
    if (window == widget)
        return;   // a control on its own has nowhere to say it
    QLabel* label = InputNoticeLabel(window);
    if (label == nullptr)
        label = MakeLabel(window);
    label->setText(text);
    const int width = std::max(widget->width(), window->width() - 2 * widget->x());
    label->setFixedWidth(width);
    label->setFixedHeight(label->heightForWidth(width));
    label->move(widget->mapToGlobal(QPoint(0, widget->height() + 2)));
    label->show();
    label->raise();
    label->findChild<QTimer*>(QStringLiteral("InputNoticeTimer"))->start();
}
