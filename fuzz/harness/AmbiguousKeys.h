// Notes a key that two shortcuts took at once: Qt then triggers neither (an
// action only warns, a QShortcut only signals), so for the user the key
// silently does nothing.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QShortcutEvent>

#include <string>
#include <utility>

namespace kvfuzz {

class AmbiguousKeys : public QObject {
public:
    AmbiguousKeys() { QCoreApplication::instance()->installEventFilter(this); }
    ~AmbiguousKeys() override { QCoreApplication::instance()->removeEventFilter(this); }
    AmbiguousKeys(const AmbiguousKeys&) = delete;
    AmbiguousKeys& operator=(const AmbiguousKeys&) = delete;

    // The first such key since the last call, or an empty string.
    std::string Take() { return std::exchange(noted_, {}); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Shortcut && noted_.empty()) {
            const auto* shortcut = static_cast<const QShortcutEvent*>(event);
            if (shortcut->isAmbiguous())
                noted_ = shortcut->key().toString().toStdString() + " (sent to a "
                         + watched->metaObject()->className() + ")";
        }
        return false;
    }

private:
    std::string noted_;
};

}  // namespace kvfuzz
