#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace {
BoxInterceptor& interceptor()
{
    static BoxInterceptor instance;
    return instance;
}
} // namespace

void SetBoxInterceptor(BoxInterceptor f) { interceptor() = std::move(f); }

void ShowErrorBox(const QString& text, QWidget* parent)
{
    if (interceptor()) {
        interceptor()(ErrorCaption, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, ErrorCaption, text, QMessageBox::Ok,
                    parent ? parent : QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ShowStandardError(const QString& text) { ShowErrorBox(text, nullptr); }
