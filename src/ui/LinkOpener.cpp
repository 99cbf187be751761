#include "LinkOpener.h"

#include "ShellOpen.h"

#include <QMouseEvent>
#include <QPlainTextEdit>

namespace {

bool IsWebAddress(const QString& address)
{
    return address.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
           address.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
}

class LinkOpener : public QObject {
public:
    explicit LinkOpener(QPlainTextEdit* view) : QObject(view), View(view)
    {
        view->viewport()->installEventFilter(this);
        view->viewport()->setMouseTracking(true);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != View->viewport())
            return false;
        switch (event->type()) {
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const bool onLink = !View->anchorAt(mouse->position().toPoint()).isEmpty();
            View->viewport()->setCursor(onLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
            break;
        }
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            Pressed = mouse->button() == Qt::LeftButton ? View->anchorAt(mouse->position().toPoint()) : QString();
            break;
        }
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QString released = View->anchorAt(mouse->position().toPoint());
            const bool click = mouse->button() == Qt::LeftButton && !Pressed.isEmpty() && released == Pressed &&
                               !View->textCursor().hasSelection();
            const QString address = Pressed;
            Pressed.clear();
            if (click && IsWebAddress(address))
                ShellOpen(address);
            break;
        }
        default:
            break;
        }
        return false;
    }

private:
    QPlainTextEdit* View;
    QString Pressed;
};

}  // namespace

void InstallLinkOpener(QPlainTextEdit* view)
{
    new LinkOpener(view);
}
