#pragma once
// The receive path of the real main window, fed from a byte stream instead of a
// socket. Shared by the libFuzzer target and the replay test.
//
// Input: byte 0 is K, bytes 1..K are the sizes of the reads in which the rest
// (the stream from the server) is released, used in turn (0 releases all that
// is left); with K = 0 the stream arrives in one piece. After every release,
// read events run as the socket raises them: one frame per event through
// FrameReceiver::ReadOne, then DispatchPacket into the real handlers, until no
// event makes progress. Whatever closes the connection (GmClose, a refusing
// status, a length that cannot be a frame) ends it as the socket would, and the
// rest of the stream belongs to a new connection.
//
// Needs a QApplication. Error boxes are counted, never shown; a modal dialog
// (the version-up notice) is closed as soon as it shows.

#include "AppWindows.h"
#include "Board.h"
#include "Chatsheet.h"
#include "FrameReceiver.h"
#include "MessageBoxes.h"
#include "Unitboard.h"
#include "Unitmain.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QListWidget>
#include <QMetaObject>
#include <QTabWidget>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace kvfuzz {

// Holds what the "server" has sent and the client has not read yet.
class StreamSource : public ByteSource {
public:
    int ReceiveLength() override { return static_cast<int>(bytes_.size() - start_); }
    int ReceiveBuf(std::uint8_t* buffer, int n) override
    {
        const int take = std::min(n, ReceiveLength());
        if (take <= 0)
            return 0;
        std::memcpy(buffer, bytes_.data() + start_, static_cast<std::size_t>(take));
        start_ += static_cast<std::size_t>(take);
        return take;
    }
    void Release(const std::uint8_t* data, std::size_t n)
    {
        if (start_ == bytes_.size()) {
            bytes_.clear();
            start_ = 0;
        }
        bytes_.insert(bytes_.end(), data, data + n);
    }
    void Drop()
    {
        bytes_.clear();
        start_ = 0;
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t start_ = 0;
};

// Rejects every dialog once its nested event loop runs, as a user pressing Esc.
class ModalCloser : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto* dialog = qobject_cast<QDialog*>(watched)) {
                ++Closed;
                QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
            }
        }
        return false;
    }
    int Closed = 0;
};

// Returns an empty string when the window's rooms, lists and receiver are
// within their bounds (the receive and session targets check this after every step).
inline std::string CheckWindowState(const TFormMain& w)
{
    const int pending = w.Receiver.PendingLength;
    if (pending != 0 && (pending < 3 || pending > FrameAreaSize))
        return "the receiver waits for a frame length that cannot be";
    if (w.StartRooms.Count < 0 || w.StartRooms.Count > MaxStartRooms)
        return "the start-up rooms list left its bounds";
    if (w.PageControl1->count() > MaxRoomNo + 1)
        return "more room tabs than rooms";
    std::set<int> rooms;
    for (int i = 0; i < w.PageControl1->count(); ++i) {
        const auto* sheet = qobject_cast<const TChatSheet*>(w.PageControl1->widget(i));
        if (sheet == nullptr)
            return "a tab that is not a room";
        if (sheet->RoomNo < 0 || sheet->RoomNo > MaxRoomNo || !rooms.insert(sheet->RoomNo).second)
            return "a room tab with an impossible or repeated room number";
        if (sheet->nUserCount < 0 || sheet->nUserCount > MaxRoomUsers)
            return "a member table left its bounds";
    }
    for (int i = 0; i < w.RoomList->count(); ++i) {
        const auto* item = static_cast<const RoomListItem*>(w.RoomList->item(i));
        if (item->Room.room < 0 || item->Room.room > MaxRoomNo || item->Room.name[0] == '\0')
            return "a room list row with an impossible room";
    }
    return {};
}

