#pragma once
// A request engine that records what reaches OnFrame, for the link tests.

#include "Communication.h"
#include "EmulatedBox.h"

#include <QList>
#include <QtTest>

struct FrameCall
{
    unsigned int cmd = 0;
    bool ok = false;
    QByteArray payload; // copy of the payload (ok only)
};

class LinkProbe : public Communication
{
    Q_OBJECT
public:
    // The engine runs on a clock the test moves on (Advance), so time-outs
    // and re-sends need no waiting.
    explicit LinkProbe(QObject* parent = nullptr)
        : Communication(parent)
    {
        SetClock([this] { return clock; });
    }

    // Moves the clock on by `ms` and sweeps as the sweep timer would.
    void Advance(qint64 ms)
    {
        clock += ms;
        OnRequestTimout();
    }

    // Milliseconds of the engine's steady clock, from an origin of its own.
    qint64 clock = 0;
    QList<FrameCall> calls;
    // Called at the end of each OnFrame with a reply or push.
    std::function<void(LinkProbe&, const FrameCall&)> onCall;

    // Opens the link to `box`; returns once both ends see the connection.
    void OpenTo(EmulatedBox& box)
    {
        QSignalSpy connected(this, &Communication::ComConnected);
        SetAddress(st_ComAddress{box.Address().toString(), box.Port()});
        Open();
        QVERIFY(connected.wait(5000));
        QVERIFY(IsConnected());
        QTRY_VERIFY(box.HasClient());
    }

    int Pending() const { return m_queuedCmds.size() + m_sentCmds.size(); }
    bool MapsEmpty() const
    {
        return m_queuedCmds.isEmpty() && m_queuedTimes.isEmpty() && m_sentCmds.isEmpty()
               && m_retryCounts.isEmpty() && m_sentTimes.isEmpty();
    }
    QList<qint64> SentStamps() const { return m_sentTimes.keys(); }
    QList<int> RetryCounts() const { return m_retryCounts.values(); }
    ComDevice* Device() const { return m_device; }
    QList<FrameCall> Failed() const
    {
        QList<FrameCall> out;
        for (const FrameCall& c : calls)
            if (!c.ok)
                out.append(c);
        return out;
    }

    void OnFrame(unsigned int cmd, bool ok, QByteArray* data) override
    {
        FrameCall c;
        c.cmd = cmd;
        c.ok = ok;
        if (ok && data)
            c.payload = *data;
        calls.append(c);
        if (ok && onCall)
            onCall(*this, c);
    }
};
