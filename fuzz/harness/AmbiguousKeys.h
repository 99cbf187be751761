// Notes a key that two shortcuts took at once: Qt then triggers neither and
// only warns, so for the user the key silently does nothing.
#pragma once

#include <QtGlobal>
#include <QString>

#include <string>
#include <utility>

namespace kvfuzz {

class AmbiguousKeys {
public:
    AmbiguousKeys() { previous_ = qInstallMessageHandler(&Note); }
    ~AmbiguousKeys() { qInstallMessageHandler(previous_); }
    AmbiguousKeys(const AmbiguousKeys&) = delete;
    AmbiguousKeys& operator=(const AmbiguousKeys&) = delete;

    // The warning since the last call, or an empty string.
    static std::string Take() { return std::exchange(noted_, {}); }

private:
    static void Note(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (noted_.empty() && message.contains(QLatin1String("Ambiguous shortcut")))
            noted_ = message.toStdString();
        if (previous_ != nullptr)
            previous_(type, context, message);
    }

    static inline QtMessageHandler previous_ = nullptr;
    static inline std::string noted_;
};

}  // namespace kvfuzz
