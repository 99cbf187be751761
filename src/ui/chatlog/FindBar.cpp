#include "FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

FindBar::FindBar(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(4);
    LabelFind = new QLabel(QStringLiteral("検索(&S)"), this);
    EditFind = new QLineEdit(this);
    LabelFind->setBuddy(EditFind);
    LabelCount = new QLabel(this);
    LabelCount->setMinimumWidth(80);
    ButtonPrev = new QPushButton(QStringLiteral("前へ"), this);
    ButtonNext = new QPushButton(QStringLiteral("次へ"), this);
    ButtonClose = new QToolButton(this);
    ButtonClose->setText(QStringLiteral("×"));
    ButtonClose->setAutoRaise(true);
    for (QPushButton* b : {ButtonPrev, ButtonNext}) {
        b->setFixedSize(48, 22);
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::NoFocus);   // the focus stays in the text
    }
    ButtonClose->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(LabelFind);
    layout->addWidget(EditFind, 1);
    layout->addWidget(LabelCount);
    layout->addWidget(ButtonPrev);
    layout->addWidget(ButtonNext);
    layout->addWidget(ButtonClose);

    EditFind->installEventFilter(this);
    connect(EditFind, &QLineEdit::textChanged, this, &FindBar::TextChanged);
    connect(ButtonPrev, &QPushButton::clicked, this, &FindBar::PreviousRequested);
    connect(ButtonNext, &QPushButton::clicked, this, &FindBar::NextRequested);
    connect(ButtonClose, &QToolButton::clicked, this, &FindBar::Close);
    hide();
}

QString FindBar::Text() const
{
    return EditFind->text();
}

void FindBar::Open()
{
    show();
    EditFind->setFocus(Qt::ShortcutFocusReason);
    EditFind->selectAll();
}

void FindBar::ShowCount(int current, int total)
{
    LabelCount->setText(EditFind->text().isEmpty()
                            ? QString()
                            : QStringLiteral("%1 / %2 件").arg(current).arg(total));
}

void FindBar::Close()
{
    hide();
    emit Closed();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != EditFind)
        return QWidget::eventFilter(watched, event);
    // Esc must reach the bar even when a window-wide shortcut has the key.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool shift = key->modifiers() & Qt::ShiftModifier;
        const bool handled = key->key() == Qt::Key_Escape || key->key() == Qt::Key_Return ||
                             key->key() == Qt::Key_Enter || key->key() == Qt::Key_F3;
        if (!handled)
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (key->key() == Qt::Key_Escape)
            Close();
        else if (shift)
            emit PreviousRequested();
        else
            emit NextRequested();
        return true;
    }
    return false;
}
