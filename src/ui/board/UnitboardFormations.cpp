// The board's formation and picture menus: built-in and kept formations,
// pasting the copy text, undo and redo, and the picture of the pitch.

#include "Unitboard.h"

#include "BoardLines.h"
#include "MessageBoxes.h"
#include "SjisText.h"
#include "WindowStacking.h"

#include <QBuffer>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSaveFile>

#include <algorithm>

namespace {

const QString ShiftJisText = QStringLiteral("text/plain;charset=Shift_JIS");

QByteArray PngBytes(const QImage& picture)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return png;
}

// A kept title as a menu shows it: an "&" in it is a character, not a key mark.
QString MenuText(const std::string& title)
{
    return FromSjis(title).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}   // namespace

void TFormBoard::SetUpMenus()
{
    MenuFormation = new QMenu(ButtonFormation);
    ButtonFormation->setMenu(MenuFormation);
    const std::span<const BuiltInFormation> builtIns = BuiltInFormations();
    for (const BoardSide side : {BoardSide::Side1, BoardSide::Side2}) {
        QMenu* sideMenu = new QMenu(side == BoardSide::Side1 ? QStringLiteral("サイド1 (赤)") : QStringLiteral("サイド2 (青)"),
                                    MenuFormation);
        for (int k = 0; k < static_cast<int>(builtIns.size()); ++k)
            sideMenu->addAction(QString::fromLatin1(builtIns[k].Title.data(), builtIns[k].Title.size()), this,
                                [this, k, side] { LoadBuiltInFormation(k, side); });
        sideMenus_[side == BoardSide::Side1 ? 0 : 1] = sideMenu;
    }
    removeMenu_ = new QMenu(QStringLiteral("削除"), MenuFormation);

    MenuPicture = new QMenu(ButtonPicture);
    ButtonPicture->setMenu(MenuPicture);
    MenuPicture->addAction(QStringLiteral("画像をコピー"), this, &TFormBoard::CopyPicture);
    MenuPicture->addAction(QStringLiteral("画像を保存..."), this, &TFormBoard::SavePictureClick);

    undoAction_ = new QAction(QStringLiteral("元に戻す"), this);
    undoAction_->setShortcut(QKeySequence::Undo);
    connect(undoAction_, &QAction::triggered, this, &TFormBoard::Undo);
    redoAction_ = new QAction(QStringLiteral("やり直し"), this);
    // Ctrl+Y, and the platform's own redo keys where they differ (one key twice is ambiguous).
    QList<QKeySequence> redoKeys{QKeySequence(Qt::CTRL | Qt::Key_Y)};
    for (const QKeySequence& keys : QKeySequence::keyBindings(QKeySequence::Redo))
        if (!redoKeys.contains(keys))
            redoKeys.append(keys);
    redoAction_->setShortcuts(redoKeys);
    connect(redoAction_, &QAction::triggered, this, &TFormBoard::Redo);
    addActions({undoAction_, redoAction_});
    // The open menu shows whether there is anything to undo or redo; closed,
    // the keys always act (with nothing to take back they do nothing).
    connect(MenuFormation, &QMenu::aboutToShow, this, [this] {
        FormationMenuShow();
        undoAction_->setEnabled(CanUndo());
        redoAction_->setEnabled(CanRedo());
    });
    connect(MenuFormation, &QMenu::aboutToHide, this, [this] {
        undoAction_->setEnabled(true);
        redoAction_->setEnabled(true);
    });
    FormationMenuShow();   // its entries are there before its first opening

    TitleDialog = new QInputDialog(this);
    TitleDialog->setWindowTitle(QStringLiteral("フォーメーションの保存"));
    TitleDialog->setLabelText(QStringLiteral("名前 (40バイトまで)"));
    TitleDialog->setInputMode(QInputDialog::TextInput);

    ReplaceQuestion = new QMessageBox(QMessageBox::Question, QStringLiteral("フォーメーションの保存"), QString(),
                                      QMessageBox::Yes | QMessageBox::No, this);
    ReplaceQuestion->setDefaultButton(QMessageBox::No);
    ReplaceQuestion->setTextFormat(Qt::PlainText);
}

