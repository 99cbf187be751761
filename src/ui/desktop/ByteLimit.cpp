#include "ByteLimit.h"

#include "InputMethodGuard.h"
#include "InputNotice.h"
#include "SjisText.h"

#include <QLineEdit>
#include <QStringList>
#include <QStringView>
#include <QValidator>

#include <algorithm>

namespace {

bool StartsLowSurrogate(QStringView text, qsizetype at)
{
    return at > 0 && at < text.size() && text[at].isLowSurrogate() && text[at - 1].isHighSurrogate();
}

// Where the new text differs from the old one: [start, end) in the new text
// replaced some run of the old text.
struct Change {
    qsizetype start = 0;
    qsizetype end = 0;
};

// After an insertion the cursor stands at the end of the inserted text, which
// tells apart insertions a plain difference cannot ("b" typed into "ab" at 1).
Change FindChange(QStringView before, QStringView after, qsizetype cursor)
{
    qsizetype end = std::clamp<qsizetype>(cursor, 0, after.size());
    const qsizetype tail = after.size() - end;
    if (tail > before.size() || before.right(tail) != after.right(tail)) {
        // Not an insertion at the cursor: fall back to the longest common tail.
        end = after.size();
        while (end > 0 && after.size() - end < before.size() &&
               after[end - 1] == before[before.size() - (after.size() - end) - 1])
            --end;
    }
    const qsizetype keptBefore = before.size() - (after.size() - end);
    qsizetype start = 0;
    while (start < end && start < keptBefore && after[start] == before[start])
        ++start;
    if (StartsLowSurrogate(after, start))
        --start;
    if (StartsLowSurrogate(after, end))
        ++end;
    return {start, end};
}

// What of an insertion an edit takes, and what it leaves out.
struct Fitting {
    QString Kept;
    QString Unencodable;   // each character without a code once, in order
    int Cut = 0;           // characters that did not fit
};

// The part of inserted that fits in room bytes, leaving out characters without
// a CP932 code. Stops at the first character that does not fit.
Fitting FittingPart(QStringView inserted, int room)
{
    Fitting fitting;
    bool full = false;
    for (qsizetype i = 0; i < inserted.size();) {
        const qsizetype units =
            inserted[i].isHighSurrogate() && i + 1 < inserted.size() && inserted[i + 1].isLowSurrogate() ? 2 : 1;
        const QString character = inserted.mid(i, units).toString();
        i += units;
        const int bytes = SjisByteLength(character);
        if (bytes < 0) {
            if (!fitting.Unencodable.contains(character))
                fitting.Unencodable += character;
            continue;
        }
        full = full || bytes > room;
        if (full) {
            ++fitting.Cut;
            continue;
        }
        room -= bytes;
        fitting.Kept += character;
    }
    return fitting;
}

class ByteLimitValidator : public QValidator {
public:
    ByteLimitValidator(QLineEdit* edit, int maxBytes)
        : QValidator(edit), edit_(edit), maxBytes_(maxBytes), accepted_(edit->text())
    {
    }

    void SetMaxBytes(int maxBytes) { maxBytes_ = maxBytes; }

    State validate(QString& input, int& pos) const override
    {
        // setText() clears the edit's undo history before it validates; every
        // user edit has just added to it. The text the program sets passes
        // untouched.
        if (!edit_->isUndoAvailable() || input == accepted_) {
            accepted_ = input;
            return Acceptable;
        }
        const Change change = FindChange(accepted_, input, pos);
        const QStringView inserted = QStringView(input).mid(change.start, change.end - change.start);
        const QString remaining = input.left(change.start) + input.mid(change.end);
        if (inserted.isEmpty()) {
            accepted_ = input;
            return Acceptable;
        }
        const int room = std::max(0, maxBytes_ - static_cast<int>(ToSjis(remaining).size()));
        const Fitting fitting = FittingPart(inserted, room);
        const QString& kept = fitting.Kept;
        if (kept.size() == inserted.size()) {
            accepted_ = input;
            return Acceptable;
        }
        // A password field's notice does not show what was typed into it.
        ShowInputNotice(edit_, DroppedInputText(fitting.Unencodable, fitting.Cut, maxBytes_,
                                                edit_->echoMode() != QLineEdit::Normal));
        // Nothing of it fits: undo the whole edit, the selection it replaced
        // included, as if the key had not been pressed.
        if (kept.isEmpty())
            return Invalid;
        input = input.left(change.start) + kept + input.mid(change.end);
        pos = static_cast<int>(change.start + kept.size());
        accepted_ = input;
        return Acceptable;
    }

private:
    QLineEdit* edit_;
    int maxBytes_;
    // The text as last accepted, to see what an edit inserted.
    mutable QString accepted_;
};

}  // namespace

QString DroppedInputText(const QString& unencodable, int cutCharacters, int maxBytes, bool hidden)
{
    QStringList parts;
    if (!unencodable.isEmpty() && hidden) {
        parts << QStringLiteral("送れない文字は入力されませんでした");
    } else if (!unencodable.isEmpty()) {
        // A long paste of such characters is named by its first few.
        constexpr int Named = 8;
        QString named;
        int count = 0;
        for (qsizetype i = 0; i < unencodable.size() && count < Named; ++count) {
            const qsizetype units = unencodable[i].isHighSurrogate() && i + 1 < unencodable.size() ? 2 : 1;
            named += unencodable.mid(i, units);
            i += units;
        }
        if (named.size() < unencodable.size())
            named += QStringLiteral("…");
        parts << QStringLiteral("「%1」は送れない文字のため入力されませんでした").arg(named);
    }
    if (cutCharacters > 0)
        parts << QStringLiteral("%1 バイトを超えた %2 文字は入力されませんでした").arg(maxBytes).arg(cutCharacters);
    return parts.join(QStringLiteral("。"));
}

void LimitBytes(QLineEdit* edit, int maxBytes)
{
    InputMethodGuard::Install();
    if (auto* existing = dynamic_cast<const ByteLimitValidator*>(edit->validator())) {
        const_cast<ByteLimitValidator*>(existing)->SetMaxBytes(maxBytes);
        return;
    }
    edit->setValidator(new ByteLimitValidator(edit, maxBytes));
}
