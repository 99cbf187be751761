#pragma once
// The program's error boxes: modal, caption "エラー", stop icon, one OK button.
// Texts come from the server or the settings file, so they are always shown as plain text.

#include <QString>

#include <functional>

class QWidget;

// Shows the error box and returns when the user dismissed it. While other
// boxes are open, a text already on screen or waiting is dropped, and past
// three open boxes the text waits (up to 32 texts) and this returns at once;
// waiting texts show one by one after the outermost box is dismissed.
void ShowErrorBox(const QString& text, QWidget* parent = nullptr);

// The toolkit's standard error display (socket errors, an unwritable settings file):
// the same kind of box.
void ShowStandardError(const QString& text);

// A box that tells something before the windows open (which settings file is
// used): caption "KVチャット", information icon, one OK button, plain text.
void ShowNoticeBox(const QString& text);

// Tests see every box here instead of a window; an empty function restores real boxes.
using BoxInterceptor = std::function<void(const QString& caption, const QString& text)>;
void SetBoxInterceptor(BoxInterceptor interceptor);

inline const QString ErrorCaption = QStringLiteral("エラー");
inline const QString NoticeCaption = QStringLiteral("KVチャット");
