#include "Unitoption.h"

#include "ByteLimit.h"
#include "DialogFrame.h"
#include "MessageBoxes.h"
#include "SjisText.h"
#include "WindowStacking.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>

TFormOption* FormOption = nullptr;

namespace {
constexpr int MaxWordsBytes = 200;
// The settings file reads values up to 2047 bytes.
constexpr int MaxFolderBytes = 1024;
constexpr int MaxFamilyBytes = 200;

// The family of the form's font, as the dialog shows it.
QString FormFontFamily()
{
    return QStringLiteral("ＭＳ Ｐゴシック");
}
}  // namespace

TFormOption::TFormOption(QWidget* parent) : QDialog(parent)
{
    setupUi(this);
    SetUpDialogFrame(*this);
    ComboFont->setAccessibleName(QStringLiteral("ログと入力欄の書体"));
    if (ComboFont->lineEdit())
        ComboFont->lineEdit()->setAccessibleName(ComboFont->accessibleName());
    // A label the form made too narrow for its text (the shortcut letter's
    // bracket was cut) takes what it needs, and its field moves over.
    for (QLabel* label : {Label1, Label3, Label4}) {
        const int need = label->sizeHint().width();
        if (need <= label->width())
            continue;
        label->resize(need, label->height());
        QWidget* field = label->buddy();
        if (const int shift = field ? label->geometry().right() + 4 - field->x() : 0; shift > 0)
            field->setGeometry(field->x() + shift, field->y(), field->width() - shift, field->height());
    }

    LimitBytes(EditHighlightWords, MaxWordsBytes);
    LimitBytes(EditLogFolder, MaxFolderBytes);
    connect(CheckLogEnabled, &QCheckBox::toggled, this, &TFormOption::CheckLogEnabledClick);
    connect(ButtonLogFolder, &QPushButton::clicked, this, &TFormOption::ButtonLogFolderClick);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormOption::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormOption::ButtonCancelClick);
}

bool TFormOption::Execute(OptionsRecord& options)
{
    CheckTimestamps->setChecked(options.Timestamps);
    CheckNotifications->setChecked(options.Notifications);
    EditHighlightWords->setText(FromSjis(options.HighlightWords));
    CheckLogEnabled->setChecked(options.LogEnabled);
    EditLogFolder->setText(FromSjis(options.LogFolder));
    CheckAutoReconnect->setChecked(options.AutoReconnect);
    // Without a family of its own the log uses the form's font, shown as such.
    const QString family = options.FontFamily.empty() ? FormFontFamily() : FromSjis(options.FontFamily);
    ComboFont->setCurrentFont(QFont(family));
    ComboFont->setEditText(family);
    SpinFontSize->setValue(options.FontSize);
    CheckKeepInTray->setEnabled(TrayAvailable);
    CheckKeepInTray->setChecked(options.KeepInTray && TrayAvailable);
    CheckAnnounceLines->setChecked(options.AnnounceLines);
    CheckLogEnabledClick();
    KeepAboveOnTopWindows(*this);
    if (exec() != QDialog::Accepted)
        return false;
    options.Timestamps = CheckTimestamps->isChecked();
    options.Notifications = CheckNotifications->isChecked();
    options.HighlightWords = ToSjis(EditHighlightWords->text());
    options.LogEnabled = CheckLogEnabled->isChecked();
    options.LogFolder = ToSjis(EditLogFolder->text().trimmed());
    options.AutoReconnect = CheckAutoReconnect->isChecked();
    const QString chosen = ComboFont->currentText().trimmed();
    if (chosen != family || !options.FontFamily.empty())
        options.FontFamily = chosen == FormFontFamily() ? std::string() : ToSjis(chosen);
    options.FontSize = SpinFontSize->value();
    if (TrayAvailable)
        options.KeepInTray = CheckKeepInTray->isChecked();
    options.AnnounceLines = CheckAnnounceLines->isChecked();
    return true;
}

void TFormOption::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormOption::FormShow()
{
    CheckTimestamps->setFocus();
}

void TFormOption::CheckLogEnabledClick()
{
    EditLogFolder->setEnabled(CheckLogEnabled->isChecked());
    ButtonLogFolder->setEnabled(CheckLogEnabled->isChecked());
}

void TFormOption::ButtonLogFolderClick()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("ログの保存先"),
                                                             EditLogFolder->text());
    if (!folder.isEmpty())
        EditLogFolder->setText(folder);
}

void TFormOption::ButtonOkClick()
{
    // The folder is kept in the settings file as Shift-JIS; a chosen folder can
    // hold characters that it cannot store.
    if (!CanEncodeSjis(EditLogFolder->text()) || SjisByteLength(EditLogFolder->text()) > MaxFolderBytes) {
        ShowErrorBox(QStringLiteral("このフォルダはログの保存先に指定できません"), this);
        return;
    }
    // The family is kept in the settings file as Shift-JIS too.
    if (!CanEncodeSjis(ComboFont->currentText()) || SjisByteLength(ComboFont->currentText()) > MaxFamilyBytes) {
        ShowErrorBox(QStringLiteral("この書体は指定できません"), this);
        return;
    }
    accept();
}

void TFormOption::ButtonCancelClick()
{
    reject();
}
