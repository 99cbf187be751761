#include "Unitsetting.h"

#include "DialogFrame.h"
#include "SjisText.h"
#include "WindowStacking.h"

#include <QByteArray>
#include <QFont>
#include <QKeyEvent>
#include <QListWidgetItem>

#include <algorithm>
#include <memory>
#include <string>

TFormSetting* FormSetting = nullptr;

namespace {
constexpr int ItemHeight = 12;


std::string BytesOf(const QListWidgetItem& item, int role)
{
    return item.data(role).toByteArray().toStdString();
}
}  // namespace

TFormSetting::TFormSetting(QWidget* parent) : QDialog(parent)
{
    setupUi(this);
    SetUpDialogFrame(*this);
    Label1->adjustSize();

    connect(ButtonDelete, &QPushButton::clicked, this, &TFormSetting::ButtonDeleteClick);
    connect(ButtonExit, &QPushButton::clicked, this, &TFormSetting::ButtonExitClick);
}

bool TFormSetting::Execute(TStartRoomList& list)
{
    EditedList = &list;
    ListRoom->clear();
    const int count = std::clamp(list.Count, 0, MaxStartRooms);
    for (int i = 0; i < count; ++i) {
        const TStartRoom& room = list.Rooms[static_cast<std::size_t>(i)];
        // The name is kept as bytes too, so a name that does not decode
        // cleanly is written back exactly as it came.
        auto* item = new QListWidgetItem(FromSjis(room.Name), ListRoom);
        item->setData(NameRole, QByteArray::fromStdString(room.Name));
        item->setData(PasswordRole, QByteArray::fromStdString(room.Password));
        item->setSizeHint(QSize(0, ItemHeight));
    }
    KeepAboveOnTopWindows(*this);
    const bool closedWithExit = exec() == QDialog::Accepted;
    ListRoom->clear();   // the password copies go with the items
    EditedList = nullptr;
    return closedWithExit;
}

void TFormSetting::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormSetting::keyPressEvent(QKeyEvent* event)
{
    // Esc is this dialog's "閉じる", not a cancel: the deletions are kept.
    if (event->matches(QKeySequence::Cancel)) {
        ButtonExitClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormSetting::FormShow()
{
    ListRoom->setFocus();
}

void TFormSetting::ButtonDeleteClick()
{
    const QList<QListWidgetItem*> selected = ListRoom->selectedItems();
    if (selected.isEmpty())
        return;
    std::unique_ptr<QListWidgetItem> removed(ListRoom->takeItem(ListRoom->row(selected.front())));
    // Another click must not silently take the neighbour that became current.
    ListRoom->clearSelection();
}

void TFormSetting::ButtonExitClick()
{
    if (EditedList) {
        // Rebuilt through AddStartRoom, so a name shown twice is kept once,
        // with the password of its first occurrence.
        EditedList->Count = 0;
        for (int row = 0; row < ListRoom->count(); ++row) {
            const QListWidgetItem& item = *ListRoom->item(row);
            AddStartRoom(*EditedList, BytesOf(item, NameRole), BytesOf(item, PasswordRole));
        }
    }
    accept();
}
