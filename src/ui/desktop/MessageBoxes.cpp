#include "MessageBoxes.h"
#include "WindowStacking.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <algorithm>
#include <deque>
#include <vector>

namespace {
BoxInterceptor& interceptor()
{
    static BoxInterceptor instance;
    return instance;
}

// Each box runs its own event loop, in which more server answers arrive and
// may want a box of their own. Left alone, a server repeating an error would
// stack one nested loop per answer until the stack runs out; so a text that is
// already on screen or waiting is not shown twice, at most MaxOpenBoxes are
// open at once, and the rest wait (a bounded number) until the outermost one
// has been dismissed.
constexpr std::size_t MaxOpenBoxes = 3;
constexpr std::size_t MaxWaitingBoxes = 32;

struct WaitingBox {
    QString text;
    QPointer<QWidget> parent;
};

struct BoxState {
    std::vector<QString> open;   // innermost last
    std::deque<WaitingBox> waiting;
};

BoxState& state()
{
    static BoxState instance;
    return instance;
}

bool OnScreenOrWaiting(const QString& text)
{
    const BoxState& s = state();
    return std::find(s.open.begin(), s.open.end(), text) != s.open.end()
           || std::any_of(s.waiting.begin(), s.waiting.end(),
                          [&](const WaitingBox& w) { return w.text == text; });
}

void RunBox(const QString& text, QWidget* parent)
{
    QMessageBox box(QMessageBox::Critical, ErrorCaption, text, QMessageBox::Ok,
                    parent ? parent : QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    BoxState& s = state();
    s.open.push_back(text);
    KeepAboveOnTopWindows(box);
    box.exec();
    s.open.pop_back();
}
} // namespace

void SetBoxInterceptor(BoxInterceptor f) { interceptor() = std::move(f); }

void ShowNoticeBox(const QString& text)
{
    if (interceptor()) {
        interceptor()(NoticeCaption, text);
        return;
    }
    QMessageBox box(QMessageBox::Information, NoticeCaption, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ShowErrorBox(const QString& text, QWidget* parent)
{
    if (interceptor()) {
        interceptor()(ErrorCaption, text);
        return;
    }
    BoxState& s = state();
    if (OnScreenOrWaiting(text))
        return;
    if (s.open.size() >= MaxOpenBoxes) {
        if (s.waiting.size() < MaxWaitingBoxes)
            s.waiting.push_back({text, parent});
        return;
    }
    RunBox(text, parent);
    // Only the outermost box shows what waited, so waiting texts never nest.
    while (s.open.empty() && !s.waiting.empty()) {
        WaitingBox next = std::move(s.waiting.front());
        s.waiting.pop_front();
        RunBox(next.text, next.parent.data());
    }
}

void ShowStandardError(const QString& text) { ShowErrorBox(text, nullptr); }
