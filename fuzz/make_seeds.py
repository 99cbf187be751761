#!/usr/bin/env python3
"""Writes the seed corpus under fuzz/corpus/<target>/: a few valid inputs per
target for libFuzzer to start from. Run it again after changing it; the files
are committed so fuzzing needs no Python."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def frame(kind, payload=b""):
    return struct.pack(">HB", len(payload) + 3, kind) + payload


def string(b):
    return bytes([len(b)]) + b


def short(v):
    return struct.pack(">h", v)


def sjis(text):
    return text.encode("cp932")


def a_ready(status, client_id, message=b"", message2=b""):
    return frame(2, bytes([status]) + string(message) + string(message2) + short(client_id))


def a_connect(status, message=b""):
    return frame(11, bytes([status]) + string(message))


def room_list(rooms, count=None):
    body = short(len(rooms) if count is None else count)
    for room, name, password in rooms:
        body += bytes([room, 0]) + string(name) + bytes([password])
    return frame(13, body)


def room_user(room, members, count=None):
    body = bytes([room]) + short(len(members) if count is None else count)
    for client_id, name, flag in members:
        body += short(client_id) + string(name) + bytes([flag])
    return frame(14, body)


def talk(room, client_id, name, text, style=0):
    return frame(21, bytes([room]) + short(client_id) + string(name) + string(text) + bytes([style]))


def retire_user(room, client_id):
    return frame(20, bytes([room]) + short(client_id))


SESSION = (a_ready(0, 7) + a_connect(0)
           + room_list([(3, b"Lobby", 0), (4, b"Team", 1), (5, sjis("待合室"), 0)])
           + frame(12, short(25))
           + room_user(3, [(7, b"fuzz", 0), (8, b"Other", 1)])
           + room_user(4, [(7, b"fuzz", 0)])
           + talk(3, 8, b"Other", sjis("こんにちは"), 1)
           + talk(51, 8, b"Other", b"to the active tab", 2)
           + talk(4, 8, b"Other", b"marks room 4")
           + talk(3, 8, b"Other", b"*!B!*A5050B1020")
           + talk(3, 8, b"Other", b"*!N!*AKeeper B\x83e\x83X ")
           + frame(18, bytes([3, 3])) + frame(16, bytes([2]))
           + retire_user(3, 8) + retire_user(4, 7)
           + room_list([(3, b"", 0)])
           + frame(3) + frame(4))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def receive_seeds():
    write("receive", "session", b"\x00" + SESSION)
    write("receive", "session-bytewise", b"\x01\x01" + SESSION)
    write("receive", "session-odd-reads", b"\x03\x05\x02\x11" + SESSION)
    write("receive", "areply-version-up", b"\x00" + a_ready(2, 1))
    write("receive", "areply-too-many", b"\x00" + a_ready(4, 1, b"busy"))
    write("receive", "aconnect-refused", b"\x00" + a_ready(0, 7) + a_connect(2) + a_ready(0, 9))
    write("receive", "dropped-lengths", b"\x00" + b"\x00\x02" + struct.pack(">H", 9990) + b"\x15" * 9988
          + a_ready(0, 7))
    write("receive", "out-of-step", b"\x00" + b"\x00\x01" + a_ready(0, 7))
    write("receive", "full-room", b"\x00" + a_ready(0, 7) + room_list([(6, b"Big", 0)])
          + room_user(6, [(i, b"m%d" % i, i & 1) for i in range(210)], count=210))
    write("receive", "bad-rooms", b"\x00" + room_list([(52, b"x", 0)]) + room_user(255, [(1, b"a", 0)])
          + talk(52, 1, b"a", b"b") + retire_user(52, 1) + frame(18, bytes([255, 1])))


def decoder_seeds():
    write("decoders", "aready", a_ready(0, 7, b"hello", b"second"))
    write("decoders", "aconnect", a_connect(1, b"text"))
    write("decoders", "usercount", frame(12, short(-1)))
    write("decoders", "roomlist", room_list([(3, b"Lobby", 0), (51, b"Team", 1)]))
    write("decoders", "roomlist-60", room_list([(i % 52, b"r", 0) for i in range(60)], count=60))
    write("decoders", "roomuser", room_user(4, [(7, b"me", 0), (-8, b"x" * 30, 1)]))
    write("decoders", "acreateroom", frame(16, bytes([3])))
    write("decoders", "aenterroom", frame(18, bytes([51, 2])))
    write("decoders", "retireuser", retire_user(5, 0x7FFF))
    write("decoders", "talk", talk(51, 8, b"Other", b"x" * 250, 3))
    write("decoders", "ready", frame(1, bytes([1, 1, 1, 1])))
    write("decoders", "connect", frame(10, string(b"name")))
    write("decoders", "createroom", frame(15, bytes([2]) + string(b"room") + string(b"pw")))
    write("decoders", "enterroom", frame(17, bytes([0]) + string(b"Lobby") + string(b"")))
    write("decoders", "retire", frame(19, bytes([5])))
    write("decoders", "short-string", frame(21, bytes([3]) + short(1) + b"\x10ab"))


def parsetalk_seeds():
    write("parsetalk", "positions", b"\x03*!B!*A5050B1020W9999")
    write("parsetalk", "names", b"\x03*!N!*AKeeper B\x83e\x83X C W ")
    write("parsetalk", "other-room", b"\x83*!B!*A5050")
    write("parsetalk", "truncated", b"\x03*!B!*A5050B102")
    write("parsetalk", "chat", b"\x03hello *!B!*A5050")
    write("parsetalk", "never-shown", b"\x43*!N!*Ax")


def settings_seeds():
    ini = ("[Form]\r\nTop=111\r\nLeft=411\r\nWidth=561\r\nHeight=541\r\nRoomHeight=201\r\nRoomVisible=1\r\n"
           "[Common]\r\nName=user\r\nIP=127.0.0.1\r\nPort=0x2332\r\nRoomCount=2\r\n"
           "[URL]\r\nHome=http://example.invalid/\r\nDownload=http://example.invalid/dl\r\n"
           "[Room1]\r\nName=待合室\r\nPassword=\r\n[Room2]\r\nName=Team\r\nPassword=abc123\r\n").encode("cp932")
    write("settings", "typical", b"\x00" + ini)
    write("settings", "odd", b"\x00" + b"; comment\n[common]\nname = \"  spaced  \"\nROOMCOUNT=-3\n[Form\nTop=abc\n"
          b"[Room1]\nName='q'\n[Common]\nName=second\n")
    write("settings", "huge-count", b"\x00[Common]\r\nRoomCount=999\r\n[Room50]\r\nName=last\r\n")
    record = (b"\x01" + struct.pack(">iiiii", -5, 70000, 640, 480, 0) + b"\x00" + string(b" name ")
              + b"\x02" + string(b"[Room]") + string(b"p=w") + string(b"'x'") + string(b""))
    write("settings", "record", record + ini)


# The session target's steps, numbered as in harness/SessionHarness.h (StepKind).
(S_TALK, S_FLOOD, S_ROOMLIST, S_ROOMUSER, S_RETIRE, S_BOARDLINE, S_REFUSAL, S_CLOSE, S_BYTES, S_HANGUP,
 S_LOGIN, U_TAB, U_FIND_OPEN, U_FIND_TYPE, U_FIND_STEP, U_FIND_CLOSE, U_SCROLL, U_SAY, U_HISTORY,
 U_CLICK_LOG, U_LEAVE, U_ENTER, U_BOARD, U_BOARD_DRAG, U_BOARD_RENAME, U_BOARD_BUTTON, U_OPTIONS,
 U_DISCONNECT, U_CONNECT, U_RESIZE, TIME, U_CREATE_ROOM, U_START_ROOMS, U_FOCUS, U_BOARD_KEY,
 U_FORMATION, U_DESKTOP, U_BOARD_PICTURE) = range(38)
# New steps go at the end: a kept input's step bytes are below the count, so
# they mean the same steps however many more are added.
# The top four bytes are steps of their own (they no longer fold onto the first
# four): a room opened with logging on over the prepared logs, the search window
# opened and a query run, its results worked, the window closed.
U_LOG_ROOM, U_LOG_SEARCH, U_LOG_RESULTS, U_LOG_CLOSE = 252, 253, 254, 255
LOG_LOBBY, LOG_TEAM = 0, 1          # a log room step's room
LOG_UP = 0x08                       # and Ctrl+Home in its tab at once
SOUGHT_HISTORY, SOUGHT_OLD, SOUGHT_KANA, SOUGHT_ABC = 0, 1, 2, 4   # a search's query byte
RESULTS_INTO, RESULTS_DOWN, RESULTS_CLICK, RESULTS_ALL, RESULTS_COPY, RESULTS_SHOW = range(6)
ROOM_LOBBY, ROOM_TEAM = 0, 1           # rooms 3 and 4 in the harness's room table
SAID_ABC, SAID_LINK, SAID_NAME = 0, 3, 4   # what Other says (the "who" byte is 3 * text)
TYPED_A, TYPED_ABC, TYPED_HTTP = 0, 1, 2
PASS_250MS, PASS_1S, PASS_3S, PASS_10S = 2, 3, 4, 5
# A desktop step's first byte: zoom keys, Ctrl+wheel, Tab completion, a member's
# name from the list, the dark theme, the tray, the input's limits.
ZOOM_IN, ZOOM_OUT, ZOOM_RESET, ZOOM_WHEEL, COMPLETE, MEMBER, THEME, TRAY, INPUT = range(9)
INPUT_NO_CODE, INPUT_TOO_LONG, INPUT_CANCELLED = range(3)
TRAY_CLICK, TRAY_TOGGLE, TRAY_CLOSE = range(3)
OPTIONS_TRAY_FONT = 0x80
FLOOD_NUMBERED, FLOOD_LONGEST = 0, 2        # a flood's text byte


def steps(*items):
    return bytes(b for item in items for b in item)


def other_says(room, text):
    return (S_TALK, room, 3 * text, 1)


def session_seeds():
    # A flood through the open find bar, with time to follow it before the next step.
    write("session", "find-flood", steps(
        other_says(ROOM_TEAM, SAID_ABC), other_says(ROOM_TEAM, SAID_LINK), other_says(ROOM_TEAM, SAID_ABC),
        (U_FIND_OPEN,), (U_FIND_TYPE, TYPED_A), (U_FIND_STEP, 0), (U_FIND_STEP, 1), (U_FIND_STEP, 2),
        (S_FLOOD, ROOM_TEAM, 79, FLOOD_NUMBERED), (TIME, PASS_250MS), (U_FIND_STEP, 0), (U_FIND_STEP, 3),
        (S_FLOOD, ROOM_TEAM, 119, FLOOD_LONGEST), (S_FLOOD, ROOM_TEAM, 119, FLOOD_LONGEST), (TIME, PASS_250MS), (U_SCROLL, 0), (U_SCROLL, 4),
        (U_FIND_STEP, 2), (U_TAB, 0), (U_FIND_STEP, 0), (U_FIND_CLOSE,)))
    write("session", "find-keys", steps(
        other_says(ROOM_LOBBY, SAID_ABC), (U_TAB, 3), (U_FIND_OPEN,), (U_FIND_TYPE, 0x80 | TYPED_ABC),
        (U_FIND_TYPE, 0x40), (U_FIND_STEP, 1), (U_FIND_STEP, 3), (U_TAB, 1), (U_FIND_STEP, 0),
        (S_RETIRE, ROOM_LOBBY, 1), (U_FIND_STEP, 0), (U_FIND_CLOSE,)))
    write("session", "board", steps(
        (U_TAB, 3), (U_BOARD,), (S_BOARDLINE, 0x80), (S_BOARDLINE, 0x81), (U_BOARD_DRAG, 1, 150, 100),
        (U_BOARD_DRAG, 5, 128, 128), (U_BOARD_RENAME, 2, 1), (U_BOARD_RENAME, 0, 4), (U_BOARD_BUTTON, 0),
        (U_BOARD_BUTTON, 1), (TIME, PASS_250MS), (U_TAB, 0), (U_BOARD_BUTTON, 2), (U_BOARD,), (U_LEAVE,),
        (U_BOARD_DRAG, 3, 0, 255)))
    write("session", "reconnect", steps(
        other_says(ROOM_LOBBY, SAID_ABC), (S_HANGUP,), (TIME, PASS_250MS), (TIME, PASS_1S), (TIME, PASS_3S),
        (TIME, PASS_10S), other_says(ROOM_LOBBY, SAID_ABC), (S_CLOSE,), (TIME, PASS_3S),
        (U_DISCONNECT,), (U_CONNECT, 0), (S_REFUSAL, 2 + 4 * 1), (TIME, PASS_3S), (U_CONNECT, 1),
        (U_CONNECT, 0), (S_LOGIN,)))
    write("session", "options", steps(
        other_says(ROOM_TEAM, SAID_NAME), (U_OPTIONS, 0x01 | 0x02 | 0x04 | 0x10 | 0x20, 1),
        other_says(ROOM_TEAM, SAID_NAME), (U_TAB, 1), other_says(ROOM_TEAM, SAID_NAME), (U_FIND_OPEN,),
        (U_FIND_TYPE, TYPED_A), (U_OPTIONS, 0x01, 0), (U_FIND_STEP, 0), (U_OPTIONS, 0x04 | 0x08, 0),
        (S_HANGUP,), (TIME, PASS_10S), (U_OPTIONS, 0x41, 0), (U_CONNECT, 0)))
    write("session", "chat", steps(
        other_says(ROOM_TEAM, SAID_LINK), (U_SAY, 0x80 | TYPED_ABC), (U_SAY, 0x80 | 10), (U_HISTORY, 0),
        (U_HISTORY, 0), (U_HISTORY, 1), (U_SAY, 0x80), (U_CLICK_LOG, 0x80, 0), (U_CLICK_LOG, 20, 40),
        (U_SCROLL, 2), (U_SCROLL, 5), (U_SCROLL, 1), (U_TAB, 2), (U_LEAVE,), (U_ENTER, 0x60 | 1),
        (U_ENTER, 0x80 | 2), (U_ENTER, 0x40 | 1)))
    # Rooms made with and without a password, one refused for want of a name,
    # one cancelled; then the start-up rooms list, a row deleted.
    write("session", "create-room", steps(
        (U_CREATE_ROOM, 0), (U_CREATE_ROOM, 1 + 8 * 1), (U_CREATE_ROOM, 2), (U_CREATE_ROOM, 0x80 | 3),
        (U_CREATE_ROOM, 3 + 8 * 2), other_says(ROOM_LOBBY, SAID_NAME), (U_START_ROOMS, 0x80 | 1),
        (U_START_ROOMS, 0x40), (U_START_ROOMS, 2), (U_LEAVE,), (U_DISCONNECT,), (U_CONNECT, 0)))
    # Away from the window lines arrive: the unread marker and the tab's mark
    # come and move as the focus and the tab go and come back.
    write("session", "focus-unread", steps(
        other_says(ROOM_LOBBY, SAID_ABC), (U_FOCUS, 0), other_says(ROOM_TEAM, SAID_NAME),
        other_says(ROOM_LOBBY, SAID_LINK), (U_FOCUS, 2), (U_TAB, 3), (U_TAB, 0), other_says(ROOM_LOBBY, SAID_ABC),
        (U_FOCUS, 0), (S_FLOOD, ROOM_TEAM, 50, FLOOD_NUMBERED), (U_FOCUS, 2), (U_TAB, 1), (U_SCROLL, 2),
        (U_SCROLL, 3)))
    # The board worked from the keyboard and the formation menu, with undo and redo.
    write("session", "board-keys", steps(
        (U_BOARD,), (U_BOARD_KEY, 0, 0), (U_BOARD_KEY, 0, 0), (U_BOARD_KEY, 3, 0), (U_BOARD_KEY, 4, 0),
        (U_BOARD_KEY, 6, 1), (U_BOARD_KEY, 7, 0), (U_BOARD_KEY, 7, 0), (U_BOARD_KEY, 8, 0),
        (U_FORMATION, 0), (U_FORMATION, 3), (U_BOARD_KEY, 7, 0), (U_BOARD_BUTTON, 1), (U_FORMATION, 255),
        (U_FOCUS, 1), (U_BOARD_KEY, 1, 0), (U_BOARD_KEY, 6, 0x80), (TIME, PASS_1S), (U_BOARD_BUTTON, 2)))
    # Zoomed by keys and wheel, names completed and taken from the list, input
    # that does not fit and a composition cancelled, a dark
    # theme while lines come, the window closed into the tray and brought back
    # while a mention waits, the board's picture copied.
    write("session", "desktop", steps(
        (U_DESKTOP, ZOOM_IN, 0), (U_DESKTOP, ZOOM_WHEEL, 1), (U_DESKTOP, ZOOM_WHEEL, 2), (U_DESKTOP, COMPLETE, 0),
        (U_DESKTOP, COMPLETE, 2 + 16 * 1), (U_DESKTOP, COMPLETE, 0x80 | 4), (U_DESKTOP, MEMBER, 1),
        (U_DESKTOP, INPUT, INPUT_NO_CODE), (U_DESKTOP, INPUT, INPUT_CANCELLED), (U_DESKTOP, INPUT, INPUT_TOO_LONG),
        (U_DESKTOP, THEME, 1), other_says(ROOM_LOBBY, SAID_ABC), (TIME, PASS_250MS), (U_DESKTOP, ZOOM_OUT, 0),
        (U_OPTIONS, OPTIONS_TRAY_FONT, 5), (U_DESKTOP, TRAY, TRAY_CLOSE), other_says(ROOM_LOBBY, SAID_NAME),
        (U_DESKTOP, TRAY, TRAY_CLICK), (U_DESKTOP, TRAY, TRAY_TOGGLE), (U_DESKTOP, TRAY, TRAY_TOGGLE),
        (U_DESKTOP, THEME, 0), (U_BOARD,), (U_BOARD_PICTURE,), (U_DESKTOP, ZOOM_RESET, 0)))
    write("session", "server", steps(
        (S_ROOMLIST, 2, 2 + 8 * 3, 2 + 8 * 2, 0x80 | 5), (S_ROOMUSER, 3, 3), (S_ROOMUSER, 2, 7),
        (S_RETIRE, 2, 0), (S_REFUSAL, 0), (S_REFUSAL, 1), (S_REFUSAL, 3 + 4 * 3), (S_TALK, 4, 1, 2),
        (S_BYTES, 3, 0, 3, 3), (S_TALK, 7, 2, 9), (S_ROOMLIST, 0, 2 + 8 * 2), (U_RESIZE, 10, 10),
        (U_RESIZE, 255, 0), (U_RESIZE, 100, 100), (U_TAB, 3), (S_RETIRE, 1, 1), (U_RESIZE, 255, 0)))


def history_seeds():
    # A room's logs paged in to their start, then dropped at the newest line.
    write("session", "history-start", steps(
        (U_LOG_ROOM, LOG_LOBBY | LOG_UP), (U_SCROLL, 2), (TIME, PASS_250MS), (U_SCROLL, 2), (U_SCROLL, 4),
        (U_SCROLL, 0), (TIME, PASS_250MS), (U_SCROLL, 1), (U_SCROLL, 3), (U_SCROLL, 2)))
    # History loaded above the lines while a flood takes lines from the tab, and found in.
    write("session", "history-flood", steps(
        (U_LOG_ROOM, LOG_TEAM | LOG_UP), (S_FLOOD, ROOM_TEAM, 79, FLOOD_NUMBERED), (U_SCROLL, 2),
        (S_FLOOD, ROOM_TEAM, 119, FLOOD_LONGEST), (TIME, PASS_250MS), (U_FIND_OPEN,), (U_FIND_TYPE, TYPED_ABC),
        (U_FIND_STEP, 1), (U_FIND_STEP, 3), (U_SCROLL, 3), (U_TAB, 1), (U_TAB, 0), (U_SCROLL, 4)))
    # Hits shown in the room's tab, a new one and an old one, while a flood comes;
    # everything copied; a new query while one runs; Esc.
    write("session", "search-show", steps(
        (U_LOG_ROOM, LOG_LOBBY), (U_LOG_SEARCH, 0, SOUGHT_HISTORY), (U_LOG_RESULTS, RESULTS_INTO),
        (U_LOG_RESULTS, RESULTS_DOWN), (U_LOG_RESULTS, RESULTS_SHOW), (S_FLOOD, ROOM_LOBBY, 79, FLOOD_NUMBERED),
        (U_LOG_RESULTS, RESULTS_CLICK + 8 * 3), (U_LOG_RESULTS, RESULTS_SHOW), (U_LOG_SEARCH, 0, SOUGHT_OLD),
        (U_LOG_RESULTS, RESULTS_INTO), (U_LOG_RESULTS, RESULTS_SHOW), (S_FLOOD, ROOM_LOBBY, 119, FLOOD_LONGEST),
        (TIME, PASS_250MS), (U_LOG_RESULTS, RESULTS_ALL), (U_LOG_RESULTS, RESULTS_COPY),
        (U_LOG_SEARCH, 0x41, SOUGHT_KANA + 16 * SOUGHT_ABC), (U_LOG_CLOSE, 0)))
    # A search of Team's logs (the second room listed), the room left while its hits are shown, a search
    # within dates cancelled, the window closed and the room entered again.
    write("session", "search-leave", steps(
        (U_LOG_ROOM, LOG_TEAM), (U_LOG_SEARCH, 0x02 | 4 * 1, SOUGHT_ABC), (U_LOG_RESULTS, RESULTS_INTO), (U_LEAVE,),
        (U_LOG_RESULTS, RESULTS_DOWN), (U_LOG_RESULTS, RESULTS_SHOW), (U_LOG_SEARCH, 0xA0, SOUGHT_HISTORY),
        (U_LOG_CLOSE, 2), (U_LOG_CLOSE, 1), (U_LOG_ROOM, LOG_TEAM | LOG_UP)))


def formations_seeds():
    positions = b"*!B!*A5050B5007C6018D3519E8119F1318G4925H7130I2331J6241K5036L3641" \
                b"M5093N5182O2081P7980Q3672R6473S2064T7964U3756V5164W6456"
    names = b"*!N!*A B1 C2 D3 E4 F5 G6 H7 I8 J9 K10 L11 M1 N2 O3 P4 Q5 R6 S7 T8 U9 V10 W11 "
    heading = "※下記の2行をチャットに入力すると初期フォーメーションを設定できます。1行ずつ分けて送信してください".encode("cp932")
    write("formations", "file", b"\x00; kvchat formations\n[4-4-2 " + "練習".encode("cp932") + b"]\n"
          + positions + b"\n" + names + b"\n[b]\r\n" + positions + b"\r\n" + names + b"\r\n")
    write("formations", "file-damaged", b"\x00[a]\n*!B!*A505\n" + names + b"\ngarbage\n[a]\n" + positions
          + b"\n[]\n[" + b"x" * 41 + b"]\n")
    write("formations", "paste", b"\x01" + heading + b"\n" + positions + b"\n" + names + b"\n\x00")
    write("formations", "paste-partial", b"\x01chat\r\n*!N!*Aball B\x83\x7b C\n*!B!*B0102Cxx")
def logread_seeds():
    lines = ("2026-11-30 23:59:59 アリス> ｺﾞｰﾙ！\n2026-12-01 00:00:01 bob> ゴール and GOAL\n").encode()
    write("logread", "two-months", bytes([3, 128, 4]) + lines + b"2026-12-01 10:00:00 ok\r\n" + lines)
    write("logread", "damaged", bytes([0, 40, 7]) + b"x\n\xff\x82\xa0 sjis\n\n" + b"L" * 1500 + b"\nno end")
    write("logread", "no-lines", bytes([15, 255, 2]) + b"\n\n\n")


receive_seeds()
logread_seeds()
decoder_seeds()
formations_seeds()
parsetalk_seeds()
settings_seeds()
session_seeds()
history_seeds()
