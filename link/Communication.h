#pragma once
// Request engine: the common base of the device protocols. It packs each
// command into a frame, keeps every request until its reply, matches replies
// by command code, re-sends requests left unanswered and finally gives them
// up. Every reply, push and given-up request reaches the protocol through
// OnFrame.

#include "ComDevice.h"
#include "ComFrame.h"

#include <QByteArray>
#include <QMap>
#include <QMultiMap>
#include <QObject>
#include <QTimer>

#include <functional>

class Communication : public QObject
{
    Q_OBJECT
public:
    explicit Communication(QObject* parent = nullptr);
    ~Communication() override;

    void SetAddress(const st_ComAddress& address);
    void Open();
    void Close();
    bool IsConnected() const { return m_connected; }
    void SetTimeout(int ms) { m_timeout = ms; }
    void SetRetryCount(int n) { m_retryCount = n; }
    int Timeout() const { return m_timeout; }
    int RetryCount() const { return m_retryCount; }
    // Interval of the sweep over pending requests once an address is set.
    int SweepInterval() const { return m_timer.interval(); }

    // The time in milliseconds the engine stamps and ages requests by. It
    // only ever runs forward, whatever the computer's time of day does (set
    // by GPS or a time server): an empty function brings back SteadyNow.
    // Tests move it on and call the sweep (OnRequestTimout) themselves
    // instead of waiting.
    using Clock = std::function<qint64()>;
    void SetClock(Clock clock);
    // Milliseconds on the system's monotonic clock since its first reading.
    static qint64 SteadyNow();

    // Gives up every request still waiting to be sent or answered, so that
    // none of them goes out again later (reported to OnFrame with ok false).
    void AbandonRequests();

    // Lets what has been written to the links reach the wire before they
    // close, waiting for all of them together and no longer than the
    // deadline; true when all of it went out.
    static bool Flush(const QList<Communication*>& links, QDeadlineTimer deadline);

    // The single entry for every command. Does nothing while not connected.
    void Request(unsigned int cmd, const QByteArray* data = nullptr);
    bool SendRequest(const st_ComRequest& request);

    // A reply or push (ok true: cmd and payload, lent for the call), or a
    // request given up (ok false: data is that request's frame, not to be
    // read).
    virtual void OnFrame(unsigned int cmd, bool ok, QByteArray* data) = 0;

    void onHandleSended(QByteArray* frame);
    void onHandleReceived(QByteArray* buffer, uint32_t* consumed);

Q_SIGNALS:
    void ComConnected();
    void ComClosed();
    // A request was given up by the sweep after its re-sends (or its re-send
    // was refused): the box never answered it. Emitted once the sweep is
    // over, so a receiver may send or abandon requests at once. Requests
    // abandoned, or given up because the link closed, are not reported here.
    void RequestExpired(unsigned int cmd);

public Q_SLOTS:
    void OnRequestTimout();

protected:
    ComDevice* m_device = nullptr;
    bool m_connected = false;
    QMap<QByteArray*, quint32> m_queuedCmds;
    // Several requests may be stamped in the same millisecond, so the time
    // maps keep every frame stored under a stamp.
    QMultiMap<qint64, QByteArray*> m_queuedTimes;
    QMap<QByteArray*, quint32> m_sentCmds;
    QMap<QByteArray*, int> m_retryCounts;
    QMultiMap<qint64, QByteArray*> m_sentTimes;
    QTimer m_timer;
    int m_timeout = 100000;
    int m_retryCount = 3;
    Clock m_clock;

private:
    qint64 now() const;
    void onDeviceConnected();
    void onDeviceClosed();
    // Reports one request as given up and releases its frame.
    void GiveUp(quint32 cmd, QByteArray* frame);
    // Reports every pending request as given up and releases its frame.
    void GiveUpPending();
    static bool takeTimeEntry(QMultiMap<qint64, QByteArray*>& map, QByteArray* frame,
                              qint64* stamp);
};