void TFormBoard::FormationMenuShow()
{
    QMenu& menu = *MenuFormation;
    menu.clear();
    menu.addAction(undoAction_);
    menu.addAction(redoAction_);
    menu.addSeparator();

    for (QMenu* sideMenu : sideMenus_)
        menu.addMenu(sideMenu);
    menu.addSeparator();

    const std::vector<SavedFormation> none;
    const std::vector<SavedFormation>& saved = formationStore_ ? formationStore_->Formations() : none;
    if (saved.empty())
        menu.addAction(QStringLiteral("(保存したものはありません)"))->setEnabled(false);
    for (const SavedFormation& f : saved)
        menu.addAction(MenuText(f.Title), this, [this, title = f.Title] { LoadSavedFormation(title); });
    menu.addSeparator();
    QAction* save = menu.addAction(QStringLiteral("保存..."), this, [this] {
        // A refused title comes back as typed, to be mended rather than typed again.
        QString typed;
        do {
            TitleDialog->setTextValue(typed);
            KeepAboveOnTopWindows(*TitleDialog);
            if (TitleDialog->exec() != QDialog::Accepted)
                return;
            typed = TitleDialog->textValue();
        } while (!SaveFormation(typed));
    });
    save->setEnabled(formationStore_ != nullptr);
    QMenu* remove = removeMenu_;
    remove->clear();
    menu.addMenu(remove);
    remove->setEnabled(!saved.empty());
    for (const SavedFormation& f : saved)
        remove->addAction(MenuText(f.Title), this, [this, title = f.Title] { DeleteFormation(title); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("クリップボードから貼り付け"), this, &TFormBoard::PasteFormation);
}

void TFormBoard::UseFormationFile(const std::string& Path)
{
    formationStore_ = std::make_unique<FormationStore>(Path);
    formationTrouble_ = formationStore_->Load().value_or(std::string());
}

void TFormBoard::TellFormationTrouble()
{
    if (formationTrouble_.empty())
        return;
    const std::string trouble = std::exchange(formationTrouble_, {});
    ShowErrorBox(QString::fromStdString(trouble), this);
}

void TFormBoard::LoadFormation(const CharItemTable& before)
{
    history_.Record(BoardChangeKind::Load, -1, before, CharItems);
    keyMoveOpen_ = false;
    DrawBoard();
    UpdateFocusRing();
    // A board bound to no room has no one to tell.
    if (nRoomNo >= 0)
        Paced(pacer_.All(Now()));
}

void TFormBoard::LoadBuiltInFormation(int nFormation, BoardSide Side)
{
    const std::span<const BuiltInFormation> builtIns = BuiltInFormations();
    if (nFormation < 0 || nFormation >= static_cast<int>(builtIns.size()))
        return;
    const CharItemTable before = CharItems;
    ApplyBuiltInFormation(CharItems, builtIns[nFormation], Side);
    LoadFormation(before);
}

void TFormBoard::LoadSavedFormation(const std::string& Title)
{
    if (!formationStore_)
        return;
    for (const SavedFormation& f : formationStore_->Formations()) {
        if (f.Title == Title) {
            const CharItemTable before = CharItems;
            ApplyFormation(CharItems, f.Items);
            LoadFormation(before);
            return;
        }
    }
}

bool TFormBoard::PasteFormation()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    std::string text;
    if (data != nullptr && data->hasFormat(ShiftJisText))
        text = data->data(ShiftJisText).toStdString();
    else if (data != nullptr)
        text = ToSjis(data->text());
    const CharItemTable before = CharItems;
    if (!ApplyBoardCopyText(CharItems, text)) {
        ShowErrorBox(QStringLiteral("クリップボードに盤の位置と選手名の行がありません"), this);
        return false;
    }
    LoadFormation(before);
    return true;
}

bool TFormBoard::SaveFormation(const QString& Title)
{
    if (!formationStore_)
        return false;
    const QString title = Title.trimmed();
    if (!CanEncodeSjis(title)) {
        // Kept as "?", two such titles would replace each other unasked.
        QString cannot;
        for (const char32_t u : title.toUcs4()) {
            const QString c = QString::fromUcs4(&u, 1);
            if (!CanEncodeSjis(c) && !cannot.contains(c))
                cannot += c;
        }
        ShowErrorBox(QStringLiteral("名前の「%1」は Shift-JIS で保存できません。別の文字にしてください").arg(cannot), this);
        return false;
    }
    const std::string sjis = ToSjis(title);
    const std::vector<SavedFormation>& saved = formationStore_->Formations();
    if (std::any_of(saved.begin(), saved.end(), [&](const SavedFormation& f) { return f.Title == sjis; })) {
        ReplaceQuestion->setText(QStringLiteral("「%1」はもう保存されています。今の盤で置き換えますか?").arg(title));
        KeepAboveOnTopWindows(*ReplaceQuestion);
        if (ReplaceQuestion->exec() != QMessageBox::Yes)
            return false;
    }
    if (auto failure = formationStore_->Save(sjis, CharItems)) {
        ShowErrorBox(QString::fromStdString(*failure), this);
        return false;
    }
    return true;
}

bool TFormBoard::DeleteFormation(const std::string& Title)
{
    if (!formationStore_)
        return false;
    if (auto failure = formationStore_->Remove(Title)) {
        ShowErrorBox(QString::fromStdString(*failure), this);
        return false;
    }
    return true;
}

void TFormBoard::CopyPicture()
{
    const QImage picture = BoardPicture();
    auto* data = new QMimeData;   // owned by the clipboard
    data->setImageData(picture);
    data->setData(QStringLiteral("image/png"), PngBytes(picture));
    QGuiApplication::clipboard()->setMimeData(data);
}

bool TFormBoard::SavePicture(const QString& Path)
{
    // Written aside and then put in place: a failed write leaves an older
    // picture whole, and a pipe in the chosen place is replaced, not opened.
    QSaveFile file(Path);
    file.setDirectWriteFallback(true);   // a writable file in a folder that is not
    if (file.open(QIODevice::WriteOnly) && BoardPicture().save(&file, "PNG") && file.commit())
        return true;
    ShowErrorBox(Path + QStringLiteral(" に画像を保存できません"), this);
    return false;
}

void TFormBoard::SavePictureClick()
{
    QFileDialog dialog(this, QStringLiteral("画像を保存"), QString(), QStringLiteral("PNG 画像 (*.png)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.selectFile(QStringLiteral("formation.png"));
    KeepAboveOnTopWindows(dialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        SavePicture(dialog.selectedFiles().constFirst());
}
