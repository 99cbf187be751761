#include "TrayIcon.h"

#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace {

// The icon with a red dot in its upper right corner.
QIcon Marked(const QIcon& icon)
{
    QPixmap pixmap = icon.pixmap(64, 64);
    if (pixmap.isNull()) {
        pixmap = QPixmap(64, 64);
        pixmap.fill(Qt::transparent);
    }
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const int size = pixmap.width() / 2;
    painter.setPen(QPen(Qt::white, pixmap.width() / 16));
    painter.setBrush(QColor(220, 30, 30));
    painter.drawEllipse(pixmap.width() - size - 1, 1, size, size);
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

bool TrayIcon::Available()
{
    return AvailableForTests ? *AvailableForTests : QSystemTrayIcon::isSystemTrayAvailable();
}

TrayIcon::TrayIcon(const QIcon& icon, QObject* parent)
    : QObject(parent), plain_(icon), marked_(Marked(icon)), menu_(std::make_unique<QMenu>())
{
    QAction* toggle = menu_->addAction(QStringLiteral("表示/隠す"));
    menu_->addSeparator();
    QAction* quit = menu_->addAction(QStringLiteral("終了"));
    connect(toggle, &QAction::triggered, this, &TrayIcon::ToggleRequested);
    connect(quit, &QAction::triggered, this, &TrayIcon::QuitRequested);

    icon_ = new QSystemTrayIcon(plain_, this);
    icon_->setContextMenu(menu_.get());
    icon_->setToolTip(ToolTip());
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit ShowRequested();
    });
    icon_->show();
    shown_ = this;
}

TrayIcon::~TrayIcon()
{
    if (shown_ == this)
        shown_ = nullptr;
    icon_->hide();
}

void TrayIcon::ShowMessage(const QString& summary, const QString& body)
{
    icon_->showMessage(summary, body, QSystemTrayIcon::Information);
}

void TrayIcon::SetWaiting(int mentions)
{
    if (mentions == waiting_)
        return;
    const bool markChanges = (mentions > 0) != (waiting_ > 0);
    waiting_ = mentions;
    if (markChanges)
        icon_->setIcon(CurrentIcon());
    icon_->setToolTip(ToolTip());
}

QString TrayIcon::ToolTip() const
{
    if (waiting_ == 0)
        return QStringLiteral("KVチャット");
    return QStringLiteral("KVチャット - 名前を呼ばれた発言 %1 件").arg(waiting_);
}

QIcon TrayIcon::CurrentIcon() const
{
    return waiting_ > 0 ? marked_ : plain_;
}
