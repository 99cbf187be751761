#include "InputNotice.h"

#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>

namespace {

const char* const NoticeName = "InputNotice";
const char* const BaseHeight = "kvNoticeBaseHeight";
constexpr int Margin = 8;

QLabel* MakeLabel(QWidget* window)
{
    auto* label = new QLabel(window);
    label->setObjectName(QString::fromLatin1(NoticeName));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->hide();
    auto* timer = new QTimer(label);
    timer->setObjectName(QStringLiteral("InputNoticeTimer"));
    timer->setSingleShot(true);
    timer->setInterval(InputNoticeMs);
    QObject::connect(timer, &QTimer::timeout, label, [label, window] {
        label->hide();
        if (window->layout() == nullptr) {
            const int base = label->property(BaseHeight).toInt();
            window->setFixedSize(window->width(), base);
        }
    });
    if (window->layout() != nullptr)
        window->layout()->addWidget(label);
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
    if (window->layout() == nullptr) {
        // The dialogs place their controls by hand at a fixed size: the notice
        // takes a line below them, and the dialog grows by it while it shows.
        if (label->isHidden())
            label->setProperty(BaseHeight, window->height());
        const int base = label->property(BaseHeight).toInt();
        const int width = window->width() - 2 * Margin;
        const int height = label->heightForWidth(width);
        label->setGeometry(Margin, base, width, height);
        window->setFixedSize(window->width(), base + height + Margin / 2);
    }
    label->show();
    label->findChild<QTimer*>(QStringLiteral("InputNoticeTimer"))->start();
}
