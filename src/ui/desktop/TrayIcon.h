#pragma once
// The program's icon in the desktop's tray: a mark on it and a count in its
// tooltip while mentions wait, a click that brings the window back, and a menu
// with 表示/隠す and 終了.

#include <QIcon>
#include <QObject>

#include <memory>
#include <optional>

class QMenu;
class QSystemTrayIcon;

class TrayIcon : public QObject {
    Q_OBJECT
public:
    // Whether the desktop has a tray; tests decide it themselves.
    static bool Available();
    static inline std::optional<bool> AvailableForTests;

    // icon: the program's icon, as the tray shows it with nothing waiting.
    TrayIcon(const QIcon& icon, QObject* parent);
    ~TrayIcon() override;

    // The number of mentions the user has not seen; 0 clears the mark.
    void SetWaiting(int mentions);
    int Waiting() const { return waiting_; }
    QString ToolTip() const;
    QIcon CurrentIcon() const;
    QMenu* Menu() const { return menu_.get(); }
    // A balloon message from the icon.
    void ShowMessage(const QString& summary, const QString& body);
    // The icon the program shows now, if any.
    static TrayIcon* Shown() { return shown_; }

signals:
    void ShowRequested();     // a click on the icon
    void ToggleRequested();   // 表示/隠す
    void QuitRequested();     // 終了

private:
    QIcon plain_;
    QIcon marked_;
    int waiting_ = 0;
    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* icon_ = nullptr;
    static inline TrayIcon* shown_ = nullptr;
};
