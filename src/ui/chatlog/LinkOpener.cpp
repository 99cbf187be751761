#include "LinkOpener.h"

#include "ChatLineText.h"
#include "LinkFinder.h"
#include "ShellOpen.h"
#include "TextSearch.h"

#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextBlock>

namespace {

// The address of the link under pos, read from the line's text: what the user
// sees is exactly what is opened.
QString LinkAddressAt(const QPlainTextEdit& view, QPoint pos)
{
    if (view.anchorAt(pos) != LinkMarker)
        return {};
    const QTextCursor cursor = view.cursorForPosition(pos);
    const QString text = cursor.block().text();
    const int offset = cursor.positionInBlock();
    const std::string utf8 = text.toStdString();
    QString nearest;
    for (const TextSpan& span : FindLinks(utf8)) {
        const auto begin = static_cast<int>(Utf16Length(std::string_view(utf8).substr(0, span.Begin)));
        const auto end = begin + static_cast<int>(Utf16Length(std::string_view(utf8).substr(span.Begin, span.End - span.Begin)));
        // The cursor stands at the boundary nearest to pos: inside the link, or at its end.
        if (offset >= begin && offset < end)
            return text.mid(begin, end - begin);
        if (offset == end)
            nearest = text.mid(begin, end - begin);
    }
    return nearest;
}

bool IsWebAddress(const QString& address)
{
    return address.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
           address.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
}

class LinkOpener : public QObject {
public:
    explicit LinkOpener(QPlainTextEdit* view) : QObject(view), View(view), Viewport(view->viewport())
    {
        view->viewport()->installEventFilter(this);
        view->viewport()->setMouseTracking(true);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Compared with the pointer kept at construction: while the view is being
        // destroyed its viewport still sends events, and the view is no scroll area then.
        if (watched != Viewport)
            return false;
        switch (event->type()) {
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const bool onLink = View->anchorAt(mouse->position().toPoint()) == LinkMarker;
            Viewport->setCursor(onLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
            break;
        }
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            Pressed = mouse->button() == Qt::LeftButton ? LinkAddressAt(*View, mouse->position().toPoint()) : QString();
            break;
        }
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QString released = LinkAddressAt(*View, mouse->position().toPoint());
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
    QWidget* Viewport;
    QString Pressed;
};

}  // namespace

void InstallLinkOpener(QPlainTextEdit* view)
{
    new LinkOpener(view);
}