class ReceiveHarness {
public:
    explicit ReceiveHarness(const std::string& settingsPath)
    {
        SetBoxInterceptor([this](const QString&, const QString&) { ++Boxes; });
        QCoreApplication::instance()->installEventFilter(&closer_);
        window_ = CreateApplicationWindows(settingsPath);
        window_->FirstActivate = false;
    }
    ~ReceiveHarness()
    {
        QCoreApplication::instance()->removeEventFilter(&closer_);
        window_.reset();
        ForgetApplicationWindows();
        SetBoxInterceptor({});
    }
    ReceiveHarness(const ReceiveHarness&) = delete;
    ReceiveHarness& operator=(const ReceiveHarness&) = delete;

    TFormMain* Window() const { return window_.get(); }
    int ModalsClosed() const { return closer_.Closed; }

    // Returns an empty string when the window came through in a sound state.
    std::string Run(const std::uint8_t* data, std::size_t size)
    {
        TFormMain& w = *window_;
        StartConnection();
        if (size == 0)
            return {};
        const std::size_t k = std::min<std::size_t>(data[0], size - 1);
        const std::uint8_t* sizes = data + 1;
        const std::uint8_t* stream = data + 1 + k;
        const std::size_t streamSize = size - 1 - k;

        std::size_t offset = 0;
        for (std::size_t turn = 0; offset < streamSize; ++turn) {
            std::size_t chunk = k == 0 ? 0 : sizes[turn % k];
            if (chunk == 0 || chunk > streamSize - offset)
                chunk = streamSize - offset;
            source_.Release(stream + offset, chunk);
            offset += chunk;
            ReadEvents();
            if (std::string failure = CheckWindowState(w); !failure.empty())
                return failure;
        }
        w.Socket1Disconnect();
        if (w.PageControl1->count() != 0 || w.RoomList->count() != 0)
            return "the end of the connection left rooms behind";
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return {};
    }

    int Boxes = 0;

private:
    // A fresh connection that has logged in with two start-up rooms, with the
    // board bound to room 3.
    void StartConnection()
    {
        TFormMain& w = *window_;
        source_.Drop();
        w.Socket1Disconnect();
        w.ClientID = 0;
        w.UserName = "fuzz";
        w.LastPassword = "pw";
        w.StartRooms = TStartRoomList{};
        AddStartRoom(w.StartRooms, "Lobby", "");
        AddStartRoom(w.StartRooms, "Team", "secret");
        FormBoard->nRoomNo = 3;
        ResetCharItems(CharItems, std::max(1, FormBoard->GroundPicture.width()),
                       std::max(1, FormBoard->GroundPicture.height()));
    }

    // The read events the socket raises while bytes wait, one frame each.
    void ReadEvents()
    {
        TFormMain& w = *window_;
        for (;;) {
            const int before = source_.ReceiveLength();
            const ReceiveResult result = w.Receiver.ReadOne(source_, w.Packet);
            if (result == ReceiveResult::OutOfStep) {
                EndConnection();
                return;
            }
            if (result == ReceiveResult::Frame) {
                const bool closes = ClosesConnection(w.Packet);
                w.DispatchPacket();
                if (closes) {
                    EndConnection();
                    return;
                }
            }
            if (result == ReceiveResult::Waiting && source_.ReceiveLength() == before)
                return;
        }
    }

    // Whether the client closes its socket on this frame: a GmClose, or a
    // GmAReady or GmAConnect that decodes with a non-zero status.
    static bool ClosesConnection(const GmPacket& packet)
    {
        static GmProtocol copy;
        copy.Packet = packet;
        switch (packet.Type()) {
        case GmTypeClose:
            return true;
        case GmTypeAReady: {
            GmAReady::Info info;
            return copy.AReady.Decode(info) && info.status != 0;
        }
        case GmTypeAConnect: {
            GmAConnect::Info info;
            return copy.AConnect.Decode(info) && info.status != 0;
        }
        default:
            return false;
        }
    }

    // What the socket's disconnect event does after the client closed it.
    void EndConnection()
    {
        window_->Socket1Disconnect();
        source_.Drop();
    }

    std::unique_ptr<TFormMain> window_;
    StreamSource source_;
    ModalCloser closer_;
};

} // namespace kvfuzz
