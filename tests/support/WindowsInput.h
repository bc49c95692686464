#pragma once
// Asking a window what the system asks it, and handing the system mouse
// input as a hand on the mouse would: the Windows tests of the frameless
// window and of the main window share these.

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QCursor>
#include <QPoint>
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

// A press of the left button at from, a move to to in two steps and the
// release there (global coordinates), queued at once: the system runs its
// move or size loop on them when the window's thread takes the press. By
// then the cursor is at to, and the press's hit test is answered there.
inline void dragWithSystemInput(const QPoint& from, const QPoint& to)
{
    QCursor::setPos(from);
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    const auto move = [width, height](const QPoint& p) {
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi.dx = LONG((p.x() * 65536 + width / 2) / width);
        input.mi.dy = LONG((p.y() * 65536 + height / 2) / height);
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        return input;
    };
    const auto button = [](DWORD flag) {
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = flag;
        return input;
    };
    INPUT inputs[] = {button(MOUSEEVENTF_LEFTDOWN), move((from + to) / 2), move(to), button(MOUSEEVENTF_LEFTUP)};
    SendInput(UINT(sizeof(inputs) / sizeof(inputs[0])), inputs, sizeof(INPUT));
}
#endif
