#pragma once
// Asking a window what the system asks it, and handing the system mouse
// input as a hand on the mouse would: the Windows tests of the frameless
// window and of the main window share these.

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QCursor>
#include <QPoint>
#include <QTimer>
#include <QWindow>

#include <qt_windows.h>

inline HWND hwndOf(QWindow* window)
{
    return reinterpret_cast<HWND>(window->winId());
}

// The window's answer to WM_NCHITTEST at a point of it (window coordinates).
// The frameless helper reads the cursor, as the system's own question comes
// with the cursor there, so the cursor goes there first.
inline int systemHitCode(QWindow* window, const QPoint& pos)
{
    const QPoint global = window->mapToGlobal(pos);
    QCursor::setPos(global);
    return int(SendMessageW(hwndOf(window), WM_NCHITTEST, 0, MAKELPARAM(global.x(), global.y())));
}

namespace windowsinput {

inline INPUT button(DWORD flag)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    return input;
}

inline INPUT moveTo(const QPoint& p)
{
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    // The system takes the pixel at dx * width / 65536: rounded up, the
    // normalised value lands on the pixel itself.
    input.mi.dx = LONG((p.x() * 65536 + width - 1) / width);
    input.mi.dy = LONG((p.y() * 65536 + height - 1) / height);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return input;
}

template <size_t N>
void send(INPUT (&inputs)[N])
{
    SendInput(UINT(N), inputs, sizeof(INPUT));
}

} // namespace windowsinput

// A press of the left button at from, and once the system has taken it
// into its move or size loop, which then holds the mouse, a move to to in
// two steps and the release there (global coordinates). The rest is sent
// from within the loop, as a hand moves on while the loop runs: the loop's
// hold keeps the moves its own even off the window, and the press's hit
// test sees the cursor where the press was.
inline void dragWithSystemInput(const QPoint& from, const QPoint& to)
{
    using namespace windowsinput;
    QCursor::setPos(from);
    INPUT press[] = {button(MOUSEEVENTF_LEFTDOWN)};
    send(press);
    auto* poll = new QTimer;
    int waited = 0;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, from, to, waited]() mutable {
        // A press the system made no loop of is let go of all the same.
        if (!GetCapture() && ++waited < 200)
            return;
        INPUT rest[] = {moveTo((from + to) / 2), moveTo(to), button(MOUSEEVENTF_LEFTUP)};
        send(rest);
        poll->stop();
        poll->deleteLater();
    });
    poll->start(10);
}

// Two clicks of the left button at a point (global coordinates), as one
// double click.
inline void doubleClickWithSystemInput(const QPoint& at)
{
    using namespace windowsinput;
    QCursor::setPos(at);
    INPUT inputs[] = {button(MOUSEEVENTF_LEFTDOWN), button(MOUSEEVENTF_LEFTUP), button(MOUSEEVENTF_LEFTDOWN),
                      button(MOUSEEVENTF_LEFTUP)};
    send(inputs);
}
#endif
